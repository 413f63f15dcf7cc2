// The sample database of the backup tests: several tables with Turkish text,
// NULLs, numbers, dates and bytes, a view, and the settings table `ayarlar`.
#pragma once

#include <string>

namespace apptest {

// SQL (Windows-1254 / latin5) creating database `db` with its tables.
std::string sample_database_sql(const std::string& db, int bulutyedekleme,
                                const std::string& levhano);

// Table names of the sample (the view excluded), for checksums.
inline const char* const kSampleTables[] = {"musteri", "urun", "ayarlar", "bos"};

}  // namespace apptest
