#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/codepage.h"

namespace platform {

EFOpenError::EFOpenError(const std::string& path, int err)
    : EFileError("Cannot open file \"" + path + "\". " + system_error_text(err)) {}

EFCreateError::EFCreateError(const std::string& path, int err)
    : EFileError("Cannot create file \"" + path + "\". " + system_error_text(err)) {}

std::string system_error_text(int err) {
  switch (err) {
    case ENOENT:
      return "The system cannot find the file specified";
    case ENOTDIR:
      return "The system cannot find the path specified";
    case EACCES:
    case EPERM:
    case EROFS:
      return "Access is denied";
    case EISDIR:
      return "Access is denied";
    case EBUSY:
    case ETXTBSY:
      return "The process cannot access the file because it is being used by another process";
    case ENOSPC:
      return "There is not enough space on the disk";
    case EMFILE:
    case ENFILE:
      return "The system cannot open the file";
    case ENAMETOOLONG:
      return "The filename or extension is too long";
    default:
      return std::strerror(err);
  }
}

std::string to_os_path(std::string_view ansi_path) { return ansi_to_utf8(ansi_path); }
std::string from_os_path(std::string_view os_path) { return utf8_to_ansi(os_path); }

std::string read_file(const std::string& path) {
  int fd = ::open(to_os_path(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EFOpenError(expand_file_name(path), errno);
  std::string data;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      throw EFOpenError(expand_file_name(path), err);
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return data;
}

bool file_exists(const std::string& path) {
  struct stat st;
  return ::stat(to_os_path(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool delete_file(const std::string& path) { return ::unlink(to_os_path(path).c_str()) == 0; }

std::string expand_file_name(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  return current_dir() + path;
}

std::string current_dir() {
  std::vector<char> buf(4096);
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) return "./";
    buf.resize(buf.size() * 2);
  }
  std::string dir = from_os_path(buf.data());
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

namespace {
std::string executable_path() {
  std::vector<char> buf(4096);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return from_os_path(std::string_view(buf.data(), static_cast<size_t>(n)));
}
}  // namespace

std::string executable_dir() {
  std::string p = executable_path();
  auto slash = p.rfind('/');
  return slash == std::string::npos ? current_dir() : p.substr(0, slash + 1);
}

std::string executable_name() {
  std::string p = executable_path();
  auto slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string program_title_of(std::string_view file_name) {
  auto slash = file_name.rfind('/');
  if (slash != std::string_view::npos) file_name.remove_prefix(slash + 1);
  std::string title(file_name.substr(0, file_name.find('.')));
  for (size_t i = 1; i < title.size(); ++i) title[i] = ascii_lower(title[i]);
  return title;
}

std::string program_title() { return program_title_of(executable_name()); }

}  // namespace platform
