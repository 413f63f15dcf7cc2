// What the application logic needs of its window, apart from the boxes and the
// pointer (those go through platform::user_interface()).
//
// The Qt window implements it; tests use a small fake. Texts are Windows-1254.
// Used from the user-interface thread only, except PostToUiThread, which the
// backup run's worker calls.
#pragma once

#include <functional>
#include <string>

namespace app {

class MainWindow {
 public:
  virtual ~MainWindow() = default;
  // Caption of the red database label `dblbl`.
  virtual std::string DbLabelCaption() const = 0;
  virtual void SetDbLabelCaption(const std::string& caption) = 0;
  // Paints the window at once (after the pointer changed).
  virtual void Repaint() = 0;
  // Closes the main window, which ends the program once control returns to
  // the message loop.
  virtual void Close() = 0;
  // Safe from any thread: queues task to run on the user-interface thread
  // and returns at once.
  virtual void PostToUiThread(std::function<void()> task) = 0;
  // A backup run started or ended: "YEDEK AL" is disabled and "İPTAL"
  // enabled while it runs.
  virtual void RunStateChanged(bool running) = 0;
  // The progress label's text (lines separated by "\n"; "" when idle).
  virtual void ShowProgress(const std::string& text) = 0;
};

}  // namespace app
