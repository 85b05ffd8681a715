// The views and the progress bar as painted on the screen.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <functional>
#include <vector>

#include "app/main_window.h"
#include "tests/support/application.h"
#include "tests/support/child.h"
#include "tests/support/fake_dialogs.h"
#include "toolkit/picture_view.h"
#include "toolkit/progress_bar.h"

namespace morvane {
namespace {

QImage GrayPicture(int w, int h, const std::function<int(int x, int y)>& level) {
  QImage image(w, h, QImage::Format_Indexed8);
  for (int g = 0; g < 256; ++g) image.setColor(g, qRgb(g, g, g));  // the table grows
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.scanLine(y)[x] = static_cast<uchar>(level(x, y));
  return image;
}

// The area-weighted mean of channel `shift` under drawn pixel (dx, dy) of dw x dh.
double AreaMean(const QImage& picture, int dw, int dh, int dx, int dy, int shift) {
  const double x0 = dx * double(picture.width()) / dw, x1 = (dx + 1) * double(picture.width()) / dw;
  const double y0 = dy * double(picture.height()) / dh,
               y1 = (dy + 1) * double(picture.height()) / dh;
  double sum = 0;
  for (int y = int(std::floor(y0)); y < int(std::ceil(y1)); ++y) {
    const double wy = std::min(y + 1.0, y1) - std::max(double(y), y0);
    for (int x = int(std::floor(x0)); x < int(std::ceil(x1)); ++x) {
      const double wx = std::min(x + 1.0, x1) - std::max(double(x), x0);
      sum += wx * wy * ((picture.pixel(x, y) >> shift) & 0xff);
    }
  }
  return sum / ((x1 - x0) * (y1 - y0));
}

// The largest difference between the painted w x h (centred) and the area means.
double Compare(PictureView& view, const QImage& picture, int w, int h) {
  const QImage shown = view.grab().toImage();
  const QPoint at((view.width() - w) / 2, (view.height() - h) / 2);
  double worst = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int shift : {0, 8, 16})
        worst = std::max(worst, std::abs(((shown.pixel(at.x() + x, at.y() + y) >> shift) & 0xff) -
                                         AreaMean(picture, w, h, x, y, shift)));
  return worst;
}

// Odd reduction ratios, so drawn pixels cut picture pixels, and easy cases.
TEST(Views, EachViewPixelIsTheAreaAverageOfThePicturePixelsUnderIt) {
  EnsureApplication();
  const auto scene = [](int x, int y) {
    const double disc = std::hypot(x - 420.0, y - 300.0) < 170 ? 90 : 0;
    return int(40 + 0.08 * x + 0.1 * y + disc + 25 * std::sin(x * 0.05) * std::cos(y * 0.07) +
               ((x * 7919 + y * 104729) % 23)) %
           256;
  };
  const auto stripes = [](int x, int) { return x % 2 ? 255 : 0; };
  const auto zone = [](int x, int y) {
    const double r2 = (x - 506.5) * (x - 506.5) + (y - 438.5) * (y - 438.5);
    return int(std::lround(127.5 + 127.5 * std::cos(M_PI * r2 / 1013.0)));
  };
  QImage colour(1013, 877, QImage::Format_RGB32);
  for (int y = 0; y < 877; ++y)
    for (int x = 0; x < 1013; ++x)
      colour.setPixel(x, y, qRgb(scene(x, y), (scene(x, y) * 3 + x) % 256, 255 - scene(x, y)));
  QImage palette = GrayPicture(1013, 877, scene);
  for (int i = 0; i < 256; ++i) palette.setColor(i, qRgb(i, 255 - i, (i * 5) % 256));
  const struct {
    const char* name;
    QImage picture;
    int bits, viewW, viewH, drawnW, drawnH;
  } cases[] = {
      {"photograph", GrayPicture(1013, 877, scene), 8, 297, 257, 296, 257},
      {"colour photograph", colour, 24, 297, 257, 296, 257},
      {"16-bit colour", colour.convertToFormat(QImage::Format_RGB555), 16, 297, 257, 296, 257},
      {"colour palette", palette, 8, 297, 257, 296, 257},
      {"stripes", GrayPicture(1013, 877, stripes), 8, 297, 257, 296, 257},
      {"zone plate", GrayPicture(1013, 877, zone), 8, 297, 257, 296, 257},
      {"wide", GrayPicture(2000, 311, scene), 8, 297, 257, 297, 46},
      // Over 257 picture rows under each drawn row, most of them near white.
      {"tall", GrayPicture(1, 70000, [](int, int y) { return y % 3 ? 255 : 250; }), 8, 297, 257, 1,
       257},
      {"4 -> 2", GrayPicture(4, 4, [](int x, int y) { return x * 40 + y; }), 8, 2, 2, 2, 2},
      {"flat", GrayPicture(999, 998, [](int, int) { return 77; }), 8, 297, 257, 257, 257},
      {"small", GrayPicture(200, 100, scene), 8, 297, 257, 200, 100},
  };
  for (const auto& c : cases) {
    PictureView view;
    view.resize(c.viewW, c.viewH);
    view.picture().setImage(c.picture, c.bits);
    view.pictureChanged();
    EXPECT_LE(Compare(view, c.picture, c.drawnW, c.drawnH), 0.5 + 1e-6) << c.name;  // rounded
    // A band of rows ending inside drawn rows is changed and redrawn.
    const int w = c.picture.width(), h = c.picture.height();
    std::vector<std::uint8_t> levels(w);
    for (int y = h * 343 / 1000; y < h * 478 / 1000; ++y) {
      for (int x = 0; x < w; ++x) levels[x] = static_cast<std::uint8_t>(x % 3 ? 250 : y % 7);
      view.picture().writeLevels(y, levels.data(), 0, w);
      view.rowsChanged(y, y + 1);
    }
    EXPECT_LE(Compare(view, view.picture().image(), c.drawnW, c.drawnH), 0.5 + 1e-6) << c.name;
  }
}

QImage Look(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// After a sweep drawn full, and after a window command, the bar looks empty.
TEST(Views, TheProgressBarIsPaintedEmptyAfterASweep) {
  EnsureApplication();
  ProgressBar empty, bar;
  for (ProgressBar* b : {&empty, &bar}) b->resize(297, 17), b->setMax(10);
  const QImage emptyLook = Look(empty);
  for (int i = 0; i < 9; ++i) bar.step();
  QThread::msleep(60);
  bar.step();
  EXPECT_NE(Look(bar), emptyLook);  // full, and it shows
  bar.setPosition(0);
  EXPECT_EQ(Look(bar), emptyLook);

  QTemporaryDir dir;
  const QString file = dir.filePath("p.bmp");
  ASSERT_TRUE(GrayPicture(64, 48, [](int x, int y) { return (x * y) % 256; }).save(file, "BMP"));
  FakeDialogs fake;
  fake.openAnswers.push_back(file);
  Workspace ws;
  VentanaPrincipal form(ws);
  form.show();
  form.onAbrirImagen();
  form.onCargarMatriz();
  QThread::msleep(60);  // the first step of the sweep is painted
  form.onPuntosNegros();
  empty.resize(child<ProgressBar>(form, "progressBar")->size());
  EXPECT_EQ(Look(*child<ProgressBar>(form, "progressBar")), Look(empty));
}

}  // namespace
}  // namespace morvane
