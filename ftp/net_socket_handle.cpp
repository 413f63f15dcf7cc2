// Socket ownership and address bookkeeping; see net_socket_handle.h.
#include "ftp/net_socket_handle.h"

#include "ftp/net_stack.h"

namespace ftp {

void TNetSocketHandle::Allocate(int fd) {
  std::lock_guard<std::mutex> g(lock_);
  if (fd_ >= 0) TNetStack::Close(fd_);
  fd_ = fd;
  ip_.clear();
  peer_ip_.clear();
  port_ = peer_port_ = 0;
}

void TNetSocketHandle::UpdateBindingLocal() {
  std::lock_guard<std::mutex> g(lock_);
  if (fd_ >= 0) TNetStack::GetSockName(fd_, ip_, port_);
}

void TNetSocketHandle::UpdateBindingPeer() {
  std::lock_guard<std::mutex> g(lock_);
  if (fd_ >= 0) TNetStack::GetPeerName(fd_, peer_ip_, peer_port_);
}

void TNetSocketHandle::CloseSocket(bool abortive) {
  std::lock_guard<std::mutex> g(lock_);
  if (fd_ < 0) return;
  if (abortive)
    TNetStack::SetAbortiveClose(fd_);
  else
    TNetStack::ShutdownSend(fd_);
  TNetStack::Close(fd_);
  fd_ = -1;
}

void TNetSocketHandle::Reset() {
  CloseSocket();
  std::lock_guard<std::mutex> g(lock_);
  ip_.clear();
  peer_ip_.clear();
  port_ = peer_port_ = 0;
}

}  // namespace ftp
