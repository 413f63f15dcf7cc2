// The I/O handler's connect, receive, line and write rules; see
// net_iohandler_stack.h.
#include "ftp/net_iohandler_stack.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>
#include <vector>

#include "ftp/net_exceptions.h"
#include "ftp/net_stack.h"
#include "platform/ascii_case.h"
#include "platform/cancel.h"
#include "platform/text_trim.h"

namespace ftp {
namespace {

std::string trim_control(const std::string& s) { return std::string(platform::trim(s)); }

}  // namespace

void TNetIOHandlerStack::Open() {
  input_.Clear();
  closed_gracefully_ = false;
  opened_ = true;
  binding_.Reset();
}

void TNetIOHandlerStack::ConnectClient() {
  binding_.Allocate(TNetStack::NewSocket());
  const int fd = binding_.Handle();
  TNetStack::SetReuseAddress(fd, ReuseSocket == TNetReuseSocket::rsTrue);
  if (!TNetStack::TryBind(fd, BoundIP, BoundPort)) throw ENetCouldNotBindSocket();
  // TCP_NODELAY on means Nagle off; touch it only when it differs.
  if (TNetStack::GetNoDelay(fd) == UseNagle) TNetStack::SetNoDelay(fd, !UseNagle);

  std::string ip;
  if (TNetStack::IsIPv4Address(Host, &ip)) {
  } else if (platform::equal_ignoring_ascii_case(Host, "LOCALHOST")) {
    ip = "127.0.0.1";
  } else {
    Status(TNetStatus::hsResolving, Host);
    ip = TNetStack::ResolveHost(Host);
  }

  Status(TNetStatus::hsConnecting, ip);
  // 0 and -1: until the platform completes or refuses the connect; either
  // way the wait is sliced and can be cancelled.
  if (!TNetStack::Connect(fd, ip, Port, ConnectTimeout)) {
    binding_.CloseSocket();
    throw ENetConnectTimeout(Server());
  }
  binding_.UpdateBindingLocal();
  binding_.UpdateBindingPeer();
  Status(TNetStatus::hsConnected, Host);
}

void TNetIOHandlerStack::Close() {
  tls_.reset();
  binding_.CloseSocket();
  opened_ = false;
}

void TNetIOHandlerStack::Abort() {
  tls_.reset();
  binding_.CloseSocket(true);
  opened_ = false;
}

std::string TNetIOHandlerStack::Server() const { return Host + ":" + std::to_string(Port); }

bool TNetIOHandlerStack::WaitSocket(TNetTLSWant want, int timeout_ms) {
  if (!binding_.HandleAllocated()) throw ENetNotConnected();
  return TNetStack::WaitFor(binding_.Handle(), want == TNetTLSWant::kWrite ? POLLOUT : POLLIN,
                            timeout_ms);
}

namespace {

using steady = std::chrono::steady_clock;

// Milliseconds left until the deadline (forever stays -1).
int left_ms(int timeout_ms, steady::time_point deadline) {
  if (timeout_ms < 0) return -1;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now());
  return static_cast<int>(std::max<long long>(left.count(), 0));
}

int forever_if_zero(int timeout_ms) { return timeout_ms <= 0 ? -1 : timeout_ms; }

}  // namespace

void TNetIOHandlerStack::StartTLS(const TNetTLSContext& ctx, SSL_SESSION* resume) {
  if (!binding_.HandleAllocated()) throw ENetNotConnected();
  tls_ = std::make_unique<TNetTLSStream>(ctx, binding_.Handle(), Host, Server(), resume);
  const int timeout = forever_if_zero(ReadTimeout);
  for (;;) {
    TNetTLSWant want = tls_->Handshake();
    if (want == TNetTLSWant::kDone) return;
    if (!WaitSocket(want, timeout)) {
      tls_.reset();
      throw ENetReadTimeout(Server());
    }
  }
}

NetTLSSession TNetIOHandlerStack::TLSSession() const {
  return tls_ ? tls_->Session() : NetTLSSession();
}

bool TNetIOHandlerStack::TLSSessionReused() const { return tls_ && tls_->SessionReused(); }

void TNetIOHandlerStack::FinishTLS() {
  if (!tls_) return;
  const int timeout = forever_if_zero(WriteTimeout);
  for (;;) {
    TNetTLSWant want = tls_->Shutdown();
    if (want == TNetTLSWant::kDone) break;
    if (!WaitSocket(want, timeout)) throw ENetWriteTimeout(Server());
  }
  // Then the peer's end: unread bytes (a TLS 1.3 server's session tickets)
  // would make the close a reset, which the server takes for a broken
  // transfer.
  char sink[4096];
  const int read_timeout = forever_if_zero(ReadTimeout);
  for (;;) {
    TNetTLSWant want = TNetTLSWant::kRead;
    if (tls_->Read(sink, sizeof sink, &want) > 0) continue;
    if (want == TNetTLSWant::kClosed) return;
    if (!WaitSocket(want, read_timeout)) throw ENetReadTimeout(Server());
  }
}

long TNetIOHandlerStack::ReceiveSome(void* buf, std::size_t len, int timeout_ms) {
  const auto deadline = steady::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  for (;;) {
    TNetTLSWant want = TNetTLSWant::kRead;
    if (tls_) {
      std::size_t n = tls_->Read(buf, len, &want);
      if (n > 0) return static_cast<long>(n);
      if (want == TNetTLSWant::kClosed) return 0;
    } else {
      long n = TNetStack::TryReceive(binding_.Handle(), buf, len);
      if (n >= 0) return n;
    }
    if (!WaitSocket(want, left_ms(timeout_ms, deadline))) return -1;
  }
}

std::size_t TNetIOHandlerStack::SendSome(const void* buf, std::size_t len) {
  const int timeout = forever_if_zero(WriteTimeout);
  const auto deadline = steady::now() + std::chrono::milliseconds(std::max(timeout, 0));
  for (;;) {
    TNetTLSWant want = TNetTLSWant::kWrite;
    if (tls_) {
      std::size_t n = tls_->Write(buf, len, &want);
      if (n > 0) return n;
    } else {
      long n = TNetStack::TrySend(binding_.Handle(), buf, len);
      if (n >= 0) return static_cast<std::size_t>(n);
    }
    if (!WaitSocket(want, left_ms(timeout, deadline))) throw ENetWriteTimeout(Server());
  }
}

void TNetIOHandlerStack::CheckDisconnected(bool raise, bool ignore_buffer) {
  if (closed_gracefully_ && binding_.HandleAllocated()) {
    binding_.CloseSocket();
    Status(TNetStatus::hsDisconnected, "");
  }
  if (!binding_.HandleAllocated() && raise && (ignore_buffer || input_.Empty()))
    throw ENetConnClosedGracefully();
}

// Receives at most RecvBufferSize bytes into the input buffer. Returns the
// byte count; 0 once the peer has closed (or without a socket when not
// raising); -1 on timeout when not raising. A timeout of -1 means ReadTimeout,
// whose 0 and -1 mean forever.
int TNetIOHandlerStack::FillInputBuffer(bool raise_if_closed, int timeout, bool raise_on_timeout) {
  if (timeout == -1) timeout = (ReadTimeout == 0 || ReadTimeout == -1) ? -1 : ReadTimeout;
  for (;;) {
    CheckDisconnected(raise_if_closed, false);
    if (!binding_.HandleAllocated()) {
      if (raise_if_closed) throw ENetNotConnected();
      return 0;
    }
    receive_buf_.resize(static_cast<size_t>(std::max(RecvBufferSize, 1)));
    long got = ReceiveSome(receive_buf_.data(), receive_buf_.size(), timeout);
    if (got < 0) {
      if (raise_on_timeout) throw ENetReadTimeout(Server());
      return -1;
    }
    auto n = static_cast<std::size_t>(got);
    if (n > 0) input_.Append(receive_buf_.data(), n);
    if (n == 0) closed_gracefully_ = true;
    CheckDisconnected(raise_if_closed, false);
    if (n > 0) return static_cast<int>(n);
    if (!binding_.HandleAllocated()) return 0;
  }
}

bool TNetIOHandlerStack::Connected() {
  if (binding_.HandleAllocated() && !closed_gracefully_) {
    try {
      FillInputBuffer(false, 0, false);
    } catch (const ENetSocketError&) {
      // A reset seen by the poll: the socket stays open until Disconnect.
      return !input_.Empty();
    }
  }
  return !input_.Empty() || (binding_.HandleAllocated() && !closed_gracefully_);
}

bool TNetIOHandlerStack::WaitForData(int timeout_ms) {
  const std::size_t before = input_.Size();
  if (!Connected()) return false;
  if (input_.Size() > before) return true;
  return FillInputBuffer(false, timeout_ms, false) > 0;
}

std::string TNetIOHandlerStack::ReadLine(std::string_view terminator, int timeout, int max_length) {
  if (max_length < 0) max_length = MaxLineLength;
  if (terminator.empty()) terminator = "\n";
  const std::string term = encode_text(terminator, DefStringEncoding);
  line_timed_out_ = false;
  const auto start = std::chrono::steady_clock::now();
  std::size_t scan = 0;
  for (;;) {
    std::int64_t found = -1;
    if (!input_.Empty()) {
      found = input_.IndexOf(term, scan);
      // Bytes already searched are not searched again.
      std::int64_t next =
          static_cast<std::int64_t>(input_.Size()) - static_cast<std::int64_t>(term.size()) + 1;
      scan = static_cast<std::size_t>(std::max<std::int64_t>(next, 0));
    }
    if (max_length > 0 && MaxLineAction == TNetMaxLineAction::maException &&
        ((found >= 0 && found > max_length) ||
         (found < 0 && scan > static_cast<std::size_t>(max_length))))
      throw ENetReadLnMaxLineLengthExceeded();
    if (found >= 0) {
      auto p = static_cast<std::size_t>(found);
      std::string line = input_.Extract(p + term.size());
      std::size_t len = p;
      if (term == "\n" && p > 0 && line[p - 1] == '\r') len = p - 1;
      line.resize(len);
      return decode_text(line, DefStringEncoding);
    }
    CheckDisconnected(true, true);
    if (FillInputBuffer(true, timeout, false) == -1) line_timed_out_ = true;
    if (timeout >= 0 &&
        std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeout))
      line_timed_out_ = true;
    if (line_timed_out_) return std::string();
  }
}

std::string TNetIOHandlerStack::ReadNonEmptyLine(int max_attempts) {
  for (int i = 0; i < max_attempts; ++i) {
    std::string line = trim_control(ReadLine());
    if (!line.empty()) return line;
    if (line_timed_out_) throw ENetReadTimeout(Server());
  }
  throw ENetReadLnWaitMaxAttemptsExceeded();
}

void TNetIOHandlerStack::WriteLine(std::string_view text) {
  std::string line(text);
  line += "\r\n";
  Write(line);
}

void TNetIOHandlerStack::Write(std::string_view text) {
  std::string bytes = encode_text(text, DefStringEncoding);
  WriteBytes(bytes.data(), bytes.size());
}

void TNetIOHandlerStack::WriteBytes(const void* data, std::size_t len) {
  CheckDisconnected(true, true);
  const char* p = static_cast<const char*>(data);
  while (len > 0) {
    if (!binding_.HandleAllocated()) throw ENetNotConnected();
    std::size_t n = SendSome(p, len);
    if (n == 0) closed_gracefully_ = true;
    CheckDisconnected(true, false);
    if (n == 0) throw ENetConnClosedGracefully();
    if (OnWork) OnWork(static_cast<std::int64_t>(n));
    p += n;
    len -= n;
  }
}

void TNetIOHandlerStack::WriteStream(TStream& stream, std::int64_t size, bool write_byte_count) {
  if (size < 0) {
    size = stream.Size() - stream.Position();
  } else if (size == 0) {
    stream.SetPosition(0);
    size = stream.Size();
  }
  if (write_byte_count) {
    // Size prefix in network byte order: 8 bytes with LargeStream, else 4.
    unsigned char prefix[8];
    const int width = LargeStream ? 8 : 4;
    if (!LargeStream && size >= 2147483648LL) throw ENetIOHandlerRequiresLargeStream();
    for (int i = 0; i < width; ++i)
      prefix[i] =
          static_cast<unsigned char>(static_cast<std::uint64_t>(size) >> (8 * (width - 1 - i)));
    WriteBytes(prefix, static_cast<std::size_t>(width));
  }
  std::vector<char> buf(static_cast<size_t>(std::max(SendBufferSize, 1)));
  while (size > 0) {
    platform::throw_if_cancelled();
    std::int64_t want = std::min<std::int64_t>(static_cast<std::int64_t>(buf.size()), size);
    std::int64_t got = stream.Read(buf.data(), want);
    if (got <= 0 && stream.LastError() != 0)
      throw std::system_error(stream.LastError(), std::generic_category(), "read");
    if (got <= 0) throw ENetNoDataToRead();
    WriteBytes(buf.data(), static_cast<std::size_t>(got));
    size -= got;
  }
}

}  // namespace ftp
