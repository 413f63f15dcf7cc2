// Streaming benchmark: reads a generated 1,000,000-row table through the
// forward row reader and through `mariadb --quick --batch` against the same
// private server, and prints rows per second for both, the ratio and the
// reader's peak RSS (read before and after, to show it does not grow with
// the row count).
//
// Usage: mysql_row_reader_bench [rows]   (default 1000000)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mysql/my_connection.h"
#include "mysql/my_row_reader.h"
#include "tests/support/mariadb_server.h"
#include "tests/support/process.h"

namespace {

long peak_rss_kb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

double seconds_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  testsupport::MariaDbServer server;
  server.Start();
  std::printf("generating %ld rows...\n", rows);
  server.Sql(
      "CREATE DATABASE b; USE b; CREATE TABLE b.t (id INT PRIMARY KEY, name VARCHAR(40),"
      " amount DECIMAL(12,2), at DATETIME, note TEXT NULL);"
      "INSERT INTO b.t SELECT seq, CONCAT('isim ', seq), seq / 100,"
      " '2024-01-01' + INTERVAL seq SECOND, IF(seq % 3 = 0, NULL, REPEAT('n', seq % 50))"
      " FROM seq_1_to_" +
      std::to_string(rows));

  mysql::TMyConnection c;
  c.SetServer(server.address());
  c.SetPort(server.port());
  c.SetUsername(testsupport::MariaDbServer::kUser);
  c.SetPassword(testsupport::MariaDbServer::kPassword);
  c.SetDatabase("b");
  c.Options().SetCharset("latin5");
  c.Connect();

  auto read_once = [&](long limit) {
    mysql::MyRowReader r(c);
    r.Execute("SELECT * FROM t" + (limit ? " LIMIT " + std::to_string(limit) : std::string()));
    long n = 0;
    std::size_t bytes = 0;
    while (r.Next()) {
      ++n;
      for (std::size_t i = 0; i < r.ColumnCount(); ++i) bytes += r.Value(i).size();
    }
    return std::make_pair(n, bytes);
  };
  read_once(rows / 10);  // warm the server's buffers
  const long rss_before = peak_rss_kb();
  auto t0 = std::chrono::steady_clock::now();
  auto [n, bytes] = read_once(0);
  const double reader_s = seconds_since(t0);
  const long rss_after = peak_rss_kb();

  const std::string cmd =
      "mariadb --no-defaults -h " + server.address() + " -P " + std::to_string(server.port()) +
      " -u" + testsupport::MariaDbServer::kUser + " -p" + testsupport::MariaDbServer::kPassword +
      " --quick --batch b -e 'SELECT * FROM t' > /dev/null";
  auto t1 = std::chrono::steady_clock::now();
  if (testsupport::run_shell(cmd) != 0) {
    std::fprintf(stderr, "mariadb client failed\n");
    return 1;
  }
  const double client_s = seconds_since(t1);

  std::printf("rows read: %ld (%zu value bytes)\n", n, bytes);
  std::printf("row reader:     %.2f s, %.0f rows/s\n", reader_s, n / reader_s);
  std::printf("mariadb client: %.2f s, %.0f rows/s\n", client_s, rows / client_s);
  std::printf("ratio reader/client: %.2f\n", client_s / reader_s);
  std::printf("reader peak RSS: %ld KiB before the full read, %ld KiB after\n", rss_before,
              rss_after);
  return 0;
}
