// Seekable byte streams: the archive the archiver writes and the files it
// reads, and the file the upload sends.
//
// ByteStream is the interface: a position and a size, reads and writes that
// move the position, truncation at the position and a flush to the device.
// Reads and writes return fewer bytes than asked only at the end of the data
// or on an error, whose errno LastError() keeps. FileStream works on a file
// descriptor it owns; MemoryStream holds its bytes in memory. The caller owns
// a stream; readers and writers never free it. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/unique_fd.h"

namespace platform {

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  virtual std::int64_t Position() const = 0;
  // A negative position reads as 0.
  virtual void SetPosition(std::int64_t position) = 0;
  virtual std::int64_t Size() const = 0;
  // Up to count bytes at the position; 0 at the end.
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Up to count bytes at the position; fewer when the device refuses (a
  // full disk). A stream that cannot be written writes nothing.
  virtual std::int64_t Write(const void* buffer, std::int64_t count);
  // Cuts the stream at the position; false when refused.
  virtual bool Truncate();
  // Pushes buffered data to the storage device; false when it fails.
  virtual bool Flush() { return true; }
  // True when all count bytes were read / written.
  bool ReadExactly(void* buffer, std::size_t count) {
    return Read(buffer, static_cast<std::int64_t>(count)) == static_cast<std::int64_t>(count);
  }
  bool WriteExactly(const void* buffer, std::size_t count) {
    return Write(buffer, static_cast<std::int64_t>(count)) == static_cast<std::int64_t>(count);
  }
  // errno of the last failed call (0 when none).
  int LastError() const { return last_error_; }

 protected:
  mutable int last_error_ = 0;
};

class FileStream : public ByteStream {
 public:
  // Takes ownership of an open descriptor; path names it in messages.
  explicit FileStream(UniqueFd fd, std::string path = {})
      : path_(std::move(path)), fd_(std::move(fd)) {}
  // Opens a file for reading. The path is program (Windows-1254) text;
  // EFOpenError "Cannot open file "%s". %s" when it cannot be opened or is a
  // folder.
  explicit FileStream(const std::string& path);

  std::int64_t Position() const override { return position_; }
  void SetPosition(std::int64_t position) override { position_ = position < 0 ? 0 : position; }
  // 0 (and LastError) when the size cannot be read.
  std::int64_t Size() const override;
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  bool Truncate() override;
  bool Flush() override;
  int fd() const { return fd_.get(); }

 private:
  std::string path_;
  UniqueFd fd_;
  std::int64_t position_ = 0;
};

class MemoryStream : public ByteStream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}
  std::int64_t Position() const override { return position_; }
  void SetPosition(std::int64_t position) override { position_ = position < 0 ? 0 : position; }
  std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  bool Truncate() override;
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  std::int64_t position_ = 0;
};

// Copies count bytes from `from` (at its position) to `to` (at its position);
// false when fewer could be read or written.
bool copy_stream(ByteStream& from, ByteStream& to, std::uint64_t count);

}  // namespace platform
