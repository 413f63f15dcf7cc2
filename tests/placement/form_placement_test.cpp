// The placement store over a fake window: what a save writes, what a restore
// does with it, and how the store hangs in the window's events.
#include "placement/form_placement.h"

#include <gtest/gtest.h>

#include "placement/form_storage.h"
#include "placement/position_text.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "tests/placement/fake_window.h"
#include "tests/support/fake_user_interface.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace placement;
using placementtest::FakeWindow;
using testsupport::read_all;
using testsupport::write_all;

const char kFirstRunFile[] =
    "[Tyedekalmaf]\r\n"
    "FormVersion=0\r\n"
    "Flags=0\r\n"
    "ShowCmd=1\r\n"
    "PixelsPerInch=96\r\n"
    "MinMaxPos(1920x1080)=-1,-1,-3,-3\r\n"
    "MinMaxPos=-1,-1,-3,-3\r\n"
    "NormPos(1920x1080)=200,100,600,400\r\n"
    "NormPos=200,100,600,400\r\n"
    "Visible=0\r\n";

class FormPlacementTest : public ::testing::Test {
 protected:
  // One program run: the store is created with the window, the window is
  // shown, `use` acts on the shown window, then it is closed and destroyed.
  template <typename Use>
  void Run(FakeWindow& window, Use&& use) {
    TFormStorage store(window);
    store.IniFileName = ini_path;
    window.DoShow();
    window.visible = true;
    use(store);
    EXPECT_TRUE(window.DoCloseQuery());
    window.DoDestroy();
  }
  void Run(FakeWindow& window) {
    Run(window, [](TFormStorage&) {});
  }
  std::string Value(const char* key) {
    return platform::IniFile(ini_path).ReadString("Tyedekalmaf", key, "<missing>");
  }

  testsupport::TempDir dir;
  std::string ini_path = dir.file("yedekalma.INI");
  testsupport::FakeUserInterface ui;
};

TEST_F(FormPlacementTest, FirstRunKeepsTheDesignAndWritesEveryKeyInOrder) {
  FakeWindow window;
  const TRect designed = window.placement.normal_position;
  Run(window, [&](TFormStorage& store) {
    EXPECT_TRUE(store.Restored());
    EXPECT_EQ(window.placement.normal_position, designed);
    EXPECT_EQ(window.state, wsNormal);
    // The dialog frame's maximised position sits just off the screen.
    EXPECT_EQ(window.placement.max_position, (TPoint{-3, -3}));
  });
  EXPECT_EQ(read_all(ini_path), kFirstRunFile);  // destroy after close wrote nothing more
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FormPlacementTest, SavedOnDestroyOnlyWhenNotSavedSinceTheRestore) {
  FakeWindow window;
  {
    TFormStorage store(window);
    store.IniFileName = ini_path;
    window.DoShow();
    window.DoDestroy();  // no close query came
  }
  EXPECT_EQ(Value("Visible"), "1");

  // Never shown: never saved.
  platform::delete_file(ini_path);
  FakeWindow hidden;
  {
    TFormStorage store(hidden);
    store.IniFileName = ini_path;
    EXPECT_TRUE(hidden.DoCloseQuery());
    hidden.DoDestroy();
  }
  EXPECT_FALSE(platform::file_exists(ini_path));
}

TEST_F(FormPlacementTest, MovedDialogComesBackAtItsPositionWithItsDesignedSize) {
  FakeWindow first;
  first.position = poScreenCenter;
  Run(first, [](TFormStorage&) {});
  Run(first, [&](TFormStorage&) { first.MoveTo(100, 50); });
  EXPECT_EQ(Value("NormPos"), "100,50,500,350");
  // Another size in the file does not change a fixed-size window's size.
  platform::IniFile(ini_path).WriteString("Tyedekalmaf", "NormPos(1920x1080)", "100 50,,900,,900");

  FakeWindow next;
  next.position = poScreenCenter;
  Run(next, [&](TFormStorage&) {
    EXPECT_EQ(next.placement.normal_position, (TRect{100, 50, 500, 350}));
    EXPECT_EQ(next.position, poDesigned);  // so it is not centred again
    ASSERT_FALSE(next.applied.empty());
    EXPECT_EQ(next.applied.front().show_cmd, SW_HIDE);  // applied while still hidden
  });

  // A sizeable window takes the stored size too.
  platform::IniFile(ini_path).WriteString("Tyedekalmaf", "NormPos(1920x1080)", "10,20,710,520");
  FakeWindow sizeable;
  sizeable.border = bsSizeable;
  Run(sizeable, [&](TFormStorage&) {
    EXPECT_EQ(sizeable.placement.normal_position, (TRect{10, 20, 710, 520}));
    EXPECT_EQ(sizeable.placement.max_position, (TPoint{-4, -4}));
  });
}

TEST_F(FormPlacementTest, ScreenSpecificKeysWinAndPlainKeysServeANewScreen) {
  write_all(ini_path,
            "[Tyedekalmaf]\r\nNormPos(1920x1080)=300,30,0,0\r\nNormPos(1024x768)=\r\nNormPos=40,"
            "400,0,0\r\n");
  FakeWindow known;
  Run(known, [&](TFormStorage&) { EXPECT_EQ(known.Left(), 300); });

  write_all(ini_path,
            "[Tyedekalmaf]\r\nNormPos(1920x1080)=300,30,0,0\r\nNormPos(1024x768)=\r\nNormPos=40,"
            "400,0,0\r\n");
  FakeWindow empty_key;  // an empty screen-specific value counts as missing
  empty_key.screen_width = 1024;
  empty_key.screen_height = 768;
  Run(empty_key, [&](TFormStorage&) { EXPECT_EQ(empty_key.Left(), 40); });
  // The save at the new size adds that size's keys and keeps the others.
  EXPECT_EQ(Value("NormPos(1024x768)"), "40,400,440,700");
  EXPECT_EQ(Value("NormPos(1920x1080)"), "300,30,0,0");
}

TEST_F(FormPlacementTest, ChangedPixelsPerInchSkipsThePositionButNotTheState) {
  write_all(ini_path,
            "[Tyedekalmaf]\r\nShowCmd=3\r\nPixelsPerInch=120\r\nNormPos=10,10,410,310\r\n");
  FakeWindow window;
  const TRect designed = window.placement.normal_position;
  Run(window, [&](TFormStorage&) {
    EXPECT_EQ(window.placement.normal_position, designed);
    EXPECT_EQ(window.state, wsMaximized);
  });
  EXPECT_EQ(Value("PixelsPerInch"), "96");
}

TEST_F(FormPlacementTest, MinimisedCloseStartsMinimised) {
  FakeWindow first;
  Run(first, [&](TFormStorage&) { first.application_minimized = true; });
  EXPECT_EQ(Value("ShowCmd"), "2");

  FakeWindow next;
  Run(next, [&](TFormStorage&) {
    // The main window is shown normal and the application minimises after.
    EXPECT_EQ(next.states_set, std::vector<TWindowState>{wsNormal});
    EXPECT_EQ(next.minimize_posts, 1);
    EXPECT_EQ(next.repaints, 0);
  });
}

TEST_F(FormPlacementTest, ShowCmdGivesTheState) {
  struct Case {
    const char* show_cmd;  // nullptr: no key
    bool main_form;
    TPosition position;
    TWindowState want;
  } cases[] = {
      {"1", false, poDesigned, wsNormal},
      {"5", false, poDesigned, wsNormal},
      {"9", false, poDesigned, wsNormal},
      {"2", false, poDesigned, wsMinimized},
      {"6", false, poDesigned, wsMinimized},
      {"7", false, poDesigned, wsMinimized},
      {"3", true, poDesigned, wsMaximized},
      {"3", false, poDesigned, wsMaximized},
      {"4", true, poDesigned, wsNormal},
      {"x", true, poDesigned, wsNormal},
      {nullptr, true, poDesigned, wsNormal},
      // A main window placed by default opens maximised unless told otherwise.
      {nullptr, true, poDefault, wsMaximized},
      {"0", true, poDefault, wsMaximized},
      {"1", true, poDefault, wsNormal},
      {nullptr, false, poDefault, wsNormal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.show_cmd ? c.show_cmd : "(none)") +
                 (c.main_form ? " main" : " other") + " position " + std::to_string(c.position));
    write_all(ini_path,
              c.show_cmd ? std::string("[Tyedekalmaf]\r\nShowCmd=") + c.show_cmd + "\r\n" : "");
    FakeWindow window;
    window.main_form = c.main_form;
    window.position = c.position;
    TFormStorage store(window);
    store.IniFileName = ini_path;
    window.DoShow();
    EXPECT_EQ(window.state, c.want);
    EXPECT_EQ(window.minimize_posts, 0);
  }
}

TEST_F(FormPlacementTest, OlderFormVersionIsNotRestoredButStillSaved) {
  write_all(ini_path, "[Tyedekalmaf]\r\nFormVersion=1\r\nNormPos=10,10,410,310\r\nShowCmd=3\r\n");
  FakeWindow window;
  int restores = 0, saves = 0;
  Run(window, [&](TFormStorage& store) {
    store.Version = 2;  // set too late for this show: restore again
    store.OnRestorePlacement = [&] { ++restores; };
    store.OnSavePlacement = [&] { ++saves; };
    window.visible = false;
    store.LoadPlacement();
    EXPECT_EQ(window.Left(), 10);  // from the first show, at version 0
    EXPECT_EQ(restores, 0);
  });
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(Value("FormVersion"), "2");
}

TEST_F(FormPlacementTest, EventChaining) {
  FakeWindow window;
  std::vector<std::string> calls;
  bool allow_close = true;
  window.OnShow = [&] { calls.push_back("show:" + std::to_string(window.Left())); };
  window.OnCloseQuery = [&](bool& can_close) {
    calls.push_back("closequery");
    can_close = allow_close;
  };
  window.OnDestroy = [&] {
    calls.push_back("destroy:" + std::to_string(platform::file_exists(ini_path)));
  };
  write_all(ini_path, "[Tyedekalmaf]\r\nNormPos=7,8,9,10\r\n");
  {
    TFormStorage store(window);
    store.IniFileName = ini_path;
    store.OnSavePlacement = [&] { calls.push_back("saved"); };
    window.DoShow();  // restores first, then the previous handler sees the result
    window.visible = true;
    allow_close = false;
    EXPECT_FALSE(window.DoCloseQuery());  // refused by the previous handler: no save
    allow_close = true;
    store.Active = false;
    EXPECT_TRUE(window.DoCloseQuery());  // inactive: no save
    store.Active = true;
    platform::delete_file(ini_path);
    window.DoDestroy();  // saves first (nothing saved yet), then the previous handler
  }
  EXPECT_EQ(calls,
            (std::vector<std::string>{"show:7", "closequery", "closequery", "saved", "destroy:1"}));

  // The store gone, the window's own handlers are back in place.
  calls.clear();
  window.DoShow();
  window.DoDestroy();
  EXPECT_EQ(calls, (std::vector<std::string>{"show:7", "destroy:1"}));

  // A handler chained after the store that outlives it calls only what came before.
  calls.clear();
  TNotifyEvent kept;
  {
    TFormStorage store(window);
    kept = window.OnShow;
  }
  kept();
  EXPECT_EQ(calls, std::vector<std::string>{"show:7"});
}

TEST_F(FormPlacementTest, RefusedWriteIsShownAndTheWindowStillCloses) {
  write_all(dir.file("not-a-folder"), "");
  FakeWindow window;
  TFormStorage store(window);
  store.IniFileName = dir.file("not-a-folder/yedekalma.INI");
  window.DoShow();
  EXPECT_TRUE(window.DoCloseQuery());
  EXPECT_EQ(ui.errors(), std::vector<std::string>{"Unable to write to " + store.IniFileName + "."});
  EXPECT_THROW(store.StorePlacement(), platform::EIniFileException);
}

TEST(PositionText, Words) {
  const PositionWords defaults{-1, -2, -3, -4};
  struct Case {
    const char* text;
    PositionWords want;
  } cases[] = {
      {"10 20,30,,40", {10, 20, 30, 40}},
      {"1,2,3,4", {1, 2, 3, 4}},
      {" ,, 5  6 , 7,8,9", {5, 6, 7, 8}},  // separators lead; a fifth word is ignored
      {"-32000,-32000,-4,-4", {-32000, -32000, -4, -4}},
      {"10,20", {10, 20, -3, -4}},  // missing words keep the defaults
      {"", {-1, -2, -3, -4}},
      {"a,20,3x,40", {-1, 20, -3, 40}},    // words that are not numbers too
      {"1;2,3", {-1, 3, -3, -4}},          // ';' is no separator
      {"99999999999,1", {-1, 1, -3, -4}},  // out of range
      {"$10,0x10", {16, 16, -3, -4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_position(c.text, defaults), c.want);
  }
  EXPECT_EQ(format_position({-1, 0, 1920, 1080}), "-1,0,1920,1080");
  EXPECT_EQ(screen_key("NormPos", 1920, 1080), "NormPos(1920x1080)");
}

TEST(DefaultIniFileName, ProgramNameWithIni) {
  EXPECT_EQ(default_ini_file_name("yedekalma"), "yedekalma.INI");
  EXPECT_EQ(default_ini_file_name("/opt/yedek/yedekalma.exe"), "yedekalma.INI");
  EXPECT_EQ(default_ini_file_name("C:\\Program\\yedek.alma.exe"), "yedek.alma.INI");
}

}  // namespace
