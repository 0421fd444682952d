// The library's internals the game reaches for (the blender, the pixel
// format, the span filler, the data file types): all in lienzo's allegro.h.
#pragma once

#include "lienzo/allegro.h"
