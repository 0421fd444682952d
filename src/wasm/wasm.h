// wasm: the game built for WebAssembly (wasm32-wasi) for a host with no
// file system, no window and a zlib of its own: a browser page that
// watches recordings and plays a level alone, or Node.js in the tests.
// The rules are the game's own, and so is the drawing: the board, the
// beam, the gremlins, the status strip and the sequences are drawn by the
// game's code onto a 1024 x 768 picture of 16-bit pixels, which the host
// takes as RGBA. This C interface is all the module exports (besides its
// memory and WASI's _initialize, which the host calls once first).
//
// Bytes pass through one buffer: p = fotonauta_memoria(n), the host writes
// n bytes at p, then the call that reads them is given n. Bytes the module
// hands out (the picture, the sounds, a recording made) lie in its memory
// at the pointer a call returns, valid until the next call of any kind.
// A call may grow the memory: the host makes its views of it again after
// each call. A call that fails returns 0 and leaves its reason in fotonauta_error
// (ISO 8859-1 bytes, fotonauta_largo_error of them).
//
// The art. The data files the game's build generates, as the game reads
// them: grf.dat (pictures, tiles) and fuentes.dat (fonts) before anything
// is drawn; snd.dat only when sound is wanted (the sounds started are told
// without it). Music is not played: it would take a second music engine.
//
// Watching a recording: its bytes read in three steps, the packing left to
// the host:
//   fotonauta_abrir(n) reads and checks the header of the file's n bytes,
//   and says where its packed input lies (fotonauta_inicio_entrada,
//   fotonauta_largo_entrada) and exactly how long it unpacks
//   (fotonauta_largo_eventos);
//   the host unpacks that zlib stream, refusing one that would unpack past
//   that length, and writes it at fotonauta_memoria(m);
//   fotonauta_eventos(m) reads the input.
// A recording of a level played alone carries its level, and plays on it.
// Then either fotonauta_verificar, which plays it all with no drawing and
// checks what it claims; or fotonauta_ver, which readies it for watching:
// every frame the game showed is numbered from 0 (the frames of play and
// the sequences' frames alike), and any of them can be drawn in any order
// (fotonauta_siguiente, fotonauta_buscar) with the same pixels and sounds
// as when the recording is played through from its start.
// (fotonauta_empezar and fotonauta_fotograma play it frame by frame with
// no drawing, as the verifier does.)
//
// Playing a level alone, as `fotonauta --nivel ID` plays it: the level
// from its text (fotonauta_nivel_texto), a game of it started with a seed
// (fotonauta_jugar), then one frame each 1/FOTOGRAMAS_POR_SEGUNDO s with
// the pointer (fotonauta_jugar_fotograma), each drawn; once it has ended,
// the recording made: its input unpacked (fotonauta_eventos_grabados) for
// the host to pack with zlib, then the whole file (fotonauta_archivo).
//
// The rules' state is one, so these are one at a time: watching, playing
// and verifying each start afresh and end whichever ran before.
//
// The picture is the game's frame as the game drew it: watched, without
// the desktop viewer's caption (the page writes its own); played, with the
// game's line over the top strip (the level's title, the bonus count and
// its "click: go on"). The screens after a game's end (game over, the
// closing picture's Exit) are the page's to show.
//
// The game's clock: 40 frames a second (fotonauta_fotogramas_por_segundo).
#pragma once

#include <cstdint>

extern "C" {

// ---------------------------------------------------------------------------
// Bytes in, errors out
// ---------------------------------------------------------------------------

// Room for `n` bytes the host writes (at most 8 MiB); what it held before is
// lost. Null if there is no memory for it.
uint8_t *fotonauta_memoria(uint32_t n);

const char *fotonauta_error();
uint32_t fotonauta_largo_error();

// The game's frames a second (the page paces frames at this rate).
int32_t fotonauta_fotogramas_por_segundo();

// ---------------------------------------------------------------------------
// The art
// ---------------------------------------------------------------------------

enum : int32_t {
  FOTONAUTA_GRF = 0,      // grf.dat
  FOTONAUTA_FUENTES = 1,  // fuentes.dat
  FOTONAUTA_SONIDOS = 2,  // snd.dat
};

// Data file `cual` (FOTONAUTA_GRF, ...) from its `n` bytes written at
// fotonauta_memoria: read through the game's bounded reader, every object
// the game uses checked. 1 when it is taken (replacing any loaded before).
int32_t fotonauta_cargar(int32_t cual, uint32_t n);

// 1 once grf.dat and fuentes.dat are loaded: frames can be drawn.
int32_t fotonauta_graficos_listos();

// The language of the game's own texts in the picture (the status strip's
// labels, the level's lines): FOTONAUTA_ESPANOL (the default, as a new
// player's game) or FOTONAUTA_INGLES. Taken when a game is watched or
// played from its start.
enum : int32_t {
  FOTONAUTA_ESPANOL = 0,
  FOTONAUTA_INGLES = 1,
};
void fotonauta_idioma(int32_t idioma);

// ---------------------------------------------------------------------------
// Reading a recording
// ---------------------------------------------------------------------------

// The first step: the file's `n` bytes, written at fotonauta_memoria.
int32_t fotonauta_abrir(uint32_t n);
uint32_t fotonauta_inicio_entrada();
uint32_t fotonauta_largo_entrada();
uint32_t fotonauta_largo_eventos();

// The third step: the `n` unpacked bytes of the input, written at
// fotonauta_memoria.
int32_t fotonauta_eventos(uint32_t n);

// What the recording read says of itself: its name (ISO 8859-1, no
// padding; empty when unranked) and date (seconds since 1970, 0 unknown),
// points, first level (0-based; a level alone is 0), frames of play, and
// whether it is of a level played alone (1) or of the game's levels (0).
const char *fotonauta_grabacion_nombre();
uint32_t fotonauta_grabacion_largo_nombre();
int64_t fotonauta_grabacion_fecha();
int32_t fotonauta_grabacion_puntos();
int32_t fotonauta_grabacion_nivel();
uint32_t fotonauta_grabacion_fotogramas();
int32_t fotonauta_grabacion_suelto();

// ---------------------------------------------------------------------------
// Playing a recording with no drawing (the verifier's way)
// ---------------------------------------------------------------------------

// Starts the recorded game at its first frame.
int32_t fotonauta_empezar();

// Plays the next frame of the recording: 1 while frames and the game go
// on, 0 once either has ended.
int32_t fotonauta_fotograma();

// Plays the whole recording from its start and checks it ends as it
// claims: 1 when it does. The state is left at its end.
int32_t fotonauta_verificar();

// The rules' state as it stands, whichever way it is being played or
// watched: its hash (what a recording's end is checked by), the frames of
// play played, the points banked, why the game ended (0 it goes on, 1 left,
// 2 no lives, 3 completed), the level played (0-based), the levels
// completed. A level played alone ends as left (1) once it is won too:
// fotonauta_fases() is then 1, as the game tells "level completed!".
uint64_t fotonauta_hash_estado();
uint32_t fotonauta_fotogramas();
int32_t fotonauta_puntos();
int32_t fotonauta_motivo_fin();
int32_t fotonauta_nivel();
int32_t fotonauta_fases();

// ---------------------------------------------------------------------------
// Watching a recording (needs the art)
// ---------------------------------------------------------------------------

// Readies the recording read for watching: it is played through once with
// no drawing, counting the frames shown and keeping what a seek starts
// from, and the watch stands before frame 0. 1 when it can be watched.
int32_t fotonauta_ver();

// The frames the game showed for the whole recording: its frames of play
// and its sequences' (a level's start, a bonus count, a lost life, the
// closing scene). Frames are numbered 0 to fotonauta_ver_total() - 1.
uint32_t fotonauta_ver_total();

// The frame last drawn; -1 before the first.
int32_t fotonauta_ver_actual();

// The frame after the one last drawn played and drawn: 1, or 0 when the
// last frame has already been drawn (nothing changes).
int32_t fotonauta_siguiente();

// Frame `n` (at most the last) played and drawn, from wherever the watch
// stands, forwards or back: the frames between are played with no drawing
// and no sounds told. The same picture and state as reached by playing
// every frame before it. 1, or 0 when nothing is being watched.
int32_t fotonauta_buscar(uint32_t n);

// ---------------------------------------------------------------------------
// Playing a level alone (needs the art)
// ---------------------------------------------------------------------------

// The level from its text (`n` bytes of UTF-8 at fotonauta_memoria, as the
// server serves a level), read by the game's bounded reader. 1 when read.
int32_t fotonauta_nivel_texto(uint32_t n);

// The level's title (ISO 8859-1), as read.
const char *fotonauta_nivel_titulo();
uint32_t fotonauta_nivel_largo_titulo();

// Starts a game of the level read, alone, as level "01", with the rules'
// random generator (and the drawing's) seeded from `semilla`; it is
// recorded, and the level's title shown over the top strip. 1 when
// started; frame 0 comes with the first fotonauta_jugar_fotograma.
int32_t fotonauta_jugar(uint64_t semilla);

// Bits of fotonauta_jugar_fotograma's `botones` and `pulsados`.
enum : int32_t {
  FOTONAUTA_IZQUIERDO = 1,  // left button (a touch)
  FOTONAUTA_DERECHO = 2,    // right button
  FOTONAUTA_ALT = 4,        // Alt held (with the left button, as the right)
};

// One frame of the game played and drawn, the player's pointer as it is
// now: (x, y) in the picture's pixels (0..1023, 0..767; anything outside
// is off the board), the buttons held now, the buttons pressed at least
// once since the last call (a tap made and let go between two frames still
// counts, as in the game), and the wheel's steps since the last call (up
// positive). `abandono` 1: the player leaves the game in this frame. 1
// while the game goes on, 0 once it has ended (fotonauta_motivo_fin says
// how; nothing more is played). A click made during a completed level's
// bonus count ends it at once, for the same points, as in the game.
int32_t fotonauta_jugar_fotograma(int32_t x, int32_t y, int32_t botones, int32_t pulsados, int32_t rueda,
                                  int32_t abandono);

// The recording of the game played, once it has ended, in three steps:
// its input unpacked, at the pointer returned and fotonauta_largo_salida()
// bytes long, for the host to pack with zlib (deflate with a zlib header);
// the player's name (fotonauta_nombre: at most 20 ISO 8859-1 bytes at
// fotonauta_memoria, blanks at its end dropped, control characters
// refused); and the whole file made
// around the packed input (`n` bytes at fotonauta_memoria) with its date
// (seconds since 1970): the file as the game would send it, at the pointer
// returned and fotonauta_largo_salida() bytes long. Null (and 0) before
// the game has ended or on failure.
const uint8_t *fotonauta_eventos_grabados();
int32_t fotonauta_nombre(uint32_t n);
const uint8_t *fotonauta_archivo(uint32_t n, int64_t fecha);
uint32_t fotonauta_largo_salida();

// ---------------------------------------------------------------------------
// The picture and the sounds of the frame last drawn
// ---------------------------------------------------------------------------

constexpr int32_t FOTONAUTA_ANCHO = 1024;
constexpr int32_t FOTONAUTA_ALTO = 768;

// The frame last drawn (watched or played) as FOTONAUTA_ANCHO x
// FOTONAUTA_ALTO RGBA bytes, rows top first, alpha 255: each 16-bit pixel
// widened as the game's window shows it. For putImageData.
const uint8_t *fotonauta_imagen();

// The sound effects the frame last drawn started and stopped, in order:
// fotonauta_num_sonidos() records of six int32_t at fotonauta_sonidos():
//   accion:     1 start once, 2 start looping, 3 stop voice `voz`,
//               4 stop every voice;
//   voz:        the voice (0..15) a start takes, which a later stop names
//               (a sound played once only borrows it: it plays out
//               unless every voice is stopped);
//   muestra:    the sample (0..11, snd.dat's objects) a start plays;
//   volumen:    0..255 (the player's effects volume, 255 at full);
//   pan:        0 left .. 255 right, 128 centred;
//   frecuencia: the speed in thousandths, 1000 the sample's own rate.
// A seek tells only what its last frame started, with every voice stopped
// first (accion 4): the loops due then (the alarms) start again from it.
uint32_t fotonauta_num_sonidos();
const int32_t *fotonauta_sonidos();

// The effects volume for the sounds told from now on, 0..100 (the game's
// option); 100 by default. At 0 nothing starts, as in the game.
void fotonauta_volumen(int32_t porcentaje);

// Sample `i` (0..11) of snd.dat, loaded with fotonauta_cargar: its PCM as
// signed 16-bit values, fotonauta_muestra_largo(i) frames of
// fotonauta_muestra_canales(i) channels interleaved, at
// fotonauta_muestra_frecuencia(i) Hz. Null (and 0s) when snd.dat is not
// loaded or `i` is no sample.
const int16_t *fotonauta_muestra(int32_t i);
uint32_t fotonauta_muestra_largo(int32_t i);
int32_t fotonauta_muestra_canales(int32_t i);
int32_t fotonauta_muestra_frecuencia(int32_t i);
}
