// Levels between pictures and planes, without any window: the left picture is
// the input (ImagenInicial), the right picture the result (ImagenFinal). These
// are the transfers of opening a picture, of drawing a command's rows and of
// copying the result back over the input, shared by the window's picture
// commands and the batch program.
#pragma once

#include "toolkit/picture.h"
#include "workspace/workspace.h"

namespace morvane {

// The size from the left picture, ImagenInicial allocated and filled from the
// left picture's levels, ImagenFinal from the right one's. Throws
// std::bad_alloc when a plane does not fit.
void LlenarPlanos(Workspace& ws, const Picture& izquierda, const Picture& derecha);

// Opening: LlenarPlanos, the two work planes allocated (all 0), ImagenCargada
// set. Throws std::bad_alloc, leaving no plane, when the planes do not fit.
void AbrirPlanos(Workspace& ws, const Picture& izquierda, const Picture& derecha);

// "<<": every row of the right picture copied colour for colour into the left
// one, and ImagenInicial read back from the left picture; afterRow() follows
// each row.
template <class AfterRow>
void CopiarDerechaEnIzquierda(Workspace& ws, Picture& izquierda, const Picture& derecha,
                              AfterRow&& afterRow) {
  for (int y = 0; y < ws.Alto; ++y) {
    izquierda.copyRowFrom(derecha, y);
    izquierda.readLevels(y, ws.ImagenInicial[y]);
    afterRow();
  }
}

// ImagenInicial read again from the left picture; afterRow() follows each row.
template <class AfterRow>
void LeerInicial(Workspace& ws, const Picture& izquierda, AfterRow&& afterRow) {
  for (int y = 0; y < ws.Alto; ++y) {
    izquierda.readLevels(y, ws.ImagenInicial[y]);
    afterRow();
  }
}

// The right view as the commands see it, drawn into a picture: rows are
// written as gray levels (a palette picture takes the nearest entry); the
// title, the progress and showing the view have nothing to do.
class VistaEnImagen : public ResultView {
 public:
  explicit VistaEnImagen(Picture& picture) : picture_(picture) {}
  void drawRow(int y, const std::uint8_t* levels, int x0, int x1) override {
    picture_.writeLevels(y, levels, x0, x1);
  }
  void stepProgress() override {}
  void resetProgress() override {}
  void setTitle(const char*) override {}
  void showView() override {}

 private:
  Picture& picture_;
};

}  // namespace morvane
