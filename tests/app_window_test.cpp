// The main window driven through its real handlers and widgets.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include "app/main_window.h"
#include "support/fake_dialogs.h"
#include "tests/support/application.h"
#include "tests/support/child.h"
#include "tests/support/morphology_oracle.h"
#include "tests/support/picture_files.h"
#include "tests/support/restoration_oracle.h"
#include "toolkit/picture_view.h"
#include "toolkit/progress_bar.h"

namespace morvane {
namespace {

using oracle::Niveles;

QImage grayPicture(int width, int height, int seed) {
  QImage image(width, height, QImage::Format_Grayscale8);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.scanLine(y)[x] = (x * 89 + y * 167 + x * y * 31 + seed) % 256;
  return image;
}

// The levels of a picture, row by row, as Niveles gives a plane's.
std::vector<int> redLevels(const QImage& image) {
  std::vector<int> levels;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) levels.push_back(qRed(image.pixel(x, y)));
  return levels;
}

// The real window, noting after each thing a command tells it what its widgets
// then show: the title, the log, a drawn row, the bar, whether the view is up.
class NotingWindow : public VentanaPrincipal {
 public:
  using VentanaPrincipal::VentanaPrincipal;
  void setTitle(const char* text) override {
    VentanaPrincipal::setTitle(text), note("title", child<QLabel>(this, "titleLabel")->text());
  }
  void clear() override { VentanaPrincipal::clear(), noteLog(); }
  void append(const char* line) override { VentanaPrincipal::append(line), noteLog(); }
  void drawRow(int y, const std::uint8_t* levels, int x0, int x1) override {
    VentanaPrincipal::drawRow(y, levels, x0, x1), note("row", QString::number(y));
  }
  void stepProgress() override { VentanaPrincipal::stepProgress(), noteBar(); }
  void resetProgress() override { VentanaPrincipal::resetProgress(), noteBar(); }
  void showView() override {
    VentanaPrincipal::showView(),
        note("view", child<PictureView>(this, "imagenFinalView")->isHidden() ? "hidden" : "shown");
  }

  QStringList seen;

 private:
  void note(const char* what, const QString& shown) { seen.append(what + (" " + shown)); }
  void noteLog() { note("log", child<Memo>(this, "logMemo")->lines().join('|')); }
  void noteBar() {
    note("bar", QString::number(child<ProgressBar>(this, "progressBar")->position()));
  }
};

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    form = std::make_unique<NotingWindow>(ws);
  }

  QString write(const QString& name, const QImage& image, const char* format = "BMP") {
    EXPECT_TRUE(image.save(dir.filePath(name), format));
    return dir.filePath(name);
  }

  void open(const QString& path) {
    dialogs.openAnswers.push_back(path);
    the("abrirImagenButton")->click();
  }

  // A control of the window by its object name; a button unless told otherwise.
  template <class T = QPushButton>
  T* the(const char* name) const {
    return child<T>(*form, name);
  }

  QStringList log() const { return the<Memo>("logMemo")->lines(); }
  bool noPicture() const {
    return !ws.ImagenCargada && !ws.ImagenInicial.exists() && !ws.Auxiliar1.exists() &&
           ws.Alto == 0 &&
           the<QLabel>("sinImagenLabel")->text() == "No hay ninguna imagen seleccionada";
  }

  QTemporaryDir dir;
  FakeDialogs dialogs;
  Workspace ws;
  std::unique_ptr<NotingWindow> form;
};

TEST_F(MainWindowTest, StartsInNormalModeAndModeSwitchesSetOrClearTheFlagsOnce) {
  EXPECT_TRUE(ws.Umbral == 50 && ws.TamanoElegido == 3 && the("imagenInicialButton")->isHidden());
  QAction* const normal = the<QAction>("normalAction");
  QAction* const avanzado = the<QAction>("avanzadoAction");
  const struct {
    QAction* mode;
    bool before, after;
  } steps[] = {{nullptr, false, false}, {avanzado, false, true}, {normal, true, false},
               {normal, true, true},    {avanzado, true, true},  {avanzado, false, false}};
  for (const auto& step : steps) {
    ws.NegrosDetectados = ws.BlancosDetectados = step.before;
    if (step.mode) step.mode->trigger();
    const bool advanced = step.mode == avanzado;
    SCOPED_TRACE(advanced);
    EXPECT_TRUE(avanzado->isChecked() == advanced && normal->isChecked() != advanced);
    EXPECT_EQ(the<QFrame>("avanzadoPanel")->isHidden(), !advanced);
    EXPECT_TRUE(the<QAction>("dilatacionAction")->isEnabled() == advanced &&
                the<QAction>("finalMenosInicialAction")->isEnabled() == advanced);
    EXPECT_TRUE(ws.NegrosDetectados == step.after && ws.BlancosDetectados == step.after);
  }
}

TEST_F(MainWindowTest, OpeningFillsBothPlanesAndRefusesASecondPicture) {
  const QImage picture = grayPicture(23, 17, 5);
  open(write("gray.bmp", picture));
  ASSERT_TRUE(ws.ImagenCargada && ws.Alto == 17 && ws.Ancho == 23);
  EXPECT_TRUE(the<QLabel>("sinImagenLabel")->text().isEmpty() &&
              the<ProgressBar>("progressBar")->maximum() == 17);
  EXPECT_EQ(log(), (QStringList{"Cargando Matriz", "Reservando memoria"}));
  EXPECT_EQ(Niveles(ws.ImagenInicial), redLevels(picture));
  EXPECT_EQ(Niveles(ws.ImagenFinal), redLevels(picture));
  for (const Plane* band : {&ws.Auxiliar1, &ws.Auxiliar2})
    EXPECT_EQ(Niveles(*band), std::vector<int>(17 * 23, 0));

  // A second open is refused before any dialog is shown.
  dialogs.openAnswers.push_back(dir.filePath("gray.bmp"));
  the<QAction>("abrirAction")->trigger();
  EXPECT_EQ(dialogs.messages, QStringList{"Hay una imagen cargada"});
  EXPECT_EQ(dialogs.openAnswers.size(), 1u);
  EXPECT_EQ(log().size(), 2);
}

// Each refusal clears the log first, or shows a message; nothing is drawn.
TEST_F(MainWindowTest, CommandsWithoutAPictureRefuse) {
  dialogs.openAnswers.push_back(std::nullopt);
  the("abrirImagenButton")->click();
  EXPECT_TRUE(noPicture());
  const struct {
    const char* control;
    QStringList log, messages;
  } cases[] = {
      {"puntosNegrosAction", {"No has seleccionado una imagen"}, {}},
      {"restaurarAction", {"Realice la detección de negros o blancos primero"}, {}},
      {"restauracionAutomaticaButton", {"Abrir una imagen primero"}, {}},
      {"guardarImagenButton", {"antes"}, {"No hay imagen para guardar"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.control);
    dialogs.messages.clear(), form->clear(), form->append("antes");
    if (QAction* action = form->findChild<QAction*>(c.control)) action->trigger();
    if (QPushButton* button = form->findChild<QPushButton*>(c.control)) button->click();
    EXPECT_EQ(log(), c.log);
    EXPECT_EQ(dialogs.messages, c.messages);
    EXPECT_TRUE(the<QLabel>("titleLabel")->text().isEmpty() && !form->hasUnsavedResult());
  }
  EXPECT_EQ(dialogs.saveCount, 0);
}

TEST_F(MainWindowTest, BorrarFreesThePicturesButKeepsDetectionFlagsAndMatrix) {
  form->append("kept");
  the("borrarButton")->click();  // nothing open: not even the log is cleared
  EXPECT_EQ(log(), QStringList{"kept"});

  open(write("a.bmp", grayPicture(12, 10, 0)));
  the("cargarMatrizButton")->click();  // zeros 3 x 3
  // Each detection leaves its own flag set and the other one cleared, whatever
  // the flags were (as the Avanzado mode leaves them).
  for (auto [button, black] :
       {std::pair{the("puntosBlancosButton"), false}, {the("puntosNegrosButton"), true}}) {
    ws.NegrosDetectados = ws.BlancosDetectados = true;
    button->click();
    EXPECT_TRUE(ws.NegrosDetectados == black && ws.BlancosDetectados == !black) << black;
  }
  the("copiarFinalEnInicialButton")->click();
  ASSERT_TRUE(ws.MatrizCargada && ws.NegrosDetectados && !the("imagenInicialButton")->isHidden());

  the("borrarButton")->click();
  EXPECT_TRUE(noPicture() && ws.NegrosDetectados && log().isEmpty() &&
              the<QLabel>("titleLabel")->text() == "");
  EXPECT_FALSE(ws.MatrizCargada || ws.ImagenFinal.exists() || ws.Ancho);
  EXPECT_TRUE(the<PictureView>("imagenInicialView")->isHidden() &&
              the<PictureView>("imagenFinalView")->isHidden() &&
              the("imagenInicialButton")->isHidden());
  EXPECT_EQ(ws.TamanoMatriz(), 3);  // the matrix itself stays

  // After a new open the matrix must be loaded again.
  open(dir.filePath("a.bmp"));
  the("puntosBlancosButton")->click();
  EXPECT_EQ(log(), QStringList{"No se ha cargado la Matriz B"});
}

// A command's result as the right view shows it is what Guardar writes; "<<"
// copies it back over the input, and "Imagen Inicial" reads the file again,
// known by its content (a PNG named .bmp).
TEST_F(MainWindowTest, SaveCopyBackAndInitialPictureFollowTheResult) {
  const QImage original = grayPicture(8, 5, 9);
  open(write("orig.bmp", original, "PNG"));
  std::vector<int> result;
  for (int y = 0; y < 5; ++y) {
    std::uint8_t row[8];
    for (int x = 0; x < 8; ++x) result.push_back(row[x] = 200 - x - y);
    form->drawRow(y, row, 0, 8);  // on the view only, as a command draws
  }
  dialogs.saveAnswers.push_back(dir.filePath("out.bmp"));
  the<QAction>("guardarAction")->trigger();
  Picture saved;
  saved.load(dir.filePath("out.bmp"));
  ASSERT_TRUE(dialogs.messages.isEmpty() && saved.bitsPerPixel() == 8);
  EXPECT_EQ(levels(saved), result);

  for (int k = 0; k < 40; ++k) ws.ImagenFinal[k / 8][k % 8] = result[k];
  the("copiarFinalEnInicialButton")->click();
  EXPECT_TRUE(!the("imagenInicialButton")->isHidden() &&
              the<ProgressBar>("progressBar")->position() == 0);
  EXPECT_EQ(Niveles(ws.ImagenInicial), result);
  the("imagenInicialButton")->click();
  EXPECT_TRUE(the("imagenInicialButton")->isHidden());
  EXPECT_EQ(Niveles(ws.ImagenInicial), redLevels(original));
  EXPECT_EQ(Niveles(ws.ImagenFinal), result);  // the result stays

  // A file that now has another size, or is gone, changes nothing.
  the("copiarFinalEnInicialButton")->click();
  ASSERT_TRUE(grayPicture(30, 30, 7).save(dir.filePath("orig.bmp"), "BMP"));
  the("imagenInicialButton")->click();
  ASSERT_TRUE(QFile::remove(dir.filePath("orig.bmp")));
  the("imagenInicialButton")->click();
  ASSERT_EQ(dialogs.messages.size(), 2);
  EXPECT_TRUE(dialogs.messages[1].contains("orig.bmp") && !the("imagenInicialButton")->isHidden());
  EXPECT_EQ(Niveles(ws.ImagenInicial), result);
  EXPECT_EQ(the<PictureView>("imagenInicialView")->picture().width(), 8);
}

TEST_F(MainWindowTest, DoubleClickOnAViewOpensItsImageWindow) {
  QWidget *const inicial = form->ventanas().imagenInicial, *const final =
                                                               form->ventanas().imagenFinal;
  for (bool opened : {false, true}) {
    if (opened) open(write("w.bmp", grayPicture(6, 5, 2)));
    for (auto [name, window] :
         {std::pair{"imagenInicialView", inicial}, {"imagenFinalView", final}}) {
      SCOPED_TRACE(name);
      inicial->hide(), final->hide(), form->append("before");
      QMouseEvent event(QEvent::MouseButtonDblClick, QPointF(3, 3),
                        the<PictureView>(name)->mapToGlobal(QPointF(3, 3)), Qt::LeftButton,
                        Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(the<PictureView>(name), &event);
      EXPECT_EQ(log().last(), opened ? "before" : "Abrir una imagen primero");
      EXPECT_EQ(log().size() == 1, !opened);
      EXPECT_EQ(window->isHidden(), !opened);
      EXPECT_EQ(inicial->isHidden() + final->isHidden(), opened ? 1 : 2);
    }
  }
}

// The user sees, in order, the title, the log cleared and the command's lines,
// each row drawn with the bar following it, the bar back at 0, the view shown.
TEST_F(MainWindowTest, AdvancedCommandsLeaveTheKernelsResultAndShowItInOrder) {
  constexpr int alto = 11, ancho = 13;
  open(write("adv.bmp", grayPicture(ancho, alto, 0)));
  the<Edit>("factorNEdit")->setText("9");
  the<RadioGroup>("tamanoMatrizGroup")->setItemIndex(1);  // 5 x 5
  form->onTamanoMatrizChanged();
  the<RadioGroup>("tipoMatrizGroup")->setItemIndex(1);  // pyramidal
  the("cargarMatrizButton")->click();
  EXPECT_EQ(log(), QStringList{"Se ha cargado la Matriz B"});
  ASSERT_TRUE(ws.TamanoMatriz() == 5 && the<StringGrid>("matrizGrid")->cell(0, 0) == "18");
  the<QAction>("avanzadoAction")->trigger();
  ws.Auxiliar1.fill(33);  // a band of its own, which Dilatacion shows

  // The first kernel goes from ImagenInicial to Auxiliar1, the second from
  // there (or from ImagenInicial when there is no first) to ImagenFinal; with
  // no second, ImagenFinal is a copy of Auxiliar1.
  using Kernel = void (*)(const Plane&, const MatrizB&, Plane&, int, int);
  const Kernel D = oracle::DilatarLiteral, E = oracle::ErosionarLiteral;
  const struct {
    QPushButton* button;
    const char* title;
    QStringList lines;    // logged before the painting
    const char* closing;  // logged once the view is shown
    Kernel first, second;
  } commands[] = {
      {the("dilatacionButton"), "Dilatación", {}, "Dilatacion Realizada", D, nullptr},
      {the("erosionButton"), "Erosión", {"Realizando Erosión"}, nullptr, nullptr, E},
      {the("cierreButton"), "Cierre", {"1-Dilatacion", "2-Erosion"}, nullptr, D, E},
      {the("aperturaButton"), "Apertura", {"1-Erosion", "2-Dilatacion"}, nullptr, E, D}};
  for (const auto& command : commands) {
    SCOPED_TRACE(command.title);
    Plane auxiliar(alto, ancho), final(alto, ancho);
    CopiarPlano(ws.Auxiliar1, auxiliar), CopiarPlano(ws.ImagenFinal, final);
    if (command.first) command.first(ws.ImagenInicial, ws.Matriz, auxiliar, alto, ancho);
    if (!command.second) CopiarPlano(auxiliar, final);
    if (command.second) {
      command.second(command.first ? auxiliar : ws.ImagenInicial, ws.Matriz, final, alto, ancho);
    }
    the<PictureView>("imagenFinalView")->hide(), form->seen.clear();
    command.button->click();

    QStringList expected = {QString("title ") + command.title, "log "}, logged;
    for (const QString& line : command.lines) expected.append("log " + (logged << line).join('|'));
    for (int y = 0; y < alto; ++y)
      expected << QString("row %1").arg(y) << QString("bar %1").arg(y + 1);
    expected.append({"bar 0", "view shown"});
    if (command.closing) expected.append(QString("log ") + command.closing);
    EXPECT_EQ(form->seen, expected);
    EXPECT_EQ(Niveles(ws.ImagenFinal), Niveles(final));
    EXPECT_EQ(Niveles(ws.Auxiliar1), Niveles(auxiliar));
    EXPECT_EQ(levels(the<PictureView>("imagenFinalView")->picture()), Niveles(final));
  }
}

TEST_F(MainWindowTest, NumberBoxesJudgeEveryText) {
  Edit* const umbral = the<Edit>("umbralEdit");
  Edit* const factor = the<Edit>("factorNEdit");
  const struct {
    Edit* box;
    std::int32_t* value;
    const char *typed, *shown, *message;
    std::int32_t expected;
  } cases[] = {
      {umbral, &ws.Umbral, "255", "255", nullptr, 255},
      {umbral, &ws.Umbral, "256", "", "El valor tiene que ser menor de 255", 0},
      {umbral, &ws.Umbral, "-5", "-5", nullptr, -5},
      {umbral, &ws.Umbral, "abc", "0", "Valor incorrecto", 0},
      {umbral, &ws.Umbral, "-", "0", "Valor incorrecto", 0},
      {factor, &ws.FactorN, "-", "0", "Valor incorrecto", 0},
      {factor, &ws.FactorN, "-7", "-7", nullptr, -7},
      {factor, &ws.FactorN, "", "", nullptr, 0},
  };
  for (const auto& c : cases) {
    *c.value = 99;
    dialogs.messages.clear();
    c.box->setText(QString::fromUtf8(c.typed));
    EXPECT_EQ(*c.value, c.expected) << c.typed;
    EXPECT_EQ(c.box->text(), c.shown) << c.typed;
    EXPECT_EQ(dialogs.messages, c.message ? QStringList{c.message} : QStringList{}) << c.typed;
  }
  // Leaving an empty box fills it with 0.
  form->onFactorNExited();
  umbral->setText("");
  form->onUmbralExited();
  EXPECT_EQ(factor->text() + umbral->text(), "00");
}

TEST_F(MainWindowTest, MatrixLoadAndFilterChoiceReadTheControls) {
  the<RadioGroup>("tipoMatrizGroup")->setItemIndex(1);
  the<Edit>("factorNEdit")->setText("");  // an empty box at the moment of the load counts as 0
  the("cargarMatrizButton")->click();
  EXPECT_EQ(the<StringGrid>("matrizGrid")->cell(0, 0), "0");

  // The cubic filter takes no window: its options are disabled, not changed.
  auto* const incluir = the<QCheckBox>("incluirDanadosCheck");
  incluir->setChecked(true);
  the<RadioGroup>("filtroGroup")->button(3)->click();
  EXPECT_TRUE(!incluir->isEnabled() && incluir->isChecked());
}

}  // namespace
}  // namespace morvane
