// A backup run on a database built to lose data: text in many character
// sets and scripts, binary and spatial values, TIMESTAMPs in the autumn fold
// of a server zone with daylight saving time, INVISIBLE and generated columns,
// FLOATs, invalid dates and names of every kind, in a database whose name has
// Turkish letters. The archive's single entry is restored with both commands
// of the README into empty databases and compared with the source by CHECKSUM
// TABLE, SHOW CREATE TABLE and UNIX_TIMESTAMP of every TIMESTAMP value.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "app/event_handler.h"
#include "app/yedekalma.h"
#include "tests/app/fake_window.h"
#include "tests/app/run_folder.h"
#include "tests/support/fake_user_interface.h"
#include "tests/support/mariadb_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::shell_quote;

// "veritabanış" in UTF-8 (the server) and in Windows-1254 (yedekleme.ini).
const std::string kDb = "veritaban\xC4\xB1\xC5\x9F";
const std::string kDbAnsi = "veritaban\xFD\xFE";

// The adversarial database, UTF-8 text for a utf8mb4 session.
const char* const kSchema = R"SQL(
SET NAMES utf8mb4;
SET @all = (SELECT UNHEX(GROUP_CONCAT(LPAD(HEX(seq), 2, '0') ORDER BY seq SEPARATOR '')) FROM seq_0_to_255);
CREATE TABLE metin (id INT PRIMARY KEY, u VARCHAR(100) CHARACTER SET utf8mb4,
  l1 VARCHAR(300) CHARACTER SET latin1, l5 VARCHAR(300) CHARACTER SET latin5,
  t5 TEXT CHARACTER SET latin5, ub VARCHAR(20) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin)
  DEFAULT CHARSET=latin5;
INSERT INTO metin VALUES
  (1, '₺ € Привет Ελληνικά 中文 😀 şğıİ ''"\\', 'ð ý þ ÿ', 'şğıİÇÖÜ', 'Şekerci', 'Ab😀'),
  (2, CONCAT('a', CHAR(0), 'b', CHAR(10), CHAR(13), CHAR(26)), NULL, NULL, NULL, ''),
  (3, NULL, CAST(@all AS CHAR CHARACTER SET latin1), CAST(@all AS CHAR CHARACTER SET latin5),
   CAST(@all AS CHAR CHARACTER SET latin5), NULL);
CREATE TABLE tanim (id INT PRIMARY KEY, c VARCHAR(10) DEFAULT 'Привет',
  s VARCHAR(5) CHECK (s <> '★'), e ENUM('★','☆'), `ad€` INT, `ad₺` INT) DEFAULT CHARSET=utf8mb4;
INSERT INTO tanim (id, s, e, `ad€`, `ad₺`) VALUES (1, 'a', '☆', 1, 2), (2, '☆', '★', 3, 4);
CREATE TABLE ikili (id INT PRIMARY KEY, b BLOB, vb VARBINARY(300), bn BINARY(4),
  g GEOMETRY, bt BIT(12));
INSERT INTO ikili VALUES (1, @all, @all, 0x00FF80A0, ST_GeomFromText('POINT(1 2)'), b'101010101010'),
  (2, '', X'', NULL, ST_GeomFromText('LINESTRING(0 0,1 1,2 5)'), NULL);
CREATE TABLE kolon (id INT PRIMARY KEY, gizli INT INVISIBLE, a INT,
  v INT AS (a * 2) VIRTUAL, st INT AS (a + 1) STORED);
INSERT INTO kolon (id, gizli, a) VALUES (1, 7, 3), (2, NULL, 4);
CREATE TABLE sayi (id INT PRIMARY KEY, f FLOAT, fu FLOAT UNSIGNED, d DOUBLE, n DECIMAL(30,10));
INSERT INTO sayi VALUES (1, 1.2345678, 16777217, 1.2345678901234567, 12345678901234567890.1234567891),
  (2, -3.4e38, 1e-30, -2.2250738585072014e-308, -0.0000000001), (3, NULL, NULL, NULL, NULL);
SET SESSION sql_mode = 'ALLOW_INVALID_DATES';
CREATE TABLE tarih (id INT PRIMARY KEY, d DATE, dt DATETIME);
INSERT INTO tarih VALUES (1, '2024-02-30', '2023-04-31 10:20:30'), (2, '0000-00-00', NULL);
SET SESSION sql_mode = DEFAULT;
SET SESSION time_zone = '+00:00';
CREATE TABLE zaman (id INT PRIMARY KEY, ts TIMESTAMP NULL DEFAULT NULL, ts6 TIMESTAMP(6) NULL);
INSERT INTO zaman VALUES (1, '2024-10-27 00:30:00', '2024-10-27 00:59:59.999999'),
  (2, '2024-10-27 01:30:00', '2024-10-27 01:00:00.000001'), (3, '2024-03-31 01:30:00', NULL);
SET SESSION time_zone = DEFAULT;
CREATE TABLE `'q'` (id INT);
INSERT INTO `'q'` VALUES (1);
CREATE TABLE q (id INT);
INSERT INTO q VALUES (2), (3);
CREATE TABLE Kayit (id INT);
INSERT INTO Kayit VALUES (10), (20);
CREATE VIEW kayit AS SELECT id FROM Kayit;
CREATE TABLE `select` (`order` INT, `from` VARCHAR(5));
INSERT INTO `select` VALUES (1, 'to');
)SQL";

// A database with every kind of object besides tables, for a utf8mb4 session:
// views on views on views (named so that the list's order puts a view before
// the one it uses), a view with CHECK OPTION and one with another DEFINER and
// a name of backticks, quotes and Turkish letters, one whose definer is gone
// (the server then names the database in its definition); triggers that would change
// the rows if they fired while the rows load, two of them ordered against
// their creation; routines whose meaning depends on the sql_mode they were
// made under, a body holding ";;"; events enabled and disabled, in their own
// time zones.
const char* const kObjects = R"SQL(
SET NAMES utf8mb4;
CREATE USER IF NOT EXISTS muhasebe@'%';
GRANT ALL ON `nesne%`.* TO muhasebe@'%';
CREATE TABLE ayarlar (bulutyedekleme SMALLINT, levhano VARCHAR(100));
INSERT INTO ayarlar VALUES (0, '34ABC123');
CREATE TABLE hareket (id INT PRIMARY KEY, tutar INT, aciklama VARCHAR(20));
CREATE TABLE kayitlar (id INT AUTO_INCREMENT PRIMARY KEY, olay VARCHAR(100));
CREATE FUNCTION iki_kat(x INT) RETURNS INT DETERMINISTIC RETURN x * 2;
CREATE VIEW c_alt AS SELECT id, tutar, iki_kat(tutar) AS cift FROM hareket;
CREATE VIEW b_orta AS SELECT id, tutar, cift + 1 AS `artı` FROM c_alt WHERE tutar > 0;
CREATE VIEW a_ust AS SELECT o.id, o.`artı`, c.cift FROM b_orta o JOIN c_alt c USING (id);
CREATE VIEW `0_denetimli` AS SELECT id, tutar FROM c_alt WHERE tutar < 1000 WITH CASCADED CHECK OPTION;
CREATE DEFINER=muhasebe@'%' SQL SECURITY INVOKER VIEW `gör``ünüm'ş"` AS SELECT * FROM a_ust WHERE id > 0;
CREATE DEFINER=gitti@'%' SQL SECURITY DEFINER VIEW eski AS SELECT id, aciklama FROM hareket;
CREATE TRIGGER hareket_kat BEFORE INSERT ON hareket FOR EACH ROW SET NEW.tutar = NEW.tutar * 10;
CREATE TRIGGER hareket_not BEFORE INSERT ON hareket FOR EACH ROW PRECEDES hareket_kat
  SET NEW.aciklama = CONCAT(NEW.aciklama, '!');
CREATE DEFINER=muhasebe@'%' TRIGGER `hareket sonrası` AFTER INSERT ON hareket FOR EACH ROW
  INSERT INTO kayitlar (olay) VALUES (CONCAT('eklendi ', NEW.id));
INSERT INTO hareket VALUES (1, 10, 'a'), (2, 20, 'ş'), (3, -5, NULL);
SET SESSION sql_mode = 'PIPES_AS_CONCAT,ANSI_QUOTES';
DELIMITER $$
CREATE DEFINER=muhasebe@'%' FUNCTION "birleş"(a VARCHAR(10), b VARCHAR(10)) RETURNS VARCHAR(30)
  DETERMINISTIC
BEGIN
  DECLARE "sonuç" VARCHAR(30);
  SET "sonuç" = a || ';;' || b;
  RETURN "sonuç";
END$$
DELIMITER ;
SET SESSION sql_mode = DEFAULT;
DELIMITER $$
CREATE PROCEDURE `kayıt ekle`(IN metin VARCHAR(100))
  COMMENT 'yorum ''tırnak'''
BEGIN
  INSERT INTO kayitlar (olay) VALUES (CONCAT('çağrı: ', metin, '\n'));
  SELECT iki_kat(2);
END$$
DELIMITER ;
SET SESSION time_zone = '+03:00';
CREATE DEFINER=muhasebe@'%' EVENT `gece temizliği` ON SCHEDULE EVERY 1 DAY
  STARTS '2031-01-01 03:00:00' ON COMPLETION PRESERVE DISABLE COMMENT 'kapalı'
  DO DELETE FROM kayitlar WHERE id < 0;
SET SESSION time_zone = 'Europe/Berlin';
CREATE EVENT tek_sefer ON SCHEDULE AT '2035-06-01 12:00:00' ON COMPLETION PRESERVE ENABLE
  DO INSERT INTO kayitlar (olay) VALUES ('olay');
)SQL";

// Table names that need care, each made with one row holding its position.
const std::vector<std::string> kOddNames = {
    "a.b",
    "a,b",
    "a;b",
    "a\"b",
    "a`b",
    "a\\b",
    "a/b",
    "a%b",
    "a_b",
    " lead",
    "line\nbreak",
    "car\rret",
    "tab\tname",
    std::string(64, 'x'),
    "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC",
    "\xE4\xB8\xAD\xE6\x96\x87\xE8\xA1\xA8",
    "n\xC3\xBCm\xC3\xBCne 1-a",
    "'; DROP TABLE q; --"};

std::string backticked(const std::string& name) {
  std::string out = "`";
  for (char c : name) {
    if (c == '`') out += '`';
    out += c;
  }
  return out + "`";
}

std::string unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

class FaithfulBackup : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    address_ = new std::string(testsupport::private_loopback_address(23));
    if (*address_ == "127.0.0.77") *address_ = testsupport::private_loopback_address(24);
    server_ = new testsupport::MariaDbServer;
    server_->Start(*address_, 3306);
    // A server zone with daylight saving time.
    ASSERT_EQ(testsupport::run_shell("mariadb-tzinfo-to-sql /usr/share/zoneinfo 2>/dev/null | " +
                                     server_->ClientCommand("") + " mysql"),
              0);
    server_->Sql("SET GLOBAL time_zone = 'Europe/Berlin'");
  }
  static void TearDownTestSuite() {
    delete server_;
    delete address_;
  }
  void TearDown() override { core.reset(); }

  static std::string Sql(const std::string& sql, const std::string& db = "") {
    return server_->Sql(sql, db, "utf8mb4");
  }
  // Base tables of a database by their exact names, sorted.
  static std::vector<std::string> Tables(const std::string& db) {
    std::vector<std::string> names;
    for (const auto& h : lines_of(Sql("SELECT HEX(TABLE_NAME) FROM INFORMATION_SCHEMA.TABLES "
                                      "WHERE TABLE_TYPE = 'BASE TABLE' AND TABLE_SCHEMA = '" +
                                      db + "'")))
      names.push_back(unhex(h));
    std::sort(names.begin(), names.end());
    return names;
  }
  // What must come back: checksum, definition and TIMESTAMP instants.
  static std::string Fingerprint(const std::string& db, const std::string& table) {
    const std::string name = backticked(db) + "." + backticked(table);
    std::string checksum = Sql("CHECKSUM TABLE " + name + " EXTENDED");
    checksum = checksum.substr(checksum.rfind('\t') + 1);
    std::string out = "checksum " + checksum + "\ncreate " +
                      Sql("SHOW CREATE TABLE " + backticked(table), db) + "rows " +
                      Sql("SELECT COUNT(*) FROM " + name);
    for (const auto& col : lines_of(Sql(
             "SELECT HEX(COLUMN_NAME) FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_SCHEMA = '" + db +
             "' AND TABLE_NAME = UNHEX('" + Hex(table) + "') AND DATA_TYPE = 'timestamp'")))
      out += "instants " + Sql("SELECT UNIX_TIMESTAMP(" + backticked(unhex(col)) + ") FROM " +
                               name + " ORDER BY 1");
    return out;
  }
  // Runs "YEDEK AL" on db (Windows-1254) as the account; true when the run
  // ended with its success message and no error box.
  bool RunBackup(const std::string& db_ansi,
                 const std::string& user = testsupport::MariaDbServer::kUser,
                 const std::string& password = testsupport::MariaDbServer::kPassword) {
    testsupport::write_all(dir.file("ip.txt"),
                           *address_ + "\r\n" + user + "\r\n" + password + "\r\n");
    testsupport::write_all(dir.file("yedekleme.ini"), db_ansi + "\r\n");
    core = std::make_unique<app::TyedekalmafCore>(window, browser, app::ServiceConfig{});
    if (!core->Start() || !ui.errors().empty()) return false;
    // The run goes to its worker; its end is delivered here.
    bool ok = app::run_event_handler([this] { core->kaydetbtnClick(); });
    core->WaitForRun();
    return ok && ui.errors().empty() && ui.messages().size() == 1;
  }
  // The archive's single entry extracted as it is, as the README says.
  std::string ExtractScript() {
    std::string archive;
    for (const auto& e : fs::directory_iterator(dir.path()))
      if (e.path().extension() == ".zip") archive = e.path();
    EXPECT_FALSE(archive.empty());
    const std::string script = dir.file("script.sql");
    EXPECT_EQ(
        testsupport::run_shell("unzip -p " + shell_quote(archive) + " > " + shell_quote(script)),
        0);
    return script;
  }
  // The README's two restore commands, each into a new empty database named
  // prefix + "_utf8" or prefix + "_plain".
  struct Restore {
    std::string db;
    std::string command;
  };
  static std::vector<Restore> Restores(const std::string& prefix, const std::string& script) {
    const std::string client = "mariadb --no-defaults -S " + shell_quote(server_->socket_path()) +
                               " -uroot --max-allowed-packet=1G";
    return {{prefix + "_utf8", client + " --default-character-set=utf8mb4 " + prefix + "_utf8 < " +
                                   shell_quote(script)},
            {prefix + "_plain", client + " " + prefix + "_plain < " + shell_quote(script)}};
  }
  // Creates r.db and loads the script into it; the client's errors, if any.
  std::string Load(const Restore& r) {
    Sql("CREATE DATABASE " + r.db);
    const std::string err = dir.file("restore.err");
    if (testsupport::run_shell(r.command + " 2> " + shell_quote(err)) == 0) return "";
    return "failed: " + testsupport::read_all(err);
  }
  // Everything that describes the database's other objects, database names
  // left out (a view's definition names its database, which the restore
  // changes); definitions in hexadecimal so line breaks compare as bytes.
  static std::string ObjectsOf(const std::string& db) {
    const std::string schema = "'" + db + "'";
    return Sql(
        "SELECT 'view', TABLE_NAME, HEX(REPLACE(VIEW_DEFINITION, '`" + db +
        "`.', '')), CHECK_OPTION, DEFINER, SECURITY_TYPE, ALGORITHM, COLLATION_CONNECTION FROM "
        "information_schema.VIEWS WHERE TABLE_SCHEMA = " +
        schema +
        " UNION ALL SELECT 'trigger', TRIGGER_NAME, HEX(ACTION_STATEMENT), CONCAT_WS(' ', "
        "EVENT_OBJECT_TABLE, ACTION_TIMING, EVENT_MANIPULATION, ACTION_ORDER), DEFINER, SQL_MODE, "
        "'', COLLATION_CONNECTION FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA = " +
        schema +
        " UNION ALL SELECT ROUTINE_TYPE, ROUTINE_NAME, HEX(ROUTINE_DEFINITION), CONCAT_WS(' ', "
        "DTD_IDENTIFIER, IS_DETERMINISTIC, ROUTINE_COMMENT), DEFINER, SQL_MODE, SECURITY_TYPE, "
        "COLLATION_CONNECTION FROM information_schema.ROUTINES WHERE ROUTINE_SCHEMA = " +
        schema +
        " UNION ALL SELECT 'parameters', SPECIFIC_NAME, GROUP_CONCAT(PARAMETER_NAME, ' ', "
        "DTD_IDENTIFIER ORDER BY ORDINAL_POSITION), '', '', '', '', '' FROM "
        "information_schema.PARAMETERS WHERE SPECIFIC_SCHEMA = " +
        schema +
        " GROUP BY SPECIFIC_NAME UNION ALL SELECT 'event', EVENT_NAME, HEX(EVENT_DEFINITION), "
        "CONCAT_WS(' ', TIME_ZONE, EXECUTE_AT, INTERVAL_VALUE, INTERVAL_FIELD, STARTS, ENDS, "
        "STATUS, ON_COMPLETION, EVENT_COMMENT), DEFINER, SQL_MODE, '', COLLATION_CONNECTION FROM "
        "information_schema.EVENTS WHERE EVENT_SCHEMA = " +
        schema + " ORDER BY 1, 2");
  }
  static std::string Hex(const std::string& bytes) {
    static const char* d = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
      out += d[c >> 4];
      out += d[c & 15];
    }
    return out;
  }

  static std::string* address_;
  static testsupport::MariaDbServer* server_;

  testsupport::TempDir dir{"yedek-faithful"};
  apptest::RunFolder run_folder{dir.path()};
  testsupport::FakeUserInterface ui;
  apptest::FakeWindow window;
  apptest::FakeBrowser browser;
  std::unique_ptr<app::TyedekalmafCore> core;
};

std::string* FaithfulBackup::address_ = nullptr;
testsupport::MariaDbServer* FaithfulBackup::server_ = nullptr;

TEST_F(FaithfulBackup, EveryValueAndNameComesBackWithBothRestoreCommands) {
  Sql("CREATE DATABASE " + backticked(kDb) + " DEFAULT CHARACTER SET utf8mb4");
  Sql(kSchema, kDb);
  for (size_t i = 0; i < kOddNames.size(); ++i) {
    Sql("CREATE TABLE " + backticked(kOddNames[i]) + " (id INT); INSERT INTO " +
            backticked(kOddNames[i]) + " VALUES (" + std::to_string(i) + ")",
        kDb);
  }
  Sql("CREATE TABLE ayarlar (bulutyedekleme SMALLINT, levhano VARCHAR(100));"
      "INSERT INTO ayarlar VALUES (0, '34ABC123')",
      kDb);
  // The instants of the fold are apart in the source.
  ASSERT_EQ(Sql("SELECT COUNT(DISTINCT UNIX_TIMESTAMP(ts)) FROM zaman", kDb), "3\n");
  const std::vector<std::string> tables = Tables(kDb);
  ASSERT_EQ(tables.size(), 12 + kOddNames.size());  // the view kayit is not a table

  ASSERT_TRUE(RunBackup(kDbAnsi)) << (ui.errors().empty() ? "" : ui.errors()[0]);

  const std::string script = ExtractScript();
  const std::string text = testsupport::read_all(script);
  ASSERT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(text.find("\r\n/*!40101 SET NAMES utf8mb4 */;\r\n"), std::string::npos);
  // Rows through the view are never written.
  EXPECT_EQ(text.find("INSERT INTO `kayit`"), std::string::npos);

  for (const auto& r : Restores("geri", script)) {
    SCOPED_TRACE(r.db);
    ASSERT_EQ(Load(r), "");
    ASSERT_EQ(Tables(r.db), tables);
    for (const auto& t : tables) {
      SCOPED_TRACE("table " + t);
      EXPECT_EQ(Fingerprint(r.db, t), Fingerprint(kDb, t));
    }
  }
  // The values themselves, as a reader checks them.
  EXPECT_EQ(
      Sql("SELECT u, ub FROM metin WHERE id = 1", "geri_plain"),
      "\xE2\x82\xBA \xE2\x82\xAC \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
      "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC \xE4\xB8\xAD\xE6\x96\x87 "
      "\xF0\x9F\x98\x80 \xC5\x9F\xC4\x9F\xC4\xB1\xC4\xB0 '\"\\\\\tAb\xF0\x9F\x98\x80\n");
  EXPECT_EQ(Sql("SELECT e, gizli, st FROM tanim JOIN kolon USING (id) ORDER BY id", "geri_plain"),
            "\xE2\x98\x86\t7\t4\n\xE2\x98\x85\tNULL\t5\n");
  EXPECT_EQ(Sql("SELECT f = 1.2345678e0, fu FROM sayi WHERE id = 1", "geri_plain"),
            Sql("SELECT f = 1.2345678e0, fu FROM sayi WHERE id = 1", kDb));
  EXPECT_EQ(Sql("SELECT d, dt FROM tarih WHERE id = 1", "geri_utf8"),
            "2024-02-30\t2023-04-31 10:20:30\n");
  EXPECT_EQ(Sql("SELECT LENGTH(b), MD5(b) = MD5(@x := (SELECT b FROM " + backticked(kDb) +
                    ".ikili WHERE id = 1)) FROM ikili WHERE id = 1",
                "geri_utf8"),
            "256\t1\n");
}

TEST_F(FaithfulBackup, EveryObjectComesBackWithBothRestoreCommands) {
  const std::string db = "nesneler";
  Sql("CREATE DATABASE nesneler DEFAULT CHARACTER SET utf8mb4");
  Sql(kObjects, db);
  const std::string source = ObjectsOf(db);
  const std::string rows = Fingerprint(db, "hareket") + Fingerprint(db, "kayitlar");
  // Every kind is there to be lost: 6 views, 3 triggers, 3 routines with
  // their parameters (the procedure's and two functions'), 2 events.
  ASSERT_EQ(std::count(source.begin(), source.end(), '\n'), 6 + 3 + 3 + 3 + 2) << source;

  ASSERT_TRUE(RunBackup(db)) << (ui.errors().empty() ? "" : ui.errors()[0]);
  // Nothing was left out: the message is the saved line and the path.
  const std::string message = ui.messages()[0];
  EXPECT_EQ(std::count(message.begin(), message.end(), '\r'), 1) << message;

  const std::string script = ExtractScript();
  const std::string use =
      "SELECT * FROM `gör``ünüm'ş\"` ORDER BY id; SELECT * FROM `0_denetimli` ORDER BY id;"
      "SELECT `birleş`('a', 'b'), iki_kat(4); CALL `kayıt ekle`('x');"
      "INSERT INTO hareket VALUES (9, 1, 'z'); SELECT * FROM hareket WHERE id = 9;"
      "SELECT olay FROM kayitlar ORDER BY id";
  const std::string used = Sql(use, db);
  for (const auto& r : Restores("nesne", script)) {
    SCOPED_TRACE(r.db);
    ASSERT_EQ(Load(r), "");
    EXPECT_EQ(ObjectsOf(r.db), source);
    // The rows as they were: no trigger fired while they loaded.
    EXPECT_EQ(Fingerprint(r.db, "hareket") + Fingerprint(r.db, "kayitlar"), rows);
    // The objects work as before: views through views, the routines under
    // their own sql_mode, the triggers in their order.
    EXPECT_EQ(Sql(use, r.db), used);
  }
}

TEST_F(FaithfulBackup, AnAccountThatMayNotReadSomeKindsGetsThemNamedInTheMessage) {
  // Only SELECT and SHOW VIEW: triggers and routines are hidden from it,
  // events refused; a view whose table is gone cannot be made again.
  const std::string db = "kisitli";
  Sql("CREATE DATABASE kisitli; CREATE TABLE kisitli.t (a INT); INSERT INTO kisitli.t VALUES (1);"
      "CREATE TABLE kisitli.ayarlar (bulutyedekleme SMALLINT, levhano VARCHAR(100));"
      "CREATE VIEW kisitli.v AS SELECT a FROM kisitli.t;"
      "CREATE TABLE kisitli.gecici (b INT); CREATE VIEW kisitli.bozuk AS SELECT b FROM "
      "kisitli.gecici; DROP TABLE kisitli.gecici;"
      "CREATE TRIGGER kisitli.tr BEFORE INSERT ON kisitli.t FOR EACH ROW SET NEW.a = 2;"
      "CREATE PROCEDURE kisitli.p() SELECT 1;"
      "CREATE EVENT kisitli.e ON SCHEDULE EVERY 1 DAY DISABLE DO SELECT 1;"
      "CREATE USER kisitli@'%' IDENTIFIED BY 'kisitlipw';"
      "GRANT SELECT, SHOW VIEW ON kisitli.* TO kisitli@'%'");
  ASSERT_TRUE(RunBackup(db, "kisitli", "kisitlipw")) << (ui.errors().empty() ? "" : ui.errors()[0]);
  const std::string message = ui.messages()[0];
  // The run's own text first, unchanged, then what was left out and why.
  EXPECT_EQ(message.find(std::string(app::kSavedMessage) + "\r"), 0u) << message;
  for (const std::string line :
       {"\rYede\xF0"
        "e al\xFDnamayan nesneler:",
        "\rG\xF6r\xFCn\xFCmler: \"bozuk\" (View 'kisitli.bozuk' references invalid",
        "\rSakl\xFD yordamlar ve i\xFElevler: hesab\xFDn g\xF6remedikleri olabilir (the "
        "account holds neither EXECUTE",
        "\rTetikleyiciler: hesab\xFDn g\xF6remedikleri olabilir (the account holds no TRIGGER",
        "\rZamanlanm\xFD\xFE olaylar: hi\xE7"
        "biri yedeklenmedi (Access denied for user "}) {
    EXPECT_NE(message.find(line), std::string::npos) << line << "\n" << message;
  }
  // What it could read comes back.
  const std::string script = ExtractScript();
  const auto restores = Restores("kisitli_geri", script);
  ASSERT_EQ(Load(restores[0]), "");
  EXPECT_EQ(Sql("SELECT * FROM v", restores[0].db), "1\n");
}

TEST_F(FaithfulBackup, ATableTheDumpCannotWriteFailsTheRun) {
  // A MyISAM table without its index file: the server's status shows no
  // engine for it, as for a view; the run must not report success without it.
  const std::string db = "kirik";
  Sql("CREATE DATABASE kirik; CREATE TABLE kirik.saglam (a INT); INSERT INTO kirik.saglam VALUES "
      "(1);"
      "CREATE TABLE kirik.bozuk (a INT) ENGINE=MyISAM; INSERT INTO kirik.bozuk VALUES (2);"
      "FLUSH TABLES");
  ASSERT_TRUE(fs::remove(server_->dir() + "/data/kirik/bozuk.MYI"));
  Sql("FLUSH TABLES");
  EXPECT_FALSE(RunBackup(db));
  EXPECT_TRUE(ui.messages().empty());
  ASSERT_EQ(ui.errors().size(), 1u);
  EXPECT_NE(ui.errors()[0].find("\"bozuk\" was not written"), std::string::npos) << ui.errors()[0];
  for (const auto& e : fs::directory_iterator(dir.path()))
    EXPECT_NE(e.path().extension(), ".zip") << e.path();
}

}  // namespace
