// Message boxes, question, pointer and event processing on Qt Widgets.
#include "app/qt_user_interface.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#include "app/qt_text.h"
#include "platform/cancel.h"
#include "platform/codepage.h"
#include "platform/files.h"

namespace app {
namespace {

QString caption() { return to_qstring(platform::program_title()); }

void show_box(QMessageBox::Icon icon, const std::string& text) {
  // Every box is also written to the standard error, one line per box, so
  // a run's outcome can be read from a log afterwards.
  std::string line = platform::ansi_to_utf8(text);
  std::replace(line.begin(), line.end(), '\r', '|');
  std::fprintf(stderr, "%s: %s\n", icon == QMessageBox::Critical ? "error" : "message",
               line.c_str());
  std::fflush(stderr);
  QMessageBox box(icon, caption(), to_box_text(text), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool on_ui_thread() { return QThread::currentThread() == qApp->thread(); }

// Runs task on the user-interface thread (queued) and returns at once.
void post(std::function<void()> task) {
  QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
}

}  // namespace

void QtUserInterface::ShowMessage(const std::string& text) {
  if (!on_ui_thread()) return post([text] { show_box(QMessageBox::NoIcon, text); });
  show_box(QMessageBox::NoIcon, text);
}

void QtUserInterface::ShowError(const std::string& text) {
  if (!on_ui_thread()) return post([text] { show_box(QMessageBox::Critical, text); });
  show_box(QMessageBox::Critical, text);
}

platform::FailureAnswer QtUserInterface::AskAbortRetryIgnore(const std::string& text,
                                                             bool allow_retry) {
  if (on_ui_thread()) return Ask(text, allow_retry);
  // From the worker: the user-interface thread asks; the worker waits in
  // slices so that a cancelled run does not wait for the answer.
  struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    bool answered = false;
    bool abandoned = false;  // the run was cancelled before the box came up
    platform::FailureAnswer answer = platform::FailureAnswer::kAbort;
  };
  auto pending = std::make_shared<Pending>();
  post([this, pending, text, allow_retry] {
    {
      std::lock_guard lock(pending->mutex);
      if (pending->abandoned) return;
    }
    platform::FailureAnswer answer = Ask(text, allow_retry);
    std::lock_guard lock(pending->mutex);
    pending->answer = answer;
    pending->answered = true;
    pending->done.notify_all();
  });
  std::unique_lock lock(pending->mutex);
  while (!pending->answered) {
    pending->done.wait_for(lock, std::chrono::milliseconds(platform::kCancelPollMs));
    if (platform::cancel_requested()) {
      pending->abandoned = true;
      return platform::FailureAnswer::kAbort;
    }
  }
  return pending->answer;
}

platform::FailureAnswer QtUserInterface::Ask(const std::string& text, bool allow_retry) {
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
  if (!on_ui_thread()) return;
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

void QtUserInterface::ProcessMessages() {
  if (on_ui_thread()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace app
