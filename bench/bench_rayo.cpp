// How long one trace of the beam takes: on the stored levels, and on a
// board built to make the trace as long as it can be.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "juego/juego.h"
#include "serpentina.h"

namespace {

// What a trace reads and changes: the board, and the start and receiver
// the loader leaves in dt_rayo.
struct tablero_cargado {
  celda celdas[NUM_CELDAS];
  punto_rayo salida;
  uint8_t pendientes;
  uint8_t celda_puerta;
  uint8_t dir_receptor;
};

void guardar(tablero_cargado &t)
{
  memcpy(t.celdas, nucleo.est_nivel, sizeof nucleo.est_nivel);
  t.salida = nucleo.dt_rayo.punto[0];
  t.pendientes = nucleo.dt_rayo.pendientes;
  t.celda_puerta = nucleo.dt_rayo.celda_puerta;
  t.dir_receptor = nucleo.dt_rayo.dir_receptor;
}

// A trace destroys targets and turns re-emitters, so every one starts from
// the board as loaded.
void restaurar(const tablero_cargado &t)
{
  memcpy(nucleo.est_nivel, t.celdas, sizeof nucleo.est_nivel);
  nucleo.dt_rayo.punto[0] = t.salida;
  nucleo.dt_rayo.pendientes = t.pendientes;
  nucleo.dt_rayo.celda_puerta = t.celda_puerta;
  nucleo.dt_rayo.dir_receptor = t.dir_receptor;
}

void rayo_niveles(benchmark::State &state)
{
  static tablero_cargado tableros[NUM_NIVELES];
  std::mt19937 azar(1);
  int64_t puntos = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int n = 0; n < NUM_NIVELES; ++n) {
      cargar_nivel(n);
      // The loader draws the angles from a clock-seeded rand(); draw our
      // own so that each run measures the same boards.
      for (celda &e : nucleo.est_nivel) {
        if (e.tipo == espejo) {
          e.valor = static_cast<uint8_t>(azar() % 16);
        }
      }
      guardar(tableros[n]);
    }
    state.ResumeTiming();
    for (const tablero_cargado &t : tableros) {
      restaurar(t);
      calcular_rayo();
      puntos += nucleo.dt_rayo.n_puntos;
      benchmark::DoNotOptimize(nucleo.dt_rayo);
    }
  }
  const double trazas = static_cast<double>(state.iterations()) * NUM_NIVELES;
  state.counters["por_traza"] =
      benchmark::Counter(NUM_NIVELES, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["puntos_medios"] = static_cast<double>(puntos) / trazas;
}
BENCHMARK(rayo_niveles)->Unit(benchmark::kMicrosecond);

void rayo_peor_caso(benchmark::State &state)
{
  const t_sorteo sorteo_juego = cargar_serpentina();
  tablero_cargado tablero;
  guardar(tablero);

  calcular_rayo();
  if (nucleo.dt_rayo.n_puntos != MAX_PUNTOS) {
    fprintf(stderr, "the worst-case board traced only %d points, not %d\n", nucleo.dt_rayo.n_puntos, MAX_PUNTOS);
    abort();
  }

  for (auto _ : state) {
    restaurar(tablero);
    calcular_rayo();
    benchmark::DoNotOptimize(nucleo.dt_rayo);
  }
  nucleo.sorteo_reemisor = sorteo_juego;
}
BENCHMARK(rayo_peor_caso)->Unit(benchmark::kMicrosecond);

// The floor of everything not drawn: one pass of an empty timed loop.
void bucle_vacio(benchmark::State &state)
{
  for (auto _ : state) {
    benchmark::ClobberMemory();
  }
}
BENCHMARK(bucle_vacio);

}  // namespace

BENCHMARK_MAIN();
