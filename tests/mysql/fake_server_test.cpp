// Exchanges a real server cannot be made to produce, against the scripted
// fake server: old greetings, the 0xFE and 4.1.0 login answers, the
// authentication switch, protocol and sequence errors, broken results,
// LOAD DATA LOCAL requests, dropped and stalled connections, 16 MiB pieces.
#include <gtest/gtest.h>

#include <chrono>

#include "mysql/handshake.h"
#include "mysql/my_connection.h"
#include "mysql/my_query.h"
#include "mysql/my_row_reader.h"
#include "mysql/my_sql_session.h"
#include "mysql/scramble.h"
#include "mysql/value_convert.h"
#include "tests/support/fake_mysql_server.h"

using namespace mysql;
using testsupport::FakeMySqlServer;
namespace w = testsupport::mysqlwire;

namespace {

const std::string kScramble = "ABCDEFGHIJKLMNOPQRST";
const std::string kPassword = "gizli";

std::string bytes(const TSha1Digest& d) {
  return {reinterpret_cast<const char*>(d.data()), d.size()};
}

// The login packet the client must send to a 4.1 greeting with caps 0xF7FE.
std::string expected_login41(const std::string& db = "db") {
  std::string p = w::u32(0x0003A20F) + w::u32(0x40000000) + std::string(1, '\x08') +
                  std::string(23, '\0') + "user" + std::string(1, '\0');
  p += '\x14' + bytes(native_token(kPassword, kScramble));
  p += db + std::string(1, '\0');
  return p;
}

void logged_in(FakeMySqlServer& s) {
  s.Send(0, w::greeting41("5.5.5-10.11.19-MariaDB", kScramble)).Expect().Send(2, w::ok());
}

void setup(TMyConnection& c, const FakeMySqlServer& s) {
  c.SetServer("127.0.0.1");
  c.SetPort(s.port());
  c.SetUsername("user");
  c.SetPassword(kPassword);
  c.SetDatabase("db");
  c.SetConnectionTimeout(2);
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

std::string query(const std::string& sql) { return std::string(1, '\x03') + sql; }

}  // namespace

TEST(FakeServerLogin, NativeLoginPacketAndQuit) {
  FakeMySqlServer s;
  s.Send(0, w::greeting41("5.5.5-10.11.19-MariaDB", kScramble))
      .Expect(expected_login41())
      .Send(2, w::ok())
      .Expect(query("SET NAMES latin5"))
      .Send(1, w::ok());
  s.Start();
  {
    TMyConnection c;
    setup(c, s);
    c.Options().SetCharset("latin5");
    c.Connect();
    EXPECT_EQ(c.ServerVersion(), "5.5.5-10.11.19-MariaDB");
  }
  s.Wait();
  EXPECT_TRUE(s.failures().empty()) << s.failures()[0];
  auto r = s.received();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].sequence, 1);
  EXPECT_EQ(r[2].payload, "\x01");  // COM_QUIT
}

TEST(FakeServerLogin, LoginAnswersThatNeedAnotherRound) {
  struct Case {
    const char* name;
    std::string greeting;
    std::string first_answer;   // server's answer to the login
    std::string client_answer;  // what the client must send back
  };
  const std::string old8 = kScramble.substr(0, 8);
  const std::string new_scramble = "abcdefghijklmnopqrst";
  std::string p24 = std::string("\x01\x02\x03\x04", 4) + new_scramble;
  std::string p24star = "*\x02\x03\x04" + new_scramble;
  const std::string greeting_410 = w::greeting_old("4.1.0-alpha", old8, 0x8000 | 0x200 | 0x8);
  const std::vector<Case> cases = {
      {"single 0xFE gets the old scramble", w::greeting41("5.0.1", kScramble), "\xFE",
       old_scramble(kPassword, old8) + std::string(1, '\0')},
      {"switch to mysql_old_password", w::greeting41("5.0.1", kScramble),
       "\xFEmysql_old_password" + std::string(1, '\0') + new_scramble.substr(0, 8) +
           std::string(1, '\0'),
       old_scramble(kPassword, new_scramble.substr(0, 8)) + std::string(1, '\0')},
      {"switch to mysql_native_password", w::greeting41("8.0.36", kScramble),
       "\xFEmysql_native_password" + std::string(1, '\0') + new_scramble + std::string(1, '\0'),
       bytes(native_token(kPassword, new_scramble))},
      {"4.1.0 exchange", greeting_410, p24, transitional_answer(kPassword, p24)},
      {"4.1.0 exchange with '*'", greeting_410, p24star,
       old_scramble(kPassword, new_scramble) + std::string(1, '\0')},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    FakeMySqlServer s;
    s.Send(0, k.greeting).Expect().Send(2, k.first_answer).Expect(k.client_answer).Send(4, w::ok());
    s.Start();
    TMySqlSession session;
    session.connect_timeout = 2;
    EXPECT_NO_THROW(session.Connect("127.0.0.1", "user", kPassword, "db", s.port(), 0x10002));
    session.Close();
    s.Wait();
    for (auto& f : s.failures()) ADD_FAILURE() << f;
    auto r = s.received();
    ASSERT_GE(r.size(), 2u);
    EXPECT_EQ(r[1].sequence, 3);
  }
}

TEST(FakeServerLogin, PreProtocol41GreetingGetsTheShortLoginPacket) {
  FakeMySqlServer s;
  const std::string old8 = "12345678";
  // A 4.0 server: LONG_FLAG, CONNECT_WITH_DB, no PROTOCOL_41, no SECURE_CONNECTION.
  s.Send(0, w::greeting_old("4.0.27", old8, 0x000C))
      .Expect(w::u16(0xA20F & ~0x200 & 0xFFFF) + std::string(3, '\0') + "user" +
              std::string(1, '\0') + old_scramble(kPassword, old8) + std::string(1, '\0') + "db" +
              std::string(1, '\0'))
      .Send(2, std::string("\0\0\0", 3));
  s.Start();
  {
    TMyConnection c;
    setup(c, s);
    c.Options().SetCharset("latin5");  // no SET NAMES to a server older than 4.1
    c.Connect();
    EXPECT_EQ(c.ServerMajorVersion(), 4);
  }
  s.Wait();
  for (auto& f : s.failures()) ADD_FAILURE() << f;
  auto r = s.received();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[1].payload, "\x01");
}

TEST(FakeServerLogin, EightByteScrambleSendsPlaceholderAndEmptyPasswordOneZero) {
  FakeMySqlServer s;
  s.Send(0, w::greeting_old("4.1.0", "12345678", 0x8000 | 0x200 | 0x8)).Expect().Send(2, w::ok());
  s.Start();
  TMySqlSession session;
  session.Connect("127.0.0.1", "u", "pw", "", s.port(), 0);
  session.Close();
  s.Wait();
  auto r = s.received();
  ASSERT_GE(r.size(), 1u);
  const std::string tail = "u" + std::string(1, '\0') + "xxxxxxxx" + std::string(1, '\0') +
                           std::string(1, '\0');  // placeholder, then the empty database
  EXPECT_EQ(r[0].payload.substr(32), tail);

  FakeMySqlServer s2;
  s2.Send(0, w::greeting41("5.7.1", kScramble)).Expect().Send(2, w::ok());
  s2.Start();
  TMySqlSession empty;
  empty.Connect("127.0.0.1", "u", "", "", s2.port(), 0);
  empty.Close();
  s2.Wait();
  ASSERT_GE(s2.received().size(), 1u);
  EXPECT_EQ(s2.received()[0].payload.substr(32), "u" + std::string(3, '\0'));
}

TEST(FakeServerLogin, FailuresOfTheHandshake) {
  struct Case {
    const char* name;
    std::function<void(FakeMySqlServer&)> script;
    int code;
    std::vector<std::string> message_parts;
  };
  const std::vector<Case> cases = {
      {"protocol mismatch",
       [](FakeMySqlServer& s) {
         s.Send(0,
                "\x09"
                "3.20" +
                    std::string(20, '\0'));
       },
       2007,
       {"Protocol mismatch. Server Version = 9 Client Version = 10"}},
      {"greeting out of order",
       [](FakeMySqlServer& s) { s.Send(1, w::greeting41("5.5.5", kScramble)); },
       1156,
       {"\r\nReceiveHeader: Net packets out of order: received[1], expected[0]"}},
      {"access denied",
       [](FakeMySqlServer& s) {
         s.Send(0, w::greeting41("5.5.5", kScramble))
             .Expect()
             .Send(2, w::err(1045, "28000", "Access denied"));
       },
       1045,
       {"\r\n#28000Access denied"}},
      {"answer that is not OK",
       [](FakeMySqlServer& s) {
         s.Send(0, w::greeting41("8.0.36", kScramble)).Expect().Send(2, "\x01\x04");
       },
       2012,
       {"not an OK packet"}},
      {"dropped during login",
       [](FakeMySqlServer& s) { s.Send(0, w::greeting41("5.5.5", kScramble)).Expect().Drop(); },
       2013,
       {"Lost connection to MySQL server during query"}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    FakeMySqlServer s;
    k.script(s);
    s.Start();
    TMyConnection c;
    setup(c, s);
    EMyError e = expect_error([&] { c.Connect(); });
    EXPECT_EQ(e.ErrorCode(), k.code);
    for (const auto& part : k.message_parts)
      EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    EXPECT_FALSE(c.Connected());
  }
}

TEST(FakeServerLogin, SilentServerFailsAfterTheConnectionTimeout) {
  FakeMySqlServer s;
  s.Stall(5000);
  s.Start();
  TMyConnection c;
  setup(c, s);
  c.SetConnectionTimeout(1);
  auto start = std::chrono::steady_clock::now();
  EMyError e = expect_error([&] { c.Connect(); });
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(e.ErrorCode(), 2013);
  EXPECT_EQ(std::string(e.what()),
            "Timed out after 1 s waiting for the MySQL server at 127.0.0.1:" +
                std::to_string(s.port()) + " during login");
  EXPECT_LT(took, std::chrono::milliseconds(3000));
  EXPECT_GE(took, std::chrono::milliseconds(900));
}

// --- results ---

class FakeServerResult : public ::testing::Test {
 protected:
  void Connect() {
    s_.Start();
    setup(c_, s_);
    c_.Connect();
  }
  // A statement answered with "SELECT 1" so tests can show the connection
  // still works.
  void ThenWorks() {
    s_.Expect(query("SELECT 1"))
        .Send(1, w::lenenc(1))
        .Send(2, w::column41("1", MYSQL_TYPE_LONGLONG, 1))
        .Send(3, w::eof())
        .Send(4, w::row({"1"}))
        .Send(5, w::eof());
  }
  void CheckWorks() {
    MyRowReader r(c_);
    ASSERT_TRUE(r.Execute("SELECT 1"));
    ASSERT_TRUE(r.Next());
    EXPECT_EQ(r.Value(0), "1");
    EXPECT_FALSE(r.Next());
  }
  FakeMySqlServer s_;
  TMyConnection c_;
};

TEST_F(FakeServerResult, ColumnCountMismatchFailsWith2000) {
  logged_in(s_);
  s_.Expect()
      .Send(1, w::lenenc(2))
      .Send(2, w::column41("a", MYSQL_TYPE_LONG, 11))
      .Send(3, w::eof())
      .Send(4, w::row({"1"}))
      .Send(5, w::eof());
  ThenWorks();
  Connect();
  MyRowReader r(c_);
  EMyError e = expect_error([&] { r.Execute("SELECT a"); });
  EXPECT_EQ(e.ErrorCode(), 2000);
  EXPECT_STREQ(e.what(), "Unknown MySQL error");
  CheckWorks();
}

TEST_F(FakeServerResult, UnknownTypeCodeFailsWithItsNumber) {
  logged_in(s_);
  s_.Expect()
      .Send(1, w::lenenc(1))
      .Send(2, w::column41("j", 245, 100))
      .Send(3, w::eof())
      .Send(4, w::row({"{}"}))
      .Send(5, w::eof());
  ThenWorks();
  Connect();
  TMyQuery q;
  q.SetConnection(&c_);
  q.SetSQL("SELECT j");
  EMyError e = expect_error([&] { q.Open(); });
  EXPECT_STREQ(e.what(), "Unknown MySQL datatype (245)");
  EXPECT_FALSE(q.Active());
  CheckWorks();
}

TEST_F(FakeServerResult, OldTimestampLengthsAndPre41Columns) {
  // A 4.0 server: pre-4.1 column definitions, TIMESTAMP(14) and (8) texts.
  s_.Send(0, w::greeting_old("4.0.27", "12345678", 0x000C | 0x2000)).Expect().Send(2, w::ok());
  s_.Expect()
      .Send(1, w::lenenc(3))
      .Send(2, w::column_old("ts14", MYSQL_TYPE_TIMESTAMP, 14))
      .Send(3, w::column_old("ts8", MYSQL_TYPE_TIMESTAMP, 8))
      .Send(4, w::column_old("ts12", MYSQL_TYPE_TIMESTAMP, 12))
      .Send(5, w::eof())
      .Send(6, w::row({"20240229131415", "19991231", "691231235959"}))
      .Send(7, w::eof());
  Connect();
  TMyQuery q;
  q.SetConnection(&c_);
  q.SetSQL("SELECT * FROM t");
  q.Open();
  EXPECT_NEAR(q.FieldByName("ts14").AsDateTime(),
              *encode_date(2024, 2, 29) + *encode_time(13, 14, 15, 0), 1e-9);
  EXPECT_DOUBLE_EQ(q.FieldByName("ts8").AsDateTime(), *encode_date(1999, 12, 31));
  EXPECT_NEAR(q.FieldByName("ts12").AsDateTime(),
              *encode_date(2069, 12, 31) + *encode_time(23, 59, 59, 0), 1e-9);
  EXPECT_TRUE(q.Columns()[0].flags & NUM_FLAG);
}

TEST_F(FakeServerResult, ErrAfterSomeRowsLeavesTheConnectionReady) {
  logged_in(s_);
  s_.Expect()
      .Send(1, w::lenenc(1))
      .Send(2, w::column41("a", MYSQL_TYPE_VAR_STRING, 40))
      .Send(3, w::eof())
      .Send(4, w::row({"x"}))
      .Send(5, w::row({std::nullopt}))
      .Send(6, w::err(1317, "70100", "Query execution was interrupted"));
  ThenWorks();
  Connect();
  MyRowReader r(c_);
  ASSERT_TRUE(r.Execute("SELECT a"));
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.Value(0), "x");
  ASSERT_TRUE(r.Next());
  EXPECT_TRUE(r.IsNull(0));
  EMyError e = expect_error([&] { r.Next(); });
  EXPECT_EQ(e.ErrorCode(), 1317);
  EXPECT_STREQ(e.what(), "\r\n#70100Query execution was interrupted");
  EXPECT_EQ(c_.Session().State(), TSessionState::Ready);
  CheckWorks();
}

TEST_F(FakeServerResult, LocalFileRequestIsRefusedWithoutSendingAnything) {
  logged_in(s_);
  s_.Expect(query("SELECT TABLE_NAME AS t FROM x"))
      .Send(1, "\xFB/etc/passwd")
      .Expect(std::string())  // the empty packet that ends a transfer, nothing else
      .Send(3, w::ok());
  ThenWorks();
  Connect();
  TMyQuery q;
  q.SetConnection(&c_);
  q.SetSQL("SELECT TABLE_NAME AS t FROM x");
  EMyError e = expect_error([&] { q.Open(); });
  EXPECT_NE(std::string(e.what()).find("/etc/passwd"), std::string::npos);
  EXPECT_NE(std::string(e.what()).find("refused"), std::string::npos);
  CheckWorks();
  c_.Disconnect();
  s_.Wait();
  for (auto& f : s_.failures()) ADD_FAILURE() << f;
  auto r = s_.received();
  ASSERT_GE(r.size(), 3u);
  EXPECT_EQ(r[2].sequence, 2);
  EXPECT_EQ(r[2].payload, "");
  EXPECT_EQ(r[3].payload, query("SELECT 1"));
}

TEST_F(FakeServerResult, DroppedMidResultIsLost2013) {
  logged_in(s_);
  s_.Expect()
      .Send(1, w::lenenc(1))
      .Send(2, w::column41("a", MYSQL_TYPE_LONG, 11))
      .Send(3, w::eof())
      .Send(4, w::row({"1"}))
      .Drop();
  Connect();
  MyRowReader r(c_);
  ASSERT_TRUE(r.Execute("SELECT a"));
  ASSERT_TRUE(r.Next());
  EMyError e = expect_error([&] { r.Next(); });
  EXPECT_EQ(e.ErrorCode(), 2013);
  EXPECT_STREQ(e.what(), "Lost connection to MySQL server during query");
  EXPECT_FALSE(c_.Connected());
}

TEST_F(FakeServerResult, SixteenMegabytePiecesAreJoinedAndSplit) {
  const std::string big(0xFFFFFF + 10, 'v');
  // Query of exactly one full piece (command byte + 0xFFFFFE): the client
  // must follow it with an empty packet.
  const std::string sql(0xFFFFFE, 's');
  logged_in(s_);
  s_.Expect(query(sql))
      .Send(2, w::lenenc(1))  // sequence continues after the two pieces
      .Send(3, w::column41("a", MYSQL_TYPE_LONG_BLOB, 0xFFFFFFFF))
      .Send(4, w::eof())
      .SendRaw(FakeMySqlServer::Packet(5, w::row({big})))  // two pieces: 5 and 6
      .Send(7, w::eof());
  Connect();
  MyRowReader r(c_);
  ASSERT_TRUE(r.Execute(sql));
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.Value(0).size(), big.size());
  EXPECT_EQ(r.Value(0), big);
  EXPECT_FALSE(r.Next());
  for (auto& f : s_.failures()) ADD_FAILURE() << f;
}

TEST(FakeServerPacket, LogicalPacketAboveTheMaximumFailsWith2020) {
  FakeMySqlServer s;
  logged_in(s);
  // Pieces announced by their headers; the third would pass the limit.
  const std::string piece(0xFFFFFF, 'p');
  auto header = [](std::uint8_t seq) {
    return std::string("\xFF\xFF\xFF", 3) + static_cast<char>(seq);
  };
  s.Expect().SendRaw(header(1) + piece).SendRaw(header(2) + piece).SendRaw(header(3));
  s.Start();
  TMySqlSession session;
  session.Connect("127.0.0.1", "user", kPassword, "db", s.port(), 0);
  session.SetMaxPacket(0x1000000 + 0xFFFFFF);  // stands in for 0x40000000
  EMyError e = expect_error([&] { session.Query("SELECT x"); });
  EXPECT_EQ(e.ErrorCode(), 2020);
  EXPECT_STREQ(e.what(), "Got packet bigger than 'max_allowed_packet'");
  EXPECT_FALSE(session.IsOpen());
}
