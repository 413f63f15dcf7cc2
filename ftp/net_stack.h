// TNetStack: the socket layer under the TCP client connection.
//
// Thin wrappers over the POSIX socket calls (IPv4 stream sockets only). Every
// failing call throws ENetSocketError with the platform's errno translated
// into the socket error numbering of the operator's messages (connection
// refused 10061, timed out 10060, reset 10054, ...). Stateless; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ftp {

// errno -> socket error number (10061 for ECONNREFUSED, ...). Numbers without
// a counterpart are returned as they are.
int socket_error_from_errno(int err);
// getaddrinfo() result -> socket error number (11001 for an unknown name).
int socket_error_from_gai(int gai_error, int err);

namespace TNetStack {

// Socket descriptor (IPv4, stream, protocol 0).
int NewSocket();
void SetReuseAddress(int fd, bool on);
// Current TCP_NODELAY state.
bool GetNoDelay(int fd);
void SetNoDelay(int fd, bool on);
// Returns false when the address and port cannot be bound.
bool TryBind(int fd, const std::string& ip, std::uint16_t port);
// Connects to a dotted IPv4 address and leaves the socket non-blocking (every
// later wait is a poll). timeout_ms <= 0 waits until the platform completes
// or refuses the connect; otherwise returns false when the time ran out (the
// socket is then unusable and must be closed). The wait is sliced and
// cancellable like WaitFor.
bool Connect(int fd, const std::string& ip, std::uint16_t port, int timeout_ms);
// Waits until fd is ready for events (POLLIN, POLLOUT): timeout_ms < 0 waits
// without limit. Waits in slices of platform::kCancelPollMs and raises
// platform::ECancelled between them when the run was cancelled. True when
// ready (or when the socket has an error or hang-up to report).
bool WaitFor(int fd, short events, int timeout_ms);
// One receive on a non-blocking socket; 0 means the peer closed its sending
// direction, -1 that nothing is there yet.
long TryReceive(int fd, void* buf, std::size_t len);
// One send on a non-blocking socket (no SIGPIPE); the bytes sent, or -1 when
// the send buffer is full.
long TrySend(int fd, const void* buf, std::size_t len);
void ShutdownSend(int fd);
// Makes the next close reset the connection instead of ending it cleanly, so
// the peer cannot take a cut-off transfer for a complete one.
void SetAbortiveClose(int fd);
void Close(int fd);
// Local and peer address of a connected socket.
void GetSockName(int fd, std::string& ip, std::uint16_t& port);
void GetPeerName(int fd, std::string& ip, std::uint16_t& port);

// True for exactly four dot-separated fields, each a number 0..255 after
// trimming blanks, and nothing after the fourth. *normalized (when given)
// receives the plain dotted form ("010. 1.2.3" -> "10.1.2.3").
bool IsIPv4Address(const std::string& text, std::string* normalized = nullptr);
// First IPv4 address of a host name, as dotted text.
std::string ResolveHost(const std::string& host);

}  // namespace TNetStack
}  // namespace ftp
