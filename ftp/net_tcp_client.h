// The TCP client connection component: TNetTCPConnection (owns the I/O
// handler, Disconnect, IsConnected), TNetTCPClientCustom (the settings and
// Connect) and TNetTCPClient, the plain client used for FTP data connections.
//
// When no I/O handler was assigned, Connect creates a managed one; it is
// released when connecting fails and when the connection is destroyed.
// Blocking, single-threaded.
//
// Flow: set Host/Port (...) -> Connect -> IOHandler()->ReadLine/WriteLine ... ->
// Disconnect (-> Connect again).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ftp/net_iohandler_stack.h"

namespace ftp {

class TNetTCPConnection {
 public:
  TNetTCPConnection() = default;
  TNetTCPConnection(const TNetTCPConnection&) = delete;
  TNetTCPConnection& operator=(const TNetTCPConnection&) = delete;
  virtual ~TNetTCPConnection();

  // The handler in use (nullptr before the first Connect and after a failed
  // one when it was managed).
  TNetIOHandlerStack* IOHandler() const { return io_; }
  // A caller-owned handler; it must outlive this connection.
  void SetIOHandler(TNetIOHandlerStack* handler);
  // The handler, creating the managed one first when none is assigned (to
  // adjust its buffer sizes before Connect).
  TNetIOHandlerStack& CreateIOHandler();

  // With notify_peer and a live connection, first lets the protocol say
  // goodbye (errors ignored); then closes the handler.
  virtual void Disconnect(bool notify_peer = true);
  bool IsConnected();

  std::function<void()> OnConnected;
  std::function<void()> OnDisconnected;
  TNetStatusEvent OnStatus;

 protected:
  // The protocol's goodbye (QUIT for FTP); nothing for plain TCP.
  virtual void DisconnectNotifyPeer() {}
  void CreateManagedIOHandler();
  void ReleaseManagedIOHandler();
  void Status(TNetStatus s, const std::string& text) {
    if (OnStatus) OnStatus(s, text);
  }

  TNetIOHandlerStack* io_ = nullptr;
  std::unique_ptr<TNetIOHandlerStack> managed_io_;
};

class TNetTCPClientCustom : public TNetTCPConnection {
 public:
  // Opens the connection with the current settings.
  virtual void Connect();

  const std::string& Host() const { return host_; }
  void SetHost(const std::string& v) { host_ = v; }
  std::uint16_t Port() const { return port_; }
  void SetPort(std::uint16_t v) { port_ = v; }
  // 0: plain blocking connect; > 0: bounded wait in ms; -1: unbounded wait.
  int ConnectTimeout() const { return connect_timeout_; }
  void SetConnectTimeout(int v) { connect_timeout_ = v; }
  // ms per wait for received data; 0 and -1 wait forever.
  int ReadTimeout() const { return read_timeout_; }
  void SetReadTimeout(int v);
  // ms a send may wait for the peer to take data; 0 means as ReadTimeout.
  int WriteTimeout() const { return write_timeout_; }
  void SetWriteTimeout(int v);
  TNetIPVersion IPVersion() const { return ip_version_; }
  void SetIPVersion(TNetIPVersion v) { ip_version_ = v; }
  const std::string& BoundIP() const { return bound_ip_; }
  void SetBoundIP(const std::string& v) { bound_ip_ = v; }
  std::uint16_t BoundPort() const { return bound_port_; }
  void SetBoundPort(std::uint16_t v) { bound_port_ = v; }
  TNetReuseSocket ReuseSocket() const { return reuse_socket_; }
  void SetReuseSocket(TNetReuseSocket v) { reuse_socket_ = v; }
  bool UseNagle() const { return use_nagle_; }
  void SetUseNagle(bool v) { use_nagle_ = v; }

 protected:
  std::string host_;
  std::uint16_t port_ = 0;
  int connect_timeout_ = 0;
  int read_timeout_ = -1;
  int write_timeout_ = 0;
  TNetIPVersion ip_version_ = TNetIPVersion::Net_IPv4;
  std::string bound_ip_;
  std::uint16_t bound_port_ = 0;
  TNetReuseSocket reuse_socket_ = TNetReuseSocket::rsOSDependent;
  bool use_nagle_ = true;
};

class TNetTCPClient : public TNetTCPClientCustom {};

}  // namespace ftp
