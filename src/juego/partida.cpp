// State of the game in progress, shared by the game and its sequences.
#include "juego/juego.h"

#include <allegro.h>
#include <cstdlib>
#include <ctime>

// The game in progress; set up afresh by every game.
datos_partida dt_partida;

// 1 while the cheat mode is on.
uint8_t trampas;

// Tamper evidence; word 0 is the integrity flag read by name entry.
int32_t trampeando[NUM_TRAMPEANDO];

// Colours of the status strip and the sequences, made once the display's
// pixel format is known.
int rojo, amarillo, verde;

// Word 1 of the tamper evidence mirrors the level points under this key.
constexpr int32_t CLAVE_PUNTOS = 0x5A3C96E1;

void ini_juego()
{
  srand(static_cast<unsigned>(time(nullptr)));
  rojo = makecol(255, 0, 0);
  verde = makecol(0, 255, 0);
  amarillo = makecol(255, 255, 0);
}

void sumar_puntos_nivel(int32_t puntos)
{
  dt_partida.puntos_nivel += puntos;
  trampeando[1] = dt_partida.puntos_nivel ^ CLAVE_PUNTOS;
}
