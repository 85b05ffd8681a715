// The toolkit's windows side: the save dialog, the error display and guarded
// handlers, and the control events the windows rely on.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QToolButton>
#include <memory>
#include <new>
#include <tuple>
#include <vector>

#include "tests/support/fake_dialogs.h"
#include "toolkit/controls.h"
#include "toolkit/errors.h"
#include "toolkit/guard.h"
#include "toolkit/picture_view.h"
#include "toolkit/up_down.h"

namespace morvane {
namespace {

// One application for the whole run.
struct QtEnvironment : ::testing::Environment {
  int argc = 1;
  char name[5] = "test";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<QApplication> app;
  void SetUp() override { app = std::make_unique<QApplication>(argc, argv); }
  void TearDown() override { app.reset(); }
};
[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

TEST(Dialogs, SaveAddsTheDefaultExtensionAndCancelKeepsTheName) {
  FakeDialogs fake;
  SaveDialog save;
  save.DefaultExt = "bmp";
  fake.saveAnswers = {"/tmp/x", "/tmp/y.BMP", "/tmp/dir.d/z", "/tmp/w.", std::nullopt};
  for (const char* name : {"/tmp/x.bmp", "/tmp/y.BMP", "/tmp/dir.d/z.bmp", "/tmp/w.bmp"}) {
    EXPECT_TRUE(save.Execute());
    EXPECT_EQ(save.FileName, name);
  }
  EXPECT_FALSE(save.Execute());
  EXPECT_EQ(save.FileName, "/tmp/w.bmp");
}

TEST(Guard, ShowsTheMessageOfEachKindOfError) {
  FakeDialogs fake;
  showError(std::make_exception_ptr(ToolkitError("No se puede abrir el fichero «a.bmp»")));
  showError(std::make_exception_ptr(std::bad_alloc()));
  showError(std::make_exception_ptr(42));
  EXPECT_EQ(fake.messages, (QStringList{"No se puede abrir el fichero «a.bmp»",
                                        "No hay memoria suficiente para esta operación", ""}));
}

// The arrows report which one was pressed (next: up or right) to a guarded
// handler taking the argument; its throw is shown and the next press handled.
TEST(Guard, UpDownArrowsReachAGuardedHandler) {
  const std::tuple<Qt::Orientation, Qt::ArrowType, Qt::ArrowType> cases[] = {
      {Qt::Vertical, Qt::UpArrow, Qt::DownArrow}, {Qt::Horizontal, Qt::RightArrow, Qt::LeftArrow}};
  for (auto [orientation, nextArrow, previousArrow] : cases) {
    FakeDialogs fake;
    UpDown upDown(orientation);
    EXPECT_EQ(upDown.nextButton()->arrowType(), nextArrow);
    EXPECT_EQ(upDown.previousButton()->arrowType(), previousArrow);
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
}

// A 200 x 200 picture fitted into a 100 x 100 view: presses come in picture
// coordinates.
TEST(Guard, PictureViewPressesReachAGuardedHandler) {
  PictureView view;
  view.resize(100, 100);
  QImage white(200, 200, QImage::Format_RGB32);
  white.fill(Qt::white);
  view.picture().setImage(white, 24);
  view.pictureChanged();
  std::vector<QPoint> presses;
  connectGuarded(&view, &PictureView::pressed, &view, [&](int x, int y) {
    presses.push_back({x, y});
  });
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 20), QPointF(10, 20), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&view, &press);
  EXPECT_EQ(presses, std::vector<QPoint>{QPoint(20, 40)});
}

TEST(Controls, EditReportsLeavingIt) {
  QWidget window;
  auto* first = new Edit(&window);
  auto* second = new Edit(&window);
  int exits = 0;
  QObject::connect(first, &Edit::exited, [&] { ++exits; });
  window.show();
  QApplication::setActiveWindow(&window);
  first->setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(first->hasFocus());
  second->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(exits, 1);
}

}  // namespace
}  // namespace morvane
