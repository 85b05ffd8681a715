// The image windows: "Imagen Inicial" (VentanaImagenInicial) and "Imagen
// Final" (VentanaImagenFinal) show a copy of the main window's left and right
// pictures at their own size. A press on the picture selects a point and shows
// the pixel map around it. Beside that, both zoom (Ctrl + wheel, Ctrl + "+" / "-" / "0") keeping
// the point under the cursor, and "Imagen Final" can show the left picture in the same place.
#pragma once

#include <QWidget>

#include "toolkit/picture.h"

class QLabel;
class QScrollArea;
class QToolButton;

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

  // Zoom: steps along the scale (halving, thirds ... up to 32 times and down to
  // a 32nd), the picture point at `ancla` (in the coordinates of the part of
  // the window the picture scrolls in) staying there. Above 1 each picture
  // pixel is a square of screen pixels; below, screen pixels are area averages.
  void acercar(int pasos, QPoint ancla);
  // The whole picture in the window (never enlarged).
  void ajustar();
  double zoom() const;
  // The part of the window the picture scrolls in.
  QWidget* visor() const;

 protected:
  VentanaImagen(PictureView* origen, const QString& titulo, Qt::WindowFlags banderas);

  // Runs at the end of each activation, the copy taken.
  virtual void copiaTomada() {}

  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* objeto, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

  PictureView* imagenView_;  // object name "imagenView"

 private:
  void fijarZoom(double factor, QPoint ancla);

  PictureView* origen_;
  QScrollArea* desplazamiento_;
  // Wheel turns not yet worth a whole step (trackpads send small ones).
  int rueda_ = 0;
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

// "Imagen Final": the right picture. "Antes / Después" shows, in the same place
// and at the same zoom, the left picture taken at the same activation.
class VentanaImagenFinal : public VentanaImagen {
  Q_OBJECT
 public:
  VentanaImagenFinal(PictureView* derecha, PictureView* izquierda);

  // Switches between the right picture ("Después") and the left one ("Antes").
  void onAntesDespues();
  bool muestraAntes() const { return antes_; }

 protected:
  void copiaTomada() override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void rotular();
  QToolButton* antesDespuesButton_;  // object name "antesDespuesButton"
  QLabel* mostradaLabel_;            // object name "mostradaLabel": "Antes" or "Después"
  PictureView* izquierda_;
  // The picture not shown now.
  Picture otra_;
  bool antes_ = false;
};

}  // namespace morvane
