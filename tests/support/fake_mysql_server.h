// A scripted MySQL server on loopback for exchanges a real server cannot be
// made to produce (old greetings, 0xFE requests, the 4.1.0 exchange, broken
// results, dropped connections, stalls, trickled packets) and for the server
// side of caching_sha2_password (MySQL 8/9, which no Debian package has).
//
// The script is data: a list of steps run in order on the first accepted
// connection. Send writes bytes (usually a framed packet), Trickle writes
// them one byte at a time, Expect reads one packet from the client and
// records it (and, when given, compares its payload), Drop closes the
// connection, Stall waits, CachingSha2 runs the server's side of a
// caching_sha2_password authentication with real SHA-256 and RSA-OAEP. After
// the last step the server keeps reading the client's packets (COM_QUIT, ...)
// until it closes.
//
// Flow: FakeMySqlServer s; s.Send(...).Expect(...)...; s.Start();
// (client talks to 127.0.0.1:s.port()) ; s.Wait(); s.received(), s.failures().
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct ssl_st;
struct ssl_ctx_st;

namespace testsupport {

// Packet builders (payloads are framed by FakeMySqlServer::Packet).
namespace mysqlwire {
std::string lenenc(std::uint64_t v);
std::string lenenc_str(const std::string& s);
std::string u16(std::uint16_t v);
std::string u32(std::uint32_t v);
// Protocol-10 greeting in the 4.1 form (20-byte scramble).
std::string greeting41(const std::string& version, const std::string& scramble20,
                       std::uint16_t caps = 0xF7FE, std::uint8_t charset = 8,
                       std::uint16_t status = 2);
// Pre-4.1.1 greeting: 8-byte scramble, capability word only.
std::string greeting_old(const std::string& version, const std::string& scramble8,
                         std::uint16_t caps);
std::string ok(std::uint64_t affected = 0, std::uint16_t status = 2);
std::string eof(std::uint16_t status = 2, std::uint16_t warnings = 0);
std::string err(std::uint16_t code, const std::string& state, const std::string& text);
std::string column41(const std::string& name, std::uint8_t type, std::uint32_t length,
                     std::uint16_t flags = 0, std::uint16_t charset = 8, std::uint8_t decimals = 0,
                     const std::string& table = "t");
// Pre-4.1 column definition (with CLIENT_LONG_FLAG: 2-byte flags).
std::string column_old(const std::string& name, std::uint8_t type, std::uint32_t length,
                       std::uint16_t flags = 0, std::uint8_t decimals = 0, bool long_flag = true);
std::string row(const std::vector<std::optional<std::string>>& values);
// Greeting of a server with plugin authentication (MySQL 8 style): 4.1 form,
// CLIENT_PLUGIN_AUTH in the upper capabilities, the plugin name at the end.
std::string greeting_plugin(const std::string& version, const std::string& scramble20,
                            const std::string& plugin, std::uint16_t caps = 0xF7FE,
                            std::uint16_t caps_upper = 0x0008);
// Authentication switch request: 0xFE, plugin, data, NUL.
std::string auth_switch(const std::string& plugin, const std::string& data);
}  // namespace mysqlwire

// An RSA key pair in PEM form, generated with libcrypto.
struct RsaKeyPair {
  std::string private_pem;
  std::string public_pem;
};
RsaKeyPair generate_rsa_key(int bits = 2048);

// The server side of one caching_sha2_password authentication.
struct CachingSha2Account {
  std::string password;
  // The server's cache holds the account: the scramble alone may log in
  // (fast path). Otherwise the server asks for the password (full path).
  bool cached = true;
  std::string nonce;  // the 20 bytes the client scrambles with
  RsaKeyPair key;     // for the full path without TLS
  // The client's response is in the login packet (else in its own packet,
  // the answer to a switch request).
  bool from_login = true;
};

class FakeMySqlServer {
 public:
  struct Received {
    std::uint8_t sequence;
    std::string payload;
  };

  FakeMySqlServer();
  ~FakeMySqlServer();
  FakeMySqlServer(const FakeMySqlServer&) = delete;
  FakeMySqlServer& operator=(const FakeMySqlServer&) = delete;

  // Frames payload with the given sequence number (pieces of 0xFFFFFF for
  // long payloads, numbered on from seq).
  static std::string Packet(std::uint8_t seq, const std::string& payload);

  FakeMySqlServer& Send(std::uint8_t seq, const std::string& payload) {
    return SendRaw(Packet(seq, payload));
  }
  FakeMySqlServer& SendRaw(std::string bytes);
  // Reads one logical packet; when expected is given its payload must match.
  FakeMySqlServer& Expect(std::optional<std::string> expected = std::nullopt);
  FakeMySqlServer& Drop();
  FakeMySqlServer& Stall(int ms);
  // Sends the framed payload one byte every interval_ms.
  FakeMySqlServer& Trickle(std::uint8_t seq, const std::string& payload, int interval_ms);
  // Reads the client's scramble (login packet or switch answer), checks it
  // as the server does and answers: fast path 01 03 + OK; full path 01 04,
  // then the public key on request (02) and the RSA-OAEP encrypted password;
  // OK when the password matches, else ERR 1045. A password sent in clear
  // (this server has no TLS) is a failure.
  FakeMySqlServer& CachingSha2(CachingSha2Account account);
  // Reads the client's TLS request packet and completes the TLS handshake
  // as the server (certificate and key in PEM files); every later step goes
  // through TLS.
  FakeMySqlServer& AcceptTls(std::string cert_path, std::string key_path);

  // Listens on 127.0.0.1 (free port) and runs the script in a thread.
  void Start();
  int port() const { return port_; }
  // Waits until the script is done and the client closed (or timeout_ms).
  void Wait(int timeout_ms = 10000);

  std::vector<Received> received() const;
  std::vector<std::string> failures() const;

 private:
  struct Step {
    enum Kind { kSend, kExpect, kDrop, kStall, kTrickle, kCachingSha2, kTls } kind;
    std::string bytes;
    std::optional<std::string> expected;
    int ms = 0;
    std::shared_ptr<CachingSha2Account> sha2 = nullptr;
    std::string key_path = {};  // kTls: bytes holds the certificate path
  };
  void Run();
  // False when the connection is gone.
  bool RunCachingSha2(int fd, const CachingSha2Account& account);
  bool SendPacket(int fd, std::uint8_t seq, const std::string& payload);
  // Raw I/O, through TLS once it is on. False on close, error or stop.
  bool SendAll(int fd, const char* p, std::size_t n);
  bool ReadN(int fd, char* p, std::size_t n);
  bool AcceptTlsOn(int fd, const Step& step);
  void EndTls();
  bool ReadPacket(int fd, Received& out);
  void Fail(const std::string& why);

  std::vector<Step> steps_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  mutable std::mutex mutex_;
  std::vector<Received> received_;
  std::vector<std::string> failures_;
  ssl_ctx_st* tls_ctx_ = nullptr;
  ssl_st* tls_ = nullptr;
};

}  // namespace testsupport
