// CompressEntryData: blocks of 512 KiB / 1 MiB / 1.5 MiB by mode, one deflate
// stream per entry, Z_SYNC_FLUSH after every block but the last, Z_FINISH on
// the last. The stream is raw deflate (window bits -15), which yields the
// same bytes as a zlib stream without its 2-byte header and Adler-32 trailer.
#include "zip/compression.h"

#include <zlib.h>

#include <memory>
#include <vector>

#include "platform/cancel.h"
#include "zip/zip_errors.h"
#include "zip/zip_stream.h"

namespace zip {

int compression_mode_for_level(TZipCompressionLevel level) {
  switch (level) {
    case clNone:
      return 0;
    case clFastest:
      return 1;
    case clNormal:
      return 6;
    case clMax:
      return 9;
  }
  return 1;
}

TZipCompressionLevel compression_level_for_mode(int mode) {
  if (mode <= 0) return clNone;
  if (mode <= 3) return clFastest;
  if (mode <= 6) return clNormal;
  return clMax;
}

std::size_t block_size_for_mode(int mode) {
  if (mode >= 1 && mode <= 3) return 0x80000;
  if (mode >= 7) return 0x180000;
  return 0x100000;
}

std::uint32_t crc32_update(std::uint32_t crc, const void* data, std::size_t size) {
  const auto* p = static_cast<const Bytef*>(data);
  while (size > 0) {
    uInt n = size > 0x40000000 ? 0x40000000 : static_cast<uInt>(size);
    crc = static_cast<std::uint32_t>(::crc32(crc, p, n));
    p += n;
    size -= n;
  }
  return crc;
}

namespace {

// The guarded write: a write that falls short asks the host, which retries
// from the remembered position, gives up, or raises native error 65.
bool guarded_write(TZipStream& out, const unsigned char* data, std::size_t count,
                   CompressionHost& host) {
  const std::uint64_t start = out.Position();
  for (;;) {
    if (out.WriteExactly(data, count)) return true;
    if (!host.RetryAfterDiskFull()) return false;
    out.SetPosition(static_cast<std::int64_t>(start));
  }
}

// Deflate stream that is always ended.
struct DeflateStream {
  z_stream z{};
  bool live = false;
  int End() {
    if (!live) return Z_OK;
    live = false;
    return deflateEnd(&z);
  }
  ~DeflateStream() { End(); }
};

}  // namespace

CompressResult CompressEntryData(TZipStream& source, std::uint64_t source_size, TZipStream& out,
                                 int compression_mode, std::uint16_t method,
                                 CompressionHost& host) {
  CompressResult r;
  source.SetPosition(0);
  std::uint64_t bytes_read = 0, bytes_written = 0;
  std::uint32_t crc = 0;
  const std::size_t block = block_size_for_mode(compression_mode);
  std::vector<unsigned char> in;
  if (source_size > 0)
    in.resize(source_size < block ? static_cast<std::size_t>(source_size) : block);

  DeflateStream ds;
  bool init_ok =
      deflateInit2(&ds.z, compression_mode, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  ds.live = init_ok;
  const bool stored = method == kMethodStored || compression_mode == 0;
  bool deflate_failed = false;

  if (init_ok || stored) {
    std::vector<unsigned char> outbuf;
    while (bytes_read < source_size) {
      // A run cancelled from the window stops between two blocks; the
      // DeflateStream and the caller's guards clean up.
      platform::throw_if_cancelled();
      if (host.ProgressCancelled(bytes_read, source_size)) break;
      std::size_t n = static_cast<std::size_t>(
          source_size - bytes_read < block ? source_size - bytes_read : block);
      if (!source.ReadExactly(in.data(), n)) break;
      crc = crc32_update(crc, in.data(), n);
      bool gave_up = false;
      if (stored) {
        if (!guarded_write(out, in.data(), n, host))
          gave_up = true;
        else
          bytes_written += n;
      } else {
        // Output buffer: n + n/10 + 12 rounded up to 256; deflate is called
        // again while it fills the buffer, so no output is ever lost.
        std::size_t out_size = ((n + n / 10 + 12) + 255) / 256 * 256;
        outbuf.resize(out_size);
        const bool last = bytes_read + n == source_size;
        ds.z.next_in = in.data();
        ds.z.avail_in = static_cast<uInt>(n);
        int rc;
        do {
          ds.z.next_out = outbuf.data();
          ds.z.avail_out = static_cast<uInt>(out_size);
          rc = deflate(&ds.z, last ? Z_FINISH : Z_SYNC_FLUSH);
          if (rc < 0 && rc != Z_BUF_ERROR) break;
          std::size_t produced = out_size - ds.z.avail_out;
          if (produced > 0 && !guarded_write(out, outbuf.data(), produced, host)) {
            gave_up = true;
            break;
          }
          bytes_written += produced;
        } while (ds.z.avail_out == 0 || (last && rc != Z_STREAM_END));
        if (rc < 0 && rc != Z_BUF_ERROR) {
          deflate_failed = true;
          int end_rc = ds.End();
          if (end_rc < 0 && end_rc != Z_DATA_ERROR) throw ECompressionError(end_rc);
          break;
        }
      }
      if (gave_up) break;
      bytes_read += n;
    }
    // Release the output buffer before the deflate stream ends.
    std::vector<unsigned char>().swap(outbuf);
  }

  host.AddBytesDone(source_size);
  if (!deflate_failed) {
    int end_rc = ds.End();
    // Ending a stream that never saw Z_FINISH reports Z_DATA_ERROR: the
    // source stopped short after at least one deflated block.
    if (end_rc < 0 && !host.UpdateCancelled() && !stored) throw ECompressionError(end_rc);
  }

  r.crc32 = crc;
  r.uncompressed_size = bytes_read;
  r.compressed_size = bytes_written;
  r.method = source_size == 0 ? kMethodStored : (stored ? kMethodStored : kMethodDeflate);
  if (bytes_read == source_size) {
    r.ok = true;
    if (source_size == 0) {
      r.crc32 = 0;
      r.compressed_size = 0;
    }
    return r;
  }
  if (host.UpdateCancelled()) return r;
  host.RaiseError(kErrShortSource,
                  {static_cast<long long>(source_size), static_cast<long long>(bytes_read)});
  throw EZipException(kErrShortSource);  // not reached: RaiseError throws
}

}  // namespace zip
