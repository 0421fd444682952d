// editor: the level editor, fotonauta-editor. It paints levels in the text
// form of the game's level files, traces their beam with the game's own
// code, checks the level rules as the author works, proves a level winnable
// with the level tool's solver and plays it in the game's own loop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "juego/juego.h"

// ---------------------------------------------------------------------------
// The palette: every element of the level format
// ---------------------------------------------------------------------------

// One element: a run of level bytes, one per variant (an emitter's side, a
// mirror's angle, a wall's mask, a polariser's axis, a fibre's pair).
struct elemento_paleta {
  const char *nombre[2];  // Spanish, English
  uint8_t primero;        // the byte of variant 0
  uint8_t minimo;         // the first variant a level may hold
  uint8_t variantes;      // variants, counting from 0
  uint8_t inicial;        // the variant the palette starts with
};

constexpr int NUM_ELEMENTOS = 15;
extern const elemento_paleta PALETA[NUM_ELEMENTOS];

// Palette entries the editor itself relies on.
constexpr int ELEMENTO_SUELO = 0;
constexpr int ELEMENTO_ESPEJO = 4;

// The byte of `variante` of element `e`.
uint8_t byte_de_elemento(int e, int variante);

// The element a level byte belongs to, and its variant; -1 for a byte no
// level holds.
int elemento_de_byte(uint8_t b, int *variante = nullptr);

// The byte turned `pasos` variants on (negative: back) within its element,
// wrapping round; a byte of an element with one variant stays as it is.
uint8_t girar_byte(uint8_t b, int pasos);

// ---------------------------------------------------------------------------
// Undo and redo: whole levels, as many as the session makes
// ---------------------------------------------------------------------------

struct historial {
  std::vector<nivel_texto> deshacer;
  std::vector<nivel_texto> rehacer;
};

bool niveles_iguales(const nivel_texto &a, const nivel_texto &b);

// Records one change of the author's, from `antes` to what the level is
// now; nothing when the two are equal. A new change forgets what was undone.
void anotar_cambio(historial &h, const nivel_texto &antes, const nivel_texto &ahora);

// Steps `nivel` back (or forward) one change; false when there is none.
bool deshacer(historial &h, nivel_texto &nivel);
bool rehacer(historial &h, nivel_texto &nivel);

// ---------------------------------------------------------------------------
// Where levels live
// ---------------------------------------------------------------------------

// $XDG_DATA_HOME/fotonauta/niveles (by default ~/.local/share/...), made
// when missing; empty when there is no absolute place for it.
std::string carpeta_niveles_usuario();

// The level files (*.txt) of a folder, by name.
std::vector<std::string> ficheros_de_niveles(const std::string &carpeta);

// The first NN.txt (00 to 62, the numbers `fotonauta --niveles` plays) not
// yet in the folder; "nivel.txt" past them.
std::string primer_nombre_libre(const std::string &carpeta);

// An empty level: all floor, no gremlins.
nivel_texto nivel_vacio();

// ---------------------------------------------------------------------------
// Proving a level: the solver in a process of its own
// ---------------------------------------------------------------------------

// What a finished proof says.
struct resultado_prueba {
  bool pasa;          // winnable within 70 % of the energy
  bool encontrado;    // the solver found a plan
  bool azar;          // re-emitters bring chance in
  int fotogramas;     // the frames the plan needs
  int giros;          // mirror settings in the plan
  int a_tiempo, partidas;
  std::string error;  // why not, in the solver's words
  std::string plan;   // the plan, one step a line
};

// A proof under way.
struct prueba_en_curso {
  int pid = -1;       // the process proving, -1 when none
  int tubo = -1;      // its output
  std::string leido;  // output not yet taken
  int hechas = 0, total = 0;  // runs played, of how many
};

// Starts proving `nivel` (its gremlins as the file gives them). The
// window's loop goes on while another process works on a copy of the
// game's state, so the mouse and the screen never touch what it plays.
bool empezar_prueba(prueba_en_curso &p, const nivel_texto &nivel);

// Once a frame: takes what the proof has said. True when it has ended,
// with the result in `r`.
bool seguir_prueba(prueba_en_curso &p, resultado_prueba &r);

// Stops a proof under way.
void cancelar_prueba(prueba_en_curso &p);

// A message of the level rules, the level reader or the solver (English,
// as the level tool prints them) in the author's language.
std::string en_idioma(const std::string &ingles, bool espanol);

// ---------------------------------------------------------------------------
// The program
// ---------------------------------------------------------------------------

// The editor's run once the display is up: opens `fichero` when given
// (otherwise starts a new level in the user's folder) and runs until Exit.
void ejecutar_editor(const char *fichero);
