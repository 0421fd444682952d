// What moves on the board: the player's hold on a mirror, the self-turning
// elements and animations, and the gremlins.
#include <allegro.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "arnes/tablero.h"
#include "dlg/dlg.h"
#include "juego/juego.h"

namespace {

// The pixel at the middle of a cell.
int centro_x(int columna)
{
  return ORIGEN_TABLERO + LADO_CELDA * columna + LADO_CELDA / 2;
}

int centro_y(int fila)
{
  return ORIGEN_TABLERO + LADO_CELDA * fila + LADO_CELDA / 2;
}

class Pinchar : public ::testing::Test {
 protected:
  void SetUp() override
  {
    // Mirrors at (5, 4) and (8, 4), a target at (2, 4).
    cargar_prueba({"", "", "", "", ".. .. tt .. .. m0 .. .. m0"}, {3, 9});
    soltar();
    mover_espejos_pinchados(1);
  }
  void TearDown() override { soltar(); }

  static void pulsar(int columna, int fila, int botones)
  {
    mouse_x = centro_x(columna);
    mouse_y = centro_y(fila);
    mouse_b = botones;
  }
  static void soltar()
  {
    mouse_b = 0;
    mouse_z = 0;
    key[KEY_ALT] = 0;
  }
  static const celda &espejo_a() { return nucleo.est_nivel[celda_en(5, 4)]; }
  static const celda &espejo_b() { return nucleo.est_nivel[celda_en(8, 4)]; }
};

TEST_F(Pinchar, SostenerElBotonIzquierdoDaUnaVueltaEnteraEn16Pasos)
{
  pulsar(5, 4, 1);
  const int esperados[] = {2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3};
  for (int valor : esperados) {
    EXPECT_EQ(mover_espejos_pinchados(0), celda_en(5, 4));
    EXPECT_EQ(espejo_a().valor, valor);
    EXPECT_EQ(espejo_a().grf, 16 + valor);
  }
  // Released: nothing turns any more.
  soltar();
  EXPECT_EQ(mover_espejos_pinchados(0), CELDA_NINGUNA);
  EXPECT_EQ(espejo_a().valor, 3);
}

TEST_F(Pinchar, ElBotonDerechoYAltConElIzquierdoGiranEnSentidoHorario)
{
  pulsar(5, 4, 2);
  mover_espejos_pinchados(0);
  mover_espejos_pinchados(0);
  EXPECT_EQ(espejo_a().valor, 5);
  soltar();
  mover_espejos_pinchados(0);

  key[KEY_ALT] = 1;
  pulsar(8, 4, 1);
  mover_espejos_pinchados(0);
  EXPECT_EQ(espejo_b().valor, 10);
  soltar();
  mover_espejos_pinchados(0);

  // From 15 clockwise wraps to 0.
  nucleo.est_nivel[celda_en(8, 4)].valor = 15;
  pulsar(8, 4, 2);
  mover_espejos_pinchados(0);
  EXPECT_EQ(espejo_b().valor, 0);
}

TEST_F(Pinchar, CadaMuescaDeLaRuedaGiraUnPaso)
{
  mouse_x = centro_x(5);
  mouse_y = centro_y(4);
  mouse_z = 1;
  mover_espejos_pinchados(0);
  EXPECT_EQ(espejo_a().valor, 2);
  EXPECT_EQ(mouse_z, 0);  // the wheel count is taken
  mover_espejos_pinchados(0);  // no more notches: released, no turn
  EXPECT_EQ(espejo_a().valor, 2);

  mouse_z = -3;  // several notches in one logic frame still make one step
  mover_espejos_pinchados(0);
  EXPECT_EQ(espejo_a().valor, 3);
  mover_espejos_pinchados(0);
  EXPECT_EQ(espejo_a().valor, 3);
}

// Press and release both between two logic frames (a touchpad's tap): the
// mirror turns one step, as for a press held through one logic frame.
TEST_F(Pinchar, UnToqueEntreDosPasosLogicosGiraUnPaso)
{
  mouse_x = centro_x(5);
  mouse_y = centro_y(4);
  dlg_simular_raton(1);
  dlg_simular_raton(0);
  EXPECT_EQ(mover_espejos_pinchados(0), celda_en(5, 4));
  EXPECT_EQ(espejo_a().valor, 2);
  EXPECT_EQ(mover_espejos_pinchados(0), CELDA_NINGUNA);
  EXPECT_EQ(espejo_a().valor, 2);

  // The right button, and Alt with the left, clockwise.
  dlg_simular_raton(2);
  dlg_simular_raton(0);
  mover_espejos_pinchados(0);
  EXPECT_EQ(espejo_a().valor, 3);
  key[KEY_ALT] = 1;
  dlg_simular_raton(1);
  dlg_simular_raton(0);
  mover_espejos_pinchados(0);
  EXPECT_EQ(espejo_a().valor, 4);
  key[KEY_ALT] = 0;
  mover_espejos_pinchados(0);

  // A tap made before the hold is dropped (a new level or life) is not
  // carried into the new one.
  dlg_simular_raton(1);
  dlg_simular_raton(0);
  mover_espejos_pinchados(1);
  EXPECT_EQ(mover_espejos_pinchados(0), CELDA_NINGUNA);
  EXPECT_EQ(espejo_a().valor, 4);
}

// A tap on one mirror, then one on the other, both before the next logic
// step: the first turns its mirror, the release between them is seen, and
// the second takes hold of its own mirror, not of the first one's.
TEST_F(Pinchar, DosToquesEnUnPasoGiranCadaUnoSuEspejo)
{
  pulsar(5, 4, 0);
  dlg_simular_raton(1);
  dlg_simular_raton(0);
  EXPECT_EQ(mover_espejos_pinchados(0), celda_en(5, 4));
  pulsar(8, 4, 0);
  dlg_simular_raton(1);
  dlg_simular_raton(0);
  EXPECT_EQ(mover_espejos_pinchados(0), CELDA_NINGUNA);
  EXPECT_EQ(mover_espejos_pinchados(0), celda_en(8, 4));
  EXPECT_EQ(mover_espejos_pinchados(0), CELDA_NINGUNA);
  EXPECT_EQ(espejo_a().valor, 2);
  EXPECT_EQ(espejo_b().valor, 8);
}

TEST_F(Pinchar, LaPulsacionSeQuedaConLaCeldaDondeEmpezo)
{
  pulsar(5, 4, 1);
  mover_espejos_pinchados(0);
  // Dragged onto the other mirror: the first one keeps turning.
  pulsar(8, 4, 1);
  EXPECT_EQ(mover_espejos_pinchados(0), celda_en(5, 4));
  EXPECT_EQ(espejo_a().valor, 1);
  EXPECT_EQ(espejo_b().valor, 9);

  // A press that begins on a target turns nothing but reports the cell
  // (a gremlin standing there can be caught).
  soltar();
  mover_espejos_pinchados(0);
  pulsar(2, 4, 1);
  EXPECT_EQ(mover_espejos_pinchados(0), celda_en(2, 4));
  pulsar(5, 4, 1);
  EXPECT_EQ(mover_espejos_pinchados(0), celda_en(2, 4));
  EXPECT_EQ(espejo_a().valor, 1);

  // One that begins outside the board reports nothing.
  soltar();
  mover_espejos_pinchados(0);
  mouse_x = 10;
  mouse_y = 700;
  mouse_b = 1;
  EXPECT_EQ(mover_espejos_pinchados(0), CELDA_NINGUNA);
  pulsar(5, 4, 1);
  EXPECT_EQ(mover_espejos_pinchados(0), CELDA_NINGUNA);
  EXPECT_EQ(espejo_a().valor, 1);

  // Dropping the press lets a button still held start a new one.
  EXPECT_EQ(mover_espejos_pinchados(1), CELDA_NINGUNA);
  EXPECT_EQ(mover_espejos_pinchados(0), celda_en(5, 4));
  EXPECT_EQ(espejo_a().valor, 0);
}

TEST(Automaticos, GiranYAnimanUnPasoPorFotogramaLogico)
{
  cargar_prueba({"E2 g0 P7 Q7 f2 .. .. .. .. .. .. .. .. .. f2"});
  const celda &e = nucleo.est_nivel[0], &g = nucleo.est_nivel[1], &p = nucleo.est_nivel[2], &q = nucleo.est_nivel[3];
  const celda &f = nucleo.est_nivel[4], &f2 = nucleo.est_nivel[14];
  const int emisor_esperado[] = {6, 10, 14, 2, 6};
  const int fibra_esperada[] = {102, 106, 110, 106, 102, 98, 102, 106};
  for (int i = 0; i < 8; ++i) {
    mover_automaticos();
    if (i < 5) {
      EXPECT_EQ(e.grf, emisor_esperado[i]);
    }
    EXPECT_EQ(f.grf, fibra_esperada[i]) << i;
    EXPECT_EQ(f2.grf, f.grf);
  }
  EXPECT_EQ(g.valor, 8);
  EXPECT_EQ(g.grf, 16 + 8);
  EXPECT_EQ(p.valor, 7);  // 7, then eight steps of mod 8
  EXPECT_EQ(p.grf, 64 + 7);
  EXPECT_EQ(q.grf, 72 + 7);
  mover_automaticos();
  EXPECT_EQ(p.valor, 0);
  EXPECT_EQ(p.grf, 64);
  for (int i = 0; i < 7; ++i) {
    mover_automaticos();
  }
  EXPECT_EQ(g.valor, 0);  // 15 wraps to 0
}

// A level with walls, polarisers, fibre optics and a re-emitter, for
// gremlins to walk around.
std::vector<uint8_t> tablero_con_obstaculos()
{
  return bytes_tablero({
      "E0 .. .. af .. .. .. r9 .. .. .. .. .. .. ..",
      ".. m0 .. af .. p3 .. r9 .. q2 .. m0 .. .. ..",
      ".. .. .. .. .. .. .. .. .. .. .. .. .. ee ..",
      "f0 .. m0 .. tt tt tt .. m0 .. a3 a3 .. .. ..",
      ".. .. .. .. .. .. .. .. .. .. .. .. .. .. ..",
      ".. a6 .. xx .. P1 .. m0 .. .. rc .. Q5 .. f0",
      ".. a6 .. .. .. .. .. .. .. .. .. .. .. .. ..",
      ".. .. .. m0 .. .. ee .. .. .. m0 .. .. .. ..",
      ".. .. .. .. .. .. .. .. .. .. .. .. .. .. R2",
  });
}

bool cuadro_libre(int bx, int by)
{
  for (int j = 0; j < 2; ++j) {
    for (int i = 0; i < 2; ++i) {
      if (obtener_optica(static_cast<uint8_t>(bx + i), static_cast<uint8_t>(by + j), MODO_GREMLIN) != 0) {
        return false;
      }
    }
  }
  return true;
}

TEST(Gremlins, EntranYAndanSoloPorSueloLibreSinSalirDelTablero)
{
  const auto bytes = tablero_con_obstaculos();
  for (unsigned semilla = 1; semilla <= 20; ++semilla) {
    cargar_tablero(bytes.data(), 51);  // a level with eight gremlins
    srand(semilla);
    for (int i = 0; i < MAX_GREMLINS; ++i) {
      ASSERT_EQ(nucleo.dt_gremlin[i].espera, 100 + 40 * i);
    }
    for (int fotograma = 1; fotograma <= 3 * 600; ++fotograma) {
      const bool logico = fotograma % 3 == 0;
      if (logico) {
        mover_automaticos();
      }
      mover_gremlins(logico);
      if (!logico) {
        continue;
      }
      for (const datos_gremlin &g : nucleo.dt_gremlin) {
        if (g.espera != 0) {
          continue;
        }
        ASSERT_EQ((g.x - ORIGEN_TABLERO) % 32, 0);
        ASSERT_EQ((g.y - ORIGEN_TABLERO) % 32, 0);
        const int bx = (g.x - ORIGEN_TABLERO) / 32;
        const int by = (g.y - ORIGEN_TABLERO) / 32;
        ASSERT_GE(bx, 0);
        ASSERT_LE(bx, 28);
        ASSERT_GE(by, 0);
        ASSERT_LE(by, 16);
        ASSERT_TRUE(cuadro_libre(bx, by)) << "gremlin on blocks " << bx << "," << by;
        // Its next step stays on the board too.
        ASSERT_TRUE(bx + g.paso_x >= 0 && bx + g.paso_x <= 28);
        ASSERT_TRUE(by + g.paso_y >= 0 && by + g.paso_y <= 16);
      }
    }
    // After 600 logic frames all eight have long entered.
    for (const datos_gremlin &g : nucleo.dt_gremlin) {
      EXPECT_EQ(g.espera, 0);
    }
  }
}

TEST(Gremlins, UnGremlinSobreUnEspejoSeParaYLoRetuerceCuatroVecesDeCinco)
{
  int retorcidos = 0;
  for (unsigned semilla = 1; semilla <= 1000; ++semilla) {
    cargar_prueba({"", "", ".. .. .. m0"}, {7});
    datos_gremlin &g = nucleo.dt_gremlin[0];
    g = {0, static_cast<int16_t>(ORIGEN_TABLERO + 3 * LADO_CELDA), static_cast<int16_t>(ORIGEN_TABLERO + 2 * LADO_CELDA),
         0, 0, 2};
    nucleo.dt_gremlin[1].espera = -1;
    srand(semilla);
    mover_gremlins(1);
    const int valor = nucleo.est_nivel[celda_en(3, 2)].valor;
    if (valor != 7) {
      ++retorcidos;
      EXPECT_TRUE(valor == 6 || valor == 8);
      EXPECT_EQ(g.paso_x, 0);
      EXPECT_EQ(g.paso_y, 0);
      EXPECT_EQ(g.fotograma, 0);
      EXPECT_EQ(nucleo.est_nivel[celda_en(3, 2)].grf, 16 + 7);  // redrawn at the next trace
    }
  }
  EXPECT_GT(retorcidos, 750);
  EXPECT_LT(retorcidos, 850);
}

TEST(Gremlins, LaFilaDeGremlinsTerminaEnElPrimerHuecoSinUsar)
{
  cargar_prueba({});
  nucleo.dt_gremlin[0].espera = -1;
  nucleo.dt_gremlin[1].espera = 1;
  mover_gremlins(1);
  EXPECT_EQ(nucleo.dt_gremlin[1].espera, 1);

  nucleo.dt_gremlin[0].espera = 2;
  mover_gremlins(0);  // waiting counts logic frames only
  EXPECT_EQ(nucleo.dt_gremlin[0].espera, 2);
  mover_gremlins(1);
  EXPECT_EQ(nucleo.dt_gremlin[0].espera, 1);
  mover_gremlins(1);
  EXPECT_EQ(nucleo.dt_gremlin[0].espera, 0);
  EXPECT_EQ(nucleo.dt_gremlin[1].espera, 0);
}

TEST(Gremlins, AndanDiezDiezYDocePixelesPorCadaTresFotogramas)
{
  cargar_prueba({});
  nucleo.dt_gremlin[0] = {0, 96, 96, 1, 0, 0};
  nucleo.dt_gremlin[1].espera = -1;
  mover_gremlins(0);
  EXPECT_EQ(nucleo.dt_gremlin[0].x, 106);
  mover_gremlins(0);
  EXPECT_EQ(nucleo.dt_gremlin[0].x, 116);
  srand(3);
  mover_gremlins(1);
  EXPECT_EQ(nucleo.dt_gremlin[0].x, 128);
  EXPECT_EQ(nucleo.dt_gremlin[0].y, 96);
}

}  // namespace
