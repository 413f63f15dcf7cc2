// TNetSocketHandle: the one socket of an I/O handler with its local and peer
// address. Closing the socket and recording the addresses after a connect
// take the handle's lock, so a connect on another thread never races a close.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace ftp {

class TNetSocketHandle {
 public:
  TNetSocketHandle() = default;
  ~TNetSocketHandle() { CloseSocket(); }
  TNetSocketHandle(const TNetSocketHandle&) = delete;
  TNetSocketHandle& operator=(const TNetSocketHandle&) = delete;

  bool HandleAllocated() const { return fd_ >= 0; }
  int Handle() const { return fd_; }
  // Takes ownership of a new socket descriptor and forgets any addresses.
  void Allocate(int fd);
  // Records the local and peer address of the connected socket.
  void UpdateBindingLocal();
  void UpdateBindingPeer();
  // Shuts down the sending direction and closes the socket (when one is open);
  // abortive: closes with a reset instead, sending no FIN.
  void CloseSocket(bool abortive = false);
  // No socket, no addresses.
  void Reset();

  const std::string& IP() const { return ip_; }
  std::uint16_t Port() const { return port_; }
  const std::string& PeerIP() const { return peer_ip_; }
  std::uint16_t PeerPort() const { return peer_port_; }

 private:
  std::mutex lock_;
  int fd_ = -1;
  std::string ip_, peer_ip_;
  std::uint16_t port_ = 0, peer_port_ = 0;
};

}  // namespace ftp
