// The embedded browser control `webb` as the program uses it: one request of
// the notice address, which must be answered.
//
// The program uses HttpNotice (http_notice.h); tests record the addresses.
// Called by the backup run's worker thread.
#pragma once

#include <stdexcept>
#include <string>

namespace app {

class EWebBrowserError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TWebBrowser {
 public:
  virtual ~TWebBrowser() = default;
  // Requests url with an HTTP GET and returns once the server has answered
  // with a 2xx status. Throws EWebBrowserError when the address is refused
  // or the notice was not delivered.
  virtual void Navigate(const std::string& url) = 0;
};

}  // namespace app
