// Case folding of the ASCII letters A-Z only, the same on every machine and
// under every locale: keywords, headers and names of the protocols and files
// the program reads. Bytes outside A-Z / a-z (Windows-1254 letters included)
// are left as they are. Pure and header-only.
#pragma once

#include <string>
#include <string_view>

namespace platform {

constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
constexpr char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

inline std::string ascii_lowercase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = ascii_lower(c);
  return r;
}
inline std::string ascii_uppercase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = ascii_upper(c);
  return r;
}

constexpr bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}
constexpr bool starts_with_ignoring_ascii_case(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && equal_ignoring_ascii_case(s.substr(0, prefix.size()), prefix);
}

}  // namespace platform
