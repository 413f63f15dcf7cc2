// The byte transport under the packet layer. TVioTcp is the real one; tests
// and the fuzz target put an in-memory transport in its place.
#pragma once

#include <cstddef>
#include <string>

namespace mysql {

class TVio {
 public:
  virtual ~TVio() = default;
  // Reads exactly n bytes unless the peer closes or an error or timeout
  // happens; returns the number of bytes read (LastErrorText then says why
  // when it is an error).
  virtual std::size_t Read(void* buffer, std::size_t n) = 0;
  // Writes all n bytes; false on failure.
  virtual bool Write(const void* data, std::size_t n) = 0;
  // Receive timeout in seconds (0 = none).
  virtual void SetReceiveTimeout(int seconds) = 0;
  virtual void Close() = 0;
  virtual std::string LastErrorText() const = 0;
};

}  // namespace mysql
