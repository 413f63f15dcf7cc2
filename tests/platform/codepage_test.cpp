#include "platform/codepage.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Codepage, EveryAnsiByteRoundTripsThroughUtf16AndUtf8) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  bool exact = true;
  EXPECT_EQ(utf16_to_ansi(ansi_to_utf16(all), &exact), all);
  EXPECT_TRUE(exact);
  EXPECT_EQ(utf8_to_ansi(ansi_to_utf8(all), &exact), all);
  EXPECT_TRUE(exact);
}

TEST(Codepage, TurkishLettersAndTheBytesGlibcLeavesUndefined) {
  struct Case {
    unsigned char byte;
    char16_t unit;
  } cases[] = {{0xFD, u'\u0131'}, {0xDD, u'\u0130'}, {0xF0, u'\u011F'}, {0xD0, u'\u011E'},
               {0xFE, u'\u015F'}, {0xDE, u'\u015E'}, {0x80, u'\u20AC'}, {0x81, u'\u0081'},
               {0x8D, u'\u008D'}, {0x8E, u'\u008E'}, {0x8F, u'\u008F'}, {0x90, u'\u0090'},
               {0x9D, u'\u009D'}, {0x9E, u'\u009E'}};
  for (auto c : cases) {
    SCOPED_TRACE(int(c.byte));
    EXPECT_EQ(ansi_char_to_utf16(c.byte), c.unit);
  }
  EXPECT_EQ(ansi_to_utf8("dosyas\xFD"), "dosyas\xC4\xB1");
}

TEST(Codepage, CharactersOutsideWindows1254BecomeQuestionMarks) {
  bool exact = true;
  EXPECT_EQ(utf16_to_ansi(u"a\u4E2Db\U0001F600c", &exact), "a?b?c");
  EXPECT_FALSE(exact);
}

TEST(Codepage, OemConversion) {
  bool exact = true;
  // s-cedilla, g-breve, dotless i, capital I with dot in code page 857
  EXPECT_EQ(ansi_to_oem("\xFE\xF0\xFD\xDD", &exact), "\x9F\xA7\x8D\x98");
  EXPECT_TRUE(exact);
  ansi_to_oem("\x80", &exact);  // the euro sign has no 857 form
  EXPECT_FALSE(exact);
}
