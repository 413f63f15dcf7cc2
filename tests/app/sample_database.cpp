// The sample database of the backup tests.
#include "tests/app/sample_database.h"

namespace apptest {

std::string sample_database_sql(const std::string& db, int bulutyedekleme,
                                const std::string& levhano) {
  std::string s = "CREATE DATABASE `" + db + "` CHARACTER SET latin5; USE `" + db + "`;";
  s += "CREATE TABLE musteri (id INT PRIMARY KEY, ad VARCHAR(60), notlar TEXT, bakiye "
       "DECIMAL(12,2), kayit DATETIME) ENGINE=InnoDB;";
  s += "INSERT INTO musteri VALUES "
       "(1, '\xDE\x65kerci \xDD\x62rahim \xD0\xFC\xE7l\xFC', 'sat\xFDr1\\r\\nsat\xFDr2', 1250.50, "
       "'2024-01-02 03:04:05'),"
       "(2, 'O''Brien \\\\ \"q\"', NULL, -3.10, NULL),"
       "(3, '/*!40101 SET NAMES latin5 */;', 'tab\\there\\0nul', 0, '1999-12-31 23:59:59');";
  s += "CREATE TABLE urun (kod VARCHAR(20), fiyat DOUBLE, resim BLOB, adet SMALLINT);";
  s += "INSERT INTO urun VALUES ('A1', 1.5, 0x00FF0D0A1A27, 7), ('B2', NULL, NULL, -1);";
  s += "INSERT INTO urun SELECT CONCAT('S', seq), seq / 7, NULL, seq % 100 FROM seq_1_to_2000;";
  s += "CREATE TABLE bos (x INT);";
  s += "CREATE TABLE ayarlar (id INT, bulutyedekleme SMALLINT, levhano VARCHAR(100));";
  s += "INSERT INTO ayarlar VALUES (1, " + std::to_string(bulutyedekleme) + ", '" + levhano + "');";
  s += "CREATE VIEW pahali AS SELECT kod, fiyat FROM urun WHERE fiyat > 100;";
  return s;
}

}  // namespace apptest
