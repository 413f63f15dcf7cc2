// Position texts of the placement INI file; see position_text.h.
#include "placement/position_text.h"

#include <optional>

#include "platform/ini_file.h"

namespace placement {

std::string format_position(const PositionWords& v) {
  return std::to_string(v[0]) + "," + std::to_string(v[1]) + "," + std::to_string(v[2]) + "," +
         std::to_string(v[3]);
}

PositionWords parse_position(std::string_view text, const PositionWords& defaults) {
  PositionWords out = defaults;
  auto is_separator = [](char c) { return c == ',' || c == ' '; };
  size_t i = 0;
  for (size_t word = 0; word < out.size(); ++word) {
    while (i < text.size() && is_separator(text[i])) ++i;
    if (i == text.size()) break;
    size_t start = i;
    while (i < text.size() && !is_separator(text[i])) ++i;
    if (std::optional<int> v = platform::parse_ini_integer(text.substr(start, i - start)))
      out[word] = *v;
  }
  return out;
}

std::string screen_key(std::string_view name, int screen_width, int screen_height) {
  return std::string(name) + "(" + std::to_string(screen_width) + "x" +
         std::to_string(screen_height) + ")";
}

}  // namespace placement
