// Pure pieces of the FTP client: socket error messages, host text rules,
// input buffer growth, text encodings, reply parsing, PASV parsing and the
// routable-address test.
#include <gtest/gtest.h>
#include <netdb.h>

#include <algorithm>
#include <cerrno>

#include "ftp/ftp_pasv.h"
#include "ftp/ftp_reply.h"
#include "ftp/net_buffer.h"
#include "ftp/net_encoding.h"
#include "ftp/net_exceptions.h"
#include "ftp/net_stack.h"

using namespace ftp;

TEST(SocketErrors, MessagesUseTheWindowsNumbering) {
  struct Case {
    int err;
    int number;
    const char* message;
  } cases[] = {
      {ECONNREFUSED, 10061, "Socket Error # 10061\r\nConnection refused."},
      {ETIMEDOUT, 10060, "Socket Error # 10060\r\nConnection timed out."},
      {ECONNRESET, 10054, "Socket Error # 10054\r\nConnection reset by peer."},
      {EPIPE, 10054, "Socket Error # 10054\r\nConnection reset by peer."},
      {ECONNABORTED, 10053, "Socket Error # 10053\r\nSoftware caused connection abort."},
      {EHOSTUNREACH, 10065, "Socket Error # 10065\r\nNo route to host."},
      {ENETUNREACH, 10051, "Socket Error # 10051\r\nNetwork is unreachable."},
      {EADDRINUSE, 10048, "Socket Error # 10048\r\nAddress already in use."},
      {ENOTEMPTY, 10066, "Socket Error # 10066\r\nDirectory not empty"},
      {ENOTSOCK, 10038, "Socket Error # 10038\r\nSocket operation on non-socket."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(socket_error_from_errno(c.err), c.number);
    EXPECT_EQ(ENetSocketError(c.number).what(), std::string(c.message));
  }
  EXPECT_EQ(socket_error_from_gai(EAI_NONAME, 0), 11001);
  EXPECT_STREQ(ENetSocketError(11001).what(), "Socket Error # 11001\r\nHost not found.");
  EXPECT_STREQ(ENetSocketError(12345).what(), "Socket Error # 12345\r\n");
  EXPECT_THROW(raise_socket_error(kSocketNotASocket), ENetNotASocket);
}

TEST(HostText, OnlyFourDottedNumbersAreAddresses) {
  struct Case {
    const char* text;
    bool address;
    const char* normalized;
  } cases[] = {
      {"127.0.0.1", true, "127.0.0.1"},  {" 10. 0 .0.255 ", true, "10.0.0.255"},
      {"010.001.0.7", true, "10.1.0.7"}, {"1.2.3", false, ""},
      {"1.2.3.4.5", false, ""},          {"1.2.3.256", false, ""},
      {"1.2.3.4.", false, ""},           {"1..3.4", false, ""},
      {"ftp.example.com", false, ""},    {"localhost", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string n;
    EXPECT_EQ(TNetStack::IsIPv4Address(c.text, &n), c.address);
    if (c.address) {
      EXPECT_EQ(n, c.normalized);
    }
  }
}

// Bytes come out in the order they went in, across growth and compaction,
// and a long stream passing through a small window needs no growing memory.
TEST(NetBuffer, KeepsOrderAcrossGrowthAndCompaction) {
  TNetBuffer b;
  std::string expected;
  std::uint32_t next = 0;
  auto put = [&](std::size_t n) {
    std::string chunk;
    for (std::size_t i = 0; i < n; ++i) chunk += static_cast<char>('a' + (next++ % 26));
    b.Append(chunk.data(), chunk.size());
    expected += chunk;
  };
  std::size_t most_capacity = 0;
  for (int round = 0; round < 2000; ++round) {
    put(700 + static_cast<std::size_t>(round % 5) * 300);
    std::size_t take = std::min<std::size_t>(b.Size(), 1300);
    ASSERT_EQ(b.Extract(take), expected.substr(0, take)) << "round " << round;
    expected.erase(0, take);
    ASSERT_EQ(b.View(), expected) << "round " << round;
    most_capacity = std::max(most_capacity, b.Capacity());
  }
  // Far more than 2 MB went through; what is held stays small.
  EXPECT_LT(most_capacity, 64u * 1024) << "the buffer grows with the total, not with the unread";

  b.Clear();
  const std::string tail = "xyz";
  b.Append(tail.data(), tail.size());
  EXPECT_EQ(b.IndexOf("y", 0), 1);
  EXPECT_EQ(b.IndexOf("y", 2), -1);
  b.Remove(1);
  EXPECT_EQ(b.View(), "yz");
}

TEST(NetBuffer, RefusesMoreThanTwoGibibytes) {
  TNetBuffer b;
  char byte = 'x';
  b.Append(&byte, 1);
  EXPECT_THROW(b.Append(&byte, TNetBuffer::kMaxSize), ENetTooMuchDataInBuffer);
  EXPECT_EQ(b.Size(), 1u);
  EXPECT_STREQ(ENetTooMuchDataInBuffer().what(), "Too much data in buffer.");
}

TEST(TextEncoding, ThreeEncodingsOfTurkishText) {
  // "Şçö€" in Windows-1254: Ş 0xDE (U+015E), ç 0xE7, ö 0xF6, € 0x80 (U+20AC).
  const std::string text = "\xDE\xE7\xF6\x80!";
  EXPECT_EQ(encode_text(text, TNetTextEncoding::ASCII),
            "???"
            "?!");
  EXPECT_EQ(encode_text(text, TNetTextEncoding::EightBit), "?\xE7\xF6?!");
  EXPECT_EQ(encode_text(text, TNetTextEncoding::UTF8), "\xC5\x9E\xC3\xA7\xC3\xB6\xE2\x82\xAC!");
  EXPECT_EQ(decode_text("\xC5\x9E\xC3\xA7", TNetTextEncoding::UTF8), "\xDE\xE7");
  EXPECT_EQ(decode_text("\xE7\xF6", TNetTextEncoding::EightBit), "\xE7\xF6");
  EXPECT_EQ(decode_text("\xE7!", TNetTextEncoding::ASCII), "?!");
}

TEST(FtpReply, EndLineRule) {
  struct Case {
    const char* line;
    bool end;
  } cases[] = {{"220 done", true}, {"220", true},   {"220-more", false}, {"230 other", false},
               {"22", false},      {"220x", false}, {"abc def", false},  {" 220 x", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(is_reply_end_line(c.line, "220"), c.end);
  }
}

TEST(FtpReply, ParsesCodeAndTextLines) {
  TNetReplyFTP r = parse_reply({"211-Features:", "UTF8", "211-MDTM", "211 End"});
  EXPECT_EQ(r.Code, "211");
  EXPECT_EQ(r.NumericCode(), 211);
  EXPECT_EQ(r.Text, (platform::LineList{"Features:", "UTF8", "MDTM", "End"}));
  EXPECT_EQ(r.JoinedText(), "Features:\r\nUTF8\r\nMDTM\r\nEnd\r\n");

  TNetReplyFTP bare = parse_reply({"200"});
  EXPECT_EQ(bare.Code, "200");
  EXPECT_EQ(bare.Text, (platform::LineList{""}));

  for (const char* line : {"hello", "1000 too long"}) {
    SCOPED_TRACE(line);
    std::string message;
    EXPECT_THROW(
        {
          try {
            parse_reply({line});
          } catch (const ENetException& e) {
            message = e.what();
            throw;
          }
        },
        ENetException);
    EXPECT_EQ(message, std::string("Reply Code is not valid: ") + std::string(line).substr(0, 4));
  }
}

TEST(FtpReply, FormattedForm) {
  TNetReplyFTP r;
  r.Code = "230";
  r.Text = {"a", "b", "c"};
  EXPECT_EQ(r.FormattedReply(), "230-a\r\n230-b\r\n230 c\r\n");
  r.ReplyFormat = TNetReplyFormat::rfIndentMidLines;
  EXPECT_EQ(r.FormattedReply(), "230-a\r\n b\r\n230 c\r\n");
  r.Text.clear();
  EXPECT_EQ(r.FormattedReply(), "230 \r\n");
}

TEST(Pasv, IsRoutableAddress) {
  struct Case {
    const char* ip;
    bool routable;
  } cases[] = {
      {"127.0.0.1", false},   {"10.1.2.3", false},   {"169.254.0.9", false},
      {"192.168.1.5", false}, {"172.16.0.1", false}, {"172.31.255.1", false},
      {"172.15.0.1", true},   {"172.32.0.1", true},  {"172.1.2.3", true},
      {"100.64.0.1", true},   {"81.214.3.4", true},  {"192.169.0.1", true},
      {"11.0.0.1", true},     {"1.10.0.1", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ip);
    EXPECT_EQ(IsRoutableAddress(c.ip), c.routable);
  }
}

TEST(Pasv, ParsesRealRepliesAndSubstitutesPrivateAddresses) {
  struct Case {
    const char* name;
    const char* text;  // first text line of the 227 reply
    const char* peer;  // control connection's peer
    const char* ip;
    int port;
  } cases[] = {
      {"parentheses, public peer", "Entering Passive Mode (192,168,1,5,195,80).", "81.214.3.4",
       "81.214.3.4", 50000},
      {"parentheses, private peer", "Entering Passive Mode (192,168,1,5,195,80).", "192.168.1.1",
       "192.168.1.5", 50000},
      {"no parentheses", "Entering passive mode. 127,0,0,1,4,51", "127.0.0.1", "127.0.0.1", 1075},
      {"pyftpdlib", "Entering passive mode (127,0,0,1,117,51).", "127.0.0.1", "127.0.0.1", 30003},
      {"vsftpd", "Entering Passive Mode (127,0,0,1,117,49).", "127.0.0.1", "127.0.0.1", 30001},
      {"public announced", "Entering Passive Mode (81,214,3,9,4,1)", "10.0.0.1", "81.214.3.9",
       1025},
      {"port fields above 255", "Passive (10,0,0,1,300,5)", "10.0.0.2", "10.0.0.1", 11269},
      {"blanks in fields", "=( 127, 0, 0, 1, 4 , 1 )", "127.0.0.1", " 127. 0. 0. 1", 1025},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NetPasvTarget t = parse_pasv_reply(c.text, c.peer);
    EXPECT_EQ(t.ip, c.ip);
    EXPECT_EQ(t.port, c.port);
  }
}

TEST(Pasv, NonNumericPortFieldIsAConvertError) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"Entering Passive Mode (127,0,0,1,x,1)", "'x' is not a valid integer value"},
      {"Entering Passive Mode", "'' is not a valid integer value"},
      {"(1,2,3,4,5)", "'' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      parse_pasv_reply(c.text, "127.0.0.1");
      ADD_FAILURE() << "no exception";
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}
