// The window framework's handling of errors that leave an event handler.
//
// Every handler of the main window runs through run_event_handler: an error
// that escapes it is shown in the error box (program-title caption, error
// icon, the message with a final "." when its last character sorts after "."),
// a silent abort shows nothing, and the program keeps running.
#pragma once

#include <functional>
#include <stdexcept>

namespace app {

// The silent error kind: leaves a handler without any box.
class EAbort : public std::runtime_error {
 public:
  EAbort() : std::runtime_error("Operation aborted") {}
};

// Runs handler; returns false when an error left it (and was shown).
bool run_event_handler(const std::function<void()>& handler);

}  // namespace app
