// The main window: four pages ("Imagenes", "Matriz de detección",
// "Restauracion", "Automática"), the menu, the Normal and Avanzado modes, and one short
// handler per command, each delegating to the function that does the work.
#pragma once

#include <QMainWindow>
#include <memory>
#include <vector>

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

namespace morvane {

class PictureView;
class ProgressBar;

class VentanaPrincipal : public QMainWindow, public MessageLog, public ResultView {
  Q_OBJECT
 public:
  explicit VentanaPrincipal(Workspace& ws = Workspace::instance(), QWidget* parent = nullptr);
  ~VentanaPrincipal() override;

  // One handler per command. The menu items run the handler of the button with
  // the same caption.
  // Picture commands.
  void onAbrirImagen();
  void onBorrar();
  void onCopiarFinalEnInicial();    // "<<"
  void onRecuperarImagenInicial();  // "Imagen Inicial"
  void onGuardarImagen();
  // Detections and restoration.
  void onPuntosNegros();
  void onPuntosBlancos();
  void onRestaurar();
  // The automatic restoration, on its own page: no matrix, threshold or detection.
  void onRestauracionAutomatica();
  // Advanced operations.
  void onDilatacion();
  void onErosion();
  void onCierre();
  void onApertura();
  void onInicialMenosFinal();
  void onFinalMenosInicial();
  // Matrix page.
  void onTamanoMatrizChanged();
  void onFactorNChanged();
  void onFactorNExited();
  void onCargarMatriz();
  // Restoration page.
  void onUmbralChanged();
  void onUmbralExited();
  void onFiltroChanged();
  // Views.
  void onImagenInicialViewDoubleClicked();
  void onImagenFinalViewDoubleClicked();
  // Menu.
  void onSalir();
  void onNormal();
  void onAvanzado();

  // Opens a named file as "Abrir Imagen" opens the one chosen in its dialog (a
  // file dropped on the window, or named on the command line).
  void openFile(const QString& fileName);
  // The program's arguments: the first one after the program's own name is a
  // picture to open at start.
  void openArguments(const QStringList& arguments);
  // A command changed the right view since the picture was opened or saved.
  bool hasUnsavedResult() const { return unsavedResult_; }
  // The file of the open picture, as the open dialog last gave it.
  const QString& openedFileName() const { return documento_->nombre(); }
  // The inspection windows, created hidden with the main window.
  const VentanasInspeccion& ventanas() const { return ventanas_; }

  // MessageLog
  void clear() override;
  void append(const char* utf8Line) override;
  // ResultView: the right view and the progress bar.
  void drawRow(int y, const std::uint8_t* levels, int x0, int x1) override;
  void stepProgress() override;
  void resetProgress() override;
  void setTitle(const char* utf8Title) override;
  void showView() override;

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
  // The open picture: the views' pictures, the planes and the file's name.
  std::unique_ptr<Documento> documento_;

  void buildPages();
  void buildMenu();
  void wireEvents();
  // The creation handler: the matrix page's defaults.
  void onCrear();
  PictureControls pictureControls();
  void setAdvancedItemsEnabled(bool enabled);
  void layOutGrid(int size);

  Workspace& ws_;
  bool unsavedResult_ = false;

  // The controls the handlers read or change; every control of the pages has
  // its member's name, without the underscore, as its object name.
  QLabel* titleLabel_;
  QLabel* sinImagenLabel_;
  PictureView* imagenInicialView_;
  PictureView* imagenFinalView_;
  QPushButton* imagenInicialButton_;
  Memo* logMemo_;
  ProgressBar* progressBar_;
  QFrame* avanzadoPanel_;
  RadioGroup* tamanoMatrizGroup_;
  Edit* factorNEdit_;
  RadioGroup* tipoMatrizGroup_;
  StringGrid* matrizGrid_;
  RadioGroup* filtroGroup_;
  Edit* umbralEdit_;
  QComboBox* tamanoFiltroCombo_;
  QCheckBox* incluirDanadosCheck_;
  QLabel* proporcionDanadosLabel_;
  OpenDialog openDialog_;
  SaveDialog saveDialog_;
  // Menu items the modes switch.
  QAction* normalAction_;
  QAction* avanzadoAction_;
  std::vector<QAction*> advancedActions_;

  VentanasInspeccion ventanas_{};
};

}  // namespace morvane
