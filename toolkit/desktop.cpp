#include "toolkit/desktop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "toolkit/image_io.h"
#include "toolkit/picture.h"

namespace morvane {

bool loadQtSpanish(QCoreApplication& application) {
  auto* translator = new QTranslator(&application);
  if (!translator->load(QStringLiteral("qtbase_es"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  // Dates and sizes in Qt's dialogs written the Spanish way too ("7 dic.").
  QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
  return true;
}

namespace {

// The file holds 16 bits per sample, which the picture object reads as 8.
bool hasSixteenBitSamples(const QString& fileName) {
  if (startsAsBmp(fileName)) return false;
  switch (QImageReader(fileName).imageFormat()) {
    case QImage::Format_Grayscale16:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
      return true;
    default:
      return false;
  }
}

}  // namespace

QString describePicture(const QString& fileName, const Picture& picture) {
  const bool colour = !picture.image().allGray();
  QString depth;
  if (hasSixteenBitSamples(fileName))
    depth = colour ? QString::fromUtf8("16 bits por canal leídos como 8")
                   : QString::fromUtf8("16 bits leídos como 8");
  else if (picture.bitsPerPixel() == 1)
    depth = QStringLiteral("1 bit");
  else
    depth = QStringLiteral("%1 bits").arg(picture.bitsPerPixel());
  if (colour) depth += QStringLiteral(", color: se trabaja con el canal rojo");
  return QString::fromUtf8("%1 (%2 × %3, %4)")
      .arg(QFileInfo(fileName).fileName())
      .arg(picture.width())
      .arg(picture.height())
      .arg(depth);
}

QString suggestedResultName(const QString& fileName) {
  const QFileInfo info(fileName);
  QString name = info.completeBaseName() + QStringLiteral("_restaurada");
  if (!info.suffix().isEmpty()) name += QLatin1Char('.') + info.suffix();
  return info.absoluteDir().filePath(name);
}

}  // namespace morvane
