#include "toolkit/fonts.h"

#include <QStringList>

namespace morvane {

QFont SansFont(int pixelHeight, bool bold) {
  QFont font;
  // Narrow faces first: the fixed layouts leave room for captions that narrow.
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                    QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                    QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelHeight);
  font.setBold(bold);
  return font;
}

}  // namespace morvane
