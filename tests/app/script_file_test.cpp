// The streamed script file and the archive read-back check.
#include "app/script_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include "app/archive_check.h"
#include "platform/files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::read_all;

uint32_t crc_of(const std::string& s) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

TEST(ScriptFile, WritesMarkAndEveryLineAsItIs) {
  testsupport::TempDir dir;
  app::ScriptFile f;
  f.Create(dir.file("s.sql"));
  f.AddLine("/*!40101 SET NAMES utf8mb4 */;");
  f.AddLine("'\xC5\x9F\xC2\x80\xF0\x9F\x98\x80'");
  f.AddLine("CREATE TABLE `a\nb` (");
  f.AddLine("");
  f.Finish();
  const std::string expected =
      "\xEF\xBB\xBF/*!40101 SET NAMES utf8mb4 */;\r\n"
      "'\xC5\x9F\xC2\x80\xF0\x9F\x98\x80'\r\n"
      "CREATE TABLE `a\nb` (\r\n"
      "\r\n";
  EXPECT_EQ(read_all(dir.file("s.sql")), expected);
  EXPECT_EQ(f.size(), expected.size());
  EXPECT_EQ(f.crc32(), crc_of(expected));
}

TEST(ScriptFile, LargeOutputCrossesBufferAndMatchesCrc) {
  testsupport::TempDir dir;
  app::ScriptFile f;
  f.Create(dir.file("s.sql"));
  std::string line(3000, 'a');
  for (int i = 0; i < 1000; ++i) f.AddLine(line);
  f.Finish();
  std::string data = read_all(dir.file("s.sql"));
  EXPECT_EQ(data.size(), 3u + 1000u * 3002u);
  EXPECT_EQ(f.crc32(), crc_of(data));
}

TEST(ScriptFile, UnfinishedOrDiscardedScriptIsDeleted) {
  testsupport::TempDir dir;
  {
    app::ScriptFile f;
    f.Create(dir.file("a.sql"));
    f.AddLine("x");
  }
  EXPECT_FALSE(platform::file_exists(dir.file("a.sql")));
  app::ScriptFile g;
  g.Create(dir.file("b.sql"));
  g.Finish();
  g.Discard();
  EXPECT_FALSE(platform::file_exists(dir.file("b.sql")));
}

TEST(ScriptFile, CreateFailureNamesTheFile) {
  app::ScriptFile f;
  try {
    f.Create("/nonexistent-folder/x.sql");
    FAIL();
  } catch (const platform::EFCreateError& e) {
    EXPECT_STREQ(e.what(),
                 "Cannot create file \"/nonexistent-folder/x.sql\". The system cannot find the "
                 "file specified");
  }
}

class ArchiveCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    content = "\xEF\xBB\xBF";
    for (int i = 0; i < 20000; ++i)
      content += "INSERT INTO t VALUES (" + std::to_string(i) + ");\r\n";
    testsupport::write_all(dir.file("db-yedek-2024-01-02.sql"), content);
    expected = {"db-yedek-2024-01-02.sql", content.size(), crc_of(content)};
  }
  // zip(1) with the given options; returns the archive path.
  std::string Zip(const std::string& options) {
    std::string zip = dir.file("a.zip");
    std::remove(zip.c_str());
    testsupport::shell_output("cd " + dir.path() + " && zip -q " + options +
                              " a.zip db-yedek-2024-01-02.sql");
    return zip;
  }
  void Patch(const std::string& path, size_t offset_from_end, char byte) {
    std::string data = read_all(path);
    data[data.size() - offset_from_end] = byte;
    testsupport::write_all(path, data);
  }
  testsupport::TempDir dir;
  std::string content;
  app::ExpectedEntry expected;
};

TEST_F(ArchiveCheck, CompleteArchivesPass) {
  EXPECT_EQ(app::check_archive_entry(Zip("-1"), expected), "");
  EXPECT_EQ(app::check_archive_entry(Zip("-0"), expected), "");
}

TEST_F(ArchiveCheck, DamageIsFound) {
  std::string zip = Zip("-1");
  std::string good = read_all(zip);
  struct {
    const char* name;
    std::string bytes;
    app::ExpectedEntry expected;
  } cases[] = {
      {"empty file", "", expected},
      {"cut in half", good.substr(0, good.size() / 2), expected},
      {"no end record", good.substr(0, good.size() - 22), expected},
      {"other script name", good, {"other.sql", expected.size, expected.crc32}},
      {"script changed after zipping",
       good,
       {expected.file_name, expected.size, expected.crc32 ^ 1}},
      {"size differs", good, {expected.file_name, expected.size + 1, expected.crc32}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::write_all(zip, c.bytes);
    EXPECT_NE(app::check_archive_entry(zip, c.expected), "");
  }
  // A flipped byte inside the deflated data.
  testsupport::write_all(zip, good);
  std::string data = good;
  data[data.size() / 2] = static_cast<char>(data[data.size() / 2] ^ 0x55);
  testsupport::write_all(zip, data);
  EXPECT_NE(app::check_archive_entry(zip, expected), "");
  EXPECT_NE(app::check_archive_entry(dir.file("missing.zip"), expected), "");
}

}  // namespace
