// morvane-lote against the window: the same recipe driven through the window's
// handlers and through the batch program must save the same bytes, and the
// report must count what the planes show. Then the batch program's refusals
// and failures, in process and, where signals matter, as the real binary.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <random>
#include <sstream>

#include "app/main_window.h"
#include "batch/lote.h"
#include "support/fake_dialogs.h"

namespace morvane {
namespace {

// A picture with impulse noise: a smooth ramp, some points pushed to near
// black and some to near white. levels is the number of gray palette entries
// (0 for a 24-bit picture whose red channel differs from green and blue).
QImage NoisyPicture(int width, int height, int levels, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> percent(0, 99);
  std::uniform_int_distribution<int> jitter(0, 20);
  QImage image;
  if (levels > 0) {
    image = QImage(width, height, QImage::Format_Indexed8);
    QList<QRgb> palette;
    for (int i = 0; i < levels; ++i) {
      const int g = i * 255 / (levels - 1);
      palette.append(qRgb(g, g, g));
    }
    image.setColorTable(palette);
  } else {
    image = QImage(width, height, QImage::Format_RGB32);
  }
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      int g = 40 + (x * 3 + y * 2) % 170;
      const int p = percent(random);
      if (p < 4) g = jitter(random);
      if (p >= 96) g = 255 - jitter(random);
      if (levels > 0)
        image.setPixel(x, y, static_cast<uint>(g * (levels - 1) / 255));
      else
        image.setPixel(x, y, qRgb(g, (g * 7) % 256, 255 - g));
    }
  return image;
}

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A recipe as the window's controls hold it, and the same as options.
struct Recipe {
  const char* name;
  int sizeItem;  // RadioGroup1: 0 "3 X 3" .. 3 "9 X 9"
  int kindItem;  // RadioGroup2: 0 "0's", 1 "Piramidal", 2 "Personalizada"
  const char* factor;
  std::vector<std::vector<std::string>> cells;
  const char* umbral;
  int filterItem;  // RadioGroup3
  int windowItem;  // ComboBox1
  bool includeDamaged;
  std::string steps;  // 'n' Puntos Negros, 'b' Puntos Blancos

  std::vector<std::string> args() const {
    static const char* sizes[] = {"3", "5", "7", "9"};
    static const char* kinds[] = {"ceros", "piramidal", "personalizada"};
    static const char* filters[] = {"media", "mediana", "conservativo", "cubico"};
    std::vector<std::string> a{"--matriz",          sizes[sizeItem], "--tipo",
                               kinds[kindItem],     "--n",           factor,
                               "--umbral",          umbral,          "--filtro",
                               filters[filterItem], "--tamano",      windowItem ? "5" : "3"};
    if (includeDamaged) a.push_back("--incluir-danados");
    if (!cells.empty()) {
      std::string text;
      for (const auto& row : cells) {
        if (!text.empty()) text += ";";
        for (std::size_t k = 0; k < row.size(); ++k) text += (k ? "," : "") + row[k];
      }
      a.insert(a.end(), {"--celdas", text});
    }
    std::string pasos;
    for (char s : steps)
      pasos += std::string(pasos.empty() ? "" : ",") + (s == 'n' ? "negros" : "blancos");
    a.insert(a.end(), {"--pasos", pasos});
    return a;
  }
};

std::vector<std::vector<std::string>> Cells(int n, const std::vector<int>& values) {
  std::vector<std::vector<std::string>> cells(static_cast<std::size_t>(n));
  for (int i = 0; i < n * n; ++i)
    cells[static_cast<std::size_t>(i / n)].push_back(
        std::to_string(values[static_cast<std::size_t>(i) % values.size()]));
  return cells;
}

// What the window's planes showed at each step: levels above the threshold
// after the detection, levels the restoration changed.
struct StepCounts {
  long long above = 0;
  long long changed = 0;
};

struct Outcome {
  int status = -1;
  std::string err;
};

Outcome RunBatch(std::vector<std::string> args, const std::string& stdinText = {},
                 std::optional<std::uint64_t> memory = {}) {
  std::istringstream in(stdinText);
  std::ostringstream out, err;
  EntornoLote env(in, out, err);
  env.memoriaDisponible = memory;
  Outcome run;
  run.status = EjecutarLote(args, env);
  run.err = err.str();
  return run;
}

class BatchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "batch_test";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  }

  void SetUp() override { ASSERT_TRUE(dir.isValid()); }

  QString path(const QString& name) const { return dir.filePath(name); }
  std::string spath(const QString& name) const { return path(name).toStdString(); }

  QString write(const QString& name, const QImage& image) {
    EXPECT_TRUE(image.save(path(name), "BMP"));
    return path(name);
  }

  // The recipe through the window's handlers, saved with "Guardar Imagen".
  std::vector<StepCounts> runWindow(const Recipe& r, const QString& input, const QString& output) {
    FakeDialogs dialogs;
    Workspace ws;
    TForm1 form(ws);
    dialogs.openAnswers.push_back(input);
    form.Button1->click();
    form.RadioGroup1->button(r.sizeItem)->click();
    form.RadioGroup2->button(r.kindItem)->click();
    form.Edit1->setText(QString::fromUtf8(r.factor));
    for (std::size_t row = 0; row < r.cells.size(); ++row)
      for (std::size_t col = 0; col < r.cells[row].size(); ++col)
        form.StringGrid1->setCell(static_cast<int>(col), static_cast<int>(row),
                                  QString::fromStdString(r.cells[row][col]));
    form.Button7->click();
    form.Edit2->setText(QString::fromUtf8(r.umbral));
    form.RadioGroup3->button(r.filterItem)->click();
    form.ComboBox1->setCurrentIndex(r.windowItem);
    form.CheckBox1->setChecked(r.includeDamaged);
    std::vector<StepCounts> counts;
    for (std::size_t i = 0; i < r.steps.size(); ++i) {
      if (i > 0) form.Button11->click();
      (r.steps[i] == 'n' ? form.Button8 : form.Button9)->click();
      StepCounts c;
      for (int y = 0; y < ws.Alto; ++y)
        for (int x = 0; x < ws.Ancho; ++x) c.above += ws.ImagenFinal[y][x] > ws.Umbral;
      form.Button13->click();
      for (int y = 0; y < ws.Alto; ++y)
        for (int x = 0; x < ws.Ancho; ++x)
          c.changed += ws.ImagenFinal[y][x] != ws.ImagenInicial[y][x];
      counts.push_back(c);
    }
    dialogs.saveAnswers.push_back(output);
    form.Button15->click();
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("|").toStdString();
    return counts;
  }

  QTemporaryDir dir;
};

std::vector<std::vector<std::string>> ReadCsv(const QString& path) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(Bytes(path).toStdString());
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream fs(line);
    std::string f;
    while (std::getline(fs, f, ',')) fields.push_back(f);
    rows.push_back(fields);
  }
  return rows;
}

TEST_F(BatchTest, SavesExactlyTheWindowsLevelsAndReportsThePlanesCounts) {
  // A full gray palette, a colour picture read through red, a palette too
  // short for most levels (rows take the nearest entry, "<<" copies entries),
  // and one large enough for the window's kernels to split over threads.
  const std::vector<std::pair<QString, QImage>> pictures{
      {"gris.bmp", NoisyPicture(61, 47, 256, 1)},
      {"color.bmp", NoisyPicture(53, 40, 0, 2)},
      {"paleta.bmp", NoisyPicture(50, 44, 16, 3)},
      {"grande.bmp", NoisyPicture(720, 380, 256, 4)},
  };
  for (const auto& [name, image] : pictures) write(name, image);

  const std::vector<Recipe> recipes{
      {"ceros-media", 0, 0, "0", {}, "50", 0, 0, false, "nb"},
      {"piramide-mediana", 1, 1, "7", {}, "40", 1, 1, true, "bn"},
      {"celdas-conservativo", 0, 2, "0", Cells(3, {300, -1, 0, 5, 0, 7, -20, 999, 2}), "30", 2, 0,
       false, "n"},
      {"piramide-cubico", 2, 1, "-3", {}, "60", 3, 0, false, "nbn"},
      {"ceros9-media5", 3, 0, "0", {}, "25", 0, 1, true, "b"},
      {"celdas5-cubico", 1, 2, "0", Cells(5, {256, -300, 3, 0, 1, 70000, 2}), "45", 3, 0, false,
       "bn"},
  };
  for (const Recipe& r : recipes) {
    SCOPED_TRACE(r.name);
    const QString out = path(QString("lote-") + r.name);
    const QString csv = out + ".csv";
    std::vector<std::string> args = r.args();
    args.insert(args.end(),
                {"-j", "2", "-q", "-o", out.toStdString(), "--informe", csv.toStdString()});
    for (const auto& [name, image] : pictures) {
      // The cubic filter on the large picture adds time and no new road.
      if (r.filterItem == 3 && name == "grande.bmp") continue;
      args.push_back(spath(name));
    }
    const Outcome batch = RunBatch(args);
    ASSERT_EQ(batch.status, 0) << batch.err;
    const auto rows = ReadCsv(csv);

    for (const auto& [name, image] : pictures) {
      if (r.filterItem == 3 && name == "grande.bmp") continue;
      SCOPED_TRACE(name.toStdString());
      const QString windowFile = path(QString("ventana-") + r.name + "-" + name);
      const std::vector<StepCounts> counts = runWindow(r, path(name), windowFile);
      const QByteArray expected = Bytes(windowFile);
      ASSERT_FALSE(expected.isEmpty());
      EXPECT_TRUE(Bytes(out + "/" + name) == expected);

      std::size_t step = 0;
      for (const auto& row : rows) {
        if (row.empty() || row[0] != spath(name)) continue;
        ASSERT_EQ(row.size(), 8u);
        ASSERT_LT(step, counts.size());
        EXPECT_EQ(row[2], std::to_string(step + 1));
        EXPECT_EQ(row[3], r.steps[step] == 'n' ? "negros" : "blancos");
        EXPECT_EQ(row[4], std::to_string(counts[step].above));
        EXPECT_EQ(row[5], std::to_string(counts[step].changed));
        EXPECT_EQ(row[7], "restaurada");
        ++step;
      }
      EXPECT_EQ(step, counts.size());
    }
  }
}

TEST_F(BatchTest, AWrongOptionNamesItsAcceptedValuesAndTouchesNoFile) {
  const std::string in = write("in.bmp", NoisyPicture(20, 20, 256, 5)).toStdString();
  const std::string out = spath("out");
  const struct {
    std::vector<std::string> args;
    const char* said;
  } cases[] = {
      {{"--matriz", "4"}, "--matriz: «4»; valores admitidos: 3, 5, 7, 9"},
      {{"--tipo=cruz"}, "--tipo: «cruz»; valores admitidos: ceros, piramidal, personalizada"},
      {{"--n", "1e3"}, "--n: «1e3»"},
      {{"--umbral", "256"}, "--umbral: «256»; valores admitidos: un entero no mayor de 255"},
      {{"--filtro", "gauss"}, "media, mediana, conservativo, cubico"},
      {{"--tamano", "7"}, "--tamano: «7»; valores admitidos: 3, 5"},
      {{"--pasos", "negros,,blancos"}, "--pasos"},
      {{"--formato", "gif"}, "--formato: «gif»; valores admitidos: bmp, png"},
      {{"-j0"}, "-j: «0»"},
      {{"--trabajos", "-2"}, "--trabajos"},
      {{"--tipo", "personalizada", "--celdas", "1,2,3;4,5,6"}, "3 filas de 3 enteros"},
      {{"--tipo", "personalizada", "--matriz", "3", "--celdas", "1,2,3;4,x,6;7,8,9"}, "«x»"},
      {{"--tipo", "personalizada"}, "--celdas"},
      {{"--celdas", "1,2,3;4,5,6;7,8,9"}, "--tipo personalizada"},
      {{"--rapido"}, "Opción desconocida: --rapido"},
      {{"--umbral"}, "Falta el valor de --umbral"},
      {{"-o", in}, "--salida"},
      {{"--informe", in}, "--informe"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    if (args != std::vector<std::string>{"--umbral"}) args.push_back(in);
    if (std::find(args.begin(), args.end(), "-o") == args.end())
      args.insert(args.begin(), {"-o", out});
    const Outcome run = RunBatch(args);
    EXPECT_EQ(run.status, 2) << c.said;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
  }
  EXPECT_EQ(RunBatch({"-o", out}).status, 2);  // no picture named
  EXPECT_FALSE(QFileInfo::exists(path("out")));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"in.bmp"});
}

TEST_F(BatchTest, AFailingFileIsNamedAndTheOthersGoOn) {
  write("a.bmp", NoisyPicture(30, 20, 256, 6));
  write("b.bmp", NoisyPicture(25, 30, 0, 7));
  QFile junk(path("junk.bmp"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("no es un bmp") > 0);
  junk.close();
  // Names from standard input too, blank lines and CR-LF ends allowed.
  const Outcome run = RunBatch({"-j", "3", spath("a.bmp"), "-", spath("b.bmp")},
                               spath("missing.bmp") + "\r\n\n" + spath("junk.bmp") + "\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(spath("missing.bmp") + ": no existe"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(spath("junk.bmp") + ": "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Restauradas: 2, omitidas: 0, con error: 2"), std::string::npos);
  Picture result;
  result.load(path("a_restaurada.bmp"));
  EXPECT_EQ(result.width(), 30);
  result.load(path("b_restaurada.bmp"));
  EXPECT_EQ(result.height(), 30);
  EXPECT_FALSE(QFileInfo::exists(path("missing_restaurada.bmp")) ||
               QFileInfo::exists(path("junk_restaurada.bmp")));
}

TEST_F(BatchTest, AnUnwritableFolderFailsEachFileWithItsReason) {
  write("a.bmp", NoisyPicture(20, 20, 256, 8));
  write("b.bmp", NoisyPicture(20, 20, 256, 9));
  // Nobody, not even the superuser, creates files in /proc.
  QString folder = QStringLiteral("/proc");
  if (geteuid() != 0) {
    folder = path("solo-lectura");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
  }
  const Outcome run = RunBatch({"-o", folder.toStdString(), spath("a.bmp"), spath("b.bmp")});
  EXPECT_EQ(run.status, 1);
  for (const char* name : {"a.bmp", "b.bmp"}) {
    const std::string line = spath(name) + ": ";
    EXPECT_NE(run.err.find(line), std::string::npos) << run.err;
    EXPECT_FALSE(QFileInfo::exists(folder + "/" + name));
  }
  if (geteuid() != 0) {
    EXPECT_NE(run.err.find("no se puede escribir en la carpeta"), std::string::npos) << run.err;
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
}

TEST_F(BatchTest, ExistingResultsAreKeptUnlessOverwritingAndInputsNever) {
  write("a.bmp", NoisyPicture(30, 30, 256, 10));
  write("b.bmp", NoisyPicture(30, 30, 256, 11));
  ASSERT_EQ(RunBatch({"-q", spath("a.bmp"), spath("b.bmp")}).status, 0);
  const QByteArray restored = Bytes(path("a_restaurada.bmp"));
  {
    QFile changed(path("a_restaurada.bmp"));
    ASSERT_TRUE(changed.open(QIODevice::WriteOnly) && changed.write("mine") == 4);
  }
  Outcome run = RunBatch({spath("a.bmp"), spath("b.bmp")});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("ya existe " + spath("a_restaurada.bmp") + ", se omite"),
            std::string::npos);
  EXPECT_EQ(Bytes(path("a_restaurada.bmp")), QByteArray("mine"));
  run = RunBatch({"--sobrescribir", "-q", spath("a.bmp")});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Bytes(path("a_restaurada.bmp")) == restored);

  // The input's own folder as --salida: the result would be the input itself.
  const QByteArray input = Bytes(path("a.bmp"));
  run = RunBatch({"--sobrescribir", "-o", dir.path().toStdString(), spath("a.bmp")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("es una imagen de entrada"), std::string::npos) << run.err;
  EXPECT_TRUE(Bytes(path("a.bmp")) == input);
  // Another spelling of the same file, and a link to it.
  ASSERT_TRUE(QDir().mkpath(path("sub")));
  ASSERT_TRUE(QFile::link(path("a.bmp"), path("enlace.bmp")));
  run = RunBatch({"--sobrescribir", "-o", dir.path().toStdString(), spath("sub/../a.bmp"),
                  spath("enlace.bmp")});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Bytes(path("a.bmp")) == input);
  // A folder that is the input's own under another name.
  ASSERT_TRUE(QFile::link(dir.path(), path("alias")));
  run = RunBatch({"--sobrescribir", "-o", spath("alias"), spath("a.bmp")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("es una imagen de entrada"), std::string::npos) << run.err;
  EXPECT_TRUE(Bytes(path("a.bmp")) == input);
  // A result that is another input of the run.
  run = RunBatch({"--sobrescribir", "-q", spath("a.bmp"), spath("a_restaurada.bmp")});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Bytes(path("a_restaurada.bmp")) == restored);
  EXPECT_TRUE(QFileInfo::exists(path("a_restaurada_restaurada.bmp")));
  // Two inputs with the same result: the first one writes it.
  QDir().mkpath(path("otra"));
  write("otra/a.bmp", NoisyPicture(30, 30, 256, 12));
  run = RunBatch({"-o", spath("juntos"), spath("a.bmp"), spath("otra/a.bmp")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("es también el de"), std::string::npos) << run.err;
}

TEST_F(BatchTest, ResultNamesAndJobsThatFitInMemory) {
  EXPECT_EQ(NombreResultado("fotos/a.bmp", "", ""), "fotos/a_restaurada.bmp");
  EXPECT_EQ(NombreResultado("a.b.BMP", "", "png"), "a.b_restaurada.png");
  EXPECT_EQ(NombreResultado("x/escaneo.tif", "out", ""), "out/escaneo.tif");
  EXPECT_EQ(NombreResultado("sin-extension", "", ""), "sin-extension_restaurada.bmp");
  EXPECT_EQ(NombreResultado("datos.dat", "", ""), "datos_restaurada.bmp");

  EXPECT_EQ(TrabajosQueCaben(8, 100, 250), 2);
  EXPECT_EQ(TrabajosQueCaben(8, 100, 50), 1);
  EXPECT_EQ(TrabajosQueCaben(3, 100, 10000), 3);

  for (int i = 0; i < 4; ++i) write(QString("m%1.bmp").arg(i), NoisyPicture(400, 300, 256, 20 + i));
  std::vector<std::string> args{"-j", "4", "-o", spath("out")};
  for (int i = 0; i < 4; ++i) args.push_back(spath(QString("m%1.bmp").arg(i)));
  // Room for two pictures and a half.
  const Outcome run = RunBatch(args, {}, 400ull * 300 * 7 * 5 / 2);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("se restaurarán 2 imágenes a la vez en lugar de 4"), std::string::npos)
      << run.err;
  EXPECT_EQ(QDir(path("out")).entryList(QDir::Files).size(), 4);
}

#ifdef MORVANE_LOTE
// The real program, stopped by a signal in the middle of a run: what it leaves
// are whole results, and the next run with the same arguments completes the
// rest without touching them.
TEST_F(BatchTest, AnInterruptedRunLeavesOnlyWholeResultsAndTheNextOneFinishes) {
  constexpr int kFiles = 8;
  QStringList args{"-j",       "2",       "--pasos", "negros,blancos,negros,blancos,negros,blancos",
                   "--filtro", "mediana", "-o",      path("out")};
  for (int i = 0; i < kFiles; ++i)
    args << write(QString("f%1.bmp").arg(i), NoisyPicture(900, 700, 256, 40 + i));
  QProcess first;
  first.start(QStringLiteral(MORVANE_LOTE), args);
  ASSERT_TRUE(first.waitForStarted());
  QElapsedTimer clock;
  clock.start();
  while (QDir(path("out")).entryList(QDir::Files).isEmpty() && clock.elapsed() < 120000)
    QThread::msleep(5);
  ::kill(static_cast<pid_t>(first.processId()), SIGINT);
  ASSERT_TRUE(first.waitForFinished(120000));
  const QString firstErr = QString::fromUtf8(first.readAllStandardError());
  // Not a terminal: plain lines.
  EXPECT_TRUE(firstErr.contains("[1/8] ")) << firstErr.toStdString();
  const QStringList left =
      QDir(path("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  if (first.exitCode() == 130) {
    EXPECT_LT(left.size(), kFiles);
  }
  std::map<QString, QByteArray> kept;
  for (const QString& name : left) kept[name] = Bytes(path("out/" + name));

  QProcess second;
  second.start(QStringLiteral(MORVANE_LOTE), args);
  ASSERT_TRUE(second.waitForFinished(300000));
  EXPECT_EQ(second.exitCode(), 0);
  const QString secondErr = QString::fromUtf8(second.readAllStandardError());
  EXPECT_EQ(secondErr.count("se omite"), left.size()) << secondErr.toStdString();

  // Every result, those of the first run included, as an uninterrupted run
  // writes it.
  std::vector<std::string> again{
      "-q",       "-j",      "2",  "--pasos",   "negros,blancos,negros,blancos,negros,blancos",
      "--filtro", "mediana", "-o", spath("ref")};
  for (int i = 0; i < kFiles; ++i) again.push_back(spath(QString("f%1.bmp").arg(i)));
  ASSERT_EQ(RunBatch(again).status, 0);
  EXPECT_EQ(
      QDir(path("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
      kFiles);
  for (int i = 0; i < kFiles; ++i) {
    const QString name = QString("f%1.bmp").arg(i);
    EXPECT_TRUE(Bytes(path("out/" + name)) == Bytes(path("ref/" + name))) << name.toStdString();
    if (kept.count(name)) {
      EXPECT_TRUE(kept[name] == Bytes(path("out/" + name)));
    }
  }
}
#endif

}  // namespace
}  // namespace morvane
