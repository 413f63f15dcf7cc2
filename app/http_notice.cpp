// HTTP GET of the web notice over a plain TCP socket, with an overall time
// limit and cancellable waits.
#include "app/http_notice.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/cancel.h"
#include "platform/files.h"
#include "platform/unique_fd.h"

namespace app {
namespace {

using Clock = std::chrono::steady_clock;

struct Address {
  std::string host;
  std::string port = "80";
  std::string target = "/";
};

Address parse_http_url(const std::string& url) {
  const std::string scheme = "http://";
  if (url.compare(0, scheme.size(), scheme) != 0)
    throw EWebBrowserError("The address \"" + url + "\" cannot be opened");
  Address a;
  const size_t slash = url.find('/', scheme.size());
  std::string authority = url.substr(scheme.size(), slash - scheme.size());
  if (slash != std::string::npos) a.target = url.substr(slash);
  const size_t colon = authority.rfind(':');
  if (colon != std::string::npos) {
    a.port = authority.substr(colon + 1);
    authority.resize(colon);
  }
  a.host = authority;
  if (a.host.empty() || a.port.empty() ||
      a.port.find_first_not_of("0123456789") != std::string::npos ||
      a.target.find_first_of(" \r\n") != std::string::npos)
    throw EWebBrowserError("The address \"" + url + "\" cannot be opened");
  return a;
}

// Waits for `events` on fd in slices until the deadline; false on timeout.
bool wait_for(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    platform::throw_if_cancelled();
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    const int n =
        ::poll(&p, 1, static_cast<int>(std::min<long long>(left, platform::kCancelPollMs)));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return true;  // the next call reports the error
  }
}

}  // namespace

void HttpNotice::Navigate(const std::string& url) {
  const Address a = parse_http_url(url);
  const std::string server = a.host + ":" + a.port;
  const auto deadline = Clock::now() + timeout_;
  const std::string seconds = timeout_.count() % 1000 == 0
                                  ? std::to_string(timeout_.count() / 1000) + " seconds"
                                  : std::to_string(timeout_.count()) + " ms";
  auto fail = [&](const std::string& why) {
    throw EWebBrowserError("The notice to " + server + " was not delivered: " + why);
  };

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (int rc = ::getaddrinfo(a.host.c_str(), a.port.c_str(), &hints, &found); rc != 0)
    fail(std::string("the host name cannot be resolved (") + ::gai_strerror(rc) + ")");
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);

  platform::UniqueFd fd(::socket(
      found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, found->ai_protocol));
  if (!fd) fail(platform::system_error_text(errno));
  if (::connect(fd.get(), found->ai_addr, found->ai_addrlen) != 0) {
    if (errno != EINPROGRESS) fail(platform::system_error_text(errno));
    if (!wait_for(fd.get(), POLLOUT, deadline)) fail("timeout: no connection within " + seconds);
    int err = 0;
    socklen_t len = sizeof err;
    ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &len);
    if (err != 0) fail(platform::system_error_text(err));
  }

  const std::string request =
      "GET " + a.target + " HTTP/1.0\r\nHost: " + server + "\r\nConnection: close\r\n\r\n";
  size_t sent = 0;
  while (sent < request.size()) {
    if (!wait_for(fd.get(), POLLOUT, deadline))
      fail("timeout: the request could not be sent within " + seconds);
    const ssize_t n = ::send(fd.get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      fail(platform::system_error_text(errno));
    }
    sent += static_cast<size_t>(n);
  }

  // The status line is all the program reads of the answer.
  std::string head;
  while (head.find('\n') == std::string::npos && head.size() < 1024) {
    if (!wait_for(fd.get(), POLLIN, deadline)) fail("timeout: no answer within " + seconds);
    char buffer[512];
    const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, 0);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      fail(platform::system_error_text(errno));
    }
    if (n == 0) break;
    head.append(buffer, static_cast<size_t>(n));
  }
  std::string status = head.substr(0, head.find_first_of("\r\n"));
  if (status.empty()) fail("the server closed the connection without an answer");
  // "HTTP/1.1 200 OK"
  const size_t space = status.find(' ');
  if (status.compare(0, 5, "HTTP/") != 0 || space == std::string::npos ||
      status.size() < space + 4 || status[space + 1] != '2')
    fail("the server answered \"" + status + "\"");
}

}  // namespace app
