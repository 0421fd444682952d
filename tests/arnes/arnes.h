// The in-process test harness: runs the game's code on Allegro's system
// without a display, and drives screen loops frame by frame with scripted
// mouse and keyboard, as fast as the machine goes.
#pragma once

#include <allegro.h>

#include <functional>
#include <string>

#include "arnes/dobles.h"
#include "fotonauta/fotonauta.h"

// Starts Allegro with no display at `profundidad` bits per pixel, creates
// `buffer` and loads the graphic data files from the build's data folder
// (which becomes the working directory).
void arnes_iniciar(int profundidad);

// Frees what arnes_iniciar made and shuts Allegro down.
void arnes_terminar();

// What to do before each frame is "shown": `n` counts the frames shown so
// far, from 0. The script sets the input the game reads on the next frame.
using guion_fotogramas = std::function<void(int n)>;

// Replaces the frame step's wait and copy with `guion`. A screen loop that
// runs past `max_fotogramas` frames is stopped with an exception, so a test
// of a loop that never ends fails instead of hanging.
void arnes_guion(guion_fotogramas guion, int max_fotogramas = 100000);

// Frames shown since the last arnes_guion.
int arnes_fotogramas();

// Scripted input, as Allegro's mouse and keyboard globals.
void arnes_raton(int x, int y, int botones, int rueda = 0);
void arnes_tecla(int tecla, bool pulsada);

// The dialog on top of the toolkit's stack, or -1.
int8_t arnes_dialogo_vivo();

// One frame of a click on a button of a dialog: the pointer over its middle,
// the button down on `paso` 0 and up on any other.
void arnes_clic(int8_t dialogo, int8_t indice, int paso);

// Saves `buffer` as build/capturas/<nombre>.bmp for review.
void arnes_captura(const std::string &nombre);

// The pixel of `buffer` at (x, y) as red, green, blue.
struct color_rgb {
  int r, g, b;
};
color_rgb arnes_pixel(BITMAP *b, int x, int y);
