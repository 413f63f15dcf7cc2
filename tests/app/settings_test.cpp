// Settings-file line rules and the start-up handler's file handling, over
// app_core with the scripted user interface.
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/settings_file.h"
#include "app/yedekalma.h"
#include "tests/app/fake_window.h"
#include "tests/support/fake_user_interface.h"
#include "tests/support/temp_dir.h"

namespace {

struct LineCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> first_three;
};

TEST(SettingsFile, LineRules) {
  const std::string long_line(5000, 'x');
  const LineCase cases[] = {
      {"crlf", "srv\r\nuser\r\npw\r\n", {"srv", "user", "pw"}},
      {"lone lf", "srv\nuser\npw\n", {"srv", "user", "pw"}},
      {"lone cr", "srv\ruser\rpw", {"srv", "user", "pw"}},
      {"two lines: empty password", "srv\r\nuser\r\n", {"srv", "user", ""}},
      {"one line", "srv", {"srv", "", ""}},
      {"empty file", "", {"", "", ""}},
      {"spaces kept", " srv\r\nuser \r\n", {" srv", "user ", ""}},
      {"utf-8 mark kept", "\xEF\xBB\xBFsrv\r\n", {"\xEF\xBB\xBFsrv", "", ""}},
      {"zero byte ends text", std::string("srv\r\nus\0er\r\npw", 14), {"srv", "us", ""}},
      {"windows-1254 bytes", "veritaban\xFD\r\n\xFE\xF0", {"veritaban\xFD", "\xFE\xF0", ""}},
      {"long line cut", long_line + "\r\nuser", {std::string(4096, 'x'), "user", ""}},
  };
  testsupport::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::write_all(dir.file("ip.txt"), c.bytes);
    auto lines = app::read_settings_file(dir.file("ip.txt"));
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(app::settings_line(lines, i), c.first_three[i]);
  }
}

class StartUp : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(old_cwd_, sizeof old_cwd_), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(chdir(old_cwd_), 0); }

  testsupport::TempDir dir;
  testsupport::FakeUserInterface ui;
  apptest::FakeWindow window;
  apptest::FakeBrowser browser;
  char old_cwd_[4096];
};

TEST_F(StartUp, MissingLoginFileShowsMessageAndEndsTheProgram) {
  app::TyedekalmafCore core(window, browser, {});
  EXPECT_FALSE(core.Start());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, testsupport::FakeUserInterface::Box::kMessage);
  EXPECT_EQ(ui.boxes[0].text, "MySQL Login dosyas\xFD yok!");
  EXPECT_EQ(window.caption, "---");
}

TEST_F(StartUp, MissingDatabaseFileIsAnErrorBoxAndTheWindowStillComes) {
  testsupport::write_all(dir.file("ip.txt"), "127.0.0.1\r\nu\r\np\r\n");
  app::TyedekalmafCore core(window, browser, {});
  EXPECT_TRUE(core.Start());
  ASSERT_EQ(ui.errors().size(), 1u);
  EXPECT_EQ(ui.errors()[0], "Cannot open file \"" + dir.path() +
                                "/yedekleme.ini\". The system cannot find the file specified.");
  EXPECT_EQ(window.caption, "---");
  EXPECT_EQ(core.loginm, (platform::LineList{"127.0.0.1", "u", "p"}));
}

}  // namespace
