// Password scrambles of the MySQL login: the native SHA-1 token, the
// caching_sha2_password SHA-256 token and RSA-encrypted password, the
// pre-4.1 ("323") hash and scramble, and the answer of the transitional 4.1.0
// exchange. Pure functions; password bytes are the password's bytes as the
// login sends them.
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

using TSha256Digest = std::array<std::uint8_t, 32>;

TSha256Digest sha256(std::string_view data);

// caching_sha2_password fast authentication:
// XOR(SHA256(password), SHA256(SHA256(SHA256(password)) + nonce)).
// nonce is the 20-byte scramble of the greeting or the switch request.
TSha256Digest caching_sha2_token(std::string_view password, std::string_view nonce);

// caching_sha2_password full authentication without TLS: (password + zero
// byte) XOR the nonce (repeated), encrypted with RSA-OAEP under the server's
// public key (PEM text as the server sends it). Throws EMyError 2012 when the
// key cannot be read or the encryption fails.
std::string rsa_encrypted_password(std::string_view public_key_pem, std::string_view password,
                                   std::string_view nonce);

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
