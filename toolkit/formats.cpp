#include "toolkit/formats.h"

#include <QFileInfo>

namespace morvane {

const std::vector<PictureFormat>& pictureFormats() {
  static const std::vector<PictureFormat> formats{
      // name, extensions, reader, writer, gray, palette, bits, resolution, pages, lossless
      {"bmp", {"bmp"}, Coder::Own, Coder::Own, false, true, "1 4 8 16 24", true, false, true},
      {"png", {"png"}, Coder::Own, Coder::Qt, true, true, "1 2 4 8 24", true, false, true},
      {"tiff", {"tif", "tiff"}, Coder::Own, Coder::Own, true, true, "1 4 8 24", true, true, true},
      {"jpeg", {"jpg", "jpeg"}, Coder::Own, Coder::Own, true, false, "8 24", true, false, false},
      {"pgm", {"pgm"}, Coder::Own, Coder::Own, true, false, "8", false, false, true},
      {"ppm", {"ppm"}, Coder::Own, Coder::Own, false, false, "24", false, false, true},
      {"pbm", {"pbm"}, Coder::Own, Coder::Own, false, false, "1", false, false, true},
      // PGM for a gray picture, PPM for any other.
      {"pnm", {"pnm"}, Coder::Own, Coder::Own, true, false, "8 24", false, false, true},
      {"webp", {"webp"}, Coder::Own, Coder::Qt, false, false, "24", false, false, true},
      {"gif", {"gif"}, Coder::Qt, Coder::None, false, true, "", false, true, true},
  };
  return formats;
}

const PictureFormat* formatOfName(const QString& fileName) {
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  if (suffix.isEmpty()) return nullptr;
  for (const PictureFormat& format : pictureFormats()) {
    if (format.extensions.contains(suffix)) return &format;
  }
  return nullptr;
}

QStringList writtenExtensions() {
  QStringList out;
  for (const PictureFormat& format : pictureFormats()) {
    if (format.writer != Coder::None) out += format.extensions;
  }
  return out;
}

}  // namespace morvane
