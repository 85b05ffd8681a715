// Placement and font shared by the inspection windows. Their positions and sizes
// are outer ones, frame and caption included, as the windows are laid out.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

namespace morvane {

// The windows' font: the nearest sans-serif face at 11-pixel characters.
QFont FuenteVentanas();

// Size the frame adds to the client area: the real one once the window system
// has framed the window; before that, 4-pixel borders and a 23-pixel caption
// are assumed, so a window placed before it is shown lands close to its place.
QSize MarcoVentana(const QWidget* window);

// Places a top-level window by its outer rectangle.
void ColocarVentana(QWidget* window, const QRect& exterior);

}  // namespace morvane
