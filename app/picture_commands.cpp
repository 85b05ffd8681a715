#include "app/picture_commands.h"

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
  c.documento.descartar();
  c.leftView.pictureChanged();
  c.rightView.pictureChanged();
  c.notice.setText(QString::fromUtf8(kSinImagen));
}

}  // namespace

void AbrirImagen(const PictureControls& c, const QString& fileName) {
  Documento& d = c.documento;
  if (d.ws().ImagenCargada) {
    ShowMessage(QStringLiteral("Hay una imagen cargada"));
    return;
  }
  if (!fileName.isEmpty())
    c.openDialog.FileName = fileName;
  else if (!c.openDialog.Execute())
    return;
  c.notice.setText(QString());
  try {
    // The right view shows the same file: a copy of what was just read.
    d.leer(c.openDialog.FileName);
    c.leftView.pictureChanged();
    c.leftView.show();
    c.rightView.pictureChanged();
    c.rightView.show();
    c.log.appendLine(QStringLiteral("Cargando Matriz"));
    c.log.appendLine(QStringLiteral("Reservando memoria"));
    d.abrirPlanos();
    c.progress.setMax(d.ws().Alto);
    c.progress.setPosition(0);
    if (d.izquierda().pageCount() > 1)
      c.log.appendLine(QString::fromUtf8("La imagen tiene %1 páginas; se abre la primera")
                           .arg(d.izquierda().pageCount()));
  } catch (const std::bad_alloc&) {
    // A picture too large for memory: nothing stays half loaded.
    DeshacerApertura(c);
    ShowMessage(QStringLiteral("No hay memoria suficiente para abrir esta imagen"));
  } catch (...) {
    // An unreadable file: back to the no-picture state, its notice shown
    // again; the error itself is shown by the application-wide display.
    if (!d.ws().ImagenCargada) DeshacerApertura(c);
    throw;
  }
}

void BorrarImagen(const PictureControls& c) {
  Workspace& ws = c.documento.ws();
  if (!ws.ImagenCargada) return;
  c.notice.setText(QString::fromUtf8(kSinImagen));
  c.leftView.hide();
  c.title.setText(QString());
  c.log.clearLines();
  c.documento.cerrar();
  ws.MatrizCargada = false;
  c.rightView.hide();
  c.initialButton.hide();
}

void CopiarFinalEnInicial(const PictureControls& c) {
  c.documento.copiarDerechaEnIzquierda([&] { c.progress.step(); });
  c.progress.setPosition(0);
  c.leftView.pictureChanged();
  c.initialButton.show();
  c.leftView.show();
}

void RecuperarImagenInicial(const PictureControls& c) {
  Documento& d = c.documento;
  if (!d.releerInicial([&] { c.progress.step(); })) {
    ShowMessage(QStringLiteral("La imagen \"%1\" ya no tiene %2 x %3 pixels; no se puede recuperar")
                    .arg(d.nombre())
                    .arg(d.ws().Ancho)
                    .arg(d.ws().Alto));
    return;
  }
  c.leftView.pictureChanged();
  c.progress.setPosition(0);
  c.initialButton.hide();
  c.leftView.show();
}

bool GuardarImagen(const PictureControls& c) {
  if (!c.documento.ws().ImagenCargada) {
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
