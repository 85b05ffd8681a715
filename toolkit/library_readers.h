// JPEG, PNG and WebP files are read through their formats' own libraries
// (libjpeg-turbo, libpng, libwebp) rather than Qt's readers: those libraries
// report a file that is cut short or damaged, where Qt's readers only print a
// warning and fill the missing part themselves. Nothing is printed: a damaged
// file is simply not read.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <optional>

#include "toolkit/image_io.h"

namespace morvane {

// Reads fileName when its first bytes are those of a JPEG, PNG or WebP file
// and sets handled; leaves handled false for any other file. Gives nothing for
// a damaged, cut or too large file; throws std::bad_alloc when the picture
// does not fit in memory.
std::optional<DecodedPicture> readWithFormatLibrary(const QString& fileName, bool& handled);

// Whether a width x height picture of the given bytes a pixel stays within
// the readers' allocation limit (2 GiB).
bool withinReadLimit(std::int64_t width, std::int64_t height, int bytesPerPixel);

// An Indexed8 picture on the identity gray ramp (index = level), and an RGB32
// picture, both zeroed, in page buffers with no resolution.
QImage grayPicture(int width, int height);
QImage colourPicture(int width, int height);

// Whether every pixel of an RGB32 picture is gray: its channels differ by at
// most `spread` (0 for a lossless file; a lossy coder may leave a gray pixel's
// channels one apart). grayFromColour keeps the red channel as the level.
bool allGray(const QImage& rgb32, int spread = 0);
QImage grayFromColour(const QImage& rgb32);

}  // namespace morvane
