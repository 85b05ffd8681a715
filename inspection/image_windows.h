// The image windows: "Imagen Inicial" (VentanaImagenInicial) and "Imagen
// Final" (VentanaImagenFinal) show a copy of the main window's left and right
// pictures at their own size. A press on the picture selects a point and shows
// the pixel map around it.
#pragma once

#include <QWidget>

class QScrollArea;

namespace morvane {

class PictureView;
class VentanaImagenInicial;
class VentanaImagenFinal;
class MapaPixels;

struct VentanasInspeccion {
  VentanaImagenInicial* imagenInicial;
  VentanaImagenFinal* imagenFinal;
  MapaPixels* mapaPixels;
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
  void enlazar(VentanaImagenInicial* inicial, VentanaImagen* otra, MapaPixels* mapa);

  // The window became the active one: its outer size becomes the main picture's
  // (limited to the screen's available area) and its view takes a copy of it.
  void onActivated();
  // A press at picture point (x, y): selects it and fills the pixel map.
  void onImagenPressed(int x, int y);
  // The window is closing (it is hidden): the pixel map goes too when the other
  // image window is not visible.
  void onClosing();

 protected:
  VentanaImagen(PictureView* origen, const QString& titulo, Qt::WindowFlags banderas);

  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  PictureView* imagenView_;  // object name "imagenView"
  PictureView* origen_;
  QScrollArea* desplazamiento_;
  VentanaImagenInicial* imagenInicial_ = nullptr;
  VentanaImagen* otra_ = nullptr;
  MapaPixels* mapaPixels_ = nullptr;
};

// "Imagen Inicial": the left picture. Keeps the point last pressed in either
// image window.
class VentanaImagenInicial : public VentanaImagen {
  Q_OBJECT
 public:
  explicit VentanaImagenInicial(PictureView* izquierda);

  int PuntoX = 0;
  int PuntoY = 0;
};

// "Imagen Final": the right picture.
class VentanaImagenFinal : public VentanaImagen {
  Q_OBJECT
 public:
  explicit VentanaImagenFinal(PictureView* derecha);
};

}  // namespace morvane
