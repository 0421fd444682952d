// Saves a window of the X display, or a region of it, as a PNG: the
// screenshots that the playing tests poll while a level runs.
//
//   captura_ventana VENTANA salida.png [ANCHOxALTO+X+Y]
//
// VENTANA is the window id as xwininfo prints it (0x...); the region is in
// the window's coordinates, the whole window when none is given.
#include "captura_x.h"

int main(int argc, char **argv)
{
  if (argc < 3 || argc > 4) {
    fprintf(stderr, "usage: captura_ventana VENTANA salida.png [ANCHOxALTO+X+Y]\n");
    return 2;
  }
  int ancho = 0, alto = 0, x = 0, y = 0;
  char sobra = 0;
  if (argc == 4 && (sscanf(argv[3], "%dx%d+%d+%d%c", &ancho, &alto, &x, &y, &sobra) != 4 || ancho <= 0)) {
    fprintf(stderr, "captura_ventana: not a region: %s\n", argv[3]);
    return 2;
  }
  cairo_surface_t *imagen = leer_ventana(argv[1], ancho, alto, x, y);
  if (imagen == nullptr) {
    return 1;
  }
  const cairo_status_t estado = cairo_surface_write_to_png(imagen, argv[2]);
  cairo_surface_destroy(imagen);
  if (estado != CAIRO_STATUS_SUCCESS) {
    fprintf(stderr, "captura_ventana: cannot write %s: %s\n", argv[2], cairo_status_to_string(estado));
    return 1;
  }
  return 0;
}
