// The script streamed line by line into the archive being made.
#include "app/script_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

uint32_t crc_of(const std::string& s) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// Streams `lines` through a ScriptFile into a one-entry archive and returns
// the entry as unzip reads it; the summary and the sizes reported on the way
// are checked against it.
std::string stream_lines(const std::vector<std::string>& lines,
                         std::vector<uint64_t>* flushed = nullptr) {
  testsupport::TempDir dir;
  const std::string zip = dir.file("s.zip");
  zip::StreamedArchive archive(zip, u"s.sql", 1);
  app::ScriptFile script(archive);
  if (flushed) script.OnFlush = [flushed](uint64_t bytes) { flushed->push_back(bytes); };
  for (const auto& line : lines) script.AddLine(line);
  script.Finish();
  const zip::DeflateSummary summary = archive.Finish();
  const std::string entry = testsupport::shell_output("unzip -p " + zip + " s.sql");
  EXPECT_EQ(script.size(), entry.size());
  EXPECT_EQ(summary.in_size, entry.size());
  EXPECT_EQ(summary.crc32, crc_of(entry));
  return entry;
}

TEST(ScriptFile, WritesMarkAndEveryLineAsItIs) {
  EXPECT_EQ(stream_lines({"/*!40101 SET NAMES utf8mb4 */;", "'\xC5\x9F\xC2\x80\xF0\x9F\x98\x80'",
                          "CREATE TABLE `a\nb` (", ""}),
            "\xEF\xBB\xBF/*!40101 SET NAMES utf8mb4 */;\r\n"
            "'\xC5\x9F\xC2\x80\xF0\x9F\x98\x80'\r\n"
            "CREATE TABLE `a\nb` (\r\n"
            "\r\n");
}

TEST(ScriptFile, LargeOutputCrossesTheBufferAndReportsEachHandOver) {
  std::vector<uint64_t> flushed;
  const std::string entry =
      stream_lines(std::vector<std::string>(1000, std::string(3000, 'a')), &flushed);
  EXPECT_EQ(entry.size(), 3u + 1000u * 3002u);
  ASSERT_GE(flushed.size(), 3u);  // 3 MB through a 1 MiB buffer, then the rest
  EXPECT_TRUE(std::is_sorted(flushed.begin(), flushed.end()));
  EXPECT_EQ(flushed.back(), entry.size());
}

}  // namespace
