// The game loop's frames, played without a screen: the start of a level and
// then one call per frame of the 40 Hz clock, with the meters and the rules
// that decide a lost life or a completed level. The level tools play plans
// through it; when the game's own loop exists it can take its place behind
// this interface.
//
// The player acts only through Allegro's mouse globals (mouse_x, mouse_y,
// mouse_b), which the caller sets before a frame, exactly as the real mouse
// would; sim_logico_siguiente() says whether the next frame reads them.
#pragma once

#include <cstdint>
#include <cstdio>

// What a frame left behind.
enum : uint8_t {
  sim_en_juego = 0,
  sim_completado = 1,     // the beam entered the receiver
  sim_vida_perdida = 2,   // the energy ran out or the overload meter filled
};

// Why a life was lost.
enum : uint8_t {
  perdida_energia = 0,
  perdida_sobrecarga = 1,
};

// Frames in a full energy bar: 64 units of 16 logic frames of 3 frames.
constexpr int FOTOGRAMAS_ENERGIA = 64 * 16 * 3;

struct opciones_simulacion {
  uint32_t semilla = 1;   // every random draw of the run follows from it
  bool gremlins = false;  // let the level's gremlins in
  FILE *registro = nullptr;  // if set, one line per logic frame: what the beam did
};

// Starts level `nivel` from its 135 bytes as the game does: loads it,
// draws it once, scrambles the mirrors and fills the meters. Drops any
// press of the mouse; the caller's mouse globals should show no button.
void sim_iniciar(const uint8_t *bytes, int nivel, const opciones_simulacion &opciones);

// Plays one frame; returns sim_en_juego, sim_completado or
// sim_vida_perdida. Once the level has ended, further calls change nothing.
uint8_t sim_fotograma();

// Whether the next frame is a logic frame, the one that reads the mouse.
bool sim_logico_siguiente();

// Frames played since the level started.
int sim_fotogramas();

// Logic frames on which a mirror was being turned.
int sim_pasos_giro();

// The cause of the lost life (perdida_energia or perdida_sobrecarga).
uint8_t sim_motivo_perdida();

// The highest the overload meter has been.
int sim_sobrecarga_maxima();

// What a start does to a player who has not moved yet: whether the
// overload meter fills, and takes a life, in the first seconds. A beam
// resting on a mine does that in about a second; one thrown straight back
// into the laser in under five. A beam that only crosses a mine does not.
struct peligro_arranque {
  bool vida_perdida;  // a life lost within FOTOGRAMAS_PELIGRO
  bool mina;          // the beam on a mine as it was lost (else thrown back)
  int fotogramas;     // the frames it took
};

// The frames a start is watched for danger: five seconds.
constexpr int FOTOGRAMAS_PELIGRO = 5 * 40;

// Starts the level as sim_iniciar does and plays up to FOTOGRAMAS_PELIGRO
// frames with no input.
peligro_arranque sim_peligro_arranque(const uint8_t *bytes, int nivel, const opciones_simulacion &opciones);
