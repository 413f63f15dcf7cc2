// Start-up and close of the main window.
#include "app/yedekalma.h"

#include "app/event_handler.h"
#include "app/settings_file.h"
#include "platform/files.h"
#include "platform/user_interface.h"

namespace app {

TyedekalmafCore::TyedekalmafCore(MainWindow& window, ServiceConfig service)
    : window_(window), service_(std::move(service)) {}

TyedekalmafCore::~TyedekalmafCore() = default;

bool TyedekalmafCore::Start() {
  terminate_ = false;
  run_event_handler([this] { FormCreate(); });
  return !terminate_;
}

void TyedekalmafCore::FormCreate() {
  // 1. Without a login file there is nothing to do.
  if (!platform::file_exists(kLoginFileName)) {
    platform::user_interface().ShowMessage(kNoLoginFileMessage);
    terminate_ = true;
    return;
  }
  // 2-3. Server, user name and password from ip.txt.
  loginm = read_settings_file(kLoginFileName);
  std::string server = settings_line(loginm, 0);
  std::string username = settings_line(loginm, 1);
  std::string password = settings_line(loginm, 2);
  // 4-6. The database name goes through the label, as the operator sees it.
  yedekm = read_settings_file(kDatabaseFileName);
  window_.SetDbLabelCaption(settings_line(yedekm, 0));
  std::string database = window_.DbLabelCaption();
  // 7. Connect.
  (void)server;
  (void)username;
  (void)password;
  (void)database;
}

void TyedekalmafCore::iptalbtnClick() { window_.Close(); }

}  // namespace app
