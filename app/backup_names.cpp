// Composition of the run's file names, statement and notice address.
#include "app/backup_names.h"

#include <cstdio>

#include "platform/codepage.h"

namespace app {

std::string date_text(const std::tm& local) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday);
  return buf;
}

std::string script_file_name(const std::string& db, const std::tm& local) {
  return db + "-yedek-" + date_text(local) + ".sql";
}

std::string archive_name(const std::string& db, const std::tm& local) {
  char hour[8];
  std::snprintf(hour, sizeof hour, "%02d", local.tm_hour);
  return db + "-yedek-" + date_text(local) + "-" + hour + ".zip";
}

std::tm local_now() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

std::string base_name(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string table_list_sql(const std::string& db_utf8) {
  std::string sql =
      "SELECT TABLE_NAME AS t, TABLE_TYPE AS k FROM INFORMATION_SCHEMA.TABLES WHERE "
      "TABLE_SCHEMA = '";
  for (char c : db_utf8) {
    if (c == '\\' || c == '\'') sql += '\\';
    sql += c;
  }
  sql += '\'';
  return sql;
}

std::string percent_encode(const std::string& ansi) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : platform::ansi_to_utf8(ansi)) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string notice_url(const std::string& host, int port, const std::string& levhano,
                       const std::string& archive) {
  std::string url = "http://" + host;
  if (port != 80) url += ":" + std::to_string(port);
  return url + "/son-eklenen-db-kayit.php?levhano=" + percent_encode(levhano) +
         "&soneklenendb=" + percent_encode(archive);
}

}  // namespace app
