// The program's entry point: the display, the frame clock, then the game.
#include "fotonauta/fotonauta.h"
#include "tiempo/tiempo.h"

int main()
{
  if (ini_allegro() != 0) {
    return -1;
  }
  ini_tiempo();
  ejecutar_juego();
  return 0;
}
END_OF_MAIN()
