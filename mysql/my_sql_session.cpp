// Protocol session: login exchange, commands, result headers and rows.
#include "mysql/my_sql_session.h"

#include <cstdio>
#include <mutex>

#include "mysql/my_error.h"
#include "mysql/result_set.h"
#include "mysql/scramble.h"
#include "mysql/vio_tcp.h"

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

constexpr int kMaxAuthRounds = 4;

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
    if (breaks_stream(e.ErrorCode()) && vio_) {
      // Nothing more can be read in step with the server: drop the transport
      // so later commands fail cleanly instead of reading stray bytes.
      vio_->Close();
      vio_.reset();
      net_.SetVio(nullptr);
      closed_ = true;
      state_ = 0;
    }
    throw;
  }
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
    auto vio = std::make_unique<TVioTcp>(host_, port_, ip_version);
    vio->SetConnectionTimeout(connect_timeout);
    vio->SetReceiveTimeout(connect_timeout);
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
    closed_ = false;
    state_ = 0;
    try {
      greeting_ = parse_greeting(net_.ReadPacket());
      server_status_ = greeting_.status;
      const std::uint16_t caps = greeting_.capabilities;
      const std::uint32_t sent = client_flags(flags, client_flags_, caps);
      const std::uint8_t charset = charset_name == "utf8" ? kCharsetUtf8 : kCharsetDefault;
      net_.BeginPacket();
      net_.Out() = login_packet(sent, caps, charset, user, auth_response(caps, password, greeting_),
                                database);
      net_.Flush();
      client_flags_ = sent;
      Authenticate(password);
    } catch (...) {
      // A failed login leaves no transport behind (no COM_QUIT is sent).
      if (vio_) vio_->Close();
      vio_.reset();
      net_.SetVio(nullptr);
      closed_ = true;
      throw;
    }
  });
}

void TMySqlSession::Authenticate(const std::string& password) {
  const std::uint16_t caps = greeting_.capabilities;
  for (int round = 0;; ++round) {
    std::string_view packet = net_.ReadPacket();
    TAuthAnswer a = classify_auth_reply(packet, caps);
    if (a.kind == TAuthReply::Ok) {
      TResultHeader ok = parse_result_header(packet, client_flags_, caps);
      if (ok.has_status) server_status_ = ok.status;
      return;
    }
    std::string answer;
    switch (a.kind) {
      case TAuthReply::OldScramble: {
        const std::string& scramble = a.data.size() >= 8 ? a.data : greeting_.scramble;
        if (!password.empty()) answer = old_scramble(password, scramble);
        answer.push_back('\0');
        break;
      }
      case TAuthReply::NativeSwitch:
        if (!password.empty()) {
          TSha1Digest t = native_token(password, a.data);
          answer.assign(reinterpret_cast<const char*>(t.data()), t.size());
        }
        break;
      case TAuthReply::UnknownPlugin:
        throw make_error(CR_SERVER_HANDSHAKE_ERR,
                         "The server asks for the authentication plugin '" + a.plugin +
                             "', which this program does not support. Give the account a "
                             "mysql_native_password password.");
      case TAuthReply::Transitional:
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
    net_.BeginPacket();
    net_.Out() = answer;
    net_.Flush(true);
  }
}

void TMySqlSession::SendCommand(std::uint8_t command, std::string_view argument) {
  if (!IsOpen()) throw make_error(2006);
  vio_->SetReceiveTimeout(read_timeout);
  if (state_ != 0) throw make_error(CR_COMMANDS_OUT_OF_SYNC);
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
  TResultHeader h = parse_result_header(net_.ReadPacket(), client_flags_, greeting_.capabilities);
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
  state_ = 0;
  if (vio_) {
    try {
      net_.BeginCommand(COM_QUIT);
      net_.Flush();
    } catch (const EMyError&) {
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
    TResultHeader h = parse_result_header(answer, client_flags_, greeting_.capabilities);
    if (h.has_status) server_status_ = h.status & ~SERVER_MORE_RESULTS_EXISTS;
  }
  state_ = 0;
  throw make_error(
      CR_LOAD_DATA_LOCAL_INFILE_REJECTED,
      "The server asked for the local file '" + file_name + "'; the request was refused.");
}

bool TMySqlSession::ReadResultHeader() {
  server_status_ = SERVER_STATUS_AUTOCOMMIT;
  columns_.clear();
  field_count_ = 0;
  std::string_view packet = net_.ReadPacket();
  TResultHeader h = parse_result_header(packet, client_flags_, greeting_.capabilities);
  if (h.kind == TResultHeader::LocalInfile) RefuseLocalInfile(h.file_name);
  if (h.kind == TResultHeader::Ok) {
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
      TEofInfo e = parse_eof(packet);
      if (e.has_status) {
        warning_count_ = e.warnings;
        server_status_ = e.status;
      }
      break;
    }
    if (count < field_count_) columns_.push_back(parse_column_definition(packet, p41, long_flag));
    ++count;
  }
  state_ = 1;
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
    if (state_ != 1 && state_ != 2) {
      throw EMyError(CR_COMMANDS_OUT_OF_SYNC,
                     std::string(client_error_text(CR_COMMANDS_OUT_OF_SYNC)) +
                         "\r\nmysql.status = " + std::to_string(state_));
    }
    state_ = 2;
    std::string_view packet = net_.ReadPacket(false);
    if (!packet.empty() && static_cast<unsigned char>(packet[0]) == 0xFF) {
      state_ = 0;  // the statement ends with the error; nothing more follows
      throw TMySqlNet::ServerError(packet);
    }
    if (is_eof_packet(packet)) {
      TEofInfo e = parse_eof(packet);
      if (e.has_status) {
        warning_count_ = e.warnings;
        server_status_ = e.status;
      }
      state_ = 0;
      DropMoreResults();
      return false;
    }
    parse_row(packet, columns_.size(), values);
    return true;
  });
}

void TMySqlSession::DrainRows() {
  std::vector<std::string_view> scratch;
  while (state_ == 1 || state_ == 2) {
    state_ = 2;
    std::string_view packet = net_.ReadPacket(false);
    if (!packet.empty() && static_cast<unsigned char>(packet[0]) == 0xFF) {
      state_ = 0;
      throw TMySqlNet::ServerError(packet);
    }
    if (is_eof_packet(packet)) {
      TEofInfo e = parse_eof(packet);
      if (e.has_status) server_status_ = e.status;
      state_ = 0;
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
    if (state_ == 1 || state_ == 2) DrainRows();
    DropMoreResults();
    columns_.clear();
  });
}

}  // namespace mysql
