// TNetFTP against real FTP servers started on loopback by the test: the
// pyftpdlib module of Debian's Python (a virtual user of its own) and vsftpd
// in the foreground, plain and with TLS, with a configuration of the test's
// own. Logs in, changes into "dbler/" + a plate number, uploads a binary file
// the way the program does (temporary name, then rename) and compares the
// stored bytes; a cancelled upload and a refused rename leave nothing behind.
//
// vsftpd logs in system accounts only: the test creates one for the run with
// a random name suffix and password, no login shell and no home, and removes
// it when the test program ends (also after failures), including any left by
// an earlier run that was killed.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

#include "ftp/ftp_upload.h"
#include "ftp/net_exceptions.h"
#include "ftp/net_ftp.h"
#include "platform/cancel.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using namespace ftp;
using namespace testsupport;

namespace {

constexpr const char* kPlate = "34ABC123";
constexpr const char* kArchive = "vt-yedek-2024-05-17-14.zip";
constexpr size_t kFileSize = 20u << 20;
// Prefix of the system accounts this test creates for vsftpd.
constexpr const char* kAccountPrefix = "yedekftp-t";

std::string random_text(size_t n) {
  static const char kChars[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
  std::random_device rd;
  std::string s;
  for (size_t i = 0; i < n; ++i) s += kChars[rd() % (sizeof kChars - 1)];
  return s;
}

struct Login {
  std::string user, password;
};

// The account vsftpd logs in: created on first use, removed at exit.
class VsftpdAccount : public ::testing::Environment {
 public:
  static VsftpdAccount* instance;

  // Null when the account cannot be made (not root).
  const Login* Get() {
    if (!created_ && ::geteuid() == 0) Create();
    return created_ ? &login_ : nullptr;
  }
  void TearDown() override { Remove(); }
  ~VsftpdAccount() override { Remove(); }

 private:
  void Create() {
    RemoveStale();
    login_.user = kAccountPrefix + std::to_string(::getpid());
    login_.password = random_text(24);
    // No home, no login shell: the account can do nothing but FTP here.
    if (run_shell("useradd -M -d / -s /usr/sbin/nologin " + login_.user) != 0) return;
    created_ = true;
    if (run_shell("echo " + shell_quote(login_.user + ":" + login_.password) + " | chpasswd") != 0)
      Remove();
  }
  void Remove() {
    if (!created_) return;
    run_shell("userdel " + login_.user + " 2>/dev/null");
    created_ = false;
  }
  // Accounts of earlier runs whose test program no longer exists.
  static void RemoveStale() {
    setpwent();
    std::vector<std::string> stale;
    while (passwd* pw = getpwent()) {
      std::string name = pw->pw_name;
      if (name.rfind(kAccountPrefix, 0) != 0) continue;
      pid_t pid = static_cast<pid_t>(std::atol(name.c_str() + std::string(kAccountPrefix).size()));
      if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) stale.push_back(name);
    }
    endpwent();
    for (const std::string& name : stale) run_shell("userdel " + name + " 2>/dev/null");
  }

  Login login_;
  bool created_ = false;
};
VsftpdAccount* VsftpdAccount::instance =
    static_cast<VsftpdAccount*>(::testing::AddGlobalTestEnvironment(new VsftpdAccount));

// A started server; stopped by pid when the object goes.
struct Server {
  pid_t pid = -1;
  int port = 0;
  Login login;
  std::string ca_file;  // the certificate to trust, for TLS servers
  TempDir logs{"ftp-server-log"};
  ~Server() {
    if (pid > 0) stop_process(pid, 3000);
  }
};

// Binary bytes with every value and CR LF pairs, which a server's ASCII
// handling would alter.
std::string binary_file(const std::string& path, size_t size = kFileSize) {
  std::string bytes(size, '\0');
  std::uint32_t x = 12345;
  for (size_t i = 0; i < bytes.size(); ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(x >> 24);
    if (i % 997 == 0) bytes[i] = '\r';
    if (i % 997 == 1) bytes[i] = '\n';
  }
  write_all(path, bytes);
  return bytes;
}

std::string plate_dir(const TempDir& root) { return root.file(std::string("dbler/") + kPlate); }

void make_upload_tree(const TempDir& root) {
  ::chmod(root.path().c_str(), 0755);
  std::string dir = root.file("dbler");
  ::mkdir(dir.c_str(), 0755);
  dir = plate_dir(root);
  ::mkdir(dir.c_str(), 0777);
  ::chmod(dir.c_str(), 0777);
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::unique_ptr<Server> start_pyftpdlib(const TempDir& root) {
  auto s = std::make_unique<Server>();
  s->port = free_tcp_port();
  s->login = {"yedek", random_text(16)};  // a virtual user of the server
  int pasv = free_tcp_port();
  s->pid =
      spawn({"/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
             std::to_string(s->port), "-r", std::to_string(pasv) + "-" + std::to_string(pasv + 9),
             "-w", "-d", root.path(), "-u", s->login.user, "-P", s->login.password},
            s->logs.file("pyftpdlib.log"));
  if (!wait_for_port("127.0.0.1", s->port, 10000)) return nullptr;
  return s;
}

// pyftpdlib taking uploads at no more than bytes_per_second (its throttled
// data handler, which stops reading for a while after each burst), logging
// every command and reply.
std::unique_ptr<Server> start_throttled_pyftpdlib(const TempDir& root, int bytes_per_second) {
  auto s = std::make_unique<Server>();
  s->port = free_tcp_port();
  s->login = {"yedek", random_text(16)};
  const int pasv = free_tcp_port();
  const std::string script = s->logs.file("throttled.py");
  write_all(script,
            "import logging, sys\n"
            "from pyftpdlib.authorizers import DummyAuthorizer\n"
            "from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler\n"
            "from pyftpdlib.servers import FTPServer\n"
            "port, lo, home, user, pw, rate = sys.argv[1:7]\n"
            "logging.basicConfig(level=logging.DEBUG)\n"
            "auth = DummyAuthorizer()\n"
            "auth.add_user(user, pw, home, perm='elradfmwMT')\n"
            "ThrottledDTPHandler.read_limit = int(rate)\n"
            // pyftpdlib 1.5.7 closes a data connection the client reset
            // before it was accepted from inside the base constructor, before
            // the throttled handler set _throttler: the AttributeError ends
            // the whole server. The class attribute gives close() its value.
            "ThrottledDTPHandler._throttler = None\n"
            "FTPHandler.dtp_handler = ThrottledDTPHandler\n"
            "FTPHandler.authorizer = auth\n"
            "FTPHandler.passive_ports = range(int(lo), int(lo) + 10)\n"
            "FTPServer(('127.0.0.1', int(port)), FTPHandler).serve_forever()\n");
  s->pid = spawn({"/usr/bin/python3", script, std::to_string(s->port), std::to_string(pasv),
                  root.path(), s->login.user, s->login.password, std::to_string(bytes_per_second)},
                 s->logs.file("pyftpdlib.log"));
  if (!wait_for_port("127.0.0.1", s->port, 10000)) return nullptr;
  return s;
}

std::unique_ptr<Server> start_vsftpd(const TempDir& root, const Login& login, bool tls) {
  auto s = std::make_unique<Server>();
  s->port = free_tcp_port();
  s->login = login;
  int pasv = free_tcp_port();
  std::string conf = s->logs.file("vsftpd.conf");
  // A PAM service name without a file of its own falls back to "other"
  // (password check only), so the account needs no shell from /etc/shells.
  std::string text =
      "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(s->port) +
      "\nbackground=NO\nanonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\n"
      "chroot_local_user=YES\nallow_writeable_chroot=YES\nlocal_root=" +
      root.path() + "\npasv_min_port=" + std::to_string(pasv) +
      "\npasv_max_port=" + std::to_string(pasv + 9) +
      "\npasv_address=127.0.0.1\nseccomp_sandbox=NO\npam_service_name=yedekftp-test\n"
      "check_shell=NO\nxferlog_enable=NO\nvsftpd_log_file=" +
      s->logs.file("vsftpd.xfer") + "\n";
  if (tls) {
    s->ca_file = s->logs.file("cert.pem");
    const std::string key = s->logs.file("key.pem");
    if (run_shell("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + key + " -out " +
                  s->ca_file +
                  " -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 "
                  ">/dev/null 2>&1") != 0)
      return nullptr;
    // The defaults stay: logins and data must be TLS, and every data
    // connection must resume the control connection's session.
    text += "ssl_enable=YES\nrsa_cert_file=" + s->ca_file + "\nrsa_private_key_file=" + key +
            "\nssl_ciphers=HIGH\n";
  }
  write_all(conf, text);
  s->pid = spawn({"/usr/sbin/vsftpd", conf}, s->logs.file("vsftpd.log"));
  if (!wait_for_port("127.0.0.1", s->port, 10000)) return nullptr;
  return s;
}

std::unique_ptr<TNetFTP> client_for(const Server& srv) {
  auto c = std::make_unique<TNetFTP>();
  c->SetHost("127.0.0.1");
  c->SetPort(static_cast<std::uint16_t>(srv.port));
  c->SetUsername(srv.login.user);
  c->SetPassword(srv.login.password);
  c->SetTLSCAFile(srv.ca_file);
  c->SetTransferType(TNetFTPTransferType::ftBinary);
  c->SetReadTimeout(20000);
  return c;
}

// The program's upload: binary type set before Connect, passive, CWD, the
// archive under a temporary name, renamed.
void check_upload(const Server& srv, const TempDir& root, bool tls) {
  TempDir work("ftpwork");
  const std::string local = work.file(kArchive);
  const std::string bytes = binary_file(local);
  auto c = client_for(srv);
  TFileStream stream(local);
  std::uint64_t last_sent = 0, calls = 0;
  c->OnWork = [&](std::uint64_t sent, std::uint64_t total) {
    EXPECT_EQ(total, bytes.size());
    EXPECT_GE(sent, last_sent);
    last_sent = sent;
    ++calls;
  };
  c->Connect();
  EXPECT_EQ(c->TLSActive(), tls);
  c->SetPassive(true);
  c->ChangeWorkingDir(std::string("dbler/") + kPlate);
  put_via_temporary_name(*c, stream, kArchive);
  EXPECT_EQ(c->DataTLSSessionReused(), tls);
  c->Disconnect();

  std::string stored = read_all(plate_dir(root) + "/" + kArchive);
  EXPECT_EQ(stored.size(), bytes.size());
  EXPECT_TRUE(stored == bytes) << "stored bytes differ";
  EXPECT_FALSE(exists(plate_dir(root) + "/" + kArchive + kPartialSuffix));
  EXPECT_EQ(last_sent, bytes.size());
  EXPECT_GE(calls, bytes.size() / TNetFTP::kWorkStep);
}

void check_missing_folder_refused(const Server& srv) {
  auto c = client_for(srv);
  c->Connect();
  c->SetPassive(true);
  try {
    c->ChangeWorkingDir("dbler/YOK");
    ADD_FAILURE() << "no exception";
  } catch (const ENetReplyRFCError& e) {
    EXPECT_EQ(e.ErrorCode(), 550);
  }
  EXPECT_TRUE(c->IsConnected());
  c->Disconnect();
}

}  // namespace

TEST(FtpRealServer, PyftpdlibWithoutTls) {
  TempDir root("ftproot");
  make_upload_tree(root);
  auto srv = start_pyftpdlib(root);
  ASSERT_TRUE(srv) << "pyftpdlib did not start";
  check_upload(*srv, root, false);
  check_missing_folder_refused(*srv);
}

TEST(FtpRealServer, VsftpdWithoutTls) {
  const Login* login = VsftpdAccount::instance->Get();
  if (!login) GTEST_SKIP() << "vsftpd needs a system account, which only root can create";
  TempDir root("ftproot");
  make_upload_tree(root);
  auto srv = start_vsftpd(root, *login, false);
  ASSERT_TRUE(srv) << "vsftpd did not start";
  check_upload(*srv, root, false);
  check_missing_folder_refused(*srv);
}

TEST(FtpRealServer, VsftpdWithTlsStoresTheUploadOverTls) {
  const Login* login = VsftpdAccount::instance->Get();
  if (!login) GTEST_SKIP() << "vsftpd needs a system account, which only root can create";
  TempDir root("ftproot");
  make_upload_tree(root);
  auto srv = start_vsftpd(root, *login, true);
  ASSERT_TRUE(srv) << "vsftpd did not start";
  check_upload(*srv, root, true);

  // The server refuses a login in clear, so the upload above was TLS.
  auto plain = client_for(*srv);
  plain->SetUseTLS(TNetUseTLS::utNoTLSSupport);
  try {
    plain->Connect();
    ADD_FAILURE() << "login in clear accepted";
  } catch (const ENetReplyRFCError& e) {
    EXPECT_EQ(e.ErrorCode(), 530) << e.what();
  }

  // A certificate the client does not trust ends the connect before USER.
  auto untrusting = client_for(*srv);
  untrusting->SetTLSCAFile("");
  EXPECT_THROW(untrusting->Connect(), ENetTLSError);
  EXPECT_FALSE(untrusting->IsConnected());
}

TEST(FtpRealServer, CancelledUploadLeavesNothingBehind) {
  TempDir root("ftproot"), work("ftpwork");
  make_upload_tree(root);
  auto srv = start_pyftpdlib(root);
  ASSERT_TRUE(srv);
  const std::string local = work.file(kArchive);
  binary_file(local);
  auto c = client_for(*srv);
  TFileStream stream(local);
  platform::CancelToken token;
  platform::CancelScope scope(token);
  // The operator cancels once 1 MiB went out.
  c->OnWork = [&](std::uint64_t sent, std::uint64_t) {
    if (sent >= (1u << 20)) token.Cancel();
  };
  c->Connect();
  c->SetPassive(true);
  c->ChangeWorkingDir(std::string("dbler/") + kPlate);
  EXPECT_THROW(put_via_temporary_name(*c, stream, kArchive), platform::ECancelled);
  EXPECT_LT(stream.Position(), static_cast<std::int64_t>(kFileSize));
  c->Disconnect();
  EXPECT_FALSE(exists(plate_dir(root) + "/" + kArchive));
  EXPECT_FALSE(exists(plate_dir(root) + "/" + kArchive + kPartialSuffix));
}

// A server that is slow to take the data is still busy with the transfer when
// the cancel comes: whether the cancel hits while bytes are going out or
// after the last byte went out (the client waiting for the final reply),
// neither the archive's name nor the temporary name may remain, and the
// control connection must still be in step afterwards.
TEST(FtpRealServer, CancelledUploadToASlowServerLeavesNothingBehind) {
  struct Case {
    const char* name;
    size_t size;
    bool after_last_byte;  // cancel while waiting for the final reply
  };
  for (const Case& k : {Case{"mid-transfer", kFileSize, false},
                        Case{"waiting for the final reply", 1u << 20, true}}) {
    SCOPED_TRACE(k.name);
    TempDir root("ftproot"), work("ftpwork");
    make_upload_tree(root);
    auto srv = start_throttled_pyftpdlib(root, 256 * 1024);
    ASSERT_TRUE(srv);
    const std::string local = work.file(kArchive);
    binary_file(local, k.size);
    auto c = client_for(*srv);
    TFileStream stream(local);
    platform::CancelToken token;
    platform::CancelScope scope(token);
    std::thread canceller;
    c->OnWork = [&](std::uint64_t sent, std::uint64_t total) {
      if (!k.after_last_byte && sent >= (1u << 20)) token.Cancel();
      if (k.after_last_byte && sent == total && total > 0 && !canceller.joinable())
        canceller = std::thread([&] {
          std::this_thread::sleep_for(std::chrono::milliseconds(300));
          token.Cancel();
        });
    };
    c->Connect();
    c->SetPassive(true);
    c->ChangeWorkingDir(std::string("dbler/") + kPlate);
    EXPECT_THROW(put_via_temporary_name(*c, stream, kArchive), platform::ECancelled);
    if (canceller.joinable()) canceller.join();
    if (k.after_last_byte)
      EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(k.size));
    else
      EXPECT_LT(stream.Position(), static_cast<std::int64_t>(k.size));
    // In step: the last reply read is the clean-up's own, and the next
    // command gets its own answer (asked outside the cancelled run).
    platform::CancelToken calm;
    platform::CancelScope again(calm);
    EXPECT_EQ(c->LastCmdResult().NumericCode(), 250) << c->LastCmdResult().JoinedText();
    EXPECT_TRUE(c->IsConnected());
    if (c->IsConnected()) {
      EXPECT_EQ(c->SendCommand("NOOP"), 200);
    }
    c->Disconnect();
    const std::string log = read_all(srv->logs.file("pyftpdlib.log"));
    EXPECT_FALSE(exists(plate_dir(root) + "/" + kArchive)) << log;
    EXPECT_FALSE(exists(plate_dir(root) + "/" + kArchive + kPartialSuffix)) << log;
  }
}

TEST(FtpRealServer, RefusedRenameFailsAndDeletesTheTemporaryFile) {
  TempDir root("ftproot");
  make_upload_tree(root);
  // A folder of the archive's name: the server cannot rename onto it.
  ::mkdir((plate_dir(root) + "/" + kArchive).c_str(), 0755);
  auto srv = start_pyftpdlib(root);
  ASSERT_TRUE(srv);
  auto c = client_for(*srv);
  TMemoryStream data("PK\x03\x04 not much of an archive");
  c->Connect();
  c->SetPassive(true);
  c->ChangeWorkingDir(std::string("dbler/") + kPlate);
  try {
    put_via_temporary_name(*c, data, kArchive);
    ADD_FAILURE() << "no exception";
  } catch (const ENetReplyRFCError& e) {
    EXPECT_EQ(e.ErrorCode(), 550) << e.what();
  }
  c->Disconnect();
  EXPECT_FALSE(exists(plate_dir(root) + "/" + kArchive + kPartialSuffix));
}

TEST(FtpRealServer, WrongPasswordIsRefused) {
  TempDir root("ftproot");
  auto srv = start_pyftpdlib(root);
  ASSERT_TRUE(srv);
  TNetFTP c;
  c.SetHost("localhost");
  c.SetPort(static_cast<std::uint16_t>(srv->port));
  c.SetUsername(srv->login.user);
  c.SetPassword("wrong");
  try {
    c.Connect();
    ADD_FAILURE() << "no exception";
  } catch (const ENetReplyRFCError& e) {
    EXPECT_EQ(e.ErrorCode(), 530);
  }
  EXPECT_FALSE(c.IsConnected());
}
