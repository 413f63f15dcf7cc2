// TNetTCPClient and its I/O handler on loopback: connect rules and errors,
// line reading, timeouts, peer close, writing streams.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ftp/net_exceptions.h"
#include "ftp/net_tcp_client.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/process.h"

using namespace ftp;
using namespace testsupport;

namespace {

// A client connected to a fake server playing the script.
struct Peer {
  explicit Peer(std::vector<FtpStep> script) : srv(std::move(script)) {
    srv.Start();
    client.SetHost("127.0.0.1");
    client.SetPort(static_cast<std::uint16_t>(srv.port()));
    client.SetReadTimeout(2000);
    client.Connect();
  }
  TNetIOHandlerStack& io() { return *client.IOHandler(); }
  FakeFtpServer srv;
  TNetTCPClient client;
};

}  // namespace

TEST(TcpClient, SettingsAreCheckedBeforeConnecting) {
  TNetTCPClient c;
  EXPECT_THROW(c.Connect(), ENetHostRequired);
  c.SetHost("127.0.0.1");
  EXPECT_THROW(c.Connect(), ENetPortRequired);
  EXPECT_STREQ(ENetHostRequired().what(), "A Host is required");
  EXPECT_STREQ(ENetPortRequired().what(), "A Port is required");
}

TEST(TcpClient, RefusedConnectReadsAsSocketError10061) {
  for (int timeout : {0, 2000, -1}) {
    SCOPED_TRACE(timeout);
    TNetTCPClient c;
    c.SetHost("127.0.0.1");
    c.SetPort(static_cast<std::uint16_t>(free_tcp_port()));
    c.SetConnectTimeout(timeout);
    try {
      c.Connect();
      ADD_FAILURE() << "no exception";
    } catch (const ENetSocketError& e) {
      EXPECT_EQ(e.LastError(), 10061);
      EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
    }
    // The managed handler is gone; the settings stay.
    EXPECT_EQ(c.IOHandler(), nullptr);
    EXPECT_EQ(c.Host(), "127.0.0.1");
  }
}

TEST(TcpClient, HostTextRules) {
  // Each connection stays open until the client closes it, so the second
  // Connect meets a live connection.
  FakeFtpServer srv({HoldUntilClosed(), Accept(), HoldUntilClosed(), Accept(), HoldUntilClosed(),
                     Accept(), HoldUntilClosed()});
  srv.Start();
  for (const char* host : {"127.0.0.1", "LocalHost", " 127 . 0.0. 1"}) {
    SCOPED_TRACE(host);
    TNetTCPClient c;
    c.SetHost(host);
    c.SetPort(static_cast<std::uint16_t>(srv.port()));
    std::vector<TNetStatus> seen;
    c.OnStatus = [&](TNetStatus s, const std::string&) { seen.push_back(s); };
    c.Connect();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), TNetStatus::hsResolving), 0);
    EXPECT_EQ(c.IOHandler()->Binding().PeerIP(), "127.0.0.1");
    EXPECT_THROW(c.Connect(), ENetAlreadyConnected);
    c.Disconnect();
  }
  // Three or five numbers are names: they go to the resolver. glibc's
  // resolver reads "127.0.1" the old inet_aton way (127.0.0.1); a fifth
  // number makes no address at all.
  struct NameCase {
    const char* host;
    bool connects;
  } names[] = {{"127.0.1", true}, {"127.0.0.1.5", false}};
  for (const NameCase& k : names) {
    SCOPED_TRACE(k.host);
    TNetTCPClient c;
    c.SetHost(k.host);
    c.SetPort(static_cast<std::uint16_t>(srv.port()));
    bool resolved = false;
    c.OnStatus = [&](TNetStatus s, const std::string&) {
      resolved |= s == TNetStatus::hsResolving;
    };
    if (k.connects) {
      c.Connect();
      EXPECT_EQ(c.IOHandler()->Binding().PeerIP(), "127.0.0.1");
      c.Disconnect();
    } else {
      int error = 0;
      EXPECT_THROW(
          {
            try {
              c.Connect();
            } catch (const ENetSocketError& e) {
              error = e.LastError();
              throw;
            }
          },
          ENetSocketError);
      EXPECT_EQ(error, kSocketHostNotFound);
    }
    EXPECT_TRUE(resolved);
  }
}

TEST(TcpClient, ReadLineEndings) {
  Peer p({SendRaw("one\r\ntwo\nth\rree\r\n\r\n   \r\n  four  \r\n")});
  EXPECT_EQ(p.io().ReadLine(), "one");
  EXPECT_EQ(p.io().ReadLine(), "two");
  EXPECT_EQ(p.io().ReadLine(), "th\rree");
  EXPECT_EQ(p.io().ReadNonEmptyLine(), "four");
}

TEST(TcpClient, MaxLineLength) {
  struct Case {
    const char* name;
    std::string bytes;
    bool ok;
  } cases[] = {
      {"16384 then LF", std::string(16384, 'a') + "\n", true},
      {"16385 then LF", std::string(16385, 'a') + "\n", false},
      {"16385 without LF", std::string(16385, 'a'), false},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    Peer p({SendRaw(k.bytes), Sleep(500)});
    if (k.ok) {
      EXPECT_EQ(p.io().ReadLine().size(), 16384u);
    } else {
      EXPECT_THROW(p.io().ReadLine(), ENetReadLnMaxLineLengthExceeded);
    }
  }
}

TEST(TcpClient, LineArrivingInPiecesIsFound) {
  Peer p({SendRaw("abc"), Sleep(50), SendRaw("def\r"), Sleep(50), SendRaw("\nnext\n")});
  EXPECT_EQ(p.io().ReadLine(), "abcdef");
  EXPECT_EQ(p.io().ReadLine(), "next");
}

TEST(TcpClient, PartialLastLineThenCloseRaisesClosedGracefully) {
  Peer p({SendRaw("full\npartial"), Close()});
  EXPECT_EQ(p.io().ReadLine(), "full");
  try {
    p.io().ReadLine();
    ADD_FAILURE() << "no exception";
  } catch (const ENetConnClosedGracefully& e) {
    EXPECT_STREQ(e.what(), "Connection Closed Gracefully.");
  }
  EXPECT_TRUE(p.client.IsConnected());  // "partial" is still buffered
  p.io().ClearInputBuffer();
  EXPECT_FALSE(p.client.IsConnected());
}

TEST(TcpClient, IsConnectedSeesPeerClose) {
  Peer p({Sleep(100), Close()});
  EXPECT_TRUE(p.client.IsConnected());
  p.srv.Wait();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(p.client.IsConnected());
  EXPECT_FALSE(p.io().WaitForData(10));
  p.client.Disconnect();
  EXPECT_THROW(p.io().ReadLine(), ENetConnClosedGracefully);
}

TEST(TcpClient, ReadTimeoutAndItsRestartOnData) {
  using clock = std::chrono::steady_clock;
  {
    Peer p({Sleep(2000)});
    p.io().ReadTimeout = 300;
    auto t0 = clock::now();
    EXPECT_THROW(p.io().ReadNonEmptyLine(), ENetReadTimeout);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - t0).count();
    EXPECT_GE(ms, 280);
    EXPECT_LT(ms, 1500);
  }
  {
    // One byte every 300 ms with a 1000 ms timeout never times out, though
    // the whole line takes longer than the timeout (wide margins: the
    // machine may be busy).
    std::vector<FtpStep> s;
    for (char ch : std::string("slowly")) {
      s.push_back(Sleep(300));
      s.push_back(SendRaw(std::string(1, ch)));
    }
    s.push_back(SendRaw("\n"));
    Peer p(s);
    p.io().ReadTimeout = 1000;
    EXPECT_EQ(p.io().ReadNonEmptyLine(), "slowly");
  }
}

TEST(TcpClient, WaitForData) {
  Peer p({Sleep(150), SendRaw("x"), Sleep(1000)});
  EXPECT_FALSE(p.io().WaitForData(20));
  EXPECT_TRUE(p.io().WaitForData(2000));
  EXPECT_FALSE(p.io().InputBufferIsEmpty());
}

TEST(TcpClient, WriteStreamSizeRules) {
  struct Case {
    const char* name;
    std::int64_t size;
    const char* sent;
  } cases[] = {{"size 0: whole stream", 0, "0123456789"},
               {"size -1: rest", -1, "456789"},
               {"size 3: three from the position", 3, "456"}};
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    FakeFtpServer srv({Pasv(), Store("GO", "", "")});
    srv.Start();
    // The fake's data port is announced in its PASV reply.
    TNetTCPClient control;
    control.SetHost("127.0.0.1");
    control.SetPort(static_cast<std::uint16_t>(srv.port()));
    control.Connect();
    control.IOHandler()->WriteLine("PASV");
    std::string reply = control.IOHandler()->ReadLine();
    auto open = reply.find('(');
    int p1 = 0, p2 = 0;
    std::sscanf(reply.c_str() + open, "(127,0,0,1,%d,%d)", &p1, &p2);
    control.IOHandler()->WriteLine("GO");
    TNetTCPClient data;
    data.SetHost("127.0.0.1");
    data.SetPort(static_cast<std::uint16_t>(p1 * 256 + p2));
    data.Connect();
    TMemoryStream stream("0123456789");
    stream.SetPosition(4);
    data.IOHandler()->WriteStream(stream, k.size);
    data.Disconnect();
    control.Disconnect();
    srv.Wait();
    EXPECT_EQ(srv.uploaded(), k.sent);
  }
}

TEST(TcpClient, StreamEndingEarlyIsNoDataToRead) {
  // A stream whose Size() promises more than Read() delivers.
  struct Short : TStream {
    std::int64_t pos = 0;
    std::int64_t Read(void*, std::int64_t count) override {
      std::int64_t n = pos < 3 ? std::min<std::int64_t>(count, 3 - pos) : 0;
      pos += n;
      return n;
    }
    std::int64_t Position() const override { return pos; }
    void SetPosition(std::int64_t p) override { pos = p; }
    std::int64_t Size() const override { return 100; }
  };
  Peer p({Sleep(500)});
  Short s;
  try {
    p.io().WriteStream(s, 0);
    ADD_FAILURE() << "no exception";
  } catch (const ENetNoDataToRead& e) {
    EXPECT_STREQ(e.what(), "No data to read.");
  }
}

TEST(TcpClient, BindToUsedPortFails) {
  FakeFtpServer srv({Sleep(300)});
  srv.Start();
  TNetTCPClient c;
  c.SetHost("127.0.0.1");
  c.SetPort(static_cast<std::uint16_t>(srv.port()));
  c.SetBoundIP("127.0.0.1");
  c.SetBoundPort(static_cast<std::uint16_t>(srv.port()));  // the listening port itself
  try {
    c.Connect();
    ADD_FAILURE() << "no exception";
  } catch (const ENetCouldNotBindSocket& e) {
    EXPECT_STREQ(e.what(), "Could not bind socket. Address and port are already in use.");
  }
}
