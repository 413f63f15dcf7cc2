// The processors that do the work of one TMyDump::Backup: frame, header and
// the tables and views with their rows, all emitted through a line sink.
//
// TDbDumpProcessor is the database-neutral layer (header, frames, the fixed
// order of sections); TCustomMyDumpProcessor writes MySQL tables, views and
// rows; TMyDumpProcessor is the class TMyDump creates at its first Backup and
// keeps. Flow: Backup(source, request, sink), once per TMyDump::Backup.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dump/dump_options.h"
#include "dump/dump_source.h"
#include "dump/identifiers.h"
#include "dump/line_sink.h"

namespace dump {

// ObjectName, ObjectNum (from 0), ObjectCount, Percent (0-100).
using TBackupProgress = std::function<void(const std::string&, int, int, int)>;

// Everything one Backup is asked to do.
struct DumpRequest {
  TMyDumpObjects objects;
  TMyDumpOptions options;
  std::string charset;             // script character-set name, may be empty
  std::vector<TableEntry> tables;  // empty: every table of the database
  TBackupProgress progress;        // may be empty
  // Names for doStoredProcs and doTriggers; empty: every one of the database.
  std::vector<TableEntry> stored_procs;
  std::vector<TableEntry> triggers;
};

// The kinds of database objects besides tables.
enum class ObjectKind { kView, kRoutine, kTrigger, kEvent };

// An object the dump did not write, or a kind it could not read in full.
// Nothing is left out in silence: the caller tells the operator.
struct LeftOutObject {
  enum class Scope {
    kOne,     // the object `name` is not in the script
    kUnseen,  // the server may hide objects of this kind from the account
    kAll,     // no object of this kind could be read
  };
  ObjectKind kind = ObjectKind::kView;
  Scope scope = Scope::kOne;
  std::string name;    // UTF-8, as the server lists it; empty unless kOne
  std::string reason;  // why, in English (often the server's own message)
  friend bool operator==(const LeftOutObject&, const LeftOutObject&) = default;
};

// A request the dump cannot honour (a section this build does not write).
class EDumpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TDbDumpProcessor {
 public:
  virtual ~TDbDumpProcessor() = default;

  // Writes the whole script. The row query is closed before returning, also
  // when an error leaves.
  void Backup(DumpSource& source, const DumpRequest& request, LineSink& sink);

  // The tables of the last Backup whose structure and rows were written in
  // full, and the views it wrote, as their entries name them.
  const std::vector<TableEntry>& Written() const { return written_; }
  // What the last Backup left out of the script (views, routines, triggers,
  // events it may not read or that cannot be recreated).
  const std::vector<LeftOutObject>& LeftOut() const { return left_out_; }

 protected:
  // Tables, data or views requested.
  virtual bool HasObjects() const = 0;
  // Emits the objects between the opening and the closing frame.
  virtual void BackupObjects() = 0;

  void Emit(std::string_view line) { sink_->Emit(line); }
  void EmitText(std::string_view text) { emit_text(*sink_, text); }

  DumpSource* source_ = nullptr;
  const DumpRequest* request_ = nullptr;
  LineSink* sink_ = nullptr;
  std::vector<TableEntry> written_;
  std::vector<LeftOutObject> left_out_;
};

class TCustomMyDumpProcessor : public TDbDumpProcessor {
 protected:
  bool HasObjects() const override;
  void BackupObjects() override;

 private:
  struct TObject {
    TableEntry Entry;
    std::string Name;  // emission form
    bool IsView = false;
    // The table status's row estimate (exact for some engines, near for
    // InnoDB), for the progress percentage; 0 when unknown.
    std::int64_t RowsEstimate = 0;
  };

  // The rows of a small result (object lists, SHOW CREATE answers), read
  // whole; NULL values are nullopt.
  struct ResultTable {
    std::vector<std::string> names;
    std::vector<std::vector<std::optional<std::string>>> rows;
    // The value of the named column in row i; throws when the column is
    // missing.
    const std::optional<std::string>& At(size_t i, std::string_view column) const;
    std::string sql;
  };

  // A column the data statements name: every stored column, INVISIBLE ones
  // included; generated columns are left to the server.
  struct TDataColumn {
    std::string Name;
    bool Float = false;  // read as DOUBLE, so every digit of the value is written
  };

  std::vector<TObject> ObjectList();
  std::vector<TDataColumn> DataColumns(const TObject& o);
  std::string EmissionName(const TableEntry& e) const;
  void DetectViews(std::vector<TObject>& objects);
  void BackupStructure(const TObject& o);
  void BackupData(const TObject& o, int num, int count);
  // Writes the table's rows with their lock and key lines; false when the
  // table has no row and nothing was written.
  bool WriteRows(const TObject& o, int num, int total);
  void Progress(const TObject& o, int num, int count, int percent);

  // Views, routines, triggers and events (schema_sections.cpp).
  ResultTable Query(const std::string& sql);
  // Query, or the server's message when it refuses the statement for lack
  // of privileges (every other error is thrown).
  std::optional<std::string> TryQuery(const std::string& sql, ResultTable& result);
  std::string Literal(std::string_view text) const;
  // Privileges the account or its current role holds on this database
  // ("TRIGGER") or on every database ("*.TRIGGER"); empty when they cannot
  // be read.
  std::vector<std::string> Privileges();
  // True when one of them is held; "X" is held on every database too.
  bool HoldsAny(std::initializer_list<std::string_view> privileges);
  void LeaveOut(ObjectKind kind, LeftOutObject::Scope scope, std::string name, std::string reason);
  // A CREATE statement between DELIMITER lines, under the database
  // collation, sql_mode, collation_connection and (events) time zone it was
  // created under, as the columns of its SHOW CREATE answer give them.
  void EmitObject(const std::string& create, const ResultTable& shown);
  // After the objects: the database of the load gets the dumped database's
  // default collation back when an object changed it.
  void SetBackDatabaseCollation();
  void BackupViews(const std::vector<const TObject*>& views);
  void BackupRoutines();
  void BackupTriggers();
  void BackupEvents();

  bool tables_ = false, data_ = false, views_ = false;
  bool routines_ = false, triggers_ = false, events_ = false;
  std::optional<std::vector<std::string>> privileges_;  // read once per Backup
  std::string script_db_collation_;                     // the load's database default, once set
  bool from_table_names_ = false;
};

class TMyDumpProcessor : public TCustomMyDumpProcessor {};

}  // namespace dump
