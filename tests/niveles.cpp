// Loading a stored level onto the live board.
#include <gtest/gtest.h>

#include <cstdlib>

#include "arnes/tablero.h"
#include "juego/juego.h"

namespace {

TEST(CargarNivel, ElPrimerNivelQuedaComoSeDiseno)
{
  srand(1);
  cargar_nivel(0);

  // The emitter at cell 108 shoots left from the middle of its left edge.
  EXPECT_EQ(nucleo.est_nivel[108].tipo, emisor);
  EXPECT_EQ(nucleo.est_nivel[108].grf, 1);
  EXPECT_EQ(nucleo.dt_rayo.punto[0].x, 12);
  EXPECT_EQ(nucleo.dt_rayo.punto[0].y, 30);
  EXPECT_EQ(nucleo.dt_rayo.punto[0].dir, 12);
  EXPECT_EQ(nucleo.dt_rayo.n_puntos, 0);

  // The receiver at 123 opens right onto its gate, 124.
  EXPECT_EQ(nucleo.est_nivel[123].tipo, receptor);
  EXPECT_EQ(nucleo.est_nivel[123].grf, 163);
  EXPECT_EQ(nucleo.dt_rayo.celda_puerta, 124);
  EXPECT_EQ(nucleo.dt_rayo.dir_receptor, 12);

  // 19 targets and the receiver are pending.
  EXPECT_EQ(nucleo.dt_rayo.pendientes, 20);

  // The fibre-optic pair 0 joins 55 and 119.
  EXPECT_EQ(nucleo.est_nivel[55].tipo, foptica);
  EXPECT_EQ(nucleo.est_nivel[55].valor, 119);
  EXPECT_EQ(nucleo.est_nivel[119].valor, 55);
  EXPECT_EQ(nucleo.est_nivel[55].grf, 96);
  EXPECT_EQ(nucleo.dir_foptica, 4);

  const struct {
    int celda, tipo, valor, grf;
  } celdas[] = {
      {10, polarizador_absorbente_giratorio, 2, 74},
      {32, espejo_giratorio, 15, 31},
      {35, reemisor, 1, 128},
      {4, muro, 9, 40},
      {7, muro_reflectante, 6, 53},
      {42, polarizador_absorbente, 7, 79},
      {67, polarizador_reflectante_giratorio, 7, 71},
      {5, detonador, DETONADOR_EN_PIE, 135},
  };
  for (const auto &c : celdas) {
    EXPECT_EQ(nucleo.est_nivel[c.celda].tipo, c.tipo) << c.celda;
    EXPECT_EQ(nucleo.est_nivel[c.celda].valor, c.valor) << c.celda;
    EXPECT_EQ(nucleo.est_nivel[c.celda].grf, c.grf) << c.celda;
  }
  for (int mina_c : {101, 116}) {
    EXPECT_EQ(nucleo.est_nivel[mina_c].tipo, mina);
    EXPECT_GE(nucleo.est_nivel[mina_c].grf, 92);
    EXPECT_LE(nucleo.est_nivel[mina_c].grf, 95);
  }
  for (const celda &e : nucleo.est_nivel) {
    if (e.tipo == espejo) {
      EXPECT_LT(e.valor, 16);
      EXPECT_EQ(e.grf, 16 + e.valor);
    } else if (e.tipo == vacio) {
      EXPECT_GE(e.grf, 80);
      EXPECT_LE(e.grf, 91);
    }
  }
  for (const datos_gremlin &g : nucleo.dt_gremlin) {
    EXPECT_EQ(g.espera, -1);
  }
}

TEST(CargarNivel, ElSueloSeRepiteYLosEspejosYMinasNo)
{
  celda primera[NUM_CELDAS];
  srand(11);
  cargar_nivel(0);
  std::copy(nucleo.est_nivel, nucleo.est_nivel + NUM_CELDAS, primera);
  srand(12345);
  cargar_nivel(0);

  bool espejo_distinto = false, mina_distinta = false;
  for (int c = 0; c < NUM_CELDAS; ++c) {
    const celda &a = primera[c], &b = nucleo.est_nivel[c];
    ASSERT_EQ(a.tipo, b.tipo);
    if (a.tipo == vacio) {
      EXPECT_EQ(a.grf, b.grf) << "floor of cell " << c;
    } else if (a.tipo == espejo) {
      espejo_distinto |= a.valor != b.valor;
    } else if (a.tipo == mina) {
      mina_distinta |= a.valor != b.valor || a.grf != b.grf;
    }
  }
  EXPECT_TRUE(espejo_distinto);
  EXPECT_TRUE(mina_distinta);

  // Targets blown up in one attempt stand again after a reload.
  nucleo.est_nivel[5].valor = DETONADOR_DESTRUIDO;
  cargar_nivel(0);
  EXPECT_EQ(nucleo.est_nivel[5].valor, DETONADOR_EN_PIE);
  EXPECT_EQ(nucleo.est_nivel[5].grf, 135);
}

TEST(CargarNivel, LosGremlinsEsperanSuTurnoSegunElNivel)
{
  for (int nivel : {8, 27, 51}) {
    cargar_tablero(&objeto[0], nivel);
    for (int i = 0; i < MAX_GREMLINS; ++i) {
      EXPECT_EQ(nucleo.dt_gremlin[i].espera, i < gremlins[nivel] ? 100 + 40 * i : -1) << nivel << " " << i;
    }
  }
  EXPECT_EQ(gremlins[8], 4);
  EXPECT_EQ(gremlins[51], 8);
}

TEST(CargarNivel, UnByteQueNingunNivelContieneQuedaComoSuelo)
{
  std::vector<uint8_t> b = bytes_tablero({"E3 .. .. .. R1"});
  for (int c = 20; c < 30; ++c) {
    b[c] = 0;
  }
  b[30] = 7;
  b[31] = 9;
  b[32] = 15;
  b[33] = 118;
  b[34] = 255;
  cargar_tablero(b.data(), 0);
  for (int c = 20; c < 35; ++c) {
    EXPECT_EQ(nucleo.est_nivel[c].tipo, vacio) << c;
    EXPECT_GE(nucleo.est_nivel[c].grf, 80);
    EXPECT_LE(nucleo.est_nivel[c].grf, 91);
  }
  // A lone fibre-optic end leads back to itself rather than anywhere.
  b[40] = 82;
  cargar_tablero(b.data(), 0);
  EXPECT_EQ(nucleo.est_nivel[40].valor, 40);
}

}  // namespace
