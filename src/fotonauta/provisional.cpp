// Stand-ins for the screens that are not built yet: each does the least
// that keeps start-up and shutdown running in their real order.
#include "dlg/dlg.h"
#include "fotonauta/fotonauta.h"

void leer_cfg()
{
}

void escribir_cfg()
{
}

void leer_pnt()
{
}

int8_t preguntar_nivel()
{
  return 0;
}

void introducir_puntuacion(int32_t, int8_t)
{
}

void intro()
{
}

void menu_principal()
{
}

// The screens that buttons open: each returns at once, keeping the screen
// that called it open.

int8_t opciones(int8_t)
{
  return DLG_NADA;
}

int8_t modif_volson(int8_t)
{
  return DLG_NADA;
}

int8_t modif_volmus(int8_t)
{
  return DLG_NADA;
}

int8_t puntuaciones(int8_t)
{
  return DLG_NADA;
}

int8_t enviar_puntuaciones(int8_t)
{
  return DLG_NADA;
}
