// Stand-ins for the screens that are not built yet: each does the least
// that keeps start-up and shutdown running in their real order.
#include "fotonauta/fotonauta.h"

void ini_dialogos()
{
  install_mouse();
  set_mouse_sprite(puntero);
}

void leer_cfg()
{
}

void leer_pnt()
{
}

void intro()
{
}

void menu_principal()
{
}
