// Pictures whose pixels live in page buffers: zeroed huge pages taken straight
// from the system, so that a large picture costs a handful of page faults,
// not one per 4 KiB. Qt frees the buffer when the last copy of the image goes.
#pragma once

#include <QImage>

namespace morvane {

// A width x height image of the format, every byte 0 (a palette image gets
// no colour table). Throws std::bad_alloc when the memory cannot be had.
QImage NewImage(int width, int height, QImage::Format format);

// A deep copy of image into a page buffer: the copy shares nothing with image,
// so neither is copied again when one of them is written.
QImage CopyImage(const QImage& image);

}  // namespace morvane
