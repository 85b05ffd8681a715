// What the pages' choice controls mean to the commands, including the states a
// user can leave them in: no item selected, a typed size naming no item.
#include <gtest/gtest.h>

#include "app/page_choices.h"

namespace morvane {
namespace {

TEST(PageChoices, ItemsToValues) {
  const Filtro filtros[] = {Filtro::Media, Filtro::Media, Filtro::Mediana, Filtro::Conservativo,
                            Filtro::Cubico};
  for (int item = -1; item <= 3; ++item)
    EXPECT_EQ(FiltroPorIndice(item), filtros[item + 1]) << item;
  EXPECT_EQ(VentanaPorIndice(-1), Ventana::De3x3);
  EXPECT_EQ(VentanaPorIndice(0), Ventana::De3x3);
  EXPECT_EQ(VentanaPorIndice(1), Ventana::De5x5);
  const TipoMatriz tipos[] = {TipoMatriz::Personalizada, TipoMatriz::Ceros, TipoMatriz::Piramidal,
                              TipoMatriz::Personalizada};
  for (int item = -1; item <= 2; ++item) EXPECT_EQ(TipoMatrizPorIndice(item), tipos[item + 1]);
  const int sizes[] = {9, 3, 5, 7, 9};
  for (int item = -1; item <= 3; ++item) {
    EXPECT_EQ(TamanoPorIndice(item), sizes[item + 1]);
    EXPECT_EQ(DisposicionRejilla(sizes[item + 1]).size, sizes[item + 1]);
  }
}

}  // namespace
}  // namespace morvane
