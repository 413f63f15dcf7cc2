// Password scrambles of the MySQL login: the native SHA-1 token, the
// pre-4.1 ("323") hash and scramble, and the answer of the transitional 4.1.0
// exchange. Pure functions; password bytes are the password's ANSI bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace mysql {

using TSha1Digest = std::array<std::uint8_t, 20>;

TSha1Digest sha1(std::string_view data);

// stage1 = SHA1(password); stage2 = SHA1(stage1);
// token = stage1 XOR SHA1(scramble[0..19] + stage2).
// scramble must hold at least 20 bytes (only the first 20 are used).
TSha1Digest native_token(std::string_view password, std::string_view scramble);

// The 323 hash: (nr & 0x7FFFFFFF, nr2 & 0x7FFFFFFF); spaces and tabs skipped.
std::array<std::uint32_t, 2> old_hash(std::string_view text);

// The eight bytes of the old-style scramble (no trailing zero) over the first
// 8 bytes of scramble (fewer when shorter).
std::string old_scramble(std::string_view password, std::string_view scramble);

// Answer of the transitional 4.1.0 exchange to the 24-byte packet (first
// byte not '*'): s = SHA1(password without spaces and tabs);
// t = SHA1(packet[0..3] + s); answer = (packet[4..23] XOR t) XOR s.
std::string transitional_answer(std::string_view password, std::string_view packet24);

}  // namespace mysql
