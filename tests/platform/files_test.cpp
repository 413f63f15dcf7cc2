#include "platform/files.h"

#include <gtest/gtest.h>

#include "platform/user_interface.h"
#include "tests/support/expect_throw.h"

using namespace platform;

TEST(Files, MissingFileMessage) {
  testsupport::expect_throw<EFOpenError>(
      [] { read_file("/nonexistent-yedek/ip.txt"); },
      "Cannot open file \"/nonexistent-yedek/ip.txt\". The system cannot find the file specified");
}

TEST(Files, ProgramTitleAndErrorBoxText) {
  EXPECT_EQ(program_title_of("/opt/x/YEDEKALMA.EXE"), "Yedekalma");
  EXPECT_EQ(program_title_of("yedekalma"), "yedekalma");
  EXPECT_EQ(program_title_of("a.b.c"), "a");
  EXPECT_EQ(error_box_text("Connection lost"), "Connection lost.");
  EXPECT_EQ(error_box_text("done."), "done.");
  EXPECT_EQ(error_box_text("x!"), "x!");
  EXPECT_EQ(error_box_text("(1)"), "(1)");
  EXPECT_EQ(error_box_text("dosyas\xFD"), "dosyas\xFD.");
}
