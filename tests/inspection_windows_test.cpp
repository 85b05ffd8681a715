// The image windows and the pixel map, driven as the user does: presses on the
// pictures, the arrows, "Actualizar", closing and activating the windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QToolButton>
#include <memory>

#include "inspection/image_windows.h"
#include "inspection/pixel_map.h"
#include "toolkit/controls.h"
#include "toolkit/picture_view.h"

namespace morvane {
namespace {

// Level of the test pictures at (x, y); the right picture is shifted by 100.
int Nivel(int x, int y, int desfase) {
  return (x * 7 + y * 13 + desfase) % 256;
}

// A picture whose red channel holds Nivel; green and blue differ from it, so a
// map reading the wrong channel shows.
QImage Imagen(int ancho, int alto, int desfase) {
  QImage imagen(ancho, alto, QImage::Format_RGB32);
  for (int y = 0; y < alto; ++y)
    for (int x = 0; x < ancho; ++x) {
      const int g = Nivel(x, y, desfase);
      imagen.setPixel(x, y, qRgb(g, 255 - g, (g + 50) % 256));
    }
  return imagen;
}

const QString kFuera = QString::number(Picture::kOutsideColour & 0xFFu);

class InspeccionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char nombre[] = "inspection_windows_test";
    static char* argv[] = {nombre, nullptr};
    new QApplication(argc, argv);
  }

  void SetUp() override {
    izquierda.picture().setImage(Imagen(40, 30, 0), 24);
    derecha.picture().setImage(Imagen(40, 30, 100), 24);
    v = CrearVentanasInspeccion(&izquierda, &derecha);
    form2.reset(v.Form2);
    form3.reset(v.Form3);
    form4.reset(v.Form4);
  }

  // A mouse button pressed on the window's picture, at a point of the view.
  static void Pulsar(VentanaImagen* ventana, int x, int y, Qt::MouseButton boton = Qt::LeftButton) {
    QMouseEvent evento(QEvent::MouseButtonPress, QPointF(x, y),
                       ventana->Image1->mapToGlobal(QPointF(x, y)), boton, boton, Qt::NoModifier);
    QApplication::sendEvent(ventana->Image1, &evento);
  }

  // Both grids hold the levels around (cx, cy), the coordinates grid the point.
  void EsperarMapa(int cx, int cy) const {
    EXPECT_EQ(form4->StringGrid3->cell(0, 0), QString::number(cx));
    EXPECT_EQ(form4->StringGrid3->cell(1, 0), QString::number(cy));
    for (int fila = 0; fila < 5; ++fila)
      for (int col = 0; col < 5; ++col) {
        const int x = cx + col - 2, y = cy + fila - 2;
        const bool dentro = x >= 0 && y >= 0 && x < 40 && y < 30;
        SCOPED_TRACE(testing::Message() << "celda " << col << "," << fila);
        EXPECT_EQ(form4->StringGrid1->cell(col, fila),
                  dentro ? QString::number(Nivel(x, y, 0)) : kFuera);
        EXPECT_EQ(form4->StringGrid2->cell(col, fila),
                  dentro ? QString::number(Nivel(x, y, 100)) : kFuera);
      }
  }

  PictureView izquierda, derecha;
  VentanasInspeccion v{};
  std::unique_ptr<TForm2> form2;
  std::unique_ptr<TForm3> form3;
  std::unique_ptr<TForm4> form4;
};

using MapaTest = InspeccionTest;
using VentanasTest = InspeccionTest;

TEST_F(MapaTest, PulsacionMuestraElMapaAlrededorDelPunto) {
  MostrarVentana(form2.get());
  ASSERT_FALSE(form4->isVisible());
  Pulsar(form2.get(), 10, 20, Qt::RightButton);
  EXPECT_TRUE(form4->isVisible());
  EXPECT_EQ(form2->PuntoX, 10);
  EXPECT_EQ(form2->PuntoY, 20);
  EsperarMapa(10, 20);
}

TEST_F(MapaTest, FlechasMuevenElPuntoFueraDeLaImagen) {
  MostrarVentana(form2.get());
  Pulsar(form2.get(), 0, 0);
  form4->UpDown1->nextButton()->click();  // up: one row up
  EsperarMapa(0, -1);
  form4->UpDown1->previousButton()->click();
  form4->UpDown1->previousButton()->click();  // down: one row down
  EsperarMapa(0, 1);
  form4->UpDown2->nextButton()->click();  // right: one column right
  EsperarMapa(1, 1);
  form4->UpDown2->previousButton()->click();
  form4->UpDown2->previousButton()->click();  // left: one column left
  EsperarMapa(-1, 1);
  // The selected point is the pressed one; only the map moved.
  EXPECT_EQ(form2->PuntoX, 0);
  EXPECT_EQ(form2->PuntoY, 0);

  Pulsar(form2.get(), 39, 29);  // bottom-right corner: the outer cells are outside
  EsperarMapa(39, 29);
}

TEST_F(MapaTest, ActualizarVuelveAlPuntoSeleccionadoEnCualquierVentana) {
  MostrarVentana(form2.get());
  Pulsar(form2.get(), 10, 20);
  for (int i = 0; i < 3; ++i) form4->UpDown2->nextButton()->click();
  EsperarMapa(13, 20);
  form4->Button1->click();
  EsperarMapa(10, 20);

  MostrarVentana(form3.get());
  Pulsar(form3.get(), 5, 7);
  EXPECT_EQ(form2->PuntoX, 5);
  EXPECT_EQ(form2->PuntoY, 7);
  form4->UpDown1->nextButton()->click();
  form4->UpDown2->previousButton()->click();
  form4->Button1->click();
  EsperarMapa(5, 7);
}

TEST_F(MapaTest, RejillasConservanLosNivelesHastaRellenarlas) {
  MostrarVentana(form3.get());
  Pulsar(form3.get(), 10, 20);
  derecha.picture().setPixel(10, 20, Picture::grayColour(1));
  derecha.picture().setPixel(11, 20, Picture::grayColour(2));
  EXPECT_EQ(form4->StringGrid2->cell(2, 2), QString::number(Nivel(10, 20, 100)));
  form4->Button1->click();
  EXPECT_EQ(form4->StringGrid2->cell(2, 2), "1");
  EXPECT_EQ(form4->StringGrid1->cell(2, 2), QString::number(Nivel(10, 20, 0)));
  form4->UpDown2->nextButton()->click();  // a step refills as well
  EXPECT_EQ(form4->StringGrid2->cell(2, 2), "2");
}

TEST_F(VentanasTest, CerrarLaSegundaVentanaOcultaElMapaYReabrirloLoColoca) {
  MostrarVentana(form2.get());
  MostrarVentana(form3.get());
  Pulsar(form2.get(), 10, 20);
  ASSERT_TRUE(form4->isVisible());
  EXPECT_EQ(form4->frameGeometry().topLeft(), QPoint(100, 100));
  form4->move(300, 250);

  form2->close();
  EXPECT_FALSE(form2->isVisible());
  EXPECT_TRUE(form4->isVisible());
  form3->close();
  EXPECT_FALSE(form3->isVisible());
  EXPECT_FALSE(form4->isVisible());

  MostrarVentana(form3.get());
  Pulsar(form3.get(), 3, 4);
  EXPECT_TRUE(form4->isVisible());
  EXPECT_EQ(form4->frameGeometry().topLeft(), QPoint(100, 100));
  EsperarMapa(3, 4);

  // With the other window already hidden, closing one hides the map at once.
  form3->close();
  EXPECT_FALSE(form4->isVisible());
}

TEST_F(VentanasTest, ActivacionTomaElTamanoYUnaCopiaDeLaImagen) {
  const QImage inicial = Imagen(300, 200, 0);
  izquierda.picture().setImage(inicial, 24);
  MostrarVentana(form2.get());
  QApplication::processEvents();  // the window system activates the window
  EXPECT_EQ(form2->frameGeometry().size(), QSize(300, 200));
  MostrarVentana(form3.get());
  form3->FormActivate();
  EXPECT_EQ(form2->Image1->picture().image(), inicial);
  EXPECT_EQ(form3->frameGeometry().size(), QSize(40, 30));
  EXPECT_EQ(form3->Image1->picture().image(), derecha.picture().image());

  // Later drawing in the main picture stays out of the copy until the next activation.
  izquierda.picture().setPixel(5, 6, Picture::grayColour(3));
  EXPECT_EQ(form2->Image1->picture().pixel(5, 6) & 0xFFu, static_cast<unsigned>(Nivel(5, 6, 0)));
  izquierda.picture().setImage(Imagen(120, 90, 7), 24);
  form2->FormActivate();
  EXPECT_EQ(form2->frameGeometry().size(), QSize(120, 90));
  EXPECT_EQ(form2->Image1->picture().image(), izquierda.picture().image());
  EXPECT_EQ(form2->Image1->size(), QSize(120, 90));
}

TEST_F(VentanasTest, ImagenMayorQueLaPantallaSeDesplazaEnLaVentana) {
  const QRect area = form2->screen()->availableGeometry();
  const int ancho = area.width() + 300, alto = area.height() + 200;
  izquierda.picture().setImage(Imagen(ancho, alto, 0), 24);
  MostrarVentana(form2.get());
  form2->FormActivate();
  QApplication::processEvents();
  EXPECT_EQ(form2->frameGeometry().size(), area.size());
  EXPECT_TRUE(area.contains(form2->frameGeometry()));

  // The far corner is reached by scrolling and is still a picture point.
  const QPoint esquina(ancho - 2, alto - 3);
  auto* desplazamiento = qobject_cast<QScrollArea*>(form2->Image1->parentWidget()->parentWidget());
  ASSERT_NE(desplazamiento, nullptr);
  desplazamiento->ensureVisible(esquina.x(), esquina.y());
  EXPECT_EQ(form2->childAt(form2->Image1->mapTo(form2.get(), esquina)), form2->Image1);
  Pulsar(form2.get(), esquina.x(), esquina.y());
  EXPECT_EQ(form2->PuntoX, esquina.x());
  EXPECT_EQ(form2->PuntoY, esquina.y());
  EXPECT_EQ(form4->StringGrid1->cell(2, 2), QString::number(Nivel(esquina.x(), esquina.y(), 0)));
}

}  // namespace
}  // namespace morvane
