// Upload benchmark: stores one large file on a running loopback FTP server
// with TNetFTP (passive, binary) and with `curl -T` (passive, binary), in
// turns, and prints MB/s of both, their ratio and the process's peak memory
// before and after the uploads. bench/ftp/run.sh starts the server.
//
// Usage: ftp_bench PORT USER PASSWORD REMOTE_DIR LOCAL_FILE [ROUNDS]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ftp/net_ftp.h"

namespace {

long peak_rss_kib() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double upload_ours(int port, const std::string& user, const std::string& pass,
                   const std::string& dir, const std::string& file) {
  auto t0 = std::chrono::steady_clock::now();
  ftp::TNetFTP c;
  c.SetHost("127.0.0.1");
  c.SetPort(static_cast<std::uint16_t>(port));
  c.SetUsername(user);
  c.SetPassword(pass);
  c.SetTransferType(ftp::TNetFTPTransferType::ftBinary);
  ftp::TFileStream stream(file);
  c.Connect();
  c.SetPassive(true);
  c.ChangeWorkingDir(dir);
  c.Put(stream, "ours.bin");
  c.Disconnect();
  return seconds_since(t0);
}

double upload_curl(int port, const std::string& user, const std::string& pass,
                   const std::string& dir, const std::string& file) {
  std::string cmd = "curl -s -S --ftp-pasv -T '" + file + "' -u '" + user + ":" + pass +
                    "' 'ftp://127.0.0.1:" + std::to_string(port) + "/" + dir + "/curl.bin'";
  auto t0 = std::chrono::steady_clock::now();
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr, "curl failed\n");
    std::exit(1);
  }
  return seconds_since(t0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: %s PORT USER PASSWORD REMOTE_DIR LOCAL_FILE [ROUNDS]\n", argv[0]);
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const std::string user = argv[2], pass = argv[3], dir = argv[4], file = argv[5];
  const int rounds = argc > 6 ? std::atoi(argv[6]) : 3;
  ftp::TFileStream probe(file);
  const double mb = static_cast<double>(probe.Size()) / 1e6;

  const long rss_before = peak_rss_kib();
  std::vector<double> ours, curl;
  try {
    for (int r = 0; r < rounds; ++r) {
      ours.push_back(upload_ours(port, user, pass, dir, file));
      curl.push_back(upload_curl(port, user, pass, dir, file));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "upload failed: %s\n", e.what());
    return 1;
  }
  const long rss_after = peak_rss_kib();
  // Best of the rounds: the machine is shared and noisy.
  const double best_ours = *std::min_element(ours.begin(), ours.end());
  const double best_curl = *std::min_element(curl.begin(), curl.end());
  std::printf("file: %.1f MB, rounds: %d (best of each)\n", mb, rounds);
  for (int r = 0; r < rounds; ++r)
    std::printf("  round %d: TNetFTP %.1f MB/s, curl %.1f MB/s\n", r + 1, mb / ours[r],
                mb / curl[r]);
  std::printf("TNetFTP: %.1f MB/s\n", mb / best_ours);
  std::printf("curl -T: %.1f MB/s\n", mb / best_curl);
  std::printf("ratio TNetFTP/curl: %.2f (target >= 0.90)\n", best_curl / best_ours);
  std::printf("peak RSS: %ld KiB before uploads, %ld KiB after (growth %ld KiB)\n", rss_before,
              rss_after, rss_after - rss_before);
  return 0;
}
