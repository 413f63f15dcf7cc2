// File names, the table-list statement and the notice address.
#include <gtest/gtest.h>

#include "app/backup_names.h"

namespace {

std::tm at(int year, int month, int day, int hour) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  return t;
}

TEST(BackupNames, ScriptAndArchiveNamesArePadded) {
  EXPECT_EQ(app::script_file_name("dorvane", at(2024, 3, 7, 5)), "dorvane-yedek-2024-03-07.sql");
  EXPECT_EQ(app::archive_name("dorvane", at(2024, 3, 7, 5)), "dorvane-yedek-2024-03-07-05.zip");
  EXPECT_EQ(app::archive_name("d", at(1999, 12, 31, 23)), "d-yedek-1999-12-31-23.zip");
  EXPECT_EQ(app::archive_name("d", at(2000, 1, 1, 0)), "d-yedek-2000-01-01-00.zip");
}

TEST(BackupNames, TableListStatementEscapesOnlyQuoteAndBackslash) {
  const std::string head =
      "SELECT TABLE_NAME AS t, TABLE_TYPE AS k FROM INFORMATION_SCHEMA.TABLES WHERE "
      "TABLE_SCHEMA = ";
  EXPECT_EQ(app::table_list_sql("dorvane"), head + "'dorvane'");
  EXPECT_EQ(app::table_list_sql("a\"b"), head + "'a\"b'");
  EXPECT_EQ(app::table_list_sql("a\\b'c"), head + "'a\\\\b\\'c'");
  EXPECT_EQ(app::table_list_sql("veri\xC4\xB1"), head + "'veri\xC4\xB1'");
}

TEST(BackupNames, PercentEncoding) {
  struct {
    std::string in, out;
  } cases[] = {
      {"34ABC123", "34ABC123"},           {"a-b.c_d~e", "a-b.c_d~e"},
      {"a&b=c#d e", "a%26b%3Dc%23d%20e"}, {"x/y?z+%", "x%2Fy%3Fz%2B%25"},
      {"\xFE\xFD", "%C5%9F%C4%B1"},  // Windows-1254 s-cedilla, dotless i
  };
  for (const auto& c : cases) EXPECT_EQ(app::percent_encode(c.in), c.out) << c.in;
}

TEST(BackupNames, NoticeAddress) {
  EXPECT_EQ(app::notice_url("ftp.example.com", 80, "34ABC", "db-yedek-2024-03-07-05.zip"),
            "http://ftp.example.com/son-eklenen-db-kayit.php?levhano=34ABC"
            "&soneklenendb=db-yedek-2024-03-07-05.zip");
  EXPECT_EQ(app::notice_url("127.0.0.5", 8080, "a&b", "x y.zip"),
            "http://127.0.0.5:8080/son-eklenen-db-kayit.php?levhano=a%26b&soneklenendb=x%20y.zip");
}

}  // namespace
