// TNetFTP against the scripted fake FTP server: login sequence, reply rules,
// 421 handling, working directory and passive uploads.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "ftp/ftp_upload.h"
#include "ftp/net_exceptions.h"
#include "ftp/net_ftp.h"
#include "platform/cancel.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/process.h"

using namespace ftp;
using namespace testsupport;

namespace {

using Script = std::vector<FtpStep>;

Script operator+(Script a, const Script& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::unique_ptr<TNetFTP> client_for(const FakeFtpServer& srv) {
  auto c = std::make_unique<TNetFTP>();
  c->SetHost("127.0.0.1");
  c->SetPort(static_cast<std::uint16_t>(srv.port()));
  c->SetUsername("yedek");
  c->SetPassword("gizli");
  c->SetReadTimeout(3000);
  c->SetPassive(true);
  return c;
}

std::vector<std::string> login_commands(const std::string& type = "A") {
  return {"HOST 127.0.0.1", "FEAT", "USER yedek",  "PASS gizli",
          "TYPE " + type,   "SYST", "TYPE " + type};
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

}  // namespace

TEST(FtpSession, LoginSendsHostFeatUserPassTypeSystTypeInOrder) {
  FakeFtpServer srv(plain_login() + Script{Expect("QUIT", "221 Bye.")});
  srv.Start();
  auto c = client_for(srv);
  c->Connect();
  EXPECT_EQ(c->ServerDescription(), "Fake FTP ready.");
  EXPECT_EQ(c->SystemDescription(), "UNIX Type: L8");
  EXPECT_TRUE(c->FeatureList().empty());
  c->Disconnect();
  srv.Wait();
  EXPECT_EQ(srv.commands(), login_commands() + std::vector<std::string>{"QUIT"});
  EXPECT_TRUE(srv.errors().empty()) << srv.errors()[0];
}

TEST(FtpSession, BinaryTypeSetBeforeConnectGoesIntoBothTypeCommands) {
  FakeFtpServer srv(plain_login());
  srv.Start();
  auto c = client_for(srv);
  c->SetTransferType(TNetFTPTransferType::ftBinary);
  c->Connect();
  c->Disconnect();
  srv.Wait();
  EXPECT_EQ(srv.commands(), login_commands("I") + std::vector<std::string>{"QUIT"});
}

TEST(FtpSession, MultiLineGreetingIsOneReplyWithForeignCodesInside) {
  Script s =
      plain_login("220-Welcome\r\n230 not the end\r\n220-still going\r\n   indented\r\n220 done");
  FakeFtpServer srv(s);
  srv.Start();
  auto c = client_for(srv);
  c->Connect();
  const TNetReplyFTP& g = c->GreetingReply();
  EXPECT_EQ(g.Code, "220");
  EXPECT_EQ(g.Text,
            (platform::LineList{"Welcome", "230 not the end", "still going", "indented", "done"}));
  EXPECT_EQ(c->ServerDescription(), "Welcome");
  EXPECT_EQ(
      g.FormattedReply(),
      "220-Welcome\r\n220-230 not the end\r\n220-still going\r\n220-indented\r\n220 done\r\n");
  c->Disconnect();
}

TEST(FtpSession, PreliminaryGreetingThenReady) {
  Script s = plain_login("120 Service ready in 1 minute.");
  s.insert(s.begin() + 1, Send("220 Now ready."));
  FakeFtpServer srv(s);
  srv.Start();
  auto c = client_for(srv);
  std::string warning;
  c->OnBannerWarning = [&](const std::string& t) { warning = t; };
  c->Connect();
  EXPECT_EQ(warning, "120 Service ready in 1 minute.\r\n");
  EXPECT_EQ(c->ServerDescription(), "Now ready.");
  c->Disconnect();
}

TEST(FtpSession, GreetingFailuresCloseWithoutQuit) {
  struct Case {
    const char* name;
    Script script;
    int code;
    bool service_not_available;
  } cases[] = {
      {"120 then 421", {Send("120 Wait."), Send("421 Too many users.")}, 421, true},
      {"421 at once", {Send("421 Too many users.")}, 421, true},
      {"554", {Send("554 Go away.")}, 554, false},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    FakeFtpServer srv(k.script);
    srv.Start();
    auto c = client_for(srv);
    try {
      c->Connect();
      ADD_FAILURE() << "no exception";
    } catch (const ENetReplyRFCError& e) {
      EXPECT_EQ(e.ErrorCode(), k.code);
      EXPECT_EQ(dynamic_cast<const ENetFTPServiceNotAvailable*>(&e) != nullptr,
                k.service_not_available);
    }
    EXPECT_FALSE(c->IsConnected());
    srv.Wait();
    EXPECT_TRUE(srv.commands().empty());
  }
}

TEST(FtpSession, HostRejectedOrDroppedStillLogsIn) {
  // Answered 502: login goes on. Dropped: one reconnect without HOST.
  Script rejected = plain_login();
  rejected[1] = Expect("HOST *", "502 Command not implemented.");
  Script dropped = Script{Send("220 Hi."), CloseOn("HOST *"), Accept()} + plain_login();
  dropped.erase(dropped.begin() + 4);  // the second connection gets no HOST
  struct Case {
    const char* name;
    Script script;
    std::vector<std::string> commands;
  } cases[] = {
      {"502", rejected, login_commands()},
      {"drop", dropped,
       std::vector<std::string>{"HOST 127.0.0.1", "FEAT", "USER yedek", "PASS gizli", "TYPE A",
                                "SYST", "TYPE A"}},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    FakeFtpServer srv(k.script);
    srv.Start();
    auto c = client_for(srv);
    c->Connect();
    EXPECT_TRUE(c->UseHOST());
    c->Disconnect();
    srv.Wait();
    EXPECT_EQ(srv.commands(), k.commands + std::vector<std::string>{"QUIT"});
    EXPECT_TRUE(srv.errors().empty());
  }
}

TEST(FtpSession, UserAnswered230SendsNoPass) {
  Script s = plain_login();
  s[3] = Expect("USER *", "230 No password needed.");
  s.erase(s.begin() + 4);
  FakeFtpServer srv(s);
  srv.Start();
  auto c = client_for(srv);
  c->Connect();
  c->Disconnect();
  srv.Wait();
  EXPECT_EQ(srv.commands(), (std::vector<std::string>{"HOST 127.0.0.1", "FEAT", "USER yedek",
                                                      "TYPE A", "SYST", "TYPE A", "QUIT"}));
}

TEST(FtpSession, FeatDecidesClntAndTextEncoding) {
  // "Dbler/şç": ş (0xFE in Windows-1254) has no 8-bit form, ç (0xE7) has.
  const std::string dir = "dbler/\xFE\xE7";
  struct Case {
    const char* name;
    std::string feat;
    std::vector<std::string> extra;  // commands between FEAT and TYPE
    std::string cwd_bytes;
  } cases[] = {
      {"no FEAT", "500 Unknown command.", {}, "CWD dbler/?\xE7"},
      {"UTF8 and CLNT",
       "211-Features:\r\n UTF8\r\n CLNT\r\n MDTM\r\n211 End",
       {"CLNT Vexo 10.6.2.0"},
       "CWD dbler/\xC5\x9F\xC3\xA7"},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    Script s = plain_login();
    s[2] = Expect("FEAT", k.feat);
    if (!k.extra.empty()) s.insert(s.begin() + 5, Expect("CLNT *", "200 Noted."));
    s.push_back(Expect("CWD *", "250 Ok."));
    FakeFtpServer srv(s);
    srv.Start();
    auto c = client_for(srv);
    c->Connect();
    c->ChangeWorkingDir(dir);
    c->Disconnect();
    srv.Wait();
    auto cmds = srv.commands();
    ASSERT_EQ(cmds.size(), 9 + k.extra.size());
    if (!k.extra.empty()) {
      EXPECT_EQ(cmds[4], k.extra[0]);
    }
    EXPECT_EQ(cmds[cmds.size() - 2], k.cwd_bytes);
    EXPECT_TRUE(srv.errors().empty());
  }
}

TEST(FtpSession, LoginRefusedRaisesServerTextAndSendsQuit) {
  struct Case {
    const char* name;
    std::string reply;
    std::string message;
  } cases[] = {
      {"one line", "530 Login incorrect.", "Login incorrect.\r\n"},
      {"two lines", "530-Login incorrect.\r\n530 Try again later.",
       "Login incorrect.\r\nTry again later.\r\n"},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    FakeFtpServer srv({Send("220 Hi."), Expect("HOST *", "500 ?"), Expect("FEAT", "500 ?"),
                       Expect("USER *", "331 Pass?"), Expect("PASS *", k.reply),
                       Expect("QUIT", "221 Bye.")});
    srv.Start();
    auto c = client_for(srv);
    try {
      c->Connect();
      ADD_FAILURE() << "no exception";
    } catch (const ENetReplyRFCError& e) {
      EXPECT_EQ(e.ErrorCode(), 530);
      EXPECT_STREQ(e.what(), k.message.c_str());
    }
    EXPECT_FALSE(c->IsConnected());
    srv.Wait();
    EXPECT_TRUE(srv.errors().empty());
    EXPECT_EQ(c->Username(), "yedek");  // settings survive
  }
}

TEST(FtpSession, AccountRequestedWithoutAccountFails) {
  FakeFtpServer srv({Send("220 Hi."), Expect("HOST *", "500 ?"), Expect("FEAT", "500 ?"),
                     Expect("USER *", "331 Pass?"), Expect("PASS *", "332 Need account for login."),
                     Expect("QUIT", "221 Bye.")});
  srv.Start();
  auto c = client_for(srv);
  EXPECT_THROW(c->Connect(), ENetReplyRFCError);
  srv.Wait();
  EXPECT_TRUE(srv.errors().empty());
}

// A 421 at any step closes the connection at once: no QUIT follows.
TEST(FtpSession, ServiceNotAvailableAtEveryStep) {
  Script full = plain_login() + Script{Expect("CWD *", "250 Ok."), Pasv(), Store("STOR a.zip")};
  for (size_t step = 1; step < full.size(); ++step) {
    SCOPED_TRACE("421 answers " + full[step].expect);
    Script s(full.begin(), full.begin() + static_cast<long>(step));
    s.push_back(Expect(full[step].expect, "421 Service not available, closing."));
    s.push_back(Close());
    FakeFtpServer srv(s);
    srv.Start();
    auto c = client_for(srv);
    TMemoryStream data("abc");
    try {
      c->Connect();
      c->ChangeWorkingDir("dbler/34");
      c->Put(data, "a.zip");
      ADD_FAILURE() << "no exception";
    } catch (const ENetFTPServiceNotAvailable& e) {
      EXPECT_EQ(e.ErrorCode(), 421);
      EXPECT_STREQ(e.what(), "Service not available, closing.\r\n");
    }
    EXPECT_FALSE(c->IsConnected());
    c->Disconnect();
    srv.Wait();
    EXPECT_EQ(srv.commands().size(), step);
    EXPECT_TRUE(srv.errors().empty());
  }
}

TEST(FtpSession, ChangeWorkingDirRefusedKeepsConnection) {
  FakeFtpServer srv(plain_login() + Script{Expect("CWD dbler/34ABC123", "550 No such directory."),
                                           Expect("QUIT", "221 Bye.")});
  srv.Start();
  auto c = client_for(srv);
  c->Connect();
  try {
    c->ChangeWorkingDir("dbler/34ABC123");
    ADD_FAILURE() << "no exception";
  } catch (const ENetReplyRFCError& e) {
    EXPECT_EQ(e.ErrorCode(), 550);
    EXPECT_STREQ(e.what(), "No such directory.\r\n");
  }
  EXPECT_TRUE(c->IsConnected());
  c->Disconnect();
  srv.Wait();
  EXPECT_TRUE(srv.errors().empty());
}

TEST(FtpSession, UploadSucceedsWith150And125Servers) {
  const std::string bytes = pattern(300000);
  for (bool accept_first : {false, true}) {
    SCOPED_TRACE(accept_first ? "125 after accepting" : "150 before accepting");
    FtpStep store = Store("STOR yedek.zip", accept_first ? "125 Data connection open." : "150 Ok.");
    store.accept_first = accept_first;
    FakeFtpServer srv(plain_login() + Script{Expect("CWD dbler/34", "250 Ok."), Pasv(), store,
                                             Expect("QUIT", "221 Bye.")});
    srv.Start();
    auto c = client_for(srv);
    TMemoryStream data(bytes);
    c->Connect();
    c->ChangeWorkingDir("dbler/34");
    c->Put(data, "yedek.zip");
    EXPECT_EQ(c->LastCmdResult().NumericCode(), 226);
    c->Disconnect();
    srv.Wait();
    EXPECT_TRUE(srv.errors().empty()) << srv.errors()[0];
    EXPECT_TRUE(srv.data_closed_before_final());
    EXPECT_EQ(srv.uploaded(), bytes);
  }
}

TEST(FtpSession, WholeStreamIsSentWhateverItsPosition) {
  struct Case {
    const char* name;
    std::string bytes;
    std::int64_t position;
  } cases[] = {{"empty stream", "", 0},
               {"positioned at its end", "0123456789", 10},
               {"positioned in the middle", "0123456789", 4}};
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    FakeFtpServer srv(plain_login() + Script{Pasv(), Store("STOR a.zip")});
    srv.Start();
    auto c = client_for(srv);
    TMemoryStream data(k.bytes);
    data.SetPosition(k.position);
    c->Connect();
    c->Put(data, "a.zip");
    c->Disconnect();
    srv.Wait();
    EXPECT_TRUE(srv.errors().empty());
    EXPECT_EQ(srv.uploaded(), k.bytes);
    EXPECT_EQ(data.Position(), static_cast<std::int64_t>(k.bytes.size()));
  }
}

TEST(FtpSession, RestartAppendAndPretCommands) {
  // Start position 4: REST 4 then bytes from 4. Append: APPE from the
  // position. A server listing PRET gets it before PASV.
  Script s = plain_login();
  s[2] = Expect("FEAT", "211-Features:\r\n PRET\r\n211 End");
  s = s + Script{Expect("PRET STOR r.zip", "200 Ok."),
                 Pasv(),
                 Expect("REST 4", "350 Restarting."),
                 Store("STOR r.zip"),
                 Expect("PRET APPE r.zip", "200 Ok."),
                 Pasv(),
                 Store("APPE r.zip")};
  FakeFtpServer srv(s);
  srv.Start();
  auto c = client_for(srv);
  TMemoryStream data("0123456789");
  c->Connect();
  c->Put(data, "r.zip", false, 4);
  data.SetPosition(8);
  c->Put(data, "r.zip", true);
  c->Disconnect();
  srv.Wait();
  EXPECT_TRUE(srv.errors().empty()) << srv.errors()[0];
  EXPECT_EQ(srv.uploaded(),
            "456789"
            "89");
}

TEST(FtpSession, UploadRefusals) {
  struct Case {
    const char* name;
    Script tail;
    int code;
    std::vector<std::string> last_commands;
  } cases[] = {
      {"PASV refused", {Expect("PASV", "502 No passive mode.")}, 502, {"PASV", "QUIT"}},
      {"STOR 550",
       {Pasv(), Store("STOR a.zip", "550 Permission denied.", "")},
       550,
       {"PASV", "STOR a.zip", "QUIT"}},
      {"STOR 553",
       {Pasv(), Store("STOR a.zip", "553 Could not create file.", "")},
       553,
       {"PASV", "STOR a.zip", "QUIT"}},
      {"final 451",
       {Pasv(), Store("STOR a.zip", "150 Ok.", "451 Local error in processing.")},
       451,
       {"PASV", "STOR a.zip", "QUIT"}},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    FakeFtpServer srv(plain_login() + k.tail);
    srv.Start();
    auto c = client_for(srv);
    TMemoryStream data("payload");
    c->Connect();
    try {
      c->Put(data, "a.zip");
      ADD_FAILURE() << "no exception";
    } catch (const ENetReplyRFCError& e) {
      EXPECT_EQ(e.ErrorCode(), k.code);
    }
    EXPECT_TRUE(c->IsConnected());
    c->Disconnect();
    srv.Wait();
    auto cmds = srv.commands();
    std::vector<std::string> tail(cmds.end() - static_cast<long>(k.last_commands.size()),
                                  cmds.end());
    EXPECT_EQ(tail, k.last_commands);
  }
}

TEST(FtpSession, DataConnectionRefusedReportsServerAnswer) {
  int dead = free_tcp_port();
  FakeFtpServer srv(
      plain_login() +
      Script{Expect("PASV", "227 Entering Passive Mode (" + FakeFtpServer::pasv_fields(dead) + ")"),
             Expect("STOR a.zip", "425 Can't open data connection.")});
  srv.Start();
  auto c = client_for(srv);
  TMemoryStream data("x");
  c->Connect();
  try {
    c->Put(data, "a.zip");
    ADD_FAILURE() << "no exception";
  } catch (const ENetReplyRFCError& e) {
    EXPECT_EQ(e.ErrorCode(), 425);
  }
  c->Disconnect();
}

TEST(FtpSession, PeerClosingMidTransferIsAnError) {
  // Whether the server then admits the failure (426) or claims success
  // (226), Put must not return normally.
  const std::string bytes = pattern(8 << 20);
  for (std::string final_reply : {"426 Connection closed; transfer aborted.", "226 Done."}) {
    SCOPED_TRACE(final_reply);
    FtpStep store = Store("STOR a.zip", "150 Ok.", final_reply);
    store.cut_after = 100000;
    FakeFtpServer srv(plain_login() + Script{Pasv(), store});
    srv.Start();
    auto c = client_for(srv);
    TMemoryStream data(bytes);
    c->Connect();
    try {
      c->Put(data, "a.zip");
      ADD_FAILURE() << "no exception";
    } catch (const ENetReplyRFCError& e) {
      EXPECT_EQ(e.ErrorCode(), 426);
    } catch (const ENetSocketError& e) {
      EXPECT_EQ(final_reply[0], '2');
      EXPECT_TRUE(e.LastError() == 10054 || e.LastError() == 10053) << e.what();
    }
    c->Disconnect();
    srv.Wait();
    EXPECT_LT(data.Position(), static_cast<std::int64_t>(bytes.size()));
  }
}

TEST(FtpSession, DataPortAcceptedLateStillUploads) {
  FtpStep store = Store("STOR a.zip");
  store.delay_ms = 700;
  FakeFtpServer srv(plain_login() + Script{Pasv(), store});
  srv.Start();
  auto c = client_for(srv);
  TMemoryStream data(pattern(100000));
  c->Connect();
  c->Put(data, "a.zip");
  c->Disconnect();
  srv.Wait();
  EXPECT_EQ(srv.uploaded(), data.Bytes());
}

TEST(FtpSession, SilentServerHitsReadTimeout) {
  struct Case {
    const char* name;
    Script script;
    bool quit_expected;
  } cases[] = {
      {"no greeting", {Sleep(1500)}, false},
      {"stalls at PASS",
       {Send("220 Hi."), Expect("HOST *", "500 ?"), Expect("FEAT", "500 ?"),
        Expect("USER *", "331 ?"), StallOn("PASS *")},
       true},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    FakeFtpServer srv(k.script);
    srv.Start();
    auto c = client_for(srv);
    c->SetReadTimeout(300);
    try {
      c->Connect();
      ADD_FAILURE() << "no exception";
    } catch (const ENetReadTimeout& e) {
      // A timeout, and which server failed to answer.
      EXPECT_EQ(std::string(e.what()),
                "Read timed out waiting for 127.0.0.1:" + std::to_string(srv.port()) + ".");
    }
    srv.Wait();
    auto cmds = srv.commands();
    EXPECT_EQ(!cmds.empty() && cmds.back() == "QUIT", k.quit_expected);
  }
}

TEST(FtpSession, BrokenReplies) {
  struct Case {
    const char* name;
    Script script;
    std::string message;
  } cases[] = {
      {"no code", {Send("hello there")}, "Reply Code is not valid: hell"},
      {"code 99", {Send("099 odd")}, "Reply Code is not valid: 099"},
      {"last line without LF", {SendRaw("220 Hi"), Close()}, "Connection Closed Gracefully."},
      {"closed after greeting",
       {Send("220 Hi."), CloseOn("HOST *"), Accept(), Close()},
       "Connection Closed Gracefully."},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    FakeFtpServer srv(k.script);
    srv.Start();
    auto c = client_for(srv);
    try {
      c->Connect();
      ADD_FAILURE() << "no exception";
    } catch (const ENetException& e) {
      EXPECT_EQ(e.what(), k.message);
    }
    EXPECT_FALSE(c->IsConnected());
  }
}

TEST(FtpSession, LongReplyLines) {
  // 16384 bytes before the LF are accepted, 16385 are not.
  for (size_t len : {16384u, 16385u}) {
    SCOPED_TRACE(len);
    Script s = plain_login();
    s[0] = SendRaw("220 " + std::string(len - 4, 'x') + "\n");
    FakeFtpServer srv(s);
    srv.Start();
    auto c = client_for(srv);
    if (len == 16384) {
      c->Connect();
      EXPECT_EQ(c->ServerDescription().size(), len - 4);
    } else {
      try {
        c->Connect();
        ADD_FAILURE() << "no exception";
      } catch (const ENetReadLnMaxLineLengthExceeded& e) {
        EXPECT_STREQ(e.what(), "Max line length exceeded.");
      }
    }
    c->Disconnect();
  }
}

TEST(FtpSession, EmptyFileNameSendsNothing) {
  FakeFtpServer srv(plain_login());
  srv.Start();
  auto c = client_for(srv);
  c->Connect();
  TMemoryStream data("x");
  try {
    c->Put(data, "");
    ADD_FAILURE() << "no exception";
  } catch (const ENetFTPUploadFileNameCanNotBeEmpty& e) {
    EXPECT_STREQ(e.what(), "The destination filename can not be empty");
  }
  c->Disconnect();
  srv.Wait();
  EXPECT_EQ(srv.commands(), login_commands() + std::vector<std::string>{"QUIT"});
}

// Whatever address a 227 reply names, the data goes to the server the
// control connection talks to; only the reply's port is used.
TEST(FtpSession, PasvAddressIsIgnoredDataGoesToTheControlPeer) {
  for (const char* announced : {"127,0,0,2", "203,0,113,9", "192,168,1,5"}) {
    SCOPED_TRACE(announced);
    FakeFtpServer srv(plain_login() + Script{Pasv(std::string("227 Entering Passive Mode (") +
                                                  announced + ",{port})."),
                                             Store("STOR a.zip")});
    srv.Start();
    auto c = client_for(srv);
    c->SetConnectTimeout(3000);  // a connect to the announced address fails, not hangs
    TMemoryStream data(pattern(70000));
    c->Connect();
    c->Put(data, "a.zip");
    c->Disconnect();
    srv.Wait();
    EXPECT_TRUE(srv.errors().empty()) << srv.errors()[0];
    EXPECT_EQ(srv.uploaded(), data.Bytes());
  }
}

// A server that accepts the data connection and stops reading: the send
// ends in a timeout that names the server, and the server's later 426 does
// not hide it.
TEST(FtpSession, ServerThatStopsReadingDataEndsInWriteTimeout) {
  FakeFtpServer srv(plain_login() + Script{Pasv(), StoreWithoutReading("STOR a.zip")});
  srv.Start();
  auto c = client_for(srv);
  c->SetTransferTimeout(500);
  TMemoryStream data(pattern(64u << 20));
  c->Connect();
  try {
    c->Put(data, "a.zip");
    ADD_FAILURE() << "no exception";
  } catch (const ENetWriteTimeout& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Write timed out: 127.0.0.1:", 0), 0u) << e.what();
    EXPECT_EQ(e.Server().rfind("127.0.0.1:", 0), 0u);
  }
  EXPECT_LT(data.Position(), static_cast<std::int64_t>(data.Bytes().size()));
  c->Disconnect();
  srv.Wait();
  EXPECT_TRUE(srv.errors().empty()) << srv.errors()[0];
}

// Cancelling a run whose server stopped reading ends the upload with
// ECancelled well before any timeout (transfer timeout is a minute here).
TEST(FtpSession, CancelEndsAStalledUpload) {
  FakeFtpServer srv(plain_login() + Script{Pasv(), StoreWithoutReading("STOR a.zip")});
  srv.Start();
  auto c = client_for(srv);
  c->SetReadTimeout(60000);
  TMemoryStream data(pattern(64u << 20));
  c->Connect();
  platform::CancelToken token;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    token.Cancel();
  });
  const auto start = std::chrono::steady_clock::now();
  {
    platform::CancelScope scope(token);
    EXPECT_THROW(c->Put(data, "a.zip"), platform::ECancelled);
  }
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  // The server's 426 was read: the control connection is still in step.
  EXPECT_EQ(c->LastCmdResult().NumericCode(), 426);
  c->Disconnect();
  srv.Wait();
}

// A transfer reply still on its way when the clean-up starts must not be
// taken for DELE's answer: the client ends in step, its last reply DELE's 250.
// Cancelled while the server still works through the data (its 226 comes
// late), and a final reply that timed out (ABOR goes out, the 226 of the
// transfer crosses it and the ABOR's 225 arrives after DELE went out).
TEST(FtpSession, CleanUpAfterAFailedUploadReadsPastLateTransferReplies) {
  struct Case {
    const char* name;
    Script after_store;
    bool cancel;  // else the wait for the final reply times out
  } cases[] = {
      {"cancel before the final 226", {Sleep(1000), Send("226 Transfer complete.")}, true},
      {"226 crossing ABOR",
       {Expect("ABOR", "226 Transfer complete."), Sleep(200), Send("225 No transfer to abort.")},
       false},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    FakeFtpServer srv(plain_login() + Script{Pasv(), Store("STOR a.zip.part", "150 Ok.", "")} +
                      k.after_store + Script{Expect("DELE a.zip.part", "250 Deleted.")});
    srv.Start();
    auto c = client_for(srv);
    c->SetReadTimeout(k.cancel ? 60000 : 500);
    TMemoryStream data(pattern(4096));
    c->Connect();
    platform::CancelToken token;
    std::thread canceller;
    if (k.cancel)
      c->OnWork = [&](std::uint64_t sent, std::uint64_t total) {
        if (sent == total && total > 0 && !canceller.joinable())
          canceller = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            token.Cancel();
          });
      };
    {
      platform::CancelScope scope(token);
      if (k.cancel) {
        EXPECT_THROW(put_via_temporary_name(*c, data, "a.zip"), platform::ECancelled);
      } else {
        EXPECT_THROW(put_via_temporary_name(*c, data, "a.zip"), ENetReadTimeout);
      }
    }
    if (canceller.joinable()) canceller.join();
    EXPECT_EQ(c->LastCmdResult().NumericCode(), 250) << c->LastCmdResult().JoinedText();
    EXPECT_TRUE(c->IsConnected());
    c->Disconnect();
    srv.Wait();
    EXPECT_TRUE(srv.errors().empty()) << srv.errors().front();
  }
}

// A server listing "AUTH TLS" gets AUTH TLS right after FEAT; when that
// fails (refused, or no TLS answer) the connect fails and neither USER nor
// PASS has gone out.
TEST(FtpSession, OfferedTlsComesBeforeTheCredentials) {
  const std::string feat = "211-Features:\r\n AUTH TLS\r\n PBSZ\r\n PROT\r\n211 End";
  struct Case {
    const char* name;
    Script tail;
    bool tls_error;
  } cases[] = {
      {"AUTH TLS refused", {Expect("AUTH TLS", "504 Not now.")}, false},
      {"plain text after 234",
       {Expect("AUTH TLS", "234 Proceed."), Sleep(300), Send("500 This is no TLS record.")},
       true},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.name);
    Script s{Send("220 Hi."), Expect("HOST *", "500 ?"), Expect("FEAT", feat)};
    FakeFtpServer srv(s + k.tail + Script{HoldUntilClosed()});
    srv.Start();
    auto c = client_for(srv);
    if (k.tls_error) {
      EXPECT_THROW(c->Connect(), ENetTLSError);
    } else {
      EXPECT_THROW(c->Connect(), ENetReplyRFCError);
    }
    EXPECT_FALSE(c->TLSActive());
    c.reset();
    srv.Wait();
    const auto cmds = srv.commands();
    ASSERT_GE(cmds.size(), 3u);
    EXPECT_EQ(cmds[2], "AUTH TLS");
    for (const std::string& cmd : cmds) {
      EXPECT_NE(cmd.rfind("USER", 0), 0u) << cmd;
      EXPECT_NE(cmd.rfind("PASS", 0), 0u) << cmd;
    }
  }
}

TEST(FtpSession, FeatRefusedBeforeLoginIsAskedAgainAfterIt) {
  Script s = plain_login();
  s[2] = Expect("FEAT", "530 Please login with USER and PASS.");
  s.insert(s.begin() + 5, Expect("FEAT", "211-Features:\r\n UTF8\r\n211 End"));
  FakeFtpServer srv(s);
  srv.Start();
  auto c = client_for(srv);
  c->Connect();
  EXPECT_TRUE(c->IsExtSupported("UTF8"));
  c->Disconnect();
  srv.Wait();
  EXPECT_EQ(srv.commands(),
            (std::vector<std::string>{"HOST 127.0.0.1", "FEAT", "USER yedek", "PASS gizli", "FEAT",
                                      "TYPE A", "SYST", "TYPE A", "QUIT"}));
  EXPECT_TRUE(srv.errors().empty()) << srv.errors()[0];
}
