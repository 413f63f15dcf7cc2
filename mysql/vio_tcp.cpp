// TCP transport: name resolution, connect with timeout, socket options,
// buffered reads, complete writes and TLS, every wait in cancellable slices.
#include "mysql/vio_tcp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/cancel.h"
#include "platform/files.h"

namespace mysql {

namespace {

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

bool ip_literal(const std::string& host) {
  unsigned char buf[sizeof(in6_addr)];
  return ::inet_pton(AF_INET, host.c_str(), buf) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

// Milliseconds until t, at least 0, at most the cancel slice.
int slice_until(TVio::TClock::time_point t) {
  const auto now = TVio::TClock::now();
  if (t <= now) return 0;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - now).count() + 1;
  return static_cast<int>(std::min<long long>(left, platform::kCancelPollMs));
}

}  // namespace

TVioTcp::TVioTcp(std::string host, int port, int ip_version)
    : host_(host.empty() ? "localhost" : std::move(host)), port_(port), ip_version_(ip_version) {}

TVioTcp::~TVioTcp() { Close(); }

std::string TVioTcp::PeerName() const {
  if (host_.find(':') != std::string::npos) return "[" + host_ + "]:" + std::to_string(port_);
  return host_ + ":" + std::to_string(port_);
}

void TVioTcp::SetSocketError(const char* head, int err) {
  error_code_ = err;
  error_text_ = socket_text(head, err);
}

void TVioTcp::SetTlsError(const char* head) {
  unsigned long e = ERR_get_error();
  char text[256] = "TLS error";
  if (e != 0) ERR_error_string_n(e, text, sizeof text);
  ERR_clear_error();
  error_code_ = 0;
  error_text_ = std::string(head) + "\r\n" + text;
}

bool TVioTcp::Connect() {
  Close();
  timed_out_ = false;
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

  const bool bounded = connection_timeout_ > 0;
  const auto deadline = bounded ? TClock::now() + std::chrono::seconds(connection_timeout_)
                                : TClock::time_point::max();
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    platform::UniqueFd fd(
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol));
    if (!fd) {
      SetSocketError("Cannot create TCP/IP socket:", errno);
      continue;
    }
    int on = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    int idle = kKeepAliveIdleSeconds, interval = kKeepAliveIntervalSeconds;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);

    // Non-blocking connect, then wait for writability in slices until the
    // deadline (without a timeout, until the system gives up).
    int err = 0;
    if (::connect(fd.get(), ai->ai_addr, ai->ai_addrlen) != 0) {
      if (errno != EINPROGRESS && errno != EINTR) {
        err = errno;
      } else {
        for (;;) {
          platform::throw_if_cancelled();
          if (bounded && TClock::now() >= deadline) {
            error_code_ = ETIMEDOUT;
            timed_out_ = true;
            error_text_ = format_text("Cannot connect to server on host '%s': Connection timed out",
                                      host_, 0);
            return false;
          }
          pollfd p{fd.get(), POLLOUT, 0};
          int r = ::poll(&p, 1, bounded ? slice_until(deadline) : platform::kCancelPollMs);
          if (r <= 0) continue;
          socklen_t len = sizeof err;
          ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &len);
          break;
        }
      }
    }
    if (err != 0) {
      char head[512];
      std::snprintf(head, sizeof head, "Cannot connect to server on host '%s':", host_.c_str());
      SetSocketError(head, err);
      continue;
    }
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    fd_ = std::move(fd);
    buffer_ = std::make_unique<char[]>(kReadAheadSize);
    fill_ = consume_ = 0;
    error_code_ = 0;
    error_text_.clear();
    return true;
  }
  return false;
}

bool TVioTcp::WaitReady(short events) {
  TClock::time_point limit = deadline_;
  int bound = deadline_seconds_;
  if (receive_timeout_ > 0) {
    const auto silence_end = TClock::now() + std::chrono::seconds(receive_timeout_);
    if (silence_end < limit) {
      limit = silence_end;
      bound = receive_timeout_;
    }
  }
  for (;;) {
    platform::throw_if_cancelled();
    if (TClock::now() >= limit) {
      timed_out_ = true;
      error_code_ = ETIMEDOUT;
      error_text_ = "Timed out after " + std::to_string(bound) +
                    " s waiting for the MySQL server at " + PeerName();
      return false;
    }
    pollfd p{fd_.get(), events, 0};
    int r = ::poll(&p, 1, slice_until(limit));
    if (r > 0) return true;  // errors and hang-ups show in the next receive or send
    if (r < 0 && errno != EINTR) {
      SetSocketError("Error on waiting for the connection:", errno);
      return false;
    }
  }
}

long TVioTcp::RecvSome(char* dst, std::size_t n) {
  n = std::min<std::size_t>(n, INT_MAX);
  for (;;) {
    if (ssl_) {
      ERR_clear_error();
      int r = SSL_read(ssl_, dst, static_cast<int>(n));
      if (r > 0) return r;
      int e = SSL_get_error(ssl_, r);
      if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
        if (!WaitReady(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT)) return -1;
        continue;
      }
      if (e == SSL_ERROR_ZERO_RETURN) return 0;
      if (e == SSL_ERROR_SYSCALL && errno != 0) {
        SetSocketError("Error on data reading from the connection:", errno);
        return -1;
      }
      SetTlsError("Error on data reading from the connection:");
      return -1;
    }
    ssize_t r = ::recv(fd_.get(), dst, n, 0);
    if (r >= 0) return static_cast<long>(r);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!WaitReady(POLLIN)) return -1;
      continue;
    }
    SetSocketError("Error on data reading from the connection:", errno);
    return -1;
  }
}

long TVioTcp::SendSome(const char* src, std::size_t n) {
  n = std::min<std::size_t>(n, INT_MAX);
  for (;;) {
    if (ssl_) {
      ERR_clear_error();
      int r = SSL_write(ssl_, src, static_cast<int>(n));
      if (r > 0) return r;
      int e = SSL_get_error(ssl_, r);
      if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
        if (!WaitReady(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT)) return -1;
        continue;
      }
      if (e == SSL_ERROR_SYSCALL && errno != 0) {
        SetSocketError("Error on data writing to the connection:", errno);
        return -1;
      }
      SetTlsError("Error on data writing to the connection:");
      return -1;
    }
    ssize_t r = ::send(fd_.get(), src, n, MSG_NOSIGNAL);
    if (r > 0) return static_cast<long>(r);
    if (r < 0 && errno == EINTR) continue;
    if (r == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!WaitReady(POLLOUT)) return -1;
      continue;
    }
    SetSocketError("Error on data writing to the connection:", errno);
    return -1;
  }
}

std::size_t TVioTcp::Read(void* buffer, std::size_t n) {
  error_text_.clear();
  timed_out_ = false;
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
      long r = RecvSome(buffer_.get(), kReadAheadSize);
      if (r <= 0) break;
      consume_ = 0;
      fill_ = static_cast<std::size_t>(r);
      continue;
    }
    long r = RecvSome(out + done, n - done);
    if (r <= 0) break;
    done += static_cast<std::size_t>(r);
  }
  return done;
}

bool TVioTcp::Write(const void* data, std::size_t n) {
  error_text_.clear();
  timed_out_ = false;
  if (!fd_) return false;
  auto* p = static_cast<const char*>(data);
  while (n > 0) {
    long r = SendSome(p, n);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  return true;
}

bool TVioTcp::StartTls() {
  error_text_.clear();
  timed_out_ = false;
  if (!fd_ || ssl_) return false;
  if (consume_ < fill_) {
    // The server spoke before the TLS handshake: nothing sane can follow.
    error_text_ = "The MySQL server at " + PeerName() + " sent data before the TLS handshake.";
    return false;
  }
  ERR_clear_error();
  ctx_ = SSL_CTX_new(TLS_client_method());
  if (ctx_) {
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_options(ctx_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    ssl_ = SSL_new(ctx_);
  }
  if (!ssl_ || SSL_set_fd(ssl_, fd_.get()) != 1) {
    SetTlsError("Cannot set up TLS:");
    FreeTls();
    return false;
  }
  if (!ip_literal(host_)) SSL_set_tlsext_host_name(ssl_, host_.c_str());
  for (;;) {
    ERR_clear_error();
    int r = SSL_connect(ssl_);
    if (r == 1) return true;
    int e = SSL_get_error(ssl_, r);
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
      bool ready = false;
      try {
        ready = WaitReady(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT);
      } catch (...) {
        FreeTls();
        throw;
      }
      if (ready) continue;
      FreeTls();
      return false;
    }
    std::string head = "TLS handshake with the MySQL server at " + PeerName() + " failed:";
    if (e == SSL_ERROR_SYSCALL && ERR_peek_error() == 0)
      error_text_ = head + "\r\nThe server closed the connection.";
    else
      SetTlsError(head.c_str());
    FreeTls();
    return false;
  }
}

void TVioTcp::FreeTls() {
  if (ssl_) SSL_free(ssl_);
  if (ctx_) SSL_CTX_free(ctx_);
  ssl_ = nullptr;
  ctx_ = nullptr;
}

void TVioTcp::Close() {
  if (ssl_ && fd_) {
    // One attempt at close_notify; the socket is non-blocking, nothing waits.
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
  }
  FreeTls();
  fd_.reset();
  fill_ = consume_ = 0;
}

}  // namespace mysql
