// Trimming as the program's text handling knows it: every character up to and
// including ' ' (blanks, tabs, line ends and other control characters) counts
// as white space at either end of a text.
#pragma once

#include <string_view>

namespace platform {

inline bool is_trim_space(char c) { return static_cast<unsigned char>(c) <= ' '; }

inline std::string_view trim_left(std::string_view s) {
  while (!s.empty() && is_trim_space(s.front())) s.remove_prefix(1);
  return s;
}

inline std::string_view trim_right(std::string_view s) {
  while (!s.empty() && is_trim_space(s.back())) s.remove_suffix(1);
  return s;
}

inline std::string_view trim(std::string_view s) { return trim_right(trim_left(s)); }

}  // namespace platform
