// PNG files through libpng, refusing a file that ends early, whose image data
// is damaged, or whose pixels name palette entries it does not have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "toolkit/image_io.h"

namespace morvane {

// Gray, gray with alpha (of any depth but 1 bit) as gray levels (identity
// ramp, gray set: a transparent key or the alpha channel do not change a
// level); 1-bit gray as a two-colour picture (white, black); a palette as
// Indexed8 with its opaque colours (1 bit a pixel for a 1-bit file); colour as
// RGB32 with alpha dropped. 16-bit samples are rounded to 8 bits. The pHYs
// chunk in pixels per metre is the resolution. Nothing for a damaged, cut or
// too large file; throws std::bad_alloc when the picture does not fit in
// memory.
std::optional<DecodedPicture> decodePng(const std::uint8_t* bytes, std::size_t size);

}  // namespace morvane
