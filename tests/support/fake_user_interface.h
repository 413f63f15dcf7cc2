// Scripted stand-in for the screen: records every box and answers the
// archiver's question from a queue.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/user_interface.h"

namespace testsupport {

class FakeUserInterface : public platform::UserInterface {
 public:
  struct Box {
    enum Kind { kMessage, kError, kQuestion } kind;
    std::string text;  // Windows-1254, as passed
    bool allow_retry = false;
  };

  // Installs itself for its lifetime.
  FakeUserInterface();
  ~FakeUserInterface() override;

  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  platform::FailureAnswer AskAbortRetryIgnore(const std::string& text, bool allow_retry) override;
  void SetBusyCursor(platform::BusyCursor cursor) override;
  void ProcessMessages() override;

  // Answers for coming questions, in order; Abort when the queue is empty.
  std::deque<platform::FailureAnswer> answers;
  std::vector<Box> boxes;
  std::vector<platform::BusyCursor> cursors;
  int process_messages_calls = 0;

  std::vector<std::string> messages() const;
  std::vector<std::string> errors() const;

 private:
  platform::UserInterface* previous_;
};

}  // namespace testsupport
