// dlg: the game's own mouse-driven buttons and the stack of live dialogs.
//
// Every button of every screen is created once at start-up into one fixed
// table. Each belongs to a numbered dialog; only the buttons of the dialog
// on top of the stack are drawn and answer the mouse. A screen pushes its
// dialog, calls dlg_comprobar once a frame and pops its dialog when it
// closes; a clicked button's action runs inside dlg_comprobar, and what it
// returns is what dlg_comprobar returns.
#pragma once

#include <cstdint>

struct BITMAP;
struct FONT;

// What a button's action returns when the screen that shows it stays open.
constexpr int8_t DLG_NADA = -1;

// A button's action: takes the button's number within its dialog.
using accion_boton = int8_t (*)(int8_t indice);

constexpr int MAX_BOTONES = 129;
constexpr int MAX_FUENTES = 2;
constexpr int MAX_PILA = 5;

// A button's state, which is also the slot of the look it is drawn with.
constexpr int8_t BOTON_OCULTO = -1;
constexpr int8_t BOTON_NORMAL = 0;
constexpr int8_t BOTON_ENCIMA = 1;
constexpr int8_t BOTON_PULSADO = 2;
// The slot of the hit mask among a button's images.
constexpr int IMAGEN_MASCARA = 3;

struct t_boton {
  BITMAP *imagen[4];  // normal, hover, pressed looks (any may be null), mask
  int32_t x[4];       // where each image is drawn; slot 3 is the button's place
  int32_t y[4];
  int8_t estado;      // BOTON_OCULTO .. BOTON_PULSADO
  int8_t dialogo;     // -1: a free record
  int8_t indice;      // number within the dialog, from 0 in creation order
  const char *texto;  // caption, borrowed; may be null
  int8_t fuente;      // caption font slot
  accion_boton accion;
};

struct t_tipo_fuente {
  FONT *fuente;
  int32_t desplazamiento;  // from the button's vertical centre to the caption's top
};

// The toolkit's state. Only the operations below change it; the rest of the
// game may look but must not write.
extern t_boton boton[MAX_BOTONES];
extern int32_t botones_usados;
extern t_tipo_fuente tipo_fuente[MAX_FUENTES];
extern int8_t pila[MAX_PILA];
extern int8_t cima_pila;
// Magenta in the display's pixel format: mask pixels of this colour lie
// outside their button.
extern int rosa;

// Empties the table, the stack and the font slots, installs the mouse and
// puts the press counting in place (dlg_instalar_entrada).
void dlg_inicializar();

// Registers a caption font; a slot outside 0..MAX_FUENTES-1 is ignored.
void dlg_incorporar_fuente(int8_t ranura, FONT *fuente, int32_t desplazamiento);

// Appends a button at (x, y), the top-left corner of its mask; the three
// looks are centred on the mask. Returns its number within the dialog, or
// -1 (nothing stored) when the table is full or the mask is null.
int8_t dlg_incorporar_boton(int8_t dialogo, BITMAP *mascara, BITMAP *normal, BITMAP *encima,
                            BITMAP *pulsado, int32_t x, int32_t y, const char *texto,
                            int8_t fuente, accion_boton accion);

// The stack of live dialogs. A push onto a full stack and a pop of an empty
// one are ignored.
void dlg_apilar_dialogo(int8_t dialogo);
void dlg_desapilar_dialogo();

// These act on the first button with that dialog and number; a pair that
// names no button does nothing.
void dlg_ocultar_boton(int8_t dialogo, int8_t indice);
void dlg_mostrar_boton(int8_t dialogo, int8_t indice);
void dlg_cambiar_texto_boton(int8_t dialogo, int8_t indice, const char *texto);

// Draws the live dialog's buttons in their normal look, whatever the mouse.
void dlg_dibujar_botones(BITMAP *destino);

// One frame of mouse handling for the live dialog: updates the looks, draws
// the buttons on `destino` (unless it is null), then runs the action of a
// button clicked on this frame and returns its result; DLG_NADA otherwise.
int32_t dlg_comprobar(BITMAP *destino);

// ---------------------------------------------------------------------------
// Presses shorter than a frame
// ---------------------------------------------------------------------------
// The library shows the mouse buttons only as they were at its last sample,
// so a press and release between two frames (a touchpad's tap) would be
// lost, and a key tapped between two looks at key[] too. Every press is
// counted as it arrives instead; each reader keeps the counts it saw at its
// own previous look, and sees a button or key down when it is down now or
// was pressed since then. Every read of the buttons and of key[] that
// decides something goes through here.

constexpr int BOTONES_RATON = 3;  // left, right, middle: bits 1, 2, 4 of mouse_b
constexpr int TECLAS_ENTRADA = 128;
// A reader that looked at one of the last FOTOGRAMAS_SIN_MIRAR frames shown
// is still looking, and sees every press since its last look, however long
// the main thread was held up meanwhile. One that did not look while frames
// were shown (its screen was not running) starts afresh at its next look:
// it sees the buttons held then, but no press made before.
constexpr uint32_t FOTOGRAMAS_SIN_MIRAR = 3;

// What one reader of the mouse saw at its last look: the press counts,
// the buttons it was told were down, and the frame it looked at.
struct t_vista_raton {
  uint32_t pulsaciones[BOTONES_RATON];
  int botones;
  uint32_t fotograma;
  bool miro;  // it has looked at all
  // Where the pointer was when each button was last pressed, as seen at
  // this look: a quick drag has left that place by the time a frame looks.
  int x_pulsacion[BOTONES_RATON], y_pulsacion[BOTONES_RATON];
  // Where it was when each button was last released: a quick drag's move
  // and release can both come after a look that saw only its press.
  int x_soltado[BOTONES_RATON], y_soltado[BOTONES_RATON];
};
// The same for one key.
struct t_vista_tecla {
  uint32_t pulsaciones;
  bool abajo;
  uint32_t fotograma;
  bool miro;
};

// Puts the counting hooks in place: after install_mouse (the X driver's own
// mouse hook is kept and called) and install_keyboard. The keyboard must not
// be switched to polling (poll_keyboard), which hides presses from the hook.
void dlg_instalar_entrada();

// Samples the mouse (poll_mouse) and returns mouse_b, plus the bit of every
// button pressed since this reader's last look, whose place is then in
// x_pulsacion and y_pulsacion; the look is then recorded.
// mouse_x and mouse_y are then at least as new as every press reported.
// A button reported down at the last look and pressed again since is
// reported up once, then down: the release between is never skipped.
int dlg_botones(t_vista_raton &vista);

// dlg_botones's rules on counts given, for a program that counts the
// presses itself (the web build, whose host reports them): whether a reader
// whose last look was at frame `fotograma` is still looking at frame
// `mostrados` (else it starts afresh, dlg_olvidar_botones); and a look
// with `pulsaciones` presses of each button counted so far and `abajo` the
// buttons held now, which sets vista.botones and returns the new presses.
bool dlg_mirando(bool miro, uint32_t fotograma, uint32_t mostrados);
int dlg_ver_botones(t_vista_raton &vista, const uint32_t pulsaciones[BOTONES_RATON], int abajo);
// Records a look without reporting: presses made before now are not seen.
// A screen does this as it opens.
void dlg_olvidar_botones(t_vista_raton &vista);
// Puts the pointer at (x, y) of the picture: the real pointer too (in the
// middle of the window pixels that show it), so that the player's next
// movement is taken from there.
void dlg_situar_raton(int x, int y);
// From now on the program itself writes mouse_b, mouse_x and mouse_y (a
// solver playing a plan in a process of its own): they are no longer
// sampled from the real mouse, whose sample would overwrite them.
void dlg_raton_del_programa();

// The same for one key (a KEY_ constant): down now, or pressed since the
// last look recorded in `vista`.
bool dlg_tecla(int tecla, t_vista_tecla &vista);
void dlg_olvidar_tecla(int tecla, t_vista_tecla &vista);
// A modifier (Ctrl, Shift): down now or pressed at all since the last look.
// Unlike dlg_tecla it never holds a new press back a look to report the
// release before it, so a shortcut sent again at once keeps its modifier.
bool dlg_tecla_tocada(int tecla, t_vista_tecla &vista);

// Called by the frame step each time a frame is shown.
void dlg_fotograma_mostrado();

// ---------------------------------------------------------------------------
// The picture shown scaled
// ---------------------------------------------------------------------------
// The library reads the pointer in window pixels. When the picture
// (ancho_imagen x alto_imagen) is shown scaled, filling `ancho` x `alto`
// window pixels from (x0, y0), the pointer is turned back into picture
// pixels as it arrives, so every reader of mouse_x and mouse_y sees the
// picture's own coordinates. Window pixel `v` (counted from the picture's
// edge) shows picture pixel dlg_pixel_de_imagen(v, extension, lado): the
// drawing follows the same rule, so the pointer is on the pixel shown
// under it. Outside the picture the pointer stops at its edge.
int dlg_pixel_de_imagen(int v, int extension, int lado);
// The picture's place in the window; `ancho` 0 when it is shown as it is.
void dlg_colocar_imagen(int x0, int y0, int ancho, int alto, int ancho_imagen, int alto_imagen);

#ifdef FOTONAUTA_PRUEBAS
// Test builds only: what the input thread's hooks do for a mouse event
// with these buttons down, and for a key's scancode (top bit: released).
void dlg_simular_raton(int botones);
void dlg_simular_tecla(int codigo);

// Test builds only: puts the mouse latch back as it is when the program
// starts (held, no button), as a new process would have it.
void dlg_reiniciar_raton();
#endif
