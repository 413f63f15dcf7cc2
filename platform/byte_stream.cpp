// File and memory streams; see byte_stream.h.
#include "platform/byte_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/files.h"

namespace platform {

std::int64_t ByteStream::Write(const void*, std::int64_t) {
  last_error_ = EBADF;
  return 0;
}

bool ByteStream::Truncate() {
  last_error_ = EBADF;
  return false;
}

FileStream::FileStream(const std::string& path) : path_(path) {
  const int fd = ::open(to_os_path(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EFOpenError(path, errno);
  fd_.reset(fd);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) throw EFOpenError(path, EISDIR);
}

std::int64_t FileStream::Size() const {
  struct stat st {};
  if (::fstat(fd_.get(), &st) != 0) {
    last_error_ = errno;
    return 0;
  }
  return static_cast<std::int64_t>(st.st_size);
}

namespace {

// Repeats a positioned transfer (pread or pwrite) until count bytes are done,
// the file ends, or an error other than EINTR is seen (kept in last_error).
template <typename Buffer, typename Transfer>
std::int64_t transfer_all(Buffer* p, std::int64_t count, std::int64_t& position, int& last_error,
                          Transfer transfer) {
  std::int64_t done = 0;
  while (done < count) {
    const ssize_t n =
        transfer(p + done, static_cast<std::size_t>(count - done), static_cast<off_t>(position));
    if (n < 0) {
      if (errno == EINTR) continue;
      last_error = errno;
      break;
    }
    if (n == 0) break;
    done += n;
    position += n;
  }
  return done;
}

}  // namespace

std::int64_t FileStream::Read(void* buffer, std::int64_t count) {
  return transfer_all(
      static_cast<char*>(buffer), count, position_, last_error_,
      [this](char* p, std::size_t n, off_t at) { return ::pread(fd_.get(), p, n, at); });
}

std::int64_t FileStream::Write(const void* buffer, std::int64_t count) {
  return transfer_all(
      static_cast<const char*>(buffer), count, position_, last_error_,
      [this](const char* p, std::size_t n, off_t at) { return ::pwrite(fd_.get(), p, n, at); });
}

bool FileStream::Truncate() {
  if (::ftruncate(fd_.get(), static_cast<off_t>(position_)) != 0) {
    last_error_ = errno;
    return false;
  }
  return true;
}

bool FileStream::Flush() {
  if (::fsync(fd_.get()) != 0) {
    last_error_ = errno;
    return false;
  }
  return true;
}

std::int64_t MemoryStream::Read(void* buffer, std::int64_t count) {
  const std::int64_t size = Size();
  if (count <= 0 || position_ >= size) return 0;
  const std::int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t MemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const auto end = static_cast<std::size_t>(position_ + count);
  if (end > bytes_.size()) bytes_.resize(end);
  std::memcpy(bytes_.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ += count;
  return count;
}

bool MemoryStream::Truncate() {
  if (static_cast<std::size_t>(position_) < bytes_.size())
    bytes_.resize(static_cast<std::size_t>(position_));
  return true;
}

bool copy_stream(ByteStream& from, ByteStream& to, std::uint64_t count) {
  std::vector<char> buf(static_cast<std::size_t>(std::min<std::uint64_t>(count, 1u << 20)));
  while (count > 0) {
    const auto n = static_cast<std::int64_t>(std::min<std::uint64_t>(count, buf.size()));
    if (from.Read(buf.data(), n) != n) return false;
    if (to.Write(buf.data(), n) != n) return false;
    count -= static_cast<std::uint64_t>(n);
  }
  return true;
}

}  // namespace platform
