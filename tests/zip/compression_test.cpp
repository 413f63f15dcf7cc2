// Compression settings, CRC-32 and the entry data written block by block.
#include "zip/compression.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "tests/support/expect_throw.h"
#include "tests/zip/zip_test_support.h"
#include "zip/zip_archiver.h"

using namespace zip;
using ziptest::MemoryStream;

namespace {

// SQL-like text with some noise so deflate has work of both kinds.
std::string sample(std::size_t n, unsigned seed = 1) {
  std::mt19937 rng(seed);
  std::string s;
  s.reserve(n);
  while (s.size() < n) {
    s += "INSERT INTO `cari` VALUES (" + std::to_string(rng() % 100000) + ",'M\xFC\xFEteri ";
    s += static_cast<char>('A' + rng() % 26);
    s += "',12.50);\r\n";
  }
  s.resize(n);
  return s;
}

// The entry data as the zlib-wrapped recipe makes it: one deflate call per
// block, Z_SYNC_FLUSH but Z_FINISH on the last, the 2-byte header and the
// 4-byte Adler-32 trailer dropped.
std::string wrapped_recipe(const std::string& data, int mode) {
  const std::size_t block = mode <= 3 ? 524288 : mode <= 6 ? 1048576 : 1572864;
  z_stream z{};
  EXPECT_EQ(deflateInit(&z, mode), Z_OK);
  std::string out;
  for (std::size_t pos = 0; pos < data.size(); pos += block) {
    std::size_t n = std::min(block, data.size() - pos);
    std::string buf(n + n / 10 + 1024, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + pos));
    z.avail_in = static_cast<uInt>(n);
    z.next_out = reinterpret_cast<Bytef*>(buf.data());
    z.avail_out = static_cast<uInt>(buf.size());
    deflate(&z, pos + n == data.size() ? Z_FINISH : Z_SYNC_FLUSH);
    out.append(buf.data(), buf.size() - z.avail_out);
  }
  deflateEnd(&z);
  return out.substr(2, out.size() - 6);
}

std::string raw_inflate(const std::string& in) {
  z_stream z{};
  inflateInit2(&z, -MAX_WBITS);
  std::string out;
  char buf[65536];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  int rc;
  do {
    z.next_out = reinterpret_cast<Bytef*>(buf);
    z.avail_out = sizeof buf;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buf, sizeof buf - z.avail_out);
  } while (rc == Z_OK);
  inflateEnd(&z);
  EXPECT_EQ(rc, Z_STREAM_END);
  return out;
}

struct Host : CompressionHost {
  bool cancel_at_progress = false;
  int progress_calls = 0;
  int disk_full_calls = 0;
  bool disk_full_retry = false;
  bool cancelled = false;
  std::uint64_t done = 0;
  bool ProgressCancelled(std::uint64_t, std::uint64_t) override {
    ++progress_calls;
    if (cancel_at_progress) cancelled = true;
    return cancel_at_progress;
  }
  bool RetryAfterDiskFull() override {
    ++disk_full_calls;
    if (!disk_full_retry) cancelled = true;
    return disk_full_retry;
  }
  bool UpdateCancelled() const override { return cancelled; }
  void AddBytesDone(std::uint64_t b) override { done += b; }
  [[noreturn]] void RaiseError(int native, const std::vector<MessageArg>& args) override {
    throw EZipException(native, args, "ZipArchiver1");
  }
};

}  // namespace

TEST(CompressionSettings, LevelAndModeDeriveEachOther) {
  TZipArchiver a;
  EXPECT_EQ(a.CompressionLevel(), clFastest);
  EXPECT_EQ(a.CompressionMode(), 1);
  EXPECT_EQ(a.MethodInUse(), 8);
  const struct {
    int mode;
    TZipCompressionLevel level;
  } modes[] = {{0, clNone},   {1, clFastest}, {3, clFastest}, {4, clNormal},
               {5, clNormal}, {6, clNormal},  {7, clMax},     {9, clMax}};
  for (auto c : modes) {
    a.SetCompressionMode(c.mode);
    EXPECT_EQ(a.CompressionLevel(), c.level) << "mode " << c.mode;
    EXPECT_EQ(a.MethodInUse(), c.mode ? 8 : 0) << "mode " << c.mode;
  }
  const struct {
    TZipCompressionLevel level;
    int mode;
  } levels[] = {{clNone, 0}, {clFastest, 1}, {clNormal, 6}, {clMax, 9}};
  for (auto c : levels) {
    a.SetCompressionLevel(c.level);
    EXPECT_EQ(a.CompressionMode(), c.mode) << "level " << c.level;
  }
  a.SetName("ZipArchiver1");
  a.SetCompressionMode(5);
  const auto e = testsupport::expect_throw<EZipException>(
      [&] { a.SetCompressionMode(10); },
      "ZipArchiver1: Invalid compression mode. Mode must be in [0-9] range - Native error: 00005");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->NativeError(), kErrInvalidCompressionMode);
  EXPECT_EQ(e->ErrorCode(), 2);
  EXPECT_EQ(a.CompressionMode(), 5);
  EXPECT_EQ(a.CompressionLevel(), clNormal);
}

TEST(Crc32, CheckValue) {
  EXPECT_EQ(crc32_update(0, "123456789", 9), 0xCBF43926u);
  EXPECT_EQ(crc32_update(crc32_update(0, "1234", 4), "56789", 5), 0xCBF43926u);
}

// Every size around the block boundaries, at every block size, gives the
// same bytes as the zlib-wrapped recipe and inflates back to the source.
TEST(CompressEntryData, BlocksMatchTheWrappedRecipe) {
  // Blocks are 512 KiB at modes 1-3, 1 MiB at 4-6 and 1.5 MiB at 7-9.
  const struct {
    std::size_t size;
    int mode;
    int blocks;
  } cases[] = {
      {1, 1, 1},       {9, 1, 1},       {524288, 1, 1},  {524289, 1, 2}, {3 * 524288 + 7, 3, 4},
      {1048576, 6, 1}, {1048577, 4, 2}, {1572865, 9, 2}, {100000, 9, 1}};
  for (auto c : cases) {
    SCOPED_TRACE("size " + std::to_string(c.size) + " mode " + std::to_string(c.mode));
    std::string data = sample(c.size, static_cast<unsigned>(c.size));
    MemoryStream src(data), out;
    Host host;
    CompressResult r = CompressEntryData(src, data.size(), out, c.mode, kMethodDeflate, host);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.method, 8);
    EXPECT_EQ(r.uncompressed_size, data.size());
    EXPECT_EQ(r.compressed_size, out.data_.size());
    EXPECT_EQ(r.crc32, crc32_update(0, data.data(), data.size()));
    EXPECT_TRUE(out.data_ == wrapped_recipe(data, c.mode));
    EXPECT_TRUE(raw_inflate(out.data_) == data);
    EXPECT_EQ(host.progress_calls, c.blocks);
    EXPECT_EQ(host.done, data.size());
  }
}

TEST(CompressEntryData, StoredAndEmptySources) {
  std::string data = sample(1048576 + 10);
  MemoryStream src(data), out;
  Host host;
  CompressResult r = CompressEntryData(src, data.size(), out, 0, kMethodStored, host);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.method, 0);
  EXPECT_TRUE(out.data_ == data);
  EXPECT_EQ(out.write_calls, 2);  // 1 MiB blocks at mode 0
  EXPECT_EQ(r.crc32, crc32_update(0, data.data(), data.size()));

  MemoryStream empty, out2;
  r = CompressEntryData(empty, 0, out2, 1, kMethodDeflate, host);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.method, 0);
  EXPECT_EQ(r.crc32, 0u);
  EXPECT_EQ(r.compressed_size, 0u);
  EXPECT_EQ(out2.write_calls, 0);
}

TEST(CompressEntryData, ShortSourceFails) {
  Host host;
  {
    // Nothing read at all: native error 34 with the expected and read sizes.
    MemoryStream src(std::string(100, 'x')), out;
    src.readable = 0;
    const auto e = testsupport::expect_throw<EZipException>(
        [&] { CompressEntryData(src, 100, out, 1, kMethodDeflate, host); },
        "ZipArchiver1: Invalid compressed size, rfs.size = 100, count = 0 - Native error: 00034");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->NativeError(), kErrShortSource);
  }
  {
    // Cut after one deflated block: the unfinished stream ends with error -3.
    std::string data = sample(600000);
    MemoryStream src(data), out;
    src.readable = 524288;
    testsupport::expect_throw<ECompressionError>(
        [&] { CompressEntryData(src, data.size(), out, 1, kMethodDeflate, host); }, "error -3");
  }
}

TEST(CompressEntryData, CancelAndDiskFullGiveUp) {
  std::string data = sample(700000);
  {
    MemoryStream src(data), out;
    Host host;
    host.cancel_at_progress = true;
    CompressResult r = CompressEntryData(src, data.size(), out, 1, kMethodDeflate, host);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(out.data_.empty());
  }
  {
    // A handler that retries: the write is repeated from the same position
    // once room has been made, and the data comes out whole.
    struct RetryHost : Host {
      MemoryStream* out = nullptr;
      bool RetryAfterDiskFull() override {
        ++disk_full_calls;
        out->capacity = UINT64_MAX;
        return true;
      }
    } host;
    MemoryStream src(data), out;
    out.capacity = 1000;
    host.out = &out;
    CompressResult r = CompressEntryData(src, data.size(), out, 1, kMethodDeflate, host);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(host.disk_full_calls, 1);
    EXPECT_TRUE(raw_inflate(out.data_) == data);
    EXPECT_EQ(r.compressed_size, out.data_.size());
  }
  {
    MemoryStream src(data), out;
    out.capacity = 1000;
    Host host;  // gives up
    CompressResult r = CompressEntryData(src, data.size(), out, 1, kMethodDeflate, host);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(host.disk_full_calls, 1);
  }
}
