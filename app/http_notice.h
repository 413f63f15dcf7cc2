// The web notice as the program sends it: one HTTP GET whose answer must be
// a 2xx status within a time limit.
//
// It stands where the embedded browser control `webb` did: Navigate requests
// the address and returns once the server has answered with 2xx; it throws
// EWebBrowserError when the address is not an http:// address, the server cannot
// be reached, answers with another status, or stays silent past the limit.
// Every wait is sliced, so a raised cancel token (platform/cancel.h) ends it
// within kCancelPollMs. Used by the backup run's worker thread.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>

#include "app/web_browser.h"

namespace app {

// How long the notice may take from connect to the status line.
inline constexpr std::chrono::seconds kNoticeTimeout{30};

class HttpNotice : public TWebBrowser {
 public:
  explicit HttpNotice(std::chrono::milliseconds timeout = kNoticeTimeout) : timeout_(timeout) {}
  void Navigate(const std::string& url) override;

 private:
  std::chrono::milliseconds timeout_;
};

}  // namespace app
