// The main window driven through its real handlers and widgets: the picture
// commands, the advanced commands, the flags, the refusals, the modes, the
// image windows, and the threshold and factor boxes.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>

#include <functional>

#include "app/main_window.h"
#include "inspection/image_windows.h"
#include "support/fake_dialogs.h"
#include "tests/support/morphology_oracle.h"
#include "toolkit/picture_view.h"
#include "toolkit/progress_bar.h"

namespace morvane {
namespace {

QImage grayPicture(int width, int height, int seed) {
  QImage image(width, height, QImage::Format_Indexed8);
  QList<QRgb> palette;
  for (int g = 0; g < 256; ++g) palette.append(qRgb(g, g, g));
  image.setColorTable(palette);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.setPixel(x, y, (x * 7 + y * 13 + seed) % 256);
  return image;
}

// The real window, noting after each thing a command tells it what its widgets
// then show: the title, the log, a drawn row, the bar, whether the view is up.
class NotingWindow : public TForm1 {
 public:
  using TForm1::TForm1;
  void setTitle(const char* text) override {
    TForm1::setTitle(text), note("title", Label1->text());
  }
  void clear() override { TForm1::clear(), noteLog(); }
  void append(const char* line) override { TForm1::append(line), noteLog(); }
  void drawRow(int y, const std::uint8_t* levels, int x0, int x1) override {
    TForm1::drawRow(y, levels, x0, x1), note("row", QString::number(y));
  }
  void stepProgress() override { TForm1::stepProgress(), noteBar(); }
  void resetProgress() override { TForm1::resetProgress(), noteBar(); }
  void showView() override {
    TForm1::showView(), note("view", Image2->isHidden() ? "hidden" : "shown");
  }

  QStringList seen;

 private:
  void note(const char* what, const QString& shown) { seen.append(what + (" " + shown)); }
  void noteLog() { note("log", Memo1->lines().join('|')); }
  void noteBar() { note("bar", QString::number(ProgressBar1->position())); }
};

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "app_window_test";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvane"));
  }

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    form = std::make_unique<NotingWindow>(ws);
  }

  QString write(const QString& name, const QImage& image) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(image.save(path, "BMP"));
    return path;
  }

  QString writeBytes(const QString& name, const QByteArray& bytes, qint64 size = -1) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    if (size >= 0) {
      EXPECT_TRUE(file.resize(size));
    }
    return file.fileName();
  }

  void open(const QString& path) {
    dialogs.openAnswers.push_back(path);
    form->Button1->click();
  }

  QStringList log() const { return form->Memo1->lines(); }

  QTemporaryDir dir;
  FakeDialogs dialogs;
  Workspace ws;
  std::unique_ptr<NotingWindow> form;
};

TEST_F(MainWindowTest, StartsInNormalModeWithNothingLoaded) {
  EXPECT_TRUE(form->Normal1->isChecked() && !form->Avanzado1->isChecked());
  EXPECT_TRUE(form->Panel8->isHidden() && form->Button12->isHidden());
  EXPECT_FALSE(form->Dilatacion1->isEnabled() || form->FinalInicial1->isEnabled());
  EXPECT_EQ(form->StringGrid1->geometry(), QRect(302, 113, 99, 96));
  EXPECT_EQ(form->StringGrid1->columnCount(), 3);
  EXPECT_EQ(ws.Umbral, 50);
  EXPECT_EQ(ws.TamanoElegido, 3);
}

TEST_F(MainWindowTest, OpeningFillsBothPlanesAndRefusesASecondPicture) {
  open(write("gray.bmp", grayPicture(23, 17, 5)));
  ASSERT_TRUE(ws.ImagenCargada && ws.Alto == 17 && ws.Ancho == 23);
  EXPECT_EQ(log(), (QStringList{"Cargando Matriz", "Reservando memoria"}));
  EXPECT_EQ(form->Label2->text(), "");
  EXPECT_EQ(form->ProgressBar1->maximum(), 17);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 23; ++x) {
      ASSERT_EQ(ws.ImagenInicial[y][x], (x * 7 + y * 13 + 5) % 256);
      ASSERT_EQ(ws.ImagenFinal[y][x], ws.ImagenInicial[y][x]);
      ASSERT_EQ(ws.Auxiliar1[y][x], 0);
      ASSERT_EQ(ws.Auxiliar2[y][x], 0);
    }

  // A second open is refused before any dialog is shown.
  dialogs.openAnswers.push_back(dir.filePath("gray.bmp"));
  form->Abrir1->trigger();
  EXPECT_EQ(dialogs.messages, QStringList{"Hay una imagen cargada"});
  EXPECT_EQ(dialogs.openAnswers.size(), 1u);
  EXPECT_EQ(log().size(), 2);

  // A colour picture is read through its red channel.
  form->Button6->click();
  dialogs.openAnswers.clear();
  QImage colour(4, 3, QImage::Format_RGB32);
  colour.fill(qRgb(10, 200, 3));
  colour.setPixel(3, 2, qRgb(32, 1, 2));
  open(write("colour.bmp", colour));
  EXPECT_EQ(ws.ImagenInicial[2][3], 32);
  EXPECT_EQ(ws.ImagenFinal[1][2], 10);
}

TEST_F(MainWindowTest, CancellingOrFailingAnOpenLeavesNoPicture) {
  dialogs.openAnswers.push_back(std::nullopt);
  form->Button1->click();
  EXPECT_EQ(form->Label2->text(), "No hay ninguna imagen seleccionada");
  EXPECT_FALSE(ws.ImagenCargada);

  open(writeBytes("not-a-picture.bmp", "this is no bitmap"));
  ASSERT_EQ(dialogs.messages.size(), 1);
  EXPECT_TRUE(dialogs.messages[0].contains("not-a-picture.bmp"));
  EXPECT_FALSE(ws.ImagenCargada || ws.ImagenInicial.exists() || ws.Auxiliar1.exists());
  EXPECT_EQ(form->Label2->text(), "No hay ninguna imagen seleccionada");

  // A picture too large for memory: a clear message, the no-picture state.
  // 60000 x 60000 at 32 bits, its rows a sparse run of zeros.
  QByteArray header("BM\0\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x60\xea\0\0\x60\xea\0\0\x01\0\x20\0",
                    30);
  header.append(24, '\0');
  open(writeBytes("huge.bmp", header, 54 + 60000LL * 60000 * 4));
  EXPECT_EQ(dialogs.messages.last(), "No hay memoria suficiente para abrir esta imagen");
  EXPECT_EQ(form->Label2->text(), "No hay ninguna imagen seleccionada");
  EXPECT_FALSE(ws.ImagenCargada || ws.ImagenInicial.exists() || ws.Alto);

  // The user simply opens another file.
  open(write("good.bmp", grayPicture(5, 5, 1)));
  EXPECT_TRUE(ws.ImagenCargada);
}

TEST_F(MainWindowTest, SavingWritesTheRightViewAsOpened) {
  form->Button15->click();
  EXPECT_EQ(dialogs.messages, QStringList{"No hay imagen para guardar"});
  EXPECT_EQ(dialogs.saveCount, 0);
  dialogs.messages.clear();
  const QImage original = grayPicture(9, 6, 3);
  open(write("in.bmp", original));
  const std::uint8_t row[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  form->drawRow(2, row, 0, 9);  // as a command would draw its result
  dialogs.saveAnswers.push_back(dir.filePath("out.bmp"));
  form->Guardar1->trigger();
  ASSERT_TRUE(dialogs.messages.isEmpty());

  Picture saved;
  saved.load(dir.filePath("out.bmp"));
  EXPECT_EQ(saved.bitsPerPixel(), 8);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 9; ++x) {
      const int expected = y == 2 ? x : qRed(original.pixel(x, y));
      EXPECT_EQ(saved.pixel(x, y) & 0xFF, static_cast<unsigned>(expected));
    }
}

TEST_F(MainWindowTest, BorrarFreesThePicturesButKeepsDetectionFlagsAndMatrix) {
  form->Button6->click();  // nothing open: not even the log is cleared
  form->append("kept");
  form->Button6->click();
  EXPECT_EQ(log(), QStringList{"kept"});

  open(write("a.bmp", grayPicture(12, 10, 0)));
  form->Button7->click();  // zeros 3 x 3
  ASSERT_TRUE(ws.MatrizCargada);
  form->Button8->click();
  ASSERT_TRUE(ws.NegrosDetectados);
  form->Button11->click();
  ASSERT_FALSE(form->Button12->isHidden());

  form->Button6->click();
  EXPECT_FALSE(ws.ImagenCargada);
  EXPECT_FALSE(ws.MatrizCargada);
  EXPECT_TRUE(ws.NegrosDetectados);
  EXPECT_FALSE(ws.ImagenFinal.exists() || ws.Alto || ws.Ancho);
  EXPECT_TRUE(log().isEmpty());
  EXPECT_EQ(form->Label1->text(), "");
  EXPECT_EQ(form->Label2->text(), "No hay ninguna imagen seleccionada");
  EXPECT_TRUE(form->Image1->isHidden() && form->Image2->isHidden() && form->Button12->isHidden());
  EXPECT_EQ(ws.TamanoMatriz(), 3);  // the matrix itself stays

  // After a new open the matrix must be loaded again.
  open(dir.filePath("a.bmp"));
  form->Button9->click();
  EXPECT_EQ(log(), QStringList{"No se ha cargado la Matriz B"});
}

TEST_F(MainWindowTest, CopyBackThenInitialPictureRestoresTheOpenedFile) {
  const QImage original = grayPicture(8, 5, 9);
  open(write("orig.bmp", original));
  std::uint8_t row[8];
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 8; ++x) row[x] = static_cast<std::uint8_t>(200 - x - y);
    form->drawRow(y, row, 0, 8);
    for (int x = 0; x < 8; ++x) ws.ImagenFinal[y][x] = row[x];
  }
  form->Button11->click();
  EXPECT_FALSE(form->Button12->isHidden());
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(ws.ImagenInicial[y][x], 200 - x - y);
  EXPECT_EQ(form->ProgressBar1->position(), 0);

  form->Button12->click();
  EXPECT_TRUE(form->Button12->isHidden());
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 8; ++x) {
      ASSERT_EQ(ws.ImagenInicial[y][x], qRed(original.pixel(x, y)));
      ASSERT_EQ(ws.ImagenFinal[y][x], 200 - x - y);  // the result stays
    }

  // A file that now has another size, or is gone, changes nothing.
  form->Button11->click();
  ASSERT_TRUE(grayPicture(30, 30, 7).save(dir.filePath("orig.bmp"), "BMP"));
  form->Button12->click();
  ASSERT_TRUE(QFile::remove(dir.filePath("orig.bmp")));
  form->Button12->click();
  ASSERT_EQ(dialogs.messages.size(), 2);
  EXPECT_TRUE(dialogs.messages[1].contains("orig.bmp"));
  EXPECT_FALSE(form->Button12->isHidden());
  EXPECT_EQ(ws.ImagenInicial[1][1], 200 - 2);
  EXPECT_EQ(form->Image1->picture().width(), 8);
}

TEST_F(MainWindowTest, ModeSwitchesSetAndClearTheDetectionFlagsOnce) {
  form->Avanzado1->trigger();
  EXPECT_TRUE(form->Avanzado1->isChecked() && !form->Normal1->isChecked());
  EXPECT_TRUE(!form->Panel8->isHidden() && form->Cierre1->isEnabled());
  EXPECT_TRUE(ws.NegrosDetectados && ws.BlancosDetectados);

  form->Normal1->trigger();
  EXPECT_TRUE(form->Normal1->isChecked() && !form->Avanzado1->isChecked());
  EXPECT_TRUE(form->Panel8->isHidden() && !form->Erosion1->isEnabled());
  EXPECT_FALSE(ws.NegrosDetectados || ws.BlancosDetectados);

  ws.NegrosDetectados = true;  // as Puntos Negros leaves it
  form->Normal1->trigger();    // already in Normal: nothing is cleared
  EXPECT_TRUE(ws.NegrosDetectados);
  EXPECT_TRUE(form->Normal1->isChecked());

  form->Avanzado1->trigger();
  ws.NegrosDetectados = ws.BlancosDetectados = false;  // as a Restaurar leaves them
  form->Avanzado1->trigger();                          // already in Avanzado: nothing is set
  EXPECT_TRUE(form->Avanzado1->isChecked());
  EXPECT_FALSE(ws.NegrosDetectados || ws.BlancosDetectados);
}

// Each detection leaves its own flag set and the other one cleared, whatever
// the flags were.
TEST_F(MainWindowTest, EachDetectionSetsItsFlagAndClearsTheOther) {
  open(write("d.bmp", grayPicture(12, 10, 4)));
  form->Button7->click();
  for (auto [button, black] : {std::pair{form->Button8, true}, {form->Button9, false}}) {
    ws.NegrosDetectados = ws.BlancosDetectados = true;  // as the Avanzado mode leaves them
    button->click();
    EXPECT_EQ(ws.NegrosDetectados, black) << button->text().toStdString();
    EXPECT_EQ(ws.BlancosDetectados, !black) << button->text().toStdString();
  }
}

TEST_F(MainWindowTest, ExecuteMenuRunsTheDetectionAndRestorationButtons) {
  form->PuntosNegros1->trigger();
  EXPECT_EQ(log(), QStringList{"No has seleccionado una imagen"});
  form->Restaurar1->trigger();
  EXPECT_EQ(log(), QStringList{"Realice la detección de negros o blancos primero"});
}

// A double click on a view opens its own image window, once a picture is open.
TEST_F(MainWindowTest, DoubleClickOnAViewOpensItsImageWindow) {
  const struct {
    PictureView* view;
    QWidget* window;
    QWidget* other;
  } views[] = {{form->Image1, form->Ventanas.Form2, form->Ventanas.Form3},
               {form->Image2, form->Ventanas.Form3, form->Ventanas.Form2}};
  auto doubleClick = [](PictureView* view) {
    QMouseEvent event(QEvent::MouseButtonDblClick, QPointF(3, 3), view->mapToGlobal(QPointF(3, 3)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
  };
  for (const auto& v : views) {
    form->append("before");
    doubleClick(v.view);
    EXPECT_EQ(log(), QStringList{"Abrir una imagen primero"}) << v.view->objectName().toStdString();
    EXPECT_TRUE(v.window->isHidden() && v.other->isHidden());
  }
  open(write("w.bmp", grayPicture(6, 5, 2)));
  for (const auto& v : views) {
    v.window->hide();
    v.other->hide();
    doubleClick(v.view);
    EXPECT_FALSE(v.window->isHidden()) << v.view->objectName().toStdString();
    EXPECT_TRUE(v.other->isHidden()) << v.view->objectName().toStdString();
  }
}

// Dilatacion, Erosion, Cierre and Apertura through their buttons: the result
// is the literal kernels' on the planes as they were, it is what the right
// view shows, and the user sees, in order, the title, the log cleared (and the
// command's lines), every row drawn with the bar following it, the bar back at
// 0, the view shown and, for Dilatacion, its closing line.
TEST_F(MainWindowTest, AdvancedCommandsLeaveTheKernelsResultAndShowItInOrder) {
  constexpr int alto = 11, ancho = 13;
  QImage picture = grayPicture(ancho, alto, 0);
  for (int y = 0; y < alto; ++y)
    for (int x = 0; x < ancho; ++x) picture.setPixel(x, y, (x * 89 + y * 167 + x * y * 31) % 256);
  open(write("adv.bmp", picture));
  form->Edit1->setText("9");
  form->RadioGroup1->setItemIndex(1);  // 5 x 5
  form->RadioGroup1Click();
  form->RadioGroup2->setItemIndex(1);  // pyramidal
  form->Button7->click();
  ASSERT_EQ(ws.TamanoMatriz(), 5);
  form->Avanzado1->trigger();
  ws.Auxiliar1.fill(33);  // a band of its own, which Dilatacion shows

  auto copy = [&](const Plane& p) {
    Plane out(alto, ancho);
    CopiarPlano(p, out);
    return out;
  };
  // What each command leaves in Auxiliar1 and ImagenFinal, by the literal kernels.
  const MatrizB& b = ws.Matriz;
  const Plane& in = ws.ImagenInicial;
  auto dilatacion = [&](Plane& a, Plane& f) {
    oracle::DilatarLiteral(in, b, a, alto, ancho), CopiarPlano(a, f);
  };
  auto erosion = [&](Plane&, Plane& f) { oracle::ErosionarLiteral(in, b, f, alto, ancho); };
  auto cierre = [&](Plane& a, Plane& f) {
    oracle::DilatarLiteral(in, b, a, alto, ancho), oracle::ErosionarLiteral(a, b, f, alto, ancho);
  };
  auto apertura = [&](Plane& a, Plane& f) {
    oracle::ErosionarLiteral(in, b, a, alto, ancho), oracle::DilatarLiteral(a, b, f, alto, ancho);
  };
  const struct {
    QPushButton* button;
    const char* title;
    QStringList lines;    // logged before the painting
    const char* closing;  // logged once the view is shown
    std::function<void(Plane& auxiliar, Plane& final)> expect;
  } commands[] = {{form->Button2, "Dilatación", {}, "Dilatacion Realizada", dilatacion},
                  {form->Button3, "Erosión", {"Realizando Erosión"}, nullptr, erosion},
                  {form->Button4, "Cierre", {"1-Dilatacion", "2-Erosion"}, nullptr, cierre},
                  {form->Button5, "Apertura", {"1-Erosion", "2-Dilatacion"}, nullptr, apertura}};
  for (const auto& command : commands) {
    SCOPED_TRACE(command.title);
    Plane auxiliar = copy(ws.Auxiliar1), final = copy(ws.ImagenFinal);
    command.expect(auxiliar, final);
    form->Image2->hide();
    form->seen.clear();
    command.button->click();

    QStringList expected = {QString("title ") + command.title, "log "}, logged;
    for (const QString& line : command.lines) expected.append("log " + (logged << line).join('|'));
    for (int y = 0; y < alto; ++y)
      expected << QString("row %1").arg(y) << QString("bar %1").arg(y + 1);
    expected << "bar 0"
             << "view shown";
    if (command.closing) expected.append(QString("log ") + command.closing);
    EXPECT_EQ(form->seen, expected);

    std::uint8_t shown[ancho];
    for (int y = 0; y < alto; ++y) {
      form->Image2->picture().readLevels(y, shown);
      for (int x = 0; x < ancho; ++x) {
        ASSERT_EQ(ws.ImagenFinal[y][x], final[y][x]) << y << "," << x;
        ASSERT_EQ(ws.Auxiliar1[y][x], auxiliar[y][x]) << y << "," << x;
        ASSERT_EQ(shown[x], final[y][x]) << y << "," << x;
      }
    }
  }
}

// Every text typed into the threshold and factor boxes is judged at once.
TEST_F(MainWindowTest, NumberBoxesJudgeEveryText) {
  struct Case {
    Edit* box;
    std::int32_t* value;
    const char* typed;
    std::int32_t expected;
    const char* shown;
    const char* message;
  };
  const Case cases[] = {
      {form->Edit2, &ws.Umbral, "255", 255, "255", nullptr},
      {form->Edit2, &ws.Umbral, "256", 0, "", "El valor tiene que ser menor de 255"},
      {form->Edit2, &ws.Umbral, "-5", -5, "-5", nullptr},
      {form->Edit2, &ws.Umbral, "abc", 0, "0", "Valor incorrecto"},
      {form->Edit2, &ws.Umbral, "-", 0, "0", "Valor incorrecto"},
      {form->Edit1, &ws.FactorN, "-", 0, "0", "Valor incorrecto"},
      {form->Edit1, &ws.FactorN, "-7", -7, "-7", nullptr},
      {form->Edit1, &ws.FactorN, "", 0, "", nullptr},
  };
  for (const Case& c : cases) {
    *c.value = 99;
    dialogs.messages.clear();
    c.box->setText(QString::fromUtf8(c.typed));
    EXPECT_EQ(*c.value, c.expected) << c.typed;
    EXPECT_EQ(c.box->text(), c.shown) << c.typed;
    EXPECT_EQ(dialogs.messages, c.message ? QStringList{c.message} : QStringList{}) << c.typed;
  }
  // Leaving an empty box fills it with 0.
  form->Edit1Exit();
  form->Edit2->setText("");
  form->Edit2Exit();
  EXPECT_EQ(form->Edit1->text() + form->Edit2->text(), "00");
}

TEST_F(MainWindowTest, MatrixLoadReadsTheFactorAndTheChosenSize) {
  form->Edit1->setText("10");
  form->RadioGroup1->setItemIndex(1);
  form->RadioGroup1Click();
  EXPECT_EQ(form->StringGrid1->geometry(), QRect(302, 89, 163, 160));
  form->RadioGroup2->setItemIndex(1);
  form->Button7->click();
  EXPECT_EQ(log(), QStringList{"Se ha cargado la Matriz B"});
  EXPECT_EQ(ws.TamanoMatriz(), 5);
  EXPECT_EQ(form->StringGrid1->cell(0, 0), "20");
  // An empty box at the moment of the load counts as 0.
  form->Edit1->setText("");
  form->Button7->click();
  EXPECT_EQ(form->StringGrid1->cell(0, 0), "0");
}

TEST_F(MainWindowTest, CubicFilterChoiceDisablesTheWindowOptions) {
  form->CheckBox1->setChecked(true);
  form->RadioGroup3->setItemIndex(3);
  form->RadioGroup3Click();
  EXPECT_FALSE(form->CheckBox1->isEnabled() || form->ComboBox1->isEnabled());
  EXPECT_TRUE(form->CheckBox1->isChecked());
  form->RadioGroup3->setItemIndex(1);
  form->RadioGroup3Click();
  EXPECT_TRUE(form->CheckBox1->isEnabled() && form->ComboBox1->isEnabled());
}

}  // namespace
}  // namespace morvane
