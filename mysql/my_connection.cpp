// Connection component: settings, connect sequence, error handling,
// disconnect.
#include "mysql/my_connection.h"

#include <algorithm>
#include <cctype>

#include "mysql/charset.h"
#include "mysql/my_row_reader.h"
#include "mysql/my_sql_session.h"
#include "platform/ascii_case.h"
#include "platform/codepage.h"

namespace mysql {

namespace {

int read_number(std::string_view text, size_t& i) {
  int v = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    if (v < 100000000) v = v * 10 + (text[i] - '0');
    ++i;
  }
  return v;
}

constexpr const char* kOpenConnection = "Cannot perform this operation on an open connection";

}  // namespace

void split_server_version(std::string_view text, int& major, int& minor, int& release) {
  size_t i = 0;
  major = read_number(text, i);
  minor = release = 0;
  if (i >= text.size() || text[i] != '.') return;
  ++i;
  minor = read_number(text, i);
  if (i >= text.size()) return;
  ++i;
  release = read_number(text, i);
}

// --- options ---

void TMyConnectionOptions::CheckInactive() const {
  if (owner_.Connected()) owner_.RaiseDatabaseError(kOpenConnection);
}

#define YEDEK_OPTION_SETTER(Name, field)                    \
  void TMyConnectionOptions::Set##Name(decltype(field) v) { \
    if (v == field) return;                                 \
    CheckInactive();                                        \
    field = v;                                              \
  }
void TMyConnectionOptions::SetCharset(const std::string& v) {
  if (v == charset_) return;
  CheckInactive();
  charset_ = v;
}
YEDEK_OPTION_SETTER(UseUnicode, use_unicode_)
YEDEK_OPTION_SETTER(Direct, direct_)
YEDEK_OPTION_SETTER(Compress, compress_)
YEDEK_OPTION_SETTER(Protocol, protocol_)
YEDEK_OPTION_SETTER(IPVersion, ip_version_)
YEDEK_OPTION_SETTER(Interactive, interactive_)
YEDEK_OPTION_SETTER(OptimizedBigInt, optimized_big_int_)
YEDEK_OPTION_SETTER(NullForZeroBaseDate, null_for_zero_base_date_)
#undef YEDEK_OPTION_SETTER

// --- connection ---

TMyConnection::TMyConnection() : result_silence_timeout_(kResultSilenceSeconds) {}

void TMyConnection::SetResultSilenceTimeout(int seconds) {
  result_silence_timeout_ = seconds;
  if (session_) session_->result_silence_timeout = seconds;
}

TMyConnection::~TMyConnection() {
  try {
    Disconnect();
  } catch (...) {
    // Nothing can be reported while the component goes away.
  }
  auto listeners = std::move(destroy_listeners_);
  for (auto& [token, fn] : listeners) fn();
}

void TMyConnection::RaiseDatabaseError(const std::string& message) const {
  throw EDatabaseError(prefixed_message(name_, message));
}

bool TMyConnection::Connected() const { return connected_; }

void TMyConnection::SetConnected(bool v) { v ? Connect() : Disconnect(); }

void TMyConnection::SetServer(const std::string& v) {
  if (v == server_) return;
  Disconnect();
  server_ = v;
}
void TMyConnection::SetPort(int v) {
  if (v == port_) return;
  Disconnect();
  port_ = v;
}
void TMyConnection::SetUsername(const std::string& v) {
  if (v == username_) return;
  Disconnect();
  username_ = v;
}
void TMyConnection::SetPassword(const std::string& v) {
  if (v == password_) return;
  Disconnect();
  password_ = v;
}
void TMyConnection::SetDatabase(const std::string& v) {
  if (v == database_) return;
  if (connected_ && !v.empty()) Guarded([&] { session_->SelectDb(v); });
  database_ = v;
}

void TMyConnection::Connect() {
  if (connected_) return;
  if (login_prompt_ && OnLogin) {
    std::vector<std::string> lines = {"SERVER=" + server_, "USERNAME=" + username_,
                                      "PASSWORD=" + password_};
    OnLogin(*this, lines);
    for (const std::string& line : lines) {
      size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      std::string key = platform::ascii_lowercase(line.substr(0, eq)), value = line.substr(eq + 1);
      if (key == "server")
        server_ = value;
      else if (key == "username")
        username_ = value;
      else if (key == "password")
        password_ = value;
    }
  }
  if (BeforeConnect) BeforeConnect(*this);
  DoConnect();
  ++use_count_;
  if (AfterConnect) AfterConnect(*this);
}

void TMyConnection::DoConnect() {
  CreateSession();
  OpenSession();
  connected_ = true;
  connect_time_ = std::time(nullptr);
  ++connect_count_;
  backslash_escapes_ = true;
  try {
    RunConnectStatements();
  } catch (...) {
    // The first error is the one reported; the disconnect's are ignored.
    try {
      DoDisconnect(true);
    } catch (...) {
    }
    throw;
  }
}

bool TMyConnection::LoginInUtf8() const {
  return options_.use_unicode_ || platform::ascii_lowercase(options_.charset_) == "utf8";
}

void TMyConnection::CreateSession() {
  server_version_.clear();
  server_major_ = server_minor_ = server_release_ = 0;
  if (session_) session_->Close();
  session_ = std::make_unique<TMySqlSession>();
  TMySqlSession& s = *session_;
  s.connect_timeout = connection_timeout_;
  s.result_silence_timeout = result_silence_timeout_;
  const bool utf8 = LoginInUtf8();
  if (utf8) s.charset_name = "utf8";
  // A Unicode connection's own texts are UTF-8 already.
  const bool unicode = !utf8 && is_unicode_charset(options_.charset_);
  if (unicode) s.charset_name = std::string(kUnicodeCharset);
  s.ip_version = static_cast<int>(options_.ip_version_);
}

void TMyConnection::OpenSession() {
  TMySqlSession& s = *session_;
  const bool utf8 = LoginInUtf8();
  std::uint32_t flags = CLIENT_FOUND_ROWS | CLIENT_MULTI_STATEMENTS;
  if (options_.compress_) flags |= CLIENT_COMPRESS;
  if (options_.interactive_) flags |= CLIENT_INTERACTIVE;
  std::string host = server_.substr(0, server_.find(','));
  if (host.empty()) host = "localhost";
  auto login_text = [&](const std::string& v) { return utf8 ? platform::ansi_to_utf8(v) : v; };

  try {
    s.Connect(host, login_text(username_), login_text(password_), login_text(database_), port_,
              flags);
  } catch (const EMyError& e) {
    if (OnError) OnError(*this, e);
    session_.reset();
    Rethrow(e);
  } catch (const platform::ECancelled&) {
    session_.reset();
    throw;
  }
}

void TMyConnection::RunConnectStatements() {
  TMySqlSession& s = *session_;
  server_version_ = s.ServerVersion();
  split_server_version(server_version_, server_major_, server_minor_, server_release_);
  const bool before_41 = server_major_ < 4 || (server_major_ == 4 && server_minor_ == 0);
  if (before_41)
    options_.use_unicode_ = false;
  else if (options_.use_unicode_)
    ExecSQL("SET NAMES utf8");
  else if (!options_.charset_.empty())
    ExecSQL("SET NAMES " +
            session_charset_for(options_.charset_, server_major_, server_minor_, server_release_));
  if (options_.CheckBackslashes) {
    MyRowReader reader(*this);
    if (reader.Execute("SELECT @@session.sql_mode") && reader.Next()) {
      std::string mode(reader.Value(0));
      mode = platform::ascii_uppercase(mode);
      if (mode.find("NO_BACKSLASH_ESCAPES") != std::string::npos) backslash_escapes_ = false;
    }
    reader.Close();
  }
  switch (isolation_level_) {
    case ilReadUnCommitted:
      ExecSQL("SET SESSION TRANSACTION ISOLATION LEVEL READ UNCOMMITTED");
      break;
    case ilRepeatableRead:
      ExecSQL("SET SESSION TRANSACTION ISOLATION LEVEL REPEATABLE READ");
      break;
    case ilSerializable:
      ExecSQL("SET SESSION TRANSACTION ISOLATION LEVEL SERIALIZABLE");
      break;
    case ilReadCommitted:
      break;
  }
}

void TMyConnection::Disconnect() {
  if (!connected_ && !session_) return;
  use_count_ = 0;
  if (BeforeDisconnect) BeforeDisconnect(*this);
  DoDisconnect(true);
  if (AfterDisconnect) AfterDisconnect(*this);
}

void TMyConnection::DoDisconnect(bool send_quit) {
  auto clients = clients_;
  for (MyConnectionClient* c : clients) c->ConnectionClosing();
  if (session_) {
    if (send_quit) session_->Close();
    session_.reset();
  }
  connected_ = false;
}

bool TMyConnection::EnsureConnected() {
  if (connected_ && session_ && session_->IsOpen()) {
    TMySqlSession& s = *session_;
    const int read_timeout = s.read_timeout;
    // A live server answers a ping at once; a dead host must not hold the
    // run for the whole silence bound.
    if (connection_timeout_ > 0) s.read_timeout = connection_timeout_;
    try {
      s.Ping();
      s.read_timeout = read_timeout;
      return false;
    } catch (const EMyError& e) {
      s.read_timeout = read_timeout;
      if (!e.IsFatal() && s.IsOpen()) {
        HandleError(e);
        Rethrow(e);
      }
      // Lost since the last use: fall through to a new connect.
    }
  }
  if (connected_ || session_) {
    DoDisconnect(false);
    if (OnConnectionLost) OnConnectionLost(*this);
  }
  Connect();
  return true;
}

void TMyConnection::HandleCancel() {
  if (connected_ && session_ && !session_->IsOpen()) DoDisconnect(false);
}

void TMyConnection::HandleError(const EMyError& e) {
  if (OnError) OnError(*this, e);
  const bool stream_gone = session_ && !session_->IsOpen();
  if (connected_ && (e.IsFatal() || stream_gone)) {
    // The connection is lost: close the datasets and forget the session.
    DoDisconnect(false);
    if (OnConnectionLost) OnConnectionLost(*this);
  }
}

void TMyConnection::Rethrow(const EMyError& e) {
  // The server's texts are UTF-8 on a Unicode session; messages are shown as
  // the program's Windows-1254 text.
  if (options_.use_unicode_ || is_unicode_charset(options_.charset_))
    throw EMyError(e.ErrorCode(), platform::utf8_to_ansi(e.what()));
  throw;
}

int TMyConnection::AddDestroyListener(std::function<void()> fn) {
  int token = next_listener_token_++;
  destroy_listeners_.emplace_back(token, std::move(fn));
  return token;
}

void TMyConnection::RemoveDestroyListener(int token) {
  destroy_listeners_.erase(std::remove_if(destroy_listeners_.begin(), destroy_listeners_.end(),
                                          [&](const auto& p) { return p.first == token; }),
                           destroy_listeners_.end());
}

void TMyConnection::BeginUse(MyConnectionClient* client) {
  Connect();
  ++use_count_;
  if (client && std::find(clients_.begin(), clients_.end(), client) == clients_.end())
    clients_.push_back(client);
}

void TMyConnection::EndUse(MyConnectionClient*) {
  if (use_count_ > 0) --use_count_;
}

void TMyConnection::UnregisterClient(MyConnectionClient* client) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

TMySqlSession& TMyConnection::Session() {
  if (!connected_ || !session_) throw make_error(CR_SERVER_GONE_ERROR);
  return *session_;
}

void TMyConnection::ExecSQL(const std::string& sql) {
  Guarded([&] {
    TMySqlSession& s = Session();
    s.read_timeout = kForeverSeconds;
    if (s.Query(sql)) s.FreeResult();
  });
}

FieldTypingOptions TMyConnection::TypingOptions() const {
  FieldTypingOptions o;
  o.UseUnicode = options_.use_unicode_;
  o.OptimizedBigInt = options_.optimized_big_int_;
  o.NumericType = options_.NumericType;
  return o;
}

ParsedStatement TMyConnection::StatementInfo(std::string_view sql) const {
  return {sql, server_major_, server_minor_, server_release_};
}

}  // namespace mysql
