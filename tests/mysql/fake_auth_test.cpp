// Logins of servers with plugin authentication (caching_sha2_password of
// MySQL 8.0/8.4/9, with real SHA-256 and RSA-OAEP inside the scripted server)
// and the waits of a session: a trickled greeting, a result that stops
// arriving, and a run cancelled in the middle of a result.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "mysql/handshake.h"
#include "mysql/my_connection.h"
#include "mysql/my_row_reader.h"
#include "mysql/my_sql_session.h"
#include "platform/cancel.h"
#include "tests/support/fake_mysql_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using namespace mysql;
using testsupport::CachingSha2Account;
using testsupport::FakeMySqlServer;
namespace w = testsupport::mysqlwire;

namespace {

const std::string kNonce = "n0Nc3-0f-tw3nty-byt!";
const std::string kSwitchNonce = "an0ther-n0nce-20byte";
const std::string kPassword = "Gizli-Şifre1";
using Clock = std::chrono::steady_clock;

const testsupport::RsaKeyPair& test_key() {
  static const testsupport::RsaKeyPair key = testsupport::generate_rsa_key();
  return key;
}

// Runs fn expecting EMyError; returns it.
template <typename Fn>
EMyError expect_error(Fn&& fn) {
  try {
    fn();
  } catch (const EMyError& e) {
    return e;
  }
  ADD_FAILURE() << "no EMyError";
  return EMyError(0, "");
}

void setup(TMyConnection& c, const FakeMySqlServer& s) {
  c.SetServer("127.0.0.1");
  c.SetPort(s.port());
  c.SetUsername("user");
  c.SetPassword(kPassword);
  c.SetDatabase("db");
  c.SetConnectionTimeout(5);
}

std::string nul(const std::string& s) { return s + std::string(1, '\0'); }

}  // namespace

TEST(CachingSha2, BothPathsWrongAndEmptyPasswords) {
  struct Case {
    const char* name;
    bool cached;                  // server side: fast path possible
    std::string server_password;  // the account's password
    std::string client_password;  // what the client logs in with
    bool accepted;
  };
  const std::vector<Case> cases = {
      {"fast path", true, kPassword, kPassword, true},
      {"full path with the RSA key", false, kPassword, kPassword, true},
      {"wrong password, fast path", true, kPassword, "yanlis", false},
      {"wrong password, full path", false, kPassword, "yanlis", false},
      {"empty password", true, "", "", true},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    FakeMySqlServer s;
    s.Send(0, w::greeting_plugin("8.4.0", kNonce, kCachingSha2Plugin))
        .CachingSha2({k.server_password, k.cached, kNonce, test_key(), true});
    s.Start();
    TMySqlSession session;
    session.connect_timeout = 5;
    if (k.accepted) {
      EXPECT_NO_THROW(session.Connect("127.0.0.1", "user", k.client_password, "db", s.port(),
                                      CLIENT_FOUND_ROWS | CLIENT_MULTI_STATEMENTS));
      EXPECT_EQ(session.AuthPlugin(), kCachingSha2Plugin);
      EXPECT_FALSE(session.TlsActive());
      session.Close();
    } else {
      EMyError e = expect_error([&] {
        session.Connect("127.0.0.1", "user", k.client_password, "db", s.port(), 0x10002);
      });
      EXPECT_EQ(e.ErrorCode(), 1045);
      EXPECT_NE(std::string(e.what()).find("#28000Access denied"), std::string::npos);
    }
    s.Wait();
    for (const auto& f : s.failures()) ADD_FAILURE() << f;
    auto r = s.received();
    ASSERT_GE(r.size(), 1u);
    // The login announces plugin authentication and names its plugin.
    const std::string& login = r[0].payload;
    ASSERT_GE(login.size(), 4u);
    const std::uint32_t flags =
        static_cast<unsigned char>(login[0]) | static_cast<unsigned char>(login[1]) << 8 |
        static_cast<unsigned char>(login[2]) << 16 |
        static_cast<std::uint32_t>(static_cast<unsigned char>(login[3])) << 24;
    EXPECT_TRUE(flags & CLIENT_PLUGIN_AUTH);
    EXPECT_FALSE(flags & CLIENT_SSL);
    EXPECT_EQ(login.substr(login.size() - 22), nul("caching_sha2_password"));
    // The password never travels in clear.
    if (!k.client_password.empty()) {
      for (const auto& p : r) EXPECT_EQ(p.payload.find(k.client_password), std::string::npos);
    }
  }
}

TEST(CachingSha2, TlsComesFirstAndCarriesTheFullPathPassword) {
  testsupport::TempDir certs("certs");
  ASSERT_EQ(testsupport::run_shell("openssl req -x509 -newkey rsa:2048 -nodes -keyout " +
                                   certs.file("key.pem") + " -out " + certs.file("cert.pem") +
                                   " -days 2 -subj /CN=127.0.0.1 >/dev/null 2>&1"),
            0);
  FakeMySqlServer s;
  s.Send(0, w::greeting_plugin("8.4.0", kNonce, kCachingSha2Plugin, 0xF7FE | CLIENT_SSL))
      .AcceptTls(certs.file("cert.pem"), certs.file("key.pem"))
      .CachingSha2({kPassword, false, kNonce, test_key(), true});
  s.Start();
  TMySqlSession session;
  session.connect_timeout = 5;
  session.Connect("127.0.0.1", "user", kPassword, "db", s.port(), 0x10002);
  EXPECT_TRUE(session.TlsActive());
  EXPECT_EQ(session.AuthPlugin(), kCachingSha2Plugin);
  session.Close();
  s.Wait();
  for (const auto& f : s.failures()) ADD_FAILURE() << f;
  auto r = s.received();
  ASSERT_GE(r.size(), 3u);
  // The TLS request: 32 bytes, CLIENT_SSL, no user, no scramble.
  EXPECT_EQ(r[0].sequence, 1);
  ASSERT_EQ(r[0].payload.size(), 32u);
  EXPECT_TRUE(static_cast<unsigned char>(r[0].payload[1]) & (CLIENT_SSL >> 8));
  // Then the login and, asked for the full path, the password in clear
  // inside TLS.
  EXPECT_EQ(r[1].sequence, 2);
  EXPECT_EQ(r[2].sequence, 4);
  EXPECT_EQ(r[2].payload, nul(kPassword));
}

TEST(CachingSha2, SwitchFromNativeTakesTheNewNonce) {
  for (bool cached : {true, false}) {
    SCOPED_TRACE(cached ? "fast path after the switch" : "full path after the switch");
    FakeMySqlServer s;
    s.Send(0, w::greeting_plugin("8.0.36", kNonce, kNativePlugin))
        .Expect()
        .Send(2, w::auth_switch(kCachingSha2Plugin, kSwitchNonce))
        .CachingSha2({kPassword, cached, kSwitchNonce, test_key(), false})
        .Expect(std::string(1, '\x03') + "SET NAMES latin5")
        .Send(1, w::ok());
    s.Start();
    {
      TMyConnection c;
      setup(c, s);
      c.Options().SetCharset("latin5");
      c.Connect();
      EXPECT_TRUE(c.Connected());
    }
    s.Wait();
    for (const auto& f : s.failures()) ADD_FAILURE() << f;
    auto r = s.received();
    ASSERT_GE(r.size(), 1u);
    EXPECT_EQ(r[0].payload.substr(r[0].payload.size() - 22), nul("mysql_native_password"));
  }
}

TEST(CachingSha2, UnsupportedMethodsNameThemselvesAndTheRemedy) {
  for (const char* plugin : {"client_ed25519", "auth_gssapi_client", "sha256_password"}) {
    SCOPED_TRACE(plugin);
    FakeMySqlServer s;
    s.Send(0, w::greeting_plugin("5.5.5-10.11.6-MariaDB", kNonce, kNativePlugin))
        .Expect()
        .Send(2, w::auth_switch(plugin, ""));
    s.Start();
    TMyConnection c;
    setup(c, s);
    EMyError e = expect_error([&] { c.Connect(); });
    EXPECT_EQ(e.ErrorCode(), CR_AUTH_PLUGIN_CANNOT_LOAD);
    EXPECT_EQ(std::string(e.what()),
              std::string("The account uses the authentication method '") + plugin +
                  "', which this program does not support; ask the database administrator to "
                  "give the account a mysql_native_password or caching_sha2_password password");
    EXPECT_FALSE(c.Connected());
  }
}

// --- waits ---

TEST(SessionWaits, TrickledGreetingEndsWithinTheConnectionTimeout) {
  FakeMySqlServer s;
  // About 90 bytes at 300 ms each: half a minute unless the bound is total.
  s.Trickle(0, w::greeting41("5.5.5-10.11.19-MariaDB", kNonce), 300);
  s.Start();
  TMyConnection c;
  setup(c, s);
  c.SetConnectionTimeout(2);
  const auto start = Clock::now();
  EMyError e = expect_error([&] { c.Connect(); });
  const auto took = Clock::now() - start;
  EXPECT_EQ(e.ErrorCode(), CR_SERVER_LOST);
  EXPECT_EQ(std::string(e.what()),
            "Timed out after 2 s waiting for the MySQL server at 127.0.0.1:" +
                std::to_string(s.port()) + " during login");
  EXPECT_LT(took, std::chrono::milliseconds(3500));
  EXPECT_GE(took, std::chrono::milliseconds(1900));
  EXPECT_FALSE(c.Connected());
}

class StalledResult : public ::testing::Test {
 protected:
  void SetUp() override {
    s_.Send(0, w::greeting41("5.5.5-10.11.19-MariaDB", kNonce))
        .Expect()
        .Send(2, w::ok())
        .Expect(std::string(1, '\x03') + "SELECT a FROM t")
        .Send(1, w::lenenc(1))
        .Send(2, w::column41("a", 3 /* LONG */, 11))
        .Send(3, w::eof())
        .Send(4, w::row({"1"}))
        .Stall(20000);
    s_.Start();
    setup(c_, s_);
    c_.Connect();
  }
  FakeMySqlServer s_;
  TMyConnection c_;
};

TEST_F(StalledResult, SilenceMidResultFailsAsATimeoutNamingTheServer) {
  c_.SetResultSilenceTimeout(1);
  MyRowReader reader(c_);
  ASSERT_TRUE(reader.Execute("SELECT a FROM t"));
  ASSERT_TRUE(reader.Next());
  EXPECT_EQ(reader.Value(0), "1");
  const auto start = Clock::now();
  EMyError e = expect_error([&] { reader.Next(); });
  const auto took = Clock::now() - start;
  EXPECT_EQ(e.ErrorCode(), CR_SERVER_LOST);
  EXPECT_EQ(std::string(e.what()),
            "Timed out after 1 s waiting for the MySQL server at 127.0.0.1:" +
                std::to_string(s_.port()) + " during query");
  EXPECT_LT(took, std::chrono::milliseconds(2500));
  EXPECT_GE(took, std::chrono::milliseconds(900));
  EXPECT_FALSE(c_.Connected());  // the stream is out of step: the connection is closed
}

TEST_F(StalledResult, CancelEndsTheWaitWithinASlice) {
  platform::CancelToken token;
  platform::CancelScope scope(token);
  MyRowReader reader(c_);
  ASSERT_TRUE(reader.Execute("SELECT a FROM t"));
  ASSERT_TRUE(reader.Next());
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    token.Cancel();
  });
  const auto start = Clock::now();
  EXPECT_THROW(reader.Next(), platform::ECancelled);
  const auto took = Clock::now() - start;
  canceller.join();
  EXPECT_LT(took, std::chrono::milliseconds(300 + 2 * platform::kCancelPollMs + 300));
  EXPECT_FALSE(c_.Connected());
}

// The fake server's side of caching_sha2_password checked against the stock
// client's own plugin, so the fake and this client cannot share a mistake.
TEST(CachingSha2, StockClientLogsInToTheFakeServer) {
  if (testsupport::run_shell("command -v mariadb-admin >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "mariadb-admin is not installed";
  for (bool cached : {true, false}) {
    SCOPED_TRACE(cached ? "fast path" : "full path");
    FakeMySqlServer s;
    s.Send(0, w::greeting_plugin("8.4.0", kNonce, kCachingSha2Plugin))
        .CachingSha2({"stockpw", cached, kNonce, test_key(), true})
        .Expect(std::string(1, '\x0E'))  // COM_PING
        .Send(1, w::ok());
    s.Start();
    const std::string cmd =
        "mariadb-admin --no-defaults --skip-ssl --connect-timeout=5 -h 127.0.0.1 -P " +
        std::to_string(s.port()) + " -u user -pstockpw ping >/dev/null 2>&1";
    EXPECT_EQ(testsupport::run_shell(cmd), 0);
    s.Wait();
    for (const auto& f : s.failures()) ADD_FAILURE() << f;
  }
}
