// A stand-in for the main window's widgets in logic tests.
#pragma once

#include <string>

#include "app/main_window.h"

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

}  // namespace apptest
