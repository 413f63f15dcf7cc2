// The processors that do the work of one TMyDump::Backup: frame, header and
// the tables and views with their rows, all emitted through a line sink.
//
// TDbDumpProcessor is the database-neutral layer (header, frames, the fixed
// order of sections); TCustomMyDumpProcessor writes MySQL tables, views and
// rows; TMyDumpProcessor is the class TMyDump creates at its first Backup and
// keeps. Flow: Backup(source, request, sink), once per TMyDump::Backup.
#pragma once

#include <functional>
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
  // full, as their entries name them.
  const std::vector<TableEntry>& Written() const { return written_; }

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
  void WriteRows(const TObject& o, std::int64_t count, int num, int total);
  void Progress(const TObject& o, int num, int count, int percent);

  bool tables_ = false, data_ = false, views_ = false;
  bool from_table_names_ = false;
};

class TMyDumpProcessor : public TCustomMyDumpProcessor {};

}  // namespace dump
