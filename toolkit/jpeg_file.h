// JPEG files through libjpeg-turbo. Reading refuses a file that ends early or
// whose data is damaged (any warning of the library that means missing or
// made-up pixels); writing gives a baseline JFIF file with no EXIF block.
#pragma once

#include <QByteArray>
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "toolkit/image_io.h"

namespace morvane {

// A gray JPEG as gray levels (identity ramp, gray set); a colour one as RGB32
// (CMYK taken as Adobe writes it, inverted). The JFIF density is the
// resolution (none when its unit is 0); the EXIF orientation is applied.
// Nothing for a damaged, cut or too large file; throws std::bad_alloc when the
// picture does not fit in memory.
std::optional<DecodedPicture> decodeJpeg(const std::uint8_t* bytes, std::size_t size);

// Encodes a Format_Grayscale8 (a gray JPEG) or Format_RGB888 image at the given
// quality. The JFIF density is the image's resolution, or unit 0 at 1:1 when it
// has none. False when the library refuses the picture (too large).
bool encodeJpeg(const QImage& image, int quality, QByteArray& out);

}  // namespace morvane
