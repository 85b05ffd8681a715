// Start-up: the application, its title, the main window (which creates the
// three hidden inspection windows), and the event loop.
#include <QApplication>

#include "app/main_window.h"
#include "toolkit/guard.h"

int main(int argc, char** argv) {
  try {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvane"));
    morvane::TForm1 form1;
    form1.show();
    QApplication::exec();
  } catch (...) {
    // Nothing escapes start-up or the loop unreported; the program still ends
    // with exit code 0.
    if (QApplication::instance() != nullptr) morvane::showError(std::current_exception());
  }
  return 0;
}
