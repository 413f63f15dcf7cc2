// ASCII case folding: only A-Z / a-z change, whatever the locale; the
// Windows-1254 letters (İ 0xDD, ı 0xFD, Ş 0xDE, ş 0xFE) stay as they are.
#include "platform/ascii_case.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace platform;

TEST(AsciiCase, OnlyAsciiLettersChange) {
  // A locale that folds more than ASCII must not change the result.
  std::setlocale(LC_ALL, "C.UTF-8");
  EXPECT_EQ(ascii_lowercase("SET NAMES Latin5 \xDD\xDE 09@[`{"),
            "set names latin5 \xDD\xDE 09@[`{");
  EXPECT_EQ(ascii_uppercase("utf8 \xFD\xFE z"), "UTF8 \xFD\xFE Z");
  std::setlocale(LC_ALL, "C");

  const struct {
    const char *a, *b;
    bool equal;
  } cases[] = {{"ayarlar", "AYARLAR", true},
               {"Levhano", "levhanO", true},
               {"", "", true},
               {"ab", "abc", false},
               {"\xDD", "i", false},
               {"\xFD", "I", false},
               {"@", "`", false},
               {"[", "{", false}};
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.a) + " / " + k.b);
    EXPECT_EQ(equal_ignoring_ascii_case(k.a, k.b), k.equal);
  }
  EXPECT_TRUE(starts_with_ignoring_ascii_case("utf8 on", "UTF8"));
  EXPECT_FALSE(starts_with_ignoring_ascii_case("UT", "UTF8"));
}
