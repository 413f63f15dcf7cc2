// Read-back check of a finished backup archive, over the archive reader of
// the ZIP writer: the directory must list the script, with the size and
// CRC-32 the script was written with, and the entry must verify (local header
// equal to the directory, data inflating to that size and CRC-32).
#include "app/archive_check.h"

#include "platform/codepage.h"
#include "zip/archive_check.h"

namespace app {
namespace {

// The last component of a stored name ('/' or '\' separated).
std::u16string base_name(const std::u16string& name) {
  size_t slash = name.find_last_of(u"/\\");
  return slash == std::u16string::npos ? name : name.substr(slash + 1);
}

}  // namespace

std::string check_archive_entry(const std::string& archive_path, const ExpectedEntry& expected) {
  zip::ArchiveListing listing;
  try {
    listing = zip::list_archive(archive_path);
  } catch (const zip::EArchiveCheckError& e) {
    return e.what();
  }
  const std::u16string wanted = platform::ansi_to_utf16(expected.file_name);
  for (const auto& entry : listing.entries) {
    if (base_name(entry.name) != wanted) continue;
    if (entry.uncompressed_size != expected.size || entry.crc32 != expected.crc32)
      return "entry sizes or CRC-32 do not match the script";
    zip::EntryCheck check = zip::verify_entry(archive_path, entry.name_bytes);
    return check.ok ? "" : check.problem;
  }
  return "archive holds no entry for the script";
}

}  // namespace app
