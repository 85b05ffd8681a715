// The open picture: the name of its file, the two pictures that show it (the
// left one the input, ImagenInicial; the right one the result, ImagenFinal)
// and the workspace planes that hold their levels. Opening, copying the result
// back and reading the file again happen here, for the window's picture
// commands and for the batch program alike.
#pragma once

#include <QString>
#include <functional>

#include "toolkit/picture.h"
#include "workspace/workspace.h"

namespace morvane {

class Documento {
 public:
  // The pictures are the caller's (the window's views, or the batch's own).
  Documento(Workspace& ws, Picture& izquierda, Picture& derecha)
      : ws_(ws), izquierda_(izquierda), derecha_(derecha) {}

  Workspace& ws() { return ws_; }
  Picture& izquierda() { return izquierda_; }
  Picture& derecha() { return derecha_; }
  // The file of the last opening, remembered even when it could not be read
  // and after the planes are freed; empty before the first one.
  const QString& nombre() const { return nombre_; }

  // The file read into the left picture and copied into the right one; its
  // name remembered first. Throws what the picture object throws for a file
  // it cannot read; the planes are not touched.
  void leer(const QString& nombre);
  // The same when the caller read the left picture itself: the right picture
  // becomes a copy of it.
  void leida();
  // The planes filled from the two pictures, the work planes allocated (all
  // 0), ImagenCargada set. Throws std::bad_alloc, leaving no plane, when they
  // do not fit.
  void abrirPlanos();
  // The planes freed and ImagenCargada cleared; the pictures and the name stay.
  void cerrar();
  // cerrar(), and both pictures emptied: nothing of an open that could not be
  // completed remains.
  void descartar();

  // "<<": the right picture copied over the left one, ImagenInicial read back
  // from it; trasFila() follows each row.
  void copiarDerechaEnIzquierda(const std::function<void()>& trasFila);
  // "Imagen Inicial": the remembered file read again into the left picture and
  // ImagenInicial from it; trasFila() follows each row. With a picture open
  // and the file now of another size, false and nothing changed. Throws when
  // the file cannot be read, nothing changed.
  bool releerInicial(const std::function<void()>& trasFila);

 private:
  Workspace& ws_;
  Picture& izquierda_;
  Picture& derecha_;
  QString nombre_;
};

}  // namespace morvane
