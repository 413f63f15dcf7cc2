// Session character-set choice (see charset.h).
#include "mysql/charset.h"

#include "mysql/handshake.h"
#include "mysql/my_connection.h"

namespace mysql {

bool is_unicode_charset(std::string_view name) {
  if (name.size() != kUnicodeCharset.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != kUnicodeCharset[i]) return false;
  }
  return true;
}

std::string unicode_charset_for(int major, int minor, int release) {
  if (major < 4 || (major == 4 && minor == 0)) return "";
  if (major > 5 || (major == 5 && (minor > 5 || (minor == 5 && release >= 3)))) return "utf8mb4";
  return "utf8";
}

std::uint8_t login_charset_for(std::string_view charset_name, std::string_view server_version) {
  if (charset_name == "utf8") return kCharsetUtf8;
  if (!is_unicode_charset(charset_name)) return kCharsetDefault;
  int major = 0, minor = 0, release = 0;
  split_server_version(server_version, major, minor, release);
  const std::string name = unicode_charset_for(major, minor, release);
  if (name == "utf8mb4") return kCharsetUtf8mb4;
  if (name == "utf8") return kCharsetUtf8;
  return kCharsetDefault;
}

std::string session_charset_for(std::string_view charset, int major, int minor, int release) {
  if (is_unicode_charset(charset)) return unicode_charset_for(major, minor, release);
  return std::string(charset);
}

}  // namespace mysql
