#include "tests/support/process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace testsupport {

int run_shell(const std::string& command) {
  int rc = std::system(command.c_str());
  if (rc == -1 || !WIFEXITED(rc)) return -1;
  return WEXITSTATUS(rc);
}

std::string shell_output(const std::string& command) {
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) throw std::runtime_error("popen failed: " + command);
  std::string out;
  std::array<char, 65536> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  int rc = ::pclose(p);
  if (rc != 0) throw std::runtime_error("command failed (" + std::to_string(rc) + "): " + command);
  return out;
}

std::string shell_quote(const std::string& word) {
  std::string q = "'";
  for (char c : word) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

pid_t spawn(const std::vector<std::string>& argv, const std::string& log_path) {
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::setsid();
    int in = ::open("/dev/null", O_RDONLY);
    int out = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in >= 0) ::dup2(in, 0);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  return pid;
}

void stop_process(pid_t pid, int timeout_ms) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) {
      if (r < 0 && ::kill(pid, 0) == 0) {  // not our child: wait until gone
        if (std::chrono::steady_clock::now() < deadline) {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
          continue;
        }
      } else {
        return;
      }
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int free_tcp_port(const std::string& address) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  sa.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot bind a free port");
  }
  socklen_t len = sizeof sa;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  ::close(fd);
  return ntohs(sa.sin_port);
}

bool wait_for_port(const std::string& address, int port, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    sa.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    ::close(fd);
    if (ok) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

std::string source_dir() {
  const char* s = std::getenv("YEDEK_SOURCE_DIR");
  return s ? s : ".";
}

std::string binary_dir() {
  const char* s = std::getenv("YEDEK_BINARY_DIR");
  return s ? s : ".";
}

}  // namespace testsupport
