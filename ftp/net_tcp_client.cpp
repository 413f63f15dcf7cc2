// Connect and Disconnect of the TCP client connection; see net_tcp_client.h.
#include "ftp/net_tcp_client.h"

#include "ftp/net_exceptions.h"

namespace ftp {

TNetTCPConnection::~TNetTCPConnection() {
  if (io_) io_->Close();
  ReleaseManagedIOHandler();
}

void TNetTCPConnection::SetIOHandler(TNetIOHandlerStack* handler) {
  if (handler == io_) return;
  ReleaseManagedIOHandler();
  io_ = handler;
}

TNetIOHandlerStack& TNetTCPConnection::CreateIOHandler() {
  if (!io_) CreateManagedIOHandler();
  return *io_;
}

void TNetTCPConnection::CreateManagedIOHandler() {
  managed_io_ = std::make_unique<TNetIOHandlerStack>();
  io_ = managed_io_.get();
}

void TNetTCPConnection::ReleaseManagedIOHandler() {
  if (!managed_io_) return;
  if (io_ == managed_io_.get()) io_ = nullptr;
  managed_io_.reset();
}

bool TNetTCPConnection::IsConnected() { return io_ && io_->Connected(); }

void TNetTCPConnection::Disconnect(bool notify_peer) {
  try {
    if (notify_peer && IsConnected()) DisconnectNotifyPeer();
  } catch (...) {
    // The goodbye is a courtesy (also when the run was cancelled meanwhile);
    // the connection is closed either way.
  }
  if (io_ && io_->Opened()) {
    Status(TNetStatus::hsDisconnecting, "");
    io_->Close();
    if (OnDisconnected) OnDisconnected();
    Status(TNetStatus::hsDisconnected, "");
  }
}

void TNetTCPClientCustom::SetReadTimeout(int v) {
  read_timeout_ = v;
  if (io_) {
    io_->ReadTimeout = v;
    if (write_timeout_ == 0) io_->WriteTimeout = v;
  }
}

void TNetTCPClientCustom::SetWriteTimeout(int v) {
  write_timeout_ = v;
  if (io_) io_->WriteTimeout = v == 0 ? read_timeout_ : v;
}

void TNetTCPClientCustom::Connect() {
  if (IsConnected()) throw ENetAlreadyConnected();
  if (host_.empty()) throw ENetHostRequired();
  if (port_ == 0) throw ENetPortRequired();
  if (!io_) CreateManagedIOHandler();
  io_->Host = host_;
  io_->Port = port_;
  io_->ConnectTimeout = connect_timeout_;
  io_->ReadTimeout = read_timeout_;
  io_->WriteTimeout = write_timeout_ == 0 ? read_timeout_ : write_timeout_;
  io_->BoundIP = bound_ip_;
  io_->BoundPort = bound_port_;
  io_->IPVersion = ip_version_;
  io_->ReuseSocket = reuse_socket_;
  io_->UseNagle = use_nagle_;
  io_->OnStatus = OnStatus;
  try {
    io_->Open();
    io_->ConnectClient();
    if (OnConnected) OnConnected();
  } catch (...) {
    io_->Close();
    ReleaseManagedIOHandler();
    throw;
  }
}

}  // namespace ftp
