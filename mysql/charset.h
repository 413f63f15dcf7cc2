// The session character set: which Unicode set a server of a given version
// offers, the character-set byte of the login packet and the name sent with
// SET NAMES after the login. Pure functions; used by the session (login
// packet) and the connection (SET NAMES), and by the dump for its frame.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mysql {

// The Charset value that asks for the server's full Unicode set: utf8mb4 on
// servers that have it, utf8 on older ones. Texts of such a connection
// (user, password, database, statements, values) are UTF-8.
inline constexpr std::string_view kUnicodeCharset = "utf8mb4";

// Login character-set byte of utf8mb4 (collation utf8mb4_general_ci); utf8
// and the default are kCharsetUtf8 and kCharsetDefault of the handshake.
constexpr std::uint8_t kCharsetUtf8mb4 = 45;

// True when name is kUnicodeCharset in any letter case.
bool is_unicode_charset(std::string_view name);

// "utf8mb4" from 5.5.3 on, "utf8" from 4.1 to 5.5.2, "" before 4.1 (no
// character-set statement at all).
std::string unicode_charset_for(int major, int minor, int release);

// The character-set byte of the login packet for a session charset name and
// the greeting's version text: "utf8" gives 33; kUnicodeCharset gives 45,
// 33 or 8 by the version (as unicode_charset_for); every other name 8.
std::uint8_t login_charset_for(std::string_view charset_name, std::string_view server_version);

// The name sent after "SET NAMES " for a connection's Charset: kUnicodeCharset
// becomes unicode_charset_for(version); any other name is sent as written.
std::string session_charset_for(std::string_view charset, int major, int minor, int release);

}  // namespace mysql
