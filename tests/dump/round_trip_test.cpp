// The strongest test of the dump: every column type the server offers is
// dumped with the application's settings, the script is loaded into a fresh
// database by the mariadb client over a latin5 session, and CHECKSUM TABLE of
// every table must match the original.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "dump/identifiers.h"
#include "dump/my_dump.h"
#include "tests/dump/round_trip_schema.h"
#include "tests/dump/server_fixture.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using namespace dump;
using namespace dumptest;

namespace {

// Writes each line followed by CR LF, bytes unchanged (latin5).
class FileSink : public LineSink {
 public:
  explicit FileSink(const std::string& path) : out_(path, std::ios::binary) {}
  void Emit(std::string_view line) override {
    out_.write(line.data(), static_cast<std::streamsize>(line.size()));
    out_.write("\r\n", 2);
  }
  void Close() { out_.close(); }

 private:
  std::ofstream out_;
};

std::vector<std::string> split_rows(const std::string& out) {
  std::vector<std::string> rows;
  std::istringstream in(out);
  for (std::string l; std::getline(in, l);) rows.push_back(l);
  return rows;
}

// Names of the base tables or the views of a database (batch output keeps
// latin5 bytes; none of these names holds a tab, line break or backslash).
std::vector<std::string> objects(const std::string& db, const std::string& type) {
  return split_rows(
      server().Sql("SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_SCHEMA = '" + db +
                   "' AND TABLE_TYPE = '" + type + "' ORDER BY TABLE_NAME"));
}

// CHECKSUM TABLE of every table, in one statement: the checksum column of
// each result row, in table order.
std::vector<std::string> checksums(const std::string& db, const std::vector<std::string>& tables) {
  std::string sql = "CHECKSUM TABLE ";
  for (size_t i = 0; i < tables.size(); ++i) {
    if (i) sql += ", ";
    sql += quote_identifier(db, true) + "." + quote_identifier(tables[i], true);
  }
  std::vector<std::string> sums;
  for (const auto& row : split_rows(server().Sql(sql + " EXTENDED"))) {
    sums.push_back(row.substr(row.rfind('\t') + 1));
  }
  return sums;
}

// Creates the round-trip database once per test program.
void ensure_schema() {
  static bool created = false;
  if (!created) server().Sql(kRoundTripSchema);
  created = true;
}

// Loads a script into a fresh database through the mariadb client over a
// latin5 session; returns the client's error output (empty on success).
std::string load(const testsupport::TempDir& dir, const std::string& script, const std::string& db,
                 const std::string& extra = "") {
  server().Sql("CREATE DATABASE " + db + " DEFAULT CHARACTER SET latin5");
  const std::string err = dir.file("load.err");
  const int rc = testsupport::run_shell(
      server().ClientCommand("latin5") + " --max-allowed-packet=1G " + extra + " " + db + " < " +
      testsupport::shell_quote(script) + " 2> " + testsupport::shell_quote(err));
  return rc == 0 ? std::string() : "exit " + std::to_string(rc) + ": " + testsupport::read_all(err);
}

// Every table of `tables` has the same checksum in both databases; returns
// how many do.
int compare_tables(const std::string& a, const std::string& b,
                   const std::vector<std::string>& tables) {
  const std::vector<std::string> before = checksums(a, tables), after = checksums(b, tables);
  EXPECT_EQ(before.size(), tables.size());
  EXPECT_EQ(after.size(), tables.size());
  int equal = 0;
  for (size_t i = 0; i < tables.size() && i < before.size() && i < after.size(); ++i) {
    SCOPED_TRACE(tables[i]);
    EXPECT_NE(before[i], "NULL");
    EXPECT_EQ(before[i], after[i]);
    if (before[i] == after[i]) ++equal;
  }
  return equal;
}

// Dumps each table with its own Backup into one script.
void dump_tables(TMyDump& d, const std::vector<std::string>& tables, const std::string& script) {
  FileSink sink(script);
  for (const auto& t : tables) {
    d.SetTableNames(quote_identifier(t, true));
    d.Backup(&sink);
  }
  sink.Close();
}

const std::vector<std::string> kTrickyTables = {"bins", "geo", "ints", "strs",
                                                "wide", "x y", "q`t"};

}  // namespace

TEST(RoundTrip, EveryColumnTypeComesBackUnchanged) {
  using clock = std::chrono::steady_clock;
  auto seconds = [](clock::time_point since) {
    return std::chrono::duration<double>(clock::now() - since).count();
  };
  auto t = clock::now();
  ensure_schema();
  const double fill = seconds(t);
  testsupport::TempDir dir("dumprt");
  const std::string script = dir.file("rt.sql");

  auto conn = connect("rt");
  TMyDump d("MyDump");
  app_settings(d);
  d.SetConnection(conn.get());
  const std::vector<std::string> tables = objects("rt", "BASE TABLE");
  const std::vector<std::string> views = objects("rt", "VIEW");
  ASSERT_GE(tables.size(), 15u);
  ASSERT_EQ(views.size(), 2u);
  t = clock::now();
  {
    // One Backup per table as the backup run does, then the views.
    FileSink sink(script);
    for (const auto& t : tables) {
      d.SetTableNames(quote_identifier(t, true));
      d.Backup(&sink);
    }
    d.SetObjects({TMyDumpObject::doViews});
    d.SetTableNames(quote_identifier(views[0], true) + "; " + quote_identifier(views[1], true));
    d.Backup(&sink);
    sink.Close();
  }

  const double dumped = seconds(t);
  t = clock::now();
  ASSERT_EQ(load(dir, script, "rt2"), "");
  const double loaded = seconds(t);
  EXPECT_EQ(objects("rt2", "BASE TABLE"), tables);
  EXPECT_EQ(objects("rt2", "VIEW"), views);
  const int equal = compare_tables("rt", "rt2", tables);
  for (const auto& v : views) {
    SCOPED_TRACE(v);
    const std::string all = "SELECT * FROM " + quote_identifier(v, true);
    EXPECT_EQ(server().Sql(all, "rt"), server().Sql(all, "rt2"));
  }
  std::cout << "round trip: " << tables.size() << " tables compared, " << equal << " equal; "
            << views.size() << " views compared; script " << std::filesystem::file_size(script)
            << " bytes; fill " << fill << " s, dump " << dumped << " s, load " << loaded << " s\n";
}

TEST(RoundTrip, OtherOptionsComeBackUnchanged) {
  ensure_schema();
  testsupport::TempDir dir("dumprt");
  const std::string script = dir.file("options.sql");
  auto conn = connect("rt");
  TMyDump d;
  d.SetConnection(conn.get());
  d.SetObjects({TMyDumpObject::doTables, TMyDumpObject::doData});
  auto& o = d.Options();  // header, DROP, keys off, one-row REPLACE in batches
  o.GenerateHeader = o.AddDrop = o.QuoteNames = o.CompleteInsert = o.DisableKeys = o.HexBlob = true;
  o.UseExtSyntax = false;
  o.CommitBatchSize = 3;
  o.InsertType = TMyInsertType::itReplaceInto;
  dump_tables(d, kTrickyTables, script);
  ASSERT_EQ(load(dir, script, "rt3"), "");
  EXPECT_EQ(compare_tables("rt", "rt3", kTrickyTables), static_cast<int>(kTrickyTables.size()));
}
