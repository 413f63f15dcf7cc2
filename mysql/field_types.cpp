// Field data type names, base types and the typing of result columns.
#include "mysql/field_types.h"

#include <algorithm>
#include <cctype>

#include "mysql/my_error.h"
#include "platform/ascii_case.h"

namespace mysql {

namespace {

constexpr const char* kNames[] = {
    "Unknown",      "String",      "SmallInt", "Integer",     "Word",      "Boolean",
    "Float",        "Currency",    "BCD",      "Date",        "Time",      "DateTime",
    "Bytes",        "VarBytes",    "AutoInc",  "Blob",        "Memo",      "Graphic",
    "FmtMemo",      "ParadoxOle",  "dBaseOle", "TypedBinary", "Cursor",    "FixedChar",
    "WideString",   "LargeInt",    "ADT",      "Array",       "Reference", "DataSet",
    "HugeBlob",     "HugeClob",    "Variant",  "Interface",   "Dispatch",  "Guid",
    "SQLTimeStamp", "FMTBcdField",
};
static_assert(sizeof kNames / sizeof kNames[0] == ftFMTBcd + 1);

bool starts_with_word(const std::string& up, std::string_view word) {
  size_t i = up.find_first_not_of(" \t\r\n");
  return i != std::string::npos && up.compare(i, word.size(), word) == 0;
}
bool contains(const std::string& up, std::string_view word) {
  return up.find(word) != std::string::npos;
}
bool is_text_type(std::uint8_t type) {
  return type == MYSQL_TYPE_NULL || type == MYSQL_TYPE_VARCHAR || type >= MYSQL_TYPE_ENUM;
}

}  // namespace

std::string_view FieldTypeNames(TFieldType type) {
  if (type < ftUnknown || type > ftFMTBcd) return "Unknown";
  return kNames[type];
}

TFieldType base_field_type(TFieldType type) {
  switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
      return ftInteger;
    case ftString:
    case ftFixedChar:
    case ftGuid:
      return ftString;
    case ftFloat:
    case ftCurrency:
      return ftFloat;
    case ftDate:
    case ftTime:
    case ftDateTime:
      return ftDateTime;
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob:
      return ftBlob;
    case ftIDispatch:
    case ftInterface:
      return ftInterface;
    case ftCursor:
    case ftWideString:
    case ftUnknown:
      return ftUnknown;
    default:
      return type;
  }
}

std::uint32_t sizing_length(std::uint8_t type, std::uint16_t charset, std::uint32_t length,
                            std::string_view name, const ParsedStatement& stmt,
                            const FieldTypingOptions& options) {
  std::uint32_t len = length;
  if (options.UseUnicode && is_text_type(type) && charset != kBinaryCharset) len /= 3;
  if ((type == MYSQL_TYPE_TIMESTAMP || type == MYSQL_TYPE_DATE || type == MYSQL_TYPE_TIME ||
       type == MYSQL_TYPE_DATETIME) &&
      charset == kUtf8Charset)
    len /= 3;
  const std::string up = platform::ascii_uppercase(stmt.sql);
  const int major = stmt.server_major, minor = stmt.server_minor;
  if (starts_with_word(up, "SHOW")) {
    const std::string n = platform::ascii_lowercase(name);
    const bool slave_status = contains(up, "SLAVE") && contains(up, "STATUS");
    if ((n == "privilege" || n == "context") && len <= 29 && contains(up, "PRIVILEGES")) {
      len = 40;
    } else if ((n == "state" || n == "command") && contains(up, "PROCESSLIST")) {
      len *= 3;
    } else if (n == "slave_io_state" && len < 80 && slave_status) {
      len = 80;
    } else if ((n == "slave_io_running" || n == "slave_sql_running") && len <= 2 && slave_status) {
      len *= 3;
    } else if ((n == "last_error" || n == "last_io_error" || n == "last_sql_error") && len <= 79 &&
               slave_status) {
      len = 2048;
    } else if (major == 5 || (major == 4 && minor == 0)) {
      if (n == "create table" && contains(up, "CREATE"))
        len = 65535;
      else if (major == 5 && n == "create procedure" && contains(up, "CREATE"))
        len = 65535;
      else if (major == 5 && stmt.server_release >= 52 && n == "user")
        len = 16;
      else if (major == 5 && stmt.server_release >= 52 && n == "host")
        len = 60;
    }
    if (major == 5 && minor == 0 && contains(up, "ENGINES")) len = len * 3 + 1;
  } else if ((starts_with_word(up, "EXPLAIN") || starts_with_word(up, "DESCRIBE")) && major < 5 &&
             platform::ascii_lowercase(name) == "type") {
    len = 65534;
  }
  return len;
}

namespace {

// The field data type a column's type code, flags and character set give.
TFieldType field_type_of(std::uint8_t type, std::uint32_t flags, std::uint16_t charset,
                         std::uint32_t length, const FieldTypingOptions& options, bool& fixed,
                         bool& read_only) {
  const bool binary = flags & BINARY_FLAG;
  const bool binary_bytes = binary && charset == kBinaryCharset && !options.BinaryAsString;
  switch (type) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
      return options.NumericType == ntBCD      ? ftBCD
             : options.NumericType == ntFmtBCD ? ftFMTBcd
                                               : ftFloat;
    case MYSQL_TYPE_TINY:
      return length == 1 && options.EnableBoolean ? ftBoolean : ftSmallint;
    case MYSQL_TYPE_SHORT:
      return flags & UNSIGNED_FLAG ? ftWord : ftSmallint;
    case MYSQL_TYPE_LONG:
      return flags & UNSIGNED_FLAG ? ftLargeint : ftInteger;
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
      return ftFloat;
    case MYSQL_TYPE_NULL:
      read_only = true;
      return ftString;
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_DATETIME:
      return ftDateTime;
    case MYSQL_TYPE_LONGLONG:
      return options.OptimizedBigInt && length < 12 ? ftInteger : ftLargeint;
    case MYSQL_TYPE_INT24:
      return ftInteger;
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
      return ftDate;
    case MYSQL_TYPE_TIME:
      return ftTime;
    case MYSQL_TYPE_YEAR:
      return ftWord;
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_VAR_STRING:
      return binary_bytes ? ftVarBytes : ftString;
    case MYSQL_TYPE_BIT:
      return options.OptimizedBigInt && length < 32 ? ftInteger : ftLargeint;
    case MYSQL_TYPE_ENUM:
    case MYSQL_TYPE_SET:
      return ftString;
    case MYSQL_TYPE_STRING:
      fixed = !binary_bytes;
      return binary_bytes ? ftBytes : ftString;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
    case MYSQL_TYPE_GEOMETRY:
      return binary ? ftBlob : ftMemo;
    default:
      throw EMyError(CR_UNKNOWN_ERROR, "Unknown MySQL datatype (" + std::to_string(type) + ")");
  }
}

// The options' say over the type: wide strings, everything as text, long
// results of expressions as large objects, long strings as memos.
TFieldType adjusted_field_type(TFieldType t, std::uint8_t type, std::uint32_t flags,
                               std::uint32_t length, std::string_view table,
                               const FieldTypingOptions& options) {
  const bool blob = t == ftBlob || t == ftMemo;
  if (options.UseUnicode && t == ftString) t = ftWideString;
  if (options.FieldsAsString && !blob) t = ftString;
  if (type == MYSQL_TYPE_VAR_STRING && length == 65535 && table.empty())
    t = (flags & BINARY_FLAG) ? ftBlob : ftMemo;
  const bool stringish = t == ftString || t == ftWideString;
  if (!options.LongStrings && stringish && length > 256) t = ftMemo;
  return t;
}

// Size, precision and scale of a field that is not a large object.
void size_field(FieldTyping& t, std::uint8_t type, std::uint8_t decimals) {
  if (t.data_type == ftBlob || t.data_type == ftMemo) return;
  std::uint32_t len = t.length;
  if ((type == MYSQL_TYPE_DECIMAL || type == MYSQL_TYPE_NEWDECIMAL) && decimals == 0 && len > 0)
    len -= 1;
  t.size = static_cast<int>(std::min<std::uint32_t>(len, 0x7FFFFFFF));
  const bool sized = t.data_type == ftString || t.data_type == ftWideString ||
                     t.data_type == ftBytes || t.data_type == ftVarBytes;
  if (sized && t.size == 0 && type != MYSQL_TYPE_NULL) t.size = 65530;
  switch (t.data_type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftFloat:
    case ftLargeint:
      t.precision = t.size;
      break;
    default:
      break;
  }
  if (t.data_type == ftFloat || t.data_type == ftBCD) t.scale = decimals;
}

}  // namespace

FieldTyping type_column(std::uint8_t type, std::uint32_t flags, std::uint16_t charset,
                        std::uint32_t length, std::uint8_t decimals, std::string_view name,
                        std::string_view table, const ParsedStatement& stmt,
                        const FieldTypingOptions& options) {
  FieldTyping t;
  t.length = sizing_length(type, charset, length, name, stmt, options);
  t.data_type = field_type_of(type, flags, charset, t.length, options, t.fixed, t.read_only);
  t.data_type = adjusted_field_type(t.data_type, type, flags, t.length, table, options);
  size_field(t, type, decimals);
  return t;
}

}  // namespace mysql
