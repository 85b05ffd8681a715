// The window as a desktop program: Qt's own dialogs in Spanish, the open
// dialog's memory across runs, the offered save name, drops, the command line,
// the title, the question before losing a result, and the shortcuts. Driven
// through the real widgets; Qt's own dialogs are answered once they are up.
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
#include "toolkit/desktop.h"
#include "toolkit/picture_view.h"

namespace morvane {
namespace {

// Runs answer on the next modal dialog once it is shown.
class WhenModal {
 public:
  explicit WhenModal(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        timer_.stop();
        answer_(modal);
        answered = true;
      }
    });
    timer_.start(5);
  }
  bool answered = false;

 private:
  std::function<void(QWidget*)> answer_;
  QTimer timer_;
};

QString withoutMnemonic(QString text) {
  return text.remove(QLatin1Char('&'));
}

class DesktopTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    EnsureApplication();
    QApplication::setApplicationName(QStringLiteral("Morvane"));
    ASSERT_TRUE(loadQtSpanish(*QCoreApplication::instance()));
  }

  void SetUp() override {
    ASSERT_TRUE(dir.isValid() && settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    form = std::make_unique<VentanaPrincipal>(ws);
  }

  QString write(const QString& name, const QImage& image) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(image.save(path));
    return path;
  }
  QString writeBytes(const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return file.fileName();
  }
  static QImage gray(int width, int height, QImage::Format format = QImage::Format_Grayscale8) {
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        image.setPixelColor(x, y, QColor::fromRgb(x * 9, x * 9, x * 9));
    return image;
  }
  // A result not saved yet: the erosion by the zero matrix drawn in the right view.
  void makeResult() {
    child<QPushButton>(*form, "cargarMatrizButton")->click();
    form->onErosion();
    ASSERT_TRUE(form->hasUnsavedResult());
  }

  QTemporaryDir dir;
  QTemporaryDir settingsDir;
  Workspace ws;
  std::unique_ptr<VentanaPrincipal> form;
};

TEST_F(DesktopTest, QtDialogsSpeakSpanishAndTheOpenDialogRemembersFolderAndFilter) {
  QDir(dir.path()).mkdir("fotos");
  const QString png = write("fotos/vieja.png", gray(20, 10));
  QString imagesFilter;
  {
    WhenModal answer([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->windowTitle(), "Abrir");
      EXPECT_EQ(dialog->findChild<QLabel*>("lookInLabel")->text(), "Ver en:");
      auto* buttons = dialog->findChild<QDialogButtonBox*>();
      EXPECT_EQ(withoutMnemonic(buttons->button(QDialogButtonBox::Open)->text()), "Abrir");
      EXPECT_EQ(withoutMnemonic(buttons->button(QDialogButtonBox::Cancel)->text()), "Cancelar");
      EXPECT_EQ(dialog->nameFilters().value(0), "Imagen BMP (*.bmp)");
      EXPECT_EQ(dialog->selectedNameFilter(), "Imagen BMP (*.bmp)");
      imagesFilter = dialog->nameFilters().value(1);
      dialog->selectNameFilter(imagesFilter);
      dialog->selectFile(png);
      static_cast<QDialog*>(dialog)->accept();
    });
    child<QPushButton>(*form, "abrirImagenButton")->click();
    ASSERT_TRUE(answer.answered && ws.ImagenCargada);
  }

  // The save dialog offers the result beside the picture, as the same kind of file.
  {
    WhenModal answer([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->windowTitle(), "Guardar como");
      EXPECT_EQ(QFileInfo(dialog->directory().path()), QFileInfo(dir.filePath("fotos")));
      EXPECT_EQ(dialog->findChild<QLineEdit*>("fileNameEdit")->text(), "vieja_restaurada.png");
      EXPECT_EQ(dialog->selectedNameFilter(), imagesFilter);
      EXPECT_EQ(dialog->nameFilters().value(0), "Imagen BMP (*.bmp)");
      dialog->reject();
    });
    child<QPushButton>(*form, "guardarImagenButton")->click();
    ASSERT_TRUE(answer.answered);
  }

  // The next run starts where this one left, whatever folder Qt's dialogs
  // visited since.
  QDir(dir.path()).mkdir("otra");
  QFileDialog elsewhere(nullptr, QString(), dir.filePath("otra"));
  Workspace nextWs;
  VentanaPrincipal nextRun(nextWs);
  WhenModal answer([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(QFileInfo(dialog->directory().path()), QFileInfo(dir.filePath("fotos")));
    EXPECT_EQ(dialog->selectedNameFilter(), imagesFilter);
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
  EXPECT_EQ(fake.openCount, 0);
  EXPECT_EQ(fake.messages, QStringList{"Hay una imagen cargada"});  // the second drop
}

TEST_F(DesktopTest, ThePictureNamedOnTheCommandLineIsOpened) {
  FakeDialogs fake;
  const QString bmp = write("arg.bmp", gray(4, 3));
  form->openArguments({"morvane"});
  EXPECT_FALSE(ws.ImagenCargada);
  for (const QString& argument : {bmp, QUrl::fromLocalFile(bmp).toString()}) {
    child<QPushButton>(*form, "borrarButton")->click();
    form->openArguments({"morvane", argument});
    EXPECT_TRUE(ws.ImagenCargada && ws.Ancho == 4) << argument.toStdString();
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8("Morvane — arg.bmp (4 × 3, 8 bits)"));
  }
  EXPECT_EQ(fake.openCount, 0);
}

TEST_F(DesktopTest, TheTitleNamesTheFileItsSizeAndDepth) {
  FakeDialogs fake;
  QImage colour(5, 4, QImage::Format_RGB32);
  colour.fill(qRgb(200, 30, 40));
  const struct {
    QString path;
    const char* title;
  } cases[] = {
      {write("gris.bmp", gray(7, 5)), "gris.bmp (7 × 5, 8 bits)"},
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
  EXPECT_EQ(form->windowTitle(), "Morvane");
  for (const auto& c : cases) {
    fake.openAnswers.push_back(c.path);
    child<QPushButton>(*form, "abrirImagenButton")->click();
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8("Morvane — ") + QString::fromUtf8(c.title));
    child<QPushButton>(*form, "borrarButton")->click();
    EXPECT_EQ(form->windowTitle(), "Morvane");
  }
}

TEST_F(DesktopTest, ClosingWithAnUnsavedResultAsksFirst) {
  FakeDialogs fake;
  const QString bmp = write("r.bmp", gray(6, 5));
  const QString saved = dir.filePath("r_restaurada.bmp");
  const struct {
    std::optional<SaveChoice> choice;  // nothing: the result is saved before closing
    std::optional<QString> saveAs;     // the save dialog's answer
    bool closes;
  } cases[] = {
      {std::nullopt, std::nullopt, true},        {SaveChoice::Discard, std::nullopt, true},
      {SaveChoice::Cancel, std::nullopt, false}, {SaveChoice::Save, std::nullopt, false},
      {SaveChoice::Save, saved, true},
  };
  for (const auto& c : cases) {
    Workspace caseWs;
    VentanaPrincipal window(caseWs);
    fake.saveQuestions.clear();
    fake.saveAnswers.clear();
    fake.openAnswers.push_back(bmp);
    child<QPushButton>(window, "abrirImagenButton")->click();
    window.show();
    if (c.choice) {
      child<QPushButton>(window, "cargarMatrizButton")->click();
      window.onErosion();
      fake.saveChoices.push_back(*c.choice);
      fake.saveAnswers.push_back(c.saveAs);
    }
    EXPECT_EQ(window.close(), c.closes);
    EXPECT_EQ(fake.saveQuestions.size(), c.choice ? 1 : 0);
    EXPECT_EQ(QFile::exists(saved), c.saveAs.has_value());
  }
  ASSERT_EQ(fake.saveCount, 2);

  // The menu's Salir asks too; a saved result is not asked about.
  fake.openAnswers.push_back(bmp);
  child<QPushButton>(*form, "abrirImagenButton")->click();
  form->show();
  makeResult();
  fake.saveQuestions.clear();
  child<QAction>(*form, "salirAction")->trigger();
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(fake.saveQuestions,
            QStringList{QString::fromUtf8(
                "La imagen final no se ha guardado. ¿Guardarla antes de salir?")});
  fake.saveAnswers = {dir.filePath("otra.bmp")};
  child<QPushButton>(*form, "guardarImagenButton")->click();
  EXPECT_FALSE(form->hasUnsavedResult());
  makeResult();
  child<QPushButton>(*form, "borrarButton")->click();  // Borrar drops the result on purpose
  EXPECT_TRUE(form->close());
  EXPECT_EQ(fake.saveQuestions.size(), 1);
}

TEST_F(DesktopTest, TheRealQuestionOffersGuardarDescartarCancelar) {
  {
    FakeDialogs fake;
    fake.openAnswers.push_back(write("q.bmp", gray(6, 5)));
    child<QPushButton>(*form, "abrirImagenButton")->click();
    makeResult();
  }
  form->show();
  WhenModal answer([](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    QStringList texts;
    for (QAbstractButton* button : box->buttons()) texts.append(button->text());
    texts.sort();
    EXPECT_EQ(texts, (QStringList{"Cancelar", "Descartar", "Guardar"}));
    QTest::keyClick(box, Qt::Key_Escape);  // Escape is Cancelar
  });
  EXPECT_FALSE(form->close());
  EXPECT_TRUE(answer.answered && form->isVisible());
}

TEST_F(DesktopTest, StandardShortcutsRunTheirCommands) {
  FakeDialogs fake;
  form->show();
  QApplication::setActiveWindow(form.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);  // Abrir Imagen (cancelled)
  EXPECT_EQ(fake.openCount, 1);
  QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);  // Guardar Imagen
  EXPECT_EQ(fake.messages, QStringList{"No hay imagen para guardar"});
  QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);  // Salir
  EXPECT_FALSE(form->isVisible());
}

}  // namespace
}  // namespace morvane
