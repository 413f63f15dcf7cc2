// One column of a text result set as its definition packet describes it,
// plus the field typing derived from it. Filled by the session when a result
// header is read; read by the row reader, the query dataset and the dump.
#pragma once

#include <cstdint>
#include <string>

#include "mysql/field_types.h"

namespace mysql {

struct MyColumn {
  std::string database;
  std::string table;          // alias of the table
  std::string org_table;      // underlying table name
  std::string name;           // column name (alias)
  std::string org_name;       // underlying column name
  std::uint16_t charset = 0;  // character-set number (63 = binary)
  std::uint32_t length = 0;   // declared length
  std::uint8_t type = 0;      // MySQL type code (MYSQL_TYPE_*)
  std::uint32_t flags = 0;    // server flags, NUM_FLAG added for numbers
  std::uint8_t decimals = 0;

  // Typing (MyColumn::typing.data_type etc.).
  FieldTyping typing;
  TFieldType DataType() const { return typing.data_type; }
};

}  // namespace mysql
