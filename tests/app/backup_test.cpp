// The backup run, upload and notice over app_core with the scripted user
// interface, against a private MariaDB on its own loopback address (port
// 3306, as the program always uses), pyftpdlib and an HTTP endpoint.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <future>
#include <thread>

#include "app/backup_names.h"
#include "app/event_handler.h"
#include "app/yedekalma.h"
#include "ftp/ftp_upload.h"
#include "platform/files.h"
#include "tests/app/fake_window.h"
#include "tests/app/run_folder.h"
#include "tests/app/sample_database.h"
#include "tests/app/service_peers.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/fake_user_interface.h"
#include "tests/support/mariadb_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::read_all;
using testsupport::write_all;

const std::string kDb = "dukkan";
const std::string kFtpUser = "yedekalma";
const std::string kArchiveSavedAt = "Yedek ar\xFEivi kaydedildi: ";

class BackupRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    address_ = new std::string(testsupport::private_loopback_address(11));
    if (*address_ == "127.0.0.77") *address_ = testsupport::private_loopback_address(12);
    server_ = new testsupport::MariaDbServer;
    server_->Start(*address_, 3306);
  }
  static void TearDownTestSuite() {
    delete server_;
    delete address_;
  }

  void SetUp() override {
    server_->Sql("DROP DATABASE IF EXISTS `" + kDb + "`");
    service.host = *address_;
    service.user = kFtpUser;
    service.password = app::kServicePassword;
    service.ftp_port = testsupport::free_tcp_port(*address_);
    service.web_port = testsupport::free_tcp_port(*address_);
  }
  void TearDown() override { core.reset(); }

  void MakeDatabase(int bulut, const std::string& levhano = "34ABC123") {
    server_->Sql(apptest::sample_database_sql(kDb, bulut, levhano));
  }
  void WriteSettings(const std::string& db = kDb) {
    write_all(dir.file("ip.txt"), *address_ + "\r\n" + testsupport::MariaDbServer::kUser + "\r\n" +
                                      testsupport::MariaDbServer::kPassword + "\r\n");
    write_all(dir.file("yedekleme.ini"), db + "\r\n");
  }
  // Starts the core as the program does; expects a clean start.
  void StartCore() {
    core = std::make_unique<app::TyedekalmafCore>(window, browser, service);
    ASSERT_TRUE(core->Start());
    ASSERT_TRUE(ui.errors().empty()) << ui.errors()[0];
    ui.boxes.clear();
  }
  // "YEDEK AL", then the run's end delivered as the window would; app_ok
  // says whether no error box came up.
  void Click() {
    const size_t errors_before = ui.errors().size();
    app_ok = app::run_event_handler([this] { core->kaydetbtnClick(); });
    core->WaitForRun();
    window.Pump();
    app_ok = app_ok && ui.errors().size() == errors_before;
  }
  std::string ArchiveName() const { return app::archive_name(kDb, app::local_now()); }
  std::string ArchivePath() const { return dir.path() + "/" + ArchiveName(); }
  // The private script folders left in TMPDIR (none once a run has ended).
  std::vector<std::string> ScriptLeftovers() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(script_tmp.path())) {
      const std::string name = e.path().filename();
      if (name.rfind("yedek-", 0) != 0) names.push_back(name);  // not the test's own folders
    }
    return names;
  }
  // Files in the current folder, sorted.
  std::vector<std::string> FolderFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Unzipped() const {
    return testsupport::shell_output("unzip -p " +
                                     testsupport::shell_quote(dir.file(ArchiveName())));
  }

  static std::string* address_;
  static testsupport::MariaDbServer* server_;

  testsupport::TempDir dir{"yedek-run"};
  testsupport::TempDir script_tmp{"yedek-tmp"};
  // The run's private script folder goes under TMPDIR: a folder of the
  // test's own shows whether anything stays behind.
  apptest::RunFolder run_folder{dir.path(), script_tmp.path()};
  testsupport::FakeUserInterface ui;
  apptest::FakeWindow window;
  apptest::FakeBrowser browser;
  app::ServiceConfig service;
  std::unique_ptr<app::TyedekalmafCore> core;
  bool app_ok = false;
};

std::string* BackupRun::address_ = nullptr;
testsupport::MariaDbServer* BackupRun::server_ = nullptr;

TEST_F(BackupRun, LocalBackupWritesVerifiedArchiveAndDeletesScript) {
  MakeDatabase(0);
  WriteSettings();
  StartCore();
  EXPECT_EQ(window.caption, kDb);
  Click();
  ASSERT_TRUE(app_ok) << (ui.errors().empty() ? "" : ui.errors()[0]);
  ASSERT_EQ(ui.messages().size(), 1u);
  // The message names the archive's real full path.
  EXPECT_EQ(ui.messages()[0], std::string(app::kSavedMessage) + "\r" + ArchivePath());
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{ArchiveName(), "ip.txt", "yedekleme.ini"}));
  EXPECT_TRUE(ScriptLeftovers().empty());
  // One entry: the bare script name, no folders.
  EXPECT_EQ(testsupport::shell_output("unzip -Z1 " + testsupport::shell_quote(ArchivePath())),
            app::script_file_name(kDb, app::local_now()) + "\n");
  // The window went busy and back, and showed progress on the way.
  EXPECT_EQ(window.states, (std::vector<bool>{true, false}));
  EXPECT_GE(window.progress_texts.size(), 2u);
  EXPECT_EQ(window.progress_texts.back(), "");
  EXPECT_TRUE(browser.urls.empty());
  EXPECT_EQ(testsupport::run_shell("unzip -tq " + dir.file(ArchiveName()) + " >/dev/null"), 0);

  std::string script = Unzipped();
  ASSERT_GE(script.size(), 3u);
  EXPECT_EQ(script.substr(0, 3), "\xEF\xBB\xBF");
  // UTF-8 text, CR LF lines, the frame declaring utf8mb4, data kept.
  EXPECT_NE(script.find("\xC5\x9E"
                        "ekerci \xC4\xB0"
                        "brahim \xC4\x9E\xC3\xBC\xC3\xA7l\xC3\xBC"),
            std::string::npos);
  EXPECT_NE(script.find("\r\n/*!40101 SET NAMES utf8mb4 */;\r\n"), std::string::npos);
  EXPECT_NE(script.find("'/*!40101 SET NAMES latin5 */;'"), std::string::npos);
  EXPECT_EQ(script.substr(script.size() - 4), "\r\n\r\n");
  for (size_t i = 1; i < script.size(); ++i) {
    if (script[i] == '\n') {
      ASSERT_EQ(script[i - 1], '\r') << "bare LF at " << i;
    }
  }
}

TEST_F(BackupRun, SecondRunReadsSettingsOnceAndReplacesTheHoursArchive) {
  MakeDatabase(0);
  WriteSettings();
  StartCore();
  Click();
  ASSERT_TRUE(app_ok);
  // Switching cloud backup on now has no effect until the program restarts.
  server_->Sql("UPDATE ayarlar SET bulutyedekleme = 1", kDb);
  server_->Sql("INSERT INTO bos VALUES (42)", kDb);
  Click();
  ASSERT_TRUE(app_ok) << (ui.errors().empty() ? "" : ui.errors()[0]);
  EXPECT_EQ(ui.messages().size(), 2u);
  EXPECT_TRUE(browser.urls.empty());
  EXPECT_NE(Unzipped().find("(42)"), std::string::npos);
}

TEST_F(BackupRun, CloudBackupUploadsBinaryIdenticalCopyAndRequestsNotice) {
  MakeDatabase(1, "34ABC123");
  WriteSettings();
  testsupport::TempDir home("yedek-ftphome");
  fs::create_directories(home.file("dbler/34ABC123"));
  apptest::FtpPeer ftp;
  ftp.Start(*address_, service.ftp_port, home.path(), kFtpUser, app::kServicePassword);
  StartCore();
  Click();
  ASSERT_TRUE(app_ok) << (ui.errors().empty() ? "" : ui.errors()[0]);
  ASSERT_EQ(ui.messages().size(), 1u);
  EXPECT_EQ(ui.messages()[0],
            std::string(app::kSavedMessage) + "\r" + ArchivePath() + "\r" + app::kUploadedMessage);
  EXPECT_EQ(read_all(home.file("dbler/34ABC123/" + ArchiveName())),
            read_all(dir.file(ArchiveName())));
  ASSERT_EQ(browser.urls.size(), 1u);
  EXPECT_EQ(browser.urls[0],
            app::notice_url(*address_, service.web_port, "34ABC123", ArchiveName()));
  EXPECT_EQ(core->NetFTP1->Host(), "");  // back to the unused design-time client
}

struct CloudFailure {
  const char* name;
  std::string user;  // FTP account the program uses
  bool make_folder;  // dbler/<levhano> exists
  bool start_server;
};

TEST_F(BackupRun, CloudFailuresSayTheArchiveIsSavedAndWhichStepFailed) {
  const CloudFailure cases[] = {
      {"login refused", "someone-else", true, true},
      {"missing dbler folder", kFtpUser, false, true},
      {"no FTP server", kFtpUser, true, false},
  };
  MakeDatabase(1, "06XY99");
  WriteSettings();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir home("yedek-ftphome");
    if (c.make_folder) fs::create_directories(home.file("dbler/06XY99"));
    apptest::FtpPeer ftp;
    if (c.start_server)
      ftp.Start(*address_, service.ftp_port, home.path(), kFtpUser, app::kServicePassword);
    service.user = c.user;
    ui.boxes.clear();
    StartCore();
    Click();
    EXPECT_FALSE(app_ok);
    ASSERT_EQ(ui.errors().size(), 1u);
    EXPECT_EQ(ui.errors()[0].rfind(kArchiveSavedAt + ArchivePath() +
                                       "\rBuluta y\xFCkleme (FTP klas\xF6r\xFC \"dbler/06XY99\") "
                                       "ba\xFE"
                                       "ar\xFDs\xFDz:\r",
                                   0),
              0u)
        << ui.errors()[0];
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_TRUE(browser.urls.empty());
    EXPECT_TRUE(platform::file_exists(dir.file(ArchiveName())));
    EXPECT_TRUE(ScriptLeftovers().empty());
    core.reset();
  }
}

TEST_F(BackupRun, UndeliveredNoticeIsReportedWithTheArchivePath) {
  MakeDatabase(1, "34ABC123");
  WriteSettings();
  testsupport::TempDir home("yedek-ftphome");
  fs::create_directories(home.file("dbler/34ABC123"));
  apptest::FtpPeer ftp;
  ftp.Start(*address_, service.ftp_port, home.path(), kFtpUser, app::kServicePassword);
  browser.fail_with = "The notice to x:80 was not delivered: timeout";
  StartCore();
  Click();
  EXPECT_FALSE(app_ok);
  ASSERT_EQ(ui.errors().size(), 1u);
  EXPECT_EQ(ui.errors()[0], kArchiveSavedAt + ArchivePath() +
                                "\rAr\xFEiv buluta y\xFCklendi (FTP klas\xF6r\xFC "
                                "\"dbler/34ABC123\"), ancak bildirim g\xF6nderilemedi:\r" +
                                browser.fail_with + ".");
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(read_all(home.file("dbler/34ABC123/" + ArchiveName())), read_all(ArchivePath()));
}

TEST_F(BackupRun, TableDroppedBetweenListingAndDumpingLeavesNoScript) {
  MakeDatabase(0);
  WriteSettings();
  write_all(dir.file(ArchiveName()), "earlier archive");
  StartCore();
  bool dropped = false;
  window.on_post = [&] {
    if (!dropped && core->Progress().phase == app::RunPhase::kDumping) {
      dropped = true;
      server_->Sql("DROP TABLE musteri, urun, bos, ayarlar", kDb);
    }
  };
  Click();
  EXPECT_TRUE(dropped);
  EXPECT_FALSE(app_ok);
  EXPECT_EQ(ui.errors().size(), 1u);
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_TRUE(ScriptLeftovers().empty());
  EXPECT_EQ(read_all(dir.file(ArchiveName())), "earlier archive");
  EXPECT_EQ(FolderFiles().size(), 3u);
}

TEST_F(BackupRun, ArchiveThatCannotBeMadeIsNamedAndEarlierArchiveKept) {
  MakeDatabase(0);
  WriteSettings();
  write_all(dir.file(ArchiveName()), "earlier archive");
  // The current folder cannot take new files: the temporary archive fails.
  // (Root ignores permissions, so a read-only bind is not available; a
  // folder standing in for the archive's final name makes the rename fail.)
  fs::remove(dir.file(ArchiveName()));
  fs::create_directory(dir.file(ArchiveName()));
  write_all(dir.file(ArchiveName() + "/keep"), "earlier archive");
  StartCore();
  Click();
  EXPECT_FALSE(app_ok);
  ASSERT_EQ(ui.errors().size(), 1u);
  EXPECT_EQ(ui.errors()[0].rfind("The archive \"" + ArchivePath() + "\" was not made (", 0), 0u)
      << ui.errors()[0];
  EXPECT_EQ(ui.errors()[0].find(".tmp"), std::string::npos) << ui.errors()[0];
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(read_all(dir.file(ArchiveName() + "/keep")), "earlier archive");
  EXPECT_TRUE(ScriptLeftovers().empty());
  EXPECT_EQ(FolderFiles().size(), 3u);  // no temporary archive stays
}

TEST_F(BackupRun, SettingsTableProblemsSayTheArchiveIsSaved) {
  const std::pair<const char*, const char*> cases[] = {
      {"missing table", "DROP TABLE ayarlar"},
      {"missing column", "ALTER TABLE ayarlar DROP COLUMN levhano"},
      {"tinyint(1) column", "ALTER TABLE ayarlar MODIFY bulutyedekleme TINYINT(1)"},
  };
  for (const auto& [name, change] : cases) {
    SCOPED_TRACE(name);
    server_->Sql("DROP DATABASE IF EXISTS `" + kDb + "`");
    MakeDatabase(1);
    server_->Sql(change, kDb);
    WriteSettings();
    ui.boxes.clear();
    StartCore();
    Click();
    EXPECT_FALSE(app_ok);
    ASSERT_EQ(ui.errors().size(), 1u);
    EXPECT_EQ(ui.errors()[0].rfind(kArchiveSavedAt + ArchivePath() +
                                       "\rAyarlar tablosu \"ayarlar\" okunamad\xFD, buluta "
                                       "yedekleme yap\xFDlmad\xFD:\r",
                                   0),
              0u)
        << ui.errors()[0];
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_TRUE(platform::file_exists(dir.file(ArchiveName())));
    EXPECT_TRUE(ScriptLeftovers().empty());
    core.reset();
  }
}

TEST_F(BackupRun, ClickDuringRunIsIgnoredAndQuotedDatabaseNameWorks) {
  // A database name with a double quote: the escaped
  // table-list statement finds its tables.
  const std::string db = "d\"b";
  server_->Sql("DROP DATABASE IF EXISTS `" + db + "`");
  server_->Sql("CREATE DATABASE `" + db + "`; USE `" + db +
               "`; CREATE TABLE t1 (a INT); INSERT INTO t1 VALUES (5);"
               "CREATE TABLE ayarlar (bulutyedekleme SMALLINT, levhano VARCHAR(100));");
  WriteSettings(db);
  StartCore();
  // The worker waits at its first post until the second click was made.
  std::promise<void> clicked;
  std::shared_future<void> clicked_future = clicked.get_future().share();
  std::promise<void> posted;
  bool first = true;
  window.on_post = [&] {
    if (!first) return;
    first = false;
    posted.set_value();
    clicked_future.wait();
  };
  ASSERT_TRUE(app::run_event_handler([&] { core->kaydetbtnClick(); }));
  posted.get_future().wait();
  EXPECT_TRUE(core->Running());
  core->kaydetbtnClick();  // ignored: a run is going
  clicked.set_value();
  core->WaitForRun();
  window.Pump();
  EXPECT_TRUE(ui.errors().empty()) << ui.errors()[0];
  EXPECT_EQ(ui.messages().size(), 1u);
  EXPECT_EQ(window.states, (std::vector<bool>{true, false}));
  std::string archive = app::archive_name(db, app::local_now());
  std::string script =
      testsupport::shell_output("unzip -p " + testsupport::shell_quote(dir.file(archive)));
  EXPECT_NE(script.find("(5)"), std::string::npos) << script;
  server_->Sql("DROP DATABASE `" + db + "`");
}

TEST_F(BackupRun, CancelInEachPhaseLeavesNothingHalfDone) {
  struct Case {
    app::RunPhase phase;
    bool archive_made;  // the new archive was complete before the cancel
  };
  const Case cases[] = {
      {app::RunPhase::kListing, false},   {app::RunPhase::kDumping, false},
      {app::RunPhase::kArchiving, false}, {app::RunPhase::kVerifying, false},
      {app::RunPhase::kSettings, true},   {app::RunPhase::kUploading, true},
  };
  MakeDatabase(1, "34ABC123");
  WriteSettings();
  testsupport::TempDir home("yedek-ftphome");
  fs::create_directories(home.file("dbler/34ABC123"));
  apptest::FtpPeer ftp;
  ftp.Start(*address_, service.ftp_port, home.path(), kFtpUser, app::kServicePassword);
  for (const auto& c : cases) {
    SCOPED_TRACE(app::phase_text(c.phase));
    write_all(dir.file(ArchiveName()), "earlier archive");
    ui.boxes.clear();
    StartCore();
    window.on_post = [&] {
      if (core->Progress().phase == c.phase) core->CancelRun();
    };
    Click();
    window.on_post = nullptr;
    EXPECT_TRUE(ui.errors().empty()) << ui.errors()[0];
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0], c.archive_made ? std::string(app::kCancelledMessage) + "\r" +
                                                     kArchiveSavedAt + ArchivePath()
                                               : std::string(app::kCancelledMessage));
    if (c.archive_made)
      EXPECT_EQ(testsupport::run_shell("unzip -tq " + ArchivePath() + " >/dev/null"), 0);
    else
      EXPECT_EQ(read_all(ArchivePath()), "earlier archive");
    EXPECT_EQ(FolderFiles(), (std::vector<std::string>{ArchiveName(), "ip.txt", "yedekleme.ini"}));
    EXPECT_TRUE(ScriptLeftovers().empty());
    EXPECT_TRUE(fs::is_empty(home.file("dbler/34ABC123")));
    EXPECT_TRUE(browser.urls.empty());
    // The next click on the same window works.
    ui.boxes.clear();
    Click();
    EXPECT_TRUE(app_ok) << ui.errors()[0];
    EXPECT_EQ(ui.messages(), (std::vector<std::string>{app::success_message(ArchivePath(), true)}));
    fs::remove(home.file("dbler/34ABC123/" + ArchiveName()));
    browser.urls.clear();
    core.reset();
  }
}

TEST_F(BackupRun, CancelInTheMiddleOfATableThenTheNextClickWorks) {
  MakeDatabase(0);
  server_->Sql(
      "CREATE TABLE buyuk (id INT PRIMARY KEY, t VARCHAR(200));"
      "INSERT INTO buyuk SELECT seq, REPEAT('yedek', 30) FROM seq_1_to_100000",
      kDb);
  WriteSettings();
  StartCore();
  // Once the script's first megabyte is on disk the worker is inside the
  // big table's result (about 16 MB of script): cancel there.
  ASSERT_TRUE(app::run_event_handler([&] { core->kaydetbtnClick(); }));
  while (core->Progress().script_bytes == 0 && core->Progress().phase != app::RunPhase::kIdle)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  core->CancelRun();
  core->WaitForRun();
  EXPECT_EQ(ui.messages(), (std::vector<std::string>{app::kCancelledMessage}));
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"ip.txt", "yedekleme.ini"}));
  EXPECT_TRUE(ScriptLeftovers().empty());
  ui.boxes.clear();
  Click();
  EXPECT_TRUE(app_ok) << ui.errors()[0];
  EXPECT_EQ(ui.messages(), (std::vector<std::string>{app::success_message(ArchivePath(), false)}));
  EXPECT_NE(Unzipped().find("(100000,"), std::string::npos);
}

TEST_F(BackupRun, CancelDuringTheUploadLeavesNothingUnderTheArchiveNameAndKeepsTheArchive) {
  MakeDatabase(1, "34ABC123");
  // About 7 MB of archive that does not compress away: more than the
  // sockets buffer, so the transfer is still going when the cancel comes.
  server_->Sql(
      "CREATE TABLE rastgele (id INT PRIMARY KEY, t CHAR(64));"
      "INSERT INTO rastgele SELECT seq, CONCAT(MD5(seq), MD5(seq + 1)) "
      "FROM seq_1_to_200000",
      kDb);
  WriteSettings();
  testsupport::TempDir home("yedek-ftphome");
  fs::create_directories(home.file("dbler/34ABC123"));
  apptest::FtpPeer ftp;
  ftp.Start(*address_, service.ftp_port, home.path(), kFtpUser, app::kServicePassword, 256 * 1024);
  StartCore();
  // Cancel once the window has heard of bytes on their way.
  ASSERT_TRUE(app::run_event_handler([&] { core->kaydetbtnClick(); }));
  for (;;) {
    const app::RunProgress p = core->Progress();
    if (p.phase == app::RunPhase::kIdle || p.upload_sent > 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const app::RunProgress seen = core->Progress();
  core->CancelRun();
  core->WaitForRun();
  EXPECT_EQ(seen.phase, app::RunPhase::kUploading);
  EXPECT_LT(seen.upload_sent, seen.upload_total);
  EXPECT_EQ(ui.messages(), (std::vector<std::string>{std::string(app::kCancelledMessage) + "\r" +
                                                     kArchiveSavedAt + ArchivePath()}));
  EXPECT_EQ(testsupport::run_shell("unzip -tq " + ArchivePath() + " >/dev/null"), 0);
  // Nothing under the archive's name could pass for a complete backup, and
  // the temporary upload is gone too.
  EXPECT_FALSE(fs::exists(home.file("dbler/34ABC123/" + ArchiveName())));
  EXPECT_FALSE(fs::exists(home.file("dbler/34ABC123/" + ArchiveName() + ftp::kPartialSuffix)));
  EXPECT_TRUE(browser.urls.empty());
  EXPECT_TRUE(ScriptLeftovers().empty());
}

TEST_F(BackupRun, DatabaseNamesThatLeaveTheFolderAreRefusedBeforeAnyWrite) {
  for (const std::string name : {"", ".", "..", "../dukkan", "a/b", "a\\b", "/etc"}) {
    SCOPED_TRACE(name);
    WriteSettings(name);
    // Such a database does not exist: start-up's connect fails, and the
    // click must still refuse the name itself.
    core = std::make_unique<app::TyedekalmafCore>(window, browser, service);
    ASSERT_TRUE(core->Start());
    ui.boxes.clear();
    window.states.clear();
    Click();
    EXPECT_FALSE(app_ok);
    ASSERT_EQ(ui.errors().size(), 1u);
    EXPECT_EQ(ui.errors()[0].rfind("Veritaban\xFD ad\xFD \"" + name +
                                       "\" yedek dosyas\xFD ad\xFD "
                                       "olamaz",
                                   0),
              0u)
        << ui.errors()[0];
    EXPECT_TRUE(window.states.empty());  // no run started
    EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"ip.txt", "yedekleme.ini"}));
    EXPECT_TRUE(ScriptLeftovers().empty());
    core.reset();
  }
}

TEST_F(BackupRun, TwoCopiesBackingUpOneDatabaseAtOnceBothSucceed) {
  MakeDatabase(0);
  WriteSettings();
  apptest::FakeWindow window2;
  apptest::FakeBrowser browser2;
  StartCore();
  app::TyedekalmafCore second(window2, browser2, service);
  ASSERT_TRUE(second.Start());
  ASSERT_TRUE(app::run_event_handler([&] { core->kaydetbtnClick(); }));
  ASSERT_TRUE(app::run_event_handler([&] { second.kaydetbtnClick(); }));
  core->WaitForRun();
  second.WaitForRun();
  EXPECT_TRUE(ui.errors().empty()) << ui.errors()[0];
  ASSERT_EQ(ui.messages().size(), 2u);
  EXPECT_EQ(ui.messages()[0], ui.messages()[1]);
  EXPECT_EQ(testsupport::run_shell("unzip -tq " + ArchivePath() + " >/dev/null"), 0);
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{ArchiveName(), "ip.txt", "yedekleme.ini"}));
  EXPECT_TRUE(ScriptLeftovers().empty());
}

TEST_F(BackupRun, FtpServerVanishingMidUploadIsAnError) {
  MakeDatabase(1, "06XY99");
  WriteSettings();
  // The server takes a few bytes of the archive, then goes away entirely:
  // data connection reset, no final reply, control connection closed.
  testsupport::FtpStep store = testsupport::Store("STOR *", "150 Ok to send data.", "");
  store.cut_after = 64;
  std::vector<testsupport::FtpStep> script = testsupport::plain_login();
  script.push_back(testsupport::Expect("CWD dbler/06XY99", "250 Okay."));
  script.push_back(testsupport::Pasv());
  script.push_back(store);
  script.push_back(testsupport::Close());
  testsupport::FakeFtpServer ftp(script);
  ftp.Start();
  service.host = "127.0.0.1";
  service.ftp_port = ftp.port();
  StartCore();
  Click();
  ftp.Wait();
  EXPECT_FALSE(app_ok);
  ASSERT_EQ(ui.errors().size(), 1u);
  EXPECT_EQ(ui.errors()[0].rfind(kArchiveSavedAt + ArchivePath() + "\r", 0), 0u) << ui.errors()[0];
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_TRUE(browser.urls.empty());
  EXPECT_TRUE(platform::file_exists(dir.file(ArchiveName())));
  EXPECT_TRUE(ScriptLeftovers().empty());
}

// The script goes straight into the archive: the temporary folder is never
// written, so even a missing one does not matter.
TEST_F(BackupRun, ScriptNeverTouchesTheTemporaryFolder) {
  MakeDatabase(0);
  WriteSettings();
  setenv("TMPDIR", script_tmp.file("missing").c_str(), 1);
  StartCore();
  Click();
  EXPECT_TRUE(app_ok) << (ui.errors().empty() ? "" : ui.errors()[0]);
  EXPECT_EQ(ui.messages(), (std::vector<std::string>{app::success_message(ArchivePath(), false)}));
  EXPECT_FALSE(fs::exists(script_tmp.file("missing")));
  EXPECT_TRUE(ScriptLeftovers().empty());
}

// Windows stopped at 259 characters; here the current folder and the
// temporary folder may lie as deep as the system allows.
TEST_F(BackupRun, DeepFoldersBeyondTheWindowsPathLimitWork) {
  MakeDatabase(0);
  std::string deep = dir.path();
  while (deep.size() < 400) deep += "/yedekleme-klasoru";
  std::string deep_tmp = script_tmp.path();
  while (deep_tmp.size() < 400) deep_tmp += "/gecici-klasor";
  fs::create_directories(deep);
  fs::create_directories(deep_tmp);
  setenv("TMPDIR", deep_tmp.c_str(), 1);
  ASSERT_EQ(chdir(deep.c_str()), 0);
  WriteSettings();
  fs::rename(dir.file("ip.txt"), deep + "/ip.txt");
  fs::rename(dir.file("yedekleme.ini"), deep + "/yedekleme.ini");
  StartCore();
  Click();
  ASSERT_TRUE(app_ok) << (ui.errors().empty() ? "" : ui.errors()[0]);
  const std::string archive = deep + "/" + ArchiveName();
  EXPECT_EQ(ui.messages(), (std::vector<std::string>{app::success_message(archive, false)}));
  EXPECT_EQ(
      testsupport::run_shell("unzip -tq " + testsupport::shell_quote(archive) + " >/dev/null"), 0);
  EXPECT_TRUE(fs::is_empty(deep_tmp));
}

// Last in the suite: it stops the server.
TEST_F(BackupRun, ServerGoneBeforeTheClickLeavesNoScript) {
  MakeDatabase(0);
  WriteSettings();
  StartCore();
  server_->Stop();
  Click();
  EXPECT_FALSE(app_ok);
  EXPECT_EQ(ui.errors().size(), 1u);
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_TRUE(ScriptLeftovers().empty());
  EXPECT_EQ(FolderFiles().size(), 2u);
}

}  // namespace
