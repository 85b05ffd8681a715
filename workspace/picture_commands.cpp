#include "workspace/picture_commands.h"

#include <QLabel>
#include <new>

#include "toolkit/controls.h"
#include "toolkit/dialogs.h"
#include "toolkit/picture_view.h"
#include "toolkit/progress_bar.h"

namespace morvane {

namespace {

const char* const kSinImagen = "No hay ninguna imagen seleccionada";

// Back to the no-picture state after an open that could not be completed.
void DeshacerApertura(const PictureControls& c) {
  LiberarPlanos(c.ws);
  c.ws.ImagenCargada = false;
  c.image1.picture().setImage(QImage(), 24);
  c.image2.picture().setImage(QImage(), 24);
  c.image1.pictureChanged();
  c.image2.pictureChanged();
  c.label2.setText(QString::fromUtf8(kSinImagen));
}

}  // namespace

bool CargarPlanos(const PictureControls& c) {
  Workspace& ws = c.ws;
  const Picture& left = c.image1.picture();
  const Picture& right = c.image2.picture();
  ws.Alto = left.height();
  ws.Ancho = left.width();
  c.memo1.appendLine(QStringLiteral("Reservando memoria"));
  ws.ImagenInicial = Plane(ws.Alto, ws.Ancho);
  ws.ImagenFinal = Plane(ws.Alto, ws.Ancho);
  for (int y = 0; y < ws.Alto; ++y) {
    left.readLevels(y, ws.ImagenInicial[y]);
    right.readLevels(y, ws.ImagenFinal[y]);
  }
  return true;
}

void AbrirImagen(const PictureControls& c) {
  if (c.ws.ImagenCargada) {
    ShowMessage(QStringLiteral("Hay una imagen cargada"));
    return;
  }
  if (!c.openDialog1.Execute()) return;
  c.label2.setText(QString());
  try {
    c.image1.picture().load(c.openDialog1.FileName);
    c.image1.pictureChanged();
    c.image1.show();
    // The right view shows the same file: a copy of what was just read.
    c.image2.picture() = c.image1.picture();
    c.image2.pictureChanged();
    c.image2.show();
    c.memo1.appendLine(QStringLiteral("Cargando Matriz"));
    c.ws.ImagenCargada = CargarPlanos(c);
    c.progressBar1.setMax(c.ws.Alto);
    c.progressBar1.setPosition(0);
    ReservarAuxiliares(c.ws);
    if (c.image1.picture().pageCount() > 1)
      c.memo1.appendLine(QString::fromUtf8("La imagen tiene %1 páginas; se abre la primera")
                             .arg(c.image1.picture().pageCount()));
  } catch (const std::bad_alloc&) {
    // A picture too large for memory: nothing stays half loaded.
    DeshacerApertura(c);
    ShowMessage(QStringLiteral("No hay memoria suficiente para abrir esta imagen"));
  } catch (...) {
    // An unreadable file: no plane is allocated and no picture is open; the
    // error itself is shown by the application-wide display.
    if (!c.ws.ImagenCargada) LiberarPlanos(c.ws);
    throw;
  }
}

void BorrarImagen(const PictureControls& c) {
  Workspace& ws = c.ws;
  if (!ws.ImagenCargada) return;
  c.label2.setText(QString::fromUtf8(kSinImagen));
  c.image1.hide();
  ws.ImagenCargada = false;
  c.label1.setText(QString());
  c.memo1.clearLines();
  LiberarPlanos(ws);
  ws.MatrizCargada = false;
  c.image2.hide();
  c.button12.hide();
}

void CopiarFinalEnInicial(const PictureControls& c) {
  Workspace& ws = c.ws;
  Picture& left = c.image1.picture();
  const Picture& right = c.image2.picture();
  for (int y = 0; y < ws.Alto; ++y) {
    left.copyRowFrom(right, y);
    left.readLevels(y, ws.ImagenInicial[y]);
    c.progressBar1.step();
  }
  c.progressBar1.setPosition(0);
  c.image1.pictureChanged();
  c.button12.show();
  c.image1.show();
}

void RecuperarImagenInicial(const PictureControls& c) {
  Workspace& ws = c.ws;
  // Read into a separate picture first: the left view changes only when the
  // file could be read and still fits the planes.
  Picture reloaded;
  reloaded.load(c.openDialog1.FileName);
  if (ws.ImagenCargada && (reloaded.height() != ws.Alto || reloaded.width() != ws.Ancho)) {
    ShowMessage(QStringLiteral("La imagen \"%1\" ya no tiene %2 x %3 pixels; no se puede recuperar")
                    .arg(c.openDialog1.FileName)
                    .arg(ws.Ancho)
                    .arg(ws.Alto));
    return;
  }
  c.image1.picture() = std::move(reloaded);
  c.image1.pictureChanged();
  const Picture& left = c.image1.picture();
  for (int y = 0; y < ws.Alto; ++y) {
    left.readLevels(y, ws.ImagenInicial[y]);
    c.progressBar1.step();
  }
  c.progressBar1.setPosition(0);
  c.button12.hide();
  c.image1.show();
}

void GuardarImagen(const PictureControls& c) {
  if (!c.ws.ImagenCargada) {
    ShowMessage(QStringLiteral("No hay imagen para guardar"));
    return;
  }
  if (!c.saveDialog1.Execute()) return;
  c.image2.picture().save(c.saveDialog1.FileName);
}

}  // namespace morvane
