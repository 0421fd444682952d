// What a look at the mouse buttons reports, from the press counts: the
// part of the press latch that is rules, not devices, shared with the web
// build.
#include "dlg/dlg.h"

bool dlg_mirando(bool miro, uint32_t fotograma, uint32_t mostrados)
{
  // A reader that looked at one of the last few frames shown sees every
  // press since its last look, however long ago that was, so a frame held
  // up by a busy machine loses nothing. One that was not looking while
  // frames were shown (another screen, or a sequence, held the display)
  // starts afresh, seeing no press made before this look: those were made
  // on another picture.
  return miro && mostrados - fotograma <= FOTOGRAMAS_SIN_MIRAR;
}

int dlg_ver_botones(t_vista_raton &vista, const uint32_t pulsaciones[BOTONES_RATON], int abajo)
{
  int nuevos = 0;
  int soltados = 0;
  for (int b = 0; b < BOTONES_RATON; ++b) {
    if (pulsaciones[b] == vista.pulsaciones[b]) {
      continue;
    }
    // A reader told at its last look that the button was down must first
    // see the release that came before this press: told "down" again, it
    // would take a release and a new press (a tap on one mirror, then on
    // another, within one logic step) for the same press held on.
    if ((vista.botones & (1 << b)) != 0) {
      soltados |= 1 << b;
    } else {
      nuevos |= 1 << b;
      vista.pulsaciones[b] = pulsaciones[b];
    }
  }
  vista.botones = (abajo | nuevos) & ~soltados;
  return nuevos;
}
