// CollectFiles: resolves the masks of an add operation against the base
// folder, searches the file system and queues a directory item for every
// file found (CreateDirItem). Runs under the process-wide collection lock.
#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <mutex>

#include "platform/codepage.h"
#include "platform/files.h"
#include "zip/entry_names.h"
#include "zip/masks.h"
#include "zip/zip_archiver.h"
#include "zip/zip_files.h"

namespace zip {
namespace {

// Serialises file collection across every archiver of the process.
std::mutex& collection_lock() {
  static std::mutex m;
  return m;
}

std::u16string current_dir16() { return from_os(platform::to_os_path(platform::current_dir())); }

std::u16string with_slash(const std::u16string& folder) {
  return folder == u"/" ? folder : folder + u"/";
}

// Masks: an absolute path is taken as is; "./x" and other relative masks are
// joined to the base folder; a mask that climbs with ".." is taken relative
// to the current directory.
std::u16string resolve_mask(const std::u16string& mask, const std::u16string& base) {
  if (!mask.empty() && mask[0] == u'/') return normalize_path(mask, u"/");
  if (mask == u".." || mask.rfind(u"../", 0) == 0 || mask.find(u"/../") != std::u16string::npos)
    return normalize_path(mask, current_dir16());
  if (mask.rfind(u"./", 0) == 0) return normalize_path(mask.substr(2), base);
  return normalize_path(mask, base);
}

constexpr std::uint32_t kFilteredBits = faHidden | faSysFile | faVolumeID | faDirectory;

}  // namespace

void TZipBaseArchiver::CollectFiles(const std::vector<std::u16string>& masks, int search_attr,
                                    bool recurse, const std::vector<std::u16string>& exclusions) {
  std::lock_guard<std::mutex> guard(collection_lock());
  std::u16string base =
      base_dir_.empty() ? current_dir16() : normalize_path(base_dir_, current_dir16());
  work_base_ = with_slash(base);
  const auto attr = static_cast<std::uint32_t>(search_attr);
  for (const auto& mask : masks) {
    std::u16string resolved = resolve_mask(mask, base);
    if (!has_wildcards(resolved)) {
      FoundFile f;
      if (!find_file(resolved, f)) continue;  // a mask that finds nothing is no error
      if ((f.attributes & kFilteredBits) & ~attr) continue;
      OfferFile(f, exclusions);
      continue;
    }
    auto slash = resolved.rfind(u'/');
    std::u16string folder = slash == 0 ? u"/" : resolved.substr(0, slash);
    SearchFolder(folder, resolved.substr(slash + 1), search_attr, recurse, exclusions);
  }
}

void TZipBaseArchiver::SearchFolder(const std::u16string& folder, const std::u16string& pattern,
                                    int search_attr, bool recurse,
                                    const std::vector<std::u16string>& exclusions) {
  const auto attr = static_cast<std::uint32_t>(search_attr);
  const std::uint32_t any_file = faReadOnly | faHidden | faSysFile | faArchive;
  std::vector<FoundFile> entries = list_folder(folder);
  for (const auto& f : entries) {
    if (!match_wildcard(pattern, f.name)) continue;
    if (f.is_folder) {
      if (attr & faDirectory) OfferFile(f, exclusions);
      continue;
    }
    bool offered = (f.attributes & attr & ~faDirectory) != 0 ||
                   (f.attributes == 0 && (attr & any_file) == any_file);
    if (offered) OfferFile(f, exclusions);
  }
  if (!recurse) return;
  for (const auto& f : entries) {
    // Linked folders are not followed, so a link loop cannot recurse forever.
    if (!f.is_folder || f.is_symlink) continue;
    bool excluded = false;
    for (const auto& x : exclusions)
      if (matches_mask(x, f.full_path, work_base_)) excluded = true;
    if (!excluded) SearchFolder(f.full_path, pattern, search_attr, recurse, exclusions);
  }
}

void TZipBaseArchiver::OfferFile(const FoundFile& found,
                                 const std::vector<std::u16string>& exclusions) {
  for (const auto& x : exclusions)
    if (matches_mask(x, found.full_path, work_base_)) return;
  // The archive never adds itself, whatever path leads to it.
  if (!archive_path_.empty()) {
    struct stat a, b;
    if (::stat(os_path(archive_path_).c_str(), &a) == 0 &&
        ::stat(os_path(found.full_path).c_str(), &b) == 0 && a.st_dev == b.st_dev &&
        a.st_ino == b.st_ino)
      return;
  }
  if (!ConfirmProcessFile(found.full_path, poAdd)) return;

  // CreateDirItem
  TDirItem item;
  item.Name = MakeStoredName(found.full_path, work_base_, options_.StorePath);
  if (found.is_folder) item.Name += u'/';
  std::uint32_t stamp = found.dos_time ? found.dos_time : dos_date_time(std::time(nullptr));
  item.ModTime = static_cast<std::uint16_t>(stamp & 0xFFFF);
  item.ModDate = static_cast<std::uint16_t>(stamp >> 16);
  item.ExternalAttributes = found.attributes;
  item.VersionMadeBy = item.VersionNeeded = options_.OEMFileNames ? kVersionOem : kVersionAnsi;
  item.Method = item.MethodInUse = method_in_use_;
  item.Crc32 = kMax32;
  item.NameLength = static_cast<std::uint16_t>(item.Name.size());
  item.IsFolder = found.is_folder;
  if (found.is_folder) {
    item.Method = item.MethodInUse = kMethodStored;
    item.Crc32 = 0;
    item.Flags = 2;
  }
  item.Modified = true;
  item.Password = password_;
  item.SourceFileName = found.full_path;
  item.CompressionMode = found.is_folder ? 0 : static_cast<std::uint8_t>(compression_mode_);
  item.Operation = poAdd;
  NotifyStoreFile(item.Name, item.ExternalAttributes, item.Comment, found.full_path);
  if (item.Name.empty()) return;

  TDirItem* existing = nullptr;
  for (auto& i : items_)
    if (same_text_ignoring_case(i.Name, item.Name)) existing = &i;
  if (existing) {
    const std::uint32_t old_stamp =
        static_cast<std::uint32_t>(existing->ModDate) << 16 | existing->ModTime;
    bool replace = false;
    switch (options_.OverwriteMode) {
      case omAlways:
        replace = true;
        break;
      case omNever:
        replace = false;
        break;
      case omIfNewer:
        replace = stamp > old_stamp;
        break;
      case omIfOlder:
        replace = stamp < old_stamp;
        break;
      case omPrompt: {
        std::u16string dest = existing->Name;
        replace = ConfirmOverwrite(found.full_path, dest);
        break;
      }
    }
    if (!replace) return;
    item.Operation = poUpdate;
  }

  if (MatchesAnyNoCompression(found.full_path)) {
    item.Method = item.MethodInUse = kMethodStored;
    item.CompressionMode = 0;
  }
  // Sizes from the search.
  const std::uint64_t size = found.size;
  if (size >= kMax32 || zip64_mode_ == zmAlways) {
    item.Zip64 = true;
    item.UncompressedSize = kMax32;
    item.UncompressedSize64 = size;
  } else {
    item.UncompressedSize = static_cast<std::uint32_t>(size);
    item.UncompressedSize64 = size;
  }
  if (existing) {
    // The replaced entry keeps its place in the directory.
    item.LocalHeaderOffset = existing->LocalHeaderOffset;
    item.LocalHeaderOffset64 = existing->LocalHeaderOffset64;
    *existing = item;
  } else {
    items_.push_back(std::move(item));
  }
}

bool TZipBaseArchiver::MatchesAnyNoCompression(const std::u16string& full_path) const {
  for (const auto& m : no_compression_masks_)
    if (matches_mask(m, full_path, work_base_)) return true;
  return false;
}

}  // namespace zip
