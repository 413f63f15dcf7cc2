// The whole road with the real program under Xvfb: a private MariaDB, an FTP
// server and the notice endpoint on 127.0.0.77 (:3306, :21, :80, the ports
// the program uses; a build configured without root uses :2121 and :8080 for
// the service instead), "YEDEK AL" pressed with the keyboard, then the archive,
// its restore into a fresh database, the uploaded copy and the notice checked.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/backup_names.h"
#include "app/service_config.h"
#include "tests/app/gui_session.h"
#include "tests/app/sample_database.h"
#include "tests/app/service_peers.h"
#include "tests/support/mariadb_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::read_all;
using testsupport::shell_quote;

const std::string kAddress = YEDEK_E2E_ADDRESS;
const std::string kDb = "magaza";

std::string program() { return testsupport::binary_dir() + "/tests/app/e2e/yedekalma"; }

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    server.Start(kAddress, 3306,
                 {"--general-log=1", "--general-log-file=" + server.general_log_path()});
    fs::create_directories(ftp_home.file("dbler/34ABC123"));
    ftp.Start(kAddress, YEDEK_E2E_FTP_PORT, ftp_home.path(), YEDEK_E2E_USER, app::kServicePassword);
    http.Start(kAddress, YEDEK_E2E_WEB_PORT);
    gui.Start();
    testsupport::write_all(folder.file("ip.txt"),
                           kAddress + "\r\n" + testsupport::MariaDbServer::kUser + "\r\n" +
                               testsupport::MariaDbServer::kPassword + "\r\n");
    testsupport::write_all(folder.file("yedekleme.ini"), kDb + "\r\n");
  }

  std::string Checksum(const std::string& db, const std::string& table) {
    std::string out = server.Sql("CHECKSUM TABLE `" + table + "`", db);
    return out.substr(out.find('\t') + 1);
  }

  // Runs the program, presses Enter, returns the archive name.
  std::string RunBackup(const std::string& shot) {
    pid_t pid = gui.Launch(program(), folder.path());
    std::string window = gui.WaitForWindow("^Yedekleme$");
    EXPECT_NE(window, "") << read_all(folder.file("program.log"));
    if (window.empty()) return "";
    std::string log = read_all(server.general_log_path());
    EXPECT_NE(log.find("Connect\tyedek@"), std::string::npos) << log;
    EXPECT_NE(log.find("SET NAMES utf8mb4"), std::string::npos);
    gui.Key(window, "Return");
    std::string box = gui.WaitForWindow("^yedekalma$", 60000);
    EXPECT_NE(box, "");
    gui.Screenshot(shot);
    std::string archive = app::archive_name(kDb, app::local_now());
    gui.Key(box, "Return");
    gui.Key(window, "Escape");
    EXPECT_EQ(gui.WaitForExit(pid), 0) << read_all(folder.file("program.log"));
    EXPECT_NE(read_all(server.general_log_path()).find(" Quit"), std::string::npos);
    return archive;
  }

  testsupport::MariaDbServer server;
  testsupport::TempDir ftp_home{"yedek-e2e-ftp"};
  testsupport::TempDir folder{"yedek-e2e"};
  apptest::FtpPeer ftp;
  apptest::HttpPeer http;
  apptest::GuiSession gui;
};

TEST_F(EndToEnd, LocalBackupRestoresToTheSameData) {
  server.Sql(apptest::sample_database_sql(kDb, 0, "34ABC123"));
  std::string archive = RunBackup(folder.file("shot.png"));
  ASSERT_FALSE(archive.empty());
  ASSERT_TRUE(fs::exists(folder.file(archive)));
  EXPECT_EQ(
      testsupport::run_shell("unzip -tq " + shell_quote(folder.file(archive)) + " >/dev/null"), 0);
  // One entry: the bare script name, with no folders.
  EXPECT_EQ(testsupport::shell_output("unzip -Z1 " + shell_quote(folder.file(archive))),
            app::script_file_name(kDb, app::local_now()) + "\n");
  EXPECT_FALSE(fs::exists(testsupport::binary_dir() + "/tests/app/e2e/" +
                          app::script_file_name(kDb, app::local_now())));
  EXPECT_NE(read_all(folder.file("program.log"))
                .find("message: Dosyaya başarıyla kaydedildi...|" + folder.file(archive) + "\n"),
            std::string::npos);
  EXPECT_TRUE(fs::is_empty(ftp_home.file("dbler/34ABC123")));
  EXPECT_EQ(http.Log(), "");

  // The window's placement was saved on close.
  std::string ini = read_all(gui.config_home() + "/yedekalma.INI");
  EXPECT_NE(ini.find("[Tyedekalmaf]"), std::string::npos) << ini;
  for (const char* key : {"FormVersion=", "Flags=", "ShowCmd=1",
                          "PixelsPerInch=", "MinMaxPos=", "NormPos=", "Visible="})
    EXPECT_NE(ini.find(key), std::string::npos) << key;

  // Restore as the README says: the entry as it is, loaded by the client.
  server.Sql("CREATE DATABASE geri");
  const std::string script = folder.file("script.sql");
  ASSERT_EQ(testsupport::run_shell("unzip -p " + shell_quote(folder.file(archive)) + " > " +
                                   shell_quote(script)),
            0);
  ASSERT_EQ(
      testsupport::run_shell(server.ClientCommand("utf8mb4") + " geri < " + shell_quote(script)),
      0);
  for (const char* table : apptest::kSampleTables) {
    SCOPED_TRACE(table);
    EXPECT_EQ(Checksum("geri", table), Checksum(kDb, table));
  }
}

TEST_F(EndToEnd, CloudBackupUploadsTheArchiveAndSendsOneNotice) {
  server.Sql(apptest::sample_database_sql(kDb, 1, "34ABC123"));
  std::string archive = RunBackup(folder.file("shot.png"));
  ASSERT_FALSE(archive.empty());
  ASSERT_TRUE(fs::exists(folder.file(archive)));
  EXPECT_EQ(read_all(ftp_home.file("dbler/34ABC123/" + archive)), read_all(folder.file(archive)));
  EXPECT_EQ(http.Log(),
            "/son-eklenen-db-kayit.php?levhano=34ABC123&soneklenendb=" + archive + "\n");
  EXPECT_NE(read_all(folder.file("program.log"))
                .find("message: Dosyaya başarıyla kaydedildi...|" + folder.file(archive) +
                      "|Dosyaya başarıyla buluta yüklendi...\n"),
            std::string::npos);
}

}  // namespace
