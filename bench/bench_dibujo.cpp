// How long one frame of the board and the beam takes to draw, next to the
// least any frame costs: one plain copy of the 1024 x 768 buffer.
#include <allegro.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fotonauta/fotonauta.h"
#include "juego/juego.h"
#include "serpentina.h"

namespace {

int profundidad_cargada = 0;

// Loads the pictures at the given colour depth, once per depth.
void preparar(int profundidad)
{
  if (profundidad_cargada == profundidad) {
    return;
  }
  if (profundidad_cargada != 0) {
    fin_allegro();
  }
  set_color_depth(profundidad);
  buffer = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
  clear_bitmap(buffer);
  if (cargar_graficos() != 0) {
    abort();
  }
  profundidad_cargada = profundidad;
}

// Arguments: the colour depth, and 1 to add the beam through the tables
// (as the game does) or 0 to leave every pixel to Allegro, as before them.
void fotograma_tablero(benchmark::State &state)
{
  preparar(static_cast<int>(state.range(0)));
  relleno_aditivo_rapido = static_cast<uint8_t>(state.range(1));
  nucleo.dt_partida.energia = 64;
  const escena e = montar_escena();
  for (auto _ : state) {
    restaurar_escena(e);
    dibujar_mapa(1, buffer);
    dibujar_rayo();
    benchmark::ClobberMemory();
  }
  relleno_aditivo_rapido = 1;
}
BENCHMARK(fotograma_tablero)->Args({16, 1})->Args({32, 1})->Args({16, 0})->Args({32, 0})->Unit(benchmark::kMicrosecond);

// The menu's logo, a masked sprite drawn every frame of the menu: as a
// bitmap (0) or as runs of opaque pixels (1).
void logo_menu(benchmark::State &state)
{
  preparar(static_cast<int>(state.range(0)));
  RLE_SPRITE *rle = state.range(1) ? get_rle_sprite(logo) : nullptr;
  for (auto _ : state) {
    if (rle != nullptr) {
      draw_rle_sprite(buffer, rle, 118, 128);
    } else {
      draw_sprite(buffer, logo, 118, 128);
    }
    benchmark::ClobberMemory();
  }
  if (rle != nullptr) {
    destroy_rle_sprite(rle);
  }
}
BENCHMARK(logo_menu)->Args({16, 0})->Args({16, 1})->Args({32, 0})->Args({32, 1})->Unit(benchmark::kMicrosecond);

void copia_buffer(benchmark::State &state)
{
  preparar(static_cast<int>(state.range(0)));
  BITMAP *otro = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
  for (auto _ : state) {
    blit(buffer, otro, 0, 0, 0, 0, ANCHO_PANTALLA, ALTO_PANTALLA);
    benchmark::ClobberMemory();
  }
  destroy_bitmap(otro);
}
BENCHMARK(copia_buffer)->Arg(16)->Arg(32)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv)
{
  if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0 || chdir(FOTONAUTA_DATOS_DIR) != 0) {
    fprintf(stderr, "cannot start Allegro or find the data files in %s\n", FOTONAUTA_DATOS_DIR);
    return 1;
  }
  set_uformat(U_ASCII);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
