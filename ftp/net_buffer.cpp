// Input buffer growth and compaction; see net_buffer.h.
#include "ftp/net_buffer.h"

#include <algorithm>
#include <cstring>

#include "ftp/net_exceptions.h"

namespace ftp {

void TNetBuffer::Clear() {
  bytes_.clear();
  bytes_.shrink_to_fit();
  head_ = tail_ = 0;
}

void TNetBuffer::Compact() {
  if (head_ == 0) return;
  std::memmove(bytes_.data(), bytes_.data() + head_, Size());
  tail_ -= head_;
  head_ = 0;
}

void TNetBuffer::Append(const void* data, std::size_t len) {
  if (len == 0) return;
  if (len > kMaxSize - Size()) throw ENetTooMuchDataInBuffer();
  if (bytes_.size() - tail_ < len) {
    Compact();
    if (bytes_.size() - tail_ < len) bytes_.resize(len + bytes_.size() + kSlack);
  }
  std::memcpy(bytes_.data() + tail_, data, len);
  tail_ += len;
}

std::int64_t TNetBuffer::IndexOf(std::string_view what, std::size_t from) const {
  std::string_view v = View();
  if (what.empty() || from >= v.size()) return -1;
  std::size_t at = v.find(what, from);
  return at == std::string_view::npos ? -1 : static_cast<std::int64_t>(at);
}

std::string TNetBuffer::Extract(std::size_t len) {
  len = std::min(len, Size());
  std::string out(reinterpret_cast<const char*>(bytes_.data()) + head_, len);
  Remove(len);
  return out;
}

void TNetBuffer::Remove(std::size_t len) {
  head_ += std::min(len, Size());
  if (head_ == tail_) head_ = tail_ = 0;
  if (head_ > kSlack) {
    Compact();
    if (bytes_.size() - Size() > kSlack) {
      bytes_.resize(Size() + kSlack);
      bytes_.shrink_to_fit();
    }
  }
}

}  // namespace ftp
