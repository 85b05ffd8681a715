#include "batch/recipe.h"

#include <stdexcept>

#include "morphology/detection.h"
#include "morphology/matrix.h"
#include "restoration/restaurar.h"
#include "restoration/restaurar_automatica.h"

namespace morvane {

namespace {

// The log the commands write to: nobody reads it here.
class RegistroMudo : public MessageLog {
 public:
  void clear() override {}
  void append(const char*) override {}
};

// The matrix grid as typed on the command line.
class CeldasDeReceta : public MatrixGrid {
 public:
  explicit CeldasDeReceta(const Receta& receta) : receta_(receta) {}
  std::string cell(int col, int row) const override {
    if (row < 0 || static_cast<std::size_t>(row) >= receta_.celdas.size()) return {};
    const auto& fila = receta_.celdas[static_cast<std::size_t>(row)];
    return col >= 0 && static_cast<std::size_t>(col) < fila.size()
               ? fila[static_cast<std::size_t>(col)]
               : std::string();
  }
  void setCell(int, int, const std::string&) override {}
  void showMessage(const char* utf8) override { mensaje_ = utf8; }
  const std::string& mensaje() const { return mensaje_; }

 private:
  const Receta& receta_;
  std::string mensaje_;
};

}  // namespace

void PrepararReceta(Workspace& ws, const Receta& receta) {
  RegistroMudo registro;
  CeldasDeReceta celdas(receta);
  CargarMatriz(ws, registro, celdas, receta.tamanoMatriz, receta.tipo, receta.factorN);
  if (!ws.MatrizCargada) throw std::runtime_error(celdas.mensaje());
}

void Detectar(Workspace& ws, ResultView& vista, Deteccion deteccion) {
  RegistroMudo registro;
  if (deteccion == Deteccion::Negros)
    PuntosNegros(ws, registro, vista);
  else
    PuntosBlancos(ws, registro, vista);
}

void RestaurarConReceta(Workspace& ws, ResultView& vista, const Receta& receta) {
  RegistroMudo registro;
  Restaurar(ws, registro, vista,
            ParametrosRestauracion{receta.filtro, receta.ventana, receta.incluirDanados, false,
                                   receta.umbral});
}

long long RestaurarSinReceta(Workspace& ws, ResultView& vista) {
  RegistroMudo registro;
  const auto res = RestaurarAutomaticamente(ws, registro, vista);
  return res ? res->danados : 0;
}

}  // namespace morvane
