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
  auto* form4 = new TForm4(left, right);
  auto* form2 = new TForm2(left);
  auto* form3 = new TForm3(right);
  form2->Enlazar(form2, form3, form4);
  form3->Enlazar(form2, form2, form4);
  form4->Enlazar(form2);
  return {form2, form3, form4};
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

  Image1 = new PictureView;
  Image1->setFitted(false);
  Image1->setAutoSize(true);

  // The window's outer size is the picture's, so part of the picture lies behind
  // the frame (or beyond the screen): the view scrolls within the client area.
  desplazamiento_ = new QScrollArea(this);
  desplazamiento_->setFrameShape(QFrame::NoFrame);
  desplazamiento_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  desplazamiento_->setWidgetResizable(false);
  desplazamiento_->setWidget(Image1);
  auto* disposicion = new QVBoxLayout(this);
  disposicion->setContentsMargins(0, 0, 0, 0);
  // A small picture makes a small window, smaller than the scroll bars would ask.
  disposicion->setSizeConstraint(QLayout::SetNoConstraint);
  disposicion->addWidget(desplazamiento_);

  connectGuarded(Image1, &PictureView::pressed, this,
                 [this](int x, int y) { Image1MouseDown(x, y); });
}

void VentanaImagen::Enlazar(TForm2* form2, VentanaImagen* otra, TForm4* form4) {
  form2_ = form2;
  otra_ = otra;
  form4_ = form4;
}

void VentanaImagen::FormActivate() {
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
  Image1->picture().setImage(original.image().copy(), original.bitsPerPixel());
  Image1->resize(original.width(), original.height());
  Image1->pictureChanged();
}

void VentanaImagen::Image1MouseDown(int X, int Y) {
  if (form2_) {
    form2_->PuntoX = X;
    form2_->PuntoY = Y;
  }
  if (!form4_) return;
  form4_->PuntoX = X;
  form4_->PuntoY = Y;
  if (!form4_->isVisible()) form4_->show();
  form4_->MostrarMapa();
}

void VentanaImagen::FormClose() {
  // The closing window still counts as visible here; only the other one matters.
  if (form4_ && !(otra_ && otra_->isVisible())) form4_->hide();
}

void VentanaImagen::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow())
    runGuarded([this] { FormActivate(); });
}

void VentanaImagen::closeEvent(QCloseEvent* event) {
  runGuarded([this] { FormClose(); });
  event->accept();
}

TForm2::TForm2(PictureView* izquierda)
    : VentanaImagen(izquierda, QStringLiteral("Imagen Inicial"),
                    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                        Qt::WindowCloseButtonHint) {
  ColocarVentana(this, QRect(192, 107, 544, 375));
}

TForm3::TForm3(PictureView* derecha)
    : VentanaImagen(derecha, QStringLiteral("Imagen Final"), Qt::Window) {
  ColocarVentana(this, QRect(192, 107, 546, 367));
}

}  // namespace morvane
