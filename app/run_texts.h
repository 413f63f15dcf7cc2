// Texts of the backup run's outcome and the check of the database name.
// Pure functions; texts Windows-1254, lines separated by a single CR.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "dump/dump_processor.h"

namespace app {

inline constexpr const char* kSavedMessage =
    "Dosyaya ba\xFE"
    "ar\xFDyla kaydedildi...";
inline constexpr const char* kUploadedMessage =
    "Dosyaya ba\xFE"
    "ar\xFDyla buluta y\xFCklendi...";
inline constexpr const char* kCancelledMessage = "Yedekleme iptal edildi.";
// Asked when the window is closed while a run is going.
inline constexpr const char* kCancelQuestion =
    "Yedekleme s\xFCr\xFCyor. Yedekleme iptal edilsin mi?";

// Raised before anything is written when the database name cannot name a
// file in the current folder.
class EBadDatabaseName : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A step after the archive failed; the message says the archive is saved,
// which step failed and why.
class EStepFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws EBadDatabaseName for "", ".", "..", or a name holding "/", "\" or a
// zero byte: such a name would put the script or the archive elsewhere.
void check_database_name(const std::string& db);

// "Dosyaya başarıyla kaydedildi..." CR path [CR "Dosyaya başarıyla buluta
// yüklendi..."].
std::string success_message(const std::string& archive_path, bool uploaded);

// What the dump left out, for the end of the success message: "" when
// nothing, else CR "Yedeğe alınamayan nesneler:" and one line per kind,
// naming the objects (up to five, then how many more) or saying that the
// account may not see them all, with the reason.
std::string left_out_note(const std::vector<dump::LeftOutObject>& left_out);

// The steps that may fail once the archive is made.
enum class LateStep { kSettings, kUpload, kNotice };

// "Yedek arşivi kaydedildi: <path>" CR what failed CR why.
std::string late_step_message(const std::string& archive_path, LateStep step,
                              const std::string& ftp_folder, const std::string& why);

// "Yedekleme iptal edildi." [CR "Yedek arşivi kaydedildi: <path>"] when the
// archive was already complete when the run was cancelled.
std::string cancelled_message(const std::string& archive_path_or_empty);

}  // namespace app
