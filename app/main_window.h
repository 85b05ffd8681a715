// The main window: three pages ("Imagenes", "Matriz de detección",
// "Restauracion"), the menu, the Normal and Avanzado modes, and one short
// handler per command, each delegating to the function that does the work.
#pragma once

#include <QMainWindow>
#include <memory>

#include "app/picture_commands.h"
#include "inspection/image_windows.h"
#include "toolkit/controls.h"
#include "toolkit/dialogs.h"
#include "workspace/workspace.h"

class QAction;
class QCheckBox;
class QCloseEvent;
class QComboBox;
class QDragEnterEvent;
class QDropEvent;
class QFrame;
class QLabel;
class QPushButton;
class QTabWidget;

namespace morvane {

class PictureView;
class ProgressBar;

class TForm1 : public QMainWindow, public MessageLog, public ResultView {
  Q_OBJECT
 public:
  explicit TForm1(Workspace& ws = Workspace::instance(), QWidget* parent = nullptr);
  ~TForm1() override;

  // Creation handler: the matrix page's defaults.
  void FormCreate();

  // Picture commands.
  void Button1Click();   // "Abrir Imagen"
  void Button6Click();   // "Borrar"
  void Button11Click();  // "<<"
  void Button12Click();  // "Imagen Inicial"
  void Button15Click();  // "Guardar Imagen"
  // Detections and restoration.
  void Button8Click();   // "Puntos Negros"
  void Button9Click();   // "Puntos Blancos"
  void Button13Click();  // "Restaurar"
  // Advanced operations.
  void Button2Click();   // "Dilatacion"
  void Button3Click();   // "Erosion"
  void Button4Click();   // "Cierre"
  void Button5Click();   // "Apertura"
  void Button10Click();  // "Inicial - Final"
  void Button14Click();  // "Final - Inicial"
  // Matrix page.
  void RadioGroup1Click();
  void Edit1Change();
  void Edit1Exit();
  void Button7Click();  // "Cargar Matriz"
  // Restoration page.
  void Edit2Change();
  void Edit2Exit();
  void RadioGroup3Click();
  // Views.
  void Image1DblClick();
  void Image2DblClick();
  // Menu.
  void Abrir1Click() { Button1Click(); }
  void Guardar1Click() { Button15Click(); }
  void Salir1Click();
  void PuntosNegros1Click() { Button8Click(); }
  void PuntosBlancos1Click() { Button9Click(); }
  void Restaurar1Click() { Button13Click(); }
  void Dilatacion1Click() { Button2Click(); }
  void Erosion1Click() { Button3Click(); }
  void Cierre1Click() { Button4Click(); }
  void Apertura1Click() { Button5Click(); }
  void InicialFinal1Click() { Button10Click(); }
  void FinalInicial1Click() { Button14Click(); }
  void Normal1Click();
  void Avanzado1Click();

  // Opens a named file as "Abrir Imagen" opens the one chosen in its dialog (a
  // file dropped on the window, or named on the command line).
  void openFile(const QString& fileName);
  // The program's arguments: the first one after the program's own name is a
  // picture to open at start.
  void openArguments(const QStringList& arguments);
  // A command changed the right view since the picture was opened or saved.
  bool hasUnsavedResult() const { return unsavedResult_; }

  // MessageLog
  void clear() override;
  void append(const char* utf8Line) override;
  // ResultView: the right view and the progress bar.
  void drawRow(int y, const std::uint8_t* levels, int x0, int x1) override;
  void stepProgress() override;
  void resetProgress() override;
  void setTitle(const char* utf8Title) override;
  void showView() override;

  Workspace& ws;

  // Controls, named as the commands know them.
  QTabWidget* PageControl1;
  QWidget* TabSheet1;
  QWidget* TabSheet2;
  QWidget* TabSheet3;
  // Imagenes
  QPushButton* Button1;
  QPushButton* Button6;
  QPushButton* Button12;
  QPushButton* Button15;
  QLabel* Label1;
  QFrame* Panel1;
  QLabel* Label2;
  PictureView* Image1;
  QFrame* Panel4;
  QPushButton* Button8;
  QPushButton* Button9;
  QPushButton* Button13;
  QPushButton* Button11;
  QFrame* Panel2;
  PictureView* Image2;
  QLabel* Label11;
  QLabel* Label12;
  Memo* Memo1;
  QFrame* Panel8;
  QPushButton* Button2;
  QPushButton* Button3;
  QPushButton* Button5;
  QPushButton* Button4;
  QPushButton* Button14;
  QPushButton* Button10;
  QFrame* Panel5;
  ProgressBar* ProgressBar1;
  QLabel* Label10;
  // Matriz de detección
  QFrame* Panel3;
  QLabel* Label9;
  RadioGroup* RadioGroup1;
  QLabel* Label5;
  Edit* Edit1;
  RadioGroup* RadioGroup2;
  QPushButton* Button7;
  QLabel* Label3;
  StringGrid* StringGrid1;
  // Restauracion
  QFrame* Panel6;
  QLabel* Label6;
  RadioGroup* RadioGroup3;
  QFrame* Panel7;
  QLabel* Label7;
  QLabel* Label4;
  Edit* Edit2;
  QLabel* Label8;
  QComboBox* ComboBox1;
  QCheckBox* CheckBox1;
  // Dialogs
  OpenDialog OpenDialog1;
  SaveDialog SaveDialog1;
  // Menu
  QAction* Abrir1;
  QAction* Guardar1;
  QAction* Salir1;
  QAction* PuntosNegros1;
  QAction* PuntosBlancos1;
  QAction* Restaurar1;
  QAction* Dilatacion1;
  QAction* Erosion1;
  QAction* Cierre1;
  QAction* Apertura1;
  QAction* InicialFinal1;
  QAction* FinalInicial1;
  QAction* Normal1;
  QAction* Avanzado1;

  // The inspection windows, created hidden with the main window.
  VentanasInspeccion Ventanas{};

 protected:
  // Closing with an unsaved result asks first; a picture file dropped on the
  // window is opened.
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Whether the window may close: asks to save an unsaved result.
  bool mayClose();
  // After an open: the title and the name the save dialog offers.
  void opened(bool hadPicture);
  // "Morvane", or "Morvane — name (size, depth)" while a picture is open.
  void showPictureInTitle();
  bool unsavedResult_ = false;
  // The open picture: the views' pictures, the planes and the file's name.
  std::unique_ptr<Documento> documento_;

  void buildImagesPage();
  void buildMatrixPage();
  void buildRestorationPage();
  void buildMenu();
  void wireEvents();
  PictureControls pictureControls();
  void setAdvancedItemsEnabled(bool enabled);
  void layOutGrid(int size);
};

}  // namespace morvane
