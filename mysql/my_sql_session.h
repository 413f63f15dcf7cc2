// TMySqlSession: one protocol session. Opens the TCP transport, performs the
// greeting and login (native token, old scramble, 0xFE requests, the 4.1.0
// exchange, authentication switch), sends commands and reads text results.
//
// Flow: Connect(...) -> { Query(sql) -> [Columns(), FetchRow()... ] ->
// (EOF, or FreeResult()) }* -> Close(). State: 0 ready, 1 result header
// read, 2 rows being read. Every failure is thrown as EMyError and also kept
// as LastErrorCode/LastErrorMessage. One thread at a time.
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

class TMySqlSession {
 public:
  TMySqlSession();
  ~TMySqlSession();

  // Options.
  int connect_timeout = 0;             // seconds, TCP connect and greeting read
  int read_timeout = kForeverSeconds;  // applied before every command
  std::string charset_name;            // "utf8" puts 33 into the login
  int ip_version = 0;                  // 0 IPv4, 1 IPv6, 2 both
  int protocol = 0;                    // only 0 (TCP) is supported
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
  const std::vector<TMyColumn>& Columns() const { return columns_; }
  std::vector<TMyColumn>& MutableColumns() { return columns_; }
  // Next row; false at the EOF packet (further results are then dropped).
  // values view the row packet until the next read.
  bool FetchRow(std::vector<std::string_view>& values);
  // Reads and drops the rest of the result and any further results.
  void FreeResult();
  int State() const { return state_; }

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
  void Authenticate(const std::string& password);
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
  TGreeting greeting_;
  std::string host_, user_, password_, database_;
  int port_ = 3306;
  std::string host_info_;
  std::uint32_t client_flags_ = 0;
  std::uint16_t server_status_ = 0;
  bool closed_ = true;
  int state_ = 0;

  std::uint64_t field_count_ = 0;
  std::vector<TMyColumn> columns_;
  std::uint64_t affected_rows_ = 0, insert_id_ = 0;
  std::uint16_t warning_count_ = 0;
  std::string info_;

  int last_error_code_ = 0;
  std::string last_error_message_;
};

}  // namespace mysql
