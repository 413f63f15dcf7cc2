// One private MariaDB server for a dump test program, and helpers to connect
// to it and run a dump the way the application does.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dump/my_dump.h"
#include "mysql/my_connection.h"
#include "tests/support/mariadb_server.h"

namespace dumptest {

// Starts the server before the first test and stops it after the last.
class ServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    server_ = std::make_unique<testsupport::MariaDbServer>();
    server_->Start();
  }
  void TearDown() override { server_.reset(); }
  static testsupport::MariaDbServer& server() { return *server_; }

 private:
  static inline std::unique_ptr<testsupport::MariaDbServer> server_;
};

inline testsupport::MariaDbServer& server() { return ServerEnvironment::server(); }

// A connection as the main window sets it up: latin5, database in the login.
inline std::unique_ptr<mysql::TMyConnection> connect(const std::string& database,
                                                     const std::string& charset = "latin5") {
  auto c = std::make_unique<mysql::TMyConnection>();
  c->SetName("baglanti");
  c->SetServer(server().address());
  c->SetPort(server().port());
  c->SetUsername(testsupport::MariaDbServer::kUser);
  c->SetPassword(testsupport::MariaDbServer::kPassword);
  c->SetDatabase(database);
  c->Options().SetCharset(charset);
  c->Connect();
  return c;
}

// MyDump as the main window configures it.
inline void app_settings(dump::TMyDump& d) {
  d.SetObjects({dump::TMyDumpObject::doTables, dump::TMyDumpObject::doData});
  d.Options().GenerateHeader = false;
  d.Options().AddDrop = false;
}

}  // namespace dumptest
