// Private-profile (INI) files: one string per section and key.
//
// The placement store (placement/) keeps the window placement in such a file.
// Semantics follow the platform's private-profile calls: section and key
// names match without regard to case; names and values are read with their
// surrounding blanks removed and one pair of matching surrounding quotes
// stripped; a missing file, section or key reads as the default; a write
// creates the file, the section and the key as needed, replaces the first
// matching key in place and keeps every other line of the file. Lines end in
// CR LF when written; CR LF, lone CR and lone LF are all read as line ends.
// Lines starting with ';' are comments. Text is Windows-1254 like every other
// string in the program. A bare file name (no '/') lives in the user's
// configuration folder (private_profile_path). Not thread-safe against
// concurrent writers of the same file.
//
// Flow: IniFile ini(name); ini.ReadString(...) / ini.WriteString(...) — every
// write goes to the file at once (replaced as a whole, never left half-written).
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// "Unable to write to %s" with the file's path.
class EIniFileException : public std::runtime_error {
 public:
  explicit EIniFileException(const std::string& file_name);
};

// The user's configuration folder with a trailing '/': $XDG_CONFIG_HOME when
// it is set to an absolute path, else $HOME/.config (the account's home folder
// when HOME is unset).
std::string user_config_dir();

// Where a private-profile file of the given name lives: a bare name in
// user_config_dir(), a name with a folder as given.
std::string private_profile_path(const std::string& file_name);

// Codec over the file's text.
// The value of the first matching key in the first matching section.
std::optional<std::string> ini_find_value(std::string_view text, std::string_view section,
                                          std::string_view key);
// The text with the key set to value (see the semantics above).
std::string ini_set_value(std::string_view text, std::string_view section, std::string_view key,
                          std::string_view value);

// Decimal integer as the INI reader takes it ("-12", "+7"; "$1F" and "0x1F"
// hexadecimal); nothing for anything else or an out-of-range number.
std::optional<int> parse_ini_integer(std::string_view text);

class IniFile {
 public:
  // file_name as given to private_profile_path.
  explicit IniFile(const std::string& file_name);

  // Full path of the file.
  const std::string& FileName() const { return path_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) const;
  int ReadInteger(std::string_view section, std::string_view key, int default_value) const;
  // EIniFileException when the file cannot be written, or when a name or the
  // value could not be stored as one line (a line end or NUL in it, a ']' in
  // the section, a '=' in the key, an empty key).
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int value);

 private:
  std::string path_;
};

}  // namespace platform
