// Field data types of the dataset layer, their display names, and the typing
// of a MySQL result column (type code, flags, length, statement) into a field
// data type with its size. Pure functions; used by the query dataset, the
// forward row reader and the dump.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mysql {

enum TFieldType {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
  ftTimeStamp,
  ftFMTBcd,
};

// "String", "SmallInt", ... as used in the binding messages.
std::string_view FieldTypeNames(TFieldType type);

// The base type two field data types must share to bind a field to a column.
TFieldType base_field_type(TFieldType type);

enum TNumericType { ntFloat, ntBCD, ntFmtBCD };

// MySQL column type codes (protocol byte).
enum : std::uint8_t {
  MYSQL_TYPE_DECIMAL = 0,
  MYSQL_TYPE_TINY = 1,
  MYSQL_TYPE_SHORT = 2,
  MYSQL_TYPE_LONG = 3,
  MYSQL_TYPE_FLOAT = 4,
  MYSQL_TYPE_DOUBLE = 5,
  MYSQL_TYPE_NULL = 6,
  MYSQL_TYPE_TIMESTAMP = 7,
  MYSQL_TYPE_LONGLONG = 8,
  MYSQL_TYPE_INT24 = 9,
  MYSQL_TYPE_DATE = 10,
  MYSQL_TYPE_TIME = 11,
  MYSQL_TYPE_DATETIME = 12,
  MYSQL_TYPE_YEAR = 13,
  MYSQL_TYPE_NEWDATE = 14,
  MYSQL_TYPE_VARCHAR = 15,
  MYSQL_TYPE_BIT = 16,
  MYSQL_TYPE_NEWDECIMAL = 246,
  MYSQL_TYPE_ENUM = 247,
  MYSQL_TYPE_SET = 248,
  MYSQL_TYPE_TINY_BLOB = 249,
  MYSQL_TYPE_MEDIUM_BLOB = 250,
  MYSQL_TYPE_LONG_BLOB = 251,
  MYSQL_TYPE_BLOB = 252,
  MYSQL_TYPE_VAR_STRING = 253,
  MYSQL_TYPE_STRING = 254,
  MYSQL_TYPE_GEOMETRY = 255,
};

// Column flag bits (16 bits from the server; kNumericFlag added here).
enum : std::uint32_t {
  NOT_NULL_FLAG = 0x1,
  PRI_KEY_FLAG = 0x2,
  UNIQUE_KEY_FLAG = 0x4,
  MULTIPLE_KEY_FLAG = 0x8,
  UNSIGNED_FLAG = 0x20,
  BINARY_FLAG = 0x80,
  AUTO_INCREMENT_FLAG = 0x200,
  TIMESTAMP_FLAG = 0x400,
  PART_KEY_FLAG = 0x4000,
  NUM_FLAG = 0x8000,
};
constexpr std::uint16_t kBinaryCharset = 63;
constexpr std::uint16_t kUtf8Charset = 33;

// Options that steer the typing (connection and dataset options).
struct FieldTypingOptions {
  bool UseUnicode = false;
  bool OptimizedBigInt = false;
  TNumericType NumericType = ntFloat;
  bool EnableBoolean = true;
  bool BinaryAsString = true;
  bool FieldsAsString = false;
  bool LongStrings = true;
};

// What the statement and server contribute to the typing.
struct ParsedStatement {
  std::string_view sql;  // the statement as sent
  int server_major = 5;
  int server_minor = 0;
  int server_release = 0;
};

// Result of typing one column.
struct FieldTyping {
  TFieldType data_type = ftUnknown;
  std::uint32_t length = 0;  // the sizing length after all adjustments
  int size = 0;              // field size (strings/bytes), 0 for others
  int precision = 0;
  int scale = 0;
  bool fixed = false;      // CHAR
  bool read_only = false;  // NULL-type column
};

// The sizing length of a column (UseUnicode division, charset-33 date
// division, SHOW/EXPLAIN adjustments).
std::uint32_t sizing_length(std::uint8_t type, std::uint16_t charset, std::uint32_t length,
                            std::string_view name, const ParsedStatement& stmt,
                            const FieldTypingOptions& options);

// Full typing of a column. Throws EMyError (2000) "Unknown MySQL datatype
// (<code>)" for type codes 17..245.
FieldTyping type_column(std::uint8_t type, std::uint32_t flags, std::uint16_t charset,
                        std::uint32_t length, std::uint8_t decimals, std::string_view name,
                        std::string_view table, const ParsedStatement& stmt,
                        const FieldTypingOptions& options);

}  // namespace mysql
