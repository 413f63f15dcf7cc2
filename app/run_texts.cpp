// Outcome texts of the backup run and the database-name check.
#include "app/run_texts.h"

namespace app {
namespace {

constexpr const char* kArchiveSavedAt = "Yedek ar\xFEivi kaydedildi: ";

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
