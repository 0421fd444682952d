// Says which tile a board cell of a screenshot shows, by comparing the
// cell's 64 x 64 pixels with every tile of the sheet: how the real-window
// tests read the board (a mirror's angle, a target gone) from outside.
//
//   loseta_en_celda captura.png hoja_losetas.png CELDA...
//
// prints the best tile number for each cell, one a line.
#include <cairo.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int LADO = 64;
constexpr int LOSETAS = 180;

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
    fprintf(stderr, "usage: loseta_en_celda captura.png hoja_losetas.png CELDA...\n");
    return 2;
  }
  cairo_surface_t *captura = cairo_image_surface_create_from_png(argv[1]);
  cairo_surface_t *hoja = cairo_image_surface_create_from_png(argv[2]);
  if (cairo_surface_status(captura) != CAIRO_STATUS_SUCCESS || cairo_surface_status(hoja) != CAIRO_STATUS_SUCCESS) {
    fprintf(stderr, "loseta_en_celda: cannot read the pictures\n");
    cairo_surface_destroy(captura);
    cairo_surface_destroy(hoja);
    return 1;
  }
  for (int i = 3; i < argc; ++i) {
    const int celda = atoi(argv[i]);
    const int x0 = 32 + LADO * (celda % 15), y0 = 32 + LADO * (celda / 15);
    int mejor = -1;
    int64_t menor = 0;
    for (int t = 0; t < LOSETAS; ++t) {
      const int tx = LADO * (t % 4), ty = LADO * (t / 4);
      int64_t suma = 0;
      // Every other pixel is plenty to tell the tiles apart.
      for (int y = 0; y < LADO; y += 2) {
        for (int x = 0; x < LADO; x += 2) {
          suma += diferencia(pixel(captura, x0 + x, y0 + y), pixel(hoja, tx + x, ty + y));
        }
      }
      if (mejor < 0 || suma < menor) {
        mejor = t;
        menor = suma;
      }
    }
    printf("%d\n", mejor);
  }
  cairo_surface_destroy(captura);
  cairo_surface_destroy(hoja);
  return 0;
}
