// Says which tile a board cell of a screenshot shows, by comparing the
// cell's 64 x 64 pixels with every tile of the sheet: how the real-window
// tests read the board (a mirror's angle, a target gone) from outside.
//
//   loseta_en_celda captura.png|VENTANA hoja_losetas.png CELDA...
//
// prints the best tile number for each cell, one a line. In place of the
// screenshot a window id (0x..., as xwininfo prints it) reads the window
// itself, with no picture written and read in between.
#include "captura_x.h"

#include <cairo.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int LADO = 64;
constexpr int LOSETAS = 180;
// Two pixels alike: each channel within about 20, which a 16-bit screen's
// rounding stays well inside.
constexpr int64_t TOLERANCIA = 3 * 20 * 20;
// Every other pixel is plenty to tell the tiles apart.
constexpr int PASO = 2;

uint32_t pixel(cairo_surface_t *s, int x, int y)
{
  const unsigned char *datos = cairo_image_surface_get_data(s);
  return reinterpret_cast<const uint32_t *>(datos + y * cairo_image_surface_get_stride(s))[x];
}

int64_t diferencia(uint32_t a, uint32_t b)
{
  int64_t d = 0;
  for (int s = 0; s < 24; s += 8) {
    const int64_t x = static_cast<int64_t>((a >> s) & 0xFF) - static_cast<int64_t>((b >> s) & 0xFF);
    d += x * x;
  }
  return d;
}

}  // namespace

int main(int argc, char **argv)
{
  if (argc < 4) {
    fprintf(stderr, "usage: loseta_en_celda captura.png|VENTANA hoja_losetas.png CELDA...\n");
    return 2;
  }
  // The cells asked for, and the rectangle of the board that holds them.
  int celdas[135];
  const int n = argc - 3;
  if (n > 135) {
    fprintf(stderr, "loseta_en_celda: more cells than the board has\n");
    return 2;
  }
  int x_min = 32 + 15 * LADO, y_min = 32 + 9 * LADO, x_max = 0, y_max = 0;
  for (int i = 0; i < n; ++i) {
    char *fin = nullptr;
    const long c = strtol(argv[i + 3], &fin, 10);
    if (fin == argv[i + 3] || *fin != '\0' || c < 0 || c >= 135) {
      fprintf(stderr, "loseta_en_celda: no board cell %s\n", argv[i + 3]);
      return 2;
    }
    celdas[i] = static_cast<int>(c);
    const int x0 = 32 + LADO * (celdas[i] % 15), y0 = 32 + LADO * (celdas[i] / 15);
    x_min = x0 < x_min ? x0 : x_min;
    y_min = y0 < y_min ? y0 : y_min;
    x_max = x0 + LADO > x_max ? x0 + LADO : x_max;
    y_max = y0 + LADO > y_max ? y0 + LADO : y_max;
  }
  // From a window only that rectangle is read: less for the X server to
  // copy while the game draws.
  int ox = 0, oy = 0;
  cairo_surface_t *captura = nullptr;
  if (es_id_ventana(argv[1])) {
    captura = leer_ventana(argv[1], x_max - x_min, y_max - y_min, x_min, y_min);
    ox = x_min;
    oy = y_min;
  } else {
    captura = cairo_image_surface_create_from_png(argv[1]);
  }
  if (captura == nullptr) {
    return 1;
  }
  cairo_surface_t *hoja = cairo_image_surface_create_from_png(argv[2]);
  if (cairo_surface_status(captura) != CAIRO_STATUS_SUCCESS || cairo_surface_status(hoja) != CAIRO_STATUS_SUCCESS) {
    fprintf(stderr, "loseta_en_celda: cannot read the pictures\n");
    cairo_surface_destroy(captura);
    cairo_surface_destroy(hoja);
    return 1;
  }
  // A picture too small for the cells or the sheet would be read past its end.
  if (cairo_image_surface_get_width(captura) < x_max - ox || cairo_image_surface_get_height(captura) < y_max - oy ||
      cairo_image_surface_get_width(hoja) < 4 * LADO || cairo_image_surface_get_height(hoja) < LOSETAS / 4 * LADO) {
    fprintf(stderr, "loseta_en_celda: the screenshot or the tile sheet is too small\n");
    cairo_surface_destroy(captura);
    cairo_surface_destroy(hoja);
    return 1;
  }
  for (int i = 0; i < n; ++i) {
    const int x0 = 32 + LADO * (celdas[i] % 15) - ox, y0 = 32 + LADO * (celdas[i] / 15) - oy;
    // The tile that matches the most pixels, not the one nearest on the
    // whole: the beam and the pointer cover part of a cell, and summed
    // differences under them favour whichever tile is brighter there (a
    // mirror whose bar lies under the beam), while a covered pixel simply
    // matches no tile.
    int mejor = -1;
    int mas = -1;
    for (int t = 0; t < LOSETAS; ++t) {
      const int tx = LADO * (t % 4), ty = LADO * (t / 4);
      int iguales = 0;
      for (int y = 0; y < LADO; y += PASO) {
        for (int x = 0; x < LADO; x += PASO) {
          iguales += diferencia(pixel(captura, x0 + x, y0 + y), pixel(hoja, tx + x, ty + y)) <= TOLERANCIA;
        }
      }
      if (iguales > mas) {
        mejor = t;
        mas = iguales;
      }
    }
    printf("%d\n", mejor);
  }
  cairo_surface_destroy(captura);
  cairo_surface_destroy(hoja);
  return 0;
}
