// fotonauta: the program shell and the screens around the game (menus,
// options, scores), and what follows a game (its progress, its score's
// name, its recording kept).
#pragma once

#include "codigo/codigo.h"
#include "nucleo/nucleo.h"
#include "pantalla/pantalla.h"
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// ---------------------------------------------------------------------------
// The program's runs
// ---------------------------------------------------------------------------

// Everything the program does once the display and the frame clock are up:
// the rest of start-up, the black hold, cfg.dat and pnt.txt, the intro, the
// main menu until Exit, and shutdown.
void ejecutar_juego();

// The same for watching recording `r`: the rest of start-up, cfg.dat (a
// first run asks the language), the recording on screen (opened paused on
// frame `desde`, when past 0), and shutdown.
struct repeticion;
void ejecutar_repeticion(const repeticion &r, uint32_t desde);

// The same for community level `id` (16 lower-case hex digits): the level
// fetched from the score server into the player's cache (the cached copy
// when offline), played alone, its points shown and the run sent to the
// level's board if the player wants. The local table is read, for the
// name, and never written. Returns the exit status: 0 when the level was
// played, 1 when there was none to play (the player has been told why).
int ejecutar_nivel_comunidad(const std::string &id);

// The ID of a community level named on the command line: a link
// "fotonauta://nivel/ID" when `enlace`, the ID alone otherwise. The ID is
// 16 hex digits, given back in lower case. False, with a message that
// quotes the text safely, for anything else.
bool leer_id_nivel(const char *texto, bool enlace, std::string &id, std::string &motivo);

// Reads the files NN.txt (00 to 62) of `carpeta` as replacements of those
// levels (`--niveles`) and checks each against the level rules. Returns the
// levels read, and in `errores` one line per bad file, which leaves its
// level out; in `ignorados` the other files of the folder (hidden ones
// aside), which are not played.
std::vector<std::pair<int, nivel_texto>> leer_carpeta_niveles(const std::string &carpeta,
                                                              std::vector<std::string> &errores,
                                                              std::vector<std::string> &ignorados);

// ---------------------------------------------------------------------------
// Screens
// ---------------------------------------------------------------------------

// Captions of the 60 level buttons, "01" to "60", three bytes each.
extern char texto0160[60 * 3];

// The 42 name-entry keys' characters, each followed by a NUL once
// ini_dialogos has run: key 3 + j shows (and types) textoletras[2 * j].
constexpr int NUM_LETRAS = 42;
extern char textoletras[2 * NUM_LETRAS + 1];

// Starts the dialog toolkit and the mouse, and creates every button of
// every screen, with empty captions where they depend on the language.
void ini_dialogos();

// Sets the captions that depend on the language for the current `idioma`,
// the game's and the menus'.
void colocar_texto_botones();

// Button actions of the screens. Each takes the button's number within its
// dialog and returns DLG_NADA to keep its screen open.
int8_t cambiar_idioma(int8_t indice);  // switches the language
int8_t cambiar_escala(int8_t indice);  // Auto, 1x, 2x, 3x: those that fit
int8_t opciones(int8_t indice);
int8_t modif_volson(int8_t indice);
int8_t modif_volmus(int8_t indice);
int8_t puntuaciones(int8_t resaltar);  // resaltar >= 10 marks row resaltar - 10
int8_t enviar_puntuaciones(int8_t indice);

// A server's answer (UTF-8) in the text the fonts draw (ISO 8859-1), with
// '?' for what they cannot.
std::string para_la_fuente(const std::string &t);
// Draws `texto` on the screen's buffer centred from height `y`, broken at
// blanks into lines that fit, at most `max_lineas` of them (0: as many as
// it takes; the last one allowed ends in "..." when more is left);
// returns the height below it.
int texto_partido(const std::string &texto, int y, int max_lineas = 0);

// The starting level the player picks, 0 to ult_fase_completada.
int8_t preguntar_nivel();

// One whole game, normal (0) or the trainer (1), from the level the player
// picks (when more than the first is open) to its end; then its progress
// recorded, its score's name entry and the high-score table, and its
// recording kept. A button action: always returns 0.
int8_t juego(int8_t entrenamiento);

// Name entry for a finished game's score, then the high-score table.
void introducir_puntuacion(int32_t puntos, int8_t fases);

// The name-entry screen under `titulo`: the name typed (at most
// LONG_NOMBRE characters) into `nombre`, LONG_TXT + 1 bytes; returns its
// length, 0 when the player typed none.
int8_t pedir_nombre(const char *titulo, char *nombre);

// The name of the table's row entered last (the one whose recording is the
// newest; the best row when none has one), without trailing blanks, into
// `nombre`, LONG_TXT + 1 bytes. False when the table is empty.
bool nombre_ultima_fila(char *nombre);

// The recording of the game just played (partida_grabada), written into
// repeticiones/ beside pnt.txt, which is then pruned to the recordings the
// rows link to and the last few others. A failed write is said on
// standard error and changes nothing else. Only games of the stored levels
// are kept; the editor's levels and `--niveles` are not the game.
// - guardar_repeticion_fila: the game scored table row `fila` (`puntos`
//   points over `fases` levels): its file is named by the row's code, and
//   its header holds the row's name, code and the date. Nothing is written
//   when the recording is not of that score.
// - guardar_repeticion_partida: any game not saved by the first, under the
//   time it ended.
void guardar_repeticion_fila(int fila, int32_t puntos, int8_t fases);
void guardar_repeticion_partida();

void leer_pnt();

// ---------------------------------------------------------------------------
// The settings read at start-up, the main menu and the intro
// ---------------------------------------------------------------------------

// Loads cfg.dat (on the first run, asks for the language and creates it),
// sets the captions and hands the volumes to the audio layer. Values out of
// range are brought into range.
void leer_cfg();

// The particle backdrop's state (mover_fondo, below, draws it).
constexpr int NUM_PARTICULAS = 250;
struct datos_fondo {
  int32_t xc, yc;  // the emitter
  int32_t c[NUM_PARTICULAS];
  int16_t x[NUM_PARTICULAS], y[NUM_PARTICULAS];
  fixed a[NUM_PARTICULAS];  // direction, 256 units a turn, 0 downward
};
extern datos_fondo dt_fondo;

// Draws the floor strip along the bottom of `buffer`.
void dibujar_suelo();

// The credits: ten pages of three lines that slide in, stand and slide out.
constexpr int NUM_PAGINAS_CREDITOS = 10;
enum : int8_t { CREDITOS_ENTRANDO, CREDITOS_QUIETOS, CREDITOS_SALIENDO };
struct estado_creditos {
  int8_t fase;
  int32_t p;       // x of lines 1 and 3; line 2 stands at 1024 - p
  int8_t pagina;
  uint8_t cuenta;  // frames left standing
};
void avanzar_creditos(estado_creditos &c);
// Line 0-2 of a page in the current language.
const char *texto_credito(int pagina, int linea);

// The menus' moving particle backdrop, drawn into `buffer` as a frame's
// first layer.
void mover_fondo(int8_t inicio);

// ---------------------------------------------------------------------------
// High-score table (pnt.txt)
// ---------------------------------------------------------------------------

constexpr int MAX_PUNTUACIONES = 9;
constexpr int LONG_TXT = 28;     // display line: name, two blanks, points
// The row's code (LONG_COD) and the name's share of the display line
// (LONG_NOMBRE) come with the score code.

// Row 0 is the best; a row with 0 points is empty, and the filled rows come
// first.
extern char max_txt[MAX_PUNTUACIONES][LONG_TXT + 1];
extern int32_t max_pnt[MAX_PUNTUACIONES];
extern char max_cod[MAX_PUNTUACIONES][LONG_COD + 1];

// Writes the filled rows to pnt.txt through a temporary file renamed over
// it, so a failed write leaves the old table whole. Returns 0 on success.
int8_t escribir_pnt();

void intro();
void menu_principal();

// 1 (the default): the menu draws its logo from its opaque runs; 0: as a
// masked bitmap, as before, to compare the two.
extern uint8_t logo_por_tramos;
