// The script of a backup run, written line by line as the dump emits it,
// straight into the archive that is being made.
//
// Each line, UTF-8 as the dump reads it from the server, is appended as it is
// with CR LF after the byte-order mark, in blocks, so the script is never held
// in memory; the archive computes its size and CRC-32.
//
// Flow: construct over the archive (writes EF BB BF) -> AddLine... -> Finish
// (hands over what is buffered; the archive's own Finish ends the entry).
// Used by the backup run's worker thread; AddLine checks the run's cancel
// token.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dump/line_sink.h"
#include "zip/entry_stream.h"

namespace app {

class ScriptFile : public dump::LineSink {
 public:
  // `archive` must outlive this object.
  explicit ScriptFile(zip::StreamedArchive& archive);
  ScriptFile(const ScriptFile&) = delete;
  ScriptFile& operator=(const ScriptFile&) = delete;

  // Appends one line (UTF-8, without its line end).
  void AddLine(std::string_view line);
  // The dump's lines go straight into the archive.
  void Emit(std::string_view line) override { AddLine(line); }
  // Hands what is buffered to the archive.
  void Finish();

  // Bytes written so far (including what is still buffered).
  uint64_t written() const { return size_ + buffer_.size(); }
  // Bytes handed to the archive.
  uint64_t size() const { return size_; }

  // Called after every hand-over with the bytes handed over so far.
  std::function<void(uint64_t)> OnFlush;

 private:
  void Append(std::string_view bytes);
  void Flush();

  static constexpr size_t kBufferSize = 1 << 20;

  zip::StreamedArchive& archive_;
  std::string buffer_;
  uint64_t size_ = 0;
};

}  // namespace app
