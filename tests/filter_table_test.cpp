// The page's items and the batch's --filtro choices follow the filter table.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include "app/main_window.h"
#include "app/page_choices.h"
#include "batch/options.h"
#include "restoration/filtros.h"
#include "tests/support/application.h"
#include "tests/support/child.h"
#include "toolkit/controls.h"

namespace morvane {
namespace {

TEST(FilterTable, ThePageAndTheBatchFollowTheRows) {
  EnsureApplication();
  Workspace ws;
  VentanaPrincipal form(ws);
  const std::vector<const FiltroDescrito*> pagina = FiltrosEnPagina();
  const QStringList items{"Filtro de Media", "Filtro de Mediana", "Filtro Conservativo",
                          "Filtro Paso Bajo por Interpolacion Cubica"};
  ASSERT_EQ(child<RadioGroup>(form, "filtroGroup")->count(), items.size());
  ASSERT_EQ(pagina.size(), static_cast<std::size_t>(items.size()));
  for (int i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(i);
    child<RadioGroup>(form, "filtroGroup")->button(i)->click();
    const FiltroDescrito& f = *pagina[static_cast<std::size_t>(i)];
    EXPECT_EQ(child<RadioGroup>(form, "filtroGroup")->button(i)->text(), items[i]);
    EXPECT_EQ(child<QComboBox>(form, "tamanoFiltroCombo")->isEnabled(), f.tomaTamano);
    EXPECT_EQ(child<QCheckBox>(form, "incluirDanadosCheck")->isEnabled(), f.tomaIncluirDanados);
    MarcarDetecciones(ws);  // Restaurar runs the item's row even with no picture
    child<QPushButton>(form, "restaurarButton")->click();
    EXPECT_EQ(child<Memo>(form, "logMemo")->lines().value(1), QString::fromUtf8(f.lineaRegistro));
  }

  const std::string ayuda = TextoAyuda();
  for (const FiltroDescrito& f : TablaFiltros()) {
    if (f.palabraLote == nullptr) continue;
    const std::string palabra = f.palabraLote;
    EXPECT_NE(ayuda.find(palabra), std::string::npos) << palabra;
    std::string error;
    const auto o = AnalizarOpciones({"--filtro", palabra, "a.bmp"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->receta.filtro, f.filtro) << palabra;
    EXPECT_NE(TextoReceta(*o).find("--filtro " + palabra), std::string::npos);
    for (const auto& [opcion, toma] : {std::pair{"--tamano", f.tomaTamano},
                                       std::pair{"--incluir-danados", f.tomaIncluirDanados}}) {
      std::vector<std::string> args{"--filtro", palabra, opcion};
      if (std::string(opcion) == "--tamano") args.push_back("5");
      args.push_back("a.bmp");
      EXPECT_EQ(AnalizarOpciones(args, error).has_value(), toma) << palabra << " " << opcion;
      EXPECT_TRUE(toma || error == std::string(opcion) + " no vale con --filtro " + palabra)
          << error;
    }
  }
}

TEST(FilterTable, ARowOffThePageKeepsTheItems) {
  std::vector<FiltroDescrito> tabla(TablaFiltros().begin(), TablaFiltros().end());
  FiltroDescrito propia = tabla.front();
  propia.nombreVentana = nullptr;
  propia.palabraLote = nullptr;
  tabla.insert(tabla.begin() + 1, propia);
  tabla.insert(tabla.begin(), propia);
  EXPECT_EQ(FiltrosEnPagina(tabla).size(), FiltrosEnPagina().size());
  for (int item = -1; item <= 4; ++item)
    EXPECT_EQ(FiltroDeElemento(item, tabla).nombreVentana, FiltroDeElemento(item).nombreVentana)
        << item;
  EXPECT_EQ(FiltroDeElemento(-1).filtro, Filtro::Media);
}

}  // namespace
}  // namespace morvane
