// Script frame and header (see script_frame.h).
#include "dump/script_frame.h"

#include <ctime>

namespace dump {

void emit_opening_frame(LineSink& sink, const std::string& charset, bool objects) {
  if (!charset.empty()) {
    sink.Emit("/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;");
    sink.Emit("/*!40101 SET @OLD_CHARACTER_SET_RESULTS=@@CHARACTER_SET_RESULTS */;");
    sink.Emit("/*!40101 SET @OLD_COLLATION_CONNECTION=@@COLLATION_CONNECTION */;");
    sink.Emit("/*!40101 SET NAMES " + charset + " */;");
  }
  if (objects) {
    sink.Emit("/*!40103 SET @OLD_TIME_ZONE=@@TIME_ZONE */;");
    sink.Emit("/*!40103 SET TIME_ZONE='+00:00' */;");
    sink.Emit(
        "/*!40014 SET @OLD_FOREIGN_KEY_CHECKS=@@FOREIGN_KEY_CHECKS, FOREIGN_KEY_CHECKS=0 */;");
    sink.Emit(
        "/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, "
        "SQL_MODE='NO_AUTO_VALUE_ON_ZERO,ALLOW_INVALID_DATES' */;");
  }
}

void emit_closing_frame(LineSink& sink, const std::string& charset, bool objects) {
  if (objects) {
    sink.Emit("/*!40014 SET FOREIGN_KEY_CHECKS=@OLD_FOREIGN_KEY_CHECKS */;");
    sink.Emit("/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;");
    sink.Emit("/*!40103 SET TIME_ZONE=@OLD_TIME_ZONE */;");
  }
  if (!charset.empty()) {
    sink.Emit("/*!40101 SET CHARACTER_SET_CLIENT=@OLD_CHARACTER_SET_CLIENT */;");
    sink.Emit("/*!40101 SET CHARACTER_SET_RESULTS=@OLD_CHARACTER_SET_RESULTS */;");
    sink.Emit("/*!40101 SET COLLATION_CONNECTION=@OLD_COLLATION_CONNECTION */;");
  }
}

std::string header_text(const HeaderFacts& f) {
  return std::string("-- Kovrat version: ") + kDumpVersion + "\r\n" +
         "-- MySQL server version: " + f.server_version + "\r\n" +
         "-- MySQL client version: " + f.client_version + "\r\n" + "-- Script date " +
         f.script_date + "\r\n" +
         "-- ---------------------------------------------------------------------- \r\n" +
         "-- Server: " + f.server + "\r\n" + "-- Database: " + f.database + "\r\n" + "\r\n";
}

std::string script_date_now() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M:%S", &tm);
  return buf;
}

}  // namespace dump
