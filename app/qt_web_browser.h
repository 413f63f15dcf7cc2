// The browser control `webb` on Qt Network: Navigate issues one HTTP GET and
// returns at once; the reply is read by nobody and deleted when it ends.
// Owned by the main window; user-interface thread only.
#pragma once

#include <QNetworkAccessManager>

#include "app/web_browser.h"

namespace app {

class QtWebBrowser : public TWebBrowser {
 public:
  void Navigate(const std::string& url) override;

 private:
  QNetworkAccessManager manager_;
};

}  // namespace app
