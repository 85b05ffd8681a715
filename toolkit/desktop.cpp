#include "toolkit/desktop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLibraryInfo>
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
  return true;
}

namespace {

// The largest sample of a binary or text PGM or PPM, from its header; 0 when
// the header cannot be read.
int netpbmMaximum(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return 0;
  const QByteArray head = file.read(1024);
  QList<QByteArray> fields;
  for (const QByteArray& line : head.split('\n')) {
    const qsizetype comment = line.indexOf('#');  // a comment runs to the line's end
    const QByteArray data = comment < 0 ? line : line.left(comment);
    for (const QByteArray& field : data.simplified().split(' '))
      if (!field.isEmpty()) fields.append(field);
    if (fields.size() >= 4) return fields[3].toInt();
  }
  return 0;
}

// The file holds 16 bits per sample, which the picture object reads as 8.
bool hasSixteenBitSamples(const QString& fileName) {
  if (startsAsBmp(fileName)) return false;
  QImageReader reader(fileName);
  // Qt's own reader of these formats gives 8 bits whatever the file holds.
  if (reader.format() == "pgm" || reader.format() == "ppm") return netpbmMaximum(fileName) > 255;
  switch (reader.imageFormat()) {
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
