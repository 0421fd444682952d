// The program's runs once the display and the frame clock are up: the game
// with its menus, and a recording watched.
#include "audio/audio.h"
#include "fotonauta/fotonauta.h"
#include "juego/juego.h"

// Frames of black screen between start-up and the first thing shown.
constexpr int8_t FOTOGRAMAS_NEGRO = 38;

void ejecutar_juego()
{
  ini_audio();
  ini_dialogos();
  ini_juego();

  clear_to_color(buffer, 0);
  for (int8_t i = 0; i < FOTOGRAMAS_NEGRO; ++i) {
    paso_fotograma();
  }

  leer_cfg();
  leer_pnt();
  intro();
  menu_principal();

  fin_audio();
  fin_allegro();
}

void ejecutar_repeticion(const repeticion &r, uint32_t desde)
{
  ini_audio();
  ini_dialogos();
  ini_juego();
  clear_to_color(buffer, 0);
  // The language and the volumes are the player's; a first run asks.
  leer_cfg();
  ver_repeticion(r, desde);
  fin_audio();
  fin_allegro();
}

