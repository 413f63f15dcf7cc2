// Test helpers of the archive writer: an in-memory stream that can refuse
// writes past a capacity (a full disk) or deliver fewer bytes than it holds
// (a shortened source), and the check of an archive with every independent
// reader installed on the machine.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "zip/zip_stream.h"

namespace ziptest {

class MemoryStream : public zip::TZipStream {
 public:
  explicit MemoryStream(std::string data = {}) : data_(std::move(data)) {}
  std::int64_t Position() const override { return static_cast<std::int64_t>(pos_); }
  void SetPosition(std::int64_t pos) override {
    pos_ = pos < 0 ? 0 : static_cast<std::uint64_t>(pos);
  }
  std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
  std::int64_t Read(void* buf, std::int64_t count) override;
  std::int64_t Write(const void* buf, std::int64_t count) override;
  bool Truncate() override;
  bool Flush() override { return true; }

  std::string data_;
  // Writes stop at this file size (a full disk).
  std::uint64_t capacity = UINT64_MAX;
  // Reads stop after this many bytes in total (a shortened source).
  std::uint64_t readable = UINT64_MAX;
  int write_calls = 0;

 private:
  std::uint64_t pos_ = 0;
};

// Archive entry name (as extracted) -> expected bytes.
using Contents = std::map<std::string, std::string>;

// Tests the archive with unzip, Python's zipfile, 7z and bsdtar and extracts
// it with each, comparing every file; adds a gtest failure naming the reader
// for any disagreement.
// Which readers' extracted file names are compared: readers disagree on how
// to show code page 857 names, and Debian's unzip reads every name of an
// entry made on host 0 through its OEM table, even with bit 11 set. Where
// names are not compared, the extracted contents still are.
enum class Names { All, AllButUnzip, None };
void expect_readers_accept(const std::string& archive, const Contents& expected,
                           Names compare_names = Names::All);

// What a reader delivered for one entry, read whole as a stream.
struct StreamedEntry {
  std::uint64_t size = 0;
  std::uint32_t crc32 = 0;
  std::string head, tail;     // its first and last 64 bytes
  std::uint64_t needles = 0;  // occurrences of the needle asked for
  bool operator==(const StreamedEntry&) const = default;
};

// For entries too large to extract: tests the archive with unzip -t and
// 7z t (which must print no warning and no "Headers Error") and reads the
// entry `name` whole through unzip -p, bsdtar -xOf and Python's zipfile
// (after its testzip), nothing written to disk. Adds a gtest failure for
// any reader that fails or disagrees with the others or with the size and
// CRC-32 of the directory as Python reads it; returns what Python read.
StreamedEntry expect_readers_stream(const std::string& archive, const std::string& name,
                                    const std::string& needle);

// Raw bytes of a file, and little-endian fields of a byte string.
std::uint32_t u32_at(const std::string& s, std::size_t off);
std::uint16_t u16_at(const std::string& s, std::size_t off);

}  // namespace ziptest
