// The five commands that manage the picture itself: "Abrir Imagen", "Borrar",
// "<<", "Imagen Inicial" and "Guardar Imagen". The open picture, its file and
// its planes are the document's (document/documento.h); these commands add the
// main window's parts, gathered in PictureControls: views, labels, log,
// progress bar and dialogs.
#pragma once

#include <QString>

#include "document/documento.h"

class QLabel;
class QWidget;

namespace morvane {

class PictureView;
class Memo;
class ProgressBar;
class OpenDialog;
class SaveDialog;

struct PictureControls {
  Documento& documento;    // its pictures are the two views' pictures
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

// "Abrir Imagen". Given a file name, opens that file instead of asking the
// dialog (which is left holding the name, as after a choice).
void AbrirImagen(const PictureControls& c, const QString& fileName = QString());
void BorrarImagen(const PictureControls& c);            // "Borrar"
void CopiarFinalEnInicial(const PictureControls& c);    // "<<"
void RecuperarImagenInicial(const PictureControls& c);  // "Imagen Inicial"
// "Guardar Imagen"; true when the file was written.
bool GuardarImagen(const PictureControls& c);

}  // namespace morvane
