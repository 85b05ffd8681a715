// What a desktop program does beside its commands: Qt's own texts (file
// dialogs, standard buttons) in Spanish, the one-line description of an open
// picture that the window title shows, and the name a result is offered under.
#pragma once

#include <QString>

class QCoreApplication;

namespace morvane {

class Picture;

// Installs Qt's Spanish translation ("Ver en", "Abrir", "Cancelar") in the
// application. False when Qt's translations are not installed: Qt then keeps
// its English texts.
bool loadQtSpanish(QCoreApplication& application);

// "foto.tif (4000 × 3000, 16 bits leídos como 8)": the file's name, the
// picture's size and the depth of the file; a colour picture adds that the work
// is done on its red channel.
QString describePicture(const QString& fileName, const Picture& picture);

// The name a result of fileName is offered under: "<folder>/<name>_restaurada.<ext>".
QString suggestedResultName(const QString& fileName);

}  // namespace morvane
