// Picture formats through the main window's open and save. Fixtures are written
// and saved files read back with Qt's own writers and readers.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <csignal>
#include <functional>
#include <vector>

#include "app/main_window.h"
#include "tests/support/application.h"
#include "tests/support/child.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/picture_files.h"
#include "tests/support/restoration_oracle.h"
#include "toolkit/bmp_writer.h"

namespace morvane {
namespace {

constexpr int kDpm = 11811;  // 300 dots per inch, as scanners write it

// A picture at 300 dpi whose pixels are set one by one by set(image, x, y).
QImage made(int w, int h, QImage::Format format, const std::function<void(QImage&, int, int)>& set,
            const QList<QRgb>& colours = {}) {
  QImage image(w, h, format);
  if (!colours.isEmpty()) image.setColorTable(colours);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) set(image, x, y);
  image.setDotsPerMeterX(kDpm);
  image.setDotsPerMeterY(kDpm);
  return image;
}

// Levels short of white, so a gray file is never a full 256-entry ramp.
QImage gray(int w = 37, int h = 21) {
  return made(w, h, QImage::Format_Grayscale8,
              [](QImage& i, int x, int y) { i.scanLine(y)[x] = uchar((x * 7 + y * 13) % 250); });
}

// 16-bit samples near a rounding edge (k * 257 +- 128), gray or colour.
QImage deep(QImage::Format format) {
  return made(37, 21, format, [](QImage& i, int x, int y) {
    const auto v =
        quint16(std::clamp((x * 7 + y * 13) % 256 * 257 + ((x + y) % 2 ? 128 : -129), 0, 65535));
    const bool gray = i.format() == QImage::Format_Grayscale16;
    i.setPixelColor(x, y,
                    QColor::fromRgba64(v, gray ? v : quint16(x * 1000), gray ? v : 40000,
                                       gray ? 65535 : quint16(y * 3000)));
  });
}

QImage palette() {
  return made(
      19, 8, QImage::Format_Indexed8,
      [](QImage& i, int x, int y) { i.scanLine(y)[x] = uchar((x + 2 * y) % 5); },
      {qRgb(10, 200, 30), qRgb(255, 0, 128), qRgb(0, 0, 0), qRgb(77, 77, 77), qRgb(254, 1, 2)});
}

QImage colour(QImage::Format format = QImage::Format_RGB32) {
  return made(23, 9, format, [format](QImage& i, int x, int y) {
    const int alpha = format == QImage::Format_ARGB32 ? (x * 40 + y) % 256 : 255;
    i.setPixel(x, y, qRgba((x * 11 + y * 3) % 256, (x * 5) % 256, (y * 17) % 256, alpha));
  });
}

// Every colour of a picture as the picture object opens it, row by row: deep
// samples rounded to 8 bits, alpha dropped.
std::vector<QRgb> opened(const QImage& image) {
  const auto round = [](int v) { return int(std::lround(v * 255.0 / 65535.0)); };
  std::vector<QRgb> colours;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgba64 c = image.pixelColor(x, y).rgba64();
      colours.push_back(qRgb(round(c.red()), round(c.green()), round(c.blue())));
    }
  return colours;
}

std::vector<int> reds(const std::vector<QRgb>& colours) {
  std::vector<int> levels;
  for (QRgb c : colours) levels.push_back(qRed(c));
  return levels;
}

// The first entry (the DC step) of a JPEG's first quantisation table: 2 for
// the standard luminance table at quality 95, 8 at the usual 75.
int firstQuantiser(const QByteArray& jpeg) {
  const qsizetype at = jpeg.indexOf("\xff\xdb");
  return at < 0 || at + 5 >= jpeg.size() ? -1 : static_cast<uchar>(jpeg[at + 5]);
}

// A TIFF of several 8-bit gray pages, page p holding level (x + y + 40 p).
QByteArray multiPageTiff(int w, int h, int pages) {
  QByteArray out("II*\0\x08\0\0\0", 8);
  auto put = [&](quint32 v, int bytes) { out.append(reinterpret_cast<const char*>(&v), bytes); };
  for (int p = 0; p < pages; ++p) {
    const quint32 pixels = quint32(out.size()) + 2 + 9 * 12 + 4, size = quint32(w * h);
    const quint32 tags[9][3] = {{256, 3, quint32(w)}, {257, 3, quint32(h)}, {258, 3, 8},
                                {259, 3, 1},          {262, 3, 1},          {273, 4, pixels},
                                {277, 3, 1},          {278, 3, quint32(h)}, {279, 4, size}};
    put(9, 2);
    for (const auto& t : tags) put(t[0], 2), put(t[1], 2), put(1, 4), put(t[2], 4);
    put(p + 1 < pages ? pixels + size : 0, 4);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) out.append(char(x + y + 40 * p));
  }
  return out;
}

quint32 crc32(const QByteArray& bytes) {
  quint32 crc = 0xffffffffu;
  for (char c : bytes) {
    crc ^= static_cast<uchar>(c);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

class FormatsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureApplication(); }

  void SetUp() override { ASSERT_TRUE(dir.isValid()); }

  QString fixture(const QString& name, const QImage& image, const char* format) {
    if (QByteArray(format) == "bmp16") {  // Qt writes no 16-bit BMP
      QFile file(dir.filePath(name));
      EXPECT_TRUE(file.open(QIODevice::WriteOnly) && writeBmp(file, image, 16));
      return file.fileName();
    }
    QImageWriter writer(dir.filePath(name), format);
    EXPECT_TRUE(writer.write(image)) << name.toStdString() << writer.errorString().toStdString();
    return dir.filePath(name);
  }

  QString writeBytes(const QString& name, const QByteArray& bytes) {
    EXPECT_TRUE(writeFileBytes(dir.filePath(name), bytes));
    return dir.filePath(name);
  }

  void open(const QString& path) {
    dialogs.openAnswers.push_back(path), child<QPushButton>(form, "abrirImagenButton")->click();
  }
  void save(const QString& path) {
    dialogs.saveAnswers.push_back(path), child<QPushButton>(form, "guardarImagenButton")->click();
  }

  QTemporaryDir dir;
  FakeDialogs dialogs;
  Workspace ws;
  VentanaPrincipal form{ws};
};

TEST_F(FormatsTest, RoundTripsKeepLevelsSizeFormatAndResolution) {
  enum Kept { Levels, Colours, Lossy };
  constexpr auto G8 = QImage::Format_Grayscale8, I8 = QImage::Format_Indexed8,
                 RGB = QImage::Format_RGB32, M = QImage::Format_Mono;
  const QImage mono = gray(13, 7).convertToFormat(M, Qt::ThresholdDither);
  const struct {
    const char *in, *inFormat, *out;
    QImage picture;
    QImage::Format readBack;  // as Qt's reader gives the saved file
    Kept kept;
    bool resolution;  // the saved format holds dots per metre
  } rows[] = {
      {"gray.png", "png", "out.png", gray(), G8, Levels, true},
      {"gray.tif", "tiff", "out.tif", gray(), G8, Levels, true},
      {"gray.pgm", "pgm", "out.pgm", gray(), G8, Levels, false},
      {"gray.PNG", "png", "out.BMP", gray(), I8, Levels, true},
      {"gray.webp", "png", "out.webp", gray(), RGB, Levels, false},
      {"palette.png", "png", "out.png", palette(), I8, Colours, true},
      // Five entries are written as a 4-bit palette, which Qt reads as colour.
      {"palette.png", "png", "out.tiff", palette(), RGB, Colours, true},
      {"palette.bmp", "bmp", "out.pgm", palette(), G8, Levels, false},
      {"palette.png", "png", "out.ppm", palette(), RGB, Colours, false},
      {"colour.png", "png", "out.png", colour(), RGB, Colours, true},
      {"colour.tiff", "tiff", "out.tiff", colour(), RGB, Colours, true},
      {"rgb555.bmp", "bmp16", "out.png", colour().convertToFormat(QImage::Format_RGB555), RGB,
       Colours, true},
      {"colour.ppm", "ppm", "out.ppm", colour(), RGB, Colours, false},
      {"colour.png", "png", "out.webp", colour(), RGB, Colours, false},
      {"alpha.png", "png", "out.png", colour(QImage::Format_ARGB32), RGB, Colours, true},
      {"mono.pbm", "pbm", "out.pbm", mono, M, Levels, false},
      {"mono.png", "png", "out.png", mono, M, Colours, true},
      {"deep.png", "png", "out.png", deep(QImage::Format_Grayscale16), G8, Levels, true},
      {"deep.tif", "tiff", "out.tif", deep(QImage::Format_Grayscale16), G8, Levels, true},
      {"deep-colour.png", "png", "out.png", deep(QImage::Format_RGBA64), RGB, Colours, true},
      {"gray.jpg", "jpeg", "out.jpeg", gray(), G8, Lossy, true},
      {"colour.jpg", "jpeg", "out.jpg", colour(), RGB, Lossy, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.in) + " -> " + row.out);
    const QString in = fixture(row.in, row.picture, row.inFormat), out = dir.filePath(row.out);
    // A lossy file opens as the levels it decodes to.
    const std::vector<QRgb> expected = opened(row.kept == Lossy ? QImage(in) : row.picture);
    open(in);
    ASSERT_EQ(QSize(ws.Ancho, ws.Alto), row.picture.size());
    EXPECT_EQ(oracle::Niveles(ws.ImagenInicial), reds(expected));
    EXPECT_EQ(oracle::Niveles(ws.ImagenFinal), reds(expected));
    EXPECT_EQ(child<Memo>(form, "logMemo")->lines(),
              (QStringList{"Cargando Matriz", "Reservando memoria"}));  // one page
    save(out);
    ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("; ").toStdString();
    QImageReader reader(out);
    const QImage saved = reader.read();
    ASSERT_FALSE(saved.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(saved.format(), row.readBack);
    EXPECT_EQ(saved.size(), row.picture.size());
    EXPECT_TRUE(!row.resolution ||
                (saved.dotsPerMeterX() == kDpm && saved.dotsPerMeterY() == kDpm));
    EXPECT_EQ(row.kept == Lossy ? firstQuantiser(fileBytes(out)) : 2, 2);
    EXPECT_TRUE(row.kept != Levels || reds(opened(saved)) == reds(expected));
    EXPECT_TRUE(row.kept != Colours || opened(saved) == expected);
    child<QPushButton>(form, "borrarButton")->click();
  }
}

// Each refusal names the file (a BMP too large says memory is short), and the
// window stays without a picture.
TEST_F(FormatsTest, UnreadableFilesAreRefused) {
  const QByteArray tiff = fileBytes(fixture("whole.tif", gray(64, 64), "tiff"));
  // The header chunk rewritten to 100000 x 100000, with a correct checksum.
  QByteArray png = fileBytes(fixture("one.png", gray(1, 1), "png"));
  qToBigEndian<quint32>(100000, png.data() + 16);
  qToBigEndian<quint32>(100000, png.data() + 20);
  qToBigEndian<quint32>(crc32(png.mid(12, 17)), png.data() + 29);
  ASSERT_LT(png.size(), 400);
  // 60000 x 60000 at 32 bits, its rows a sparse run of zeros.
  QByteArray bmp("BM\0\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x60\xea\0\0\x60\xea\0\0\x01\0\x20\0", 30);
  const QString big = writeBytes("huge.bmp", bmp.append(24, '\0'));
  ASSERT_TRUE(QFile::resize(big, 54 + 60000LL * 60000 * 4));
  for (const QString& file : {writeBytes("cut.tif", tiff.left(tiff.size() / 2)),
                              writeBytes("rows.tif", multiPageTiff(64, 64, 1).chopped(1000)),
                              writeBytes("huge.png", png), big}) {
    SCOPED_TRACE(file.toStdString());
    dialogs.messages.clear();
    open(file);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(file == big
                    ? dialogs.messages[0] == "No hay memoria suficiente para abrir esta imagen"
                    : dialogs.messages[0].contains(file));
    EXPECT_FALSE(ws.ImagenCargada || ws.ImagenInicial.exists() || ws.Auxiliar1.exists() || ws.Alto);
    EXPECT_EQ(child<QLabel>(form, "sinImagenLabel")->text(), "No hay ninguna imagen seleccionada");
  }
  // Of a multi-page TIFF, the first page, and the log says so.
  open(writeBytes("pages.tif", multiPageTiff(6, 5, 3)));
  ASSERT_TRUE(ws.ImagenCargada);
  EXPECT_EQ(ws.ImagenInicial[4][5], 9);
  EXPECT_EQ(child<Memo>(form, "logMemo")->lines(),
            (QStringList{"Cargando Matriz", "Reservando memoria",
                         QString::fromUtf8("La imagen tiene 3 páginas; se abre la primera")}));
}

// A failed save (gray in a PBM, an extension no format owns, a missing folder,
// a size limit hit halfway) is reported naming the file, and leaves what was
// there, with no file beside it.
TEST_F(FormatsTest, FailedSavesAreReportedNamingTheFile) {
  open(fixture("in.tif", gray(300, 200), "tiff"));
  const QByteArray pbm("P1\n1 1\n0\n");
  const QString kept = writeBytes("kept.pbm", pbm), tiff = writeBytes("kept.tif", pbm);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const rlimit small{64, old.rlim_max};
  std::signal(SIGXFSZ, SIG_IGN);  // the write past the limit fails instead of ending the test
  for (const QString& target :
       {kept, dir.filePath("kept.gif"), dir.filePath("no/dir/x.png"), tiff}) {
    SCOPED_TRACE(target.toStdString());
    dialogs.messages.clear();
    ASSERT_EQ(target == tiff ? setrlimit(RLIMIT_FSIZE, &small) : 0, 0);
    save(target);
    setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].contains(target));
  }
  EXPECT_EQ(fileBytes(kept), pbm);
  EXPECT_EQ(fileBytes(tiff), pbm);
  EXPECT_EQ(QDir(dir.path()).entryList({"*kept*"}, QDir::Files | QDir::Hidden),
            (QStringList{"kept.pbm", "kept.tif"}));
}

}  // namespace
}  // namespace morvane
