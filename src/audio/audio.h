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
// Data files
// ---------------------------------------------------------------------------

// True when `fichero` is a datafile whose every object lies whole inside
// it. The library's loader takes a cut-off file for a good one, or crashes
// on it, so every data file of the game is checked first. A compressed
// datafile cannot be walked without unpacking it; it is left to the loader.
bool datafile_completo(const char *fichero);

// leer_datafile of a file that passes that check; null otherwise. A file
// being read ahead is waited for and taken instead.
DATAFILE *cargar_datafile(const char *fichero);

// Starts reading the `n` files named, one after another, on a thread of its
// own, so that cargar_datafile finds them read. Bitmaps and fonts are built
// for the colour depth and format set when this is called, so nothing may
// change those until they are taken; with `solo_sonido` a file holding
// anything but samples and raw data is left for cargar_datafile to read.
// A file read ahead and not taken is dropped when it is read ahead again.
void adelantar_datafiles(const char *const ficheros[], int n, bool solo_sonido);

// For cargar_datafile: true, with the result, when `fichero` was read
// ahead; false when it must be read now. Either way it is no longer ahead.
bool tomar_adelanto(const char *fichero, DATAFILE **datos);

// Waits for every file still being read ahead and frees what nobody took:
// on a failed start-up, and at exit.
void soltar_adelantos();

// What load_datafile gives (freed with unload_datafile), read in one go
// and built in plain loops; a file it does not expect is left to
// load_datafile. Null when the file cannot be read or an object in it is
// cut short.
DATAFILE *leer_datafile(const char *fichero);

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
