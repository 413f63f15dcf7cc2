// The dump component (see my_dump.h).
#include "dump/my_dump.h"

#include "dump/my_connection_source.h"
#include "mysql/my_error.h"

namespace dump {

std::string script_charset(const mysql::TMyConnection& connection) {
  if (connection.Options().UseUnicode()) return "utf8";
  std::string name = connection.Options().Charset();
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return name;
}

// --- TDbDump ---

TDbDump::TDbDump(std::string name) : name_(std::move(name)) {}

TDbDump::~TDbDump() { SetConnection(nullptr); }

void TDbDump::SetConnection(mysql::TMyConnection* connection) {
  if (connection == connection_) return;
  if (connection_) connection_->RemoveDestroyListener(destroy_token_);
  connection_ = connection;
  destroy_token_ = 0;
  if (connection_) destroy_token_ = connection_->AddDestroyListener([this] { ForgetConnection(); });
}

void TDbDump::ForgetConnection() {
  connection_ = nullptr;
  destroy_token_ = 0;
}

std::string TDbDump::TableNames() const {
  return join_table_names(tables_, DbOptions().QuoteNames);
}

void TDbDump::SetTableNames(const std::string& text) { tables_ = parse_table_names(text); }

void TDbDump::SetSQL(const platform::LineList& lines) {
  if (platform::join_lines(lines) != platform::join_lines(sql_)) sql_ = lines;
}

void TDbDump::Backup(TLineSink* sink) {
  if (!connection_) throw mysql::EDatabaseError("Connection is not defined");
  mysql::TMyConnection& connection = *connection_;
  if (!connection.Connected()) connection.Connect();

  TDbDumpProcessor& processor = Processor();
  const std::string charset = script_charset(connection);
  TDumpRequest request = MakeRequest(charset);

  // The dump reads bytes as the server sends them: Unicode mode is off while
  // it runs and restored afterwards, also after a failure.
  const bool unicode = connection.Options().UseUnicode();
  connection.SetUseUnicodeInternal(false);
  struct Restore {
    mysql::TMyConnection& c;
    bool v;
    ~Restore() { c.SetUseUnicodeInternal(v); }
  } restore{connection, unicode};

  sql_.clear();
  TStringsSink sql_sink(sql_);
  TMyConnectionSource source(connection);
  processor.Backup(source, request, sink ? *sink : sql_sink);
}

// --- TMyDump ---

std::string TMyDump::StoredProcNames() const {
  return join_table_names(procs_, options_.QuoteNames);
}

std::string TMyDump::TriggerNames() const {
  return join_table_names(triggers_, options_.QuoteNames);
}

TDumpRequest TMyDump::MakeRequest(const std::string& charset) {
  TDumpRequest r;
  r.Objects = objects_;
  r.Options = options_;
  r.Charset = charset;
  r.Tables = TableEntries();
  if (OnBackupProgress) {
    r.Progress = [this](const std::string& name, int num, int count, int percent) {
      OnBackupProgress(*this, name, num, count, percent);
    };
  }
  return r;
}

TDbDumpProcessor& TMyDump::Processor() {
  if (!processor_) processor_ = std::make_unique<TMyDumpProcessor>();
  return *processor_;
}

}  // namespace dump
