// The display modes each program tries, in order. The windowed program
// opens a 16-bit window and falls back to full screen at 32 bits; the
// full-screen program never opens a window.
#include "pantalla/pantalla.h"

#ifdef FOTONAUTA_PANTALLA_COMPLETA
const modo_video modos_video[2] = {
    {GFX_AUTODETECT_FULLSCREEN, 16},
    {GFX_AUTODETECT_FULLSCREEN, 32},
};
#else
const modo_video modos_video[2] = {
    {GFX_AUTODETECT_WINDOWED, 16},
    {GFX_AUTODETECT_FULLSCREEN, 32},
};
#endif
