// A picture's resolution as its file tells it. Qt has no "unknown" resolution:
// every new image gets the screen's (96 dpi), and a resolution of 0 is ignored.
// A picture whose file tells none therefore carries kNoResolution dots per
// metre, which copies and conversions keep and which every writer takes as "no
// resolution" (anything not above 0 is none).
#pragma once

#include <QImage>

namespace morvane {

constexpr int kNoResolution = -1;

inline bool hasResolution(const QImage& image) {
  return image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0;
}

// Sets the dots per metre the file tells; a value not above 0 is none.
inline void setResolution(QImage& image, long long dotsPerMeterX, long long dotsPerMeterY) {
  const auto kept = [](long long v) {
    return v > 0 && v <= 0x7fffffff ? static_cast<int>(v) : kNoResolution;
  };
  image.setDotsPerMeterX(kept(dotsPerMeterX));
  image.setDotsPerMeterY(kept(dotsPerMeterY));
}

// The picture's file tells no resolution.
inline void clearResolution(QImage& image) {
  setResolution(image, 0, 0);
}

}  // namespace morvane
