// The dump component: TDbDump is the database-neutral base with the table
// list, the produced script (SQL) and the options; TMyDump dumps tables of a
// TMyConnection as SQL script lines. The application owns one (MyDump) and
// calls Backup once per table.
//
// Flow: SetConnection -> SetObjects / SetTableNames / Options() -> Backup
// (-> read SQL). Used from the caller's thread; Backup shares the connection
// and the caller must not use it for anything else meanwhile.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dump/dump_options.h"
#include "dump/dump_processor.h"
#include "dump/identifiers.h"
#include "dump/line_sink.h"
#include "mysql/my_connection.h"
#include "platform/text_lines.h"

namespace dump {

class TDbDump;

// Sender, ObjectName, ObjectNum (from 0), ObjectCount, Percent (0-100).
using TDbBackupProgressEvent = std::function<void(TDbDump& Sender, const std::string& ObjectName,
                                                  int ObjectNum, int ObjectCount, int Percent)>;

class TDbDump {
 public:
  explicit TDbDump(std::string name = {});
  virtual ~TDbDump();
  TDbDump(const TDbDump&) = delete;
  TDbDump& operator=(const TDbDump&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(const std::string& v) { name_ = v; }

  // Forgotten automatically when the connection is destroyed.
  mysql::TMyConnection* Connection() const { return connection_; }
  void SetConnection(mysql::TMyConnection* connection);

  // Entries joined by ", ", each in identifier quoting form.
  std::string TableNames() const;
  // Split at ',' and ';', pieces trimmed and unquoted, empty ones dropped.
  void SetTableNames(const std::string& text);
  const std::vector<TableEntry>& TableEntries() const { return tables_; }
  // Sets the list without any parsing: each entry names a table exactly as the
  // server lists it, whatever it holds (",", ";", ".", quotes, blanks).
  void SetTableEntries(std::vector<TableEntry> entries) { tables_ = std::move(entries); }
  // The tables of the last Backup whose structure and rows were written in
  // full, and its views that were written (the objects of a failed Backup
  // are not among them).
  std::vector<TableEntry> WrittenTables() const;
  // What the last Backup left out: views, routines, triggers and events the
  // account may not read or that cannot be made again (a view whose table is
  // gone), and kinds the server may hide from the account.
  std::vector<LeftOutObject> LeftOut() const;

  // The script of the last Backup written into SQL, one entry per line.
  platform::LineList& SQL() { return sql_; }
  const platform::LineList& SQL() const { return sql_; }
  // Copies the lines only when their joined text differs.
  void SetSQL(const platform::LineList& lines);

  virtual TDbDumpOptions& DbOptions() = 0;
  virtual const TDbDumpOptions& DbOptions() const = 0;

  bool Debug = false;  // no effect on Backup
  TDbBackupProgressEvent OnBackupProgress;

  // Writes the script for the current objects, tables and options. Without a
  // sink the lines replace the contents of SQL. With a sink every line goes to
  // it as soon as it is complete and SQL is left empty: the same lines either
  // way, but nothing of the script is kept in memory.
  // Errors: "Connection is not defined" (SQL untouched), every server error
  // (the lines emitted up to then stay with the sink or in SQL).
  // TIMESTAMP values are read in UTC: the session's time zone is '+00:00'
  // while Backup runs and is set back afterwards.
  void Backup(LineSink* sink = nullptr);

 protected:
  // Makes the processor request from the component's state.
  virtual DumpRequest MakeRequest(const std::string& charset) = 0;
  virtual TDbDumpProcessor& Processor() = 0;
  virtual const TDbDumpProcessor* ExistingProcessor() const = 0;

 private:
  void ForgetConnection();

  std::string name_;
  mysql::TMyConnection* connection_ = nullptr;
  int destroy_token_ = 0;
  std::vector<TableEntry> tables_;
  platform::LineList sql_;
};

class TMyDump : public TDbDump {
 public:
  explicit TMyDump(std::string name = {}) : TDbDump(std::move(name)) {}

  TMyDumpObjects Objects() const { return objects_; }
  void SetObjects(TMyDumpObjects v) { objects_ = v; }

  TMyDumpOptions& Options() { return options_; }
  const TMyDumpOptions& Options() const { return options_; }
  TDbDumpOptions& DbOptions() override { return options_; }
  const TDbDumpOptions& DbOptions() const override { return options_; }

  // Lists for doStoredProcs and doTriggers (same parsing as TableNames).
  std::string StoredProcNames() const;
  void SetStoredProcNames(const std::string& text) { procs_ = parse_table_names(text); }
  std::string TriggerNames() const;
  void SetTriggerNames(const std::string& text) { triggers_ = parse_table_names(text); }

 protected:
  DumpRequest MakeRequest(const std::string& charset) override;
  TDbDumpProcessor& Processor() override;
  const TDbDumpProcessor* ExistingProcessor() const override { return processor_.get(); }

 private:
  TMyDumpObjects objects_{TMyDumpObject::doTables, TMyDumpObject::doData, TMyDumpObject::doViews};
  TMyDumpOptions options_;
  std::vector<TableEntry> procs_, triggers_;
  std::unique_ptr<TMyDumpProcessor> processor_;  // created at the first Backup
};

// The script character-set name of a connection: "utf8" with Unicode on,
// else the session's character set in lower case (utf8mb4 or utf8 for the
// Unicode Charset, as the server's version allows; may be empty).
std::string script_charset(const mysql::TMyConnection& connection);

}  // namespace dump
