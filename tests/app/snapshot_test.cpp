// The backup reads the whole database in one consistent snapshot: while a
// shop program keeps committing invoices with their lines (and deleting old
// ones), the restored copy holds every invoice with exactly its lines. A run
// that fails or is cancelled leaves no transaction open on the server, and
// the next run on the same window works.
//
// A private MariaDB on its own loopback address (port 3306, as the program
// always uses), whose sessions default to READ COMMITTED, so the run must ask
// for REPEATABLE READ itself; the program logs in with an account that may
// only SELECT. The server lists tables in an order of its own (it differs
// between file systems), so the test does not rely on it: it holds the
// worker inside whichever of the invoices (a_fatura) and their lines
// (c_fatura_kalem) comes first, with that table's rows being read, until the
// writer has committed more transactions -- the time a big table read
// between the two would take.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <regex>
#include <thread>

#include "app/backup_names.h"
#include "app/backup_progress.h"
#include "app/event_handler.h"
#include "app/yedekalma.h"
#include "mysql/my_connection.h"
#include "mysql/my_query.h"
#include "mysql/my_sql_session.h"
#include "tests/app/fake_window.h"
#include "tests/app/run_folder.h"
#include "tests/support/fake_user_interface.h"
#include "tests/support/mariadb_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using testsupport::shell_quote;
using testsupport::write_all;

const std::string kDb = "magaza";
const std::string kReader = "okur";
const std::string kReaderPassword = "okurpw";
constexpr int kInvoices = 50;     // invoices present before the run, 3 lines each
constexpr int kCommitsHeld = 20;  // commits the worker waits for between the two tables
constexpr auto kWaitBound = 60s;  // bound of every wait of the test

// An invoice program: commits an invoice with its three lines, then deletes
// the oldest invoice with its lines, over and over, on its own connection.
class InvoiceWriter {
 public:
  InvoiceWriter(const std::string& address, int next_id) : next_id_(next_id) {
    connection_.SetServer(address);
    connection_.SetUsername(testsupport::MariaDbServer::kUser);
    connection_.SetPassword(testsupport::MariaDbServer::kPassword);
    connection_.SetDatabase(kDb);
    connection_.Connect();
    thread_ = std::thread([this] { Run(); });
  }
  ~InvoiceWriter() { Stop(); }

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int commits() const { return commits_; }
  std::string error() const {
    std::lock_guard lock(mutex_);
    return error_;
  }

 private:
  void Run() {
    try {
      for (int oldest = 1; !stop_; ++oldest, ++next_id_) {
        const std::string id = std::to_string(next_id_);
        Commit({"INSERT INTO a_fatura VALUES (" + id + ", " + id + "00)",
                "INSERT INTO c_fatura_kalem VALUES (" + id + ", 1, 10), (" + id + ", 2, 20), (" +
                    id + ", 3, 30)"});
        const std::string old = std::to_string(oldest);
        Commit({"DELETE FROM c_fatura_kalem WHERE fatura_id = " + old,
                "DELETE FROM a_fatura WHERE id = " + old});
      }
    } catch (const std::exception& e) {
      std::lock_guard lock(mutex_);
      error_ = e.what();
    }
  }
  void Commit(const std::vector<std::string>& statements) {
    connection_.ExecSQL("START TRANSACTION");
    for (const auto& s : statements) connection_.ExecSQL(s);
    connection_.ExecSQL("COMMIT");
    ++commits_;
  }

  mysql::TMyConnection connection_;
  int next_id_;
  std::atomic<bool> stop_{false};
  std::atomic<int> commits_{0};
  mutable std::mutex mutex_;
  std::string error_;
  std::thread thread_;
};

// Waits until done() or the bound; false when the bound passed.
bool wait_until(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + kWaitBound;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

class SnapshotRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    address_ = new std::string(testsupport::private_loopback_address(41));
    if (*address_ == "127.0.0.77") *address_ = testsupport::private_loopback_address(42);
    server_ = new testsupport::MariaDbServer;
    // A run that left its transaction open would hold the tables' metadata
    // locks: the next DROP DATABASE then fails after a while instead of
    // waiting for ever.
    server_->Start(*address_, 3306,
                   {"--transaction-isolation=READ-COMMITTED", "--lock-wait-timeout=10"});
    server_->Sql("CREATE USER '" + kReader + "'@'%' IDENTIFIED VIA mysql_native_password USING " +
                 "PASSWORD('" + kReaderPassword + "'); GRANT SELECT ON `" + kDb + "`.* TO '" +
                 kReader + "'@'%'");
  }
  static void TearDownTestSuite() {
    delete server_;
    delete address_;
  }

  void SetUp() override {
    MakeDatabase();
    write_all(dir.file("ip.txt"), *address_ + "\r\n" + kReader + "\r\n" + kReaderPassword + "\r\n");
    write_all(dir.file("yedekleme.ini"), kDb + "\r\n");
    core = std::make_unique<app::TyedekalmafCore>(window, browser, app::ServiceConfig{});
    ASSERT_TRUE(core->Start());
    ASSERT_TRUE(ui.errors().empty()) << ui.errors()[0];
  }
  void TearDown() override { core.reset(); }

  static void MakeDatabase() {
    server_->Sql("DROP DATABASE IF EXISTS `" + kDb + "`; CREATE DATABASE `" + kDb + "`");
    server_->Sql(
        "CREATE TABLE a_fatura (id INT PRIMARY KEY, tutar INT) ENGINE=InnoDB;"
        "CREATE TABLE c_fatura_kalem (fatura_id INT, sira INT, tutar INT, "
        "PRIMARY KEY (fatura_id, sira)) ENGINE=InnoDB;"
        "CREATE TABLE ayarlar (id INT, bulutyedekleme SMALLINT, levhano VARCHAR(100));"
        "INSERT INTO ayarlar VALUES (1, 0, '34ABC123');"
        "INSERT INTO a_fatura SELECT seq, seq * 100 FROM seq_1_to_" +
            std::to_string(kInvoices) +
            ";"
            "INSERT INTO c_fatura_kalem SELECT f.seq, s.seq, s.seq * 10 FROM seq_1_to_" +
            std::to_string(kInvoices) + " f, seq_1_to_3 s;",
        kDb);
  }

  // The server's own thread id of the program's connection.
  std::uint32_t ConnectionId() { return core->baglanti.Session().ThreadId(); }
  // Open transactions of one connection, as the server lists them. The
  // server refreshes that list only when it was last read more than 0.1 s
  // ago.
  static int OpenTransactions(std::uint32_t thread_id) {
    std::this_thread::sleep_for(150ms);
    return std::stoi(server_->Sql(
        "SELECT COUNT(*) FROM information_schema.INNODB_TRX WHERE trx_mysql_thread_id = " +
        std::to_string(thread_id)));
  }
  // Of the invoices and their lines, the table the run reads first (the
  // server's listing order, the program's own query).
  static std::string FirstOfTheTwo() {
    const std::string listed = server_->Sql(app::table_list_sql(kDb));
    return listed.find("a_fatura") < listed.find("c_fatura_kalem") ? "a_fatura" : "c_fatura_kalem";
  }
  // Runs fn once on the worker, when it reads the rows of the first of the
  // two tables. The window hears of progress at most every kThrottle: until
  // then the worker is held a little longer at every report, so it reports
  // every step and none is missed.
  void BetweenTheTwoTables(std::function<void()> fn) {
    window.on_post = [this, fn = std::move(fn), first = FirstOfTheTwo(), done = false]() mutable {
      const app::RunProgress p = core->Progress();
      if (done || p.phase != app::RunPhase::kDumping) return;
      if (p.table_name != first || p.table_percent == 0) {
        std::this_thread::sleep_for(app::ProgressBoard::kThrottle + 10ms);
        return;
      }
      done = true;
      fn();
    };
  }
  // "YEDEK AL", then the run's end delivered as the window would.
  void Click() {
    ui.boxes.clear();
    ASSERT_TRUE(app::run_event_handler([this] { core->kaydetbtnClick(); }));
    core->WaitForRun();
    window.Pump();
    window.on_post = nullptr;
  }
  std::string ArchivePath() const {
    return dir.path() + "/" + app::archive_name(kDb, app::local_now());
  }
  // Restores the archive into a new database with the README's commands.
  void Restore(const std::string& into) const {
    const std::string script = dir.file("script.sql");
    ASSERT_EQ(testsupport::run_shell("unzip -p " + shell_quote(ArchivePath()) + " > " +
                                     shell_quote(script)),
              0);
    server_->Sql("DROP DATABASE IF EXISTS " + into + "; CREATE DATABASE " + into);
    ASSERT_EQ(testsupport::run_shell(server_->ClientCommand("utf8mb4") + " " + into + " < " +
                                     shell_quote(script)),
              0);
  }

  static std::string* address_;
  static testsupport::MariaDbServer* server_;

  testsupport::TempDir dir{"yedek-snapshot"};
  apptest::RunFolder run_folder{dir.path(), dir.path()};
  testsupport::FakeUserInterface ui;
  apptest::FakeWindow window;
  apptest::FakeBrowser browser;
  std::unique_ptr<app::TyedekalmafCore> core;
};

std::string* SnapshotRun::address_ = nullptr;
testsupport::MariaDbServer* SnapshotRun::server_ = nullptr;

TEST_F(SnapshotRun, InvoicesCommittedDuringTheBackupAreWhollyInOrWhollyOut) {
  const std::uint32_t id = ConnectionId();
  InvoiceWriter writer(*address_, kInvoices + 1);
  int open_while_dumping = -1, open_while_archiving = -1;
  bool writer_committed = false;
  BetweenTheTwoTables([&] {
    open_while_dumping = OpenTransactions(id);
    const int before = writer.commits();
    writer_committed = wait_until([&] { return writer.commits() >= before + kCommitsHeld; });
  });
  // Chained behind the table hook: the first report of the archive phase.
  window.on_post = [&, table_hook = window.on_post] {
    table_hook();
    if (open_while_archiving < 0 && core->Progress().phase == app::RunPhase::kArchiving)
      open_while_archiving = OpenTransactions(id);
  };
  Click();
  writer.Stop();
  EXPECT_EQ(writer.error(), "");
  ASSERT_TRUE(ui.errors().empty()) << ui.errors()[0];
  // The reading account has SELECT only: the message goes on to name the
  // kinds of objects it may not read.
  EXPECT_THAT(ui.messages(), testing::ElementsAre(
                                 testing::StartsWith(app::success_message(ArchivePath(), false))));
  // The writer committed while the run was reading one of the two tables
  // and had not yet begun the other.
  EXPECT_TRUE(writer_committed);
  // The transaction lasts for the dump and ends before the archive is made;
  // the session keeps its own isolation level.
  EXPECT_EQ(open_while_dumping, 1);
  EXPECT_EQ(open_while_archiving, 0);
  mysql::TMyQuery level;
  level.SetConnection(&core->baglanti);
  level.SetSQL("SELECT @@SESSION.tx_isolation AS l");
  level.Open();
  EXPECT_EQ(level.FieldByName("l").AsString(), "READ-COMMITTED");

  ASSERT_NO_FATAL_FAILURE(Restore("geri"));
  EXPECT_EQ(server_->Sql("SELECT COUNT(*) FROM a_fatura f WHERE 3 <> (SELECT COUNT(*) FROM "
                         "c_fatura_kalem k WHERE k.fatura_id = f.id AND k.sira IN (1, 2, 3))",
                         "geri"),
            "0\n")
      << "invoices without exactly their three lines";
  EXPECT_EQ(server_->Sql("SELECT COUNT(*) FROM c_fatura_kalem k WHERE NOT EXISTS (SELECT 1 FROM "
                         "a_fatura f WHERE f.id = k.fatura_id)",
                         "geri"),
            "0\n")
      << "lines without their invoice";
  EXPECT_GE(std::stoi(server_->Sql("SELECT COUNT(*) FROM a_fatura", "geri")), kInvoices);
}

TEST_F(SnapshotRun, RunThatFailsOrIsCancelledLeavesNoTransactionAndTheNextRunWorks) {
  // The table the run reads second: not yet touched when it is dropped.
  const std::string second = FirstOfTheTwo() == "a_fatura" ? "c_fatura_kalem" : "a_fatura";
  struct Case {
    const char* name;
    bool at_dump_start;  // act when the dump starts, else between the two tables
    std::function<void(std::uint32_t id)> act;  // on the worker
    std::string error_pattern;                  // found in the error box; empty: cancelled
    bool same_connection;                       // the program's connection stays open
  };
  const Case cases[] = {
      {"a table vanishes", false,
       [&second](std::uint32_t) { server_->Sql("DROP TABLE " + second, kDb); }, second.c_str(),
       true},
      {"the connection is killed", false,
       // The server may report the kill (1927) before it closes the connection.
       [](std::uint32_t id) { server_->Sql("KILL " + std::to_string(id)); },
       "Lost connection|Connection was killed", false},
      {"cancelled inside a table's rows", false, [this](std::uint32_t) { core->CancelRun(); }, "",
       false},
      // The worker sees the cancel before its first table, with every
      // statement answered and the transaction open.
      {"cancelled between statements", true, [this](std::uint32_t) { core->CancelRun(); }, "",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeDatabase();
    const std::uint32_t id = ConnectionId();
    if (c.at_dump_start) {
      window.on_post = [&, done = false]() mutable {
        if (!done && core->Progress().phase == app::RunPhase::kDumping) {
          done = true;
          c.act(id);
        }
      };
    } else {
      BetweenTheTwoTables([&] { c.act(id); });
    }
    Click();
    if (!c.error_pattern.empty()) {
      ASSERT_EQ(ui.errors().size(), 1u);
      EXPECT_TRUE(std::regex_search(ui.errors()[0], std::regex(c.error_pattern))) << ui.errors()[0];
      EXPECT_TRUE(ui.messages().empty());
    } else {
      EXPECT_TRUE(ui.errors().empty()) << ui.errors()[0];
      EXPECT_EQ(ui.messages(), (std::vector<std::string>{app::kCancelledMessage}));
    }
    EXPECT_TRUE(wait_until([&] { return OpenTransactions(id) == 0; }));
    EXPECT_EQ(core->baglanti.Connected() && ConnectionId() == id, c.same_connection);
    MakeDatabase();
    Click();
    EXPECT_TRUE(ui.errors().empty()) << ui.errors()[0];
    EXPECT_THAT(
        ui.messages(),
        testing::ElementsAre(testing::StartsWith(app::success_message(ArchivePath(), false))));
  }
}

}  // namespace
