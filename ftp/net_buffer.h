// TNetBuffer: the input buffer of the I/O handler, a FIFO of received bytes
// not yet consumed.
//
// A byte array with a read index. Appending first moves the unread bytes to
// the front when the array lacks room, then grows it to (needed + current size
// + 2048). Removing advances the read index; once it passes 2048 the unread
// bytes move to the front and the array shrinks to (unread + 2048) when more
// than 2048 bytes would stay free. At most 2147483647 bytes may be held.
// Single-threaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ftp {

class TNetBuffer {
 public:
  static constexpr std::size_t kSlack = 2048;
  static constexpr std::size_t kMaxSize = 2147483647;

  // Unread bytes.
  std::size_t Size() const { return tail_ - head_; }
  bool Empty() const { return tail_ == head_; }
  // Allocated array size (for the growth rules).
  std::size_t Capacity() const { return bytes_.size(); }
  void Clear();

  // ENetTooMuchDataInBuffer when the unread bytes would pass kMaxSize.
  void Append(const void* data, std::size_t len);
  // Index (relative to the unread bytes) of the first occurrence of `what` at
  // or after `from`, or -1.
  std::int64_t IndexOf(std::string_view what, std::size_t from) const;
  std::uint8_t At(std::size_t i) const { return bytes_[head_ + i]; }
  // Takes the first len bytes out.
  std::string Extract(std::size_t len);
  void Remove(std::size_t len);
  std::string_view View() const {
    return {reinterpret_cast<const char*>(bytes_.data()) + head_, Size()};
  }

 private:
  void Compact();

  std::vector<std::uint8_t> bytes_;
  std::size_t head_ = 0;  // read index
  std::size_t tail_ = 0;  // end of the unread bytes
};

}  // namespace ftp
