// A board built to make the beam's trace as long as it can be, shared by
// the benchmarks.
#pragma once

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

