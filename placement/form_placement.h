// TFormPlacement: keeps a window's position and state (normal, minimised,
// maximised) in a private-profile INI file between runs. TFormStorage, the
// component the main window carries as FormStorage1, derives from it.
//
// Flow: construct on the window (chains into its OnShow / OnCloseQuery /
// OnDestroy) → window shown: LoadPlacement → window closing: StorePlacement →
// window destroyed: StorePlacement again (with "Visible" = "1") only when
// nothing was saved since the restore → component destroyed: the window's
// previous handlers are put back. A window that is never shown is never
// saved. Errors from the chained handlers are shown through the
// user-interface's error box and swallowed; LoadPlacement and StorePlacement
// called directly raise them (platform::EIniFileException for a refused
// write). User-interface thread only.
//
// The INI section (default: the window's class name, "Tyedekalmaf") holds, in
// this order (W x H: primary screen size when saved; numbers decimal):
//   FormVersion=<Version>
//   Flags=<placement flags, | WPF_SETMINPOSITION for a minimised MDI child>
//   ShowCmd=<1 normal, 2 minimised, 3 maximised; 2 for a minimised application>
//   PixelsPerInch=<screen pixels per inch>
//   MinMaxPos(WxH)=minx,miny,maxx,maxy   and the same under MinMaxPos
//   NormPos(WxH)=left,top,right,bottom   and the same under NormPos
//   Visible=<1 when saved while the window is destroyed, else 0>
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "placement/placement_window.h"

namespace platform {
class IniFile;
}

namespace placement {

enum TPlacementOption : unsigned {
  fpState = 1u << 0,         // normal / minimised / maximised
  fpPosition = 1u << 1,      // position and size
  fpActiveControl = 1u << 2  // the focused control
};
using TPlacementOptions = unsigned;  // a set of TPlacementOption bits

class TFormPlacement {
 public:
  // Chains into the window's events; the window must outlive this object.
  explicit TFormPlacement(PlacementWindow& owner);
  virtual ~TFormPlacement();
  TFormPlacement(const TFormPlacement&) = delete;
  TFormPlacement& operator=(const TFormPlacement&) = delete;

  // Settings (read at each event; set them before the window is shown).
  bool Active = true;       // save and restore at all
  std::string IniFileName;  // empty: the program's name with ".INI"
  std::string IniSection;   // empty: the window's class name
  TPlacementOptions Options = fpState | fpPosition;
  int Version = 0;                  // restore only a saved FormVersion >= Version
  TNotifyEvent OnSavePlacement;     // after a save
  TNotifyEvent OnRestorePlacement;  // after a restore

  // Restore now (runs from OnShow).
  void LoadPlacement();
  // Save now (runs from OnCloseQuery and OnDestroy). Does nothing while
  // Active and nothing has been restored yet.
  void StorePlacement();

  // The file and section in use: IniFileName or the default, as given to
  // platform::IniFile (a bare name lives in the user's configuration folder).
  std::string IniFileNameInUse() const;
  std::string IniSectionInUse() const;

  bool Restored() const { return restored_; }
  bool Saved() const { return saved_; }

 protected:
  // Extra values saved right after the placement and restored right after
  // it; nothing at this level.
  virtual void SaveStoredValues(platform::IniFile&) {}
  virtual void RestoreStoredValues(platform::IniFile&) {}

 private:
  struct Chain;

  void FormShow();
  void FormCloseQuery(bool& can_close);
  void FormDestroy();
  void RestoreWindow(const platform::IniFile& ini, const std::string& section);
  void RestorePosition(const platform::IniFile& ini, const std::string& section);
  bool RestoreState(const platform::IniFile& ini, const std::string& section);
  void AdjustMaximizedPosition();
  template <typename F>
  void ShowErrors(F&& action);

  PlacementWindow& window_;
  std::shared_ptr<Chain> chain_;  // previous handlers; expires with this object
  bool restored_ = false;
  bool saved_ = false;
  bool destroying_ = false;
};

// The default INI file name for a program file: its name without folder, the
// extension replaced by ".INI" ("yedekalma" and "yedekalma.exe" give
// "yedekalma.INI").
std::string default_ini_file_name(const std::string& program_file);

}  // namespace placement
