// File-system layer over POSIX calls.
#include "zip/zip_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/codepage.h"

namespace zip {

std::string os_path(const std::u16string& path) { return platform::utf16_to_utf8(path); }
std::u16string from_os(const std::string& path) { return platform::utf8_to_utf16(path); }

std::uint32_t dos_date_time(std::time_t t) {
  std::tm tm{};
  if (!::localtime_r(&t, &tm) || tm.tm_year < 80) return (1u << 5 | 1u) << 16;
  std::uint32_t date =
      static_cast<std::uint32_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  std::uint32_t time =
      static_cast<std::uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return date << 16 | time;
}

namespace {

void fill(const std::u16string& path, const struct stat& st, bool symlink, FoundFile& f) {
  f.full_path = path;
  auto slash = path.rfind(u'/');
  f.name = slash == std::u16string::npos ? path : path.substr(slash + 1);
  f.is_folder = S_ISDIR(st.st_mode);
  f.is_symlink = symlink;
  f.attributes = f.is_folder ? faDirectory : faArchive;
  if (!(st.st_mode & S_IWUSR)) f.attributes |= faReadOnly;
  if (!f.name.empty() && f.name[0] == u'.') f.attributes |= faHidden;
  f.size = f.is_folder ? 0 : static_cast<std::uint64_t>(st.st_size);
  f.dos_time = dos_date_time(st.st_mtime);
}

}  // namespace

bool find_file(const std::u16string& path, FoundFile& found) {
  struct stat st, lst;
  std::string p = os_path(path);
  if (::stat(p.c_str(), &st) != 0) return false;
  bool symlink = ::lstat(p.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode);
  fill(path, st, symlink, found);
  return true;
}

std::vector<FoundFile> list_folder(const std::u16string& folder) {
  std::vector<FoundFile> out;
  std::string dir = os_path(folder);
  DIR* d = ::opendir(dir.c_str());
  if (!d) return out;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  std::u16string prefix = folder.empty() || folder.back() != u'/' ? folder + u"/" : folder;
  for (const auto& n : names) {
    FoundFile f;
    if (find_file(prefix + from_os(n), f)) out.push_back(f);
  }
  return out;
}

std::unique_ptr<TZipFileStream> open_source(const std::u16string& path, TZipFileShareMode share,
                                            int* err) {
  int fd = ::open(os_path(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *err = errno;
    return nullptr;
  }
  platform::UniqueFd owner(fd);
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    *err = EISDIR;
    return nullptr;
  }
  // A file another process holds exclusively cannot be opened.
  int lock = share == smShareExclusive ? LOCK_EX : LOCK_SH;
  if (::flock(fd, lock | LOCK_NB) != 0) {
    *err = errno == EWOULDBLOCK ? EBUSY : errno;
    return nullptr;
  }
  if (share == smShareDenyNone || share == smShareDenyRead) ::flock(fd, LOCK_UN);
  return std::make_unique<TZipFileStream>(std::move(owner));
}

std::unique_ptr<TZipFileStream> create_archive_file(const std::u16string& path, int* err) {
  int fd = ::open(os_path(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *err = errno;
    return nullptr;
  }
  platform::UniqueFd owner(fd);
  // Lock first, then cut: a file in use by another archiver stays untouched.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *err = errno == EWOULDBLOCK ? EBUSY : errno;
    return nullptr;
  }
  if (::ftruncate(fd, 0) != 0) {
    *err = errno;
    return nullptr;
  }
  return std::make_unique<TZipFileStream>(std::move(owner));
}

std::unique_ptr<TZipFileStream> open_archive_file(const std::u16string& path, bool writable,
                                                  int* err) {
  int fd = ::open(os_path(path).c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) {
    *err = errno;
    return nullptr;
  }
  platform::UniqueFd owner(fd);
  if (writable && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *err = errno == EWOULDBLOCK ? EBUSY : errno;
    return nullptr;
  }
  return std::make_unique<TZipFileStream>(std::move(owner));
}

std::unique_ptr<TZipFileStream> create_temp_file(const std::u16string& folder, std::string* os_name,
                                                 int* err) {
  std::string dir = os_path(folder);
  if (dir.empty()) {
    const char* t = std::getenv("TMPDIR");
    dir = t && *t ? t : "/tmp";
  }
  if (dir.back() != '/') dir += '/';
  std::string name = dir + "FCXXXXXX";
  int fd = ::mkstemp(name.data());
  if (fd < 0) {
    *err = errno;
    return nullptr;
  }
  *os_name = name;
  return std::make_unique<TZipFileStream>(platform::UniqueFd(fd));
}

}  // namespace zip
