// Loopback relay with a byte rate per direction.
#include "tests/app/throttled_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <vector>

namespace apptest {
namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in address_of(const std::string& address, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1)
    throw std::runtime_error("bad address " + address);
  return a;
}

// One direction of one connection: bytes read from `from`, waiting to go to
// `to`, sent no faster than the rate allows.
struct Pipe {
  Pipe(int from_fd, int to_fd) : from(from_fd), to(to_fd) {}
  int from, to;
  std::string pending;
  Clock::time_point last = Clock::now();
  double tokens = 0;  // bytes that may go now; refilled at the rate, capped
  bool closed = false;
};

}  // namespace

ThrottledProxy::ThrottledProxy(std::string listen_address, int listen_port,
                               std::string target_address, int target_port, int bytes_per_second)
    : listen_address_(std::move(listen_address)),
      target_address_(std::move(target_address)),
      listen_port_(listen_port),
      target_port_(target_port),
      rate_(bytes_per_second) {}

ThrottledProxy::~ThrottledProxy() { Stop(); }

void ThrottledProxy::Start() {
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a = address_of(listen_address_, listen_port_);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listener, 16) != 0) {
    ::close(listener);
    throw std::runtime_error("proxy cannot listen on " + listen_address_);
  }
  thread_ = std::thread([this, listener] { Run(listener); });
}

void ThrottledProxy::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void ThrottledProxy::Run(int listener) {
  std::vector<Pipe> pipes;  // pairs: [2k] client->server, [2k+1] server->client
  while (!stop_) {
    std::vector<pollfd> fds{{listener, POLLIN, 0}};
    for (auto& p : pipes)
      if (!p.closed && p.pending.empty() && !stalled_) fds.push_back({p.from, POLLIN, 0});
    ::poll(fds.data(), fds.size(), 20);
    if (fds[0].revents & POLLIN) {
      int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in t = address_of(target_address_, target_port_);
      if (client >= 0 && ::connect(server, reinterpret_cast<sockaddr*>(&t), sizeof t) == 0) {
        pipes.emplace_back(client, server);
        pipes.emplace_back(server, client);
      } else {
        if (client >= 0) ::close(client);
        ::close(server);
      }
    }
    for (size_t i = 1; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      for (auto& p : pipes) {
        if (p.from != fds[i].fd || p.closed) continue;
        char buffer[4096];
        ssize_t n = ::recv(p.from, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
          p.pending.append(buffer, static_cast<size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
          p.closed = true;
      }
    }
    // Send what the rate allows so far.
    for (auto& p : pipes) {
      if (p.pending.empty() || stalled_) continue;
      const auto now = Clock::now();
      // An idle connection saves up at most a tenth of a second's worth.
      p.tokens = std::min(p.tokens + std::chrono::duration<double>(now - p.last).count() * rate_,
                          rate_ / 10.0 + 1);
      p.last = now;
      if (p.tokens < 1) continue;
      size_t n = std::min<size_t>(static_cast<size_t>(p.tokens), p.pending.size());
      ssize_t w = ::send(p.to, p.pending.data(), n, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (w > 0) {
        p.pending.erase(0, static_cast<size_t>(w));
        p.tokens -= static_cast<double>(w);
      } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
        p.closed = true;
        p.pending.clear();
      }
    }
    // A connection ends when one side has closed and its bytes are through.
    for (size_t k = 0; k + 1 < pipes.size();) {
      Pipe& a = pipes[k];
      Pipe& b = pipes[k + 1];
      if ((a.closed && a.pending.empty()) || (b.closed && b.pending.empty())) {
        ::close(a.from);
        ::close(b.from);
        pipes.erase(pipes.begin() + static_cast<long>(k), pipes.begin() + static_cast<long>(k) + 2);
      } else {
        k += 2;
      }
    }
  }
  for (size_t k = 0; k < pipes.size(); k += 2) {
    ::close(pipes[k].from);
    ::close(pipes[k + 1].from);
  }
  ::close(listener);
}

}  // namespace apptest
