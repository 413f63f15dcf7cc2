#include "dump/identifiers.h"

#include <gtest/gtest.h>

#include "dump/line_sink.h"

using namespace dump;

TEST(Identifiers, QuotingRule) {
  struct Case {
    const char* name;
    std::string in;
    bool quote_names;
    std::string out;
  } cases[] = {
      {"plain", "musteri", false, "musteri"},
      {"letters digits _ $", "a_1$B", false, "a_1$B"},
      {"quote names on", "musteri", true, "`musteri`"},
      {"blank", "x y", false, "`x y`"},
      {"hyphen", "a-b", false, "`a-b`"},
      {"turkish letter", "m\xFC\xFEteri", false, "`m\xFC\xFEteri`"},
      {"leading digit", "1abc", false, "`1abc`"},
      {"leading underscore", "_a", false, "`_a`"},
      {"backtick inside doubled", "a`b", false, "`a``b`"},
      {"empty", "", false, "``"},
      {"already backticked", "`x y`", false, "`x y`"},
      {"already double quoted", "\"x\"", true, "\"x\""},
      {"already single quoted", "'x'", false, "'x'"},
      {"lone backtick", "`", false, "````"},
      {"case kept", "MuSteri", true, "`MuSteri`"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(quote_identifier(c.in, c.quote_names), c.out);
  }
}

TEST(Identifiers, TableNamesParsing) {
  using E = std::vector<TableEntry>;
  struct Case {
    const char* name;
    std::string text;
    E entries;
  } cases[] = {
      {"separators and blanks", "  a ; b,c  ", {{"", "a"}, {"", "b"}, {"", "c"}}},
      {"backticked blank name", "`x y`", {{"", "x y"}}},
      {"double and single quotes", "\"p q\", 'r'", {{"", "p q"}, {"", "r"}}},
      {"doubled quote reduced", "`a``b`", {{"", "a`b"}}},
      {"empty pieces dropped", ",;a,, ;", {{"", "a"}}},
      {"comma splits even in quotes", "`a,b`", {{"", "`a"}, {"", "b`"}}},
      {"qualified", "shop.musteri", {{"shop", "musteri"}}},
      {"qualified quoted parts", "`my db`.`t.1`", {{"my db", "t.1"}}},
      {"dot inside backticks", "`a.b`", {{"", "a.b"}}},
      {"lone quote kept", "'", {{"", "'"}}},
      {"empty text", "   ", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(parse_table_names(c.text), c.entries);
  }
}

TEST(Identifiers, TableNamesGetterQuotesEachEntry) {
  auto e = parse_table_names("a; `x y` ,shop.`t-1`");
  EXPECT_EQ(join_table_names(e, false), "a, `x y`, shop.`t-1`");
  EXPECT_EQ(join_table_names(e, true), "`a`, `x y`, `shop`.`t-1`");
}

TEST(Identifiers, RawNamesStayThemselves) {
  // Quotes around a raw name are part of it: quoted again, never taken as
  // quoting, and the getter's text parses back to the same entries.
  EXPECT_EQ(quote_name("'q'", false), "`'q'`");
  EXPECT_EQ(quote_name("`q`", false), "```q```");
  EXPECT_EQ(quote_name("q", false), "q");
  EXPECT_EQ(quote_name("q", true), "`q`");
  const std::vector<TableEntry> e = {{"", "'q'"}, {"", "\"x\""}};
  EXPECT_EQ(parse_table_names(join_table_names(e, false)), e);
}

TEST(Identifiers, StatementTextBreaksLinesOnlyOutsideQuotes) {
  platform::LineList lines;
  StringsSink sink(lines);
  emit_statement_text(sink,
                      "CREATE TABLE `a\nb``\r\n` (\r\n  `c` int DEFAULT 'x\\'\n',\n  \"d\ne\" "
                      "int\r)\n");
  EXPECT_EQ(lines, (platform::LineList{"CREATE TABLE `a\nb``\r\n` (", "  `c` int DEFAULT 'x\\'\n',",
                                       "  \"d\ne\" int", ")"}));
  lines.clear();
  emit_statement_text(sink, std::string("a\nb\0c", 5));
  EXPECT_EQ(lines, (platform::LineList{"a", "b"}));
}
