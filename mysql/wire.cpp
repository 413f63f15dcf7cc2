// Little-endian and length-encoded codecs of the MySQL wire format.
#include "mysql/wire.h"

#include "mysql/my_error.h"

namespace mysql {

void PayloadReader::Need(std::size_t n) const {
  if (n > data_.size() - pos_) throw make_error(CR_MALFORMED_PACKET);
}
void PayloadReader::Skip(std::size_t n) {
  Need(n);
  pos_ += n;
}
void PayloadReader::Seek(std::size_t pos) {
  if (pos > data_.size()) throw make_error(CR_MALFORMED_PACKET);
  pos_ = pos;
}
std::uint8_t PayloadReader::U8() {
  Need(1);
  return static_cast<std::uint8_t>(data_[pos_++]);
}
std::uint16_t PayloadReader::U16() {
  Need(2);
  auto v = get_u16(reinterpret_cast<const unsigned char*>(data_.data() + pos_));
  pos_ += 2;
  return v;
}
std::uint32_t PayloadReader::U24() {
  Need(3);
  auto v = get_u24(reinterpret_cast<const unsigned char*>(data_.data() + pos_));
  pos_ += 3;
  return v;
}
std::uint32_t PayloadReader::U32() {
  Need(4);
  auto v = get_u32(reinterpret_cast<const unsigned char*>(data_.data() + pos_));
  pos_ += 4;
  return v;
}
std::uint64_t PayloadReader::U64() {
  std::uint64_t lo = U32();
  std::uint64_t hi = U32();
  return lo | (hi << 32);
}
std::uint64_t PayloadReader::LenEnc() {
  std::uint64_t v = 0;
  std::size_t used = decode_lenenc(data_.substr(pos_), v);
  if (used == 0) throw make_error(CR_MALFORMED_PACKET);
  pos_ += used;
  return v;
}
std::string_view PayloadReader::Bytes(std::size_t n) {
  Need(n);
  auto v = data_.substr(pos_, n);
  pos_ += n;
  return v;
}
std::string_view PayloadReader::NulText() {
  std::size_t end = data_.find('\0', pos_);
  if (end == std::string_view::npos) {
    auto v = data_.substr(pos_);
    pos_ = data_.size();
    return v;
  }
  auto v = data_.substr(pos_, end - pos_);
  pos_ = end + 1;
  return v;
}
std::string_view PayloadReader::LenEncString() {
  std::uint64_t n = LenEnc();
  if (n == kLenEncNullValue) return {};
  if (n > Remaining()) throw make_error(CR_MALFORMED_PACKET);
  return Bytes(static_cast<std::size_t>(n));
}
std::string_view PayloadReader::Rest() {
  auto v = data_.substr(pos_);
  pos_ = data_.size();
  return v;
}

std::size_t decode_lenenc(std::string_view data, std::uint64_t& value) {
  if (data.empty()) return 0;
  auto* p = reinterpret_cast<const unsigned char*>(data.data());
  std::uint8_t b = p[0];
  if (b <= 250) {
    value = b;
    return 1;
  }
  switch (b) {
    case kLenEncNull:
      value = kLenEncNullValue;
      return 1;
    case kLenEnc2:
      if (data.size() < 3) return 0;
      value = get_u16(p + 1);
      return 3;
    case kLenEnc3:
      if (data.size() < 4) return 0;
      value = get_u24(p + 1);
      return 4;
    case kLenEnc8:
      if (data.size() < 9) return 0;
      value = get_u32(p + 1) | (static_cast<std::uint64_t>(get_u32(p + 5)) << 32);
      return 9;
    default:
      return 0;  // 255
  }
}

void put_lenenc(std::string& out, std::uint64_t v) {
  if (v <= 250) {
    put_u8(out, static_cast<std::uint8_t>(v));
  } else if (v <= 0xFFFF) {
    put_u8(out, kLenEnc2);
    put_u16(out, static_cast<std::uint16_t>(v));
  } else if (v <= 0xFFFFFF) {
    put_u8(out, kLenEnc3);
    put_u24(out, static_cast<std::uint32_t>(v));
  } else {
    put_u8(out, kLenEnc8);
    put_u64(out, v);
  }
}
void put_nul_text(std::string& out, std::string_view text) {
  out.append(text);
  out.push_back('\0');
}

}  // namespace mysql
