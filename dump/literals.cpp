// Value literals (see literals.h).
#include "dump/literals.h"

#include <array>
#include <charconv>

#include "mysql/field_types.h"

namespace dump {
namespace {

using namespace mysql;

bool is_large_object(std::uint8_t t) {
  return t == MYSQL_TYPE_TINY_BLOB || t == MYSQL_TYPE_MEDIUM_BLOB || t == MYSQL_TYPE_LONG_BLOB ||
         t == MYSQL_TYPE_BLOB || t == MYSQL_TYPE_GEOMETRY;
}

bool is_number(std::uint8_t t) {
  switch (t) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_YEAR:
    case MYSQL_TYPE_NEWDECIMAL:
      return true;
    default:
      return false;
  }
}

bool is_date_time(std::uint8_t t) {
  return t == MYSQL_TYPE_TIMESTAMP || t == MYSQL_TYPE_DATE || t == MYSQL_TYPE_TIME ||
         t == MYSQL_TYPE_DATETIME || t == MYSQL_TYPE_NEWDATE;
}

// Backslash escapes: the character written after '\' for each byte, 0 for a
// byte copied unchanged.
constexpr std::array<char, 256> make_escape_table() {
  std::array<char, 256> t{};
  t[0x00] = '0';
  t[0x0A] = 'n';
  t[0x0D] = 'r';
  t[0x1A] = 'Z';
  t[0x22] = '"';
  t[0x27] = '\'';
  t[0x5C] = '\\';
  return t;
}
constexpr std::array<char, 256> kEscapes = make_escape_table();

void append_hex(std::string& out, std::string_view value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const size_t at = out.size();
  out.resize(at + 2 + 2 * value.size());
  char* p = out.data() + at;
  *p++ = '0';
  *p++ = 'x';
  for (unsigned char c : value) {
    *p++ = kDigits[c >> 4];
    *p++ = kDigits[c & 0x0F];
  }
}

// BIT values arrive as their bytes, most significant first.
void append_bit_integer(std::string& out, std::string_view value) {
  std::uint64_t v = 0;
  for (unsigned char c : value) v = (v << 8) | c;
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

}  // namespace

LiteralPlan literal_plan(const DumpColumn& column, bool hex_blob, bool fields_as_string) {
  const std::uint8_t t = column.type;
  const bool binary_flag = (column.flags & BINARY_FLAG) != 0;
  const bool binary_charset = column.charset == kBinaryCharset;
  const bool bytes_type = t == MYSQL_TYPE_VARCHAR || t == MYSQL_TYPE_VAR_STRING ||
                          t == MYSQL_TYPE_STRING || is_large_object(t);
  LiteralPlan plan;
  if (bytes_type && (binary_charset || (hex_blob && binary_flag))) plan.hex = true;
  if (is_number(t))
    plan.literal_class = LiteralClass::kNumber;
  else if (is_date_time(t))
    plan.literal_class = LiteralClass::kDateTime;
  else if (t == MYSQL_TYPE_BIT && !fields_as_string)
    plan.literal_class = LiteralClass::kInteger;
  else
    plan.literal_class = LiteralClass::kString;
  return plan;
}

void append_quoted(std::string& out, std::string_view value, bool backslash_escapes) {
  out += '\'';
  const char* p = value.data();
  const char* end = p + value.size();
  const char* run = p;
  if (backslash_escapes) {
    for (; p != end; ++p) {
      const char e = kEscapes[static_cast<unsigned char>(*p)];
      if (e == 0) continue;
      out.append(run, p);
      out += '\\';
      out += e;
      run = p + 1;
    }
  } else {
    for (; p != end; ++p) {
      if (*p != '\'') continue;
      out.append(run, p + 1);
      out += '\'';
      run = p + 1;
    }
  }
  out.append(run, end);
  out += '\'';
}

void append_literal(std::string& out, const LiteralPlan& plan, std::string_view value, bool is_null,
                    bool backslash_escapes) {
  if (is_null) {
    out += "NULL";
    return;
  }
  if (plan.hex) {
    if (value.empty())
      out += "''";
    else
      append_hex(out, value);
    return;
  }
  switch (plan.literal_class) {
    case LiteralClass::kNumber:
      out += value;
      return;
    case LiteralClass::kDateTime:
      out += '\'';
      out += value;
      out += '\'';
      return;
    case LiteralClass::kInteger:
      append_bit_integer(out, value);
      return;
    case LiteralClass::kString:
      append_quoted(out, value, backslash_escapes);
      return;
  }
}

}  // namespace dump
