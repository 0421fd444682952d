// A board built to make the beam's trace as long as it can be, shared by
// the benchmarks.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "juego/juego.h"

// The longest trace: a serpentine of one-block corridors under reflecting
// walls. The beam zig-zags at 45 degrees through eight corridors, falls into
// a re-emitter at the end, and comes back through all of them at a shallower
// angle until the point limit stops it. Nearly every point is a bounce, so
// each one pays the full scan for a closed loop.
inline constexpr uint8_t MURO_ARRIBA = 47 + 3;                // top half reflecting
inline constexpr uint8_t MURO_ARRIBA_DERECHA = 47 + 1 + 2 + 4;  // and the right side
inline constexpr uint8_t MURO_ARRIBA_IZQUIERDA = 47 + 1 + 2 + 8;
inline constexpr uint8_t BAJADA_DERECHA = 47 + 2 + 4;  // a shaft down the left half
inline constexpr uint8_t BAJADA_IZQUIERDA = 47 + 1 + 8;  // and down the right half
inline constexpr uint8_t EMISOR_DERECHA = 5;
inline constexpr uint8_t ESPEJO = 16;
inline constexpr uint8_t REEMISOR = 80;
inline constexpr uint8_t ANGULO_ENTRADA = 10;  // sends the beam down-right
inline constexpr int CELDA_ESPEJO = 1;
inline constexpr int CELDA_REEMISOR = 8 * COLUMNAS + 1;
inline constexpr int SORTEO_VUELTA = 7;  // turns the beam back to the right

inline int sorteo_vuelta()
{
  return SORTEO_VUELTA;
}

inline void construir_serpentina(uint8_t *b)
{
  for (int c = 0; c < NUM_CELDAS; ++c) {
    b[c] = MURO_ARRIBA;
  }
  // Corridor r is the lower half of row r. Even ones run right and drop to
  // the next at column 14, odd ones run left and drop at column 0.
  for (int fila = 0; fila < FILAS - 1; ++fila) {
    uint8_t *f = &b[fila * COLUMNAS];
    if (fila % 2 == 0) {
      f[COLUMNAS - 1] = MURO_ARRIBA_DERECHA;
      if (fila > 0) {
        f[0] = BAJADA_IZQUIERDA;
      }
    } else {
      f[COLUMNAS - 1] = BAJADA_DERECHA;
      f[0] = MURO_ARRIBA_IZQUIERDA;
    }
  }
  b[0] = EMISOR_DERECHA;
  b[CELDA_ESPEJO] = ESPEJO;
  b[CELDA_REEMISOR] = REEMISOR;
}

// Loads the 300-point board with its mirror set, the re-emitter always
// turning the beam back. Returns the game's re-emitter draw, to be put
// back when done.
using t_sorteo = int (*)();
inline t_sorteo cargar_serpentina()
{
  uint8_t bytes[NUM_CELDAS];
  construir_serpentina(bytes);
  cargar_tablero(bytes, 0);
  nucleo.est_nivel[CELDA_ESPEJO].valor = ANGULO_ENTRADA;
  const t_sorteo juego = nucleo.sorteo_reemisor;
  nucleo.sorteo_reemisor = sorteo_vuelta;
  return juego;
}

// The busiest board: the longest beam there can be, a row of targets
// exploding and eight gremlins on the board.
inline constexpr int PRIMERA_EXPLOSION = 8 * COLUMNAS + 3;  // to the end of the board

struct escena {
  celda celdas[NUM_CELDAS];
  celda sin_explosiones[NUM_CELDAS];  // the board as traced
  datos_rayo rayo;
  datos_gremlin gremlins_escena[MAX_GREMLINS];
};

inline escena montar_escena()
{
  const t_sorteo sorteo_juego = cargar_serpentina();
  // Every trace moves the re-emitter's phase on; the scene keeps the one
  // that gives the longest trace, so a game that traces it again gets it.
  const uint8_t fase_reemisor = nucleo.est_nivel[CELDA_REEMISOR].valor;
  calcular_rayo();
  nucleo.est_nivel[CELDA_REEMISOR].valor = fase_reemisor;
  nucleo.sorteo_reemisor = sorteo_juego;
  if (nucleo.dt_rayo.n_puntos != MAX_PUNTOS) {
    fprintf(stderr, "the busiest board traced only %d points\n", nucleo.dt_rayo.n_puntos);
    abort();
  }
  escena e;
  memcpy(e.sin_explosiones, nucleo.est_nivel, sizeof nucleo.est_nivel);
  // Explosions along the bottom row, after the trace so it keeps its length.
  for (int c = PRIMERA_EXPLOSION; c < NUM_CELDAS; ++c) {
    nucleo.est_nivel[c] = {detonador, static_cast<uint8_t>(3 + c % 12), 137};
  }
  for (int i = 0; i < MAX_GREMLINS; ++i) {
    nucleo.dt_gremlin[i] = {0, static_cast<int16_t>(32 + 96 * i), static_cast<int16_t>(64 + 48 * i), 1, 0, 0};
  }
  memcpy(e.celdas, nucleo.est_nivel, sizeof nucleo.est_nivel);
  e.rayo = nucleo.dt_rayo;
  memcpy(e.gremlins_escena, nucleo.dt_gremlin, sizeof nucleo.dt_gremlin);
  return e;
}

inline void restaurar_escena(const escena &e)
{
  memcpy(nucleo.est_nivel, e.celdas, sizeof nucleo.est_nivel);
  nucleo.dt_rayo = e.rayo;
  memcpy(nucleo.dt_gremlin, e.gremlins_escena, sizeof nucleo.dt_gremlin);
}
