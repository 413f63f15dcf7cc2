// The embedded browser control `webb` as the program uses it: one request of
// an address whose answer nobody reads.
//
// The Qt program implements it with QNetworkAccessManager; tests record the
// addresses. User-interface thread only.
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
  // Starts an HTTP GET of url and returns at once; the response is ignored.
  // Throws EWebBrowserError when the address is refused.
  virtual void Navigate(const std::string& url) = 0;
};

}  // namespace app
