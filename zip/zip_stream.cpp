// File stream over pread/pwrite at an own position.
#include "zip/zip_stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace zip {

std::uint64_t TZipFileStream::Size() {
  struct stat st;
  if (::fstat(fd_.get(), &st) != 0) {
    last_error_ = errno;
    return 0;
  }
  return static_cast<std::uint64_t>(st.st_size);
}

std::size_t TZipFileStream::Read(void* buf, std::size_t count) {
  auto* p = static_cast<char*>(buf);
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(fd_.get(), p + done, count - done, static_cast<off_t>(pos_));
    if (n < 0) {
      if (errno == EINTR) continue;
      last_error_ = errno;
      break;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
    pos_ += static_cast<std::uint64_t>(n);
  }
  return done;
}

std::size_t TZipFileStream::Write(const void* buf, std::size_t count) {
  const auto* p = static_cast<const char*>(buf);
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::pwrite(fd_.get(), p + done, count - done, static_cast<off_t>(pos_));
    if (n < 0) {
      if (errno == EINTR) continue;
      last_error_ = errno;
      break;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
    pos_ += static_cast<std::uint64_t>(n);
  }
  return done;
}

bool TZipFileStream::Truncate() {
  if (::ftruncate(fd_.get(), static_cast<off_t>(pos_)) != 0) {
    last_error_ = errno;
    return false;
  }
  return true;
}

bool TZipFileStream::Flush() {
  if (::fsync(fd_.get()) != 0) {
    last_error_ = errno;
    return false;
  }
  return true;
}

bool copy_stream(TZipStream& from, TZipStream& to, std::uint64_t count) {
  std::vector<char> buf(static_cast<std::size_t>(count < (1u << 20) ? count : (1u << 20)));
  while (count > 0) {
    std::size_t n = count < buf.size() ? static_cast<std::size_t>(count) : buf.size();
    if (from.Read(buf.data(), n) != n) return false;
    if (to.Write(buf.data(), n) != n) return false;
    count -= n;
  }
  return true;
}

}  // namespace zip
