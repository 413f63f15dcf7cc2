#include "dump/literals.h"

#include <gtest/gtest.h>

#include <optional>

#include "mysql/field_types.h"

using namespace dump;
using namespace mysql;

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
  DumpColumn column{"c", c.type, c.flags, 20,
                    static_cast<std::uint16_t>(c.flags & BINARY_FLAG ? 63 : 30)};
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
      {"decimal as sent", MYSQL_TYPE_NEWDECIMAL, 0, "3.50", "3.50"},
      {"negative int", MYSQL_TYPE_LONG, 0, "-7", "-7"},
      {"double exponent", MYSQL_TYPE_DOUBLE, 0, "1e300", "1e300"},
      {"year", MYSQL_TYPE_YEAR, 0, "2024", "2024"},
      {"date unescaped", MYSQL_TYPE_DATE, 0, "0000-00-00", "'0000-00-00'"},
      {"negative time", MYSQL_TYPE_TIME, 0, "-838:59:59.000000", "'-838:59:59.000000'"},
      {"datetime", MYSQL_TYPE_DATETIME, 0, "2024-05-17 10:20:30", "'2024-05-17 10:20:30'"},
      {"varchar quote and backslash", MYSQL_TYPE_VAR_STRING, 0, "it'\\", "'it\\'\\\\'"},
      {"text same escapes", MYSQL_TYPE_BLOB, 0, "it'\\", "'it\\'\\\\'"},
      {"line feed never raw", MYSQL_TYPE_VAR_STRING, 0, "a\nb\rc", "'a\\nb\\rc'"},
      {"ctrl-z and double quote", MYSQL_TYPE_STRING, 0, "\x1A\"", "'\\Z\\\"'"},
      {"zero byte kept in varchar", MYSQL_TYPE_VAR_STRING, 0, nul_value, "'a\\0b'"},
      {"binary blob always hex", MYSQL_TYPE_BLOB, BINARY_FLAG, nul_value, "0x610062"},
      {"zero byte kept in text", MYSQL_TYPE_BLOB, 0, nul_value, "'a\\0b'"},
      {"high bytes unchanged", MYSQL_TYPE_VAR_STRING, 0, "\xFE\xFD\x80", "'\xFE\xFD\x80'"},
      {"empty varchar", MYSQL_TYPE_VAR_STRING, 0, "", "''"},
      {"empty blob", MYSQL_TYPE_BLOB, BINARY_FLAG, "", "''"},
      {"empty blob hex", MYSQL_TYPE_BLOB, BINARY_FLAG, "", "''", true},
      {"null int", MYSQL_TYPE_LONG, 0, std::nullopt, "NULL"},
      {"null bit", MYSQL_TYPE_BIT, 0, std::nullopt, "NULL"},
      {"null blob hex", MYSQL_TYPE_BLOB, BINARY_FLAG, std::nullopt, "NULL", true},
      {"hex blob", MYSQL_TYPE_BLOB, BINARY_FLAG, "\x01\xAB", "0x01AB", true},
      {"hex binary varchar", MYSQL_TYPE_VAR_STRING, BINARY_FLAG, std::string("\x00\xff", 2),
       "0x00FF", true},
      {"hex geometry", MYSQL_TYPE_GEOMETRY, BINARY_FLAG, "\x7F", "0x7F", true},
      {"text not hex", MYSQL_TYPE_BLOB, 0, "\x01\xAB", "'\x01\xAB'", true},
      {"binary varchar hex without HexBlob", MYSQL_TYPE_VAR_STRING, BINARY_FLAG, "\x27", "0x27"},
      {"binary char hex", MYSQL_TYPE_STRING, BINARY_FLAG, "\x80\xFF", "0x80FF"},
      {"spatial hex", MYSQL_TYPE_GEOMETRY, BINARY_FLAG, "\x01\x02", "0x0102"},
      {"bit one", MYSQL_TYPE_BIT, 0, std::string("\x01", 1), "1"},
      {"bit 64 all ones", MYSQL_TYPE_BIT, 0, std::string(8, '\xFF'), "18446744073709551615"},
      {"bit two bytes", MYSQL_TYPE_BIT, 0, std::string("\x01\x00", 2), "256"},
      {"enum", MYSQL_TYPE_ENUM, 0, "b'c", "'b\\'c'"},
      {"unknown type as string", 245, 0, "{\"a\":1}", "'{\\\"a\\\":1}'"},
      {"fields as string: bit is text", MYSQL_TYPE_BIT, 0, std::string("\x01", 1), "'\x01'", false,
       true},
      {"fields as string: number stays", MYSQL_TYPE_LONG, 0, "42", "42", false, true},
      {"fields as string: date stays", MYSQL_TYPE_DATE, 0, "2024-01-02", "'2024-01-02'", false,
       true},
      {"no backslashes: quote doubled", MYSQL_TYPE_VAR_STRING, 0, "it's\\\n", "'it''s\\\n'", false,
       false, false},
      {"no backslashes: zero byte raw", MYSQL_TYPE_BLOB, 0, nul_value, "'" + nul_value + "'", false,
       false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(literal(c), "(" + c.literal);
  }
}

TEST(Literals, BinaryCollationTextStaysText) {
  // A utf8mb4_bin column carries the binary flag but is text, not bytes.
  const DumpColumn column{"c", MYSQL_TYPE_VAR_STRING, BINARY_FLAG, 40, 46};
  std::string out;
  append_literal(out, literal_plan(column, false, false), "\xE2\x82\xBA'", false, true);
  EXPECT_EQ(out, "'\xE2\x82\xBA\\''");
  // Numbers and dates come with the binary character set too and stay text.
  const DumpColumn date{"d", MYSQL_TYPE_DATE, BINARY_FLAG, 10, 63};
  out.clear();
  append_literal(out, literal_plan(date, true, false), "2024-02-30", false, true);
  EXPECT_EQ(out, "'2024-02-30'");
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
