// The main window's widgets, fonts and key roles.
#include "app/qt_main_window.h"

#include <QCloseEvent>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include "app/button_pictures.h"
#include "app/event_handler.h"
#include "app/qt_text.h"

namespace app {
namespace {

// Designed client area and position.
constexpr int kClientWidth = 260, kClientHeight = 176;
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

  core_ = std::make_unique<TyedekalmafCore>(*this, service);
  connect(iptalbtn, &QPushButton::clicked, this,
          [this] { run_event_handler([this] { core_->iptalbtnClick(); }); });

  // The start-up handler runs once every control exists.
  created_ = core_->Start();
}

Tyedekalmaf::~Tyedekalmaf() = default;

void Tyedekalmaf::SetDbLabelCaption(const std::string& caption) {
  db_caption_ = caption;
  dblbl->setText(to_qstring(caption));
  dblbl->adjustSize();
}

void Tyedekalmaf::Repaint() { repaint(); }

void Tyedekalmaf::Close() { close(); }

void Tyedekalmaf::reject() { iptalbtn->click(); }

void Tyedekalmaf::closeEvent(QCloseEvent* event) {
  // Not QDialog::closeEvent: that would call reject() and click "KAPAT" again.
  event->accept();
}

void Tyedekalmaf::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  kaydetbtn->setFocus();
}

}  // namespace app
