// The advanced-mode commands and the two detections, through a recording log
// and view: titles, log lines, what is drawn and when, the planes they leave
// and the flags.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "morphology/composite.h"
#include "morphology/detection.h"
#include "morphology/kernels.h"
#include "tests/support/morphology_fakes.h"

namespace morvane {
namespace {

using testing::AbrirVacia;
using testing::CargarPiramide;
using testing::Fila;
using testing::RecordingLog;
using testing::RecordingView;

using Command = void (*)(Workspace&, MessageLog&, ResultView&);

struct Session {
  Workspace ws;
  std::vector<std::string> events;
  RecordingLog log;
  RecordingView view;

  Session(int alto, int ancho, std::uint8_t level) {
    log.events = &events;
    view.events = &events;
    AbrirVacia(ws, alto, ancho);
    ws.ImagenInicial.fill(level);
    ws.ImagenFinal.fill(level);
  }
  void run(Command command) {
    events.clear();
    command(ws, log, view);
  }
  std::vector<std::vector<std::uint8_t>> planeRows(const Plane& p) const {
    std::vector<std::vector<std::uint8_t>> out;
    for (int i = 0; i < ws.Alto; ++i) out.push_back(Fila(p, i, ws.Ancho));
    return out;
  }
  std::vector<std::vector<std::uint8_t>> drawnRows() const {
    std::vector<std::vector<std::uint8_t>> out;
    for (const auto& [y, row] : view.drawn) out.push_back(row);
    return out;
  }
};

// The events of a whole-plane paint of `rows` rows.
std::vector<std::string> Paint(int rows) {
  std::vector<std::string> out;
  for (int i = 0; i < rows; ++i) {
    out.push_back("draw");
    out.push_back("step");
  }
  out.push_back("reset");
  return out;
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(Commands, StepsLogLinesAndTitlesInOrder) {
  Session s(5, 6, 100);
  CargarPiramide(s.ws, 3, 10);

  s.run(Dilatacion);
  EXPECT_EQ(
      s.events,
      Concat({{"title:Dilatación", "log.clear"}, Paint(5), {"show", "log:Dilatacion Realizada"}}));
  s.run(Erosion);
  EXPECT_EQ(s.events,
            Concat({{"title:Erosión", "log.clear", "log:Realizando Erosión"}, Paint(5), {"show"}}));
  s.run(Cierre);
  EXPECT_EQ(s.events, Concat({{"title:Cierre", "log.clear", "log:1-Dilatacion", "log:2-Erosion"},
                              Paint(5),
                              {"show"}}));
  s.run(Apertura);
  EXPECT_EQ(s.events, Concat({{"title:Apertura", "log.clear", "log:1-Erosion", "log:2-Dilatacion"},
                              Paint(5),
                              {"show"}}));
  s.log.append("se queda");
  s.run(InicialMenosFinal);
  EXPECT_EQ(s.events, Concat({{"title:INICIAL-FINAL"}, Paint(5)}));
  s.run(FinalMenosInicial);
  EXPECT_EQ(s.events, Concat({{"title:FINAL-INICIAL"}, Paint(5)}));
  EXPECT_EQ(s.log.lines.back(), "se queda");  // the differences leave the log alone

  // Detections title the view only after painting.
  s.run(PuntosNegros);
  EXPECT_EQ(s.events, Concat({{"log.clear", "log:1-Dilatacion", "log:2-Erosion"},
                              Paint(5),
                              {"title:Puntos Negros", "show"}}));
  s.run(PuntosBlancos);
  EXPECT_EQ(s.events, Concat({{"log.clear", "log:1-Erosion", "log:2-Dilatacion"},
                              Paint(5),
                              {"title:Puntos Blancos", "show"}}));
  EXPECT_EQ(s.view.progress, 0);
}

TEST(Commands, DilatacionShowsAndCopiesTheWorkPlaneWithItsBand) {
  Session s(5, 5, 100);
  s.ws.ImagenInicial[2][2] = 250;
  s.ws.Auxiliar1.fill(9);  // the band a dilation never writes
  s.ws.ImagenFinal.fill(1);
  CargarPiramide(s.ws, 3, 10);
  s.run(Dilatacion);
  const std::vector<std::vector<std::uint8_t>> want{{9, 9, 9, 9, 9},
                                                    {9, 255, 255, 255, 9},
                                                    {9, 255, 250, 255, 9},
                                                    {9, 255, 255, 255, 9},
                                                    {9, 9, 9, 9, 9}};
  EXPECT_EQ(s.planeRows(s.ws.Auxiliar1), want);
  EXPECT_EQ(s.planeRows(s.ws.ImagenFinal), want);
  EXPECT_EQ(s.drawnRows(), want);

  // Final - Inicial then leaves the dilation minus the image.
  s.run(FinalMenosInicial);
  EXPECT_EQ(s.ws.ImagenFinal[1][1], 155);
  EXPECT_EQ(s.ws.ImagenFinal[2][2], 0);
  EXPECT_EQ(s.ws.ImagenFinal[0][0], 0);  // 9 - 100 is clipped
}

TEST(Commands, ErosionKeepsTheBandOfTheFinalImage) {
  Session s(5, 5, 100);
  s.ws.ImagenInicial[2][2] = 30;
  s.ws.ImagenFinal.fill(7);
  s.ws.Auxiliar1.fill(3);
  CargarPiramide(s.ws, 3, 10);
  s.run(Erosion);
  const std::vector<std::vector<std::uint8_t>> want{
      {7, 7, 7, 7, 7}, {7, 20, 20, 20, 7}, {7, 20, 30, 20, 7}, {7, 20, 20, 20, 7}, {7, 7, 7, 7, 7}};
  EXPECT_EQ(s.planeRows(s.ws.ImagenFinal), want);
  EXPECT_EQ(s.drawnRows(), want);
  EXPECT_EQ(s.ws.Auxiliar1[2][2], 3);

  // Inicial - Final after Erosion: the image minus its erosion.
  s.run(InicialMenosFinal);
  EXPECT_EQ(s.ws.ImagenFinal[1][1], 80);
  EXPECT_EQ(s.ws.ImagenFinal[2][2], 0);
  EXPECT_EQ(s.ws.ImagenFinal[0][0], 93);
}

TEST(Commands, DifferencesClipAtZeroAndTwiceGiveTheMinimum) {
  Session s(4, 37, 0);
  std::mt19937 rng(5);
  std::vector<std::vector<std::uint8_t>> initial, final;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 37; ++j) {
      s.ws.ImagenInicial[i][j] = static_cast<std::uint8_t>(rng());
      s.ws.ImagenFinal[i][j] = static_cast<std::uint8_t>(rng());
    }
  initial = s.planeRows(s.ws.ImagenInicial);
  final = s.planeRows(s.ws.ImagenFinal);
  CargarPiramide(s.ws, 3, 0);

  s.run(InicialMenosFinal);
  s.run(InicialMenosFinal);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 37; ++j)
      ASSERT_EQ(s.ws.ImagenFinal[i][j], std::min(initial[i][j], final[i][j])) << i << "," << j;
  EXPECT_EQ(s.drawnRows(), s.planeRows(s.ws.ImagenFinal));
  EXPECT_EQ(s.planeRows(s.ws.ImagenInicial), initial);

  // Right after opening both planes hold the same picture: all black.
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 37; ++j) s.ws.ImagenFinal[i][j] = s.ws.ImagenInicial[i][j];
  s.run(FinalMenosInicial);
  for (const auto& row : s.drawnRows())
    for (std::uint8_t v : row) ASSERT_EQ(v, 0);
}

TEST(Detection, SevenBySevenPointsOverWholePlane) {
  Session s(7, 7, 100);
  s.ws.ImagenInicial[3][3] = 20;
  CargarPiramide(s.ws, 3, 0);
  s.ws.NegrosDetectados = false;
  s.ws.BlancosDetectados = true;
  s.run(PuntosNegros);
  for (int i = 0; i < 7; ++i)
    for (int j = 0; j < 7; ++j)
      EXPECT_EQ(s.ws.ImagenFinal[i][j], (i == 3 && j == 3) ? 80 : 0) << i << "," << j;
  EXPECT_EQ(s.drawnRows(), s.planeRows(s.ws.ImagenFinal));
  EXPECT_TRUE(s.ws.NegrosDetectados);
  EXPECT_FALSE(s.ws.BlancosDetectados);
  EXPECT_EQ(s.view.title, "Puntos Negros");

  Session w(7, 7, 100);
  w.ws.ImagenInicial[3][3] = 200;
  CargarPiramide(w.ws, 3, 0);
  w.ws.NegrosDetectados = true;
  w.run(PuntosBlancos);
  for (int i = 0; i < 7; ++i)
    for (int j = 0; j < 7; ++j) {
      const bool outer = i == 0 || j == 0 || i == 6 || j == 6;
      const int want = (i == 3 && j == 3) ? 100 : outer ? 100 : 0;
      EXPECT_EQ(w.ws.ImagenFinal[i][j], want) << i << "," << j;
    }
  EXPECT_TRUE(w.ws.BlancosDetectados);
  EXPECT_FALSE(w.ws.NegrosDetectados);
  EXPECT_EQ(w.view.title, "Puntos Blancos");
  EXPECT_EQ(w.planeRows(w.ws.ImagenInicial)[3][3], 200);
}

// A dark block of side s at the middle of a field of 100, black points with
// the matrix of side n: the level found at the block's centre. The field is
// wide enough that the block lies at least 2c from every edge.
int DarkBlock(int s, int n, int matrixFactor = 0) {
  Session ses(33, 33, 100);
  const int at = 16 - s / 2;
  for (int i = at; i < at + s; ++i)
    for (int j = at; j < at + s; ++j) ses.ws.ImagenInicial[i][j] = 20;
  CargarPiramide(ses.ws, n, matrixFactor);
  ses.run(PuntosNegros);
  // Every pixel of the block finds the same level, and nothing outside it.
  for (int i = 8; i < 25; ++i)
    for (int j = 8; j < 25; ++j) {
      const bool inside = i >= at && i < at + s && j >= at && j < at + s;
      if (!inside)
        EXPECT_EQ(ses.ws.ImagenFinal[i][j], 0) << s << " " << n;
      else
        EXPECT_EQ(ses.ws.ImagenFinal[i][j], ses.ws.ImagenFinal[16][16]) << s << " " << n;
    }
  return ses.ws.ImagenFinal[16][16];
}

TEST(Detection, BlocksSmallerThanTheMatrixAreFoundWhole) {
  EXPECT_EQ(DarkBlock(2, 3), 80);
  EXPECT_EQ(DarkBlock(3, 3), 0);
  EXPECT_EQ(DarkBlock(3, 5), 80);
  EXPECT_EQ(DarkBlock(8, 9), 80);
  EXPECT_EQ(DarkBlock(9, 9), 0);
  EXPECT_EQ(DarkBlock(1, 3, 10), 80);  // pyramid of factor 10
}

TEST(Detection, PyramidPointsAndFlatOrRampImagesAwayFromTheEdges) {
  for (std::uint8_t point : {20, 200}) {
    Session s(9, 9, 100);
    s.ws.ImagenInicial[4][4] = point;
    CargarPiramide(s.ws, 3, 10);
    s.run(point < 100 ? PuntosNegros : PuntosBlancos);
    for (int i = 2; i < 7; ++i)
      for (int j = 2; j < 7; ++j)
        EXPECT_EQ(s.ws.ImagenFinal[i][j], (i == 4 && j == 4) ? (point < 100 ? 80 : 100) : 0);
  }
  // A ramp grows by a constant step from column to column.
  Session r(20, 30, 0);
  for (int i = 0; i < 20; ++i)
    for (int j = 0; j < 30; ++j) r.ws.ImagenInicial[i][j] = static_cast<std::uint8_t>(7 * j);
  CargarPiramide(r.ws, 5, 0);
  for (Command detect : {PuntosNegros, PuntosBlancos}) {
    r.run(detect);
    for (int i = 4; i < 16; ++i)
      for (int j = 4; j < 26; ++j) ASSERT_EQ(r.ws.ImagenFinal[i][j], 0) << i << "," << j;
  }
}

TEST(Detection, SameAsClosingOrOpeningFollowedByTheDifference) {
  const int alto = 40, ancho = 53;
  std::mt19937 rng(11);
  for (int n : {3, 5, 9}) {
    Session det(alto, ancho, 0), adv(alto, ancho, 0);
    for (int i = 0; i < alto; ++i)
      for (int j = 0; j < ancho; ++j) {
        const auto v = static_cast<std::uint8_t>(rng());
        det.ws.ImagenInicial[i][j] = adv.ws.ImagenInicial[i][j] = v;
      }
    // Different work-plane bands, so only pixels 2c inside may agree.
    adv.ws.Auxiliar1.fill(200);
    CargarPiramide(det.ws, n, 7);
    CargarPiramide(adv.ws, n, 7);
    const int edge = 2 * (n / 2);
    auto compare = [&](const char* what) {
      for (int i = edge; i < alto - edge; ++i)
        for (int j = edge; j < ancho - edge; ++j)
          ASSERT_EQ(det.ws.ImagenFinal[i][j], adv.ws.ImagenFinal[i][j])
              << what << " n=" << n << " " << i << "," << j;
    };
    det.run(PuntosNegros);
    adv.run(Cierre);
    adv.run(FinalMenosInicial);
    compare("black");
    det.run(PuntosBlancos);
    adv.run(Apertura);
    adv.run(InicialMenosFinal);
    compare("white");
  }
}

TEST(Detection, UsesTheLoadedSizeNotTheChosenOne) {
  Session s(21, 21, 100);
  for (int i = 9; i < 12; ++i)
    for (int j = 9; j < 12; ++j) s.ws.ImagenInicial[i][j] = 20;
  CargarPiramide(s.ws, 3, 0);
  s.ws.TamanoElegido = 5;  // chosen in the tab, not loaded
  s.run(PuntosNegros);
  EXPECT_EQ(s.ws.ImagenFinal[10][10], 0);  // a 5 x 5 matrix would find 80
}

TEST(Refusals, NoPictureOrNoMatrixChangesNothing) {
  const std::vector<Command> all{Dilatacion,        Erosion,           Cierre,       Apertura,
                                 InicialMenosFinal, FinalMenosInicial, PuntosNegros, PuntosBlancos};
  for (Command command : all) {
    for (bool picture : {false, true}) {
      Session s(6, 6, 50);
      s.ws.ImagenInicial[2][2] = 0;
      s.ws.ImagenFinal.fill(60);
      s.ws.Auxiliar1.fill(70);
      s.ws.Auxiliar2.fill(80);
      s.ws.ImagenCargada = picture;
      if (!picture) CargarPiramide(s.ws, 3, 0);  // a matrix is not enough
      s.ws.NegrosDetectados = true;
      s.ws.BlancosDetectados = false;
      s.log.append("antes");
      s.run(command);
      EXPECT_EQ(s.log.lines, std::vector<std::string>{picture ? "No se ha cargado la Matriz B"
                                                              : "No has seleccionado una imagen"});
      EXPECT_EQ(s.events.size(), 2u);  // the clear and the reason, nothing on the view
      EXPECT_TRUE(s.view.title.empty());
      EXPECT_EQ(s.ws.ImagenFinal[2][2], 60);
      EXPECT_EQ(s.ws.Auxiliar1[2][2], 70);
      EXPECT_EQ(s.ws.Auxiliar2[2][2], 80);
      EXPECT_TRUE(s.ws.NegrosDetectados);
      EXPECT_FALSE(s.ws.BlancosDetectados);
    }
  }
}

}  // namespace
}  // namespace morvane
