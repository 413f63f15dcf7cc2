// Reading the two settings files, ip.txt and yedekleme.ini.
//
// Called by the start-up handler. A file is read whole as Windows-1254 bytes
// (no byte-order mark is recognised: a UTF-8 mark stays three characters of
// the first line), split by the program's one line rule (CR LF, lone CR, lone
// LF; a zero byte ends the text), and each line keeps at most its first
// kMaxSettingsLine characters, untrimmed.
#pragma once

#include <string>

#include "platform/text_lines.h"

namespace app {

// A settings line is read into a buffer of this many characters.
constexpr size_t kMaxSettingsLine = 4096;

// Lines of the file `path` (relative names resolve against the current
// directory). Throws platform::EFOpenError ("Cannot open file "<full path>".
// <system text>") when the file cannot be read.
platform::LineList read_settings_file(const std::string& path);

// Line `index` cut to kMaxSettingsLine characters; empty when the list has no
// such line.
std::string settings_line(const platform::LineList& lines, size_t index);

}  // namespace app
