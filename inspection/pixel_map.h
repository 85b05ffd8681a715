// The pixel map "Mapa de pixels" (MapaPixels): the gray levels of the 5 x 5
// pixels around one point of the main window's two pictures, side by side, with the
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
class VentanaImagenInicial;

class MapaPixels : public QWidget {
  Q_OBJECT
 public:
  // izquierda and derecha are the main window's views, read at each refill.
  MapaPixels(PictureView* izquierda, PictureView* derecha);

  // The window that keeps the point last pressed (read by "Actualizar").
  void enlazar(VentanaImagenInicial* inicial) { imagenInicial_ = inicial; }

  // Fills the grids around (PuntoX, PuntoY) from the pictures as they are drawn
  // now.
  void mostrarMapa();
  // Next moves the point one row up, Previous one row down.
  void onYArrow(UpDown::Arrow arrow);
  // Next moves the point one column right, Previous one column left.
  void onXArrow(UpDown::Arrow arrow);
  // "Actualizar": back to the selected point, then a refill.
  void onActualizar();
  // Each time the window is shown it goes to 100, 100.
  void onShown();

  // Centre of the map in picture coordinates; no bounds, may be negative.
  int PuntoX = 0;
  int PuntoY = 0;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Each control's object name is its member's name without the underscore.
  QLabel* xyLabel_;
  UpDown* yUpDown_;
  UpDown* xUpDown_;
  QPushButton* actualizarButton_;
  StringGrid* inicialGrid_;
  StringGrid* finalGrid_;
  StringGrid* puntoGrid_;
  PictureView* izquierda_;
  PictureView* derecha_;
  VentanaImagenInicial* imagenInicial_ = nullptr;
};

}  // namespace morvane
