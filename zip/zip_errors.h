// Errors of the ZIP archive writer.
//
// EZipException carries NativeError (the place that raised it) and ErrorCode
// (the number of its message). The message is built once, here: the message
// text of ErrorCode formatted with the raise site's values, the owning
// component's name and ": " in front when it has one, and
// " - Native error: 000NN" behind. ECompressionError reports a failing zlib
// call as "error %d". Raised by the archiver, its entry writer and the
// compressor; caught by the archiver's per-file failure handling and by the
// application's error box.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace zip {

// The native errors the archiver raises: each names the place that failed.
enum NativeError : int {
  kErrInvalidCompressionMode = 5,
  kErrNoStream = 6,
  kErrBlankFileName = 10,
  kErrArchiveNotFound = 12,
  kErrArchiveNotOpen = 13,
  kErrCannotCreateTempFile = 19,
  kErrReadOnlyArchive = 32,
  kErrCannotOpenSource = 33,
  kErrShortSource = 34,
  kErrSizeOutgrewZip64 = 41,
  kErrZip64NotEnabled = 43,
  kErrWriteToStream = 46,
  kErrArchiveDamaged = 48,
  kErrFileNameTooLong = 61,
  kErrDiskFull = 65,
};

// Message number used for a native error (0 for one not in the table).
int error_code_of(int native_error);
// Message text of an ErrorCode, placeholders unformatted ("Unknown error" for
// an unknown code).
const char* error_message_text(int error_code);

// One value for a %s or %d placeholder of a message, in order.
struct MessageArg {
  MessageArg(std::string s) : text(std::move(s)) {}
  MessageArg(const char* s) : text(s) {}
  MessageArg(long long n) : text(std::to_string(n)) {}
  MessageArg(unsigned long long n) : text(std::to_string(n)) {}
  MessageArg(int n) : text(std::to_string(n)) {}
  MessageArg(unsigned n) : text(std::to_string(n)) {}
  MessageArg(long n) : text(std::to_string(n)) {}
  MessageArg(unsigned long n) : text(std::to_string(n)) {}
  std::string text;
};

// Fills %s and %d in order; "%%" is a percent sign.
std::string format_message(const std::string& pattern, const std::vector<MessageArg>& args);

class EZipException : public std::runtime_error {
 public:
  // component_name: the raising component's Name ("" for none).
  EZipException(int native_error, const std::vector<MessageArg>& args = {},
                const std::string& component_name = "");
  int NativeError() const { return native_error_; }
  int ErrorCode() const { return error_code_; }

 private:
  int native_error_;
  int error_code_;
};

// A zlib call returned a negative result.
class ECompressionError : public std::runtime_error {
 public:
  explicit ECompressionError(int zlib_result)
      : std::runtime_error("error " + std::to_string(zlib_result)), result_(zlib_result) {}
  int Result() const { return result_; }

 private:
  int result_;
};

}  // namespace zip
