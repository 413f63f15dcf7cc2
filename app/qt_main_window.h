// The main window `yedekalmaf` (class Tyedekalmaf) in Qt Widgets: the visible
// controls as designed, the glue between their clicks and the logic in
// TyedekalmafCore, and the window as the placement store FormStorage1 sees
// it.
//
// Flow: construct (creates the controls and components, then runs the
// start-up handler) -> Created()? show() : end the program -> clicks ->
// close (placement saved) -> destruction (connection closed). Created and
// used by main() on the user-interface thread; the backup run's worker only
// posts tasks to it (PostToUiThread).
//
// During a run "YEDEK AL" is disabled, "İPTAL" enabled and the progress
// label shows the phase, the table, the bytes so far and the elapsed time.
// Closing the window during a run asks whether to cancel it; the window
// closes once the worker has ended.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "app/http_notice.h"
#include "app/main_window.h"
#include "app/service_config.h"
#include "app/yedekalma.h"
#include "placement/form_storage.h"
#include "placement/placement_window.h"

class QLabel;
class QPushButton;
class QTimer;

namespace app {

class Tyedekalmaf : public QDialog, public MainWindow, public placement::PlacementWindow {
 public:
  explicit Tyedekalmaf(const ServiceConfig& service);
  ~Tyedekalmaf() override;

  // False when the start-up handler asked the program to end at once.
  bool Created() const { return created_; }

  // MainWindow
  std::string DbLabelCaption() const override { return db_caption_; }
  void SetDbLabelCaption(const std::string& caption) override;
  void Repaint() override;
  void Close() override;
  void PostToUiThread(std::function<void()> task) override;
  void RunStateChanged(bool running) override;
  void ShowProgress(const std::string& text) override;

  // placement::PlacementWindow
  std::string ClassName() const override { return "Tyedekalmaf"; }
  bool HandleAllocated() const override { return true; }
  bool Visible() const override { return visible_; }
  int Left() const override;
  int Top() const override;
  int Width() const override;
  int Height() const override;
  placement::WindowPlacement GetPlacement() const override;
  void SetPlacement(const placement::WindowPlacement& placement) override;
  placement::TWindowState WindowState() const override;
  void SetWindowState(placement::TWindowState state) override;
  placement::TFormBorderStyle BorderStyle() const override { return placement::bsDialog; }
  placement::TPosition Position() const override { return position_; }
  void SetPosition(placement::TPosition position) override { position_ = position; }
  placement::TFormStyle FormStyle() const override { return placement::fsNormal; }
  int ScreenWidth() const override;
  int ScreenHeight() const override;
  int PixelsPerInch() const override;
  placement::TSize FrameMetric(placement::FrameMetricKind metric) const override;
  bool IsMainForm() const override { return true; }
  bool ApplicationMinimized() const override { return isMinimized(); }
  void PostMinimizeApplication() override;

 protected:
  // Esc: the cancel button "KAPAT".
  void reject() override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QLabel* Label1 = nullptr;
  QLabel* dblbl = nullptr;
  QPushButton* kaydetbtn = nullptr;
  QPushButton* iptalbtn = nullptr;
  QPushButton* durdurbtn = nullptr;  // "İPTAL"
  QLabel* progresslbl = nullptr;
  QTimer* clock_ = nullptr;  // ticks the elapsed time while a run goes
  std::string db_caption_ = "---";
  HttpNotice webb;
  bool close_after_run_ = false;
  std::unique_ptr<TyedekalmafCore> core_;
  std::unique_ptr<placement::TFormStorage> FormStorage1;
  placement::TPosition position_ = placement::poDesigned;
  bool visible_ = false;
  bool created_ = false;
};

}  // namespace app
