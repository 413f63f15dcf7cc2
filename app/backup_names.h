// Names the backup run composes: the script file, the archive, the table-list
// statement and the web notice address. Pure functions; texts Windows-1254.
#pragma once

#include <ctime>
#include <string>

namespace app {

// "YYYY-MM-DD" of a local time.
std::string date_text(const std::tm& local);
// db + "-yedek-" + date + ".sql" (the caller puts the folder in front).
std::string script_file_name(const std::string& db, const std::tm& local);
// db + "-yedek-" + date + "-" + hh + ".zip", no folder.
std::string archive_name(const std::string& db, const std::tm& local);
// The local time now.
std::tm local_now();
// The file name of a path, without its folder.
std::string base_name(const std::string& path);

// SELECT TABLE_NAME AS t, TABLE_TYPE AS k FROM INFORMATION_SCHEMA.TABLES
// WHERE TABLE_SCHEMA = 'db', the UTF-8 database name in a string literal with
// every backslash and single quote escaped by a backslash.
std::string table_list_sql(const std::string& db_utf8);
// The TABLE_TYPE of a view in that list; every other row is a table.
inline constexpr const char* kViewTableType = "VIEW";

// Percent-encoding of a Windows-1254 value for a URL query: converted to
// UTF-8, every byte outside A-Z a-z 0-9 - . _ ~ written as %XX.
std::string percent_encode(const std::string& ansi);

// "http://" + host [":" port when not 80] + "/son-eklenen-db-kayit.php?levhano="
// + plate + "&soneklenendb=" + archive, the values percent-encoded.
std::string notice_url(const std::string& host, int port, const std::string& levhano,
                       const std::string& archive);

}  // namespace app
