// Stand-ins for the main window's widgets and browser control in logic tests.
#pragma once

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
};

// Records the addresses the program asks the browser control to open.
struct FakeBrowser : app::TWebBrowser {
  std::vector<std::string> urls;
  void Navigate(const std::string& url) override { urls.push_back(url); }
};

}  // namespace apptest
