// The backup run behind "YEDEK AL": table list, one dump per table streamed
// into the script file, the archive built under a temporary name, read back
// and renamed, the script deleted, the settings table, the optional upload
// and notice, and the closing message.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/archive_check.h"
#include "app/backup_names.h"
#include "app/script_file.h"
#include "app/yedekalma.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/user_interface.h"

namespace app {
namespace {

// Raised when the finished archive does not hold the script complete.
class EArchiveIncomplete : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised when a listed table did not reach the script: the dump took it for a
// view (SHOW TABLE STATUS gives no engine for a damaged table) or wrote
// nothing for it.
class ETableMissing : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Clears the in-progress flag when the run ends, however it ends.
class RunGuard {
 public:
  explicit RunGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~RunGuard() { flag_ = false; }
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

 private:
  bool& flag_;
};

}  // namespace

void TyedekalmafCore::kaydetbtnClick() {
  if (running_) return;
  RunGuard guard(running_);
  RunBackup();
}

void TyedekalmafCore::RunBackup() {
  platform::UserInterface& ui = platform::user_interface();
  ui.SetBusyCursor(platform::BusyCursor::kSqlWait);
  window_.Repaint();
  Memo1.clear();

  // Table list of the database the label names; the statement, the names and
  // the script text are UTF-8.
  q.SetSQL(table_list_sql(platform::ansi_to_utf8(window_.DbLabelCaption())));
  q.Open();
  std::vector<std::string> listed, written;  // tables, by their exact names

  // Every table's script goes straight into the file; a failure before the
  // archive step leaves no script behind (the ScriptFile deletes it).
  ScriptFile script;
  script.Create(platform::executable_dir() +
                script_file_name(window_.DbLabelCaption(), local_now()));
  while (!q.Eof()) {
    ui.ProcessMessages();
    MyDump.SetObjects({});
    dump::TMyDumpObjects objects = MyDump.Objects();
    objects.Include(dump::TMyDumpObject::doTables);
    objects.Include(dump::TMyDumpObject::doData);
    MyDump.SetObjects(objects);
    // The name goes to the dump as it is: no splitting, trimming or unquoting.
    const std::string table = q.FieldByName("t").AsString();
    if (q.FieldByName("k").AsString() != kViewTableType) listed.push_back(table);
    MyDump.SetTableEntries({{"", table}});
    MyDump.SQL().clear();
    MyDump.Backup(&script);
    for (const auto& e : MyDump.WrittenTables()) written.push_back(e.Name);
    script.AddLine("");  // the empty line after each table's script
    q.Next();
  }
  // An incomplete script is deleted with the ScriptFile, never archived.
  for (const auto& table : listed) {
    if (std::find(written.begin(), written.end(), table) == written.end())
      throw ETableMissing("The table \"" + platform::utf8_to_ansi(table) +
                          "\" was not written to the script; no archive was made");
  }
  script.Finish();
  ui.SetBusyCursor(platform::BusyCursor::kDefault);

  // The archive is written under a temporary name and takes its real name
  // only once it is known to hold the whole script, so a failed run never
  // replaces an earlier archive of the same hour.
  const std::string db = window_.DbLabelCaption();
  const std::string archive = archive_name(db, local_now());
  const std::string temp_archive = "~" + archive + "." + std::to_string(::getpid()) + ".tmp";
  ZipArchiver1.SetFileName(platform::ansi_to_utf16(temp_archive));
  try {
    ZipArchiver1.Open(zip::kCreateMode);
    ZipArchiver1.SetBaseDir(u"");
    ZipArchiver1.AddFromMask(platform::ansi_to_utf16(script.path()));
    ZipArchiver1.Close();
  } catch (...) {
    // The script stays for the operator; the unfinished archive goes.
    try {
      if (ZipArchiver1.Active()) ZipArchiver1.Close();
    } catch (...) {
    }
    platform::delete_file(temp_archive);
    throw;
  }
  std::string reason =
      check_archive_entry(platform::to_os_path(temp_archive),
                          {base_name(script.path()), script.size(), script.crc32()});
  if (reason.empty() && std::rename(platform::to_os_path(temp_archive).c_str(),
                                    platform::to_os_path(archive).c_str()) != 0)
    reason = "it could not be renamed: " + platform::system_error_text(errno);
  if (!reason.empty()) {
    platform::delete_file(temp_archive);
    throw EArchiveIncomplete("The archive \"" + platform::expand_file_name(archive) +
                             "\" was not made (" + reason + "). The script was kept as \"" +
                             script.path() + "\"");
  }
  ZipArchiver1.SetFileName(platform::ansi_to_utf16(archive));
  platform::delete_file(script.path());

  // The settings table is read once per program run.
  if (!ayarlar.Active()) ayarlar.Open();

  std::string message = std::string(kSavedMessage) + "\r" + platform::executable_dir() + archive;
  if (ayarlarbulutyedekleme->AsInteger() == 1) {
    uploadbtnClick();
    SendNotice(archive);
    message += "\r";
    message += kUploadedMessage;
  }
  ui.ShowMessage(message);
}

}  // namespace app
