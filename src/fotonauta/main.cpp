// The program's entry point: starts every subsystem in order, runs the
// main menu and shuts down.
#include "audio/audio.h"
#include "fotonauta/fotonauta.h"
#include "juego/juego.h"
#include "tiempo/tiempo.h"

// Frames of black screen between start-up and the first thing shown.
constexpr int8_t FOTOGRAMAS_NEGRO = 38;

int main()
{
  if (ini_allegro() != 0) {
    return -1;
  }
  ini_tiempo();
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
  return 0;
}
END_OF_MAIN()
