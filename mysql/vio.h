// The byte transport under the packet layer. TVioTcp is the real one; tests
// and the fuzz target put an in-memory transport in its place.
//
// Waits end: a read or write waits at most the receive timeout without the
// peer sending or taking a byte (the silence bound), and never past the
// deadline when one is set (the login's total bound). A wait that ends that
// way returns short with TimedOut() true and LastErrorText() naming the
// server and the bound.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace mysql {

class TVio {
 public:
  using TClock = std::chrono::steady_clock;

  virtual ~TVio() = default;
  // Reads exactly n bytes unless the peer closes or an error or timeout
  // happens; returns the number of bytes read (LastErrorText then says why
  // when it is an error).
  virtual std::size_t Read(void* buffer, std::size_t n) = 0;
  // Writes all n bytes; false on failure.
  virtual bool Write(const void* data, std::size_t n) = 0;
  // Longest silence a read or write waits, in seconds (0 = none).
  virtual void SetReceiveTimeout(int seconds) = 0;
  // No wait runs past this point; seconds is the bound as the operator set
  // it, quoted by the timeout message. TClock::time_point::max() clears it.
  virtual void SetDeadline(TClock::time_point /*deadline*/, int /*seconds*/) {}
  virtual void Close() = 0;
  virtual std::string LastErrorText() const = 0;
  // True when the last failure was a wait that reached its bound.
  virtual bool TimedOut() const { return false; }
  // Switches the connection to TLS (client side). False when the handshake
  // fails or the transport cannot do TLS; LastErrorText then says why.
  virtual bool StartTls() { return false; }
  virtual bool CanStartTls() const { return false; }
  virtual bool TlsActive() const { return false; }
};

}  // namespace mysql
