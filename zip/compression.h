// Entry data: CRC-32 and raw deflate (or a plain copy for stored entries) of
// one source, written to the archive stream block by block as it is produced,
// plus the coupling of the two compression settings.
//
// Memory stays at one input block and one output buffer whatever the size of
// the source. Called by the entry writer on the archiver's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zip/zip_errors.h"
#include "zip/zip_stream.h"
#include "zip/zip_types.h"

namespace zip {

constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflate = 8;

// Compression mode <-> level, as the two settings derive each other.
int compression_mode_for_level(TZipCompressionLevel level);
TZipCompressionLevel compression_level_for_mode(int mode);
// Bytes read per block at a compression mode.
std::size_t block_size_for_mode(int mode);

// CRC-32 of ZIP (reflected 0xEDB88320, preset and final complement); `crc`
// is the running value (0 to start).
std::uint32_t crc32_update(std::uint32_t crc, const void* data, std::size_t size);

// What the compressor needs from the archiver: progress with cancel, the
// disk-full decision and the running totals of the update.
class CompressionHost {
 public:
  virtual ~CompressionHost() = default;
  // File and overall progress, phase ppProcess; true when cancelled.
  virtual bool ProgressCancelled(std::uint64_t bytes_read, std::uint64_t source_size) = 0;
  // A write fell short. Returns true to retry it, false to give up (the
  // update is cancelled); raises native error 65 when nobody handles it.
  virtual bool RetryAfterDiskFull() = 0;
  virtual bool UpdateCancelled() const = 0;
  virtual void AddBytesDone(std::uint64_t bytes) = 0;
  // Raises an EZipException the way the archiver words it.
  [[noreturn]] virtual void RaiseError(int native_error, const std::vector<MessageArg>& args) = 0;
};

struct CompressResult {
  bool ok = false;
  std::uint32_t crc32 = 0;
  std::uint64_t uncompressed_size = 0;
  std::uint64_t compressed_size = 0;
  std::uint16_t method = 0;
};

// Writes one entry's data to `out` at its position. Raises EZipException
// 34 (source shorter than source_size), 65 (disk full, unhandled) and
// ECompressionError (a zlib call failed). ok is false when cancelled.
CompressResult CompressEntryData(TZipStream& source, std::uint64_t source_size, TZipStream& out,
                                 int compression_mode, std::uint16_t method, CompressionHost& host);

}  // namespace zip
