// The file-system layer of the archiver: finding files with their DOS-style
// attribute word, time stamps in MS-DOS form, opening sources with a sharing
// mode, creating and opening archive files, and temporary files.
//
// How the DOS notions map onto this platform: a file's attribute word is 0x20
// (archive) for an ordinary file and 0x10 for a folder; 0x01 (read-only) is
// added when the owner has no write permission, 0x02 (hidden) when the name
// starts with "."; there are no system or volume-label files. Sharing is
// modelled with advisory flock() locks: a source held under an exclusive lock
// by another process cannot be opened (as a file opened without sharing on
// the Windows side), and the share modes that deny writing keep a shared lock
// on the source while it is read. The archive file is created under an
// exclusive lock. Paths are UTF-16 here and UTF-8 towards the system.
#pragma once

#include <climits>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "zip/zip_stream.h"
#include "zip/zip_types.h"

namespace zip {

// Bytes of the longest path the system opens, its terminating zero included
// (4,096 on Linux); a longer one is "File name is too long".
constexpr std::size_t kMaxOsPath = PATH_MAX;

struct FoundFile {
  std::u16string full_path;  // absolute
  std::u16string name;       // as the file system reports it
  std::uint32_t attributes = faArchive;
  std::uint64_t size = 0;
  bool is_folder = false;
  bool is_symlink = false;
  std::uint32_t dos_time = 0;  // MS-DOS date (high word) and time (low word)
};

std::string os_path(const std::u16string& path);
std::u16string from_os(const std::string& path);

// MS-DOS date and time of a moment in local time (2-second resolution; years
// before 1980 become 1980-01-01 00:00:00).
std::uint32_t dos_date_time(std::time_t t);

// The file or folder at path (false when there is none).
bool find_file(const std::u16string& path, FoundFile& found);
// Entries of a folder except "." and "..", in name order.
std::vector<FoundFile> list_folder(const std::u16string& folder);

// Opens a source for reading; nullptr with *err set when it cannot be opened
// or is locked by another process.
std::unique_ptr<TZipFileStream> open_source(const std::u16string& path, TZipFileShareMode share,
                                            int* err);
// Creates (truncating) an archive file under an exclusive lock.
std::unique_ptr<TZipFileStream> create_archive_file(const std::u16string& path, int* err);
// Opens an existing archive file: writable under an exclusive lock, or read-only.
std::unique_ptr<TZipFileStream> open_archive_file(const std::u16string& path, bool writable,
                                                  int* err);
// A new empty file "FC…" in folder (the system temporary folder when empty).
std::unique_ptr<TZipFileStream> create_temp_file(const std::u16string& folder, std::string* os_name,
                                                 int* err);

}  // namespace zip
