// The beam's geometry: how it steps, turns, stops and ends, element by
// element, on small boards written as level text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <random>

#include "arnes/tablero.h"
#include "juego/juego.h"

namespace {

struct punto_esperado {
  int x, y, dir;
};

// Re-emitter draws for the next traces; rand() once these run out.
std::deque<int> sorteos;

int sorteo_guionizado()
{
  if (sorteos.empty()) {
    return rand() % 9;
  }
  const int s = sorteos.front();
  sorteos.pop_front();
  return s;
}

class Rayo : public ::testing::Test {
 protected:
  void SetUp() override
  {
    srand(7);
    nucleo.dt_partida = {};
    sorteos.clear();
    nucleo.sorteo_reemisor = sorteo_guionizado;
  }
  void TearDown() override
  {
    nucleo.sorteo_reemisor = anterior;
  }
  int (*anterior)() = nucleo.sorteo_reemisor;

  // The points of the last trace, as (x, y, dir).
  static std::vector<punto_esperado> puntos()
  {
    std::vector<punto_esperado> p;
    for (int i = 0; i < nucleo.dt_rayo.n_puntos; ++i) {
      p.push_back({nucleo.dt_rayo.punto[i].x, nucleo.dt_rayo.punto[i].y, nucleo.dt_rayo.punto[i].dir});
    }
    return p;
  }

  static void esperar_puntos(std::initializer_list<punto_esperado> esperados)
  {
    const auto p = puntos();
    ASSERT_EQ(p.size(), esperados.size()) << describir(p);
    int i = 0;
    for (const punto_esperado &e : esperados) {
      EXPECT_EQ(p[i].x, e.x) << "point " << i << describir(p);
      EXPECT_EQ(p[i].y, e.y) << "point " << i << describir(p);
      if (e.dir >= 0) {
        EXPECT_EQ(p[i].dir, e.dir) << "point " << i << describir(p);
      }
      ++i;
    }
  }

  static std::string describir(const std::vector<punto_esperado> &p)
  {
    std::string s = "\n  trace:";
    for (const auto &q : p) {
      s += " (" + std::to_string(q.x) + "," + std::to_string(q.y) + "," + std::to_string(q.dir) + ")";
    }
    return s + " estado " + std::to_string(nucleo.dt_rayo.estado);
  }
};

constexpr int CUALQUIERA = -1;

TEST_F(Rayo, ElEjemploDelPrimerNivel)
{
  cargar_nivel(0);
  ASSERT_EQ(nucleo.est_nivel[105].tipo, espejo);
  nucleo.est_nivel[105].valor = 4;
  calcular_rayo();
  esperar_puntos({{12, 30, 12}, {2, 30, 8}, {2, 42, CUALQUIERA}});
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_detenido);
  EXPECT_EQ(nucleo.est_nivel[105].grf, 112 + 4);  // lit while the beam is on it
}

// The reflection rule against plane geometry: a direction reflected in a
// line at m x 11.25 degrees from vertical, for every pair.
TEST_F(Rayo, ReflejarSigueLaGeometriaDelEspejoEnLas256Combinaciones)
{
  const double paso = M_PI / 8;
  for (int m = 0; m < 16; ++m) {
    const double linea = m * paso / 2;
    const double lx = std::sin(linea), ly = -std::cos(linea);
    for (int d = 0; d < 16; ++d) {
      const double vx = std::sin(d * paso), vy = -std::cos(d * paso);
      const double p = vx * lx + vy * ly;
      const double rx = 2 * p * lx - vx, ry = 2 * p * ly - vy;
      const int esperado = static_cast<int>(std::lround(std::atan2(rx, -ry) / paso + 16)) % 16;

      nucleo.dt_rayo = {};
      nucleo.dt_rayo.dir = static_cast<uint8_t>(d);
      nucleo.dt_rayo.dx = paso_dx[d];
      nucleo.dt_rayo.dy = paso_dy[d];
      nucleo.dt_rayo.x = 10;
      nucleo.dt_rayo.y = 10;
      nucleo.dt_rayo.n_puntos = 1;
      reflejar_rayo(static_cast<uint8_t>(m));

      if (esperado == (d + 8) % 16) {
        // Straight back: overload, direction kept, the corner recorded.
        EXPECT_EQ(nucleo.dt_rayo.estado, rayo_sobrecarga) << "m " << m << " dir " << d;
        EXPECT_EQ(nucleo.dt_rayo.dir, d);
        EXPECT_EQ(nucleo.dt_rayo.n_puntos, 2);
      } else if (esperado == d) {
        // Along the surface: nothing happens.
        EXPECT_EQ(nucleo.dt_rayo.estado, rayo_en_curso);
        EXPECT_EQ(nucleo.dt_rayo.n_puntos, 1) << "m " << m << " dir " << d;
      } else {
        EXPECT_EQ(nucleo.dt_rayo.estado, rayo_en_curso);
        EXPECT_EQ(nucleo.dt_rayo.dir, esperado) << "m " << m << " dir " << d;
        EXPECT_EQ(nucleo.dt_rayo.dx, paso_dx[esperado]);
        EXPECT_EQ(nucleo.dt_rayo.dy, paso_dy[esperado]);
        ASSERT_EQ(nucleo.dt_rayo.n_puntos, 2);
        EXPECT_EQ(nucleo.dt_rayo.punto[1].dir, esperado);
      }
    }
  }
}

TEST_F(Rayo, UnRayoRectoQueRozaUnMuroPorUnLadoSigue)
{
  // On the first segment and after a turn (where the blocks behind count).
  cargar_prueba({"", "", "", "", "E3 .. a3 .. ac .. r3 .. rc"});
  calcular_rayo();
  esperar_puntos({{4, 18, 4}, {66, 18, 4}});
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_detenido);

  cargar_prueba({"E0", "", "", "", "m0 .. a3 .. ac .. r3 .. rc"}, {12});
  calcular_rayo();
  esperar_puntos({{2, 4, 8}, {2, 18, 4}, {66, 18, 4}});
}

TEST_F(Rayo, UnRayoRectoEntreDosMurosSeDetiene)
{
  cargar_prueba({"", "", "", "", "E3 .. .. af"});
  calcular_rayo();
  esperar_puntos({{4, 18, 4}, {12, 18, 4}});
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_detenido);

  // Head-on against a reflecting wall: thrown back, the laser overloads.
  cargar_prueba({"", "", "", "", "E3 .. .. rf"});
  calcular_rayo();
  esperar_puntos({{4, 18, 4}, {12, 18, 4}});
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_sobrecarga);

  // Squeezed between a block behind on one side and one ahead on the
  // other: only past the first segment do the blocks behind count.
  cargar_prueba({"", "", "", "", "E3 .. a2 a8"});
  calcular_rayo();
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_detenido);
  EXPECT_EQ(nucleo.dt_rayo.punto[nucleo.dt_rayo.n_puntos - 1].x, 66);

  cargar_prueba({"E0", "", "", "", "m0 .. a2 a8"}, {12});
  calcular_rayo();
  esperar_puntos({{2, 4, 8}, {2, 18, 4}, {12, 18, 4}});
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_detenido);
}

TEST_F(Rayo, EspejosDeFrenteDeCantoYDeLado)
{
  // Perpendicular: stops on the mirror's centre, overloading, drawn lit.
  cargar_prueba({"", "", "", "", "E3 .. .. .. .. m0"}, {0});
  calcular_rayo();
  esperar_puntos({{4, 18, 4}, {22, 18, 4}});
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_sobrecarga);
  EXPECT_EQ(nucleo.est_nivel[celda_en(5, 4)].grf, 112);

  // Parallel: passes through the centre unchanged, still drawn lit.
  cargar_prueba({"", "", "", "", "E3 .. .. .. .. m0"}, {8});
  calcular_rayo();
  esperar_puntos({{4, 18, 4}, {66, 18, 4}});
  EXPECT_EQ(nucleo.est_nivel[celda_en(5, 4)].grf, 120);

  // The next trace restores the unlit tile of a mirror it misses.
  cargar_prueba({"", "", "", "", "E3 .. .. .. .. .. .. .. .. m0"}, {8});
  nucleo.est_nivel[celda_en(9, 4)].valor = 5;
  nucleo.est_nivel[celda_en(9, 4)].grf = 112 + 5;
  nucleo.dt_rayo.punto[0] = {4, 2, 4};  // a beam along row 0, far from the mirror
  calcular_rayo();
  EXPECT_EQ(nucleo.est_nivel[celda_en(9, 4)].grf, 16 + 5);

  // A 22.5-degree beam that crosses a mirror cell off its centre is not
  // turned: direction 3 from (4, 18) passes (12, 14), not cell (3, 3)'s
  // centre (14, 14).
  cargar_prueba({"", "", "", ".. .. .. m0", "E3"}, {4});
  nucleo.dt_rayo.punto[0] = {4, 18, 3};
  calcular_rayo();
  EXPECT_EQ(nucleo.est_nivel[celda_en(3, 3)].grf, 16 + 4);
  for (const auto &p : puntos()) {
    EXPECT_FALSE(p.x == 14 && p.y == 14);
  }
}

TEST_F(Rayo, LaEsquinaYLaCaraDeUnMuroReflectanteConUnRayoDiagonal)
{
  // A 45-degree beam (direction 2) meeting a lone block's corner head-on
  // is thrown straight back.
  cargar_prueba({"", "", ".. .. .. .. rf", "", ".. .. m0"}, {6});
  nucleo.dt_rayo.punto[0] = {4, 18, 4};
  calcular_rayo();
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_sobrecarga) << describir(puntos());
  EXPECT_EQ(puntos().back().x, 16);
  EXPECT_EQ(puntos().back().y, 12);

  // Against a flat face it is mirrored: the vertical component flips.
  cargar_prueba({"", "", ".. .. .. rf rf rf", "", ".. .. m0"}, {6});
  nucleo.dt_rayo.punto[0] = {4, 18, 4};
  calcular_rayo();
  const auto p = puntos();
  ASSERT_GE(p.size(), 4u) << describir(p);
  EXPECT_EQ(p[1].x, 10);
  EXPECT_EQ(p[1].dir, 2);
  EXPECT_EQ(p[2].x, 16);
  EXPECT_EQ(p[2].y, 12);
  EXPECT_EQ(p[2].dir, 6);
}

TEST_F(Rayo, ElReceptorSoloAceptaElRayoQueEntraPorSuBoca)
{
  cargar_prueba({"", "", "", "", "E3 .. .. .. R1"});
  EXPECT_EQ(nucleo.dt_rayo.dir_receptor, 4);
  EXPECT_EQ(nucleo.dt_rayo.celda_puerta, celda_en(3, 4));
  calcular_rayo();
  esperar_puntos({{4, 18, 4}, {16, 18, 4}});  // on the receiver's edge
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_conectado);

  // The same receiver opening the other way absorbs the beam.
  cargar_prueba({"", "", "", "", "E3 .. .. .. R3"});
  calcular_rayo();
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_detenido);
  EXPECT_EQ(nucleo.dt_rayo.n_puntos, 2);

  // Gate cell and entering direction for the four orientations.
  const struct {
    const char *ficha;
    int puerta, dir;
  } casos[] = {{"R0", celda_en(5, 5), 0}, {"R1", celda_en(4, 4), 4}, {"R2", celda_en(5, 3), 8},
               {"R3", celda_en(6, 4), 12}};
  for (const auto &c : casos) {
    const std::string fila = std::string(".. .. .. .. .. ") + c.ficha;
    cargar_prueba({"E0", "", "", "", fila.c_str()});
    EXPECT_EQ(nucleo.dt_rayo.celda_puerta, c.puerta) << c.ficha;
    EXPECT_EQ(nucleo.dt_rayo.dir_receptor, c.dir) << c.ficha;
  }
}

TEST_F(Rayo, LosPolarizadoresDejanPasarSoloALoLargoDeSuEje)
{
  const struct {
    const char *fila;
    uint8_t estado;
  } casos[] = {
      {"E3 .. .. p4", rayo_detenido},  {"E3 .. .. q4", rayo_detenido},
      {"E3 .. .. P4", rayo_detenido},  {"E3 .. .. Q4", rayo_detenido},
      {"E3 .. .. p0", rayo_sobrecarga}, {"E3 .. .. q0", rayo_detenido},
      {"E3 .. .. P2", rayo_sobrecarga}, {"E3 .. .. Q6", rayo_detenido},
  };
  for (const auto &c : casos) {
    cargar_prueba({"", "", "", "", c.fila});
    calcular_rayo();
    EXPECT_EQ(nucleo.dt_rayo.estado, c.estado) << c.fila;
    // Passing means reaching the far edge.
    const bool pasa = nucleo.dt_rayo.punto[nucleo.dt_rayo.n_puntos - 1].x == 66;
    EXPECT_EQ(pasa, c.fila[10] == '4') << c.fila;
  }
  // Along the axis the other way too.
  cargar_prueba({"", "", "", "", ".. .. .. p4 .. .. .. .. .. .. .. .. .. .. E1"});
  calcular_rayo();
  EXPECT_EQ(nucleo.dt_rayo.punto[nucleo.dt_rayo.n_puntos - 1].x, -6);

  // Gremlins never pass a polariser, whatever its axis.
  cargar_prueba({"", "", "", "", ".. .. .. p4 q4"});
  nucleo.dt_rayo.dir = 4;
  for (int bx = 6; bx < 10; ++bx) {
    EXPECT_NE(obtener_optica(static_cast<uint8_t>(bx), 8, MODO_GREMLIN), optica_pasa);
    EXPECT_EQ(obtener_optica(static_cast<uint8_t>(bx), 8, MODO_RAYO), optica_pasa);
  }
}

TEST_F(Rayo, UnDetonadorDaPuntosUnaVezYDetieneElRayoMientrasEstalla)
{
  cargar_prueba({"", "", "", "", "E3 .. .. tt"});
  EXPECT_EQ(nucleo.dt_rayo.pendientes, 1);  // the target; no receiver here
  calcular_rayo();
  esperar_puntos({{4, 18, 4}, {14, 18, 4}});
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_detenido);
  celda &t = nucleo.est_nivel[celda_en(3, 4)];
  EXPECT_TRUE(t.valor == 3 || t.valor == 19);
  EXPECT_EQ(t.grf, t.valor == 3 ? 136 : 144);
  EXPECT_EQ(nucleo.dt_partida.puntos_nivel, 120);

  calcular_rayo();  // still exploding: stops again, no more points
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_detenido);
  EXPECT_EQ(nucleo.dt_rayo.n_puntos, 2);
  EXPECT_EQ(nucleo.dt_partida.puntos_nivel, 120);

  t.valor = DETONADOR_DESTRUIDO;
  calcular_rayo();
  EXPECT_EQ(nucleo.dt_rayo.punto[nucleo.dt_rayo.n_puntos - 1].x, 66);
}

TEST_F(Rayo, UnaMinaDetieneElRayoEnSuCentro)
{
  cargar_prueba({"", "", "", "", "E3 .. .. .. xx"});
  calcular_rayo();
  esperar_puntos({{4, 18, 4}, {18, 18, 4}});
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_mina);
}

TEST_F(Rayo, UnReemisorNuncaDevuelveElRayoPorDondeVino)
{
  for (int s = 0; s <= 8; ++s) {
    cargar_prueba({"", "", "", "", "E3 .. .. ee"});
    sorteos = {s};
    calcular_rayo();
    const auto p = puntos();
    ASSERT_GE(p.size(), 3u);
    // A jump one step before the centre, then one step past it.
    EXPECT_EQ(p[1].x, 12);
    EXPECT_EQ(p[1].y, 18);
    EXPECT_EQ(p[1].dir, DIR_SALTO);
    EXPECT_EQ(p[2].dir, s);  // from right (4), 90 degrees either way
    EXPECT_EQ(p[2].x, 14 + paso_dx[s]);
    EXPECT_EQ(p[2].y, 18 + paso_dy[s]);
    EXPECT_NE(p[2].dir, 12);
    // Its phase advances once per trace and shows lit.
    EXPECT_EQ(nucleo.est_nivel[celda_en(3, 4)].valor, 2);
    EXPECT_EQ(nucleo.est_nivel[celda_en(3, 4)].grf, 130);
  }
}

TEST_F(Rayo, LaFibraOpticaLlevaElRayoASuParejaSinDibujarElTramo)
{
  cargar_prueba({"", "", "", "", ".. E3 .. f1", "", ".. .. .. .. .. .. .. .. .. .. f1"});
  calcular_rayo();
  esperar_puntos({{8, 18, 4}, {14, 18, DIR_SALTO}, {42, 26, 4}, {66, 26, 4}});

  // When the partner end has become the dissolving gate, the beam stops.
  celda &pareja = nucleo.est_nivel[celda_en(10, 6)];
  pareja = {detonador, 35, pareja.grf};
  calcular_rayo();
  esperar_puntos({{8, 18, 4}, {14, 18, DIR_SALTO}});
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_detenido);
}

TEST_F(Rayo, UnBucleTerminaEnLaPrimeraEsquinaRepetida)
{
  // Emitter into a re-emitter, which turns down into a square of mirrors
  // that brings the beam back to it, and it turns down again.
  cargar_prueba({"", "E3 .. ee .. .. m0", "", "", ".. .. m0 .. .. m0"}, {12, 12, 4});
  sorteos = {8, 0};
  calcular_rayo();
  esperar_puntos({{4, 6, 4},
                  {8, 6, DIR_SALTO},
                  {10, 8, 8},
                  {10, 18, 4},
                  {22, 18, 0},
                  {22, 6, 12},
                  {12, 6, DIR_SALTO},
                  {10, 8, 8}});
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_detenido);
}

TEST_F(Rayo, ElPunto301NuncaSeGuarda)
{
  nucleo.dt_rayo = {};
  nucleo.dt_rayo.x = 30;  // a corner none of the stored (zeroed) points shares
  nucleo.dt_rayo.dir = 5;
  nucleo.dt_rayo.n_puntos = MAX_PUNTOS - 1;
  EXPECT_EQ(incorporar_punto(1), 0);
  EXPECT_EQ(nucleo.dt_rayo.n_puntos, MAX_PUNTOS);
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_en_curso);
  EXPECT_EQ(incorporar_punto(1), 1);
  EXPECT_EQ(incorporar_punto(0), 1);
  EXPECT_EQ(nucleo.dt_rayo.n_puntos, MAX_PUNTOS);
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_detenido);
}

TEST_F(Rayo, AlSalirDelTableroSigueTresPasosMas)
{
  // Diagonally off the top edge: the last point is three steps past it.
  cargar_prueba({"", "", "", "", ".. .. m0"}, {6});
  nucleo.dt_rayo.punto[0] = {4, 18, 4};
  calcular_rayo();
  const auto p = puntos();
  EXPECT_EQ(p.back().x, 34);
  EXPECT_EQ(p.back().y, -6);
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_detenido);
  // A re-emitter at the right edge that sends the beam straight on.
  cargar_prueba({"", "", "", "", "E3 .. .. .. .. .. .. .. .. .. .. .. .. .. ee"});
  sorteos = {4};
  calcular_rayo();
  EXPECT_EQ(puntos().back().x, 66);
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_detenido);
}

// Random boards that keep the level rules: every trace ends, stays within
// 300 points, and every point lies on the board or just past its edge.
TEST_F(Rayo, CualquierTableroValidoTerminaDentroDeSusLimites)
{
  static const uint8_t ELEMENTOS[] = {63, 63, 63, 63, 47, 47, 16, 16, 16, 16, 32, 35, 40, 46,
                                      48, 51, 53, 60, 62, 64, 69, 75, 79, 80, 85, 90, 101, 105, 113};
  std::mt19937 azar(1234);
  for (int tablero = 0; tablero < 3000; ++tablero) {
    uint8_t b[NUM_CELDAS];
    for (uint8_t &x : b) {
      x = ELEMENTOS[azar() % sizeof ELEMENTOS];
    }
    const int emisor_c = 1 + static_cast<int>(azar() % (NUM_CELDAS - 1));
    int receptor_c;
    do {
      receptor_c = 1 + static_cast<int>(azar() % (NUM_CELDAS - 1));
    } while (receptor_c == emisor_c);
    b[emisor_c] = static_cast<uint8_t>(2 + azar() % 4);
    b[receptor_c] = static_cast<uint8_t>(10 + azar() % 4);
    const uint8_t pares = static_cast<uint8_t>(azar() % 3);
    for (uint8_t par = 0; par < pares; ++par) {
      for (int extremo = 0; extremo < 2; ++extremo) {
        int c;
        do {
          c = 1 + static_cast<int>(azar() % (NUM_CELDAS - 1));
        } while (c == emisor_c || c == receptor_c || (b[c] >= 81 && b[c] <= 84));
        b[c] = static_cast<uint8_t>(81 + par);
      }
    }
    cargar_tablero(b, 0);
    for (int vez = 0; vez < 3; ++vez) {
      calcular_rayo();
      ASSERT_NE(nucleo.dt_rayo.estado, rayo_en_curso);
      ASSERT_GE(nucleo.dt_rayo.n_puntos, 1);
      ASSERT_LE(nucleo.dt_rayo.n_puntos, MAX_PUNTOS);
      for (int i = 0; i < nucleo.dt_rayo.n_puntos; ++i) {
        const punto_rayo &p = nucleo.dt_rayo.punto[i];
        ASSERT_GE(p.x, -6) << "board " << tablero;
        ASSERT_LE(p.x, 66) << "board " << tablero;
        ASSERT_GE(p.y, -6) << "board " << tablero;
        ASSERT_LE(p.y, 42) << "board " << tablero;
        ASSERT_TRUE(p.dir < 16 || p.dir == DIR_SALTO);
      }
      mover_automaticos();
    }
  }
}

}  // namespace
