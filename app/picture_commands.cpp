#include "app/picture_commands.h"

#include "app/picture_planes.h"

#include <QLabel>
#include <new>

#include "toolkit/controls.h"
#include "toolkit/dialogs.h"
#include "toolkit/image_io.h"
#include "toolkit/picture_view.h"
#include "toolkit/progress_bar.h"

namespace morvane {

namespace {

const char* const kSinImagen = "No hay ninguna imagen seleccionada";

// Back to the no-picture state after an open that could not be completed.
void DeshacerApertura(const PictureControls& c) {
  LiberarPlanos(c.ws);
  c.ws.ImagenCargada = false;
  c.leftView.picture().setImage(QImage(), 24);
  c.rightView.picture().setImage(QImage(), 24);
  c.leftView.pictureChanged();
  c.rightView.pictureChanged();
  c.notice.setText(QString::fromUtf8(kSinImagen));
}

}  // namespace

bool CargarPlanos(const PictureControls& c) {
  c.log.appendLine(QStringLiteral("Reservando memoria"));
  LlenarPlanos(c.ws, c.leftView.picture(), c.rightView.picture());
  return true;
}

void AbrirImagen(const PictureControls& c, const QString& fileName) {
  if (c.ws.ImagenCargada) {
    ShowMessage(QStringLiteral("Hay una imagen cargada"));
    return;
  }
  if (!fileName.isEmpty())
    c.openDialog.FileName = fileName;
  else if (!c.openDialog.Execute())
    return;
  c.notice.setText(QString());
  try {
    c.leftView.picture().load(c.openDialog.FileName);
    c.leftView.pictureChanged();
    c.leftView.show();
    // The right view shows the same file: a copy of what was just read.
    c.rightView.picture() = c.leftView.picture();
    c.rightView.pictureChanged();
    c.rightView.show();
    c.log.appendLine(QStringLiteral("Cargando Matriz"));
    c.ws.ImagenCargada = CargarPlanos(c);
    c.progress.setMax(c.ws.Alto);
    c.progress.setPosition(0);
    ReservarAuxiliares(c.ws);
    if (c.leftView.picture().pageCount() > 1)
      c.log.appendLine(QString::fromUtf8("La imagen tiene %1 páginas; se abre la primera")
                           .arg(c.leftView.picture().pageCount()));
  } catch (const std::bad_alloc&) {
    // A picture too large for memory: nothing stays half loaded.
    DeshacerApertura(c);
    ShowMessage(QStringLiteral("No hay memoria suficiente para abrir esta imagen"));
  } catch (...) {
    // An unreadable file: back to the no-picture state, its notice shown
    // again; the error itself is shown by the application-wide display.
    if (!c.ws.ImagenCargada) DeshacerApertura(c);
    throw;
  }
}

void BorrarImagen(const PictureControls& c) {
  Workspace& ws = c.ws;
  if (!ws.ImagenCargada) return;
  c.notice.setText(QString::fromUtf8(kSinImagen));
  c.leftView.hide();
  ws.ImagenCargada = false;
  c.title.setText(QString());
  c.log.clearLines();
  LiberarPlanos(ws);
  ws.MatrizCargada = false;
  c.rightView.hide();
  c.initialButton.hide();
}

void CopiarFinalEnInicial(const PictureControls& c) {
  CopiarDerechaEnIzquierda(c.ws, c.leftView.picture(), c.rightView.picture(),
                           [&] { c.progress.step(); });
  c.progress.setPosition(0);
  c.leftView.pictureChanged();
  c.initialButton.show();
  c.leftView.show();
}

void RecuperarImagenInicial(const PictureControls& c) {
  Workspace& ws = c.ws;
  // Read into a separate picture first: the left view changes only when the
  // file could be read and still fits the planes.
  Picture reloaded;
  reloaded.load(c.openDialog.FileName);
  if (ws.ImagenCargada && (reloaded.height() != ws.Alto || reloaded.width() != ws.Ancho)) {
    ShowMessage(QStringLiteral("La imagen \"%1\" ya no tiene %2 x %3 pixels; no se puede recuperar")
                    .arg(c.openDialog.FileName)
                    .arg(ws.Ancho)
                    .arg(ws.Alto));
    return;
  }
  c.leftView.picture() = std::move(reloaded);
  c.leftView.pictureChanged();
  LeerInicial(ws, c.leftView.picture(), [&] { c.progress.step(); });
  c.progress.setPosition(0);
  c.initialButton.hide();
  c.leftView.show();
}

bool GuardarImagen(const PictureControls& c) {
  if (!c.ws.ImagenCargada) {
    ShowMessage(QStringLiteral("No hay imagen para guardar"));
    return false;
  }
  if (!c.saveDialog.Execute()) return false;
  // One page written over a file of several would lose the others.
  if (const int pages = filePageCount(c.saveDialog.FileName);
      pages > 1 &&
      !AskYesNo(QString::fromUtf8("El fichero «%1» tiene %2 páginas y solo se guardará una; "
                                  "las demás se perderán. ¿Desea reemplazarlo?")
                    .arg(c.saveDialog.FileName)
                    .arg(pages))) {
    return false;
  }
  c.rightView.picture().save(c.saveDialog.FileName);
  return true;
}

}  // namespace morvane
