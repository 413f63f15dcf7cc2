// INSERT statement layout (see insert_builder.h).
#include "dump/insert_builder.h"

namespace dump {

InsertBuilder::InsertBuilder(LineSink& sink, bool ext_syntax, int commit_batch_size,
                             std::string header)
    : sink_(sink), ext_(ext_syntax), batch_(commit_batch_size), header_(std::move(header)) {}

std::string& InsertBuilder::BeginRow() {
  line_.clear();
  // The one-row form writes header and row on one line: start with the header.
  if (!ext_) line_ = header_;
  return line_;
}

void InsertBuilder::EndRow(bool last) {
  if (ext_) {
    const auto row_length = static_cast<std::int64_t>(line_.size());
    if (new_statement_) {
      if (batch_ > 0) sink_.Emit("BEGIN;");
      sink_.Emit(header_);
      running_ = static_cast<std::int64_t>(header_.size()) + 2;
      new_statement_ = false;
    }
    running_ += row_length + 2;
    if (last || running_ > kStatementLimit - 2 * row_length) {
      line_ += ';';
      // One entry holding both lines, as the statement's end.
      if (batch_ > 0) line_ += "\r\nCOMMIT;";
      new_statement_ = true;
    } else {
      line_ += ',';
    }
    sink_.Emit(line_);
    return;
  }
  if (batch_ > 0 && in_batch_ == 0) sink_.Emit("BEGIN;");
  line_ += ';';
  sink_.Emit(line_);
  if (batch_ > 0 && (++in_batch_ == batch_ || last)) {
    sink_.Emit("COMMIT;");
    in_batch_ = 0;
  }
}

}  // namespace dump
