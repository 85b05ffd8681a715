// The image windows: "Imagen Inicial" (TForm2) and "Imagen Final" (TForm3) show
// a copy of the main window's left and right pictures at their own size. A press
// on the picture selects a point and shows the pixel map around it.
#pragma once

#include <QWidget>

class QScrollArea;

namespace morvane {

class PictureView;
class TForm2;
class TForm3;
class TForm4;

struct VentanasInspeccion {
  TForm2* Form2;
  TForm3* Form3;
  TForm4* Form4;
};

// Creates the three hidden windows (top-level, no parent, deleted by the caller
// or at exit). left and right are the main window's views, read at each
// activation and by the pixel map.
VentanasInspeccion CrearVentanasInspeccion(PictureView* left, PictureView* right);

// Shows a window without modality and brings it to the front, activated.
void MostrarVentana(QWidget* form);

// What the two image windows have in common: a view of a copy of one of the main
// pictures, sized to that picture on activation, reporting presses to the map.
class VentanaImagen : public QWidget {
  Q_OBJECT
 public:
  // Joins the window to the window keeping the selected point, to the other
  // image window and to the pixel map.
  void Enlazar(TForm2* form2, VentanaImagen* otra, TForm4* form4);

  // The window became the active one: its outer size becomes the main picture's
  // (limited to the screen's available area) and its view takes a copy of it.
  void FormActivate();
  // A press at picture point (X, Y): selects it and fills the pixel map.
  void Image1MouseDown(int X, int Y);
  // The window is closing (it is hidden): the pixel map goes too when the other
  // image window is not visible.
  void FormClose();

  PictureView* Image1;

 protected:
  VentanaImagen(PictureView* origen, const QString& titulo, Qt::WindowFlags banderas);

  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  PictureView* origen_;
  QScrollArea* desplazamiento_;
  TForm2* form2_ = nullptr;
  VentanaImagen* otra_ = nullptr;
  TForm4* form4_ = nullptr;
};

// "Imagen Inicial": the left picture. Keeps the point last pressed in either
// image window.
class TForm2 : public VentanaImagen {
  Q_OBJECT
 public:
  explicit TForm2(PictureView* izquierda);

  int PuntoX = 0;
  int PuntoY = 0;
};

// "Imagen Final": the right picture.
class TForm3 : public VentanaImagen {
  Q_OBJECT
 public:
  explicit TForm3(PictureView* derecha);
};

}  // namespace morvane
