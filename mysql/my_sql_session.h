// TMySqlSession: one protocol session. Opens the TCP transport, performs the
// greeting, switches to TLS when the server offers it, logs in
// (caching_sha2_password, native token, old scramble, 0xFE requests, the
// 4.1.0 exchange, authentication switch), sends commands and reads text
// results.
//
// Waits: the greeting, TLS handshake and login end within connect_timeout in
// total; after the login every wait for the server ends after
// result_silence_timeout seconds without a byte (or read_timeout when that
// is shorter). A wait that ends so fails with 2013 "Timed out after N s
// waiting for the MySQL server at host:port during ...". Every wait checks
// the thread's cancel token (platform/cancel.h); a cancelled session drops
// its transport.
//
// Flow: Connect(...) -> { Query(sql) -> [Columns(), FetchRow()... ] ->
// (EOF, or FreeResult()) }* -> Close(). Every failure is thrown as EMyError
// and also kept as LastErrorCode/LastErrorMessage. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mysql/handshake.h"
#include "mysql/my_column.h"
#include "mysql/my_sql_net.h"
#include "mysql/vio.h"

namespace mysql {

enum : std::uint8_t { COM_QUIT = 1, COM_INIT_DB = 2, COM_QUERY = 3, COM_PING = 14 };

// One year: the read timeout of a command timeout of 0.
constexpr int kForeverSeconds = 31536000;

// Longest silence of the server while the client waits for an answer or the
// rest of a result, in seconds. A server that stops sending mid-result fails
// the statement after this long instead of holding the program.
constexpr int kResultSilenceSeconds = 60;

// Where a session is in the answer of its last command.
enum class TSessionState {
  Ready,         // no result pending: a command may be sent
  ResultHeader,  // a result set's header and columns were read
  Rows,          // rows are being read
};

class TMySqlSession {
 public:
  TMySqlSession();
  ~TMySqlSession();

  // Options.
  int connect_timeout = 0;             // seconds: TCP connect, and greeting to login end in total
  int read_timeout = kForeverSeconds;  // applied before every command
  // Longest silence while waiting for an answer (0: only read_timeout).
  int result_silence_timeout = kResultSilenceSeconds;
  // Switch to TLS when the greeting offers it (the server certificate is
  // not verified, see vio_tcp.h).
  bool tls_preferred = true;
  std::string charset_name;  // "utf8" puts 33 into the login
  int ip_version = 0;        // 0 IPv4, 1 IPv6, 2 both
  int protocol = 0;          // only 0 (TCP) is supported
  // Largest logical packet accepted (the maximum the login announces).
  void SetMaxPacket(std::uint64_t n) { net_.SetMaxLogicalPacket(n); }

  // Opens the transport and logs in. port 0 means 3306, empty host
  // "localhost".
  void Connect(const std::string& host, const std::string& user, const std::string& password,
               const std::string& database, int port, std::uint32_t flags);
  // Logs in over an already connected transport (the greeting is read
  // first). Used by Connect; tests and the fuzz target call it directly.
  void ConnectOver(std::unique_ptr<TVio> vio, const std::string& user, const std::string& password,
                   const std::string& database, std::uint32_t flags);
  void SelectDb(const std::string& name);
  void Ping();
  void Close();  // COM_QUIT without waiting, then socket close
  bool IsOpen() const { return vio_ != nullptr && !closed_; }

  // Sends COM_QUERY and reads the answer header (and the column definitions
  // of a result set). Returns true when a result set follows.
  bool Query(std::string_view sql);
  const std::vector<MyColumn>& Columns() const { return columns_; }
  std::vector<MyColumn>& MutableColumns() { return columns_; }
  // Next row; false at the EOF packet (further results are then dropped).
  // values view the row packet until the next read.
  bool FetchRow(std::vector<std::string_view>& values);
  // Reads and drops the rest of the result and any further results.
  void FreeResult();
  TSessionState State() const { return state_; }
  // True when the login went over TLS.
  bool TlsActive() const { return vio_ && vio_->TlsActive(); }
  // The plugin that authenticated the login (after any switch).
  const std::string& AuthPlugin() const { return auth_plugin_; }

  // Accessors.
  const std::string& ServerVersion() const { return greeting_.server_version; }
  std::uint32_t ThreadId() const { return greeting_.thread_id; }
  std::uint16_t ServerCapabilities() const { return greeting_.capabilities; }
  std::uint8_t ServerLanguage() const { return greeting_.language; }
  std::uint16_t ServerStatus() const { return server_status_; }
  std::uint32_t ClientFlags() const { return client_flags_; }
  const std::string& HostInfo() const { return host_info_; }
  std::uint64_t AffectedRows() const { return affected_rows_; }
  std::uint64_t InsertId() const { return insert_id_; }
  std::uint16_t WarningCount() const { return warning_count_; }
  const std::string& Info() const { return info_; }
  std::uint64_t FieldCount() const { return field_count_; }
  int LastErrorCode() const { return last_error_code_; }
  const std::string& LastErrorMessage() const { return last_error_message_; }
  static const char* ClientVersion() { return "8.0.0 Direct"; }

 private:
  template <typename Fn>
  auto Recorded(Fn&& fn) -> decltype(fn());
  void DropTransport();
  // Login steps, in order.
  void ReadGreeting();
  std::uint32_t StartTlsIfOffered(std::uint32_t requested_flags, std::uint8_t charset);
  void SendLogin(std::uint32_t flags, std::uint8_t charset, const std::string& user,
                 const std::string& password, const std::string& database);
  void Authenticate(const std::string& password);
  // The caching_sha2_password step after the server's "more data" packet;
  // returns false when no answer is due (fast authentication succeeded).
  bool CachingSha2MoreData(std::string_view data, const std::string& password,
                           const std::string& nonce, std::string& answer);
  void SendAuthAnswer(const std::string& answer);
  // The receive timeout of commands: the silence bound and read_timeout.
  int CommandWaitSeconds() const;
  void SendCommand(std::uint8_t command, std::string_view argument);
  // Reads an answer header; true when a result set (columns read) follows.
  bool ReadResultHeader();
  void ReadColumns();
  void DrainRows();
  void DropMoreResults();
  void RefuseLocalInfile(const std::string& file_name);
  void ReadOkAnswer();

  std::unique_ptr<TVio> vio_;
  TMySqlNet net_;
  Greeting greeting_;
  std::string host_, user_, password_, database_;
  int port_ = 3306;
  std::string host_info_;
  std::uint32_t client_flags_ = 0;
  std::uint16_t server_status_ = 0;
  bool closed_ = true;
  TSessionState state_ = TSessionState::Ready;
  std::string auth_plugin_;
  // End of the login's total wait (set by Connect before the TCP connect).
  TVio::TClock::time_point login_deadline_ = TVio::TClock::time_point::max();

  std::uint64_t field_count_ = 0;
  std::vector<MyColumn> columns_;
  std::uint64_t affected_rows_ = 0, insert_id_ = 0;
  std::uint16_t warning_count_ = 0;
  std::string info_;

  int last_error_code_ = 0;
  std::string last_error_message_;
};

}  // namespace mysql
