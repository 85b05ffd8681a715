#include "inspection/window_geometry.h"

#include "toolkit/fonts.h"

#include <QWidget>
#include <algorithm>

namespace morvane {

namespace {

// The frame assumed before the window system has framed a window: 4 pixels of
// border on each side, 23 of caption above the client area.
constexpr QSize kMarcoSupuesto(8, 27);

}  // namespace

QFont FuenteVentanas() {
  return SansFont(11);
}

QSize MarcoVentana(const QWidget* window) {
  if (!window->testAttribute(Qt::WA_WState_Created)) return kMarcoSupuesto;
  return window->frameGeometry().size() - window->geometry().size();
}

void ColocarVentana(QWidget* window, const QRect& exterior) {
  const QSize cliente = exterior.size() - MarcoVentana(window);
  window->resize(std::max(cliente.width(), 0), std::max(cliente.height(), 0));
  window->move(exterior.topLeft());
}

}  // namespace morvane
