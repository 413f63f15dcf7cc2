// The backup run behind "YEDEK AL", on a worker thread: the table list, one
// dump per table streamed into a script in a private temporary folder, the
// archive built under a temporary name, read back and renamed, the settings
// table, the optional upload and notice, and the message that tells how it
// ended. The user-interface thread starts the worker, may raise the cancel
// token, and shows the outcome once the worker has ended.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>

#include "app/backup_names.h"
#include "app/event_handler.h"
#include "app/script_file.h"
#include "app/yedekalma.h"
#include "mysql/consistent_snapshot.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/user_interface.h"
#include "zip/entry_stream.h"

namespace app {
namespace {

// Raised when the archive could not be made or does not hold the script
// complete; names the archive, never the temporary file it is built in.
class EArchiveNotMade : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised when a listed table or view did not reach the script: the dump took
// a table for a view (SHOW TABLE STATUS gives no engine for a damaged table)
// or wrote nothing for it, and did not report it left out.
class ETableMissing : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Every occurrence of `from` in text replaced by `to`.
std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Deletes the temporary archive unless the run got to rename it.
class TempArchive {
 public:
  explicit TempArchive(std::string path) : path_(std::move(path)) {}
  ~TempArchive() {
    if (!path_.empty()) platform::delete_file(path_);
  }
  TempArchive(const TempArchive&) = delete;
  TempArchive& operator=(const TempArchive&) = delete;
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

// The temporary name of an archive being made: unique to the process and
// the run, so two runs never share it.
std::string temp_archive_name(const std::string& archive) {
  static std::atomic<unsigned> runs{0};
  return "~" + archive + "." + std::to_string(::getpid()) + "-" + std::to_string(++runs) + ".tmp";
}

}  // namespace

// ---- the user-interface side ------------------------------------------------

void TyedekalmafCore::kaydetbtnClick() {
  if (running_) return;
  const std::string db = window_.DbLabelCaption();
  check_database_name(db);
  if (worker_.joinable()) worker_.join();  // a run whose end is still on its way
  running_ = true;
  quiet_cancel_ = false;
  cancel_.Reset();
  board_.Begin();
  {
    std::lock_guard lock(outcome_mutex_);
    outcome_ = RunOutcome{};
  }
  platform::user_interface().SetBusyCursor(platform::BusyCursor::kSqlWait);
  window_.RunStateChanged(true);
  RefreshProgress();
  worker_ = std::thread([this, db] { WorkerMain(db); });
}

void TyedekalmafCore::CancelRun() {
  if (running_) cancel_.Cancel();
}

void TyedekalmafCore::CancelRunForClose() {
  if (!running_) return;
  quiet_cancel_ = true;
  cancel_.Cancel();
}

void TyedekalmafCore::WaitForRun() {
  if (worker_.joinable()) worker_.join();
  FinishRun();
}

void TyedekalmafCore::RefreshProgress() { window_.ShowProgress(progress_text(board_.Snapshot())); }

void TyedekalmafCore::Post(std::function<void()> task) {
  std::weak_ptr<bool> alive = alive_;
  window_.PostToUiThread([alive, task = std::move(task)] {
    if (alive.lock()) task();
  });
}

void TyedekalmafCore::NotifyProgress() {
  if (board_.ShouldNotify()) Post([this] { RefreshProgress(); });
}

void TyedekalmafCore::FinishRun() {
  if (!running_) return;
  if (worker_.joinable()) worker_.join();
  running_ = false;
  RunOutcome outcome;
  {
    std::lock_guard lock(outcome_mutex_);
    outcome = outcome_;
  }
  board_.SetPhase(RunPhase::kIdle);
  platform::UserInterface& ui = platform::user_interface();
  ui.SetBusyCursor(platform::BusyCursor::kDefault);
  RefreshProgress();
  if (!(outcome.cancelled && quiet_cancel_)) {
    if (outcome.kind == RunOutcome::kMessage) ui.ShowMessage(outcome.text);
    if (outcome.kind == RunOutcome::kError) ui.ShowError(outcome.text);
  }
  window_.RunStateChanged(false);
}

// ---- the worker ---------------------------------------------------------------

void TyedekalmafCore::WorkerMain(const std::string& db) {
  platform::CancelScope scope(cancel_);
  archive_done_path_.clear();
  RunOutcome outcome;
  try {
    outcome.text = RunBackup(db);
    outcome.kind = RunOutcome::kMessage;
  } catch (const EAbort&) {
    outcome.kind = RunOutcome::kNone;
  } catch (const std::bad_alloc&) {
    outcome = {RunOutcome::kError, "Out of memory."};
  } catch (const std::exception& e) {
    outcome = {RunOutcome::kError, platform::error_box_text(e.what())};
  } catch (...) {
    outcome = {RunOutcome::kError, "Unknown error."};
  }
  // An error that follows the cancel request is the cancellation's doing.
  if (outcome.kind != RunOutcome::kMessage && cancel_.Cancelled())
    outcome = {RunOutcome::kMessage, cancelled_message(archive_done_path_), true};
  {
    std::lock_guard lock(outcome_mutex_);
    outcome_ = outcome;
  }
  Post([this] { FinishRun(); });
}

std::string TyedekalmafCore::RunBackup(const std::string& db) {
  Memo1.clear();
  // A connection lost since the last run (a server restart) is made again.
  baglanti.EnsureConnected();
  // The table list and everything the dump reads come from one snapshot,
  // so a transaction that the shop's program commits meanwhile is wholly in
  // the backup or wholly out of it. The snapshot ends as soon as the script
  // holds every table, not after the archive and the upload; an error or a
  // cancel ends it on the way out.
  mysql::ConsistentSnapshot snapshot(baglanti);
  const std::vector<ListedTable> tables = ListTables(db);

  // The script goes straight into the archive while the dump writes it,
  // compressed on every core; the archive is made under a temporary name and
  // takes its real name only once it is known to hold the whole script.
  const std::string first_name = archive_name(db, local_now());
  const std::string temp = temp_archive_name(first_name);
  TempArchive temp_guard(temp);
  std::unique_ptr<zip::StreamedArchive> zipped;
  GuardArchive(temp, first_name, [&] {
    zipped = std::make_unique<zip::StreamedArchive>(
        platform::to_os_path(temp), platform::ansi_to_utf16(script_file_name(db, local_now())),
        ZipArchiver1.CompressionMode());
  });
  ScriptFile script(*zipped);
  std::vector<dump::LeftOutObject> left_out;
  GuardArchive(temp, first_name, [&] { left_out = DumpTables(tables, script, *zipped); });
  snapshot.End();

  const std::string archive = archive_name(db, local_now());
  MakeArchive(*zipped, temp, archive);
  temp_guard.Release();
  const std::string archive_path = platform::expand_file_name(archive);
  archive_done_path_ = archive_path;

  // What was left out is said after the saved (and uploaded) lines.
  if (!ReadSettings(archive_path))
    return success_message(archive_path, false) + left_out_note(left_out);
  UploadArchive(archive_path);
  NoticeArchive(archive_path, archive);
  return success_message(archive_path, true) + left_out_note(left_out);
}

std::vector<TyedekalmafCore::ListedTable> TyedekalmafCore::ListTables(const std::string& db) {
  board_.SetPhase(RunPhase::kListing);
  NotifyProgress();
  // The statement, the names and the script text are UTF-8.
  q.SetSQL(table_list_sql(platform::ansi_to_utf8(db)));
  q.Open();
  std::vector<ListedTable> tables;
  while (!q.Eof()) {
    platform::throw_if_cancelled();
    tables.push_back(
        {q.FieldByName("t").AsString(), q.FieldByName("k").AsString() == kViewTableType});
    q.Next();
  }
  return tables;
}

std::vector<dump::LeftOutObject> TyedekalmafCore::DumpTables(const std::vector<ListedTable>& tables,
                                                             ScriptFile& script,
                                                             const zip::StreamedArchive& archive) {
  board_.SetPhase(RunPhase::kDumping);
  board_.SetTable(0, static_cast<int>(tables.size()), "");
  NotifyProgress();
  script.OnFlush = [this, &archive](std::uint64_t bytes) {
    board_.SetScriptBytes(bytes);
    board_.SetArchiveBytes(archive.compressed_so_far(), bytes);
    NotifyProgress();
  };
  // The event refers to this run's script: it goes when the dump ends.
  struct EventGuard {
    dump::TMyDump& dump;
    ~EventGuard() { dump.OnBackupProgress = nullptr; }
  } event_guard{MyDump};
  MyDump.OnBackupProgress = [this, &script](dump::TDbDump&, const std::string&, int, int,
                                            int percent) {
    board_.SetTablePercent(percent);
    board_.SetScriptBytes(script.written());
    NotifyProgress();
  };
  int number = 0;
  std::vector<std::string> written;  // tables the dump wrote, by their exact names
  for (const ListedTable& listed : tables) {
    platform::throw_if_cancelled();
    const std::string& table = listed.name;
    board_.SetTable(++number, static_cast<int>(tables.size()), platform::utf8_to_ansi(table));
    NotifyProgress();
    MyDump.SetObjects({});
    dump::TMyDumpObjects objects = MyDump.Objects();
    objects.Include(dump::TMyDumpObject::doTables);
    objects.Include(dump::TMyDumpObject::doData);
    MyDump.SetObjects(objects);
    // The name goes to the dump as it is: no splitting, trimming or unquoting.
    MyDump.SetTableEntries({{"", table}});
    MyDump.SQL().clear();
    MyDump.Backup(&script);
    for (const auto& e : MyDump.WrittenTables()) written.push_back(e.name);
    script.AddLine("");  // the empty line after each table's script
  }
  // Then the database's other objects in one section after every table's
  // rows: routines, the views (through stand-in tables, so views using views
  // load in any order), the triggers (which so do not fire while the rows
  // load) and the events.
  platform::throw_if_cancelled();
  std::vector<dump::TableEntry> views;
  for (const ListedTable& listed : tables)
    if (listed.view) views.push_back({"", listed.name});
  dump::TMyDumpObjects objects{dump::TMyDumpObject::doStoredProcs, dump::TMyDumpObject::doTriggers,
                               dump::TMyDumpObject::doEvents};
  // With no entries the dump would take every table of the database.
  if (!views.empty()) objects.Include(dump::TMyDumpObject::doViews);
  MyDump.SetObjects(objects);
  MyDump.SetTableEntries(views);
  MyDump.SQL().clear();
  MyDump.Backup(&script);
  for (const auto& e : MyDump.WrittenTables()) written.push_back(e.name);
  std::vector<dump::LeftOutObject> left_out = MyDump.LeftOut();
  script.AddLine("");

  // An incomplete script never gets an archive: the temporary one goes.
  for (const ListedTable& listed : tables) {
    if (std::find(written.begin(), written.end(), listed.name) != written.end()) continue;
    const bool told = listed.view && std::any_of(left_out.begin(), left_out.end(), [&](auto& l) {
                        return l.kind == dump::ObjectKind::kView && l.name == listed.name;
                      });
    if (!told)
      throw ETableMissing(std::string(listed.view ? "The view \"" : "The table \"") +
                          platform::utf8_to_ansi(listed.name) +
                          "\" was not written to the script; no archive was made");
  }
  script.Finish();
  board_.SetScriptBytes(script.size());
  return left_out;
}

void TyedekalmafCore::MakeArchive(zip::StreamedArchive& zipped, const std::string& temp,
                                  const std::string& archive) {
  // The last blocks, the records, the flush; then the archive is read back:
  // the data as it was written inflated to the script while the dump ran,
  // here the compressed bytes on disk and the records are checked.
  board_.SetPhase(RunPhase::kArchiving);
  NotifyProgress();
  platform::throw_if_cancelled();
  zip::DeflateSummary summary;
  GuardArchive(temp, archive, [&] { summary = zipped.Finish(); });
  board_.SetScriptBytes(summary.in_size);
  board_.SetArchiveBytes(summary.out_size, summary.out_size);
  board_.SetPhase(RunPhase::kVerifying);
  NotifyProgress();
  platform::throw_if_cancelled();
  const std::string shown = platform::expand_file_name(archive);
  if (std::rename(platform::to_os_path(temp).c_str(), platform::to_os_path(archive).c_str()) != 0)
    throw EArchiveNotMade("The archive \"" + shown +
                          "\" was not made (it could not be saved under its name: " +
                          platform::system_error_text(errno) + ")");
  ZipArchiver1.SetFileName(platform::ansi_to_utf16(archive));
}

void TyedekalmafCore::GuardArchive(const std::string& temp, const std::string& archive,
                                   const std::function<void()>& step) {
  // Messages name the archive, the file the operator knows, never the
  // temporary file it is built in.
  try {
    step();
  } catch (const zip::EStreamedArchiveError& e) {
    if (platform::cancel_requested()) throw platform::ECancelled();
    const std::string shown = platform::expand_file_name(archive);
    const std::string why =
        replace_all(replace_all(e.what(), platform::expand_file_name(temp), shown), temp, shown);
    if (e.check_failed())
      throw EArchiveNotMade("The archive \"" + shown + "\" was not made (" + why + ")");
    throw EArchiveNotMade("The archive \"" + shown + "\" could not be made: " + why);
  }
}

bool TyedekalmafCore::ReadSettings(const std::string& archive_path) {
  board_.SetPhase(RunPhase::kSettings);
  NotifyProgress();
  try {
    // The settings table is read once per program run.
    if (!ayarlar.Active()) ayarlar.Open();
    return ayarlarbulutyedekleme->AsInteger() == 1;
  } catch (const platform::ECancelled&) {
    throw;
  } catch (const std::exception& e) {
    throw EStepFailed(late_step_message(archive_path, LateStep::kSettings, "", e.what()));
  }
}

void TyedekalmafCore::UploadArchive(const std::string& archive_path) {
  board_.SetPhase(RunPhase::kUploading);
  struct stat info {};
  const bool known = ::stat(platform::to_os_path(archive_path).c_str(), &info) == 0;
  board_.SetUpload(0, known ? static_cast<std::uint64_t>(info.st_size) : 0);
  NotifyProgress();
  const std::string folder = "dbler/" + ayarlarlevhano->AsString();
  platform::throw_if_cancelled();
  try {
    uploadbtnClick();
  } catch (const platform::ECancelled&) {
    throw;
  } catch (const std::exception& e) {
    if (platform::cancel_requested()) throw platform::ECancelled();
    throw EStepFailed(late_step_message(archive_path, LateStep::kUpload, folder, e.what()));
  }
  platform::throw_if_cancelled();
}

void TyedekalmafCore::UploadWork(std::uint64_t sent, std::uint64_t total) {
  board_.SetUpload(sent, total);
  NotifyProgress();
  platform::throw_if_cancelled();
}

void TyedekalmafCore::NoticeArchive(const std::string& archive_path, const std::string& archive) {
  board_.SetPhase(RunPhase::kNotice);
  NotifyProgress();
  try {
    SendNotice(archive);
  } catch (const platform::ECancelled&) {
    throw;
  } catch (const std::exception& e) {
    throw EStepFailed(late_step_message(archive_path, LateStep::kNotice,
                                        "dbler/" + ayarlarlevhano->AsString(), e.what()));
  }
}

}  // namespace app
