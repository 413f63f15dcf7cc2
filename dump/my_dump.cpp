// The dump component (see my_dump.h).
#include "dump/my_dump.h"

#include "dump/literals.h"
#include "dump/my_connection_source.h"
#include "mysql/charset.h"
#include "mysql/my_error.h"

namespace dump {

namespace {

// Holds the session's time zone at '+00:00' from construction until Restore
// (or destruction, after a failure), so TIMESTAMP values are read as UTC
// instants: wall times of a daylight-saving fold stay apart. Servers before
// 4.1.3 have no session time zone and are left alone.
class TUtcSession {
 public:
  TUtcSession(DumpRowReader& rows, const mysql::TMyConnection& connection) : rows_(rows) {
    const int major = connection.ServerMajorVersion(), minor = connection.ServerMinorVersion();
    if (major < 4 ||
        (major == 4 && (minor == 0 || (minor == 1 && connection.ServerReleaseVersion() < 3))))
      return;
    rows_.Execute("SELECT @@SESSION.TIME_ZONE");
    if (!rows_.Next() || rows_.IsNull(0)) {
      rows_.Close();
      throw EDumpError("No result for \"SELECT @@SESSION.TIME_ZONE\"");
    }
    std::string previous(rows_.Value(0));
    rows_.Close();
    rows_.Execute("SET TIME_ZONE='+00:00'");
    rows_.Close();
    previous_ = std::move(previous);
    active_ = true;
  }
  ~TUtcSession() {
    try {
      Restore();
    } catch (...) {
      // Another error is already on its way out.
    }
  }
  TUtcSession(const TUtcSession&) = delete;
  TUtcSession& operator=(const TUtcSession&) = delete;

  void Restore() {
    if (!active_) return;
    active_ = false;
    std::string sql = "SET TIME_ZONE=";
    append_quoted(sql, previous_, true);
    rows_.Execute(sql);
    rows_.Close();
  }

 private:
  DumpRowReader& rows_;
  std::string previous_;
  bool active_ = false;
};

}  // namespace

std::string script_charset(const mysql::TMyConnection& connection) {
  if (connection.Options().UseUnicode()) return "utf8";
  std::string name = mysql::session_charset_for(
      connection.Options().Charset(), connection.ServerMajorVersion(),
      connection.ServerMinorVersion(), connection.ServerReleaseVersion());
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

void TDbDump::Backup(LineSink* sink) {
  if (!connection_) throw mysql::EDatabaseError("Connection is not defined");
  mysql::TMyConnection& connection = *connection_;
  if (!connection.Connected()) connection.Connect();

  TDbDumpProcessor& processor = Processor();
  const std::string charset = script_charset(connection);
  DumpRequest request = MakeRequest(charset);

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
  StringsSink sql_sink(sql_);
  MyConnectionSource source(connection);
  TUtcSession utc(source.Rows(), connection);
  processor.Backup(source, request, sink ? *sink : sql_sink);
  utc.Restore();
}

std::vector<TableEntry> TDbDump::WrittenTables() const {
  const TDbDumpProcessor* p = ExistingProcessor();
  return p ? p->Written() : std::vector<TableEntry>{};
}

std::vector<LeftOutObject> TDbDump::LeftOut() const {
  const TDbDumpProcessor* p = ExistingProcessor();
  return p ? p->LeftOut() : std::vector<LeftOutObject>{};
}

// --- TMyDump ---

std::string TMyDump::StoredProcNames() const {
  return join_table_names(procs_, options_.QuoteNames);
}

std::string TMyDump::TriggerNames() const {
  return join_table_names(triggers_, options_.QuoteNames);
}

DumpRequest TMyDump::MakeRequest(const std::string& charset) {
  DumpRequest r;
  r.objects = objects_;
  r.options = options_;
  r.charset = charset;
  r.tables = TableEntries();
  r.stored_procs = procs_;
  r.triggers = triggers_;
  if (OnBackupProgress) {
    r.progress = [this](const std::string& name, int num, int count, int percent) {
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
