// PASV reply parsing; see ftp_pasv.h.
#include "ftp/ftp_pasv.h"

#include <vector>

#include "ftp/net_exceptions.h"
#include "platform/text_trim.h"

namespace ftp {
namespace {

std::string trim(std::string_view s) { return std::string(platform::trim(s)); }

}  // namespace

bool IsRoutableAddress(std::string_view ip) {
  auto starts = [&](std::string_view p) { return ip.substr(0, p.size()) == p; };
  if (starts("127") || starts("10.") || starts("169.254") || starts("192.168")) return false;
  if (starts("172") && ip.size() >= 7 && ip[6] == '.') {
    char a = ip[4], b = ip[5];
    if (a >= '0' && a <= '9' && b >= '0' && b <= '9') {
      int n = (a - '0') * 10 + (b - '0');
      if (n >= 16 && n <= 31) return false;
    }
  }
  return true;
}

std::int64_t str_to_int(std::string_view text) {
  std::string t = trim(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  if (i >= t.size()) throw platform::invalid_integer(t);
  std::int64_t v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') throw platform::invalid_integer(t);
    v = v * 10 + (t[i] - '0');
    if (v > 2147483648LL) throw platform::invalid_integer(t);
  }
  if (negative) v = -v;
  if (v > 2147483647LL) throw platform::invalid_integer(t);
  return v;
}

NetPasvTarget parse_pasv_reply(std::string_view text_line, const std::string& control_peer_ip) {
  const std::string line = trim(text_line);
  size_t begin, end;
  size_t open = line.find('(');
  if (open != std::string::npos) {
    begin = open + 1;
  } else {
    size_t space = line.rfind(' ');
    begin = space == std::string::npos ? 0 : space + 1;
  }
  size_t close = line.find(')');
  end = close == std::string::npos ? line.size() : close;
  std::string inner = end > begin ? line.substr(begin, end - begin) : std::string();

  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t comma = inner.find(',', start);
    fields.push_back(inner.substr(start, comma == std::string::npos ? comma : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  fields.resize(std::max<size_t>(fields.size(), 6));

  NetPasvTarget target;
  target.ip = fields[0] + "." + fields[1] + "." + fields[2] + "." + fields[3];
  if (!IsRoutableAddress(target.ip) && IsRoutableAddress(control_peer_ip))
    target.ip = control_peer_ip;
  std::int64_t hi = str_to_int(fields[4]) & 255, lo = str_to_int(fields[5]) & 255;
  target.port = static_cast<std::uint16_t>(hi * 256 + lo);
  return target;
}

}  // namespace ftp
