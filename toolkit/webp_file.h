// WebP files through libwebp: a still picture or the first frame of an
// animation, refusing a file that is cut short or whose data is damaged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "toolkit/image_io.h"

namespace morvane {

// A picture whose pixels are all gray (red = green = blue) as gray levels
// (identity ramp, gray set), any other as RGB32 with alpha dropped; the first
// frame of an animation as composed on its canvas, the frame count as pages.
// The EXIF orientation is applied; WebP holds no resolution. Nothing for a
// damaged, cut or too large file; throws std::bad_alloc when the picture does
// not fit in memory.
std::optional<DecodedPicture> decodeWebp(const std::uint8_t* bytes, std::size_t size);

}  // namespace morvane
