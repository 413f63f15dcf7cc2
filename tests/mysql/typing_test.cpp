// Table tests of the field typing: type codes, flags and lengths to field
// data types and sizes, the SHOW length adjustments, and the base types of
// the binding check.
#include <gtest/gtest.h>

#include "mysql/field_types.h"
#include "mysql/my_error.h"

using namespace mysql;

namespace {
FieldTyping typ(std::uint8_t type, std::uint32_t length, std::uint32_t flags = 0,
                std::uint16_t charset = 8, std::uint8_t decimals = 0, FieldTypingOptions o = {},
                const char* table = "t") {
  ParsedStatement stmt{"SELECT * FROM t", 5, 5, 5};
  return type_column(type, flags, charset, length, decimals, "c", table, stmt, o);
}
}  // namespace

TEST(FieldTyping, TypeCodeTable) {
  struct Case {
    const char* name;
    std::uint8_t type;
    std::uint32_t length, flags;
    std::uint16_t charset;
    TFieldType expected;
  };
  const std::vector<Case> cases = {
      {"DECIMAL", MYSQL_TYPE_NEWDECIMAL, 14, 0, 63, ftFloat},
      {"TINYINT(1)", MYSQL_TYPE_TINY, 1, 0, 63, ftBoolean},
      {"TINYINT(4)", MYSQL_TYPE_TINY, 4, 0, 63, ftSmallint},
      {"TINYINT UNSIGNED", MYSQL_TYPE_TINY, 3, UNSIGNED_FLAG, 63, ftSmallint},
      {"SMALLINT UNSIGNED", MYSQL_TYPE_SHORT, 5, UNSIGNED_FLAG, 63, ftWord},
      {"SMALLINT", MYSQL_TYPE_SHORT, 6, 0, 63, ftSmallint},
      {"INT UNSIGNED", MYSQL_TYPE_LONG, 10, UNSIGNED_FLAG, 63, ftLargeint},
      {"INT", MYSQL_TYPE_LONG, 11, 0, 63, ftInteger},
      {"FLOAT", MYSQL_TYPE_FLOAT, 12, 0, 63, ftFloat},
      {"DOUBLE", MYSQL_TYPE_DOUBLE, 22, 0, 63, ftFloat},
      {"NULL", MYSQL_TYPE_NULL, 0, 0, 63, ftString},
      {"TIMESTAMP", MYSQL_TYPE_TIMESTAMP, 19, 0, 63, ftDateTime},
      {"BIGINT(3)", MYSQL_TYPE_LONGLONG, 3, 0, 63, ftLargeint},
      {"MEDIUMINT", MYSQL_TYPE_INT24, 9, 0, 63, ftInteger},
      {"DATE", MYSQL_TYPE_DATE, 10, 0, 63, ftDate},
      {"TIME", MYSQL_TYPE_TIME, 10, 0, 63, ftTime},
      {"DATETIME", MYSQL_TYPE_DATETIME, 19, 0, 63, ftDateTime},
      {"YEAR", MYSQL_TYPE_YEAR, 4, 0, 63, ftWord},
      {"VARCHAR", MYSQL_TYPE_VAR_STRING, 40, 0, 8, ftString},
      {"VARBINARY (binary as string)", MYSQL_TYPE_VAR_STRING, 8, BINARY_FLAG, 63, ftString},
      {"BIT", MYSQL_TYPE_BIT, 5, 0, 63, ftLargeint},
      {"ENUM", MYSQL_TYPE_ENUM, 1, 0, 8, ftString},
      {"CHAR", MYSQL_TYPE_STRING, 3, 0, 8, ftString},
      {"BLOB", MYSQL_TYPE_BLOB, 65535, BINARY_FLAG, 63, ftBlob},
      {"TEXT BINARY collation", MYSQL_TYPE_BLOB, 65535, BINARY_FLAG, 8, ftBlob},
      {"TEXT", MYSQL_TYPE_BLOB, 65535, 0, 8, ftMemo},
      {"GEOMETRY", MYSQL_TYPE_GEOMETRY, 0, BINARY_FLAG, 63, ftBlob},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_EQ(typ(k.type, k.length, k.flags, k.charset).data_type, k.expected);
  }
  for (int code : {17, 100, 245}) {
    try {
      typ(static_cast<std::uint8_t>(code), 1);
      ADD_FAILURE();
    } catch (const EMyError& e) {
      EXPECT_EQ(e.what(), "Unknown MySQL datatype (" + std::to_string(code) + ")");
    }
  }
}

TEST(FieldTyping, OptionsAndSizes) {
  FieldTypingOptions bytes;
  bytes.BinaryAsString = false;
  EXPECT_EQ(typ(MYSQL_TYPE_VAR_STRING, 8, BINARY_FLAG, 63, 0, bytes).data_type, ftVarBytes);
  EXPECT_EQ(typ(MYSQL_TYPE_STRING, 8, BINARY_FLAG, 63, 0, bytes).data_type, ftBytes);
  FieldTypingOptions opt;
  opt.OptimizedBigInt = true;
  EXPECT_EQ(typ(MYSQL_TYPE_LONGLONG, 11, 0, 63, 0, opt).data_type, ftInteger);
  EXPECT_EQ(typ(MYSQL_TYPE_LONGLONG, 20, 0, 63, 0, opt).data_type, ftLargeint);
  FieldTypingOptions uni;
  uni.UseUnicode = true;
  FieldTyping w = typ(MYSQL_TYPE_VAR_STRING, 120, 0, 33, 0, uni);
  EXPECT_EQ(w.data_type, ftWideString);
  EXPECT_EQ(w.size, 40);
  FieldTypingOptions shortstr;
  shortstr.LongStrings = false;
  EXPECT_EQ(typ(MYSQL_TYPE_VAR_STRING, 257, 0, 8, 0, shortstr).data_type, ftMemo);
  EXPECT_EQ(typ(MYSQL_TYPE_VAR_STRING, 257).data_type, ftString);
  // Expression column of length 65535 without a table.
  EXPECT_EQ(typ(MYSQL_TYPE_VAR_STRING, 65535, 0, 8, 0, {}, "").data_type, ftMemo);
  EXPECT_EQ(typ(MYSQL_TYPE_VAR_STRING, 65535, BINARY_FLAG, 63, 0, {}, "").data_type, ftBlob);
  EXPECT_EQ(typ(MYSQL_TYPE_VAR_STRING, 0).size, 65530);
  EXPECT_EQ(typ(MYSQL_TYPE_NULL, 0).size, 0);
  EXPECT_TRUE(typ(MYSQL_TYPE_NULL, 0).read_only);
  EXPECT_TRUE(typ(MYSQL_TYPE_STRING, 3).fixed);
  FieldTyping dec = typ(MYSQL_TYPE_NEWDECIMAL, 14, 0, 63, 2);
  EXPECT_EQ(dec.size, 14);
  EXPECT_EQ(dec.scale, 2);
  EXPECT_EQ(typ(MYSQL_TYPE_NEWDECIMAL, 11, 0, 63, 0).size, 10);
  EXPECT_EQ(typ(MYSQL_TYPE_DATETIME, 57, 0, 33).length, 19u);
}

TEST(FieldTyping, ShowStatementLengths) {
  struct Case {
    const char* sql;
    const char* column;
    std::uint32_t length;
    int major, minor, release;
    std::uint32_t expected;
  };
  const std::vector<Case> cases = {
      {"SHOW PRIVILEGES", "Privilege", 10, 5, 5, 5, 40},
      {"SHOW PRIVILEGES", "Context", 30, 5, 5, 5, 30},
      {"show processlist", "State", 30, 5, 5, 5, 90},
      {"SHOW SLAVE STATUS", "Slave_IO_State", 20, 5, 5, 5, 80},
      {"SHOW SLAVE STATUS", "Slave_SQL_Running", 2, 5, 5, 5, 6},
      {"SHOW SLAVE STATUS", "Last_Error", 79, 5, 5, 5, 2048},
      {"SHOW CREATE TABLE t", "Create Table", 1024, 5, 5, 5, 65535},
      {"SHOW CREATE TABLE t", "Create Table", 1024, 4, 0, 20, 65535},
      {"SHOW CREATE TABLE t", "Create Table", 1024, 8, 0, 36, 1024},
      {"SHOW CREATE PROCEDURE p", "Create Procedure", 1024, 5, 0, 1, 65535},
      {"SHOW GRANTS", "User", 80, 5, 1, 52, 16},
      {"SHOW GRANTS", "Host", 180, 5, 1, 52, 60},
      {"SHOW GRANTS", "Host", 180, 5, 1, 51, 180},
      {"SHOW ENGINES", "Engine", 10, 5, 0, 90, 31},
      {"SELECT 'SHOW CREATE'", "Create Table", 1024, 5, 5, 5, 1024},
      {"EXPLAIN SELECT 1", "type", 10, 4, 1, 0, 65534},
      {"DESCRIBE t", "type", 10, 5, 0, 0, 10},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.sql) + " / " + k.column);
    ParsedStatement stmt{k.sql, k.major, k.minor, k.release};
    EXPECT_EQ(sizing_length(MYSQL_TYPE_VAR_STRING, 8, k.length, k.column, stmt, {}), k.expected);
  }
}

TEST(FieldTyping, BaseTypesAndNames) {
  EXPECT_EQ(base_field_type(ftSmallint), ftInteger);
  EXPECT_EQ(base_field_type(ftWord), ftInteger);
  EXPECT_EQ(base_field_type(ftLargeint), ftLargeint);
  EXPECT_EQ(base_field_type(ftBoolean), ftBoolean);
  EXPECT_EQ(base_field_type(ftMemo), ftBlob);
  EXPECT_EQ(base_field_type(ftWideString), ftUnknown);
  EXPECT_EQ(base_field_type(ftTime), ftDateTime);
  EXPECT_EQ(FieldTypeNames(ftLargeint), "LargeInt");
  EXPECT_EQ(FieldTypeNames(ftOraBlob), "HugeBlob");
  EXPECT_EQ(FieldTypeNames(ftFMTBcd), "FMTBcdField");
  EXPECT_EQ(FieldTypeNames(ftTimeStamp), "SQLTimeStamp");
}
