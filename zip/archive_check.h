// Reading an archive back: the entries of its central directory, and a check
// that an entry is complete (its local header agrees with the directory and
// its data inflates to the recorded size and CRC-32).
//
// The parsers are pure functions over byte buffers; list_archive and
// verify_entry read the file (only its tail and directory, and one entry's
// data in blocks). Used by the archiver when it opens an existing archive
// and by the application to confirm a backup before reporting success.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zip {

class EArchiveCheckError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ArchiveEntry {
  std::string name_bytes;  // as stored
  std::u16string name;     // decoded (UTF-8 with bit 11, else code page 857)
  std::uint16_t version_made_by = 0;
  std::uint16_t version_needed = 0;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint16_t mod_time = 0;
  std::uint16_t mod_date = 0;
  std::uint32_t crc32 = 0;
  std::uint64_t compressed_size = 0;  // Zip64 values resolved
  std::uint64_t uncompressed_size = 0;
  std::uint64_t local_header_offset = 0;
  std::uint16_t disk_number_start = 0;
  std::uint16_t internal_attributes = 0;
  std::uint32_t external_attributes = 0;
  std::string extra;
  std::string comment;
  bool zip64 = false;  // carried a Zip64 extra field
};

struct ArchiveDirectory {
  std::uint64_t entries = 0;
  std::uint64_t directory_size = 0;
  std::uint64_t directory_offset = 0;
  std::uint64_t end_record_offset = 0;  // of the end record (or the Zip64 end record)
  std::string comment;
};

// Finds the end record in the last bytes of an archive (`tail` starts at
// file offset tail_offset and runs to the end of the file). Reads the Zip64
// end record when the locator points into the tail. Raises EArchiveCheckError.
ArchiveDirectory parse_end_records(std::string_view tail, std::uint64_t tail_offset);
// The entries of a central directory image.
std::vector<ArchiveEntry> parse_central_directory(std::string_view directory,
                                                  std::uint64_t entries);

struct ArchiveListing {
  ArchiveDirectory directory;
  std::vector<ArchiveEntry> entries;
  std::uint64_t file_size = 0;
};

// os_path: UTF-8 file name. Raises EArchiveCheckError when the file cannot be
// read or its directory is damaged.
ArchiveListing list_archive(const std::string& os_path);

struct EntryCheck {
  bool ok = false;
  std::string problem;  // English, empty when ok
};
// The records of the entry whose stored name bytes equal name_bytes: the
// directory lists it, its local header agrees, its data lies before the
// directory. Its data is not read.
EntryCheck check_entry_records(const std::string& os_path, const std::string& name_bytes);
// The same, and its data inflates to the recorded size and CRC-32.
EntryCheck verify_entry(const std::string& os_path, const std::string& name_bytes);

}  // namespace zip
