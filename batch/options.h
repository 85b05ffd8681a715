// The batch program's command line: the recipe applied to every file and how
// the files are run. Every value is checked here, before any file is touched.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "morphology/matrix.h"
#include "restoration/restaurar.h"

namespace morvane {

enum class Deteccion { Negros, Blancos };

// What the window would be set to: the matrix page, the restoration page and
// the sequence of detections (each followed by Restaurar, consecutive ones
// joined by "<<").
struct Receta {
  int tamanoMatriz = 3;
  TipoMatriz tipo = TipoMatriz::Ceros;
  std::int32_t factorN = 0;
  std::vector<std::vector<std::string>> celdas;  // [row][column], texts as typed in the grid
  std::int32_t umbral = 50;
  Filtro filtro = Filtro::Media;
  Ventana ventana = Ventana::De3x3;  // the neighbourhood filters' window
  bool incluirDanados = false;
  std::vector<Deteccion> pasos{Deteccion::Negros, Deteccion::Blancos};
};

struct OpcionesLote {
  Receta receta;
  std::string salida;   // empty: each result next to its input
  std::string formato;  // extension of the results, lower case; empty: the input's
  int trabajos = 0;     // files at once; 0: one per processor
  std::string informe;  // CSV report; empty: none
  bool sobrescribir = false;
  bool silencioso = false;
  bool ayuda = false;
  std::vector<std::string> archivos;  // "-" stands for the names read from standard input
};

// Result formats the program accepts, by extension.
const std::vector<std::string>& FormatosAdmitidos();

// Parses the arguments (without the program name). On a wrong option or value
// returns nothing and leaves in error a line naming the option and the values
// it accepts.
std::optional<OpcionesLote> AnalizarOpciones(const std::vector<std::string>& args,
                                             std::string& error);

// The help text.
const char* TextoAyuda();

}  // namespace morvane
