// Benchmark of the dump: one table dumped with the application's settings
// into a file sink that ends each line with CR LF (as the backup run writes
// its script), then the same table dumped by
// mariadb-dump into a file. Prints both wall times, their ratio and the peak
// resident memory of each.
//
// Usage: dump_bench ADDRESS PORT USER PASSWORD DATABASE TABLE OUT_DIR
// (bench/dump/run.sh starts a server, fills the table and calls this).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "dump/my_dump.h"
#include "mysql/charset.h"
#include "mysql/my_connection.h"

namespace {

// Appends each line (UTF-8 as the dump reads it) with CR LF, through a
// 1 MiB buffer, as the backup run's script does.
class ScriptSink : public dump::LineSink {
 public:
  explicit ScriptSink(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {
    if (!file_) throw std::runtime_error("cannot create " + path);
    buffer_.reserve(kBuffer + 64 * 1024);
  }
  ~ScriptSink() { Close(); }
  void Emit(std::string_view line) override {
    buffer_.append(line);
    buffer_ += "\r\n";
    if (buffer_.size() >= kBuffer) Flush();
  }
  void Close() {
    if (!file_) return;
    Flush();
    if (std::fclose(file_) != 0) throw std::runtime_error("write failed");
    file_ = nullptr;
  }
  std::size_t bytes() const { return bytes_; }

 private:
  static constexpr std::size_t kBuffer = 1 << 20;
  void Flush() {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
      throw std::runtime_error("write failed");
    }
    bytes_ += buffer_.size();
    buffer_.clear();
  }
  std::FILE* file_;
  std::string buffer_;
  std::size_t bytes_ = 0;
};

// Resident set size figures of this process from /proc, in KiB.
long proc_status_kib(const char* key) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
  }
  return -1;
}

constexpr int kRounds = 3;

// User plus system CPU seconds of a resource usage record.
double cpu_seconds(const rusage& u) {
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double self_cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return cpu_seconds(u);
}

double seconds_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8) {
    std::cerr << "usage: dump_bench ADDRESS PORT USER PASSWORD DATABASE TABLE OUT_DIR\n";
    return 2;
  }
  const std::string address = argv[1], user = argv[3], password = argv[4], db = argv[5],
                    table = argv[6], out_dir = argv[7];
  const int port = std::stoi(argv[2]);

  mysql::TMyConnection conn;
  conn.SetServer(address);
  conn.SetPort(port);
  conn.SetUsername(user);
  conn.SetPassword(password);
  conn.SetDatabase(db);
  conn.Options().SetCharset(std::string(mysql::kUnicodeCharset));  // as the program does
  conn.Connect();

  dump::TMyDump d("MyDump");
  d.SetConnection(&conn);
  d.SetObjects({dump::TMyDumpObject::doTables, dump::TMyDumpObject::doData});
  d.Options().GenerateHeader = false;
  d.Options().AddDrop = false;
  d.Options().QuoteNames = true;
  d.SetTableEntries({{"", table}});

  const std::string out = out_dir + "/mariadb-dump.sql";
  // mariadb-dump of the same table, in a child whose peak memory wait4 reports.
  auto run_theirs = [&](long& peak_kib, double& cpu) {
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
      if (!std::freopen(out.c_str(), "wb", stdout)) _exit(126);
      const std::string pass = "--password=" + password;
      const std::string host = "--host=" + address, port_opt = "--port=" + std::to_string(port);
      // Over TCP to the same server, as our dump connects.
      execlp("mariadb-dump", "mariadb-dump", "--no-defaults", "--protocol=TCP", host.c_str(),
             port_opt.c_str(), "-u", user.c_str(), pass.c_str(), "--skip-comments",
             "--skip-add-drop-table", "--skip-disable-keys", "--no-create-db",
             "--default-character-set=utf8mb4", db.c_str(), table.c_str(),
             static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      throw std::runtime_error("mariadb-dump failed");
    peak_kib = usage.ru_maxrss;
    cpu = cpu_seconds(usage);
    return seconds_since(t0);
  };

  // The machine is shared and noisy: alternate the two a few times and
  // compare the best runs.
  const long idle_kib = proc_status_kib("VmRSS:");
  double ours = 1e9, theirs = 1e9, our_cpu = 1e9, their_cpu = 1e9;
  long their_peak = 0;
  std::size_t our_bytes = 0;
  for (int round = 1; round <= kRounds; ++round) {
    auto t0 = std::chrono::steady_clock::now();
    const double c0 = self_cpu_seconds();
    ScriptSink sink(out_dir + "/yedek.sql");
    d.Backup(&sink);
    sink.Close();
    const double o = seconds_since(t0);
    const double oc = self_cpu_seconds() - c0;
    our_bytes = sink.bytes();
    long peak = 0;
    double tc = 0;
    const double t = run_theirs(peak, tc);
    their_peak = std::max(their_peak, peak);
    std::printf(
        "round %d: yedekalma %.2f s (client CPU %.2f s), mariadb-dump %.2f s (client CPU %.2f s)\n",
        round, o, oc, t, tc);
    our_cpu = std::min(our_cpu, oc);
    their_cpu = std::min(their_cpu, tc);
    ours = std::min(ours, o);
    theirs = std::min(theirs, t);
  }
  const long peak_kib = proc_status_kib("VmHWM:");
  std::ifstream theirs_file(out, std::ios::binary | std::ios::ate);

  std::printf(
      "yedekalma dump : best %5.2f s  %6.1f MB  peak RSS %5.1f MiB (idle %.1f MiB, +%.1f MiB)\n",
      ours, our_bytes / 1e6, peak_kib / 1024.0, idle_kib / 1024.0, (peak_kib - idle_kib) / 1024.0);
  std::printf("mariadb-dump   : best %5.2f s  %6.1f MB  peak RSS %5.1f MiB\n", theirs,
              static_cast<double>(theirs_file.tellg()) / 1e6, their_peak / 1024.0);
  std::printf("ratio of best times (yedekalma / mariadb-dump): %.2f\n", ours / theirs);
  std::printf("client CPU, best: yedekalma %.2f s, mariadb-dump %.2f s, ratio %.2f\n", our_cpu,
              their_cpu, our_cpu / their_cpu);
  return 0;
}
