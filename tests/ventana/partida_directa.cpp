// The game started straight into a normal game, as the main menu's Play
// button will: for tests of the real window until the menu exists.
#include "audio/audio.h"
#include "fotonauta/fotonauta.h"
#include "juego/juego.h"
#include "tiempo/tiempo.h"

int main()
{
  if (ini_allegro() != 0) {
    return -1;
  }
  ini_tiempo();
  ini_audio();
  ini_dialogos();
  ini_juego();
  leer_cfg();
  colocar_texto_botones();
  juego(0);
  fin_audio();
  fin_allegro();
  return 0;
}
END_OF_MAIN()
