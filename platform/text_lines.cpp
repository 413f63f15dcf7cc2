#include "platform/text_lines.h"

namespace platform {

LineList split_lines(std::string_view text) {
  LineList lines;
  for_each_line(text, [&](std::string_view line) { lines.emplace_back(line); });
  return lines;
}

std::string join_lines(const LineList& lines) {
  size_t total = 0;
  for (const auto& l : lines) total += l.size() + 2;
  std::string out;
  out.reserve(total);
  for (const auto& l : lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

std::string line_at(const LineList& lines, size_t index) {
  return index < lines.size() ? lines[index] : std::string();
}

}  // namespace platform
