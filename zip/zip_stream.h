// Seekable byte streams the archiver reads sources from and writes archives to.
//
// TZipStream is the interface (position, size, read, write, truncate, flush);
// TZipFileStream is the one over a POSIX file. The archiver owns the streams
// it opens; a caller may hand it its own archive stream instead. Not
// thread-safe; used by one archiver on the caller's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/unique_fd.h"

namespace zip {

class TZipStream {
 public:
  virtual ~TZipStream() = default;
  virtual std::uint64_t Position() const = 0;
  virtual void Seek(std::uint64_t pos) = 0;
  virtual std::uint64_t Size() = 0;
  // Reads up to count bytes; fewer only at the end or on a read error.
  virtual std::size_t Read(void* buf, std::size_t count) = 0;
  // Writes up to count bytes; fewer when the device refuses (disk full).
  virtual std::size_t Write(const void* buf, std::size_t count) = 0;
  // Cuts the stream at the current position.
  virtual bool Truncate() = 0;
  // Pushes buffered data to the storage device.
  virtual bool Flush() = 0;
  // errno of the last failed call (0 when none).
  int LastError() const { return last_error_; }

 protected:
  int last_error_ = 0;
};

class TZipFileStream : public TZipStream {
 public:
  // Takes ownership of an open descriptor.
  explicit TZipFileStream(platform::UniqueFd fd) : fd_(std::move(fd)) {}
  std::uint64_t Position() const override { return pos_; }
  void Seek(std::uint64_t pos) override { pos_ = pos; }
  std::uint64_t Size() override;
  std::size_t Read(void* buf, std::size_t count) override;
  std::size_t Write(const void* buf, std::size_t count) override;
  bool Truncate() override;
  bool Flush() override;
  int fd() const { return fd_.get(); }

 private:
  platform::UniqueFd fd_;
  std::uint64_t pos_ = 0;
};

// Copies count bytes from `from` (at its position) to `to` (at its position);
// false when fewer could be read or written.
bool copy_stream(TZipStream& from, TZipStream& to, std::uint64_t count);

}  // namespace zip
