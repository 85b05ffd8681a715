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
  auto* mapa = new MapaPixels(left, right);
  auto* inicial = new VentanaImagenInicial(left);
  auto* final_ = new VentanaImagenFinal(right, left);
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
  // Ctrl + wheel over the picture, or beside a small one, zooms.
  desplazamiento_->viewport()->installEventFilter(this);
  imagenView_->installEventFilter(this);
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

  // A deep copy: later drawing into the main picture must not reach it. The
  // view keeps its zoom.
  imagenView_->picture().setImage(original.image().copy(), original.bitsPerPixel());
  imagenView_->pictureChanged();
  copiaTomada();
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

namespace {

// The zoom factors the steps go through.
constexpr double kEscala[] = {1.0 / 32, 1.0 / 24, 1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4,
                              1.0 / 3,  1.0 / 2,  1.0,      2.0,      3.0,     4.0,     6.0,
                              8.0,      12.0,     16.0,     24.0,     32.0};

}  // namespace

double VentanaImagen::zoom() const {
  return imagenView_->zoom();
}

QWidget* VentanaImagen::visor() const {
  return desplazamiento_->viewport();
}

void VentanaImagen::acercar(int pasos, QPoint ancla) {
  double factor = zoom();
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
  fijarZoom(factor, ancla);
}

void VentanaImagen::ajustar() {
  const Picture& imagen = imagenView_->picture();
  if (imagen.isEmpty()) return;
  const QSize sitio = desplazamiento_->maximumViewportSize();
  const double factor = std::min({1.0, static_cast<double>(sitio.width()) / imagen.width(),
                                  static_cast<double>(sitio.height()) / imagen.height()});
  fijarZoom(factor, QPoint(0, 0));
}

void VentanaImagen::fijarZoom(double factor, QPoint ancla) {
  const Picture& imagen = imagenView_->picture();
  if (imagen.isEmpty() || factor == zoom()) {
    imagenView_->setZoom(factor);
    return;
  }
  // The picture point at the middle of the screen pixel under the anchor.
  const QSize antes = imagenView_->zoomedSize();
  const QPoint local = imagenView_->mapFrom(desplazamiento_->viewport(), ancla);
  const double px = (local.x() + 0.5) * imagen.width() / antes.width();
  const double py = (local.y() + 0.5) * imagen.height() / antes.height();
  imagenView_->setZoom(factor);
  const QSize despues = imagenView_->zoomedSize();
  desplazamiento_->horizontalScrollBar()->setValue(
      static_cast<int>(std::floor(px * despues.width() / imagen.width() - ancla.x())));
  desplazamiento_->verticalScrollBar()->setValue(
      static_cast<int>(std::floor(py * despues.height() / imagen.height() - ancla.y())));
}

bool VentanaImagen::eventFilter(QObject* objeto, QEvent* event) {
  QWidget* visor = desplazamiento_->viewport();
  if ((objeto == visor || objeto == imagenView_) && event->type() == QEvent::Wheel) {
    auto* rueda = static_cast<QWheelEvent*>(event);
    if (rueda->modifiers() & Qt::ControlModifier) {
      const QPoint giro = rueda->angleDelta();
      rueda_ += giro.y() != 0 ? giro.y() : giro.x();
      const int pasos = rueda_ / 120;
      rueda_ %= 120;
      const QPoint ancla = static_cast<QWidget*>(objeto)->mapTo(visor, rueda->position().toPoint());
      if (pasos != 0) runGuarded([&] { acercar(pasos, ancla); });
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
      runGuarded([&] { acercar(1, ancla); });
      break;
    case Qt::Key_Minus:
      runGuarded([&] { acercar(-1, ancla); });
      break;
    case Qt::Key_0:
      runGuarded([&] { ajustar(); });
      break;
    default:
      return QWidget::keyPressEvent(event);
  }
  event->accept();
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

VentanaImagenFinal::VentanaImagenFinal(PictureView* derecha, PictureView* izquierda)
    : VentanaImagen(derecha, QStringLiteral("Imagen Final"), Qt::Window), izquierda_(izquierda) {
  ColocarVentana(this, QRect(192, 107, 546, 367));
  // Over the top right corner of the picture, outside the window's layout.
  antesDespuesButton_ = new QToolButton(this);
  antesDespuesButton_->setObjectName(QStringLiteral("antesDespuesButton"));
  antesDespuesButton_->setText(QStringLiteral("Antes / Después"));
  antesDespuesButton_->setCheckable(true);
  antesDespuesButton_->setFocusPolicy(Qt::NoFocus);
  antesDespuesButton_->setToolTip(
      QStringLiteral("Muestra en el mismo lugar la imagen inicial o la final"));
  mostradaLabel_ = new QLabel(this);
  mostradaLabel_->setObjectName(QStringLiteral("mostradaLabel"));
  mostradaLabel_->setAutoFillBackground(true);
  mostradaLabel_->setMargin(3);
  rotular();
  connectGuarded(antesDespuesButton_, &QToolButton::clicked, this, [this] { onAntesDespues(); });
}

void VentanaImagenFinal::onAntesDespues() {
  antes_ = !antes_;
  std::swap(imagenView_->picture(), otra_);
  imagenView_->pictureChanged();
  rotular();
}

void VentanaImagenFinal::copiaTomada() {
  const Picture& izquierda = izquierda_->picture();
  otra_.setImage(izquierda.image().copy(), izquierda.bitsPerPixel());
  if (antes_) {
    std::swap(imagenView_->picture(), otra_);
    imagenView_->pictureChanged();
  }
}

void VentanaImagenFinal::rotular() {
  antesDespuesButton_->setChecked(antes_);
  mostradaLabel_->setText(antes_ ? QStringLiteral("Antes") : QStringLiteral("Después"));
  mostradaLabel_->adjustSize();
  resizeEvent(nullptr);
}

void VentanaImagenFinal::resizeEvent(QResizeEvent* event) {
  if (event) VentanaImagen::resizeEvent(event);
  const QSize boton = antesDespuesButton_->sizeHint();
  antesDespuesButton_->setGeometry(width() - boton.width() - 20, 4, boton.width(), boton.height());
  mostradaLabel_->move(antesDespuesButton_->x() - mostradaLabel_->width() - 4,
                       4 + (boton.height() - mostradaLabel_->height()) / 2);
  antesDespuesButton_->raise();
  mostradaLabel_->raise();
}

}  // namespace morvane
