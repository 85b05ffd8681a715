// The picture formats other than BMP (PNG, TIFF, JPEG, PGM/PPM/PBM, WebP and
// whatever else Qt's readers know), read and written through Qt's image IO;
// JPEG, PNG and WebP are read (and JPEG written) through their own libraries
// (toolkit/library_readers.h, toolkit/jpeg_file.h).
// What is read is brought to the picture object's in-memory formats, so every
// level is the one the BMP reader would give for the same picture; what is
// written keeps the picture's levels (and its colours where the format can hold
// them).
#pragma once

#include <QImage>
#include <QString>
#include <optional>

namespace morvane {

// True when fileName is a regular file that starts with the BMP magic "BM":
// such a file goes to the BMP reader whatever its name.
bool startsAsBmp(const QString& fileName);

struct DecodedPicture {
  // Format_Indexed8 (256-entry table) for gray and palette pictures, RGB32 for
  // colour; the file's dots per metre (kNoResolution, toolkit/resolution.h,
  // when it tells none).
  QImage image;
  int bitsPerPixel = 8;  // 1 for two-colour pictures, 8 for gray and palette, 24 for colour
  bool gray = false;     // the file stores gray levels (the table is the identity gray ramp)
  int pageCount = 1;     // pages (or frames) in the file; the first one is read
};

// Reads the first page of a picture whose format is told by its content. Gives
// nothing when the file is not a regular file, is unreadable, or declares a
// picture beyond the allocation limit; throws std::bad_alloc when the picture
// read cannot be converted for lack of memory.
std::optional<DecodedPicture> readPicture(const QString& fileName);

// Pages held by an existing picture file (a multi-page TIFF); 1 for any
// other file, 0 when there is no regular file of that name.
int filePageCount(const QString& fileName);

// The format written for a file name's extension (see toolkit/formats.h:
// "bmp", "png", "tiff", "jpeg", "pgm", "ppm", "pbm", "pnm", "webp"); "bmp" for a
// name without extension; an empty text for an extension no written format
// owns.
QByteArray writtenFormat(const QString& fileName);

// Writes image (in one of the picture object's formats; gray tells that its
// table is the identity gray ramp) in the given Qt format, through a temporary
// file renamed over fileName. Returns false, leaving any existing file as it
// was, when the picture cannot be written in that format without changing a
// level or when anything fails.
bool writePicture(const QString& fileName, const QByteArray& format, const QImage& image,
                  bool gray);

}  // namespace morvane
