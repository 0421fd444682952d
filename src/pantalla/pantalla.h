// pantalla: the display platform every screen stands on: the window and
// its frame step, the off-screen frame, the pictures, tiles and fonts, the
// pointer and the buttons' looks, the dialogs' ids, and the player's
// settings that every screen follows (the language, the volumes). The
// game, its menus and the level editor all draw through it.
#pragma once

#include <allegro.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "dlg/dlg.h"

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
extern BITMAP *puntero;
extern BITMAP *loseta[NUM_LOSETAS + 1];
extern uint8_t modo_truecolor;

// The text font: every text but the large buttons' captions.
inline FONT *fuente_texto() { return static_cast<FONT *>(f_fnt[FNT_TEXTO].dat); }

// The floor strip under the menus and behind the status strip: 32 tile
// numbers, two rows of 16, once convertir_base has run.
constexpr int NUM_BASE = 32;
extern uint8_t base[NUM_BASE];
void convertir_base();

// ---------------------------------------------------------------------------
// The player's settings, kept in cfg.dat (four bytes)
// ---------------------------------------------------------------------------

constexpr int8_t IDIOMA_ESPANOL = 0;
constexpr int8_t IDIOMA_INGLES = 1;

// The language of every text.
extern int8_t idioma;

// Of a text's Spanish and English forms, the one of the current language.
inline const char *en_idioma(const char *es, const char *en)
{
  return idioma == IDIOMA_ESPANOL ? es : en;
}

// Volumes in percent, 0 to 100.
extern int8_t volson;
extern int8_t volmus;

// The highest level that may be chosen to start a game (the progress), at
// most ULTIMA_FASE.
constexpr int8_t ULTIMA_FASE = 59;
extern int8_t ult_fase_completada;

// What the bytes of cfg.dat make (`largo` of them, any number): sets the
// language, both volumes and the unlocked level, each in range.
void interpretar_cfg(const uint8_t *bytes, size_t largo);

// Writes cfg.dat. When it cannot be written the settings live on in memory.
void escribir_cfg();

// ---------------------------------------------------------------------------
// How the picture is shown: kept in ajustes.cfg beside cfg.dat, whose four
// bytes stay as they are
// ---------------------------------------------------------------------------

// 0, auto: the largest whole scale whose window fits the screen's usable
// area; 1 to ESCALA_MAXIMA: that many screen pixels a side for each of the
// picture's pixels (or the largest that fits, on a screen too small).
constexpr int8_t ESCALA_AUTO = 0;
constexpr int8_t ESCALA_MAXIMA = 3;
extern int8_t escala_elegida;
// The picture over the whole screen, in a borderless window (F11).
extern bool pantalla_completa;
// Whether the player has been pointed to the Trainer, which happens once,
// as their first game starts.
extern bool entrenador_sugerido;

// Reads ajustes.cfg from the working folder: a player with none (a new
// one, or one whose settings predate it) gets Auto, in a window.
void leer_ajustes();
void escribir_ajustes();
// What the text of ajustes.cfg (`largo` bytes, any) makes: one "key value"
// a line; unknown keys and values are left at their defaults.
void interpretar_ajustes(const char *texto, size_t largo);

// Shows the picture as escala_elegida and pantalla_completa say: the
// window sized, or laid over the whole screen. Only a window this program
// opened is sized; the full-screen modes stay as they are.
void aplicar_presentacion();
// The scale the window is shown at now (1 when shown as it is, 0 in full
// screen).
int escala_en_uso();
// Whether a window at scale `s` fits the screen's usable area (the window
// manager's work area, else the whole screen); 1 always does.
bool escala_cabe(int s);
// F11's work: full screen on or off, kept in ajustes.cfg.
void alternar_pantalla_completa();

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

// Loads grf.dat and fuentes.dat from the working directory, checks every
// object the game uses and cuts the tile sheet. On failure it has told the
// player what is wrong, freed what it loaded and returns non-zero.
int8_t cargar_graficos();

// What cargar_graficos checks of a data file read: that `d` holds every
// object the game takes from fuentes.dat (`fuentes`) or grf.dat, of its
// kind and size. Empty when it does; else what is wrong, in both
// languages, naming the file as `fichero`.
std::string comprobar_graficos(const DATAFILE *d, bool fuentes, const char *fichero);

// The two files checked, taken as the game's: f_grf, f_fnt, the borders,
// pictures and pointer, and the tiles cut from the sheet.
void tomar_graficos(DATAFILE *grf, DATAFILE *fnt);

// Shows a fatal message: in the platform's message box, and on standard
// error for whoever started the game from a terminal.
void mensaje_fatal(const char *texto);

// The frame step: waits for the next tick of the 40 Hz clock and copies
// `buffer` to the screen. Only what changed since the last frame is sent
// to the window, at the scale it is shown at. F11 on any screen switches
// full screen.
void paso_fotograma();

// The second half of the frame step, the wait and the copy.
void presentar_fotograma();
// The copy itself: what changed since the last frame, at the window's
// scale.
void enviar_fotograma();

// The frame step with `presentar` in place of presentar_fotograma: a
// screen that shows its frames its own way (watching a recording, which
// may run fast and puts a caption over the frame).
void paso_fotograma_con(void (*presentar)());

// The same step with the mouse pointer drawn into `buffer` for the copy.
void paso_fotograma_con_puntero();

#ifdef FOTONAUTA_PRUEBAS
// Test builds only: when set, the frame step calls this instead of waiting
// for the clock and copying to the screen, so tests can run screen loops
// frame by frame with scripted input.
extern void (*prueba_fotograma)();
#endif

// ---------------------------------------------------------------------------
// Dialogs and their buttons
// ---------------------------------------------------------------------------

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

// Starts the dialog toolkit and the mouse with the captions' two fonts and
// the pointer; each screen's module then creates its buttons.
void ini_botones();

// A large button (192 x 56) at (x, y) of `dialogo`, its caption set later.
struct boton_grande {
  int8_t dialogo;
  int16_t x, y;  // X_CENTRADO: centred across the screen
  accion_boton accion;
};
constexpr int16_t X_CENTRADO = -1;
void crear_botones_grandes(const boton_grande *botones, size_t n);

// A tile-sized button (64 x 64) at (x, y) of `dialogo`, its caption in the
// text font.
void crear_boton_loseta(int8_t dialogo, int32_t x, int32_t y, const char *texto, accion_boton accion);

// A caption that follows the language.
struct texto_boton {
  int8_t dialogo, indice;
  const char *texto[2];  // Spanish, English
};
// Sets the `n` captions for the current `idioma`.
void colocar_textos(const texto_boton *textos, size_t n);

// The action of a button that only answers which it is: returns the
// number it is given.
int8_t si_no(int8_t indice);
