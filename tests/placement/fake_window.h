// A window for the placement tests: keeps its placement in memory the way the
// platform does and records what the store asked of it.
#pragma once

#include <string>
#include <vector>

#include "placement/placement_window.h"

namespace placementtest {

using namespace placement;

class FakeWindow : public PlacementWindow {
 public:
  // As the main window is designed: a dialog frame at 200,100, 400 x 300.
  FakeWindow() { placement.normal_position = {200, 100, 600, 400}; }

  std::string ClassName() const override { return class_name; }
  bool HandleAllocated() const override { return handle_allocated; }
  bool Visible() const override { return visible; }
  int Left() const override { return placement.normal_position.left; }
  int Top() const override { return placement.normal_position.top; }
  int Width() const override {
    return placement.normal_position.right - placement.normal_position.left;
  }
  int Height() const override {
    return placement.normal_position.bottom - placement.normal_position.top;
  }

  WindowPlacement GetPlacement() const override {
    WindowPlacement p = placement;
    p.show_cmd = state == wsMinimized   ? SW_SHOWMINIMIZED
                 : state == wsMaximized ? SW_SHOWMAXIMIZED
                                        : SW_SHOWNORMAL;
    return p;
  }
  void SetPlacement(const WindowPlacement& p) override {
    applied.push_back(p);
    placement = p;
    if (p.show_cmd == SW_SHOWMINIMIZED) state = wsMinimized;
    if (p.show_cmd == SW_SHOWMAXIMIZED) state = wsMaximized;
    if (p.show_cmd == SW_SHOWNORMAL) state = wsNormal;
  }

  TWindowState WindowState() const override { return state; }
  void SetWindowState(TWindowState s) override {
    states_set.push_back(s);
    state = s;
  }
  TFormBorderStyle BorderStyle() const override { return border; }
  TPosition Position() const override { return position; }
  void SetPosition(TPosition p) override { position = p; }
  TFormStyle FormStyle() const override { return form_style; }
  int ScreenWidth() const override { return screen_width; }
  int ScreenHeight() const override { return screen_height; }
  int PixelsPerInch() const override { return pixels_per_inch; }
  TSize FrameMetric(FrameMetricKind m) const override {
    switch (m) {
      case FrameMetricKind::kBorder:
        return {1, 1};
      case FrameMetricKind::kFrame:
        return {4, 4};
      case FrameMetricKind::kDialogFrame:
        return {3, 3};
    }
    return {};
  }
  bool IsMainForm() const override { return main_form; }
  bool ApplicationMinimized() const override { return application_minimized; }
  void PostMinimizeApplication() override { ++minimize_posts; }
  void Repaint() override { ++repaints; }

  // Moves the window in its normal state.
  void MoveTo(int left, int top) {
    int w = Width(), h = Height();
    placement.normal_position = {left, top, left + w, top + h};
  }

  // The window's condition, set by tests and by the store.
  std::string class_name = "Tyedekalmaf";
  bool handle_allocated = true;
  bool visible = false;
  WindowPlacement placement{0, SW_SHOWNORMAL, {-1, -1}, {-1, -1}, {}};
  TWindowState state = wsNormal;
  TFormBorderStyle border = bsDialog;
  TPosition position = poDesigned;
  TFormStyle form_style = fsNormal;
  int screen_width = 1920, screen_height = 1080, pixels_per_inch = 96;
  bool main_form = true;
  bool application_minimized = false;

  // What the store asked for.
  std::vector<WindowPlacement> applied;
  std::vector<TWindowState> states_set;
  int minimize_posts = 0;
  int repaints = 0;
};

}  // namespace placementtest
