// The floor strip of two rows of tiles along the bottom of the menu screens
// and behind the status strip.
#include "nucleo/nucleo.h"
#include "pantalla/pantalla.h"

// The strip's tiles in row order, as stored relative to the first floor
// tile; convertir_base turns them into tile numbers.
uint8_t base[NUM_BASE] = {
    3, 1, 2, 6, 0, 3, 1, 2, 3, 5, 0, 1, 0, 1, 5, 3,
    0, 3, 1, 4, 0, 3, 6, 4, 3, 2, 4, 5, 4, 3, 1, 0,
};

void convertir_base()
{
  // Every screen that draws the strip asks for the conversion, and only the
  // first does it, so no screen depends on which one the player saw first.
  static bool convertida = false;
  if (convertida) {
    return;
  }
  for (uint8_t &t : base) {
    t = static_cast<uint8_t>(t + primer_grf[vacio]);
  }
  convertida = true;
}
