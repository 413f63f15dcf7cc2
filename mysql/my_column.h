// One column of a text result set as its definition packet describes it,
// plus the field typing derived from it. Filled by the session when a result
// header is read; read by the row reader, the query dataset and the dump.
#pragma once

#include <cstdint>
#include <string>

#include "mysql/field_types.h"

namespace mysql {

struct MyColumn {
  std::string Database;
  std::string Table;          // alias of the table
  std::string OrgTable;       // underlying table name
  std::string Name;           // column name (alias)
  std::string OrgName;        // underlying column name
  std::uint16_t Charset = 0;  // character-set number (63 = binary)
  std::uint32_t Length = 0;   // declared length
  std::uint8_t Type = 0;      // MySQL type code (MYSQL_TYPE_*)
  std::uint32_t Flags = 0;    // server flags, NUM_FLAG added for numbers
  std::uint8_t Decimals = 0;

  // Typing (MyColumn::Typing.DataType etc.).
  FieldTyping Typing;
  TFieldType DataType() const { return Typing.DataType; }
};

}  // namespace mysql
