// The EXIF orientation of a picture (JPEG, WebP and TIFF carry it) and the
// upright picture it describes.
#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>

namespace morvane {

// The Orientation tag (1 to 8) of an EXIF block: a TIFF header and its first
// directory, with or without the "Exif\0\0" prefix of a JPEG APP1 segment. 1
// (as stored) when the block holds no valid tag or is damaged.
int exifOrientation(const std::uint8_t* data, std::size_t size);

// The picture as it is meant to be seen, for an EXIF orientation: 2 mirrored
// left to right, 3 turned half round, 4 mirrored top to bottom, 5 mirrored
// along the main diagonal, 6 turned a quarter clockwise, 7 mirrored along the
// other diagonal, 8 turned a quarter anticlockwise; 1 or any other value is the
// picture as it is. The result has the image's format, colour table and
// resolution (the two swapped when rows become columns). image must be of 8 or
// 32 bits a pixel. Throws std::bad_alloc when the memory cannot be had.
QImage applyOrientation(const QImage& image, int exifOrientation);

}  // namespace morvane
