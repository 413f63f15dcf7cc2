// TMyDump against the private MariaDB: the worked example line by line, the
// frame with the connection's character-set settings, the component's own
// rules (no connection, Unicode restore, sinks) and statement splitting.
#include <gtest/gtest.h>

#include <algorithm>

#include "dump/my_dump.h"
#include "mysql/my_error.h"
#include "mysql/my_row_reader.h"
#include "tests/dump/expected_frame.h"
#include "tests/dump/server_fixture.h"
#include "tests/support/process.h"

using namespace dump;
using namespace dumptest;
using platform::LineList;

namespace {

// The server's CREATE text of a table, as lines (read with the client's raw
// output so that its line breaks survive).
LineList create_lines(const std::string& db, const std::string& table) {
  std::string out = testsupport::shell_output(
      server().ClientCommand() + " --batch --raw --skip-column-names " + db + " -e " +
      testsupport::shell_quote("SHOW CREATE TABLE `" + table + "`"));
  out = out.substr(out.find('\t') + 1);
  LineList lines = platform::split_lines(out);
  lines.back() += ';';
  return lines;
}

class RecordingSink : public LineSink {
 public:
  void Emit(std::string_view line) override { lines.emplace_back(line); }
  LineList lines;
};

class MyDumpServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server().Sql(
        "CREATE DATABASE ornek DEFAULT CHARACTER SET latin5;"
        "CREATE TABLE ornek.musteri (id INT, ad VARCHAR(20));"
        "INSERT INTO ornek.musteri VALUES (1, 'Ankara'), (2, NULL);"
        "CREATE TABLE ornek.bos (a INT);"
        "CREATE VIEW ornek.`gor u` AS SELECT id FROM ornek.musteri;");
  }
};

}  // namespace

TEST_F(MyDumpServer, WorkedExampleMusteri) {
  auto conn = connect("ornek");
  TMyDump d("MyDump");
  app_settings(d);
  d.SetConnection(conn.get());
  d.SetTableNames("musteri");
  d.Backup();
  LineList expected = kOpen;
  for (auto& l : create_lines("ornek", "musteri")) expected.push_back(l);
  for (const char* l : {"", "LOCK TABLES musteri WRITE;", "INSERT INTO musteri(id, ad) VALUES",
                        " (1,'Ankara'),", " (2,NULL);", "UNLOCK TABLES;", ""}) {
    expected.push_back(l);
  }
  expected.insert(expected.end(), kClose.begin(), kClose.end());
  EXPECT_EQ(d.SQL(), expected);

  // A sink of the caller's sees the same lines; SQL then stays empty. The
  // progress event names the component and ends at 100 percent.
  RecordingSink sink;
  std::vector<int> percents;
  d.OnBackupProgress = [&](TDbDump& sender, const std::string& name, int num, int count,
                           int percent) {
    EXPECT_EQ(&sender, &d);
    EXPECT_EQ(name, "musteri");
    EXPECT_EQ(num, 0);
    EXPECT_EQ(count, 1);
    percents.push_back(percent);
  };
  d.Backup(&sink);
  d.OnBackupProgress = nullptr;
  EXPECT_EQ(percents, (std::vector<int>{0, 50, 100}));
  EXPECT_EQ(sink.lines, expected);
  EXPECT_TRUE(d.SQL().empty());

  // The empty table: its CREATE lines and one empty line, no data lines.
  d.SetTableNames("bos");
  d.Backup();
  LineList empty = kOpen;
  for (auto& l : create_lines("ornek", "bos")) empty.push_back(l);
  empty.push_back("");
  empty.insert(empty.end(), kClose.begin(), kClose.end());
  EXPECT_EQ(d.SQL(), empty);

  // A view with views not requested: nothing between the frames.
  d.SetTableNames("`gor u`");
  d.Backup();
  LineList frames = kOpen;
  frames.insert(frames.end(), kClose.begin(), kClose.end());
  EXPECT_EQ(d.SQL(), frames);
  // Requested, it is recognised as a view and written with its quoted name:
  // its stand-in table first, then the view.
  d.SetObjects({TMyDumpObject::doViews});
  d.Options().AddDrop = true;
  d.Backup();
  ASSERT_GT(d.SQL().size(), 10u);
  EXPECT_EQ(d.SQL()[8], "DROP TABLE IF EXISTS `gor u`;");
  EXPECT_EQ(d.SQL()[10].rfind("CREATE TABLE `gor u` (", 0), 0u) << d.SQL()[10];
  EXPECT_TRUE(std::any_of(d.SQL().begin() + 11, d.SQL().end(), [](const std::string& l) {
    return l.find("VIEW `gor u` AS") != std::string::npos;
  }));
}

TEST_F(MyDumpServer, CharacterSetFromTheConnection) {
  struct Case {
    const char* name;
    std::string charset;
    bool unicode;
    std::string names;
  } cases[] = {
      {"no charset", "", false, ""},
      {"unicode wins", "latin5", true, "/*!40101 SET NAMES utf8 */;"},
      {"charset lower-cased", "LATIN5", false, "/*!40101 SET NAMES latin5 */;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mysql::TMyConnection conn;
    conn.SetServer(server().address());
    conn.SetPort(server().port());
    conn.SetUsername(testsupport::MariaDbServer::kUser);
    conn.SetPassword(testsupport::MariaDbServer::kPassword);
    conn.SetDatabase("ornek");
    conn.Options().SetCharset(c.charset);
    conn.Options().SetUseUnicode(c.unicode);
    TMyDump d;
    app_settings(d);
    d.SetConnection(&conn);  // closed: Backup opens it and leaves it open
    d.SetObjects({});
    d.SetTableNames("musteri");
    d.Backup();
    EXPECT_TRUE(conn.Connected());
    // No objects: only the character-set lines of both frames.
    LineList charset_only;
    if (!c.names.empty()) {
      charset_only = {kOpen[0], kOpen[1], kOpen[2], c.names, kClose[3], kClose[4], kClose[5]};
    }
    EXPECT_EQ(d.SQL(), charset_only);
    // With tables and data the foreign-key and mode lines follow; the
    // connection's Unicode mode is back as it was.
    app_settings(d);
    d.Backup();
    LineList open = charset_only.empty() ? LineList{}
                                         : LineList(charset_only.begin(), charset_only.begin() + 4);
    open.insert(open.end(), kOpen.begin() + 4, kOpen.end());
    EXPECT_EQ(LineList(d.SQL().begin(), d.SQL().begin() + open.size()), open);
    EXPECT_EQ(conn.Options().UseUnicode(), c.unicode);
  }
}

TEST_F(MyDumpServer, TimestampsAreReadInUtcAndTheSessionZoneComesBack) {
  server().Sql(
      "CREATE DATABASE zaman DEFAULT CHARACTER SET utf8mb4; SET time_zone = '+00:00';"
      "CREATE TABLE zaman.t (ts TIMESTAMP NULL, u VARCHAR(5));"
      "INSERT INTO zaman.t VALUES ('2024-10-27 00:30:00', '\xE2\x82\xBA');",
      "", "utf8mb4");
  auto conn = connect("zaman", "utf8mb4");
  mysql::MyRowReader rows(*conn);
  rows.Execute("SET TIME_ZONE = '+05:00'");
  TMyDump d;
  app_settings(d);
  d.SetConnection(conn.get());
  d.SetTableNames("t");
  d.Backup();
  EXPECT_EQ(d.SQL()[3], "/*!40101 SET NAMES utf8mb4 */;");
  EXPECT_NE(std::find(d.SQL().begin(), d.SQL().end(), " ('2024-10-27 00:30:00','\xE2\x82\xBA');"),
            d.SQL().end());
  ASSERT_TRUE(rows.Execute("SELECT @@SESSION.TIME_ZONE"));
  ASSERT_TRUE(rows.Next());
  EXPECT_EQ(rows.Value(0), "+05:00");
  rows.Close();
}

TEST_F(MyDumpServer, ErrorsLeaveTheComponentSound) {
  TMyDump d;
  app_settings(d);
  d.SQL() = {"kept"};
  try {
    d.Backup();
    FAIL() << "no error";
  } catch (const mysql::EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Connection is not defined");
  }
  EXPECT_EQ(d.SQL(), LineList{"kept"});

  auto conn = connect("ornek");
  conn->Options().SetUseUnicode(false);
  d.SetConnection(conn.get());
  d.SetTableNames("musteri, yok");
  EXPECT_THROW(d.Backup(), mysql::EMyError);
  // Lines up to the failure stay; no closing frame.
  ASSERT_FALSE(d.SQL().empty());
  EXPECT_EQ(d.SQL().back(), "");
  EXPECT_EQ(d.SQL()[d.SQL().size() - 2], "UNLOCK TABLES;");
  // The connection is usable afterwards.
  d.SetTableNames("musteri");
  d.Backup();
  EXPECT_EQ(d.SQL().back(), kClose.back());

  // A destroyed connection is forgotten.
  conn.reset();
  EXPECT_EQ(d.Connection(), nullptr);
}

TEST_F(MyDumpServer, StatementSplittingOnRealRows) {
  // Row texts of 5,448 and 5,449 characters under the header
  // "INSERT INTO musteri(id, ad) VALUES".
  server().Sql(
      "CREATE DATABASE bolme DEFAULT CHARACTER SET latin5;"
      "CREATE TABLE bolme.musteri (id INT PRIMARY KEY, ad VARCHAR(6000));"
      "INSERT INTO bolme.musteri VALUES (1, REPEAT('a', 5441)), (2, REPEAT('b', 5441)),"
      " (3, REPEAT('c', 5442)), (4, 'd');");
  auto conn = connect("bolme");
  TMyDump d;
  app_settings(d);
  d.SetConnection(conn.get());
  d.SetTableNames("musteri");
  d.Backup();
  const std::string h = "INSERT INTO musteri(id, ad) VALUES";
  auto r = [](int id, char c, size_t n, char end) {
    return " (" + std::to_string(id) + ",'" + std::string(n, c) + "')" + end;
  };
  LineList data = {"LOCK TABLES musteri WRITE;", h, r(1, 'a', 5441, ','), r(2, 'b', 5441, ';'), h,
                   r(3, 'c', 5442, ';'),         h, r(4, 'd', 1, ';'),    "UNLOCK TABLES;",     ""};
  ASSERT_GT(d.SQL().size(), data.size() + 6);
  EXPECT_EQ(LineList(d.SQL().end() - 6 - data.size(), d.SQL().end() - 6), data);
}
