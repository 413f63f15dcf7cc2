// The main window `yedekalmaf` (class Tyedekalmaf) in Qt Widgets: the visible
// controls as designed and the glue between their clicks and the logic in
// TyedekalmafCore.
//
// Flow: construct (creates the controls, then runs the start-up handler) ->
// Created()? show() : end the program -> clicks -> close. Created and used by
// main() on the user-interface thread.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/service_config.h"
#include "app/yedekalma.h"

class QLabel;
class QPushButton;

namespace app {

class Tyedekalmaf : public QDialog, public MainWindow {
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

 protected:
  // Esc: the cancel button "KAPAT".
  void reject() override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* Label1 = nullptr;
  QLabel* dblbl = nullptr;
  QPushButton* kaydetbtn = nullptr;
  QPushButton* iptalbtn = nullptr;
  std::string db_caption_ = "---";
  std::unique_ptr<TyedekalmafCore> core_;
  bool created_ = false;
};

}  // namespace app
