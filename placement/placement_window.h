// The window as the placement store sees it.
//
// TFormPlacement (form_placement.h) reads and applies a window's placement
// only through this interface, so the store itself knows no windowing
// toolkit. The program implements it over its Qt main window (app/); the tests
// implement it with a fake. Every call comes from the user-interface thread.
//
// Contract for an implementation:
// - Coordinates are screen pixels of the window's outer frame (title bar and
//   border included), the same space for Left/Top/Width/Height and for the
//   rectangles and points of WindowPlacement.
// - GetPlacement reports the window as it is now; its normal rectangle is the
//   restored-state frame even while the window is minimised or maximised.
//   SetPlacement applies all of it in one step: the normal rectangle, then the
//   state named by show_cmd; SW_HIDE (which the store passes only for a window
//   not yet visible) applies the geometry only, leaving the window hidden and
//   its WindowState as it is. Like the platform's own call it keeps the
//   window reachable: a rectangle that lies wholly off every screen is moved
//   back onto the primary screen.
// - Visible() is whether the window is on the screen now: during the first
//   DoShow, fired before the window appears, it is still false.
// - The event handlers below are called by the implementation: DoShow() each
//   time the window becomes visible (before the first paint is fine),
//   DoCloseQuery() when the operator or the program asks the window to close
//   (close only when it returns true), DoDestroy() once, while the window is
//   being destroyed and its geometry can still be read (first thing in the
//   destructor of the concrete window, before any member goes away).
// - The window must outlive every TFormPlacement built on it.
#pragma once

#include <functional>
#include <string>

namespace placement {

struct TPoint {
  int x = 0;
  int y = 0;
  bool operator==(const TPoint&) const = default;
};

struct TRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const TRect&) const = default;
};

struct TSize {
  int width = 0;
  int height = 0;
};

// Show commands, with the numbers the INI file stores ("ShowCmd").
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;

// Placement flag: the minimised position in min_position is to be used.
constexpr int WPF_SETMINPOSITION = 1;

// The window's placement: where it sits in each of its states.
struct WindowPlacement {
  int flags = 0;                 // WPF_* bits, kept as stored
  int show_cmd = SW_SHOWNORMAL;  // 1 normal, 2 minimised, 3 maximised
  TPoint min_position;           // top-left corner when minimised
  TPoint max_position;           // top-left corner when maximised
  TRect normal_position;         // frame in the normal (restored) state
  bool operator==(const WindowPlacement&) const = default;
};

enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
// Where the window is placed when it is first shown.
enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };

// The platform's border metrics (widths and heights of one edge, in pixels).
enum class FrameMetricKind {
  kBorder,      // thin line border (single and tool-window frames)
  kFrame,       // sizing frame (sizeable frames)
  kDialogFrame  // dialog frame
};

using TNotifyEvent = std::function<void()>;
// can_close comes in true; a handler sets it false to keep the window open.
using TCloseQueryEvent = std::function<void(bool& can_close)>;

class PlacementWindow {
 public:
  virtual ~PlacementWindow() = default;

  // The window's class name; the store's default INI section ("Tyedekalmaf").
  virtual std::string ClassName() const = 0;
  // True once the native window exists (a window can be asked to close only then).
  virtual bool HandleAllocated() const = 0;
  // On the screen now (see the contract above).
  virtual bool Visible() const = 0;

  // Current frame geometry.
  virtual int Left() const = 0;
  virtual int Top() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;

  virtual WindowPlacement GetPlacement() const = 0;
  // Applies the placement (see the contract above).
  virtual void SetPlacement(const WindowPlacement& placement) = 0;

  virtual TWindowState WindowState() const = 0;
  virtual void SetWindowState(TWindowState state) = 0;
  virtual TFormBorderStyle BorderStyle() const = 0;
  virtual TPosition Position() const = 0;
  virtual void SetPosition(TPosition position) = 0;
  virtual TFormStyle FormStyle() const = 0;

  // The primary screen's size in pixels and its pixels per inch.
  virtual int ScreenWidth() const = 0;
  virtual int ScreenHeight() const = 0;
  virtual int PixelsPerInch() const = 0;
  virtual TSize FrameMetric(FrameMetricKind metric) const = 0;

  // True when this is the application's main window, or there is none.
  virtual bool IsMainForm() const = 0;
  // True while the whole application is minimised.
  virtual bool ApplicationMinimized() const = 0;
  // Minimises the application once the current event has been handled
  // (the show in progress completes first).
  virtual void PostMinimizeApplication() = 0;
  virtual void Repaint() = 0;

  // Focused control, for stores with fpActiveControl (the main window has
  // none). Optional: the defaults report no focused control.
  virtual std::string ActiveControlName() const { return {}; }
  // Focuses the named control when it exists and can take focus.
  virtual bool FocusControl(const std::string& /*name*/) { return false; }

  // The form's event handlers. The store chains itself into these; the
  // implementation fires them through the Do* calls.
  TNotifyEvent OnShow;
  TCloseQueryEvent OnCloseQuery;
  TNotifyEvent OnDestroy;

  // Each takes a copy of the handler first, so a handler may replace itself.
  void DoShow() {
    TNotifyEvent handler = OnShow;
    if (handler) handler();
  }
  // True when the window may close.
  bool DoCloseQuery() {
    bool can_close = true;
    TCloseQueryEvent handler = OnCloseQuery;
    if (handler) handler(can_close);
    return can_close;
  }
  void DoDestroy() {
    TNotifyEvent handler = OnDestroy;
    if (handler) handler();
  }
};

}  // namespace placement
