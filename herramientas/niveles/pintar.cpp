// Draws a level with its beam into a PNG, with the game's own drawing code,
// so every level's look can be reviewed without playing it.
#include "pintar.h"

#include <allegro.h>
#include <cairo.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fotonauta/fotonauta.h"
#include "juego/juego.h"

namespace {

// The data files sit beside the tool, in the build's datos folder.
std::filesystem::path carpeta_datos()
{
  return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "datos";
}

bool leer_entero(const char *texto, int minimo, int maximo, int &valor)
{
  char *fin = nullptr;
  const long n = strtol(texto, &fin, 10);
  if (fin == texto || *fin != '\0' || n < minimo || n > maximo) {
    return false;
  }
  valor = static_cast<int>(n);
  return true;
}

bool guardar_png(BITMAP *b, const std::string &ruta)
{
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, b->w, b->h);
  unsigned char *datos = cairo_image_surface_get_data(s);
  const int paso = cairo_image_surface_get_stride(s);
  const int profundidad = bitmap_color_depth(b);
  cairo_surface_flush(s);
  for (int y = 0; y < b->h; ++y) {
    uint32_t *fila = reinterpret_cast<uint32_t *>(datos + y * paso);
    for (int x = 0; x < b->w; ++x) {
      const int c = getpixel(b, x, y);
      fila[x] = (static_cast<uint32_t>(getr_depth(profundidad, c)) << 16) |
                (static_cast<uint32_t>(getg_depth(profundidad, c)) << 8) |
                static_cast<uint32_t>(getb_depth(profundidad, c));
    }
  }
  cairo_surface_mark_dirty(s);
  const bool bien = cairo_surface_write_to_png(s, ruta.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(s);
  return bien;
}

}  // namespace

int pintar(int num_argumentos, char **argumentos)
{
  int nivel = 0;
  if (num_argumentos < 2 || !leer_entero(argumentos[0], 0, NUM_NIVELES - 1, nivel)) {
    fprintf(stderr, "usage: niveles pintar N fichero.png [espejos A...]  (N 0-%d)\n", NUM_NIVELES - 1);
    return 2;
  }
  const std::string salida = std::filesystem::absolute(argumentos[1]).string();
  std::vector<int> angulos;
  if (num_argumentos > 2) {
    if (std::string(argumentos[2]) != "espejos") {
      fprintf(stderr, "niveles pintar: expected 'espejos', found '%s'\n", argumentos[2]);
      return 2;
    }
    for (int i = 3; i < num_argumentos; ++i) {
      int a;
      if (!leer_entero(argumentos[i], 0, 15, a)) {
        fprintf(stderr, "niveles pintar: '%s' is not a mirror angle 0-15\n", argumentos[i]);
        return 2;
      }
      angulos.push_back(a);
    }
  }

  if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
    fprintf(stderr, "niveles pintar: cannot start Allegro\n");
    return 1;
  }
  set_uformat(U_ASCII);
  set_color_depth(32);
  const std::filesystem::path datos = carpeta_datos();
  if (chdir(datos.c_str()) != 0) {
    fprintf(stderr, "niveles pintar: no data folder at %s\n", datos.c_str());
    return 1;
  }
  buffer = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
  clear_bitmap(buffer);
  if (cargar_graficos() != 0) {
    return 1;
  }

  cargar_nivel(nivel);
  size_t espejos = 0;
  for (celda &e : nucleo.est_nivel) {
    if (e.tipo == espejo) {
      if (espejos < angulos.size()) {
        e.valor = static_cast<uint8_t>(angulos[espejos]);
        e.grf = static_cast<uint8_t>(primer_grf[espejo] + e.valor);
      }
      ++espejos;
    }
  }
  if (!angulos.empty() && espejos != angulos.size()) {
    fprintf(stderr, "niveles pintar: level %d has %zu mirrors, %zu angles given\n", nivel, espejos, angulos.size());
    return 2;
  }
  nucleo.dt_partida.energia = 64;
  calcular_rayo();
  dibujar_mapa(1, buffer);
  dibujar_rayo();

  const bool bien = guardar_png(buffer, salida);
  fin_allegro();
  if (!bien) {
    fprintf(stderr, "niveles pintar: cannot write %s\n", salida.c_str());
    return 1;
  }
  printf("estado %d puntos %d\n", nucleo.dt_rayo.estado, nucleo.dt_rayo.n_puntos);
  return 0;
}
