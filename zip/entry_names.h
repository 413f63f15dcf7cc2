// Stored names of archive entries: from a source path to the name kept in
// the directory (MakeStoredName), and from that name to the bytes written
// (EncodeEntryName). Pure functions; paths are UTF-16 with '/' separators.
//
// On this platform paths have no drive letters or network shares; a path is
// made absolute against the base folder and cleaned of "." and ".." parts
// before the store-path mode applies, and the stored name never begins with
// '/', never holds a "." or ".." part and never holds '\'.
#pragma once

#include <string>

#include "zip/zip_types.h"

namespace zip {

// Absolute, lexically cleaned form of path: relative paths are joined to
// base_dir; "//", "." and ".." parts are resolved; no trailing '/' (except
// for the root "/").
std::u16string normalize_path(const std::u16string& path, const std::u16string& base_dir);

// base_dir: absolute, ending in '/'.
std::u16string MakeStoredName(const std::u16string& source_path, const std::u16string& base_dir,
                              TZipStorePathMode mode);

struct EncodedName {
  std::string bytes;
  bool utf8 = false;  // general purpose bit 11 must be set
};
// Windows-1254 bytes when the name survives the round trip through that
// code page (turned into code page 857 when oem_file_names is set and every
// character has an 857 form); otherwise UTF-8, at most 254 bytes, cut at a
// character boundary.
EncodedName EncodeEntryName(const std::u16string& name, bool oem_file_names);

// The name an archive's bytes stand for (UTF-8 when utf8, else code page 857
// when oem, else Windows-1254).
std::u16string decode_entry_name(const std::string& bytes, bool utf8, bool oem);

}  // namespace zip
