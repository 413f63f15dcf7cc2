// The connection and the row reader against a private MariaDB server:
// login, SET NAMES, errors of the connect road, COM_INIT_DB, COM_QUIT, the
// forward reader on every column type, errors mid-result.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "mysql/consistent_snapshot.h"
#include "mysql/my_connection.h"
#include "mysql/my_row_reader.h"
#include "mysql/my_sql_session.h"
#include "tests/support/expect_throw.h"
#include "tests/support/mariadb_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using namespace mysql;
using testsupport::MariaDbServer;

namespace {

MariaDbServer* g_server = nullptr;

class ServerEnv : public ::testing::Environment {
 public:
  void SetUp() override {
    g_server = new MariaDbServer();
    g_server->Start("127.0.0.1", 0,
                    {"--general-log=1", "--general-log-file=" + g_server->general_log_path()});
    g_server->Sql(
        "CREATE DATABASE IF NOT EXISTS yd; CREATE DATABASE IF NOT EXISTS yd2;"
        "CREATE USER IF NOT EXISTS 'nopw'@'%' IDENTIFIED VIA mysql_native_password "
        "USING PASSWORD(''); GRANT ALL ON *.* TO 'nopw'@'%';");
  }
  void TearDown() override {
    delete g_server;
    g_server = nullptr;
  }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new ServerEnv);

void configure(TMyConnection& c, const std::string& db = "yd") {
  c.SetName("baglanti");
  c.SetServer(g_server->address());
  c.SetPort(g_server->port());
  c.SetUsername(MariaDbServer::kUser);
  c.SetPassword(MariaDbServer::kPassword);
  c.SetDatabase(db);
  c.Options().SetCharset("latin5");
}

std::string general_log() { return testsupport::read_all(g_server->general_log_path()); }

// "Command\targument" entries of the general log for one connection thread.
std::vector<std::string> log_of(std::uint32_t thread_id) {
  std::vector<std::string> out;
  std::istringstream in(general_log());
  std::string line;
  const std::regex entry(R"(^(?:[^\t]*)\t\s*(\d+) (\w+)\t(.*)$)");
  std::smatch m;
  while (std::getline(in, line))
    if (std::regex_match(line, m, entry) && m[1] == std::to_string(thread_id))
      out.push_back(m[2].str() + "\t" + m[3].str());
  return out;
}

}  // namespace

TEST(ConnectionServer, LoginSendsSetNamesAndQuitInOrder) {
  std::uint32_t thread_id = 0;
  {
    TMyConnection c;
    configure(c);
    c.Connect();
    ASSERT_TRUE(c.Connected());
    EXPECT_EQ(c.ServerMajorVersion(), 5);
    EXPECT_EQ(c.ServerMinorVersion(), 5);
    EXPECT_EQ(c.ServerReleaseVersion(), 5);
    EXPECT_NE(c.ServerVersion().find("MariaDB"), std::string::npos);
    EXPECT_STREQ(TMyConnection::ClientVersion(), "8.0.0 Direct");
    EXPECT_TRUE(c.BackslashEscapes());
    thread_id = c.Session().ThreadId();
    // The session character set is latin5 after the login.
    MyRowReader r(c);
    ASSERT_TRUE(r.Execute("SELECT @@character_set_client, DATABASE()"));
    ASSERT_TRUE(r.Next());
    EXPECT_EQ(r.Value(0), "latin5");
    EXPECT_EQ(r.Value(1), "yd");
    EXPECT_FALSE(r.Next());
  }  // destructor disconnects with COM_QUIT
  std::vector<std::string> log;
  for (int i = 0; i < 50; ++i) {
    log = log_of(thread_id);
    if (!log.empty() && log.back().rfind("Quit", 0) == 0) break;
    usleep(20000);
  }
  ASSERT_GE(log.size(), 4u) << general_log();
  EXPECT_EQ(log[0].rfind("Connect", 0), 0u);
  EXPECT_NE(log[0].find("yedek@"), std::string::npos);
  EXPECT_NE(log[0].find(" on yd"), std::string::npos);
  EXPECT_NE(log[1].find("SET NAMES latin5"), std::string::npos) << log[1];
  EXPECT_EQ(log.back().rfind("Quit", 0), 0u);
}

TEST(ConnectionServer, LoginErrorsCarryCodeAndMessage) {
  struct Case {
    const char* name;
    std::function<void(TMyConnection&)> setup;
    int code;
    std::string message_start;
  };
  const int free_port = testsupport::free_tcp_port();
  const std::vector<Case> cases = {
      {"wrong password", [](TMyConnection& c) { c.SetPassword("wrong"); }, 1045, "\r\n#28000"},
      {"unknown database", [](TMyConnection& c) { c.SetDatabase("nosuchdb"); }, 1049, "\r\n#42000"},
      {"nothing listening", [&](TMyConnection& c) { c.SetPort(free_port); }, 2003,
       "Cannot connect to server on host '127.0.0.1':\r\n"},
      {"unknown host", [](TMyConnection& c) { c.SetServer("no-such-host.invalid"); }, 2003,
       "Unknown host 'no-such-host.invalid'.\r\nSocket Error Code: "},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    TMyConnection c;
    configure(c);
    k.setup(c);
    try {
      c.Connect();
      ADD_FAILURE() << "connected";
    } catch (const EMyError& e) {
      EXPECT_EQ(e.ErrorCode(), k.code);
      EXPECT_EQ(std::string(e.what()).substr(0, k.message_start.size()), k.message_start)
          << e.what();
    }
    EXPECT_FALSE(c.Connected());
    // The component stays usable: the right settings connect.
    configure(c);
    c.SetServer(g_server->address());
    c.SetPort(g_server->port());
    c.SetPassword(MariaDbServer::kPassword);
    c.SetDatabase("yd");
    EXPECT_NO_THROW(c.Connect());
  }
}

TEST(ConnectionServer, EmptyPasswordAndCommaServerAndEmptyDatabase) {
  TMyConnection c;
  configure(c, "");
  c.SetServer(g_server->address() + ",ignored part");
  c.SetUsername("nopw");
  c.SetPassword("");
  c.Connect();
  MyRowReader r(c);
  ASSERT_TRUE(r.Execute("SELECT DATABASE(), CURRENT_USER()"));
  ASSERT_TRUE(r.Next());
  EXPECT_TRUE(r.IsNull(0));
  EXPECT_EQ(r.Value(1).substr(0, 5), "nopw@");
}

TEST(ConnectionServer, SetDatabaseOnOpenConnectionSelectsIt) {
  TMyConnection c;
  configure(c);
  c.Connect();
  c.SetDatabase("yd2");
  MyRowReader r(c);
  ASSERT_TRUE(r.Execute("SELECT DATABASE()"));
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.Value(0), "yd2");
  r.Close();
  c.SetDatabase("");  // sends nothing, keeps the server's selection
  ASSERT_TRUE(r.Execute("SELECT DATABASE()"));
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.Value(0), "yd2");
  r.Close();
  // An unknown database fails with the server's error and keeps the old one.
  try {
    c.SetDatabase("nosuchdb");
    ADD_FAILURE();
  } catch (const EMyError& e) {
    EXPECT_EQ(e.ErrorCode(), 1049);
  }
  EXPECT_TRUE(c.Connected());
  EXPECT_EQ(c.Database(), "");
}

TEST(ConnectionServer, OptionsLockedWhileOpen) {
  TMyConnection c;
  configure(c);
  c.Connect();
  try {
    c.Options().SetCharset("utf8");
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "baglanti: Cannot perform this operation on an open connection");
  }
  EXPECT_THROW(c.Options().SetUseUnicode(true), EDatabaseError);
  EXPECT_NO_THROW(c.Options().SetCharset("latin5"));  // same value: nothing to change
  c.SetUseUnicodeInternal(true);                      // the dump's switch bypasses the check
  EXPECT_TRUE(c.Options().UseUnicode());
  c.SetUseUnicodeInternal(false);
  // Changing the server disconnects first.
  c.SetServer("localhost");
  EXPECT_FALSE(c.Connected());
  EXPECT_NO_THROW(c.Options().SetCharset("utf8"));
}

TEST(ConnectionServer, Utf8CharsetAndBackslashCheckAndIsolation) {
  TMyConnection c;
  configure(c);
  c.Options().SetCharset("UTF8");
  c.Options().CheckBackslashes = true;
  c.SetIsolationLevel(ilSerializable);
  c.Connect();
  MyRowReader r(c);
  ASSERT_TRUE(r.Execute("SELECT @@character_set_client, @@session.tx_isolation"));
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.Value(0), "utf8mb3");
  EXPECT_EQ(r.Value(1), "SERIALIZABLE");
  EXPECT_TRUE(c.BackslashEscapes());
  r.Close();
  c.Disconnect();
  g_server->Sql("SET GLOBAL sql_mode = CONCAT(@@GLOBAL.sql_mode, ',NO_BACKSLASH_ESCAPES')");
  c.Connect();
  g_server->Sql("SET GLOBAL sql_mode = DEFAULT");
  EXPECT_FALSE(c.BackslashEscapes());
}

TEST(ConnectionServer, DestroyListenersRunOnce) {
  int calls = 0;
  auto c = std::make_unique<TMyConnection>();
  int keep = c->AddDestroyListener([&] { ++calls; });
  int gone = c->AddDestroyListener([&] { calls += 100; });
  c->RemoveDestroyListener(gone);
  (void)keep;
  c.reset();
  EXPECT_EQ(calls, 1);
}

// --- snapshot transaction ---

TEST(SnapshotStatements, ConsistentSnapshotFrom418OnPlainBeginBefore) {
  const std::string kIsolation = "SET TRANSACTION ISOLATION LEVEL REPEATABLE READ";
  struct Case {
    int major, minor, release;
    const char* start;
  };
  const Case cases[] = {
      {3, 23, 58, "BEGIN"},
      {4, 0, 30, "BEGIN"},
      {4, 1, 7, "BEGIN"},
      {4, 1, 8, "START TRANSACTION WITH CONSISTENT SNAPSHOT"},
      {5, 0, 0, "START TRANSACTION WITH CONSISTENT SNAPSHOT"},
      {5, 5, 5, "START TRANSACTION WITH CONSISTENT SNAPSHOT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) + "." +
                 std::to_string(c.release));
    EXPECT_EQ(snapshot_start_statements(c.major, c.minor, c.release),
              (std::vector<std::string>{kIsolation, c.start}));
  }
}

// Open InnoDB transactions of a server session. The server refreshes that
// list only when it was last read more than 0.1 s ago.
static int open_transactions(std::uint32_t thread_id) {
  usleep(150000);
  return std::stoi(g_server->Sql(
      "SELECT COUNT(*) FROM information_schema.INNODB_TRX WHERE trx_mysql_thread_id = " +
      std::to_string(thread_id)));
}
// True once the server lists no transaction of the session (a closed
// connection is cleaned up a moment later); false after 5 s.
static bool transaction_gone(std::uint32_t thread_id) {
  for (int i = 0; i < 33; ++i) {
    if (open_transactions(thread_id) == 0) return true;
  }
  return false;
}

TEST(ConnectionServer, SnapshotEndsWithRollbackAndRefusesOneThatDidNotLast) {
  g_server->Sql(
      "DROP TABLE IF EXISTS yd.snap, yd.snap2; CREATE TABLE yd.snap (x INT) ENGINE=InnoDB;");
  struct Case {
    const char* name;
    std::function<void(TMyConnection&)> meanwhile;  // between the start and End
    const char* refusal;                            // what End raises; empty: nothing
  };
  const char* const kEnded =
      "The backup's transaction ended before the last table was read, so the tables were not "
      "read in one consistent snapshot";
  const Case cases[] = {
      {"reads only", [](TMyConnection& c) { c.ExecSQL("SELECT * FROM snap"); }, ""},
      {"a COMMIT", [](TMyConnection& c) { c.ExecSQL("COMMIT"); }, kEnded},
      {"a statement that commits implicitly",
       [](TMyConnection& c) { c.ExecSQL("CREATE OR REPLACE TABLE snap2 (x INT)"); }, kEnded},
      {"the connection made anew",
       [](TMyConnection& c) {
         c.Disconnect();
         c.Connect();
       },
       "The connection to the MySQL server was made anew during the backup, so the tables were "
       "not read in one consistent snapshot"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    TMyConnection c;
    configure(c);
    c.Connect();
    ConsistentSnapshot snapshot(c);
    const std::uint32_t started_on = c.Session().ThreadId();
    // A row committed by another session after the start stays unseen.
    g_server->Sql("INSERT INTO yd.snap VALUES (1)");
    k.meanwhile(c);
    if (*k.refusal) {
      testsupport::expect_throw<ESnapshotBroken>([&] { snapshot.End(); }, k.refusal);
    } else {
      MyRowReader r(c);
      ASSERT_TRUE(r.Execute("SELECT COUNT(*) FROM snap"));
      ASSERT_TRUE(r.Next());
      EXPECT_EQ(r.Value(0), "0");
      r.Close();
      EXPECT_EQ(open_transactions(started_on), 1);
      snapshot.End();
    }
    EXPECT_TRUE(transaction_gone(started_on));
    g_server->Sql("DELETE FROM yd.snap");
  }
  g_server->Sql("DROP TABLE yd.snap, yd.snap2");
}

// --- forward reader ---

class RowReaderServer : public ::testing::Test {
 protected:
  void SetUp() override {
    configure(c_);
    c_.Connect();
  }
  TMyConnection c_;
};

TEST_F(RowReaderServer, ValuesArriveAsTheServersText) {
  g_server->Sql(
      "DROP TABLE IF EXISTS types; CREATE TABLE types ("
      "i INT, u INT UNSIGNED, b BIGINT, t1 TINYINT(1), d DECIMAL(12,2), f DOUBLE,"
      "dt DATETIME, da DATE, ti TIME, ts TIMESTAMP NULL, y YEAR, bits BIT(10),"
      "vc VARCHAR(40), ch CHAR(3), tx TEXT, bl BLOB, vb VARBINARY(8), e ENUM('a','b'), n INT)"
      " DEFAULT CHARSET=latin5;"
      "INSERT INTO types VALUES (-5, 4000000000, -9000000000000000000, 1, 1234.50, 1.5e-2,"
      "'2024-02-29 13:14:15', '0000-00-00', '-838:59:59', '2001-02-03 04:05:06', 2024, "
      "b'1000000001',"
      "'it''s\\\\', 'ab', '\xFE', x'00FF0A', x'', 'b', NULL)",
      "yd");
  MyRowReader r(c_);
  ASSERT_TRUE(r.Execute("SELECT * FROM types"));
  ASSERT_EQ(r.ColumnCount(), 19u);
  const auto& cols = r.Columns();
  EXPECT_EQ(cols[0].name, "i");
  EXPECT_EQ(cols[0].table, "types");
  EXPECT_EQ(cols[0].type, MYSQL_TYPE_LONG);
  EXPECT_EQ(cols[4].type, MYSQL_TYPE_NEWDECIMAL);
  EXPECT_EQ(cols[4].decimals, 2);
  EXPECT_EQ(cols[13].type, MYSQL_TYPE_STRING);
  EXPECT_EQ(cols[15].charset, kBinaryCharset);
  EXPECT_TRUE(cols[15].flags & BINARY_FLAG);
  EXPECT_EQ(cols[15].DataType(), ftBlob);
  EXPECT_EQ(cols[14].DataType(), ftMemo);
  ASSERT_TRUE(r.Next());
  const std::vector<std::string> expected = {"-5",
                                             "4000000000",
                                             "-9000000000000000000",
                                             "1",
                                             "1234.50",
                                             "0.015",
                                             "2024-02-29 13:14:15",
                                             "0000-00-00",
                                             "-838:59:59",
                                             "2001-02-03 04:05:06",
                                             "2024",
                                             std::string("\x02\x01", 2),
                                             "it's\\",
                                             "ab",
                                             "\xFE",
                                             std::string("\x00\xFF\x0A", 3),
                                             "",
                                             "b"};
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(cols[i].name);
    EXPECT_FALSE(r.IsNull(i));
    EXPECT_EQ(r.Value(i), expected[i]);
  }
  EXPECT_TRUE(r.IsNull(18));
  EXPECT_FALSE(r.Next());
  EXPECT_FALSE(r.Next());
}

TEST_F(RowReaderServer, CloseDrainsAnUnfinishedResult) {
  MyRowReader r(c_);
  ASSERT_TRUE(r.Execute("SELECT seq FROM seq_1_to_10000"));
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.Value(0), "1");
  r.Close();
  // The next statement on the same connection works.
  ASSERT_TRUE(r.Execute("SELECT 7"));
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.Value(0), "7");
  // A new Execute closes the pending result by itself.
  ASSERT_TRUE(r.Execute("SELECT seq FROM seq_1_to_100"));
  ASSERT_TRUE(r.Next());
  EXPECT_FALSE(r.Execute("DO 1"));
}

TEST_F(RowReaderServer, ServerErrorsLeaveTheConnectionUsable) {
  MyRowReader r(c_);
  try {
    r.Execute("SELEC 1");
    ADD_FAILURE();
  } catch (const EMyError& e) {
    EXPECT_EQ(e.ErrorCode(), 1064);
    EXPECT_EQ(std::string(e.what()).substr(0, 8), "\r\n#42000");
    EXPECT_EQ(e.LineNumber(), 1);
  }
  // An error after some rows: 1242 (subquery returns more than one row)
  // arrives in place of a row.
  ASSERT_TRUE(r.Execute("SELECT seq, IF(seq < 3, seq, (SELECT 1 UNION SELECT 2)) FROM seq_1_to_5"));
  int rows = 0;
  try {
    while (r.Next()) ++rows;
    ADD_FAILURE() << "no error";
  } catch (const EMyError& e) {
    EXPECT_EQ(e.ErrorCode(), 1242);
  }
  EXPECT_GT(rows, 0);
  EXPECT_TRUE(c_.Connected());
  ASSERT_TRUE(r.Execute("SELECT 1"));
  ASSERT_TRUE(r.Next());
}

TEST_F(RowReaderServer, MultiStatementResultsAfterTheFirstAreDropped) {
  MyRowReader r(c_);
  ASSERT_TRUE(r.Execute("SELECT 1; SELECT 2; DO 3"));
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.Value(0), "1");
  EXPECT_FALSE(r.Next());
  ASSERT_TRUE(r.Execute("SELECT 4"));
  ASSERT_TRUE(r.Next());
  EXPECT_EQ(r.Value(0), "4");
}

TEST_F(RowReaderServer, KilledConnectionGives2013AndIsMarkedLost) {
  MyRowReader r(c_);
  const auto id = c_.Session().ThreadId();
  ASSERT_TRUE(r.Execute("SELECT seq, REPEAT('x', 200) FROM seq_1_to_2000000"));
  ASSERT_TRUE(r.Next());
  g_server->Sql("KILL " + std::to_string(id));
  try {
    while (r.Next()) {
    }
    ADD_FAILURE() << "no error";
  } catch (const EMyError& e) {
    // The server may report the kill (1927) before it closes; either way
    // the statement fails. A closed socket is 2013.
    EXPECT_TRUE(e.ErrorCode() == 2013 || e.ErrorCode() == 1927) << e.ErrorCode() << e.what();
  }
  // The connection is marked lost; the next statement connects again.
  EXPECT_FALSE(c_.Connected());
  ASSERT_TRUE(r.Execute("SELECT 1"));
  EXPECT_TRUE(c_.Connected());
}

TEST_F(RowReaderServer, LongValuesSpanningPacketsAreJoined) {
  // A value of 17 MB makes a row packet longer than one 16 MiB piece.
  MyRowReader r(c_);
  ASSERT_TRUE(r.Execute("SELECT REPEAT('ab', 8500000), 'tail'"));
  ASSERT_TRUE(r.Next());
  ASSERT_EQ(r.Value(0).size(), 17000000u);
  EXPECT_EQ(r.Value(0).substr(16999998), "ab");
  EXPECT_EQ(r.Value(1), "tail");
  EXPECT_FALSE(r.Next());
}
