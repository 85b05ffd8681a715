// The file of the open picture is the document's: "Imagen Inicial" reads the
// file that was opened, whatever name the open dialog holds afterwards.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/main_window.h"
#include "support/fake_dialogs.h"

namespace morvane {
namespace {

std::vector<int> Levels(const Plane& plane, int alto, int ancho) {
  std::vector<int> levels;
  for (int y = 0; y < alto; ++y)
    for (int x = 0; x < ancho; ++x) levels.push_back(plane[y][x]);
  return levels;
}

TEST(Document, ImagenInicialReadsTheOpenedFileNotTheDialogsName) {
  static int argc = 1;
  static char name[] = "document_test", *argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  std::vector<int> opened;
  for (const char* file : {"b.bmp", "a.bmp"}) {
    QImage image(6, 4, QImage::Format_Grayscale8);
    opened.clear();
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) {
        opened.push_back(file[0] == 'a' ? 10 * x + y : 250 - x);
        image.setPixel(x, y, qRgb(opened.back(), opened.back(), opened.back()));
      }
    ASSERT_TRUE(image.save(dir.filePath(file), "BMP"));
  }
  FakeDialogs dialogs;
  Workspace ws;
  TForm1 form(ws);
  dialogs.openAnswers.push_back(dir.filePath("a.bmp"));
  form.Button1->click();
  ASSERT_TRUE(ws.ImagenCargada);
  form.OpenDialog1.FileName = dir.filePath("b.bmp");  // the dialog's name moves on

  std::vector<int> drawn;
  for (int y = 0; y < 4; ++y) {
    std::uint8_t row[6];
    for (int x = 0; x < 6; ++x) drawn.push_back(row[x] = static_cast<std::uint8_t>(99 + x));
    form.drawRow(y, row, 0, 6);
  }
  form.Button11->click();  // "<<"
  EXPECT_EQ(Levels(ws.ImagenInicial, 4, 6), drawn);
  form.Button12->click();  // "Imagen Inicial"
  EXPECT_EQ(Levels(ws.ImagenInicial, 4, 6), opened);
  EXPECT_TRUE(dialogs.messages.isEmpty());
}

}  // namespace
}  // namespace morvane
