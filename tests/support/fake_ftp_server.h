// A scripted fake FTP server on 127.0.0.1 for client tests.
//
// The script is data: a list of steps played in order on one thread. Each
// step expects a command line (exact, or a prefix when it ends in "*") and
// answers with canned text, or drops the connection, stalls, accepts the next
// control connection, or plays the server side of a passive transfer (PASV
// listener, preliminary reply before or after the data connection is
// accepted, data received until the client closes, final reply). A mismatch
// is recorded in errors() and ends the script.
//
// Flow: FakeFtpServer srv({steps...}); srv.Start(); client talks to
// srv.port(); srv.Wait(); check commands(), uploaded(), errors().
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct FtpStep {
  enum class Kind { kSend, kExpect, kClose, kAccept, kStall, kPasv, kStore, kSleep, kHold };
  Kind kind = Kind::kExpect;
  std::string expect;        // command expected (kExpect, kPasv, kStore)
  std::string text;          // reply sent (CR LF added unless it ends in "\n" or raw)
  bool raw = false;          // send text exactly as given
  bool close_after = false;  // kExpect: drop the connection after the reply
  // kStore: final reply after the data connection closed ("" sends nothing).
  std::string final_text;
  bool accept_first = false;    // kStore: accept the data connection before `text`
  int delay_ms = 0;             // kStore: wait before accepting; kSleep: how long
  std::int64_t cut_after = -1;  // kStore: reset the data connection after this many bytes
  bool stop_reading = false;    // kStore: accept the data connection but never read it
};

// Step builders.
FtpStep Send(const std::string& reply);
FtpStep SendRaw(const std::string& bytes);
FtpStep Expect(const std::string& command, const std::string& reply);
// Reads the command, then drops the connection without answering.
FtpStep CloseOn(const std::string& command);
FtpStep Close();
// Waits for the next control connection (after the client reconnects).
FtpStep Accept();
// Reads the command and answers nothing until the client goes away.
FtpStep StallOn(const std::string& command);
// Keeps the connection open, reading whatever comes, until the client closes it.
FtpStep HoldUntilClosed();
// Opens a data listener; "{fields}" in the reply becomes h1,h2,h3,h4,p1,p2
// and "{port}" p1,p2 alone.
FtpStep Pasv(const std::string& reply = "227 Entering Passive Mode ({fields}).");
FtpStep Store(const std::string& command, const std::string& preliminary = "150 Ok to send data.",
              const std::string& final_reply = "226 Transfer complete.");
// Accepts the data connection and never reads it; once the client gave up
// (closed or reset it) sends final_reply.
FtpStep StoreWithoutReading(const std::string& command,
                            const std::string& final_reply = "426 Transfer aborted.");
FtpStep Sleep(int ms);

// The usual login of a server that answers HOST 500, FEAT 500, USER 331.
std::vector<FtpStep> plain_login(const std::string& greeting = "220 Fake FTP ready.");

class FakeFtpServer {
 public:
  explicit FakeFtpServer(std::vector<FtpStep> script);
  ~FakeFtpServer();
  FakeFtpServer(const FakeFtpServer&) = delete;
  FakeFtpServer& operator=(const FakeFtpServer&) = delete;

  void Start();
  int port() const { return port_; }
  // Waits until the script has ended (and, after the last step, until the
  // client closed the connection). Commands after the last step are recorded;
  // QUIT is answered "221 Goodbye.".
  void Wait();

  std::vector<std::string> commands() const;  // raw bytes of each command line
  std::string uploaded() const;               // bytes of the data connections
  std::vector<std::string> errors() const;
  // The data connection was seen closed by the client before the final reply.
  bool data_closed_before_final() const { return data_closed_before_final_; }

  // The fields h1,h2,h3,h4,p1,p2 of 127.0.0.1:port.
  static std::string pasv_fields(int port);

 private:
  void Run();
  bool ReadCommand(std::string& line);
  void SendText(const std::string& text, bool raw);
  void Fail(const std::string& what);
  void CloseControl();

  std::vector<FtpStep> script_;
  int listen_fd_ = -1;
  int control_fd_ = -1;
  int data_listen_fd_ = -1;
  int port_ = 0;
  std::string pending_;  // received, not yet consumed control bytes
  std::thread thread_;
  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  std::vector<std::string> commands_;
  std::string uploaded_;
  std::vector<std::string> errors_;
  std::atomic<bool> data_closed_before_final_{false};
};

}  // namespace testsupport
