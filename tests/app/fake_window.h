// Stand-ins for the main window's widgets and browser control in logic tests.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/web_browser.h"

namespace apptest {

struct FakeWindow : app::MainWindow {
  std::string caption = "---";
  int repaints = 0;
  int closes = 0;
  std::string DbLabelCaption() const override { return caption; }
  void SetDbLabelCaption(const std::string& c) override { caption = c; }
  void Repaint() override { ++repaints; }
  void Close() override { ++closes; }

  // Tasks the worker posts wait here until the test pumps them; on_post runs
  // on the worker at each post (a test's way to act mid-run).
  void PostToUiThread(std::function<void()> task) override {
    if (on_post) on_post();
    std::lock_guard lock(mutex);
    posted.push_back(std::move(task));
  }
  // Runs the tasks posted so far on the calling (user-interface) thread.
  void Pump() {
    std::deque<std::function<void()>> tasks;
    {
      std::lock_guard lock(mutex);
      tasks.swap(posted);
    }
    for (auto& t : tasks) t();
  }
  void RunStateChanged(bool running) override { states.push_back(running); }
  void ShowProgress(const std::string& text) override { progress_texts.push_back(text); }

  std::function<void()> on_post;
  std::mutex mutex;
  std::deque<std::function<void()>> posted;
  std::vector<bool> states;
  std::vector<std::string> progress_texts;
};

// Records the addresses the program asks the browser control to open.
// With fail_with set, the notice fails with that message.
struct FakeBrowser : app::TWebBrowser {
  std::vector<std::string> urls;
  std::string fail_with;
  void Navigate(const std::string& url) override {
    if (!fail_with.empty()) throw app::EWebBrowserError(fail_with);
    urls.push_back(url);
  }
};

}  // namespace apptest
