// Native, old-style and transitional password scrambles.
#include "mysql/scramble.h"

#include <openssl/sha.h>

#include <cmath>

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

struct TOldRandom {
  static constexpr std::uint32_t kMax = 0x3FFFFFFF;
  std::uint64_t seed1, seed2;
  TOldRandom(std::uint32_t s1, std::uint32_t s2) : seed1(s1 % kMax), seed2(s2 % kMax) {}
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
  TOldRandom rnd(hp[0] ^ hm[0], hp[1] ^ hm[1]);
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
