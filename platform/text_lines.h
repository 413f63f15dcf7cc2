// Line lists: the one rule by which the program splits a text into lines and
// joins lines back into a text.
//
// Splitting: CR LF, a lone CR and a lone LF each end a line; a line end at the
// very end adds no extra empty line; a zero byte ends the text. Joining: every
// line followed by CR LF, the last one included.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

using LineList = std::vector<std::string>;

// Calls on_line(std::string_view line) for each line of text, in order.
template <typename OnLine>
void for_each_line(std::string_view text, OnLine&& on_line) {
  size_t start = 0, i = 0;
  const size_t n = text.size();
  while (i < n) {
    char c = text[i];
    if (c == '\0') break;
    if (c == '\r' || c == '\n') {
      on_line(text.substr(start, i - start));
      if (c == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
      start = ++i;
      continue;
    }
    ++i;
  }
  if (i > start) on_line(text.substr(start, i - start));
}

LineList split_lines(std::string_view text);
std::string join_lines(const LineList& lines);

// The line with the given index, or an empty string when there is none.
std::string line_at(const LineList& lines, size_t index);

}  // namespace platform
