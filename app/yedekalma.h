// The main window's logic, `yedekalmaf` of class Tyedekalmaf without its
// widgets: the components it owns, the hidden controls as plain data, the
// start-up handler and the click handlers.
//
// Flow: construct with the window (view) -> Start() (runs FormCreate; returns
// false when the program must end at once) -> handlers on clicks ->
// destruction (closes the connection). The Qt window (qt_main_window.h) owns
// one of these; tests drive it with a fake window and the scripted user
// interface. Everything runs on the user-interface thread.
#pragma once

#include <string>

#include "app/main_window.h"
#include "app/service_config.h"
#include "platform/text_lines.h"

namespace app {

// "MySQL Login dosyası yok!" (Windows-1254, dotless i 0xFD)
inline constexpr const char* kNoLoginFileMessage = "MySQL Login dosyas\xFD yok!";
inline constexpr const char* kLoginFileName = "ip.txt";
inline constexpr const char* kDatabaseFileName = "yedekleme.ini";

class TyedekalmafCore {
 public:
  TyedekalmafCore(MainWindow& window, ServiceConfig service);
  ~TyedekalmafCore();
  TyedekalmafCore(const TyedekalmafCore&) = delete;
  TyedekalmafCore& operator=(const TyedekalmafCore&) = delete;

  // Runs FormCreate as the window framework does: an error is shown in the
  // error box and the window still comes up. False when ip.txt is missing
  // and the program must stop at once (exit code 0, no window).
  bool Start();

  // Handlers. They raise; the window runs them through run_event_handler.
  void FormCreate();
  void iptalbtnClick();

  // Hidden text boxes (line lists).
  platform::LineList loginm{"loginm"};
  platform::LineList yedekm;
  platform::LineList Memo1{"Memo1"};

 private:
  MainWindow& window_;
  ServiceConfig service_;
  bool terminate_ = false;
};

}  // namespace app
