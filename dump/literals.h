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

enum class LiteralClass {
  kNumber,    // server text, no quotes
  kDateTime,  // server text in single quotes, unescaped
  kString,    // every byte escaped, in single quotes
  kInteger,   // BIT: the big-endian bits as a decimal number
};

// How one column's values are written; fixed for a table's rows.
struct LiteralPlan {
  LiteralClass literal_class = LiteralClass::kString;
  // 0x...: every value of the binary character set (BINARY, VARBINARY, BLOB,
  // spatial), so the script stays text whatever the bytes; with HexBlob also a
  // string or large object that carries the binary flag.
  bool hex = false;
};

LiteralPlan literal_plan(const DumpColumn& column, bool hex_blob, bool fields_as_string);

// Appends the literal of one value to out.
void append_literal(std::string& out, const LiteralPlan& plan, std::string_view value, bool is_null,
                    bool backslash_escapes);

// Appends value escaped and framed by single quotes. Backslash escaping writes
// 0x00 \0, LF \n, CR \r, 0x1A \Z, " \", ' \', \ \\; without it only ' becomes ''.
void append_quoted(std::string& out, std::string_view value, bool backslash_escapes);

}  // namespace dump
