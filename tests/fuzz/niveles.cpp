// libFuzzer target for the level-byte decoder and the beam: any 135 bytes
// make a board, and the beam traced on it must end inside its own limits.
// The bytes after the board set the plain mirrors' angles and the
// re-emitters' draws, so a failing input replays exactly.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fotonauta/fotonauta.h"
#include "juego/juego.h"

namespace {

const uint8_t *resto;
size_t largo_resto;
size_t leido;

uint8_t siguiente()
{
  return largo_resto == 0 ? 0 : resto[leido++ % largo_resto];
}

int sorteo_de_entrada()
{
  return siguiente() % 9;
}

bool es_tipo(uint8_t t)
{
  return t <= mina || t == polarizador_reflectante_giratorio || t == polarizador_absorbente_giratorio ||
         t == espejo_giratorio;
}

[[noreturn]] void fallo(const char *que, int traza)
{
  std::fprintf(stderr, "trace %d: %s (estado %d, n_puntos %d)\n", traza, que, nucleo.dt_rayo.estado, nucleo.dt_rayo.n_puntos);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, size_t largo)
{
  if (largo < NUM_CELDAS) {
    return 0;
  }
  resto = datos + NUM_CELDAS;
  largo_resto = largo - NUM_CELDAS;
  leido = 0;
  nucleo.sorteo_reemisor = sorteo_de_entrada;

  // A board without an emitter keeps the last start; begin from a known one.
  nucleo.dt_rayo = {};
  nucleo.dt_rayo.punto[0] = {30, 18, 0};
  srand(1);
  cargar_tablero(datos, siguiente() % NUM_NIVELES);
  for (celda &e : nucleo.est_nivel) {
    if (!es_tipo(e.tipo)) {
      fallo("a cell decoded to no element kind", -1);
    }
    if (e.tipo == espejo) {
      e.valor = siguiente() % 16;
    }
  }
  const punto_rayo inicio = nucleo.dt_rayo.punto[0];

  // A few traces in a row: the re-emitters change phase between them, and
  // the self-turning pieces turn as on the game's logic frames.
  for (int traza = 0; traza < 4; ++traza) {
    calcular_rayo();
    const datos_rayo &r = nucleo.dt_rayo;
    if (r.estado < rayo_detenido || r.estado > rayo_conectado) {
      fallo("the trace ended in no final state", traza);
    }
    if (r.n_puntos < 1 || r.n_puntos > MAX_PUNTOS) {
      fallo("point count out of range", traza);
    }
    if (r.punto[0].x != inicio.x || r.punto[0].y != inicio.y || r.punto[0].dir != inicio.dir) {
      fallo("the trace moved the emitter's start", traza);
    }
    // On the board the head stays within 0-60 by 0-36; leaving it, it runs
    // three more steps of at most two quarters.
    for (int i = 0; i < r.n_puntos; ++i) {
      const punto_rayo &p = r.punto[i];
      if (p.x < -6 || p.x > RAYO_MAX_X + 6 || p.y < -6 || p.y > RAYO_MAX_Y + 6) {
        fallo("a point lies beyond the board and its run-on", traza);
      }
      if (p.dir >= 16 && p.dir != DIR_SALTO) {
        fallo("a point has no direction", traza);
      }
    }
    if (r.dir >= 16) {
      fallo("the head has no direction", traza);
    }
    // A connected beam ends on the receiver's edge, on the board.
    const punto_rayo &ultimo = r.punto[r.n_puntos - 1];
    if (r.estado == rayo_conectado &&
        (ultimo.x <= 0 || ultimo.x >= RAYO_MAX_X || ultimo.y <= 0 || ultimo.y >= RAYO_MAX_Y)) {
      fallo("connected off the board", traza);
    }
    // Every cell's tile must name one of the atlas's tiles when drawn.
    for (const celda &e : nucleo.est_nivel) {
      if (e.grf >= NUM_LOSETAS) {
        fallo("a cell's tile lies beyond the atlas", traza);
      }
    }
    mover_automaticos();
  }
  return 0;
}
