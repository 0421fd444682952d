// What the game's drawing calls that a page has no part of: the dialogs'
// buttons. A watched or played game in a page shows none (the viewer's
// panel in the game has none either); the page has its own controls.
#include "dlg/dlg.h"

void dlg_apilar_dialogo(int8_t) {}
void dlg_desapilar_dialogo() {}
void dlg_dibujar_botones(BITMAP *) {}
// Nothing waits on a button here: the screens after a game's end are the
// page's.
int32_t dlg_comprobar(BITMAP *)
{
  return 0;
}
