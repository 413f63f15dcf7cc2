// TMyQuery against a private MariaDB server: walking, default and persistent
// fields, binding errors, conversions of every column type, implicit
// connect.
#include <gtest/gtest.h>

#include <cmath>

#include "mysql/my_query.h"
#include "mysql/value_convert.h"
#include "tests/support/expect_throw.h"
#include "tests/support/mariadb_server.h"

using namespace mysql;
using testsupport::expect_throw;
using testsupport::MariaDbServer;

namespace {

MariaDbServer* g_server = nullptr;

class QueryEnv : public ::testing::Environment {
 public:
  void SetUp() override {
    g_server = new MariaDbServer();
    g_server->Start();
    g_server->Sql(
        "CREATE DATABASE q;"
        "CREATE TABLE q.ayarlar (bulutyedekleme TINYINT, levhano VARCHAR(200));"
        "INSERT INTO q.ayarlar VALUES (1, REPEAT('L', 150));"
        "CREATE TABLE q.empty (t INT);"
        "CREATE TABLE q.kinds (ti1 TINYINT(1), i INT, iu INT UNSIGNED, big BIGINT, bits BIT(5),"
        " tx TEXT, ch CHAR(4), d DATE, y YEAR, su SMALLINT UNSIGNED);"
        "INSERT INTO q.kinds VALUES (1, 1, 1, 1, b'1', 'x', 'a', '2020-01-01', 2020, 1);");
  }
  void TearDown() override { delete g_server; }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new QueryEnv);

class QueryServer : public ::testing::Test {
 protected:
  void SetUp() override {
    c_.SetName("baglanti");
    c_.SetServer(g_server->address());
    c_.SetPort(g_server->port());
    c_.SetUsername(MariaDbServer::kUser);
    c_.SetPassword(MariaDbServer::kPassword);
    c_.SetDatabase("q");
    c_.Options().SetCharset("latin5");
    q_.SetName("q");
    q_.SetConnection(&c_);
  }
  TMyConnection c_;
  TMyQuery q_;
};

}  // namespace

TEST_F(QueryServer, WalksTheTableListWithImplicitConnect) {
  q_.SetSQL(
      "SELECT TABLE_NAME AS t FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_SCHEMA = \"q\"\r\n"
      "ORDER BY 1\r\n\r\n  ");
  EXPECT_FALSE(c_.Connected());
  q_.Open();  // connects first
  EXPECT_TRUE(c_.Connected());
  std::vector<std::string> names;
  for (q_.First(); !q_.Eof(); q_.Next()) names.push_back(q_.FieldByName("T").AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"ayarlar", "empty", "kinds"}));
  // Eof keeps the cursor on the last record.
  EXPECT_EQ(q_.FieldByName("t").AsString(), "kinds");
  q_.First();
  EXPECT_FALSE(q_.Eof());
  EXPECT_EQ(q_.FieldByName("t").AsString(), "ayarlar");
}

TEST_F(QueryServer, EmptyAndOneRowResults) {
  q_.SetSQL("select * from empty");
  q_.Open();
  EXPECT_TRUE(q_.Eof());
  EXPECT_TRUE(q_.FieldByName("t").IsNull());
  EXPECT_EQ(q_.FieldByName("t").AsInteger(), 0);
  q_.SetSQL("select 41 + 1 as n");  // changing SQL closes
  EXPECT_FALSE(q_.Active());
  q_.Open();
  EXPECT_FALSE(q_.Eof());
  q_.Next();
  EXPECT_TRUE(q_.Eof());
  EXPECT_EQ(q_.FieldByName("n").AsInteger(), 42);
  expect_throw<EDatabaseError>([&] { q_.FieldByName("nope"); }, "q: Field 'nope' not found");
  EXPECT_TRUE(q_.Active());
}

TEST_F(QueryServer, PersistentFieldsOfTheSettingsTable) {
  TMyQuery ayarlar;
  ayarlar.SetName("ayarlar");
  ayarlar.SetConnection(&c_);
  ayarlar.SetSQL("select * from ayarlar");
  auto& bulut = ayarlar.AddField<TSmallintField>("bulutyedekleme", "ayarlarbulutyedekleme");
  auto& levha = ayarlar.AddField<TStringField>("levhano", "ayarlarlevhano", 100);
  ayarlar.Open();
  EXPECT_EQ(bulut.AsInteger(), 1);
  EXPECT_EQ(levha.AsString(), std::string(150, 'L'));  // Size 100 does not cut a long value
  EXPECT_EQ(ayarlar.FieldCount(), 2);
  // A second Open without Close keeps the rows of the first.
  g_server->Sql("UPDATE q.ayarlar SET bulutyedekleme = 0");
  ayarlar.Open();
  EXPECT_EQ(bulut.AsInteger(), 1);
  ayarlar.Close();
  ayarlar.Open();
  EXPECT_EQ(bulut.AsInteger(), 0);
  g_server->Sql("UPDATE q.ayarlar SET bulutyedekleme = 1");
}

TEST_F(QueryServer, BindingMessagesNameTheFieldAndTypes) {
  struct Case {
    const char* column;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"ti1", "x: Type mismatch for field 'v', expecting: SmallInt actual: Boolean"},
      {"big", "x: Type mismatch for field 'v', expecting: SmallInt actual: LargeInt"},
      {"iu", "x: Type mismatch for field 'v', expecting: SmallInt actual: LargeInt"},
      {"bits", "x: Type mismatch for field 'v', expecting: SmallInt actual: LargeInt"},
      {"tx", "x: Type mismatch for field 'v', expecting: SmallInt actual: Memo"},
      {"i", ""},
      {"y", ""},
      {"su", ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.column);
    TMyQuery x;
    x.SetName("x");
    x.SetConnection(&c_);
    x.SetSQL(std::string("select ") + k.column + " as v from kinds");
    x.AddField<TSmallintField>("v");
    try {
      x.Open();
      EXPECT_EQ(k.message, "");
      EXPECT_EQ(x.FieldByName("v").AsInteger(), k.column == std::string("y") ? 2020 : 1);
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.what(), k.message);
      EXPECT_FALSE(x.Active());
    }
  }
  // A missing column names the persistent field.
  TMyQuery x;
  x.SetName("ayarlar");
  x.SetConnection(&c_);
  x.SetSQL("select levhano from ayarlar");
  x.AddField<TSmallintField>("bulutyedekleme");
  expect_throw<EDatabaseError>([&] { x.Open(); }, "ayarlar: Field 'bulutyedekleme' not found");
  // The connection is still usable after a binding error.
  q_.SetSQL("select 1 as one");
  q_.Open();
  EXPECT_EQ(q_.FieldByName("one").AsInteger(), 1);
}

TEST_F(QueryServer, SmallintFieldOnIntColumnTakesTheLowBits) {
  // A plain INT column is typed Integer, which a Smallint field accepts; the
  // value keeps only its low 16 bits (65537 = 0x10001).
  g_server->Sql(
      "CREATE TABLE IF NOT EXISTS q.wide (i INT);"
      "DELETE FROM q.wide; INSERT INTO q.wide VALUES (65537);");
  TMyQuery y;
  y.SetConnection(&c_);
  y.SetSQL("select i as v from wide");
  auto& s = y.AddField<TSmallintField>("v");
  y.Open();
  EXPECT_EQ(s.AsInteger(), 1);
}

TEST_F(QueryServer, ConversionsOfEveryColumnType) {
  q_.SetSQL(
      "select CAST(-5 AS SIGNED) + 0 as big, 1.5e-2 as dbl, CAST(1234.5 AS DECIMAL(10,2)) as dec_,"
      " DATE'2024-02-29' as d, TIMESTAMP'2024-02-29 13:14:15.123' as dt,"
      " CAST('-25:30:00' AS TIME) as tm, CAST('0000-00-00' AS DATE) as zero,"
      " b'101' as bits, TRUE as boo, 'metin' as s, NULL as n");
  q_.Open();
  EXPECT_EQ(q_.FieldByName("big").AsInteger(), -5);
  EXPECT_DOUBLE_EQ(q_.FieldByName("dbl").AsFloat(), 0.015);
  EXPECT_DOUBLE_EQ(q_.FieldByName("dec_").AsFloat(), 1234.5);
  EXPECT_EQ(q_.FieldByName("d").AsString(), "29.02.2024");
  EXPECT_DOUBLE_EQ(q_.FieldByName("d").AsDateTime(), *encode_date(2024, 2, 29));
  EXPECT_NEAR(q_.FieldByName("dt").AsDateTime(),
              *encode_date(2024, 2, 29) + *encode_time(13, 14, 15, 123), 1e-9);
  EXPECT_NEAR(q_.FieldByName("tm").AsDateTime(), -(25.5 / 24), 1e-12);
  EXPECT_TRUE(q_.FieldByName("zero").IsNull());
  EXPECT_EQ(q_.FieldByName("s").AsString(), "metin");
  EXPECT_TRUE(q_.FieldByName("n").IsNull());
  EXPECT_EQ(q_.FieldByName("n").AsString(), "");
  EXPECT_EQ(q_.FieldByName("boo").AsInteger(), 1);
  EXPECT_EQ(q_.FieldByName("bits").AsString().size(), 1u);  // BINARY string of one byte

  // The zero date reads as 0001-01-01 when NullForZeroDate is off.
  TMyQuery z;
  z.SetConnection(&c_);
  z.Options.NullForZeroDate = false;
  z.SetSQL("select CAST('0000-00-00' AS DATE) as zero");
  z.Open();
  EXPECT_DOUBLE_EQ(z.FieldByName("zero").AsDateTime(), *encode_date(1, 1, 1));
}

TEST_F(QueryServer, ConnectionErrorsAndMissingConnection) {
  TMyQuery x;
  x.SetName("x");
  x.SetSQL("select 1");
  expect_throw<EDatabaseError>([&] { x.Open(); }, "x: Connection is not defined");
  x.SetConnection(&c_);
  c_.Options().AllowImplicitConnect = false;
  expect_throw<EDatabaseError>([&] { x.Open(); }, "x: Connection is not connected");
  c_.Options().AllowImplicitConnect = true;
  x.SetSQL("select * from no_such_table");
  const auto missing = expect_throw<EMyError>([&] { x.Open(); });
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->ErrorCode(), 1146);
  EXPECT_FALSE(x.Active());
  // Disconnecting closes the datasets.
  q_.SetSQL("select 1 as a");
  q_.Open();
  c_.Disconnect();
  EXPECT_FALSE(q_.Active());
}
