// Text-to-lines emission (see line_sink.h).
#include "dump/line_sink.h"

namespace dump {

void emit_text(TLineSink& sink, std::string_view text) {
  platform::for_each_line(text, [&](std::string_view line) { sink.Emit(line); });
}

}  // namespace dump
