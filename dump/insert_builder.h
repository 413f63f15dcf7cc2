// Lays out the INSERT statements of one table's rows: the extended form (a
// header line, then row lines ending in "," until the running length passes
// about 16 KiB, the last one in ";") or the one-row form (header and row on one
// line), each optionally framed by BEGIN; / COMMIT;. Used by the dump processor.
//
// Flow: InsertBuilder b(sink, ext, batch, header); then per row:
// b.BeginRow() -> append " (" values ")" to the returned buffer -> b.EndRow(last).
#pragma once

#include <cstdint>
#include <string>

#include "dump/line_sink.h"

namespace dump {

class InsertBuilder {
 public:
  // A statement ends once its running length (every line counted with two
  // characters for its line end) exceeds this limit minus twice the last row.
  static constexpr std::int64_t kStatementLimit = 16384;

  // header: the verb, the name and " VALUES" (or the column list form).
  InsertBuilder(LineSink& sink, bool ext_syntax, int commit_batch_size, std::string header);

  // Clears and returns the buffer that receives the row text R (" (...)").
  std::string& BeginRow();
  // Emits the row line; last tells that no further row follows.
  void EndRow(bool last);

 private:
  LineSink& sink_;
  const bool ext_;
  const int batch_;
  const std::string header_;
  std::string line_;           // row line being built
  bool new_statement_ = true;  // extended form: next row opens a statement
  std::int64_t running_ = 0;   // extended form: length of the statement so far
  int in_batch_ = 0;           // one-row form: rows in the current batch
};

}  // namespace dump
