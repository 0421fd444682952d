// The level solver and the game-loop frames it plays plans through.
#include <allegro.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "arnes/tablero.h"
#include "juego/juego.h"
#include "resolver/resolver.h"

namespace {

// Plays frames with the mouse left alone until the level ends.
uint8_t jugar_sin_tocar(const std::vector<uint8_t> &bytes)
{
  mouse_b = 0;
  sim_iniciar(bytes.data(), 0, opciones_simulacion{});
  uint8_t r = sim_en_juego;
  while (r == sim_en_juego) {
    r = sim_fotograma();
  }
  return r;
}

// One target on the emitter's row, then the receiver behind an absorbing
// half wall that only the gate's opening removes.
const std::vector<uint8_t> FILA_DIRECTA = bytes_tablero({"", "", "", "", "E3 .. tt .. a9 R1"});

// The beam turns up at the mirror in cell 64 (angle 4), through the target
// in cell 34, into the receiver in cell 4 once its gate (19) has gone.
const std::vector<uint8_t> COLUMNA = bytes_tablero({
    ".. .. .. .. R0",
    ".. .. .. .. ac",
    ".. .. .. .. tt",
    "",
    "E3 .. .. .. m0",
});

TEST(Simulacion, UnaExplosionYLaPuertaRetienenElRayoQuinceFotogramasCadaUna)
{
  // Frame 0 is a logic frame and hits the target; it is gone on frame 14,
  // so the trace of frame 15 reaches the gate, which opens on that frame's
  // drawing and dissolves until frame 29; the trace of frame 30 connects.
  ASSERT_EQ(jugar_sin_tocar(FILA_DIRECTA), sim_completado);
  EXPECT_EQ(sim_fotogramas(), 31);
  EXPECT_EQ(sim_pasos_giro(), 0);
  EXPECT_EQ(nucleo.dt_partida.puntos_nivel, 120 + 250);
}

TEST(Simulacion, LaEnergiaDuraMilVeinticuatroFotogramasLogicos)
{
  // The beam leaves the board: nothing happens until the 64th unit goes,
  // on logic frame 1023, frame 3069.
  ASSERT_EQ(jugar_sin_tocar(bytes_tablero({"", "", "", "", "E3 .. .. .. .. .. .. .. .. .. .. .. tt", "", "", "",
                                           ".. .. .. .. .. .. .. .. .. .. .. .. .. .. R2"})),
            sim_vida_perdida);
  EXPECT_EQ(sim_motivo_perdida(), perdida_energia);
  EXPECT_EQ(sim_fotogramas(), 3070);
  EXPECT_EQ(nucleo.dt_partida.energia, 0);
}

TEST(Simulacion, UnaMinaSobrecargaCuatroVecesMasDeprisaQueUnRebote)
{
  // A mine on the emitter's row: 16 logic frames fill the meter.
  ASSERT_EQ(jugar_sin_tocar(bytes_tablero({"", "", "", "", "E3 .. .. xx .. R1"})), sim_vida_perdida);
  EXPECT_EQ(sim_motivo_perdida(), perdida_sobrecarga);
  EXPECT_EQ(sim_fotogramas(), 3 * 15 + 1);
  EXPECT_EQ(sim_sobrecarga_maxima(), 64);

  // A reflecting wall head-on throws the beam back: 64 logic frames.
  ASSERT_EQ(jugar_sin_tocar(bytes_tablero({"", "", "", "", "E3 .. .. rf .. R1"})), sim_vida_perdida);
  EXPECT_EQ(sim_motivo_perdida(), perdida_sobrecarga);
  EXPECT_EQ(sim_fotogramas(), 3 * 63 + 1);
}

TEST(Simulacion, LaSobrecargaSeEnfriaUnaUnidadPorFotogramaLogico)
{
  // A self-turning mirror swings the beam over a mine (at angle 6) and
  // back onto itself (at 0) once every 16 logic frames: +4 and +1 against
  // 14 frames of cooling never build up, and the level is won.
  mouse_b = 0;
  sim_iniciar(bytes_tablero({"", "", ".. .. .. .. xx", "", "E3 .. g0 .. .. .. .. .. tt .. a9 R1"}).data(), 0,
              opciones_simulacion{});
  uint8_t r = sim_en_juego;
  while (r == sim_en_juego) {
    r = sim_fotograma();
  }
  EXPECT_EQ(r, sim_completado);
  EXPECT_GE(sim_sobrecarga_maxima(), 4);
  EXPECT_LE(sim_sobrecarga_maxima(), 5);
}

TEST(JugarPlan, ElRatonGiraElEspejoPorElCaminoCortoYLoSuelta)
{
  plan_nivel plan;
  std::string error;
  ASSERT_TRUE(leer_plan("64 4\nespera 34\n", plan, error)) << error;
  std::vector<uint8_t> angulos(NUM_CELDAS, 255);

  // From 9 the left button takes 5 steps down to 4: the target is hit on
  // logic frame 4 (frame 12) and gone on frame 26; the gate opens on frame
  // 27 and is gone on frame 41; frame 42 connects. Each step of turning
  // costs 3 frames.
  angulos[64] = 9;
  partida_plan p = jugar_plan(COLUMNA.data(), 0, plan, opciones_simulacion{}, angulos.data());
  EXPECT_EQ(p.resultado, sim_completado);
  EXPECT_EQ(p.pasos_giro, 5);
  EXPECT_EQ(p.fotogramas, 43);
  EXPECT_EQ(nucleo.est_nivel[64].valor, 4);

  // From 0 the right button takes 4 steps up.
  angulos[64] = 0;
  p = jugar_plan(COLUMNA.data(), 0, plan, opciones_simulacion{}, angulos.data());
  EXPECT_EQ(p.resultado, sim_completado);
  EXPECT_EQ(p.pasos_giro, 4);
  EXPECT_EQ(p.fotogramas, 40);

  // Already in place: nothing to turn.
  angulos[64] = 4;
  p = jugar_plan(COLUMNA.data(), 0, plan, opciones_simulacion{}, angulos.data());
  EXPECT_EQ(p.pasos_giro, 0);
  EXPECT_EQ(p.fotogramas, 31);
}

TEST(JugarPlan, UnPlanQueEsperaUnBlancoInalcanzableAgotaLaEnergia)
{
  plan_nivel plan;
  std::string error;
  ASSERT_TRUE(leer_plan("64 8\nespera 34\n", plan, error)) << error;
  const partida_plan p = jugar_plan(COLUMNA.data(), 0, plan, opciones_simulacion{});
  EXPECT_EQ(p.resultado, sim_vida_perdida);
  EXPECT_EQ(p.motivo, perdida_energia);
}

TEST(JugarPlan, ElRayoSobreUnaMinaSeApartaAntesQueNada)
{
  // The plan sets the far mirrors first (21, then 17) and the near one (62)
  // last, so the way opens only at the end. But 62 starts straight on and
  // rests the beam on the mine in cell 64: turning the far mirrors first,
  // eight steps each, would fill the overload meter. The player lets go of
  // the far mirror and turns 62 first, to its angle in the plan.
  const std::vector<uint8_t> bytes = bytes_tablero({
      "",
      ".. .. m0 .. .. .. m0",
      ".. .. .. .. .. .. tt",
      ".. .. .. .. .. .. a3",
      "E3 .. m0 .. xx .. R2",
  });
  plan_nivel plan;
  std::string error;
  ASSERT_TRUE(leer_plan("21 12\n17 4\n62 4\nespera 36\n", plan, error)) << error;
  std::vector<uint8_t> angulos(NUM_CELDAS, 255);
  angulos[62] = 8;
  angulos[17] = 12;
  angulos[21] = 4;
  const partida_plan p = jugar_plan(bytes.data(), 0, plan, opciones_simulacion{}, angulos.data());
  EXPECT_EQ(p.resultado, sim_completado);
  // Two logic frames on the mine: the first, before the player has seen
  // the beam, and the one on which it lets go of mirror 21.
  EXPECT_EQ(sim_sobrecarga_maxima(), 2 * 4);
  EXPECT_EQ(nucleo.est_nivel[62].valor, 4);
  EXPECT_EQ(nucleo.est_nivel[17].valor, 4);
  EXPECT_EQ(nucleo.est_nivel[21].valor, 12);
}

TEST(BuscarPlan, UnTableroPequenoDaElPlanEsperado)
{
  plan_nivel plan;
  std::string error;
  ASSERT_TRUE(buscar_plan(COLUMNA.data(), 0, plan, error)) << error;
  EXPECT_EQ(escribir_plan(plan), "64 4\nespera 34\n");

  // The plan plays from any start and from the worst one.
  const informe_nivel inf = resolver_nivel(COLUMNA.data(), 0, opciones_resolver{});
  EXPECT_TRUE(inf.encontrado);
  EXPECT_TRUE(inf.pasa);
  EXPECT_FALSE(inf.azar);
  EXPECT_EQ(inf.giros, 1);
  EXPECT_EQ(inf.partidas, 41);
  EXPECT_EQ(inf.a_tiempo, 41);
  // The worst start is 8 steps away: the target is hit on logic frame 7,
  // then 31 frames to the end as with the mirror already in place.
  EXPECT_EQ(inf.fotogramas, 3 * 7 + 31);
  EXPECT_EQ(inf.pasos_giro, 8);
}

TEST(BuscarPlan, UnaPartidaQuePideUnPlanSigueIgual)
{
  // A game in progress on a level with gremlins asks for a plan, and later
  // for a whole proof (hundreds of runs on the rules' state), keeping
  // itself by a copy of that state: it then plays on exactly as one that
  // never asked. Any state of the rules kept outside that one value would
  // tell.
  const auto jugar = [](bool pedir) {
    inicio_partida inicio{};
    inicio.semilla = 9;
    inicio.nivel = 8;
    empezar_partida(inicio);
    uint8_t espejo_mano = CELDA_NINGUNA;
    for (int c = 0; c < NUM_CELDAS && espejo_mano == CELDA_NINGUNA; ++c) {
      espejo_mano = nucleo.est_nivel[c].tipo == espejo ? static_cast<uint8_t>(c) : CELDA_NINGUNA;
    }
    for (int f = 0; f < 3000 && nucleo.dt_bucle.motivo_fin == jugando; ++f) {
      if (f == 1000 && pedir) {
        plan_nivel plan;
        std::string error;
        EXPECT_TRUE(buscar_plan(COLUMNA.data(), 0, plan, error)) << error;
      }
      if (f == 2000 && pedir) {
        const estado_nucleo partida = nucleo;
        resolver_nivel(COLUMNA.data(), 0, opciones_resolver{});
        nucleo = partida;
      }
      // The hand turns the mirror now and then, and lets go.
      entrada_juego e;
      if (f % 90 < 12) {
        e.celda = espejo_mano;
        e.botones = 1;
      }
      jugar_fotograma(e, nullptr);
    }
    // Far enough for the gremlins to be about.
    EXPECT_EQ(nucleo.dt_gremlin[0].espera, 0);
    return hash_estado();
  };
  EXPECT_EQ(jugar(true), jugar(false));
}

TEST(BuscarPlan, LosBlancosSeTomanEnCadenaYSeAgrupanLasEsperas)
{
  // Two targets above the mirror and one below. Up costs as much as down
  // for a mirror not yet set; the second target above then costs nothing
  // and joins the first one's wait; the one below costs half a turn, and
  // half a turn back opens the way into the receiver.
  const std::vector<uint8_t> bytes = bytes_tablero({
      ".. .. .. .. R0",
      ".. .. .. .. ac",
      ".. .. .. .. tt",
      ".. .. .. .. tt",
      "E3 .. .. .. m0",
      ".. .. .. .. tt",
  });
  plan_nivel plan;
  std::string error;
  ASSERT_TRUE(buscar_plan(bytes.data(), 0, plan, error)) << error;
  EXPECT_EQ(escribir_plan(plan), "64 4\nespera 49 34\n64 12\nespera 79\n64 4\n");
  const informe_nivel inf = resolver_nivel(bytes.data(), 0, opciones_resolver{});
  EXPECT_TRUE(inf.pasa) << inf.error;
  EXPECT_EQ(inf.giros, 3);
}

TEST(BuscarPlan, UnBlancoEncerradoNoTienePlanYElNivelFalla)
{
  // The target in cell 70 is boxed in by absorbing walls.
  const std::vector<uint8_t> bytes = bytes_tablero({
      ".. .. .. .. R0",
      ".. .. .. .. ac",
      ".. .. .. .. tt",
      ".. .. .. .. .. .. .. .. .. af af af",
      "E3 .. .. .. m0 .. .. .. .. af tt af",
      ".. .. .. .. .. .. .. .. .. af af af",
  });
  plan_nivel plan;
  std::string error;
  EXPECT_FALSE(buscar_plan(bytes.data(), 0, plan, error));
  EXPECT_EQ(error, "no way to the target at column 11, row 5");

  const informe_nivel inf = resolver_nivel(bytes.data(), 0, opciones_resolver{});
  EXPECT_FALSE(inf.encontrado);
  EXPECT_FALSE(inf.pasa);
}

TEST(BuscarPlan, UnReceptorQueNoSePuedeAlcanzarHaceFallarElNivel)
{
  // The target is easy, but the receiver faces a wall.
  const std::vector<uint8_t> bytes = bytes_tablero({"", "", "", "", "E3 .. tt .. af a9 R1"});
  plan_nivel plan;
  std::string error;
  EXPECT_FALSE(buscar_plan(bytes.data(), 0, plan, error));
  EXPECT_EQ(error, "no way into the receiver once the gate is open");
}

TEST(BuscarPlan, LosElementosGiratoriosYLaFibraSeEsperanSinTocarNada)
{
  // The target and the receiver's column lie beyond a fibre-optic pair and
  // a self-turning mirror: the plan only waits for the right phase.
  const std::vector<uint8_t> bytes = bytes_tablero({
      ".. .. .. .. .. .. .. .. R0",
      ".. .. .. .. .. .. .. .. ac",
      ".. .. .. .. .. .. .. .. tt",
      "",
      "E3 .. f0",
      "",
      ".. .. f0 .. .. .. .. .. g0",
  });
  plan_nivel plan;
  std::string error;
  ASSERT_TRUE(buscar_plan(bytes.data(), 0, plan, error)) << error;
  EXPECT_EQ(escribir_plan(plan), "espera 38\n");
  const informe_nivel inf = resolver_nivel(bytes.data(), 0, opciones_resolver{});
  EXPECT_TRUE(inf.pasa) << inf.error;
  EXPECT_EQ(inf.giros, 0);
}

TEST(ResolverNivel, UnaPuertaQueNoCierraElPasoNoEsUnaVictoria)
{
  // The receiver's gate cell is bare floor: a mirror left along the row
  // lets the beam walk straight in, with the target above it standing.
  const std::vector<uint8_t> bytes = bytes_tablero({"", ".. .. tt", "", "", "E3 .. m0 .. .. R1"});
  std::vector<uint8_t> angulos(NUM_CELDAS, 255);
  angulos[62] = 8;
  const partida_plan p = jugar_plan(bytes.data(), 0, plan_nivel{}, opciones_simulacion{}, angulos.data());
  EXPECT_EQ(p.resultado, sim_completado);
  EXPECT_TRUE(p.puerta_cerrada);
  const informe_nivel inf = resolver_nivel(bytes.data(), 0, opciones_resolver{});
  EXPECT_FALSE(inf.pasa);
  EXPECT_EQ(inf.error.rfind("the beam entered the receiver with targets standing", 0), 0u) << inf.error;
}

TEST(ResolverNivel, LosReemisoresSeJueganDoscientasVeces)
{
  // The re-emitter turns the beam up into the column one trace in nine.
  const std::vector<uint8_t> bytes = bytes_tablero({
      ".. .. .. .. R0",
      ".. .. .. .. ac",
      ".. .. .. .. tt",
      ".. .. .. .. tt",
      "E3 .. .. .. ee",
  });
  const informe_nivel inf = resolver_nivel(bytes.data(), 0, opciones_resolver{});
  EXPECT_TRUE(inf.azar);
  EXPECT_EQ(inf.partidas, PARTIDAS_AZAR);
  EXPECT_TRUE(inf.pasa) << inf.error;
  EXPECT_GE(inf.a_tiempo * 100, PORCENTAJE_AZAR * PARTIDAS_AZAR);
}

TEST(Plan, SeEscribeYSeLeeComoTexto)
{
  plan_nivel plan;
  std::string error;
  ASSERT_TRUE(leer_plan("# a comment\n\n12 3\n  espera 4 5 # two targets\n134 15\n", plan, error)) << error;
  ASSERT_EQ(plan.size(), 3u);
  EXPECT_EQ(plan[0].tipo, paso_giro);
  EXPECT_EQ(plan[0].celda, 12);
  EXPECT_EQ(plan[0].angulo, 3);
  EXPECT_EQ(plan[1].blancos, (std::vector<uint8_t>{4, 5}));
  EXPECT_EQ(escribir_plan(plan), "12 3\nespera 4 5\n134 15\n");

  const struct {
    const char *texto;
    const char *error;
  } malos[] = {
      {"12\n", "line 1: expected 'CELL ANGLE' (0-134, 0-15) or 'espera CELL...'"},
      {"12 16\n", "line 1: expected 'CELL ANGLE' (0-134, 0-15) or 'espera CELL...'"},
      {"135 0\n", "line 1: expected 'CELL ANGLE' (0-134, 0-15) or 'espera CELL...'"},
      {"1 2 3\n", "line 1: expected 'CELL ANGLE' (0-134, 0-15) or 'espera CELL...'"},
      {"\n1 -2\n", "line 2: expected 'CELL ANGLE' (0-134, 0-15) or 'espera CELL...'"},
      {"espera\n", "line 1: espera names no target"},
      {"espera 4 x\n", "line 1: 'x' is not a cell 0-134"},
  };
  for (const auto &m : malos) {
    EXPECT_FALSE(leer_plan(m.texto, plan, error)) << m.texto;
    EXPECT_EQ(error, m.error) << m.texto;
  }
}

TEST(Plan, ElPeorComienzoDejaCadaEspejoMediaVueltaLejos)
{
  plan_nivel plan;
  std::string error;
  ASSERT_TRUE(leer_plan("64 4\nespera 34\n64 6\n19 3\n", plan, error)) << error;
  const std::vector<uint8_t> a = angulos_adversos(COLUMNA.data(), plan);
  ASSERT_EQ(a.size(), static_cast<size_t>(NUM_CELDAS));
  // Only the first setting of a plain mirror counts; cell 19 is a wall.
  EXPECT_EQ(a[64], 12);
  EXPECT_EQ(a[19], 255);
  EXPECT_EQ(a[0], 255);
}

}  // namespace
