// Private-profile (INI) files; see ini_file.h for the rules.
#include "platform/ini_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/files.h"
#include "platform/text_lines.h"

namespace platform {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

bool is_quote(char c) { return c == '"' || c == '\''; }

bool wrapped_in_quotes(std::string_view s) {
  return s.size() >= 2 && is_quote(s.front()) && s.back() == s.front();
}

// One line of the file, classified.
struct IniLine {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key's value, trimmed, quotes stripped
};

IniLine classify(std::string_view raw) {
  IniLine line;
  std::string_view s = trim(raw);
  if (s.empty() || s.front() == ';') return line;
  if (s.front() == '[') {
    s.remove_prefix(1);
    size_t close = s.find(']');
    line.kind = IniLine::kSection;
    line.name = trim(s.substr(0, close));
    return line;
  }
  size_t eq = s.find('=');
  if (eq == std::string_view::npos) return line;
  line.kind = IniLine::kKey;
  line.name = trim(s.substr(0, eq));
  line.value = trim(s.substr(eq + 1));
  if (wrapped_in_quotes(line.value)) line.value = line.value.substr(1, line.value.size() - 2);
  return line;
}

// The value as written, so that reading gives it back: a value with blanks
// at either end, or one that is itself wrapped in quotes, goes in quotes.
std::string stored_value(std::string_view value) {
  bool needs_quotes = !value.empty() && (is_blank(value.front()) || is_blank(value.back()) ||
                                         wrapped_in_quotes(value));
  if (needs_quotes) return "\"" + std::string(value) + "\"";
  return std::string(value);
}

bool fits_one_line(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Creates every missing folder of the path (mode 0700, as a configuration
// folder should be).
void make_folders(const std::string& os_dir) {
  for (size_t i = 1; i <= os_dir.size(); ++i) {
    if (i == os_dir.size() || os_dir[i] == '/') {
      std::string part = os_dir.substr(0, i);
      if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
  }
}

// Reads the file's text; nullopt when there is no file. False when a file
// exists but cannot be read (it must then not be replaced).
bool read_existing(const std::string& os_path, std::optional<std::string>* text) {
  int fd = ::open(os_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *text = std::nullopt;
    return errno == ENOENT || errno == ENOTDIR;
  }
  std::string data;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  *text = std::move(data);
  return true;
}

// Replaces the file with data through a temporary file in the same folder,
// so a failure leaves the old file whole.
bool replace_file(const std::string& os_path, const std::string& data) {
  std::string target = os_path;
  struct stat st;
  bool existed = ::lstat(os_path.c_str(), &st) == 0;
  if (existed && S_ISLNK(st.st_mode)) {  // write through a link to its target
    if (char* real = ::realpath(os_path.c_str(), nullptr)) {
      target = real;
      std::free(real);
      existed = ::stat(target.c_str(), &st) == 0;
    }
  }
  size_t slash = target.rfind('/');
  if (slash != std::string::npos && slash > 0) make_folders(target.substr(0, slash));

  std::string temp = target + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  temp.assign(name.data());
  bool ok = ::fchmod(fd, existed ? (st.st_mode & 07777) : 0644) == 0;
  for (size_t done = 0; ok && done < data.size();) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace

EIniFileException::EIniFileException(const std::string& file_name)
    : std::runtime_error("Unable to write to " + file_name) {}

std::string user_config_dir() {
  std::string dir;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    dir = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0') {
      dir = home;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
      dir = pw->pw_dir;
    } else {
      dir = ".";
    }
    if (dir.back() != '/') dir += '/';
    dir += ".config";
  }
  if (dir.back() != '/') dir += '/';
  return from_os_path(dir);
}

std::string private_profile_path(const std::string& file_name) {
  if (file_name.find('/') != std::string::npos) return file_name;
  return user_config_dir() + file_name;
}

std::optional<std::string> ini_find_value(std::string_view text, std::string_view section,
                                          std::string_view key) {
  std::optional<std::string> found;
  bool in_section = false, section_seen = false;
  for_each_line(text, [&](std::string_view raw) {
    if (found) return;
    IniLine line = classify(raw);
    if (line.kind == IniLine::kSection) {
      // Only the first section of the name counts.
      in_section = !section_seen && equal_ignoring_ascii_case(line.name, section);
      section_seen = section_seen || in_section;
    } else if (in_section && line.kind == IniLine::kKey &&
               equal_ignoring_ascii_case(line.name, key)) {
      found = std::string(line.value);
    }
  });
  return found;
}

std::string ini_set_value(std::string_view text, std::string_view section, std::string_view key,
                          std::string_view value) {
  LineList lines = split_lines(text);
  std::string entry = std::string(key) + "=" + stored_value(value);

  size_t start = lines.size();  // the section's header line
  for (size_t i = 0; i < lines.size(); ++i) {
    IniLine line = classify(lines[i]);
    if (line.kind == IniLine::kSection && equal_ignoring_ascii_case(line.name, section)) {
      start = i;
      break;
    }
  }
  if (start == lines.size()) {
    if (!lines.empty() && !trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back("[" + std::string(section) + "]");
    lines.push_back(entry);
    return join_lines(lines);
  }
  size_t last = start;  // last non-blank line of the section
  for (size_t i = start + 1; i < lines.size(); ++i) {
    IniLine line = classify(lines[i]);
    if (line.kind == IniLine::kSection) break;
    if (line.kind == IniLine::kKey && equal_ignoring_ascii_case(line.name, key)) {
      lines[i] = entry;
      return join_lines(lines);
    }
    if (!trim(lines[i]).empty()) last = i;
  }
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last + 1), entry);
  return join_lines(lines);
}

std::optional<int> parse_ini_integer(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  unsigned base = 10;
  if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  unsigned long long v = 0;
  for (char c : s) {
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = static_cast<unsigned>(c - 'A' + 10);
    else
      return std::nullopt;
    v = v * base + digit;
    if (v > 0xFFFFFFFFull) return std::nullopt;
  }
  long long result;
  if (base == 16) {
    // Hexadecimal covers the 32-bit pattern: "$FFFFFFFF" is -1.
    result = static_cast<long long>(static_cast<int>(static_cast<unsigned>(v)));
  } else {
    result = static_cast<long long>(v);
    if (result > static_cast<long long>(INT_MAX) + (negative ? 1 : 0)) return std::nullopt;
  }
  if (negative) result = -result;
  if (result < INT_MIN || result > INT_MAX) return std::nullopt;
  return static_cast<int>(result);
}

IniFile::IniFile(const std::string& file_name) : path_(private_profile_path(file_name)) {}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view default_value) const {
  std::optional<std::string> text;
  if (!read_existing(to_os_path(path_), &text) || !text) return std::string(default_value);
  std::optional<std::string> value = ini_find_value(*text, section, key);
  return value ? *value : std::string(default_value);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int default_value) const {
  std::string text = ReadString(section, key, "");
  std::optional<int> value = parse_ini_integer(text);
  return value ? *value : default_value;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  std::string_view name = trim(key);
  if (!fits_one_line(section) || !fits_one_line(key) || !fits_one_line(value) ||
      section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos ||
      name.empty() || name.front() == '[' || name.front() == ';')
    throw EIniFileException(path_);
  std::string os_path = to_os_path(path_);
  std::optional<std::string> text;
  if (!read_existing(os_path, &text)) throw EIniFileException(path_);
  if (!replace_file(os_path, ini_set_value(text.value_or(""), section, key, value)))
    throw EIniFileException(path_);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

}  // namespace platform
