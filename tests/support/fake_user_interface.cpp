#include "tests/support/fake_user_interface.h"

namespace testsupport {

FakeUserInterface::FakeUserInterface() : previous_(platform::install_user_interface(this)) {}
FakeUserInterface::~FakeUserInterface() { platform::install_user_interface(previous_); }

void FakeUserInterface::ShowMessage(const std::string& text) {
  boxes.push_back({Box::kMessage, text});
}
void FakeUserInterface::ShowError(const std::string& text) { boxes.push_back({Box::kError, text}); }

platform::FailureAnswer FakeUserInterface::AskAbortRetryIgnore(const std::string& text,
                                                               bool allow_retry) {
  boxes.push_back({Box::kQuestion, text, allow_retry});
  if (answers.empty()) return platform::FailureAnswer::kAbort;
  auto a = answers.front();
  answers.pop_front();
  return a;
}

void FakeUserInterface::SetBusyCursor(platform::BusyCursor cursor) { cursors.push_back(cursor); }
void FakeUserInterface::ProcessMessages() { ++process_messages_calls; }

std::vector<std::string> FakeUserInterface::messages() const {
  std::vector<std::string> v;
  for (const auto& b : boxes)
    if (b.kind == Box::kMessage) v.push_back(b.text);
  return v;
}
std::vector<std::string> FakeUserInterface::errors() const {
  std::vector<std::string> v;
  for (const auto& b : boxes)
    if (b.kind == Box::kError) v.push_back(b.text);
  return v;
}

}  // namespace testsupport
