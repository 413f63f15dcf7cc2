// Progress of a backup run, shared between the worker that makes the backup
// and the user-interface thread that shows it.
//
// The worker updates the board as it goes (phase, table i of n, bytes of the
// script, upload bytes); the user-interface thread takes a snapshot whenever
// it repaints the progress label. Every method is safe from any thread.
// progress_text turns a snapshot into the label's lines (Windows-1254).
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace app {

enum class RunPhase {
  kIdle,
  kListing,
  kDumping,
  kArchiving,
  kVerifying,
  kSettings,
  kUploading,
  kNotice
};

struct RunProgress {
  RunPhase phase = RunPhase::kIdle;
  int table_number = 0;  // 1-based while dumping
  int table_count = 0;
  std::string table_name;  // Windows-1254
  int table_percent = 0;   // rows of the current table written, in percent
  std::uint64_t script_bytes = 0;
  std::uint64_t archive_bytes_done = 0;  // compressed so far
  std::uint64_t archive_bytes_total = 0;
  std::uint64_t upload_sent = 0;
  std::uint64_t upload_total = 0;
  std::chrono::steady_clock::duration elapsed{};
};

// The phase as the window names it ("Tablolar yedekleniyor", ...).
std::string phase_text(RunPhase phase);
// "12,3 MB" (one decimal, comma) for byte counts.
std::string megabytes_text(std::uint64_t bytes);
// The progress label's lines, separated by "\n"; empty for Idle.
std::string progress_text(const RunProgress& progress);

class ProgressBoard {
 public:
  // Starts the clock and clears everything; the phase is Listing.
  void Begin();
  RunProgress Snapshot() const;

  void SetPhase(RunPhase phase);
  void SetTable(int number, int count, const std::string& name);
  void SetTablePercent(int percent);
  void SetScriptBytes(std::uint64_t bytes);
  void SetArchiveBytes(std::uint64_t done, std::uint64_t total);
  void SetUpload(std::uint64_t sent, std::uint64_t total);

  // True at most every kThrottle (and always after a phase change): the
  // worker then tells the user-interface thread to repaint the label.
  bool ShouldNotify();

  static constexpr std::chrono::milliseconds kThrottle{250};

 private:
  mutable std::mutex mutex_;
  RunProgress progress_;
  std::chrono::steady_clock::time_point start_{};
  std::chrono::steady_clock::time_point last_notice_{};
  bool phase_changed_ = false;
};

}  // namespace app
