// The pure pieces of the views', routines', triggers' and events' script text.
#include "dump/schema_objects.h"

#include <gtest/gtest.h>

namespace {

using dump::stand_in_column;
using dump::statement_delimiter;
using dump::strip_schema_qualifier;

TEST(SchemaObjects, ViewDefinitionsLoseTheirDatabaseName) {
  const struct {
    const char* name;
    std::string db, definition, expected;
  } cases[] = {
      {"columns and tables", "shop", "select `shop`.`t`.`a` AS `a` from `shop`.`t`",
       "select `t`.`a` AS `a` from `t`"},
      {"another database stays", "shop", "select `x`.`t`.`a` from `x`.`t`",
       "select `x`.`t`.`a` from `x`.`t`"},
      {"inside strings", "shop", "select '`shop`.', \"`shop`.\", 'a''`shop`.', 'b\\'`shop`.'",
       "select '`shop`.', \"`shop`.\", 'a''`shop`.', 'b\\'`shop`.'"},
      {"a name that ends like it", "shop", "select `my``shop`.`a` from `xshop`.`t`",
       "select `my``shop`.`a` from `xshop`.`t`"},
      {"backtick in the database name", "a`b", "select `a``b`.`t`.`c` from `a``b`.`t`",
       "select `t`.`c` from `t`"},
      {"UTF-8 name", "veritaban\xC4\xB1", "select `veritaban\xC4\xB1`.`t`.`a`", "select `t`.`a`"},
      {"the name without a dot", "shop", "select 1 AS `shop`", "select 1 AS `shop`"},
      {"unterminated string", "shop", "select 'abc", "select 'abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(strip_schema_qualifier(c.definition, c.db), c.expected);
  }
}

TEST(SchemaObjects, DelimiterNeverOccursInTheStatement) {
  const struct {
    const char* name;
    std::string text, expected;
  } cases[] = {
      {"plain body", "BEGIN SELECT 1; END", ";;"},
      {"body holding ;;", "SET x = ';;'", "$$"},
      {"body ending in ;", "BEGIN SELECT 1; END;", "$$"},
      {";; and $$", "';;' '$$'", "//"},
      {"all three", "';;' '$$' '//'", ";;;;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(statement_delimiter(c.text), c.expected);
  }
}

TEST(SchemaObjects, StandInColumnsKeepTypesButNeverTheRowSize) {
  EXPECT_EQ(stand_in_column("a`b", "int(11)", ""), "`a``b` int(11)");
  EXPECT_EQ(stand_in_column("g", "geometry", ""), "`g` geometry");
  EXPECT_EQ(stand_in_column("s", "varchar(16383)", "utf8mb4_bin"),
            "`s` longtext COLLATE utf8mb4_bin");
  EXPECT_EQ(stand_in_column("b", "varbinary(60000)", ""), "`b` longblob");
  EXPECT_EQ(stand_in_column("e", "enum('a','b')", "latin1_swedish_ci"),
            "`e` enum('a','b') COLLATE latin1_swedish_ci");
}

TEST(SchemaObjects, ServerMessageWithoutState) {
  EXPECT_EQ(dump::server_message("\r\n#42000Access denied"), "Access denied");
  EXPECT_EQ(dump::server_message("Lost connection"), "Lost connection");
}

}  // namespace
