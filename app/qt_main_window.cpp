// The main window's widgets, fonts, key roles and placement calls.
#include "app/qt_main_window.h"

#include <QCloseEvent>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cmath>

#include "app/button_pictures.h"
#include "app/event_handler.h"
#include "app/qt_text.h"
#include "app/run_texts.h"
#include "platform/files.h"

namespace app {
namespace {

// Designed client area and position; the row of "İPTAL" under the buttons.
constexpr int kClientWidth = 260, kClientHeight = 210;
constexpr int kLeft = 418, kTop = 158;

QFont label_font() {
  QFont f("Palatino Linotype");
  f.setPixelSize(16);
  f.setBold(true);
  f.setItalic(true);
  return f;
}

void set_text_colour(QLabel* label, const QColor& colour) {
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, colour);
  label->setPalette(pal);
}

placement::TRect to_rect(const QRect& r) {
  return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

}  // namespace

Tyedekalmaf::Tyedekalmaf(const ServiceConfig& service)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(to_qstring("Yedekleme"));
  setFixedSize(kClientWidth, kClientHeight);
  move(kLeft, kTop);
  setSizeGripEnabled(false);
  QFont font("MS Sans Serif");
  font.setPixelSize(11);
  setFont(font);

  Label1 = new QLabel(to_qstring("Yedeklenecek Veritaban\xFD"), this);
  Label1->move(16, 16);
  Label1->setFont(label_font());
  Label1->adjustSize();  // designed 171 x 21; sized to the font actually found
  set_text_colour(Label1, Qt::blue);
  Label1->setAttribute(Qt::WA_TranslucentBackground);

  dblbl = new QLabel(to_qstring(db_caption_), this);
  dblbl->move(16, 40);
  dblbl->setFont(label_font());
  set_text_colour(dblbl, Qt::red);
  dblbl->adjustSize();

  kaydetbtn = new QPushButton(save_picture(), to_qstring("YEDEK AL"), this);
  kaydetbtn->setGeometry(16, 128, 137, 33);
  kaydetbtn->setIconSize(QSize(16, 16));
  kaydetbtn->setDefault(true);

  iptalbtn = new QPushButton(close_picture(), to_qstring("KAPAT"), this);
  iptalbtn->setGeometry(160, 128, 81, 33);
  iptalbtn->setIconSize(QSize(16, 16));
  setTabOrder(kaydetbtn, iptalbtn);

  progresslbl = new QLabel(this);
  progresslbl->setGeometry(16, 62, 236, 62);
  progresslbl->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  progresslbl->setObjectName("progresslbl");

  durdurbtn = new QPushButton(to_qstring("\xDDPTAL"), this);
  durdurbtn->setGeometry(160, 168, 81, 33);
  durdurbtn->setEnabled(false);
  setTabOrder(iptalbtn, durdurbtn);

  clock_ = new QTimer(this);
  clock_->setInterval(1000);
  connect(clock_, &QTimer::timeout, this, [this] { core_->RefreshProgress(); });

  core_ = std::make_unique<TyedekalmafCore>(*this, webb, service);
  FormStorage1 = std::make_unique<placement::TFormStorage>(*this);
  connect(kaydetbtn, &QPushButton::clicked, this,
          [this] { run_event_handler([this] { core_->kaydetbtnClick(); }); });
  connect(iptalbtn, &QPushButton::clicked, this,
          [this] { run_event_handler([this] { core_->iptalbtnClick(); }); });
  connect(durdurbtn, &QPushButton::clicked, this, [this] {
    durdurbtn->setEnabled(false);
    core_->CancelRun();
  });

  // The start-up handler runs once every control and component exists.
  created_ = core_->Start();
}

Tyedekalmaf::~Tyedekalmaf() {
  // A run still going (the program is ending otherwise) is cancelled and
  // joined before the components go.
  core_->CancelRunForClose();
  core_->WaitForRun();
  DoDestroy();
  FormStorage1.reset();
  core_.reset();
}

void Tyedekalmaf::SetDbLabelCaption(const std::string& caption) {
  db_caption_ = caption;
  dblbl->setText(to_qstring(caption));
  dblbl->adjustSize();
}

void Tyedekalmaf::Repaint() { repaint(); }

void Tyedekalmaf::Close() { close(); }

void Tyedekalmaf::PostToUiThread(std::function<void()> task) {
  // Queued to this window: dropped if the window is gone by then.
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void Tyedekalmaf::RunStateChanged(bool running) {
  kaydetbtn->setEnabled(!running);
  durdurbtn->setEnabled(running);
  if (running) {
    clock_->start();
  } else {
    clock_->stop();
    kaydetbtn->setFocus();
    if (close_after_run_) close();
  }
}

void Tyedekalmaf::ShowProgress(const std::string& text) { progresslbl->setText(to_qstring(text)); }

void Tyedekalmaf::reject() { iptalbtn->click(); }

void Tyedekalmaf::closeEvent(QCloseEvent* event) {
  // A run going: ask, then cancel it and close once the worker has ended.
  if (core_->Running()) {
    event->ignore();
    if (close_after_run_) return;
    QMessageBox box(QMessageBox::Question, to_qstring(platform::program_title()),
                    to_box_text(kCancelQuestion), QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes) return;
    if (core_->Running()) {
      close_after_run_ = true;
      durdurbtn->setEnabled(false);
      core_->CancelRunForClose();
      return;
    }
    // The run ended while the question was open: close now.
  }
  // Not QDialog::closeEvent: that would call reject() and click "KAPAT" again.
  if (DoCloseQuery())
    event->accept();
  else
    event->ignore();
}

void Tyedekalmaf::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    DoShow();
    visible_ = true;
  }
  QDialog::showEvent(event);
  kaydetbtn->setFocus();
}

void Tyedekalmaf::hideEvent(QHideEvent* event) {
  if (!event->spontaneous()) visible_ = false;
  QDialog::hideEvent(event);
}

int Tyedekalmaf::Left() const { return frameGeometry().x(); }
int Tyedekalmaf::Top() const { return frameGeometry().y(); }
int Tyedekalmaf::Width() const { return frameGeometry().width(); }
int Tyedekalmaf::Height() const { return frameGeometry().height(); }

placement::WindowPlacement Tyedekalmaf::GetPlacement() const {
  placement::WindowPlacement p;
  p.show_cmd = isMinimized()   ? placement::SW_SHOWMINIMIZED
               : isMaximized() ? placement::SW_SHOWMAXIMIZED
                               : placement::SW_SHOWNORMAL;
  if (p.show_cmd == placement::SW_SHOWNORMAL) {
    p.normal_position = to_rect(frameGeometry());
  } else {
    // The restored-state frame: normal client geometry plus the frame margins.
    QRect normal = normalGeometry();
    QRect frame = frameGeometry(), client = geometry();
    normal.adjust(frame.left() - client.left(), frame.top() - client.top(),
                  frame.right() - client.right(), frame.bottom() - client.bottom());
    p.normal_position = to_rect(normal);
  }
  p.min_position = {-1, -1};
  p.max_position = {-1, -1};
  return p;
}

void Tyedekalmaf::SetPlacement(const placement::WindowPlacement& p) {
  QRect frame(p.normal_position.left, p.normal_position.top,
              p.normal_position.right - p.normal_position.left,
              p.normal_position.bottom - p.normal_position.top);
  // Keep the window reachable: a frame off every screen goes to the primary one.
  bool on_screen = false;
  for (QScreen* s : QGuiApplication::screens())
    if (s->geometry().intersects(frame)) on_screen = true;
  if (!on_screen) {
    if (QScreen* primary = QGuiApplication::primaryScreen())
      frame.moveTopLeft(primary->availableGeometry().topLeft());
  }
  move(frame.topLeft());  // the frame is fixed in size; only its place changes
  switch (p.show_cmd) {
    case placement::SW_HIDE:
      break;
    case placement::SW_SHOWMINIMIZED:
    case placement::SW_MINIMIZE:
    case placement::SW_SHOWMINNOACTIVE:
      setWindowState(Qt::WindowMinimized);
      break;
    case placement::SW_SHOWMAXIMIZED:
      setWindowState(Qt::WindowMaximized);
      break;
    default:
      setWindowState(Qt::WindowNoState);
      break;
  }
}

placement::TWindowState Tyedekalmaf::WindowState() const {
  if (isMinimized()) return placement::wsMinimized;
  if (isMaximized()) return placement::wsMaximized;
  return placement::wsNormal;
}

void Tyedekalmaf::SetWindowState(placement::TWindowState state) {
  setWindowState(state == placement::wsMinimized   ? Qt::WindowMinimized
                 : state == placement::wsMaximized ? Qt::WindowMaximized
                                                   : Qt::WindowNoState);
}

int Tyedekalmaf::ScreenWidth() const {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().width() : 0;
}

int Tyedekalmaf::ScreenHeight() const {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().height() : 0;
}

int Tyedekalmaf::PixelsPerInch() const {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? static_cast<int>(std::lround(s->logicalDotsPerInch())) : 96;
}

placement::TSize Tyedekalmaf::FrameMetric(placement::FrameMetricKind metric) const {
  // The window system draws the frame; these are the classic edge widths.
  switch (metric) {
    case placement::FrameMetricKind::kBorder:
      return {1, 1};
    case placement::FrameMetricKind::kFrame:
      return {4, 4};
    case placement::FrameMetricKind::kDialogFrame:
      return {3, 3};
  }
  return {0, 0};
}

void Tyedekalmaf::PostMinimizeApplication() {
  QTimer::singleShot(0, this, [this] { showMinimized(); });
}

}  // namespace app
