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

TForm4::TForm4(PictureView* izquierda, PictureView* derecha)
    : QWidget(nullptr, Qt::Window), izquierda_(izquierda), derecha_(derecha) {
  setWindowTitle(QStringLiteral("Mapa de pixels"));
  setFont(FuenteVentanas());
  setAttribute(Qt::WA_QuitOnClose, false);

  Label1 = new QLabel(QStringLiteral("X  ,  Y"), this);
  Label1->setGeometry(200, 184, 49, 21);
  Label1->setAlignment(Qt::AlignCenter);
  QFont negrita = Label1->font();
  negrita.setBold(true);
  Label1->setFont(negrita);

  // Created in tab order.
  UpDown1 = new UpDown(Qt::Vertical, this);
  UpDown1->setGeometry(208, 56, 25, 105);
  UpDown2 = new UpDown(Qt::Horizontal, this);
  UpDown2->setGeometry(56, 208, 89, 25);
  Button1 = new QPushButton(QStringLiteral("Actualizar"), this);
  Button1->setGeometry(288, 208, 137, 25);
  StringGrid1 = NuevaRejilla(this, QRect(8, 16, 185, 185), 5, 5, 36, 36);
  StringGrid2 = NuevaRejilla(this, QRect(256, 16, 185, 185), 5, 5, 36, 36);
  StringGrid3 = NuevaRejilla(this, QRect(192, 208, 65, 25), 2, 1, 31, 21);

  ColocarVentana(this, QRect(231, 192, 461, 277));

  // The up-down controls pass on the arrow that was pressed.
  connectGuarded(UpDown1, &UpDown::clicked, this,
                 [this](UpDown::Arrow arrow) { UpDown1Click(arrow); });
  connectGuarded(UpDown2, &UpDown::clicked, this,
                 [this](UpDown::Arrow arrow) { UpDown2Click(arrow); });
  connectGuarded(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TForm4::MostrarMapa() {
  const Picture& inicial = izquierda_->picture();
  const Picture& final_ = derecha_->picture();
  for (int dy = -2; dy <= 2; ++dy) {
    for (int dx = -2; dx <= 2; ++dx) {
      const std::int64_t x = static_cast<std::int64_t>(PuntoX) + dx;
      const std::int64_t y = static_cast<std::int64_t>(PuntoY) + dy;
      StringGrid1->setCell(dx + 2, dy + 2, TextoNivel(inicial, x, y));
      StringGrid2->setCell(dx + 2, dy + 2, TextoNivel(final_, x, y));
    }
  }
  StringGrid3->setCell(0, 0, IntToStr(PuntoX));
  StringGrid3->setCell(1, 0, IntToStr(PuntoY));
}

void TForm4::UpDown1Click(UpDown::Arrow Button) {
  PuntoY = Paso(PuntoY, Button == UpDown::Arrow::Next ? -1 : 1);
  MostrarMapa();
}

void TForm4::UpDown2Click(UpDown::Arrow Button) {
  PuntoX = Paso(PuntoX, Button == UpDown::Arrow::Next ? 1 : -1);
  MostrarMapa();
}

void TForm4::Button1Click() {
  if (form2_) {
    PuntoX = form2_->PuntoX;
    PuntoY = form2_->PuntoY;
  }
  MostrarMapa();
}

void TForm4::FormShow() {
  move(100, 100);
}

void TForm4::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Only a show asked for by the program; not the window system's own (restoring
  // from the task bar).
  if (!event->spontaneous()) runGuarded([this] { FormShow(); });
}

}  // namespace morvane
