// The session character set chosen by the server's version: the login
// packet's byte and the SET NAMES name.
#include "mysql/charset.h"

#include <gtest/gtest.h>

#include "mysql/my_connection.h"

using namespace mysql;

TEST(Charset, LoginByteAndSetNamesByServerVersion) {
  const struct {
    const char* name;
    const char* charset;
    const char* version;
    int byte;
    const char* set_names;
  } cases[] = {
      {"MariaDB 10.11 reports 5.5.5", "utf8mb4", "5.5.5-10.11.19-MariaDB-0+deb12u1", 45, "utf8mb4"},
      {"first with utf8mb4", "utf8mb4", "5.5.3", 45, "utf8mb4"},
      {"MySQL 8", "UTF8MB4", "8.0.36", 45, "utf8mb4"},
      {"just before utf8mb4", "utf8mb4", "5.5.2-m2", 33, "utf8"},
      {"5.1", "utf8mb4", "5.1.73-log", 33, "utf8"},
      {"4.1 has utf8", "utf8mb4", "4.1.22", 33, "utf8"},
      {"before 4.1: as before", "utf8mb4", "4.0.30", 8, ""},
      {"explicit utf8", "utf8", "8.0.36", 33, "utf8"},
      {"latin5 as before", "latin5", "8.0.36", 8, "latin5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(login_charset_for(c.charset, c.version), c.byte);
    int major = 0, minor = 0, release = 0;
    split_server_version(c.version, major, minor, release);
    EXPECT_EQ(session_charset_for(c.charset, major, minor, release), c.set_names);
  }
}
