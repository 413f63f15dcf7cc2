// Running the real program under a private Xvfb display and steering it with
// xdotool, for the window and end-to-end tests.
//
// Flow: GuiSession gui; gui.Start(); pid = gui.Launch(program, folder);
// gui.WaitForWindow("^Yedekleme$") -> gui.Key(window, "Return") ->
// gui.WaitForExit(pid). The destructor stops what is still running.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace apptest {

class GuiSession {
 public:
  GuiSession();
  ~GuiSession();

  void Start();
  const std::string& display() const { return display_; }
  // Folder used as $XDG_CONFIG_HOME of launched programs.
  std::string config_home() const { return dir_.file("config"); }

  // Starts program with `folder` as current directory; output goes to
  // folder/program.log. `env` adds NAME=value words to its environment and
  // `prefix` (e.g. a setpriv command line) goes in front of the program.
  pid_t Launch(const std::string& program, const std::string& folder,
               const std::vector<std::string>& env = {}, const std::string& prefix = "");
  // Exit code, or -1 when the process did not end within timeout_ms (it is
  // then left running).
  int WaitForExit(pid_t pid, int timeout_ms = 10000);
  bool Running(pid_t pid);

  // Id of the first visible window whose name matches the regular
  // expression, or "" when none appears within timeout_ms.
  std::string WaitForWindow(const std::string& name_regex, int timeout_ms = 10000);
  // Ids of the visible windows matching, once there are at least `count`
  // of them (fewer when timeout_ms passes first).
  std::vector<std::string> WaitForWindows(const std::string& name_regex, size_t count,
                                          int timeout_ms = 10000);
  bool WindowVisible(const std::string& name_regex);
  // Gives the window the keyboard focus and presses key (xdotool names).
  void Key(const std::string& window, const std::string& key);
  // Screenshot of the whole screen.
  void Screenshot(const std::string& png_path);
  // The window's pixels (raw RGB), to see whether it was painted anew.
  std::string WindowPixels(const std::string& window);
  // Clicks at x/y inside the window (the first mouse button).
  void ClickAt(const std::string& window, int x, int y);

  // Runs a shell command with DISPLAY set; returns its exit code, output in *out.
  int X(const std::string& command, std::string* out = nullptr);

 private:
  testsupport::TempDir dir_;
  pid_t xvfb_ = -1;
  std::string display_;
  std::vector<pid_t> launched_;
};

}  // namespace apptest
