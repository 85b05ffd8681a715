#include "restoration/cubic.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <vector>

#include "restoration/cubic_samples.h"
#include "workspace/parallel.h"

namespace morvane {

namespace {

// What a row's computation leaves for the in-order step besides its levels.
struct Fila {
  bool resuelta = false;    // a pixel of the row reached the solver
  bool consistente = true;  // SistemaConsistente as the row's last solve left it
  int error = -1;           // column of the pixel whose solve raised, or -1
  std::exception_ptr excepcion;
};

// Below this many damaged pixels the threads are not worth starting.
constexpr long kTrabajoMinimo = 256;

long ContarDanados(const Workspace& ws, int m, std::int32_t umbral, long hasta) {
  long n = 0;
  for (int r = m; r < ws.Alto - m && n < hasta; ++r) {
    const int end = ws.Ancho - m;
    for (int c = SiguienteDanado(ws.ImagenFinal[r], m, end, umbral); c < end && n < hasta;
         c = SiguienteDanado(ws.ImagenFinal[r], c + 1, end, umbral))
      ++n;
  }
  return n;
}

// Works out the damaged pixels of row r into niveles (a row laid out as the
// planes' rows, already holding the row's initial levels). Stops at the first
// pixel whose solve raises and records it in fila.
void CalcularFila(const Workspace& ws, const BuscadorMuestras& buscador, const Resolutor& resolutor,
                  std::int32_t umbral, int r, std::uint8_t* niveles, Fila& fila) {
  constexpr int m = kMargenCubico;
  const int fin = ws.Ancho - m;
  const std::uint8_t* danos = ws.ImagenFinal[r];
  Muestras muestras;
  for (int c = SiguienteDanado(danos, m, fin, umbral); c < fin;
       c = SiguienteDanado(danos, c + 1, fin, umbral)) {
    if (buscador.Recoger(r, c, muestras) < 16) continue;  // too few: the level stays
    bool consistente = true;
    std::uint8_t nivel;
    try {
      const bool ok = resolutor ? resolutor(muestras, r, c, consistente, nivel)
                                : NivelInterpolado(muestras, r, c, consistente, nivel);
      if (ok) niveles[c] = nivel;
    } catch (...) {
      fila.error = c;
      fila.excepcion = std::current_exception();
    }
    fila.resuelta = true;
    fila.consistente = consistente;
    if (fila.error >= 0) return;
  }
}

// Hands row r over: its levels into Auxiliar1, the row drawn, the bar stepped;
// or, when its computation raised, the part before that pixel, and the
// exception goes on.
void EntregarFila(Workspace& ws, ResultView& view, int r, const std::uint8_t* niveles,
                  const Fila& fila) {
  constexpr int m = kMargenCubico;
  if (fila.resuelta) ws.SistemaConsistente = fila.consistente;
  const int fin = fila.error >= 0 ? fila.error : ws.Ancho - m;
  if (niveles != ws.Auxiliar1[r]) std::copy(niveles + m, niveles + fin, ws.Auxiliar1[r] + m);
  if (fila.error >= 0) {
    if (fin > m) view.drawRow(r, ws.Auxiliar1[r], m, fin);
    std::rethrow_exception(fila.excepcion);
  }
  view.drawRow(r, ws.Auxiliar1[r], m, fin);
  view.stepProgress();
}

}  // namespace

void FiltroInterpolacionCubica(Workspace& ws, ResultView& view, const ParametrosFiltro& p,
                               const Resolutor& resolutor) {
  if (!EmpezarMarco(ws, view)) return;
  constexpr int m = kMargenCubico;
  const int alto = ws.Alto;
  const int ancho = ws.Ancho;
  // Umbral 0 or below admits no sample, so nothing can be restored.
  const std::int32_t umbral = p.umbral;
  const bool restaurable = umbral > 0 && umbral < 255;
  if (alto > 2 * m && ancho > 2 * m) {
    const BuscadorMuestras buscador(ws.ImagenFinal, ws.ImagenInicial, alto, ancho, umbral);
    int hilos = HilosPorOperacion();
    if (!HilosFijados() &&
        (!restaurable || ContarDanados(ws, m, umbral, kTrabajoMinimo) < kTrabajoMinimo))
      hilos = 1;
    // The rows are independent, so they can be worked out in any order and on
    // any thread: the samples are admitted pixels, read from ImagenInicial, and
    // a restore only ever changes a damaged pixel, never an admitted one. Only
    // the in-order step (Auxiliar1, the view, SistemaConsistente) keeps scan order.
    // One thread works straight in Auxiliar1; several work rows ahead in a
    // copy of the picture, each row starting from its initial levels.
    const bool aparte = hilos != 1;
    Plane copia = aparte ? Plane(alto, ancho) : Plane();
    Plane& filasCalculadas = aparte ? copia : ws.Auxiliar1;
    std::vector<Fila> filas(static_cast<std::size_t>(alto));
    RecorrerFilasEnOrden(
        m, alto - m, hilos,
        [&](int r) {
          if (aparte)
            std::copy(ws.ImagenInicial[r] + m, ws.ImagenInicial[r] + ancho - m,
                      filasCalculadas[r] + m);
          Fila& fila = filas[static_cast<std::size_t>(r)];
          if (restaurable)
            CalcularFila(ws, buscador, resolutor, umbral, r, filasCalculadas[r], fila);
          return fila.error < 0;
        },
        [&](int r) {
          EntregarFila(ws, view, r, filasCalculadas[r], filas[static_cast<std::size_t>(r)]);
        });
  }
  TerminarMarco(ws, view, m);
}

}  // namespace morvane
