// fotonauta: the program shell, the pictures and fonts, and the screens
// around the game (menus, options, scores).
#pragma once

#include <allegro.h>

#include "codigo/codigo.h"
#include <cstddef>
#include <cstdint>
#include <string>

// ---------------------------------------------------------------------------
// Display and assets
// ---------------------------------------------------------------------------

constexpr int ANCHO_PANTALLA = 1024;
constexpr int ALTO_PANTALLA = 768;

// Tiles cut from the sheet, and the index of the sheet itself in `loseta`.
constexpr int NUM_LOSETAS = 180;
constexpr int HOJA_LOSETAS = NUM_LOSETAS;
constexpr int LADO_LOSETA = 64;
constexpr int ANCHO_HOJA = 4 * LADO_LOSETA;
constexpr int ALTO_HOJA = NUM_LOSETAS / 4 * LADO_LOSETA;

// Objects of the two graphic data files.
enum : int {
  GRF_BORDE_ARRIBA = 0,
  GRF_BORDE_ABAJO = 1,
  GRF_BORDE_IZQUIERDA = 2,
  GRF_BORDE_DERECHA = 3,
  GRF_LOGO = 4,
  GRF_GAMEOVER = 5,
  GRF_PUNTERO = 6,
  GRF_BOTON = 7,
  GRF_BOTON_ENCIMA = 8,
  GRF_BOTON_PULSADO = 9,
  GRF_LOSETAS = 10,
  NUM_OBJETOS_GRF = 11,
};
enum : int {
  FNT_BOTONES = 0,
  FNT_TEXTO = 1,
  NUM_OBJETOS_FNT = 2,
};

extern BITMAP *buffer;
extern DATAFILE *f_grf;
extern DATAFILE *f_fnt;
extern BITMAP *borde[4];
extern BITMAP *logo;
extern BITMAP *gameover;
extern BITMAP *mapa_boton[4];
extern BITMAP *marcador;
extern BITMAP *puntero;
extern BITMAP *loseta[NUM_LOSETAS + 1];
extern uint8_t modo_truecolor;

// The text font: every text but the large buttons' captions.
inline FONT *fuente_texto() { return static_cast<FONT *>(f_fnt[FNT_TEXTO].dat); }

// ---------------------------------------------------------------------------
// Language and progress, kept in the settings file
// ---------------------------------------------------------------------------

constexpr int8_t IDIOMA_ESPANOL = 0;
constexpr int8_t IDIOMA_INGLES = 1;

extern int8_t idioma;
extern int8_t ult_fase_completada;

// ---------------------------------------------------------------------------
// Start-up, frame step and shutdown
// ---------------------------------------------------------------------------

// One attempt at opening the display: a graphics driver and a colour depth.
struct modo_video {
  int tarjeta;
  int profundidad;
};

// The two attempts this program makes, in order (windowed or full screen
// first, depending on which program is built).
extern const modo_video modos_video[2];

// Results of ini_allegro.
constexpr int8_t INI_CORRECTO = 0;
constexpr int8_t INI_SIN_VIDEO = -1;
constexpr int8_t INI_SIN_DATOS = -2;

// The instance and class names of the window (WM_CLASS), which tie it to
// its desktop entry's StartupWMClass. A program built from the game's parts
// (the level editor) names its own before calling ini_allegro.
extern const char *clase_ventana[2];

int8_t ini_allegro();
void fin_allegro();

// Everything the program does once the display and the frame clock are up:
// the rest of start-up, the black hold, cfg.dat and pnt.txt, the intro, the
// main menu until Exit, and shutdown.
void ejecutar_juego();

// The same for watching recording `r`: the rest of start-up, cfg.dat (a
// first run asks the language), the recording on screen, and shutdown.
struct repeticion;
void ejecutar_repeticion(const repeticion &r);

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

// Loads grf.dat and fuentes.dat from the working directory, checks every
// object the game uses and cuts the tile sheet. On failure it has told the
// player what is wrong, freed what it loaded and returns non-zero.
int8_t cargar_graficos();

// Shows a fatal message: in the platform's message box, and on standard
// error for whoever started the game from a terminal.
void mensaje_fatal(const char *texto);

// The frame step: waits for the next tick of the 40 Hz clock and copies
// `buffer` to the screen.
void paso_fotograma();

// The second half of the frame step, the wait and the copy.
void presentar_fotograma();

// When set, the frame step calls this in place of presentar_fotograma: a
// screen that runs the frames its own way (watching a recording, which
// may pause, run fast and put a caption over the frame).
extern void (*paso_sustituto)();

// The same step with the mouse pointer drawn into `buffer` for the copy.
void paso_fotograma_con_puntero();

#ifdef FOTONAUTA_PRUEBAS
// Test builds only: when set, the frame step calls this instead of waiting
// for the clock and copying to the screen, so tests can run screen loops
// frame by frame with scripted input.
extern void (*prueba_fotograma)();
#endif

// ---------------------------------------------------------------------------
// Screens
// ---------------------------------------------------------------------------

// The floor strip under the menus and behind the status strip: 32 tile
// numbers, two rows of 16, once convertir_base has run.
constexpr int NUM_BASE = 32;
extern uint8_t base[NUM_BASE];
void convertir_base();

// The dialogs, one per screen that shows buttons.
constexpr int8_t DLG_MENU = 0;      // main menu
constexpr int8_t DLG_JUEGO = 1;     // the game's panel
constexpr int8_t DLG_SI_NO = 2;     // quit box; first-run language question
constexpr int8_t DLG_FIN = 3;       // game over, game completed
constexpr int8_t DLG_NIVELES = 4;   // choice of the starting level
constexpr int8_t DLG_OPCIONES = 5;  // options
constexpr int8_t DLG_RECORDS = 6;   // high-score table
constexpr int8_t DLG_TECLADO = 7;   // name entry
constexpr int8_t DLG_ENVIO = 8;     // score upload
constexpr int8_t DLG_REPETICION = 9;  // a recording watched: no buttons

// Captions of the 60 level buttons, "01" to "60", three bytes each.
extern char texto0160[60 * 3];

// The 42 name-entry keys' characters, each followed by a NUL once
// ini_dialogos has run: key 3 + j shows (and types) textoletras[2 * j].
constexpr int NUM_LETRAS = 42;
extern char textoletras[2 * NUM_LETRAS + 1];

// Starts the dialog toolkit and the mouse, and creates every button of
// every screen, with empty captions where they depend on the language.
void ini_dialogos();

// Sets the captions that depend on the language for the current `idioma`.
void colocar_texto_botones();

// Button actions of the screens. Each takes the button's number within its
// dialog and returns DLG_NADA to keep its screen open.
int8_t si_no(int8_t indice);           // returns the number it is given
int8_t cambiar_idioma(int8_t indice);  // switches the language
int8_t pausa(int8_t indice);           // in-game pause
int8_t salir(int8_t indice);           // "are you sure?": 1 yes, -1 no
int8_t opciones(int8_t indice);
int8_t modif_volson(int8_t indice);
int8_t modif_volmus(int8_t indice);
int8_t puntuaciones(int8_t resaltar);  // resaltar >= 10 marks row resaltar - 10
int8_t enviar_puntuaciones(int8_t indice);

// The starting level the player picks, 0 to ult_fase_completada.
int8_t preguntar_nivel();

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

// The score server, as a host name with an optional ":port":
// FOTONAUTA_SERVIDOR when set, else the build's.
const char *servidor_puntuaciones();

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
// Settings (cfg.dat, four bytes), the main menu and the intro
// ---------------------------------------------------------------------------

// Volumes in percent, 0 to 100.
extern int8_t volson;
extern int8_t volmus;

// Loads cfg.dat (on the first run, asks for the language and creates it),
// sets the captions and hands the volumes to the audio layer. Values out of
// range are brought into range.
void leer_cfg();

// What leer_cfg makes of the bytes of cfg.dat (`largo` of them, any number):
// sets the language, both volumes and the unlocked level, each in range.
void interpretar_cfg(const uint8_t *bytes, size_t largo);

// Writes cfg.dat. When it cannot be written the settings live on in memory.
void escribir_cfg();

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

// The score server, as a host name with an optional ":port": the
// FOTONAUTA_SERVIDOR environment variable when set, else the build's.
// Scores go there, and the editor publishes levels there.
const char *servidor_puntuaciones();

#ifdef FOTONAUTA_PRUEBAS
// Test builds only: when set, the upload goes to this host instead of the
// score server built in.
extern const char *prueba_servidor;
#endif
void intro();
void menu_principal();

// 1 (the default): the menu draws its logo from its opaque runs; 0: as a
// masked bitmap, as before, to compare the two.
extern uint8_t logo_por_tramos;
