// Protocol session: login exchange, commands, result headers and rows.
#include "mysql/my_sql_session.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "mysql/charset.h"
#include "mysql/my_error.h"
#include "mysql/result_set.h"
#include "mysql/scramble.h"
#include "mysql/vio_tcp.h"
#include "platform/cancel.h"

namespace mysql {

namespace {

// Held only while a COM_QUERY packet is written.
std::mutex& query_send_lock() {
  static std::mutex m;
  return m;
}

// Errors after which the byte stream can no longer be trusted to be at a
// packet boundary.
bool breaks_stream(int code) {
  return code == CR_MALFORMED_PACKET || code == CR_NET_PACKET_TOO_LARGE ||
         code == ER_NET_PACKETS_OUT_OF_ORDER || code == CR_SERVER_LOST;
}

// Answers the client sends before it gives up on a login (a switch, the key
// request and the encrypted password fit well within).
constexpr int kMaxAuthRounds = 6;

// Longest wait for the socket to take COM_QUIT when closing.
constexpr int kQuitWaitSeconds = 5;

}  // namespace

TMySqlSession::TMySqlSession() = default;
TMySqlSession::~TMySqlSession() {
  try {
    Close();
  } catch (...) {
  }
}

template <typename Fn>
auto TMySqlSession::Recorded(Fn&& fn) -> decltype(fn()) {
  try {
    return fn();
  } catch (const EMyError& e) {
    last_error_code_ = e.ErrorCode();
    last_error_message_ = e.what();
    // Nothing more can be read in step with the server: drop the transport
    // so later commands fail cleanly instead of reading stray bytes.
    if (breaks_stream(e.ErrorCode())) DropTransport();
    throw;
  } catch (const platform::ECancelled& e) {
    // Cancelled mid-exchange: the rest of the answer is still on its way.
    last_error_code_ = 0;
    last_error_message_ = e.what();
    DropTransport();
    throw;
  }
}

void TMySqlSession::DropTransport() {
  if (vio_) vio_->Close();
  vio_.reset();
  net_.SetVio(nullptr);
  closed_ = true;
  state_ = TSessionState::Ready;
}

void TMySqlSession::Connect(const std::string& host, const std::string& user,
                            const std::string& password, const std::string& database, int port,
                            std::uint32_t flags) {
  Recorded([&] {
    if (!host.empty()) host_ = host;
    if (host_.empty()) host_ = "localhost";
    if (port != 0) port_ = port;
    if (port_ == 0) port_ = 3306;
    server_status_ = SERVER_STATUS_AUTOCOMMIT;
    if (protocol != 0) throw make_error(CR_WRONG_PROTOCOL);
    login_deadline_ = connect_timeout > 0
                          ? TVio::TClock::now() + std::chrono::seconds(connect_timeout)
                          : TVio::TClock::time_point::max();
    auto vio = std::make_unique<TVioTcp>(host_, port_, ip_version);
    vio->SetConnectionTimeout(connect_timeout);
    host_info_ = host_ + " via TCP/IP";
    if (!vio->Connect()) throw make_error(CR_CONN_HOST_ERROR, vio->LastErrorText());
    ConnectOver(std::move(vio), user, password, database, flags);
  });
}

void TMySqlSession::ConnectOver(std::unique_ptr<TVio> vio, const std::string& user,
                                const std::string& password, const std::string& database,
                                std::uint32_t flags) {
  Recorded([&] {
    user_ = user;
    password_ = password;
    database_ = database;
    vio_ = std::move(vio);
    net_.SetVio(vio_.get());
    net_.SetSequence(0);
    net_.SetActivity("during login");
    closed_ = false;
    state_ = TSessionState::Ready;
    auth_plugin_.clear();
    // The whole login (greeting, TLS, authentication) ends within
    // connect_timeout; without one, each wait ends at the silence bound.
    if (login_deadline_ == TVio::TClock::time_point::max() && connect_timeout > 0)
      login_deadline_ = TVio::TClock::now() + std::chrono::seconds(connect_timeout);
    vio_->SetDeadline(login_deadline_, connect_timeout);
    vio_->SetReceiveTimeout(connect_timeout > 0 ? connect_timeout : result_silence_timeout);
    login_deadline_ = TVio::TClock::time_point::max();
    try {
      ReadGreeting();
      const std::uint8_t charset = login_charset_for(charset_name, greeting_.server_version);
      const std::uint32_t sent = StartTlsIfOffered(flags, charset);
      SendLogin(sent, charset, user, password, database);
      Authenticate(password);
      vio_->SetDeadline(TVio::TClock::time_point::max(), 0);
    } catch (...) {
      // A failed login leaves no transport behind (no COM_QUIT is sent).
      DropTransport();
      throw;
    }
  });
}

void TMySqlSession::ReadGreeting() {
  greeting_ = parse_greeting(net_.ReadPacket());
  server_status_ = greeting_.status;
}

std::uint32_t TMySqlSession::StartTlsIfOffered(std::uint32_t requested_flags,
                                               std::uint8_t charset) {
  const std::uint32_t caps = greeting_.AllCapabilities();
  const bool tls = tls_preferred && (caps & CLIENT_SSL) && vio_->CanStartTls();
  const std::uint32_t flags = client_flags(requested_flags, client_flags_, caps, tls);
  if (!(flags & CLIENT_SSL)) return flags;
  // The TLS request goes before any credential; the login follows inside
  // the encrypted connection, continuing the sequence.
  net_.BeginPacket();
  net_.Out() = ssl_request_packet(flags, charset);
  net_.Flush();
  if (!vio_->StartTls()) {
    if (vio_->TimedOut()) net_.Lost();
    throw make_error(CR_SSL_CONNECTION_ERROR, vio_->LastErrorText());
  }
  return flags;
}

void TMySqlSession::SendLogin(std::uint32_t flags, std::uint8_t charset, const std::string& user,
                              const std::string& password, const std::string& database) {
  const std::uint16_t caps = greeting_.capabilities;
  auth_plugin_ = (flags & CLIENT_PLUGIN_AUTH) ? initial_auth_plugin(greeting_) : kNativePlugin;
  net_.BeginPacket();
  net_.Out() =
      login_packet(flags, caps, charset, user,
                   auth_response(caps, password, greeting_, auth_plugin_), database, auth_plugin_);
  net_.Flush();
  client_flags_ = flags;
}

bool TMySqlSession::CachingSha2MoreData(std::string_view data, const std::string& password,
                                        const std::string& nonce, std::string& answer) {
  if (data.size() == 1 && static_cast<std::uint8_t>(data[0]) == kSha2FastAuthOk) return false;
  if (data.size() != 1 || static_cast<std::uint8_t>(data[0]) != kSha2FullAuthNeeded)
    throw make_error(CR_SERVER_HANDSHAKE_ERR,
                     "The server's caching_sha2_password request is not understood.");
  if (vio_->TlsActive()) {
    // Inside TLS the password itself goes, with its terminating zero.
    answer = password;
    answer.push_back('\0');
    return true;
  }
  // Without TLS the password goes only encrypted with the server's RSA key,
  // which the client asks for.
  SendAuthAnswer(std::string(1, static_cast<char>(kSha2PublicKeyRequest)));
  std::string_view key_packet = net_.ReadPacket();
  if (key_packet.empty() || static_cast<std::uint8_t>(key_packet[0]) != kMoreDataByte)
    throw make_error(CR_SERVER_HANDSHAKE_ERR,
                     "The server did not send its public key for caching_sha2_password.");
  answer = rsa_encrypted_password(key_packet.substr(1), password, nonce);
  return true;
}

void TMySqlSession::SendAuthAnswer(const std::string& answer) {
  net_.BeginPacket();
  net_.Out() = answer;
  net_.Flush(true);
}

void TMySqlSession::Authenticate(const std::string& password) {
  const std::uint32_t caps = greeting_.AllCapabilities();
  std::string nonce = greeting_.scramble;
  for (int round = 0;; ++round) {
    std::string_view packet = net_.ReadPacket();
    AuthAnswer a = classify_auth_reply(packet, caps);
    if (a.kind == AuthReply::kOk) {
      ResultHeader ok = parse_result_header(packet, client_flags_, greeting_.capabilities);
      if (ok.has_status) server_status_ = ok.status;
      return;
    }
    std::string answer;
    switch (a.kind) {
      case AuthReply::kOldScramble: {
        auth_plugin_ = kOldPlugin;
        const std::string& scramble = a.data.size() >= 8 ? a.data : greeting_.scramble;
        if (!password.empty()) answer = old_scramble(password, scramble);
        answer.push_back('\0');
        break;
      }
      case AuthReply::kNativeSwitch:
        auth_plugin_ = kNativePlugin;
        nonce = a.data;
        if (!password.empty()) {
          TSha1Digest t = native_token(password, nonce);
          answer.assign(reinterpret_cast<const char*>(t.data()), t.size());
        }
        break;
      case AuthReply::kCachingSha2Switch:
        auth_plugin_ = kCachingSha2Plugin;
        nonce = a.data.substr(0, 20);
        if (!password.empty()) {
          TSha256Digest t = caching_sha2_token(password, nonce);
          answer.assign(reinterpret_cast<const char*>(t.data()), t.size());
        }
        break;
      case AuthReply::kMoreData:
        if (auth_plugin_ != kCachingSha2Plugin)
          throw make_error(CR_SERVER_HANDSHAKE_ERR,
                           "The server sent authentication data for the method '" + auth_plugin_ +
                               "', which has no further step.");
        if (!CachingSha2MoreData(a.data, password, nonce, answer)) continue;
        break;
      case AuthReply::kUnknownPlugin:
        throw EMyError(CR_AUTH_PLUGIN_CANNOT_LOAD, unsupported_plugin_message(a.plugin));
      case AuthReply::kTransitional:
        if (a.data[0] == '*') {
          answer = old_scramble(password, a.data.substr(4, 20));
          answer.push_back('\0');
        } else {
          answer = transitional_answer(password, a.data);
        }
        break;
      default: {
        char text[128];
        std::snprintf(
            text, sizeof text,
            "The server's answer to the login is not an OK packet (first byte $%02X).",
            packet.empty() ? 0u : static_cast<unsigned>(static_cast<unsigned char>(packet[0])));
        throw make_error(CR_SERVER_HANDSHAKE_ERR, text);
      }
    }
    if (round + 1 >= kMaxAuthRounds)
      throw make_error(CR_SERVER_HANDSHAKE_ERR, "The server keeps asking for authentication.");
    SendAuthAnswer(answer);
  }
}

int TMySqlSession::CommandWaitSeconds() const {
  if (result_silence_timeout <= 0) return read_timeout;
  if (read_timeout <= 0) return result_silence_timeout;
  return std::min(read_timeout, result_silence_timeout);
}

void TMySqlSession::SendCommand(std::uint8_t command, std::string_view argument) {
  if (!IsOpen()) throw make_error(CR_SERVER_GONE_ERROR);
  vio_->SetReceiveTimeout(CommandWaitSeconds());
  net_.SetActivity(command == COM_PING ? "during ping" : "during query");
  if (state_ != TSessionState::Ready) throw make_error(CR_COMMANDS_OUT_OF_SYNC);
  info_.clear();
  affected_rows_ = insert_id_ = 0;
  net_.BeginCommand(command);
  net_.Out().append(argument);
  if (command == COM_QUERY) {
    std::lock_guard<std::mutex> lock(query_send_lock());
    net_.Flush();
  } else {
    net_.Flush();
  }
}

void TMySqlSession::ReadOkAnswer() {
  ResultHeader h = parse_result_header(net_.ReadPacket(), client_flags_, greeting_.capabilities);
  if (h.has_status) server_status_ = h.status;
}

void TMySqlSession::SelectDb(const std::string& name) {
  Recorded([&] {
    SendCommand(COM_INIT_DB, name);
    ReadOkAnswer();
    database_ = name;
  });
}

void TMySqlSession::Ping() {
  Recorded([&] {
    SendCommand(COM_PING, {});
    ReadOkAnswer();
  });
}

void TMySqlSession::Close() {
  if (closed_) return;
  closed_ = true;
  state_ = TSessionState::Ready;
  if (vio_) {
    try {
      // COM_QUIT is sent quickly; the silence bound ends its wait.
      const int wait = CommandWaitSeconds();
      vio_->SetReceiveTimeout(wait > 0 ? std::min(wait, kQuitWaitSeconds) : kQuitWaitSeconds);
      net_.BeginCommand(COM_QUIT);
      net_.Flush();
    } catch (const EMyError&) {
    } catch (const platform::ECancelled&) {
      // Closing is part of unwinding a cancelled run: it must not throw.
    }
    vio_->Close();
  }
  vio_.reset();
  net_.SetVio(nullptr);
}

bool TMySqlSession::Query(std::string_view sql) {
  return Recorded([&] {
    SendCommand(COM_QUERY, sql);
    bool result = ReadResultHeader();
    if (!result) DropMoreResults();
    return result;
  });
}

void TMySqlSession::RefuseLocalInfile(const std::string& file_name) {
  // Never send a file: end the transfer at once with the empty packet, take
  // the server's answer, then fail the statement.
  net_.BeginPacket();
  net_.Flush(true);
  std::string_view answer = net_.ReadPacket(false);
  if (!answer.empty() && answer[0] == 0) {
    ResultHeader h = parse_result_header(answer, client_flags_, greeting_.capabilities);
    if (h.has_status) server_status_ = h.status & ~SERVER_MORE_RESULTS_EXISTS;
  }
  state_ = TSessionState::Ready;
  throw make_error(
      CR_LOAD_DATA_LOCAL_INFILE_REJECTED,
      "The server asked for the local file '" + file_name + "'; the request was refused.");
}

bool TMySqlSession::ReadResultHeader() {
  server_status_ = SERVER_STATUS_AUTOCOMMIT;
  columns_.clear();
  field_count_ = 0;
  std::string_view packet = net_.ReadPacket();
  ResultHeader h = parse_result_header(packet, client_flags_, greeting_.capabilities);
  if (h.kind == ResultHeader::kLocalInfile) RefuseLocalInfile(h.file_name);
  if (h.kind == ResultHeader::kOk) {
    affected_rows_ = h.affected_rows;
    insert_id_ = h.insert_id;
    if (h.has_status) server_status_ = h.status;
    warning_count_ = h.warnings;
    info_ = h.info;
    return false;
  }
  field_count_ = h.field_count;
  if (!(server_status_ & SERVER_STATUS_AUTOCOMMIT)) server_status_ |= SERVER_STATUS_IN_TRANS;
  ReadColumns();
  warning_count_ = 0;
  return true;
}

void TMySqlSession::ReadColumns() {
  const bool p41 = client_flags_ & CLIENT_PROTOCOL_41;
  const bool long_flag = greeting_.capabilities & CLIENT_LONG_FLAG;
  std::uint64_t count = 0;
  for (;;) {
    std::string_view packet = net_.ReadPacket();
    if (is_eof_packet(packet)) {
      EofInfo e = parse_eof(packet);
      if (e.has_status) {
        warning_count_ = e.warnings;
        server_status_ = e.status;
      }
      break;
    }
    if (count < field_count_) columns_.push_back(parse_column_definition(packet, p41, long_flag));
    ++count;
  }
  state_ = TSessionState::ResultHeader;
  if (count != field_count_) {
    // The rows that follow cannot be read against these columns: drop them
    // so the session is ready again, then fail.
    DrainRows();
    columns_.clear();
    throw make_error(CR_UNKNOWN_ERROR);
  }
}

bool TMySqlSession::FetchRow(std::vector<std::string_view>& values) {
  return Recorded([&] {
    if (state_ == TSessionState::Ready) {
      throw EMyError(CR_COMMANDS_OUT_OF_SYNC,
                     std::string(client_error_text(CR_COMMANDS_OUT_OF_SYNC)) +
                         "\r\nmysql.status = " + std::to_string(static_cast<int>(state_)));
    }
    state_ = TSessionState::Rows;
    std::string_view packet = net_.ReadPacket(false);
    if (!packet.empty() && static_cast<unsigned char>(packet[0]) == 0xFF) {
      state_ = TSessionState::Ready;  // the statement ends with the error; nothing more follows
      throw TMySqlNet::ServerError(packet);
    }
    if (is_eof_packet(packet)) {
      EofInfo e = parse_eof(packet);
      if (e.has_status) {
        warning_count_ = e.warnings;
        server_status_ = e.status;
      }
      state_ = TSessionState::Ready;
      DropMoreResults();
      return false;
    }
    parse_row(packet, columns_.size(), values);
    return true;
  });
}

void TMySqlSession::DrainRows() {
  std::vector<std::string_view> scratch;
  while (state_ != TSessionState::Ready) {
    state_ = TSessionState::Rows;
    std::string_view packet = net_.ReadPacket(false);
    if (!packet.empty() && static_cast<unsigned char>(packet[0]) == 0xFF) {
      state_ = TSessionState::Ready;
      throw TMySqlNet::ServerError(packet);
    }
    if (is_eof_packet(packet)) {
      EofInfo e = parse_eof(packet);
      if (e.has_status) server_status_ = e.status;
      state_ = TSessionState::Ready;
    }
  }
}

void TMySqlSession::DropMoreResults() {
  // Iterative, so a server announcing result after result cannot exhaust
  // the stack.
  while (server_status_ & SERVER_MORE_RESULTS_EXISTS) {
    if (ReadResultHeader()) DrainRows();
  }
}

void TMySqlSession::FreeResult() {
  Recorded([&] {
    if (state_ != TSessionState::Ready) DrainRows();
    DropMoreResults();
    columns_.clear();
  });
}

}  // namespace mysql
