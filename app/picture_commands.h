// The five commands that manage the picture itself: "Abrir Imagen", "Borrar",
// "<<", "Imagen Inicial" and "Guardar Imagen", with the plane transfers they
// rely on. They work on the main window's parts, gathered in PictureControls.
#pragma once

#include <QString>

#include "workspace/workspace.h"

class QLabel;
class QWidget;

namespace morvane {

class PictureView;
class Memo;
class ProgressBar;
class OpenDialog;
class SaveDialog;

struct PictureControls {
  Workspace& ws;
  PictureView& leftView;   // the input
  PictureView& rightView;  // the result
  QLabel& title;           // the operation title above the right view
  QLabel& notice;          // "No hay ninguna imagen seleccionada" in the empty left panel
  Memo& log;
  ProgressBar& progress;
  QWidget& initialButton;  // "Imagen Inicial"
  OpenDialog& openDialog;
  SaveDialog& saveDialog;
};

// Measures the left view's picture, allocates ImagenInicial and ImagenFinal and
// fills them from the left and right views.
bool CargarPlanos(const PictureControls& c);

// "Abrir Imagen". Given a file name, opens that file instead of asking the dialog.
void AbrirImagen(const PictureControls& c, const QString& fileName = QString());
void BorrarImagen(const PictureControls& c);            // "Borrar"
void CopiarFinalEnInicial(const PictureControls& c);    // "<<"
void RecuperarImagenInicial(const PictureControls& c);  // "Imagen Inicial"
// "Guardar Imagen"; true when the file was written.
bool GuardarImagen(const PictureControls& c);

}  // namespace morvane
