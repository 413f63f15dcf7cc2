// Table tests of the byte codecs: length-encoded integers, packet headers,
// scramble tokens, greeting and login packets, the float parser, date and
// time texts, row parsing.
#include <gtest/gtest.h>

#include <cmath>

#include "mysql/handshake.h"
#include "mysql/my_error.h"
#include "mysql/my_sql_net.h"
#include "mysql/result_set.h"
#include "mysql/scramble.h"
#include "mysql/value_convert.h"
#include "mysql/wire.h"

using namespace mysql;

TEST(Wire, LengthEncodedIntegersRoundTripAtEveryBoundary) {
  struct Case {
    std::uint64_t value;
    std::string encoded;
  };
  const std::vector<Case> cases = {
      {0, std::string(1, '\0')},
      {250, "\xFA"},
      {251, std::string("\xFC\xFB\x00", 3)},
      {0xFFFF, "\xFC\xFF\xFF"},
      {0x10000, std::string("\xFD\x00\x00\x01", 4)},
      {0xFFFFFF, "\xFD\xFF\xFF\xFF"},
      {0x1000000, std::string("\xFE\x00\x00\x00\x01\x00\x00\x00\x00", 9)},
      {~0ull - 1, "\xFE\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.value);
    std::string out;
    put_lenenc(out, k.value);
    EXPECT_EQ(out, k.encoded);
    PayloadReader r(k.encoded);
    EXPECT_EQ(r.LenEnc(), k.value);
    EXPECT_TRUE(r.AtEnd());
  }
  PayloadReader null_marker("\xFB");
  EXPECT_EQ(null_marker.LenEnc(), kLenEncNullValue);
  for (const char* bad : {"\xFF", "\xFC\x01", "\xFD\x01\x02", "\xFE\x01"}) {
    PayloadReader r(bad);
    try {
      r.LenEnc();
      ADD_FAILURE();
    } catch (const EMyError& e) {
      EXPECT_EQ(e.ErrorCode(), 2027);
    }
  }
}

TEST(Wire, PacketHeader) {
  unsigned char h[4];
  encode_packet_header(h, 0xFFFFFF, 255);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h), 4), "\xFF\xFF\xFF\xFF");
  PacketHeader d = decode_packet_header(reinterpret_cast<const unsigned char*>("\x03\x02\x01\x07"));
  EXPECT_EQ(d.length, 0x010203u);
  EXPECT_EQ(d.sequence, 7);
}

TEST(Scramble, OldHashMatchesTheKnownValue) {
  // The stored 323 hash of "password" is 5d2e19393cc5ef67; spaces and tabs
  // do not count.
  for (const char* pw : {"password", "pass word", "pass\tword"}) {
    auto h = old_hash(pw);
    EXPECT_EQ(h[0], 0x5d2e1939u) << pw;
    EXPECT_EQ(h[1], 0x3cc5ef67u) << pw;
  }
}

TEST(Scramble, NativeTokenIsWhatTheServerChecks) {
  // Server side: SHA1(token XOR SHA1(scramble + stage2)) must equal stage2.
  const std::string scramble = "0123456789abcdefghij";
  for (const char* pw : {"p", "yedekpw", "şifre uzun bir parola"}) {
    TSha1Digest token = native_token(pw, scramble);
    TSha1Digest stage1 = sha1(pw);
    TSha1Digest stage2 = sha1({reinterpret_cast<const char*>(stage1.data()), 20});
    std::string mix = scramble + std::string(reinterpret_cast<const char*>(stage2.data()), 20);
    TSha1Digest h = sha1(mix);
    std::string candidate(20, '\0');
    for (int i = 0; i < 20; ++i) candidate[i] = static_cast<char>(token[i] ^ h[i]);
    EXPECT_EQ(sha1(candidate), stage2) << pw;
  }
}

TEST(Scramble, OldScrambleIsEightPrintableBytesAndDependsOnBoth) {
  const std::string a = old_scramble("password", "12345678");
  EXPECT_EQ(a.size(), 8u);
  EXPECT_NE(a, old_scramble("password", "12345679"));
  EXPECT_NE(a, old_scramble("passwore", "12345678"));
  EXPECT_EQ(a, old_scramble("password", "12345678extra"));  // only 8 bytes count
}

TEST(Handshake, ClientFlagsAndAuthResponse) {
  EXPECT_EQ(client_flags(0x10002, 0, 0xF7FE), 0x0003A20Fu);
  // CLIENT_LOCAL_FILES is never offered, even when asked for.
  EXPECT_EQ(client_flags(0x10002 | CLIENT_LOCAL_FILES, 0, 0xF7FE) & CLIENT_LOCAL_FILES, 0u);
  // PROTOCOL_41 and COMPRESS only when the server has them.
  EXPECT_EQ(
      client_flags(0x10002 | CLIENT_COMPRESS, 0, 0x000C) & (CLIENT_PROTOCOL_41 | CLIENT_COMPRESS),
      0u);
  Greeting g;
  g.scramble = "12345678";
  EXPECT_EQ(auth_response(0x8000, "", g), std::string(1, '\0'));
  EXPECT_EQ(auth_response(0x0000, "", g), std::string(1, '\0'));
  EXPECT_EQ(auth_response(0x8000, "pw", g), "xxxxxxxx" + std::string(1, '\0'));
  EXPECT_EQ(auth_response(0x0000, "pw", g), old_scramble("pw", "12345678") + std::string(1, '\0'));
  g.scramble = "12345678901234567890";
  g.full_scramble = true;
  std::string native = auth_response(0x8000, "pw", g);
  ASSERT_EQ(native.size(), 21u);
  EXPECT_EQ(native[0], 20);
  // Without CONNECT_WITH_DB the database is left out.
  EXPECT_EQ(login_packet(0x3A207, 0x8000, 8, "u", std::string(1, '\0'), "db").size(),
            4 + 4 + 1 + 23 + 2 + 1u);
}

TEST(Handshake, TlsAndPluginFlagsFollowTheServer) {
  struct Case {
    const char* name;
    std::uint32_t server;
    bool tls;
    std::uint32_t set, clear;
  };
  const std::uint32_t modern = 0xF7FE | CLIENT_SSL | CLIENT_PLUGIN_AUTH;
  const std::vector<Case> cases = {
      {"TLS offered and wanted", modern, true, CLIENT_SSL | CLIENT_PLUGIN_AUTH, 0},
      {"TLS offered, not wanted", modern, false, CLIENT_PLUGIN_AUTH, CLIENT_SSL},
      {"TLS wanted, not offered", 0xF7FE | CLIENT_PLUGIN_AUTH, true, CLIENT_PLUGIN_AUTH,
       CLIENT_SSL},
      {"no plugin authentication", 0xF7FE | CLIENT_SSL, true, CLIENT_SSL, CLIENT_PLUGIN_AUTH},
      {"pre-4.1 server", (modern & ~CLIENT_PROTOCOL_41), true, 0,
       CLIENT_SSL | CLIENT_PLUGIN_AUTH | CLIENT_PROTOCOL_41},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::uint32_t f = client_flags(0x10002, 0, k.server, k.tls);
    EXPECT_EQ(f & k.set, k.set);
    EXPECT_EQ(f & k.clear, 0u);
  }
  // A previous login's TLS does not carry over to one without.
  EXPECT_EQ(client_flags(0x10002, CLIENT_SSL, modern, false) & CLIENT_SSL, 0u);

  // The TLS request is the login packet's first 32 bytes with CLIENT_SSL.
  const std::string req = ssl_request_packet(0x000BA20F, 8);
  ASSERT_EQ(req.size(), 32u);
  EXPECT_EQ(req.substr(0, 9), std::string("\x0F\xAA\x0B\x00\x00\x00\x00\x40\x08", 9));
  EXPECT_EQ(req.substr(9), std::string(23, '\0'));
}

TEST(Handshake, PluginGreetingNamesItsMethod) {
  using namespace std::string_literals;
  // A MySQL 8.4 greeting: upper capabilities with PLUGIN_AUTH, auth data
  // length 21, the second scramble part and the plugin name.
  const std::string g = "\x0A"s + "8.4.0\0"s + "\x01\0\0\0"s + "abcdefgh"s + "\0"s + "\xFF\xF7"s +
                        "\xFF"s + "\x02\0"s + "\xFF\xDF"s + "\x15"s + std::string(10, '\0') +
                        "ijklmnopqrst"s + "\0"s + "caching_sha2_password\0"s;
  Greeting p = parse_greeting(g);
  EXPECT_EQ(p.scramble, "abcdefghijklmnopqrst");
  EXPECT_EQ(p.auth_plugin, "caching_sha2_password");
  EXPECT_EQ(p.AllCapabilities(), 0xDFFFF7FFu);
  EXPECT_EQ(initial_auth_plugin(p), "caching_sha2_password");
  p.auth_plugin = "client_ed25519";
  EXPECT_EQ(initial_auth_plugin(p), "mysql_native_password");
}

TEST(Handshake, GreetingForms) {
  using namespace std::string_literals;
  const std::string g41 =
      "\x0A"
      "5.5.5-10.11\0"
      "\x01\0\0\0"
      "ABCDEFGH\0"
      "\xFE\xF7"
      "\x08"
      "\x02\0"s +
      std::string(13, '\0') + "IJKLMNOPQRST\0"s;
  Greeting a = parse_greeting(g41);
  EXPECT_EQ(a.server_version, "5.5.5-10.11");
  EXPECT_EQ(a.scramble, "ABCDEFGHIJKLMNOPQRST");
  EXPECT_TRUE(a.full_scramble);
  EXPECT_EQ(a.capabilities, 0xF7FE);
  EXPECT_EQ(a.language, 8);
  // A 3.23 greeting ends after the capabilities.
  const std::string old =
      "\x0A"
      "3.23.58\0"
      "\x05\0\0\0"
      "abcdefgh\0"
      "\x2C\x00"s;
  Greeting b = parse_greeting(old);
  EXPECT_EQ(b.scramble, "abcdefgh");
  EXPECT_FALSE(b.full_scramble);
  EXPECT_EQ(b.capabilities, 0x2C);
  try {
    parse_greeting(std::string(1, '\x09') + "x");
    ADD_FAILURE();
  } catch (const EMyError& e) {
    EXPECT_EQ(e.ErrorCode(), 2007);
    EXPECT_STREQ(e.what(), "Protocol mismatch. Server Version = 9 Client Version = 10");
  }
}

TEST(ResultCodecs, RowsAndEofAndHeaders) {
  using namespace std::string_literals;
  std::vector<std::string_view> v;
  const std::string row = std::string(
                              "\x01"
                              "a"
                              "\xFB"
                              "\x00",
                              4) +
                          std::string("\xFC\x03\x00xyz", 6);
  parse_row(row, 4, v);
  EXPECT_EQ(v[0], "a");
  EXPECT_EQ(v[1].data(), nullptr);
  EXPECT_NE(v[2].data(), nullptr);
  EXPECT_EQ(v[2], "");
  EXPECT_EQ(v[3], "xyz");
  for (const std::string& bad : {std::string("\x05"
                                             "ab"),
                                 std::string("\x01")}) {
    EXPECT_THROW(parse_row(bad, 1, v), EMyError);
  }
  EXPECT_THROW(parse_row("\x01"
                         "a",
                         2, v),
               EMyError);  // fewer values than columns
  EXPECT_TRUE(is_eof_packet("\xFE\x00\x00\x02\x00"));
  EXPECT_FALSE(is_eof_packet("\xFE\x01\x02\x03\x04\x05\x06\x07\x08"));  // a 9-byte row
  ResultHeader ok =
      parse_result_header(std::string("\x00\x05\x00\x0A\x00\x01\x00", 7), 0x3A20F, 0xF7FE);
  EXPECT_EQ(ok.kind, ResultHeader::kOk);
  EXPECT_EQ(ok.affected_rows, 5u);
  EXPECT_EQ(ok.status, 0x0A);
  EXPECT_EQ(ok.warnings, 1);
  EXPECT_EQ(parse_result_header("\x03", 0x3A20F, 0xF7FE).field_count, 3u);
  ResultHeader local = parse_result_header("\xFB/etc/passwd", 0x3A20F, 0xF7FE);
  EXPECT_EQ(local.kind, ResultHeader::kLocalInfile);
  EXPECT_EQ(local.file_name, "/etc/passwd");
}

TEST(ValueCodecs, FloatParser) {
  struct Case {
    const char* text;
    double value;
  };
  const std::vector<Case> cases = {
      {"1e3", 1000},
      {"1.5e-2", 0.015},
      {"-12.25", -12.25},
      {"+7", 7},
      {"1234.50", 1234.5},
      {"0.1", 0.1},
      {"1E+2", 100},
      {"", 0},
      {"123456789012345678901234567890", 1.2345678901234568e29},
      {"0.000000000000000000000000000000000000000001", 1e-42},
      {"1e400", HUGE_VAL},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    EXPECT_DOUBLE_EQ(parse_float_text(k.text), k.value);
  }
  struct Bad {
    const char* text;
    const char* message;
  };
  const std::vector<Bad> bad = {
      {"12a", "'12a' is not a valid floating point value"},
      {"1.2.3", "'1.2.3' is not a valid floating point value"},
      {"inf", "'inf' is not a valid floating point value"},
      {"1e", "'' is not a valid integer value"},
      {"1e+x", "'+x' is not a valid integer value"},
  };
  for (const Bad& k : bad) {
    SCOPED_TRACE(k.text);
    try {
      parse_float_text(k.text);
      ADD_FAILURE();
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(), k.message);
    }
  }
}

TEST(ValueCodecs, IntegersAndBits) {
  EXPECT_EQ(parse_integer_text("-9000000000000000000", true), -9000000000000000000LL);
  EXPECT_EQ(parse_integer_text("4294967295", true), 4294967295LL);
  EXPECT_EQ(parse_integer_text("-5", false), -5);
  EXPECT_EQ(bit_value(std::string("\x02\x01", 2)), 0x201u);
  EXPECT_EQ(bit_value(""), 0u);
}

TEST(ValueCodecs, DatesTimesAndTimestampsByLength) {
  const double d2024 = *encode_date(2024, 2, 29);
  EXPECT_DOUBLE_EQ(*encode_date(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(*encode_date(1900, 1, 1), 2.0);
  EXPECT_FALSE(encode_date(2023, 2, 29));
  EXPECT_DOUBLE_EQ(*parse_date_text("2024-02-29"), d2024);
  EXPECT_FALSE(parse_date_text("0000-00-00"));
  EXPECT_FALSE(parse_date_text("2024-02"));
  const double t = *encode_time(13, 14, 15, 0);
  EXPECT_NEAR(*parse_datetime_text("2024-02-29 13:14:15", 0), d2024 + t, 1e-12);
  EXPECT_NEAR(*parse_datetime_text("2024-02-29 13:14:15.123456", 6),
              d2024 + *encode_time(13, 14, 15, 123), 1e-12);
  // Before 1899-12-30 the time is subtracted.
  EXPECT_NEAR(*parse_datetime_text("1899-12-29 12:00:00", 0), -1.5, 1e-12);

  struct Case {
    const char* text;
    std::uint32_t length;
    int y, mo, d, h, mi, s;
  };
  const std::vector<Case> cases = {
      {"2024-02-29 13:14:15", 19, 2024, 2, 29, 13, 14, 15},
      {"20240229131415", 14, 2024, 2, 29, 13, 14, 15},
      {"690229131415", 12, 2069, 2, 28 + 1, 13, 14, 15},
      {"7002281314", 10, 1970, 2, 28, 13, 14, 0},
      {"20240229", 8, 2024, 2, 29, 0, 0, 0},
      {"991231", 6, 1999, 12, 31, 0, 0, 0},
      {"0402", 4, 2004, 2, 1, 0, 0, 0},
      {"85", 2, 1985, 1, 1, 0, 0, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    auto v = parse_timestamp_text(k.text, k.length, 0);
    if (k.y == 2069) {  // 2069-02-29 does not exist
      EXPECT_FALSE(v);
      continue;
    }
    ASSERT_TRUE(v);
    EXPECT_NEAR(*v, *encode_date(k.y, k.mo, k.d) + *encode_time(k.h, k.mi, k.s, 0), 1e-9);
  }
  try {
    parse_timestamp_text("2024", 5, 0);
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Invalid FIELD_TYPE_TIMESTAMP Field.Length (5)");
  }
  // TIMESTAMP(3) of newer servers: length 23.
  EXPECT_NEAR(*parse_timestamp_text("2024-02-29 13:14:15.500", 23, 3),
              d2024 + *encode_time(13, 14, 15, 500), 1e-12);

  EXPECT_NEAR(*parse_time_text("838:59:59", "t"), (838 * 3600 + 59 * 60 + 59) / 86400.0, 1e-12);
  EXPECT_NEAR(*parse_time_text("-01:30:00.250", "t"), -(5400.25 / 86400.0), 1e-12);
  EXPECT_FALSE(parse_time_text("10:61:00", "t"));
  for (const char* bad : {"1000:00:00", "abc", "12"}) {
    try {
      parse_time_text(bad, "sure");
      ADD_FAILURE() << bad;
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(), "Wrong time format at field sure");
    }
  }
}

TEST(Errors, MessageRules) {
  EXPECT_EQ(make_error(2013).what(), std::string("Lost connection to MySQL server during query"));
  EXPECT_EQ(make_error(2013, "why").what(),
            std::string("Lost connection to MySQL server during query\r\nwhy"));
  EXPECT_EQ(make_error(2003, "Cannot connect").what(), std::string("Cannot connect"));
  EXPECT_EQ(make_error(1045, "#28000x").what(), std::string("\r\n#28000x"));
  EXPECT_EQ(EMyError(1064, "\r\n#42000You have an error ... at line 3").LineNumber(), 3);
  EXPECT_EQ(client_error_text(2014), "Commands out of sync;  You can't run this command now");
  EXPECT_EQ(client_error_text(2048), "");
}
