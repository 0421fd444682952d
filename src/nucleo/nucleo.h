// nucleo: the game's rules, run without a screen. The board and its levels,
// the beam, what moves by itself and the player's hold on the mirrors, the
// game's own random draws, and the frame of play with the rules that turn
// it into points, lost lives and completed levels.
//
// The game's loop, the solver, the editor's proof and the score server's
// verifier all play through this same code. It needs no display, sound or
// clock: the player acts only through the input given to each frame, and
// what the player should see and hear comes back as what happened in it
// (sucesos) and through the hooks a screen may set (ganchos_partida).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// ---------------------------------------------------------------------------
// Board geometry
// ---------------------------------------------------------------------------

constexpr int COLUMNAS = 15;
constexpr int FILAS = 9;
constexpr int NUM_CELDAS = COLUMNAS * FILAS;

// The board's top-left corner on screen, and the size of a cell. Gremlins
// and the pointer are placed in screen pixels.
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
// The scratch tile a dissolved gate is shown with: the half of its old tile
// that held no wall over the floor (the game composes it).
constexpr uint8_t LOSETA_PUERTA_RECOMPUESTA = 133;

// The gate tiles whose wall-free half is kept when the gate dissolves, and
// that half within the tile (pixels); any other gate turns to plain floor.
struct mitad_libre {
  uint8_t grf;
  int x, y, ancho, alto;
};
constexpr int NUM_MITADES_LIBRES = 7;
extern const mitad_libre MITADES_LIBRES[NUM_MITADES_LIBRES];

// `valor` of a target: standing, and gone.
constexpr uint8_t DETONADOR_EN_PIE = 0;
constexpr uint8_t DETONADOR_DESTRUIDO = 100;

struct celda {
  uint8_t tipo;
  uint8_t valor;  // meaning depends on the kind
  uint8_t grf;    // tile drawn for the cell
};

// What a level byte means: one row per element, in the editor's palette
// order. Variant v of a row is the byte `primero + v`, for v from `minimo`
// to `variantes - 1`; no other byte is an element. The loader, the level
// files, the level rules, the editor and the pictures of levels read it.
struct elemento_nivel {
  uint8_t primero;    // the byte of variant 0
  uint8_t minimo;     // the first variant a level may hold
  uint8_t variantes;  // variants, counting from 0
  uint8_t tipo;       // the kind of cell it loads as
  // Its token in a level file: these two characters for a row of one
  // variant, else this letter and the variant as a hexadecimal digit.
  const char *ficha;
  // The tile of variant 0; a variant shows this tile plus the variant, but
  // the floor takes one of NUM_SUELOS from its level's pattern, a plain
  // mirror the tile of its random angle and a mine one of its four.
  uint8_t loseta;
  const char *nombre[2];  // Spanish (ISO 8859-1) and English
};

constexpr int NUM_ELEMENTOS = 15;
extern const elemento_nivel ELEMENTOS[NUM_ELEMENTOS];

// The rows.
enum : int {
  ELEMENTO_SUELO,
  ELEMENTO_DETONADOR,
  ELEMENTO_EMISOR,
  ELEMENTO_RECEPTOR,
  ELEMENTO_ESPEJO,
  ELEMENTO_ESPEJO_GIRATORIO,
  ELEMENTO_MURO,
  ELEMENTO_MURO_REFLECTANTE,
  ELEMENTO_POLARIZADOR_REFLECTANTE,
  ELEMENTO_POLARIZADOR_ABSORBENTE,
  ELEMENTO_POLARIZADOR_REFLECTANTE_GIRATORIO,
  ELEMENTO_POLARIZADOR_ABSORBENTE_GIRATORIO,
  ELEMENTO_REEMISOR,
  ELEMENTO_FOPTICA,
  ELEMENTO_MINA,
};

// Floor tiles a level's pattern chooses among.
constexpr int NUM_SUELOS = 12;

// The row a level byte belongs to, and its variant; -1 for a byte that is
// no element.
int elemento_de_byte(uint8_t b, int *variante = nullptr);

// The byte of `variante` of row `e`.
inline uint8_t byte_de_elemento(int e, int variante)
{
  return static_cast<uint8_t>(ELEMENTOS[e].primero + variante);
}

// The stored levels: 0-59 the game, 60-62 the trainer.
constexpr int NUM_NIVELES = 63;
constexpr int PRIMER_NIVEL_ENTRENAMIENTO = 60;
constexpr int ULTIMO_NIVEL = PRIMER_NIVEL_ENTRENAMIENTO - 1;
constexpr int ULTIMO_NIVEL_ENTRENAMIENTO = NUM_NIVELES - 1;
extern const uint8_t objeto[NUM_NIVELES * NUM_CELDAS];

// Gremlins in each level.
extern const uint8_t gremlins[64];

// Makes level `nivel` of the game's levels the level being played
// (nucleo.nivel_jugado): the file that replaces it in the game started
// (nucleo.sustitutos), else the stored level.
void tomar_nivel(int nivel);

// Takes level `nivel` (tomar_nivel) and builds the live board from it.
void cargar_nivel(int nivel);

#ifdef FOTONAUTA_PRUEBAS
// Test builds only: when set, levels are loaded from this table (63 levels
// of 135 bytes) instead of the stored one.
extern const uint8_t *prueba_niveles;
#endif

// Builds the live board from 135 level bytes, as cargar_nivel does for
// level `nivel` (its floor pattern), with `n_gremlins` gremlins (-1: the
// stored count of level `nivel`). The plain mirrors and the mines take their
// start from the game's random draws.
void cargar_tablero(const uint8_t *bytes, int nivel, int n_gremlins = -1);

// Each cell's tile as the level shows at its start (its floor pattern as
// level `nivel`), but for what the game draws at random: a plain mirror
// shows the angle its byte keeps and a mine its first tile. What a picture
// of a level shows; the live board is not touched.
void losetas_nivel(const uint8_t *bytes, int nivel, uint8_t grf[NUM_CELDAS]);

// The floor pattern's generator: the C library's rand as glibc makes it
// (its additive feedback generator, after srand), written out so that a
// level's floor is the same on every build. The tiles it chose are part of
// the state recordings of rules version 1 hashed.
struct generador_suelo {
  int32_t r[31];
  uint8_t f, a;  // the two taps into r
};
void sembrar_suelo(generador_suelo &g, uint32_t semilla);
// A draw in 0 .. 2^31 - 1, as rand gives it.
int32_t sacar_suelo(generador_suelo &g);

// A hash of the stored levels and their gremlin counts: a game is played
// again only on the levels it was played on.
uint64_t hash_niveles();

// ---------------------------------------------------------------------------
// Level files: the text form the stored levels are written in, read by the
// build's level compiler, the level tool, the editor, `--niveles` and the
// score server
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

// printf into a string (of at most 255 bytes): how the level rules word
// their messages, and the level tool its own.
std::string formato(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Whether the game's fonts draw this ISO 8859-1 character: printable ASCII
// and the printable upper half.
bool caracter_dibujable(unsigned char c);

// The level byte of a two-character token, or -1 if it is not one.
int byte_de_ficha(const std::string &ficha);

// The token of a level byte ("??" for a byte no level may hold).
std::string ficha_de_byte(uint8_t b);

// A hash of a level's board and gremlin count: a level played alone is
// known by it.
uint64_t hash_nivel(const nivel_texto &nivel);

// The same board's one identity however its text is spelt: hash_nivel with
// the implicit made explicit (no "gremlins:" line: the count of level 0,
// where the game plays a level alone). What a published level is known by.
uint64_t hash_nivel_canonico(const nivel_texto &nivel);

// Reads a level from its text, UTF-8 or else ISO 8859-1. On failure returns
// false with a message naming the line and the column ("line L, column C:
// ..."): a title or idea holding a character the game's fonts cannot draw
// is refused so.
bool interpretar_nivel_texto(const std::string &texto, nivel_texto &nivel, std::string &error);

// The text of a level in UTF-8, which interpretar_nivel_texto reads back
// equal.
std::string escribir_nivel_texto(const nivel_texto &nivel);

// One line of the game's letters (ISO 8859-1) as UTF-8, a character the
// fonts cannot draw as a blank; and back from UTF-8 (or ISO 8859-1), false
// for a character the fonts cannot draw. How level files and the editor's
// settings keep names and titles.
std::string linea_utf8(const std::string &latin1);
bool linea_latin1(const std::string &texto, std::string &latin1);

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
// half cells for them to enter. Touches no state: threads may check levels
// side by side.
std::vector<problema_nivel> comprobar_nivel(const uint8_t *bytes, int n_gremlins);

// The gremlins of level `nivel`: `propios` where a level file gives its
// count (0 or more), otherwise the stored count of that level (0 out of
// range).
int gremlins_nivel(int nivel, int propios = -1);

// ---------------------------------------------------------------------------
// The game's random draws
// ---------------------------------------------------------------------------
// Every draw that changes what can happen in a game (the mirrors' start and
// scramble, the gremlins, the mines, the explosions, the re-emitters) comes
// from this generator, seeded once per game; nothing else draws from it, so
// the same seed and the same input play the same game on any build. The
// pictures' own variety draws elsewhere.

struct generador_azar {
  uint64_t estado;
};

void sembrar_azar(generador_azar &g, uint64_t semilla);

// A draw in 0 .. n-1 (n > 0).
uint32_t sacar_azar(generador_azar &g, uint32_t n);

// A draw of the game's generator (nucleo.azar_juego), in 0 .. n-1.
inline uint32_t azar(uint32_t n);

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
// obtener_optica's answer to a gremlin on a board other than the live one.
uint8_t optica_gremlin(const celda tablero[NUM_CELDAS], uint8_t bx, uint8_t by);
uint8_t incorporar_punto(uint8_t continuo);
void reflejar_rayo(uint8_t m);
void comprobar_objeto();
void comprobar_espejo(uint8_t c);
void comprobar_detonador(uint8_t c);
void comprobar_mina(uint8_t c);
void comprobar_reemisor(uint8_t c);
void comprobar_foptica(uint8_t c);

// Where a re-emitter draws its turn, 0-8 (4 goes straight on):
// nucleo.sorteo_reemisor when a tool sets one to replay chosen draws,
// otherwise the game's generator.
int sortear_reemisor();

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

// No cell pressed.
constexpr uint8_t CELDA_NINGUNA = 255;

// A mirror the player can turn: plain or self-turning.
inline bool es_espejo(uint8_t tipo)
{
  return tipo == espejo || tipo == espejo_giratorio;
}

// What the player does at a logic frame, as the game read it: the only way
// the player reaches the rules. A recording of a game is these, frame by
// frame.
struct entrada_juego {
  uint8_t celda = CELDA_NINGUNA;  // the cell under the pointer; CELDA_NINGUNA off the board
  uint8_t botones = 0;            // 1 left, 2 right (other values press nothing)
  int8_t rueda = 0;               // the wheel moved: up (+1) or down (-1)
  uint8_t teclas = 0;             // TECLA_ bits held
  uint8_t abandono = 0;           // 1: the player left the game in this frame
};

// The keys that act on a game: Alt (with the left button, the right one)
// and the hidden cheat's keys.
enum : uint8_t {
  TECLA_ALT = 1,
  TECLA_IZQUIERDA = 2,
  TECLA_DERECHA = 4,
  TECLA_Q = 8,
  TECLA_M = 16,
};

// The player's hold on the board.
struct datos_pinchado {
  uint8_t pinchado;  // a press is held
  uint8_t espejo;    // the mirror it turns, CELDA_NINGUNA for none
  uint8_t celda;     // the cell under the pointer when it began
};

// The cell under screen pixel (x, y), CELDA_NINGUNA off the board.
uint8_t celda_en_pantalla(int x, int y);

// Turns a self-turning mirror or polariser one step on, with its tile.
// Returns false, leaving the cell alone, for any other kind.
bool girar_automatico(celda &e);

void mover_automaticos();

// The player's hold: with `liberar` set drops it; otherwise a press of
// `entrada` takes hold of the cell under the pointer and turns a mirror
// held there one step. Returns the held cell, CELDA_NINGUNA for none.
int mover_espejos_pinchados(uint8_t liberar, const entrada_juego &entrada);

void mover_gremlins(uint8_t logico);

// What goes at frame rate on the board: the gate's opening, the mines'
// flicker, explosions, the dissolving gate and, when `animar` is set, the
// gremlins' walk cycle. `dibujar`, when given, is called in the middle,
// where the board is shown: the mines and gremlins already moved on, the
// explosions and the gate not yet.
void animar_tablero(uint8_t animar, void (*dibujar)(uint8_t animar) = nullptr);

// One step of the level start's scramble: each plain mirror takes a random
// step back, none or on; the self-turning pieces turn.
void revolver_espejos();

// ---------------------------------------------------------------------------
// The game in progress
// ---------------------------------------------------------------------------

struct datos_partida {
  int8_t energia;          // energy left in this level, 64 when it starts
  int8_t cuenta_energia;   // logic frames before the next unit is taken
  int8_t sobrecarga;       // overload meter, 0 to 64
  int8_t vidas;            // lives left
  int32_t puntos;          // banked score
  int32_t puntos_nivel;    // points of this attempt at the level, not banked yet
  int8_t fases_superadas;  // levels completed in this game
};

// Words of the tamper evidence (nucleo.trampeando).
constexpr int NUM_TRAMPEANDO = 8;

// Adds to, or sets, the points of the level being played, keeping the
// tamper evidence in step.
void sumar_puntos_nivel(int32_t puntos);
void poner_puntos_nivel(int32_t puntos);

// Why a game ends.
enum : uint8_t {
  jugando = 0,
  fin_abandono = 1,
  fin_sin_vidas = 2,
  fin_completado = 3,
};

// Why a life is lost.
enum : uint8_t {
  perdida_energia = 0,
  perdida_sobrecarga = 1,
};

// The game loop's own state.
struct datos_bucle {
  uint8_t entrenamiento;   // the trainer's levels: no energy drain, no life lost
  uint8_t suelto;          // one level alone (the editor's Play): it ends the game
  int8_t nivel;            // the level being played
  int8_t cuenta_ciclo;     // frames to the next logic frame: 2, 1, 0
  uint8_t motivo_fin;      // jugando, or why the game ended
  uint8_t celda_pinchada;  // the held cell, CELDA_NINGUNA for none
  uint8_t flechas;         // an arrow was down at the previous logic frame
  uint16_t version_reglas; // the rules the game is played by
};

// What happened in a frame, for the game to show and sound: bits of
// dt_sucesos, cleared as each frame starts.
enum : uint16_t {
  suceso_explosion = 1,          // a target was hit (its first explosion)
  suceso_explosion_larga = 2,    // a target was hit (its second explosion)
  suceso_puerta = 4,             // the last target went: the gate opens
  suceso_puerta_recompuesta = 8, // the gate's cell takes the composed tile (grf_puerta_antes was its tile)
  suceso_gremlin_entra = 16,
  suceso_gremlin_cazado = 32,
  suceso_vida_perdida = 64,
  suceso_nivel_completado = 128,
};
struct datos_sucesos {
  uint16_t bits;
  uint8_t grf_puerta_antes;
  uint8_t motivo_perdida;  // with suceso_vida_perdida: why
};

// The sequences the game shows between its frames of play: a level's
// start, a completed level's bonus, a lost life and the closing scene. They
// are states of the rules, played like any other frame, one per call of
// jugar_fotograma: they read no input, move nothing on the board but what
// they are about, and a recording does not count them (they always play
// the same).
enum : uint8_t {
  secuencia_ninguna = 0,       // frames of play
  secuencia_inicio_nivel = 1,  // parts: the board slides in, each scramble step, the hold
  secuencia_contacto = 2,      // parts: the celebration, each unit of energy, the pause, each life, the end
  secuencia_vida_perdida = 3,  // one part
  secuencia_final = 4,         // parts: the board slides in, the wait, the prize, the beam
};

// The parts of the sequences (datos_secuencia::parte).
enum : uint8_t {
  parte_deslizamiento = 0,  // the level's, or the closing scene's, board slides in
  parte_revuelta = 1,       // a step of the mirrors' scramble (datos_secuencia::paso)
  parte_espera_inicio = 2,
  parte_celebracion = 3,
  parte_energia = 4,        // a unit of energy has just become points
  parte_energia_hecha = 5,
  parte_vida = 6,           // a life has just become points
  parte_fin_contacto = 7,
  parte_vida_perdida = 8,
  parte_antes_del_premio = 9,
  parte_premio = 10,        // the emitter and the prize appear
  parte_rayo_final = 11,    // the beam reaches the prize
};

// The sequence under way.
struct datos_secuencia {
  uint8_t tipo;           // secuencia_ninguna while the game is played
  uint8_t parte;
  int16_t paso;           // the scramble's step, 0 to PASOS_REVUELTA - 1
  int16_t fotograma;      // the frame of the part the coming call plays, from 0
  int16_t duracion;       // frames of the part
  uint8_t motivo;         // a lost life's cause
  uint8_t tras_contacto;  // a level start that follows a completed level
  uint8_t regla;          // the rule of the frame that began it which comes after it
};

// Frames of the sequences' parts.
constexpr int FOTOGRAMAS_DESLIZAMIENTO = 32;
constexpr int FOTOGRAMAS_LLENADO = 193;      // the energy fills as the mirrors scramble, a step every third frame
constexpr int FOTOGRAMAS_ESPERA_INICIO = 20;
constexpr int FOTOGRAMAS_CELEBRACION = 500;
constexpr int FOTOGRAMAS_POR_ENERGIA = 3;    // 1 for the last unit
constexpr int FOTOGRAMAS_ESPERA_BONO = 20;
constexpr int FOTOGRAMAS_POR_VIDA = 30;
constexpr int FOTOGRAMAS_VIDA_PERDIDA = 140;
constexpr int FOTOGRAMAS_ANTES_DEL_PREMIO = 70;
constexpr int FOTOGRAMAS_ANTES_DEL_RAYO = 30;
constexpr int FOTOGRAMAS_FINAL = 500;

// What a screen draws. Every hook may be null, and with no screen all are.
// They draw what the state says; the caller of jugar_fotograma shows the
// frame afterwards.
struct ganchos_partida {
  // Shows the board, in the middle of each frame of play's animar_tablero.
  void (*dibujar_tablero)(uint8_t animar);
  // The rest of each frame of play: everything has moved and the beam is
  // traced, the rules have not run. Returns 1 when the player left the game
  // meanwhile (no rule then runs, and the game ends).
  uint8_t (*fotograma)(uint8_t logico);
  // A frame of a sequence, as nucleo.secuencia says before the call moves
  // it on.
  void (*secuencia)();
};

// Steps of the mirrors' scramble at a level's start.
constexpr int PASOS_REVUELTA = 65;

// The points the rules give, and the meters they start from.
constexpr int32_t PUNTOS_DETONADOR = 120;
constexpr int32_t PUNTOS_PUERTA = 250;
constexpr int32_t PUNTOS_GREMLIN = 160;
constexpr int32_t PUNTOS_POR_ENERGIA = 10;
constexpr int32_t PUNTOS_POR_VIDA = 500;
constexpr int8_t ENERGIA_INICIAL = 64;
constexpr int8_t VIDAS_PARTIDA = 3;

// How a game starts.
struct inicio_partida {
  uint64_t semilla;
  uint8_t entrenamiento;
  uint8_t suelto;
  int8_t nivel;
  int8_t vidas;             // 0: the game's three; a solver's run stops at the first
  uint16_t version_reglas;  // 0: VERSION_REGLAS; an older one plays by its rules
  // The level a game of one level alone is played on, its gremlins as its
  // file gives them; null: level `nivel` of the game's levels.
  const nivel_texto *nivel_suelto;
  // Level files that take the place of stored levels in this game
  // (`fotonauta --niveles`): NUM_NIVELES entries, null where the stored
  // level plays. Null for none. Owned by the caller, kept while it plays.
  const nivel_texto *const *sustitutos;
};

// Starts a game: the meters, the points, and the first level's start,
// whose frames come first.
void empezar_partida(const inicio_partida &inicio);

// Whether the next frame is one of a sequence, which takes no input. A
// game's frame numbers (a recording's changes and length, a verifier's
// answer) count frames of play only, as they did when a sequence played
// inside the frame of play that began it: the same game has the same
// numbers and the same end hash.
bool en_secuencia();

// Whether the next frame is a logic frame: the only frames that read the
// player's input (a wheel or button of the others would wait for one). A
// frame of a sequence is none.
bool fotograma_logico();

// Plays exactly one frame: a frame of play with the player's input (read
// only on a logic frame, but for `abandono`, which the screen's hook may
// also set), or a frame of the sequence under way, which ignores the input.
// A frame of play whose rules begin a sequence ends there; the rules left
// of it run after the sequence's last frame. Afterwards dt_bucle.motivo_fin
// says whether the game has ended.
void jugar_fotograma(entrada_juego &entrada, const ganchos_partida *ganchos);

// Plays the sequence under way, if any, to its end, with no screen: what a
// tool that counts frames of play calls after each. The sucesos of the
// frames it plays are added to dt_sucesos.
void pasar_secuencia();

// The state the rules run on (nucleo), boiled down: two games that were
// played the same way end with the same hash. What it takes, and in what
// order, is what recordings were checked by: a field that joins it changes
// every end hash, and so the rules' version.
uint64_t hash_estado();

// The input the rules take from `entrada` at the coming logic frame, with
// whatever they would not look at cleared: the pointer's cell when no press
// begins, Alt without the left button, the cheat's keys they would not
// read. Plays the same as `entrada`; what a recording keeps.
entrada_juego entrada_consumida(const entrada_juego &entrada);

// The most frames a game that counts its energy can last with `fases`
// levels completed: each level played, the one it ended on too, every
// life played to its last unit of energy. A game past it had the cheat
// on or the trainer's levels, and ranks nowhere.
uint32_t fotogramas_maximos(int32_t fases);

// The version of the rules: any change that could play a recorded game
// differently (a rule, the order of a frame, a random draw) bumps it, and
// the rules it changes keep their old way for games of older versions
// (dt_bucle.version_reglas), so an older recording still plays as it was
// played.
constexpr uint16_t VERSION_REGLAS = 1;

// Whether these rules can play a game of version `version`.
inline bool version_reglas_conocida(uint16_t version)
{
  return version >= 1 && version <= VERSION_REGLAS;
}

// A level as a game plays it.
struct nivel_partida {
  uint8_t bytes[NUM_CELDAS];
  int8_t gremlins;
};

// The whole of the rules' state: one value. A game is played again from
// its start alone, so empezar_partida starts from it value-initialised; a
// tool that plays (a solver asked for a plan mid-game) keeps a game by
// copying it, and puts it back by copying it again.
struct estado_nucleo {
  celda est_nivel[NUM_CELDAS];            // the live board
  datos_rayo dt_rayo;                     // the beam of the last trace
  datos_gremlin dt_gremlin[MAX_GREMLINS]; // the used slots are always the first ones
  int8_t dir_foptica;                     // common step of the fibre-optic animation, +4 or -4
  datos_partida dt_partida;
  uint8_t trampas;                        // cheat mode: 0 off, 1 on
  // Tamper evidence. Word 0 is the integrity flag: set at game start,
  // cleared while cheating or when the game's state has been meddled with;
  // name entry reads it. Word 1 mirrors the level's points under a key.
  int32_t trampeando[NUM_TRAMPEANDO];
  datos_bucle dt_bucle;
  datos_sucesos dt_sucesos;               // cleared as each frame starts
  datos_pinchado dt_pinchado = {0, CELDA_NINGUNA, CELDA_NINGUNA};  // let go
  generador_azar azar_juego;              // seeded as each game starts, drawn from only by the rules
  int (*sorteo_reemisor)();               // a tool's re-emitter draws; null: the game's generator
  nivel_partida nivel_jugado;             // what a lost life loads again
  const nivel_texto *const *sustitutos;   // inicio_partida::sustitutos of the game
  // The sequence under way. Not hashed: no game ends in one, and the frames
  // of play that follow it depend on it only through what it changed.
  datos_secuencia secuencia;
};

// The rules' state of the one game being played.
extern estado_nucleo nucleo;

inline uint32_t azar(uint32_t n)
{
  return sacar_azar(nucleo.azar_juego, n);
}
