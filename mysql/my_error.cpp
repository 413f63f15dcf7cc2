// Client error texts and the message rule of EMyError.
#include "mysql/my_error.h"

#include <cctype>
#include <cstdlib>

namespace mysql {

namespace {

// Indexed by code - 2000.
constexpr const char* kClientErrors[48] = {
    "Unknown MySQL error",
    "Can't create UNIX socket (%d)",
    "Can't connect to local MySQL server through socket '%-.64s' (%d)",
    "Can't connect to MySQL server on '%s' (%d)",
    "Can't create TCP/IP socket (%d)",
    "Unknown MySQL Server Host '%-.64s' (%d)",
    "MySQL server has gone away",
    "Protocol mismatch. Server Version = %d Client Version = %d",
    "MySQL client run out of memory",
    "Wrong host info",
    "Localhost via UNIX socket",
    "%-.64s via TCP/IP",
    "Error in server handshake",
    "Lost connection to MySQL server during query",
    "Commands out of sync;  You can't run this command now",
    "%-.64s via named pipe",
    "Can't wait for named pipe to host: %s  pipe: %s (%s)",
    "Can't open named pipe to host: %s  pipe: %s (%s)",
    "Can't set state of named pipe to host: %s  pipe: %s (%s)",
    "Can't initialize character set %s (path: %s)",
    "Got packet bigger than 'max_allowed_packet'",
    "Embedded server",
    "Error on SHOW SLAVE STATUS:",
    "Error on SHOW SLAVE HOSTS:",
    "Error connecting to slave:",
    "Error connecting to master:",
    "SSL connection error",
    "Malformed packet",
    "Invalid use of null pointer",
    "Statement not prepared",
    "Not all parameters data supplied",
    "Data truncated",
    "No parameters exists in the statement",
    "Invalid parameter number",
    "Can't send long data for non string or binary data types (parameter: %s)",
    "Using unsupported buffer type: %s  (parameter: %s)",
    "Shared memory (%s)",
    "Can't open shared memory. Request event don't create  (%s)",
    "Can't open shared memory. Answer event don't create  (%s)",
    "Can't open shared memory. File mapping don't create  (%s)",
    "Can't open shared memory. Map of memory don't create  (%s)",
    "Can't open shared memory. File mapping don't create for client (%s)",
    "Can't open shared memory. Map of memory don't create for client (%s)",
    "Can't open shared memory. %s event don't create for client (%s)",
    "Can't open shared memory. Server abandoded and don't sent the answer event (%s)",
    "Can't open shared memory. Can't send the request event to server (%s)",
    "Wrong or unknown protocol",
    "Invalid connection handle",
};

// The trailing decimal number of a message ("... at line 3" -> 3).
int trailing_number(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && !std::isdigit(static_cast<unsigned char>(text[end - 1]))) {
    if (text[end - 1] != ' ' && text[end - 1] != '\r' && text[end - 1] != '\n') return 0;
    --end;
  }
  size_t start = end;
  while (start > 0 && std::isdigit(static_cast<unsigned char>(text[start - 1]))) --start;
  if (start == end || end - start > 9) return 0;
  return std::atoi(std::string(text.substr(start, end - start)).c_str());
}

}  // namespace

EMyError::EMyError(int error_code, const std::string& message) : EDbError(error_code, message) {
  if (error_code == ER_PARSE_ERROR) line_number_ = trailing_number(message);
}

bool EMyError::is_fatal_code(int code) {
  return code == ER_SERVER_SHUTDOWN || code == CR_CONN_HOST_ERROR || code == CR_SERVER_GONE_ERROR ||
         code == CR_SERVER_LOST;
}

std::string_view client_error_text(int code) {
  if (code < 2000 || code > 2047) return {};
  return kClientErrors[code - 2000];
}

std::string error_message(int code, std::string_view formatted_client_text,
                          std::string_view extra) {
  if (extra.empty()) return std::string(formatted_client_text);
  if (code == CR_CONN_HOST_ERROR) return std::string(extra);
  std::string m(formatted_client_text);
  m += "\r\n";
  m += extra;
  return m;
}

EMyError make_error(int code, std::string_view extra) {
  return EMyError(code, error_message(code, client_error_text(code), extra));
}

std::string prefixed_message(std::string_view component_name, std::string_view message) {
  if (component_name.empty()) return std::string(message);
  std::string m(component_name);
  m += ": ";
  m += message;
  return m;
}

}  // namespace mysql
