// The BMP encoder of the picture object: an uncompressed Windows bitmap
// (BITMAPFILEHEADER + BITMAPINFOHEADER, rows bottom-up, each padded to four
// bytes) of 1, 4 or 8 bits with a palette, 16 bits (5-5-5), 24 or 32 bits.
#pragma once

#include <QImage>

class QIODevice;

namespace morvane {

// The picture object's in-memory format for a file's bit count.
QImage::Format formatForBits(int bitsPerPixel);

// Encodes image as a BMP of the given bit count into device. The image is
// expected in the picture object's formats (Format_Indexed8 for 1, 4 and 8 bits,
// Format_RGB555 for 16, Format_RGB32 for 24 and 32); another format is
// converted first. Returns false when the bit count is not one of the six, the
// picture is empty or too large for a BMP, or the device refuses a write.
bool writeBmp(QIODevice& device, const QImage& image, int bitsPerPixel);

}  // namespace morvane
