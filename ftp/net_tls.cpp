// The TLS wrapper over OpenSSL; see net_tls.h.
#include "ftp/net_tls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>

#include "ftp/net_exceptions.h"
#include "ftp/net_stack.h"

namespace ftp {
namespace {

// The reason of the last OpenSSL error, with the verification result when a
// certificate was refused.
std::string last_reason(SSL* ssl) {
  std::string reason;
  unsigned long e = ERR_peek_last_error();
  if (e != 0) {
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    reason = buf;
  }
  ERR_clear_error();
  if (ssl) {
    long v = SSL_get_verify_result(ssl);
    if (v != X509_V_OK)
      reason += std::string(reason.empty() ? "" : " (") + X509_verify_cert_error_string(v) +
                (reason.empty() ? "" : ")");
  }
  return reason.empty() ? std::string("connection failed") : reason;
}

}  // namespace

TNetTLSContext::TNetTLSContext(bool verify_peer, const std::string& ca_file)
    : verify_peer_(verify_peer) {
  ctx_ = SSL_CTX_new(TLS_client_method());
  if (!ctx_) throw ENetTLSError("-", last_reason(nullptr));
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  // Partial writes let a send stop where the socket buffer is full; a server
  // that drops the control connection without close_notify reads as closed.
  SSL_CTX_set_mode(ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  SSL_CTX_set_options(ctx_, SSL_OP_IGNORE_UNEXPECTED_EOF);
  // Sessions are kept per connection and handed over explicitly.
  SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL);
  if (verify_peer) {
    int ok = ca_file.empty() ? SSL_CTX_set_default_verify_paths(ctx_)
                             : SSL_CTX_load_verify_locations(ctx_, ca_file.c_str(), nullptr);
    if (ok != 1) {
      std::string reason = last_reason(nullptr);
      SSL_CTX_free(ctx_);
      throw ENetTLSError("-", "cannot load the certificates " + ca_file + ": " + reason);
    }
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
  } else {
    SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
  }
}

TNetTLSContext::~TNetTLSContext() { SSL_CTX_free(ctx_); }

void TNetTLSSessionFree::operator()(SSL_SESSION* s) const { SSL_SESSION_free(s); }

TNetTLSStream::TNetTLSStream(const TNetTLSContext& ctx, int fd, const std::string& host,
                             const std::string& server, SSL_SESSION* resume)
    : server_(server) {
  ssl_ = SSL_new(ctx.Handle());
  if (!ssl_) throw ENetTLSError(server_, last_reason(nullptr));
  SSL_set_fd(ssl_, fd);
  const bool is_ip = TNetStack::IsIPv4Address(host);
  if (!is_ip) SSL_set_tlsext_host_name(ssl_, host.c_str());
  if (ctx.VerifyPeer()) {
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
    int ok = is_ip ? X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str())
                   : X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
    if (ok != 1) {
      SSL_free(ssl_);
      throw ENetTLSError(server_, "cannot check the certificate against " + host);
    }
  }
  if (resume) SSL_set_session(ssl_, resume);
  SSL_set_connect_state(ssl_);
}

TNetTLSStream::~TNetTLSStream() { SSL_free(ssl_); }

TNetTLSWant TNetTLSStream::Classify(int rc, const char* what) {
  switch (SSL_get_error(ssl_, rc)) {
    case SSL_ERROR_WANT_READ:
      return TNetTLSWant::kRead;
    case SSL_ERROR_WANT_WRITE:
      return TNetTLSWant::kWrite;
    case SSL_ERROR_ZERO_RETURN:
      return TNetTLSWant::kClosed;
    case SSL_ERROR_SYSCALL:
      if (ERR_peek_error() == 0) {
        if (errno != 0) raise_socket_error(socket_error_from_errno(errno));
        return TNetTLSWant::kClosed;
      }
      [[fallthrough]];
    default:
      throw ENetTLSError(server_, std::string(what) + ": " + last_reason(ssl_));
  }
}

TNetTLSWant TNetTLSStream::Handshake() {
  ERR_clear_error();
  errno = 0;
  int rc = SSL_do_handshake(ssl_);
  if (rc == 1) return TNetTLSWant::kDone;
  TNetTLSWant w = Classify(rc, "handshake failed");
  if (w == TNetTLSWant::kClosed)
    throw ENetTLSError(server_, "the server closed the connection during the handshake");
  return w;
}

std::size_t TNetTLSStream::Read(void* buf, std::size_t len, TNetTLSWant* want) {
  ERR_clear_error();
  errno = 0;
  std::size_t n = 0;
  int rc = SSL_read_ex(ssl_, buf, len, &n);
  if (rc == 1) return n;
  *want = Classify(rc, "read failed");
  return 0;
}

std::size_t TNetTLSStream::Write(const void* buf, std::size_t len, TNetTLSWant* want) {
  ERR_clear_error();
  errno = 0;
  std::size_t n = 0;
  int rc = SSL_write_ex(ssl_, buf, len, &n);
  if (rc == 1) return n;
  *want = Classify(rc, "write failed");
  if (*want == TNetTLSWant::kClosed) raise_socket_error(kSocketConnReset);
  return 0;
}

bool TNetTLSStream::Pending() const { return SSL_pending(ssl_) > 0; }

TNetTLSWant TNetTLSStream::Shutdown() {
  ERR_clear_error();
  errno = 0;
  int rc = SSL_shutdown(ssl_);
  // 0: our close_notify went out (the peer's is not awaited); 1: both.
  if (rc >= 0) return TNetTLSWant::kDone;
  TNetTLSWant w = Classify(rc, "shutdown failed");
  return w == TNetTLSWant::kClosed ? TNetTLSWant::kDone : w;
}

NetTLSSession TNetTLSStream::Session() const { return NetTLSSession(SSL_get1_session(ssl_)); }

bool TNetTLSStream::SessionReused() const { return SSL_session_reused(ssl_) == 1; }

}  // namespace ftp
