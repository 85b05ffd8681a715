// The advanced-mode commands and the detections through a recording window:
// order of titles, log lines and painting, the planes they leave, the flags.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "morphology/composite.h"
#include "morphology/detection.h"
#include "tests/support/morphology_fakes.h"

namespace morvane {
namespace {

using testing::Niveles;
using Command = void (*)(Workspace&, MessageLog&, ResultView&);
using Levels = std::vector<std::vector<int>>;

struct Session {
  Workspace ws;
  testing::Recorder win;

  Session(int alto, int ancho, std::uint8_t level, int n = 3, int factor = 0) {
    testing::Abrir(ws, alto, ancho, level);
    testing::CargarPiramide(ws, n, factor);
  }
  void run(Command command) {
    win.events.clear();
    command(ws, win, win);
  }
  Levels levels(const Plane& p) const { return Niveles(p, ws.Alto, ws.Ancho); }
  Levels drawn() const {
    Levels out;
    for (const auto& [y, row] : win.drawn) out.emplace_back(row.begin(), row.end());
    return out;
  }
};

std::vector<std::string> Steps(std::vector<std::string> before, std::vector<std::string> after) {
  for (int i = 0; i < 4; ++i) before.insert(before.end(), {"draw", "step"});
  before.push_back("reset");
  before.insert(before.end(), after.begin(), after.end());
  return before;
}

TEST(Commands, TitlesLogLinesAndPaintingInOrder) {
  Session s(4, 6, 100);
  s.run(Dilatacion);
  EXPECT_EQ(s.win.events, Steps({"title Dilatación", "clear"}, {"show", "Dilatacion Realizada"}));
  s.run(Erosion);
  EXPECT_EQ(s.win.events, Steps({"title Erosión", "clear", "Realizando Erosión"}, {"show"}));
  s.run(Cierre);
  EXPECT_EQ(s.win.events, Steps({"title Cierre", "clear", "1-Dilatacion", "2-Erosion"}, {"show"}));
  s.run(Apertura);
  EXPECT_EQ(s.win.events,
            Steps({"title Apertura", "clear", "1-Erosion", "2-Dilatacion"}, {"show"}));
  s.run(InicialMenosFinal);
  EXPECT_EQ(s.win.events, Steps({"title INICIAL-FINAL"}, {}));
  s.run(FinalMenosInicial);
  EXPECT_EQ(s.win.events, Steps({"title FINAL-INICIAL"}, {}));
  // Detections title the view only once it is painted.
  s.run(PuntosNegros);
  EXPECT_EQ(s.win.events,
            Steps({"clear", "1-Dilatacion", "2-Erosion"}, {"title Puntos Negros", "show"}));
  s.run(PuntosBlancos);
  EXPECT_EQ(s.win.events,
            Steps({"clear", "1-Erosion", "2-Dilatacion"}, {"title Puntos Blancos", "show"}));
}

TEST(Commands, BandsAndDifferences) {
  Session s(5, 5, 100, 3, 10);
  s.ws.ImagenInicial[2][2] = 250;
  s.ws.Auxiliar1.fill(9);
  s.run(Dilatacion);  // shows and copies the work plane, its band included
  const Levels dilated{{9, 9, 9, 9, 9},
                       {9, 255, 255, 255, 9},
                       {9, 255, 250, 255, 9},
                       {9, 255, 255, 255, 9},
                       {9, 9, 9, 9, 9}};
  EXPECT_EQ(s.levels(s.ws.ImagenFinal), dilated);
  EXPECT_EQ(s.levels(s.ws.Auxiliar1), dilated);
  EXPECT_EQ(s.drawn(), dilated);
  s.run(FinalMenosInicial);  // clipped at 0 on the band
  EXPECT_EQ(s.levels(s.ws.ImagenFinal)[1], (std::vector<int>{0, 155, 155, 155, 0}));
  EXPECT_EQ(s.levels(s.ws.ImagenFinal)[2], (std::vector<int>{0, 155, 0, 155, 0}));

  s.ws.ImagenInicial[2][2] = 30;
  s.ws.ImagenFinal.fill(7);
  s.run(Erosion);  // straight into the final image, whose band stays
  EXPECT_EQ(s.levels(s.ws.ImagenFinal)[2], (std::vector<int>{7, 20, 30, 20, 7}));
  EXPECT_EQ(s.drawn(), s.levels(s.ws.ImagenFinal));
  EXPECT_EQ(s.ws.Auxiliar1[2][2], 250);
  s.run(InicialMenosFinal);
  EXPECT_EQ(s.levels(s.ws.ImagenFinal)[2], (std::vector<int>{93, 80, 0, 80, 93}));

  // Run twice, Inicial - Final leaves min(I, F), not the first picture.
  const std::uint8_t initial[] = {10, 200, 50, 0, 255}, final[] = {20, 100, 50, 255, 0};
  std::copy(initial, initial + 5, s.ws.ImagenInicial[0]);
  std::copy(final, final + 5, s.ws.ImagenFinal[0]);
  s.run(InicialMenosFinal);
  s.run(InicialMenosFinal);
  EXPECT_EQ(s.levels(s.ws.ImagenFinal)[0], (std::vector<int>{10, 100, 50, 0, 0}));
}

TEST(Detection, PointsOnSevenBySevenWithZeroWorkPlanes) {
  Session black(7, 7, 100), white(7, 7, 100);
  black.ws.ImagenInicial[3][3] = 20;
  white.ws.ImagenInicial[3][3] = 200;
  black.ws.BlancosDetectados = true;
  white.ws.NegrosDetectados = true;
  black.run(PuntosNegros);
  white.run(PuntosBlancos);
  Levels wantBlack(7, std::vector<int>(7, 0)), wantWhite(7, std::vector<int>(7, 100));
  wantBlack[3][3] = 80;
  for (int i = 1; i < 6; ++i)
    for (int j = 1; j < 6; ++j) wantWhite[i][j] = i == 3 && j == 3 ? 100 : 0;
  EXPECT_EQ(black.levels(black.ws.ImagenFinal), wantBlack);
  EXPECT_EQ(white.levels(white.ws.ImagenFinal), wantWhite);
  EXPECT_EQ(white.drawn(), wantWhite);
  EXPECT_TRUE(black.ws.NegrosDetectados && !black.ws.BlancosDetectados);
  EXPECT_TRUE(white.ws.BlancosDetectados && !white.ws.NegrosDetectados);
}

// A dark block of side s in a field of 100, black points with the matrix of
// side n: the level every block pixel gets (0 must be found around it).
int DarkBlock(int s, int n, int factor = 0) {
  Session ses(33, 33, 100, n, factor);
  const int at = 16 - s / 2;
  for (int i = at; i < at + s; ++i)
    for (int j = at; j < at + s; ++j) ses.ws.ImagenInicial[i][j] = 20;
  ses.run(PuntosNegros);
  const int found = ses.ws.ImagenFinal[at][at];
  for (int i = 8; i < 25; ++i)
    for (int j = 8; j < 25; ++j) {
      const bool inside = i >= at && i < at + s && j >= at && j < at + s;
      EXPECT_EQ(ses.ws.ImagenFinal[i][j], inside ? found : 0) << s << " " << n;
    }
  return found;
}

TEST(Detection, BlocksNarrowerThanTheMatrixAreFound) {
  EXPECT_EQ(DarkBlock(2, 3), 80);
  EXPECT_EQ(DarkBlock(3, 3), 0);
  EXPECT_EQ(DarkBlock(3, 5), 80);
  EXPECT_EQ(DarkBlock(8, 9), 80);
  EXPECT_EQ(DarkBlock(9, 9), 0);
  EXPECT_EQ(DarkBlock(1, 3, 10), 80);
}

TEST(Detection, SameAsCierreOrAperturaAndTheDifferenceAwayFromTheEdges) {
  std::mt19937 rng(11);
  for (int n : {3, 5, 9}) {
    Session det(40, 53, 0, n, 7), adv(40, 53, 0, n, 7);
    for (int i = 0; i < 40; ++i)
      for (int j = 0; j < 53; ++j)
        det.ws.ImagenInicial[i][j] = adv.ws.ImagenInicial[i][j] = static_cast<std::uint8_t>(rng());
    adv.ws.Auxiliar1.fill(200);  // another band: only pixels 2c inside agree
    const int e = n / 2 * 2;
    for (auto [detect, first, second] :
         {std::array<Command, 3>{PuntosNegros, Cierre, FinalMenosInicial},
          std::array<Command, 3>{PuntosBlancos, Apertura, InicialMenosFinal}}) {
      det.run(detect);
      adv.run(first);
      adv.run(second);
      for (int i = e; i < 40 - e; ++i)
        for (int j = e; j < 53 - e; ++j)
          ASSERT_EQ(det.ws.ImagenFinal[i][j], adv.ws.ImagenFinal[i][j])
              << n << " " << i << "," << j;
    }
  }
}

TEST(Detection, UsesTheLoadedSizeNotTheChosenOne) {
  Session s(21, 21, 100);
  for (int i = 9; i < 12; ++i)
    for (int j = 9; j < 12; ++j) s.ws.ImagenInicial[i][j] = 20;
  s.ws.TamanoElegido = 5;
  s.run(PuntosNegros);
  EXPECT_EQ(s.ws.ImagenFinal[10][10], 0);  // 80 with a 5 x 5 matrix
}

TEST(Refusals, WithoutPictureOrMatrixNothingChanges) {
  for (Command command : {Dilatacion, Erosion, Cierre, Apertura, InicialMenosFinal,
                          FinalMenosInicial, PuntosNegros, PuntosBlancos}) {
    for (bool picture : {false, true}) {
      Session s(6, 6, 50);
      s.ws.ImagenCargada = picture;
      s.ws.MatrizCargada = !picture;
      for (Plane* p : {&s.ws.ImagenFinal, &s.ws.Auxiliar1, &s.ws.Auxiliar2}) p->fill(60);
      s.ws.NegrosDetectados = true;
      s.run(command);
      EXPECT_EQ(s.win.events,
                (std::vector<std::string>{"clear", picture ? "No se ha cargado la Matriz B"
                                                           : "No has seleccionado una imagen"}));
      for (const Plane* p : {&s.ws.ImagenFinal, &s.ws.Auxiliar1, &s.ws.Auxiliar2})
        EXPECT_EQ(s.levels(*p), Levels(6, std::vector<int>(6, 60)));
      EXPECT_TRUE(s.ws.NegrosDetectados && !s.ws.BlancosDetectados);
    }
  }
}

}  // namespace
}  // namespace morvane
