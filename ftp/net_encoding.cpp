// Text encodings of the connection; see net_encoding.h.
#include "ftp/net_encoding.h"

#include "platform/codepage.h"

namespace ftp {

std::string encode_text(std::string_view ansi, TNetTextEncoding encoding) {
  std::u16string wide = platform::ansi_to_utf16(ansi);
  if (encoding == TNetTextEncoding::UTF8) return platform::utf16_to_utf8(wide);
  const char16_t limit = encoding == TNetTextEncoding::ASCII ? 128 : 256;
  std::string out;
  out.reserve(wide.size());
  for (char16_t c : wide) out.push_back(c < limit ? static_cast<char>(c) : '?');
  return out;
}

std::string decode_text(std::string_view bytes, TNetTextEncoding encoding) {
  if (encoding == TNetTextEncoding::UTF8) return platform::utf8_to_ansi(bytes);
  std::u16string wide;
  wide.reserve(bytes.size());
  for (char b : bytes) {
    auto c = static_cast<unsigned char>(b);
    wide.push_back(encoding == TNetTextEncoding::ASCII && c >= 128 ? u'?' : char16_t(c));
  }
  return platform::utf16_to_ansi(wide);
}

}  // namespace ftp
