// Scripted MySQL server: packet builders and the script runner.
#include "tests/support/fake_mysql_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

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

// A protocol-10 greeting in the 4.1 form: 20 bytes of scramble in two parts,
// then the named authentication plugin.
std::string greeting_v10(const std::string& version, const std::string& scramble20,
                         std::uint16_t caps, std::uint8_t charset, std::uint16_t status,
                         std::uint16_t caps_upper, const std::string& plugin) {
  std::string p(1, '\x0A');
  p += version + '\0';
  p += u32(42);
  p += scramble20.substr(0, 8);
  p += '\0';
  p += u16(caps);
  p += static_cast<char>(charset);
  p += u16(status);
  p += u16(caps_upper);
  p += static_cast<char>(21);
  p += std::string(10, '\0');
  p += scramble20.substr(8, 12);
  p += '\0';
  p += plugin;
  p += '\0';
  return p;
}

std::string greeting41(const std::string& version, const std::string& scramble20,
                       std::uint16_t caps, std::uint8_t charset, std::uint16_t status) {
  return greeting_v10(version, scramble20, caps, charset, status, 0, "mysql_native_password");
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

std::string greeting_plugin(const std::string& version, const std::string& scramble20,
                            const std::string& plugin, std::uint16_t caps,
                            std::uint16_t caps_upper) {
  return greeting_v10(version, scramble20, caps, 8, 2, caps_upper, plugin);
}

std::string auth_switch(const std::string& plugin, const std::string& data) {
  return "\xFE" + plugin + std::string(1, '\0') + data + std::string(1, '\0');
}

}  // namespace mysqlwire

RsaKeyPair generate_rsa_key(int bits) {
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_RSA_gen(static_cast<unsigned>(bits)),
                                                          EVP_PKEY_free);
  if (!key) throw std::runtime_error("cannot generate an RSA key");
  auto pem = [](auto write) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!bio || write(bio.get()) != 1) throw std::runtime_error("cannot write an RSA key");
    char* data = nullptr;
    long n = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(n));
  };
  RsaKeyPair k;
  k.private_pem = pem([&](BIO* b) {
    return PEM_write_bio_PrivateKey(b, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  });
  k.public_pem = pem([&](BIO* b) { return PEM_write_bio_PUBKEY(b, key.get()); });
  return k;
}

namespace {

std::string sha256_of(const std::string& data) {
  unsigned char d[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), d);
  return std::string(reinterpret_cast<char*>(d), sizeof d);
}

// The server's check of a fast-path scramble: it keeps only
// SHA256(SHA256(password)); token XOR SHA256(that + nonce) must hash to it.
bool scramble_matches(const std::string& password, const std::string& nonce,
                      const std::string& token) {
  if (token.size() != SHA256_DIGEST_LENGTH) return false;
  const std::string stored = sha256_of(sha256_of(password));
  std::string stage1 = sha256_of(stored + nonce);
  for (size_t i = 0; i < stage1.size(); ++i) stage1[i] ^= token[i];
  return sha256_of(stage1) == stored;
}

std::optional<std::string> rsa_decrypt(const std::string& private_pem, const std::string& data) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(
      BIO_new_mem_buf(private_pem.data(), static_cast<int>(private_pem.size())), BIO_free);
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
  if (!key) return std::nullopt;
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
      EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
  size_t n = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(data.data());
  if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_OAEP_PADDING) <= 0 ||
      EVP_PKEY_decrypt(ctx.get(), nullptr, &n, in, data.size()) <= 0)
    return std::nullopt;
  std::string out(n, '\0');
  if (EVP_PKEY_decrypt(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &n, in,
                       data.size()) <= 0)
    return std::nullopt;
  out.resize(n);
  return out;
}

// The auth response of a 4.1 login packet with CLIENT_SECURE_CONNECTION.
std::string login_auth_response(const std::string& p) {
  size_t pos = 32;
  size_t user_end = p.find('\0', pos);
  if (user_end == std::string::npos || user_end + 1 >= p.size()) return {};
  pos = user_end + 1;
  size_t len = static_cast<unsigned char>(p[pos]);
  return p.substr(pos + 1, len);
}

}  // namespace

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

FakeMySqlServer& FakeMySqlServer::Trickle(std::uint8_t seq, const std::string& payload,
                                          int interval_ms) {
  steps_.push_back({Step::kTrickle, Packet(seq, payload), std::nullopt, interval_ms});
  return *this;
}

FakeMySqlServer& FakeMySqlServer::CachingSha2(CachingSha2Account account) {
  Step step{Step::kCachingSha2, {}, std::nullopt, 0};
  step.sha2 = std::make_shared<CachingSha2Account>(std::move(account));
  steps_.push_back(std::move(step));
  return *this;
}

bool FakeMySqlServer::SendPacket(int fd, std::uint8_t seq, const std::string& payload) {
  std::string bytes = Packet(seq, payload);
  return SendAll(fd, bytes.data(), bytes.size());
}

bool FakeMySqlServer::RunCachingSha2(int fd, const CachingSha2Account& a) {
  auto record = [&](const Received& r) {
    std::lock_guard<std::mutex> l(mutex_);
    received_.push_back(r);
  };
  Received r;
  if (!ReadPacket(fd, r)) {
    Fail("client closed before its caching_sha2_password scramble");
    return false;
  }
  record(r);
  std::uint8_t seq = static_cast<std::uint8_t>(r.sequence + 1);
  const std::string response = a.from_login ? login_auth_response(r.payload) : r.payload;
  auto finish = [&](bool accepted) {
    return SendPacket(fd, seq,
                      accepted ? mysqlwire::ok()
                               : mysqlwire::err(1045, "28000", "Access denied for user 'user'"));
  };
  if (a.password.empty()) return finish(response.empty() || response == std::string(1, '\0'));
  if (a.cached) {
    if (!scramble_matches(a.password, a.nonce, response)) return finish(false);
    if (!SendPacket(fd, seq++, "\x01\x03")) return false;
    return finish(true);
  }
  // Full authentication: the scramble alone is not enough.
  if (!SendPacket(fd, seq++, "\x01\x04")) return false;
  if (!ReadPacket(fd, r)) {
    Fail("client closed instead of answering the full authentication request");
    return false;
  }
  record(r);
  seq = static_cast<std::uint8_t>(r.sequence + 1);
  if (tls_ && r.payload != "\x02") {
    // Inside TLS the password itself comes, with its terminating zero.
    return finish(r.payload == a.password + std::string(1, '\0'));
  }
  if (r.payload != "\x02") {
    Fail("the password went without TLS and without the server's public key");
    return finish(false);
  }
  if (!SendPacket(fd, seq, "\x01" + a.key.public_pem)) return false;
  if (!ReadPacket(fd, r)) {
    Fail("client closed instead of sending the encrypted password");
    return false;
  }
  record(r);
  seq = static_cast<std::uint8_t>(r.sequence + 1);
  std::optional<std::string> plain = rsa_decrypt(a.key.private_pem, r.payload);
  if (!plain) {
    Fail("the encrypted password cannot be decrypted with RSA-OAEP");
    return finish(false);
  }
  for (size_t i = 0; i < plain->size(); ++i) (*plain)[i] ^= a.nonce[i % a.nonce.size()];
  return finish(*plain == a.password + std::string(1, '\0'));
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

FakeMySqlServer& FakeMySqlServer::AcceptTls(std::string cert_path, std::string key_path) {
  Step step{Step::kTls, std::move(cert_path), std::nullopt, 0};
  step.key_path = std::move(key_path);
  steps_.push_back(std::move(step));
  return *this;
}

bool FakeMySqlServer::SendAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    long k = tls_ ? SSL_write(tls_, p, static_cast<int>(n)) : ::send(fd, p, n, MSG_NOSIGNAL);
    if (k <= 0) return false;
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

// Reads n bytes, polling so a stop request is noticed; false on close/stop.
bool FakeMySqlServer::ReadN(int fd, char* p, size_t n) {
  while (n > 0) {
    if (!tls_ || SSL_pending(tls_) == 0) {
      pollfd pf{fd, POLLIN, 0};
      int r = ::poll(&pf, 1, 50);
      if (stop_) return false;
      if (r <= 0) continue;
    }
    long k = tls_ ? SSL_read(tls_, p, static_cast<int>(n)) : ::recv(fd, p, n, 0);
    if (k <= 0) return false;
    p += k;
    n -= static_cast<size_t>(k);
  }
  return true;
}

bool FakeMySqlServer::AcceptTlsOn(int fd, const Step& step) {
  Received request;
  if (!ReadPacket(fd, request)) {
    Fail("client closed before its TLS request");
    return false;
  }
  {
    std::lock_guard<std::mutex> l(mutex_);
    received_.push_back(request);
  }
  tls_ctx_ = SSL_CTX_new(TLS_server_method());
  if (!tls_ctx_ || SSL_CTX_use_certificate_chain_file(tls_ctx_, step.bytes.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(tls_ctx_, step.key_path.c_str(), SSL_FILETYPE_PEM) != 1) {
    Fail("cannot load the TLS certificate");
    return false;
  }
  SSL* ssl = SSL_new(tls_ctx_);
  SSL_set_fd(ssl, fd);
  if (SSL_accept(ssl) != 1) {
    SSL_free(ssl);
    Fail("TLS handshake failed");
    return false;
  }
  tls_ = ssl;
  return true;
}

void FakeMySqlServer::EndTls() {
  if (tls_) SSL_free(tls_);
  if (tls_ctx_) SSL_CTX_free(tls_ctx_);
  tls_ = nullptr;
  tls_ctx_ = nullptr;
}

bool FakeMySqlServer::ReadPacket(int fd, Received& out) {
  out.payload.clear();
  for (;;) {
    unsigned char h[4];
    if (!ReadN(fd, reinterpret_cast<char*>(h), 4)) return false;
    size_t len = h[0] | (h[1] << 8) | (h[2] << 16);
    out.sequence = h[3];
    size_t old = out.payload.size();
    out.payload.resize(old + len);
    if (len && !ReadN(fd, out.payload.data() + old, len)) return false;
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
        if (!SendAll(fd, s.bytes.data(), s.bytes.size())) Fail("send failed");
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
        EndTls();
        ::close(fd);
        fd = -1;
        open = false;
        break;
      case Step::kTrickle:
        for (size_t i = 0; i < s.bytes.size() && !stop_; ++i) {
          if (!SendAll(fd, s.bytes.data() + i, 1)) {
            open = false;  // the client gave up
            break;
          }
          auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(s.ms);
          while (!stop_ && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        break;
      case Step::kCachingSha2:
        if (!RunCachingSha2(fd, *s.sha2)) open = false;
        break;
      case Step::kTls:
        if (!AcceptTlsOn(fd, s)) open = false;
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
    EndTls();
    ::close(fd);
  }
  EndTls();
  done_ = true;
}

}  // namespace testsupport
