// File helpers and the file error messages.
//
// Paths in the program are 8-bit Windows-1254 text like every other string;
// they are converted to UTF-8 only when handed to the operating system.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// Base of the file errors; what() is the message shown to the operator.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// "Cannot open file "%s". %s"
class EFOpenError : public EFileError {
 public:
  EFOpenError(const std::string& path, int err);
};
// "Cannot create file "%s". %s"
class EFCreateError : public EFileError {
 public:
  EFCreateError(const std::string& path, int err);
};

// The system's text for an errno value, worded as the operator knows it
// ("The system cannot find the file specified", "Access is denied", ...).
std::string system_error_text(int err);

// Program path (ANSI) <-> operating-system path (UTF-8).
std::string to_os_path(std::string_view ansi_path);
std::string from_os_path(std::string_view os_path);

// Whole file as bytes; EFOpenError when it cannot be opened or read.
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
// True when the file was removed.
bool delete_file(const std::string& path);

// Absolute path of `path` resolved against the current directory.
std::string expand_file_name(const std::string& path);
// Current directory and the executable's folder, each with a trailing '/'.
std::string current_dir();
std::string executable_dir();
// Executable's file name without folder, e.g. "yedekalma".
std::string executable_name();

// The program title: the executable's name without everything from its first
// ".", the letters after the first in lower case.
std::string program_title();
std::string program_title_of(std::string_view file_name);

}  // namespace platform
