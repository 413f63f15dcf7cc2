// Seekable byte streams read by the upload (TNetFTP::Put) and by
// TNetIOHandlerStack::WriteStream.
//
// TStream is the interface: a position and a size, reads that move the
// position. TFileStream reads a file from the disk (the archive the program
// uploads); TMemoryStream holds its bytes in memory. The caller owns a stream;
// readers never free it. Single-threaded.
#pragma once

#include <cstdint>
#include <string>

#include "platform/unique_fd.h"

namespace ftp {

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes at the position and advances it; returns the
  // bytes read (0 at the end).
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Position() const = 0;
  virtual void SetPosition(std::int64_t position) = 0;
  virtual std::int64_t Size() const = 0;
};

// A file opened for reading. The path is program (Windows-1254) text.
class TFileStream : public TStream {
 public:
  // EFOpenError "Cannot open file "%s". %s" when the file cannot be opened.
  explicit TFileStream(const std::string& path);
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Position() const override { return position_; }
  void SetPosition(std::int64_t position) override;
  std::int64_t Size() const override;

 private:
  std::string path_;
  platform::UniqueFd fd_;
  std::int64_t position_ = 0;
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Position() const override { return position_; }
  void SetPosition(std::int64_t position) override { position_ = position; }
  std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  std::int64_t position_ = 0;
};

}  // namespace ftp
