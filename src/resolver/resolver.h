// resolver: the level solver, used by the editor's proof and by the level
// tool (`niveles resolver`). It finds a plan that clears a level and proves
// it by playing it through the game's own rules (nucleo), as a player with
// the mouse would, from many random starts.
//
// A plan is what a player does, in order:
//   CELL ANGLE           hold the mirror in CELL until it shows ANGLE (0-15),
//                        turning it the shorter way, then let go
//   espera CELL [CELL...] let go and wait until the targets in those cells
//                        have been hit
// and, after the last line, wait until the beam enters the receiver.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "nucleo/nucleo.h"
#include "repeticion/repeticion.h"

// ---------------------------------------------------------------------------
// One level played alone, with no screen
// ---------------------------------------------------------------------------
// The rules' frames, one call each, with the input the caller gives (read on
// logic frames only), from the level's start until it is won or its first
// life is lost.

// What a frame left behind.
enum : uint8_t {
  sim_en_juego = 0,
  sim_completado = 1,     // the beam entered the receiver
  sim_vida_perdida = 2,   // the energy ran out or the overload meter filled
};

// Frames in a full energy bar: 64 units of 16 logic frames of 3 frames.
constexpr int FOTOGRAMAS_ENERGIA = 64 * 16 * 3;

struct opciones_simulacion {
  uint64_t semilla = 1;   // every random draw of the run follows from it
  bool gremlins = false;  // let the level's gremlins in
  int8_t n_gremlins = -1; // with gremlins, how many: the level file's count, or -1 for the stored one
  FILE *registro = nullptr;  // if set, one line per logic frame: what the beam did
};

// Starts level `nivel` (0-62: its floor and, with gremlins, its stored
// gremlin count unless the options give one) from its 135 bytes as the
// game does: a game of that level alone, its board loaded, the mirrors
// scrambled, the meters full.
void sim_iniciar(const uint8_t *bytes, int nivel, const opciones_simulacion &opciones);

// Plays one frame; returns sim_en_juego, sim_completado or
// sim_vida_perdida. Once the level has ended, further calls change nothing.
uint8_t sim_fotograma(const entrada_juego &entrada = {});

// Whether the next frame is a logic frame, the one that reads the input.
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

// ---------------------------------------------------------------------------
// Plans
// ---------------------------------------------------------------------------

enum : uint8_t {
  paso_giro = 0,
  paso_espera = 1,
};

struct paso_plan {
  uint8_t tipo;                  // paso_giro or paso_espera
  uint8_t celda;                 // paso_giro: the mirror
  uint8_t angulo;                // paso_giro: the angle it is left at
  std::vector<uint8_t> blancos;  // paso_espera: the targets waited for
};

using plan_nivel = std::vector<paso_plan>;

// The plan as text, one step a line, and back. leer_plan skips blank lines
// and '#' comments; on failure it names the line.
std::string escribir_plan(const plan_nivel &plan);
bool leer_plan(const std::string &texto, plan_nivel &plan, std::string &error);

// In which order the mirrors of one step of the plan are set.
enum : uint8_t {
  orden_mixto,    // the far end first, but the nearest first while the beam
                  // rests on a mine or is thrown back
  orden_cercano,  // always the one the beam meets first
  orden_lejano,   // always the far end first
  NUM_ORDENES,
};

// Searches for a plan on the level's board as loaded. On failure returns
// false and says which targets (or the receiver) could not be reached.
// It works on the live board but gives back the rules' state as it was,
// with no points or sounds, so a game in progress may ask for a plan.
bool buscar_plan(const uint8_t *bytes, int nivel, plan_nivel &plan, std::string &error,
                 uint8_t orden = orden_mixto);

// One run of a plan through the simulated game loop.
struct partida_plan {
  uint8_t resultado;  // sim_completado or sim_vida_perdida
  uint8_t motivo;     // for a lost life: perdida_energia or perdida_sobrecarga
  int fotogramas;     // frames until the level was completed or lost
  int pasos_giro;     // logic frames spent turning mirrors
  bool puerta_cerrada;  // completed through a gate that had not opened:
                        // the gate cell let the beam in with targets standing
};

// Plays the plan as a player would, with the mouse's input, on the live
// board, and leaves the board as the run ended. `angulos`, when given, are the
// angles the plain mirrors show when play begins (255 leaves a mirror as
// the level start left it).
partida_plan jugar_plan(const uint8_t *bytes, int nivel, const plan_nivel &plan,
                        const opciones_simulacion &opciones, const uint8_t *angulos = nullptr);

// Plays the plan in a game of `nivel` alone, started as the game starts
// one (three lives, the level's own gremlins) from `semilla`, and records
// it as the game records its games. True when the plan won the level on
// its first life: the recording then plays to that win.
bool grabar_plan(const nivel_texto &nivel, const plan_nivel &plan, uint64_t semilla, repeticion &r);

// The start that costs the plan most turning: each mirror it sets begins
// half a turn away from the first angle the plan gives it.
std::vector<uint8_t> angulos_adversos(const uint8_t *bytes, const plan_nivel &plan);

// A level passes when its plan wins within this many frames (70 % of the
// energy bar); with chance involved, in this share of the runs.
constexpr int LIMITE_FOTOGRAMAS = FOTOGRAMAS_ENERGIA * 70 / 100;
constexpr int PARTIDAS_AZAR = 200;
constexpr int PORCENTAJE_AZAR = 95;

struct informe_nivel {
  bool encontrado;   // the search found a plan
  bool pasa;
  bool azar;         // re-emitters make the outcome depend on chance
  int partidas;      // runs played
  int a_tiempo;      // runs that won within the limit
  int fotogramas;    // worst run, or the 95th percentile with chance
  int giros;         // settings in the plan
  int pasos_giro;    // turning steps in the worst run
  int gremlins;      // gremlins in the level
  int partidas_gremlins;
  int a_tiempo_gremlins;
  // The random starts watched with no input (sim_peligro_arranque), the
  // same starts the plan's runs begin from: how many take a life, by a
  // mine or by the beam thrown back into the laser, and the quickest.
  int arranques;
  int arranques_peligrosos;
  int arranques_mina;
  int arranques_rebote;
  int fotogramas_peligro;  // frames to the quickest life so lost, 0 for none
  plan_nivel plan;
  std::string error;
};

struct opciones_resolver {
  int8_t gremlins = -1;        // the level file's gremlin count; -1: the stored count of its number
  int partidas = 40;           // random starts for a level without chance
  int partidas_azar = PARTIDAS_AZAR;  // runs of a level with chance
  // The number of the first run; the others follow it. A level's true rate
  // is best measured on runs its design was never tried on.
  uint64_t primera_partida = 1;
  int partidas_gremlins = 40;  // runs with gremlins, for the fragility report
  // When set, called after each run: the runs played of the proof's current
  // batch, and how many it has.
  void (*progreso)(int hechas, int total) = nullptr;
};

// Searches a plan and proves it, playing hundreds of runs on the rules'
// state: a caller that keeps a game copies nucleo before and puts the copy
// back after.
informe_nivel resolver_nivel(const uint8_t *bytes, int nivel, const opciones_resolver &opciones);

// The seed that run number `numero` of a proof plays. Runs of nearby
// numbers get seeds far apart: the game's generator takes its seed by adding
// it to its state, and games of nearby seeds draw alike.
uint64_t semilla_partida(uint64_t numero);

// Whether the plan would be fragile against the level's gremlins.
bool fragil_con_gremlins(const informe_nivel &informe);
