// Message table of EZipException and the message builder.
#include "zip/zip_errors.h"

#include <cstdio>

namespace zip {
namespace {

// ErrorCode -> message. Double quotes belong to the messages.
const char* const kMessages[] = {
    "Unknown error",                                                                   // 0
    "Index out of bounds",                                                             // 1
    "Invalid compression mode. Mode must be in [0-9] range",                           // 2
    "Unexpected nil pointer",                                                          // 3
    "Invalid size or check sum of file or unsupported compression format",             // 4
    "File name is blank. Specify appropriate file name",                               // 5
    "File \"%s\" not found",                                                           // 6
    "Archive is not open",                                                             // 7
    "SFXStub property is not specified",                                               // 8
    "Cannot create file \"%s\"",                                                       // 9
    "Cannot create directory \"%s\"",                                                  // 10
    "Internal error. Update is not started",                                           // 11
    "Cannot open file \"%s\"",                                                         // 12
    "Cannot proceed when update is not ended. Preceding EndUpdate call is required.",  // 13
    "Cannot delete file \"%s\"",                                                       // 14
    "In-memory archive can be created only",                                           // 15
    "File is open in read-only mode",                                                  // 16
    "Invalid compressed size, rfs.size = %d, count = %d",                              // 17
    "Invalid archive file.",                                                           // 18
    "Cannot create output file. Probably file is locked by another process. FileName = "
    "'%s'.",                                                                  // 19
    "Archive is open. You should close it beore performing this operation.",  // 20
    "Unable to create directory",                                             // 21
    "Cannot find 64-bit directory end record",                                // 22
    "Cannot compress file '%s'. Zip64 mode is not enabled",                   // 23
    "Cannot open archive file. Opening aborted or invalid file",              // 24
    "Write to stream error",                                                  // 25
    "Cannot place SFX stub on volume. Volume size limit is too small",        // 26
    "Archive is damaged. Open failed",                                        // 27
    "MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive "
    "creation instead of MakeSFX",                            // 28
    "Archive already has SFX stub",                           // 29
    "Multi-volume archive is not allowed for custom stream",  // 30
    "Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate "
    "methods "
    "to add files several times",                                         // 31
    "Deflate64 compression method is not supported",                      // 32
    "MakeSFX error",                                                      // 33
    "Hashed list of file names is invalid",                               // 34
    "Cannot delete folder \"%s\"",                                        // 35
    "File name is too long: \r\n\"%s\"",                                  // 36
    "Multiple transactions are not supported for multi-volume archives",  // 37
    "Invalid InitVector index = %d. Index should be >= 0 and < %d",       // 38
    "Disk is full. There is not enough free space on disk.",              // 39
    "Invalid password. Cannot decompress encrypted file.",                // 40
};
constexpr int kMessageCount = sizeof kMessages / sizeof kMessages[0];

// NativeError -> ErrorCode, the 68 pairs (index = native error).
constexpr int kNativeToCode[] = {
    0,                                       // 0
    1,  1,  1,  1,  2,  3,  1,  4,  5,  5,   // 1-10
    6,  6,  7,  7,  6,  1,  8,  6,  9,  10,  // 11-20
    1,  11, 9,  1,  11, 13, 14, 15, 5,  6,   // 21-30
    6,  16, 12, 17, 18, 19, 20, 6,  21, 22,  // 31-40
    23, 6,  23, 24, 24, 25, 26, 27, 28, 29,  // 41-50
    30, 31, 6,  6,  32, 33, 27, 34, 34, 35,  // 51-60
    36, 37, 38, 38, 39, 39, 40,              // 61-67
};
constexpr int kNativeCount = sizeof kNativeToCode / sizeof kNativeToCode[0];

}  // namespace

int error_code_of(int native_error) {
  if (native_error < 0 || native_error >= kNativeCount) return 0;
  return kNativeToCode[native_error];
}

const char* error_message_text(int error_code) {
  if (error_code < 0 || error_code >= kMessageCount) return kMessages[0];
  return kMessages[error_code];
}

std::string format_message(const std::string& pattern, const std::vector<MessageArg>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size()) {
      char k = pattern[i + 1];
      if (k == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (k == 's' || k == 'd') {
        if (next < args.size()) out += args[next++].text;
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

namespace {
std::string build_message(int native_error, const std::vector<MessageArg>& args,
                          const std::string& component_name) {
  std::string text = format_message(error_message_text(error_code_of(native_error)), args);
  if (!component_name.empty()) text = component_name + ": " + text;
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, " - Native error: %05d", native_error);
  return text + suffix;
}
}  // namespace

EZipException::EZipException(int native_error, const std::vector<MessageArg>& args,
                             const std::string& component_name)
    : std::runtime_error(build_message(native_error, args, component_name)),
      native_error_(native_error),
      error_code_(error_code_of(native_error)) {}

}  // namespace zip
