// The picture formats the program knows, in one table: which extensions each
// owns, who reads and writes it, and what a file of it can hold. The writer's
// choice by extension, the file dialogs' filter and the batch's --formato all
// read this table.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <vector>

#include "toolkit/resolution.h"

namespace morvane {

enum class Coder {
  Own,   // by our own code or straight through the format's library (libjpeg, libpng, libtiff,
         // libwebp)
  Qt,    // through Qt's image IO
  None,  // not written at all
};

struct PictureFormat {
  const char* name;        // the writer's format name: "bmp", "png", "tiff", ...
  QStringList extensions;  // lower case, the first one is the usual one
  Coder reader;
  Coder writer;
  bool gray;         // holds gray levels as gray
  bool palette;      // holds a colour table
  const char* bits;  // bit depths written
  bool resolution;   // holds dots per metre
  bool pages;        // may hold several pages
  bool lossless;
};

// Every format, BMP first.
const std::vector<PictureFormat>& pictureFormats();

// The format that owns a file name's extension (case does not matter), or
// nothing. A name without extension is not owned by any.
const PictureFormat* formatOfName(const QString& fileName);

// Extensions of every format that is written, in table order.
QStringList writtenExtensions();

}  // namespace morvane
