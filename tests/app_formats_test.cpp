// Picture formats other than BMP, through the main window's open and save: what
// is opened, what is written, what is refused, and that processing sees the
// same levels whatever the envelope. Fixtures are written with Qt's own
// writers; saved files are read back with Qt's readers, not the picture object.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QApplication>
#include <QBuffer>
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
#include <cstring>
#include <vector>

#include "app/main_window.h"
#include "support/fake_dialogs.h"
#include "toolkit/bmp_writer.h"
#include "toolkit/picture_view.h"

namespace morvane {
namespace {

constexpr int kDpm = 11811;  // 300 dots per inch, as scanners write it

QImage withResolution(QImage image) {
  image.setDotsPerMeterX(kDpm);
  image.setDotsPerMeterY(kDpm);
  return image;
}

// Levels short of white, so a gray file is never a full 256-entry ramp.
QImage grayFixture(int w, int h) {
  QImage image(w, h, QImage::Format_Grayscale8);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.scanLine(y)[x] = static_cast<uchar>((x * 7 + y * 13) % 250);
  return withResolution(image);
}

QImage gray16Fixture(int w, int h) {
  QImage image(w, h, QImage::Format_Grayscale16);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      // Every sample near a rounding edge: k * 257 +- 128.
      const int k = (x * 7 + y * 13) % 256;
      reinterpret_cast<quint16*>(image.scanLine(y))[x] =
          static_cast<quint16>(std::clamp(k * 257 + ((x + y) % 2 ? 128 : -129), 0, 65535));
    }
  return withResolution(image);
}

QImage paletteFixture(int w, int h) {
  QImage image(w, h, QImage::Format_Indexed8);
  image.setColorTable(
      {qRgb(10, 200, 30), qRgb(255, 0, 128), qRgb(0, 0, 0), qRgb(77, 77, 77), qRgb(254, 1, 2)});
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.scanLine(y)[x] = static_cast<uchar>((x + 2 * y) % 5);
  return withResolution(image);
}

QImage colourFixture(int w, int h, QImage::Format format = QImage::Format_RGB32) {
  QImage image(w, h, format);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int alpha = format == QImage::Format_ARGB32 ? (x * 40 + y) % 256 : 255;
      image.setPixel(x, y, qRgba((x * 11 + y * 3) % 256, (x * 5) % 256, (y * 17) % 256, alpha));
    }
  return withResolution(image);
}

QImage rgba64Fixture(int w, int h) {
  QImage image(w, h, QImage::Format_RGBA64);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      auto* line = reinterpret_cast<QRgba64*>(image.scanLine(y));
      line[x] = QRgba64::fromRgba64(static_cast<quint16>((x * 2311 + y * 977) % 65536),
                                    static_cast<quint16>(x * 1000), 40000,
                                    static_cast<quint16>(y * 3000));
    }
  return withResolution(image);
}

QImage monoFixture(int w, int h) {
  QImage image(w, h, QImage::Format_Mono);
  image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, (x * y + x) % 3 == 0 ? 1 : 0);
  return withResolution(image);
}

int round16(int v) {
  return static_cast<int>(std::lround(v * 255.0 / 65535.0));
}

// The colour a fixture's pixel is opened as: deep samples rounded, alpha dropped.
QRgb openedColour(const QImage& fixture, int x, int y) {
  if (fixture.format() == QImage::Format_Grayscale16) {
    const int g = round16(reinterpret_cast<const quint16*>(fixture.constScanLine(y))[x]);
    return qRgb(g, g, g);
  }
  if (fixture.format() == QImage::Format_RGBA64) {
    const QRgba64 p = reinterpret_cast<const QRgba64*>(fixture.constScanLine(y))[x];
    return qRgb(round16(p.red()), round16(p.green()), round16(p.blue()));
  }
  return fixture.pixel(x, y) | 0xff000000u;
}

QByteArray contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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
  auto put16 = [&](quint16 v) { out.append(reinterpret_cast<const char*>(&v), 2); };
  auto put32 = [&](quint32 v) { out.append(reinterpret_cast<const char*>(&v), 4); };
  for (int p = 0; p < pages; ++p) {
    const quint32 ifd = static_cast<quint32>(out.size());
    const quint32 pixels = ifd + 2 + 9 * 12 + 4;
    const quint32 next = p + 1 < pages ? pixels + static_cast<quint32>(w * h) : 0;
    put16(9);
    const quint16 tags[9][3] = {{256, 3, 0}, {257, 3, 0}, {258, 3, 8}, {259, 3, 1}, {262, 3, 1},
                                {273, 4, 0}, {277, 3, 1}, {278, 3, 0}, {279, 4, 0}};
    const quint32 values[9] = {quint32(w), quint32(h),    8, 1, 1, pixels, 1,
                               quint32(h), quint32(w * h)};
    for (int t = 0; t < 9; ++t) {
      put16(tags[t][0]);
      put16(tags[t][1]);
      put32(1);
      put32(values[t]);
    }
    put32(next);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) out.append(static_cast<char>(x + y + 40 * p));
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
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "formats_test";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvane"));
  }

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    form = std::make_unique<TForm1>(ws);
  }

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
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return file.fileName();
  }

  void open(const QString& path) {
    dialogs.openAnswers.push_back(path);
    form->Button1->click();
  }

  void save(const QString& path) {
    dialogs.saveAnswers.push_back(path);
    form->Button15->click();
  }

  void clear() { form->Button6->click(); }

  // Detection of black points with a 3 x 3 zero matrix, then the default filter.
  void restore() {
    form->Button7->click();
    form->Button8->click();
    form->Button13->click();
  }

  std::vector<int> plane(const Plane& p) const {
    std::vector<int> levels;
    for (int y = 0; y < ws.Alto; ++y)
      for (int x = 0; x < ws.Ancho; ++x) levels.push_back(p[y][x]);
    return levels;
  }

  QTemporaryDir dir;
  FakeDialogs dialogs;
  Workspace ws;
  std::unique_ptr<TForm1> form;
};

// Each row: a fixture in one format, opened, then saved under another name.
TEST_F(FormatsTest, RoundTripsKeepLevelsSizeFormatAndResolution) {
  enum Kept { Levels, Colours, Lossy };
  struct Row {
    const char* in;
    QImage picture;
    const char* inFormat;
    const char* out;
    QImage::Format readBack;  // as Qt's reader gives the saved file
    Kept kept;
    bool resolution;  // the saved format holds dots per metre
  };
  const Row rows[] = {
      {"gray.png", grayFixture(37, 21), "png", "out.png", QImage::Format_Grayscale8, Levels, true},
      {"gray.tif", grayFixture(37, 21), "tiff", "out.tif", QImage::Format_Grayscale8, Levels, true},
      {"gray.pgm", grayFixture(37, 21), "pgm", "out.pgm", QImage::Format_Grayscale8, Levels, false},
      {"gray.PNG", grayFixture(37, 21), "png", "out.BMP", QImage::Format_Indexed8, Levels, true},
      {"gray.webp", grayFixture(37, 21), "png", "out.webp", QImage::Format_RGB32, Levels, false},
      {"palette.png", paletteFixture(19, 8), "png", "out.png", QImage::Format_Indexed8, Colours,
       true},
      {"palette.png", paletteFixture(19, 8), "png", "out.tiff", QImage::Format_Indexed8, Colours,
       true},
      {"palette.bmp", paletteFixture(19, 8), "bmp", "out.pgm", QImage::Format_Grayscale8, Levels,
       false},
      {"palette.png", paletteFixture(19, 8), "png", "out.ppm", QImage::Format_RGB32, Colours,
       false},
      {"colour.png", colourFixture(23, 9), "png", "out.png", QImage::Format_RGB32, Colours, true},
      {"colour.tiff", colourFixture(23, 9), "tiff", "out.tiff", QImage::Format_RGB32, Colours,
       true},
      {"rgb555.bmp", colourFixture(23, 9).convertToFormat(QImage::Format_RGB555), "bmp16",
       "out.png", QImage::Format_RGB32, Colours, true},
      {"colour.ppm", colourFixture(23, 9), "ppm", "out.ppm", QImage::Format_RGB32, Colours, false},
      {"colour.png", colourFixture(23, 9), "png", "out.webp", QImage::Format_RGB32, Colours, false},
      {"alpha.png", colourFixture(23, 9, QImage::Format_ARGB32), "png", "out.png",
       QImage::Format_RGB32, Colours, true},
      {"mono.pbm", monoFixture(13, 7), "pbm", "out.pbm", QImage::Format_Mono, Levels, false},
      {"mono.png", monoFixture(13, 7), "png", "out.png", QImage::Format_Mono, Colours, true},
      {"deep.png", gray16Fixture(37, 21), "png", "out.png", QImage::Format_Grayscale8, Levels,
       true},
      {"deep.tif", gray16Fixture(37, 21), "tiff", "out.tif", QImage::Format_Grayscale8, Levels,
       true},
      {"deep-colour.png", rgba64Fixture(23, 9), "png", "out.png", QImage::Format_RGB32, Colours,
       true},
      {"gray.jpg", grayFixture(37, 21), "jpeg", "out.jpeg", QImage::Format_Grayscale8, Lossy, true},
      {"colour.jpg", colourFixture(23, 9), "jpeg", "out.jpg", QImage::Format_RGB32, Lossy, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.in) + " -> " + row.out);
    const QString in = fixture(row.in, row.picture, row.inFormat);
    // A lossy file opens as the levels it decodes to.
    const QImage opened = row.kept == Lossy ? QImage(in) : row.picture;
    open(in);
    ASSERT_TRUE(ws.ImagenCargada);
    ASSERT_EQ(ws.Ancho, opened.width());
    ASSERT_EQ(ws.Alto, opened.height());
    for (int y = 0; y < ws.Alto; ++y)
      for (int x = 0; x < ws.Ancho; ++x) {
        ASSERT_EQ(ws.ImagenInicial[y][x], qRed(openedColour(opened, x, y))) << x << "," << y;
        ASSERT_EQ(ws.ImagenFinal[y][x], ws.ImagenInicial[y][x]);
      }

    const QString out = dir.filePath(row.out);
    save(out);
    ASSERT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join("; ").toStdString();
    QImageReader reader(out);
    const QImage saved = reader.read();
    ASSERT_FALSE(saved.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(saved.format(), row.readBack);
    EXPECT_EQ(saved.size(), opened.size());
    if (row.resolution) {
      EXPECT_EQ(saved.dotsPerMeterX(), kDpm);
      EXPECT_EQ(saved.dotsPerMeterY(), kDpm);
    }
    if (row.kept == Lossy) {
      EXPECT_EQ(firstQuantiser(contents(out)), 2);
    } else {
      for (int y = 0; y < ws.Alto; ++y)
        for (int x = 0; x < ws.Ancho; ++x) {
          const QRgb expected = openedColour(opened, x, y);
          if (row.kept == Colours) {
            ASSERT_EQ(saved.pixel(x, y), expected) << x << "," << y;
          } else {
            ASSERT_EQ(qRed(saved.pixel(x, y)), qRed(expected)) << x << "," << y;
          }
        }
    }
    clear();
  }
}

// A file is known by its content, and "Imagen Inicial" reloads it as it is.
TEST_F(FormatsTest, ContentDecidesAndTheInitialPictureReloadsAnyFormat) {
  const QImage picture = paletteFixture(9, 4);
  const QString png = fixture("named.bmp", picture, "png");
  open(png);
  ASSERT_TRUE(ws.ImagenCargada);
  EXPECT_EQ(ws.ImagenInicial[3][8], qRed(picture.pixel(8, 3)));
  const std::uint8_t row[9] = {};
  form->drawRow(0, row, 0, 9);
  form->Button11->click();  // "<<"
  ASSERT_EQ(ws.ImagenInicial[0][1], 0);
  form->Button12->click();  // "Imagen Inicial"
  for (int x = 0; x < 9; ++x) EXPECT_EQ(ws.ImagenInicial[0][x], qRed(picture.pixel(x, 0)));
  EXPECT_TRUE(dialogs.messages.isEmpty());
}

// The first page of a multi-page TIFF is opened, and the log says so.
TEST_F(FormatsTest, MultiPageTiffOpensItsFirstPage) {
  open(writeBytes("pages.tif", multiPageTiff(6, 5, 3)));
  ASSERT_TRUE(ws.ImagenCargada);
  EXPECT_EQ(ws.ImagenInicial[4][5], 9);
  EXPECT_EQ(form->Memo1->lines(),
            (QStringList{"Cargando Matriz", "Reservando memoria",
                         QString::fromUtf8("La imagen tiene 3 páginas; se abre la primera")}));
  clear();
  open(writeBytes("page.tif", multiPageTiff(6, 5, 1)));
  EXPECT_EQ(form->Memo1->lines(), (QStringList{"Cargando Matriz", "Reservando memoria"}));
}

TEST_F(FormatsTest, RestorationGivesTheSameLevelsOnPngAsOnBmp) {
  QImage noisy = grayFixture(40, 30);
  for (int i = 0; i < 60; ++i) noisy.scanLine((i * 7) % 30)[(i * 13) % 40] = 0;
  // The same levels as an 8-bit palette BMP on a gray ramp.
  QImage indexed(40, 30, QImage::Format_Indexed8);
  for (int g = 0; g < 256; ++g) indexed.setColor(g, qRgb(g, g, g));
  for (int y = 0; y < 30; ++y) std::memcpy(indexed.scanLine(y), noisy.constScanLine(y), 40);
  std::vector<int> results[2];
  const char* formats[2] = {"bmp", "png"};
  for (int k = 0; k < 2; ++k) {
    open(fixture(QStringLiteral("noisy.%1").arg(formats[k]), k == 0 ? indexed : noisy, formats[k]));
    ASSERT_TRUE(ws.ImagenCargada);
    restore();
    results[k] = plane(ws.ImagenFinal);
    EXPECT_NE(results[k], plane(ws.ImagenInicial));  // the restoration changed something
    clear();
  }
  EXPECT_EQ(results[0], results[1]);
}

TEST_F(FormatsTest, ProcessedJpegSavedAsPngKeepsTheProcessedLevels) {
  QImage noisy = colourFixture(32, 24);
  for (int i = 0; i < 40; ++i) noisy.setPixel((i * 13) % 32, (i * 5) % 24, qRgb(0, 0, 0));
  open(fixture("photo.jpg", noisy, "jpeg"));
  restore();
  const std::vector<int> processed = plane(ws.ImagenFinal);
  ASSERT_NE(processed, plane(ws.ImagenInicial));
  save(dir.filePath("photo.png"));
  const QImage saved(dir.filePath("photo.png"));
  ASSERT_EQ(saved.size(), QSize(32, 24));
  std::vector<int> levels;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 32; ++x) levels.push_back(qRed(saved.pixel(x, y)));
  EXPECT_EQ(levels, processed);
}

// Files that are no picture, or no picture that fits, are refused naming the
// file, and the window stays without a picture.
TEST_F(FormatsTest, UnreadableFilesAreRefusedNamingTheFile) {
  QBuffer tiffBytes;
  tiffBytes.open(QIODevice::WriteOnly);
  ASSERT_TRUE(QImageWriter(&tiffBytes, "tiff").write(grayFixture(64, 64)));
  QBuffer pngBytes;
  pngBytes.open(QIODevice::WriteOnly);
  ASSERT_TRUE(QImageWriter(&pngBytes, "png").write(grayFixture(1, 1)));
  // The header chunk rewritten to 100000 x 100000, with a correct checksum.
  QByteArray huge = pngBytes.data();
  qToBigEndian<quint32>(100000, huge.data() + 16);
  qToBigEndian<quint32>(100000, huge.data() + 20);
  qToBigEndian<quint32>(crc32(huge.mid(12, 17)), huge.data() + 29);
  ASSERT_LT(huge.size(), 400);
  const QString pipe = dir.filePath("pipe.png");
  ASSERT_EQ(mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);

  const QString files[] = {
      writeBytes("empty.png", {}),
      writeBytes("text.png", "no soy una imagen, solo texto\n"),
      writeBytes("cut.tif", tiffBytes.data().left(tiffBytes.data().size() / 2)),
      writeBytes("rows.tif", multiPageTiff(64, 64, 1).chopped(1000)),
      writeBytes("huge.png", huge),
      pipe,
  };
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    dialogs.messages.clear();
    open(file);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].contains(file));
    EXPECT_FALSE(ws.ImagenCargada || ws.ImagenInicial.exists() || ws.Auxiliar1.exists() || ws.Alto);
    EXPECT_EQ(form->Label2->text(), "No hay ninguna imagen seleccionada");
  }
  open(fixture("fine.png", grayFixture(3, 3), "png"));
  EXPECT_TRUE(ws.ImagenCargada);
}

// Saving follows the typed extension; a name without one is a BMP. A picture a
// format cannot hold, or a place that cannot be written, is refused naming the
// file and leaves what was there.
TEST_F(FormatsTest, SavingFollowsTheExtensionAndFailsWithoutHarm) {
  struct Recording : FakeDialogs {
    QString openFilter, saveFilter, defaultExt;
    std::optional<QString> openFile(const QString& filter, const QString& current) override {
      openFilter = filter;
      return FakeDialogs::openFile(filter, current);
    }
    std::optional<QString> saveFile(const QString& filter, const QString& ext,
                                    const QString& current) override {
      saveFilter = filter;
      defaultExt = ext;
      return FakeDialogs::saveFile(filter, ext, current);
    }
  } recording;
  const QString filters = QString::fromUtf8(
      "Imagen BMP (*.bmp);;"
      "Imágenes (*.bmp *.png *.tif *.tiff *.jpg *.jpeg *.pgm *.ppm *.pbm *.webp);;"
      "Todos los archivos (*)");

  recording.openAnswers.push_back(fixture("in.tif", grayFixture(300, 200), "tiff"));
  form->Button1->click();
  ASSERT_TRUE(ws.ImagenCargada);
  EXPECT_EQ(qtFilter(recording.openFilter), filters);

  const struct {
    const char* typed;
    const char* written;
    const char* format;
  } names[] = {{"plain", "plain.bmp", "bmp"},
               {"upper.TIFF", "upper.TIFF", "tiff"},
               {"other.v2", "other.v2", "bmp"}};
  for (const auto& name : names) {
    recording.saveAnswers.push_back(dir.filePath(name.typed));
    form->Button15->click();
    QImageReader reader(dir.filePath(name.written));
    EXPECT_EQ(reader.format(), name.format) << name.typed;
  }
  EXPECT_EQ(qtFilter(recording.saveFilter), filters);
  EXPECT_EQ(recording.defaultExt, "bmp");

  // A level other than black or white has no place in a PBM; a directory that
  // is not there; a file size limit that stops the write halfway.
  const QByteArray pbm("P1\n1 1\n0\n");
  const QString kept = writeBytes("kept.pbm", pbm);
  const QString tiff = writeBytes("kept.tif", pbm);
  for (const QString& target : {kept, dir.filePath("no/such/dir/x.png"), tiff}) {
    SCOPED_TRACE(target.toStdString());
    recording.messages.clear();
    recording.saveAnswers.push_back(target);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const rlimit small{4096, old.rlim_max};
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (target == tiff) {
      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    form->Button15->click();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);
    ASSERT_EQ(recording.messages.size(), 1);
    EXPECT_TRUE(recording.messages[0].contains(target));
  }
  EXPECT_EQ(contents(kept), pbm);
  EXPECT_EQ(contents(tiff), pbm);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter("kept"),
            (QStringList{"kept.pbm", "kept.tif"}));
}

}  // namespace
}  // namespace morvane
