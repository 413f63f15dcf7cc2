// Message boxes, question, pointer and event processing on Qt Widgets.
#include "app/qt_user_interface.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QPushButton>

#include "app/qt_text.h"
#include "platform/files.h"

namespace app {
namespace {

QString caption() { return to_qstring(platform::program_title()); }

void show_box(QMessageBox::Icon icon, const std::string& text) {
  QMessageBox box(icon, caption(), to_box_text(text), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace

void QtUserInterface::ShowMessage(const std::string& text) { show_box(QMessageBox::NoIcon, text); }

void QtUserInterface::ShowError(const std::string& text) { show_box(QMessageBox::Critical, text); }

platform::FailureAnswer QtUserInterface::AskAbortRetryIgnore(const std::string& text,
                                                             bool allow_retry) {
  QMessageBox box(QMessageBox::Critical, caption(), to_box_text(text), QMessageBox::NoButton,
                  QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);
  QPushButton* abort = box.addButton(QMessageBox::Abort);
  QPushButton* retry = allow_retry ? box.addButton(QMessageBox::Retry) : nullptr;
  box.addButton(QMessageBox::Ignore);
  box.setDefaultButton(abort);
  box.setEscapeButton(abort);
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  if (clicked == abort || clicked == nullptr) return platform::FailureAnswer::kAbort;
  if (retry && clicked == retry) return platform::FailureAnswer::kRetry;
  return platform::FailureAnswer::kIgnore;
}

void QtUserInterface::SetBusyCursor(platform::BusyCursor cursor) {
  if (cursor == platform::BusyCursor::kDefault) {
    if (cursor_overridden_) QApplication::restoreOverrideCursor();
    cursor_overridden_ = false;
    return;
  }
  QCursor shape(cursor == platform::BusyCursor::kSqlWait ? Qt::BusyCursor : Qt::WaitCursor);
  if (cursor_overridden_) {
    QApplication::changeOverrideCursor(shape);
  } else {
    QApplication::setOverrideCursor(shape);
    cursor_overridden_ = true;
  }
}

void QtUserInterface::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

}  // namespace app
