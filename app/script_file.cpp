// Streaming writer of the backup script (UTF-8, byte-order mark, CR LF).
#include "app/script_file.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>

#include "platform/cancel.h"
#include "platform/files.h"

namespace app {
ScriptFile::~ScriptFile() {
  // An unfinished script is never left half written.
  if (fd_) Discard();
}

void ScriptFile::Create(const std::string& path) {
  path_ = path;
  int fd =
      ::open(platform::to_os_path(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw platform::EFCreateError(path, errno);
  fd_.reset(fd);
  buffer_.clear();
  buffer_.reserve(kBufferSize + 4096);
  size_ = 0;
  crc_ = static_cast<uint32_t>(::crc32(0L, Z_NULL, 0));
  Append("\xEF\xBB\xBF");
}

void ScriptFile::Stream(zip::StreamedArchive& archive) {
  archive_ = &archive;
  buffer_.clear();
  buffer_.reserve(kBufferSize + 4096);
  size_ = 0;
  Append("\xEF\xBB\xBF");
}

void ScriptFile::AddLine(std::string_view line) {
  platform::throw_if_cancelled();
  Append(line);
  Append("\r\n");
}

void ScriptFile::Append(std::string_view bytes) {
  buffer_.append(bytes);
  if (buffer_.size() >= kBufferSize) Flush();
}

void ScriptFile::Flush() {
  if (archive_) {
    archive_->Write(buffer_);
    size_ += buffer_.size();
    buffer_.clear();
    if (OnFlush) OnFlush(size_);
    return;
  }
  const char* p = buffer_.data();
  size_t left = buffer_.size();
  crc_ = static_cast<uint32_t>(
      ::crc32_z(crc_, reinterpret_cast<const Bytef*>(p), static_cast<z_size_t>(left)));
  size_ += left;
  while (left > 0) {
    ssize_t n = ::write(fd_.get(), p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw platform::EFileError("Cannot write file \"" + path_ + "\". " +
                                 platform::system_error_text(errno));
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  buffer_.clear();
  if (OnFlush) OnFlush(size_);
}

void ScriptFile::Finish() {
  Flush();
  if (archive_) return;
  int fd = fd_.release();
  if (::close(fd) != 0)
    throw platform::EFileError("Cannot write file \"" + path_ + "\". " +
                               platform::system_error_text(errno));
}

void ScriptFile::Discard() {
  fd_.reset();
  buffer_.clear();
  if (!path_.empty()) platform::delete_file(path_);
}

}  // namespace app
