#include "tests/support/mariadb_server.h"

#include <unistd.h>

#include <stdexcept>

#include "tests/support/process.h"

namespace testsupport {

MariaDbServer::MariaDbServer() : dir_(std::make_unique<TempDir>("mariadb")) {}

MariaDbServer::~MariaDbServer() { Stop(); }

std::string script_path() { return source_dir() + "/scripts/mariadb-server.sh"; }

void MariaDbServer::Start(const std::string& address, int port,
                          const std::vector<std::string>& extra_options) {
  address_ = address;
  port_ = port ? port : free_tcp_port(address);
  std::string cmd = shell_quote(script_path()) + " start " + shell_quote(dir_->path()) + " " +
                    address_ + " " + std::to_string(port_);
  for (const auto& o : extra_options) cmd += " " + shell_quote(o);
  if (run_shell(cmd) != 0) throw std::runtime_error("cannot start MariaDB: " + cmd);
  running_ = true;
}

void MariaDbServer::Stop() {
  if (!running_) return;
  run_shell(shell_quote(script_path()) + " stop " + shell_quote(dir_->path()));
  running_ = false;
}

std::string MariaDbServer::ClientCommand(const std::string& charset) const {
  std::string cmd = "mariadb --no-defaults -S " + shell_quote(socket_path()) + " -uroot";
  if (!charset.empty()) cmd += " --default-character-set=" + charset;
  return cmd;
}

std::string MariaDbServer::Sql(const std::string& sql, const std::string& database,
                               const std::string& charset) const {
  std::string cmd = ClientCommand(charset) + " --batch --skip-column-names";
  if (!database.empty()) cmd += " " + shell_quote(database);
  cmd += " -e " + shell_quote(sql);
  return shell_output(cmd);
}

std::string private_loopback_address(int salt) {
  int n = 2 + static_cast<int>((::getpid() * 7 + salt) % 250);
  return "127.0.0." + std::to_string(n);
}

}  // namespace testsupport
