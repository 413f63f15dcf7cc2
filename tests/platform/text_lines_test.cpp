#include "platform/text_lines.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(TextLines, SplitRules) {
  struct Case {
    const char* name;
    std::string text;
    LineList lines;
  } cases[] = {
      {"empty", "", {}},
      {"crlf", "a\r\nb\r\n", {"a", "b"}},
      {"lone lf", "a\nb", {"a", "b"}},
      {"lone cr", "a\rb\r", {"a", "b"}},
      {"cr then crlf", "a\r\r\nb", {"a", "", "b"}},
      {"lf cr is two ends", "a\n\rb", {"a", "", "b"}},
      {"only line end", "\r\n", {""}},
      {"nul ends the text", std::string("a\r\nb\0c\r\nd", 9), {"a", "b"}},
      {"blanks kept", " a \r\n b ", {" a ", " b "}},
      {"bom kept", "\xEF\xBB\xBFhost\r\n", {"\xEF\xBB\xBFhost"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(split_lines(c.text), c.lines);
  }
}

TEST(TextLines, JoinEndsEveryLineWithCrLf) {
  EXPECT_EQ(join_lines({"a", "", "b"}), "a\r\n\r\nb\r\n");
  EXPECT_EQ(join_lines({}), "");
  EXPECT_EQ(line_at({"a"}, 0), "a");
  EXPECT_EQ(line_at({"a"}, 3), "");
}
