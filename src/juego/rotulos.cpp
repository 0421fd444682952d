// Lines over the frame's two border strips, above and below the board,
// where they hide nothing of the game and no button: the viewer's caption
// and keys, a game's title, its notices and its bonus count. They are
// drawn for the copy to the window only; `buffer` keeps what the game drew.
#include <allegro.h>

#include "pantalla/pantalla.h"
#include "juego/juego.h"

namespace {

constexpr int ALTO_FRANJA = ORIGEN_TABLERO;
constexpr int Y_FRANJA_ABAJO = ORIGEN_TABLERO + FILAS * LADO_CELDA;
constexpr int MARGEN_TEXTO = 5;
constexpr int MARGEN_BANDA = 12;
constexpr int OPACIDAD_BANDA = 170;

// What the lines cover, put back after the copy.
BITMAP *debajo_arriba = nullptr;
BITMAP *debajo_abajo = nullptr;

// A line centred on a dark band, which the border's rivets do not show
// through.
void dibujar_linea(const std::string &texto, int y_franja)
{
  FONT *fuente = static_cast<FONT *>(f_fnt[FNT_BOTONES].dat);
  const int y = y_franja + MARGEN_TEXTO;
  const int medio = text_length(fuente, texto.c_str()) / 2 + MARGEN_BANDA;
  set_trans_blender(0, 0, 0, OPACIDAD_BANDA);
  drawing_mode(DRAW_MODE_TRANS, nullptr, 0, 0);
  rectfill(buffer, ANCHO_PANTALLA / 2 - medio, y - 2, ANCHO_PANTALLA / 2 + medio, y + text_height(fuente) + 1,
           makecol(0, 0, 0));
  drawing_mode(DRAW_MODE_SOLID, nullptr, 0, 0);
  textout_centre_ex(buffer, fuente, texto.c_str(), ANCHO_PANTALLA / 2, y, -1, -1);
}

bool guardar_franja(BITMAP *&copia, int y)
{
  if (copia == nullptr) {
    copia = create_bitmap(ANCHO_PANTALLA, ALTO_FRANJA);
  }
  if (copia != nullptr) {
    blit(buffer, copia, 0, y, 0, 0, ANCHO_PANTALLA, ALTO_FRANJA);
  }
  return copia != nullptr;
}

}  // namespace

void presentar_con_rotulos(const std::string &arriba, const std::string &abajo, void (*presentar)())
{
  // Over whatever clipping a sequence keeps on the frame (a board sliding
  // in draws inside the board only).
  int x0, y0, x1, y1;
  get_clip_rect(buffer, &x0, &y0, &x1, &y1);
  set_clip_rect(buffer, 0, 0, ANCHO_PANTALLA - 1, ALTO_PANTALLA - 1);
  // Without memory for the copy of what it covers, a line is left out
  // rather than left on the game's frame.
  const bool con_arriba = !arriba.empty() && guardar_franja(debajo_arriba, 0);
  const bool con_abajo = !abajo.empty() && guardar_franja(debajo_abajo, Y_FRANJA_ABAJO);
  if (con_arriba) {
    dibujar_linea(arriba, 0);
  }
  if (con_abajo) {
    dibujar_linea(abajo, Y_FRANJA_ABAJO);
  }
  presentar();
  if (con_arriba) {
    blit(debajo_arriba, buffer, 0, 0, 0, 0, ANCHO_PANTALLA, ALTO_FRANJA);
  }
  if (con_abajo) {
    blit(debajo_abajo, buffer, 0, 0, 0, Y_FRANJA_ABAJO, ANCHO_PANTALLA, ALTO_FRANJA);
  }
  set_clip_rect(buffer, x0, y0, x1, y1);
}
