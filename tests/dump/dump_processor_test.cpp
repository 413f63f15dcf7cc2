// The processor over in-memory results: statements sent, lines emitted.
#include "dump/dump_processor.h"

#include <gtest/gtest.h>

#include <array>

#include "dump/literals.h"
#include "mysql/field_types.h"
#include "tests/dump/expected_frame.h"
#include "tests/dump/memory_source.h"

using namespace dump;
using namespace mysql;
using dumptest::col;
using dumptest::kClose;
using dumptest::kOpen;
using dumptest::MemorySource;
using platform::LineList;

namespace {

LineList framed(const LineList& body) {
  LineList all = kOpen;
  all.insert(all.end(), body.begin(), body.end());
  all.insert(all.end(), kClose.begin(), kClose.end());
  return all;
}

// The application's settings: tables and data, no header, no DROP.
DumpRequest app_request(const std::string& tables) {
  DumpRequest r;
  r.objects = {TMyDumpObject::doTables, TMyDumpObject::doData};
  r.options.GenerateHeader = false;
  r.options.AddDrop = false;
  r.charset = "latin5";
  r.tables = parse_table_names(tables);
  return r;
}

void status(MemorySource& s, const std::string& sql,
            const std::vector<std::pair<std::string, dumptest::Value>>& name_engine) {
  dumptest::Result r{{col("Name", MYSQL_TYPE_VAR_STRING), col("Engine", MYSQL_TYPE_VAR_STRING)},
                     {}};
  for (const auto& [n, e] : name_engine) r.rows.push_back({n, e});
  s.results[sql] = r;
}

// The same with the row estimate of each table.
void status_with_rows(MemorySource& s, const std::string& sql,
                      const std::vector<std::array<std::string, 3>>& name_engine_rows) {
  dumptest::Result r{{col("Name", MYSQL_TYPE_VAR_STRING), col("Engine", MYSQL_TYPE_VAR_STRING),
                      col("Rows", MYSQL_TYPE_LONGLONG)},
                     {}};
  for (const auto& [n, e, rows] : name_engine_rows) r.rows.push_back({n, e, rows});
  s.results[sql] = r;
}

// The musteri table of the worked example.
void musteri(MemorySource& s, const std::string& name = "musteri") {
  s.Create(name,
           "CREATE TABLE `musteri` (\n  `id` int(11) DEFAULT NULL,\n  `ad` varchar(20) DEFAULT "
           "NULL\n) ENGINE=InnoDB");
  s.Data(name, {{col("id", MYSQL_TYPE_LONG), col("ad", MYSQL_TYPE_VAR_STRING, 0, 20)},
                {{"1", "Ankara"}, {"2", std::nullopt}}});
}

const LineList kMusteriCreate = {"CREATE TABLE `musteri` (", "  `id` int(11) DEFAULT NULL,",
                                 "  `ad` varchar(20) DEFAULT NULL", ") ENGINE=InnoDB;"};

LineList run(MemorySource& s, const DumpRequest& r) {
  LineList lines;
  StringsSink sink(lines);
  TMyDumpProcessor p;
  p.Backup(s, r, sink);
  return lines;
}

}  // namespace

TEST(DumpProcessor, WorkedExampleMusteri) {
  MemorySource s;
  status(s, "SHOW TABLE STATUS FROM db\r\nWHERE NAME IN ('musteri')", {{"musteri", "InnoDB"}});
  musteri(s);
  LineList body = kMusteriCreate;
  body.insert(body.end(), {"", "LOCK TABLES musteri WRITE;", "INSERT INTO musteri(id, ad) VALUES",
                           " (1,'Ankara'),", " (2,NULL);", "UNLOCK TABLES;", ""});
  EXPECT_EQ(run(s, app_request("musteri")), framed(body));
  EXPECT_EQ(s.executed,
            (std::vector<std::string>{"SHOW TABLE STATUS FROM db\r\nWHERE NAME IN ('musteri')",
                                      "SHOW CREATE TABLE musteri", "SHOW COLUMNS FROM musteri",
                                      "SELECT `id`,`ad` FROM musteri"}));
}

TEST(DumpProcessor, FrameEdgeCases) {
  MemorySource s;
  // No objects: only the character-set lines, and nothing sent to the server.
  DumpRequest r = app_request("musteri");
  r.objects = {};
  LineList charset_only = {kOpen[0], kOpen[1], kOpen[2], kOpen[3], kClose[3], kClose[4], kClose[5]};
  EXPECT_EQ(run(s, r), charset_only);
  EXPECT_TRUE(s.executed.empty());

  // No character set: the foreign-key and mode lines remain.
  r = app_request("");
  r.charset = "";
  s.tables = {};
  EXPECT_EQ(run(s, r),
            (LineList{kOpen[4], kOpen[5], kOpen[6], kOpen[7], kClose[0], kClose[1], kClose[2]}));

  r.charset = "utf8";
  EXPECT_EQ(run(s, r)[3], "/*!40101 SET NAMES utf8 */;");
}

TEST(DumpProcessor, EmptyTableAndDataOnly) {
  MemorySource s;
  s.Create("bos", "CREATE TABLE `bos` (\r\n  `a` int\r\n)");
  s.Empty("bos");
  status(s, "SHOW TABLE STATUS FROM db\r\nWHERE NAME IN ('bos')", {});
  EXPECT_EQ(run(s, app_request("bos")), framed({"CREATE TABLE `bos` (", "  `a` int", ");", ""}));

  // Data only with AddDrop: TRUNCATE, then an empty line for the empty table.
  DumpRequest r = app_request("bos");
  r.objects = {TMyDumpObject::doData};
  r.options.AddDrop = true;
  EXPECT_EQ(run(s, r), framed({"TRUNCATE TABLE bos;", ""}));
}

TEST(DumpProcessor, ViewsAndOrder) {
  MemorySource s;
  const std::string st = "SHOW TABLE STATUS FROM db\r\nWHERE NAME IN ('v','t','w')";
  status(s, st, {{"T", "InnoDB"}, {"v", std::nullopt}, {"w", ""}});
  s.Create("t", "CREATE TABLE `t` (`a` int)");
  s.Empty("t");
  // v uses w, which comes after it in the list.
  s.View("v", "CREATE VIEW `v` AS select `db`.`w`.`b` AS `a` from `db`.`w`",
         {{"a", "int(11)", {}}});
  s.View("w", "CREATE VIEW `w` AS select 'x`db`.' AS `b`", {{"b", "varchar(3)", "utf8mb4_bin"}});

  // Views not requested: they get no lines at all.
  EXPECT_EQ(run(s, app_request("v, t, w")), framed({"CREATE TABLE `t` (`a` int);", ""}));
  // Views requested: tables first, then a stand-in table for every view, then
  // each stand-in replaced by its view, in list order, without the
  // database's name (a string holding it stays); no data for views.
  DumpRequest r = app_request("v, t, w");
  r.objects.Include(TMyDumpObject::doViews);
  r.options.AddDrop = true;
  s.executed.clear();
  const std::string set =
      "/*!50003 SET @OLD_OBJECT_COLLATION=@@COLLATION_CONNECTION, "
      "COLLATION_CONNECTION='utf8mb4_general_ci' */;";
  const std::string back = "/*!50003 SET COLLATION_CONNECTION=@OLD_OBJECT_COLLATION */;";
  EXPECT_EQ(run(s, r), framed({"DROP TABLE IF EXISTS t;",
                               "CREATE TABLE `t` (`a` int);",
                               "",
                               "DROP TABLE IF EXISTS v;",
                               "DROP VIEW IF EXISTS v;",
                               "CREATE TABLE v (`a` int(11));",
                               "DROP TABLE IF EXISTS w;",
                               "DROP VIEW IF EXISTS w;",
                               "CREATE TABLE w (`b` longtext COLLATE utf8mb4_bin);",
                               "",
                               "DROP TABLE IF EXISTS v;",
                               set,
                               "CREATE VIEW `v` AS select `w`.`b` AS `a` from `w`;",
                               back,
                               "",
                               "DROP TABLE IF EXISTS w;",
                               set,
                               "CREATE VIEW `w` AS select 'x`db`.' AS `b`;",
                               back,
                               ""}));
  // The status statement is sent once for all objects.
  EXPECT_EQ(std::count(s.executed.begin(), s.executed.end(), st), 1);

  // A server before version 5 has no views: no status statement, all tables.
  s.major = 4;
  s.executed.clear();
  s.Create("v", "CREATE VIEW `v` AS select 1");
  s.Empty("v");
  r = app_request("v");
  EXPECT_EQ(run(s, r), framed({"CREATE VIEW `v` AS select 1;", ""}));
  EXPECT_EQ(s.executed.front(), "SHOW CREATE TABLE v");
}

TEST(DumpProcessor, NamesNeedingQuotes) {
  MemorySource s;
  const std::string name = "`m\xFC\xFEteri 1-a`";
  status(s, "SHOW TABLE STATUS FROM db\r\nWHERE NAME IN ('m\xFC\xFEteri 1-a','o\\'k')", {});
  musteri(s, name);
  s.Create("`o'k`", "CREATE TABLE `o'k` (`a` int)");
  s.Empty("`o'k`");
  LineList lines = run(s, app_request("`m\xFC\xFEteri 1-a`, `o'k`"));
  EXPECT_EQ(lines[13], "LOCK TABLES " + name + " WRITE;");
  EXPECT_EQ(lines[14], "INSERT INTO " + name + "(id, ad) VALUES");
  EXPECT_EQ(s.executed[1], "SHOW CREATE TABLE " + name);
  EXPECT_EQ(s.executed[2], "SHOW COLUMNS FROM " + name);
  EXPECT_EQ(s.executed[3], "SELECT `id`,`ad` FROM " + name);
}

TEST(DumpProcessor, StatementOptions) {
  struct Case {
    const char* name;
    TMyInsertType type;
    bool delayed, complete, keys, lock;
    LineList data;
  } cases[] = {
      {"defaults",
       TMyInsertType::itInsert,
       false,
       false,
       false,
       true,
       {"LOCK TABLES musteri WRITE;", "INSERT INTO musteri(id, ad) VALUES", " (1,'Ankara'),",
        " (2,NULL);", "UNLOCK TABLES;", ""}},
      {"no lock",
       TMyInsertType::itInsert,
       false,
       false,
       false,
       false,
       {"INSERT INTO musteri(id, ad) VALUES", " (1,'Ankara'),", " (2,NULL);", ""}},
      {"ignore, keys, columns",
       TMyInsertType::itInsertIgnore,
       false,
       true,
       true,
       true,
       {"LOCK TABLES musteri WRITE;", "/*!40000 ALTER TABLE musteri DISABLE KEYS */;",
        "INSERT IGNORE INTO musteri(id, ad) VALUES", " (1,'Ankara'),", " (2,NULL);",
        "/*!40000 ALTER TABLE musteri ENABLE KEYS */;", "UNLOCK TABLES;", ""}},
      {"replace",
       TMyInsertType::itReplaceInto,
       false,
       false,
       false,
       true,
       {"LOCK TABLES musteri WRITE;", "REPLACE INTO musteri(id, ad) VALUES", " (1,'Ankara'),",
        " (2,NULL);", "UNLOCK TABLES;", ""}},
      {"delayed drops the locks",
       TMyInsertType::itInsert,
       true,
       false,
       false,
       true,
       {"INSERT DELAYED INTO musteri(id, ad) VALUES", " (1,'Ankara'),", " (2,NULL);", ""}},
      {"delayed ignore",
       TMyInsertType::itInsertIgnore,
       true,
       false,
       false,
       true,
       {"INSERT DELAYED IGNORE INTO musteri(id, ad) VALUES", " (1,'Ankara'),", " (2,NULL);", ""}},
      {"delayed replace",
       TMyInsertType::itReplaceInto,
       true,
       false,
       false,
       true,
       {"REPLACE DELAYED INTO musteri(id, ad) VALUES", " (1,'Ankara'),", " (2,NULL);", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemorySource s;
    musteri(s);
    status(s, "SHOW TABLE STATUS FROM db\r\nWHERE NAME IN ('musteri')", {});
    DumpRequest r = app_request("musteri");
    r.objects = {TMyDumpObject::doData};
    r.options.InsertType = c.type;
    r.options.UseDelayedIns = c.delayed;
    r.options.CompleteInsert = c.complete;
    r.options.DisableKeys = c.keys;
    r.options.AddLock = c.lock;
    EXPECT_EQ(run(s, r), framed(c.data));
  }
}

TEST(DumpProcessor, OneRowFormWithBatches) {
  MemorySource s;
  s.Create("t", "CREATE TABLE `t` (`a` int, `b` char(1))");
  s.Data("t", {{col("a", MYSQL_TYPE_LONG), col("b", MYSQL_TYPE_STRING)},
               {{"1", "x"}, {"2", "y"}, {"3", "z"}}});
  status(s, "SHOW TABLE STATUS FROM db\r\nWHERE NAME IN ('t')", {});
  DumpRequest r = app_request("t");
  r.objects = {TMyDumpObject::doData};
  r.options.UseExtSyntax = false;
  r.options.CommitBatchSize = 2;
  EXPECT_EQ(run(s, r),
            framed({"LOCK TABLES t WRITE;", "BEGIN;", "INSERT INTO t(a, b) VALUES (1,'x');",
                    "INSERT INTO t(a, b) VALUES (2,'y');", "COMMIT;", "BEGIN;",
                    "INSERT INTO t(a, b) VALUES (3,'z');", "COMMIT;", "UNLOCK TABLES;", ""}));
}

TEST(DumpProcessor, HeaderAndComments) {
  MemorySource s;
  musteri(s);
  status(s, "SHOW TABLE STATUS FROM db\r\nWHERE NAME IN ('musteri')", {});
  DumpRequest r = app_request("musteri");
  r.options.GenerateHeader = true;
  r.options.AddDrop = true;
  LineList lines = run(s, r);
  ASSERT_GT(lines.size(), 20u);
  EXPECT_EQ(lines[0], "-- Kovrat version: 8.6.21");
  EXPECT_EQ(lines[1], "-- MySQL server version: 5.5.5-10.11.19-MariaDB");
  EXPECT_EQ(lines[2], "-- MySQL client version: 8.0.0 Direct");
  EXPECT_EQ(lines[3].rfind("-- Script date ", 0), 0u);
  EXPECT_EQ(lines[4], "-- ---------------------------------------------------------------------- ");
  EXPECT_EQ(lines[5], "-- Server: 127.0.0.1");
  EXPECT_EQ(lines[6], "-- Database: db");
  EXPECT_EQ(lines[7], "");
  EXPECT_EQ(LineList(lines.begin() + 8, lines.begin() + 16), kOpen);
  EXPECT_EQ(LineList(lines.begin() + 16, lines.begin() + 21),
            (LineList{"-- ", "-- Table structure for table musteri", "-- ", "",
                      "DROP TABLE IF EXISTS musteri;"}));
  EXPECT_EQ(LineList(lines.begin() + 25, lines.begin() + 30),
            (LineList{"", "-- ", "-- Dumping data for table musteri", "-- ", ""}));
  EXPECT_EQ(lines[30], "LOCK TABLES musteri WRITE;");
}

TEST(DumpProcessor, QualifiedNames) {
  MemorySource s;
  status(s, "SHOW TABLE STATUS FROM other\r\nWHERE NAME IN ('t')", {});
  s.Create("`other`.`t`", "CREATE TABLE `t` (`a` int) COMMENT '`t`'");
  s.Empty("`other`.`t`");
  EXPECT_EQ(run(s, app_request("other.t")),
            framed({"CREATE TABLE `other`.`t` (`a` int) COMMENT '`t`';", ""}));

  // The connection's own database: the entry stays as written.
  MemorySource same;
  status(same, "SHOW TABLE STATUS FROM db\r\nWHERE NAME IN ('t')", {});
  same.Create("db.t", "CREATE TABLE `t` (`a` int)");
  same.Empty("db.t");
  EXPECT_EQ(run(same, app_request("db.t")), framed({"CREATE TABLE `t` (`a` int);", ""}));
}

TEST(DumpProcessor, WithoutTableNamesDumpsTheConnectionsTables) {
  MemorySource s;
  s.tables = {"musteri", "x y"};
  status(s, "SHOW TABLE STATUS FROM db", {});
  musteri(s);
  s.Create("`x y`", "CREATE TABLE `x y` (`a` int)");
  s.Empty("`x y`");
  LineList lines = run(s, app_request(""));
  EXPECT_EQ(lines[lines.size() - 8], "CREATE TABLE `x y` (`a` int);");
}

TEST(DumpProcessor, FailureKeepsLinesAndClosesTheReader) {
  MemorySource s;
  status(s, "SHOW TABLE STATUS FROM db\r\nWHERE NAME IN ('musteri')", {});
  musteri(s);
  s.fail_statement = "SELECT `id`,`ad` FROM musteri";
  s.fail_after = 1;
  LineList lines;
  StringsSink sink(lines);
  TMyDumpProcessor p;
  EXPECT_THROW(p.Backup(s, app_request("musteri"), sink), std::runtime_error);
  // Up to the header line: the first row was read but the second read failed,
  // so its line was never completed; no UNLOCK and no closing frame.
  EXPECT_EQ(lines.back(), "LOCK TABLES musteri WRITE;");
  EXPECT_EQ(s.closes, 4);  // status, create, columns, and the failed rows

  // An unknown table fails at SHOW CREATE TABLE.
  MemorySource missing;
  status(missing, "SHOW TABLE STATUS FROM db\r\nWHERE NAME IN ('yok')", {});
  lines.clear();
  EXPECT_THROW(p.Backup(missing, app_request("yok"), sink), std::runtime_error);
  EXPECT_EQ(lines, kOpen);
}

TEST(DumpProcessor, DataStatementsNameTheStoredColumns) {
  MemorySource s;
  status(s, "SHOW TABLE STATUS FROM `db`\r\nWHERE NAME IN ('t')", {});
  s.Create("`t`", "CREATE TABLE `t` (`a` int)");
  // INVISIBLE and DEFAULT_GENERATED columns are stored: read and written.
  // Generated columns (every form servers write in Extra) are left out; a
  // FLOAT is read as a DOUBLE.
  s.Data("`t`",
         {{col("a", MYSQL_TYPE_LONG), col("hidden", MYSQL_TYPE_LONG), col("d", MYSQL_TYPE_LONG),
           col("f", MYSQL_TYPE_FLOAT)},
          {{"1", "2", "3", "1.2345677614212036"}}},
         {{"hidden", "INVISIBLE"}, {"d", "DEFAULT_GENERATED on update current_timestamp()"}},
         {{"v", "VIRTUAL GENERATED"},
          {"st", "STORED GENERATED"},
          {"old", "PERSISTENT"},
          {"old2", "virtual"}});
  DumpRequest r = app_request("t");
  r.options.QuoteNames = true;
  const LineList lines = run(s, r);
  EXPECT_EQ(LineList(lines.begin() + 10, lines.end() - 6),
            (LineList{"LOCK TABLES `t` WRITE;", "INSERT INTO `t`(`a`, `hidden`, `d`, `f`) VALUES",
                      " (1,2,3,1.2345677614212036);", "UNLOCK TABLES;", ""}));
  EXPECT_EQ(s.executed.back(), "SELECT `a`,`hidden`,`d`,`f`+0e0 FROM `t`");
}

TEST(DumpProcessor, EveryNameIsItself) {
  // The table Kayit and the view kayit: the server's status answer holds both
  // for either name; the very name decides.
  MemorySource s;
  status(s, "SHOW TABLE STATUS FROM `db`\r\nWHERE NAME IN ('kayit')",
         {{"Kayit", "InnoDB"}, {"kayit", std::nullopt}});
  status(s, "SHOW TABLE STATUS FROM `db`\r\nWHERE NAME IN ('Kayit')",
         {{"Kayit", "InnoDB"}, {"kayit", std::nullopt}});
  s.Create("`Kayit`", "CREATE TABLE `Kayit` (`a` int)");
  s.Empty("`Kayit`");
  DumpRequest r = app_request("");
  r.options.QuoteNames = true;
  r.tables = {{"", "kayit"}};
  TMyDumpProcessor p;
  LineList lines;
  StringsSink sink(lines);
  p.Backup(s, r, sink);
  EXPECT_EQ(lines.size(), kOpen.size() + kClose.size());
  EXPECT_TRUE(p.Written().empty());
  r.tables = {{"", "Kayit"}};
  p.Backup(s, r, sink);
  EXPECT_EQ(p.Written(), (std::vector<TableEntry>{{"", "Kayit"}}));

  // Quotes are part of a name, never its quoting; a line break in a name
  // stays inside its line; a backslash is escaped in the status literal.
  MemorySource q;
  const std::string odd = "'q'\n\\";
  status(q, "SHOW TABLE STATUS FROM `db`\r\nWHERE NAME IN ('\\'q\\'\\n\\\\')", {});
  q.Create("`'q'\n\\`", "CREATE TABLE `'q'\n\\` (\n  `a` int\n)");
  q.Empty("`'q'\n\\`");
  r.tables = {{"", odd}};
  lines.clear();
  p.Backup(q, r, sink);
  EXPECT_EQ(LineList(lines.begin() + 8, lines.end() - 6),
            (LineList{"CREATE TABLE `'q'\n\\` (", "  `a` int", ");", ""}));
  EXPECT_EQ(p.Written(), (std::vector<TableEntry>{{"", odd}}));
}

TEST(DumpProcessor, UnbuiltSectionsAreRefused) {
  MemorySource s;
  DumpRequest r = app_request("musteri");
  r.objects.Include(TMyDumpObject::doUsers);
  LineList lines;
  StringsSink sink(lines);
  TMyDumpProcessor p;
  EXPECT_THROW(p.Backup(s, r, sink), EDumpError);
  EXPECT_TRUE(lines.empty());
}

TEST(DumpProcessor, ProgressReportsObjectsAndRows) {
  // The percentage follows the status's row estimate (no row count is sent);
  // an estimate short of the rows that come stops at 99 until the end.
  MemorySource s;
  status_with_rows(s, "SHOW TABLE STATUS FROM db\r\nWHERE NAME IN ('musteri','bos')",
                   {{"musteri", "InnoDB", "2"}, {"bos", "InnoDB", "1"}});
  musteri(s);
  s.Create("bos", "CREATE TABLE `bos` (`a` int)");
  s.Empty("bos");
  DumpRequest r = app_request("musteri, bos");
  std::vector<std::string> seen;
  r.progress = [&](const std::string& name, int num, int count, int percent) {
    seen.push_back(name + " " + std::to_string(num) + "/" + std::to_string(count) + " " +
                   std::to_string(percent));
  };
  run(s, r);
  EXPECT_EQ(seen, (std::vector<std::string>{"musteri 0/2 0", "musteri 0/2 50", "musteri 0/2 100",
                                            "bos 1/2 0", "bos 1/2 100"}));
}
