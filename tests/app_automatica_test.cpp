// "Restauración Automática" through the real window and through morvane-lote.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <random>
#include <sstream>
#include <tuple>

#include "app/main_window.h"
#include "batch/lote.h"
#include "support/fake_dialogs.h"
#include "tests/support/application.h"
#include "tests/support/child.h"
#include "tests/support/picture_files.h"
#include "tests/support/restoration_oracle.h"
#include "toolkit/picture_view.h"
#include "toolkit/progress_bar.h"

namespace morvane {
namespace {

std::vector<int> ViewLevels(VentanaPrincipal& form) {
  return levels(child<PictureView>(form, "imagenFinalView")->picture());
}

// A gray gradient with black, white and random impulses; levels: gray palette
// entries, 0 for a 24-bit colour picture read through its red channel.
QImage NoisyPicture(int width, int height, int levels, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> percent(0, 99), level(0, 255);
  return levelPicture(width, height, levels, [&](int x, int y) {
    const int p = percent(random);
    return p < 8 ? 0 : p < 16 ? 255 : p < 20 ? level(random) : 30 + (x * 3 + y * 2) % 190;
  });
}

// What the other commands read of the workspace.
auto EstadoDe(const Workspace& ws) {
  return std::tuple(ws.NegrosDetectados, ws.BlancosDetectados, ws.MatrizCargada, ws.Umbral,
                    ws.TamanoElegido, ws.FactorN, ws.Matriz.weights);
}

class AutomaticaTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }

  QString write(const QString& name, const QImage& image) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(image.save(path, "BMP"));
    return path;
  }
  void open(VentanaPrincipal& form, const QString& path) {
    dialogs.openAnswers.push_back(path);
    click(form, "abrirImagenButton");
  }
  static void click(VentanaPrincipal& form, const char* button) {
    child<QPushButton>(form, button)->click();
  }
  static QStringList log(VentanaPrincipal& form) { return child<Memo>(form, "logMemo")->lines(); }

  FakeDialogs dialogs;
  QTemporaryDir dir;
};

// Two black points, one of them a corner, and a white one in a flat picture;
// "<<" and a second pass then find nothing left to restore.
TEST_F(AutomaticaTest, FlatPictureRestoredExactlyBorderIncluded) {
  QImage image(25, 20, QImage::Format_RGB32);
  image.fill(qRgb(120, 120, 120));
  image.setPixel(9, 7, qRgb(0, 0, 0));
  image.setPixel(4, 12, qRgb(255, 255, 255));
  image.setPixel(0, 0, qRgb(0, 0, 0));
  const QString input = write("plana.bmp", image);
  const std::vector<int> flat(20 * 25, 120);
  for (bool menu : {false, true}) {
    SCOPED_TRACE(menu ? "menu" : "button");
    Workspace ws;
    VentanaPrincipal form(ws);
    open(form, input);
    const std::vector<int> initial = oracle::Niveles(ws.ImagenInicial);
    if (menu)
      child<QAction>(form, "restauracionAutomaticaAction")->trigger();
    else
      click(form, "restauracionAutomaticaButton");
    EXPECT_EQ(oracle::Niveles(ws.ImagenFinal), flat);
    EXPECT_EQ(ViewLevels(form), flat);
    EXPECT_EQ(oracle::Niveles(ws.ImagenInicial), initial);
    EXPECT_EQ(log(form), (QStringList{"Restauración automática", "Puntos dañados: 3 (0,60 %)",
                                      "Restauración automática Realizada"}));
    EXPECT_EQ(child<QLabel>(form, "titleLabel")->text(), "Automática");
    EXPECT_EQ(child<QLabel>(form, "proporcionDanadosLabel")->text(), "0,60 % (3 puntos)");
    EXPECT_EQ(child<ProgressBar>(form, "progressBar")->position(), 0);
    EXPECT_TRUE(form.hasUnsavedResult());
    click(form, "copiarFinalEnInicialButton");
    click(form, "restauracionAutomaticaButton");
    EXPECT_EQ(oracle::Niveles(ws.ImagenFinal), flat);
    EXPECT_EQ(log(form)[1], "Puntos dañados: 0 (0,00 %)");
  }
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join('|').toStdString();
}

// The detection flags, Umbral and matrix B are kept, in both modes; a detection
// and Restaurar run after it give what they give without it.
TEST_F(AutomaticaTest, OtherCommandsFindTheWorkspaceAsTheyLeftIt) {
  const QString input = write("ruido.bmp", NoisyPicture(40, 30, 256, 7));
  for (bool avanzado : {false, true}) {
    SCOPED_TRACE(avanzado ? "Avanzado" : "Normal");
    std::vector<int> finals[2], views[2];
    QStringList logs[2];
    for (int withAutomatic : {0, 1}) {
      Workspace ws;
      VentanaPrincipal form(ws);
      open(form, input);
      child<Edit>(form, "umbralEdit")->setText("37");
      child<RadioGroup>(form, "tipoMatrizGroup")->button(1)->click();  // "Piramidal"
      child<Edit>(form, "factorNEdit")->setText("4");
      click(form, "cargarMatrizButton");
      click(form, "puntosNegrosButton");
      if (avanzado) child<QAction>(form, "avanzadoAction")->trigger();
      const auto antes = EstadoDe(ws);
      if (withAutomatic) click(form, "restauracionAutomaticaButton");
      EXPECT_TRUE(EstadoDe(ws) == antes);
      for (const char* detection : {"puntosBlancosButton", "puntosNegrosButton"}) {
        click(form, detection);
        click(form, "restaurarButton");
        logs[withAutomatic] += log(form);
      }
      logs[withAutomatic] += child<QLabel>(form, "titleLabel")->text();
      finals[withAutomatic] = oracle::Niveles(ws.ImagenFinal);
      views[withAutomatic] = ViewLevels(form);
    }
    EXPECT_EQ(finals[0], finals[1]);
    EXPECT_EQ(views[0], views[1]);
    EXPECT_EQ(logs[0], logs[1]);
  }
}

// The batch program's exit status and error text.
std::pair<int, std::string> RunBatch(const std::vector<std::string>& args) {
  std::istringstream in;
  std::ostringstream out, err;
  EntornoLote env(in, out, err);
  return {EjecutarLote(args, env), err.str()};
}

// Full gray palette, colour read through red, short palette, a picture split
// over threads; the report gives the points the window found and changed.
TEST_F(AutomaticaTest, BatchSavesTheWindowsLevelsAndReportsItsCounts) {
  const QString pictures[] = {write("gris.bmp", NoisyPicture(61, 47, 256, 1)),
                              write("color.bmp", NoisyPicture(53, 40, 0, 2)),
                              write("paleta.bmp", NoisyPicture(50, 44, 16, 3)),
                              write("grande.bmp", NoisyPicture(400, 300, 256, 4))};
  const QString out = dir.filePath("lote"), csv = dir.filePath("informe.csv");
  std::vector<std::string> args{
      "--automatica", "-q", "-j", "2", "-o", out.toStdString(), "--informe", csv.toStdString()};
  for (const QString& p : pictures) args.push_back(p.toStdString());
  const auto [status, err] = RunBatch(args);
  ASSERT_EQ(status, 0) << err;
  const QStringList rows = QString::fromUtf8(fileBytes(csv)).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(rows.size(), 1 + 4);
  for (const QString& picture : pictures) {
    const QString name = QFileInfo(picture).fileName();
    SCOPED_TRACE(name.toStdString());
    Workspace ws;
    VentanaPrincipal form(ws);
    open(form, picture);
    click(form, "restauracionAutomaticaButton");
    long long changed = 0;
    for (int y = 0; y < ws.Alto; ++y)
      for (int x = 0; x < ws.Ancho; ++x) changed += ws.ImagenFinal[y][x] != ws.ImagenInicial[y][x];
    const QString windowFile = dir.filePath("ventana-" + name);
    dialogs.saveAnswers.push_back(windowFile);
    click(form, "guardarImagenButton");
    const QByteArray expected = fileBytes(windowFile);
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_TRUE(fileBytes(out + "/" + name) == expected);
    // "Puntos dañados: N (P %)"
    const QString damaged = log(form)[1].section(' ', 2, 2);
    EXPECT_EQ(
        rows.filter(picture + ",").join('\n'),
        QString("%1,%2/%3,1,automatica,%4,%5,").arg(picture, out, name, damaged).arg(changed) +
            rows.filter(picture + ",").value(0).section(',', 6, 6) + ",restaurada,--automatica");
  }
}

TEST_F(AutomaticaTest, BatchRefusesTheRecipesOptionsBesideIt) {
  const QString input = write("a.bmp", NoisyPicture(10, 10, 256, 5));
  for (const char* option :
       {"--matriz 5", "--tipo piramidal", "--n 3", "--celdas 1,2,3;4,5,6;7,8,9", "--umbral 40",
        "--filtro mediana", "--tamano 5", "--incluir-danados", "--pasos negros"}) {
    SCOPED_TRACE(option);
    std::vector<std::string> args = {"--automatica"};
    for (const QString& word : QString(option).split(' ')) args.push_back(word.toStdString());
    args.push_back(input.toStdString());
    const auto [status, err] = RunBatch(args);
    EXPECT_EQ(status, 2);
    EXPECT_NE(err.find(args[1] + " no vale con --automatica"), std::string::npos) << err;
  }
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("a_restaurada.bmp")));
}

}  // namespace
}  // namespace morvane
