// The scripted fake FTP server; see fake_ftp_server.h.
#include "tests/support/fake_ftp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace testsupport {
namespace {

// Longest any single wait of the fake server lasts, so a broken client test
// ends instead of hanging.
constexpr int kWaitCapMs = 15000;

int listen_on_loopback(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 4) != 0)
    throw std::runtime_error("fake ftp: cannot listen");
  socklen_t len = sizeof sa;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  port = ntohs(sa.sin_port);
  return fd;
}

bool wait_readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) > 0;
}

// Accepts within ms, giving up early once stop is set.
int accept_within(int listen_fd, int ms, const std::atomic<bool>& stop) {
  for (int waited = 0; waited < ms && !stop; waited += 50)
    if (wait_readable(listen_fd, 50)) return ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
  return -1;
}

bool matches(const std::string& expect, const std::string& line) {
  if (!expect.empty() && expect.back() == '*')
    return line.compare(0, expect.size() - 1, expect, 0, expect.size() - 1) == 0;
  return line == expect;
}

FtpStep make(FtpStep::Kind kind, const std::string& expect, const std::string& text) {
  FtpStep s;
  s.kind = kind;
  s.expect = expect;
  s.text = text;
  return s;
}

}  // namespace

FtpStep Send(const std::string& reply) { return make(FtpStep::Kind::kSend, "", reply); }
FtpStep SendRaw(const std::string& bytes) {
  FtpStep s = make(FtpStep::Kind::kSend, "", bytes);
  s.raw = true;
  return s;
}
FtpStep Expect(const std::string& command, const std::string& reply) {
  return make(FtpStep::Kind::kExpect, command, reply);
}
FtpStep CloseOn(const std::string& command) {
  FtpStep s = make(FtpStep::Kind::kExpect, command, "");
  s.close_after = true;
  return s;
}
FtpStep Close() { return make(FtpStep::Kind::kClose, "", ""); }
FtpStep Accept() { return make(FtpStep::Kind::kAccept, "", ""); }
FtpStep StallOn(const std::string& command) { return make(FtpStep::Kind::kStall, command, ""); }
FtpStep HoldUntilClosed() { return make(FtpStep::Kind::kHold, "", ""); }
FtpStep Pasv(const std::string& reply) { return make(FtpStep::Kind::kPasv, "PASV", reply); }
FtpStep Store(const std::string& command, const std::string& preliminary,
              const std::string& final_reply) {
  FtpStep s = make(FtpStep::Kind::kStore, command, preliminary);
  s.final_text = final_reply;
  return s;
}
FtpStep StoreWithoutReading(const std::string& command, const std::string& final_reply) {
  FtpStep s = Store(command, "150 Ok to send data.", final_reply);
  s.stop_reading = true;
  return s;
}
FtpStep Sleep(int ms) {
  FtpStep s = make(FtpStep::Kind::kSleep, "", "");
  s.delay_ms = ms;
  return s;
}

std::vector<FtpStep> plain_login(const std::string& greeting) {
  return {Send(greeting),
          Expect("HOST *", "500 Unknown command."),
          Expect("FEAT", "500 Unknown command."),
          Expect("USER *", "331 Password required."),
          Expect("PASS *", "230 Logged in."),
          Expect("TYPE *", "200 Type set."),
          Expect("SYST", "215 UNIX Type: L8"),
          Expect("TYPE *", "200 Type set.")};
}

FakeFtpServer::FakeFtpServer(std::vector<FtpStep> script) : script_(std::move(script)) {}

FakeFtpServer::~FakeFtpServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  CloseControl();
  if (listen_fd_ >= 0) ::close(listen_fd_);
  if (data_listen_fd_ >= 0) ::close(data_listen_fd_);
}

void FakeFtpServer::Start() {
  listen_fd_ = listen_on_loopback(port_);
  thread_ = std::thread([this] { Run(); });
}

void FakeFtpServer::Wait() {
  if (thread_.joinable()) thread_.join();
}

std::vector<std::string> FakeFtpServer::commands() const {
  std::lock_guard<std::mutex> g(lock_);
  return commands_;
}
std::string FakeFtpServer::uploaded() const {
  std::lock_guard<std::mutex> g(lock_);
  return uploaded_;
}
std::vector<std::string> FakeFtpServer::errors() const {
  std::lock_guard<std::mutex> g(lock_);
  return errors_;
}

std::string FakeFtpServer::pasv_fields(int port) {
  return "127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

void FakeFtpServer::Fail(const std::string& what) {
  std::lock_guard<std::mutex> g(lock_);
  errors_.push_back(what);
}

void FakeFtpServer::CloseControl() {
  if (control_fd_ >= 0) ::close(control_fd_);
  control_fd_ = -1;
  pending_.clear();
}

bool FakeFtpServer::ReadCommand(std::string& line) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitCapMs);
  for (;;) {
    size_t lf = pending_.find('\n');
    if (lf != std::string::npos) {
      line = pending_.substr(0, lf);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      pending_.erase(0, lf + 1);
      std::lock_guard<std::mutex> g(lock_);
      commands_.push_back(line);
      return true;
    }
    if (control_fd_ < 0 || stop_ || std::chrono::steady_clock::now() > deadline) return false;
    if (!wait_readable(control_fd_, 50)) continue;
    char buf[65536];
    ssize_t n = ::recv(control_fd_, buf, sizeof buf, 0);
    if (n <= 0) return false;
    pending_.append(buf, static_cast<size_t>(n));
  }
}

void FakeFtpServer::SendText(const std::string& text, bool raw) {
  if (control_fd_ < 0) return;
  std::string out = text;
  if (!raw && (out.empty() || out.back() != '\n')) out += "\r\n";
  size_t off = 0;
  while (off < out.size()) {
    ssize_t n = ::send(control_fd_, out.data() + off, out.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return;
    off += static_cast<size_t>(n);
  }
}

void FakeFtpServer::Run() {
  using Kind = FtpStep::Kind;
  control_fd_ = accept_within(listen_fd_, kWaitCapMs, stop_);
  if (control_fd_ < 0) {
    Fail("no client connected");
    return;
  }
  for (size_t i = 0; i < script_.size() && !stop_; ++i) {
    const FtpStep& step = script_[i];
    std::string line;
    const std::string where = "step " + std::to_string(i) + " (" + step.expect + ")";
    if (step.kind == Kind::kExpect || step.kind == Kind::kStall || step.kind == Kind::kPasv ||
        step.kind == Kind::kStore) {
      if (!ReadCommand(line)) {
        Fail(where + ": connection ended or no command");
        return;
      }
      if (!matches(step.expect, line)) {
        Fail(where + ": got \"" + line + "\"");
        CloseControl();
        return;
      }
    }
    switch (step.kind) {
      case Kind::kSend:
        SendText(step.text, step.raw);
        break;
      case Kind::kExpect:
        if (!step.text.empty()) SendText(step.text, step.raw);
        if (step.close_after) CloseControl();
        break;
      case Kind::kClose:
        CloseControl();
        break;
      case Kind::kAccept:
        CloseControl();
        control_fd_ = accept_within(listen_fd_, kWaitCapMs, stop_);
        if (control_fd_ < 0) {
          Fail(where + ": no second connection");
          return;
        }
        break;
      case Kind::kStall:
      case Kind::kHold: {
        std::string more;
        while (ReadCommand(more)) {
        }
        break;
      }
      case Kind::kSleep:
        for (int waited = 0; waited < step.delay_ms && !stop_; waited += 10)
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        break;
      case Kind::kPasv: {
        if (data_listen_fd_ >= 0) ::close(data_listen_fd_);
        int data_port = 0;
        data_listen_fd_ = listen_on_loopback(data_port);
        std::string reply = step.text;
        size_t at = reply.find("{fields}");
        if (at != std::string::npos) reply.replace(at, 8, pasv_fields(data_port));
        at = reply.find("{port}");
        if (at != std::string::npos)
          reply.replace(at, 6,
                        std::to_string(data_port / 256) + "," + std::to_string(data_port % 256));
        SendText(reply, false);
        break;
      }
      case Kind::kStore: {
        if (data_listen_fd_ < 0) {
          Fail(where + ": no PASV before the transfer");
          return;
        }
        if (!step.accept_first && !step.text.empty()) SendText(step.text, false);
        if (step.delay_ms) std::this_thread::sleep_for(std::chrono::milliseconds(step.delay_ms));
        int data_fd = accept_within(data_listen_fd_, kWaitCapMs, stop_);
        ::close(data_listen_fd_);
        data_listen_fd_ = -1;
        if (data_fd < 0) {
          Fail(where + ": client never opened the data connection");
          break;
        }
        if (step.accept_first && !step.text.empty()) SendText(step.text, false);
        if (step.stop_reading) {
          // Until the client closes or resets the connection.
          auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitCapMs);
          while (!stop_ && std::chrono::steady_clock::now() < until) {
            pollfd p{data_fd, POLLRDHUP, 0};
            if (::poll(&p, 1, 50) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) break;
          }
          ::close(data_fd);
          if (!step.final_text.empty()) SendText(step.final_text, false);
          break;
        }
        std::int64_t got = 0;
        bool eof = false;
        char buf[65536];
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitCapMs);
        while (!stop_ && std::chrono::steady_clock::now() < deadline) {
          if (step.cut_after >= 0 && got >= step.cut_after) break;
          if (!wait_readable(data_fd, 50)) continue;
          size_t want = sizeof buf;
          if (step.cut_after >= 0)
            want = std::min<size_t>(want, static_cast<size_t>(step.cut_after - got));
          ssize_t n = ::recv(data_fd, buf, want, 0);
          if (n <= 0) {
            eof = n == 0;
            break;
          }
          got += n;
          std::lock_guard<std::mutex> g(lock_);
          uploaded_.append(buf, static_cast<size_t>(n));
        }
        if (step.cut_after >= 0) {
          // Reset instead of a clean close: the client's next sends fail.
          linger lg{1, 0};
          ::setsockopt(data_fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
        } else if (!eof) {
          Fail(where + ": data connection was not closed by the client");
        }
        data_closed_before_final_ = eof;
        ::close(data_fd);
        if (!step.final_text.empty()) SendText(step.final_text, false);
        break;
      }
    }
  }
  // After the script: record what else arrives until the client closes.
  std::string line;
  while (control_fd_ >= 0 && ReadCommand(line)) {
    if (line == "QUIT") SendText("221 Goodbye.", false);
  }
  CloseControl();
}

}  // namespace testsupport
