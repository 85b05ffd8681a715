// The pixel map "Mapa de pixels" (TForm4): the gray levels of the 5 x 5 pixels
// around one point of the main window's two pictures, side by side, with the
// point's coordinates. Two up-down controls move the point, "Actualizar" brings
// back the point last pressed in an image window.
#pragma once

#include <QWidget>

#include "toolkit/up_down.h"

class QLabel;
class QPushButton;

namespace morvane {

class PictureView;
class StringGrid;
class TForm2;

class TForm4 : public QWidget {
  Q_OBJECT
 public:
  // izquierda and derecha are the main window's views, read at each refill.
  TForm4(PictureView* izquierda, PictureView* derecha);

  // The window that keeps the point last pressed (read by "Actualizar").
  void Enlazar(TForm2* form2) { form2_ = form2; }

  // Fills the grids around (PuntoX, PuntoY) from the pictures as they are drawn
  // now.
  void MostrarMapa();
  // Next moves the point one row up, Previous one row down.
  void UpDown1Click(UpDown::Arrow Button);
  // Next moves the point one column right, Previous one column left.
  void UpDown2Click(UpDown::Arrow Button);
  // "Actualizar": back to the selected point, then a refill.
  void Button1Click();
  // Each time the window is shown it goes to 100, 100.
  void FormShow();

  // Centre of the map in picture coordinates; no bounds, may be negative.
  int PuntoX = 0;
  int PuntoY = 0;

  QLabel* Label1;
  UpDown* UpDown1;
  UpDown* UpDown2;
  QPushButton* Button1;
  StringGrid* StringGrid1;
  StringGrid* StringGrid2;
  StringGrid* StringGrid3;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  PictureView* izquierda_;
  PictureView* derecha_;
  TForm2* form2_ = nullptr;
};

}  // namespace morvane
