// ZIP read-back: end record, central directory, local header, inflated data.
#include "app/archive_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <vector>

#include "platform/codepage.h"
#include "platform/unique_fd.h"

namespace app {
namespace {

// End of central directory record (22 bytes + comment):
//   0 signature 0x06054b50, 4 disk, 6 disk of directory, 8 entries on disk,
//   10 entries, 12 directory size, 16 directory offset, 20 comment length.
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr size_t kEndSize = 22;
// Central directory header (46 bytes + name + extra + comment):
//   0 signature 0x02014b50, 8 flags, 10 method, 16 CRC-32, 20 compressed size,
//   24 uncompressed size, 28 name length, 30 extra length, 32 comment length,
//   42 local header offset, 46 name.
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr size_t kCentralSize = 46;
// Local file header (30 bytes + name + extra):
//   0 signature 0x04034b50, 26 name length, 28 extra length, 30 name.
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kLocalSize = 30;

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool read_at(int fd, uint64_t offset, void* buf, size_t n) {
  auto* p = static_cast<char*>(buf);
  while (n > 0) {
    ssize_t r = ::pread(fd, p, n, static_cast<off_t>(offset));
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
    offset += static_cast<uint64_t>(r);
  }
  return true;
}

// The last path component of a stored name ('/' or '\' separated).
std::string base_name(const std::string& name) {
  size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool name_matches(const std::string& stored, bool utf8_flag, const std::string& ansi_name) {
  std::string base = base_name(stored);
  if (utf8_flag) return base == platform::ansi_to_utf8(ansi_name);
  return base == platform::ansi_to_oem(ansi_name) || base == ansi_name;
}

// Inflates (method 8) or copies (method 0) `csize` bytes at `offset` and
// checks the result against size and CRC-32.
std::string check_data(int fd, uint64_t offset, uint64_t csize, int method,
                       const ExpectedEntry& expected) {
  constexpr size_t kChunk = 1 << 18;
  std::vector<unsigned char> in(kChunk), out(kChunk);
  z_stream z{};
  if (method == 8 && inflateInit2(&z, -MAX_WBITS) != Z_OK) return "inflate failed";
  uint32_t crc = static_cast<uint32_t>(::crc32(0L, Z_NULL, 0));
  uint64_t produced = 0, left = csize;
  int zr = Z_OK;
  std::string error;
  while (error.empty() && left > 0 && zr != Z_STREAM_END) {
    size_t n = left < kChunk ? static_cast<size_t>(left) : kChunk;
    if (!read_at(fd, offset, in.data(), n)) {
      error = "entry data is cut short";
      break;
    }
    offset += n;
    left -= n;
    if (method == 0) {
      crc = static_cast<uint32_t>(::crc32_z(crc, in.data(), n));
      produced += n;
      continue;
    }
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(kChunk);
      zr = inflate(&z, Z_NO_FLUSH);
      if (zr != Z_OK && zr != Z_STREAM_END && zr != Z_BUF_ERROR) {
        error = "entry data is corrupt";
        break;
      }
      size_t got = kChunk - z.avail_out;
      crc = static_cast<uint32_t>(::crc32_z(crc, out.data(), got));
      produced += got;
    } while (z.avail_out == 0 && zr != Z_STREAM_END);
  }
  if (method == 8) {
    inflateEnd(&z);
    if (error.empty() && zr != Z_STREAM_END) error = "entry data is incomplete";
  }
  if (!error.empty()) return error;
  if (produced != expected.size) return "entry size does not match the script";
  if (crc != expected.crc32) return "entry CRC-32 does not match the script";
  return "";
}

}  // namespace

std::string check_archive_entry(const std::string& archive_path, const ExpectedEntry& expected) {
  platform::UniqueFd fd(::open(archive_path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return "archive cannot be read";
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return "archive cannot be read";
  uint64_t file_size = static_cast<uint64_t>(st.st_size);
  if (file_size < kEndSize) return "archive has no end record";

  // The end record lies within the last 22 + 65535 bytes.
  uint64_t tail = file_size < kEndSize + 0xFFFF ? file_size : kEndSize + 0xFFFF;
  std::vector<unsigned char> buf(static_cast<size_t>(tail));
  if (!read_at(fd.get(), file_size - tail, buf.data(), buf.size())) return "archive cannot be read";
  size_t end = std::string::npos;
  for (size_t i = buf.size() - kEndSize + 1; i-- > 0;) {
    if (le32(&buf[i]) == kEndSignature && i + kEndSize + le16(&buf[i + 20]) == buf.size()) {
      end = i;
      break;
    }
  }
  if (end == std::string::npos) return "archive has no end record";
  uint16_t entries = le16(&buf[end + 10]);
  uint32_t dir_size = le32(&buf[end + 12]);
  uint32_t dir_offset = le32(&buf[end + 16]);
  uint64_t end_offset = file_size - tail + end;
  if (static_cast<uint64_t>(dir_offset) + dir_size > end_offset) return "central directory is damaged";

  std::vector<unsigned char> dir(dir_size);
  if (!read_at(fd.get(), dir_offset, dir.data(), dir.size())) return "central directory is damaged";
  size_t pos = 0;
  for (uint16_t k = 0; k < entries; ++k) {
    if (pos + kCentralSize > dir.size() || le32(&dir[pos]) != kCentralSignature)
      return "central directory is damaged";
    const unsigned char* h = &dir[pos];
    uint16_t flags = le16(h + 8), method = le16(h + 10);
    uint32_t crc = le32(h + 16), csize = le32(h + 20), usize = le32(h + 24);
    size_t name_len = le16(h + 28), extra_len = le16(h + 30), comment_len = le16(h + 32);
    uint32_t local = le32(h + 42);
    if (pos + kCentralSize + name_len + extra_len + comment_len > dir.size())
      return "central directory is damaged";
    std::string name(reinterpret_cast<const char*>(h + kCentralSize), name_len);
    pos += kCentralSize + name_len + extra_len + comment_len;
    if (!name_matches(name, (flags & 0x0800) != 0, expected.file_name)) continue;

    if (flags & 0x0001) return "entry is encrypted";
    if (method != 0 && method != 8) return "entry uses an unknown compression method";
    if (usize != expected.size || crc != expected.crc32)
      return "entry sizes or CRC-32 do not match the script";
    unsigned char lh[kLocalSize];
    if (!read_at(fd.get(), local, lh, sizeof lh) || le32(lh) != kLocalSignature)
      return "local header of the entry is damaged";
    uint64_t data = static_cast<uint64_t>(local) + kLocalSize + le16(lh + 26) + le16(lh + 28);
    if (data + csize > dir_offset) return "entry data is cut short";
    return check_data(fd.get(), data, csize, method, expected);
  }
  return "archive holds no entry for the script";
}

}  // namespace app
