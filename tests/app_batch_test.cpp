// morvane-lote against the window, then its refusals and failures.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <sys/stat.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "app/main_window.h"
#include "batch/lote.h"
#include "tests/support/application.h"
#include "tests/support/child.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/picture_files.h"

namespace morvane {
namespace {

// A noisy ramp; levels gray palette entries, or 0 for colour.
QImage NoisyPicture(int width, int height, int levels, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> percent(0, 99), jitter(0, 20);
  return levelPicture(width, height, levels, [&](int x, int y) {
    const int p = percent(random);
    return p < 4 ? jitter(random) : p >= 96 ? 255 - jitter(random) : 40 + (x * 3 + y * 2) % 170;
  });
}

QMap<QString, QString> Options(const QString& recipe) {
  const QString all = "--matriz 3 --tipo ceros --n 0 --umbral 50 --filtro media --tamano 3 " +
                      ("--pasos negros,blancos " + recipe);
  QMap<QString, QString> o;
  for (const auto& m : QRegularExpression(R"((--\S+)(?: (?!--)(\S+))?)").globalMatch(all))
    o[m.captured(1)] = m.captured(2).isEmpty() ? "si" : m.captured(2);
  return o;
}

// The recipe through the window; each step's report fields counted on the planes.
QStringList RunWindow(const QString& recipe, const QString& typed, const std::string& input,
                      const QString& output) {
  FakeDialogs dialogs;
  Workspace ws;
  VentanaPrincipal form(ws);
  const QMap<QString, QString> o = Options(recipe);
  dialogs.openAnswers.push_back(QString::fromStdString(input));
  child<QPushButton>(form, "abrirImagenButton")->click();
  const auto pick = [&](const char* group, const QStringList& items, const QString& item) {
    child<RadioGroup>(form, group)->button(items.indexOf(item))->click();
  };
  pick("tamanoMatrizGroup", {"3", "5", "7", "9"}, o["--matriz"]);
  pick("tipoMatrizGroup", {"ceros", "piramidal", "personalizada"}, o["--tipo"]);
  child<Edit>(form, "factorNEdit")->setText(o["--n"]);
  const QStringList cells = o["--celdas"].split(QRegularExpression("[,;]"), Qt::SkipEmptyParts);
  for (int i = 0, n = o["--matriz"].toInt(); i < cells.size(); ++i)
    child<StringGrid>(form, "matrizGrid")->setCell(i % n, i / n, cells[i]);
  child<QPushButton>(form, "cargarMatrizButton")->click();
  child<Edit>(form, "umbralEdit")->setText(o["--umbral"]);
  pick("filtroGroup", {"media", "mediana", "conservativo", "cubico"}, o["--filtro"]);
  child<QComboBox>(form, "tamanoFiltroCombo")->setEditText(o["--tamano"] == "5" ? "5 X 5" : typed);
  child<QCheckBox>(form, "incluirDanadosCheck")->setChecked(o.contains("--incluir-danados"));
  const auto count = [&](auto counts) {
    long long n = 0;
    for (int y = 0; y < ws.Alto; ++y)
      for (int x = 0; x < ws.Ancho; ++x) n += counts(ws.ImagenFinal[y][x], ws.ImagenInicial[y][x]);
    return n;
  };
  QStringList steps;
  for (const QString& step : o["--pasos"].split(',')) {
    if (!steps.isEmpty()) child<QPushButton>(form, "copiarFinalEnInicialButton")->click();
    child<QPushButton>(form, step == "negros" ? "puntosNegrosButton" : "puntosBlancosButton")
        ->click();
    const long long above = count([&](int final, int) { return final > ws.Umbral; });
    child<QPushButton>(form, "restaurarButton")->click();
    steps << QString::asprintf("%d,%s,%lld,%lld,restaurada", int(steps.size()) + 1,
                               qPrintable(step), above,
                               count([](int final, int initial) { return final != initial; }));
  }
  dialogs.saveAnswers.push_back(output);
  child<QPushButton>(form, "guardarImagenButton")->click();
  EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("|").toStdString();
  return steps;
}

struct Outcome {
  int status = -1;
  std::string err, out;
  bool said(const std::string& text) const { return (err + out).find(text) != std::string::npos; }
};

Outcome RunBatch(std::vector<std::string> args, const std::string& stdinText = {},
                 std::optional<std::uint64_t> memory = {}, int columns = 0) {
  std::istringstream in(stdinText);
  std::ostringstream out, err;
  EntornoLote env(in, out, err);
  env.memoriaDisponible = memory;
  env.terminal = columns > 0;
  env.columnas = columns;
  return {EjecutarLote(args, env), err.str(), out.str()};  // in order: the run first
}

std::vector<QStringList> ReadCsv(const QString& path) {
  std::vector<QStringList> rows;
  for (const QString& line : QString::fromUtf8(fileBytes(path)).split('\n', Qt::SkipEmptyParts))
    rows.push_back(line.split(','));
  return rows;
}

class BatchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }

  QString path(const QString& name) const { return dir.filePath(name); }
  std::string spath(const QString& name) const { return path(name).toStdString(); }
  std::string picture(const QString& name, int width, int height, int levels, unsigned seed) {
    QDir().mkpath(QFileInfo(path(name)).path());
    EXPECT_TRUE(NoisyPicture(width, height, levels, seed).save(path(name), "BMP"));
    return spath(name);
  }

  Outcome expectRun(const std::vector<std::string>& args, int status,
                    const std::vector<std::string>& said = {}, const std::string& names = {}) {
    const Outcome run = RunBatch(args, names);
    EXPECT_EQ(run.status, status) << run.err;
    for (const std::string& text : said) EXPECT_TRUE(run.said(text)) << text << " | " << run.err;
    return run;
  }

#ifdef MORVANE_LOTE
  // A shell line in the folder ($LOTE: the program), signalled once stopWhen(pid).
  Outcome runProgram(const QString& line, const std::function<bool(qint64)>& stopWhen = {},
                     int signal = SIGTERM) {
    QProcess shell;
    shell.setWorkingDirectory(dir.path());
    shell.start("bash", {"-c", QStringLiteral("export LOTE='" MORVANE_LOTE "'\n") + line});
    for (int waited = 0; stopWhen && !stopWhen(shell.processId()) && waited < 120000; waited += 5)
      ::usleep(5000);
    if (stopWhen) ::kill(static_cast<pid_t>(shell.processId()), signal);
    if (!shell.waitForFinished(300000)) return {};
    return {shell.exitStatus() == QProcess::NormalExit ? shell.exitCode() : -1,
            shell.readAllStandardError().toStdString(),
            shell.readAllStandardOutput().toStdString()};
  }

  std::uint64_t peakOfRun(const QString& args) {
    const Outcome run = runProgram(
        "python3 -c 'import resource,subprocess,sys; subprocess.run(sys.argv[1:]); "
        "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' $LOTE " +
        args);
    return std::stoull(run.out.empty() ? "0" : run.out) * 1024;
  }
#endif

  QTemporaryDir dir;
};

TEST_F(BatchTest, SavesExactlyTheWindowsLevelsAndReportsThePlanesCounts) {
  const std::string pictures[] = {
      picture("gris.bmp", 61, 47, 256, 1), picture("color.bmp", 53, 40, 0, 2),
      picture("paleta.bmp", 50, 44, 16, 3), picture("grande.bmp", 720, 380, 256, 4)};
  const struct {
    QString options, typed = "3 X 3";
  } recipes[] = {
      {"", "7 X 7"},
      {"--matriz 5 --umbral 255 --filtro mediana --pasos blancos --incluir-danados", "3x3"},
      {"--matriz 5 --tipo piramidal --n 7 --umbral 40 --filtro mediana --tamano 5 --pasos "
       "blancos,negros --incluir-danados"},
      {"--tipo personalizada --umbral 30 --filtro conservativo --pasos negros --celdas "
       "300,-1,0;5,0,7;-20,999,2"},
      {"--matriz 7 --tipo piramidal --n -3 --umbral 60 --filtro cubico --pasos "
       "negros,blancos,negros"},
      {"--matriz 9 --umbral 25 --tamano 5 --pasos blancos --incluir-danados"},
      {"--matriz 5 --tipo personalizada --umbral 45 --filtro cubico --pasos blancos,negros "
       "--celdas "
       "256,-300,3,0,1;70000,2,256,-300,3;0,1,70000,2,256;-300,3,0,1,70000;2,256,-300,3,0"},
  };
  int i = 0;
  for (const auto& r : recipes) {
    SCOPED_TRACE(r.options.toStdString());
    const QMap<QString, QString> o = Options(r.options);
    const QString out = path(QString("lote%1").arg(++i));
    std::vector<std::string> args{
        "-j", "2", "-q", "-o", out.toStdString(), "--informe", out.toStdString() + ".csv"};
    for (const QString& word : r.options.split(' ', Qt::SkipEmptyParts))
      args.push_back(word.toStdString());
    const int n = o["--filtro"] == "cubico" ? 3 : 4;  // cubic on the large one: only time
    args.insert(args.end(), pictures, pictures + n);
    ASSERT_EQ(RunBatch(args).status, 0);
    const auto rows = ReadCsv(out + ".csv");
    const QString used = rows.back().mid(8).join(',');  // the recipe, without what it ignores
    EXPECT_TRUE(used.contains("--umbral " + o["--umbral"]) &&
                used.contains("--pasos " + o["--pasos"]) &&
                used.contains("--n ") == (o["--tipo"] == "piramidal"))
        << used.toStdString();
    for (int p = 0; p < n; ++p) {
      SCOPED_TRACE(pictures[p]);
      const QString in = QString::fromStdString(pictures[p]), name = QFileInfo(in).fileName();
      const QString saved = path(QString("ventana%1-").arg(i) + name);
      QStringList reported;
      for (const QStringList& row : rows)
        if (row[0] == in) reported << (row.mid(2, 4) + row.mid(7, 1)).join(',');
      EXPECT_EQ(reported, RunWindow(r.options, r.typed, pictures[p], saved));
      EXPECT_TRUE(!fileBytes(saved).isEmpty() && fileBytes(out + "/" + name) == fileBytes(saved));
    }
  }
}

TEST_F(BatchTest, AWrongOptionNamesItsAcceptedValuesAndTouchesNoFile) {
  const std::string in = picture("in.bmp", 20, 20, 256, 5), out = spath("out");
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--matriz", "4", in}, "--matriz: «4»; valores admitidos: 3, 5, 7, 9"},
      {{"--tipo=cruz", in}, "«cruz»; valores admitidos: ceros, piramidal, personalizada"},
      {{"--n", "1e3", in}, "--n: «1e3»"},
      {{"--umbral", "256", in}, "--umbral: «256»; valores admitidos: un entero no mayor de 255"},
      {{"--pasos", "negros,,blancos", in}, "--pasos"},
      {{"--filtro", "gauss", in}, "media, mediana, conservativo, cubico"},
      {{"--tamano", "7", in}, "--tamano: «7»; valores admitidos: 3, 5"},
      {{"--formato", "gif", in}, "--formato: «gif»; valores admitidos: bmp, png"},
      {{"-j0", in}, "-j: «0»"},
      {{"--tipo", "personalizada", "--celdas", "1,2,3;4,5,6", in}, "3 filas de 3 enteros"},
      {{"--tipo", "personalizada", "--celdas", "1,2,3;4,x,6;7,8,9", in}, "«x»"},
      {{"--tipo", "personalizada", in}, "--celdas"},
      {{"--celdas", "1,2,3;4,5,6;7,8,9", in}, "--tipo personalizada"},
      {{"--rapido", in}, "Opción desconocida: --rapido"},
      {{"-q3", in}, "Opción desconocida: -q3"},
      {{in, "--umbral"}, "Falta el valor de --umbral"},
      {{"--n", "3", in}, "--n solo vale con --tipo piramidal"},
      {{"-o", in, in}, "--salida"},
      {{"--informe", in, in}, "--informe"},
      {{"--informe", spath("no-hay/informe.csv"), in}, "no se puede escribir el informe"},
      {{"--informe", dir.path().toStdString(), in}, "no es un fichero normal"},
      {{}, "Falta ARCHIVO"},
  };
  for (auto [args, said] : cases) {
    if (std::find(args.begin(), args.end(), "-o") == args.end())
      args.insert(args.begin(), {"-o", out});
    expectRun(args, 2, {said});
  }
  expectRun({"--ayuda", "-o", out, in}, 0, {"-oscuro.bmp es -o scuro.bmp"});
  expectRun({"--version", in}, 0, {"morvane-lote 1."});
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList{"in.bmp"});
}

TEST_F(BatchTest, FailingInputsAreNamedAndNoInputOrExistingResultIsWrittenOver) {
  const std::string a = picture("a.bmp", 30, 20, 256, 6), b = picture("b.bmp", 25, 30, 0, 7);
  const std::string odd = spath("espa") + "\xf1" + "a.bmp";
  const std::string oddResult = spath("espa") + "\xf1" + "a_restaurada.bmp";
  std::ofstream(odd, std::ios::binary) << fileBytes(path("a.bmp")).toStdString();
  ASSERT_TRUE(writeFileBytes(path("junk.bmp"), "no es un bmp"));
  ASSERT_EQ(::mkfifo(spath("fifo.bmp").c_str(), 0600), 0);
  expectRun({"-j", "3", odd, spath("fifo.bmp"), "/dev/null", spath("nada") + "\xff.bmp", a,
             spath("./a.bmp"), "-", b},
            1,
            {spath("fifo.bmp") + ": es una FIFO", "/dev/null: es un dispositivo",
             spath("nada") + "\\xff.bmp: no existe", spath("missing.bmp") + ": no existe",
             spath("junk.bmp") + ": ", "Restauradas: 3, omitidas: 1, con error: 5"},
            spath("missing.bmp") + "\r\n\n" + spath("junk.bmp") + "\n");
  EXPECT_EQ(::access(oddResult.c_str(), F_OK), 0);
  EXPECT_TRUE(QImage(path("a_restaurada.bmp")).size() == QSize(30, 20) &&
              QImage(path("b_restaurada.bmp")).size() == QSize(25, 30));
  // QTemporaryDir cannot remove names that are not UTF-8.
  for (const std::string& name : {odd, oddResult}) ::unlink(name.c_str());
  expectRun({"-"}, 0);  // an empty list is not a mistake
  ASSERT_TRUE(NoisyPicture(120, 90, 0, 8).save(path("entera.jpg")) &&
              writeFileBytes(path("cortada.jpg"), fileBytes(path("entera.jpg")).left(1500)));
  const Outcome cut = RunBatch({"-q", spath("cortada.jpg")});
  for (const QString& line : QString::fromStdString(cut.err).split('\n', Qt::SkipEmptyParts))
    EXPECT_TRUE(line.startsWith("morvane-lote: " + path("cortada.jpg") + ": ")) << cut.err;

  const QByteArray restored = fileBytes(path("a_restaurada.bmp")), input = fileBytes(path("a.bmp"));
  ASSERT_TRUE(writeFileBytes(path("a_restaurada.bmp"), "mine"));
  // A result among the inputs is left out, never restored again.
  expectRun({a, b, spath("a_restaurada.bmp")}, 0,
            {"ya existe " + spath("a_restaurada.bmp") + ", se omite", "omitidas: 3"});
  EXPECT_TRUE(QDir(dir.path()).entryList({"*_restaurada_*"}).isEmpty() &&
              fileBytes(path("a_restaurada.bmp")) == "mine");
  expectRun({"--sobrescribir", "-q", a}, 0);
  EXPECT_TRUE(fileBytes(path("a_restaurada.bmp")) == restored);

  // Writing over an input or another result fails, and so does /proc.
  ASSERT_TRUE(QDir().mkpath(path("sub")) && QFile::link(path("a.bmp"), path("enlace.bmp")) &&
              QFile::link(dir.path(), path("alias")) &&
              NoisyPicture(30, 30, 256, 12).save(path("a.png")));
  const std::string here = dir.path().toStdString();
  expectRun({"--sobrescribir", "-o", here, a}, 1, {"es una imagen de entrada"});
  expectRun({"--sobrescribir", "-o", here, spath("sub/../a.bmp"), spath("enlace.bmp")}, 1);
  expectRun({"--sobrescribir", "-o", spath("alias"), a}, 1, {"es una imagen de entrada"});
  expectRun({"-o", spath("juntos"), "--formato", "png", a, spath("a.png")}, 1,
            {"es también el de"});
  expectRun({"-o", "/proc", a, b}, 1, {a + ": ", b + ": "});
  EXPECT_TRUE(fileBytes(path("a.bmp")) == input && fileBytes(path("a_restaurada.bmp")) == restored);

  // Links at result paths: kept, or replaced with --sobrescribir; never followed.
  ASSERT_TRUE(QDir().mkpath(path("out")) && writeFileBytes(path("precioso.bmp"), "precioso") &&
              QFile::link("../precioso.bmp", path("out/a.bmp")) &&
              QFile::link("../creado.bmp", path("out/b.bmp")));
  expectRun({"-o", spath("out"), a, b}, 0, {"omitidas: 2"});
  expectRun({"--sobrescribir", "-o", spath("out"), a, b}, 0);
  EXPECT_EQ(fileBytes(path("precioso.bmp")), QByteArray("precioso"));
  EXPECT_FALSE(QFileInfo::exists(path("creado.bmp")) || QFileInfo(path("out/a.bmp")).isSymLink() ||
               QFileInfo(path("out/b.bmp")).isSymLink() || fileBytes(path("out/a.bmp")).isEmpty());
}

TEST_F(BatchTest, TheProgressBarFitsTheTerminal) {
  std::string names;  // many missing names: quick, and long counts
  for (int i = 0; i < 1500; ++i) names += spath(QString("falta%1.bmp").arg(i)) + "\n";
  for (int columns : {24, 40, 80}) {
    const Outcome run = RunBatch({"-"}, names, {}, columns);
    EXPECT_TRUE(run.status == 1 && run.said("1500/1500"));
    for (const QString& piece :  // each piece drawn between returns and line ends
         QString::fromStdString(run.err).remove("\033[K").split(QRegularExpression("[\r\n]")))
      EXPECT_TRUE(piece.size() < columns || piece.contains("falta") ||
                  piece.startsWith("Restauradas"))
          << piece.toStdString();
  }
}

#ifdef MORVANE_LOTE

QByteArray RunLengthBmp(int width, int height) {
  std::string rows, palette, file = "BM";
  for (int y = 0; y < height; ++y) rows += {char(width), char(y * 7), 0, 0};
  rows += {0, 1};
  for (int g = 0; g < 256; ++g) palette += {char(g), char(g), char(g), 0};
  const auto le = [&file](quint32 v, int bytes) {
    for (int i = 0; i < bytes; ++i) file += char(v >> (8 * i));
  };
  const quint32 offset = 14 + 40 + 1024, size = static_cast<quint32>(rows.size());
  le(offset + size, 4), le(0, 4), le(offset, 4), le(40, 4), le(width, 4), le(height, 4);
  le(1, 2), le(8, 2), le(1, 4), le(size, 4), le(2835, 4), le(2835, 4), le(256, 4), le(0, 4);
  return QByteArray::fromStdString(file + palette + rows);
}

TEST_F(BatchTest, TheMemoryEstimateCoversTheRecipesPeakAndWhatDoesNotFitFailsAlone) {
  EXPECT_EQ(TrabajosQueCaben(8, 100, 50), 1);
  EXPECT_EQ(TrabajosQueCaben(3, 100, 10000), 3);
  std::vector<std::string> args{"-j", "4", "-o", spath("out")};
  for (int i = 0; i < 4; ++i)
    args.push_back(picture(QString("m%1.bmp").arg(i), 400, 300, 256, 20 + i));
  Outcome run = RunBatch(args, {}, 400ull * 300 * 7 * 5 / 2);  // room for 2.5 of them
  EXPECT_TRUE(run.status == 0 && run.said("se restaurarán 2 imágenes a la vez en lugar de 4") &&
              QDir(path("out")).entryList(QDir::Files).size() == 4)
      << run.err;
  ASSERT_TRUE(writeFileBytes(path("tiny.bmp"), RunLengthBmp(2, 2)) &&
              writeFileBytes(path("tall.bmp"), RunLengthBmp(2, 300000)) &&
              NoisyPicture(900, 700, 0, 80).save(path("color.bmp")));
  EXPECT_GE(
      BytesPorImagen(spath("color.bmp")),
      std::uint64_t(3 * QImage(900, 700, QImage::Format_RGB32).sizeInBytes() + 4 * 900 * 700));
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's own memory would count
  const std::uint64_t base = peakOfRun("-q -o o tiny.bmp");
  for (const char* name : {"tall.bmp", "color.bmp"}) {
    const std::uint64_t peak = peakOfRun(QString("-q -o o ") + name) - base;
    const std::uint64_t estimate = BytesPorImagen(spath(name));
    EXPECT_TRUE(estimate >= peak && estimate < 2 * peak) << name << " " << estimate << " " << peak;
  }
  // ulimit -v counts; a picture far beyond it fails alone, naming the step.
  writeFileBytes(path("huge.bmp"), RunLengthBmp(250, 400000));
  for (int i = 0; i < 3; ++i)
    writeFileBytes(path(QString("t%1.bmp").arg(i)), RunLengthBmp(2, 1500000));
  run = runProgram("ulimit -v 700000; $LOTE -j 3 -o j t0.bmp t1.bmp t2.bmp");
  EXPECT_TRUE(run.status == 0 && run.said("imágenes a la vez en lugar de 3")) << run.err;
  run = runProgram("ulimit -v 700000; $LOTE -o h huge.bmp tiny.bmp");
  EXPECT_TRUE(run.status == 1 &&
              run.said("huge.bmp: No hay memoria suficiente para restaurar esta imagen") &&
              !run.said("bad_alloc") && QFileInfo::exists(path("h/tiny.bmp")))
      << run.err;
#endif
}

// The read-only folder is found before junk.bmp is read.
TEST_F(BatchTest, AFullDiskAndAReadOnlyFolderAreNamed) {
  picture("a.bmp", 300, 300, 0, 81);
  ASSERT_TRUE(writeFileBytes(path("junk.bmp"), "no es un bmp"));
  for (const auto& [mount, args, said] :
       {std::tuple{"size=64k", "a.bmp", "a.bmp: no queda espacio en el disco"},
        std::tuple{"ro", "junk.bmp", "junk.bmp: no se puede escribir en la carpeta"}}) {
    const Outcome run = runProgram(
        QString("mkdir -p d && unshare -m bash -c 'mount -t tmpfs -o %1 tmpfs d || exit 77; "
                "$LOTE -o d %2'")
            .arg(mount, args));
    if (run.status == 77) GTEST_SKIP() << "no small file system here";
    EXPECT_TRUE(run.status == 1 && run.said(said)) << run.err;
  }
}

TEST_F(BatchTest, ResultNamesKeepTheirFoldersAndARerunKeepsTheReport) {
  EXPECT_EQ(NombreResultado("a.b.BMP", "", "png"), "a.b_restaurada.png");
  EXPECT_EQ(NombreResultado("sin-extension", "", ""), "sin-extension_restaurada.bmp");
  EXPECT_EQ(NombreResultado("datos.dat", "", ""), "datos_restaurada.bmp");
  for (int i = 0; i < 40; ++i)
    picture(QString("album/%1/img%2.bmp").arg(1950 + i / 20).arg(i % 20), 24, 20, 256, 100 + i);
  const std::string a = spath("album/1950/img1.bmp"), b = spath("album/1951/img1.bmp");
  const std::vector<std::string> args{"-o", spath("out"), "--informe", spath("lote.csv"), a, b};
  expectRun(args, 0);
  EXPECT_FALSE(fileBytes(path("out/1950/img1.bmp")).isEmpty() ||
               fileBytes(path("out/1950/img1.bmp")) == fileBytes(path("out/1951/img1.bmp")));
  const QByteArray report = fileBytes(path("lote.csv"));
  expectRun(args, 0, {"Restauradas: 0, omitidas: 2"});
  EXPECT_EQ(fileBytes(path("lote.csv")), report);
  expectRun({"-q", "--raiz", dir.path().toStdString(), "-o", spath("raiz"), a}, 0);
  EXPECT_TRUE(QFileInfo::exists(path("raiz/album/1950/img1.bmp")));
  expectRun({"--raiz", spath("album/1951"), "-o", spath("fuera"), a, b}, 1,
            {a + ": no está dentro de la carpeta raíz"});

  // The README's line for several machines, as written there, on this one.
  if (runProgram("command -v parallel").status != 0) GTEST_SKIP() << "no GNU parallel";
  QString block = QRegularExpression(R"(\n(    find /compartido.*\n(?:    .*\n)*))")
                      .match(QString::fromUtf8(fileBytes(MORVANE_README)))
                      .captured(1);
  block.replace("/opt/morvane/build/morvane-lote", "$LOTE")
      .replace("/compartido", dir.path())
      .replace("--sshlogin maquina1,maquina2,:", "--sshlogin :");
  for (int pass = 0; pass < 2; ++pass) {
    const Outcome run = runProgram("set -e\n" + block);
    ASSERT_EQ(run.status, 0) << block.toStdString() << run.err;
  }
  EXPECT_EQ(ReadCsv(path("informe.csv")).size(), 1u + 40 * 2);
  for (const QString year : {"1950", "1951"})
    EXPECT_EQ(QDir(path("restauradas/" + year)).entryList(QDir::Files).size(), 20);
}

TEST_F(BatchTest, ASignalStopsTheRunLeavingWholeResultsAndTheNextRunFinishes) {
  // Even while it waits for names (in poll, system call 7): 128 + SIGTERM.
  const Outcome waiting = runProgram("exec $LOTE -", [](qint64 pid) {
    return fileBytes(QString("/proc/%1/syscall").arg(pid)).startsWith("7 ");
  });
  EXPECT_EQ(waiting.status, 143) << waiting.err;
  // Stopped mid-run (the cubic filter is slow), it leaves whole results.
  for (int i = 0; i < 8; ++i) picture(QString("f%1.bmp").arg(i), 900, 700, 256, 40 + i);
  const QString recipe = " -j 2 --filtro cubico --pasos negros,blancos f?.bmp";
  const QString line = "exec $LOTE -o out --informe informe.csv" + recipe;
  auto results = [&] {
    return QDir(path("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  };
  const Outcome first = runProgram(
      line, [&](qint64) { return !results().isEmpty(); }, SIGINT);
  const QStringList left = results();
  EXPECT_TRUE(first.status == 130 && first.said("[1/8] ") && left.size() > 0 && left.size() < 8)
      << first.err << left.size();
  const auto restoredRows = [&] {
    QStringList rows;
    for (const QStringList& row : ReadCsv(path("informe.csv")))
      if (row.value(7) == "restaurada" && row.value(2) == "1") rows << QFileInfo(row[1]).fileName();
    rows.sort();
    return rows;
  };
  EXPECT_EQ(restoredRows(), left);

  const Outcome second = runProgram(line);
  EXPECT_TRUE(second.status == 0 &&
              QString::fromStdString(second.err).count("se omite") == left.size())
      << second.err;
  EXPECT_EQ(restoredRows().size(), 8);
  ASSERT_EQ(runProgram("$LOTE -q -o ref" + recipe).status, 0);
  EXPECT_EQ(results().size(), 8);
  for (const QString& name : results())
    EXPECT_TRUE(fileBytes(path("out/" + name)) == fileBytes(path("ref/" + name)))
        << name.toStdString();
}
#endif

}  // namespace
}  // namespace morvane
