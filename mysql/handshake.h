// Codecs of the login: the protocol-10 greeting (both the pre-4.1 short form
// and the 4.1 form with the second scramble part and the plugin name), the
// client flags, the TLS request, the login packet and its auth response, and
// the classification of the server's answer to the login. Pure functions; the
// session drives them.
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
  CLIENT_PLUGIN_AUTH = 0x80000,
};

// Authentication methods (plugins) this client answers.
inline constexpr const char* kNativePlugin = "mysql_native_password";
inline constexpr const char* kCachingSha2Plugin = "caching_sha2_password";
inline constexpr const char* kOldPlugin = "mysql_old_password";

// caching_sha2_password exchange after the scramble (payloads of the
// server's "more data" packets, first byte 0x01, and the client's request):
inline constexpr std::uint8_t kMoreDataByte = 0x01;
inline constexpr std::uint8_t kSha2FastAuthOk = 0x03;        // 01 03: scramble accepted
inline constexpr std::uint8_t kSha2FullAuthNeeded = 0x04;    // 01 04: send the password
inline constexpr std::uint8_t kSha2PublicKeyRequest = 0x02;  // client asks for the RSA key

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
//   2   upper capabilities                   p+6
//   1   auth data length                     p+8
//   10  reserved                             p+9
//   12+ scramble part 2 (auth length - 8, at least 12, then a NUL)
//                                            p+19  (when length >= p+31)
//   n+1 auth plugin name, NUL-terminated (with CLIENT_PLUGIN_AUTH)
struct Greeting {
  std::uint8_t protocol = 0;
  std::string server_version;
  std::uint32_t thread_id = 0;
  std::string scramble;  // 8 or 20 bytes
  bool full_scramble = false;
  std::uint16_t capabilities = 0;
  std::uint16_t capabilities_upper = 0;
  std::uint8_t language = 0;
  std::uint16_t status = 2;
  std::string auth_plugin;  // empty when the server names none
  std::uint32_t AllCapabilities() const {
    return capabilities | (std::uint32_t{capabilities_upper} << 16);
  }
};

// Parses a greeting payload. Protocol other than 10: EMyError 2007; a payload
// that ends early: 2027.
Greeting parse_greeting(std::string_view payload);

// The flags of a login: requested flags (+MULTI_RESULTS with
// MULTI_STATEMENTS), the previous login's flags, the fixed set,
// CONNECT_WITH_DB and PLUGIN_AUTH; COMPRESS, PROTOCOL_41 and PLUGIN_AUTH only
// when the server has them; SSL only when the server has it and tls is true.
std::uint32_t client_flags(std::uint32_t requested, std::uint32_t previous,
                           std::uint32_t server_capabilities, bool tls = false);

// The plugin the login answers with: caching_sha2_password when the greeting
// names it, else mysql_native_password (the server switches when the account
// uses another).
std::string initial_auth_plugin(const Greeting& greeting);

// Auth response bytes of the login packet (with its length byte or trailing
// zero as the server form needs) for the plugin (native unless named).
std::string auth_response(std::uint16_t server_capabilities, std::string_view password,
                          const Greeting& greeting, std::string_view plugin = kNativePlugin);

// Login packet payload (4.1 form with CLIENT_PROTOCOL_41, else the short
// 2-byte-flags form); with CLIENT_PLUGIN_AUTH in flags the plugin name ends
// it.
std::string login_packet(std::uint32_t flags, std::uint16_t server_capabilities,
                         std::uint8_t charset, std::string_view user, std::string_view auth,
                         std::string_view database, std::string_view plugin = {});

// The TLS request sent before the TLS handshake (4.1 form): the login
// packet's first 32 bytes, flags with CLIENT_SSL, no user.
std::string ssl_request_packet(std::uint32_t flags, std::uint8_t charset);

// The operator's message for an account whose authentication method this
// client does not speak.
std::string unsupported_plugin_message(std::string_view plugin);

// The server's answer to the login (or to an auth answer).
enum class AuthReply {
  kOk,                 // 0x00: logged in
  kOldScramble,        // 0xFE alone, or a switch to mysql_old_password
  kNativeSwitch,       // switch to mysql_native_password with a new scramble
  kCachingSha2Switch,  // switch to caching_sha2_password with a new nonce
  kUnknownPlugin,      // switch to any other plugin
  kMoreData,           // 0x01 + data: the current plugin's next step
  kTransitional,       // 24-byte packet of the 4.1.0 exchange
  kUnexpected,         // anything else: not a login
};
struct AuthAnswer {
  AuthReply kind = AuthReply::kUnexpected;
  std::string plugin;
  // New scramble (switch), the bytes after 0x01 (more data) or the whole
  // 24-byte packet (transitional).
  std::string data;
};
AuthAnswer classify_auth_reply(std::string_view payload, std::uint32_t server_capabilities);

}  // namespace mysql
