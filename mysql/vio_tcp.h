// TVioTcp: the TCP transport of a session. Resolves the host (getaddrinfo),
// connects with a timeout, switches on keep-alive (15 s idle, 1 s interval)
// and no-delay, applies send/receive timeouts, and reads through a 32 KiB
// read-ahead buffer.
//
// Flow: TVioTcp t(host, port, ip_version); t.SetConnectionTimeout(s);
// t.SetReceiveTimeout(s); if (!t.Connect()) t.LastErrorText(); Read/Write;
// Close. One thread at a time.
#pragma once

#include <memory>
#include <string>

#include "mysql/vio.h"
#include "platform/unique_fd.h"

namespace mysql {

class TVioTcp : public TVio {
 public:
  static constexpr std::size_t kReadAheadSize = 0x8000;
  static constexpr std::size_t kDirectReadThreshold = 2048;

  // ip_version: 0 IPv4, 1 IPv6, 2 both.
  TVioTcp(std::string host, int port, int ip_version);
  ~TVioTcp() override;

  void SetConnectionTimeout(int seconds) { connection_timeout_ = seconds; }
  void SetSendTimeout(int seconds) { send_timeout_ = seconds; }
  void SetReceiveTimeout(int seconds) override;
  // False on failure; LastErrorText holds the operator's message:
  // "Unknown host '%s'.\r\n...", "Cannot connect to server on host ...".
  bool Connect();

  std::size_t Read(void* buffer, std::size_t n) override;
  bool Write(const void* data, std::size_t n) override;
  void Close() override;
  std::string LastErrorText() const override { return error_text_; }
  int LastError() const { return error_code_; }

 private:
  void SetError(const char* format, int code);
  bool Fill();

  std::string host_;
  int port_;
  int ip_version_;
  int connection_timeout_ = 0;
  int send_timeout_ = 0;
  int receive_timeout_ = 30;
  platform::UniqueFd fd_;
  std::unique_ptr<char[]> buffer_;
  std::size_t fill_ = 0, consume_ = 0;
  int error_code_ = 0;
  std::string error_text_;
};

}  // namespace mysql
