// Settings-file reading for the start-up handler.
#include "app/settings_file.h"

#include "platform/files.h"

namespace app {

platform::LineList read_settings_file(const std::string& path) {
  return platform::split_lines(platform::read_file(path));
}

std::string settings_line(const platform::LineList& lines, size_t index) {
  std::string line = platform::line_at(lines, index);
  if (line.size() > kMaxSettingsLine) line.resize(kMaxSettingsLine);
  return line;
}

}  // namespace app
