// morvane-lote against the window: the same recipe driven through the window's
// handlers and through the batch program must save the same bytes, and the
// report must count what the planes show. Then the batch program's refusals
// and failures, in process and, where signals matter, as the real binary.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <sys/stat.h>
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
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "app/main_window.h"
#include "batch/lote.h"
#include "tests/support/application.h"
#include "tests/support/child.h"
#include "tests/support/fake_dialogs.h"

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
  std::string celdas;               // rows separated by ';', as --celdas takes them
  const char* typedSize = "3 X 3";  // the window's size box for --tamano 3

  // Options the recipe would ignore are refused, so they are left out.
  std::vector<std::string> args() const {
    std::vector<std::string> a{"--matriz", matriz,     "--tipo", tipo,      "--umbral",
                               umbral,     "--filtro", filtro,   "--pasos", pasos};
    if (std::string(tipo) == "piramidal") a.insert(a.end(), {"--n", n});
    if (std::string(filtro) != "cubico") a.insert(a.end(), {"--tamano", tamano});
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
  std::string err, out;
  bool said(const std::string& text) const { return err.find(text) != std::string::npos; }
};

Outcome RunBatch(std::vector<std::string> args, const std::string& stdinText = {},
                 std::optional<std::uint64_t> memory = {}, int columns = 0) {
  std::istringstream in(stdinText);
  std::ostringstream out, err;
  EntornoLote env(in, out, err);
  env.memoriaDisponible = memory;
  env.terminal = columns > 0;
  env.columnas = columns;
  const int status = EjecutarLote(args, env);
  return {status, err.str(), out.str()};
}

class BatchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }

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
    // The size box is editable: a typed text that names no item means 3 x 3.
    child<QComboBox>(form, "tamanoFiltroCombo")
        ->setEditText(QString(r.tamano) == "5" ? "5 X 5" : r.typedSize);
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

// The report's rows; the last field (the recipe) is quoted when it holds commas.
std::vector<QStringList> ReadCsv(const QString& path) {
  std::vector<QStringList> rows;
  for (QString line : QString::fromUtf8(Bytes(path)).split('\n', Qt::SkipEmptyParts)) {
    const qsizetype quote = line.indexOf('"');
    const QString recipe = quote < 0 ? QString() : line.mid(quote + 1).chopped(1);
    if (quote >= 0) line.truncate(quote);
    rows.push_back(line.split(','));
    if (quote >= 0) rows.back().last() = recipe;
  }
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
      {"ceros-media", "3", "ceros", "0", "50", "media", "3", "negros,blancos", false, "", "7 X 7"},
      // The highest threshold the window takes, the batch takes too.
      {"umbral-maximo", "5", "ceros", "0", "255", "mediana", "3", "blancos", true, "", "3x3"},
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
    // The cubic filter on the large picture adds time and no new code path.
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
        ASSERT_TRUE(row.size() == 9 && step < counts.size());
        const auto [above, changed] = counts[step++];
        EXPECT_EQ((row.mid(2, 4) + row.mid(7, 1)).join(','),
                  QString("%1,%2,%3,%4,restaurada")
                      .arg(step)
                      .arg(QString(r.pasos).split(',')[step - 1])
                      .arg(above)
                      .arg(changed));
        // The recipe as options, the ones the recipe ignores left out.
        EXPECT_TRUE(row[8].contains(QString("--umbral ") + r.umbral) &&
                    row[8].contains(QString("--pasos ") + r.pasos) &&
                    row[8].contains("--n ") == (QString(r.tipo) == "piramidal"))
            << row[8].toStdString();
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
      {{"--informe", spath("no-hay/informe.csv")}, "no se puede escribir el informe"},
      {{"--informe", dir.path().toStdString()}, "no es un fichero normal"},
      {{"--n", "3"}, "--n solo vale con --tipo piramidal"},
      {{"--filtro", "cubico", "--tamano", "5"}, "--tamano no vale con --filtro cubico"},
      {{"--incluir-danados", "--filtro", "cubico"}, "--incluir-danados no vale con --filtro"},
      {{"-q3"}, "Opción desconocida: -q3"},
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
  const Outcome help = RunBatch({"--ayuda"}), version = RunBatch({"--version"});
  EXPECT_TRUE(help.status == 0 &&
              help.out.find("-oscuro.bmp es -o scuro.bmp") != std::string::npos &&
              help.out.find("-- -negativo.bmp") != std::string::npos);
  EXPECT_TRUE(version.status == 0 && version.out.rfind("morvane-lote 1.", 0) == 0) << version.out;
  EXPECT_FALSE(QFileInfo::exists(path("out")));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"in.bmp"});
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
  ASSERT_TRUE(NoisyPicture(30, 30, 256, 12).save(path("a.png")));
  const std::string here = dir.path().toStdString();
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> said;
  } refused[] = {
      {{"--sobrescribir", "-o", here, spath("a.bmp")}, {"es una imagen de entrada"}},
      {{"--sobrescribir", "-o", here, spath("sub/../a.bmp"), spath("enlace.bmp")}, {}},
      {{"--sobrescribir", "-o", spath("alias"), spath("a.bmp")}, {"es una imagen de entrada"}},
      {{"-o", spath("juntos"), "--formato", "png", spath("a.bmp"), spath("a.png")},
       {"es también el de"}},
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

TEST_F(BatchTest, ResultsKeepTheirFoldersAndARerunDoesNothingNewAndKeepsTheReport) {
  // The same file name in two folders: two results, each below its own folder.
  ASSERT_TRUE(QDir().mkpath(path("album/1950")) && QDir().mkpath(path("album/1951")));
  const std::string a = write("album/1950/img001.bmp", NoisyPicture(30, 20, 256, 60)).toStdString();
  const std::string b = write("album/1951/img001.bmp", NoisyPicture(30, 20, 256, 61)).toStdString();
  const std::string out = spath("out"), csv = spath("informe.csv");
  const std::vector<std::string> args{"-o", out, "--informe", csv, a, b};
  ASSERT_EQ(RunBatch(args).status, 0);
  EXPECT_FALSE(Bytes(path("out/1950/img001.bmp")) == Bytes(path("out/1951/img001.bmp")));
  EXPECT_FALSE(Bytes(path("out/1950/img001.bmp")).isEmpty());
  const QByteArray report = Bytes(path("informe.csv"));
  // The rerun skips both results and keeps the rows that say how they were made.
  const Outcome again = RunBatch(args);
  EXPECT_TRUE(again.status == 0 && again.said("Restauradas: 0, omitidas: 2")) << again.err;
  EXPECT_EQ(Bytes(path("informe.csv")), report);
  // --raiz names the folder the subfolders are counted from.
  ASSERT_EQ(RunBatch({"-q", "--raiz", dir.path().toStdString(), "-o", spath("raiz"), a}).status, 0);
  EXPECT_TRUE(QFileInfo::exists(path("raiz/album/1950/img001.bmp")));
  const Outcome outside = RunBatch({"--raiz", spath("album/1951"), "-o", spath("fuera"), a, b});
  EXPECT_TRUE(outside.status == 1 && outside.said(a + ": no está dentro de la carpeta raíz"));

  // Default naming: the second run finds every result made and takes none of
  // them for an input.
  const std::vector<std::string> next{a, b, spath("album/1950/img001_restaurada.bmp")};
  ASSERT_EQ(RunBatch({a, b}).status, 0);
  const Outcome rerun = RunBatch(next);
  EXPECT_TRUE(rerun.status == 0 && rerun.said("Restauradas: 0, omitidas: 3")) << rerun.err;
  EXPECT_EQ(QDir(path("album/1950")).entryList(QDir::Files),
            (QStringList{"img001.bmp", "img001_restaurada.bmp"}));
}

// Inputs that cannot be done are named and the others go on: missing,
// damaged, special files (refused without opening them), the same file
// twice (done once). Names come from standard input too (blank lines and
// CR-LF ends allowed); a name that is not UTF-8 is read and written as the
// bytes it is, and shown with escapes.
TEST_F(BatchTest, FailingAndOddInputsAreNamedAndTheOthersGoOn) {
  const QByteArray picture = (write("a.bmp", NoisyPicture(30, 20, 256, 6)), Bytes(path("a.bmp")));
  write("b.bmp", NoisyPicture(25, 30, 0, 7));
  writeBytes("junk.bmp", "no es un bmp");
  const std::string odd = spath("espa") + "\xf1" + "a.bmp";
  {
    std::ofstream file(odd, std::ios::binary);
    file.write(picture.data(), picture.size());
  }
  ASSERT_EQ(::mkfifo(spath("fifo.bmp").c_str(), 0600), 0);
  Outcome run =
      RunBatch({"-j", "3", odd, spath("fifo.bmp"), "/dev/null", spath("nada") + "\xff.bmp",
                spath("a.bmp"), spath("./a.bmp"), "-", spath("b.bmp")},
               spath("missing.bmp") + "\r\n\n" + spath("junk.bmp") + "\n");
  EXPECT_EQ(run.status, 1);
  for (const std::string& text :
       {spath("fifo.bmp") + ": es una FIFO", std::string("/dev/null: es un dispositivo"),
        spath("nada") + "\\xff.bmp: no existe", spath("missing.bmp") + ": no existe",
        spath("junk.bmp") + ": ", std::string("Restauradas: 3, omitidas: 1, con error: 5")})
    EXPECT_TRUE(run.said(text)) << text << " | " << run.err;
  struct stat st;
  EXPECT_EQ(::stat((spath("espa") + "\xf1" + "a_restaurada.bmp").c_str(), &st), 0);
  Picture result;
  result.load(path("a_restaurada.bmp"));
  EXPECT_EQ(result.width(), 30);
  result.load(path("b_restaurada.bmp"));
  EXPECT_EQ(result.height(), 30);
  EXPECT_FALSE(QFileInfo::exists(path("missing_restaurada.bmp")) ||
               QFileInfo::exists(path("junk_restaurada.bmp")));
  // The same file twice is done once; an empty list is not a mistake.
  EXPECT_EQ(RunBatch({"--sobrescribir", spath("a.bmp"), spath("a.bmp")}).status, 0);
  EXPECT_EQ(RunBatch({"-"}, "").status, 0);

  // Links at result paths: replaced by the result with --sobrescribir, kept
  // otherwise; never written through.
  ASSERT_TRUE(QDir().mkpath(path("out")));
  writeBytes("precioso.bmp", "precioso");
  ASSERT_TRUE(QFile::link("../precioso.bmp", path("out/a.bmp")));
  ASSERT_TRUE(QFile::link("../creado.bmp", path("out/b.bmp")));
  write("b.bmp", NoisyPicture(20, 20, 256, 71));
  const std::vector<std::string> both{"-o", spath("out"), spath("a.bmp"), spath("b.bmp")};
  run = RunBatch(both);
  EXPECT_TRUE(run.status == 0 && run.said("omitidas: 2")) << run.err;
  std::vector<std::string> overwrite = both;
  overwrite.insert(overwrite.begin(), "--sobrescribir");
  EXPECT_EQ(RunBatch(overwrite).status, 0);
  EXPECT_EQ(Bytes(path("precioso.bmp")), QByteArray("precioso"));
  EXPECT_FALSE(QFileInfo::exists(path("creado.bmp")));
  EXPECT_FALSE(QFileInfo(path("out/a.bmp")).isSymLink() ||
               QFileInfo(path("out/b.bmp")).isSymLink());
  EXPECT_FALSE(Bytes(path("out/a.bmp")).isEmpty());
  // A decoder's warning names the file it is about.
  ASSERT_TRUE(NoisyPicture(120, 90, 0, 8).save(path("entera.jpg")));
  writeBytes("cortada.jpg", Bytes(path("entera.jpg")).left(1500));
  const Outcome cut = RunBatch({"-q", spath("cortada.jpg")});
  for (const QString& line : QString::fromStdString(cut.err).split('\n', Qt::SkipEmptyParts))
    EXPECT_TRUE(line.startsWith("morvane-lote: " + path("cortada.jpg") + ": ")) << cut.err;
  // QTemporaryDir cannot remove names that are not UTF-8.
  for (const std::string& name : {odd, spath("espa") + "\xf1" + "a_restaurada.bmp"})
    ::unlink(name.c_str());
}

TEST_F(BatchTest, TheProgressBarFitsTheTerminal) {
  // Many names (missing ones are quick) make long counts.
  std::string names;
  for (int i = 0; i < 1500; ++i) names += spath(QString("falta%1.bmp").arg(i)) + "\n";
  for (int columns : {24, 40, 80}) {
    const Outcome run = RunBatch({"-"}, names, {}, columns);
    EXPECT_EQ(run.status, 1);
    // Every piece the bar draws between returns and ends of line fits.
    for (const QString& piece :
         QString::fromStdString(run.err).remove("\033[K").split(QRegularExpression("[\r\n]")))
      if (!piece.contains("falta") && !piece.startsWith("Restauradas")) {
        EXPECT_LT(piece.size(), columns) << piece.toStdString();
      }
    EXPECT_TRUE(run.said("1500/1500"));
  }
}

#ifdef MORVANE_LOTE

// An 8-bit run-length BMP: every row one run of its own level.
QByteArray RunLengthBmp(int width, int height) {
  std::string rows;
  for (int y = 0; y < height; ++y) rows += {char(width), char(y * 7), 0, 0};
  rows += {0, 1};
  std::string palette;
  for (int g = 0; g < 256; ++g) palette += {char(g), char(g), char(g), 0};
  std::string file = "BM";
  const auto le = [&file](quint32 v, int bytes) {
    for (int i = 0; i < bytes; ++i) file += char(v >> (8 * i));
  };
  const quint32 offset = 14 + 40 + 1024, size = static_cast<quint32>(rows.size());
  le(offset + size, 4), le(0, 4), le(offset, 4), le(40, 4), le(width, 4), le(height, 4);
  le(1, 2), le(8, 2), le(1, 4), le(size, 4), le(2835, 4), le(2835, 4), le(256, 4), le(0, 4);
  return QByteArray::fromStdString(file + palette + rows);
}

// The built program run by a shell line in a folder, its name in $LOTE. With
// stopWhen, the line (one command, started with exec) gets the signal once
// stopWhen(pid) holds.
Outcome RunProgram(const QString& line, const QString& folder,
                   const std::function<bool(qint64)>& stopWhen = {}, int signal = SIGTERM) {
  QProcess shell;
  shell.setWorkingDirectory(folder);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("LOTE", QStringLiteral(MORVANE_LOTE));
  shell.setProcessEnvironment(env);
  shell.start("bash", {"-c", line});
  if (!shell.waitForStarted()) return {};
  QElapsedTimer clock;
  clock.start();
  while (stopWhen && !stopWhen(shell.processId()) && clock.elapsed() < 120000) QThread::msleep(5);
  if (stopWhen) ::kill(static_cast<pid_t>(shell.processId()), signal);
  if (!shell.waitForFinished(300000)) return {};
  return {shell.exitStatus() == QProcess::NormalExit ? shell.exitCode() : -1,
          shell.readAllStandardError().toStdString(), shell.readAllStandardOutput().toStdString()};
}

// Peak resident memory of one run of the program, in bytes.
[[maybe_unused]] std::uint64_t PeakOfRun(const QString& args, const QString& folder) {
  const Outcome run = RunProgram(
      "python3 -c 'import resource,subprocess,sys; subprocess.run(sys.argv[1:]); "
      "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' $LOTE " +
          args,
      folder);
  return std::stoull(run.out.empty() ? "0" : run.out) * 1024;
}
// The estimate behind -j holds what the whole recipe takes at its peak: a
// tall narrow run-length picture (the allocator's overhead per row counts)
// and a colour one at its real size. What still does not fit fails alone.
TEST_F(BatchTest, TheMemoryEstimateCoversTheRecipesPeakAndWhatDoesNotFitFailsAlone) {
  writeBytes("tiny.bmp", RunLengthBmp(2, 2));
  writeBytes("tall.bmp", RunLengthBmp(2, 300000));
  ASSERT_TRUE(NoisyPicture(900, 700, 0, 80).save(path("color.bmp")));
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's own memory would count
  const std::uint64_t base = PeakOfRun("-q -o o tiny.bmp", dir.path());
  for (const char* name : {"tall.bmp", "color.bmp"}) {
    const std::uint64_t peak = PeakOfRun(QString("-q -o o ") + name, dir.path()) - base;
    const std::uint64_t estimate = BytesPorImagen(spath(name));
    EXPECT_TRUE(estimate >= peak && estimate < 2 * peak) << name << " " << estimate << " " << peak;
  }
  // ulimit -v is a limit -j keeps to; a picture far beyond it fails alone,
  // named, with the step that ran out.
  writeBytes("huge.bmp", RunLengthBmp(250, 400000));
  for (int i = 0; i < 3; ++i) writeBytes(QString("t%1.bmp").arg(i), RunLengthBmp(2, 1500000));
  Outcome run = RunProgram("ulimit -v 700000; $LOTE -j 3 -o j t0.bmp t1.bmp t2.bmp", dir.path());
  EXPECT_TRUE(run.status == 0 && run.said("imágenes a la vez en lugar de 3")) << run.err;
  run = RunProgram("ulimit -v 700000; $LOTE -o h huge.bmp tiny.bmp", dir.path());
  EXPECT_TRUE(run.status == 1 &&
              run.said("huge.bmp: No hay memoria suficiente para restaurar esta imagen") &&
              !run.said("bad_alloc") && QFileInfo::exists(path("h/tiny.bmp")))
      << run.err;
#endif
}

// A full disk is named as the reason, and a read-only folder is found before
// any picture is read (so the unreadable one fails for the folder). Each on a
// small file system of its own, where the machine lets the test mount one.
TEST_F(BatchTest, AFullDiskAndAReadOnlyFolderAreNamed) {
  write("a.bmp", NoisyPicture(300, 300, 0, 81));
  writeBytes("junk.bmp", "no es un bmp");
  for (const auto& [mount, args, said] :
       {std::tuple{"size=64k", "a.bmp", "a.bmp: no queda espacio en el disco"},
        std::tuple{"ro", "junk.bmp", "junk.bmp: no se puede escribir en la carpeta"}}) {
    const Outcome run = RunProgram(QString("mkdir -p d && unshare -m bash -c 'mount -t tmpfs -o %1 "
                                           "tmpfs d || exit 77; $LOTE -o d %2'")
                                       .arg(mount, args),
                                   dir.path());
    if (run.status == 77) GTEST_SKIP() << "no small file system here";
    EXPECT_TRUE(run.status == 1 && run.said(said)) << run.err;
  }
}

// The README's line for several machines, as written there, on this machine
// alone: every picture restored below its own folder, one report for all.
TEST_F(BatchTest, TheReadmesParallelLineRestoresEveryPicture) {
  if (RunProgram("command -v parallel", dir.path()).status != 0) GTEST_SKIP() << "no GNU parallel";
  const QStringList lines = QString::fromUtf8(Bytes(MORVANE_README)).split('\n');
  qsizetype first = lines.indexOf(QRegularExpression("^    find /compartido.*"));
  ASSERT_GE(first, 0);
  QString block;
  for (qsizetype i = first; i < lines.size() && lines[i].startsWith("    "); ++i)
    block += lines[i] + "\n";
  block.replace("/opt/morvane/build/morvane-lote", "$LOTE")
      .replace("/compartido", dir.path())
      .replace("--sshlogin maquina1,maquina2,:", "--sshlogin :");
  ASSERT_TRUE(block.contains("--sshlogin :")) << block.toStdString();
  for (int i = 0; i < 40; ++i) {
    const QString name =
        QString("album/%1/img%2.bmp").arg(1950 + i / 20).arg(i % 20, 3, 10, QChar('0'));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path(name)).path()));
    write(name, NoisyPicture(24, 20, 256, 100 + i));
  }
  for (int pass = 0; pass < 2; ++pass) {
    const Outcome run = RunProgram("set -e\n" + block, dir.path());
    ASSERT_EQ(run.status, 0) << block.toStdString() << run.err;
  }
  const auto rows = ReadCsv(path("informe.csv"));
  EXPECT_EQ(rows.size(), 1u + 40 * 2) << Bytes(path("informe.csv")).toStdString();
  for (const QString year : {"1950", "1951"}) {
    EXPECT_EQ(QDir(path("restauradas/" + year)).entryList(QDir::Files).size(), 20);
    const Outcome alone = RunBatch({"-q", "--umbral", "40", "--filtro", "mediana", "-o",
                                    spath("solo" + year), spath("album/" + year + "/img007.bmp")});
    EXPECT_TRUE(alone.status == 0 && Bytes(path("restauradas/" + year + "/img007.bmp")) ==
                                         Bytes(path("solo" + year + "/img007.bmp")))
        << year.toStdString();
  }
}

// One signal stops the run even while it waits for names on standard input
// (in poll, system call 7); SIGTERM ends it with 143.
TEST_F(BatchTest, ASignalStopsARunWaitingForNames) {
  const Outcome run = RunProgram("exec $LOTE -", dir.path(), [](qint64 pid) {
    return Bytes(QString("/proc/%1/syscall").arg(pid)).startsWith("7 ");
  });
  EXPECT_EQ(run.status, 143) << run.err;
}

// The real program, stopped by a signal in the middle of a run: what it leaves
// are whole results, and the next run with the same arguments completes the
// rest without touching them.
TEST_F(BatchTest, AnInterruptedRunLeavesOnlyWholeResultsAndTheNextOneFinishes) {
  // The cubic filter makes each picture take a good part of a second, so the
  // signal lands while the run is under way even on a fast machine.
  constexpr int kFiles = 8;
  const std::string recipe = "-j 2 --filtro cubico --pasos negros,blancos";
  QString line = QString::fromStdString("exec $LOTE -o out --informe informe.csv " + recipe);
  std::vector<std::string> again{"-q", "-o", spath("ref")};
  for (const QString& option : QString::fromStdString(recipe).split(' '))
    again.push_back(option.toStdString());
  for (int i = 0; i < kFiles; ++i) {
    again.push_back(
        write(QString("f%1.bmp").arg(i), NoisyPicture(900, 700, 256, 40 + i)).toStdString());
    line += QString(" f%1.bmp").arg(i);
  }
  auto results = [&] {
    return QDir(path("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  };
  const Outcome first = RunProgram(
      line, dir.path(), [&](qint64) { return !results().isEmpty(); }, SIGINT);
  const QStringList left = results();
  // Not a terminal: plain lines.
  EXPECT_TRUE(first.status == 130 && first.said("[1/8] ")) << first.err;
  EXPECT_TRUE(left.size() > 0 && left.size() < kFiles) << left.size();
  // The report, written on the way out, has each result left and nothing else.
  const auto restoredRows = [&] {
    QStringList names;
    for (const QStringList& row : ReadCsv(path("informe.csv")))
      if (row.value(7) == "restaurada" && row.value(2) == "1")
        names << QFileInfo(row[1]).fileName();
    return names;
  };
  QStringList reported = restoredRows();
  reported.sort();
  EXPECT_EQ(reported, left);
  std::map<QString, QByteArray> kept;
  for (const QString& name : left) kept[name] = Bytes(path("out/" + name));

  const Outcome second = RunProgram(line, dir.path());
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(QString::fromStdString(second.err).count("se omite"), left.size()) << second.err;
  // Its report keeps the first run's rows for the results it skipped.
  EXPECT_EQ(restoredRows().size(), kFiles);

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
