// Greeting parser, login packet builder and login-answer classifier.
#include "mysql/handshake.h"

#include <algorithm>
#include <cstdio>

#include "mysql/my_error.h"
#include "mysql/scramble.h"
#include "mysql/wire.h"

namespace mysql {

Greeting parse_greeting(std::string_view payload) {
  Greeting g;
  PayloadReader r(payload);
  g.protocol = r.U8();
  if (g.protocol != kProtocolVersion) {
    char text[128];
    std::snprintf(text, sizeof text, "Protocol mismatch. Server Version = %d Client Version = %d",
                  g.protocol, kProtocolVersion);
    throw EMyError(CR_VERSION_ERROR, text);
  }
  g.server_version = std::string(r.NulText());
  g.thread_id = r.U32();
  g.scramble = std::string(r.Bytes(8));
  const size_t p = r.Position();
  r.Skip(1);  // filler
  const size_t n = payload.size();
  if (n > p + 2) g.capabilities = r.U16();
  std::size_t auth_length = 0;
  if (n >= p + 18) {
    g.language = r.U8();
    g.status = r.U16();
    g.capabilities_upper = r.U16();
    auth_length = r.U8();
    r.Seek(p + 19);
  }
  if (n >= p + 31) {
    g.scramble += r.Bytes(12);
    g.full_scramble = true;
    // Servers with plugin authentication say how long the scramble is
    // (21 with its NUL); the second part holds what the first did not.
    const std::size_t rest = auth_length > 8 ? auth_length - 8 : 13;
    if (g.AllCapabilities() & CLIENT_PLUGIN_AUTH) {
      r.Seek(std::min(n, p + 19 + std::max<std::size_t>(rest, 13)));
      g.auth_plugin = std::string(r.NulText());
    }
  }
  return g;
}

std::uint32_t client_flags(std::uint32_t requested, std::uint32_t previous,
                           std::uint32_t server_capabilities, bool tls) {
  std::uint32_t f = requested;
  if (f & CLIENT_MULTI_STATEMENTS) f |= CLIENT_MULTI_RESULTS;
  f |= previous | kFixedClientFlags | CLIENT_CONNECT_WITH_DB | CLIENT_PLUGIN_AUTH;
  f &= ~CLIENT_LOCAL_FILES;  // never offered, even when a caller asks
  f &= ~CLIENT_SSL;          // decided for this login alone
  if (tls) f |= CLIENT_SSL;
  for (std::uint32_t bit : {CLIENT_COMPRESS, CLIENT_PROTOCOL_41, CLIENT_SSL, CLIENT_PLUGIN_AUTH})
    if (!(server_capabilities & bit)) f &= ~bit;
  // TLS and plugin names travel only in the 4.1 login packet.
  if (!(f & CLIENT_PROTOCOL_41)) f &= ~(CLIENT_SSL | CLIENT_PLUGIN_AUTH);
  return f;
}

std::string initial_auth_plugin(const Greeting& greeting) {
  return greeting.auth_plugin == kCachingSha2Plugin ? kCachingSha2Plugin : kNativePlugin;
}

std::string unsupported_plugin_message(std::string_view plugin) {
  return "The account uses the authentication method '" + std::string(plugin) +
         "', which this program does not support; ask the database administrator to give the "
         "account a mysql_native_password or caching_sha2_password password";
}

std::string auth_response(std::uint16_t server_capabilities, std::string_view password,
                          const Greeting& greeting, std::string_view plugin) {
  std::string out;
  if (password.empty()) {
    out.push_back('\0');
    return out;
  }
  if (plugin == kCachingSha2Plugin && greeting.full_scramble &&
      (server_capabilities & CLIENT_SECURE_CONNECTION)) {
    TSha256Digest t = caching_sha2_token(password, greeting.scramble);
    out.push_back(static_cast<char>(t.size()));
    out.append(reinterpret_cast<const char*>(t.data()), t.size());
    return out;
  }
  if (server_capabilities & CLIENT_SECURE_CONNECTION) {
    if (greeting.full_scramble) {
      TSha1Digest t = native_token(password, greeting.scramble);
      out.push_back(static_cast<char>(t.size()));
      out.append(reinterpret_cast<const char*>(t.data()), t.size());
    } else {
      out.assign(8, 'x');
      out.push_back('\0');
    }
  } else {
    out = old_scramble(password, greeting.scramble);
    out.push_back('\0');
  }
  return out;
}

std::string login_packet(std::uint32_t flags, std::uint16_t server_capabilities,
                         std::uint8_t charset, std::string_view user, std::string_view auth,
                         std::string_view database, std::string_view plugin) {
  std::string p;
  if (flags & CLIENT_PROTOCOL_41) {
    put_u32(p, flags);
    put_u32(p, kMaxPacketSize);
    put_u8(p, charset);
    p.append(23, '\0');
  } else {
    put_u16(p, static_cast<std::uint16_t>(flags));
    put_u24(p, kMaxPacketSize & 0xFFFF);
  }
  put_nul_text(p, user);
  p.append(auth);
  if (server_capabilities & CLIENT_CONNECT_WITH_DB) put_nul_text(p, database);
  if (flags & CLIENT_PLUGIN_AUTH) put_nul_text(p, plugin);
  return p;
}

std::string ssl_request_packet(std::uint32_t flags, std::uint8_t charset) {
  std::string p;
  put_u32(p, flags | CLIENT_SSL);
  put_u32(p, kMaxPacketSize);
  put_u8(p, charset);
  p.append(23, '\0');
  return p;
}

AuthAnswer classify_auth_reply(std::string_view payload, std::uint32_t server_capabilities) {
  AuthAnswer a;
  if (payload.empty()) return a;
  const auto first = static_cast<std::uint8_t>(payload[0]);
  const bool secure = server_capabilities & CLIENT_SECURE_CONNECTION;
  if (first == 0x00) {
    a.kind = AuthReply::kOk;
    return a;
  }
  if (first == 0xFE) {
    if (payload.size() == 1) {
      a.kind = secure ? AuthReply::kOldScramble : AuthReply::kUnexpected;
      return a;
    }
    PayloadReader r(payload.substr(1));
    a.plugin = std::string(r.NulText());
    a.data = std::string(r.Rest());
    if (!a.data.empty() && a.data.back() == '\0') a.data.pop_back();
    if (a.plugin == kOldPlugin)
      a.kind = AuthReply::kOldScramble;
    else if (a.plugin == kNativePlugin)
      a.kind = a.data.size() >= 20 ? AuthReply::kNativeSwitch : AuthReply::kUnexpected;
    else if (a.plugin == kCachingSha2Plugin)
      a.kind = a.data.size() >= 20 ? AuthReply::kCachingSha2Switch : AuthReply::kUnexpected;
    else
      a.kind = AuthReply::kUnknownPlugin;
    return a;
  }
  if (first == kMoreDataByte && (server_capabilities & CLIENT_PLUGIN_AUTH)) {
    a.kind = AuthReply::kMoreData;
    a.data = std::string(payload.substr(1));
    return a;
  }
  if (secure && payload.size() == 24) {
    a.kind = AuthReply::kTransitional;
    a.data = std::string(payload);
  }
  return a;
}

}  // namespace mysql
