// File and memory streams; see net_stream.h.
#include "ftp/net_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/files.h"

namespace ftp {

TFileStream::TFileStream(const std::string& path) : path_(path) {
  int fd = ::open(platform::to_os_path(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw platform::EFOpenError(path, errno);
  fd_.reset(fd);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) throw platform::EFOpenError(path, EISDIR);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  for (;;) {
    ssize_t n = ::pread(fd_.get(), buffer, static_cast<size_t>(count), position_);
    if (n >= 0) {
      position_ += n;
      return n;
    }
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), path_);
  }
}

void TFileStream::SetPosition(std::int64_t position) {
  position_ = std::max<std::int64_t>(position, 0);
}

std::int64_t TFileStream::Size() const {
  struct stat st {};
  if (::fstat(fd_.get(), &st) != 0) throw std::system_error(errno, std::generic_category(), path_);
  return st.st_size;
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  std::int64_t size = Size();
  if (count <= 0 || position_ >= size || position_ < 0) return 0;
  std::int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

}  // namespace ftp
