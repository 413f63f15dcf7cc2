// The ZIP records as written: the directory item of an entry and the byte
// images of the local file header, the central directory header, the end
// record and the Zip64 records. Pure functions over values; all numbers are
// little-endian. Used by the entry writer and the archive reader.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_order.h"
#include "zip/zip_types.h"

namespace zip {

constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;

constexpr std::uint32_t kMax32 = 0xFFFFFFFF;
constexpr std::uint16_t kMax16 = 0xFFFF;
constexpr std::uint16_t kZip64ExtraId = 1;
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
constexpr std::uint16_t kFlagUtf8 = 0x0800;

constexpr std::uint16_t kVersionZip64 = 45;
constexpr std::uint16_t kVersionOem = 20;       // host 0 (DOS), version 2.0
constexpr std::uint16_t kVersionAnsi = 0x0B14;  // host 11, version 2.0

// Local file header, 30 bytes:
//   0 u32 signature 0x04034B50   4 u16 version needed   6 u16 flags
//   8 u16 method                10 u16 mod time        12 u16 mod date
//  14 u32 CRC-32                18 u32 compressed size 22 u32 uncompressed size
//  26 u16 name length           28 u16 extra length
constexpr std::size_t kLocalHeaderSize = 30;
// Central directory header, 46 bytes: the first seventeen fields of TDirItem
//   0 u32 signature 0x02014B50   4 u16 version made by  6 u16 version needed
//   8 u16 flags                 10 u16 method          12 u16 mod time
//  14 u16 mod date              16 u32 CRC-32          20 u32 compressed size
//  24 u32 uncompressed size     28 u16 name length     30 u16 extra length
//  32 u16 comment length        34 u16 disk start      36 u16 internal attributes
//  38 u32 external attributes   42 u32 local header offset
constexpr std::size_t kCentralHeaderSize = 46;
// End of central directory record, 22 bytes + comment:
//   0 u32 signature 0x06054B50   4 u16 this disk        6 u16 directory's disk
//   8 u16 entries on this disk  10 u16 total entries   12 u32 directory size
//  16 u32 directory offset      20 u16 comment length
constexpr std::size_t kEndRecordSize = 22;
// Zip64 end record, 56 bytes: signature 0x06064B50, record size 44 (u64),
// made by 45 (u16), needed 45 (u16), disk (u32), start disk (u32), entries on
// disk (u64), total entries (u64), directory size (u64), directory offset (u64).
constexpr std::size_t kZip64EndSize = 56;
// Zip64 locator, 20 bytes: signature 0x07064B50, disk of the Zip64 end record
// (u32), its offset (u64), total disks (u32).
constexpr std::size_t kZip64LocatorSize = 20;
// Zip64 extra field of a local header: id 1, size 16, uncompressed (u64),
// compressed (u64).
constexpr std::size_t kZip64LocalExtraSize = 20;

struct ExtraField {
  std::uint16_t id = 0;
  std::string data;
};

// One entry of the archive's directory.
struct TDirItem {
  // The central directory header exactly as written.
  std::uint32_t CentralSignature = kCentralSignature;
  std::uint16_t VersionMadeBy = 0;
  std::uint16_t VersionNeeded = 0;
  std::uint16_t Flags = 0;
  std::uint16_t Method = 0;
  std::uint16_t ModTime = 0;
  std::uint16_t ModDate = 0;
  std::uint32_t Crc32 = 0;
  std::uint32_t CompressedSize = 0;
  std::uint32_t UncompressedSize = 0;
  std::uint16_t NameLength = 0;
  std::uint16_t ExtraLength = 0;
  std::uint16_t CommentLength = 0;
  std::uint16_t DiskNumberStart = 0;
  std::uint16_t InternalAttributes = 0;
  std::uint32_t ExternalAttributes = 0;
  std::uint32_t LocalHeaderOffset = 0;

  std::u16string Name;  // stored name, folders separated by '/'
  std::string Comment;
  std::vector<ExtraField> ExtraFields;
  bool Zip64 = false;
  std::uint64_t UncompressedSize64 = 0;
  std::uint64_t CompressedSize64 = 0;
  std::uint64_t LocalHeaderOffset64 = 0;
  std::uint32_t DiskNumberStart32 = 0;
  bool Modified = false;
  std::string Password;
  std::u16string SourceFileName;  // full path of the source file
  std::uint16_t MethodInUse = 0;
  std::uint8_t CompressionMode = 0;
  TZipProcessOperation Operation = poAdd;
  bool IsFolder = false;

  // The full values, whether or not the Zip64 form is used.
  std::uint64_t FullUncompressedSize() const {
    return UncompressedSize == kMax32 ? UncompressedSize64 : UncompressedSize;
  }
  std::uint64_t FullCompressedSize() const {
    return CompressedSize == kMax32 ? CompressedSize64 : CompressedSize;
  }
  std::uint64_t FullLocalHeaderOffset() const {
    return LocalHeaderOffset == kMax32 ? LocalHeaderOffset64 : LocalHeaderOffset;
  }
};

struct LocalHeader {
  std::uint16_t version_needed = 0;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint16_t mod_time = 0;
  std::uint16_t mod_date = 0;
  std::uint32_t crc32 = 0;
  std::uint32_t compressed_size = 0;
  std::uint32_t uncompressed_size = 0;
  std::uint16_t name_length = 0;
  std::uint16_t extra_length = 0;
};

struct EndRecord {
  std::uint64_t entries = 0;
  std::uint64_t directory_size = 0;
  std::uint64_t directory_offset = 0;
  std::string comment;
};

std::string local_header_bytes(const LocalHeader& h);
std::string central_header_bytes(const TDirItem& item);
// The central Zip64 extra field of an item ("" when it needs none).
std::string central_zip64_extra(const TDirItem& item);
std::string local_zip64_extra(std::uint64_t uncompressed, std::uint64_t compressed);
// End record (with the 0xFFFF / 0xFFFFFFFF markers for large values) + comment.
std::string end_record_bytes(const EndRecord& end);
std::string zip64_end_record_bytes(const EndRecord& end);
std::string zip64_locator_bytes(std::uint64_t zip64_end_offset);
// Zip64 end record and locator as parsed: the values the writers take.
struct Zip64Locator {
  std::uint64_t end_record_offset = 0;
  std::uint32_t total_disks = 0;
};

// The parsers read the fixed part of a record at the start of `bytes` and
// return nothing when it is too short or its signature differs; numbers come
// back as stored (0xFFFF / 0xFFFFFFFF markers included).
std::optional<LocalHeader> parse_local_header(std::string_view bytes);
// Fills the first seventeen fields of a TDirItem.
std::optional<TDirItem> parse_central_header(std::string_view bytes);
// The end record with its comment, which must run to the end of `bytes`.
std::optional<EndRecord> parse_end_record(std::string_view bytes);
std::optional<EndRecord> parse_zip64_end_record(std::string_view bytes);
std::optional<Zip64Locator> parse_zip64_locator(std::string_view bytes);

// The values of a Zip64 extra field found in an extra-field block, taken in
// the fixed order for the fields marked as stored in it.
struct Zip64Values {
  bool present = false;
  std::uint64_t uncompressed_size = 0;
  std::uint64_t compressed_size = 0;
  std::uint64_t local_header_offset = 0;
};
enum class ExtraProblem { kNone, kFieldPastEnd, kZip64TooShort };
// want_*: which values the Zip64 field carries (the header's markers).
ExtraProblem parse_zip64_extra(std::string_view extra, bool want_uncompressed, bool want_compressed,
                               bool want_offset, Zip64Values& out);
// The extra fields of a block other than the Zip64 one, in order.
std::vector<ExtraField> other_extra_fields(std::string_view extra);

// True when the end record needs the Zip64 end record and locator before it.
bool needs_zip64_end(std::uint64_t position_after_directory, std::uint64_t entries);

using platform::get_u16;
using platform::get_u32;
using platform::get_u64;
using platform::put_u16;
using platform::put_u32;
using platform::put_u64;

}  // namespace zip
