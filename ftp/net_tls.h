// TLS for the FTP client's connections (explicit TLS after "AUTH TLS").
//
// TNetTLSContext holds the client settings (TLS 1.2 or later, peer
// verification against a CA file or the system's store) and is shared by the
// control connection and its data connections. TNetTLSStream runs one TLS
// connection over a non-blocking socket it does not own: every call does what
// it can without waiting and says what it waits for (readable or writable
// socket); the I/O handler does the waiting, in cancellable slices.
// Single-threaded; the context must outlive its streams.
//
// Flow: TNetTLSContext ctx -> TNetTLSStream s(ctx, fd, host, session) ->
// Handshake() until kDone -> Read / Write ... -> Shutdown() -> destroy.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;
typedef struct ssl_session_st SSL_SESSION;

namespace ftp {

// What a TLS call needs before it can go on.
enum class TNetTLSWant { kDone, kRead, kWrite, kClosed };

class TNetTLSContext {
 public:
  // verify_peer: the server's certificate must chain to ca_file (the
  // system's store when empty) and name the host. Throws ENetTLSError.
  TNetTLSContext(bool verify_peer, const std::string& ca_file);
  ~TNetTLSContext();
  TNetTLSContext(const TNetTLSContext&) = delete;
  TNetTLSContext& operator=(const TNetTLSContext&) = delete;
  SSL_CTX* Handle() const { return ctx_; }
  bool VerifyPeer() const { return verify_peer_; }

 private:
  SSL_CTX* ctx_ = nullptr;
  bool verify_peer_;
};

// A session to resume on another connection (the data connection resumes
// the control connection's session, which servers such as vsftpd demand).
struct TNetTLSSessionFree {
  void operator()(SSL_SESSION* s) const;
};
using NetTLSSession = std::unique_ptr<SSL_SESSION, TNetTLSSessionFree>;

class TNetTLSStream {
 public:
  // server ("host:port") names the peer in error messages; host is checked
  // against the certificate (an IPv4 address or a name).
  TNetTLSStream(const TNetTLSContext& ctx, int fd, const std::string& host,
                const std::string& server, SSL_SESSION* resume);
  ~TNetTLSStream();
  TNetTLSStream(const TNetTLSStream&) = delete;
  TNetTLSStream& operator=(const TNetTLSStream&) = delete;

  TNetTLSWant Handshake();
  // Bytes read (> 0), or 0 with *want saying why (kClosed: the peer ended
  // the TLS connection).
  std::size_t Read(void* buf, std::size_t len, TNetTLSWant* want);
  // Bytes written (> 0), or 0 with *want saying what to wait for.
  std::size_t Write(const void* buf, std::size_t len, TNetTLSWant* want);
  // Decrypted bytes waiting inside the TLS layer (a socket poll cannot see
  // them).
  bool Pending() const;
  // Sends close_notify; kDone once it has gone out.
  TNetTLSWant Shutdown();
  // The current session, for resumption by another connection.
  NetTLSSession Session() const;
  bool SessionReused() const;

 private:
  TNetTLSWant Classify(int rc, const char* what);

  SSL* ssl_ = nullptr;
  std::string server_;
};

}  // namespace ftp
