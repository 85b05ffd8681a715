// The BMP decoder of the picture object: Windows and OS/2 bitmaps of 1, 4 and 8
// bits with a palette (8 and 4 bits also run-length encoded), 16 bits (5-5-5 or
// bit-field masks such as 5-6-5), 24 bits and 32 bits (plain or bit-field
// masks), stored bottom-up or top-down, with 12, 40, 52, 56, 64, 108 or
// 124-byte info headers.
//
// The headers are parsed, checked against the length of the data and decoded
// by one piece of code: every pixel of a decoded picture comes from the file,
// except those that a run-length file skips on purpose (delta, end of line, end
// of bitmap), which are palette index 0.
#pragma once

#include <QImage>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace morvane {

struct DecodedBmp {
  // Format_Indexed8 with the file's palette for 1, 4 and 8 bits, Format_RGB555
  // for 16 bits, Format_RGB32 for 24 and 32 bits.
  QImage image;
  // Bits per pixel written in the file.
  int bitsPerPixel = 0;
};

// Decodes a whole BMP file held in memory. Returns nothing when the bytes are
// not a BMP this decoder reads or are shorter than their headers promise.
// Throws std::bad_alloc when the picture does not fit in memory (above the
// allocation limit, or refused by the allocator).
std::optional<DecodedBmp> decodeBmp(const std::uint8_t* bytes, std::size_t size);

// Reads and decodes a BMP file. Only regular files (or symbolic links to them)
// are opened; anything else, an unreadable file or an unreadable BMP gives
// nothing. Throws std::bad_alloc as decodeBmp does, before reading the pixel
// data.
std::optional<DecodedBmp> readBmpFile(const QString& fileName);

// Largest picture, in bytes of memory, that the decoder allocates (2 GiB unless
// changed); a larger one raises std::bad_alloc. Returns the previous limit.
std::int64_t setBmpAllocationLimit(std::int64_t bytes);
// The limit in force; the readers of the other formats keep to it too.
std::int64_t bmpAllocationLimit();

}  // namespace morvane
