// The tile sheet's layout: which picture each run of tiles holds and what
// changes along the run. The generator draws every tile by it; the game's
// tests check the tiles its table of elements names against it. Needs no
// graphics library.
#pragma once

#include <cstdint>

enum dibujo_loseta : uint8_t {
    D_EMISOR,
    D_ESPEJO,
    D_MURO,
    D_SELECCION,
    D_MURO_REFLECTANTE,
    D_TE,
    D_POLARIZADOR_REFLECTANTE,
    D_POLARIZADOR_ABSORBENTE,
    D_SUELO,
    D_MINA,
    D_FIBRA,
    D_ESPEJO_ENCENDIDO,
    D_REEMISOR,
    D_SUELO_RECOMPUESTO,  // a dissolved gate's tile, composed by the game at run time
    D_QUEMADURA,          // a target gone
    D_DIANA,              // a target standing
    D_EXPLOSION_FUEGO,
    D_EXPLOSION_ESQUIRLAS,
    D_DISOLUCION,
    D_RECEPTOR,
    D_DUENDE,
};

// A run of tiles of one picture. Tile `primera + k` draws variant
// `variante0 + k` (an angle, a mask, an axis, a frame); in a run of
// `variantes` orientations (or pairs), variant `k % variantes` at frame
// `k / variantes`.
struct tramo_losetas {
    uint8_t primera;
    uint8_t cuantas;
    dibujo_loseta dibujo;
    uint8_t variante0;
    uint8_t variantes;  // 0: the run is one sequence of variants
};

constexpr tramo_losetas DISPOSICION_LOSETAS[] = {
    {0, 16, D_EMISOR, 0, 4},
    {16, 16, D_ESPEJO, 0, 0},
    {32, 15, D_MURO, 1, 0},  // masks 1 to 15
    {47, 1, D_SELECCION, 0, 0},
    {48, 15, D_MURO_REFLECTANTE, 1, 0},
    {63, 1, D_TE, 0, 0},
    {64, 8, D_POLARIZADOR_REFLECTANTE, 0, 0},
    {72, 8, D_POLARIZADOR_ABSORBENTE, 0, 0},
    {80, 12, D_SUELO, 0, 0},
    {92, 4, D_MINA, 0, 0},
    {96, 16, D_FIBRA, 0, 4},
    {112, 16, D_ESPEJO_ENCENDIDO, 0, 0},
    {128, 5, D_REEMISOR, 0, 0},
    {133, 1, D_SUELO_RECOMPUESTO, 0, 0},
    {134, 1, D_QUEMADURA, 0, 0},
    {135, 1, D_DIANA, 0, 0},
    {136, 8, D_EXPLOSION_FUEGO, 0, 0},
    {144, 8, D_EXPLOSION_ESQUIRLAS, 0, 0},
    {152, 8, D_DISOLUCION, 0, 0},
    {160, 16, D_RECEPTOR, 0, 4},
    {176, 4, D_DUENDE, 0, 0},
};

constexpr int NUM_LOSETAS_HOJA = 180;

// What tile `i` (0 to NUM_LOSETAS_HOJA - 1) draws.
struct loseta_hoja {
    dibujo_loseta dibujo;
    int variante;
    int fase;
};
constexpr loseta_hoja loseta_de_hoja(int i)
{
    for (const tramo_losetas &t : DISPOSICION_LOSETAS) {
        const int k = i - t.primera;
        if (k >= 0 && k < t.cuantas) {
            return t.variantes == 0 ? loseta_hoja{t.dibujo, t.variante0 + k, 0}
                                    : loseta_hoja{t.dibujo, t.variante0 + k % t.variantes, k / t.variantes};
        }
    }
    return {D_SUELO, 0, 0};
}

// The runs follow each other with no gap and fill the sheet.
constexpr bool disposicion_completa()
{
    int siguiente = 0;
    for (const tramo_losetas &t : DISPOSICION_LOSETAS) {
        if (t.primera != siguiente) {
            return false;
        }
        siguiente += t.cuantas;
    }
    return siguiente == NUM_LOSETAS_HOJA;
}
static_assert(disposicion_completa());
