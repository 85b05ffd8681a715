// PBM, PGM and PPM files (plain and raw), read and written by our own code.
// Every sample v of a file with maximum value maxval reads as the level
// round(v * 255 / maxval); a sample above maxval, a header that does not parse
// or data cut short refuse the file.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <optional>

#include "toolkit/image_io.h"

namespace morvane {

// True when the bytes start as a PNM ("P1" to "P6" and a blank or comment).
bool looksLikePnm(const QByteArray& head);

// Decodes a whole PNM file held in memory: a two-colour picture (1 bit, index
// 1 black) for PBM, gray levels for PGM, colour for PPM, with no resolution.
// Nothing when it is not a PNM or is damaged; throws std::bad_alloc when the
// picture needs more than limitBytes of memory, or cannot be had.
std::optional<DecodedPicture> decodePnm(const QByteArray& bytes, std::int64_t limitBytes);

// Reads a PNM file (see decodePnm).
std::optional<DecodedPicture> readPnm(const QString& fileName, std::int64_t limitBytes);

// The raw PNM bytes of a picture in one of the picture object's formats (gray:
// its table is the identity gray ramp). format is "pbm" (refused unless every
// level is 0 or 255), "pgm" (the levels), "ppm" (the colours) or "pnm" (PGM
// for a picture of grays, PPM for any other).
std::optional<QByteArray> encodePnm(const QImage& image, bool gray, const QByteArray& format);

}  // namespace morvane
