// audio: music and sound effects.
#pragma once

#include <cstdint>

// Starts the sound output and loads msc.dat and snd.dat.
void ini_audio();

// Stops everything and frees what ini_audio loaded.
void fin_audio();

// Play modes of an effect.
constexpr int8_t SONIDO_UNA_VEZ = 0;
constexpr int8_t SONIDO_BUCLE = 1;

// The effects, by object number in snd.dat.
enum : int8_t {
  SND_SIN_ENERGIA = 0,
  SND_SOBRECARGA = 1,
  SND_CONECTADO = 2,
  SND_ALARMA_SOBRECARGA = 3,
  SND_ALARMA_MINA = 4,
  SND_EXPLOSION = 5,  // and 6: two explosions
  SND_PUERTA = 7,
  SND_GREMLIN = 8,
  SND_GREMLIN_CAZADO = 9,
  SND_BONO_VIDA = 10,
  SND_TIC = 11,
};

// Plays effect `n`; returns its slot, or -1 when it could not be played.
int8_t reproducir_sonido(int8_t n, int8_t modo);
