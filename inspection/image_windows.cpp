#include "inspection/image_windows.h"

#include <QCloseEvent>
#include <QCursor>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "inspection/pixel_map.h"
#include "inspection/window_geometry.h"
#include "toolkit/guard.h"
#include "toolkit/picture_view.h"

namespace morvane {

VentanasInspeccion CrearVentanasInspeccion(PictureView* left, PictureView* right) {
  auto* form4 = new TForm4(left, right);
  auto* form2 = new TForm2(left);
  auto* form3 = new TForm3(right, left);
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
  // Ctrl + wheel over the picture, or beside a small one, zooms.
  desplazamiento_->viewport()->installEventFilter(this);
  Image1->installEventFilter(this);
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

  // A deep copy: later drawing into the main picture must not reach it. The
  // view keeps its zoom.
  Image1->picture().setImage(original.image().copy(), original.bitsPerPixel());
  Image1->pictureChanged();
  CopiaTomada();
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

namespace {

// The zoom factors the steps go through.
constexpr double kEscala[] = {1.0 / 32, 1.0 / 24, 1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4,
                              1.0 / 3,  1.0 / 2,  1.0,      2.0,      3.0,     4.0,     6.0,
                              8.0,      12.0,     16.0,     24.0,     32.0};

}  // namespace

double VentanaImagen::Zoom() const {
  return Image1->zoom();
}

QWidget* VentanaImagen::Visor() const {
  return desplazamiento_->viewport();
}

void VentanaImagen::Acercar(int pasos, QPoint ancla) {
  double factor = Zoom();
  for (; pasos > 0; --pasos) {
    const auto siguiente = std::find_if(std::begin(kEscala), std::end(kEscala),
                                        [&](double e) { return e > factor * (1 + 1e-9); });
    if (siguiente != std::end(kEscala)) factor = *siguiente;
  }
  for (; pasos < 0; ++pasos) {
    const auto anterior = std::find_if(std::rbegin(kEscala), std::rend(kEscala),
                                       [&](double e) { return e < factor * (1 - 1e-9); });
    if (anterior != std::rend(kEscala)) factor = *anterior;
  }
  FijarZoom(factor, ancla);
}

void VentanaImagen::Ajustar() {
  const Picture& imagen = Image1->picture();
  if (imagen.isEmpty()) return;
  const QSize sitio = desplazamiento_->maximumViewportSize();
  const double factor = std::min({1.0, static_cast<double>(sitio.width()) / imagen.width(),
                                  static_cast<double>(sitio.height()) / imagen.height()});
  FijarZoom(factor, QPoint(0, 0));
}

void VentanaImagen::FijarZoom(double factor, QPoint ancla) {
  const Picture& imagen = Image1->picture();
  if (imagen.isEmpty() || factor == Zoom()) {
    Image1->setZoom(factor);
    return;
  }
  // The picture point at the middle of the screen pixel under the anchor.
  const QSize antes = Image1->zoomedSize();
  const QPoint local = Image1->mapFrom(desplazamiento_->viewport(), ancla);
  const double px = (local.x() + 0.5) * imagen.width() / antes.width();
  const double py = (local.y() + 0.5) * imagen.height() / antes.height();
  Image1->setZoom(factor);
  const QSize despues = Image1->zoomedSize();
  desplazamiento_->horizontalScrollBar()->setValue(
      static_cast<int>(std::floor(px * despues.width() / imagen.width() - ancla.x())));
  desplazamiento_->verticalScrollBar()->setValue(
      static_cast<int>(std::floor(py * despues.height() / imagen.height() - ancla.y())));
}

bool VentanaImagen::eventFilter(QObject* objeto, QEvent* event) {
  QWidget* visor = desplazamiento_->viewport();
  if ((objeto == visor || objeto == Image1) && event->type() == QEvent::Wheel) {
    auto* rueda = static_cast<QWheelEvent*>(event);
    if (rueda->modifiers() & Qt::ControlModifier) {
      const QPoint giro = rueda->angleDelta();
      rueda_ += giro.y() != 0 ? giro.y() : giro.x();
      const int pasos = rueda_ / 120;
      rueda_ %= 120;
      const QPoint ancla = static_cast<QWidget*>(objeto)->mapTo(visor, rueda->position().toPoint());
      if (pasos != 0) runGuarded([&] { Acercar(pasos, ancla); });
      return true;
    }
  }
  return QWidget::eventFilter(objeto, event);
}

void VentanaImagen::keyPressEvent(QKeyEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) return QWidget::keyPressEvent(event);
  QWidget* visor = desplazamiento_->viewport();
  QPoint ancla = visor->mapFromGlobal(QCursor::pos());
  if (!visor->rect().contains(ancla)) ancla = visor->rect().center();
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      runGuarded([&] { Acercar(1, ancla); });
      break;
    case Qt::Key_Minus:
      runGuarded([&] { Acercar(-1, ancla); });
      break;
    case Qt::Key_0:
      runGuarded([&] { Ajustar(); });
      break;
    default:
      return QWidget::keyPressEvent(event);
  }
  event->accept();
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

TForm3::TForm3(PictureView* derecha, PictureView* izquierda)
    : VentanaImagen(derecha, QStringLiteral("Imagen Final"), Qt::Window), izquierda_(izquierda) {
  ColocarVentana(this, QRect(192, 107, 546, 367));
  // Over the top right corner of the picture, outside the window's layout.
  AntesDespues = new QToolButton(this);
  AntesDespues->setText(QStringLiteral("Antes / Después"));
  AntesDespues->setCheckable(true);
  AntesDespues->setFocusPolicy(Qt::NoFocus);
  AntesDespues->setToolTip(
      QStringLiteral("Muestra en el mismo lugar la imagen inicial o la final"));
  Mostrada = new QLabel(this);
  Mostrada->setAutoFillBackground(true);
  Mostrada->setMargin(3);
  Rotular();
  connectGuarded(AntesDespues, &QToolButton::clicked, this, [this] { AntesDespuesClick(); });
}

void TForm3::AntesDespuesClick() {
  antes_ = !antes_;
  std::swap(Image1->picture(), otra_);
  Image1->pictureChanged();
  Rotular();
}

void TForm3::CopiaTomada() {
  const Picture& izquierda = izquierda_->picture();
  otra_.setImage(izquierda.image().copy(), izquierda.bitsPerPixel());
  if (antes_) {
    std::swap(Image1->picture(), otra_);
    Image1->pictureChanged();
  }
}

void TForm3::Rotular() {
  AntesDespues->setChecked(antes_);
  Mostrada->setText(antes_ ? QStringLiteral("Antes") : QStringLiteral("Después"));
  Mostrada->adjustSize();
  resizeEvent(nullptr);
}

void TForm3::resizeEvent(QResizeEvent* event) {
  if (event) VentanaImagen::resizeEvent(event);
  const QSize boton = AntesDespues->sizeHint();
  AntesDespues->setGeometry(width() - boton.width() - 20, 4, boton.width(), boton.height());
  Mostrada->move(AntesDespues->x() - Mostrada->width() - 4,
                 4 + (boton.height() - Mostrada->height()) / 2);
  AntesDespues->raise();
  Mostrada->raise();
}

}  // namespace morvane
