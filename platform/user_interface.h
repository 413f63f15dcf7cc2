// The screen as the program logic sees it.
//
// The application and the components talk to the operator only through this
// interface: informational and error boxes, the archiver's Abort/Retry/Ignore
// question, the busy pointer and processing of pending window events. The
// program installs its Qt implementation at start; tests install a scripted
// fake. Texts are Windows-1254. Used from the user-interface thread only.
#pragma once

#include <string>

namespace platform {

enum class FailureAnswer { kAbort, kRetry, kIgnore };
enum class BusyCursor { kDefault, kWait, kSqlWait };

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Modal box with the program title as caption, no icon, one OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  // Modal box with the program title as caption, an error icon, one OK button.
  // The text is shown as given (see error_box_text for the final "." rule).
  virtual void ShowError(const std::string& text) = 0;
  // Abort/Retry/Ignore question (Abort/Ignore when allow_retry is false).
  virtual FailureAnswer AskAbortRetryIgnore(const std::string& text, bool allow_retry) = 0;
  virtual void SetBusyCursor(BusyCursor cursor) = 0;
  virtual void ProcessMessages() = 0;
};

// The interface in use; a silent default (answers Abort, writes boxes to
// stderr) until install_user_interface is called.
UserInterface& user_interface();
// Installs ui (not owned; must outlive its use) and returns the previous one.
// nullptr reinstalls the default.
UserInterface* install_user_interface(UserInterface* ui);

// The text an error box shows for an error message: a "." is appended when the
// last character sorts after "." in byte order.
std::string error_box_text(const std::string& message);

// Sets a busy pointer for its lifetime and restores the default afterwards.
class ScopedBusyCursor {
 public:
  explicit ScopedBusyCursor(BusyCursor cursor) { user_interface().SetBusyCursor(cursor); }
  ~ScopedBusyCursor() { user_interface().SetBusyCursor(BusyCursor::kDefault); }
  ScopedBusyCursor(const ScopedBusyCursor&) = delete;
  ScopedBusyCursor& operator=(const ScopedBusyCursor&) = delete;
};

}  // namespace platform
