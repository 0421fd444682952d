// juego: the game on screen. Its loop plays the rules of nucleo frame by
// frame with the player's mouse and keys, draws the board, the beam and the
// status strip, shows the sequences and sounds what happened.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "nucleo/nucleo.h"

struct BITMAP;

// Pure red, yellow and green in the display's pixel format.
extern int rojo, amarillo, verde;

// Seeds the random generator and makes the fixed colours. Needs the display.
void ini_juego();

// The fixed colours alone, for the pixel format in force.
void crear_colores_juego();

// What the drawing carries from one frame of a game to the next, beside
// the rules' state and the pictures: its own random generator (the beam's
// colour drift, the corner a board slides in from, the closing scene's
// floor, the pause's floor), which never touches the rules', and the
// animations the sequences keep. It starts afresh with every game and
// every replay, seeded from the game's seed, so that a replay is drawn as
// its game was.
struct estado_dibujo {
  generador_azar azar{};
  uint8_t color_rayo[3] = {231, 15, 15};    // the harmless beam's colour
  uint8_t destino_rayo[3] = {231, 15, 15};  // and the colour it heads for
  uint8_t grf_celebracion[NUM_CELDAS] = {};  // the emitter's and receiver's tiles as they pulse
  uint8_t pulso_emisor = 0;                 // the closing scene's emitter
  uint8_t esquina = 0;                      // the corner a board slides in from
};
extern estado_dibujo dibujo;
void empezar_dibujo(uint64_t semilla);
// A draw of the drawing's generator, 0 .. n-1.
uint32_t azar_dibujo(uint32_t n);

// The buttons of the game's screens: the panel's Pause and Exit, the quit
// box's two and the game's end's Exit (after ini_botones); and their
// captions for the current language.
void crear_botones_partida();
void colocar_texto_botones_partida();

// Their actions: the in-game pause, and the "are you sure?" box of the
// Exit buttons (1 yes, -1 no), which the main menu's Exit asks too.
int8_t pausa(int8_t indice);
int8_t salir(int8_t indice);

// Whether the game is paused, and a frame of it paused: the panel redrawn,
// the buttons looked at, the frame shown. Returns what the buttons gave: 0
// "Seguir" or Esc, P or F1 (the game goes on), 1 Exit confirmed (the
// game ends), DLG_NADA.
bool juego_en_pausa();
int32_t fotograma_pausa();

// Voices of the looping overload and mine alarms; -1 when silent.
extern int8_t sonido_sobrecarga;
extern int8_t sonido_mina;

// Every effect of the game stopped, the looping alarms' voices with them
// (the game loop starts the alarms again if they are still due).
void detener_efectos();

// The input of a logic frame from the pointer: the buttons as the press
// latch gives them (dlg_botones), the picture's pixel (x, y) it is over,
// the wheel moved since the last logic frame (its direction counts, once)
// and Alt held. leer_entrada_juego's pointer half.
entrada_juego entrada_puntero(int botones, int x, int y, int rueda, bool alt);

// What the player does now, read from the mouse and the keys through the
// press latch, for a logic frame of the game: a tap between two logic
// frames is a press held for one of them, and the wheel counts once.
entrada_juego leer_entrada_juego();

// The game's hold on the mirrors, read from the mouse now: the rules'
// mover_espejos_pinchados with leer_entrada_juego.
int mover_espejos_pinchados(uint8_t liberar);

// ---------------------------------------------------------------------------
// Playing with the keys
// ---------------------------------------------------------------------------
// The arrows show a cursor on the board and jump it to the nearest mirror
// that way (with Shift, one cell); Z held turns the mirror under it as the
// left button does, X as the right one. Moving the mouse, a button or the
// wheel gives the board back to the pointer. Esc and P pause and go on;
// F1 pauses with the box of these keys shown.

// At a game's start: no cursor, no press carried over.
void empezar_teclado();
// Each frame of play: the arrows read, the pointer's move looked for.
void mover_cursor_teclado();
// On a logic frame, after leer_entrada_juego: while the cursor is shown,
// its cell and the turn keys in place of the pointer's cell and buttons.
void aplicar_teclado(entrada_juego &entrada);
// The cursor's frame on `buffer`, over the frame of play drawn.
void dibujar_cursor_teclado();
// Whether Esc, P or F1 has been pressed since the last look: 0 none,
// TECLA_PAUSA Esc or P, TECLA_AYUDA F1.
constexpr int TECLA_PAUSA = 1;
constexpr int TECLA_AYUDA = 2;
int tecla_pausa();
// The box of the keys over the board (F1 pauses the game and shows it).
void dibujar_ayuda_teclas();

// The cursor's moves on `tablero`: from cell `desde`, one cell in
// `direccion` (0 up, 1 right, 2 down, 3 left) or, with `solo_espejos`, the
// nearest mirror ahead that way, straight ahead preferred; `desde` when
// there is none. And the mirror nearest `desde` (`desde` with no mirror).
uint8_t celda_en_direccion(const celda tablero[NUM_CELDAS], uint8_t desde, int direccion, bool solo_espejos);
uint8_t espejo_mas_cercano(const celda tablero[NUM_CELDAS], uint8_t desde);

// ---------------------------------------------------------------------------
// Drawing the board
// ---------------------------------------------------------------------------

// Draws every cell's tile on `destino`, and the frame and the gremlins on
// `buffer`, advancing what runs at frame rate (animar_tablero). With a null
// `destino` it only advances them.
void dibujar_mapa(uint8_t animar, BITMAP *destino);

// Draws the board as it stands on `destino`, with the frame and the
// gremlins on `buffer`, advancing nothing.
void pintar_tablero(BITMAP *destino);

// Composes the scratch tile of a dissolving gate from its old tile: the
// half that held no wall over the floor.
void recomponer_loseta_puerta(uint8_t grf_antes);

// Draws the last trace on `buffer` over the board: three glowing layers,
// added on, as bright as the energy left, in a slowly drifting colour, or
// yellow on overload, red on a mine and green once connected. It stays
// within `buffer`'s clipping rectangle and above the status strip.
void dibujar_rayo();

#ifdef FOTONAUTA_PRUEBAS
// Test builds only: the drifting colour and the colour it heads for.
void color_rayo(uint8_t actual[3], uint8_t objetivo[3]);
void poner_color_rayo(const uint8_t actual[3], const uint8_t objetivo[3]);
#endif

// While the beam is drawn, the spans of translucent shapes on `destino`
// (a 16- or 32-bit memory bitmap) are added through per-colour tables made
// from Allegro's blender: the same pixels, several times faster. Anything
// else is left to Allegro. terminar_relleno_aditivo puts Allegro's filler
// back.
void empezar_relleno_aditivo(BITMAP *destino);
void terminar_relleno_aditivo();

// 1 (the default) uses the tables; 0 leaves every span to Allegro, to
// compare the two.
extern uint8_t relleno_aditivo_rapido;

#ifdef FOTONAUTA_PRUEBAS
// Test builds only: what the tables give for `color` added onto the pixel
// `debajo` with the current blender and alpha; all ones when the blender
// cannot be put in tables.
uint32_t sumar_con_tablas(int color, uint32_t debajo, int profundidad);
#endif

// ---------------------------------------------------------------------------
// The game and its sequences
// ---------------------------------------------------------------------------

// The screen's hooks on the rules: each frame of play and of a sequence
// drawn into `buffer`, for the loop that plays it to show.
extern const ganchos_partida ganchos_pantalla;

// The recording of the game being played, or of the last one played.
struct repeticion;
extern repeticion partida_grabada;

#ifdef FOTONAUTA_PRUEBAS
// Test builds only: the game's own frames, read from the mouse and the keys
// and recorded, with these hooks in place of the screen's.
void jugar_sin_pantalla(const inicio_partida &inicio, const ganchos_partida *ganchos);
#endif

// How a game ended, for what follows it.
struct final_partida {
  uint8_t motivo;     // the rules' motivo_fin: out of lives, completed, left
  int8_t nivel;       // the level it ended on
  int32_t puntos;     // the points banked
  int8_t fases;       // the levels completed
  bool clasificable;  // played on the stored levels without cheats: the
                      // table ranks its score and its progress counts
};

// One whole game, normal or the trainer, from level `nivel` to its end,
// recorded into partida_grabada.
final_partida jugar_partida(bool entrenamiento, int8_t nivel);

// Levels of files that take the place of stored levels in the games juego
// plays (`fotonauta --niveles`): null where the stored level plays.
extern const nivel_texto *niveles_sustitutos[NUM_NIVELES];

// Whether any level has been replaced: such a game's score stays out of
// the table.
bool hay_niveles_sustitutos();

// The screen around a game, for the game and for a recording watched: the
// status strip made; then the music stopped and `dialogo` on top of the
// dialogs (the game's panel, or the viewer's, which has no buttons); and
// at the end all of it undone, with every sound stopped.
void crear_marcador_partida();
void abrir_pantalla_partida(int8_t dialogo);
void cerrar_pantalla_partida();

// Watches recording `r` on screen: the recorded game played again through
// the rules with the game's own hooks, drawing and sound, at the game's
// pace, its input taken from the recording. Space pauses and goes on, the
// right arrow held plays four times as fast, Esc ends the program at once;
// these keys are told under the board for a few seconds as it starts, and
// again on H or F1.
// The top of the frame says whose game it is, its points, when it was
// played and how far it has been watched; the player's own pointer shows
// only where a screen waits for a click (the Exit of the game's end, and
// the last frame of a game that was left, held until a click). `r` must
// play on these rules and levels (verificar_repeticion).
// With `desde` past 0 the recording opens paused on that frame, counted
// as the frames the rules have played from its start, sequences included
// (the first frame shown is 1): the frames before it are played and drawn
// unseen and unheard.
void ver_repeticion(const repeticion &r, uint32_t desde = 0);

// Plays `nivel` alone in the game's loop, as level "01", from its start
// until it is won, the lives run out or the player leaves; nothing is
// scored. The level editor's Play, and a community level. Once it is won,
// a click ends the bonus count at once (its points are the same).
void jugar_nivel_suelto(const nivel_texto &nivel);

// A line over the frame's top strip in the next game played on screen (it
// is forgotten when that game ends): `titulo` all along (a level's own
// title), and `aviso` in its place for the game's first SEGUNDOS_AVISO (the
// kept copy of a level played, a first game's tip). Either may be empty.
// A completed level's bonus count takes the strip while it runs.
constexpr int SEGUNDOS_AVISO = 10;
void rotular_partida(const std::string &titulo, const std::string &aviso);

// The line over the top strip of the game shown now: the bonus count while
// it runs, else the notice in the game's first seconds, else the title.
// Each call is a frame shown. The notice's seconds count from
// empezar_rotulo, as the game starts; olvidar_rotulo, as it ends.
std::string linea_rotulo();
void empezar_rotulo();
void olvidar_rotulo();

// Shows the frame through `presentar` (presentar_fotograma, or a screen's
// own) with a line of text over the top border strip (`arriba`) and one
// over the bottom one, between the board and the status strip (`abajo`),
// each on a dark band; an empty one is left out. `buffer` is left as the
// game drew it.
void presentar_con_rotulos(const std::string &arriba, const std::string &abajo, void (*presentar)());

// The sequences on screen, the hook of the rules' ganchos_partida: a frame
// of a level's start (the board slides in, the energy fills while the
// mirrors scramble), of the completed level's celebration and bonus count,
// of a lost life, or of the closing scene after the last level.
void mostrar_secuencia();

// Once a game is over: the game-over panel after the last life, or the
// closing scene's last picture, until the player presses Exit; `paso`
// shows each frame.
void esperar_sin_vidas(void (*paso)());
void esperar_tras_final(void (*paso)());

// The status strip of a frame of play drawn on `buffer` from the rules'
// meters, before the frame is played: the game's panel draws it, and the
// viewer's, which has no buttons, is only it.
void dibujar_estado();

// The line over the top strip while a completed level's bonus is counted:
// what is left of it; a game of one level alone, which ends with it, also
// says a click ends it.
std::string linea_bono();

// In a game of one level alone, a click made after the win ends its bonus
// count: the rest of the count played at once, unseen, for the same points,
// and the game ends as it would have. `antes` is the sequence of the frame
// before; `clic` reads the left button: with true as the count begins (a
// look from then on), with false for whether a new click has come. True
// when the count was ended: the frame about to be played is not.
bool cortar_cuenta(uint8_t antes, bool (*clic)(bool empezar));

// The game's panel before a frame of play: the status strip drawn, the
// buttons looked at. 1 when the player left the game through Exit; Pause
// leaves the game paused (juego_en_pausa).
uint8_t panel_partida();

// Shows the frame the rules have just played through `presentar` (see
// paso_fotograma_con): a frame of play with the pointer over it and the
// level's music on, a frame of a sequence as it was drawn.
void mostrar_fotograma_partida(bool de_juego, void (*presentar)());

// The status strip, shared by the game and its sequences: `marcador`'s
// floor and labels, and the values drawn over it on `buffer`. `marcador`
// exists while a game is played.
constexpr int ALTO_MARCADOR = 128;
extern BITMAP *marcador;
void preparar_marcador();
void copiar_marcador(int desde_x, int ancho);
void dibujar_puntos_marcador(int32_t puntos);
void dibujar_nivel_marcador(int nivel);
void dibujar_vidas_marcador(int vidas);
void dibujar_vidas_marcador(const char *vidas);
void dibujar_barra_sobrecarga(int largo, int color);
void dibujar_barra_energia(int largo, int color);
