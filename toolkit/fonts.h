// The windows' font: a narrow sans-serif face, the first of a list that is
// installed, at a character height in pixels. The controls' fixed positions
// and sizes leave room for captions of about that width.
#pragma once

#include <QFont>

namespace morvane {

QFont SansFont(int pixelHeight, bool bold = false);

}  // namespace morvane
