// TNetFTP against real FTP servers started on loopback by the test: the
// pyftpdlib module of Debian's Python and vsftpd in the foreground with a
// configuration of the test's own. Logs in, changes into "dbler/" + a plate
// number, uploads a 50 MB binary file and compares the stored bytes.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>

#include "ftp/net_exceptions.h"
#include "ftp/net_ftp.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using namespace ftp;
using namespace testsupport;

namespace {

constexpr const char* kUser = "yedekftp";
constexpr const char* kPassword = "Yedek-ftp-42";
constexpr const char* kPlate = "34ABC123";
constexpr size_t kFileSize = 50u << 20;

// A started server; stopped by pid when the object goes.
struct Server {
  pid_t pid = -1;
  int port = 0;
  TempDir logs{"ftp-server-log"};
  ~Server() {
    if (pid > 0) stop_process(pid, 3000);
  }
};

// Binary bytes with every value and CR LF pairs, which a server's ASCII
// handling would alter.
std::string binary_file(const std::string& path) {
  std::string bytes(kFileSize, '\0');
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

void make_upload_tree(const TempDir& root) {
  std::string dir = root.file("dbler");
  ::mkdir(dir.c_str(), 0777);
  dir += std::string("/") + kPlate;
  ::mkdir(dir.c_str(), 0777);
  ::chmod(dir.c_str(), 0777);
}

std::unique_ptr<Server> start_pyftpdlib(const TempDir& root) {
  auto s = std::make_unique<Server>();
  s->port = free_tcp_port();
  int pasv = free_tcp_port();
  s->pid =
      spawn({"/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
             std::to_string(s->port), "-r", std::to_string(pasv) + "-" + std::to_string(pasv + 9),
             "-w", "-d", root.path(), "-u", kUser, "-P", kPassword},
            s->logs.file("pyftpdlib.log"));
  if (!wait_for_port("127.0.0.1", s->port, 10000)) return nullptr;
  return s;
}

// The local account vsftpd logs in; created once (needs root).
bool ensure_local_user() {
  if (::getpwnam(kUser)) {
    return run_shell(std::string("echo '") + kUser + ":" + kPassword + "' | chpasswd") == 0;
  }
  if (::geteuid() != 0) return false;
  return run_shell(std::string("useradd -M -d /tmp -s /bin/bash ") + kUser + " && echo '" + kUser +
                   ":" + kPassword + "' | chpasswd") == 0;
}

std::unique_ptr<Server> start_vsftpd(const TempDir& root, const TempDir& conf_dir) {
  auto s = std::make_unique<Server>();
  s->port = free_tcp_port();
  int pasv = free_tcp_port();
  std::string conf = conf_dir.file("vsftpd.conf");
  ::chmod(root.path().c_str(), 0755);
  write_all(conf, "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(s->port) +
                      "\nbackground=NO\nanonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\n"
                      "chroot_local_user=YES\nallow_writeable_chroot=YES\nlocal_root=" +
                      root.path() + "\npasv_min_port=" + std::to_string(pasv) +
                      "\npasv_max_port=" + std::to_string(pasv + 9) +
                      "\npasv_address=127.0.0.1\nseccomp_sandbox=NO\npam_service_name=vsftpd\n"
                      "xferlog_enable=NO\n");
  s->pid = spawn({"/usr/sbin/vsftpd", conf}, conf_dir.file("vsftpd.log"));
  if (!wait_for_port("127.0.0.1", s->port, 10000)) return nullptr;
  return s;
}

// The program's upload: binary type set before Connect, passive, CWD, STOR.
void upload(int port, const std::string& local, const std::string& name) {
  TNetFTP c;
  c.SetHost("127.0.0.1");
  c.SetPort(static_cast<std::uint16_t>(port));
  c.SetUsername(kUser);
  c.SetPassword(kPassword);
  c.SetTransferType(TNetFTPTransferType::ftBinary);
  c.SetReadTimeout(20000);
  TFileStream stream(local);
  c.Connect();
  c.SetPassive(true);
  c.ChangeWorkingDir(std::string("dbler/") + kPlate);
  c.Put(stream, name);
  c.Disconnect();
}

void check_upload_and_refusals(int port, const TempDir& root, const TempDir& work) {
  const std::string local = work.file("vt-yedek-2024-05-17-14.zip");
  const std::string bytes = binary_file(local);
  upload(port, local, "vt-yedek-2024-05-17-14.zip");
  std::string stored =
      read_all(root.file(std::string("dbler/") + kPlate + "/vt-yedek-2024-05-17-14.zip"));
  EXPECT_EQ(stored.size(), bytes.size());
  EXPECT_TRUE(stored == bytes) << "stored bytes differ";

  // A plate number without a folder: CWD 550.
  TNetFTP c;
  c.SetHost("127.0.0.1");
  c.SetPort(static_cast<std::uint16_t>(port));
  c.SetUsername(kUser);
  c.SetPassword(kPassword);
  c.SetReadTimeout(20000);
  c.Connect();
  c.SetPassive(true);
  try {
    c.ChangeWorkingDir("dbler/YOK");
    ADD_FAILURE() << "no exception";
  } catch (const ENetReplyRFCError& e) {
    EXPECT_EQ(e.ErrorCode(), 550);
  }
  EXPECT_TRUE(c.IsConnected());
  c.Disconnect();
}

}  // namespace

TEST(FtpRealServer, Pyftpdlib) {
  TempDir root("ftproot"), work("ftpwork");
  make_upload_tree(root);
  auto srv = start_pyftpdlib(root);
  ASSERT_TRUE(srv) << "pyftpdlib did not start";
  check_upload_and_refusals(srv->port, root, work);
}

TEST(FtpRealServer, Vsftpd) {
  if (!ensure_local_user()) GTEST_SKIP() << "no local user " << kUser << " and not root";
  TempDir root("ftproot"), work("ftpwork"), conf("vsftpd");
  make_upload_tree(root);
  auto srv = start_vsftpd(root, conf);
  ASSERT_TRUE(srv) << "vsftpd did not start: " << read_all(conf.file("vsftpd.log"));
  check_upload_and_refusals(srv->port, root, work);
}

TEST(FtpRealServer, WrongPasswordIsRefused) {
  TempDir root("ftproot");
  auto srv = start_pyftpdlib(root);
  ASSERT_TRUE(srv);
  TNetFTP c;
  c.SetHost("localhost");
  c.SetPort(static_cast<std::uint16_t>(srv->port));
  c.SetUsername(kUser);
  c.SetPassword("wrong");
  try {
    c.Connect();
    ADD_FAILURE() << "no exception";
  } catch (const ENetReplyRFCError& e) {
    EXPECT_EQ(e.ErrorCode(), 530);
  }
  EXPECT_FALSE(c.IsConnected());
}
