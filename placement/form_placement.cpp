// TFormPlacement: saving and restoring a window's placement; see
// form_placement.h for the keys and the order of events.
#include "placement/form_placement.h"

#include <exception>

#include "placement/position_text.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "platform/user_interface.h"

namespace placement {

// The window's handlers as they were before this store chained in. The
// chained handlers hold it weakly, so a handler that outlives the store (kept
// by someone who chained after it) still calls the previous one and nothing
// else.
struct TFormPlacement::Chain {
  TFormPlacement* owner;
  TNotifyEvent previous_show;
  TCloseQueryEvent previous_close_query;
  TNotifyEvent previous_destroy;
};

std::string default_ini_file_name(const std::string& program_file) {
  std::string name = program_file.substr(program_file.find_last_of("/\\") + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name + ".INI";
}

TFormPlacement::TFormPlacement(PlacementWindow& owner)
    : window_(owner),
      chain_(
          std::make_shared<Chain>(Chain{this, owner.OnShow, owner.OnCloseQuery, owner.OnDestroy})) {
  std::weak_ptr<Chain> weak = chain_;
  window_.OnShow = [weak, previous = chain_->previous_show] {
    if (auto chain = weak.lock()) chain->owner->FormShow();
    if (previous) previous();
  };
  window_.OnCloseQuery = [weak, previous = chain_->previous_close_query](bool& can_close) {
    if (previous) previous(can_close);
    if (auto chain = weak.lock()) chain->owner->FormCloseQuery(can_close);
  };
  window_.OnDestroy = [weak, previous = chain_->previous_destroy] {
    if (auto chain = weak.lock()) chain->owner->FormDestroy();
    if (previous) previous();
  };
}

TFormPlacement::~TFormPlacement() {
  window_.OnShow = chain_->previous_show;
  window_.OnCloseQuery = chain_->previous_close_query;
  window_.OnDestroy = chain_->previous_destroy;
}

std::string TFormPlacement::IniFileNameInUse() const {
  return IniFileName.empty() ? default_ini_file_name(platform::executable_name()) : IniFileName;
}

std::string TFormPlacement::IniSectionInUse() const {
  return IniSection.empty() ? window_.ClassName() : IniSection;
}

// Errors of the chained handlers go to the error box, as any error leaving
// an event handler does; the window's show or close goes on.
template <typename F>
void TFormPlacement::ShowErrors(F&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    platform::user_interface().ShowError(platform::error_box_text(e.what()));
  }
}

void TFormPlacement::FormShow() {
  if (Active) ShowErrors([this] { LoadPlacement(); });
}

void TFormPlacement::FormCloseQuery(bool& can_close) {
  if (can_close && Active && window_.HandleAllocated()) ShowErrors([this] { StorePlacement(); });
}

void TFormPlacement::FormDestroy() {
  if (!Active || saved_) return;
  destroying_ = true;
  ShowErrors([this] { StorePlacement(); });
  destroying_ = false;
}

void TFormPlacement::StorePlacement() {
  if (!restored_ && Active) return;
  platform::IniFile ini(IniFileNameInUse());
  const std::string section = IniSectionInUse();

  ini.WriteInteger(section, "FormVersion", Version);
  if (Options & (fpState | fpPosition)) {
    WindowPlacement p = window_.GetPlacement();
    int flags = p.flags;
    if (window_.FormStyle() == fsMDIChild && window_.WindowState() == wsMinimized)
      flags |= WPF_SETMINPOSITION;
    int show_cmd = p.show_cmd;
    if (window_.IsMainForm() && window_.ApplicationMinimized()) show_cmd = SW_SHOWMINIMIZED;
    const int width = window_.ScreenWidth(), height = window_.ScreenHeight();
    const std::string min_max =
        format_position({p.min_position.x, p.min_position.y, p.max_position.x, p.max_position.y});
    const TRect& r = p.normal_position;
    const std::string normal = format_position({r.left, r.top, r.right, r.bottom});

    ini.WriteInteger(section, "Flags", flags);
    ini.WriteInteger(section, "ShowCmd", show_cmd);
    ini.WriteInteger(section, "PixelsPerInch", window_.PixelsPerInch());
    ini.WriteString(section, screen_key("MinMaxPos", width, height), min_max);
    ini.WriteString(section, "MinMaxPos", min_max);
    ini.WriteString(section, screen_key("NormPos", width, height), normal);
    ini.WriteString(section, "NormPos", normal);
    ini.WriteString(section, "Visible", destroying_ ? "1" : "0");
  }
  if (Options & fpActiveControl)
    ini.WriteString(section, "ActiveControl", window_.ActiveControlName());
  SaveStoredValues(ini);
  if (OnSavePlacement) OnSavePlacement();
  saved_ = true;
}

void TFormPlacement::LoadPlacement() {
  saved_ = false;
  try {
    platform::IniFile ini(IniFileNameInUse());
    const std::string section = IniSectionInUse();
    if (ini.ReadInteger(section, "FormVersion", 0) >= Version) {
      RestoreWindow(ini, section);
      restored_ = true;
      try {
        RestoreStoredValues(ini);
      } catch (const std::exception&) {
        // Extra values are a convenience; a bad one must not stop the window.
      }
      if (OnRestorePlacement) OnRestorePlacement();
      if (Options & fpActiveControl) {
        std::string name = ini.ReadString(section, "ActiveControl", "");
        if (!name.empty()) window_.FocusControl(name);
      }
    }
  } catch (...) {
    restored_ = true;
    AdjustMaximizedPosition();
    throw;
  }
  restored_ = true;
  AdjustMaximizedPosition();
}

void TFormPlacement::RestoreWindow(const platform::IniFile& ini, const std::string& section) {
  if (Options & fpPosition) RestorePosition(ini, section);
  if ((Options & fpState) && !RestoreState(ini, section)) return;
  window_.Repaint();
}

void TFormPlacement::RestorePosition(const platform::IniFile& ini, const std::string& section) {
  WindowPlacement p = window_.GetPlacement();
  if (!window_.Visible()) p.show_cmd = SW_HIDE;  // applying it must not show the window
  p.flags = ini.ReadInteger(section, "Flags", p.flags);

  const int width = window_.ScreenWidth(), height = window_.ScreenHeight();
  // The keys of this screen size first; the plain keys hold the last save at
  // whatever size.
  auto read_position = [&](const char* name) {
    std::string text = ini.ReadString(section, screen_key(name, width, height), "");
    return text.empty() ? ini.ReadString(section, name, "") : text;
  };
  const std::string min_max = read_position("MinMaxPos");
  const std::string normal = read_position("NormPos");
  const int pixels_per_inch = ini.ReadInteger(section, "PixelsPerInch", window_.PixelsPerInch());

  PositionWords mm = parse_position(min_max, {0, 0, 0, 0});
  p.min_position = {mm[0], mm[1]};
  p.max_position = {mm[2], mm[3]};
  const int left = window_.Left(), top = window_.Top();
  const int w = window_.Width(), h = window_.Height();
  PositionWords nr = parse_position(normal, {left, top, left + w, top + h});
  p.normal_position = {nr[0], nr[1], nr[2], nr[3]};

  if ((min_max.empty() && normal.empty()) || pixels_per_inch != window_.PixelsPerInch()) return;
  TFormBorderStyle border = window_.BorderStyle();
  if (border != bsSizeable && border != bsSizeToolWin) {
    // A fixed-size window keeps its designed size; only its position moves.
    p.normal_position.right = p.normal_position.left + w;
    p.normal_position.bottom = p.normal_position.top + h;
  }
  if (p.normal_position.left < p.normal_position.right) {
    TPosition position = window_.Position();
    if (position == poScreenCenter || position == poDesktopCenter) window_.SetPosition(poDesigned);
    window_.SetPlacement(p);
  }
}

// False when the operation ends here (a minimised main window).
bool TFormPlacement::RestoreState(const platform::IniFile& ini, const std::string& section) {
  const TFormStyle style = window_.FormStyle();
  TWindowState state = wsNormal;
  if (window_.IsMainForm() &&
      (style == fsMDIForm || (style == fsNormal && window_.Position() == poDefault)))
    state = wsMaximized;
  switch (ini.ReadInteger(section, "ShowCmd", 0)) {
    case SW_SHOWNORMAL:
    case SW_SHOW:
    case SW_RESTORE:
      state = wsNormal;
      break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
      state = wsMinimized;
      break;
    case SW_SHOWMAXIMIZED:
      state = wsMaximized;
      break;
    default:
      break;
  }
  if (state == wsMinimized && window_.IsMainForm()) {
    // The application minimises as a whole, after the show completes.
    window_.SetWindowState(wsNormal);
    window_.PostMinimizeApplication();
    return false;
  }
  // MDI frames and children keep their state here (the platform would only
  // record it for them); the program has no such windows.
  if (style != fsMDIChild && style != fsMDIForm) window_.SetWindowState(state);
  return true;
}

// A maximised window's frame edges lie just off the screen.
void TFormPlacement::AdjustMaximizedPosition() {
  WindowPlacement p = window_.GetPlacement();
  if (!window_.Visible()) p.show_cmd = SW_HIDE;
  TSize edge;
  switch (window_.BorderStyle()) {
    case bsSingle:
    case bsToolWindow:
      edge = window_.FrameMetric(FrameMetricKind::kBorder);
      break;
    case bsSizeable:
    case bsSizeToolWin:
      edge = window_.FrameMetric(FrameMetricKind::kFrame);
      break;
    case bsDialog:
      edge = window_.FrameMetric(FrameMetricKind::kDialogFrame);
      break;
    case bsNone:
      break;
  }
  p.max_position = {-edge.width, -edge.height};
  window_.SetPlacement(p);
}

}  // namespace placement
