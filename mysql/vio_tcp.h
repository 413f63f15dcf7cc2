// TVioTcp: the TCP transport of a session. Resolves the host (getaddrinfo),
// connects with a timeout, switches on keep-alive (15 s idle, 1 s interval)
// and no-delay, reads through a 32 KiB read-ahead buffer, and can switch the
// connection to TLS after the greeting.
//
// The socket is non-blocking: every wait (connect, read, write, TLS
// handshake) polls in slices of platform::kCancelPollMs, checks the worker's
// cancel token between slices (ECancelled unwinds from Read/Write/Connect),
// and ends at the silence bound or the deadline, whichever comes first.
//
// TLS: verification of the server certificate is off, like the standard
// client's "preferred" mode: the goal is that passwords and data do not
// cross the network in clear when the server can encrypt; servers of small
// shops run with self-made certificates that nothing could verify. TLS 1.2
// is the lowest version accepted.
//
// Flow: TVioTcp t(host, port, ip_version); t.SetConnectionTimeout(s);
// t.SetReceiveTimeout(s); if (!t.Connect()) t.LastErrorText(); [StartTls];
// Read/Write; Close. One thread at a time.
#pragma once

#include <memory>
#include <string>

#include "mysql/vio.h"
#include "platform/unique_fd.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace mysql {

class TVioTcp : public TVio {
 public:
  static constexpr std::size_t kReadAheadSize = 0x8000;
  static constexpr std::size_t kDirectReadThreshold = 2048;

  // ip_version: 0 IPv4, 1 IPv6, 2 both.
  TVioTcp(std::string host, int port, int ip_version);
  ~TVioTcp() override;
  TVioTcp(const TVioTcp&) = delete;
  TVioTcp& operator=(const TVioTcp&) = delete;

  void SetConnectionTimeout(int seconds) { connection_timeout_ = seconds; }
  void SetReceiveTimeout(int seconds) override { receive_timeout_ = seconds; }
  void SetDeadline(TClock::time_point deadline, int seconds) override {
    deadline_ = deadline;
    deadline_seconds_ = seconds;
  }
  // False on failure; LastErrorText holds the operator's message:
  // "Unknown host '%s'.\r\n...", "Cannot connect to server on host ...".
  bool Connect();

  std::size_t Read(void* buffer, std::size_t n) override;
  bool Write(const void* data, std::size_t n) override;
  void Close() override;
  std::string LastErrorText() const override { return error_text_; }
  bool TimedOut() const override { return timed_out_; }
  bool StartTls() override;
  bool CanStartTls() const override { return true; }
  bool TlsActive() const override { return ssl_ != nullptr; }
  int LastError() const { return error_code_; }
  // "host:port" as the messages name the server.
  std::string PeerName() const;

 private:
  // Waits until the socket is ready for events (POLLIN/POLLOUT); false at
  // the silence bound or deadline (timeout error set) or on a poll error.
  bool WaitReady(short events);
  // One receive or send, waiting as needed: > 0 bytes, 0 peer closed, < 0
  // error (error text set).
  long RecvSome(char* dst, std::size_t n);
  long SendSome(const char* src, std::size_t n);
  void SetSocketError(const char* head, int err);
  void SetTlsError(const char* head);
  void FreeTls();

  std::string host_;
  int port_;
  int ip_version_;
  int connection_timeout_ = 0;
  int receive_timeout_ = 30;
  TClock::time_point deadline_ = TClock::time_point::max();
  int deadline_seconds_ = 0;
  platform::UniqueFd fd_;
  std::unique_ptr<char[]> buffer_;
  std::size_t fill_ = 0, consume_ = 0;
  SSL_CTX* ctx_ = nullptr;
  SSL* ssl_ = nullptr;
  int error_code_ = 0;
  bool timed_out_ = false;
  std::string error_text_;
};

}  // namespace mysql
