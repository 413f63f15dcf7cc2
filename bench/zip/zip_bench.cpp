// Benchmark of the archive writer: archives one file with the application's
// settings and prints the wall time, the archive size, the ratio and the
// peak resident memory of this process (before and after). Run by run.sh,
// which also times zip -1 and gzip -1 on the same file.
//
// Usage: zip_bench <source file> <archive>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/codepage.h"
#include "zip/archive_check.h"
#include "zip/zip_archiver.h"

namespace {
long peak_rss_kib() {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <source file> <archive>\n", argv[0]);
    return 2;
  }
  const long idle = peak_rss_kib();
  const auto t0 = std::chrono::steady_clock::now();
  {
    zip::TZipArchiver a;
    a.SetName("ZipArchiver1");
    a.SetCompressionLevel(zip::clFastest);
    a.SetCompressionMode(1);
    a.SetSpanningMode(zip::smNone);
    a.SetZip64Mode(zip::zmDisabled);
    a.SetUnicodeFilenames(false);
    a.Options().OEMFileNames = true;
    a.Options().FlushBuffers = true;
    a.SetFileName(platform::utf8_to_utf16(argv[2]));
    a.Open(zip::kCreateMode);
    a.SetBaseDir(u"");
    a.AddFromMask(platform::utf8_to_utf16(argv[1]));
    a.Close();
  }
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const long peak = peak_rss_kib();
  const auto in = std::filesystem::file_size(argv[1]);
  const auto out = std::filesystem::file_size(argv[2]);
  std::printf(
      "yedekalma zip   %7.2f s  %12ju bytes  ratio %5.2f%%  %6.1f MB/s  peak RSS %ld KiB (idle %ld "
      "KiB, +%ld KiB)\n",
      secs, static_cast<uintmax_t>(out), 100.0 * static_cast<double>(out) / static_cast<double>(in),
      static_cast<double>(in) / secs / 1e6, peak, idle, peak - idle);
  auto l = zip::list_archive(argv[2]);
  if (l.entries.size() != 1) {
    std::printf("archive does not hold one entry\n");
    return 1;
  }
  auto check = zip::verify_entry(argv[2], l.entries[0].name_bytes);
  std::printf("entry check: %s\n", check.ok ? "ok" : check.problem.c_str());
  return check.ok ? 0 : 1;
}
