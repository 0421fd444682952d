// Drawing the beam: three nested glowing layers, added onto the board.
#include <allegro.h>

#include <algorithm>

#include "pantalla/pantalla.h"
#include "juego/juego.h"

namespace {

// The two values a component of the drifting colour moves between; the
// distance is nine steps of 24.
constexpr uint8_t COMPONENTE_BAJA = 15;
constexpr uint8_t COMPONENTE_ALTA = 231;
constexpr uint8_t PASO_COLOR = 24;

// The harmless beam's colour drifts from one pure colour to a neighbouring
// one (dibujo.color_rayo, heading for dibujo.destino_rayo).

constexpr int CAPAS = 3;
constexpr int RADIO[CAPAS] = {5, 3, 1};

// Offsets from a segment's centre line to one of its edges, by layer and by
// the segment's axis (direction mod 8).
constexpr int ANCHO_W[CAPAS][8] = {
    {-5, -5, -4, -2, 0, 2, 4, 5},
    {-3, -3, -2, -1, 0, 1, 2, 3},
    {-1, -1, -1, 0, 0, 0, 1, 1},
};
constexpr int ANCHO_H[CAPAS][8] = {
    {0, -2, -3, -5, -5, -5, -3, -2},
    {0, -1, -2, -3, -3, -3, -2, -1},
    {0, 0, -1, -1, -1, -1, -1, 0},
};

// The beam never covers the status strip under the board.
constexpr int ULTIMA_FILA_RAYO = 639;

int alfa_rayo()
{
  if (nucleo.dt_rayo.estado == rayo_conectado) {
    return 150;
  }
  const int e = nucleo.dt_partida.energia;
  return e < 5 ? 50 : e < 10 ? 75 : e < 15 ? 100 : e < 20 ? 125 : 150;
}

uint8_t componente_al_azar()
{
  return azar_dibujo(2) == 0 ? COMPONENTE_BAJA : COMPONENTE_ALTA;
}

// Picks a new target next to the current colour when it has been reached,
// and takes one step towards it.
void derivar_color()
{
  uint8_t *color = dibujo.color_rayo;
  uint8_t *destino = dibujo.destino_rayo;
  if (std::equal(color, color + 3, destino)) {
    for (;;) {
      int distintos = 0, altos = 0;
      for (int i = 0; i < 3; ++i) {
        destino[i] = componente_al_azar();
        distintos += destino[i] != color[i];
        altos += destino[i] == COMPONENTE_ALTA;
      }
      if (distintos != 0 && distintos != 3 && altos != 0 && altos != 3) {
        break;
      }
    }
  }
  for (int i = 0; i < 3; ++i) {
    if (color[i] < destino[i]) {
      color[i] = static_cast<uint8_t>(color[i] + PASO_COLOR);
    }
    if (color[i] > destino[i]) {
      color[i] = static_cast<uint8_t>(color[i] - PASO_COLOR);
    }
  }
}

int aclarar(int componente, int cuanto)
{
  return std::min(255, componente + cuanto);
}

// The three layer colours, outer first, by the beam's state.
void colores_capas(int capas[CAPAS])
{
  const uint8_t *color = dibujo.color_rayo;
  switch (nucleo.dt_rayo.estado) {
  case rayo_sobrecarga:
    capas[0] = makecol(200, 200, 0);
    capas[1] = makecol(100, 100, 0);
    capas[2] = makecol(255, 255, 0);
    break;
  case rayo_mina:
    capas[0] = makecol(255, 0, 0);
    capas[1] = makecol(255, 64, 64);
    capas[2] = makecol(255, 80, 128);
    break;
  case rayo_conectado:
    capas[0] = makecol(0, 200, 0);
    capas[1] = makecol(0, 200, 0);
    capas[2] = makecol(165, 255, 165);
    break;
  default:
    capas[0] = makecol(color[0], color[1], color[2]);
    capas[1] = makecol(aclarar(color[0], 24), aclarar(color[1], 24), aclarar(color[2], 24));
    capas[2] = makecol(aclarar(color[0], 72), aclarar(color[1], 72), aclarar(color[2], 72));
    break;
  }
}

int pixel_x(const punto_rayo &p)
{
  return 16 * p.x + ORIGEN_TABLERO;
}

int pixel_y(const punto_rayo &p)
{
  return 16 * p.y + ORIGEN_TABLERO;
}

// How far the first segment reaches back into the emitter, by the
// direction it leaves in.
void tirar_hacia_emisor(uint8_t dir, int &sx, int &sy)
{
  switch (dir) {
  case 0: sy = 3; break;
  case 4: sx = -3; break;
  case 8: sy = -2; break;
  case 12: sx = 2; break;
  default: break;
  }
}

void dibujar_segmento(const punto_rayo &a, const punto_rayo &b, bool primero, bool entra_en_receptor,
                      const int capas[CAPAS])
{
  const uint8_t s = a.dir;
  const int k = s % 8;
  const int x0 = pixel_x(a), y0 = pixel_y(a), x1 = pixel_x(b), y1 = pixel_y(b);
  if (s % 4 == 0) {
    const int v = k == 0 ? 1 : 0;
    int sx = 0, sy = 0, ex = 0, ey = 0;
    if (primero) {
      tirar_hacia_emisor(nucleo.dt_rayo.punto[0].dir, sx, sy);
    }
    if (entra_en_receptor) {
      ex = x1 < x0 ? -5 : x1 > x0 ? 4 : 0;
      ey = y1 < y0 ? -5 : y1 > y0 ? 4 : 0;
    }
    for (int j = 0; j < CAPAS; ++j) {
      const int w = ANCHO_W[j][k], h = ANCHO_H[j][k];
      rectfill(buffer, x0 + w - v + sx, y0 + h - v + sy, x1 - w + ex, y1 - h + ey, capas[j]);
    }
  } else {
    for (int j = 0; j < CAPAS; ++j) {
      const int w = ANCHO_W[j][k], h = ANCHO_H[j][k];
      const int esquinas[8] = {x0 + w, y0 + h, x0 - w, y0 - h, x1 - w, y1 - h, x1 + w, y1 + h};
      polygon(buffer, 4, esquinas, capas[j]);
    }
  }
}

}  // namespace

#ifdef FOTONAUTA_PRUEBAS
void color_rayo(uint8_t actual[3], uint8_t objetivo[3])
{
  std::copy(dibujo.color_rayo, dibujo.color_rayo + 3, actual);
  std::copy(dibujo.destino_rayo, dibujo.destino_rayo + 3, objetivo);
}

void poner_color_rayo(const uint8_t actual[3], const uint8_t objetivo[3])
{
  std::copy(actual, actual + 3, dibujo.color_rayo);
  std::copy(objetivo, objetivo + 3, dibujo.destino_rayo);
}
#endif

void dibujar_rayo()
{
  set_add_blender(0, 0, 0, alfa_rayo());
  derivar_color();
  int capas[CAPAS];
  colores_capas(capas);

  drawing_mode(DRAW_MODE_TRANS, nullptr, 0, 0);
  // Within the caller's clipping (the editor keeps the beam on the board),
  // and never below the board's frame.
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  get_clip_rect(buffer, &x1, &y1, &x2, &y2);
  set_clip_rect(buffer, x1, y1, x2, std::min(y2, ULTIMA_FILA_RAYO));
  empezar_relleno_aditivo(buffer);

  const bool conectado = nucleo.dt_rayo.estado == rayo_conectado;
  const int ultimo = nucleo.dt_rayo.n_puntos - 1;
  for (int i = 1; i <= ultimo; ++i) {
    const punto_rayo &anterior = nucleo.dt_rayo.punto[i - 1];
    const punto_rayo &p = nucleo.dt_rayo.punto[i];
    // A beam that ends in the receiver has no round end.
    if (!(i == ultimo && conectado)) {
      for (int j = 0; j < CAPAS; ++j) {
        circlefill(buffer, pixel_x(p), pixel_y(p), RADIO[j], capas[j]);
      }
    }
    // Nothing is drawn across a jump (fibre optics, re-emitters).
    if (anterior.dir < DIR_SALTO) {
      dibujar_segmento(anterior, p, i == 1, i == ultimo && conectado, capas);
    }
  }

  terminar_relleno_aditivo();
  drawing_mode(DRAW_MODE_SOLID, nullptr, 0, 0);
  set_clip_rect(buffer, x1, y1, x2, y2);
}
