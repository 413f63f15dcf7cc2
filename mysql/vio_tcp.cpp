// TCP transport: name resolution, connect with timeout, socket options,
// buffered reads and complete writes.
#include "mysql/vio_tcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/files.h"

namespace mysql {

namespace {

constexpr int kDefaultBufferSize = 8192;
constexpr int kKeepAliveIdleSeconds = 15;
constexpr int kKeepAliveIntervalSeconds = 1;

std::string format_text(const char* format, const std::string& a, int code) {
  char buf[1024];
  std::snprintf(buf, sizeof buf, format, a.c_str(), code, static_cast<unsigned>(code));
  return buf;
}

// "Socket Error Code: %d($%X)" with the system's text in front.
std::string socket_text(const char* head, int err) {
  char buf[1024];
  std::snprintf(buf, sizeof buf, "%s\r\n%s.\r\nSocket Error Code: %d($%X)", head,
                platform::system_error_text(err).c_str(), err, static_cast<unsigned>(err));
  return buf;
}

bool ipv6_literal(const std::string& host) {
  bool colon = false;
  for (unsigned char c : host) {
    if (c == ':')
      colon = true;
    else if (!(std::isalnum(c) || c == '%' || c == '/'))
      return false;
  }
  return colon;
}

void set_timeout(int fd, int option, int seconds) {
  timeval tv{};
  tv.tv_sec = seconds;
  ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

}  // namespace

TVioTcp::TVioTcp(std::string host, int port, int ip_version)
    : host_(host.empty() ? "localhost" : std::move(host)), port_(port), ip_version_(ip_version) {}

TVioTcp::~TVioTcp() { Close(); }

void TVioTcp::SetReceiveTimeout(int seconds) {
  receive_timeout_ = seconds;
  if (fd_) set_timeout(fd_.get(), SO_RCVTIMEO, seconds);
}

bool TVioTcp::Connect() {
  Close();
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  if (ip_version_ == 0)
    hints.ai_family = AF_INET;
  else if (ip_version_ == 1 && ipv6_literal(host_))
    hints.ai_family = AF_INET6;
  else
    hints.ai_family = AF_UNSPEC;
  addrinfo* list = nullptr;
  const std::string port_text = std::to_string(port_);
  int rc = ::getaddrinfo(host_.c_str(), port_text.c_str(), &hints, &list);
  if (rc != 0 || list == nullptr) {
    // The resolver's own code (EAI_*) as a positive number.
    error_code_ = rc < 0 ? -rc : rc;
    error_text_ =
        format_text("Unknown host '%s'.\r\nSocket Error Code: %d($%X)", host_, error_code_);
    if (list) ::freeaddrinfo(list);
    return false;
  }
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> guard(list, ::freeaddrinfo);

  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::seconds(connection_timeout_ > 0 ? connection_timeout_ : 0);
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    platform::UniqueFd fd(::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol));
    if (!fd) {
      error_code_ = errno;
      error_text_ = socket_text("Cannot create TCP/IP socket:", error_code_);
      continue;
    }
    int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    int idle = kKeepAliveIdleSeconds, interval = kKeepAliveIntervalSeconds;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);

    int err = 0;
    if (connection_timeout_ <= 0) {
      while (::connect(fd.get(), ai->ai_addr, ai->ai_addrlen) != 0) {
        if (errno == EINTR) continue;
        err = errno;
        break;
      }
    } else {
      // Non-blocking connect, then wait for writability until the deadline.
      int flags = ::fcntl(fd.get(), F_GETFL);
      ::fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK);
      if (::connect(fd.get(), ai->ai_addr, ai->ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
          err = errno;
        } else {
          for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            if (left <= 0) {
              error_code_ = ETIMEDOUT;
              error_text_ = format_text(
                  "Cannot connect to server on host '%s': Connection timed out", host_, 0);
              return false;
            }
            pollfd p{fd.get(), POLLOUT, 0};
            int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
            if (r < 0 && errno == EINTR) continue;
            if (r == 0) continue;
            socklen_t len = sizeof err;
            ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &len);
            break;
          }
        }
      }
      ::fcntl(fd.get(), F_SETFL, flags);
    }
    if (err != 0) {
      error_code_ = err;
      char head[512];
      std::snprintf(head, sizeof head, "Cannot connect to server on host '%s':", host_.c_str());
      error_text_ = socket_text(head, err);
      continue;
    }
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (send_timeout_ > 0) set_timeout(fd.get(), SO_SNDTIMEO, send_timeout_);
    set_timeout(fd.get(), SO_RCVTIMEO, receive_timeout_);
    (void)kDefaultBufferSize;  // buffer sizes are left as the system sets them
    fd_ = std::move(fd);
    buffer_ = std::make_unique<char[]>(kReadAheadSize);
    fill_ = consume_ = 0;
    error_code_ = 0;
    error_text_.clear();
    return true;
  }
  return false;
}

bool TVioTcp::Fill() {
  for (;;) {
    ssize_t r = ::recv(fd_.get(), buffer_.get(), kReadAheadSize, 0);
    if (r > 0) {
      consume_ = 0;
      fill_ = static_cast<std::size_t>(r);
      return true;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      error_code_ = errno;
      error_text_ = socket_text("Error on data reading from the connection:", error_code_);
    }
    return false;
  }
}

std::size_t TVioTcp::Read(void* buffer, std::size_t n) {
  if (!error_text_.empty()) error_text_.clear();
  if (!fd_) return 0;
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    if (consume_ < fill_) {
      std::size_t k = std::min(n - done, fill_ - consume_);
      std::memcpy(out + done, buffer_.get() + consume_, k);
      consume_ += k;
      done += k;
      continue;
    }
    if (n - done < kDirectReadThreshold) {
      if (!Fill()) break;
      continue;
    }
    ssize_t r = ::recv(fd_.get(), out + done, n - done, 0);
    if (r > 0) {
      done += static_cast<std::size_t>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      error_code_ = errno;
      error_text_ = socket_text("Error on data reading from the connection:", error_code_);
    }
    break;
  }
  return done;
}

bool TVioTcp::Write(const void* data, std::size_t n) {
  if (!fd_) return false;
  auto* p = static_cast<const char*>(data);
  int empty_tries = 0;
  while (n > 0) {
    ssize_t r = ::send(fd_.get(), p, n, MSG_NOSIGNAL);
    if (r > 0) {
      p += r;
      n -= static_cast<std::size_t>(r);
      empty_tries = 0;
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      error_code_ = errno;
      error_text_ = socket_text("Error on data writing to the connection:", error_code_);
      return false;
    }
    if (++empty_tries >= 3) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void TVioTcp::Close() {
  fd_.reset();
  fill_ = consume_ = 0;
}

}  // namespace mysql
