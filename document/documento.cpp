#include "document/documento.h"

#include <QImage>

#include "document/picture_planes.h"

namespace morvane {

void Documento::leer(const QString& nombre) {
  nombre_ = nombre;
  izquierda_.load(nombre);
  leida();
}

void Documento::leida() {
  derecha_ = izquierda_;
}

void Documento::abrirPlanos() {
  AbrirPlanos(ws_, izquierda_, derecha_);
}

void Documento::cerrar() {
  LiberarPlanos(ws_);
  ws_.ImagenCargada = false;
}

void Documento::descartar() {
  cerrar();
  izquierda_.setImage(QImage(), 24);
  derecha_.setImage(QImage(), 24);
}

void Documento::copiarDerechaEnIzquierda(const std::function<void()>& trasFila) {
  CopiarDerechaEnIzquierda(ws_, izquierda_, derecha_, [&] {
    if (trasFila) trasFila();
  });
}

bool Documento::releerInicial(const std::function<void()>& trasFila) {
  // Read into a separate picture first: the left one changes only when the
  // file could be read and still fits the planes.
  Picture releida;
  releida.load(nombre_);
  if (ws_.ImagenCargada && (releida.height() != ws_.Alto || releida.width() != ws_.Ancho))
    return false;
  izquierda_ = std::move(releida);
  LeerInicial(ws_, izquierda_, [&] {
    if (trasFila) trasFila();
  });
  return true;
}

}  // namespace morvane
