// The table of elements: what each level byte is. It needs nothing but the
// header's constants, so the level format's reader links it on its own.
#include "nucleo/nucleo.h"

const elemento_nivel ELEMENTOS[NUM_ELEMENTOS] = {
    {63, 0, 1, vacio, "..", 80, {"Suelo", "Floor"}},
    {47, 0, 1, detonador, "tt", 135, {"Detonador", "Target"}},
    // By the side it opens to: 0 down, 1 left, 2 up, 3 right.
    {2, 0, 4, emisor, "E", 0, {"Emisor", "Emitter"}},
    {10, 0, 4, receptor, "R", 160, {"Receptor", "Receiver"}},
    // Its byte's angle is only what the editor shows: the game draws one.
    {16, 0, 16, espejo, "m", 16, {"Espejo", "Mirror"}},
    // By its starting angle.
    {86, 0, 16, espejo_giratorio, "g", 16, {"Espejo giratorio", "Self-turning mirror"}},
    // By the mask of the quarters it fills, 1 to f.
    {31, 1, 16, muro, "a", 31, {"Muro absorbente", "Absorbing wall"}},
    {47, 1, 16, muro_reflectante, "r", 47, {"Muro reflectante", "Reflecting wall"}},
    // By axis, 0 to 7; the self-turning ones by their starting axis.
    {64, 0, 8, polarizador_reflectante, "p", 64, {"Polarizador reflectante", "Reflecting polariser"}},
    {72, 0, 8, polarizador_absorbente, "q", 72, {"Polarizador absorbente", "Absorbing polariser"}},
    {102, 0, 8, polarizador_reflectante_giratorio, "P", 64,
     {"Polarizador refl. giratorio", "Self-turning refl. polariser"}},
    {110, 0, 8, polarizador_absorbente_giratorio, "Q", 72,
     {"Polarizador abs. giratorio", "Self-turning abs. polariser"}},
    {80, 0, 1, reemisor, "ee", 128, {"Reemisor", "Re-emitter"}},
    // By pair, 0 to 3.
    {81, 0, 4, foptica, "f", 96, {"Fibra \xF3ptica", "Fibre optic"}},
    {85, 0, 1, mina, "xx", 92, {"Mina", "Mine"}},
};

int elemento_de_byte(uint8_t b, int *variante)
{
  for (int e = 0; e < NUM_ELEMENTOS; ++e) {
    const elemento_nivel &f = ELEMENTOS[e];
    const int v = b - f.primero;
    if (v >= f.minimo && v < f.variantes) {
      if (variante != nullptr) {
        *variante = v;
      }
      return e;
    }
  }
  return -1;
}
