// Program entry: the application, the screen interface, the main window and
// the message loop. The exit code is always 0.
#include <QApplication>

#include "app/qt_main_window.h"
#include "app/qt_user_interface.h"
#include "app/service_config.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  app::QtUserInterface ui;
  platform::install_user_interface(&ui);
  {
    app::Tyedekalmaf window(app::compiled_service_config());
    if (window.Created()) {
      window.show();
      application.exec();
    }
  }
  platform::install_user_interface(nullptr);
  return 0;
}
