// A scripted MySQL server on loopback for exchanges a real server cannot be
// made to produce (old greetings, 0xFE requests, the 4.1.0 exchange, broken
// results, dropped connections, stalls).
//
// The script is data: a list of steps run in order on the first accepted
// connection. Send writes bytes (usually a framed packet), Expect reads one
// packet from the client and records it (and, when given, compares its
// payload), Drop closes the connection, Stall waits. After the last step the
// server keeps reading the client's packets (COM_QUIT, ...) until it closes.
//
// Flow: FakeMySqlServer s; s.Send(...).Expect(...)...; s.Start();
// (client talks to 127.0.0.1:s.port()) ; s.Wait(); s.received(), s.failures().
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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
}  // namespace mysqlwire

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

  // Listens on 127.0.0.1 (free port) and runs the script in a thread.
  void Start();
  int port() const { return port_; }
  // Waits until the script is done and the client closed (or timeout_ms).
  void Wait(int timeout_ms = 10000);

  std::vector<Received> received() const;
  std::vector<std::string> failures() const;

 private:
  struct Step {
    enum Kind { kSend, kExpect, kDrop, kStall } kind;
    std::string bytes;
    std::optional<std::string> expected;
    int ms = 0;
  };
  void Run();
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
};

}  // namespace testsupport
