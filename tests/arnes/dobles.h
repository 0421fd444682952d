// Scripted stand-ins for a few library calls, so tests can make the display
// refuse a mode, count what is loaded and freed, and read fatal messages
// instead of waiting on a message box. Linked in with the linker's --wrap:
// they apply to calls made from the game's code and the tests, not to the
// library's calls to itself.
#pragma once

#include <allegro.h>

#include <deque>
#include <string>
#include <vector>

struct llamada_gfx {
  int tarjeta, ancho, alto, profundidad;
};

struct estado_dobles {
  // install_allegro: use the system without a display, or fail outright.
  bool sistema_sin_pantalla = false;
  bool sistema_falla = false;

  // set_gfx_mode: when `simular_gfx` is set, each call is recorded and
  // answered with the next scripted result (0 accepts; an empty script
  // accepts) without touching a real display.
  bool simular_gfx = false;
  std::deque<int> resultados_gfx;
  std::vector<llamada_gfx> llamadas_gfx;

  // allegro_message: always recorded here, never shown.
  std::vector<std::string> mensajes;

  int cargas_datafile = 0;

  // destroy_bitmap: every pointer our code frees, in order.
  std::vector<BITMAP *> destruidos;

  // create_bitmap: refuses bitmaps of exactly this size (0 x 0: none), as
  // when memory runs out.
  int sin_memoria_ancho = 0, sin_memoria_alto = 0;
};

extern estado_dobles dobles;

// Back to plain pass-through behaviour.
void reiniciar_dobles();
