// The main window's logic, `yedekalmaf` of class Tyedekalmaf without its
// widgets: the components it owns, the hidden controls as plain data, the
// start-up handler and the click handlers.
//
// Flow: construct with the window (view) and the browser -> Start() (runs
// FormCreate; false when the program must end at once) -> kaydetbtnClick on
// "YEDEK AL" (which clicks uploadbtn itself when cloud backup is on) ->
// destruction (the connection sends COM_QUIT). The Qt window
// (qt_main_window.h) owns one of these; tests drive it with a fake window,
// a fake browser and the scripted user interface. Everything runs on the
// user-interface thread.
#pragma once

#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/service_config.h"
#include "app/web_browser.h"
#include "dump/my_dump.h"
#include "ftp/net_ftp.h"
#include "mysql/my_connection.h"
#include "mysql/my_query.h"
#include "platform/text_lines.h"
#include "zip/zip_archiver.h"

namespace app {

// Texts shown to the operator (Windows-1254).
inline constexpr const char* kNoLoginFileMessage = "MySQL Login dosyas\xFD yok!";
inline constexpr const char* kSavedMessage =
    "Dosyaya ba\xFE"
    "ar\xFDyla kaydedildi...";
inline constexpr const char* kUploadedMessage =
    "Dosyaya ba\xFE"
    "ar\xFDyla buluta y\xFCklendi...";
inline constexpr const char* kLoginFileName = "ip.txt";
inline constexpr const char* kDatabaseFileName = "yedekleme.ini";

class TyedekalmafCore {
 public:
  TyedekalmafCore(MainWindow& window, TWebBrowser& browser, ServiceConfig service);
  ~TyedekalmafCore();
  TyedekalmafCore(const TyedekalmafCore&) = delete;
  TyedekalmafCore& operator=(const TyedekalmafCore&) = delete;

  // Runs FormCreate as the window framework does: an error is shown in the
  // error box and the window still comes up. False when ip.txt is missing
  // and the program must stop at once (exit code 0, no window).
  bool Start();

  // Handlers. They raise; the window runs them through run_event_handler.
  void FormCreate();
  // The backup run. A click while a run is in progress (possible through the
  // event processing before each table) is ignored.
  void kaydetbtnClick();
  // The upload of the archive named by ZipArchiver1's FileName.
  void uploadbtnClick();
  void iptalbtnClick();

  bool Running() const { return running_; }

  // Hidden text boxes (line lists).
  platform::LineList loginm{"loginm"};
  platform::LineList yedekm;
  // Cleared at the start of every run; the script itself goes straight to
  // its file instead of collecting here.
  platform::LineList Memo1{"Memo1"};

  // Components, with the window's design-time settings.
  mysql::TMyConnection baglanti;
  mysql::TMyQuery q;
  dump::TMyDump MyDump{"MyDump"};
  zip::TZipArchiver ZipArchiver1;
  mysql::TMyQuery ayarlar;
  mysql::TField* ayarlarbulutyedekleme = nullptr;
  mysql::TField* ayarlarlevhano = nullptr;
  // The client of the upload in progress; the design-time one otherwise.
  ftp::TNetFTP* NetFTP1 = nullptr;

 private:
  void RunBackup();
  void SendNotice(const std::string& archive);

  MainWindow& window_;
  TWebBrowser& webb_;
  ServiceConfig service_;
  ftp::TNetFTP design_ftp_;
  bool terminate_ = false;
  bool running_ = false;
};

}  // namespace app
