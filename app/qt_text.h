// Conversions between the program's Windows-1254 strings and Qt's strings.
// Header-only; used by the Qt layer of the program.
#pragma once

#include <QString>
#include <string>

#include "platform/codepage.h"
#include "platform/text_lines.h"

namespace app {

inline QString to_qstring(const std::string& ansi) {
  return QString::fromUtf8(platform::ansi_to_utf8(ansi));
}

inline std::string from_qstring(const QString& text) {
  return platform::utf8_to_ansi(text.toUtf8().toStdString());
}

// Box text: the program separates lines by a lone CR, Qt breaks at LF.
inline QString to_box_text(const std::string& ansi) {
  QString out;
  bool first = true;
  platform::for_each_line(ansi, [&](std::string_view line) {
    if (!first) out += QLatin1Char('\n');
    first = false;
    out += to_qstring(std::string(line));
  });
  return out;
}

}  // namespace app
