// The batch program's command line: the recipe applied to every file and how
// the files are run. Every value is checked here, before any file is touched.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "morphology/matrix.h"
#include "restoration/restaurar.h"

namespace morvane {

// A step of the recipe; Automatica is the automatic restoration, which takes
// the place of the whole recipe.
enum class Deteccion { Negros, Blancos, Automatica };

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
  // "Restauración Automática" instead of the matrix, detections and Restaurar.
  bool automatica = false;
};

struct OpcionesLote {
  Receta receta;
  std::string salida;  // empty: each result next to its input
  std::string
      raiz;  // folder the results' subfolders are counted from; empty: the inputs' common one
  std::string formato;  // extension of the results, lower case; empty: the input's
  int trabajos = 0;     // files at once; 0: one per processor
  std::string informe;  // CSV report; empty: none
  bool sobrescribir = false;
  bool silencioso = false;
  bool ayuda = false;
  bool version = false;
  std::vector<std::string> archivos;  // "-" stands for the names read from standard input
  std::vector<std::string> dadas;     // long names of the options given, in order
  std::string celdasTexto;            // --celdas as typed, checked once the size is known
};

// One option of the command line: the parser and the help text read the same
// table. valor is empty for an option without a value.
struct Opcion {
  std::string grupo;   // heading of the help section it is listed under
  std::string nombre;  // long name, "--..."
  std::string corta;   // "-x" or empty
  std::string valor;   // the value's placeholder in the help
  std::string ayuda;   // help text; lines after the first are indented under it
  std::function<bool(OpcionesLote&, const std::string& mostrado, const std::string& valor,
                     std::string& error)>
      aplicar;
};
const std::vector<Opcion>& TablaOpciones();

// Result formats the program accepts, by extension.
const std::vector<std::string>& FormatosAdmitidos();

// Parses the arguments (without the program name). On a wrong option or value
// returns nothing and leaves in error a line naming the option and the values
// it accepts.
std::optional<OpcionesLote> AnalizarOpciones(const std::vector<std::string>& args,
                                             std::string& error);

// The recipe as options, every one that shapes the result, for the report.
std::string TextoReceta(const OpcionesLote& o);

// The help text, built from the table.
std::string TextoAyuda();

// "morvane-lote" and the version.
std::string TextoVersion();

}  // namespace morvane
