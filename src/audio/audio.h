// audio: music and sound effects.
//
// Music: at most one piece at a time, looping forever, decoded from the
// objects of msc.dat. Every screen loop calls reproducir_musica once a frame
// with the piece it wants; that call also keeps the stream fed.
// Effects: the samples of snd.dat (or any sample) on up to MAX_VOCES voices
// at once; the slot number returned is the handle to stop or adjust one.
#pragma once

#include <allegro.h>

#include <cstdint>

// The music layer's stream and channel (musica.h).
struct t_flujo;
struct t_canal;

// ---------------------------------------------------------------------------
// Numbers of the music pieces and effects (objects of msc.dat and snd.dat)
// ---------------------------------------------------------------------------

constexpr int8_t MUSICA_MENU = 0;
// Levels play 1 + (level index mod 2).
constexpr int8_t MUSICA_NIVEL = 1;
constexpr int8_t NUM_MUSICAS = 3;

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
  NUM_SONIDOS = 12,
};

// Play modes of an effect. A negative mode plays once but holds the slot
// until it is stopped (VOZ_RETENIDA).
constexpr int8_t SONIDO_UNA_VEZ = 0;
constexpr int8_t SONIDO_BUCLE = 1;

// ---------------------------------------------------------------------------
// State (shared with the tests; the game only goes through the functions)
// ---------------------------------------------------------------------------

constexpr int MAX_VOCES = 16;

// Digital voices asked of the driver: one per effect slot and one for the
// music stream, which Allegro mixes as one more voice.
constexpr int VOCES_RESERVADAS = MAX_VOCES + 1;

enum : int8_t {
  VOZ_LIBRE = 0,
  VOZ_UNA_VEZ = 1,
  VOZ_BUCLE = 2,
  VOZ_RETENIDA = 3,
};

struct t_voz {
  int8_t estado;
  int32_t num_voz;  // Allegro's voice; meaningful while estado != VOZ_LIBRE
};

extern DATAFILE *f_msc;
extern DATAFILE *f_audio;
extern t_flujo *sm;
extern t_canal *canal_musica;
extern int8_t musica_sonando;
extern float vol_mus;
extern uint8_t vol_son;
extern t_voz voz[MAX_VOCES];

// ---------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------

// Starts, on threads of their own, the music decoder's one-time set-up and
// the reading of msc.dat and snd.dat: called as soon as the library is up,
// this overlaps the window's creation (ini_allegro calls it). Without it
// the files are read by ini_audio and the first piece pays for the set-up.
void adelantar_audio();

// Starts the sound output and loads msc.dat and snd.dat. Without a sound
// device, or without either file, the game simply runs without that sound.
void ini_audio();

// Stops everything and frees what ini_audio loaded.
void fin_audio();

// Once a frame: keeps piece `n` playing (starting it if another or none
// plays) and feeds the stream. A negative `n` only feeds the stream.
void reproducir_musica(int8_t n);

// Stops the music; the next reproducir_musica starts its piece afresh.
void parar_musica();

// Music volume in percent, 0 to 100 (larger values are ignored). At 0 the
// piece is stopped and nothing starts until the volume is raised.
void modificar_volmus(uint8_t porcentaje);

// Effect volume in percent (0 to 100; larger values are ignored) for the
// effects started from now on; and for the effect in `slot` too when it is
// not -1.
void modificar_volson(uint8_t porcentaje, int8_t slot);

// Plays effect `n` (or `sample` when given) in `modo`; returns its slot, or
// -1 when the volume is 0, all slots are busy or no voice is free.
int32_t rep_snd_onda(SAMPLE *sample, int8_t n, int8_t modo);
int8_t reproducir_sonido(int8_t n, int8_t modo);
int8_t reproducir_onda(SAMPLE *sample, int8_t modo);

// Stops the effect in `slot`; -1 is ignored.
void detener_sonido(int8_t slot);

// Stops every effect; held ones (negative mode) only when `todos` is set.
void detener_sonidos(uint8_t todos);

// Drops one-shot and held effects and stops the loops where they are...
void pausar_sonidos();
// ...and starts the loops again.
void reanudar_sonidos();

// Plays the effect in `slot` again from its first sample.
void reiniciar_sonido(int8_t slot);
