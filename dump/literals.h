// SQL literals of column values in INSERT row lines. Pure functions over the
// value bytes as the server sent them in its text result; numbers and dates are
// copied as the server's text, strings and bytes escaped byte by byte.
// Used by the statement code of the dump processor.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dump/dump_source.h"

namespace dump {

// MySQL column type codes and flags the literals depend on.
namespace mysql_type {
inline constexpr std::uint8_t kDecimal = 0, kTiny = 1, kShort = 2, kLong = 3, kFloat = 4,
                              kDouble = 5, kNull = 6, kTimestamp = 7, kLongLong = 8, kInt24 = 9,
                              kDate = 10, kTime = 11, kDateTime = 12, kYear = 13, kNewDate = 14,
                              kVarChar = 15, kBit = 16, kNewDecimal = 246, kEnum = 247, kSet = 248,
                              kTinyBlob = 249, kMediumBlob = 250, kLongBlob = 251, kBlob = 252,
                              kVarString = 253, kString = 254, kGeometry = 255;
inline constexpr std::uint16_t kBinaryFlag = 0x80;
inline constexpr std::uint16_t kBinaryCharset = 63;
}  // namespace mysql_type

enum class TLiteralClass {
  Number,    // server text, no quotes
  DateTime,  // server text in single quotes, unescaped
  String,    // every byte escaped, in single quotes
  Integer,   // BIT: the big-endian bits as a decimal number
};

// How one column's values are written; fixed for a table's rows.
struct TLiteralPlan {
  TLiteralClass Class = TLiteralClass::String;
  bool Hex = false;  // 0x... (HexBlob on and a binary string or binary blob)
};

TLiteralPlan literal_plan(const TDumpColumn& column, bool hex_blob, bool fields_as_string);

// Appends the literal of one value to out.
void append_literal(std::string& out, const TLiteralPlan& plan, std::string_view value,
                    bool is_null, bool backslash_escapes);

// Appends value escaped and framed by single quotes. Backslash escaping writes
// 0x00 \0, LF \n, CR \r, 0x1A \Z, " \", ' \', \ \\; without it only ' becomes ''.
void append_quoted(std::string& out, std::string_view value, bool backslash_escapes);

}  // namespace dump
