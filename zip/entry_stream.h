// A new archive of one deflated entry whose bytes arrive as a stream (the
// backup script as the dump writes it), compressed on every core while they
// arrive and checked while they are written.
//
// The file holds what the archiver writes for one file: the local header and
// the name, the data, one central directory header and the end record, with
// the same fields (version 20, method 8, the name in the OEM code page or in
// UTF-8 with bit 11, attributes 0x20). Only an entry whose sizes reach
// zip64_threshold (4 GiB) gets Zip64 values: since that is known only at the
// end, the data is then moved 20 bytes on to make room for the local Zip64
// field.
//
// Flow: StreamedArchive a(os_path, name, level) -> Write(bytes)... ->
// Finish() (complete, flushed and checked) -> summary. For one thread (the
// producer), whose cancel token stops the waits. The destructor stops and
// joins the threads; deleting an unfinished file is the caller's part.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"
#include "zip/parallel_deflate.h"
#include "zip/zip_records.h"

namespace zip {

// Raised for a failure of the archive file (create, write) or of its check;
// the message names the file as given.
class EStreamedArchiveError : public std::runtime_error {
 public:
  EStreamedArchiveError(const std::string& message, bool check_failed)
      : std::runtime_error(message), check_failed_(check_failed) {}
  // True when the archive was written but does not hold the stream whole.
  bool check_failed() const { return check_failed_; }

 private:
  bool check_failed_;
};

class StreamedArchive : private DeflatedSink {
 public:
  // Creates (truncating) the file os_path (UTF-8).
  StreamedArchive(const std::string& os_path, const std::u16string& entry_name, int level,
                  unsigned workers = 0, std::uint64_t zip64_threshold = kMax32);
  ~StreamedArchive() override;
  StreamedArchive(const StreamedArchive&) = delete;
  StreamedArchive& operator=(const StreamedArchive&) = delete;

  void Write(std::string_view bytes) { deflater_->Write(bytes); }
  std::uint64_t compressed_so_far() const { return deflater_->compressed_so_far(); }
  DeflateSummary Finish();

 private:
  void Put(std::string_view compressed) override;
  [[noreturn]] void RaiseWriteError(int err) const;
  void WriteAt(std::uint64_t offset, std::string_view bytes);
  void MoveData(std::uint64_t from, std::uint64_t to, std::uint64_t size);
  std::uint32_t CrcOfFile(std::uint64_t offset, std::uint64_t size) const;

  std::string os_path_;
  platform::UniqueFd fd_;
  std::string name_bytes_;
  bool utf8_name_ = false;
  std::uint64_t zip64_threshold_;
  std::uint64_t data_offset_ = 0;
  // Output thread: what was written and what it inflates to.
  std::uint64_t written_ = 0;
  std::uint32_t written_crc_ = 0;
  InflateCheck check_;
  std::unique_ptr<ParallelDeflater> deflater_;  // last: its threads go first
};

}  // namespace zip
