#include "platform/codepage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <stdexcept>
#include <unordered_map>

namespace platform {
namespace {

// Converts one byte with iconv; returns false when the byte is undefined.
bool iconv_byte(const char* to, const char* from, unsigned char byte, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  char in[1] = {static_cast<char>(byte)};
  char buf[8];
  char* inp = in;
  char* outp = buf;
  size_t inleft = 1, outleft = sizeof buf;
  size_t rc = iconv(cd, &inp, &inleft, &outp, &outleft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return false;
  out.assign(buf, outp);
  return true;
}

struct Tables {
  std::array<char16_t, 256> to_utf16{};
  std::unordered_map<char16_t, unsigned char> from_utf16;
  std::array<char, 256> to_oem{};
  std::array<bool, 256> oem_exact{};

  Tables() {
    for (int b = 0; b < 256; ++b) {
      std::string out;
      char16_t unit;
      if (iconv_byte("UTF-16LE", "CP1254", static_cast<unsigned char>(b), out) && out.size() == 2) {
        unit = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                     (static_cast<unsigned char>(out[1]) << 8));
      } else {
        // glibc leaves 0x81, 0x8D-0x90, 0x9D and 0x9E undefined; Windows maps
        // them to the C1 control with the same number.
        unit = static_cast<char16_t>(b);
      }
      to_utf16[b] = unit;
      from_utf16.emplace(unit, static_cast<unsigned char>(b));

      if (iconv_byte("IBM857", "CP1254", static_cast<unsigned char>(b), out) && out.size() == 1) {
        to_oem[b] = out[0];
        oem_exact[b] = true;
      } else {
        to_oem[b] = '?';
        oem_exact[b] = false;
      }
    }
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

char16_t ansi_char_to_utf16(unsigned char byte) { return tables().to_utf16[byte]; }

std::u16string ansi_to_utf16(std::string_view ansi) {
  const auto& t = tables();
  std::u16string out;
  out.reserve(ansi.size());
  for (unsigned char c : ansi) out += t.to_utf16[c];
  return out;
}

std::string utf16_to_ansi(std::u16string_view text, bool* exact) {
  const auto& t = tables();
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    auto it = t.from_utf16.find(u);
    if (it != t.from_utf16.end()) {
      out += static_cast<char>(it->second);
      continue;
    }
    if (exact) *exact = false;
    out += '?';
    // A surrogate pair is one character: one '?'.
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000)
      ++i;
  }
  return out;
}

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;  // lone surrogate
    }
    append_utf8(out, cp);
  }
  return out;
}

std::u16string utf8_to_utf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp;
    size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      len = 4;
    } else {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    bool ok = i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80)
        ok = false;
      else
        cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += len;
  }
  return out;
}

std::string ansi_to_utf8(std::string_view ansi) {
  const auto& t = tables();
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 8);
  for (unsigned char c : ansi) {
    if (c < 0x80)
      out += static_cast<char>(c);
    else
      append_utf8(out, t.to_utf16[c]);
  }
  return out;
}

std::string utf8_to_ansi(std::string_view utf8, bool* exact) {
  return utf16_to_ansi(utf8_to_utf16(utf8), exact);
}

std::string ansi_to_oem(std::string_view ansi, bool* exact) {
  const auto& t = tables();
  std::string out;
  out.reserve(ansi.size());
  for (unsigned char c : ansi) {
    out += t.to_oem[c];
    if (!t.oem_exact[c] && exact) *exact = false;
  }
  return out;
}

}  // namespace platform
