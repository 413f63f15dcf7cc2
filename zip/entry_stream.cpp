// StreamedArchive: the records around a stream deflated in parallel.
#include "zip/entry_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <vector>

#include "platform/files.h"
#include "zip/archive_check.h"
#include "zip/compression.h"
#include "zip/entry_names.h"
#include "zip/zip_errors.h"
#include "zip/zip_files.h"

namespace zip {

StreamedArchive::StreamedArchive(const std::string& os_path, const std::u16string& entry_name,
                                 int level, unsigned workers, std::uint64_t zip64_threshold)
    : os_path_(os_path), zip64_threshold_(zip64_threshold) {
  const EncodedName enc = EncodeEntryName(entry_name, true);
  name_bytes_ = enc.bytes;
  utf8_name_ = enc.utf8;
  fd_.reset(::open(os_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!fd_) throw EStreamedArchiveError(platform::EFCreateError(os_path, errno).what(), false);
  // The first image of the local header; sizes and CRC-32 follow at the end.
  data_offset_ = kLocalHeaderSize + name_bytes_.size();
  WriteAt(0, std::string(kLocalHeaderSize, '\0') + name_bytes_);
  DeflatedSink& sink = *this;
  deflater_ = std::make_unique<ParallelDeflater>(level, workers, sink);
}

StreamedArchive::~StreamedArchive() = default;

void StreamedArchive::RaiseWriteError(int err) const {
  if (err == ENOSPC || err == EDQUOT)
    throw EStreamedArchiveError(EZipException(kErrDiskFull).what(), false);
  throw EStreamedArchiveError(
      "Cannot write file \"" + os_path_ + "\". " + platform::system_error_text(err), false);
}

void StreamedArchive::WriteAt(std::uint64_t offset, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::pwrite(fd_.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) RaiseWriteError(n < 0 ? errno : ENOSPC);
    bytes.remove_prefix(static_cast<std::size_t>(n));
    offset += static_cast<std::uint64_t>(n);
  }
}

void StreamedArchive::Put(std::string_view compressed) {
  WriteAt(data_offset_ + written_, compressed);
  written_ += compressed.size();
  written_crc_ = crc32_update(written_crc_, compressed.data(), compressed.size());
  check_.Feed(compressed);
}

namespace {

bool read_exactly(int fd, std::uint64_t offset, char* out, std::size_t n) {
  while (n > 0) {
    const ssize_t r = ::pread(fd, out, n, static_cast<off_t>(offset));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    out += r;
    n -= static_cast<std::size_t>(r);
    offset += static_cast<std::uint64_t>(r);
  }
  return true;
}

constexpr std::size_t kCopyBlock = 1 << 20;

}  // namespace

void StreamedArchive::MoveData(std::uint64_t from, std::uint64_t to, std::uint64_t size) {
  // From the end backwards: the target overlaps the source further on.
  std::string buffer;
  for (std::uint64_t left = size; left > 0;) {
    const std::size_t n = left < kCopyBlock ? static_cast<std::size_t>(left) : kCopyBlock;
    left -= n;
    buffer.resize(n);
    if (!read_exactly(fd_.get(), from + left, buffer.data(), n)) RaiseWriteError(EIO);
    WriteAt(to + left, buffer);
  }
}

std::uint32_t StreamedArchive::CrcOfFile(std::uint64_t offset, std::uint64_t size) const {
  std::string buffer;
  std::uint32_t crc = 0;
  for (std::uint64_t done = 0; done < size;) {
    const std::size_t n =
        size - done < kCopyBlock ? static_cast<std::size_t>(size - done) : kCopyBlock;
    buffer.resize(n);
    if (!read_exactly(fd_.get(), offset + done, buffer.data(), n))
      throw EStreamedArchiveError("the archive cannot be read back", true);
    crc = crc32_update(crc, buffer.data(), n);
    done += n;
  }
  return crc;
}

DeflateSummary StreamedArchive::Finish() {
  const DeflateSummary s = deflater_->Finish();  // the output thread has ended
  // What was written inflates back to what was given.
  const std::string problem = check_.Result(s.in_size, s.crc32);
  if (!problem.empty()) throw EStreamedArchiveError(problem, true);

  TDirItem item;
  const bool big_u = s.in_size >= zip64_threshold_;
  const bool big_c = s.out_size >= zip64_threshold_;
  const bool zip64 = big_u || big_c;
  item.VersionMadeBy = item.VersionNeeded = zip64 ? kVersionZip64 : kVersionOem;
  item.Flags = utf8_name_ ? kFlagUtf8 : 0;
  item.Method = kMethodDeflate;
  const std::uint32_t stamp = dos_date_time(std::time(nullptr));
  item.ModTime = static_cast<std::uint16_t>(stamp & 0xFFFF);
  item.ModDate = static_cast<std::uint16_t>(stamp >> 16);
  item.Crc32 = s.crc32;
  item.UncompressedSize = big_u ? kMax32 : static_cast<std::uint32_t>(s.in_size);
  item.UncompressedSize64 = s.in_size;
  item.CompressedSize = big_c ? kMax32 : static_cast<std::uint32_t>(s.out_size);
  item.CompressedSize64 = s.out_size;
  item.NameLength = static_cast<std::uint16_t>(name_bytes_.size());
  item.ExternalAttributes = faArchive;

  LocalHeader h;
  h.version_needed = item.VersionNeeded;
  h.flags = item.Flags;
  h.method = item.Method;
  h.mod_time = item.ModTime;
  h.mod_date = item.ModDate;
  h.crc32 = item.Crc32;
  // With the Zip64 field both sizes are left to it.
  h.compressed_size = zip64 ? kMax32 : item.CompressedSize;
  h.uncompressed_size = zip64 ? kMax32 : item.UncompressedSize;
  h.name_length = item.NameLength;
  h.extra_length = zip64 ? kZip64LocalExtraSize : 0;
  std::string head = local_header_bytes(h) + name_bytes_;
  if (zip64) {
    MoveData(data_offset_, data_offset_ + kZip64LocalExtraSize, s.out_size);
    data_offset_ += kZip64LocalExtraSize;
    head += local_zip64_extra(s.in_size, s.out_size);
  }
  WriteAt(0, head);

  const std::uint64_t directory = data_offset_ + s.out_size;
  const std::string zip64_extra = central_zip64_extra(item);
  item.ExtraLength = static_cast<std::uint16_t>(zip64_extra.size());
  std::string tail = central_header_bytes(item) + name_bytes_ + zip64_extra;
  const std::uint64_t after = directory + tail.size();
  EndRecord end;
  end.entries = 1;
  end.directory_size = tail.size();
  end.directory_offset = directory;
  if (needs_zip64_end(after, 1)) tail += zip64_end_record_bytes(end) + zip64_locator_bytes(after);
  tail += end_record_bytes(end);
  WriteAt(directory, tail);
  if (::ftruncate(fd_.get(), static_cast<off_t>(directory + tail.size())) != 0 ||
      ::fsync(fd_.get()) != 0)
    RaiseWriteError(errno);

  // The file holds the bytes that were checked, and its records read back.
  if (written_ != s.out_size || CrcOfFile(data_offset_, s.out_size) != written_crc_)
    throw EStreamedArchiveError("the compressed data read back differs from what was written",
                                true);
  const EntryCheck records = check_entry_records(os_path_, name_bytes_);
  if (!records.ok) throw EStreamedArchiveError(records.problem, true);
  return s;
}

}  // namespace zip
