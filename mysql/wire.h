// Byte codecs of the MySQL wire format: little-endian integers,
// length-encoded integers and strings, NUL-terminated text. Pure functions
// over byte buffers; used by every packet parser and builder of the client.
//
// Length-encoded integer: first byte <= 250 is the value; 251 is NULL;
// 252 + 2 bytes; 253 + 3 bytes; 254 + 8 bytes; 255 is malformed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/byte_order.h"

namespace mysql {

constexpr std::uint8_t kLenEncNull = 251;  // NULL marker / LOCAL INFILE request
constexpr std::uint8_t kLenEnc2 = 252;
constexpr std::uint8_t kLenEnc3 = 253;
constexpr std::uint8_t kLenEnc8 = 254;
constexpr std::uint64_t kLenEncNullValue = ~std::uint64_t{0};

// Sequential reader over one packet payload. Every read past the end, and a
// length-encoded prefix of 255, throws EMyError 2027 "Malformed packet".
class PayloadReader {
 public:
  explicit PayloadReader(std::string_view payload) : data_(payload) {}

  std::size_t Position() const { return pos_; }
  std::size_t Remaining() const { return data_.size() - pos_; }
  bool AtEnd() const { return pos_ >= data_.size(); }
  void Skip(std::size_t n);
  void Seek(std::size_t pos);

  std::uint8_t U8();
  std::uint16_t U16();
  std::uint32_t U24();
  std::uint32_t U32();
  std::uint64_t U64();
  // kLenEncNullValue for the NULL marker.
  std::uint64_t LenEnc();
  std::string_view Bytes(std::size_t n);
  // Up to the first NUL (consumed) or the end of the payload.
  std::string_view NulText();
  // Length-encoded string; NULL reads as empty.
  std::string_view LenEncString();
  std::string_view Rest();

 private:
  void Need(std::size_t n) const;
  std::string_view data_;
  std::size_t pos_ = 0;
};

using platform::get_u16;
using platform::get_u24;
using platform::get_u32;
using platform::put_u16;
using platform::put_u24;
using platform::put_u32;
using platform::put_u64;
using platform::put_u8;

void put_lenenc(std::string& out, std::uint64_t v);
void put_nul_text(std::string& out, std::string_view text);

// Decodes a length-encoded integer at the start of data. Returns the number
// of bytes used, 0 when data is too short or the prefix is 255.
std::size_t decode_lenenc(std::string_view data, std::uint64_t& value);

}  // namespace mysql
