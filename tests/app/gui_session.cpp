// Xvfb, xdotool and child-process helpers of the window tests.
#include "tests/app/gui_session.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include "tests/support/process.h"

namespace apptest {
namespace {

using Clock = std::chrono::steady_clock;

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

GuiSession::GuiSession() : dir_("yedek-gui") {}

GuiSession::~GuiSession() {
  for (pid_t pid : launched_)
    if (Running(pid)) testsupport::stop_process(pid, 3000);
  if (xvfb_ > 0) testsupport::stop_process(xvfb_, 3000);
}

void GuiSession::Start() {
  // -displayfd 1 makes Xvfb pick a free display and print its number. A
  // start that fails anyway is tried again.
  std::string last_log;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::string log = dir_.file("xvfb" + std::to_string(attempt) + ".log");
    xvfb_ = testsupport::spawn(
        {"Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, log);
    auto deadline = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < deadline) {
      std::string text;
      try {
        text = testsupport::read_all(log);
      } catch (const std::exception&) {
      }
      // The number is a line of its own; complaints about displays already
      // taken may come before it in the same log.
      for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
          display_ = ":" + line;
          return;
        }
      }
      if (!Running(xvfb_)) break;
      sleep_ms(20);
    }
    if (Running(xvfb_)) testsupport::stop_process(xvfb_, 3000);
    xvfb_ = -1;
    last_log = testsupport::read_all(log);
  }
  throw std::runtime_error("Xvfb did not start: " + last_log);
}

pid_t GuiSession::Launch(const std::string& program, const std::string& folder,
                         const std::vector<std::string>& env, const std::string& prefix) {
  std::string extra;
  for (const auto& e : env) extra += testsupport::shell_quote(e) + " ";
  // Leak checking is for the libraries' own tests; Qt and fontconfig keep
  // caches until exit, which would change the exit code under ASan.
  std::string script =
      "cd " + testsupport::shell_quote(folder) + " && exec env DISPLAY=" + display_ +
      " XDG_CONFIG_HOME=" + testsupport::shell_quote(config_home()) +
      " XDG_RUNTIME_DIR=" + testsupport::shell_quote(dir_.path()) +
      " ASAN_OPTIONS=detect_leaks=0 " + extra + prefix + " " + testsupport::shell_quote(program);
  pid_t pid = testsupport::spawn({"/bin/sh", "-c", script}, folder + "/program.log");
  launched_.push_back(pid);
  return pid;
}

int GuiSession::WaitForExit(pid_t pid, int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      std::erase(launched_, pid);
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (r < 0) return -2;
    if (Clock::now() >= deadline) return -1;
    sleep_ms(20);
  }
}

bool GuiSession::Running(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, WNOHANG) == 0;
}

int GuiSession::X(const std::string& command, std::string* out) {
  std::string full = "DISPLAY=" + display_ + " " + command + " 2>/dev/null";
  FILE* p = ::popen(full.c_str(), "r");
  if (!p) return -1;
  std::string text;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) text.append(buf.data(), n);
  int rc = ::pclose(p);
  if (out) *out = text;
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string GuiSession::WaitForWindow(const std::string& name_regex, int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  do {
    std::string out;
    if (X("xdotool search --onlyvisible --name " + testsupport::shell_quote(name_regex), &out) ==
            0 &&
        !out.empty())
      return out.substr(0, out.find('\n'));
    sleep_ms(50);
  } while (Clock::now() < deadline);
  return "";
}

std::vector<std::string> GuiSession::WaitForWindows(const std::string& name_regex, size_t count,
                                                    int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::vector<std::string> ids;
  do {
    std::string out;
    ids.clear();
    X("xdotool search --onlyvisible --name " + testsupport::shell_quote(name_regex), &out);
    for (size_t at = 0; at < out.size();) {
      size_t end = out.find('\n', at);
      if (end == std::string::npos) end = out.size();
      if (end > at) ids.push_back(out.substr(at, end - at));
      at = end + 1;
    }
    if (ids.size() >= count) return ids;
    sleep_ms(50);
  } while (Clock::now() < deadline);
  return ids;
}

bool GuiSession::WindowVisible(const std::string& name_regex) {
  std::string out;
  return X("xdotool search --onlyvisible --name " + testsupport::shell_quote(name_regex), &out) ==
             0 &&
         !out.empty();
}

void GuiSession::Key(const std::string& window, const std::string& key) {
  X("xdotool windowfocus --sync " + window);
  sleep_ms(100);
  X("xdotool key " + key);
}

void GuiSession::Screenshot(const std::string& png_path) {
  X("import -window root " + testsupport::shell_quote(png_path));
}

std::string GuiSession::WindowPixels(const std::string& window) {
  std::string out;
  X("import -window " + window + " -depth 8 rgb:-", &out);
  return out;
}

void GuiSession::ClickAt(const std::string& window, int x, int y) {
  X("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
    " click 1");
}

}  // namespace apptest
