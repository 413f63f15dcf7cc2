#include "dump/literals.h"

#include <gtest/gtest.h>

#include <optional>

using namespace dump;
using namespace dump::mysql_type;

namespace {

struct Case {
  const char* name;
  std::uint8_t type;
  std::uint16_t flags;
  std::optional<std::string> value;  // nullopt is NULL
  std::string literal;
  bool hex_blob = false;
  bool fields_as_string = false;
  bool backslashes = true;
};

std::string literal(const Case& c) {
  TDumpColumn column{"c", c.type, c.flags, 20,
                     static_cast<std::uint16_t>(c.flags & kBinaryFlag ? 63 : 30)};
  std::string out = "(";
  append_literal(out, literal_plan(column, c.hex_blob, c.fields_as_string),
                 c.value ? std::string_view(*c.value) : std::string_view(), !c.value,
                 c.backslashes);
  return out;
}

}  // namespace

TEST(Literals, ByColumnClass) {
  const std::string nul_value("a\0b", 3);
  const Case cases[] = {
      {"decimal as sent", kNewDecimal, 0, "3.50", "3.50"},
      {"negative int", kLong, 0, "-7", "-7"},
      {"double exponent", kDouble, 0, "1e300", "1e300"},
      {"year", kYear, 0, "2024", "2024"},
      {"date unescaped", kDate, 0, "0000-00-00", "'0000-00-00'"},
      {"negative time", kTime, 0, "-838:59:59.000000", "'-838:59:59.000000'"},
      {"datetime", kDateTime, 0, "2024-05-17 10:20:30", "'2024-05-17 10:20:30'"},
      {"varchar quote and backslash", kVarString, 0, "it'\\", "'it\\'\\\\'"},
      {"text same escapes", kBlob, 0, "it'\\", "'it\\'\\\\'"},
      {"line feed never raw", kVarString, 0, "a\nb\rc", "'a\\nb\\rc'"},
      {"ctrl-z and double quote", kString, 0, "\x1A\"", "'\\Z\\\"'"},
      {"zero byte kept in varchar", kVarString, 0, nul_value, "'a\\0b'"},
      {"zero byte kept in blob", kBlob, kBinaryFlag, nul_value, "'a\\0b'"},
      {"high bytes unchanged", kVarString, 0, "\xFE\xFD\x80", "'\xFE\xFD\x80'"},
      {"empty varchar", kVarString, 0, "", "''"},
      {"empty blob", kBlob, kBinaryFlag, "", "''"},
      {"empty blob hex", kBlob, kBinaryFlag, "", "''", true},
      {"null int", kLong, 0, std::nullopt, "NULL"},
      {"null bit", kBit, 0, std::nullopt, "NULL"},
      {"null blob hex", kBlob, kBinaryFlag, std::nullopt, "NULL", true},
      {"hex blob", kBlob, kBinaryFlag, "\x01\xAB", "0x01AB", true},
      {"hex binary varchar", kVarString, kBinaryFlag, std::string("\x00\xff", 2), "0x00FF", true},
      {"hex geometry", kGeometry, kBinaryFlag, "\x7F", "0x7F", true},
      {"text not hex", kBlob, 0, "\x01\xAB", "'\x01\xAB'", true},
      {"hex off binary", kVarString, kBinaryFlag, "\x27", "'\\''"},
      {"bit one", kBit, 0, std::string("\x01", 1), "1"},
      {"bit 64 all ones", kBit, 0, std::string(8, '\xFF'), "18446744073709551615"},
      {"bit two bytes", kBit, 0, std::string("\x01\x00", 2), "256"},
      {"enum", kEnum, 0, "b'c", "'b\\'c'"},
      {"unknown type as string", 245, 0, "{\"a\":1}", "'{\\\"a\\\":1}'"},
      {"fields as string: bit is text", kBit, 0, std::string("\x01", 1), "'\x01'", false, true},
      {"fields as string: number stays", kLong, 0, "42", "42", false, true},
      {"fields as string: date stays", kDate, 0, "2024-01-02", "'2024-01-02'", false, true},
      {"no backslashes: quote doubled", kVarString, 0, "it's\\\n", "'it''s\\\n'", false, false,
       false},
      {"no backslashes: zero byte raw", kBlob, 0, nul_value, "'" + nul_value + "'", false, false,
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(literal(c), "(" + c.literal);
  }
}

TEST(Literals, EveryByteEscapedOrCopied) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string out;
  append_quoted(out, all, true);
  // Undo the escapes and expect every byte back, in order.
  ASSERT_EQ(out.front(), '\'');
  ASSERT_EQ(out.back(), '\'');
  std::string back;
  for (size_t i = 1; i + 1 < out.size(); ++i) {
    char c = out[i];
    ASSERT_NE(c, '\n');
    ASSERT_NE(c, '\r');
    if (c == '\'') FAIL() << "unescaped quote at " << i;
    if (c != '\\') {
      back += c;
      continue;
    }
    char e = out[++i];
    switch (e) {
      case '0':
        back += '\0';
        break;
      case 'n':
        back += '\n';
        break;
      case 'r':
        back += '\r';
        break;
      case 'Z':
        back += '\x1A';
        break;
      case '"':
      case '\'':
      case '\\':
        back += e;
        break;
      default:
        FAIL() << "unexpected escape " << e;
    }
  }
  EXPECT_EQ(back, all);
}
