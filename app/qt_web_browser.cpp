// Fire-and-forget GET requests for the web notice.
#include "app/qt_web_browser.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace app {

void QtWebBrowser::Navigate(const std::string& url) {
  QUrl address(QString::fromUtf8(url), QUrl::StrictMode);
  if (!address.isValid() || address.scheme() != QLatin1String("http") || address.host().isEmpty())
    throw EWebBrowserError("The address \"" + url + "\" cannot be opened");
  QNetworkReply* reply = manager_.get(QNetworkRequest(address));
  QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}

}  // namespace app
