// Outcome texts of the backup run and the database-name check.
#include "app/run_texts.h"

#include "platform/codepage.h"

namespace app {
namespace {

constexpr const char* kArchiveSavedAt = "Yedek ar\xFEivi kaydedildi: ";

// The kinds as the operator reads them.
const char* kind_text(dump::ObjectKind kind) {
  switch (kind) {
    case dump::ObjectKind::kView:
      return "G\xF6r\xFCn\xFCmler";  // Görünümler
    case dump::ObjectKind::kRoutine:
      return "Sakl\xFD yordamlar ve i\xFElevler";  // Saklı yordamlar ve işlevler
    case dump::ObjectKind::kTrigger:
      return "Tetikleyiciler";
    case dump::ObjectKind::kEvent:
      return "Zamanlanm\xFD\xFE olaylar";  // Zamanlanmış olaylar
  }
  return "";
}

constexpr size_t kNamesShown = 5;

}  // namespace

void check_database_name(const std::string& db) {
  if (db.empty() || db == "." || db == ".." ||
      db.find_first_of(std::string("/\\\0", 3)) != std::string::npos)
    throw EBadDatabaseName(
        "Veritaban\xFD ad\xFD \"" + db +
        "\" yedek dosyas\xFD ad\xFD olamaz: bo\xFE, \".\" ya da \"..\" olamaz, \"/\" ya da "
        "\"\\\" i\xE7"
        "eremez. Hi\xE7"
        "bir dosya yaz\xFDlmad\xFD");
}

std::string success_message(const std::string& archive_path, bool uploaded) {
  std::string text = std::string(kSavedMessage) + "\r" + archive_path;
  if (uploaded) text += std::string("\r") + kUploadedMessage;
  return text;
}

std::string left_out_note(const std::vector<dump::LeftOutObject>& left_out) {
  if (left_out.empty()) return "";
  using Scope = dump::LeftOutObject::Scope;
  std::string text =
      "\rYede\xF0"
      "e al\xFDnamayan nesneler:";  // Yedeğe alınamayan nesneler:
  for (auto kind : {dump::ObjectKind::kView, dump::ObjectKind::kRoutine, dump::ObjectKind::kTrigger,
                    dump::ObjectKind::kEvent}) {
    // The whole kind first, then the named objects with the first one's
    // reason (the others' are alike).
    for (const auto& l : left_out) {
      if (l.kind != kind || l.scope == Scope::kOne) continue;
      text +=
          std::string("\r") + kind_text(kind) +
          (l.scope == Scope::kAll
               ? ": hi\xE7"
                 "biri yedeklenmedi ("                          // hiçbiri yedeklenmedi
               : ": hesab\xFDn g\xF6remedikleri olabilir (") +  // hesabın göremedikleri olabilir
          platform::utf8_to_ansi(l.reason) +
          ")";
    }
    std::string names, reason;
    size_t count = 0;
    for (const auto& l : left_out) {
      if (l.kind != kind || l.scope != Scope::kOne) continue;
      if (count++ == 0) reason = l.reason;
      if (count > kNamesShown) continue;
      names += (count > 1 ? ", \"" : "\"") + platform::utf8_to_ansi(l.name) + "\"";
    }
    if (count == 0) continue;
    if (count > kNamesShown) names += " ve " + std::to_string(count - kNamesShown) + " tane daha";
    text += std::string("\r") + kind_text(kind) + ": " + names + " (" +
            platform::utf8_to_ansi(reason) + ")";
  }
  return text;
}

std::string late_step_message(const std::string& archive_path, LateStep step,
                              const std::string& ftp_folder, const std::string& why) {
  std::string text = kArchiveSavedAt + archive_path + "\r";
  switch (step) {
    case LateStep::kSettings:
      text += "Ayarlar tablosu \"ayarlar\" okunamad\xFD, buluta yedekleme yap\xFDlmad\xFD:";
      break;
    case LateStep::kUpload:
      text += "Buluta y\xFCkleme (FTP klas\xF6r\xFC \"" + ftp_folder +
              "\") ba\xFE"
              "ar\xFDs\xFDz:";
      break;
    case LateStep::kNotice:
      text += "Ar\xFEiv buluta y\xFCklendi (FTP klas\xF6r\xFC \"" + ftp_folder +
              "\"), ancak bildirim g\xF6nderilemedi:";
      break;
  }
  return text + "\r" + why;
}

std::string cancelled_message(const std::string& archive_path_or_empty) {
  std::string text = kCancelledMessage;
  if (!archive_path_or_empty.empty())
    text += std::string("\r") + kArchiveSavedAt + archive_path_or_empty;
  return text;
}

}  // namespace app
