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
#include <span>
#include <vector>

#include "app/page_choices.h"
#include "inspection/pixel_map.h"
#include "morphology/composite.h"
#include "morphology/detection.h"
#include "morphology/matrix.h"
#include "restoration/restaurar.h"
#include "restoration/restaurar_automatica.h"
#include "toolkit/convert.h"
#include "toolkit/desktop.h"
#include "toolkit/fonts.h"
#include "toolkit/guard.h"
#include "toolkit/picture_view.h"
#include "toolkit/progress_bar.h"

namespace morvane {

namespace {

// The system's highlight colour, used for titles and banners.
const QColor kTitleColour(0, 102, 204);

// What a row of a page's layout table creates.
enum class Kind { Panel, Button, Label, View, Memo, Progress, Edit, Choices, Grid, Combo, Check };

// How a control differs from the plain one of its kind.
enum Style : unsigned {
  kBold = 1,
  kTitleColoured = 2,
  kHidden = 4,
  kCentred = 8,
  kShaded = 16,        // a gray band behind the caption
  kGrowsLeft = 32,     // a caption standing just left of its box grows to the left
  kCaptionLeft = 64,   // a check box's caption to the left of the box
  kFilterItems = 128,  // a choice group whose items are the filter table's page rows
};

using Handler = void (VentanaPrincipal::*)();

// One control of a page: its kind, object name, the panel that holds it (none:
// the page), its place, its caption (a radio group's or combo box's items
// follow the caption after '|'; an edit box's is its text), its hint, its font
// height in pixels (0: the window's) and its event's handler: a button's
// click, a view's double click, a radio group's click, an edit box's change.
struct Control {
  Kind kind;
  const char* name;
  const char* parent;
  int left, top, width, height;
  const char* caption;
  const char* hint;
  int fontHeight;
  unsigned style;
  Handler onEvent;
};

using W = VentanaPrincipal;

// clang-format off
const Control kImagenesPage[] = {
  {Kind::Button, "abrirImagenButton", nullptr, 8, 8, 89, 25, "Abrir Imagen", "Abre una imagen", 0, 0, &W::onAbrirImagen},
  {Kind::Button, "borrarButton", nullptr, 104, 8, 97, 25, "Borrar", "Elimina la imagen actual", 0, 0, &W::onBorrar},
  {Kind::Button, "imagenInicialButton", nullptr, 216, 8, 105, 25, "Imagen Inicial", "Restaura la imagen inicial", 0, kHidden, &W::onRecuperarImagenInicial},
  {Kind::Button, "guardarImagenButton", nullptr, 664, 8, 97, 25, "Guardar Imagen", "Guarda la imagen final en un fichero bmp", 0, 0, &W::onGuardarImagen},
  {Kind::Label, "titleLabel", nullptr, 448, 8, 161, 20, "", nullptr, 16, kBold | kTitleColoured, nullptr},
  {Kind::Panel, "imagenInicialPanel", nullptr, 8, 40, 313, 273, nullptr, nullptr, 0, 0, nullptr},
  {Kind::Label, "sinImagenLabel", "imagenInicialPanel", 32, 112, 263, 20, "No hay ninguna imagen seleccionada", nullptr, 16, 0, nullptr},
  {Kind::View, "imagenInicialView", "imagenInicialPanel", 8, 8, 297, 257, nullptr, nullptr, 0, 0, &W::onImagenInicialViewDoubleClicked},
  {Kind::Panel, "comandosPanel", nullptr, 328, 40, 113, 273, nullptr, nullptr, 0, 0, nullptr},
  {Kind::Button, "puntosNegrosButton", "comandosPanel", 8, 16, 97, 25, "Puntos Negros", "Detección de los errores de puntos negros", 0, 0, &W::onPuntosNegros},
  {Kind::Button, "puntosBlancosButton", "comandosPanel", 8, 56, 97, 25, "Puntos Blancos", "Detección de los errores de puntos blancos", 0, 0, &W::onPuntosBlancos},
  {Kind::Button, "restaurarButton", "comandosPanel", 8, 104, 97, 25, "Restaurar", "Restaura la imagen ", 0, 0, &W::onRestaurar},
  {Kind::Button, "copiarFinalEnInicialButton", "comandosPanel", 40, 200, 33, 25, "<<", "Guarda la imagen final en la inicial", 0, 0, &W::onCopiarFinalEnInicial},
  {Kind::Panel, "imagenFinalPanel", nullptr, 448, 40, 313, 273, nullptr, nullptr, 0, 0, nullptr},
  {Kind::View, "imagenFinalView", "imagenFinalPanel", 8, 8, 297, 257, nullptr, nullptr, 0, 0, &W::onImagenFinalViewDoubleClicked},
  {Kind::Label, "inicialLabel", nullptr, 8, 312, 60, 20, "Inicial", nullptr, 16, kBold, nullptr},
  {Kind::Label, "finalLabel", nullptr, 448, 312, 60, 20, "Final", nullptr, 16, kBold, nullptr},
  {Kind::Memo, "logMemo", nullptr, 8, 336, 209, 81, nullptr, nullptr, 0, 0, nullptr},
  {Kind::Panel, "avanzadoPanel", nullptr, 232, 320, 209, 105, nullptr, nullptr, 0, kHidden, nullptr},
  {Kind::Button, "dilatacionButton", "avanzadoPanel", 8, 8, 89, 25, "Dilatacion", "Realiza la dilatación de la imagen inicial", 0, 0, &W::onDilatacion},
  {Kind::Button, "erosionButton", "avanzadoPanel", 112, 8, 89, 25, "Erosion", "Realiza la erosión de la imagen inicial", 0, 0, &W::onErosion},
  {Kind::Button, "aperturaButton", "avanzadoPanel", 8, 40, 89, 25, "Apertura", "Realiza la apertura de la imagen inicial", 0, 0, &W::onApertura},
  {Kind::Button, "cierreButton", "avanzadoPanel", 112, 40, 89, 25, "Cierre", "Realiza el cierre de la imagen inicial", 0, 0, &W::onCierre},
  {Kind::Button, "finalMenosInicialButton", "avanzadoPanel", 7, 72, 90, 25, "Final - Inicial", "Resta a la imagen final la inicial", 0, 0, &W::onFinalMenosInicial},
  {Kind::Button, "inicialMenosFinalButton", "avanzadoPanel", 112, 72, 89, 25, "Inicial - Final", "Resta a la imagen inicial la final", 0, 0, &W::onInicialMenosFinal},
  {Kind::Panel, "progressPanel", nullptr, 448, 336, 313, 33, nullptr, nullptr, 0, 0, nullptr},
  {Kind::Progress, "progressBar", "progressPanel", 8, 8, 297, 17, nullptr, nullptr, 0, 0, nullptr},
  {Kind::Label, "morvaneLabel", nullptr, 496, 392, 252, 24, "Morvane", nullptr, 19, kBold | kTitleColoured, nullptr},
};

const Control kMatrizPage[] = {
  {Kind::Panel, "matrizPanel", nullptr, 8, 8, 745, 385, nullptr, nullptr, 0, 0, nullptr},
  {Kind::Label, "matrizDeDeteccionLabel", "matrizPanel", 24, 16, 229, 29, "Matriz de detección", nullptr, 24, kBold | kTitleColoured, nullptr},
  {Kind::Choices, "tamanoMatrizGroup", "matrizPanel", 72, 56, 105, 105, "Tamaño Matriz|3 X 3|5 X 5|7 X 7|9 X 9", "Seleciona el tamaño de la matriz a cargar", 0, 0, &W::onTamanoMatrizChanged},
  {Kind::Label, "factorNLabel", "matrizPanel", 88, 176, 22, 20, "n =", nullptr, 16, kCentred, nullptr},
  {Kind::Edit, "factorNEdit", "matrizPanel", 120, 176, 33, 21, "0", "Valor que multiplica los coeficientes de la matriz piramidal", 0, 0, &W::onFactorNChanged},
  {Kind::Choices, "tipoMatrizGroup", "matrizPanel", 72, 216, 113, 97, "Tipo Matriz|0's|Piramidal|Personalizada", "Seleciona matriz de ceros(0's), Piramidal  o Personalizada", 0, 0, nullptr},
  {Kind::Button, "cargarMatrizButton", "matrizPanel", 80, 328, 97, 33, "Cargar Matriz", "Carga la Matriz selecionada", 0, 0, &W::onCargarMatriz},
  {Kind::Label, "matrizBLabel", "matrizPanel", 245, 158, 49, 25, "B=", nullptr, 19, kCentred, nullptr},
  {Kind::Grid, "matrizGrid", "matrizPanel", 286, 29, 291, 288, nullptr, nullptr, 13, 0, nullptr},
};

const Control kRestauracionPage[] = {
  {Kind::Panel, "filtrosPanel", nullptr, 8, 8, 473, 385, nullptr, nullptr, 0, 0, nullptr},
  {Kind::Label, "filtrosLabel", "filtrosPanel", 48, 40, 110, 29, "FILTROS", nullptr, 24, kBold | kTitleColoured | kShaded, nullptr},
  {Kind::Choices, "filtroGroup", "filtrosPanel", 48, 96, 321, 209, nullptr, nullptr, 15, kFilterItems, &W::onFiltroChanged},
  {Kind::Panel, "parametrosPanel", nullptr, 488, 8, 265, 385, nullptr, nullptr, 0, 0, nullptr},
  {Kind::Label, "parametrosLabel", "parametrosPanel", 40, 48, 194, 24, "Parámetros del Filtro", nullptr, 19, kBold | kTitleColoured, nullptr},
  {Kind::Label, "umbralLabel", "parametrosPanel", 112, 120, 44, 16, "Umbral", nullptr, 15, kGrowsLeft, nullptr},
  {Kind::Edit, "umbralEdit", "parametrosPanel", 184, 112, 41, 21, "50", "Umbral de diferenciación entre puntos dañados y no dañados", 0, 0, &W::onUmbralChanged},
  {Kind::Label, "tamanoFiltroLabel", "parametrosPanel", 56, 160, 105, 16, "Tamaño del Filtro", nullptr, 15, kGrowsLeft, nullptr},
  {Kind::Combo, "tamanoFiltroCombo", "parametrosPanel", 168, 160, 57, 21, "|3 X 3|5 X 5", nullptr, 0, 0, nullptr},
  {Kind::Check, "incluirDanadosCheck", "parametrosPanel", 48, 200, 177, 33, "Incluir vecinos dañados", "Utilizar los vecinos dañados para restaurar", 15, kCaptionLeft, nullptr},
};

// A page of its own for the automatic restoration: what it does, its button
// and the share of damaged pixels the last run found.
const Control kAutomaticaPage[] = {
  {Kind::Panel, "automaticaPanel", nullptr, 8, 8, 745, 385, nullptr, nullptr, 0, 0, nullptr},
  {Kind::Label, "restauracionAutomaticaLabel", "automaticaPanel", 24, 16, 330, 29, "Restauración automática", nullptr, 24, kBold | kTitleColoured, nullptr},
  {Kind::Label, "queBuscaLabel", "automaticaPanel", 24, 72, 700, 20, "Encuentra por sí sola los puntos dañados: negros, blancos, de cualquier nivel y motas de polvo,", nullptr, 15, 0, nullptr},
  {Kind::Label, "comoRestauraLabel", "automaticaPanel", 24, 96, 700, 20, "y les da un nivel a partir de los puntos sanos que los rodean, sin matriz, umbral ni detección.", nullptr, 15, 0, nullptr},
  {Kind::Button, "restauracionAutomaticaButton", "automaticaPanel", 24, 144, 177, 33, "Restauración Automática", "Restaura la imagen inicial sin matriz, umbral ni detección", 0, 0, &W::onRestauracionAutomatica},
  {Kind::Label, "puntosDanadosLabel", "automaticaPanel", 24, 208, 260, 20, "Puntos dañados estimados:", nullptr, 15, 0, nullptr},
  {Kind::Label, "proporcionDanadosLabel", "automaticaPanel", 232, 206, 300, 24, "", nullptr, 16, kBold | kTitleColoured, nullptr},
};

// Keyboard order of each page; a radio group takes the focus through its items.
const char* const kImagenesTabOrder[] = {
  "abrirImagenButton", "borrarButton", "puntosNegrosButton", "puntosBlancosButton",
  "copiarFinalEnInicialButton", "restaurarButton", "logMemo", "imagenInicialButton",
  "guardarImagenButton", "dilatacionButton", "erosionButton", "aperturaButton", "cierreButton",
  "inicialMenosFinalButton", "finalMenosInicialButton"};
const char* const kMatrizTabOrder[] = {"matrizGrid", "cargarMatrizButton", "tamanoMatrizGroup",
                                       "tipoMatrizGroup", "factorNEdit"};
const char* const kRestauracionTabOrder[] = {"umbralEdit", "tamanoFiltroCombo",
                                             "incluirDanadosCheck"};
const char* const kAutomaticaTabOrder[] = {"restauracionAutomaticaButton"};
// clang-format on

// A label's caption longer than its box widens the label to the right, so no
// caption is cut off; a caption standing before its box grows to the left.
void FitCaption(QLabel* label, const Control& c) {
  const int extra = label->sizeHint().width() - c.width;
  if (extra <= 0) return;
  label->resize(label->sizeHint().width(), c.height);
  if (c.style & kGrowsLeft) label->move(c.left - extra, c.top);
}

QWidget* MakeControl(const Control& c, QWidget* parent) {
  const QString caption = QString::fromUtf8(c.caption ? c.caption : "");
  QStringList items = caption.split(QLatin1Char('|'));
  const QString first = items.takeFirst();
  switch (c.kind) {
    case Kind::Panel: {
      auto* panel = new QFrame(parent);
      panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
      panel->setLineWidth(1);
      return panel;
    }
    case Kind::Button:
      return new QPushButton(caption, parent);
    case Kind::Label:
      return new QLabel(caption, parent);
    case Kind::View:
      return new PictureView(parent);
    case Kind::Memo:
      return new Memo(parent);
    case Kind::Progress: {
      auto* bar = new ProgressBar(parent);
      bar->setMax(100);
      bar->setPosition(0);
      return bar;
    }
    case Kind::Edit:
      return new Edit(caption, parent);
    case Kind::Choices: {
      if (c.style & kFilterItems) items = ElementosDeFiltro();
      auto* group = new RadioGroup(first, items, parent);
      group->setItemIndex(0);
      return group;
    }
    case Kind::Grid: {
      auto* grid = new StringGrid(parent);
      grid->setDefaultCellSize(31, 31);
      grid->setSize(9, 9);
      return grid;
    }
    case Kind::Combo: {
      auto* combo = new QComboBox(parent);
      combo->setEditable(true);
      combo->addItems(items);
      combo->setCurrentIndex(0);
      return combo;
    }
    case Kind::Check:
      return new QCheckBox(caption, parent);
  }
  return nullptr;
}

// Builds a page from its table, in the table's order, wiring each control's
// event to its handler.
void BuildPage(QWidget* page, std::span<const Control> controls, VentanaPrincipal* window) {
  for (const Control& c : controls) {
    QWidget* parent = c.parent ? page->findChild<QWidget*>(QString::fromUtf8(c.parent)) : page;
    QWidget* widget = MakeControl(c, parent);
    widget->setObjectName(QString::fromUtf8(c.name));
    widget->setGeometry(c.left, c.top, c.width, c.height);
    if (c.hint) widget->setToolTip(QString::fromUtf8(c.hint));
    if (c.fontHeight) widget->setFont(SansFont(c.fontHeight, c.style & kBold));
    if (c.style & kCaptionLeft) widget->setLayoutDirection(Qt::RightToLeft);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      FitCaption(label, c);
      if (c.style & kCentred) label->setAlignment(Qt::AlignCenter);
      if (c.style & (kTitleColoured | kShaded)) {
        QPalette palette = label->palette();
        if (c.style & kTitleColoured) palette.setColor(QPalette::WindowText, kTitleColour);
        if (c.style & kShaded) palette.setColor(QPalette::Window, QColor(180, 180, 180));
        label->setPalette(palette);
        label->setAutoFillBackground(c.style & kShaded);  // an active-border gray band
      }
    }
    if (c.style & kHidden) widget->hide();
    if (!c.onEvent) continue;
    auto run = [window, handler = c.onEvent] { (window->*handler)(); };
    if (auto* button = qobject_cast<QPushButton*>(widget))
      connectGuarded(button, &QPushButton::clicked, window, run);
    else if (auto* view = qobject_cast<PictureView*>(widget))
      connectGuarded(view, &PictureView::doubleClicked, window, run);
    else if (auto* group = qobject_cast<RadioGroup*>(widget))
      connectGuarded(group, &RadioGroup::clicked, window, run);
    else if (auto* edit = qobject_cast<Edit*>(widget))
      connectGuarded(edit, &QLineEdit::textChanged, window, run);
  }
}

void SetTabOrder(QWidget* page, std::span<const char* const> names) {
  std::vector<QWidget*> chain;
  for (const char* name : names) {
    QWidget* widget = page->findChild<QWidget*>(QString::fromUtf8(name));
    if (auto* group = qobject_cast<RadioGroup*>(widget))
      for (int i = 0; i < group->count(); ++i) chain.push_back(group->button(i));
    else
      chain.push_back(widget);
  }
  for (std::size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

template <class T>
T* Find(QWidget* window, const char* name) {
  return window->findChild<T*>(QString::fromUtf8(name));
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

VentanaPrincipal::VentanaPrincipal(Workspace& workspace, QWidget* parent)
    : QMainWindow(parent), ws_(workspace) {
  setObjectName(QStringLiteral("ventanaPrincipal"));
  setWindowTitle(QStringLiteral("Morvane"));
  setFont(SansFont(11));

  buildPages();
  documento_ =
      std::make_unique<Documento>(ws_, imagenInicialView_->picture(), imagenFinalView_->picture());
  buildMenu();

  openDialog_.Filter = pictureFilter();
  saveDialog_.Filter = pictureFilter();
  saveDialog_.DefaultExt = QStringLiteral("bmp");

  ventanas_ = CrearVentanasInspeccion(imagenInicialView_, imagenFinalView_);
  wireEvents();
  onCrear();
  move(6, 51);
  setAcceptDrops(true);
}

VentanaPrincipal::~VentanaPrincipal() {
  delete ventanas_.mapaPixels;
  delete ventanas_.imagenFinal;
  delete ventanas_.imagenInicial;
}

void VentanaPrincipal::buildPages() {
  auto* client = new QWidget(this);
  client->setFixedSize(777, 457);
  setCentralWidget(client);
  auto* pages = new QTabWidget(client);
  pages->setObjectName(QStringLiteral("pageTabs"));
  pages->setGeometry(0, 0, 777, 457);
  const struct {
    const char* name;
    const char* caption;
    std::span<const Control> controls;
    std::span<const char* const> tabOrder;
  } kPages[] = {
      {"imagenesPage", "Imagenes", kImagenesPage, kImagenesTabOrder},
      {"matrizPage", "Matriz de detección", kMatrizPage, kMatrizTabOrder},
      {"restauracionPage", "Restauracion", kRestauracionPage, kRestauracionTabOrder},
      {"automaticaPage", "Automática", kAutomaticaPage, kAutomaticaTabOrder},
  };
  for (const auto& p : kPages) {
    auto* page = new QWidget;
    page->setObjectName(QString::fromUtf8(p.name));
    pages->addTab(page, QString::fromUtf8(p.caption));
    BuildPage(page, p.controls, this);
    SetTabOrder(page, p.tabOrder);
  }
  pages->setCurrentIndex(0);

  titleLabel_ = Find<QLabel>(this, "titleLabel");
  sinImagenLabel_ = Find<QLabel>(this, "sinImagenLabel");
  imagenInicialView_ = Find<PictureView>(this, "imagenInicialView");
  imagenFinalView_ = Find<PictureView>(this, "imagenFinalView");
  imagenInicialButton_ = Find<QPushButton>(this, "imagenInicialButton");
  logMemo_ = Find<Memo>(this, "logMemo");
  progressBar_ = Find<ProgressBar>(this, "progressBar");
  avanzadoPanel_ = Find<QFrame>(this, "avanzadoPanel");
  tamanoMatrizGroup_ = Find<RadioGroup>(this, "tamanoMatrizGroup");
  factorNEdit_ = Find<Edit>(this, "factorNEdit");
  tipoMatrizGroup_ = Find<RadioGroup>(this, "tipoMatrizGroup");
  matrizGrid_ = Find<StringGrid>(this, "matrizGrid");
  filtroGroup_ = Find<RadioGroup>(this, "filtroGroup");
  umbralEdit_ = Find<Edit>(this, "umbralEdit");
  tamanoFiltroCombo_ = Find<QComboBox>(this, "tamanoFiltroCombo");
  incluirDanadosCheck_ = Find<QCheckBox>(this, "incluirDanadosCheck");
  proporcionDanadosLabel_ = Find<QLabel>(this, "proporcionDanadosLabel");
}

void VentanaPrincipal::buildMenu() {
  // Each item: caption, object name, handler, shortcut; a null caption is a
  // separator.
  struct Item {
    const char* caption;
    const char* name;
    Handler onTriggered;
    QKeySequence shortcut = {};
  };
  const struct {
    const char* caption;
    std::vector<Item> items;
  } kMenus[] = {
      // The desktop's usual shortcuts, beside the items' own accelerators.
      {"&Menu",
       {{"&Abrir", "abrirAction", &W::onAbrirImagen, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"&Guardar", "guardarAction", &W::onGuardarImagen, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {nullptr, nullptr, nullptr},
        {"&Salir", "salirAction", &W::onSalir, QKeySequence(Qt::CTRL | Qt::Key_Q)}}},
      {"&Ejecutar",
       {{"Puntos &Negros", "puntosNegrosAction", &W::onPuntosNegros},
        {"Puntos &Blancos", "puntosBlancosAction", &W::onPuntosBlancos},
        {"&Restaurar", "restaurarAction", &W::onRestaurar},
        {"Restauración &automática", "restauracionAutomaticaAction", &W::onRestauracionAutomatica},
        {nullptr, nullptr, nullptr},
        {"&Dilatacion", "dilatacionAction", &W::onDilatacion},
        {"&Erosion", "erosionAction", &W::onErosion},
        {"&Cierre", "cierreAction", &W::onCierre},
        {"A&pertura", "aperturaAction", &W::onApertura},
        {"&Inicial - Final", "inicialMenosFinalAction", &W::onInicialMenosFinal},
        {"&Final - Inicial", "finalMenosInicialAction", &W::onFinalMenosInicial}}},
      {"&Configuración",
       {{"&Normal", "normalAction", &W::onNormal},
        {"&Avanzado", "avanzadoAction", &W::onAvanzado}}},
  };
  for (const auto& m : kMenus) {
    QMenu* menu = menuBar()->addMenu(QString::fromUtf8(m.caption));
    for (const Item& item : m.items) {
      if (!item.caption) {
        menu->addSeparator();
        continue;
      }
      QAction* action = menu->addAction(QString::fromUtf8(item.caption));
      action->setObjectName(QString::fromUtf8(item.name));
      action->setShortcut(item.shortcut);
      connectGuarded(action, &QAction::triggered, this,
                     [this, handler = item.onTriggered] { (this->*handler)(); });
    }
  }
  for (const char* name : {"dilatacionAction", "erosionAction", "cierreAction", "aperturaAction",
                           "inicialMenosFinalAction", "finalMenosInicialAction"})
    advancedActions_.push_back(Find<QAction>(this, name));
  setAdvancedItemsEnabled(false);
  normalAction_ = Find<QAction>(this, "normalAction");
  avanzadoAction_ = Find<QAction>(this, "avanzadoAction");
  normalAction_->setCheckable(true);
  avanzadoAction_->setCheckable(true);
  normalAction_->setChecked(true);
}

void VentanaPrincipal::wireEvents() {
  connectGuarded(factorNEdit_, &Edit::exited, this, [this] { onFactorNExited(); });
  connectGuarded(umbralEdit_, &Edit::exited, this, [this] { onUmbralExited(); });
}

PictureControls VentanaPrincipal::pictureControls() {
  return PictureControls{
      *documento_, *imagenInicialView_, *imagenFinalView_,     *titleLabel_, *sinImagenLabel_,
      *logMemo_,   *progressBar_,       *imagenInicialButton_, openDialog_,  saveDialog_};
}

void VentanaPrincipal::onCrear() {
  ws_.TamanoElegido = 3;
  layOutGrid(3);
}

void VentanaPrincipal::layOutGrid(int size) {
  const GridLayout layout = DisposicionRejilla(size);
  matrizGrid_->setSize(layout.size, layout.size);
  matrizGrid_->setGeometry(layout.left, layout.top, layout.width, layout.height);
}

// --- Picture commands --------------------------------------------------------

void VentanaPrincipal::onAbrirImagen() {
  const bool hadPicture = ws_.ImagenCargada;
  AbrirImagen(pictureControls());
  opened(hadPicture);
}

void VentanaPrincipal::onBorrar() {
  BorrarImagen(pictureControls());
  if (!ws_.ImagenCargada) proporcionDanadosLabel_->clear();
  unsavedResult_ = false;
  showPictureInTitle();
}

void VentanaPrincipal::onCopiarFinalEnInicial() {
  CopiarFinalEnInicial(pictureControls());
}

void VentanaPrincipal::onRecuperarImagenInicial() {
  RecuperarImagenInicial(pictureControls());
}

void VentanaPrincipal::onGuardarImagen() {
  if (GuardarImagen(pictureControls())) unsavedResult_ = false;
}

// --- Detection, restoration and the advanced operations ----------------------

void VentanaPrincipal::onPuntosNegros() {
  PuntosNegros(ws_, *this, *this);
}
void VentanaPrincipal::onPuntosBlancos() {
  PuntosBlancos(ws_, *this, *this);
}
void VentanaPrincipal::onDilatacion() {
  Dilatacion(ws_, *this, *this);
}
void VentanaPrincipal::onErosion() {
  Erosion(ws_, *this, *this);
}
void VentanaPrincipal::onCierre() {
  Cierre(ws_, *this, *this);
}
void VentanaPrincipal::onApertura() {
  Apertura(ws_, *this, *this);
}
void VentanaPrincipal::onInicialMenosFinal() {
  InicialMenosFinal(ws_, *this, *this);
}
void VentanaPrincipal::onFinalMenosInicial() {
  FinalMenosInicial(ws_, *this, *this);
}

void VentanaPrincipal::onRestaurar() {
  ParametrosRestauracion p;
  p.filtro = FiltroPorIndice(filtroGroup_->itemIndex());
  // The box is editable: a typed text that names no item selects none.
  p.ventana = VentanaPorIndice(
      tamanoFiltroCombo_->findText(tamanoFiltroCombo_->currentText(), Qt::MatchExactly));
  p.incluirDanados = incluirDanadosCheck_->isChecked();
  p.avanzado = avanzadoAction_->isChecked();
  p.umbral = ws_.Umbral;
  Restaurar(ws_, *this, *this, p);
}

void VentanaPrincipal::onRestauracionAutomatica() {
  // The progress bar, the log and the result are on the first page: the run
  // is watched there.
  Find<QTabWidget>(this, "pageTabs")->setCurrentIndex(0);
  const auto res = RestaurarAutomaticamente(ws_, *this, *this);
  proporcionDanadosLabel_->setText(res ? QString::fromStdString(TextoPorcentaje(res->proporcion)) +
                                             QStringLiteral(" (%1 puntos)").arg(res->danados)
                                       : QString());
}

// --- Matrix page -------------------------------------------------------------

void VentanaPrincipal::onTamanoMatrizChanged() {
  ws_.TamanoElegido = TamanoPorIndice(tamanoMatrizGroup_->itemIndex());
  layOutGrid(ws_.TamanoElegido);
}

void VentanaPrincipal::onFactorNChanged() {
  const QString text = factorNEdit_->text();
  if (text.isEmpty()) {
    ws_.FactorN = 0;
    return;
  }
  if (const auto value = TryStrToInt(text)) {
    ws_.FactorN = *value;
    return;
  }
  ShowMessage(QStringLiteral("Valor incorrecto"));
  ws_.FactorN = 0;
  factorNEdit_->setText(QStringLiteral("0"));
}

void VentanaPrincipal::onFactorNExited() {
  if (factorNEdit_->text().isEmpty()) factorNEdit_->setText(QStringLiteral("0"));
}

void VentanaPrincipal::onCargarMatriz() {
  // The text is kept convertible by onFactorNChanged; an empty box (the focus never
  // left it) counts as 0.
  const std::int32_t factor = TryStrToInt(factorNEdit_->text()).value_or(0);
  GridCells grid(*matrizGrid_);
  CargarMatriz(ws_, *this, grid, ws_.TamanoElegido,
               TipoMatrizPorIndice(tipoMatrizGroup_->itemIndex()), factor);
}

// --- Restoration page --------------------------------------------------------

void VentanaPrincipal::onUmbralChanged() {
  const QString text = umbralEdit_->text();
  if (text.isEmpty()) {
    ws_.Umbral = 0;
    return;
  }
  const auto value = TryStrToInt(text);
  if (!value) {
    ShowMessage(QStringLiteral("Valor incorrecto"));
    ws_.Umbral = 0;
    umbralEdit_->setText(QStringLiteral("0"));
    return;
  }
  ws_.Umbral = *value;
  if (*value > 255) {
    ShowMessage(QStringLiteral("El valor tiene que ser menor de 255"));
    umbralEdit_->setText(QString());
  }
}

void VentanaPrincipal::onUmbralExited() {
  if (umbralEdit_->text().isEmpty()) umbralEdit_->setText(QStringLiteral("0"));
}

void VentanaPrincipal::onFiltroChanged() {
  const FiltroDescrito& filtro = FiltroDeElemento(filtroGroup_->itemIndex());
  incluirDanadosCheck_->setEnabled(filtro.tomaIncluirDanados);
  tamanoFiltroCombo_->setEnabled(filtro.tomaTamano);
}

// --- Views -------------------------------------------------------------------

void VentanaPrincipal::onImagenInicialViewDoubleClicked() {
  if (ws_.ImagenCargada) {
    MostrarVentana(ventanas_.imagenInicial);
    return;
  }
  clear();
  append("Abrir una imagen primero");
}

void VentanaPrincipal::onImagenFinalViewDoubleClicked() {
  if (ws_.ImagenCargada) {
    MostrarVentana(ventanas_.imagenFinal);
    return;
  }
  clear();
  append("Abrir una imagen primero");
}

// --- Menu: modes and Salir ---------------------------------------------------

void VentanaPrincipal::setAdvancedItemsEnabled(bool enabled) {
  for (QAction* item : advancedActions_) item->setEnabled(enabled);
}

void VentanaPrincipal::onNormal() {
  // The item's own toggle already ran: the remembered state is the other item's.
  if (!avanzadoAction_->isChecked()) {
    normalAction_->setChecked(true);
    return;
  }
  normalAction_->setChecked(true);
  avanzadoAction_->setChecked(false);
  setAdvancedItemsEnabled(false);
  avanzadoPanel_->hide();
  OlvidarDetecciones(ws_);
}

void VentanaPrincipal::onAvanzado() {
  if (!normalAction_->isChecked()) {
    avanzadoAction_->setChecked(true);
    return;
  }
  normalAction_->setChecked(false);
  avanzadoAction_->setChecked(true);
  setAdvancedItemsEnabled(true);
  avanzadoPanel_->show();
  MarcarDetecciones(ws_);
}

void VentanaPrincipal::onSalir() {
  if (!close()) return;
  QApplication::quit();
}

// --- Files in and out as on the desktop ----------------------------------------

void VentanaPrincipal::openFile(const QString& fileName) {
  if (fileName.isEmpty()) return;
  const bool hadPicture = ws_.ImagenCargada;
  AbrirImagen(pictureControls(), QFileInfo(fileName).absoluteFilePath());
  opened(hadPicture);
}

void VentanaPrincipal::openArguments(const QStringList& arguments) {
  if (arguments.size() < 2) return;
  const QString& name = arguments.at(1);
  // Some desktops pass a URL rather than a path.
  openFile(name.startsWith(QStringLiteral("file:")) ? QUrl(name).toLocalFile() : name);
}

void VentanaPrincipal::opened(bool hadPicture) {
  if (hadPicture || !ws_.ImagenCargada) return;
  saveDialog_.FileName = suggestedResultName(documento_->nombre());
  showPictureInTitle();
}

void VentanaPrincipal::showPictureInTitle() {
  if (!ws_.ImagenCargada) {
    setWindowTitle(QStringLiteral("Morvane"));
    return;
  }
  setWindowTitle(QString::fromUtf8("Morvane — ") +
                 describePicture(documento_->nombre(), imagenInicialView_->picture()));
}

bool VentanaPrincipal::mayClose() {
  if (!unsavedResult_) return true;
  switch (
      AskSave(QString::fromUtf8("La imagen final no se ha guardado. ¿Guardarla antes de salir?"))) {
    case SaveChoice::Save:
      onGuardarImagen();
      return !unsavedResult_;
    case SaveChoice::Discard:
      unsavedResult_ = false;
      return true;
    case SaveChoice::Cancel:
      break;
  }
  return false;
}

void VentanaPrincipal::closeEvent(QCloseEvent* event) {
  bool mayGo = false;
  runGuarded([&] { mayGo = mayClose(); });
  if (mayGo)
    event->accept();
  else
    event->ignore();
}

void VentanaPrincipal::dragEnterEvent(QDragEnterEvent* event) {
  runGuarded([&] {
    if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
  });
}

void VentanaPrincipal::dropEvent(QDropEvent* event) {
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

void VentanaPrincipal::clear() {
  logMemo_->clearLines();
}

void VentanaPrincipal::append(const char* utf8Line) {
  logMemo_->appendLine(QString::fromUtf8(utf8Line));
}

void VentanaPrincipal::drawRow(int y, const std::uint8_t* levels, int x0, int x1) {
  unsavedResult_ = true;
  imagenFinalView_->picture().writeLevels(y, levels, x0, x1);
  // Marks the row for repainting, so a command that ends early on an error
  // still shows what it drew.
  imagenFinalView_->rowsChanged(y, y + 1);
}

void VentanaPrincipal::stepProgress() {
  progressBar_->step();
}

void VentanaPrincipal::resetProgress() {
  progressBar_->setPosition(0);
}

void VentanaPrincipal::setTitle(const char* utf8Title) {
  titleLabel_->setText(QString::fromUtf8(utf8Title));
}

void VentanaPrincipal::showView() {
  imagenFinalView_->pictureChanged();
  imagenFinalView_->show();
}

}  // namespace morvane
