// The web notice's HTTP GET against a real endpoint and against listeners
// that refuse, stay silent or answer with an error; the progress label's
// texts and the database-name check.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "app/backup_progress.h"
#include "app/http_notice.h"
#include "app/run_texts.h"
#include "platform/cancel.h"
#include "platform/unique_fd.h"
#include "tests/app/service_peers.h"
#include "tests/support/process.h"

namespace {

using namespace std::chrono_literals;

// A listening socket on 127.0.0.1 that accepts nothing by itself.
struct Listener {
  platform::UniqueFd fd{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  int port = 0;
  Listener() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(::listen(fd.get(), 4), 0);
    socklen_t len = sizeof a;
    ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port) + "/n.php?a=1"; }
};

// What Navigate threw (empty when it returned).
template <typename E = app::EWebBrowserError>
std::string failure(app::HttpNotice& notice, const std::string& url) {
  try {
    notice.Navigate(url);
  } catch (const E& e) {
    return e.what();
  }
  return "";
}

TEST(HttpNotice, DeliveredToARealEndpoint) {
  const int port = testsupport::free_tcp_port();
  apptest::HttpPeer http;
  http.Start("127.0.0.1", port);
  app::HttpNotice notice;
  notice.Navigate("http://127.0.0.1:" + std::to_string(port) +
                  "/son-eklenen-db-kayit.php?levhano=34&soneklenendb=a.zip");
  EXPECT_EQ(http.Log(), "/son-eklenen-db-kayit.php?levhano=34&soneklenendb=a.zip\n");
}

TEST(HttpNotice, UndeliveredNoticesAreErrorsNamingTheServer) {
  app::HttpNotice notice(500ms);
  {
    SCOPED_TRACE("silent server");
    Listener silent;
    const std::string e = failure(notice, silent.Url());
    EXPECT_EQ(e, "The notice to 127.0.0.1:" + std::to_string(silent.port) +
                     " was not delivered: timeout: no answer within 500 ms");
  }
  {
    SCOPED_TRACE("error status");
    Listener server;
    std::thread answer([&] {
      platform::UniqueFd c(::accept(server.fd.get(), nullptr, nullptr));
      char buffer[1024];
      (void)::recv(c.get(), buffer, sizeof buffer, 0);
      const char reply[] = "HTTP/1.0 500 Internal Server Error\r\n\r\n";
      (void)::send(c.get(), reply, sizeof reply - 1, MSG_NOSIGNAL);
    });
    const std::string e = failure(notice, server.Url());
    answer.join();
    EXPECT_NE(e.find("was not delivered: the server answered \"HTTP/1.0 500 Internal Server "
                     "Error\""),
              std::string::npos)
        << e;
  }
  {
    SCOPED_TRACE("closed without answer");
    Listener server;
    std::thread answer([&] {
      platform::UniqueFd c(::accept(server.fd.get(), nullptr, nullptr));
      char buffer[1024];
      (void)::recv(c.get(), buffer, sizeof buffer, 0);
    });
    const std::string e = failure(notice, server.Url());
    answer.join();
    EXPECT_NE(e.find("without an answer"), std::string::npos) << e;
  }
  {
    SCOPED_TRACE("refused");
    const int port = testsupport::free_tcp_port();
    const std::string e = failure(notice, "http://127.0.0.1:" + std::to_string(port) + "/x");
    EXPECT_EQ(
        e.rfind("The notice to 127.0.0.1:" + std::to_string(port) + " was not delivered: ", 0), 0u)
        << e;
  }
  for (const char* bad : {"ftp://h/x", "http:///x", "http://h:/x", "http://h/a b"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(failure(notice, bad), std::string("The address \"") + bad + "\" cannot be opened");
  }
}

TEST(HttpNotice, CancelEndsTheWaitForASilentServer) {
  Listener silent;
  app::HttpNotice notice;  // 30 s: only the cancel can end it early
  platform::CancelToken token;
  std::thread canceller([&] {
    std::this_thread::sleep_for(300ms);
    token.Cancel();
  });
  platform::CancelScope scope(token);
  EXPECT_EQ(failure<platform::ECancelled>(notice, silent.Url()), "Operation cancelled");
  canceller.join();
}

TEST(RunTexts, ProgressLabelShowsPhaseTableBytesAndTime) {
  app::RunProgress p;
  EXPECT_EQ(app::progress_text(p), "");
  p.phase = app::RunPhase::kDumping;
  p.table_number = 3;
  p.table_count = 12;
  p.table_name = "m\xFC\xFEteri";
  p.table_percent = 40;
  p.script_bytes = 5 * 1048576 + 1048576 / 2;
  p.elapsed = 75s;
  EXPECT_EQ(app::progress_text(p),
            "Tablolar yedekleniyor\nTablo 3 / 12: m\xFC\xFEteri (%40)\nBetik: 5,5 MB\nS\xFCre: "
            "01:15");
  p.phase = app::RunPhase::kUploading;
  p.upload_sent = 1048576;
  p.upload_total = 4 * 1048576;
  EXPECT_EQ(app::progress_text(p), "Buluta y\xFCkleniyor\n1,0 MB / 4,0 MB\nS\xFCre: 01:15");
  p.phase = app::RunPhase::kVerifying;
  EXPECT_EQ(app::progress_text(p), "Ar\xFEiv do\xF0rulan\xFDyor\nS\xFCre: 01:15");
}

TEST(RunTexts, DatabaseNamesThatStayInTheFolderAreAccepted) {
  for (const char* ok : {"dukkan", "d\"b", "a..b", "veri\xFD", ".gizli"}) {
    SCOPED_TRACE(ok);
    EXPECT_NO_THROW(app::check_database_name(ok));
  }
  EXPECT_THROW(app::check_database_name(std::string("a\0b", 3)), app::EBadDatabaseName);
}

}  // namespace
