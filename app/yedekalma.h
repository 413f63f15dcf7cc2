// The main window's logic, `yedekalmaf` of class Tyedekalmaf without its
// widgets: the components it owns, the hidden controls as plain data, the
// start-up handler and the click handlers.
//
// Flow: construct with the window (view) and the browser -> Start() (runs
// FormCreate; false when the program must end at once) -> kaydetbtnClick on
// "YEDEK AL" starts the backup run on a worker thread -> progress reaches the
// window through PostToUiThread -> the worker's end is delivered on the
// user-interface thread (FinishRun: the message or error box) -> destruction
// (cancels and joins a run still going; the connection sends COM_QUIT).
// The Qt window (qt_main_window.h) owns one of these; tests drive it with a
// fake window, a fake browser and the scripted user interface.
//
// Threads: the public methods are for the user-interface thread. While a run
// is going the connection, the datasets, the dump component and the archiver
// belong to the worker; the user-interface thread reads only the progress
// board and raises the cancel token.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/backup_progress.h"
#include "app/main_window.h"
#include "app/run_texts.h"
#include "app/service_config.h"
#include "app/web_browser.h"
#include "dump/my_dump.h"
#include "ftp/net_ftp.h"
#include "mysql/my_connection.h"
#include "mysql/my_query.h"
#include "platform/cancel.h"
#include "platform/text_lines.h"
#include "zip/zip_archiver.h"

namespace zip {
class StreamedArchive;
}

namespace app {

class ScriptFile;

// Texts shown to the operator (Windows-1254).
inline constexpr const char* kNoLoginFileMessage = "MySQL Login dosyas\xFD yok!";
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
  // "YEDEK AL": checks the database name (EBadDatabaseName before anything
  // is written) and starts the backup run on the worker thread. A click while
  // a run is going is ignored.
  void kaydetbtnClick();
  // The upload of the archive named by ZipArchiver1's FileName (worker).
  void uploadbtnClick();
  void iptalbtnClick();

  // "İPTAL": asks the run to stop; its end is delivered as usual, with the
  // message "Yedekleme iptal edildi.".
  void CancelRun();
  // The window is closing: cancels the run and shows no box for the
  // cancellation itself (a run that ended otherwise still reports).
  void CancelRunForClose();
  // Blocks until the worker has ended and delivers its outcome now. For
  // tests and shutdown; the window relies on the posted delivery instead.
  void WaitForRun();
  bool Running() const { return running_; }
  RunProgress Progress() const { return board_.Snapshot(); }
  // Shows the board's current text in the window (user-interface thread).
  void RefreshProgress();

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
  // What the worker hands back: the box to show when the run has ended.
  struct RunOutcome {
    enum Kind { kNone, kMessage, kError } kind = kNone;
    std::string text;
    bool cancelled = false;
  };

  void WorkerMain(const std::string& db);
  void FinishRun();
  // Runs task on the user-interface thread unless this core is gone by then.
  void Post(std::function<void()> task);
  // Worker: tells the window about progress, at most a few times a second.
  void NotifyProgress();

  // The run's steps, in order, on the worker. RunBackup returns the success
  // message.
  std::string RunBackup(const std::string& db);
  struct ListedTable {
    std::string name;  // UTF-8, exactly as the server lists it
    bool view = false;
  };
  std::vector<ListedTable> ListTables(const std::string& db);
  // Returns what the dump left out (objects the account may not read).
  std::vector<dump::LeftOutObject> DumpTables(const std::vector<ListedTable>& tables,
                                              ScriptFile& script,
                                              const zip::StreamedArchive& archive);
  // Finishes and checks the archive built under `temp`, then gives it its name.
  void MakeArchive(zip::StreamedArchive& zipped, const std::string& temp,
                   const std::string& archive);
  // Runs a step of the archive; its failures become EArchiveNotMade naming
  // `archive`.
  void GuardArchive(const std::string& temp, const std::string& archive,
                    const std::function<void()>& step);
  bool ReadSettings(const std::string& archive_path);
  void UploadArchive(const std::string& archive_path);
  void NoticeArchive(const std::string& archive_path, const std::string& archive);
  void SendNotice(const std::string& archive);
  // Progress of the upload (bytes sent of the archive's size), from the FTP
  // client's progress event on the worker; throws ECancelled once the run
  // is cancelled, which ends the transfer.
  void UploadWork(std::uint64_t sent, std::uint64_t total);

  MainWindow& window_;
  TWebBrowser& webb_;
  ServiceConfig service_;
  ftp::TNetFTP design_ftp_;
  bool terminate_ = false;

  // Run state (user-interface thread, except where noted).
  bool running_ = false;
  bool quiet_cancel_ = false;
  std::thread worker_;
  platform::CancelToken cancel_;
  ProgressBoard board_;  // any thread
  std::mutex outcome_mutex_;
  RunOutcome outcome_;  // written by the worker as its last act
  // Full path of the archive once it is complete (worker).
  std::string archive_done_path_;
  // Posted tasks hold a weak reference: they do nothing once the core is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace app
