// The PASV reply parser and the routable-address test of passive transfers.
//
// Real replies it reads:
//   "227 Entering Passive Mode (127,0,0,1,117,51)."   (most servers)
//   "227 Entering passive mode. 127,0,0,1,4,51"        (no parentheses: the
//                                                       last word is used)
// Pure functions; used by TNetFTP::Put.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ftp {

// False for the private and loopback ranges: text starting with "127",
// "10.", "169.254", "192.168", or "172.16." .. "172.31.".
bool IsRoutableAddress(std::string_view ip);

struct NetPasvTarget {
  std::string ip;
  std::uint16_t port = 0;
};

// Parses the first text line of a 227 reply. An announced address that is not
// routable is replaced by control_peer_ip when that one is routable (a server
// behind NAT that announces its inner address). EConvertError
// "'%s' is not a valid integer value" when a port field is not a number.
NetPasvTarget parse_pasv_reply(std::string_view text_line, const std::string& control_peer_ip);

// Decimal integer with an optional sign; EConvertError otherwise.
std::int64_t str_to_int(std::string_view text);

}  // namespace ftp
