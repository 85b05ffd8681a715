// The toolkit's windows side: dialogs through a provider, the error display,
// the picture view, and the small controls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <new>
#include <stdexcept>

#include "tests/support/fake_dialogs.h"
#include "toolkit/controls.h"
#include "toolkit/dialogs.h"
#include "toolkit/errors.h"
#include "toolkit/guard.h"
#include "toolkit/picture_view.h"
#include "toolkit/progress_bar.h"
#include "toolkit/up_down.h"

namespace morvane {
namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "toolkit_controls_test";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
  }
  void TearDown() override { delete app_; }

 private:
  QApplication* app_ = nullptr;
};
[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

TEST(Dialogs, FiltersInQtSyntax) {
  EXPECT_EQ(qtFilter("Imagen BMP|*.bmp"), "Imagen BMP (*.bmp)");
  EXPECT_EQ(qtFilter("Imagen BMP|*.bmp|Todos|*.bmp;*.dib"),
            "Imagen BMP (*.bmp);;Todos (*.bmp *.dib)");
}

TEST(Dialogs, FileDialogsRememberTheChosenName) {
  FakeDialogs fake;
  OpenDialog open;
  open.Filter = "Imagen BMP|*.bmp";
  fake.openAnswers = {QString("/tmp/a.bmp"), std::nullopt};
  EXPECT_TRUE(open.Execute());
  EXPECT_EQ(open.FileName, "/tmp/a.bmp");
  EXPECT_FALSE(open.Execute());  // cancelled: the name stays
  EXPECT_EQ(open.FileName, "/tmp/a.bmp");
  EXPECT_EQ(fake.lastCurrent, "/tmp/a.bmp");
  EXPECT_EQ(fake.lastFilter, "Imagen BMP|*.bmp");
  EXPECT_FALSE(open.Execute());  // empty queue: cancel
  EXPECT_EQ(fake.openCount, 3);

  SaveDialog save;
  save.Filter = "Imagen BMP|*.bmp";
  save.DefaultExt = "bmp";
  fake.saveAnswers = {QString("/tmp/x"), QString("/tmp/y.BMP"), QString("/tmp/dir.d/z"),
                      QString("/tmp/w."), std::nullopt};
  const char* expected[] = {"/tmp/x.bmp", "/tmp/y.BMP", "/tmp/dir.d/z.bmp", "/tmp/w.bmp"};
  for (const char* name : expected) {
    EXPECT_TRUE(save.Execute());
    EXPECT_EQ(save.FileName, name);
  }
  EXPECT_EQ(fake.lastDefaultExt, "bmp");
  EXPECT_FALSE(save.Execute());
  EXPECT_EQ(save.FileName, "/tmp/w.bmp");
}

TEST(Dialogs, FakesNestAndUninstall) {
  DialogProvider* real = &dialogs();
  {
    FakeDialogs outer;
    {
      FakeDialogs inner;
      ShowMessage("uno");
      EXPECT_EQ(inner.messages, QStringList{"uno"});
    }
    ShowMessage("dos");
    EXPECT_EQ(outer.messages, QStringList{"dos"});
  }
  EXPECT_EQ(&dialogs(), real);
}

TEST(Guard, ShowsTheMessageOfEachKindOfError) {
  FakeDialogs fake;
  showError(std::make_exception_ptr(ToolkitError("No se puede abrir el fichero «a.bmp»")));
  showError(std::make_exception_ptr(std::runtime_error("fallo")));
  showError(std::make_exception_ptr(std::bad_alloc()));
  showError(std::make_exception_ptr(42));
  showError(nullptr);
  EXPECT_EQ(fake.messages, (QStringList{"No se puede abrir el fichero «a.bmp»", "fallo",
                                        "No hay memoria suficiente para esta operación", ""}));
}

// Whatever a handler throws is shown, and the next event is handled as usual.
TEST(Guard, GuardedHandlersNeverStopTheProgram) {
  FakeDialogs fake;
  QPushButton button;
  int step = 0;
  int after = 0;
  connectGuarded(&button, &QPushButton::clicked, &button, [&] {
    ++step;
    if (step == 1) throw std::runtime_error("uno");
    if (step == 2) throw std::bad_alloc();
    if (step == 3) throw 3;
    ++after;
  });
  for (int i = 0; i < 4; ++i) button.click();
  EXPECT_EQ(step, 4);
  EXPECT_EQ(after, 1);
  EXPECT_EQ(fake.messages,
            (QStringList{"uno", "No hay memoria suficiente para esta operación", ""}));

  // A handler that shows an error from a failing provider still returns.
  struct Broken : FakeDialogs {
    void message(const QString&) override { throw std::runtime_error("sin pantalla"); }
  } broken;
  EXPECT_NO_THROW(runGuarded([] { throw std::runtime_error("x"); }));
}

TEST(Controls, EditReportsLeavingIt) {
  QWidget window;
  auto* first = new Edit(&window);
  auto* second = new Edit(&window);
  first->move(0, 0);
  second->move(0, 40);
  int exits = 0;
  QObject::connect(first, &Edit::exited, [&] { ++exits; });
  window.show();
  QApplication::setActiveWindow(&window);
  first->setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(first->hasFocus());
  EXPECT_EQ(exits, 0);
  second->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(exits, 1);
}

TEST(Controls, RadioGroupIndex) {
  RadioGroup group("Filtro", {"Media", "Mediana", "Conservativo"});
  int clicks = 0;
  QObject::connect(&group, &RadioGroup::clicked, [&] { ++clicks; });
  EXPECT_EQ(group.count(), 3);
  EXPECT_EQ(group.itemIndex(), -1);
  group.setItemIndex(1);
  EXPECT_EQ(group.itemIndex(), 1);
  EXPECT_EQ(clicks, 0);
  group.button(2)->click();
  EXPECT_EQ(group.itemIndex(), 2);
  EXPECT_FALSE(group.button(1)->isChecked());
  EXPECT_EQ(clicks, 1);
  group.setItemIndex(-1);
  EXPECT_EQ(group.itemIndex(), -1);
  group.setItemIndex(0);
  EXPECT_EQ(group.itemIndex(), 0);
  EXPECT_EQ(clicks, 1);
}

TEST(Controls, UpDownArrows) {
  for (auto orientation : {Qt::Vertical, Qt::Horizontal}) {
    UpDown upDown(orientation);
    upDown.resize(upDown.sizeHint());
    upDown.show();
    QApplication::processEvents();
    const QRect next = upDown.nextButton()->geometry();
    const QRect previous = upDown.previousButton()->geometry();
    if (orientation == Qt::Vertical) {
      EXPECT_EQ(upDown.nextButton()->arrowType(), Qt::UpArrow);
      EXPECT_EQ(upDown.previousButton()->arrowType(), Qt::DownArrow);
      EXPECT_LT(next.top(), previous.top());
    } else {
      EXPECT_EQ(upDown.nextButton()->arrowType(), Qt::RightArrow);
      EXPECT_EQ(upDown.previousButton()->arrowType(), Qt::LeftArrow);
      EXPECT_LT(previous.left(), next.left());
    }
    std::vector<UpDown::Arrow> arrows;
    QObject::connect(&upDown, &UpDown::clicked, [&](UpDown::Arrow a) { arrows.push_back(a); });
    for (int i = 0; i < 3; ++i) upDown.nextButton()->click();  // no limit on presses
    upDown.previousButton()->click();
    EXPECT_EQ(arrows, (std::vector{UpDown::Arrow::Next, UpDown::Arrow::Next, UpDown::Arrow::Next,
                                   UpDown::Arrow::Previous}));
  }
}

TEST(Controls, MemoLines) {
  Memo memo;
  EXPECT_TRUE(memo.lines().isEmpty());
  memo.appendLine("Cargando Matriz");
  memo.appendLine("Reservando memoria");
  EXPECT_EQ(memo.lines(), (QStringList{"Cargando Matriz", "Reservando memoria"}));
  memo.clearLines();
  EXPECT_TRUE(memo.lines().isEmpty());
  memo.appendLine("otra");
  EXPECT_EQ(memo.lines(), QStringList{"otra"});
}

TEST(Controls, StringGridCells) {
  StringGrid grid;
  grid.setSize(3, 3);
  EXPECT_EQ(grid.cell(1, 2), "");
  grid.setCell(1, 2, "7");  // column 1, row 2
  EXPECT_EQ(grid.cell(1, 2), "7");
  EXPECT_EQ(grid.item(2, 1)->text(), "7");
  grid.setCell(5, 5, "fuera");  // outside: ignored
  EXPECT_EQ(grid.cell(5, 5), "");
  grid.setSize(5, 5);
  EXPECT_EQ(grid.cell(1, 2), "7");
  EXPECT_EQ(grid.columnCount(), 5);
  EXPECT_EQ(grid.rowCount(), 5);
  grid.setDefaultCellSize(24, 18);
  EXPECT_EQ(grid.columnWidth(4), 24);
  EXPECT_EQ(grid.rowHeight(4), 18);
  grid.setSize(7, 7);
  EXPECT_EQ(grid.columnWidth(6), 24);
  EXPECT_EQ(grid.rowHeight(6), 18);
}

TEST(Controls, ProgressBarPosition) {
  ProgressBar bar;
  EXPECT_FALSE(bar.isTextVisible());
  bar.setMax(10);
  bar.setPosition(0);
  for (int i = 0; i < 4; ++i) bar.step();
  EXPECT_EQ(bar.position(), 4);
  EXPECT_EQ(bar.maximum(), 10);
  bar.setPosition(0);
  EXPECT_EQ(bar.position(), 0);
}

QImage filled(int w, int h, QColor colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

TEST(PictureView, FittedViewCentresAndOnlyScalesDown) {
  PictureView view;
  view.resize(100, 100);
  view.picture().setImage(filled(20, 10, Qt::red), 24);
  view.pictureChanged();
  EXPECT_EQ(view.toPicture({40, 45}), QPoint(0, 0));  // centred, unscaled
  EXPECT_EQ(view.toPicture({59, 54}), QPoint(19, 9));
  QImage shot = view.grab().toImage();
  EXPECT_EQ(shot.pixelColor(50, 50), QColor(Qt::red));
  EXPECT_NE(shot.pixelColor(30, 50), QColor(Qt::red));

  view.picture().setImage(filled(400, 200, Qt::blue), 24);
  view.pictureChanged();
  // 400 x 200 into 100 x 100: 100 x 50, from y = 25.
  EXPECT_EQ(view.toPicture({0, 25}), QPoint(0, 0));
  EXPECT_EQ(view.toPicture({50, 50}), QPoint(200, 100));
  shot = view.grab().toImage();
  EXPECT_EQ(shot.pixelColor(50, 30), QColor(Qt::blue));
  EXPECT_NE(shot.pixelColor(50, 10), QColor(Qt::blue));
}

TEST(PictureView, AutoSizeViewTakesThePictureSize) {
  PictureView view;
  view.setAutoSize(true);
  view.picture().setImage(filled(300, 120, Qt::green), 24);
  view.pictureChanged();
  EXPECT_EQ(view.size(), QSize(300, 120));
  EXPECT_EQ(view.toPicture({250, 7}), QPoint(250, 7));
  EXPECT_EQ(view.grab().toImage().pixelColor(299, 119), QColor(Qt::green));
}

TEST(PictureView, ReportsPressesInPictureCoordinatesAndDoubleClicks) {
  PictureView view;
  view.resize(100, 100);
  view.picture().setImage(filled(200, 200, Qt::white), 24);
  view.pictureChanged();
  std::vector<QPoint> presses;
  int doubles = 0;
  QObject::connect(&view, &PictureView::pressed, [&](int x, int y) { presses.push_back({x, y}); });
  QObject::connect(&view, &PictureView::doubleClicked, [&] { ++doubles; });
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 20), QPointF(10, 20), Qt::RightButton,
                    Qt::RightButton, Qt::NoModifier);
  QApplication::sendEvent(&view, &press);
  QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(10, 20), QPointF(10, 20), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&view, &twice);
  EXPECT_EQ(presses, std::vector<QPoint>{QPoint(20, 40)});
  EXPECT_EQ(doubles, 1);
}

}  // namespace
}  // namespace morvane
