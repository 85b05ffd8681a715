// The toolkit: the picture object, text-integer conversions, dialogs, guarded
// handlers and control events.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QToolButton>
#include <array>
#include <csignal>
#include <cstdint>
#include <new>
#include <vector>

#include "tests/support/application.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/picture_files.h"
#include "toolkit/controls.h"
#include "toolkit/convert.h"
#include "toolkit/errors.h"
#include "toolkit/guard.h"
#include "toolkit/picture.h"
#include "toolkit/picture_view.h"
#include "toolkit/up_down.h"

namespace morvane {
namespace {

// Palette pictures take the nearest real entry, never the padding; they keep 1
// or 4 bits only when every entry and index fits.
TEST(Picture, PaletteTakesTheNearestEntryAndKeepsEveryIndex) {
  QImage image(3, 2, QImage::Format_Indexed8);
  image.setColorTable({qRgb(60, 60, 60), qRgb(100, 100, 100), qRgb(120, 120, 120),
                       qRgb(255, 255, 255), qRgb(255, 0, 0)});
  image.fill(0);
  Picture picture;
  picture.setImage(image, 8);
  picture.setPixel(0, 0, 0x1414F0);  // 0x00BBGGRR
  picture.setPixel(1, 0, 0xFAFAFA);
  picture.setPixel(2, 0, 0x6E5A5A);
  const std::uint8_t levels[3] = {5, 118, 255};
  picture.writeLevels(1, levels, 0, 3);
  std::vector<int> indices;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) indices.push_back(picture.image().pixelIndex(x, y));
  EXPECT_EQ(indices, (std::vector{4, 3, 1, 0, 2, 3}));
  const std::array<int, 4> cases[] = {{1, 2, 1, 1},   {1, 2, 2, 8},  {1, 3, 1, 8},  {4, 16, 15, 4},
                                      {4, 16, 16, 8}, {4, 17, 3, 8}, {4, 5, 200, 8}};
  for (auto [bits, entries, largestIndex, kept] : cases) {
    QImage image(5, 2, QImage::Format_Indexed8);
    for (int i = 0; i < entries; ++i) image.setColor(i, qRgb(i * 15, i * 15, i * 15));
    image.fill(0);
    image.scanLine(1)[4] = static_cast<uchar>(largestIndex);  // may lie past the palette
    picture.setImage(image, bits);
    EXPECT_EQ(picture.bitsPerPixel(), kept)
        << bits << " bits, " << entries << " entries, index " << largestIndex;
  }
}

TEST(Picture, NothingOutsideIsTouched) {
  EXPECT_EQ(Picture().pixel(0, 0), Picture::kOutsideColour);
  Picture picture = makePicture(24, 5, 3);
  QImage expected = picture.image();
  for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {5, 0}, {0, 3}, {100000, 100000}}) {
    EXPECT_EQ(picture.pixel(x, y), Picture::kOutsideColour);
    picture.setPixel(x, y, 0xffffff);
  }
  const std::uint8_t buffer[11] = {1, 2, 3, 10, 20, 30, 40, 50, 4, 5, 6};
  const std::uint8_t* levels = buffer + 3;  // readable on both sides of the row
  for (auto [y, x0, x1] : {std::array{-1, 0, 5}, {3, 0, 5}, {1, -3, 8}, {2, 1, 4}})
    picture.writeLevels(y, levels, x0, x1);
  for (int x = 0; x < 5; ++x) expected.setPixel(x, 1, qRgb(levels[x], levels[x], levels[x]));
  for (int x = 1; x < 4; ++x) expected.setPixel(x, 2, qRgb(levels[x], levels[x], levels[x]));
  EXPECT_EQ(picture.image(), expected);

  Picture rgb555 = makePicture(16, 1, 1);  // quantised as the file holds it
  rgb555.writeLevels(0, levels + 4, 0, 1);
  EXPECT_EQ(rgb555.pixel(0, 0), Picture::grayColour(49));
}

TEST(Picture, FailedSavesLeaveNoHalfFile) {
  const QTemporaryDir dir;
  EXPECT_THROW(Picture().save(dir.filePath("empty.bmp")), ToolkitError);
  const Picture picture = makePicture(24, 100, 100);
  const QString nowhere = dir.filePath("no/such/dir/out.bmp");
  try {
    picture.save(nowhere);
    ADD_FAILURE() << "saved into a missing folder";
  } catch (const ToolkitError& e) {
    EXPECT_TRUE(QString::fromUtf8(e.what()).contains(nowhere));
  }
  const QString target = dir.filePath("keep.bmp");
  makePicture(8, 2, 2).save(target);
  const QByteArray good = fileBytes(target);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const rlimit small{4096, old.rlim_max};
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(picture.save(target), ToolkitError);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(fileBytes(target), good);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.bmp"});
}

TEST(Convert, TextToIntegerAndBack) {
  const char* texts[] = {"0", "-5", "+7", " 12 ", "007", "2147483647", "-2147483648"};
  const int values[] = {0, -5, 7, 12, 7, INT32_MAX, INT32_MIN};
  for (int k = 0; k < 7; ++k) {
    EXPECT_EQ(TryStrToInt(texts[k]), values[k]) << texts[k];
    EXPECT_EQ(StrToInt(texts[k]), values[k]) << texts[k];
  }
  for (const char* text : {"", " ", "-", "+", "abc", "1.5", "2147483648", "-2147483649", "0x10",
                           "1 2", "1e3", "٣", "１２"}) {
    EXPECT_FALSE(TryStrToInt(QString::fromUtf8(text)).has_value()) << text;
    EXPECT_THROW(StrToInt(QString::fromUtf8(text)), ToolkitError) << text;
  }
  EXPECT_EQ(IntToStr(INT32_MIN), "-2147483648");
}

TEST(Widgets, SaveAddsTheDefaultExtensionCancelKeepsTheNameErrorsShowTheirMessage) {
  EnsureApplication();
  FakeDialogs fake;
  SaveDialog save;
  save.DefaultExt = "bmp";
  fake.saveAnswers = {"/tmp/x", "/tmp/y.BMP", "/tmp/dir.d/z", "/tmp/w.", std::nullopt};
  for (const char* name : {"/tmp/x.bmp", "/tmp/y.BMP", "/tmp/dir.d/z.bmp", "/tmp/w.bmp"})
    EXPECT_TRUE(save.Execute() && save.FileName == name) << save.FileName.toStdString();
  EXPECT_FALSE(save.Execute());
  EXPECT_EQ(save.FileName, "/tmp/w.bmp");
  showError(std::make_exception_ptr(ToolkitError("No se puede abrir el fichero «a.bmp»")));
  showError(std::make_exception_ptr(std::bad_alloc()));
  showError(std::make_exception_ptr(42));
  EXPECT_EQ(fake.messages, (QStringList{"No se puede abrir el fichero «a.bmp»",
                                        "No hay memoria suficiente para esta operación", ""}));
}

// A throw is shown and the next event handled; presses in picture coordinates.
TEST(Widgets, GuardedHandlersGetTheArrowsAndThePictureCoordinates) {
  EnsureApplication();
  for (bool vertical : {true, false}) {
    FakeDialogs fake;
    UpDown upDown(vertical ? Qt::Vertical : Qt::Horizontal);
    EXPECT_EQ(upDown.nextButton()->arrowType(), vertical ? Qt::UpArrow : Qt::RightArrow);
    EXPECT_EQ(upDown.previousButton()->arrowType(), vertical ? Qt::DownArrow : Qt::LeftArrow);
    std::vector<UpDown::Arrow> arrows;
    connectGuarded(&upDown, &UpDown::clicked, &upDown, [&](UpDown::Arrow a) {
      arrows.push_back(a);
      if (arrows.size() == 1) throw 1;  // not even an exception
    });
    for (QToolButton* b : {upDown.nextButton(), upDown.nextButton(), upDown.previousButton()})
      b->click();
    EXPECT_EQ(arrows,
              (std::vector{UpDown::Arrow::Next, UpDown::Arrow::Next, UpDown::Arrow::Previous}));
    EXPECT_EQ(fake.messages, QStringList{""});
  }
  PictureView view;
  view.resize(100, 100);
  view.picture() = makePicture(24, 200, 200);
  view.pictureChanged();
  std::vector<QPoint> got;
  connectGuarded(&view, &PictureView::pressed, &view,
                 [&](int x, int y) { got.emplace_back(x, y); });
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 20), QPointF(10, 20), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&view, &press);
  EXPECT_EQ(got, std::vector<QPoint>{QPoint(20, 40)});
}

TEST(Widgets, EditReportsLeavingIt) {
  EnsureApplication();
  QWidget window;
  auto *first = new Edit(&window), *second = new Edit(&window);
  int exits = 0;
  QObject::connect(first, &Edit::exited, [&] { ++exits; });
  window.show();
  QApplication::setActiveWindow(&window);
  first->setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(first->hasFocus());
  QFocusEvent deactivated(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
  QApplication::sendEvent(first, &deactivated);
  EXPECT_EQ(exits, 0);
  second->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(exits, 1);
}

// A gray ramp, one with an entry off (through the palette both ways), and a
// short ramp 0..k-1 that writes levels >= k as its last entry, not the padding.
TEST(Picture, GrayRampsAndCopies) {
  for (auto [entries, off] : {std::pair{256, -1}, {256, 0}, {256, 200}, {256, 255}, {100, -1}}) {
    QImage image(256, 2, QImage::Format_Indexed8);
    image.setColorCount(entries);
    std::vector<std::uint8_t> levels(256), ramp(256);
    for (int g = 0; g < 256; ++g) {
      if (g < entries) image.setColor(g, g == off ? qRgb(255, 0, 0) : qRgb(g, g, g));
      image.setPixel(g, 0, uint((g + 1) % entries));
      image.setPixel(g, 1, 0);
      ramp[g] = static_cast<std::uint8_t>(g);
    }
    Picture picture;
    picture.setImage(image, 8);
    picture.readLevels(0, levels.data());
    Picture copy = picture;
    copy.writeLevels(1, ramp.data(), 0, 256);
    SCOPED_TRACE(entries * 1000 + off);
    for (int x = 0; x < 256; ++x) {
      const int index = (x + 1) % entries, nearest = std::min(x, entries - 1);
      ASSERT_EQ(levels[x], index == off ? 255 : index) << x;
      // The off entry is red: its level is drawn with the first nearest gray.
      ASSERT_EQ(copy.image().pixelIndex(x, 1), x != off ? nearest : off == 0 ? 1 : off - 1) << x;
      ASSERT_EQ(picture.image().pixelIndex(x, 1), 0) << x;
    }
  }
}

}  // namespace
}  // namespace morvane
