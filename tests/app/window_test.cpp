// The real program under Xvfb: start without a login file, and the error box
// of the start-up handler followed by the window.
#include <gtest/gtest.h>

#include "tests/app/gui_session.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

std::string program() { return testsupport::binary_dir() + "/app/yedekalma"; }

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { gui.Start(); }
  apptest::GuiSession gui;
  testsupport::TempDir folder{"yedek-win"};
};

TEST_F(WindowTest, MissingLoginFileShowsMessageAndExitsWithoutWindow) {
  pid_t pid = gui.Launch(program(), folder.path());
  std::string box = gui.WaitForWindow("^yedekalma$");
  ASSERT_NE(box, "") << testsupport::read_all(folder.file("program.log"));
  EXPECT_FALSE(gui.WindowVisible("^Yedekleme$"));
  gui.Key(box, "Return");
  EXPECT_EQ(gui.WaitForExit(pid), 0) << testsupport::read_all(folder.file("program.log"));
}

TEST_F(WindowTest, StartUpErrorIsShownAndWindowStillAppearsThenEscCloses) {
  // A login file but no yedekleme.ini: the error box, then the window.
  testsupport::write_all(folder.file("ip.txt"), "127.0.0.1\r\nnobody\r\n");
  pid_t pid = gui.Launch(program(), folder.path());
  std::string box = gui.WaitForWindow("^yedekalma$");
  ASSERT_NE(box, "") << testsupport::read_all(folder.file("program.log"));
  EXPECT_FALSE(gui.WindowVisible("^Yedekleme$"));
  gui.Key(box, "Return");
  std::string window = gui.WaitForWindow("^Yedekleme$");
  ASSERT_NE(window, "");
  EXPECT_TRUE(gui.Running(pid));
  gui.Key(window, "Escape");
  EXPECT_EQ(gui.WaitForExit(pid), 0);
}

}  // namespace
