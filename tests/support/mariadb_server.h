// A private MariaDB server for one test program: data in a temporary folder,
// listening on a loopback address, stopped by its pid when the object goes.
//
// Flow: MariaDbServer srv; srv.Start(); ... srv.Sql("..."); ... (destructor
// stops it). The account "yedek" / "yedekpw" (mysql_native_password, all
// privileges) exists after Start.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace testsupport {

class MariaDbServer {
 public:
  static constexpr const char* kUser = "yedek";
  static constexpr const char* kPassword = "yedekpw";

  MariaDbServer();
  ~MariaDbServer();

  // port 0 picks a free high port. extra_options go to mariadbd, e.g.
  // "--general-log=1".
  void Start(const std::string& address = "127.0.0.1", int port = 0,
             const std::vector<std::string>& extra_options = {});
  void Stop();
  bool running() const { return running_; }

  const std::string& address() const { return address_; }
  int port() const { return port_; }
  std::string dir() const { return dir_->path(); }
  std::string socket_path() const { return dir_->file("sock"); }
  // Path of the general query log when started with --general-log=1 and
  // --general-log-file=<general_log_path()>.
  std::string general_log_path() const { return dir_->file("general.log"); }

  // Runs SQL as root through the mariadb client over the socket (latin5
  // session when charset is "latin5"); returns its batch output (tab
  // separated, no column names). Throws on failure.
  std::string Sql(const std::string& sql, const std::string& database = "",
                  const std::string& charset = "latin5") const;
  // The mariadb client command line (root over the socket) for shell use.
  std::string ClientCommand(const std::string& charset = "latin5") const;

 private:
  std::unique_ptr<TempDir> dir_;
  std::string address_;
  int port_ = 0;
  bool running_ = false;
};

// A loopback address of its own for servers that need a fixed port (3306, 21,
// 80): 127.0.0.<n> where n is derived from the process id so parallel test
// programs do not collide.
std::string private_loopback_address(int salt = 0);

}  // namespace testsupport
