// The game's own drawing of a recording, natively, for the WebAssembly
// test to compare its pictures with: real Allegro on 16-bit memory bitmaps
// (no window), the data files read as the game reads them, the recording
// played as the game's viewer plays it. It picks frames that show each
// thing drawn (a board sliding in, the scramble, gremlins, the beam in
// each state, a completed level's count, a lost life, a late frame) and
// writes each as raw 5.6.5 pixels (red on top, whichever order the library
// keeps them in here), little-endian, to DIR/N.565; on standard output,
// "N what" a line.
//
//   dibujo_nativo DATOS_DIR FILE.frep DIR
#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "cargador/cargador.h"
#include "juego/juego.h"
#include "pantalla/pantalla.h"
#include "repeticion/repeticion.h"

namespace {

DATAFILE *leer(const std::string &ruta, bool fuentes)
{
  DATAFILE *d = leer_datafile(ruta.c_str());
  const std::string fallo = d == nullptr ? "unreadable" : comprobar_graficos(d, fuentes, ruta.c_str());
  if (!fallo.empty()) {
    fprintf(stderr, "%s: %s\n", ruta.c_str(), fallo.c_str());
    exit(1);
  }
  return d;
}

// What a frame shows, by the sequence under way as it is played and, for
// a frame of play, what it drew; empty for nothing new.
std::string que_muestra(const datos_secuencia &q)
{
  switch (q.tipo) {
  case secuencia_inicio_nivel:
    if (q.parte == parte_deslizamiento) {
      return q.fotograma == q.duracion / 2 ? "deslizamiento" : "";
    }
    return q.parte == parte_revuelta && q.paso == 5 ? "revuelta" : "";
  case secuencia_contacto:
    return q.parte == parte_celebracion && q.fotograma == 3   ? "celebracion"
           : q.parte == parte_energia && q.fotograma == 0     ? "energia"
           : q.parte == parte_vida && q.fotograma == 0        ? "vida"
                                                              : "";
  case secuencia_vida_perdida:
    return q.fotograma == 0 ? std::string("vida_perdida_") + std::to_string(q.motivo) : "";
  case secuencia_final:
    return q.parte == parte_rayo_final ? "final" : "";
  default:
    break;
  }
  bool gremlin = false;
  for (const datos_gremlin &g : nucleo.dt_gremlin) {
    gremlin = gremlin || g.espera == 0;
  }
  return gremlin ? "gremlin" : "rayo_" + std::to_string(nucleo.dt_rayo.estado);
}

}  // namespace

int main(int argc, char **argv)
{
  if (argc != 4) {
    fprintf(stderr, "usage: dibujo_nativo DATOS_DIR FILE.frep DIR\n");
    return 2;
  }
  if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
    return 1;
  }
  // As the game sets the library up: one byte a character, 16 bits a
  // pixel, its first blender.
  set_uformat(U_ASCII);
  set_color_depth(16);
  set_trans_blender(0, 0, 0, 240);
  const std::string datos = argv[1];
  tomar_graficos(leer(datos + "/grf.dat", false), leer(datos + "/fuentes.dat", true));
  buffer = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
  clear_bitmap(buffer);
  crear_colores_juego();
  crear_marcador_partida();

  repeticion r;
  std::string error;
  lector_repeticion l;
  if (!leer_repeticion(argv[2], r, error) || !empezar_reproduccion(l, r, nullptr, error)) {
    fprintf(stderr, "%s: %s\n", argv[2], error.c_str());
    return 1;
  }
  empezar_dibujo(r.cabecera.semilla);
  detener_efectos();
  std::set<std::string> vistos;
  const uint32_t tarde = r.cabecera.fotogramas * 9 / 10;
  for (uint32_t f = 0; reproduccion_en_curso(l); ++f) {
    const datos_secuencia q = nucleo.secuencia;
    const bool de_juego = !en_secuencia();
    if (de_juego) {
      dibujar_estado();
    }
    const bool era_tarde = l.fotograma == tarde;
    reproducir_fotograma(l, &ganchos_pantalla);
    std::string que = de_juego && era_tarde ? "tarde" : que_muestra(q);
    if (que.empty() || !vistos.insert(que).second) {
      continue;
    }
    const std::string ruta = std::string(argv[3]) + "/" + std::to_string(f) + ".565";
    FILE *s = fopen(ruta.c_str(), "wb");
    for (int y = 0; s != nullptr && y < ALTO_PANTALLA; ++y) {
      for (int x = 0; x < ANCHO_PANTALLA; ++x) {
        const int c = getpixel(buffer, x, y);
        const int p = ((getr(c) >> 3) << 11) | ((getg(c) >> 2) << 5) | (getb(c) >> 3);
        const unsigned char b[2] = {static_cast<unsigned char>(p), static_cast<unsigned char>(p >> 8)};
        fwrite(b, 1, 2, s);
      }
    }
    if (s == nullptr || fclose(s) != 0) {
      fprintf(stderr, "cannot write %s\n", ruta.c_str());
      return 1;
    }
    printf("%u %s\n", f, que.c_str());
  }
  return 0;
}
