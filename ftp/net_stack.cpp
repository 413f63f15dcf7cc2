// POSIX implementation of the socket layer; see net_stack.h.
#include "ftp/net_stack.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "ftp/net_exceptions.h"
#include "platform/cancel.h"
#include "platform/text_trim.h"

namespace ftp {

int socket_error_from_errno(int err) {
  switch (err) {
    case EINTR:
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
      return 10024;
    case EWOULDBLOCK:
      return 10035;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    // A send after the peer reset the connection: the same as a reset.
    case EPIPE:
    case ECONNRESET:
      return 10054;
    case ENOBUFS:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    case ENOTEMPTY:
      return 10066;
    default:
      return err;
  }
}

int socket_error_from_gai(int gai_error, int err) {
  switch (gai_error) {
    case EAI_NONAME:
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      return 11001;  // host not found
    case EAI_AGAIN:
      return 11002;  // try again (no name server answered)
    case EAI_FAIL:
      return 11003;  // non-recoverable lookup failure
    case EAI_MEMORY:
      return 10055;
    case EAI_FAMILY:
      return 10047;
    case EAI_SOCKTYPE:
      return 10044;
    case EAI_SYSTEM:
      return socket_error_from_errno(err);
    default:
      return 11001;
  }
}

namespace TNetStack {
namespace {

[[noreturn]] void raise_errno() { raise_socket_error(socket_error_from_errno(errno)); }

sockaddr_in make_address(const std::string& ip, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (ip.empty()) {
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
  } else if (::inet_pton(AF_INET, ip.c_str(), &sa.sin_addr) != 1) {
    raise_socket_error(kSocketAddrNotAvail);
  }
  return sa;
}

std::string dotted(const sockaddr_in& sa) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
  return text;
}

std::string trim_blanks(const std::string& s) { return std::string(platform::trim(s)); }

}  // namespace

int NewSocket() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) raise_errno();
  return fd;
}

void SetReuseAddress(int fd, bool on) {
  int v = on ? 1 : 0;
  if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &v, sizeof v) != 0) raise_errno();
}

bool GetNoDelay(int fd) {
  int v = 0;
  socklen_t len = sizeof v;
  if (::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &v, &len) != 0) raise_errno();
  return v != 0;
}

void SetNoDelay(int fd, bool on) {
  int v = on ? 1 : 0;
  if (::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v) != 0) raise_errno();
}

bool TryBind(int fd, const std::string& ip, std::uint16_t port) {
  sockaddr_in sa = make_address(ip, port);
  return ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
}

bool Connect(int fd, const std::string& ip, std::uint16_t port, int timeout_ms) {
  sockaddr_in sa = make_address(ip, port);
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) raise_errno();
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return true;
  if (errno != EINPROGRESS && errno != EINTR) raise_errno();
  if (!WaitFor(fd, POLLOUT, timeout_ms > 0 ? timeout_ms : -1)) return false;
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) raise_errno();
  if (err != 0) raise_socket_error(socket_error_from_errno(err));
  return true;
}

bool WaitFor(int fd, short events, int timeout_ms) {
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  for (;;) {
    platform::throw_if_cancelled();
    int slice = platform::kCancelPollMs;
    if (timeout_ms >= 0) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
      slice = static_cast<int>(std::clamp<long long>(left, 0, platform::kCancelPollMs));
    }
    pollfd p{fd, events, 0};
    int n = ::poll(&p, 1, slice);
    if (n < 0 && errno != EINTR) raise_errno();
    if (n > 0) return true;
    if (timeout_ms >= 0 && clock::now() >= deadline) return false;
  }
}

long TryReceive(int fd, void* buf, std::size_t len) {
  for (;;) {
    ssize_t n = ::recv(fd, buf, len, MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK) return -1;
    if (errno != EINTR) raise_errno();
  }
}

long TrySend(int fd, const void* buf, std::size_t len) {
  for (;;) {
    ssize_t n = ::send(fd, buf, len, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK) return -1;
    if (errno != EINTR) raise_errno();
  }
}

void ShutdownSend(int fd) { ::shutdown(fd, SHUT_WR); }

void SetAbortiveClose(int fd) {
  linger lg{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
}

void Close(int fd) { ::close(fd); }

void GetSockName(int fd, std::string& ip, std::uint16_t& port) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) raise_errno();
  ip = dotted(sa);
  port = ntohs(sa.sin_port);
}

void GetPeerName(int fd, std::string& ip, std::uint16_t& port) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) raise_errno();
  ip = dotted(sa);
  port = ntohs(sa.sin_port);
}

bool IsIPv4Address(const std::string& text, std::string* normalized) {
  size_t start = 0;
  std::string plain;
  for (int field = 0; field < 4; ++field) {
    size_t dot = text.find('.', start);
    if ((field < 3) != (dot != std::string::npos)) return false;
    std::string part =
        trim_blanks(text.substr(start, dot == std::string::npos ? dot : dot - start));
    if (part.empty() || part.size() > 3) return false;
    int value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    if (value > 255) return false;
    if (field > 0) plain += '.';
    plain += std::to_string(value);
    start = dot + 1;
  }
  if (normalized) *normalized = plain;
  return true;
}

std::string ResolveHost(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
  if (rc != 0) raise_socket_error(socket_error_from_gai(rc, errno));
  std::string ip;
  for (addrinfo* a = result; a; a = a->ai_next) {
    if (a->ai_family == AF_INET) {
      ip = dotted(*reinterpret_cast<sockaddr_in*>(a->ai_addr));
      break;
    }
  }
  ::freeaddrinfo(result);
  if (ip.empty()) raise_socket_error(kSocketHostNotFound);
  return ip;
}

}  // namespace TNetStack
}  // namespace ftp
