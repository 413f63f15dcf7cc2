// The script of a backup run, written line by line as the dump emits it:
// into a file, or straight into the archive that is being made.
//
// Each line, UTF-8 as the dump reads it from the server, is appended as it is
// with CR LF after the byte-order mark, so the script never has to be held in
// memory. Written to a file, the CRC-32 and size of every byte are kept;
// streamed into an archive, the archive takes them.
//
// Flow: Create (a file) or Stream (an archive) -> AddLine... -> Finish ->
// (size(), crc32() of a file); Discard deletes a file at any point. Used by
// the backup run's worker thread; AddLine checks the run's cancel token.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dump/line_sink.h"
#include "platform/unique_fd.h"
#include "zip/entry_stream.h"

namespace app {

class ScriptFile : public dump::LineSink {
 public:
  ScriptFile() = default;
  ~ScriptFile() override;
  ScriptFile(const ScriptFile&) = delete;
  ScriptFile& operator=(const ScriptFile&) = delete;

  // Creates (or replaces) the file and writes EF BB BF. Throws
  // platform::EFCreateError ("Cannot create file "%s". %s").
  void Create(const std::string& path);
  // Sends the script (EF BB BF first) into `archive` instead, in blocks;
  // `archive` must outlive this object's writing.
  void Stream(zip::StreamedArchive& archive);
  // Appends one line (UTF-8, without its line end).
  void AddLine(std::string_view line);
  // The dump's lines go straight to the file.
  void Emit(std::string_view line) override { AddLine(line); }
  // Writes what is buffered and closes the file. Throws platform::EFileError
  // when the data could not be written.
  void Finish();
  // Closes (if open) and deletes the file; quiet.
  void Discard();

  const std::string& path() const { return path_; }
  // Bytes written so far (including what is still buffered).
  uint64_t written() const { return size_ + buffer_.size(); }

  // Called after every write to the file with the bytes written so far.
  std::function<void(uint64_t)> OnFlush;
  uint64_t size() const { return size_; }
  uint32_t crc32() const { return crc_; }

 private:
  void Append(std::string_view bytes);
  void Flush();

  static constexpr size_t kBufferSize = 1 << 20;

  std::string path_;
  platform::UniqueFd fd_;
  zip::StreamedArchive* archive_ = nullptr;
  std::string buffer_;
  uint64_t size_ = 0;
  uint32_t crc_ = 0;
};

}  // namespace app
