// Little-endian integers in byte strings, the one set every wire and file
// format of the program uses (MySQL packets, ZIP records).
//
// put_uN appends the low N bits of a value; get_uN reads N bits at p, which
// must hold that many bytes. Pure and header-only.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

inline void put_u8(std::string& out, std::uint8_t v) { out.push_back(static_cast<char>(v)); }
inline void put_u16(std::string& out, std::uint16_t v) {
  put_u8(out, static_cast<std::uint8_t>(v & 0xFF));
  put_u8(out, static_cast<std::uint8_t>(v >> 8));
}
inline void put_u24(std::string& out, std::uint32_t v) {
  put_u16(out, static_cast<std::uint16_t>(v & 0xFFFF));
  put_u8(out, static_cast<std::uint8_t>((v >> 16) & 0xFF));
}
inline void put_u32(std::string& out, std::uint32_t v) {
  put_u16(out, static_cast<std::uint16_t>(v & 0xFFFF));
  put_u16(out, static_cast<std::uint16_t>(v >> 16));
}
inline void put_u64(std::string& out, std::uint64_t v) {
  put_u32(out, static_cast<std::uint32_t>(v & 0xFFFFFFFFu));
  put_u32(out, static_cast<std::uint32_t>(v >> 32));
}

inline std::uint16_t get_u16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t get_u24(const unsigned char* p) {
  return p[0] | (static_cast<std::uint32_t>(p[1]) << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
}
inline std::uint32_t get_u32(const unsigned char* p) {
  return get_u24(p) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t get_u64(const unsigned char* p) {
  return get_u32(p) | (static_cast<std::uint64_t>(get_u32(p + 4)) << 32);
}

}  // namespace platform
