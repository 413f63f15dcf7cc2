#include "platform/user_interface.h"

#include <cstdio>

#include "platform/codepage.h"

namespace platform {
namespace {

class SilentUserInterface : public UserInterface {
 public:
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "%s\n", ansi_to_utf8(text).c_str());
  }
  void ShowError(const std::string& text) override {
    std::fprintf(stderr, "error: %s\n", ansi_to_utf8(text).c_str());
  }
  FailureAnswer AskAbortRetryIgnore(const std::string& text, bool) override {
    std::fprintf(stderr, "question (answered Abort): %s\n", ansi_to_utf8(text).c_str());
    return FailureAnswer::kAbort;
  }
  void SetBusyCursor(BusyCursor) override {}
  void ProcessMessages() override {}
};

SilentUserInterface g_silent;
UserInterface* g_current = &g_silent;

}  // namespace

UserInterface& user_interface() { return *g_current; }

UserInterface* install_user_interface(UserInterface* ui) {
  UserInterface* old = g_current;
  g_current = ui ? ui : &g_silent;
  return old == &g_silent ? nullptr : old;
}

std::string error_box_text(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace platform
