// The parallel deflater, the check of a stream as it is written and the
// archive of one streamed entry.
#include "zip/parallel_deflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <thread>

#include "platform/cancel.h"
#include "tests/support/expect_throw.h"
#include "tests/support/temp_dir.h"
#include "tests/zip/zip_test_support.h"
#include "zip/archive_check.h"
#include "zip/compression.h"
#include "zip/entry_stream.h"

using namespace zip;
using testsupport::expect_throw;
using testsupport::read_all;

namespace {

constexpr std::size_t kBlock = ParallelDeflater::kBlockSize;

struct StringSink : DeflatedSink {
  std::string data;
  int pieces = 0;
  void Put(std::string_view compressed) override {
    data += compressed;
    ++pieces;
  }
};

// Inflates a raw deflate stream with zlib; throws when it is not one whole.
std::string inflate_all(const std::string& compressed) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
  std::string out;
  std::string buffer(1 << 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  z.avail_in = static_cast<uInt>(compressed.size());
  int rc;
  do {
    z.next_out = reinterpret_cast<Bytef*>(buffer.data());
    z.avail_out = static_cast<uInt>(buffer.size());
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buffer.data(), buffer.size() - z.avail_out);
  } while (rc == Z_OK);
  const bool whole = rc == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  if (!whole) throw std::runtime_error("not one whole deflate stream");
  return out;
}

// SQL-like text whose lines repeat at distances that put matches across
// every block boundary.
std::string script_text(std::size_t n) {
  std::string s;
  for (int i = 0; s.size() < n; ++i)
    s += "INSERT INTO `hareket` VALUES (" + std::to_string(i % 977) + ",'Hareket " +
         std::string(40 + i % 50, static_cast<char>('A' + i % 26)) + "');\r\n";
  s.resize(n);
  return s;
}

std::uint32_t crc_of(const std::string& s) { return crc32_update(0, s.data(), s.size()); }

}  // namespace

TEST(ParallelDeflater, JoinedPiecesAreOneStreamOfTheInput) {
  const struct {
    const char* name;
    std::size_t size;
    unsigned workers;
    std::size_t piece;  // bytes per Write
  } cases[] = {
      {"empty", 0, 2, 1},
      {"one byte", 1, 2, 1},
      {"exactly one block", kBlock, 2, 4096},
      {"one block and one byte", kBlock + 1, 3, 70001},
      {"many blocks, one worker", 5 * kBlock + 12345, 1, 1 << 20},
      {"many blocks, three workers, odd pieces", 7 * kBlock + 3, 3, 333333},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string input = script_text(c.size);
    StringSink sink;
    DeflateSummary s;
    {
      ParallelDeflater d(1, c.workers, sink);
      for (std::size_t at = 0; at < input.size(); at += c.piece)
        d.Write(std::string_view(input).substr(at, c.piece));
      s = d.Finish();
    }
    EXPECT_EQ(s.in_size, input.size());
    EXPECT_EQ(s.crc32, crc_of(input));
    EXPECT_EQ(s.out_size, sink.data.size());
    EXPECT_EQ(sink.pieces, static_cast<int>(input.size() / kBlock + 1));
    EXPECT_TRUE(inflate_all(sink.data) == input);
    InflateCheck check;
    for (std::size_t at = 0; at < sink.data.size(); at += 1000)
      check.Feed(std::string_view(sink.data).substr(at, 1000));
    EXPECT_EQ(check.Result(input.size(), crc_of(input)), "");
  }
}

// Each block starts with the 32 KiB before it as its dictionary: a stream of
// one random 16 KiB piece repeated costs the piece's literals once (and
// matches after that), not once per block.
TEST(ParallelDeflater, BlocksReachBackIntoTheBlockBefore) {
  std::string piece(16 * 1024, '\0');
  std::uint32_t x = 12345;
  for (char& ch : piece) ch = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  std::string input;
  while (input.size() < 8 * kBlock) input += piece;
  StringSink sink;
  ParallelDeflater d(1, 2, sink);
  d.Write(input);
  const DeflateSummary s = d.Finish();
  EXPECT_TRUE(inflate_all(sink.data) == input);
  // About 120 KiB with the dictionaries; eight pieces of literals more without.
  EXPECT_LT(s.out_size, 10 * piece.size()) << s.out_size;
}

TEST(InflateCheck, FindsDamage) {
  const std::string input = script_text(3 * kBlock);
  StringSink sink;
  {
    ParallelDeflater d(1, 2, sink);
    d.Write(input);
    d.Finish();
  }
  const std::string good = sink.data;
  const std::uint32_t crc = crc_of(input);
  std::string flipped = good;
  flipped[good.size() / 2] = static_cast<char>(flipped[good.size() / 2] ^ 0x40);
  const struct {
    const char* name;
    std::string bytes;
    std::uint64_t size;
    std::uint32_t crc;
    const char* problem;
  } cases[] = {
      {"whole", good, input.size(), crc, ""},
      {"cut short", good.substr(0, good.size() - 10), input.size(), crc,
       "the compressed data has no final block"},
      {"bytes after the end", good + "x", input.size(), crc,
       "bytes follow the final block of the compressed data"},
      {"other size", good, input.size() + 1, crc, "the compressed data inflates to another size"},
      {"other CRC-32", good, input.size(), crc ^ 1,
       "the compressed data inflates to another CRC-32"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InflateCheck check;
    check.Feed(c.bytes);
    EXPECT_EQ(check.Result(c.size, c.crc), c.problem);
  }
  InflateCheck check;
  check.Feed(flipped);
  EXPECT_NE(check.Result(input.size(), crc), "");
}

TEST(ParallelDeflater, SinkFailureReachesTheProducerAndCancelStopsTheWait) {
  struct FailingSink : DeflatedSink {
    void Put(std::string_view) override { throw std::runtime_error("disk gone"); }
  } failing;
  const std::string input = script_text(20 * kBlock);
  expect_throw<std::runtime_error>(
      [&] {
        ParallelDeflater d(1, 2, failing);
        d.Write(input);
        d.Finish();
      },
      "disk gone");

  // A sink that does not move: the producer waits for room until cancelled.
  struct SlowSink : DeflatedSink {
    void Put(std::string_view) override {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
  } slow;
  platform::CancelToken token;
  platform::CancelScope scope(token);
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    token.Cancel();
  });
  const auto t0 = std::chrono::steady_clock::now();
  expect_throw<platform::ECancelled>([&] {
    ParallelDeflater d(1, 1, slow);
    d.Write(input);
    d.Finish();
  });
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
}

TEST(StreamedArchive, OneEntryReadByEveryReaderWithZip64OnlyWhenAsked) {
  testsupport::TempDir dir;
  const std::string input = script_text(2 * kBlock + 777);
  for (const bool zip64 : {false, true}) {
    SCOPED_TRACE(zip64 ? "Zip64" : "plain");
    const std::string path = dir.file(zip64 ? "z.zip" : "p.zip");
    {
      // The threshold between the two sizes, as for a large script that
      // compresses below 4 GiB: only the uncompressed size needs Zip64.
      StreamedArchive a(path, u"db-yedek-2024-01-05.sql", 1, 2, zip64 ? input.size() : kMax32);
      a.Write(input.substr(0, 1000));
      a.Write(input.substr(1000));
      const DeflateSummary s = a.Finish();
      EXPECT_EQ(s.crc32, crc_of(input));
    }
    const std::string z = read_all(path);
    EXPECT_EQ(ziptest::u16_at(z, 4), zip64 ? 45 : 20);
    EXPECT_EQ(ziptest::u16_at(z, 8), 8);
    EXPECT_EQ(ziptest::u32_at(z, 14), crc_of(input));
    EXPECT_EQ(ziptest::u32_at(z, 22), zip64 ? kMax32 : input.size());
    EXPECT_EQ(ziptest::u32_at(z, 18),
              zip64 ? kMax32 : list_archive(path).entries.at(0).compressed_size);
    EXPECT_EQ(ziptest::u16_at(z, 28), zip64 ? 20 : 0);
    EXPECT_TRUE(verify_entry(path, "db-yedek-2024-01-05.sql").ok);
    ziptest::expect_readers_accept(path, {{"db-yedek-2024-01-05.sql", input}});
    const ziptest::StreamedEntry read =
        ziptest::expect_readers_stream(path, "db-yedek-2024-01-05.sql", "INSERT");
    EXPECT_EQ(read.size, input.size());
  }
}

TEST(StreamedArchive, FailuresNameTheFile) {
  expect_throw<EStreamedArchiveError>(
      [] { StreamedArchive a("/nonexistent-folder/a.zip", u"a.sql", 1); },
      "Cannot create file \"/nonexistent-folder/a.zip\". The system cannot find the file "
      "specified");
  expect_throw<EStreamedArchiveError>(
      [] {
        StreamedArchive a("/dev/full", u"a.sql", 1);
        a.Write(script_text(3 * kBlock));
        a.Finish();
      },
      "Disk is full. There is not enough free space on disk. - Native error: 00065");
}
