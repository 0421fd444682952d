// repeticion: the recording of a game, and playing it again. A recording
// holds how the game started (the rules' version, the levels' hash, the
// seed, the first level) and, frame by frame, the input the rules took;
// played through the same rules it gives the same game, to the last point.
// Its frames are the game's frames of play: the sequences' frames (a
// level's start, a bonus count, a lost life, the closing scene) take no
// input and are not counted (en_secuencia).
// The game writes one for every game, `fotonauta --repeticion` shows one,
// and the score server plays each one it is sent to verify its score.
//
// The file format is docs/repeticion.md. Needs no display, sound or clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "codigo/codigo.h"
#include "nucleo/nucleo.h"

// The file format's version, written; this build reads it and every one
// before it (1: no level carried, no check hashes).
constexpr uint16_t VERSION_FORMATO_REPETICION = 2;

// The bounds a recording must keep: a whole game of 60 levels, every life
// played to its last unit of energy, is about 560,000 frames.
constexpr uint32_t MAX_FOTOGRAMAS_REPETICION = 1000000;
constexpr size_t MAX_BYTES_REPETICION = 1 << 20;          // the file
constexpr size_t MAX_BYTES_EVENTOS_REPETICION = 8 << 20;  // its input, unpacked
constexpr size_t MAX_BYTES_NIVEL_REPETICION = 16 << 10;   // the level it carries, as text

// Every this many frames the recording keeps hash_estado(), so that a
// replay which parts from the game recorded says where, not only that the
// end differs.
constexpr uint32_t FOTOGRAMAS_CONTROL = 1000;

// Flags of the start.
enum : uint8_t {
  REPETICION_ENTRENAMIENTO = 1,
  REPETICION_SUELTO = 2,  // one level alone, known by its own hash
};

struct cabecera_repeticion {
  uint16_t version_reglas = VERSION_REGLAS;
  uint64_t hash_niveles = 0;  // hash_niveles(), or hash_nivel() of the level played alone
  uint64_t semilla = 0;
  int8_t nivel = 0;           // the first level
  uint8_t banderas = 0;
  // How the game ended, as the game that was recorded saw it: a replay
  // must end the same way.
  uint8_t motivo_fin = jugando;
  int8_t fases = 0;
  int32_t puntos = 0;
  uint32_t fotogramas = 0;    // frames played, the last one ending the game
  uint64_t hash_final = 0;    // hash_estado() as the game ended
  // Not part of what a replay checks. The date is set when the game saves
  // the recording, 0 before; the name (ISO 8859-1, blank-padded in the
  // file) and the code once the score has entered the table.
  int64_t fecha = 0;          // seconds since 1970
  char nombre[LONG_NOMBRE + 1] = {};
  char codigo[LONG_COD + 1] = {};
};

// The input the rules took at one logic frame, from then on until the next
// change; `abandono` set only on the frame the player left the game.
struct cambio_entrada {
  uint32_t fotograma;
  entrada_juego entrada;
};

struct repeticion {
  cabecera_repeticion cabecera;
  std::vector<cambio_entrada> cambios;  // in frame order
  // The level of a game of one level alone, carried so that the recording
  // plays with nothing else given; none in files of format 1.
  std::optional<nivel_texto> nivel;
  // hash_estado() after frame FOTOGRAMAS_CONTROL, twice that, and so on up
  // to the last frame; empty when not known (format 1, or written from one).
  std::vector<uint64_t> controles;
};

// ---------------------------------------------------------------------------
// Recording, as the game plays
// ---------------------------------------------------------------------------

// Starts the recording of a game that starts as `inicio`.
void empezar_grabacion(repeticion &r, const inicio_partida &inicio);

// The two halves of jugar_y_grabar below, which is how a frame is
// recorded. Before a logic frame: its input, as the rules will take it.
void grabar_entrada(repeticion &r, const entrada_juego &entrada);

// After a frame of play (none of a sequence): counts it, notes the player
// leaving in it, and keeps a check hash on its every FOTOGRAMAS_CONTROL.
void grabar_fotograma(repeticion &r, const entrada_juego &entrada);

// Once the game has ended: how it ended, from the rules' state.
void terminar_grabacion(repeticion &r);

// One frame of a game being recorded, whatever plays it: the frame played
// with `entrada` (and `ganchos`, or none), the input the rules take from it
// recorded on a logic frame, and a frame of play counted, its check hash
// taken before any sequence it begins. A frame of a sequence is played and
// not recorded. Returns whether it was a frame of play. The one way every
// recorder records a frame: the game's loop calls it once a frame, between
// reading the player and showing the frame.
bool jugar_y_grabar(repeticion &r, entrada_juego entrada, const ganchos_partida *ganchos);

// A whole game from `inicio` recorded with no screen, on jugar_y_grabar,
// for the tools that record games. Every frame of play is followed by the
// sequence it begins, played to its end (pasar_secuencia): `mano` is asked
// before each frame of play for its input (the rules read it on logic
// frames only, fotograma_logico()), with nucleo.dt_sucesos holding what
// the frame before and its sequence did; false stops the game there. The
// recording ends where the game ends or stops.
void grabar_partida(repeticion &r, const inicio_partida &inicio, const std::function<bool(entrada_juego &)> &mano);

// ---------------------------------------------------------------------------
// The file
// ---------------------------------------------------------------------------

std::vector<uint8_t> codificar_repeticion(const repeticion &r);

// Reads a recording's bytes; on anything malformed, truncated, damaged or
// past the bounds, false with the reason.
bool decodificar_repeticion(const uint8_t *datos, size_t n, repeticion &r, std::string &error);

// Reads and checks only the fixed header (its bounds and its checksum over
// the whole file), without unpacking the input: what a recording claims,
// known at the cost of one pass of the checksum.
bool leer_cabecera_repeticion(const uint8_t *datos, size_t n, cabecera_repeticion &c, std::string &error);

// The same reading in three steps, for a host that unpacks the input with
// its own zlib (a browser): the header, which also says where the packed
// input lies and exactly what it unpacks to; the input unpacked by the
// host, refusing a stream that would unpack past that size; and the
// unpacked input read into the changes (r.cabecera read first).
struct entrada_empaquetada {
  size_t inicio = 0;         // where the zlib stream starts in the file
  size_t largo = 0;          // its bytes, to the file's end
  size_t largo_eventos = 0;  // what it unpacks to, exactly
  uint32_t cambios = 0;      // the changes it holds
  uint16_t formato = 0;      // the file's format version
};
bool leer_cabecera_repeticion(const uint8_t *datos, size_t n, cabecera_repeticion &c, entrada_empaquetada &e,
                              std::string &error);
bool leer_eventos_repeticion(const uint8_t *eventos, size_t n, const entrada_empaquetada &e, repeticion &r,
                             std::string &error);

// And writing in three steps: the input unpacked, packed by the caller with
// zlib, and the file made around it.
std::vector<uint8_t> eventos_repeticion(const repeticion &r);
std::vector<uint8_t> montar_repeticion(const repeticion &r, const std::vector<uint8_t> &empaquetada,
                                       size_t largo_eventos);

// The file, written through a new file renamed over the old one.
bool guardar_repeticion(const std::string &ruta, const repeticion &r, std::string &error);
bool leer_repeticion(const std::string &ruta, repeticion &r, std::string &error);

// ---------------------------------------------------------------------------
// The folder of recordings beside the high-score table
// ---------------------------------------------------------------------------

// The folder, in the game's working folder beside pnt.txt, and the ending
// of its files.
constexpr char CARPETA_REPETICIONES[] = "repeticiones";
constexpr char EXTENSION_REPETICION[] = ".frep";

// The file name of the recording linked to the table's row of score code
// `codigo`: the code and the ending. Empty when `codigo` is not LONG_COD
// letters of the code's alphabet (the tampered row's code is not): such a
// row has no recording.
std::string nombre_repeticion_fila(const char *codigo);

// A file name in `carpeta` for the recording of a game linked to no row,
// from the local time it ended at ("2026-12-10_14-02-33.frep"), with a
// number added when that name is taken. Never a row's name: '-' and '_'
// are not letters of the code.
std::string nombre_repeticion_suelta(const std::string &carpeta, int64_t fecha);

// Writes `r` into `carpeta` (made when missing) as `nombre`, through a new
// file renamed over any old one.
bool guardar_en_carpeta(const std::string &carpeta, const std::string &nombre, const repeticion &r,
                        std::string &error);

// Keeps the folder growing with the table rather than with the games
// played: every recording named in `enlazadas` stays, and of the others the
// `sueltas` written last; the rest are deleted. Anything but recordings is
// left alone, and nothing is deleted when the folder cannot be read whole.
// Returns how many were deleted.
int podar_repeticiones(const std::string &carpeta, const std::vector<std::string> &enlazadas, size_t sueltas);

// ---------------------------------------------------------------------------
// Playing it again
// ---------------------------------------------------------------------------

// Where a replay stands: the next change and the input in force.
struct lector_repeticion {
  const repeticion *r = nullptr;
  size_t siguiente = 0;
  entrada_juego actual;
  uint32_t fotograma = 0;  // the frame to be played next
  // The first frame of play whose check hash did not match: the game
  // parted from its recording in the FOTOGRAMAS_CONTROL frames before it
  // (0: none yet).
  uint32_t divergente = 0;
};

// Starts the recorded game through the rules, and the reader at its first
// frame. `suelto`: the level a recording of one level alone was played on
// (null: the level it carries, if any). False, with the reason, when the
// recording cannot be played by these rules on these levels.
bool empezar_reproduccion(lector_repeticion &l, const repeticion &r, const nivel_texto *suelto, std::string &error);

// Whether the recorded game has more frames to play: it goes on, and its
// recording has frames of play left or a sequence is under way (the one a
// game's last frame began plays to its end).
bool reproduccion_en_curso(const lector_repeticion &l);

// One frame of the recorded game (while reproduccion_en_curso): its input
// taken from the recording, the frame played (with `ganchos`, or none),
// and after a frame of play that has a check hash, the state checked
// against it (l.divergente). `copia`, when not null, records the frame as
// jugar_y_grabar does. Returns whether it was a frame of play. What every
// replay plays a frame with: the viewer once a frame, the verifier in a
// loop.
bool reproducir_fotograma(lector_repeticion &l, const ganchos_partida *ganchos, repeticion *copia = nullptr);

// What playing a recording to its end gave.
struct verificacion {
  bool valida = false;  // it played to the end it claims, with the same state
  std::string motivo;   // why not
  uint8_t motivo_fin = jugando;
  int32_t puntos = 0;
  int8_t fases = 0;
  uint32_t fotogramas = 0;
  bool trampas = false;  // the cheat was used
  uint64_t hash_final = 0;
  // The first check hash that did not match: the game parted from its
  // recording in the FOTOGRAMAS_CONTROL frames before this one (0: none).
  uint32_t fotograma_divergente = 0;
};

// Plays the whole recording with no screen and checks it against what it
// claims: it must end on its last frame, the way and with the points, the
// levels and the state it says.
verificacion verificar_repeticion(const repeticion &r, const nivel_texto *suelto = nullptr);

// The same, with the level played alone (or null), and two more things a
// server wants: to stop at the first frame the cheat is on (a game that
// can no longer rank costs no more), and the game written again as the
// game records what it plays (grabar_entrada at each logic frame, with
// the input the rules took): one game gives one such recording however
// its file was written, with input the rules never read, changes that
// set nothing or changes on frames the rules do not read. Its header is
// the recording's, name, code and date included.
struct opciones_verificacion {
  const nivel_texto *suelto = nullptr;
  bool parar_en_trampa = false;
  repeticion *canonica = nullptr;
};
verificacion verificar_repeticion(const repeticion &r, const opciones_verificacion &o);

// What makes a recording the game it is: how it starts, every input and
// how it ends, hashed; the name, code and date written once the game was
// over are left out. Two files of one game (one edited to carry another
// name or code) have the same; the score server lets one game prove one
// row only.
uint64_t huella_repeticion(const repeticion &r);
