// How long one frame of the board and the beam takes to draw, next to the
// least any frame costs: one plain copy of the 1024 x 768 buffer.
#include <allegro.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fotonauta/fotonauta.h"
#include "juego/juego.h"
#include "serpentina.h"

namespace {

int profundidad_cargada = 0;

// Loads the pictures at the given colour depth, once per depth.
void preparar(int profundidad)
{
  if (profundidad_cargada == profundidad) {
    return;
  }
  if (profundidad_cargada != 0) {
    fin_allegro();
  }
  set_color_depth(profundidad);
  buffer = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
  clear_bitmap(buffer);
  if (cargar_graficos() != 0) {
    abort();
  }
  profundidad_cargada = profundidad;
}

// The busiest board: the longest beam there can be, a row of targets
// exploding and eight gremlins on the board.
struct escena {
  celda celdas[NUM_CELDAS];
  datos_rayo rayo;
  datos_gremlin gremlins_escena[MAX_GREMLINS];
};

escena montar_escena()
{
  uint8_t bytes[NUM_CELDAS];
  construir_serpentina(bytes);
  cargar_tablero(bytes, 0);
  est_nivel[CELDA_ESPEJO].valor = ANGULO_ENTRADA;
  int (*sorteo_juego)() = sorteo_reemisor;
  sorteo_reemisor = sorteo_vuelta;
  calcular_rayo();
  sorteo_reemisor = sorteo_juego;
  if (dt_rayo.n_puntos != MAX_PUNTOS) {
    fprintf(stderr, "the busiest board traced only %d points\n", dt_rayo.n_puntos);
    abort();
  }
  // Explosions along the bottom row, after the trace so it keeps its length.
  for (int c = 8 * COLUMNAS + 3; c < NUM_CELDAS; ++c) {
    est_nivel[c] = {detonador, static_cast<uint8_t>(3 + c % 12), 137};
  }
  for (int i = 0; i < MAX_GREMLINS; ++i) {
    dt_gremlin[i] = {0, static_cast<int16_t>(32 + 96 * i), static_cast<int16_t>(64 + 48 * i), 1, 0, 0};
  }
  escena e;
  memcpy(e.celdas, est_nivel, sizeof est_nivel);
  e.rayo = dt_rayo;
  memcpy(e.gremlins_escena, dt_gremlin, sizeof dt_gremlin);
  return e;
}

void restaurar(const escena &e)
{
  memcpy(est_nivel, e.celdas, sizeof est_nivel);
  dt_rayo = e.rayo;
  memcpy(dt_gremlin, e.gremlins_escena, sizeof dt_gremlin);
}

void fotograma_tablero(benchmark::State &state)
{
  preparar(static_cast<int>(state.range(0)));
  dt_partida.energia = 64;
  const escena e = montar_escena();
  for (auto _ : state) {
    restaurar(e);
    dibujar_mapa(1, buffer);
    dibujar_rayo();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(fotograma_tablero)->Arg(16)->Arg(32)->Unit(benchmark::kMicrosecond);

void copia_buffer(benchmark::State &state)
{
  preparar(static_cast<int>(state.range(0)));
  BITMAP *otro = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
  for (auto _ : state) {
    blit(buffer, otro, 0, 0, 0, 0, ANCHO_PANTALLA, ALTO_PANTALLA);
    benchmark::ClobberMemory();
  }
  destroy_bitmap(otro);
}
BENCHMARK(copia_buffer)->Arg(16)->Arg(32)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv)
{
  if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0 || chdir(FOTONAUTA_DATOS_DIR) != 0) {
    fprintf(stderr, "cannot start Allegro or find the data files in %s\n", FOTONAUTA_DATOS_DIR);
    return 1;
  }
  set_uformat(U_ASCII);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
