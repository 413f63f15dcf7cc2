// Archive reader and entry check.
#include "zip/archive_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <optional>
#include <vector>

#include "platform/unique_fd.h"
#include "zip/compression.h"
#include "zip/entry_names.h"
#include "zip/zip_records.h"

namespace zip {
namespace {

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

// Resolves the Zip64 values of an entry whose header marks them.
void apply_zip64_extra(std::string_view extra, ArchiveEntry& e, bool usize, bool csize,
                       bool offset) {
  Zip64Values v;
  switch (parse_zip64_extra(extra, usize, csize, offset, v)) {
    case ExtraProblem::kFieldPastEnd:
      throw EArchiveCheckError("Extra field runs past its header");
    case ExtraProblem::kZip64TooShort:
      throw EArchiveCheckError("Zip64 extra field is too short");
    case ExtraProblem::kNone:
      break;
  }
  if (!v.present) return;
  e.zip64 = true;
  if (usize) e.uncompressed_size = v.uncompressed_size;
  if (csize) e.compressed_size = v.compressed_size;
  if (offset) e.local_header_offset = v.local_header_offset;
}

}  // namespace

ArchiveDirectory parse_end_records(std::string_view tail, std::uint64_t tail_offset) {
  if (tail.size() < kEndRecordSize) throw EArchiveCheckError("No end of central directory record");
  for (std::size_t p = tail.size() - kEndRecordSize + 1; p-- > 0;) {
    const std::optional<EndRecord> end = parse_end_record(tail.substr(p));
    if (!end) continue;
    ArchiveDirectory d;
    d.entries = end->entries;
    d.directory_size = end->directory_size;
    d.directory_offset = end->directory_offset;
    d.comment = end->comment;
    d.end_record_offset = tail_offset + p;
    const std::optional<Zip64Locator> locator =
        p >= kZip64LocatorSize ? parse_zip64_locator(tail.substr(p - kZip64LocatorSize))
                               : std::nullopt;
    if (locator) {
      const std::uint64_t z = locator->end_record_offset;
      if (z < tail_offset || z - tail_offset + kZip64EndSize > tail.size())
        throw EArchiveCheckError("Cannot find 64-bit directory end record");
      const std::optional<EndRecord> end64 =
          parse_zip64_end_record(tail.substr(static_cast<std::size_t>(z - tail_offset)));
      if (!end64) throw EArchiveCheckError("Cannot find 64-bit directory end record");
      d.entries = end64->entries;
      d.directory_size = end64->directory_size;
      d.directory_offset = end64->directory_offset;
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
    const auto damaged = [i] {
      return EArchiveCheckError("Central directory header " + std::to_string(i) + " is damaged");
    };
    const std::optional<TDirItem> h = parse_central_header(dir.substr(p));
    if (!h) throw damaged();
    ArchiveEntry e;
    e.version_made_by = h->VersionMadeBy;
    e.version_needed = h->VersionNeeded;
    e.flags = h->Flags;
    e.method = h->Method;
    e.mod_time = h->ModTime;
    e.mod_date = h->ModDate;
    e.crc32 = h->Crc32;
    e.disk_number_start = h->DiskNumberStart;
    e.internal_attributes = h->InternalAttributes;
    e.external_attributes = h->ExternalAttributes;
    e.compressed_size = h->CompressedSize;
    e.uncompressed_size = h->UncompressedSize;
    e.local_header_offset = h->LocalHeaderOffset;
    p += kCentralHeaderSize;
    const std::size_t nlen = h->NameLength, xlen = h->ExtraLength, clen = h->CommentLength;
    if (p + nlen + xlen + clen > dir.size()) throw damaged();
    e.name_bytes = std::string(dir.substr(p, nlen));
    e.extra = std::string(dir.substr(p + nlen, xlen));
    e.comment = std::string(dir.substr(p + nlen + xlen, clen));
    p += nlen + xlen + clen;
    apply_zip64_extra(e.extra, e, h->UncompressedSize == kMax32, h->CompressedSize == kMax32,
                      h->LocalHeaderOffset == kMax32);
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

namespace {

const ArchiveEntry* find_entry(const ArchiveListing& l, const std::string& name_bytes) {
  const ArchiveEntry* found = nullptr;
  for (const auto& x : l.entries)
    if (x.name_bytes == name_bytes) found = &x;
  return found;
}

// Reads the entry's local header and compares it with the directory; returns
// the offset of the entry's data, or the problem.
std::string check_local_header(int fd, const ArchiveEntry& e, std::uint64_t& data_offset) {
  std::string bytes;
  if (!read_at(fd, e.local_header_offset, kLocalHeaderSize, bytes)) return "Local header not found";
  const std::optional<LocalHeader> h = parse_local_header(bytes);
  if (!h) return "Local header not found";
  std::string name, extra;
  const std::uint64_t name_offset = e.local_header_offset + kLocalHeaderSize;
  if (!read_at(fd, name_offset, h->name_length, name) ||
      !read_at(fd, name_offset + h->name_length, h->extra_length, extra))
    return "Local header is cut short";
  ArchiveEntry local;
  local.compressed_size = h->compressed_size;
  local.uncompressed_size = h->uncompressed_size;
  try {
    apply_zip64_extra(extra, local, h->uncompressed_size == kMax32, h->compressed_size == kMax32,
                      false);
  } catch (const EArchiveCheckError& x) {
    return x.what();
  }
  // With a Zip64 field both sizes are left to it (APPNOTE 4.5.3).
  if (local.zip64 && (h->compressed_size != kMax32 || h->uncompressed_size != kMax32))
    return "Local header gives a size beside its Zip64 field";
  if (name != e.name_bytes || h->method != e.method || h->crc32 != e.crc32 ||
      local.compressed_size != e.compressed_size ||
      local.uncompressed_size != e.uncompressed_size || (h->flags & kFlagDataDescriptor))
    return "Local header differs from the central directory";
  data_offset = name_offset + h->name_length + h->extra_length;
  return {};
}

// zlib's inflate state, ended on every path.
struct Inflater {
  z_stream z{};
  bool live = false;
  ~Inflater() {
    if (live) inflateEnd(&z);
  }
};

// Reads the entry's data from pos and checks that it inflates (or, stored,
// copies) to the recorded size and CRC-32.
std::string check_entry_data(int fd, const ArchiveEntry& e, std::uint64_t pos) {
  if (e.method != kMethodStored && e.method != kMethodDeflate)
    return "Unsupported compression method " + std::to_string(e.method);
  const bool deflated = e.method == kMethodDeflate;
  Inflater inf;
  if (deflated) {
    if (inflateInit2(&inf.z, -MAX_WBITS) != Z_OK) return "Cannot start inflating";
    inf.live = true;
  }
  std::uint32_t crc = 0;
  std::uint64_t out_total = 0, left = e.compressed_size;
  std::string in;
  std::vector<unsigned char> out(1 << 18);
  int rc = Z_OK;
  while (left > 0 && rc != Z_STREAM_END) {
    const std::size_t n = left < (1u << 18) ? static_cast<std::size_t>(left) : (1u << 18);
    if (!read_at(fd, pos, n, in)) return "Entry data is cut short";
    pos += n;
    left -= n;
    if (!deflated) {
      crc = static_cast<std::uint32_t>(
          ::crc32(crc, reinterpret_cast<const Bytef*>(in.data()), static_cast<uInt>(n)));
      out_total += n;
      continue;
    }
    inf.z.next_in = reinterpret_cast<Bytef*>(in.data());
    inf.z.avail_in = static_cast<uInt>(n);
    do {
      inf.z.next_out = out.data();
      inf.z.avail_out = static_cast<uInt>(out.size());
      rc = inflate(&inf.z, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
        return "Entry data is not valid deflate data";
      const std::size_t got = out.size() - inf.z.avail_out;
      crc = static_cast<std::uint32_t>(::crc32(crc, out.data(), static_cast<uInt>(got)));
      out_total += got;
    } while (inf.z.avail_out == 0 && rc != Z_STREAM_END);
  }
  if (deflated && rc == Z_STREAM_END && (left > 0 || inf.z.avail_in > 0))
    return "Deflate data ends before the recorded compressed size";
  if (deflated && rc != Z_STREAM_END) return "Deflate data has no final block";
  if (out_total != e.uncompressed_size) return "Uncompressed size differs";
  if (crc != e.crc32) return "CRC-32 differs";
  return {};
}

}  // namespace

namespace {

// The records of the entry: listed, not encrypted, its local header equal to
// the directory, its data before the directory. Leaves the file open in fd
// and the data's offset for a caller that reads the data too.
EntryCheck check_records(const std::string& os_path, const std::string& name_bytes,
                         platform::UniqueFd& fd, ArchiveEntry& entry, std::uint64_t& data_offset) {
  EntryCheck c;
  ArchiveListing l;
  try {
    l = list_archive(os_path);
  } catch (const EArchiveCheckError& e) {
    c.problem = e.what();
    return c;
  }
  const ArchiveEntry* e = find_entry(l, name_bytes);
  if (!e) {
    c.problem = "Entry not found";
    return c;
  }
  if (e->flags & kFlagEncrypted) {
    c.problem = "Entry is encrypted";
    return c;
  }
  entry = *e;
  fd.reset(::open(os_path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    c.problem = "Cannot open archive " + os_path;
    return c;
  }
  c.problem = check_local_header(fd.get(), *e, data_offset);
  if (c.problem.empty() && data_offset + e->compressed_size > l.directory.directory_offset)
    c.problem = "Entry data runs into the central directory";
  c.ok = c.problem.empty();
  return c;
}

}  // namespace

EntryCheck check_entry_records(const std::string& os_path, const std::string& name_bytes) {
  platform::UniqueFd fd;
  ArchiveEntry e;
  std::uint64_t data_offset = 0;
  return check_records(os_path, name_bytes, fd, e, data_offset);
}

EntryCheck verify_entry(const std::string& os_path, const std::string& name_bytes) {
  platform::UniqueFd fd;
  ArchiveEntry e;
  std::uint64_t data_offset = 0;
  EntryCheck c = check_records(os_path, name_bytes, fd, e, data_offset);
  if (!c.ok) return c;
  c.problem = check_entry_data(fd.get(), e, data_offset);
  c.ok = c.problem.empty();
  return c;
}

}  // namespace zip
