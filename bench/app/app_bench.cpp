// The whole backup run (start-up, dump, script, archive, read-back) on the
// database named in ./ip.txt and ./yedekleme.ini, without a window. Prints
// the wall time, the archive and the peak resident memory. Run by
// bench/app/run.sh, which sets up the database and the comparison.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "app/event_handler.h"
#include "app/yedekalma.h"
#include "platform/user_interface.h"

namespace {

struct Window : app::MainWindow {
  std::string caption = "---";
  std::string DbLabelCaption() const override { return caption; }
  void SetDbLabelCaption(const std::string& c) override { caption = c; }
  void Repaint() override {}
  void Close() override {}
  // Progress is not shown; the run's end is delivered by WaitForRun.
  void PostToUiThread(std::function<void()>) override {}
  void RunStateChanged(bool) override {}
  void ShowProgress(const std::string&) override {}
};

struct Browser : app::TWebBrowser {
  void Navigate(const std::string&) override {}
};

struct Screen : platform::UserInterface {
  int errors = 0;
  void ShowMessage(const std::string& text) override { std::printf("message: %s\n", text.c_str()); }
  void ShowError(const std::string& text) override {
    ++errors;
    std::printf("error: %s\n", text.c_str());
  }
  platform::FailureAnswer AskAbortRetryIgnore(const std::string&, bool) override {
    return platform::FailureAnswer::kAbort;
  }
  void SetBusyCursor(platform::BusyCursor) override {}
  void ProcessMessages() override {}
};

}  // namespace

int main() {
  Screen screen;
  platform::install_user_interface(&screen);
  Window window;
  Browser browser;
  auto start = std::chrono::steady_clock::now();
  {
    app::TyedekalmafCore core(window, browser, {});
    if (!core.Start() || screen.errors) return 1;
    app::run_event_handler([&] { core.kaydetbtnClick(); });
    core.WaitForRun();
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("yedekalma run: %.2f s, peak RSS %.1f MiB\n", seconds, usage.ru_maxrss / 1024.0);
  platform::install_user_interface(nullptr);
  return screen.errors ? 1 : 0;
}
