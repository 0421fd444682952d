// juego: the board, the levels, the game loop and its sequences, the moving
// hazards and the beam.
#pragma once

#include <cstdint>

// The game in progress.
struct datos_partida {
  int8_t energia;          // energy left in this level, 64 when it starts
  int8_t cuenta_energia;   // logic frames before the next unit is taken
  int8_t sobrecarga;       // overload meter, 0 to 64
  int8_t vidas;            // lives left
  int32_t puntos;          // banked score
  int32_t puntos_nivel;    // points of this attempt at the level, not banked yet
  int8_t fases_superadas;  // levels completed in this game
};

extern datos_partida dt_partida;

// Cheat mode of the game in progress: 0 off, 1 on.
extern uint8_t trampas;

// Tamper evidence of the game in progress. Word 0 is the integrity flag:
// set at game start, cleared while cheating or when the game's state has
// been meddled with; name entry reads it.
constexpr int NUM_TRAMPEANDO = 8;
extern int32_t trampeando[NUM_TRAMPEANDO];

// Pure red, yellow and green in the display's pixel format.
extern int rojo, amarillo, verde;

// Seeds the random generator and makes the fixed colours. Needs the display.
void ini_juego();
