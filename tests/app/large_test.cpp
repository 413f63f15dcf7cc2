// A backup whose script passes 4 GiB, made by the program's real run against
// a private MariaDB: the archive's entry carries Zip64 values and every
// independent reader takes it whole. The table is ARCHIVE-engine binary data
// (2.2 GB that the server keeps in a few megabytes), which the script writes
// as hexadecimal literals of twice its size.
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/backup_names.h"
#include "app/event_handler.h"
#include "app/yedekalma.h"
#include "tests/app/fake_window.h"
#include "tests/support/fake_user_interface.h"
#include "tests/support/mariadb_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/zip/zip_test_support.h"

namespace {

using testsupport::read_all;
using testsupport::write_all;

const std::string kDb = "dev";
constexpr int kRows = 2100;  // of 1 MiB each: 4.4 GB of script

std::uint64_t u64_at(const std::string& s, std::size_t off) {
  return ziptest::u32_at(s, off) | static_cast<std::uint64_t>(ziptest::u32_at(s, off + 4)) << 32;
}

TEST(LargeBackup, ScriptOverFourGibibytesIsArchivedWithZip64AndReadWholeByEveryReader) {
  testsupport::MariaDbServer server;
  server.Start(testsupport::private_loopback_address(31), 3306);
  server.Sql("INSTALL SONAME 'ha_archive'");
  server.Sql("CREATE DATABASE " + kDb + "; USE " + kDb +
             "; CREATE TABLE ikili (id INT, v LONGBLOB) ENGINE=ARCHIVE;"
             " INSERT INTO ikili SELECT seq, REPEAT(CHAR(seq % 200), 1048576)"
             " FROM seq_1_to_" +
             std::to_string(kRows) +
             "; CREATE TABLE ayarlar (bulutyedekleme SMALLINT, levhano VARCHAR(100));"
             " INSERT INTO ayarlar VALUES (0, '')");

  testsupport::TempDir dir("yedek-large");
  char old_cwd[4096];
  ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  write_all(dir.file("ip.txt"), server.address() + "\r\n" + testsupport::MariaDbServer::kUser +
                                    "\r\n" + testsupport::MariaDbServer::kPassword + "\r\n");
  write_all(dir.file("yedekleme.ini"), kDb + "\r\n");
  testsupport::FakeUserInterface ui;
  apptest::FakeWindow window;
  apptest::FakeBrowser browser;
  {
    app::TyedekalmafCore core(window, browser, {});
    ASSERT_TRUE(core.Start());
    ASSERT_TRUE(app::run_event_handler([&] { core.kaydetbtnClick(); }));
    core.WaitForRun();
  }
  ASSERT_EQ(chdir(old_cwd), 0);
  ASSERT_TRUE(ui.errors().empty()) << ui.errors()[0];
  ASSERT_EQ(ui.messages().size(), 1u);
  const std::string archive = dir.file(app::archive_name(kDb, app::local_now()));
  const std::string script = app::script_file_name(kDb, app::local_now());

  // The local header: version 45, both sizes left to the Zip64 field.
  const std::string head = read_all(archive).substr(0, 30 + script.size() + 20);
  EXPECT_EQ(ziptest::u16_at(head, 4), 45);
  EXPECT_EQ(ziptest::u32_at(head, 18), 0xFFFFFFFFu);
  EXPECT_EQ(ziptest::u32_at(head, 22), 0xFFFFFFFFu);
  EXPECT_EQ(ziptest::u16_at(head, 28), 20);
  const std::size_t extra = 30 + script.size();
  EXPECT_EQ(ziptest::u16_at(head, extra), 1);
  EXPECT_EQ(ziptest::u16_at(head, extra + 2), 16);
  EXPECT_GT(u64_at(head, extra + 4), 0xFFFFFFFFull);

  const ziptest::StreamedEntry read =
      ziptest::expect_readers_stream(archive, script, "INSERT INTO `ikili`");
  EXPECT_GT(read.size, 0xFFFFFFFFull);
  EXPECT_EQ(read.size, u64_at(head, extra + 4));
  EXPECT_EQ(read.needles, static_cast<std::uint64_t>(kRows));
  EXPECT_EQ(read.head.substr(0, 3), "\xEF\xBB\xBF");
  ASSERT_GE(read.tail.size(), 4u);
  EXPECT_EQ(read.tail.substr(read.tail.size() - 4), "\r\n\r\n");
}

}  // namespace
