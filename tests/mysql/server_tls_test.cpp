// The connection against private MariaDB servers: a server that accepts
// only TLS (certificate made by openssl, require_secure_transport=ON), a
// server without TLS, and a server restarted between two uses of one
// connection.
#include <gtest/gtest.h>

#include <memory>

#include "mysql/my_connection.h"
#include "mysql/my_row_reader.h"
#include "mysql/my_sql_session.h"
#include "tests/support/mariadb_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using namespace mysql;
using testsupport::MariaDbServer;
using testsupport::shell_quote;

namespace {

void configure(TMyConnection& c, const MariaDbServer& server) {
  c.SetName("baglanti");
  c.SetServer(server.address());
  c.SetPort(server.port());
  c.SetUsername(MariaDbServer::kUser);
  c.SetPassword(MariaDbServer::kPassword);
  c.SetDatabase("yd");
  c.Options().SetCharset("latin5");
}

// The first column of every row of sql.
std::vector<std::string> column(TMyConnection& c, const std::string& sql) {
  std::vector<std::string> out;
  MyRowReader r(c);
  if (r.Execute(sql))
    while (r.Next()) out.emplace_back(r.Value(0));
  return out;
}

std::string session_status(TMyConnection& c, const std::string& name) {
  MyRowReader r(c);
  if (!r.Execute("SHOW SESSION STATUS LIKE '" + name + "'") || !r.Next()) return "<none>";
  return std::string(r.Value(1));
}

std::uint32_t server_thread_id(TMyConnection& c) {
  return static_cast<std::uint32_t>(std::stoul(column(c, "SELECT CONNECTION_ID()").at(0)));
}

}  // namespace

class TlsOnlyServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    certs_ = new testsupport::TempDir("certs");
    const std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -keyout " +
                            shell_quote(certs_->file("key.pem")) + " -out " +
                            shell_quote(certs_->file("cert.pem")) +
                            " -days 2 -subj /CN=127.0.0.1 >/dev/null 2>&1";
    ASSERT_EQ(testsupport::run_shell(cmd), 0);
    server_ = new MariaDbServer();
    server_->Start("127.0.0.1", 0,
                   {"--ssl-cert=" + certs_->file("cert.pem"),
                    "--ssl-key=" + certs_->file("key.pem"), "--require-secure-transport=ON"});
    server_->Sql("CREATE DATABASE IF NOT EXISTS yd");
    server_->Sql(
        "CREATE TABLE t (a INT PRIMARY KEY, b TEXT);"
        "INSERT INTO t SELECT seq, REPEAT('x', seq % 500) FROM seq_1_to_20000;",
        "yd");
  }
  static void TearDownTestSuite() {
    delete server_;
    delete certs_;
    server_ = nullptr;
    certs_ = nullptr;
  }
  static inline testsupport::TempDir* certs_ = nullptr;
  static inline MariaDbServer* server_ = nullptr;
};

TEST_F(TlsOnlyServer, LoginAndResultsGoOverTls) {
  TMyConnection c;
  configure(c, *server_);
  c.Connect();
  ASSERT_TRUE(c.Connected());
  EXPECT_TRUE(c.Session().TlsActive());
  EXPECT_EQ(session_status(c, "Ssl_version").rfind("TLSv1.", 0), 0u)
      << session_status(c, "Ssl_version");
  // A result of several megabytes arrives whole through the TLS records.
  EXPECT_EQ(column(c, "SELECT SUM(LENGTH(b)), COUNT(*) FROM yd.t").at(0), "4990000");
  std::size_t rows = 0, bytes = 0;
  MyRowReader r(c);
  ASSERT_TRUE(r.Execute("SELECT a, b FROM yd.t ORDER BY a"));
  while (r.Next()) {
    ++rows;
    bytes += r.Value(1).size();
  }
  EXPECT_EQ(rows, 20000u);
  EXPECT_EQ(bytes, 4990000u);
}

TEST_F(TlsOnlyServer, WithoutTlsTheServerRefusesTheLogin) {
  // The same login with TLS switched off must fail: the server really
  // insists on TLS, so the test above could pass only over TLS.
  TMySqlSession s;
  s.connect_timeout = 5;
  s.tls_preferred = false;
  EXPECT_THROW(s.Connect(server_->address(), MariaDbServer::kUser, MariaDbServer::kPassword, "yd",
                         server_->port(), CLIENT_FOUND_ROWS | CLIENT_MULTI_STATEMENTS),
               EMyError);
  EXPECT_FALSE(s.IsOpen());
}

TEST(PlainServer, LoginWithoutTlsAndReconnectAfterARestart) {
  MariaDbServer server;
  server.Start("127.0.0.1", 0);
  server.Sql("CREATE DATABASE IF NOT EXISTS yd");
  TMyConnection c;
  configure(c, server);
  int lost = 0;
  c.OnConnectionLost = [&](TMyConnection&) { ++lost; };
  c.Connect();
  EXPECT_FALSE(c.Session().TlsActive());
  EXPECT_EQ(session_status(c, "Ssl_version"), "");
  const std::uint32_t first = server_thread_id(c);

  // A live connection is kept.
  EXPECT_FALSE(c.EnsureConnected());
  EXPECT_EQ(server_thread_id(c), first);

  // Restarted between two runs: the next run gets a new connection at once.
  server.Stop();
  server.Start("127.0.0.1", server.port());
  EXPECT_TRUE(c.EnsureConnected());
  EXPECT_TRUE(c.Connected());
  EXPECT_EQ(lost, 1);
  EXPECT_NE(server_thread_id(c), first);
  EXPECT_EQ(column(c, "SELECT 40 + 2").at(0), "42");

  // Down at the start of a run: the connect error, then a connect once the
  // server is back.
  server.Stop();
  try {
    c.EnsureConnected();
    ADD_FAILURE() << "no error with the server stopped";
  } catch (const EMyError& e) {
    EXPECT_EQ(e.ErrorCode(), CR_CONN_HOST_ERROR) << e.what();
  }
  EXPECT_FALSE(c.Connected());
  server.Start("127.0.0.1", server.port());
  EXPECT_TRUE(c.EnsureConnected());
  EXPECT_EQ(column(c, "SELECT 1").at(0), "1");
}
