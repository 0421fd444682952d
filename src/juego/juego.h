// juego: the board, the levels, the game loop and its sequences, the moving
// hazards and the beam.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct BITMAP;

// The game in progress.
struct datos_partida {
  int8_t energia;          // energy left in this level, 64 when it starts
  int8_t cuenta_energia;   // logic frames before the next unit is taken
  int8_t sobrecarga;       // overload meter, 0 to 64
  int8_t vidas;            // lives left
  int32_t puntos;          // banked score
  int32_t puntos_nivel;    // points of this attempt at the level, not banked yet
  int8_t fases_superadas;  // levels completed in this game
};

extern datos_partida dt_partida;

// Cheat mode of the game in progress: 0 off, 1 on.
extern uint8_t trampas;

// Tamper evidence of the game in progress. Word 0 is the integrity flag:
// set at game start, cleared while cheating or when the game's state has
// been meddled with; name entry reads it.
constexpr int NUM_TRAMPEANDO = 8;
extern int32_t trampeando[NUM_TRAMPEANDO];

// Pure red, yellow and green in the display's pixel format.
extern int rojo, amarillo, verde;

// Seeds the random generator and makes the fixed colours. Needs the display.
void ini_juego();

// Adds to the points of the level being played, keeping the tamper
// evidence in step.
void sumar_puntos_nivel(int32_t puntos);

// ---------------------------------------------------------------------------
// Board geometry
// ---------------------------------------------------------------------------

constexpr int COLUMNAS = 15;
constexpr int FILAS = 9;
constexpr int NUM_CELDAS = COLUMNAS * FILAS;

// The board's top-left corner on screen, and the size of a cell.
constexpr int ORIGEN_TABLERO = 32;
constexpr int LADO_CELDA = 64;

// Walls, the beam and gremlins are tested on half-cell blocks.
constexpr int BLOQUES_X = 2 * COLUMNAS;
constexpr int BLOQUES_Y = 2 * FILAS;

// Beam positions are in quarter cells; the board spans 0-60 by 0-36.
constexpr int RAYO_MAX_X = 4 * COLUMNAS;
constexpr int RAYO_MAX_Y = 4 * FILAS;

// The step of each of the 16 directions (0 up, clockwise by 22.5 degrees)
// in quarter cells.
extern const int8_t paso_dx[16];
extern const int8_t paso_dy[16];

// ---------------------------------------------------------------------------
// Elements and the board
// ---------------------------------------------------------------------------

enum : uint8_t {
  emisor = 0,
  receptor = 1,
  espejo = 2,
  muro = 3,
  detonador = 4,
  muro_reflectante = 5,
  vacio = 6,
  polarizador_reflectante = 7,
  polarizador_absorbente = 8,
  reemisor = 9,
  foptica = 10,
  mina = 11,
  polarizador_reflectante_giratorio = 13,
  polarizador_absorbente_giratorio = 14,
  espejo_giratorio = 17,
};

// Indices of primer_grf that are not element kinds.
constexpr int GRF_ESPEJO_ILUMINADO = 12;
constexpr int GRF_GREMLIN = 15;
constexpr int GRF_PREMIO = 16;

// The first tile of each element kind (and of a few other pictures).
extern const uint8_t primer_grf[17];

// Tiles that are not the first of a kind.
constexpr uint8_t LOSETA_MARCA = 47;

// `valor` of a target: standing, and gone.
constexpr uint8_t DETONADOR_EN_PIE = 0;
constexpr uint8_t DETONADOR_DESTRUIDO = 100;

struct celda {
  uint8_t tipo;
  uint8_t valor;  // meaning depends on the kind
  uint8_t grf;    // tile drawn for the cell
};

// The live board.
extern celda est_nivel[NUM_CELDAS];

// The stored levels: 0-59 the game, 60-62 the trainer.
constexpr int NUM_NIVELES = 63;
constexpr int PRIMER_NIVEL_ENTRENAMIENTO = 60;
extern const uint8_t objeto[NUM_NIVELES * NUM_CELDAS];

// Gremlins in each level.
extern const uint8_t gremlins[64];

// Common step of the fibre-optic animation, +4 or -4.
extern int8_t dir_foptica;

// Voices of the looping overload and mine alarms; -1 when silent.
extern int8_t sonido_sobrecarga;
extern int8_t sonido_mina;

// Builds the live board from a stored level.
void cargar_nivel(int nivel);

#ifdef FOTONAUTA_PRUEBAS
// Test builds only: when set, levels are loaded from this table (63 levels
// of 135 bytes) instead of the stored one.
extern const uint8_t *prueba_niveles;
#endif

// Builds the live board from 135 level bytes, as cargar_nivel does for
// level `nivel` (its floor pattern and gremlins).
void cargar_tablero(const uint8_t *bytes, int nivel);

// ---------------------------------------------------------------------------
// Level files: the text form the stored levels are written in, read by the
// build's level compiler, the level tool, the editor and `--niveles`
// ---------------------------------------------------------------------------

// A level as its file holds it: a title line, an idea line, an optional
// gremlin count line and nine rows of 15 two-character cells. The file is
// UTF-8 (an older file in ISO 8859-1 still reads); the title and idea are
// kept here in ISO 8859-1, the text the game's fonts draw.
struct nivel_texto {
  std::string titulo;  // ISO 8859-1
  std::string idea;    // ISO 8859-1
  int8_t gremlins = -1;  // -1: no "gremlins:" line, the stored count of the level's number applies
  uint8_t bytes[NUM_CELDAS];
};

// The most gremlins a level file may ask for.
constexpr int MAX_GREMLINS_NIVEL = 8;

// A cell's name for people, the same wherever one is shown: its column and
// row counted from 1, "column 8, row 7".
std::string nombre_celda(int celda);

// Whether the game's fonts draw this ISO 8859-1 character: printable ASCII
// and the printable upper half.
bool caracter_dibujable(unsigned char c);

// The level byte of a two-character token, or -1 if it is not one.
int byte_de_ficha(const std::string &ficha);

// The token of a level byte ("??" for a byte no level may hold).
std::string ficha_de_byte(uint8_t b);

// Reads a level from its text, UTF-8 or else ISO 8859-1. On failure returns
// false with a message naming the line and the column ("line L, column C:
// ..."): a title or idea holding a character the game's fonts cannot draw
// is refused so.
bool interpretar_nivel_texto(const std::string &texto, nivel_texto &nivel, std::string &error);

// Reads a level file; the message of a failure starts with the path.
bool leer_nivel_texto(const std::string &ruta, nivel_texto &nivel, std::string &error);

// The text of a level in UTF-8, which interpretar_nivel_texto reads back
// equal.
std::string escribir_nivel_texto(const nivel_texto &nivel);

// Writes a level file through a new file renamed over the old one, so a
// failed write leaves the old file whole. On failure returns false with a
// message.
bool guardar_nivel_texto(const std::string &ruta, const nivel_texto &nivel, std::string &error);

// ---------------------------------------------------------------------------
// Level rules: what the game relies on a level to keep
// ---------------------------------------------------------------------------

struct problema_nivel {
  int celda;  // -1 when it concerns the whole level
  std::string texto;
  bool puerta = false;  // the receiver's gate: the board loads and traces
                        // well, but the level cannot be played fairly
};

// The fewest targets a level may have.
constexpr int MIN_DETONADORES = 9;

// Every way a level breaks what the game relies on: bytes that are not
// elements, not exactly one emitter and one receiver, fibre-optic ends not
// in pairs or in cell 0, fewer than nine targets, a receiver whose gate
// cell does not stop the beam, and, with gremlins, no free 2 x 2 square of
// half cells for them to enter. Loads the board to look for that square.
std::vector<problema_nivel> comprobar_nivel(const uint8_t *bytes, int n_gremlins);

// Levels of files that take the place of stored levels (`fotonauta
// --niveles`, the editor's Play): null where the stored level plays.
extern const nivel_texto *nivel_sustituto[NUM_NIVELES];

// Whether any level has been replaced: such a game's score stays out of
// the table.
bool hay_niveles_sustitutos();

// The gremlins of level `nivel`: its file's count where a file replaces it
// and gives one, otherwise the stored count (0 out of range).
int gremlins_nivel(int nivel);

// Reads the files NN.txt (00 to 62) of `carpeta` as replacements of those
// levels and checks each against the level rules. Returns the levels read,
// and in `errores` one line per bad file, which leaves its level out; in
// `ignorados` the other files of the folder (hidden ones aside), which are
// not played.
std::vector<std::pair<int, nivel_texto>> leer_carpeta_niveles(const std::string &carpeta,
                                                              std::vector<std::string> &errores,
                                                              std::vector<std::string> &ignorados);

// ---------------------------------------------------------------------------
// The beam
// ---------------------------------------------------------------------------

enum : uint8_t {
  rayo_en_curso = 0,
  rayo_detenido = 1,
  rayo_sobrecarga = 2,
  rayo_mina = 3,
  rayo_conectado = 4,
};

constexpr int MAX_PUNTOS = 300;

// `dir` of a point from which no segment is drawn (a jump).
constexpr uint8_t DIR_SALTO = 100;

struct punto_rayo {
  int8_t x, y;
  uint8_t dir;
};

struct datos_rayo {
  uint8_t dir;
  int8_t dx, dy;
  int8_t x, y;        // the head, quarter cells
  uint8_t estado;
  int16_t n_puntos;
  punto_rayo punto[MAX_PUNTOS];
  uint8_t pendientes;    // targets standing, plus one for the receiver
  uint8_t celda_puerta;  // the cell in front of the receiver's opening
  uint8_t dir_receptor;  // the direction that enters the receiver
};

extern datos_rayo dt_rayo;

// Answers of obtener_optica.
enum : uint8_t {
  optica_pasa = 0,
  optica_absorbe = 1,
  optica_refleja = 2,
  optica_receptor = 3,
};

// Who asks obtener_optica.
constexpr uint8_t MODO_RAYO = 0;
constexpr uint8_t MODO_GREMLIN = 2;

void calcular_rayo();
void comprobar_avanzar();
void comprobar_avanzar_1();
void comprobar_avanzar_3();
void comprobar_avanzar_4();
uint8_t obtener_optica(uint8_t bx, uint8_t by, uint8_t modo);
uint8_t incorporar_punto(uint8_t continuo);
void reflejar_rayo(uint8_t m);
void comprobar_objeto();
void comprobar_espejo(uint8_t c);
void comprobar_detonador(uint8_t c);
void comprobar_mina(uint8_t c);
void comprobar_reemisor(uint8_t c);
void comprobar_foptica(uint8_t c);

// Where a re-emitter draws its turn, 0-8 (4 goes straight on). The game
// draws from rand(); tools replay chosen draws through it.
extern int (*sorteo_reemisor)();

// ---------------------------------------------------------------------------
// What moves by itself, and the player's hold on the mirrors
// ---------------------------------------------------------------------------

constexpr int MAX_GREMLINS = 8;

struct datos_gremlin {
  int16_t espera;  // -1 unused; 0 on the board; else logic frames to enter
  int16_t x, y;    // top-left corner on screen
  int8_t paso_x, paso_y;
  int8_t fotograma;
};

extern datos_gremlin dt_gremlin[MAX_GREMLINS];

// No cell pressed.
constexpr uint8_t CELDA_NINGUNA = 255;

// A mirror the player can turn: plain or self-turning.
inline bool es_espejo(uint8_t tipo)
{
  return tipo == espejo || tipo == espejo_giratorio;
}

// Turns a self-turning mirror or polariser one step on, with its tile.
// Returns false, leaving the cell alone, for any other kind.
bool girar_automatico(celda &e);

void mover_automaticos();
int mover_espejos_pinchados(uint8_t liberar);
void mover_gremlins(uint8_t logico);

// ---------------------------------------------------------------------------
// Drawing the board
// ---------------------------------------------------------------------------

// Draws every cell's tile on `destino`, and the frame and the gremlins on
// `buffer`, advancing what runs at frame rate: the gate's opening, mine
// flicker, explosions, the dissolving gate and, when `animar` is set, the
// gremlins' walk cycle. With a null `destino` it only advances them (tools
// and tests that play without a screen).
void dibujar_mapa(uint8_t animar, BITMAP *destino);

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

// One whole game, normal (0) or the trainer (1), from the first level to its
// end; then records progress and hands the score to name entry. A button
// action: always returns 0.
int8_t juego(int8_t entrenamiento);

// Plays `nivel` alone in the game's loop, as level "01", from its start
// until it is won, the lives run out or the player leaves; nothing is
// scored. The level editor's Play.
void jugar_nivel_suelto(const nivel_texto &nivel);

// One step of the level start's scramble: each plain mirror takes a random
// step back, none or on; the self-turning pieces turn. The cells changed are
// redrawn on `destino` unless it is null.
void revolver_espejos(BITMAP *destino);

// Loads level `nivel` and shows its start: the board slides in, the energy
// fills while the mirrors scramble. Above 99, the congratulations board.
void iniciar_nivel(int nivel);

// The completed level's celebration and its bonus count.
void contacto(int8_t nivel);

// Takes a life and shows why (`motivo` 0 energy, 1 overload); on the last
// one, the game-over panel until Exit.
void perder_vida(int8_t motivo, int8_t nivel);

// The closing scene after the last level.
void juego_completado();

// Sets the points of the level being played, keeping the tamper evidence in
// step.
void poner_puntos_nivel(int32_t puntos);

// The status strip, shared by the game and its sequences: `marcador`'s
// floor and labels, and the values drawn over it on `buffer`.
constexpr int ALTO_MARCADOR = 128;
void preparar_marcador();
void copiar_marcador(int desde_x, int ancho);
void dibujar_puntos_marcador(int32_t puntos);
void dibujar_nivel_marcador(int nivel);
void dibujar_vidas_marcador(int vidas);
void dibujar_vidas_marcador(const char *vidas);
void dibujar_barra_sobrecarga(int largo, int color);
void dibujar_barra_energia(int largo, int color);
