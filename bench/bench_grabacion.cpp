// The size of recordings: games played through the game's own loop (with
// no screen) by a hand that plays as a person does, recorded as the game
// records them and packed as it writes them.
//
// The hand follows the solver's plan for each level, at a person's pace:
// it looks at the board before it starts and between one mirror and the
// next, clicks and turns the wheel over cells for nothing now and then,
// lets a mirror go a step or two late and turns it back, turns clockwise
// with Alt and the left button at times. Each game starts at a level of its
// own, wins three levels (a life lost on the way starts the level's plan
// again) and is left once they are won, so its recording is all play. The
// recordings must verify.
//
// Prints one line a game,   repeticion NAME FRAMES BYTES LEVELS
// and                       repeticion_total FRAMES BYTES
#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

#include "dlg/dlg.h"
#include "jugador_plan.h"
#include "juego/juego.h"
#include "repeticion/repeticion.h"
#include "tiempo/tiempo.h"

namespace {

constexpr int NIVELES_GANADOS = 3;
constexpr int PARTIDAS = 15;
// A game that has not won its levels in an hour of play is left.
constexpr int LIMITE_FOTOGRAMAS = 60 * 60 * FOTOGRAMAS_POR_SEGUNDO;

struct mano_humana {
  std::mt19937 azar;
  jugador_plan jugador;
  int nivel = -1, vidas = 0;
  int fotograma = 0;
  int pensando = 0;        // frames left looking at the board
  int tarde = 0;           // frames left holding a mirror past its angle
  int boton_tarde = 0;
  int toque = 0;           // frames left of a click for nothing
  bool rueda = false;      // a wheel notch waits for a logic frame
  bool con_alt = false;    // this hold turns clockwise with Alt and the left button
  int boton_antes = 0;

  int tirar(int n) { return static_cast<int>(azar() % static_cast<unsigned>(n)); }

  void sobre_celda(int c)
  {
    mouse_x = ORIGEN_TABLERO + LADO_CELDA * (c % COLUMNAS) + tirar(LADO_CELDA);
    mouse_y = ORIGEN_TABLERO + LADO_CELDA * (c / COLUMNAS) + tirar(LADO_CELDA);
  }

  // While looking: now and then a click or a wheel notch over any cell.
  void distraerse()
  {
    mouse_b = 0;
    key[KEY_ALT] = 0;
    if (tirar(120) == 0) {
      sobre_celda(tirar(NUM_CELDAS));
      toque = 3 + tirar(6);
    } else if (tirar(200) == 0) {
      sobre_celda(tirar(NUM_CELDAS));
      mouse_z = tirar(2) == 0 ? 1 : -1;
      rueda = true;
    }
  }

  // Before the next frame; 1 to leave the game.
  uint8_t mover(uint8_t logico)
  {
    ++fotograma;
    if (logico && rueda) {
      mouse_z = 0;  // the notch has been read
      rueda = false;
    }
    if (nucleo.dt_partida.fases_superadas >= NIVELES_GANADOS || fotograma > LIMITE_FOTOGRAMAS) {
      return 1;
    }
    // A new level, or the same one again after a lost life: its plan from
    // the start, after a good look.
    if (nucleo.dt_bucle.nivel != nivel || nucleo.dt_partida.vidas < vidas) {
      nivel = nucleo.dt_bucle.nivel;
      plan_nivel plan;
      std::string error;
      buscar_plan(&objeto[nivel * NUM_CELDAS], nivel, plan, error);
      jugador_empezar(jugador, plan);
      pensando = 40 + tirar(80);
      tarde = toque = 0;
    }
    vidas = nucleo.dt_partida.vidas;
    if (toque > 0) {
      mouse_b = --toque > 0 ? 1 : 0;
      return 0;
    }
    if (tarde > 0) {
      --tarde;
      mouse_b = boton_tarde;
      return 0;
    }
    if (pensando > 0) {
      --pensando;
      distraerse();
      return 0;
    }
    jugador_fotograma(jugador);
    if (boton_antes != 0 && mouse_b == 0) {
      // Let go: late at times, by one or two steps; then a look.
      if (tirar(5) == 0) {
        tarde = 3 * (1 + tirar(2));
        boton_tarde = boton_antes;
        mouse_b = boton_antes;
        return 0;
      }
      pensando = 20 + tirar(80);
      key[KEY_ALT] = 0;
    }
    if (boton_antes == 0 && mouse_b != 0) {
      con_alt = mouse_b == 2 && tirar(4) == 0;
    }
    boton_antes = mouse_b;
    if (con_alt && mouse_b == 2) {
      mouse_b = 1;
      key[KEY_ALT] = 1;
    }
    return 0;
  }
};

mano_humana *mano = nullptr;

uint8_t fotograma_mano(uint8_t logico)
{
  return mano->mover(logico);
}

const ganchos_partida GANCHOS_MANO = {nullptr, fotograma_mano, nullptr};

}  // namespace

int main()
{
  if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
    fprintf(stderr, "bench_grabacion: cannot start Allegro\n");
    return 1;
  }
  dlg_inicializar();
  uint64_t fotogramas = 0, bytes = 0;
  for (int g = 0; g < PARTIDAS; ++g) {
    mano_humana m;
    m.azar.seed(static_cast<unsigned>(g + 1));
    mouse_x = 0;
    mouse_y = 0;
    mouse_b = 0;
    mouse_z = 0;
    mano = &m;
    inicio_partida inicio{};
    inicio.semilla = 0x9e3779b97f4a7c15ULL * static_cast<uint64_t>(g + 1);
    inicio.nivel = static_cast<int8_t>(4 * g);
    jugar_sin_pantalla(inicio, &GANCHOS_MANO);
    mano = nullptr;
    const std::vector<uint8_t> fichero = codificar_repeticion(partida_grabada);
    const verificacion v = verificar_repeticion(partida_grabada);
    if (!v.valida) {
      fprintf(stderr, "bench_grabacion: game %d does not play again: %s\n", g, v.motivo.c_str());
      return 1;
    }
    printf("repeticion partida_%02d %u %zu %d\n", g, v.fotogramas, fichero.size(), v.fases);
    fotogramas += v.fotogramas;
    bytes += fichero.size();
  }
  printf("repeticion_total %llu %llu\n", static_cast<unsigned long long>(fotogramas),
         static_cast<unsigned long long>(bytes));
  return 0;
}
