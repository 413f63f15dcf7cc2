// Byte images of the ZIP records.
#include "zip/zip_records.h"

namespace zip {

void put_u16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
void put_u32(std::string& out, std::uint32_t v) {
  put_u16(out, static_cast<std::uint16_t>(v & 0xFFFF));
  put_u16(out, static_cast<std::uint16_t>(v >> 16));
}
void put_u64(std::string& out, std::uint64_t v) {
  put_u32(out, static_cast<std::uint32_t>(v & 0xFFFFFFFFu));
  put_u32(out, static_cast<std::uint32_t>(v >> 32));
}
std::uint16_t get_u16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t get_u32(const unsigned char* p) {
  return get_u16(p) | (static_cast<std::uint32_t>(get_u16(p + 2)) << 16);
}
std::uint64_t get_u64(const unsigned char* p) {
  return get_u32(p) | (static_cast<std::uint64_t>(get_u32(p + 4)) << 32);
}

std::string local_header_bytes(const TLocalHeader& h) {
  std::string out;
  out.reserve(kLocalHeaderSize);
  put_u32(out, kLocalSignature);
  put_u16(out, h.VersionNeeded);
  put_u16(out, h.Flags);
  put_u16(out, h.Method);
  put_u16(out, h.ModTime);
  put_u16(out, h.ModDate);
  put_u32(out, h.Crc32);
  put_u32(out, h.CompressedSize);
  put_u32(out, h.UncompressedSize);
  put_u16(out, h.NameLength);
  put_u16(out, h.ExtraLength);
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

std::string end_record_bytes(const TEndRecord& e) {
  std::string out;
  std::uint16_t entries = e.Entries > 0xFFFE ? kMax16 : static_cast<std::uint16_t>(e.Entries);
  put_u32(out, kEndSignature);
  put_u16(out, 0);
  put_u16(out, 0);
  put_u16(out, entries);
  put_u16(out, entries);
  put_u32(out, e.DirectorySize >= kMax32 ? kMax32 : static_cast<std::uint32_t>(e.DirectorySize));
  put_u32(out,
          e.DirectoryOffset >= kMax32 ? kMax32 : static_cast<std::uint32_t>(e.DirectoryOffset));
  put_u16(out, static_cast<std::uint16_t>(e.Comment.size()));
  return out + e.Comment;
}

std::string zip64_end_record_bytes(const TEndRecord& e) {
  std::string out;
  put_u32(out, kZip64EndSignature);
  put_u64(out, kZip64EndSize - 12);
  put_u16(out, kVersionZip64);
  put_u16(out, kVersionZip64);
  put_u32(out, 0);
  put_u32(out, 0);
  put_u64(out, e.Entries);
  put_u64(out, e.Entries);
  put_u64(out, e.DirectorySize);
  put_u64(out, e.DirectoryOffset);
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

}  // namespace zip
