// The image windows and the pixel map, driven as the user does.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QToolButton>
#include <QWheelEvent>
#include <limits>
#include <memory>

#include "inspection/image_windows.h"
#include "inspection/pixel_map.h"
#include "tests/support/application.h"
#include "tests/support/child.h"
#include "toolkit/controls.h"
#include "toolkit/picture_view.h"

namespace morvane {
namespace {

constexpr auto Nivel = [](int x, int y, int desfase) { return (x * 7 + y * 13 + desfase) % 256; };

// The level is in red; reading another channel, or mixing them, shows.
QImage Imagen(int ancho, int alto, int desfase) {
  QImage imagen(ancho, alto, QImage::Format_RGB32);
  for (int y = 0; y < alto; ++y)
    for (int x = 0; x < ancho; ++x) imagen.setPixel(x, y, qRgb(Nivel(x, y, desfase), 0, 255));
  return imagen;
}

class Inspeccion : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }
  void SetUp() override {
    izquierda.picture().setImage(Imagen(40, 30, 0), 24);
    derecha.picture().setImage(Imagen(40, 30, 100), 24);
    const VentanasInspeccion v = CrearVentanasInspeccion(&izquierda, &derecha);
    inicial.reset(v.imagenInicial), final_.reset(v.imagenFinal), mapa.reset(v.mapaPixels);
  }
  static PictureView* Vista(VentanaImagen* ventana) {
    return child<PictureView>(*ventana, "imagenView");
  }
  static void Pulsar(VentanaImagen* ventana, int x, int y, Qt::MouseButton boton = Qt::LeftButton) {
    QMouseEvent evento(QEvent::MouseButtonPress, QPointF(x, y),
                       Vista(ventana)->mapToGlobal(QPointF(x, y)), boton, boton, Qt::NoModifier);
    QApplication::sendEvent(Vista(ventana), &evento);
  }
  UpDown* flechas(const char* nombre) const { return child<UpDown>(*mapa, nombre); }
  StringGrid* rejilla(const char* nombre) const { return child<StringGrid>(*mapa, nombre); }
  // Ctrl + wheel turned over a point of the part of the window the picture
  // scrolls in; Ctrl + a key; a press there.
  static void Rueda(VentanaImagen* ventana, QPoint enVisor, int giro) {
    const QPointF local = EnVista(ventana, enVisor);
    QWheelEvent evento(local, Vista(ventana)->mapToGlobal(local), QPoint(), QPoint(0, giro),
                       Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(Vista(ventana), &evento);
  }
  static void Tecla(QWidget* ventana, int tecla) {
    QKeyEvent evento(QEvent::KeyPress, tecla, Qt::ControlModifier);
    QApplication::sendEvent(ventana, &evento);
  }
  static QPoint EnVista(VentanaImagen* ventana, QPoint enVisor) {
    return Vista(ventana)->mapFrom(ventana->visor(), enVisor);
  }
  // Red of the view as painted at a point of its own.
  static int Pintado(VentanaImagen* ventana, QPoint enVista) {
    return qRed(Vista(ventana)->grab(QRect(enVista, QSize(1, 1))).toImage().pixel(0, 0));
  }
  // The map shows (cx, cy) and, in both grids, the levels of the 5 x 5 square
  // around it; the outside colour beyond the picture.
  void EsperarMapa(int cx, int cy) {
    EXPECT_EQ(rejilla("puntoGrid")->cell(0, 0) + " " + rejilla("puntoGrid")->cell(1, 0),
              QString("%1 %2").arg(cx).arg(cy));
    for (int k = 0; k < 50; ++k) {
      const int col = k % 5, fila = k / 5 % 5, desfase = k < 25 ? 0 : 100;
      const long long x = cx - 2LL + col, y = cy - 2LL + fila;
      const Picture& imagen = (k < 25 ? izquierda : derecha).picture();
      const bool dentro = x >= 0 && y >= 0 && x < imagen.width() && y < imagen.height();
      EXPECT_EQ(
          (k < 25 ? rejilla("inicialGrid") : rejilla("finalGrid"))->cell(col, fila),
          QString::number(dentro ? Nivel(int(x), int(y), desfase) : Picture::kOutsideColour & 0xFF))
          << col << "," << fila << " desfase " << desfase;
    }
  }

  PictureView izquierda, derecha;
  std::unique_ptr<VentanaImagenInicial> inicial;
  std::unique_ptr<VentanaImagenFinal> final_;
  std::unique_ptr<MapaPixels> mapa;
};

TEST_F(Inspeccion, MapaSigueLasPulsacionesLasFlechasActualizarYElCierre) {
  MostrarVentana(inicial.get());
  Pulsar(inicial.get(), 10, 20, Qt::RightButton);
  EsperarMapa(10, 20);
  Pulsar(inicial.get(), 4, 0);
  flechas("yUpDown")->nextButton()->click();  // up, past the picture
  EsperarMapa(4, -1);
  flechas("yUpDown")->previousButton()->click();
  flechas("yUpDown")->previousButton()->click();                          // down
  flechas("xUpDown")->previousButton()->click();                          // left
  for (int i = 0; i < 4; ++i) flechas("xUpDown")->nextButton()->click();  // right
  EsperarMapa(7, 1);
  EXPECT_EQ(QPoint(inicial->PuntoX, inicial->PuntoY), QPoint(4, 0));  // only the map moved

  MostrarVentana(final_.get());
  Pulsar(final_.get(), 5, 7);
  flechas("yUpDown")->nextButton()->click();
  child<QPushButton>(*mapa, "actualizarButton")
      ->click();  // "Actualizar": back to the point last pressed
  EsperarMapa(5, 7);
  // The grids keep the levels they were filled with until the next refill.
  derecha.picture().setPixel(5, 7, Picture::grayColour(1));
  EXPECT_EQ(rejilla("finalGrid")->cell(2, 2), QString::number(Nivel(5, 7, 100)));
  child<QPushButton>(*mapa, "actualizarButton")->click();
  EXPECT_EQ(rejilla("finalGrid")->cell(2, 2), "1");

  // Closing both windows hides the map; the next press shows it at (100, 100).
  mapa->move(300, 250);
  inicial->close();
  const bool visible = mapa->isVisible();
  final_->close();
  EXPECT_TRUE(visible && !mapa->isVisible());
  MostrarVentana(final_.get());
  Pulsar(final_.get(), 3, 4);
  EXPECT_TRUE(mapa->isVisible() && mapa->frameGeometry().topLeft() == QPoint(100, 100));
  EXPECT_EQ(rejilla("inicialGrid")->cell(2, 2), QString::number(Nivel(3, 4, 0)));
}

// The point has no bounds, but an arrow at an end of the int range leaves it
// there instead of wrapping to the other end; the grids show the outside.
TEST_F(Inspeccion, LasFlechasSeDetienenEnLosExtremosDelEntero) {
  constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
  const struct {
    int* punto;
    QToolButton* flecha;
    int extremo;
  } casos[] = {{&mapa->PuntoX, flechas("xUpDown")->nextButton(), kMax},
               {&mapa->PuntoX, flechas("xUpDown")->previousButton(), kMin},
               {&mapa->PuntoY, flechas("yUpDown")->previousButton(), kMax},
               {&mapa->PuntoY, flechas("yUpDown")->nextButton(), kMin}};
  for (const auto& caso : casos) {
    mapa->PuntoX = mapa->PuntoY = 3;
    *caso.punto = caso.extremo;
    caso.flecha->click();
    EXPECT_EQ(*caso.punto, caso.extremo);
    EsperarMapa(mapa->PuntoX, mapa->PuntoY);
  }
}

TEST_F(Inspeccion, ImagenMayorQueLaPantallaSeDesplazaEnLaVentana) {
  const QRect area = inicial->screen()->availableGeometry();
  const QPoint esquina(area.width() + 298, area.height() + 197);  // far corner of the picture
  izquierda.picture().setImage(Imagen(esquina.x() + 2, esquina.y() + 3, 0), 24);
  MostrarVentana(inicial.get());
  inicial->onActivated();
  QApplication::processEvents();
  EXPECT_EQ(inicial->frameGeometry().size(), area.size());
  auto* desplazamiento =
      qobject_cast<QScrollArea*>(Vista(inicial.get())->parentWidget()->parentWidget());
  ASSERT_NE(desplazamiento, nullptr);
  desplazamiento->ensureVisible(esquina.x(), esquina.y());
  EXPECT_EQ(inicial->childAt(Vista(inicial.get())->mapTo(inicial.get(), esquina)),
            Vista(inicial.get()));
  Pulsar(inicial.get(), esquina.x(), esquina.y());
  EXPECT_EQ(QPoint(inicial->PuntoX, inicial->PuntoY), esquina);
  EsperarMapa(esquina.x(), esquina.y());
}

// Zooming in keeps the picture point under the cursor there, and a press still
// selects the picture pixel drawn under it: at 400 % (a square of 4 x 4 screen
// pixels each; too many to keep, drawn as painted), at 25 % (each screen pixel
// the mean of 4 x 4) and at 100 %.
TEST_F(Inspeccion, ElZoomConservaElPuntoBajoElCursorYElDelMapa) {
  izquierda.picture().setImage(Imagen(700, 400, 0), 24);
  MostrarVentana(inicial.get());
  inicial->onActivated();
  QApplication::processEvents();
  const QPoint cursor(250, 150), punto = EnVista(inicial.get(), cursor);
  Pulsar(inicial.get(), punto.x(), punto.y());
  EsperarMapa(punto.x(), punto.y());
  for (int i = 0; i < 3; ++i) Rueda(inicial.get(), cursor, 120);
  const QPoint enVista = EnVista(inicial.get(), cursor);
  Pulsar(inicial.get(), enVista.x(), enVista.y());
  EsperarMapa(punto.x(), punto.y());
  EXPECT_EQ(Pintado(inicial.get(), enVista), Nivel(punto.x(), punto.y(), 0));
  EXPECT_EQ(Pintado(inicial.get(), punto * 4 + QPoint(3, 1)), Nivel(punto.x(), punto.y(), 0));

  QCursor::setPos(inicial->visor()->mapToGlobal(cursor));
  for (int i = 0; i < 6; ++i) Tecla(inicial.get(), Qt::Key_Minus);
  Pulsar(inicial.get(), 30, 20);  // the whole picture is in sight, at the top left
  EsperarMapa(120, 80);
  EXPECT_EQ(Pintado(inicial.get(), QPoint(30, 20)), 118);  // mean of (120 .. 123, 80 .. 83)

  Tecla(inicial.get(), Qt::Key_0);
  QApplication::processEvents();
  EXPECT_LT(inicial->zoom(), 1.0);
  EXPECT_TRUE(
      QRect(QPoint(0, 0), inicial->visor()->size()).contains(Vista(inicial.get())->geometry()));
  Tecla(inicial.get(), Qt::Key_Plus);
  EXPECT_EQ(Vista(inicial.get())->size(), QSize(700, 400));
  Pulsar(inicial.get(), 7, 9);
  EsperarMapa(7, 9);
}

// "Antes / Después" shows the left picture in the same place and at the same
// zoom, kept through an activation; presses still select the same point.
TEST_F(Inspeccion, AntesDespuesMuestraLaImagenInicialEnElMismoLugar) {
  izquierda.picture().setImage(Imagen(600, 400, 0), 24);
  derecha.picture().setImage(Imagen(600, 400, 100), 24);
  MostrarVentana(final_.get());
  final_->onActivated();
  QApplication::processEvents();
  for (int i = 0; i < 2; ++i) Rueda(final_.get(), QPoint(200, 100), 120);
  const QPoint enVista = EnVista(final_.get(), QPoint(200, 100)),
               punto(enVista.x() / 3, enVista.y() / 3);
  EXPECT_EQ(Pintado(final_.get(), enVista), Nivel(punto.x(), punto.y(), 100));
  child<QToolButton>(*final_, "antesDespuesButton")->click();
  EXPECT_EQ(child<QLabel>(*final_, "mostradaLabel")->text(), "Antes");
  EXPECT_EQ(EnVista(final_.get(), QPoint(200, 100)), enVista);
  EXPECT_EQ(Pintado(final_.get(), enVista), Nivel(punto.x(), punto.y(), 0));
  final_->onActivated();
  EXPECT_EQ(Pintado(final_.get(), enVista), Nivel(punto.x(), punto.y(), 0));
  Pulsar(final_.get(), enVista.x(), enVista.y());
  EXPECT_EQ(QPoint(inicial->PuntoX, inicial->PuntoY), punto);
  child<QToolButton>(*final_, "antesDespuesButton")->click();
  EXPECT_EQ(child<QLabel>(*final_, "mostradaLabel")->text(), "Después");
  EXPECT_EQ(Pintado(final_.get(), enVista), Nivel(punto.x(), punto.y(), 100));
}

}  // namespace
}  // namespace morvane
