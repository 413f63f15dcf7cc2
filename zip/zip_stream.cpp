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

namespace {

// Repeats a positioned transfer (pread or pwrite) until count bytes are done,
// the file ends, or an error other than EINTR is seen (kept in last_error).
template <typename Buffer, typename Transfer>
std::size_t transfer_all(Buffer* p, std::size_t count, std::uint64_t& pos, int& last_error,
                         Transfer transfer) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = transfer(p + done, count - done, static_cast<off_t>(pos));
    if (n < 0) {
      if (errno == EINTR) continue;
      last_error = errno;
      break;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
    pos += static_cast<std::uint64_t>(n);
  }
  return done;
}

}  // namespace

std::size_t TZipFileStream::Read(void* buf, std::size_t count) {
  return transfer_all(
      static_cast<char*>(buf), count, pos_, last_error_,
      [this](char* p, std::size_t n, off_t at) { return ::pread(fd_.get(), p, n, at); });
}

std::size_t TZipFileStream::Write(const void* buf, std::size_t count) {
  return transfer_all(
      static_cast<const char*>(buf), count, pos_, last_error_,
      [this](const char* p, std::size_t n, off_t at) { return ::pwrite(fd_.get(), p, n, at); });
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
