// The in-game pause and the "are you sure?" box of the Exit buttons, and
// the buttons of the game's screens.
#include <cstdlib>
#include <iterator>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "juego/juego.h"
#include "pantalla/pantalla.h"

namespace {

// The quit box, and where it stands: centred across the screen, a little
// above the middle.
constexpr int ANCHO_CAJA = 576;
constexpr int ALTO_CAJA = 256;
constexpr int GROSOR_BORDE = 32;
constexpr int Y_PREGUNTA = 266;

// The part of the status strip under the panel's two buttons.
constexpr int ANCHO_PANEL = 240;
constexpr int ALTO_PANEL = 128;
constexpr int Y_PANEL = 640;

const boton_grande BOTONES[] = {
    {DLG_JUEGO, 30, 645, pausa}, {DLG_JUEGO, 30, 707, salir},  // the panel
    {DLG_SI_NO, 308, 336, si_no}, {DLG_SI_NO, 520, 336, si_no},  // the quit box
    {DLG_FIN, 30, 676, si_no},                                   // the game's end
};

const texto_boton TEXTOS[] = {
    {DLG_JUEGO, 0, {"Pausa", "Pause"}},
    {DLG_JUEGO, 1, {"Salir", "Exit"}},
    {DLG_SI_NO, 0, {"Si", "Yes"}},
    {DLG_SI_NO, 1, {"No", "No"}},
    {DLG_FIN, 0, {"Salir", "Exit"}},
};

void texto_pausa(const char *es, const char *en)
{
  dlg_cambiar_texto_boton(DLG_JUEGO, 0, idioma == IDIOMA_ESPANOL ? es : en);
}

void dibujar_caja(int bx, int by, int ancho = ANCHO_CAJA, int alto = ALTO_CAJA)
{
  // Each border strip's start, and the top and bottom strips' right ends
  // for the corners.
  const int interior_x = ancho - 2 * GROSOR_BORDE;
  const int interior_y = alto - 2 * GROSOR_BORDE;
  const int derecha = bx + ancho - GROSOR_BORDE;
  const int abajo = by + alto - GROSOR_BORDE;
  blit(borde[0], buffer, 0, 0, bx, by, ancho - GROSOR_BORDE, GROSOR_BORDE);
  blit(borde[0], buffer, borde[0]->w - GROSOR_BORDE, 0, derecha, by, GROSOR_BORDE, GROSOR_BORDE);
  blit(borde[1], buffer, 0, 0, bx, abajo, ancho - GROSOR_BORDE, GROSOR_BORDE);
  blit(borde[1], buffer, borde[1]->w - GROSOR_BORDE, 0, derecha, abajo, GROSOR_BORDE, GROSOR_BORDE);
  blit(borde[2], buffer, 0, 0, bx, by + GROSOR_BORDE, GROSOR_BORDE, interior_y);
  blit(borde[3], buffer, 0, 0, derecha, by + GROSOR_BORDE, GROSOR_BORDE, interior_y);

  // Any of the floor tiles may fill each square of the box, drawn from a
  // copy of the drawing's generator: a box, which a replay of the game does
  // not show, leaves the game's own draws as they were.
  generador_azar azar = dibujo.azar;
  for (int c = 0; c < interior_x / LADO_LOSETA; ++c) {
    for (int r = 0; r < interior_y / LADO_LOSETA; ++r) {
      const int t = primer_grf[vacio] + static_cast<int>(sacar_azar(azar, NUM_SUELOS));
      blit(loseta[t], buffer, 0, 0, bx + GROSOR_BORDE + LADO_LOSETA * c, by + GROSOR_BORDE + LADO_LOSETA * r,
           LADO_LOSETA, LADO_LOSETA);
    }
  }
}

// The box of the keys (F1 in a game): wide enough for its lines, above
// the status strip.
constexpr int ANCHO_AYUDA = 832;
constexpr int ALTO_AYUDA = 384;
constexpr int Y_AYUDA = 96;
constexpr int ALTO_LINEA_AYUDA = 36;

// Spanish and English, ISO 8859-1.
const char *const AYUDA_TECLAS[][2] = {
    {"Jugar con el teclado", "Playing with the keys"},
    {"Flechas: el cursor salta al espejo m\xE1s cercano", "Arrows: the cursor jumps to the nearest mirror"},
    {"May\xFAs y una flecha: una celda", "Shift and an arrow: one cell"},
    {"Z sostenida: gira a la izquierda; X: a la derecha", "Z held: turns anticlockwise; X: clockwise"},
    {"Mover el rat\xF3n vuelve al puntero", "Moving the mouse goes back to the pointer"},
    {"Esc o P: pausa y sigue; F1: esta ayuda", "Esc or P: pause and go on; F1: this help"},
};

}  // namespace

namespace {

uint8_t juego_pausado = 0;

}  // namespace

void dibujar_ayuda_teclas()
{
  const int bx = (buffer->w - ANCHO_AYUDA) / 2;
  dibujar_caja(bx, Y_AYUDA, ANCHO_AYUDA, ALTO_AYUDA);
  const int lengua = idioma == IDIOMA_ESPANOL ? 0 : 1;
  int y = Y_AYUDA + GROSOR_BORDE + 44;  // the lines in the middle of the box
  for (const auto &linea : AYUDA_TECLAS) {
    textout_centre_ex(buffer, fuente_texto(), linea[lengua], buffer->w / 2, y, -1, -1);
    // The title apart from the keys.
    y += ALTO_LINEA_AYUDA + (&linea == &AYUDA_TECLAS[0] ? 16 : 0);
  }
}

int8_t pausa(int8_t)
{
  detener_efectos();
  // The same button pauses and, as "Seguir", goes on.
  juego_pausado = !juego_pausado;
  if (juego_pausado) {
    texto_pausa("Seguir", "Go on");
    return DLG_NADA;
  }
  texto_pausa("Pausa", "Pause");
  return 0;
}

bool juego_en_pausa()
{
  return juego_pausado != 0;
}

int32_t fotograma_pausa()
{
  // Esc or P goes on, as "Seguir" does.
  if (tecla_pausa() != 0) {
    return pausa(0);
  }
  // The board stands still; only the panel under the buttons is redrawn.
  reproducir_musica(-1);
  if (marcador != nullptr) {
    blit(marcador, buffer, 0, 0, 0, Y_PANEL, ANCHO_PANEL, ALTO_PANEL);
  }
  const int32_t r = dlg_comprobar(buffer);
  paso_fotograma_con_puntero();
  if (r == 1) {
    // Exit confirmed from within the pause: the game ends, and the next
    // one starts unpaused.
    juego_pausado = 0;
    texto_pausa("Pausa", "Pause");
  }
  return r;
}

int8_t salir(int8_t)
{
  const int bx = (buffer->w - ANCHO_CAJA) / 2;
  const int by = (buffer->h - ALTO_CAJA) / 2 - 64;

  // Without memory for the picture under the box the question is still
  // asked; the box then stays until the screen behind it redraws itself.
  BITMAP *debajo = create_bitmap(ANCHO_CAJA, ALTO_CAJA);
  detener_efectos();
  show_mouse(nullptr);
  if (debajo != nullptr) {
    blit(buffer, debajo, bx, by, 0, 0, ANCHO_CAJA, ALTO_CAJA);
  }

  dibujar_caja(bx, by);
  textout_centre_ex(buffer, fuente_texto(), idioma == IDIOMA_ESPANOL ? "\xBF" "Est\xE1s seguro?" : "Are you sure?",
                    buffer->w / 2, Y_PREGUNTA, -1, -1);

  dlg_apilar_dialogo(DLG_SI_NO);
  int32_t r;
  do {
    // Nothing behind the box is redrawn: the screen stands still.
    reproducir_musica(-1);
    r = dlg_comprobar(buffer);
    paso_fotograma_con_puntero();
  } while (r == DLG_NADA);
  dlg_desapilar_dialogo();

  if (debajo != nullptr) {
    blit(debajo, buffer, 0, 0, bx, by, ANCHO_CAJA, ALTO_CAJA);
    destroy_bitmap(debajo);
  }
  return r == 1 ? DLG_NADA : 1;
}

void crear_botones_partida()
{
  crear_botones_grandes(BOTONES, std::size(BOTONES));
}

void colocar_texto_botones_partida()
{
  colocar_textos(TEXTOS, std::size(TEXTOS));
}
