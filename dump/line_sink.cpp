// Text-to-lines emission (see line_sink.h).
#include "dump/line_sink.h"

namespace dump {

void emit_text(LineSink& sink, std::string_view text) {
  platform::for_each_line(text, [&](std::string_view line) { sink.Emit(line); });
}

void emit_statement_text(LineSink& sink, std::string_view text) {
  text = text.substr(0, text.find('\0'));
  char quote = 0;  // the quote character of the name or string we are in
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (quote != 0) {
      // Strings escape with a backslash; names only by doubling the backtick,
      // which closes and reopens the name here with the same effect.
      if (c == '\\' && quote != '`') {
        i += 2;
        continue;
      }
      if (c == quote) quote = 0;
      ++i;
      continue;
    }
    if (c == '`' || c == '\'' || c == '"') {
      quote = c;
      ++i;
      continue;
    }
    if (c == '\r' || c == '\n') {
      sink.Emit(text.substr(start, i - start));
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = ++i;
      continue;
    }
    ++i;
  }
  if (start < text.size()) sink.Emit(text.substr(start));
}

}  // namespace dump
