// Scripted MySQL server: packet builders and the script runner.
#include "tests/support/fake_mysql_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace testsupport {

namespace mysqlwire {

std::string u16(std::uint16_t v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string u32(std::uint32_t v) { return u16(v & 0xFFFF) + u16(v >> 16); }
std::string lenenc(std::uint64_t v) {
  if (v <= 250) return std::string(1, static_cast<char>(v));
  if (v <= 0xFFFF) return "\xFC" + u16(static_cast<std::uint16_t>(v));
  if (v <= 0xFFFFFF) return "\xFD" + u16(v & 0xFFFF) + std::string(1, static_cast<char>(v >> 16));
  return "\xFE" + u32(static_cast<std::uint32_t>(v)) + u32(static_cast<std::uint32_t>(v >> 32));
}
std::string lenenc_str(const std::string& s) { return lenenc(s.size()) + s; }

std::string greeting41(const std::string& version, const std::string& scramble20,
                       std::uint16_t caps, std::uint8_t charset, std::uint16_t status) {
  std::string p(1, '\x0A');
  p += version + '\0';
  p += u32(42);
  p += scramble20.substr(0, 8);
  p += '\0';
  p += u16(caps);
  p += static_cast<char>(charset);
  p += u16(status);
  p += u16(0);  // upper capabilities
  p += static_cast<char>(21);
  p += std::string(10, '\0');
  p += scramble20.substr(8, 12);
  p += '\0';
  p += "mysql_native_password";
  p += '\0';
  return p;
}

std::string greeting_old(const std::string& version, const std::string& scramble8,
                         std::uint16_t caps) {
  std::string p(1, '\x0A');
  p += version + '\0';
  p += u32(7);
  p += scramble8.substr(0, 8);
  p += '\0';
  p += u16(caps);
  p += '\x08';
  p += u16(2);
  p += std::string(13, '\0');
  return p;
}

std::string ok(std::uint64_t affected, std::uint16_t status) {
  return std::string(1, '\0') + lenenc(affected) + lenenc(0) + u16(status) + u16(0);
}
std::string eof(std::uint16_t status, std::uint16_t warnings) {
  return "\xFE" + u16(warnings) + u16(status);
}
std::string err(std::uint16_t code, const std::string& state, const std::string& text) {
  return "\xFF" + u16(code) + (state.empty() ? "" : "#" + state) + text;
}
std::string column41(const std::string& name, std::uint8_t type, std::uint32_t length,
                     std::uint16_t flags, std::uint16_t charset, std::uint8_t decimals,
                     const std::string& table) {
  std::string p = lenenc_str("def") + lenenc_str("db") + lenenc_str(table) + lenenc_str(table) +
                  lenenc_str(name) + lenenc_str(name);
  p += '\x0C';
  p += u16(charset);
  p += u32(length);
  p += static_cast<char>(type);
  p += u16(flags);
  p += static_cast<char>(decimals);
  p += u16(0);
  return p;
}
std::string column_old(const std::string& name, std::uint8_t type, std::uint32_t length,
                       std::uint16_t flags, std::uint8_t decimals, bool long_flag) {
  std::string len = u16(length & 0xFFFF) + std::string(1, static_cast<char>(length >> 16));
  std::string fd = long_flag ? u16(flags) + std::string(1, static_cast<char>(decimals))
                             : std::string{static_cast<char>(flags), static_cast<char>(decimals)};
  return lenenc_str("t") + lenenc_str(name) + lenenc_str(len) +
         lenenc_str(std::string(1, static_cast<char>(type))) + lenenc_str(fd);
}
std::string row(const std::vector<std::optional<std::string>>& values) {
  std::string p;
  for (const auto& v : values) p += v ? lenenc_str(*v) : std::string("\xFB");
  return p;
}

}  // namespace mysqlwire

FakeMySqlServer::FakeMySqlServer() = default;

FakeMySqlServer::~FakeMySqlServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

std::string FakeMySqlServer::Packet(std::uint8_t seq, const std::string& payload) {
  std::string out;
  size_t pos = 0;
  for (;;) {
    size_t piece = std::min<size_t>(payload.size() - pos, 0xFFFFFF);
    out += static_cast<char>(piece & 0xFF);
    out += static_cast<char>((piece >> 8) & 0xFF);
    out += static_cast<char>((piece >> 16) & 0xFF);
    out += static_cast<char>(seq++);
    out.append(payload, pos, piece);
    pos += piece;
    if (piece < 0xFFFFFF) break;
  }
  return out;
}

FakeMySqlServer& FakeMySqlServer::SendRaw(std::string bytes) {
  steps_.push_back({Step::kSend, std::move(bytes), std::nullopt, 0});
  return *this;
}
FakeMySqlServer& FakeMySqlServer::Expect(std::optional<std::string> expected) {
  steps_.push_back({Step::kExpect, {}, std::move(expected), 0});
  return *this;
}
FakeMySqlServer& FakeMySqlServer::Drop() {
  steps_.push_back({Step::kDrop, {}, std::nullopt, 0});
  return *this;
}
FakeMySqlServer& FakeMySqlServer::Stall(int ms) {
  steps_.push_back({Step::kStall, {}, std::nullopt, ms});
  return *this;
}

void FakeMySqlServer::Start() {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listen_fd_, 4) != 0)
    throw std::runtime_error("fake MySQL server: cannot listen");
  socklen_t len = sizeof a;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { Run(); });
}

void FakeMySqlServer::Wait(int timeout_ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done_ && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

std::vector<FakeMySqlServer::Received> FakeMySqlServer::received() const {
  std::lock_guard<std::mutex> l(mutex_);
  return received_;
}
std::vector<std::string> FakeMySqlServer::failures() const {
  std::lock_guard<std::mutex> l(mutex_);
  return failures_;
}
void FakeMySqlServer::Fail(const std::string& why) {
  std::lock_guard<std::mutex> l(mutex_);
  failures_.push_back(why);
}

namespace {
// Reads n bytes, polling so a stop request is noticed; false on close/stop.
bool read_n(int fd, char* p, size_t n, const std::atomic<bool>& stop) {
  while (n > 0) {
    pollfd pf{fd, POLLIN, 0};
    int r = ::poll(&pf, 1, 50);
    if (stop) return false;
    if (r <= 0) continue;
    ssize_t k = ::recv(fd, p, n, 0);
    if (k <= 0) return false;
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}
}  // namespace

bool FakeMySqlServer::ReadPacket(int fd, Received& out) {
  out.payload.clear();
  for (;;) {
    unsigned char h[4];
    if (!read_n(fd, reinterpret_cast<char*>(h), 4, stop_)) return false;
    size_t len = h[0] | (h[1] << 8) | (h[2] << 16);
    out.sequence = h[3];
    size_t old = out.payload.size();
    out.payload.resize(old + len);
    if (len && !read_n(fd, out.payload.data() + old, len, stop_)) return false;
    if (len < 0xFFFFFF) return true;
  }
}

void FakeMySqlServer::Run() {
  int fd = -1;
  while (!stop_) {
    pollfd pf{listen_fd_, POLLIN, 0};
    if (::poll(&pf, 1, 50) > 0) {
      fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      break;
    }
  }
  if (fd < 0) {
    done_ = true;
    return;
  }
  bool open = true;
  for (const Step& s : steps_) {
    if (stop_ || !open) break;
    switch (s.kind) {
      case Step::kSend:
        if (::send(fd, s.bytes.data(), s.bytes.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(s.bytes.size()))
          Fail("send failed");
        break;
      case Step::kExpect: {
        Received r;
        if (!ReadPacket(fd, r)) {
          Fail("client closed before an expected packet");
          open = false;
          break;
        }
        if (s.expected && r.payload != *s.expected) Fail("unexpected packet payload");
        std::lock_guard<std::mutex> l(mutex_);
        received_.push_back(std::move(r));
        break;
      }
      case Step::kDrop:
        ::close(fd);
        fd = -1;
        open = false;
        break;
      case Step::kStall: {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(s.ms);
        while (!stop_ && std::chrono::steady_clock::now() < until)
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        break;
      }
    }
  }
  if (fd >= 0) {
    Received r;
    while (ReadPacket(fd, r)) {
      std::lock_guard<std::mutex> l(mutex_);
      received_.push_back(r);
    }
    ::close(fd);
  }
  done_ = true;
}

}  // namespace testsupport
