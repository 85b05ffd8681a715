// The window as a desktop program, driven through the real widgets; Qt's own
// dialogs are answered once they are up.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>

#include "app/main_window.h"
#include "support/fake_dialogs.h"
#include "tests/support/application.h"
#include "tests/support/child.h"
#include "tests/support/picture_files.h"
#include "toolkit/desktop.h"
#include "toolkit/picture_view.h"

namespace morvane {
namespace {

// Runs answer on the next modal dialog once it is shown, which must be a Dialog.
template <class Dialog = QFileDialog>
struct WhenModal {
  explicit WhenModal(std::function<void(Dialog*)> answer) : answer_(std::move(answer)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        timer_.stop();
        auto* dialog = qobject_cast<Dialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        answer_(dialog);
        answered = true;
      }
    });
    timer_.start(5);
  }
  bool answered = false;
  std::function<void(Dialog*)> answer_;
  QTimer timer_;
};

const QStringList kFilters = {
    "Imagen BMP (*.bmp)",
    "Imágenes (*.bmp *.png *.tif *.tiff *.jpg *.jpeg *.pgm *.ppm *.pbm *.pnm *.webp)",
    "Todos los archivos (*)"};

class DesktopTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    EnsureApplication();
    ASSERT_TRUE(loadQtSpanish(*QCoreApplication::instance()));
  }

  void SetUp() override {
    ASSERT_TRUE(dir.isValid() && settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    form = std::make_unique<VentanaPrincipal>(ws);
  }

  QString write(const QString& name, const QImage& image) {
    EXPECT_TRUE(image.save(dir.filePath(name)));
    return dir.filePath(name);
  }
  QString writeBytes(const QString& name, const QByteArray& bytes) {
    EXPECT_TRUE(writeFileBytes(dir.filePath(name), bytes));
    return dir.filePath(name);
  }
  static QImage gray(int width, int height, QImage::Format format = QImage::Format_Grayscale8) {
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        image.setPixelColor(x, y, QColor::fromRgb(x * 9, x * 9, x * 9));
    return image;
  }
  // A result not saved yet: the erosion by the zero matrix drawn in the right view.
  static void makeResult(VentanaPrincipal& window) {
    child<QPushButton>(window, "cargarMatrizButton")->click();
    window.onErosion();
    ASSERT_TRUE(window.hasUnsavedResult());
  }

  QTemporaryDir dir;
  QTemporaryDir settingsDir;
  Workspace ws;
  std::unique_ptr<VentanaPrincipal> form;
};

TEST_F(DesktopTest, QtDialogsSpeakSpanishAndTheOpenDialogRemembersFolderAndFilter) {
  QDir(dir.path()).mkdir("fotos");
  const QString png = write("fotos/vieja.png", gray(20, 10));
  WhenModal<> open([&](QFileDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Abrir");
    EXPECT_EQ(dialog->findChild<QLabel*>("lookInLabel")->text(), "Ver en:");
    auto* buttons = dialog->findChild<QDialogButtonBox*>();
    EXPECT_EQ(buttons->button(QDialogButtonBox::Open)->text().remove('&'), "Abrir");
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text().remove('&'), "Cancelar");
    EXPECT_EQ(dialog->nameFilters(), kFilters);
    EXPECT_EQ(dialog->selectedNameFilter(), kFilters[0]);
    dialog->selectNameFilter(kFilters[1]);
    dialog->selectFile(png);
    static_cast<QDialog*>(dialog)->accept();
  });
  child<QPushButton>(*form, "abrirImagenButton")->click();
  ASSERT_TRUE(open.answered && ws.ImagenCargada);

  // The save dialog offers the result beside the picture, as the same kind of file.
  WhenModal<> save([&](QFileDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Guardar como");
    EXPECT_EQ(QFileInfo(dialog->directory().path()), QFileInfo(dir.filePath("fotos")));
    EXPECT_EQ(dialog->findChild<QLineEdit*>("fileNameEdit")->text(), "vieja_restaurada.png");
    EXPECT_EQ(dialog->selectedNameFilter(), kFilters[1]);
    EXPECT_EQ(dialog->nameFilters(), kFilters);
    EXPECT_EQ(dialog->defaultSuffix(), "bmp");  // a name typed without one is a BMP
    dialog->reject();
  });
  child<QPushButton>(*form, "guardarImagenButton")->click();
  ASSERT_TRUE(save.answered);

  // The next run starts where this one left, whatever folder Qt's dialogs
  // visited since.
  QDir(dir.path()).mkdir("otra");
  QFileDialog elsewhere(nullptr, QString(), dir.filePath("otra"));
  Workspace nextWs;
  VentanaPrincipal nextRun(nextWs);
  WhenModal<> answer([&](QFileDialog* dialog) {
    EXPECT_EQ(QFileInfo(dialog->directory().path()), QFileInfo(dir.filePath("fotos")));
    EXPECT_EQ(dialog->selectedNameFilter(), kFilters[1]);
    dialog->reject();
  });
  child<QPushButton>(nextRun, "abrirImagenButton")->click();
  EXPECT_TRUE(answer.answered && !nextWs.ImagenCargada);
}

TEST_F(DesktopTest, ADroppedFileOpensAsAbrirImagenWould) {
  FakeDialogs fake;
  const QString bmp = write("gota.bmp", gray(8, 6));
  QMimeData text, file;
  text.setText("gota.bmp");
  file.setUrls({QUrl::fromLocalFile(bmp)});
  for (const auto& [mime, wanted] : {std::pair{&text, false}, std::pair{&file, true}}) {
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &enter);
    EXPECT_EQ(enter.isAccepted(), wanted) << mime->text().toStdString();
  }

  // Onto the left view, then onto the log: each hands the drop to the window.
  for (QWidget* target : {static_cast<QWidget*>(child<PictureView>(*form, "imagenInicialView")),
                          child<Memo>(*form, "logMemo")->viewport()}) {
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
    QCoreApplication::processEvents();
  }
  EXPECT_TRUE(ws.ImagenCargada && ws.Ancho == 8 && ws.Alto == 6);
  EXPECT_EQ(child<Memo>(*form, "logMemo")->lines(),
            (QStringList{"Cargando Matriz", "Reservando memoria"}));
  EXPECT_EQ(form->openedFileName(), bmp);  // "Imagen Inicial" reads it again
  EXPECT_EQ(fake.messages, QStringList{"Hay una imagen cargada"});  // the second drop
}

// The title names the file, its size and depth; a picture named on the command
// line, as a path or a URL, opens without a dialog.
TEST_F(DesktopTest, TheTitleNamesTheFileItsSizeAndDepth) {
  FakeDialogs fake;
  QImage colour(5, 4, QImage::Format_RGB32);
  colour.fill(qRgb(200, 30, 40));
  const QString bmp = write("gris.bmp", gray(7, 5));
  const struct {
    QString path;  // "arg:" is the command line's
    const char* title;
  } cases[] = {
      {bmp, "gris.bmp (7 × 5, 8 bits)"},
      {"arg:" + bmp, "gris.bmp (7 × 5, 8 bits)"},
      {"arg:" + QUrl::fromLocalFile(bmp).toString(), "gris.bmp (7 × 5, 8 bits)"},
      {write("gris16.png", gray(9, 3, QImage::Format_Grayscale16)),
       "gris16.png (9 × 3, 16 bits leídos como 8)"},
      {write("gris16.tif", gray(9, 3, QImage::Format_Grayscale16)),
       "gris16.tif (9 × 3, 16 bits leídos como 8)"},
      {writeBytes("gris16.pgm", "P5 # 16 bits\n9 3\n65535\n" + QByteArray(9 * 3 * 2, '\x40')),
       "gris16.pgm (9 × 3, 16 bits leídos como 8)"},
      {writeBytes("gris.pgm", "P5\n9 3 255\n" + QByteArray(9 * 3, '\x40')),
       "gris.pgm (9 × 3, 8 bits)"},
      {write("color.png", colour),
       "color.png (5 × 4, 24 bits, color: se trabaja con el canal rojo)"},
  };
  form->openArguments({"morvane"});
  EXPECT_FALSE(ws.ImagenCargada);
  EXPECT_EQ(form->windowTitle(), "Morvane");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    if (c.path.startsWith("arg:")) {
      form->openArguments({"morvane", c.path.mid(4)});
    } else {
      fake.openAnswers.push_back(c.path);
      child<QPushButton>(*form, "abrirImagenButton")->click();
    }
    EXPECT_TRUE(ws.ImagenCargada);
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8("Morvane — ") + QString::fromUtf8(c.title));
    child<QPushButton>(*form, "borrarButton")->click();
    EXPECT_EQ(form->windowTitle(), "Morvane");
  }
}

// Closing, by the window or by the menu's Salir, asks first about a result not
// saved (not about one saved, nor one Borrar dropped on purpose), and the
// answer decides: Guardar closes once the result is written.
TEST_F(DesktopTest, ClosingWithAnUnsavedResultAsksFirst) {
  FakeDialogs fake;
  const QString bmp = write("r.bmp", gray(6, 5)), saved = dir.filePath("r_restaurada.bmp");
  enum Before { NoResult, Result, Saved, Dropped };
  using enum SaveChoice;
  const QString asked = "La imagen final no se ha guardado. ¿Guardarla antes de salir?";
  const struct {
    Before before;
    SaveChoice choice;
    std::optional<QString> saveAs;  // the save dialog's answer
    bool closes;
    bool salir = false;
  } cases[] = {{NoResult, Cancel, {}, true}, {Saved, Cancel, {}, true},
               {Dropped, Cancel, {}, true},  {Result, Discard, {}, true},
               {Result, Cancel, {}, false},  {Result, Cancel, {}, false, true},
               {Result, Save, {}, false},    {Result, Save, saved, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.before << " " << int(c.choice) << " " << c.salir);
    Workspace caseWs;
    VentanaPrincipal window(caseWs);
    fake.saveQuestions.clear(), fake.saveChoices = {c.choice};
    fake.saveAnswers = {c.before == Saved ? dir.filePath("otra.bmp") : c.saveAs};
    fake.openAnswers.push_back(bmp);
    child<QPushButton>(window, "abrirImagenButton")->click();
    window.show();
    if (c.before != NoResult) makeResult(window);
    if (c.before == Saved) child<QPushButton>(window, "guardarImagenButton")->click();
    if (c.before == Dropped) child<QPushButton>(window, "borrarButton")->click();
    if (c.salir) child<QAction>(window, "salirAction")->trigger();
    if (!c.salir) window.close();
    EXPECT_EQ(window.isVisible(), !c.closes);
    EXPECT_EQ(fake.saveQuestions, c.before == Result ? QStringList{asked} : QStringList{});
    EXPECT_EQ(QFile::exists(saved), c.saveAs.has_value());
  }
  EXPECT_EQ(fake.saveCount, 3);
}

// Ctrl+O, Ctrl+S and Ctrl+Q run their commands; Qt's own question before
// closing offers Guardar, Descartar and Cancelar, Escape being Cancelar.
TEST_F(DesktopTest, ShortcutsAndTheRealQuestionBeforeClosing) {
  form->show();
  QApplication::setActiveWindow(form.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  {
    FakeDialogs fake;
    fake.openAnswers.push_back(write("q.bmp", gray(6, 5)));
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);  // cancelled
    ASSERT_TRUE(ws.ImagenCargada && fake.saveCount == 1);
    makeResult(*form);
  }
  WhenModal<QMessageBox> answer([](QMessageBox* box) {
    QStringList texts;
    for (QAbstractButton* button : box->buttons()) texts.append(button->text());
    texts.sort();
    EXPECT_EQ(texts, (QStringList{"Cancelar", "Descartar", "Guardar"}));
    QTest::keyClick(box, Qt::Key_Escape);
  });
  QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_TRUE(answer.answered && form->isVisible());
}

}  // namespace
}  // namespace morvane
