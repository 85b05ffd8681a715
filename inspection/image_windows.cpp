#include "inspection/image_windows.h"

#include <QCloseEvent>
#include <QEvent>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

#include "inspection/pixel_map.h"
#include "inspection/window_geometry.h"
#include "toolkit/guard.h"
#include "toolkit/picture_view.h"

namespace morvane {

VentanasInspeccion CrearVentanasInspeccion(PictureView* left, PictureView* right) {
  auto* mapa = new MapaPixels(left, right);
  auto* inicial = new VentanaImagenInicial(left);
  auto* final_ = new VentanaImagenFinal(right);
  inicial->enlazar(inicial, final_, mapa);
  final_->enlazar(inicial, inicial, mapa);
  mapa->enlazar(inicial);
  return {inicial, final_, mapa};
}

void MostrarVentana(QWidget* form) {
  form->show();
  form->raise();
  form->activateWindow();
}

VentanaImagen::VentanaImagen(PictureView* origen, const QString& titulo, Qt::WindowFlags banderas)
    : QWidget(nullptr, banderas), origen_(origen) {
  setWindowTitle(titulo);
  setFont(FuenteVentanas());
  // The main window alone decides when the program ends.
  setAttribute(Qt::WA_QuitOnClose, false);

  imagenView_ = new PictureView;
  imagenView_->setObjectName(QStringLiteral("imagenView"));
  imagenView_->setFitted(false);
  imagenView_->setAutoSize(true);

  // The window's outer size is the picture's, so part of the picture lies behind
  // the frame (or beyond the screen): the view scrolls within the client area.
  desplazamiento_ = new QScrollArea(this);
  desplazamiento_->setFrameShape(QFrame::NoFrame);
  desplazamiento_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  desplazamiento_->setWidgetResizable(false);
  desplazamiento_->setWidget(imagenView_);
  auto* disposicion = new QVBoxLayout(this);
  disposicion->setContentsMargins(0, 0, 0, 0);
  // A small picture makes a small window, smaller than the scroll bars would ask.
  disposicion->setSizeConstraint(QLayout::SetNoConstraint);
  disposicion->addWidget(desplazamiento_);

  connectGuarded(imagenView_, &PictureView::pressed, this,
                 [this](int x, int y) { onImagenPressed(x, y); });
}

void VentanaImagen::enlazar(VentanaImagenInicial* inicial, VentanaImagen* otra, MapaPixels* mapa) {
  imagenInicial_ = inicial;
  otra_ = otra;
  mapaPixels_ = mapa;
}

void VentanaImagen::onActivated() {
  const Picture& original = origen_->picture();
  // With no picture in the main view there is nothing to size to: the window
  // keeps its size and the copy it shows.
  if (original.isEmpty()) return;

  QSize exterior(original.width(), original.height());
  QRect disponible;
  if (QScreen* pantalla = screen()) disponible = pantalla->availableGeometry();
  const bool limitada = disponible.isValid() && (exterior.width() > disponible.width() ||
                                                 exterior.height() > disponible.height());
  if (limitada) exterior = exterior.boundedTo(disponible.size());

  const QSize cliente = exterior - MarcoVentana(this);
  resize(std::max(cliente.width(), 0), std::max(cliente.height(), 0));
  if (limitada) {
    // Keep the whole frame on the screen.
    QPoint esquina = pos();
    esquina.setX(
        std::clamp(esquina.x(), disponible.left(), disponible.right() + 1 - exterior.width()));
    esquina.setY(
        std::clamp(esquina.y(), disponible.top(), disponible.bottom() + 1 - exterior.height()));
    move(esquina);
  }

  // A deep copy: later drawing into the main picture must not reach it.
  imagenView_->picture().setImage(original.image().copy(), original.bitsPerPixel());
  imagenView_->resize(original.width(), original.height());
  imagenView_->pictureChanged();
}

void VentanaImagen::onImagenPressed(int x, int y) {
  if (imagenInicial_) {
    imagenInicial_->PuntoX = x;
    imagenInicial_->PuntoY = y;
  }
  if (!mapaPixels_) return;
  mapaPixels_->PuntoX = x;
  mapaPixels_->PuntoY = y;
  if (!mapaPixels_->isVisible()) mapaPixels_->show();
  mapaPixels_->mostrarMapa();
}

void VentanaImagen::onClosing() {
  // The closing window still counts as visible here; only the other one matters.
  if (mapaPixels_ && !(otra_ && otra_->isVisible())) mapaPixels_->hide();
}

void VentanaImagen::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow())
    runGuarded([this] { onActivated(); });
}

void VentanaImagen::closeEvent(QCloseEvent* event) {
  runGuarded([this] { onClosing(); });
  event->accept();
}

VentanaImagenInicial::VentanaImagenInicial(PictureView* izquierda)
    : VentanaImagen(izquierda, QStringLiteral("Imagen Inicial"),
                    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                        Qt::WindowCloseButtonHint) {
  ColocarVentana(this, QRect(192, 107, 544, 375));
}

VentanaImagenFinal::VentanaImagenFinal(PictureView* derecha)
    : VentanaImagen(derecha, QStringLiteral("Imagen Final"), Qt::Window) {
  ColocarVentana(this, QRect(192, 107, 546, 367));
}

}  // namespace morvane
