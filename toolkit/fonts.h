// The windows' font: the classic dialog face where it exists, otherwise the
// nearest sans-serif with similar widths, at a character height in pixels.
#pragma once

#include <QFont>

namespace morvane {

QFont SansFont(int pixelHeight, bool bold = false);

}  // namespace morvane
