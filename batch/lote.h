// morvane-lote: one recipe over many pictures, several at once, with exactly
// the levels the window would have saved.
#pragma once

#include <csignal>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "batch/options.h"
#include "toolkit/picture.h"

namespace morvane {

// What the run sees of its surroundings.
struct EntornoLote {
  EntornoLote(std::istream& in, std::ostream& out, std::ostream& err)
      : entrada(in), salida(out), errores(err) {}
  std::istream& entrada;  // names, one a line, for "-"
  // When not negative, names for "-" are read from this descriptor instead of
  // entrada, so that a signal stops a read that waits for more.
  int descriptorEntrada = -1;
  std::ostream& salida;   // the help text
  std::ostream& errores;  // progress, notices and error lines
  bool terminal = false;  // errores is a terminal: a progress bar instead of lines
  int columnas = 0;       // width of that terminal; 0: asked of standard error, then $COLUMNS
  // Bytes of memory the run may use; nothing: what the machine has free,
  // within the process's limits (cgroup memory.max, ulimit -v).
  std::optional<std::uint64_t> memoriaDisponible;
  int procesadores = 0;  // 0: the machine's
  // Set to the signal's number (by a signal handler) to stop the run: no new
  // result is started, the ones being written are finished, the report is
  // written, and the process ends with status 128 + the signal.
  const volatile std::sig_atomic_t* interrumpido = nullptr;
};

// Runs the program on its arguments (without the program's name). Returns the
// exit status: 0 when every picture was restored or already had its result, 1
// when any failed, 2 for a wrong option or report (before any file is touched).
int EjecutarLote(const std::vector<std::string>& args, EntornoLote& entorno);

// What one step of one picture did, for the report.
struct InformePaso {
  Deteccion deteccion;
  // ImagenFinal levels above Umbral after the detection; for the automatic
  // restoration, the points it found damaged.
  long long sobreUmbral = 0;
  long long restaurados = 0;  // levels the restoration changed
  double segundos = 0;
};

// The whole recipe on the picture already read into izquierda: opened as the
// window opens it (the right picture a copy of the left one, the planes filled
// from them); the right picture ends as the result to save.
std::vector<InformePaso> AplicarReceta(Picture& izquierda, Picture& derecha, const Receta& receta);

// Result name of an input: next to it with "_restaurada", or in salida below
// the input's folder relative to raiz (an absolute, clean folder that holds
// the input); with the extension formato, or the input's own when formato is
// empty (bmp when the input's is none or not a picture format).
std::string NombreResultado(const std::string& entrada, const std::string& salida,
                            const std::string& formato, const std::string& raiz = {});

// Whether a name is a result of the default naming ("..._restaurada.ext").
bool EsResultado(const std::string& entrada);

// Memory the whole recipe (or the automatic restoration) holds at its peak for
// one picture file, read from its header; 0 when the header cannot be read.
std::uint64_t BytesPorImagen(const std::string& nombre, bool automatica = false);

// Files that can be run at once: pedidos, lowered so that pictures of
// bytesPorImagen each fit in disponible (at least 1).
int TrabajosQueCaben(int pedidos, std::uint64_t bytesPorImagen, std::uint64_t disponible);

}  // namespace morvane
