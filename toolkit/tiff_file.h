// TIFF files, read and written through libtiff. The first page is read, with
// its orientation applied; a file whose pixel data is missing, cut short or
// corrupt is refused rather than opened with made-up pixels. Pictures are
// written as one page, deflate-compressed, with gray, palette and two-colour
// pictures kept as such.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <optional>

#include "toolkit/image_io.h"

namespace morvane {

// True when the bytes start as a TIFF (either byte order, classic or big).
bool looksLikeTiff(const QByteArray& head);

// Reads the first page of a TIFF file; nothing when it is not a TIFF this
// reader knows or its data is damaged. Throws std::bad_alloc when the picture
// needs more than limitBytes of memory, or cannot be had.
std::optional<DecodedPicture> readTiff(const QString& fileName, std::int64_t limitBytes);

// Pages (directories) of a TIFF file; 1 when it cannot be told.
int tiffPageCount(const QString& fileName);

// The TIFF bytes of a picture in one of the picture object's formats (gray:
// its table is the identity gray ramp), or nothing when libtiff fails.
std::optional<QByteArray> encodeTiff(const QImage& image, bool gray);

}  // namespace morvane
