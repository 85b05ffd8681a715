// Start-up: the application, its title, Qt's own texts in Spanish, the main
// window (which creates the three hidden inspection windows), a picture named
// on the command line, and the event loop.
#include <QApplication>
#include <QTimer>

#include "app/main_window.h"
#include "toolkit/desktop.h"
#include "toolkit/guard.h"

int main(int argc, char** argv) {
  try {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvane"));
    QApplication::setOrganizationName(QStringLiteral("Morvane"));
    morvane::loadQtSpanish(application);
    morvane::VentanaPrincipal window;
    window.show();
    // "Open with" on the desktop names the picture as the first argument.
    QTimer::singleShot(0, &window, [&window] {
      morvane::runGuarded([&window] { window.openArguments(QApplication::arguments()); });
    });
    QApplication::exec();
  } catch (...) {
    // Nothing escapes start-up or the loop unreported; the program still ends
    // with exit code 0.
    if (QApplication::instance() != nullptr) morvane::showError(std::current_exception());
  }
  return 0;
}
