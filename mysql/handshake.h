// Codecs of the login: the protocol-10 greeting (both the pre-4.1 short form
// and the 4.1 form with the second scramble part), the client flags, the
// login packet and its auth response, and the classification of the server's
// answer to the login. Pure functions; the session drives them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mysql {

// Capability flags.
enum : std::uint32_t {
  CLIENT_LONG_PASSWORD = 0x1,
  CLIENT_FOUND_ROWS = 0x2,
  CLIENT_LONG_FLAG = 0x4,
  CLIENT_CONNECT_WITH_DB = 0x8,
  CLIENT_COMPRESS = 0x20,
  CLIENT_LOCAL_FILES = 0x80,
  CLIENT_PROTOCOL_41 = 0x200,
  CLIENT_INTERACTIVE = 0x400,
  CLIENT_SSL = 0x800,
  CLIENT_TRANSACTIONS = 0x2000,
  CLIENT_SECURE_CONNECTION = 0x8000,
  CLIENT_MULTI_STATEMENTS = 0x10000,
  CLIENT_MULTI_RESULTS = 0x20000,
};

// Flags every login carries. CLIENT_LOCAL_FILES is deliberately absent: this
// program never asks the server for LOAD DATA LOCAL, so it does not offer to
// send local files.
constexpr std::uint32_t kFixedClientFlags =
    CLIENT_LONG_PASSWORD | CLIENT_LONG_FLAG | CLIENT_PROTOCOL_41 | CLIENT_TRANSACTIONS |
    CLIENT_SECURE_CONNECTION | CLIENT_MULTI_STATEMENTS | CLIENT_MULTI_RESULTS;  // 0x3A205

constexpr std::uint8_t kProtocolVersion = 10;
constexpr std::uint32_t kMaxPacketSize = 0x40000000;  // announced in the login
constexpr std::uint8_t kCharsetUtf8 = 33;
constexpr std::uint8_t kCharsetDefault = 8;

// Greeting packet, protocol 10:
//   1   protocol version (10)
//   n+1 server version, NUL-terminated
//   4   thread id
//   8   scramble part 1
//   1   filler                               <- position p
//   2   server capabilities (low word)       p+1   (when length > p+2)
//   1   server language                      p+3   (when length >= p+18)
//   2   server status                        p+4
//   13  upper capabilities, length, reserved p+6
//   12  scramble part 2                      p+19  (when length >= p+31)
struct TGreeting {
  std::uint8_t protocol = 0;
  std::string server_version;
  std::uint32_t thread_id = 0;
  std::string scramble;  // 8 or 20 bytes
  bool full_scramble = false;
  std::uint16_t capabilities = 0;
  std::uint8_t language = 0;
  std::uint16_t status = 2;
};

// Parses a greeting payload. Protocol other than 10: EMyError 2007; a payload
// that ends early: 2027.
TGreeting parse_greeting(std::string_view payload);

// The flags of a login: requested flags (+MULTI_RESULTS with
// MULTI_STATEMENTS), the previous login's flags, the fixed set and
// CONNECT_WITH_DB; COMPRESS, PROTOCOL_41 and SSL only when the server has
// them.
std::uint32_t client_flags(std::uint32_t requested, std::uint32_t previous,
                           std::uint16_t server_capabilities);

// Auth response bytes of the login packet (with its length byte or trailing
// zero as the server form needs).
std::string auth_response(std::uint16_t server_capabilities, std::string_view password,
                          const TGreeting& greeting);

// Login packet payload (4.1 form with CLIENT_PROTOCOL_41, else the short
// 2-byte-flags form).
std::string login_packet(std::uint32_t flags, std::uint16_t server_capabilities,
                         std::uint8_t charset, std::string_view user, std::string_view auth,
                         std::string_view database);

// The server's answer to the login (or to an auth answer).
enum class TAuthReply {
  Ok,             // 0x00: logged in
  OldScramble,    // 0xFE alone, or a switch to mysql_old_password
  NativeSwitch,   // switch to mysql_native_password with a new scramble
  UnknownPlugin,  // switch to any other plugin
  Transitional,   // 24-byte packet of the 4.1.0 exchange
  Unexpected,     // anything else: not a login
};
struct TAuthAnswer {
  TAuthReply kind = TAuthReply::Unexpected;
  std::string plugin;
  std::string data;  // new scramble (switch) or the whole 24-byte packet
};
TAuthAnswer classify_auth_reply(std::string_view payload, std::uint16_t server_capabilities);

}  // namespace mysql
