// Byte images of the ZIP records.
#include "zip/zip_records.h"

namespace zip {

std::string local_header_bytes(const LocalHeader& h) {
  std::string out;
  out.reserve(kLocalHeaderSize);
  put_u32(out, kLocalSignature);
  put_u16(out, h.version_needed);
  put_u16(out, h.flags);
  put_u16(out, h.method);
  put_u16(out, h.mod_time);
  put_u16(out, h.mod_date);
  put_u32(out, h.crc32);
  put_u32(out, h.compressed_size);
  put_u32(out, h.uncompressed_size);
  put_u16(out, h.name_length);
  put_u16(out, h.extra_length);
  return out;
}

std::string central_header_bytes(const TDirItem& i) {
  std::string out;
  out.reserve(kCentralHeaderSize);
  put_u32(out, i.CentralSignature);
  put_u16(out, i.VersionMadeBy);
  put_u16(out, i.VersionNeeded);
  put_u16(out, i.Flags);
  put_u16(out, i.Method);
  put_u16(out, i.ModTime);
  put_u16(out, i.ModDate);
  put_u32(out, i.Crc32);
  put_u32(out, i.CompressedSize);
  put_u32(out, i.UncompressedSize);
  put_u16(out, i.NameLength);
  put_u16(out, i.ExtraLength);
  put_u16(out, i.CommentLength);
  put_u16(out, i.DiskNumberStart);
  put_u16(out, i.InternalAttributes);
  put_u32(out, i.ExternalAttributes);
  put_u32(out, i.LocalHeaderOffset);
  return out;
}

std::string central_zip64_extra(const TDirItem& i) {
  std::string data;
  if (i.UncompressedSize == kMax32) put_u64(data, i.UncompressedSize64);
  if (i.CompressedSize == kMax32) put_u64(data, i.CompressedSize64);
  if (i.LocalHeaderOffset == kMax32) put_u64(data, i.LocalHeaderOffset64);
  if (i.DiskNumberStart == kMax16) put_u32(data, i.DiskNumberStart32);
  if (data.empty()) return data;
  std::string out;
  put_u16(out, kZip64ExtraId);
  put_u16(out, static_cast<std::uint16_t>(data.size()));
  return out + data;
}

std::string local_zip64_extra(std::uint64_t uncompressed, std::uint64_t compressed) {
  std::string out;
  put_u16(out, kZip64ExtraId);
  put_u16(out, 16);
  put_u64(out, uncompressed);
  put_u64(out, compressed);
  return out;
}

std::string end_record_bytes(const EndRecord& e) {
  std::string out;
  std::uint16_t entries = e.entries > 0xFFFE ? kMax16 : static_cast<std::uint16_t>(e.entries);
  put_u32(out, kEndSignature);
  put_u16(out, 0);
  put_u16(out, 0);
  put_u16(out, entries);
  put_u16(out, entries);
  put_u32(out, e.directory_size >= kMax32 ? kMax32 : static_cast<std::uint32_t>(e.directory_size));
  put_u32(out,
          e.directory_offset >= kMax32 ? kMax32 : static_cast<std::uint32_t>(e.directory_offset));
  put_u16(out, static_cast<std::uint16_t>(e.comment.size()));
  return out + e.comment;
}

std::string zip64_end_record_bytes(const EndRecord& e) {
  std::string out;
  put_u32(out, kZip64EndSignature);
  put_u64(out, kZip64EndSize - 12);
  put_u16(out, kVersionZip64);
  put_u16(out, kVersionZip64);
  put_u32(out, 0);
  put_u32(out, 0);
  put_u64(out, e.entries);
  put_u64(out, e.entries);
  put_u64(out, e.directory_size);
  put_u64(out, e.directory_offset);
  return out;
}

std::string zip64_locator_bytes(std::uint64_t zip64_end_offset) {
  std::string out;
  put_u32(out, kZip64LocatorSignature);
  put_u32(out, 0);
  put_u64(out, zip64_end_offset);
  put_u32(out, 1);
  return out;
}

bool needs_zip64_end(std::uint64_t position_after_directory, std::uint64_t entries) {
  return position_after_directory >= kMax32 || entries >= kMax16;
}

namespace {

const unsigned char* at(std::string_view s, std::size_t off) {
  return reinterpret_cast<const unsigned char*>(s.data()) + off;
}

bool has_record(std::string_view bytes, std::size_t size, std::uint32_t signature) {
  return bytes.size() >= size && get_u32(at(bytes, 0)) == signature;
}

}  // namespace

std::optional<LocalHeader> parse_local_header(std::string_view b) {
  if (!has_record(b, kLocalHeaderSize, kLocalSignature)) return std::nullopt;
  LocalHeader h;
  h.version_needed = get_u16(at(b, 4));
  h.flags = get_u16(at(b, 6));
  h.method = get_u16(at(b, 8));
  h.mod_time = get_u16(at(b, 10));
  h.mod_date = get_u16(at(b, 12));
  h.crc32 = get_u32(at(b, 14));
  h.compressed_size = get_u32(at(b, 18));
  h.uncompressed_size = get_u32(at(b, 22));
  h.name_length = get_u16(at(b, 26));
  h.extra_length = get_u16(at(b, 28));
  return h;
}

std::optional<TDirItem> parse_central_header(std::string_view b) {
  if (!has_record(b, kCentralHeaderSize, kCentralSignature)) return std::nullopt;
  TDirItem i;
  i.VersionMadeBy = get_u16(at(b, 4));
  i.VersionNeeded = get_u16(at(b, 6));
  i.Flags = get_u16(at(b, 8));
  i.Method = get_u16(at(b, 10));
  i.ModTime = get_u16(at(b, 12));
  i.ModDate = get_u16(at(b, 14));
  i.Crc32 = get_u32(at(b, 16));
  i.CompressedSize = get_u32(at(b, 20));
  i.UncompressedSize = get_u32(at(b, 24));
  i.NameLength = get_u16(at(b, 28));
  i.ExtraLength = get_u16(at(b, 30));
  i.CommentLength = get_u16(at(b, 32));
  i.DiskNumberStart = get_u16(at(b, 34));
  i.InternalAttributes = get_u16(at(b, 36));
  i.ExternalAttributes = get_u32(at(b, 38));
  i.LocalHeaderOffset = get_u32(at(b, 42));
  return i;
}

std::optional<EndRecord> parse_end_record(std::string_view b) {
  if (!has_record(b, kEndRecordSize, kEndSignature)) return std::nullopt;
  const std::uint16_t comment_length = get_u16(at(b, 20));
  if (b.size() != kEndRecordSize + comment_length) return std::nullopt;
  EndRecord e;
  e.entries = get_u16(at(b, 10));
  e.directory_size = get_u32(at(b, 12));
  e.directory_offset = get_u32(at(b, 16));
  e.comment = std::string(b.substr(kEndRecordSize));
  return e;
}

std::optional<EndRecord> parse_zip64_end_record(std::string_view b) {
  if (!has_record(b, kZip64EndSize, kZip64EndSignature)) return std::nullopt;
  EndRecord e;
  e.entries = get_u64(at(b, 32));
  e.directory_size = get_u64(at(b, 40));
  e.directory_offset = get_u64(at(b, 48));
  return e;
}

std::optional<Zip64Locator> parse_zip64_locator(std::string_view b) {
  if (!has_record(b, kZip64LocatorSize, kZip64LocatorSignature)) return std::nullopt;
  Zip64Locator l;
  l.end_record_offset = get_u64(at(b, 8));
  l.total_disks = get_u32(at(b, 16));
  return l;
}

ExtraProblem parse_zip64_extra(std::string_view extra, bool want_uncompressed, bool want_compressed,
                               bool want_offset, Zip64Values& out) {
  for (std::size_t p = 0; p + 4 <= extra.size();) {
    const std::uint16_t id = get_u16(at(extra, p));
    const std::uint16_t size = get_u16(at(extra, p + 2));
    if (p + 4 + size > extra.size()) return ExtraProblem::kFieldPastEnd;
    if (id == kZip64ExtraId) {
      out.present = true;
      std::size_t q = p + 4;
      const std::size_t end = q + size;
      for (auto [wanted, value] : {std::pair{want_uncompressed, &out.uncompressed_size},
                                   std::pair{want_compressed, &out.compressed_size},
                                   std::pair{want_offset, &out.local_header_offset}}) {
        if (!wanted) continue;
        if (q + 8 > end) return ExtraProblem::kZip64TooShort;
        *value = get_u64(at(extra, q));
        q += 8;
      }
    }
    p += 4 + size;
  }
  return ExtraProblem::kNone;
}

std::vector<ExtraField> other_extra_fields(std::string_view extra) {
  std::vector<ExtraField> out;
  for (std::size_t p = 0; p + 4 <= extra.size();) {
    const std::uint16_t id = get_u16(at(extra, p));
    const std::uint16_t size = get_u16(at(extra, p + 2));
    if (id != kZip64ExtraId) out.push_back({id, std::string(extra.substr(p + 4, size))});
    p += 4 + size;
  }
  return out;
}

}  // namespace zip
