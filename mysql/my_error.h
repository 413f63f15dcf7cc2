// Error classes of the MySQL client and the dataset layer, and the client
// error texts (codes 2000..2047).
//
// EDatabaseError  - dataset errors ("q: Field 'x' not found"); what() is the
//                   message shown to the operator.
//   EDbError      - database errors with a code.
//     EMyError    - every MySQL client or server error: ErrorCode() is the
//                   server's code (1045, 1049, ...) or a client code
//                   (2000..2047); the message of a server error is CR LF and
//                   the server's text ("\r\n#28000Access denied ...").
// Thrown from the caller's thread; no state is shared.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/convert_error.h"

namespace mysql {

class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  const char* Message() const { return what(); }
};

class EDbError : public EDatabaseError {
 public:
  EDbError(int error_code, const std::string& message)
      : EDatabaseError(message), error_code_(error_code) {}
  int ErrorCode() const { return error_code_; }

 private:
  int error_code_;
};

class EMyError : public EDbError {
 public:
  EMyError(int error_code, const std::string& message);
  // For 1064 (SQL syntax) the trailing number of the message; else 0.
  int LineNumber() const { return line_number_; }
  // Codes after which the connection is considered lost.
  bool IsFatal() const { return is_fatal_code(ErrorCode()); }
  static bool is_fatal_code(int code);

 private:
  int line_number_ = 0;
};

// A value that cannot be converted ("'x' is not a valid floating point
// value", "Wrong time format at field t", ...).
using platform::EConvertError;

// Client error codes this client raises, and the server codes it looks at.
enum : int {
  CR_UNKNOWN_ERROR = 2000,
  CR_CONN_HOST_ERROR = 2003,
  // A command on a session that is not open.
  CR_SERVER_GONE_ERROR = 2006,
  CR_VERSION_ERROR = 2007,
  CR_SERVER_HANDSHAKE_ERR = 2012,
  CR_SERVER_LOST = 2013,
  CR_COMMANDS_OUT_OF_SYNC = 2014,
  CR_NET_PACKET_TOO_LARGE = 2020,
  // The TLS request or handshake failed.
  CR_SSL_CONNECTION_ERROR = 2026,
  CR_MALFORMED_PACKET = 2027,
  CR_WRONG_PROTOCOL = 2046,
  // The account's authentication method is not one this client speaks.
  CR_AUTH_PLUGIN_CANNOT_LOAD = 2059,
  ER_SERVER_SHUTDOWN = 1053,
  ER_PARSE_ERROR = 1064,
  ER_NET_PACKETS_OUT_OF_ORDER = 1156,
  // The server asked for a local file (LOAD DATA LOCAL); never granted.
  CR_LOAD_DATA_LOCAL_INFILE_REJECTED = 2068,
};

// The unformatted client text for a code ("%d" etc. still in it); empty for
// codes outside 2000..2047 (all server codes).
std::string_view client_error_text(int code);

// The message rule of the session: the client text for the code (already
// formatted by the caller when it has arguments); an extra text replaces it
// for 2003 and is appended after CR LF for every other code.
std::string error_message(int code, std::string_view formatted_client_text, std::string_view extra);

// Builds an EMyError by the message rule from the code's own (argument-free)
// text and an extra text.
EMyError make_error(int code, std::string_view extra = {});

// "<name>: <message>" when name is not empty, else the message alone.
std::string prefixed_message(std::string_view component_name, std::string_view message);

}  // namespace mysql
