// TMyConnection: the connection component. Keeps the connection settings,
// runs the connect sequence (TCP, greeting, login with the database, then
// "SET NAMES <Charset>", the optional sql_mode check and isolation level),
// tracks the datasets that use it and disconnects (COM_QUIT).
//
// Flow: SetServer/SetUsername/SetPassword/SetDatabase -> Connect ->
// { EnsureConnected at the start of each run -> (datasets and row readers
// run statements) }* -> Disconnect (or destructor).
// Used from one thread at a time (the user-interface thread, or the worker
// of a backup run while the user-interface thread leaves it alone).
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mysql/field_types.h"
#include "mysql/my_error.h"
#include "platform/cancel.h"

namespace mysql {

class TMySqlSession;
class TMyConnection;

// Splits a server version text: the digits before the first '.', the digits
// after it up to the next non-digit, and the digits after that.
void split_server_version(std::string_view text, int& major, int& minor, int& release);

enum TIsolationLevel { ilReadCommitted, ilReadUnCommitted, ilRepeatableRead, ilSerializable };
enum MyProtocol { mpDefault, mpTCP, mpPipe, mpMemory, mpSSL, mpHttp, mpSSLHttp };
enum TIPVersion { ivIPv4, ivIPv6, ivIPBoth };

// Options of a connection. Setters of the items that shape the session fail
// with "Cannot perform this operation on an open connection" (prefixed with
// the connection's Name) while the connection is open.
class TMyConnectionOptions {
 public:
  explicit TMyConnectionOptions(TMyConnection& owner) : owner_(owner) {}

  const std::string& Charset() const { return charset_; }
  void SetCharset(const std::string& v);
  bool UseUnicode() const { return use_unicode_; }
  void SetUseUnicode(bool v);
  bool Direct() const { return direct_; }
  void SetDirect(bool v);
  bool Compress() const { return compress_; }
  void SetCompress(bool v);
  MyProtocol Protocol() const { return protocol_; }
  void SetProtocol(MyProtocol v);
  TIPVersion IPVersion() const { return ip_version_; }
  void SetIPVersion(TIPVersion v);
  bool Interactive() const { return interactive_; }
  void SetInteractive(bool v);
  bool OptimizedBigInt() const { return optimized_big_int_; }
  void SetOptimizedBigInt(bool v);
  bool NullForZeroBaseDate() const { return null_for_zero_base_date_; }
  void SetNullForZeroBaseDate(bool v);

  // Settable at any time.
  bool CheckBackslashes = false;
  TNumericType NumericType = ntFloat;
  bool AllowImplicitConnect = true;
  bool DisconnectedMode = false;
  bool LocalFailover = false;

 private:
  friend class TMyConnection;
  void CheckInactive() const;

  TMyConnection& owner_;
  std::string charset_;
  bool use_unicode_ = false;
  bool direct_ = true;
  bool compress_ = false;
  MyProtocol protocol_ = mpDefault;
  TIPVersion ip_version_ = ivIPv4;
  bool interactive_ = false;
  bool optimized_big_int_ = false;
  bool null_for_zero_base_date_ = false;
};

// Something that runs statements on a connection (query dataset, row reader):
// told to close its result when the connection disconnects.
class MyConnectionClient {
 public:
  virtual void ConnectionClosing() = 0;

 protected:
  ~MyConnectionClient() = default;
};

class TMyConnection {
 public:
  using TNotifyEvent = std::function<void(TMyConnection&)>;
  // OnLogin gets "SERVER=...", "USERNAME=...", "PASSWORD=..." lines and may
  // change the values.
  using TLoginEvent = std::function<void(TMyConnection&, std::vector<std::string>&)>;
  using TErrorEvent = std::function<void(TMyConnection&, const EMyError&)>;

  TMyConnection();
  ~TMyConnection();  // disconnects (COM_QUIT), then tells the destroy listeners
  TMyConnection(const TMyConnection&) = delete;
  TMyConnection& operator=(const TMyConnection&) = delete;

  // Component name ("baglanti"), prefix of its database errors.
  const std::string& Name() const { return name_; }
  void SetName(const std::string& v) { name_ = v; }

  const std::string& Server() const { return server_; }
  void SetServer(const std::string& v);  // a different value disconnects first
  int Port() const { return port_; }
  void SetPort(int v);  // a different value disconnects first
  const std::string& Username() const { return username_; }
  void SetUsername(const std::string& v);
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& v);
  const std::string& Database() const { return database_; }
  // On an open connection a different non-empty name is selected with
  // COM_INIT_DB.
  void SetDatabase(const std::string& v);
  // Bound of the TCP connect, and of the greeting and login in total.
  int ConnectionTimeout() const { return connection_timeout_; }
  void SetConnectionTimeout(int seconds) { connection_timeout_ = seconds; }
  // Longest silence of the server while a statement's answer or result is
  // awaited (kResultSilenceSeconds, 60 s, unless changed); applies to the
  // open session at once.
  int ResultSilenceTimeout() const { return result_silence_timeout_; }
  void SetResultSilenceTimeout(int seconds);
  TIsolationLevel IsolationLevel() const { return isolation_level_; }
  void SetIsolationLevel(TIsolationLevel v) { isolation_level_ = v; }
  bool LoginPrompt() const { return login_prompt_; }
  void SetLoginPrompt(bool v) { login_prompt_ = v; }
  bool Pooling() const { return pooling_; }
  void SetPooling(bool v) { pooling_ = v; }

  TMyConnectionOptions& Options() { return options_; }
  const TMyConnectionOptions& Options() const { return options_; }

  bool Connected() const;
  void SetConnected(bool v);
  void Connect();     // nothing when already connected; EMyError on failure
  void Disconnect();  // closes client datasets, sends COM_QUIT

  // For the start of each run: makes sure the connection works. An open
  // connection is checked with COM_PING (its answer awaited at most
  // ConnectionTimeout seconds); when the ping finds the connection lost (the
  // server restarted or dropped it since the last use: codes 1053, 2003,
  // 2006, 2013), the connection is closed without COM_QUIT and connected
  // anew. A closed connection is connected. Returns true when it connected
  // (anew), false when the open connection answered. A server error to the
  // ping and a failed connect are raised as EMyError like any other.
  bool EnsureConnected();

  // Hooks (unassigned by default).
  TNotifyEvent BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;
  TNotifyEvent OnConnectionLost;
  TLoginEvent OnLogin;
  TErrorEvent OnError;

  // Server and client version as the session reports them. The numbers are
  // split from the text: "5.5.5-10.11.19-MariaDB" -> 5, 5, 5.
  const std::string& ServerVersion() const { return server_version_; }
  int ServerMajorVersion() const { return server_major_; }
  int ServerMinorVersion() const { return server_minor_; }
  int ServerReleaseVersion() const { return server_release_; }
  static const char* ClientVersion() { return "8.0.0 Direct"; }
  // False only when CheckBackslashes found NO_BACKSLASH_ESCAPES in sql_mode.
  bool BackslashEscapes() const { return backslash_escapes_; }
  // Time of the last successful connect.
  std::time_t ConnectTime() const { return connect_time_; }
  // Successful connects so far: a change tells that the session was made
  // anew (a statement read on it belongs to another server session).
  std::uint64_t connect_count() const { return connect_count_; }

  // For the dump: switches Unicode mode without the open-connection check
  // (the dump turns it off while it runs and restores it afterwards).
  void SetUseUnicodeInternal(bool v) { options_.use_unicode_ = v; }

  // Destroy notification: fn runs when the connection is destroyed. Returns a
  // token for RemoveDestroyListener.
  int AddDestroyListener(std::function<void()> fn);
  void RemoveDestroyListener(int token);

  // --- used by the query dataset and the row reader ---
  // Implicit connect: "Connection is not connected" when closed and
  // AllowImplicitConnect is False; connects when needed, counts a use and
  // registers the client.
  void BeginUse(MyConnectionClient* client);
  void EndUse(MyConnectionClient* client);
  void UnregisterClient(MyConnectionClient* client);
  // The open session; EMyError 2006-like failure when not connected.
  TMySqlSession& Session();
  // Runs fn (a statement on the session); on EMyError the error handler
  // runs (OnError, fatal codes mark the connection lost) and the error is
  // rethrown.
  template <typename Fn>
  auto Guarded(Fn&& fn) -> decltype(fn()) {
    try {
      return fn();
    } catch (const EMyError& e) {
      HandleError(e);
      Rethrow(e);
    } catch (const platform::ECancelled&) {
      // A cancelled statement leaves its answer unread: the session dropped
      // its transport, so the connection is closed here too.
      HandleCancel();
      throw;
    }
  }
  // Runs a statement whose answer is discarded (SET ..., USE ...).
  void ExecSQL(const std::string& sql);
  // The typing options of this connection with dataset defaults.
  FieldTypingOptions TypingOptions() const;
  ParsedStatement StatementInfo(std::string_view sql) const;

 private:
  friend class TMyConnectionOptions;
  // Connect steps: a fresh session with this connection's settings, the
  // session's connect and login, then the statements that follow a login
  // (SET NAMES, sql_mode check, isolation level).
  void DoConnect();
  void CreateSession();
  void OpenSession();
  void RunConnectStatements();
  bool LoginInUtf8() const;
  void DoDisconnect(bool send_quit);
  void HandleError(const EMyError& e);
  void HandleCancel();
  // Inside a catch block: rethrows e, its message converted from UTF-8 when
  // UseUnicode is on.
  [[noreturn]] void Rethrow(const EMyError& e);
  [[noreturn]] void RaiseDatabaseError(const std::string& message) const;

  std::string name_;
  std::string server_;
  int port_ = 3306;
  std::string username_, password_, database_;
  int connection_timeout_ = 15;
  int result_silence_timeout_;
  TIsolationLevel isolation_level_ = ilReadCommitted;
  bool login_prompt_ = true;
  bool pooling_ = false;
  TMyConnectionOptions options_{*this};

  std::unique_ptr<TMySqlSession> session_;
  bool connected_ = false;
  int use_count_ = 0;
  std::vector<MyConnectionClient*> clients_;
  std::vector<std::pair<int, std::function<void()>>> destroy_listeners_;
  int next_listener_token_ = 1;

  std::string server_version_;
  int server_major_ = 0, server_minor_ = 0, server_release_ = 0;
  bool backslash_escapes_ = true;
  std::time_t connect_time_ = 0;
  std::uint64_t connect_count_ = 0;
};

}  // namespace mysql
