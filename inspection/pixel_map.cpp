#include "inspection/pixel_map.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <cstdint>
#include <limits>

#include "inspection/image_windows.h"
#include "inspection/window_geometry.h"
#include "toolkit/controls.h"
#include "toolkit/convert.h"
#include "toolkit/guard.h"
#include "toolkit/picture_view.h"

namespace morvane {

namespace {

// A read-only grid of fixed cells.
StringGrid* NuevaRejilla(QWidget* padre, const QRect& posicion, int columnas, int filas,
                         int anchoCelda, int altoCelda) {
  auto* rejilla = new StringGrid(padre);
  rejilla->setSize(columnas, filas);
  rejilla->setDefaultCellSize(anchoCelda, altoCelda);
  rejilla->setEditTriggers(QAbstractItemView::NoEditTriggers);
  rejilla->setGeometry(posicion);
  return rejilla;
}

// One step of a coordinate. The point has no bounds, but it stops at the ends of
// the integer range instead of wrapping around.
int Paso(int valor, int paso) {
  if (paso > 0 && valor == std::numeric_limits<int>::max()) return valor;
  if (paso < 0 && valor == std::numeric_limits<int>::min()) return valor;
  return valor + paso;
}

// Gray level, as text, of the picture point (x, y): the low byte (red) of the
// colour the picture reports there.
QString TextoNivel(const Picture& imagen, std::int64_t x, std::int64_t y) {
  constexpr std::int64_t kMin = std::numeric_limits<int>::min();
  constexpr std::int64_t kMax = std::numeric_limits<int>::max();
  std::uint32_t color = Picture::kOutsideColour;
  if (x >= kMin && x <= kMax && y >= kMin && y <= kMax)
    color = imagen.pixel(static_cast<int>(x), static_cast<int>(y));
  return IntToStr(static_cast<std::int32_t>(color & 0xFFu));
}

}  // namespace

MapaPixels::MapaPixels(PictureView* izquierda, PictureView* derecha)
    : QWidget(nullptr, Qt::Window), izquierda_(izquierda), derecha_(derecha) {
  setWindowTitle(QStringLiteral("Mapa de pixels"));
  setFont(FuenteVentanas());
  setAttribute(Qt::WA_QuitOnClose, false);

  xyLabel_ = new QLabel(QStringLiteral("X  ,  Y"), this);
  xyLabel_->setGeometry(200, 184, 49, 21);
  xyLabel_->setAlignment(Qt::AlignCenter);
  QFont negrita = xyLabel_->font();
  negrita.setBold(true);
  xyLabel_->setFont(negrita);

  // Created in tab order.
  yUpDown_ = new UpDown(Qt::Vertical, this);
  yUpDown_->setGeometry(208, 56, 25, 105);
  xUpDown_ = new UpDown(Qt::Horizontal, this);
  xUpDown_->setGeometry(56, 208, 89, 25);
  actualizarButton_ = new QPushButton(QStringLiteral("Actualizar"), this);
  actualizarButton_->setGeometry(288, 208, 137, 25);
  inicialGrid_ = NuevaRejilla(this, QRect(8, 16, 185, 185), 5, 5, 36, 36);
  finalGrid_ = NuevaRejilla(this, QRect(256, 16, 185, 185), 5, 5, 36, 36);
  puntoGrid_ = NuevaRejilla(this, QRect(192, 208, 65, 25), 2, 1, 31, 21);
  xyLabel_->setObjectName(QStringLiteral("xyLabel"));
  yUpDown_->setObjectName(QStringLiteral("yUpDown"));
  xUpDown_->setObjectName(QStringLiteral("xUpDown"));
  actualizarButton_->setObjectName(QStringLiteral("actualizarButton"));
  inicialGrid_->setObjectName(QStringLiteral("inicialGrid"));
  finalGrid_->setObjectName(QStringLiteral("finalGrid"));
  puntoGrid_->setObjectName(QStringLiteral("puntoGrid"));

  ColocarVentana(this, QRect(231, 192, 461, 277));

  // The up-down controls pass on the arrow that was pressed.
  connectGuarded(yUpDown_, &UpDown::clicked, this,
                 [this](UpDown::Arrow arrow) { onYArrow(arrow); });
  connectGuarded(xUpDown_, &UpDown::clicked, this,
                 [this](UpDown::Arrow arrow) { onXArrow(arrow); });
  connectGuarded(actualizarButton_, &QPushButton::clicked, this, [this] { onActualizar(); });
}

void MapaPixels::mostrarMapa() {
  const Picture& inicial = izquierda_->picture();
  const Picture& final_ = derecha_->picture();
  for (int dy = -2; dy <= 2; ++dy) {
    for (int dx = -2; dx <= 2; ++dx) {
      const std::int64_t x = static_cast<std::int64_t>(PuntoX) + dx;
      const std::int64_t y = static_cast<std::int64_t>(PuntoY) + dy;
      inicialGrid_->setCell(dx + 2, dy + 2, TextoNivel(inicial, x, y));
      finalGrid_->setCell(dx + 2, dy + 2, TextoNivel(final_, x, y));
    }
  }
  puntoGrid_->setCell(0, 0, IntToStr(PuntoX));
  puntoGrid_->setCell(1, 0, IntToStr(PuntoY));
}

void MapaPixels::onYArrow(UpDown::Arrow arrow) {
  PuntoY = Paso(PuntoY, arrow == UpDown::Arrow::Next ? -1 : 1);
  mostrarMapa();
}

void MapaPixels::onXArrow(UpDown::Arrow arrow) {
  PuntoX = Paso(PuntoX, arrow == UpDown::Arrow::Next ? 1 : -1);
  mostrarMapa();
}

void MapaPixels::onActualizar() {
  if (imagenInicial_) {
    PuntoX = imagenInicial_->PuntoX;
    PuntoY = imagenInicial_->PuntoY;
  }
  mostrarMapa();
}

void MapaPixels::onShown() {
  move(100, 100);
}

void MapaPixels::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Only a show asked for by the program; not the window system's own (restoring
  // from the task bar).
  if (!event->spontaneous()) runGuarded([this] { onShown(); });
}

}  // namespace morvane
