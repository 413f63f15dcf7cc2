// Archive reader and entry check.
#include "zip/archive_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <vector>

#include "platform/unique_fd.h"
#include "zip/entry_names.h"
#include "zip/zip_records.h"

namespace zip {
namespace {

const unsigned char* at(std::string_view s, std::size_t off) {
  return reinterpret_cast<const unsigned char*>(s.data()) + off;
}

bool read_at(int fd, std::uint64_t off, std::size_t n, std::string& out) {
  out.resize(n);
  std::size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd, out.data() + done, n - done, static_cast<off_t>(off + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    done += static_cast<std::size_t>(r);
  }
  return true;
}

// Zip64 values of an extra-field block for the fields marked 0xFFFFFFFF.
void apply_zip64_extra(std::string_view extra, ArchiveEntry& e, bool usize, bool csize,
                       bool offset) {
  std::size_t p = 0;
  while (p + 4 <= extra.size()) {
    std::uint16_t id = get_u16(at(extra, p));
    std::uint16_t size = get_u16(at(extra, p + 2));
    if (p + 4 + size > extra.size()) throw EArchiveCheckError("Extra field runs past its header");
    if (id == kZip64ExtraId) {
      e.zip64 = true;
      std::size_t q = p + 4, end = q + size;
      auto take = [&](std::uint64_t& v) {
        if (q + 8 > end) throw EArchiveCheckError("Zip64 extra field is too short");
        v = get_u64(at(extra, q));
        q += 8;
      };
      if (usize) take(e.uncompressed_size);
      if (csize) take(e.compressed_size);
      if (offset) take(e.local_header_offset);
    }
    p += 4 + size;
  }
}

}  // namespace

ArchiveDirectory parse_end_records(std::string_view tail, std::uint64_t tail_offset) {
  if (tail.size() < kEndRecordSize) throw EArchiveCheckError("No end of central directory record");
  for (std::size_t p = tail.size() - kEndRecordSize + 1; p-- > 0;) {
    if (get_u32(at(tail, p)) != kEndSignature) continue;
    std::uint16_t comment_len = get_u16(at(tail, p + 20));
    if (p + kEndRecordSize + comment_len != tail.size()) continue;
    ArchiveDirectory d;
    d.entries = get_u16(at(tail, p + 10));
    d.directory_size = get_u32(at(tail, p + 12));
    d.directory_offset = get_u32(at(tail, p + 16));
    d.comment = std::string(tail.substr(p + kEndRecordSize, comment_len));
    d.end_record_offset = tail_offset + p;
    if (p >= kZip64LocatorSize &&
        get_u32(at(tail, p - kZip64LocatorSize)) == kZip64LocatorSignature) {
      std::uint64_t z = get_u64(at(tail, p - kZip64LocatorSize + 8));
      if (z < tail_offset || z - tail_offset + kZip64EndSize > tail.size())
        throw EArchiveCheckError("Cannot find 64-bit directory end record");
      std::size_t zp = static_cast<std::size_t>(z - tail_offset);
      if (get_u32(at(tail, zp)) != kZip64EndSignature)
        throw EArchiveCheckError("Cannot find 64-bit directory end record");
      d.entries = get_u64(at(tail, zp + 32));
      d.directory_size = get_u64(at(tail, zp + 40));
      d.directory_offset = get_u64(at(tail, zp + 48));
      d.end_record_offset = z;
    }
    if (d.directory_offset + d.directory_size > d.end_record_offset)
      throw EArchiveCheckError("Central directory runs past the end record");
    return d;
  }
  throw EArchiveCheckError("No end of central directory record");
}

std::vector<ArchiveEntry> parse_central_directory(std::string_view dir, std::uint64_t entries) {
  std::vector<ArchiveEntry> out;
  std::size_t p = 0;
  for (std::uint64_t i = 0; i < entries; ++i) {
    if (p + kCentralHeaderSize > dir.size() || get_u32(at(dir, p)) != kCentralSignature)
      throw EArchiveCheckError("Central directory header " + std::to_string(i) + " is damaged");
    const unsigned char* h = at(dir, p);
    ArchiveEntry e;
    e.version_made_by = get_u16(h + 4);
    e.version_needed = get_u16(h + 6);
    e.flags = get_u16(h + 8);
    e.method = get_u16(h + 10);
    e.mod_time = get_u16(h + 12);
    e.mod_date = get_u16(h + 14);
    e.crc32 = get_u32(h + 16);
    std::uint32_t csize = get_u32(h + 20), usize = get_u32(h + 24);
    std::uint16_t nlen = get_u16(h + 28), xlen = get_u16(h + 30), clen = get_u16(h + 32);
    e.disk_number_start = get_u16(h + 34);
    e.internal_attributes = get_u16(h + 36);
    e.external_attributes = get_u32(h + 38);
    std::uint32_t offset = get_u32(h + 42);
    e.compressed_size = csize;
    e.uncompressed_size = usize;
    e.local_header_offset = offset;
    p += kCentralHeaderSize;
    if (p + nlen + xlen + clen > dir.size())
      throw EArchiveCheckError("Central directory header " + std::to_string(i) + " is damaged");
    e.name_bytes = std::string(dir.substr(p, nlen));
    e.extra = std::string(dir.substr(p + nlen, xlen));
    e.comment = std::string(dir.substr(p + nlen + xlen, clen));
    p += nlen + xlen + clen;
    apply_zip64_extra(e.extra, e, usize == kMax32, csize == kMax32, offset == kMax32);
    e.name =
        decode_entry_name(e.name_bytes, (e.flags & kFlagUtf8) != 0, (e.version_made_by >> 8) == 0);
    out.push_back(std::move(e));
  }
  return out;
}

ArchiveListing list_archive(const std::string& os_path) {
  platform::UniqueFd fd(::open(os_path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) throw EArchiveCheckError("Cannot open archive " + os_path);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) throw EArchiveCheckError("Cannot read archive " + os_path);
  ArchiveListing l;
  l.file_size = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t max_tail = kEndRecordSize + 0xFFFF + kZip64LocatorSize + kZip64EndSize;
  std::uint64_t tail_size = l.file_size < max_tail ? l.file_size : max_tail;
  std::string tail;
  if (!read_at(fd.get(), l.file_size - tail_size, static_cast<std::size_t>(tail_size), tail))
    throw EArchiveCheckError("Cannot read archive " + os_path);
  l.directory = parse_end_records(tail, l.file_size - tail_size);
  std::string dir;
  if (!read_at(fd.get(), l.directory.directory_offset,
               static_cast<std::size_t>(l.directory.directory_size), dir))
    throw EArchiveCheckError("Cannot read the central directory");
  l.entries = parse_central_directory(dir, l.directory.entries);
  return l;
}

EntryCheck verify_entry(const std::string& os_path, const std::string& name_bytes) {
  EntryCheck c;
  ArchiveListing l;
  try {
    l = list_archive(os_path);
  } catch (const EArchiveCheckError& e) {
    c.problem = e.what();
    return c;
  }
  const ArchiveEntry* e = nullptr;
  for (const auto& x : l.entries)
    if (x.name_bytes == name_bytes) e = &x;
  if (!e) {
    c.problem = "Entry not found";
    return c;
  }
  if (e->flags & 0x0001) {
    c.problem = "Entry is encrypted";
    return c;
  }
  platform::UniqueFd fd(::open(os_path.c_str(), O_RDONLY | O_CLOEXEC));
  std::string h;
  if (!fd || !read_at(fd.get(), e->local_header_offset, kLocalHeaderSize, h) ||
      get_u32(at(h, 0)) != kLocalSignature) {
    c.problem = "Local header not found";
    return c;
  }
  std::uint16_t nlen = get_u16(at(h, 26)), xlen = get_u16(at(h, 28));
  std::string name, extra;
  read_at(fd.get(), e->local_header_offset + kLocalHeaderSize, nlen, name);
  read_at(fd.get(), e->local_header_offset + kLocalHeaderSize + nlen, xlen, extra);
  ArchiveEntry local;
  local.compressed_size = get_u32(at(h, 18));
  local.uncompressed_size = get_u32(at(h, 22));
  try {
    apply_zip64_extra(extra, local, local.uncompressed_size == kMax32,
                      local.compressed_size == kMax32, false);
  } catch (const EArchiveCheckError& x) {
    c.problem = x.what();
    return c;
  }
  if (name != e->name_bytes || get_u16(at(h, 8)) != e->method || get_u32(at(h, 14)) != e->crc32 ||
      local.compressed_size != e->compressed_size ||
      local.uncompressed_size != e->uncompressed_size || (get_u16(at(h, 6)) & 0x0008)) {
    c.problem = "Local header differs from the central directory";
    return c;
  }
  std::uint64_t pos = e->local_header_offset + kLocalHeaderSize + nlen + xlen;
  if (pos + e->compressed_size > l.directory.directory_offset) {
    c.problem = "Entry data runs into the central directory";
    return c;
  }
  if (e->method != 0 && e->method != 8) {
    c.problem = "Unsupported compression method " + std::to_string(e->method);
    return c;
  }
  z_stream z{};
  if (e->method == 8 && inflateInit2(&z, -MAX_WBITS) != Z_OK) {
    c.problem = "Cannot start inflating";
    return c;
  }
  std::uint32_t crc = 0;
  std::uint64_t out_total = 0, left = e->compressed_size;
  std::string in;
  std::vector<unsigned char> out(1 << 18);
  int rc = Z_OK;
  bool ended = e->method == 0;
  while (left > 0 && rc != Z_STREAM_END) {
    std::size_t n = left < (1u << 18) ? static_cast<std::size_t>(left) : (1u << 18);
    if (!read_at(fd.get(), pos, n, in)) {
      c.problem = "Entry data is cut short";
      break;
    }
    pos += n;
    left -= n;
    if (e->method == 0) {
      crc = static_cast<std::uint32_t>(
          ::crc32(crc, reinterpret_cast<const Bytef*>(in.data()), static_cast<uInt>(n)));
      out_total += n;
      continue;
    }
    z.next_in = reinterpret_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      rc = inflate(&z, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
        c.problem = "Entry data is not valid deflate data";
        break;
      }
      std::size_t got = out.size() - z.avail_out;
      crc = static_cast<std::uint32_t>(::crc32(crc, out.data(), static_cast<uInt>(got)));
      out_total += got;
    } while (z.avail_out == 0 && rc != Z_STREAM_END);
    if (!c.problem.empty()) break;
    if (rc == Z_STREAM_END) ended = true;
  }
  if (e->method == 8) {
    if (rc == Z_STREAM_END && (left > 0 || z.avail_in > 0) && c.problem.empty())
      c.problem = "Deflate data ends before the recorded compressed size";
    inflateEnd(&z);
  }
  if (!c.problem.empty()) return c;
  if (!ended)
    c.problem = "Deflate data has no final block";
  else if (out_total != e->uncompressed_size)
    c.problem = "Uncompressed size differs";
  else if (crc != e->crc32)
    c.problem = "CRC-32 differs";
  else
    c.ok = true;
  return c;
}

}  // namespace zip
