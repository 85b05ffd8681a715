#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QUrl>

#include "app/page_choices.h"
#include "inspection/pixel_map.h"
#include "morphology/composite.h"
#include "morphology/detection.h"
#include "morphology/matrix.h"
#include "restoration/restaurar.h"
#include "toolkit/convert.h"
#include "toolkit/desktop.h"
#include "toolkit/fonts.h"
#include "toolkit/guard.h"
#include "toolkit/picture_view.h"
#include "toolkit/progress_bar.h"

namespace morvane {

namespace {

// The system's hot-light colour, used for titles and banners.
const QColor kHotLight(0, 102, 204);

QFont FontOfHeight(int pixels, bool bold = false) {
  return SansFont(pixels, bold);
}

template <class W>
W* Place(W* widget, int left, int top, int width, int height) {
  widget->setGeometry(left, top, width, height);
  return widget;
}

QPushButton* MakeButton(QWidget* parent, const char* caption, const char* hint, int left, int top,
                        int width, int height) {
  auto* button =
      Place(new QPushButton(QString::fromUtf8(caption), parent), left, top, width, height);
  button->setToolTip(QString::fromUtf8(hint));
  return button;
}

QFrame* MakePanel(QWidget* parent, int left, int top, int width, int height) {
  auto* panel = Place(new QFrame(parent), left, top, width, height);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setLineWidth(1);
  return panel;
}

QLabel* MakeLabel(QWidget* parent, const char* caption, int left, int top, int width, int height,
                  int fontHeight, bool bold = false, bool hotLight = false) {
  auto* label = Place(new QLabel(QString::fromUtf8(caption), parent), left, top, width, height);
  label->setFont(FontOfHeight(fontHeight, bold));
  // A caption longer than its box widens the label to the right, so no caption
  // is cut off.
  if (label->sizeHint().width() > width) label->resize(label->sizeHint().width(), height);
  if (hotLight) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kHotLight);
    label->setPalette(palette);
  }
  return label;
}

// A caption that stands just left of its box: when the caption needs more room
// it grows to the left, so it never runs into the box.
QLabel* MakeLabelBefore(QWidget* parent, const char* caption, int left, int top, int width,
                        int height, int fontHeight) {
  QLabel* label = MakeLabel(parent, caption, left, top, width, height, fontHeight);
  const int extra = label->width() - width;
  if (extra > 0) label->move(left - extra, top);
  return label;
}

// The matrix grid as the matrix loading sees it.
class GridCells : public MatrixGrid {
 public:
  explicit GridCells(StringGrid& grid) : grid_(grid) {}
  std::string cell(int col, int row) const override { return grid_.cell(col, row).toStdString(); }
  void setCell(int col, int row, const std::string& text) override {
    grid_.setCell(col, row, QString::fromStdString(text));
  }
  void showMessage(const char* utf8) override { ShowMessage(QString::fromUtf8(utf8)); }

 private:
  StringGrid& grid_;
};

// The first local file among the dropped items; empty when there is none.
QString DroppedFile(const QMimeData* mime) {
  if (mime == nullptr) return QString();
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) return url.toLocalFile();
  return QString();
}

}  // namespace

TForm1::TForm1(Workspace& workspace, QWidget* parent) : QMainWindow(parent), ws(workspace) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Morvane"));
  setFont(FontOfHeight(11));

  auto* client = new QWidget(this);
  client->setFixedSize(777, 457);
  setCentralWidget(client);
  PageControl1 = Place(new QTabWidget(client), 0, 0, 777, 457);
  TabSheet1 = new QWidget;
  TabSheet2 = new QWidget;
  TabSheet3 = new QWidget;
  PageControl1->addTab(TabSheet1, QStringLiteral("Imagenes"));
  PageControl1->addTab(TabSheet2, QString::fromUtf8("Matriz de detección"));
  PageControl1->addTab(TabSheet3, QStringLiteral("Restauracion"));
  PageControl1->setCurrentIndex(0);

  buildImagesPage();
  documento_ = std::make_unique<Documento>(ws, Image1->picture(), Image2->picture());
  buildMatrixPage();
  buildRestorationPage();
  buildMenu();

  OpenDialog1.Filter = pictureFilter();
  SaveDialog1.Filter = pictureFilter();
  SaveDialog1.DefaultExt = QStringLiteral("bmp");

  Ventanas = CrearVentanasInspeccion(Image1, Image2);
  wireEvents();
  FormCreate();
  move(6, 51);
  setAcceptDrops(true);
}

TForm1::~TForm1() {
  delete Ventanas.Form4;
  delete Ventanas.Form3;
  delete Ventanas.Form2;
}

void TForm1::buildImagesPage() {
  QWidget* page = TabSheet1;
  Button1 = MakeButton(page, "Abrir Imagen", "Abre una imagen", 8, 8, 89, 25);
  Button6 = MakeButton(page, "Borrar", "Elimina la imagen actual", 104, 8, 97, 25);
  Button12 = MakeButton(page, "Imagen Inicial", "Restaura la imagen inicial", 216, 8, 105, 25);
  Button12->hide();
  Button15 = MakeButton(page, "Guardar Imagen", "Guarda la imagen final en un fichero bmp", 664, 8,
                        97, 25);
  Label1 = MakeLabel(page, "", 448, 8, 161, 20, 16, true, true);

  Panel1 = MakePanel(page, 8, 40, 313, 273);
  Label2 = MakeLabel(Panel1, "No hay ninguna imagen seleccionada", 32, 112, 263, 20, 16);
  Image1 = Place(new PictureView(Panel1), 8, 8, 297, 257);
  Image1->setObjectName(QStringLiteral("Image1"));

  Panel4 = MakePanel(page, 328, 40, 113, 273);
  Button8 = MakeButton(Panel4, "Puntos Negros", "Detección de los errores de puntos negros", 8, 16,
                       97, 25);
  Button9 = MakeButton(Panel4, "Puntos Blancos", "Detección de los errores de puntos blancos", 8,
                       56, 97, 25);
  Button13 = MakeButton(Panel4, "Restaurar", "Restaura la imagen ", 8, 104, 97, 25);
  Button11 = MakeButton(Panel4, "<<", "Guarda la imagen final en la inicial", 40, 200, 33, 25);

  Panel2 = MakePanel(page, 448, 40, 313, 273);
  Image2 = Place(new PictureView(Panel2), 8, 8, 297, 257);
  Image2->setObjectName(QStringLiteral("Image2"));

  Label11 = MakeLabel(page, "Inicial", 8, 312, 60, 20, 16, true);
  Label12 = MakeLabel(page, "Final", 448, 312, 60, 20, 16, true);
  Memo1 = Place(new Memo(page), 8, 336, 209, 81);

  Panel8 = MakePanel(page, 232, 320, 209, 105);
  Button2 =
      MakeButton(Panel8, "Dilatacion", "Realiza la dilatación de la imagen inicial", 8, 8, 89, 25);
  Button3 =
      MakeButton(Panel8, "Erosion", "Realiza la erosión de la imagen inicial", 112, 8, 89, 25);
  Button5 =
      MakeButton(Panel8, "Apertura", "Realiza la apertura de la imagen inicial", 8, 40, 89, 25);
  Button4 = MakeButton(Panel8, "Cierre", "Realiza el cierre de la imagen inicial", 112, 40, 89, 25);
  Button14 =
      MakeButton(Panel8, "Final - Inicial", "Resta a la imagen final la inicial", 7, 72, 90, 25);
  Button10 =
      MakeButton(Panel8, "Inicial - Final", "Resta a la imagen inicial la final", 112, 72, 89, 25);
  Panel8->hide();

  Panel5 = MakePanel(page, 448, 336, 313, 33);
  ProgressBar1 = Place(new ProgressBar(Panel5), 8, 8, 297, 17);
  ProgressBar1->setMax(100);
  ProgressBar1->setPosition(0);

  Label10 = MakeLabel(page, "Morvane", 496, 392, 252, 24, 19, true, true);

  QWidget::setTabOrder(Button1, Button6);
  QWidget::setTabOrder(Button6, Button8);
  QWidget::setTabOrder(Button8, Button9);
  QWidget::setTabOrder(Button9, Button11);
  QWidget::setTabOrder(Button11, Button13);
  QWidget::setTabOrder(Button13, Memo1);
  QWidget::setTabOrder(Memo1, Button12);
  QWidget::setTabOrder(Button12, Button15);
  QWidget::setTabOrder(Button15, Button2);
  QWidget::setTabOrder(Button2, Button3);
  QWidget::setTabOrder(Button3, Button5);
  QWidget::setTabOrder(Button5, Button4);
  QWidget::setTabOrder(Button4, Button10);
  QWidget::setTabOrder(Button10, Button14);
}

void TForm1::buildMatrixPage() {
  Panel3 = MakePanel(TabSheet2, 8, 8, 745, 385);
  Label9 = MakeLabel(Panel3, "Matriz de detección", 24, 16, 229, 29, 24, true, true);
  RadioGroup1 = Place(new RadioGroup(QString::fromUtf8("Tamaño Matriz"),
                                     {"3 X 3", "5 X 5", "7 X 7", "9 X 9"}, Panel3),
                      72, 56, 105, 105);
  RadioGroup1->setToolTip(QStringLiteral("Seleciona el tamaño de la matriz a cargar"));
  RadioGroup1->setItemIndex(0);
  Label5 = MakeLabel(Panel3, "n =", 88, 176, 22, 20, 16);
  Label5->setAlignment(Qt::AlignCenter);
  Edit1 = Place(new Edit(QStringLiteral("0"), Panel3), 120, 176, 33, 21);
  Edit1->setToolTip(QStringLiteral("Valor que multiplica los coeficientes de la matriz piramidal"));
  RadioGroup2 = Place(
      new RadioGroup(QStringLiteral("Tipo Matriz"), {"0's", "Piramidal", "Personalizada"}, Panel3),
      72, 216, 113, 97);
  RadioGroup2->setToolTip(
      QStringLiteral("Seleciona matriz de ceros(0's), Piramidal  o Personalizada"));
  RadioGroup2->setItemIndex(0);
  Button7 = MakeButton(Panel3, "Cargar Matriz", "Carga la Matriz selecionada", 80, 328, 97, 33);
  Label3 = MakeLabel(Panel3, "B=", 245, 158, 49, 25, 19);
  Label3->setAlignment(Qt::AlignCenter);
  StringGrid1 = Place(new StringGrid(Panel3), 286, 29, 291, 288);
  StringGrid1->setFont(FontOfHeight(13));
  StringGrid1->setDefaultCellSize(31, 31);
  StringGrid1->setSize(9, 9);

  // A radio group takes the focus through its checked item.
  QWidget::setTabOrder(StringGrid1, Button7);
  QWidget::setTabOrder(Button7, RadioGroup1->button(0));
  for (int i = 1; i < RadioGroup1->count(); ++i)
    QWidget::setTabOrder(RadioGroup1->button(i - 1), RadioGroup1->button(i));
  QWidget::setTabOrder(RadioGroup1->button(RadioGroup1->count() - 1), RadioGroup2->button(0));
  for (int i = 1; i < RadioGroup2->count(); ++i)
    QWidget::setTabOrder(RadioGroup2->button(i - 1), RadioGroup2->button(i));
  QWidget::setTabOrder(RadioGroup2->button(RadioGroup2->count() - 1), Edit1);
}

void TForm1::buildRestorationPage() {
  Panel6 = MakePanel(TabSheet3, 8, 8, 473, 385);
  Label6 = MakeLabel(Panel6, "FILTROS", 48, 40, 110, 29, 24, true, true);
  Label6->setAutoFillBackground(true);
  {
    QPalette palette = Label6->palette();
    palette.setColor(QPalette::Window, QColor(180, 180, 180));  // active-border gray
    Label6->setPalette(palette);
  }
  RadioGroup3 = Place(new RadioGroup(QString(), ElementosDeFiltro(), Panel6), 48, 96, 321, 209);
  RadioGroup3->setFont(FontOfHeight(15));
  RadioGroup3->setItemIndex(0);

  Panel7 = MakePanel(TabSheet3, 488, 8, 265, 385);
  Label7 = MakeLabel(Panel7, "Parámetros del Filtro", 40, 48, 194, 24, 19, true, true);
  Label4 = MakeLabelBefore(Panel7, "Umbral", 112, 120, 44, 16, 15);
  Edit2 = Place(new Edit(QStringLiteral("50"), Panel7), 184, 112, 41, 21);
  Edit2->setToolTip(
      QString::fromUtf8("Umbral de diferenciación entre puntos dañados y no dañados"));
  Label8 = MakeLabelBefore(Panel7, "Tamaño del Filtro", 56, 160, 105, 16, 15);
  ComboBox1 = Place(new QComboBox(Panel7), 168, 160, 57, 21);
  ComboBox1->setEditable(true);
  ComboBox1->addItems({QStringLiteral("3 X 3"), QStringLiteral("5 X 5")});
  ComboBox1->setCurrentIndex(0);
  CheckBox1 =
      Place(new QCheckBox(QString::fromUtf8("Incluir vecinos dañados"), Panel7), 48, 200, 177, 33);
  CheckBox1->setLayoutDirection(Qt::RightToLeft);  // caption to the left of the box
  CheckBox1->setFont(FontOfHeight(15));
  CheckBox1->setToolTip(QString::fromUtf8("Utilizar los vecinos dañados para restaurar"));

  QWidget::setTabOrder(Edit2, ComboBox1);
  QWidget::setTabOrder(ComboBox1, CheckBox1);
}

void TForm1::buildMenu() {
  QMenuBar* bar = menuBar();
  QMenu* menu1 = bar->addMenu(QStringLiteral("&Menu"));
  Abrir1 = menu1->addAction(QStringLiteral("&Abrir"));
  Guardar1 = menu1->addAction(QStringLiteral("&Guardar"));
  menu1->addSeparator();
  Salir1 = menu1->addAction(QStringLiteral("&Salir"));
  // The desktop's usual shortcuts, beside the items' own accelerators.
  Abrir1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  Guardar1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  Salir1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

  QMenu* ejecutar1 = bar->addMenu(QStringLiteral("&Ejecutar"));
  PuntosNegros1 = ejecutar1->addAction(QStringLiteral("Puntos &Negros"));
  PuntosBlancos1 = ejecutar1->addAction(QStringLiteral("Puntos &Blancos"));
  Restaurar1 = ejecutar1->addAction(QStringLiteral("&Restaurar"));
  ejecutar1->addSeparator();
  Dilatacion1 = ejecutar1->addAction(QStringLiteral("&Dilatacion"));
  Erosion1 = ejecutar1->addAction(QStringLiteral("&Erosion"));
  Cierre1 = ejecutar1->addAction(QStringLiteral("&Cierre"));
  Apertura1 = ejecutar1->addAction(QStringLiteral("A&pertura"));
  InicialFinal1 = ejecutar1->addAction(QStringLiteral("&Inicial - Final"));
  FinalInicial1 = ejecutar1->addAction(QStringLiteral("&Final - Inicial"));
  setAdvancedItemsEnabled(false);

  QMenu* configuracion1 = bar->addMenu(QString::fromUtf8("&Configuración"));
  Normal1 = configuracion1->addAction(QStringLiteral("&Normal"));
  Avanzado1 = configuracion1->addAction(QStringLiteral("&Avanzado"));
  Normal1->setCheckable(true);
  Avanzado1->setCheckable(true);
  Normal1->setChecked(true);
}

void TForm1::wireEvents() {
  auto on = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
    connectGuarded(sender, signal, this, [this, handler] { (this->*handler)(); });
  };
  on(Button1, &QPushButton::clicked, &TForm1::Button1Click);
  on(Button6, &QPushButton::clicked, &TForm1::Button6Click);
  on(Button11, &QPushButton::clicked, &TForm1::Button11Click);
  on(Button12, &QPushButton::clicked, &TForm1::Button12Click);
  on(Button15, &QPushButton::clicked, &TForm1::Button15Click);
  on(Button8, &QPushButton::clicked, &TForm1::Button8Click);
  on(Button9, &QPushButton::clicked, &TForm1::Button9Click);
  on(Button13, &QPushButton::clicked, &TForm1::Button13Click);
  on(Button2, &QPushButton::clicked, &TForm1::Button2Click);
  on(Button3, &QPushButton::clicked, &TForm1::Button3Click);
  on(Button4, &QPushButton::clicked, &TForm1::Button4Click);
  on(Button5, &QPushButton::clicked, &TForm1::Button5Click);
  on(Button10, &QPushButton::clicked, &TForm1::Button10Click);
  on(Button14, &QPushButton::clicked, &TForm1::Button14Click);
  on(Button7, &QPushButton::clicked, &TForm1::Button7Click);
  on(RadioGroup1, &RadioGroup::clicked, &TForm1::RadioGroup1Click);
  on(RadioGroup3, &RadioGroup::clicked, &TForm1::RadioGroup3Click);
  on(Edit1, &QLineEdit::textChanged, &TForm1::Edit1Change);
  on(Edit1, &Edit::exited, &TForm1::Edit1Exit);
  on(Edit2, &QLineEdit::textChanged, &TForm1::Edit2Change);
  on(Edit2, &Edit::exited, &TForm1::Edit2Exit);
  on(Image1, &PictureView::doubleClicked, &TForm1::Image1DblClick);
  on(Image2, &PictureView::doubleClicked, &TForm1::Image2DblClick);
  on(Abrir1, &QAction::triggered, &TForm1::Abrir1Click);
  on(Guardar1, &QAction::triggered, &TForm1::Guardar1Click);
  on(Salir1, &QAction::triggered, &TForm1::Salir1Click);
  on(PuntosNegros1, &QAction::triggered, &TForm1::PuntosNegros1Click);
  on(PuntosBlancos1, &QAction::triggered, &TForm1::PuntosBlancos1Click);
  on(Restaurar1, &QAction::triggered, &TForm1::Restaurar1Click);
  on(Dilatacion1, &QAction::triggered, &TForm1::Dilatacion1Click);
  on(Erosion1, &QAction::triggered, &TForm1::Erosion1Click);
  on(Cierre1, &QAction::triggered, &TForm1::Cierre1Click);
  on(Apertura1, &QAction::triggered, &TForm1::Apertura1Click);
  on(InicialFinal1, &QAction::triggered, &TForm1::InicialFinal1Click);
  on(FinalInicial1, &QAction::triggered, &TForm1::FinalInicial1Click);
  on(Normal1, &QAction::triggered, &TForm1::Normal1Click);
  on(Avanzado1, &QAction::triggered, &TForm1::Avanzado1Click);
}

PictureControls TForm1::pictureControls() {
  return PictureControls{*documento_, *Image1,       *Image2,   *Label1,     *Label2,
                         *Memo1,      *ProgressBar1, *Button12, OpenDialog1, SaveDialog1};
}

void TForm1::FormCreate() {
  ws.TamanoElegido = 3;
  layOutGrid(3);
}

void TForm1::layOutGrid(int size) {
  const GridLayout layout = DisposicionRejilla(size);
  StringGrid1->setSize(layout.size, layout.size);
  StringGrid1->setGeometry(layout.left, layout.top, layout.width, layout.height);
}

// --- Picture commands --------------------------------------------------------

void TForm1::Button1Click() {
  const bool hadPicture = ws.ImagenCargada;
  AbrirImagen(pictureControls());
  opened(hadPicture);
}

void TForm1::Button6Click() {
  BorrarImagen(pictureControls());
  unsavedResult_ = false;
  showPictureInTitle();
}

void TForm1::Button11Click() {
  CopiarFinalEnInicial(pictureControls());
}

void TForm1::Button12Click() {
  RecuperarImagenInicial(pictureControls());
}

void TForm1::Button15Click() {
  if (GuardarImagen(pictureControls())) unsavedResult_ = false;
}

// --- Detection, restoration and the advanced operations ----------------------

void TForm1::Button8Click() {
  PuntosNegros(ws, *this, *this);
}
void TForm1::Button9Click() {
  PuntosBlancos(ws, *this, *this);
}
void TForm1::Button2Click() {
  Dilatacion(ws, *this, *this);
}
void TForm1::Button3Click() {
  Erosion(ws, *this, *this);
}
void TForm1::Button4Click() {
  Cierre(ws, *this, *this);
}
void TForm1::Button5Click() {
  Apertura(ws, *this, *this);
}
void TForm1::Button10Click() {
  InicialMenosFinal(ws, *this, *this);
}
void TForm1::Button14Click() {
  FinalMenosInicial(ws, *this, *this);
}

void TForm1::Button13Click() {
  ParametrosRestauracion p;
  p.filtro = FiltroPorIndice(RadioGroup3->itemIndex());
  // The box is editable: a typed text that names no item selects none.
  p.ventana = VentanaPorIndice(ComboBox1->findText(ComboBox1->currentText(), Qt::MatchExactly));
  p.incluirDanados = CheckBox1->isChecked();
  p.avanzado = Avanzado1->isChecked();
  p.umbral = ws.Umbral;
  Restaurar(ws, *this, *this, p);
}

// --- Matrix page -------------------------------------------------------------

void TForm1::RadioGroup1Click() {
  ws.TamanoElegido = TamanoPorIndice(RadioGroup1->itemIndex());
  layOutGrid(ws.TamanoElegido);
}

void TForm1::Edit1Change() {
  const QString text = Edit1->text();
  if (text.isEmpty()) {
    ws.FactorN = 0;
    return;
  }
  if (const auto value = TryStrToInt(text)) {
    ws.FactorN = *value;
    return;
  }
  ShowMessage(QStringLiteral("Valor incorrecto"));
  ws.FactorN = 0;
  Edit1->setText(QStringLiteral("0"));
}

void TForm1::Edit1Exit() {
  if (Edit1->text().isEmpty()) Edit1->setText(QStringLiteral("0"));
}

void TForm1::Button7Click() {
  // The text is kept convertible by Edit1Change; an empty box (the focus never
  // left it) counts as 0.
  const std::int32_t factor = TryStrToInt(Edit1->text()).value_or(0);
  GridCells grid(*StringGrid1);
  CargarMatriz(ws, *this, grid, ws.TamanoElegido, TipoMatrizPorIndice(RadioGroup2->itemIndex()),
               factor);
}

// --- Restoration page --------------------------------------------------------

void TForm1::Edit2Change() {
  const QString text = Edit2->text();
  if (text.isEmpty()) {
    ws.Umbral = 0;
    return;
  }
  const auto value = TryStrToInt(text);
  if (!value) {
    ShowMessage(QStringLiteral("Valor incorrecto"));
    ws.Umbral = 0;
    Edit2->setText(QStringLiteral("0"));
    return;
  }
  ws.Umbral = *value;
  if (*value > 255) {
    ShowMessage(QStringLiteral("El valor tiene que ser menor de 255"));
    Edit2->setText(QString());
  }
}

void TForm1::Edit2Exit() {
  if (Edit2->text().isEmpty()) Edit2->setText(QStringLiteral("0"));
}

void TForm1::RadioGroup3Click() {
  const FiltroDescrito& filtro = FiltroDeElemento(RadioGroup3->itemIndex());
  CheckBox1->setEnabled(filtro.tomaIncluirDanados);
  ComboBox1->setEnabled(filtro.tomaTamano);
}

// --- Views -------------------------------------------------------------------

void TForm1::Image1DblClick() {
  if (ws.ImagenCargada) {
    MostrarVentana(Ventanas.Form2);
    return;
  }
  clear();
  append("Abrir una imagen primero");
}

void TForm1::Image2DblClick() {
  if (ws.ImagenCargada) {
    MostrarVentana(Ventanas.Form3);
    return;
  }
  clear();
  append("Abrir una imagen primero");
}

// --- Menu: modes and Salir ---------------------------------------------------

void TForm1::setAdvancedItemsEnabled(bool enabled) {
  for (QAction* item : {Dilatacion1, Erosion1, Cierre1, Apertura1, InicialFinal1, FinalInicial1})
    item->setEnabled(enabled);
}

void TForm1::Normal1Click() {
  // The item's own toggle already ran: the remembered state is the other item's.
  if (!Avanzado1->isChecked()) {
    Normal1->setChecked(true);
    return;
  }
  Normal1->setChecked(true);
  Avanzado1->setChecked(false);
  setAdvancedItemsEnabled(false);
  Panel8->hide();
  OlvidarDetecciones(ws);
}

void TForm1::Avanzado1Click() {
  if (!Normal1->isChecked()) {
    Avanzado1->setChecked(true);
    return;
  }
  Normal1->setChecked(false);
  Avanzado1->setChecked(true);
  setAdvancedItemsEnabled(true);
  Panel8->show();
  MarcarDetecciones(ws);
}

void TForm1::Salir1Click() {
  if (!close()) return;
  QApplication::quit();
}

// --- Files in and out as on the desktop ----------------------------------------

void TForm1::openFile(const QString& fileName) {
  if (fileName.isEmpty()) return;
  const bool hadPicture = ws.ImagenCargada;
  AbrirImagen(pictureControls(), QFileInfo(fileName).absoluteFilePath());
  opened(hadPicture);
}

void TForm1::openArguments(const QStringList& arguments) {
  if (arguments.size() < 2) return;
  const QString& name = arguments.at(1);
  // Some desktops pass a URL rather than a path.
  openFile(name.startsWith(QStringLiteral("file:")) ? QUrl(name).toLocalFile() : name);
}

void TForm1::opened(bool hadPicture) {
  if (hadPicture || !ws.ImagenCargada) return;
  SaveDialog1.FileName = suggestedResultName(documento_->nombre());
  showPictureInTitle();
}

void TForm1::showPictureInTitle() {
  if (!ws.ImagenCargada) {
    setWindowTitle(QStringLiteral("Morvane"));
    return;
  }
  setWindowTitle(QString::fromUtf8("Morvane — ") +
                 describePicture(documento_->nombre(), Image1->picture()));
}

bool TForm1::mayClose() {
  if (!unsavedResult_) return true;
  switch (
      AskSave(QString::fromUtf8("La imagen final no se ha guardado. ¿Guardarla antes de salir?"))) {
    case SaveChoice::Save:
      Button15Click();
      return !unsavedResult_;
    case SaveChoice::Discard:
      unsavedResult_ = false;
      return true;
    case SaveChoice::Cancel:
      break;
  }
  return false;
}

void TForm1::closeEvent(QCloseEvent* event) {
  bool mayGo = false;
  runGuarded([&] { mayGo = mayClose(); });
  if (mayGo)
    event->accept();
  else
    event->ignore();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  runGuarded([&] {
    if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
  });
}

void TForm1::dropEvent(QDropEvent* event) {
  QString file;
  runGuarded([&] { file = DroppedFile(event->mimeData()); });
  if (file.isEmpty()) return;
  event->acceptProposedAction();
  // Opened once the drop is over, so that a message box does not hold up the
  // program the file came from.
  QMetaObject::invokeMethod(
      this, [this, file] { runGuarded([&] { openFile(file); }); }, Qt::QueuedConnection);
}

// --- The window side of the commands -----------------------------------------

void TForm1::clear() {
  Memo1->clearLines();
}

void TForm1::append(const char* utf8Line) {
  Memo1->appendLine(QString::fromUtf8(utf8Line));
}

void TForm1::drawRow(int y, const std::uint8_t* levels, int x0, int x1) {
  unsavedResult_ = true;
  Image2->picture().writeLevels(y, levels, x0, x1);
  // Marks the row for repainting, so a command that ends early on an error
  // still shows what it drew.
  Image2->rowsChanged(y, y + 1);
}

void TForm1::stepProgress() {
  ProgressBar1->step();
}

void TForm1::resetProgress() {
  ProgressBar1->setPosition(0);
}

void TForm1::setTitle(const char* utf8Title) {
  Label1->setText(QString::fromUtf8(utf8Title));
}

void TForm1::showView() {
  Image2->pictureChanged();
  Image2->show();
}

}  // namespace morvane
