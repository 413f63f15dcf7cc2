// Read-back check of a finished backup archive.
//
// After the archiver has closed the archive, the backup run reads it back
// before calling the backup a success: the end record and central directory
// must parse, one entry must carry the script's file name, and that entry's
// sizes and CRC-32 must match the script as written; its data is inflated
// again and checked against the same CRC-32 and size. Pure apart from reading
// the file.
#pragma once

#include <cstdint>
#include <string>

namespace app {

struct ExpectedEntry {
  std::string file_name;  // script file name without folder, Windows-1254
  uint64_t size = 0;      // uncompressed size
  uint32_t crc32 = 0;
};

// Empty when the archive at `archive_path` (a path for the operating system,
// UTF-8) holds the entry complete; otherwise a short English reason.
std::string check_archive_entry(const std::string& archive_path, const ExpectedEntry& expected);

}  // namespace app
