// The Qt implementation of the screen interface (platform/user_interface.h):
// modal boxes captioned with the program title, the archiver's
// Abort/Retry/Ignore question, the busy pointer and event processing.
// Installed by main() for the program's life. Boxes and the question may be
// asked from the backup run's worker: they are then shown by the
// user-interface thread, and the question's wait ends when the run is
// cancelled. The pointer and event processing are for the user-interface
// thread only.
#pragma once

#include "platform/user_interface.h"

namespace app {

class QtUserInterface : public platform::UserInterface {
 public:
  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  platform::FailureAnswer AskAbortRetryIgnore(const std::string& text, bool allow_retry) override;
  void SetBusyCursor(platform::BusyCursor cursor) override;
  void ProcessMessages() override;

 private:
  platform::FailureAnswer Ask(const std::string& text, bool allow_retry);
  bool cursor_overridden_ = false;
};

}  // namespace app
