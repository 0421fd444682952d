// editor: the level editor, fotonauta-editor. It paints levels in the text
// form of the game's level files, traces their beam with the game's own
// code, checks the level rules as the author works, proves a level winnable
// with the level tool's solver, plays it in the game's own loop and
// publishes it on the score server once it has been won.
//
// Its parts, in the order of this header:
// - the level being edited and every change made to it (documento.cpp,
//   edicion.cpp), the files it lives in (ficheros.cpp) and the editor's
//   words (textos.cpp): no screen, no Allegro; the library editor_edicion,
//   which the unit tests link with no display;
// - the proof, run apart from the window by a helper (prueba.cpp);
// - the screen: its state and the named commands (comandos.cpp), input and
//   events (entrada.cpp), the board (dibujo.cpp), the panels and dialogs
//   (paneles.cpp), the loop that ties them (pantalla.cpp), and publishing
//   on the score server (publicar.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dlg/dlg.h"
#include "juego/juego.h"

// ===========================================================================
// The level being edited (library editor_edicion: no screen)
// ===========================================================================

// A text in the editor's two languages.
struct frase {
  std::string es;
  std::string en;
};

const std::string &en_lengua(const frase &f, bool espanol);

// ---------------------------------------------------------------------------
// The palette: every element of the level format, a slot for each row of
// the table of elements (ELEMENTOS)
// ---------------------------------------------------------------------------

// The variant each slot of the palette starts with.
extern const uint8_t VARIANTE_INICIAL[NUM_ELEMENTOS];

// The byte turned `pasos` variants on (negative: back) within its element,
// wrapping round; a byte of an element with one variant stays as it is.
uint8_t girar_byte(uint8_t b, int pasos);

// Whether the game turns what this byte holds to a random angle at each
// start of the level (plain mirrors), so that its angle here is only where
// the editor's beam shows it.
bool al_azar_al_empezar(uint8_t b);

// What a byte holds, for the author: "Mirror, angle 4 of 16".
std::string describir_byte(uint8_t b, bool espanol);

// The byte as seen in a mirror: left for right (`horizontal`) or top for
// bottom. Sides, angles, axes and wall quarters follow the flip.
uint8_t voltear_byte(uint8_t b, bool horizontal);

// A wall's quarters, as the level format numbers them.
constexpr uint8_t CUARTO_ARRIBA_IZQUIERDA = 1, CUARTO_ARRIBA_DERECHA = 2, CUARTO_ABAJO_DERECHA = 4,
                  CUARTO_ABAJO_IZQUIERDA = 8;

// The quarter of a cell under a point (x, y) within it, 0 to LADO_CELDA - 1.
uint8_t cuarto_en(int x, int y);

// ---------------------------------------------------------------------------
// The document: the level, the file it belongs to, undo and redo
// ---------------------------------------------------------------------------

// One step of the history: the level before it, and what it did.
struct paso_historial {
  nivel_texto nivel;
  frase que;
  uint32_t grupo;
  int64_t instante;  // when it was last extended, in milliseconds
};

struct documento {
  nivel_texto nivel;
  nivel_texto guardado;  // as its file holds it (a new level: empty)
  std::string ruta;      // where it is saved
  std::vector<paso_historial> deshacer;
  std::vector<paso_historial> rehacer;
  uint32_t revision = 0;  // goes up at every change, undo and redo too
  uint32_t ultimo_grupo = 0;
  // The edit operation under way (see `edicion`).
  int abiertas = 0;
  nivel_texto antes;
  frase que;
  uint32_t grupo = 0;
  int64_t instante = 0;
  int64_t plazo = 0;
  bool fusionable = false;  // the newest step may take in the next of its group
};

// Starts editing `nivel`, saved at `ruta` as `guardado`; no history.
void empezar_documento(documento &d, const nivel_texto &nivel, const std::string &ruta, const nivel_texto &guardado);

// Whether the level differs from the one its file holds: undoing back to
// it is unmodified again.
bool modificado(const documento &d);

// The level is now what its file holds.
void marcar_guardado(documento &d);

bool niveles_iguales(const nivel_texto &a, const nivel_texto &b);

// Steps of one group join into one: the cells of one stroke, the turns of
// one cell in a burst. SIN_GRUPO never joins.
constexpr uint32_t SIN_GRUPO = 0;
// A group of its own, for one stroke.
uint32_t nuevo_grupo(documento &d);
// The group of the turns of one cell; turns further apart than
// PLAZO_GIROS_MS are steps of their own.
uint32_t grupo_de_celda(int celda);
constexpr int64_t PLAZO_GIROS_MS = 1500;
constexpr uint32_t GRUPO_MOVER = 1000;

// The one way the level changes: an edit operation opened, the level
// changed through `doc.nivel`, and the operation closed when it goes out of
// scope. Closing makes one undo step of the whole change (none when
// nothing changed), or, for an operation of the group of the newest step
// and within `plazo` milliseconds of it (negative: any time), adds to that
// step. Operations opened within one join the outer one.
struct edicion {
  edicion(documento &d, const frase &que, uint32_t grupo = SIN_GRUPO, int64_t instante = 0, int64_t plazo = -1);
  ~edicion();
  edicion(const edicion &) = delete;
  edicion &operator=(const edicion &) = delete;
  documento &doc;
};

// Steps the level back (or forward) one step, saying in `que` what it did;
// false when there is none.
bool deshacer(documento &d, frase &que);
bool rehacer(documento &d, frase &que);

// ---------------------------------------------------------------------------
// The edit operations: each one undo step (or part of its group's)
// ---------------------------------------------------------------------------

// A rectangle of cells.
struct rectangulo {
  int columna = 0, fila = 0, ancho = 0, alto = 0;
};

// The rectangle with these two cells at opposite corners.
rectangulo rectangulo_entre(int celda_a, int celda_b);
constexpr rectangulo TABLERO_ENTERO{0, 0, COLUMNAS, FILAS};
bool dentro(const rectangulo &r, int celda);

// Cells copied: row by row.
struct recorte {
  int ancho = 0, alto = 0;
  std::vector<uint8_t> bytes;
};

// Paints every cell on the straight way from `desde` to `hasta` (a quick
// drag crosses cells between two frames).
void pintar_linea(documento &d, int desde, int hasta, uint8_t b, uint32_t grupo);

// Sets one cell (the hand turning a mirror).
void poner_celda(documento &d, int celda, uint8_t b, uint32_t grupo, const frase &que, int64_t instante = 0,
                 int64_t plazo = -1);

// Turns what a cell holds `pasos` variants; a burst of turns of one cell,
// at `instante`, is one step.
void girar_celda(documento &d, int celda, int pasos, int64_t instante);

// A wall of `elemento` (ELEMENTO_MURO or ELEMENTO_MURO_REFLECTANTE) in
// `celda` has `cuarto` added or taken away; the last quarter taken leaves
// floor. False, changing nothing, when the cell holds no such wall.
bool alternar_cuarto(documento &d, int celda, int elemento, uint8_t cuarto);

recorte copiar(const nivel_texto &n, const rectangulo &r);
void rellenar(documento &d, const rectangulo &r, uint8_t b, const frase &que);
// Pastes with the top-left corner at (columna, fila), cut at the board's
// edge; the rectangle pasted.
rectangulo pegar(documento &d, const recorte &p, int columna, int fila);
// Moves the cells (floor left behind) by (dx, dy), kept on the board; the
// rectangle where they went. Moves of GRUPO_MOVER (the arrow keys) in a
// burst are one step.
rectangulo mover(documento &d, const rectangulo &r, int dx, int dy, uint32_t grupo, int64_t instante);
// Flips the cells of `r` in place, left for right or top for bottom.
void voltear(documento &d, const rectangulo &r, bool horizontal);

void cambiar_textos(documento &d, const std::string &titulo, const std::string &idea);
void cambiar_gremlins(documento &d, int cuantos);

// ---------------------------------------------------------------------------
// Where levels live
// ---------------------------------------------------------------------------

// $XDG_DATA_HOME/fotonauta/niveles (by default ~/.local/share/...), made
// when missing; empty when there is no absolute place for it.
std::string carpeta_niveles_usuario();

// A level file of a folder, for the list to open.
struct fichero_nivel {
  std::string nombre;
  bool legible;
  nivel_texto nivel;  // when legible
  std::string error;  // when not
};

// The level files (*.txt) of a folder, by name, each read.
std::vector<fichero_nivel> leer_ficheros_niveles(const std::string &carpeta);

// The file of a game level number (1 to NUM_NIVELES: level 01 is 00.txt),
// and back (-1 for a name that is no level's).
std::string nombre_de_numero(int numero);
int numero_de_nombre(const std::string &nombre);

// The first NN.txt (00 to 62, the numbers `fotonauta --niveles` plays) not
// yet in the folder; "nivel.txt" past them.
std::string primer_nombre_libre(const std::string &carpeta);

// An empty level: all floor, no gremlins.
nivel_texto nivel_vacio();

// The recovery copy, kept while a level has unsaved changes so that a
// crash loses nothing: in `carpeta` ($XDG_STATE_HOME/fotonauta/recuperacion)
// as PID.txt, the level, and PID.ruta, the file it belongs to.
std::string carpeta_recuperacion();
bool guardar_recuperacion(const std::string &carpeta, int pid, const documento &d);
void borrar_recuperacion(const std::string &carpeta, int pid);

struct recuperacion {
  int pid = -1;
  std::string ruta;
  nivel_texto nivel;
};

// The newest copy left by an editor no longer running; false when none.
bool buscar_recuperacion(const std::string &carpeta, recuperacion &r);

// The editor's own language, kept apart from the game's in
// $XDG_CONFIG_HOME/fotonauta/editor.cfg: 0 Spanish, 1 English (as the game
// numbers them), or -1 when never chosen.
int leer_idioma_editor();
bool guardar_idioma_editor(int idioma_elegido);

// The author's name the levels are published under, kept beside the
// language in editor.cfg as "firma" (the plain Spanish word for author
// reads as a misspelling to the packaging checks) (in UTF-8 there, ISO 8859-1 here, at most
// LONG_NOMBRE letters as for scores); empty when never given.
std::string leer_autor_editor();
bool guardar_autor_editor(const std::string &nombre);

// ---------------------------------------------------------------------------
// The editor's words
// ---------------------------------------------------------------------------

// A message of the level rules, the level reader or the solver (English,
// as the level tool prints them) in the author's language.
std::string en_idioma(const std::string &ingles, bool espanol);

// "1 problem", "3 problems": the count and the singular or the plural.
std::string contar(int n, const frase &singular, const frase &plural, bool espanol);

// What every level must keep, for the author starting one and for the help.
const frase &reglas_del_nivel();

// ===========================================================================
// Proving a level: the solver away from the window
// ===========================================================================

// One step of the plan a proof found.
struct paso_prueba {
  bool giro;                  // turn a mirror; otherwise wait for targets
  int celda;                  // the mirror
  int angulo;                 // the angle it is left at
  std::vector<int> blancos;   // the targets waited for
};

// What a finished proof says.
struct resultado_prueba {
  bool pasa = false;        // winnable within 70 % of the energy
  bool encontrado = false;  // the solver found a plan
  bool azar = false;        // re-emitters bring chance in
  int fotogramas = 0;       // the frames the plan needs
  double energia = 0;       // the same, in percent of the energy bar
  int giros = 0;            // mirror settings in the plan
  int a_tiempo = 0, partidas = 0;
  // The random starts watched with no input for their first seconds; how
  // many lose a life, by a mine or by the beam thrown back into the laser;
  // and the seconds to the quickest such loss.
  int arranques = 0, peligrosos = 0, en_mina = 0, de_rebote = 0;
  int segundos_peligro = 0;
  double primera_perdida = 0;
  std::string error;  // why not, in the solver's words
  std::vector<paso_prueba> plan;
  // A passing plan played in a whole game and recorded (a recording file's
  // bytes), checked to win the level; empty when none.
  std::vector<uint8_t> grabacion;
};

// A proof under way.
struct prueba_en_curso {
  int pid = -1;       // the process proving, -1 when none
  int tubo = -1;      // its output
  std::string leido;  // output not yet taken
  int hechas = 0, total = 0;  // runs played, of how many
};

// Starts proving `nivel` (its gremlins as the file gives them) in a helper:
// this program started again with --probar. The window's loop goes on
// while the helper plays, so the mouse and the screen never touch what it
// plays.
bool empezar_prueba(prueba_en_curso &p, const nivel_texto &nivel);

// Once a frame: takes what the proof has said. True when it has ended,
// with the result in `r`.
bool seguir_prueba(prueba_en_curso &p, resultado_prueba &r);

// Stops a proof under way: the helper is killed and waited for.
void cancelar_prueba(prueba_en_curso &p);

// The helper's side (fotonauta-editor --probar): reads a level's text on
// the standard input, proves it and writes what empezar_prueba's reader
// takes on the standard output: "progreso DONE TOTAL" lines as runs are
// played, then the verdict ("resultado", "peligro", "error", a passing
// plan's winning recording as "repeticion HEX", the plan) and
// "fin_prueba". Returns the exit status: 2 for a level it cannot read.
int probar_entrada_estandar();

// ===========================================================================
// The program
// ===========================================================================

// The editor's run once the display is up: opens `fichero` when given
// (otherwise starts a new level in the user's folder) and runs until Exit.
void ejecutar_editor(const char *fichero);

// ===========================================================================
// The screen, shared by its files
// ===========================================================================

// The palette's slots: the elements, then the hand, which holds and turns
// mirrors as in a game, and the selection of a rectangle.
constexpr int HUECO_MANO = NUM_ELEMENTOS;
constexpr int HUECO_SELECCION = NUM_ELEMENTOS + 1;
constexpr int NUM_HUECOS = NUM_ELEMENTOS + 2;

// The named commands. Every key and button of the editor runs one of these
// through the table COMANDOS.
enum : uint8_t {
  C_NUEVO,
  C_ABRIR,
  C_GUARDAR,
  C_GUARDAR_COMO,
  C_DESHACER,
  C_REHACER,
  C_TITULO,
  C_PROBAR,
  C_PASO,
  C_JUGAR,
  C_PUBLICAR,
  C_AYUDA,
  C_IDIOMA,
  C_SALIR,
  C_MENOS_GREMLINS,
  C_MAS_GREMLINS,
  C_CORTAR,
  C_COPIAR,
  C_PEGAR,
  C_VOLTEAR_H,
  C_VOLTEAR_V,
  C_RELLENAR,
  C_BORRAR,
  C_SELECCIONAR_TODO,  // Ctrl+A: the whole board
  C_SELECCIONAR,
  C_MANO,
  C_GIRAR,
  C_GIRAR_ATRAS,
  C_MOVER_IZQUIERDA,
  C_MOVER_DERECHA,
  C_MOVER_ARRIBA,
  C_MOVER_ABAJO,
  C_ESCAPE,
  NUM_COMANDOS,
};

// Modifiers a command's key is pressed with.
constexpr uint8_t MOD_CTRL = 1, MOD_MAYUS = 2;

struct estado_editor;

struct comando {
  const char *nombre[2];  // Spanish, English: the tooltip and the help
  int tecla;              // a KEY_ constant, 0 for none
  uint8_t mod;
  int otra_tecla;         // a second key for it, 0 for none
  uint8_t otro_mod;
  void (*accion)(estado_editor &e);
  // When it can run (null: always): a button is drawn dim otherwise.
  bool (*disponible)(const estado_editor &e);
};

extern const comando COMANDOS[NUM_COMANDOS];

// "Ctrl+S", "F1": the key of a command, empty when it has none.
std::string tecla_de_comando(int c);

// Runs command `c` if it is available now.
void ejecutar_comando(estado_editor &e, int c);

// The dialogs that take the whole input while they show.
enum : uint8_t {
  DIALOGO_NINGUNO,
  DIALOGO_PREGUNTA,  // unsaved changes: save, discard or cancel
  DIALOGO_RECUPERAR, // a recovery copy left by a crash
  DIALOGO_AYUDA,
  DIALOGO_ABRIR,
  DIALOGO_TITULO,
  DIALOGO_IDEA,
  DIALOGO_NUMERO,    // Save As: the level number
  DIALOGO_AUTOR,     // Publish: the author's name, asked once
};

// What waits for the answer about unsaved changes.
enum : uint8_t { TRAS_NADA, TRAS_NUEVO, TRAS_ABRIR, TRAS_SALIR };

struct estado_editor {
  documento doc;
  std::string carpeta;  // the user's level folder
  std::string carpeta_copias;
  int pid = 0;

  int elegido = ELEMENTO_ESPEJO;          // palette slot in use
  int elemento = ELEMENTO_ESPEJO;         // the element last chosen, which fills
  uint8_t variante[NUM_ELEMENTOS] = {};  // each element's variant in the palette
  uint8_t loseta_paleta[NUM_ELEMENTOS] = {};

  bool recargar = true;  // the board must be built again from the level
  uint32_t revision_tablero = ~0u;
  std::vector<problema_nivel> problemas;
  bool celda_mal[NUM_CELDAS] = {};

  bool hay_seleccion = false;
  rectangulo seleccion;
  recorte portapapeles;

  // The mouse: buttons as last seen (taps between two frames included),
  // where it is, the stroke or drag under way.
  t_vista_raton vista_raton{};
  int botones_antes = 0;
  int x = 0, y = 0;
  bool trazo = false;
  uint32_t grupo_trazo = SIN_GRUPO;
  int ultima_celda = -1;
  int boton_trazo = 0;     // 0 left, 1 right
  uint8_t byte_trazo = 0;  // what the stroke paints
  bool seleccionando = false, moviendo = false;
  int ancla = -1, agarre = -1, destino_movido = -1;
  int pulsado = -1;  // the panel's part pressed and not yet released
  int64_t ignorar_hasta = 0;  // presses are not taken before this instant
  bool de_vuelta = false;     // back from Play, its first frame not shown yet
  int cuenta_ciclo = 0;
  bool teclas[TECLAS_ENTRADA] = {};
  t_vista_tecla vista_tecla[TECLAS_ENTRADA] = {};
  // The modifiers (MOD_) a shortcut took at the last frame: their being
  // down then is not carried over to a key that comes after.
  uint8_t mod_gastado = 0;

  uint8_t dialogo = DIALOGO_NINGUNO;
  uint8_t tras_pregunta = TRAS_NADA;
  std::string texto_entrada, titulo_entrada;
  bool sugerido = false;  // the line holds a suggestion the first key replaces
  std::string aviso_dialogo;
  std::vector<fichero_nivel> lista;
  std::vector<BITMAP *> miniaturas;
  int desplazamiento_dialogo = 0;
  recuperacion copia;

  prueba_en_curso prueba;
  // A recording that wins the level whose hash_nivel is hash_grabacion: the
  // proof's plan played, or the author's own win in Play. Publish sends it
  // while the level is that one.
  std::vector<uint8_t> grabacion;
  uint64_t hash_grabacion = 0;
  std::string firma;  // the name levels are published under
  bool publicar_pendiente = false;  // sent once "Publishing" has been shown
  bool hay_resultado = false;
  resultado_prueba resultado;
  size_t paso_plan = 0;  // steps of the plan shown on the board
  bool plan_ganado = false;

  frase mensaje;  // the last thing the editor has to say, while the level
  uint32_t revision_mensaje = 0;  // is as it was when it was said
  int color_marca = -1;  // a green or red square before the message
  int desplazamiento_estado = 0;
  std::string contenido_estado;  // what the status area held last frame
  int celda_resaltada = -1;
  int64_t resaltada_hasta = 0;

  int encima = -1;  // the panel part under the pointer, and since when
  int64_t encima_desde = 0;

  uint32_t revision_copia = ~0u;  // the revision the recovery copy holds
  int64_t ultima_copia = 0;
  bool salir = false;
};

// The steady clock in milliseconds.
int64_t ahora_ms();

bool espanol();
const char *tr(const char *es, const char *en);
// Says `es`/`en` on the status line until the level next changes.
void decir(estado_editor &e, const frase &f, int marca = -1);

// The palette's and the panel's places (paneles.cpp).
int hueco_paleta_bajo(int x, int y);
// A part of the panel under (x, y): a button's command (0 to
// NUM_COMANDOS - 1), PARTE_ESTADO, or -1.
constexpr int PARTE_ESTADO = 100;
constexpr int PARTE_HUECO = 200;  // + the slot
int parte_bajo(int x, int y);
int celda_bajo(int x, int y);
// The cell of the problem on the status area's line under (x, y), -1 for
// none; its scroll arrows under (x, y): -1 up, +1 down, 0 none.
int celda_en_estado(const estado_editor &e, int x, int y);
int flecha_estado_bajo(int x, int y);
void colocar_botones();
void dibujar_panel(estado_editor &e);
void dibujar_ayuda_emergente(const estado_editor &e);
// The words on the screen's top edge: the file, the title, what is under
// the pointer.
void dibujar_cabecera(const estado_editor &e);
// Wrapped to `ancho` pixels in the panel's font.
std::vector<std::string> partir_texto(const std::string &texto, int ancho);
FONT *fuente_panel();

// The dialogs (dialogos.cpp).
void dibujar_dialogo(estado_editor &e);
void abrir_lista(estado_editor &e);
void cerrar_lista(estado_editor &e);
// The file under (x, y) in the list to open, or -1.
int fichero_bajo(const estado_editor &e, int x, int y);
// The dialog's button under (x, y), or -1 (0 is its first).
int boton_dialogo_bajo(const estado_editor &e, int x, int y);
// Scrolls the help or the list to open by `pasos` rows.
void desplazar_dialogo(estado_editor &e, int pasos);

// The board (dibujo.cpp).
void reconstruir(estado_editor &e);
void trazar(estado_editor &e);
void dibujar_tablero(estado_editor &e, bool logico);

// Input and events (entrada.cpp).
void atender_entrada(estado_editor &e);
// Forgets every press made until now, and takes none for `ms` more.
void olvidar_entrada(estado_editor &e, int ms);

// What the commands do that the loop also needs (pantalla.cpp).
void abrir_nivel(estado_editor &e, const std::string &ruta);
void nivel_nuevo(estado_editor &e);
bool guardar_en(estado_editor &e, const std::string &ruta);
void responder_pregunta(estado_editor &e, int respuesta);
void responder_recuperacion(estado_editor &e, bool recuperar);
void preguntar_si_hay_cambios(estado_editor &e, uint8_t tras);
void probar(estado_editor &e);
void jugar(estado_editor &e);
void siguiente_paso(estado_editor &e);

// Publishing (publicar.cpp). Takes a winning recording's bytes as the one
// Publish sends, for the level it was made on; after Play, the game's own
// recording when it won this level, saying so; false otherwise.
void tomar_grabacion(estado_editor &e, const std::vector<uint8_t> &bytes);
bool tomar_victoria_jugada(estado_editor &e);
bool puede_publicar(const estado_editor &e);
// The command: asks for the author's name the first time, then says
// "Publishing" and leaves the request to publicar_ahora, which the loop
// calls once that has been shown. The request waits for the server (within
// the HTTP client's bounds) and says what came of it: the level's address,
// or why not. Nothing of the level or its file changes.
void publicar(estado_editor &e);
void publicar_ahora(estado_editor &e);
// Whether a dialog's line of text is being typed into.
bool escribiendo(const estado_editor &e);
void elegir_hueco(estado_editor &e, int hueco, int pasos);
void terminar_texto(estado_editor &e);
