// Byte encodings of the text on a TCP connection.
//
// The program's strings are Windows-1254 bytes; on the wire they become
// ASCII (characters from 128 up sent as "?"), 8-bit (characters below 256 as
// that byte, others "?") or UTF-8. Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace ftp {

enum class TNetTextEncoding { ASCII, EightBit, UTF8 };

// Program text -> bytes on the wire.
std::string encode_text(std::string_view ansi, TNetTextEncoding encoding);
// Bytes from the wire -> program text (characters without a Windows-1254
// form become "?").
std::string decode_text(std::string_view bytes, TNetTextEncoding encoding);

}  // namespace ftp
