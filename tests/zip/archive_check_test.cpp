// The archive reader: listing and the completeness check of one entry.
#include "zip/archive_check.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "tests/support/temp_dir.h"
#include "zip/zip_archiver.h"

using namespace zip;
using testsupport::read_all;
using testsupport::TempDir;
using testsupport::write_all;

TEST(ArchiveCheck, ListsAndVerifiesAndFindsDamage) {
  TempDir dir;
  std::string data;
  for (int i = 0; data.size() < 300000; ++i)
    data += "INSERT INTO t VALUES (" + std::to_string(i) + ");\r\n";
  write_all(dir.file("s.sql"), data);
  {
    TZipArchiver a;
    a.SetFileName(platform::utf8_to_utf16(dir.file("a.zip")));
    a.Open(kCreateMode);
    a.AddFromMask(platform::utf8_to_utf16(dir.file("s.sql")));
    a.Close();
  }
  const std::string good = read_all(dir.file("a.zip"));
  ArchiveListing l = list_archive(dir.file("a.zip"));
  ASSERT_EQ(l.entries.size(), 1u);
  const ArchiveEntry& e = l.entries[0];
  EXPECT_EQ(e.name_bytes, dir.file("s.sql").substr(1));
  EXPECT_EQ(e.method, 8);
  EXPECT_EQ(e.flags, 0);
  EXPECT_EQ(e.uncompressed_size, data.size());
  EXPECT_EQ(e.crc32, crc32_update(0, data.data(), data.size()));
  EXPECT_EQ(e.compressed_size + 30 + e.name_bytes.size(), l.directory.directory_offset);
  EXPECT_TRUE(verify_entry(dir.file("a.zip"), e.name_bytes).ok);
  EXPECT_EQ(verify_entry(dir.file("a.zip"), "other.sql").problem, "Entry not found");

  const struct {
    const char* what;
    std::size_t offset;  // byte flipped (from the start), or cut length
    bool cut;
    const char* problem;
  } damage[] = {
      {"data byte", 30 + e.name_bytes.size() + 1000, false, ""},
      {"local CRC", 14, false, "Local header differs from the central directory"},
      {"no end record", good.size() - 5, true, "No end of central directory record"},
      {"cut in the data", 30 + e.name_bytes.size() + 100, true,
       "No end of central directory record"},
  };
  for (const auto& d : damage) {
    std::string bad = good;
    if (d.cut)
      bad.resize(d.offset);
    else
      bad[d.offset] = static_cast<char>(bad[d.offset] ^ 0x55);
    write_all(dir.file("bad.zip"), bad);
    EntryCheck c = verify_entry(dir.file("bad.zip"), e.name_bytes);
    EXPECT_FALSE(c.ok) << d.what;
    if (*d.problem) {
      EXPECT_EQ(c.problem, d.problem) << d.what;
    }
  }
}

// A Zip64 local header that gives a size beside its extra field (7z's
// "Headers Error") is not a complete entry.
TEST(ArchiveCheck, Zip64LocalHeaderLeavesBothSizesToItsField) {
  TempDir dir;
  write_all(dir.file("s.sql"), std::string(100000, 'x'));
  {
    TZipArchiver a;
    a.SetZip64Mode(zmAlways);
    a.SetFileName(platform::utf8_to_utf16(dir.file("z.zip")));
    a.Open(kCreateMode);
    a.SetBaseDir(platform::utf8_to_utf16(dir.path()));
    a.AddFromMask(platform::utf8_to_utf16(dir.file("s.sql")));
    a.Close();
  }
  EXPECT_TRUE(verify_entry(dir.file("z.zip"), "s.sql").ok);
  std::string bad = read_all(dir.file("z.zip"));
  const ArchiveEntry e = list_archive(dir.file("z.zip")).entries.at(0);
  for (int k = 0; k < 4; ++k)
    bad[18 + k] = static_cast<char>((e.compressed_size >> (8 * k)) & 0xFF);
  write_all(dir.file("bad.zip"), bad);
  EXPECT_EQ(verify_entry(dir.file("bad.zip"), "s.sql").problem,
            "Local header gives a size beside its Zip64 field");
}
