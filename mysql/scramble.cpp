// Native, old-style and transitional password scrambles.
#include "mysql/scramble.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>

#include <cmath>
#include <memory>

#include "mysql/my_error.h"

namespace mysql {

TSha1Digest sha1(std::string_view data) {
  TSha1Digest d{};
  SHA1(reinterpret_cast<const unsigned char*>(data.data()), data.size(), d.data());
  return d;
}

TSha1Digest native_token(std::string_view password, std::string_view scramble) {
  TSha1Digest stage1 = sha1(password);
  TSha1Digest stage2 = sha1({reinterpret_cast<const char*>(stage1.data()), stage1.size()});
  std::string mix(scramble.substr(0, 20));
  mix.append(reinterpret_cast<const char*>(stage2.data()), stage2.size());
  TSha1Digest h = sha1(mix);
  TSha1Digest token{};
  for (size_t i = 0; i < token.size(); ++i) token[i] = stage1[i] ^ h[i];
  return token;
}

TSha256Digest sha256(std::string_view data) {
  TSha256Digest d{};
  SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), d.data());
  return d;
}

TSha256Digest caching_sha2_token(std::string_view password, std::string_view nonce) {
  TSha256Digest stage1 = sha256(password);
  TSha256Digest stage2 = sha256({reinterpret_cast<const char*>(stage1.data()), stage1.size()});
  std::string mix(reinterpret_cast<const char*>(stage2.data()), stage2.size());
  mix.append(nonce);
  TSha256Digest h = sha256(mix);
  TSha256Digest token{};
  for (size_t i = 0; i < token.size(); ++i) token[i] = stage1[i] ^ h[i];
  return token;
}

std::string rsa_encrypted_password(std::string_view public_key_pem, std::string_view password,
                                   std::string_view nonce) {
  auto fail = [](const char* why) {
    return make_error(CR_SERVER_HANDSHAKE_ERR,
                      std::string("caching_sha2_password full authentication: ") + why);
  };
  std::string plain(password);
  plain.push_back('\0');
  if (!nonce.empty())
    for (size_t i = 0; i < plain.size(); ++i) plain[i] ^= nonce[i % nonce.size()];

  std::unique_ptr<BIO, decltype(&BIO_free)> bio(
      BIO_new_mem_buf(public_key_pem.data(), static_cast<int>(public_key_pem.size())), BIO_free);
  if (!bio) throw fail("out of memory");
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
  if (!key) throw fail("the server's public key cannot be read");
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
      EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
  size_t out_len = 0;
  if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_OAEP_PADDING) <= 0 ||
      EVP_PKEY_encrypt(ctx.get(), nullptr, &out_len,
                       reinterpret_cast<const unsigned char*>(plain.data()), plain.size()) <= 0)
    throw fail("the server's public key cannot encrypt the password");
  std::string out(out_len, '\0');
  if (EVP_PKEY_encrypt(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &out_len,
                       reinterpret_cast<const unsigned char*>(plain.data()), plain.size()) <= 0)
    throw fail("the password is too long for the server's public key");
  out.resize(out_len);
  return out;
}

std::array<std::uint32_t, 2> old_hash(std::string_view text) {
  std::uint32_t nr = 1345345333u, add = 7, nr2 = 0x12345671u;
  for (unsigned char b : text) {
    if (b == ' ' || b == '\t') continue;
    nr ^= (((nr & 63) + add) * b) + (nr << 8);
    nr2 += (nr2 << 8) ^ nr;
    add += b;
  }
  return {nr & 0x7FFFFFFFu, nr2 & 0x7FFFFFFFu};
}

namespace {

struct OldRandom {
  static constexpr std::uint32_t kMax = 0x3FFFFFFF;
  std::uint64_t seed1, seed2;
  OldRandom(std::uint32_t s1, std::uint32_t s2) : seed1(s1 % kMax), seed2(s2 % kMax) {}
  double Next() {
    seed1 = (seed1 * 3 + seed2) % kMax;
    seed2 = (seed1 + seed2 + 33) % kMax;
    return static_cast<double>(seed1) / 1073741823.0;
  }
};

}  // namespace

std::string old_scramble(std::string_view password, std::string_view scramble) {
  auto hp = old_hash(password);
  auto hm = old_hash(scramble.substr(0, 8));
  OldRandom rnd(hp[0] ^ hm[0], hp[1] ^ hm[1]);
  std::string out(8, '\0');
  for (char& c : out) c = static_cast<char>(std::floor(rnd.Next() * 31) + 64);
  char extra = static_cast<char>(std::floor(rnd.Next() * 31));
  for (char& c : out) c = static_cast<char>(c ^ extra);
  return out;
}

std::string transitional_answer(std::string_view password, std::string_view packet24) {
  std::string bare;
  for (char c : password)
    if (c != ' ' && c != '\t') bare.push_back(c);
  TSha1Digest s = sha1(bare);
  std::string head(packet24.substr(0, 4));
  head.append(reinterpret_cast<const char*>(s.data()), s.size());
  TSha1Digest t = sha1(head);
  std::string answer(20, '\0');
  for (size_t i = 0; i < 20; ++i) {
    auto scrambled = static_cast<std::uint8_t>(i + 4 < packet24.size() ? packet24[i + 4] : 0);
    answer[i] = static_cast<char>((scrambled ^ t[i]) ^ s[i]);
  }
  return answer;
}

}  // namespace mysql
