// The image windows and the pixel map, driven as the user does: presses on the
// pictures, the arrows, "Actualizar", closing the windows.
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
  static void SetUpTestSuite() {
    static int argc = 1;
    static char nombre[] = "inspection_windows_test", *argv[] = {nombre, nullptr};
    new QApplication(argc, argv);
  }
  static void TearDownTestSuite() { delete qApp; }
  void SetUp() override {
    izquierda.picture().setImage(Imagen(40, 30, 0), 24);
    derecha.picture().setImage(Imagen(40, 30, 100), 24);
    const VentanasInspeccion v = CrearVentanasInspeccion(&izquierda, &derecha);
    form2.reset(v.Form2), form3.reset(v.Form3), form4.reset(v.Form4);
  }
  static void Pulsar(VentanaImagen* ventana, int x, int y, Qt::MouseButton boton = Qt::LeftButton) {
    QMouseEvent evento(QEvent::MouseButtonPress, QPointF(x, y),
                       ventana->Image1->mapToGlobal(QPointF(x, y)), boton, boton, Qt::NoModifier);
    QApplication::sendEvent(ventana->Image1, &evento);
  }
  // Ctrl + wheel turned over a point of the part of the window the picture
  // scrolls in; Ctrl + a key; a press there.
  static void Rueda(VentanaImagen* ventana, QPoint enVisor, int giro) {
    const QPointF local = ventana->Image1->mapFrom(ventana->Visor(), enVisor);
    QWheelEvent evento(local, ventana->Image1->mapToGlobal(local), QPoint(), QPoint(0, giro),
                       Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(ventana->Image1, &evento);
  }
  static void Tecla(QWidget* ventana, int tecla) {
    QKeyEvent evento(QEvent::KeyPress, tecla, Qt::ControlModifier);
    QApplication::sendEvent(ventana, &evento);
  }
  static QPoint EnVista(VentanaImagen* ventana, QPoint enVisor) {
    return ventana->Image1->mapFrom(ventana->Visor(), enVisor);
  }
  // Red of the view as painted at a point of its own.
  static int Pintado(VentanaImagen* ventana, QPoint enVista) {
    return qRed(ventana->Image1->grab(QRect(enVista, QSize(1, 1))).toImage().pixel(0, 0));
  }
  void EsperarCentro(QPoint punto, int desfase = 0) const {
    EXPECT_EQ(form4->StringGrid3->cell(0, 0) + " " + form4->StringGrid3->cell(1, 0),
              QString("%1 %2").arg(punto.x()).arg(punto.y()));
    EXPECT_EQ(form4->StringGrid1->cell(2, 2),
              QString::number(Nivel(punto.x(), punto.y(), desfase)));
  }
  // The map shows (cx, cy) and, in both grids, the levels of the 5 x 5 square
  // around it; the outside colour beyond the picture.
  void EsperarMapa(int cx, int cy) const {
    EXPECT_EQ(form4->StringGrid3->cell(0, 0) + " " + form4->StringGrid3->cell(1, 0),
              QString("%1 %2").arg(cx).arg(cy));
    for (int k = 0; k < 50; ++k) {
      const int col = k % 5, fila = k / 5 % 5, desfase = k < 25 ? 0 : 100;
      const long long x = cx - 2LL + col, y = cy - 2LL + fila;
      const bool dentro = x >= 0 && y >= 0 && x < 40 && y < 30;
      EXPECT_EQ(
          (k < 25 ? form4->StringGrid1 : form4->StringGrid2)->cell(col, fila),
          QString::number(dentro ? Nivel(int(x), int(y), desfase) : Picture::kOutsideColour & 0xFF))
          << col << "," << fila << " desfase " << desfase;
    }
  }

  PictureView izquierda, derecha;
  std::unique_ptr<TForm2> form2;
  std::unique_ptr<TForm3> form3;
  std::unique_ptr<TForm4> form4;
};

TEST_F(Inspeccion, MapaSigueLasPulsacionesLasFlechasActualizarYElCierre) {
  MostrarVentana(form2.get());
  Pulsar(form2.get(), 10, 20, Qt::RightButton);
  EsperarMapa(10, 20);
  Pulsar(form2.get(), 4, 0);
  form4->UpDown1->nextButton()->click();  // up, past the picture
  EsperarMapa(4, -1);
  form4->UpDown1->previousButton()->click();
  form4->UpDown1->previousButton()->click();                          // down
  form4->UpDown2->previousButton()->click();                          // left
  for (int i = 0; i < 4; ++i) form4->UpDown2->nextButton()->click();  // right
  EsperarMapa(7, 1);
  EXPECT_EQ(QPoint(form2->PuntoX, form2->PuntoY), QPoint(4, 0));  // only the map moved

  MostrarVentana(form3.get());
  Pulsar(form3.get(), 5, 7);
  form4->UpDown1->nextButton()->click();
  form4->Button1->click();  // "Actualizar": back to the point last pressed
  EsperarMapa(5, 7);
  // The grids keep the levels they were filled with until the next refill.
  derecha.picture().setPixel(5, 7, Picture::grayColour(1));
  EXPECT_EQ(form4->StringGrid2->cell(2, 2), QString::number(Nivel(5, 7, 100)));
  form4->Button1->click();
  EXPECT_EQ(form4->StringGrid2->cell(2, 2), "1");

  // Closing both windows hides the map; the next press shows it at (100, 100).
  form4->move(300, 250);
  form2->close();
  const bool visible = form4->isVisible();
  form3->close();
  EXPECT_TRUE(visible && !form4->isVisible());
  MostrarVentana(form3.get());
  Pulsar(form3.get(), 3, 4);
  EXPECT_TRUE(form4->isVisible() && form4->frameGeometry().topLeft() == QPoint(100, 100));
  EXPECT_EQ(form4->StringGrid1->cell(2, 2), QString::number(Nivel(3, 4, 0)));
}

// The point has no bounds, but an arrow at an end of the int range leaves it
// there instead of wrapping to the other end; the grids show the outside.
TEST_F(Inspeccion, LasFlechasSeDetienenEnLosExtremosDelEntero) {
  constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
  const struct {
    int* punto;
    QToolButton* flecha;
    int extremo;
  } casos[] = {{&form4->PuntoX, form4->UpDown2->nextButton(), kMax},
               {&form4->PuntoX, form4->UpDown2->previousButton(), kMin},
               {&form4->PuntoY, form4->UpDown1->previousButton(), kMax},
               {&form4->PuntoY, form4->UpDown1->nextButton(), kMin}};
  for (const auto& caso : casos) {
    form4->PuntoX = form4->PuntoY = 3;
    *caso.punto = caso.extremo;
    caso.flecha->click();
    EXPECT_EQ(*caso.punto, caso.extremo);
    EsperarMapa(form4->PuntoX, form4->PuntoY);
  }
}

TEST_F(Inspeccion, ImagenMayorQueLaPantallaSeDesplazaEnLaVentana) {
  const QRect area = form2->screen()->availableGeometry();
  const QPoint esquina(area.width() + 298, area.height() + 197);  // far corner of the picture
  izquierda.picture().setImage(Imagen(esquina.x() + 2, esquina.y() + 3, 0), 24);
  MostrarVentana(form2.get());
  form2->FormActivate();
  QApplication::processEvents();
  EXPECT_EQ(form2->frameGeometry().size(), area.size());
  auto* desplazamiento = qobject_cast<QScrollArea*>(form2->Image1->parentWidget()->parentWidget());
  ASSERT_NE(desplazamiento, nullptr);
  desplazamiento->ensureVisible(esquina.x(), esquina.y());
  EXPECT_EQ(form2->childAt(form2->Image1->mapTo(form2.get(), esquina)), form2->Image1);
  Pulsar(form2.get(), esquina.x(), esquina.y());
  EXPECT_EQ(QPoint(form2->PuntoX, form2->PuntoY), esquina);
  EXPECT_EQ(form4->StringGrid1->cell(2, 2), QString::number(Nivel(esquina.x(), esquina.y(), 0)));
}

// Zooming in keeps the picture point under the cursor there, and a press still
// selects the picture pixel drawn under it: at 400 % (a square of 4 x 4 screen
// pixels each; too many to keep, drawn as painted), at 25 % (each screen pixel
// the mean of 4 x 4) and at 100 %.
TEST_F(Inspeccion, ElZoomConservaElPuntoBajoElCursorYElDelMapa) {
  izquierda.picture().setImage(Imagen(700, 400, 0), 24);
  MostrarVentana(form2.get());
  form2->FormActivate();
  QApplication::processEvents();
  const QPoint cursor(250, 150), punto = EnVista(form2.get(), cursor);
  Pulsar(form2.get(), punto.x(), punto.y());
  EsperarCentro(punto);
  for (int i = 0; i < 3; ++i) Rueda(form2.get(), cursor, 120);
  EXPECT_EQ(form2->Zoom(), 4.0);
  const QPoint enVista = EnVista(form2.get(), cursor);
  Pulsar(form2.get(), enVista.x(), enVista.y());
  EsperarCentro(punto);
  EXPECT_EQ(Pintado(form2.get(), enVista), Nivel(punto.x(), punto.y(), 0));
  EXPECT_EQ(Pintado(form2.get(), punto * 4 + QPoint(3, 1)), Nivel(punto.x(), punto.y(), 0));

  QCursor::setPos(form2->Visor()->mapToGlobal(cursor));
  for (int i = 0; i < 6; ++i) Tecla(form2.get(), Qt::Key_Minus);
  EXPECT_EQ(form2->Zoom(), 0.25);
  Pulsar(form2.get(), 30, 20);  // the whole picture is in sight, at the top left
  EsperarCentro(QPoint(120, 80));
  EXPECT_EQ(Pintado(form2.get(), QPoint(30, 20)), 118);  // mean of (120 .. 123, 80 .. 83)

  Tecla(form2.get(), Qt::Key_0);
  QApplication::processEvents();
  EXPECT_LT(form2->Zoom(), 1.0);
  EXPECT_TRUE(QRect(QPoint(0, 0), form2->Visor()->size()).contains(form2->Image1->geometry()));
  Tecla(form2.get(), Qt::Key_Plus);
  EXPECT_EQ(form2->Zoom(), 1.0);
  EXPECT_EQ(form2->Image1->size(), QSize(700, 400));
  Pulsar(form2.get(), 7, 9);
  EsperarMapa(7, 9);
}

// "Antes / Después" shows the left picture in the same place and at the same
// zoom, kept through an activation; presses still select the same point.
TEST_F(Inspeccion, AntesDespuesMuestraLaImagenInicialEnElMismoLugar) {
  izquierda.picture().setImage(Imagen(600, 400, 0), 24);
  derecha.picture().setImage(Imagen(600, 400, 100), 24);
  MostrarVentana(form3.get());
  form3->FormActivate();
  QApplication::processEvents();
  for (int i = 0; i < 2; ++i) Rueda(form3.get(), QPoint(200, 100), 120);
  const QPoint enVista = EnVista(form3.get(), QPoint(200, 100)),
               punto(enVista.x() / 3, enVista.y() / 3);
  EXPECT_EQ(Pintado(form3.get(), enVista), Nivel(punto.x(), punto.y(), 100));
  form3->AntesDespues->click();
  EXPECT_EQ(form3->Mostrada->text(), "Antes");
  EXPECT_EQ(EnVista(form3.get(), QPoint(200, 100)), enVista);
  EXPECT_EQ(Pintado(form3.get(), enVista), Nivel(punto.x(), punto.y(), 0));
  form3->FormActivate();
  EXPECT_EQ(Pintado(form3.get(), enVista), Nivel(punto.x(), punto.y(), 0));
  Pulsar(form3.get(), enVista.x(), enVista.y());
  EXPECT_EQ(QPoint(form2->PuntoX, form2->PuntoY), punto);
  form3->AntesDespues->click();
  EXPECT_EQ(form3->Mostrada->text(), "Después");
  EXPECT_EQ(Pintado(form3.get(), enVista), Nivel(punto.x(), punto.y(), 100));
}

}  // namespace
}  // namespace morvane
