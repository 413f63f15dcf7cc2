// The real program under Xvfb over a slow link: a throttled relay between
// the program and a private MariaDB makes the run last several seconds. The
// window must keep painting fresh progress, "İPTAL" and closing the window
// must end the run cleanly, and an install in a root-owned folder must work
// for an ordinary user. Boxes are read from the program's log, where every
// box's text is written too.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/backup_names.h"
#include "tests/app/gui_session.h"
#include "tests/app/sample_database.h"
#include "tests/app/throttled_proxy.h"
#include "tests/support/mariadb_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::read_all;
using testsupport::write_all;

const std::string kDb = "yavas";
// Script bytes per second through the relay: the big table below takes
// about ten seconds.
constexpr int kRate = 200 * 1024;

std::string program() { return testsupport::binary_dir() + "/app/yedekalma"; }

// Lines of the program's log that report boxes.
std::string boxes(const std::string& log) {
  std::string out;
  size_t at = 0;
  while (at < log.size()) {
    size_t end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(at, end - at);
    if (line.rfind("message: ", 0) == 0 || line.rfind("error: ", 0) == 0) out += line + "\n";
    at = end + 1;
  }
  return out;
}

class SlowLink : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new testsupport::MariaDbServer;
    server_->Start();
    server_->Sql(apptest::sample_database_sql(kDb, 0, "34ABC123"));
    server_->Sql(
        "CREATE TABLE buyuk (id INT PRIMARY KEY, t VARCHAR(200)) CHARACTER SET latin5;"
        "INSERT INTO buyuk SELECT seq, REPEAT('yedek', 20) FROM seq_1_to_20000",
        kDb);
  }
  static void TearDownTestSuite() { delete server_; }

  void SetUp() override {
    proxy_address = testsupport::private_loopback_address(31);
    // 127.0.0.77 belongs to the end-to-end test's servers.
    if (proxy_address == "127.0.0.77") proxy_address = testsupport::private_loopback_address(32);
    proxy = std::make_unique<apptest::ThrottledProxy>(proxy_address, 3306, "127.0.0.1",
                                                      server_->port(), kRate);
    proxy->Start();
    gui.Start();
    write_all(folder.file("ip.txt"), proxy_address + "\r\n" + testsupport::MariaDbServer::kUser +
                                         "\r\n" + testsupport::MariaDbServer::kPassword + "\r\n");
    write_all(folder.file("yedekleme.ini"), kDb + "\r\n");
    archive = app::archive_name(kDb, app::local_now());
  }

  // Starts the program and presses "YEDEK AL"; returns the window.
  std::string StartRun(const std::string& where, const std::vector<std::string>& env = {},
                       const std::string& prefix = "") {
    pid = gui.Launch(program(), where, env, prefix);
    std::string window = gui.WaitForWindow("^Yedekleme$", 20000);
    EXPECT_NE(window, "") << read_all(where + "/program.log");
    if (!window.empty()) gui.Key(window, "Return");
    return window;
  }
  // Files in the working folder other than the settings and the log.
  std::vector<std::string> Leftovers(const std::string& where) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(where)) {
      std::string n = e.path().filename();
      if (n != "ip.txt" && n != "yedekleme.ini" && n != "program.log") names.push_back(n);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  static testsupport::MariaDbServer* server_;
  std::string proxy_address;
  std::unique_ptr<apptest::ThrottledProxy> proxy;
  apptest::GuiSession gui;
  testsupport::TempDir folder{"yedek-slow"};
  testsupport::TempDir tmp{"yedek-slowtmp"};  // the program's TMPDIR
  std::string archive;
  pid_t pid = -1;
};

testsupport::MariaDbServer* SlowLink::server_ = nullptr;

TEST_F(SlowLink, WindowRepaintsProgressAndCancelLeavesNothingBehind) {
  write_all(folder.file(archive), "earlier archive");
  std::string window = StartRun(folder.path(), {"TMPDIR=" + tmp.path()});
  ASSERT_NE(window, "");
  std::this_thread::sleep_for(2500ms);
  const std::string first = gui.WindowPixels(window);
  std::this_thread::sleep_for(1500ms);
  const std::string second = gui.WindowPixels(window);
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first, second) << "the window did not paint new progress";
  EXPECT_TRUE(gui.Running(pid));
  EXPECT_EQ(boxes(read_all(folder.file("program.log"))), "");  // still running

  gui.ClickAt(window, 200, 184);  // "İPTAL"
  std::string box = gui.WaitForWindow("^yedekalma$", 10000);
  ASSERT_NE(box, "") << read_all(folder.file("program.log"));
  EXPECT_EQ(boxes(read_all(folder.file("program.log"))), "message: Yedekleme iptal edildi.\n");
  EXPECT_EQ(read_all(folder.file(archive)), "earlier archive");
  EXPECT_EQ(Leftovers(folder.path()), (std::vector<std::string>{archive}));
  EXPECT_TRUE(fs::is_empty(tmp.path()));
  gui.Key(box, "Return");
  gui.Key(window, "Escape");
  EXPECT_EQ(gui.WaitForExit(pid), 0);
}

TEST_F(SlowLink, ClosingDuringRunAsksThenCancelsAndCloses) {
  std::string window = StartRun(folder.path(), {"TMPDIR=" + tmp.path()});
  ASSERT_NE(window, "");
  std::this_thread::sleep_for(2000ms);
  gui.Key(window, "Escape");
  std::string question = gui.WaitForWindow("^yedekalma$", 10000);
  ASSERT_NE(question, "");
  EXPECT_TRUE(gui.Running(pid));
  gui.Key(question, "alt+y");
  EXPECT_EQ(gui.WaitForExit(pid, 10000), 0) << read_all(folder.file("program.log"));
  EXPECT_EQ(boxes(read_all(folder.file("program.log"))), "");
  EXPECT_TRUE(Leftovers(folder.path()).empty());
  EXPECT_TRUE(fs::is_empty(tmp.path()));
}

TEST_F(SlowLink, StalledServerEndsInCancelWhileTheWindowStaysUsable) {
  // The server stops sending mid-result: the window keeps painting its
  // clock, and İPTAL ends the wait.
  std::string window = StartRun(folder.path(), {"TMPDIR=" + tmp.path()});
  ASSERT_NE(window, "");
  std::this_thread::sleep_for(1500ms);
  proxy->Stall(true);
  std::this_thread::sleep_for(1200ms);
  const std::string first = gui.WindowPixels(window);
  std::this_thread::sleep_for(1200ms);
  EXPECT_NE(first, gui.WindowPixels(window)) << "the elapsed time stopped with the server";
  gui.ClickAt(window, 200, 184);
  std::string box = gui.WaitForWindow("^yedekalma$", 10000);
  ASSERT_NE(box, "") << read_all(folder.file("program.log"));
  EXPECT_EQ(boxes(read_all(folder.file("program.log"))), "message: Yedekleme iptal edildi.\n");
  EXPECT_TRUE(Leftovers(folder.path()).empty());
  gui.Key(box, "Return");
  gui.Key(window, "Escape");
  EXPECT_EQ(gui.WaitForExit(pid), 0);
}

TEST_F(SlowLink, TwoCopiesBackingUpOneDatabaseAtOnceBothSucceed) {
  // Two windows, one database, one temporary folder, over the slow link so
  // the runs overlap; each copy works in its own folder.
  testsupport::TempDir other("yedek-slow2");
  for (const char* f : {"ip.txt", "yedekleme.ini"}) fs::copy_file(folder.file(f), other.file(f));
  pid_t first_pid = gui.Launch(program(), folder.path(), {"TMPDIR=" + tmp.path()});
  pid_t second_pid = gui.Launch(program(), other.path(), {"TMPDIR=" + tmp.path()});
  std::vector<std::string> windows = gui.WaitForWindows("^Yedekleme$", 2, 60000);
  ASSERT_EQ(windows.size(), 2u);
  for (const auto& w : windows) gui.Key(w, "Return");
  std::vector<std::string> done = gui.WaitForWindows("^yedekalma$", 2, 60000);
  ASSERT_EQ(done.size(), 2u) << read_all(folder.file("program.log"))
                             << read_all(other.file("program.log"));
  for (const auto* where : {&folder, &other}) {
    const std::string zip = where->file(archive);
    EXPECT_EQ(boxes(read_all(where->file("program.log"))),
              "message: Dosyaya başarıyla kaydedildi...|" + zip + "\n");
    EXPECT_EQ(testsupport::run_shell("unzip -tq " + testsupport::shell_quote(zip) + " >/dev/null"),
              0);
  }
  EXPECT_TRUE(fs::is_empty(tmp.path()));
  for (const auto& b : done) gui.Key(b, "Return");
  for (const auto& w : windows) gui.Key(w, "Escape");
  EXPECT_EQ(gui.WaitForExit(first_pid), 0);
  EXPECT_EQ(gui.WaitForExit(second_pid), 0);
}

TEST_F(SlowLink, RootOwnedInstallWorksForAnOrdinaryUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to install as root and run as another user";
  proxy->Stop();  // full speed for this one
  proxy = std::make_unique<apptest::ThrottledProxy>(proxy_address, 3306, "127.0.0.1",
                                                    server_->port(), 64 * 1024 * 1024);
  proxy->Start();
  // The program in a root-owned folder nobody else may write; the user's
  // own folder holds the settings, the archive and the temporary files.
  testsupport::TempDir install("yedek-install");
  ASSERT_EQ(::chmod(install.path().c_str(), 0755), 0);
  fs::copy_file(program(), install.file("yedekalma"));
  testsupport::TempDir user_home("yedek-nobody");
  ASSERT_EQ(::chmod(user_home.path().c_str(), 0755), 0);
  const std::string work = user_home.file("is");
  const std::string user_tmp = user_home.file("tmp");
  for (const std::string& d : {work, user_tmp, user_home.file("config"), user_home.file("run")}) {
    fs::create_directory(d);
    ASSERT_EQ(::chown(d.c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(::chmod(user_home.file("run").c_str(), 0700), 0);  // as Qt wants it
  for (const char* f : {"ip.txt", "yedekleme.ini"}) {
    fs::copy_file(folder.file(f), work + "/" + f);
    ASSERT_EQ(::chown((work + "/" + f).c_str(), 65534, 65534), 0);
  }
  std::string window =
      StartRun(work,
               {"TMPDIR=" + user_tmp, "XDG_CONFIG_HOME=" + user_home.file("config"),
                "XDG_RUNTIME_DIR=" + user_home.file("run")},
               "setpriv --reuid=65534 --regid=65534 --clear-groups");
  ASSERT_NE(window, "");
  std::string box = gui.WaitForWindow("^yedekalma$", 60000);
  ASSERT_NE(box, "") << read_all(work + "/program.log");
  EXPECT_EQ(boxes(read_all(work + "/program.log")),
            "message: Dosyaya başarıyla kaydedildi...|" + work + "/" + archive + "\n");
  struct stat info {};
  ASSERT_EQ(::stat((work + "/" + archive).c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 65534u);
  EXPECT_EQ(
      testsupport::shell_output("unzip -Z1 " + testsupport::shell_quote(work + "/" + archive)),
      app::script_file_name(kDb, app::local_now()) + "\n");
  EXPECT_EQ(Leftovers(user_tmp), std::vector<std::string>{});
  EXPECT_EQ(Leftovers(install.path()), (std::vector<std::string>{"yedekalma"}));
  gui.Key(box, "Return");
  gui.Key(window, "Escape");
  EXPECT_EQ(gui.WaitForExit(pid), 0);
}

}  // namespace
