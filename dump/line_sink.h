// Where the dump's script lines go. The dump emits every script line, without
// line-end characters, through a LineSink as soon as the line is complete.
// StringsSink appends to a line list (the component's SQL property); a caller
// streaming the script to a file gives Backup a sink of its own.
#pragma once

#include <string_view>

#include "platform/text_lines.h"

namespace dump {

class LineSink {
 public:
  virtual ~LineSink() = default;
  // One script line; the view is valid only during the call.
  virtual void Emit(std::string_view line) = 0;
};

// Appends every line as one entry of a line list. `lines` must outlive the sink.
class StringsSink : public LineSink {
 public:
  explicit StringsSink(platform::LineList& lines) : lines_(lines) {}
  void Emit(std::string_view line) override { lines_.emplace_back(line); }

 private:
  platform::LineList& lines_;
};

// Emits a text as lines: CR LF, a lone CR and a lone LF end a line, a line end
// at the very end adds no empty line, a zero byte ends the text. An empty text
// emits nothing.
void emit_text(LineSink& sink, std::string_view text);

// Emits an SQL statement text (the server's CREATE text) as lines by the same
// rules, except that a line break inside a backtick-quoted name or a quoted
// string stays part of its line: a table named with a line break keeps it.
void emit_statement_text(LineSink& sink, std::string_view text);

}  // namespace dump
