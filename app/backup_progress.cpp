// Progress board of the backup run and the texts of the progress label.
#include "app/backup_progress.h"

#include <cstdio>

namespace app {

std::string phase_text(RunPhase phase) {
  switch (phase) {
    case RunPhase::kIdle:
      return "";
    case RunPhase::kListing:
      return "Tablolar listeleniyor";
    case RunPhase::kDumping:
      return "Tablolar yedekleniyor";
    case RunPhase::kArchiving:
      return "Ar\xFEiv olu\xFEturuluyor";
    case RunPhase::kVerifying:
      return "Ar\xFEiv do\xF0rulan\xFDyor";
    case RunPhase::kSettings:
      return "Ayarlar okunuyor";
    case RunPhase::kUploading:
      return "Buluta y\xFCkleniyor";
    case RunPhase::kNotice:
      return "Bildirim g\xF6nderiliyor";
  }
  return "";
}

std::string megabytes_text(std::uint64_t bytes) {
  const std::uint64_t tenths = (bytes * 10 + 524288) / 1048576;
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " MB";
}

std::string progress_text(const RunProgress& p) {
  if (p.phase == RunPhase::kIdle) return "";
  std::string text = phase_text(p.phase);
  switch (p.phase) {
    case RunPhase::kDumping:
      text += "\nTablo " + std::to_string(p.table_number) + " / " + std::to_string(p.table_count);
      if (!p.table_name.empty()) text += ": " + p.table_name;
      text += " (%" + std::to_string(p.table_percent) + ")";
      text += "\nBetik: " + megabytes_text(p.script_bytes);
      break;
    case RunPhase::kArchiving:
      text += "\n" + megabytes_text(p.archive_bytes_done) + " / " +
              megabytes_text(p.archive_bytes_total);
      break;
    case RunPhase::kUploading:
      text += "\n" + megabytes_text(p.upload_sent) + " / " + megabytes_text(p.upload_total);
      break;
    default:
      break;
  }
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(p.elapsed).count();
  char clock[32];
  std::snprintf(clock, sizeof clock, "%02lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
  text += "\nS\xFCre: ";
  text += clock;
  return text;
}

void ProgressBoard::Begin() {
  std::lock_guard lock(mutex_);
  progress_ = RunProgress{};
  progress_.phase = RunPhase::kListing;  // a run opens with the table list
  start_ = std::chrono::steady_clock::now();
  last_notice_ = {};
  phase_changed_ = true;
}

RunProgress ProgressBoard::Snapshot() const {
  std::lock_guard lock(mutex_);
  RunProgress p = progress_;
  if (p.phase != RunPhase::kIdle) p.elapsed = std::chrono::steady_clock::now() - start_;
  return p;
}

void ProgressBoard::SetPhase(RunPhase phase) {
  std::lock_guard lock(mutex_);
  progress_.phase = phase;
  phase_changed_ = true;
}

void ProgressBoard::SetTable(int number, int count, const std::string& name) {
  std::lock_guard lock(mutex_);
  progress_.table_number = number;
  progress_.table_count = count;
  progress_.table_name = name;
  progress_.table_percent = 0;
}

void ProgressBoard::SetTablePercent(int percent) {
  std::lock_guard lock(mutex_);
  progress_.table_percent = percent;
}

void ProgressBoard::SetScriptBytes(std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  progress_.script_bytes = bytes;
}

void ProgressBoard::SetArchiveBytes(std::uint64_t done, std::uint64_t total) {
  std::lock_guard lock(mutex_);
  progress_.archive_bytes_done = done;
  progress_.archive_bytes_total = total;
}

void ProgressBoard::SetUpload(std::uint64_t sent, std::uint64_t total) {
  std::lock_guard lock(mutex_);
  progress_.upload_sent = sent;
  progress_.upload_total = total;
}

bool ProgressBoard::ShouldNotify() {
  std::lock_guard lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  if (!phase_changed_ && now - last_notice_ < kThrottle) return false;
  phase_changed_ = false;
  last_notice_ = now;
  return true;
}

}  // namespace app
