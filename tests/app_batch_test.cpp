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
#include "tests/support/child.h"

namespace morvane {
namespace {

// A picture with impulse noise: a smooth ramp, some points pushed to near
// black and some to near white. levels is the number of gray palette entries
// (0 for a 24-bit picture whose red channel differs from green and blue).
QImage NoisyPicture(int width, int height, int levels, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> percent(0, 99);
  std::uniform_int_distribution<int> jitter(0, 20);
  QImage image(width, height, levels > 0 ? QImage::Format_Indexed8 : QImage::Format_RGB32);
  if (levels > 0) image.setColorCount(levels);
  for (int i = 0, g = 0; i < levels; ++i, g = i * 255 / (levels - 1))
    image.setColor(i, qRgb(g, g, g));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int p = percent(random);
      const int g = p < 4     ? jitter(random)
                    : p >= 96 ? 255 - jitter(random)
                              : 40 + (x * 3 + y * 2) % 170;
      image.setPixel(x, y,
                     levels > 0 ? uint(g * (levels - 1) / 255) : qRgb(g, (g * 7) % 256, 255 - g));
    }
  return image;
}

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A recipe as options; the window's controls are set from the same values.
struct Recipe {
  const char *name, *matriz, *tipo, *n, *umbral, *filtro, *tamano, *pasos;
  bool incluirDanados;
  std::string celdas;  // rows separated by ';', as --celdas takes them

  std::vector<std::string> args() const {
    std::vector<std::string> a{"--matriz", matriz,     "--tipo",  tipo,       "--n",
                               n,          "--umbral", umbral,    "--filtro", filtro,
                               "--tamano", tamano,     "--pasos", pasos};
    if (incluirDanados) a.push_back("--incluir-danados");
    if (!celdas.empty()) a.insert(a.end(), {"--celdas", celdas});
    return a;
  }
};

// An n x n grid of cells taking values in turn.
std::string Cells(int n, const std::vector<int>& values) {
  std::string text;
  for (int i = 0; i < n * n; ++i)
    text.append(i == 0 ? "" : i % n ? "," : ";").append(std::to_string(values[i % values.size()]));
  return text;
}

struct Outcome {
  int status = -1;
  std::string err;
  bool said(const std::string& text) const { return err.find(text) != std::string::npos; }
};

Outcome RunBatch(std::vector<std::string> args, const std::string& stdinText = {},
                 std::optional<std::uint64_t> memory = {}) {
  std::istringstream in(stdinText);
  std::ostringstream out, err;
  EntornoLote env(in, out, err);
  env.memoriaDisponible = memory;
  const int status = EjecutarLote(args, env);
  return {status, err.str()};
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

  void writeBytes(const QString& name, const QByteArray& bytes) {
    QFile file(path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
  }

  // The recipe through the window's handlers, saved with "Guardar Imagen"; for
  // each step, the levels above the threshold after the detection and the
  // levels the restoration changed.
  std::vector<std::pair<long long, long long>> runWindow(const Recipe& r, const QString& input,
                                                         const QString& output) {
    FakeDialogs dialogs;
    Workspace ws;
    VentanaPrincipal form(ws);
    dialogs.openAnswers.push_back(input);
    child<QPushButton>(form, "abrirImagenButton")->click();
    const QStringList sizes{"3", "5", "7", "9"}, kinds{"ceros", "piramidal", "personalizada"},
        filters{"media", "mediana", "conservativo", "cubico"};
    child<RadioGroup>(form, "tamanoMatrizGroup")
        ->button(sizes.indexOf(r.matriz))
        ->click();  // "3 X 3" .. "9 X 9"
    child<RadioGroup>(form, "tipoMatrizGroup")
        ->button(kinds.indexOf(r.tipo))
        ->click();  // "0's", "Piramidal", ...
    child<Edit>(form, "factorNEdit")->setText(r.n);
    const QStringList rows = QString::fromStdString(r.celdas).split(';', Qt::SkipEmptyParts);
    for (int row = 0; row < rows.size(); ++row)
      for (int col = 0; col < rows[row].split(',').size(); ++col)
        child<StringGrid>(form, "matrizGrid")->setCell(col, row, rows[row].split(',')[col]);
    child<QPushButton>(form, "cargarMatrizButton")->click();
    child<Edit>(form, "umbralEdit")->setText(r.umbral);
    child<RadioGroup>(form, "filtroGroup")->button(filters.indexOf(r.filtro))->click();
    child<QComboBox>(form, "tamanoFiltroCombo")->setCurrentIndex(QString(r.tamano) == "5");
    child<QCheckBox>(form, "incluirDanadosCheck")->setChecked(r.incluirDanados);
    auto count = [&](auto pixelCounts) {
      long long n = 0;
      for (int y = 0; y < ws.Alto; ++y)
        for (int x = 0; x < ws.Ancho; ++x)
          n += pixelCounts(ws.ImagenFinal[y][x], ws.ImagenInicial[y][x]);
      return n;
    };
    std::vector<std::pair<long long, long long>> counts;
    for (const QString& step : QString(r.pasos).split(',')) {
      if (!counts.empty()) child<QPushButton>(form, "copiarFinalEnInicialButton")->click();
      (step == "negros" ? child<QPushButton>(form, "puntosNegrosButton")
                        : child<QPushButton>(form, "puntosBlancosButton"))
          ->click();
      const long long above = count([&](int final, int) { return final > ws.Umbral; });
      child<QPushButton>(form, "restaurarButton")->click();
      counts.emplace_back(above, count([](int final, int initial) { return final != initial; }));
    }
    dialogs.saveAnswers.push_back(output);
    child<QPushButton>(form, "guardarImagenButton")->click();
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("|").toStdString();
    return counts;
  }

  QTemporaryDir dir;
};

std::vector<QStringList> ReadCsv(const QString& path) {
  std::vector<QStringList> rows;
  for (const QString& line : QString::fromUtf8(Bytes(path)).split('\n', Qt::SkipEmptyParts))
    rows.push_back(line.split(','));
  return rows;
}

TEST_F(BatchTest, SavesExactlyTheWindowsLevelsAndReportsThePlanesCounts) {
  // A full gray palette, a colour picture read through red, a palette too
  // short for most levels (rows take the nearest entry, "<<" copies entries),
  // and one large enough for the window's kernels to split over threads.
  const QString pictures[] = {write("gris.bmp", NoisyPicture(61, 47, 256, 1)),
                              write("color.bmp", NoisyPicture(53, 40, 0, 2)),
                              write("paleta.bmp", NoisyPicture(50, 44, 16, 3)),
                              write("grande.bmp", NoisyPicture(720, 380, 256, 4))};

  const Recipe recipes[] = {
      {"ceros-media", "3", "ceros", "0", "50", "media", "3", "negros,blancos", false, ""},
      {"piramide-mediana", "5", "piramidal", "7", "40", "mediana", "5", "blancos,negros", true, ""},
      {"celdas-conservativo", "3", "personalizada", "0", "30", "conservativo", "3", "negros", false,
       Cells(3, {300, -1, 0, 5, 0, 7, -20, 999, 2})},
      {"piramide-cubico", "7", "piramidal", "-3", "60", "cubico", "3", "negros,blancos,negros",
       false, ""},
      {"ceros9-media5", "9", "ceros", "0", "25", "media", "5", "blancos", true, ""},
      {"celdas5-cubico", "5", "personalizada", "0", "45", "cubico", "3", "blancos,negros", false,
       Cells(5, {256, -300, 3, 0, 1, 70000, 2})},
  };
  for (const Recipe& r : recipes) {
    SCOPED_TRACE(r.name);
    const QString out = path(QString("lote-") + r.name);
    const QString csv = out + ".csv";
    std::vector<std::string> args = r.args();
    args.insert(args.end(),
                {"-j", "2", "-q", "-o", out.toStdString(), "--informe", csv.toStdString()});
    // The cubic filter on the large picture adds time and no new path through the code.
    const int used = QString(r.filtro) == "cubico" ? 3 : 4;
    for (int p = 0; p < used; ++p) args.push_back(pictures[p].toStdString());
    const Outcome batch = RunBatch(args);
    ASSERT_EQ(batch.status, 0) << batch.err;
    const auto rows = ReadCsv(csv);

    for (int p = 0; p < used; ++p) {
      const QString name = QFileInfo(pictures[p]).fileName();
      SCOPED_TRACE(name.toStdString());
      const QString windowFile = path(QString("ventana-") + r.name + "-" + name);
      const auto counts = runWindow(r, pictures[p], windowFile);
      const QByteArray expected = Bytes(windowFile);
      ASSERT_FALSE(expected.isEmpty());
      EXPECT_TRUE(Bytes(out + "/" + name) == expected);
      std::size_t step = 0;
      for (const QStringList& row : rows) {
        if (row[0] != pictures[p]) continue;
        ASSERT_EQ(row.size(), 8);
        ASSERT_LT(step, counts.size());
        const auto [above, changed] = counts[step++];
        EXPECT_EQ((row.mid(2, 4) + row.mid(7)).join(',').toStdString(),
                  std::to_string(step) + "," + QString(r.pasos).split(',')[step - 1].toStdString() +
                      "," + std::to_string(above) + "," + std::to_string(changed) + ",restaurada");
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
    EXPECT_TRUE(run.status == 2 && run.said(c.said)) << c.said << " | " << run.err;
  }
  EXPECT_EQ(RunBatch({"-o", out}).status, 2);  // no picture named
  EXPECT_FALSE(QFileInfo::exists(path("out")));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"in.bmp"});
}

TEST_F(BatchTest, AFailingFileIsNamedAndTheOthersGoOn) {
  write("a.bmp", NoisyPicture(30, 20, 256, 6));
  write("b.bmp", NoisyPicture(25, 30, 0, 7));
  writeBytes("junk.bmp", "no es un bmp");
  // Names from standard input too, blank lines and CR-LF ends allowed.
  const Outcome run = RunBatch({"-j", "3", spath("a.bmp"), "-", spath("b.bmp")},
                               spath("missing.bmp") + "\r\n\n" + spath("junk.bmp") + "\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.said(spath("missing.bmp") + ": no existe") &&
              run.said(spath("junk.bmp") + ": ") &&
              run.said("Restauradas: 2, omitidas: 0, con error: 2"))
      << run.err;
  Picture result;
  result.load(path("a_restaurada.bmp"));
  EXPECT_EQ(result.width(), 30);
  result.load(path("b_restaurada.bmp"));
  EXPECT_EQ(result.height(), 30);
  EXPECT_FALSE(QFileInfo::exists(path("missing_restaurada.bmp")) ||
               QFileInfo::exists(path("junk_restaurada.bmp")));
}

TEST_F(BatchTest, ExistingResultsAreKeptUnlessOverwritingAndNoInputOrLockedFolderIsWritten) {
  write("a.bmp", NoisyPicture(30, 30, 256, 10));
  write("b.bmp", NoisyPicture(30, 30, 256, 11));
  ASSERT_EQ(RunBatch({"-q", spath("a.bmp"), spath("b.bmp")}).status, 0);
  const QByteArray restored = Bytes(path("a_restaurada.bmp"));
  writeBytes("a_restaurada.bmp", "mine");
  Outcome run = RunBatch({spath("a.bmp"), spath("b.bmp")});
  EXPECT_TRUE(run.status == 0 && run.said("ya existe " + spath("a_restaurada.bmp") + ", se omite"));
  EXPECT_EQ(Bytes(path("a_restaurada.bmp")), QByteArray("mine"));
  EXPECT_EQ(RunBatch({"--sobrescribir", "-q", spath("a.bmp")}).status, 0);
  EXPECT_TRUE(Bytes(path("a_restaurada.bmp")) == restored);

  // Runs that would write over an input fail (status 1, saying why) and leave
  // every input as it was: the input's own folder as --salida, under another
  // spelling, through a link to the file or to the folder; a result that is
  // another input of the run; two inputs with the same result (the first one
  // writes it). A folder nobody may write in fails each file with its reason;
  // not even the superuser creates files in /proc.
  const bool root = geteuid() == 0;
  const QString locked = root ? QStringLiteral("/proc") : path("solo-lectura");
  ASSERT_TRUE(root || (QDir().mkpath(locked) &&
                       QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner)));
  const QByteArray input = Bytes(path("a.bmp"));
  ASSERT_TRUE(QDir().mkpath(path("sub")) && QDir().mkpath(path("otra")));
  ASSERT_TRUE(QFile::link(path("a.bmp"), path("enlace.bmp")));
  ASSERT_TRUE(QFile::link(dir.path(), path("alias")));
  write("otra/a.bmp", NoisyPicture(30, 30, 256, 12));
  const std::string here = dir.path().toStdString();
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> said;
  } refused[] = {
      {{"--sobrescribir", "-o", here, spath("a.bmp")}, {"es una imagen de entrada"}},
      {{"--sobrescribir", "-o", here, spath("sub/../a.bmp"), spath("enlace.bmp")}, {}},
      {{"--sobrescribir", "-o", spath("alias"), spath("a.bmp")}, {"es una imagen de entrada"}},
      {{"--sobrescribir", "-q", spath("a.bmp"), spath("a_restaurada.bmp")}, {}},
      {{"-o", spath("juntos"), spath("a.bmp"), spath("otra/a.bmp")}, {"es también el de"}},
      {{"-o", locked.toStdString(), spath("a.bmp"), spath("b.bmp")},
       {spath("a.bmp") + ": ", spath("b.bmp") + ": ",
        root ? "" : "no se puede escribir en la carpeta"}},
  };
  for (const auto& c : refused) {
    run = RunBatch(c.args);
    EXPECT_EQ(run.status, 1) << c.args.back();
    for (const std::string& text : c.said) EXPECT_TRUE(run.said(text)) << text << " | " << run.err;
    EXPECT_TRUE(Bytes(path("a.bmp")) == input && Bytes(path("a_restaurada.bmp")) == restored);
  }
  EXPECT_TRUE(QFileInfo::exists(path("a_restaurada_restaurada.bmp")));
  EXPECT_FALSE(QFileInfo::exists(locked + "/a.bmp") || QFileInfo::exists(locked + "/b.bmp"));
  EXPECT_TRUE(root || QFile::setPermissions(
                          locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
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

  std::vector<std::string> args{"-j", "4", "-o", spath("out")};
  for (int i = 0; i < 4; ++i)
    args.push_back(
        write(QString("m%1.bmp").arg(i), NoisyPicture(400, 300, 256, 20 + i)).toStdString());
  // Room for two pictures and a half.
  const Outcome run = RunBatch(args, {}, 400ull * 300 * 7 * 5 / 2);
  EXPECT_TRUE(run.status == 0 && run.said("se restaurarán 2 imágenes a la vez en lugar de 4"))
      << run.err;
  EXPECT_EQ(QDir(path("out")).entryList(QDir::Files).size(), 4);
}

#ifdef MORVANE_LOTE
// The real program, stopped by a signal in the middle of a run: what it leaves
// are whole results, and the next run with the same arguments completes the
// rest without touching them.
TEST_F(BatchTest, AnInterruptedRunLeavesOnlyWholeResultsAndTheNextOneFinishes) {
  constexpr int kFiles = 8;
  QStringList files,
      args{"-j",       "2",      "--pasos", "negros,blancos,negros,blancos,negros,blancos",
           "--filtro", "mediana"};
  for (int i = 0; i < kFiles; ++i)
    files << write(QString("f%1.bmp").arg(i), NoisyPicture(900, 700, 256, 40 + i));
  std::vector<std::string> again{"-q", "-o", spath("ref")};
  for (const QString& a : args + files) again.push_back(a.toStdString());
  args << "-o" << path("out") << files;
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
  auto results = [&] {
    return QDir(path("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  };
  const QStringList left = results();
  EXPECT_TRUE(first.exitCode() != 130 || left.size() < kFiles);
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
  ASSERT_EQ(RunBatch(again).status, 0);
  EXPECT_EQ(results().size(), kFiles);
  for (const QString& name : results()) {
    EXPECT_TRUE(Bytes(path("out/" + name)) == Bytes(path("ref/" + name))) << name.toStdString();
    EXPECT_TRUE(!kept.count(name) || kept[name] == Bytes(path("out/" + name)));
  }
}
#endif

}  // namespace
}  // namespace morvane
