// Boards for tests, written as level text: rows of two-character cells
// ("E3" an emitter opening right, "m0" a mirror, "r6" a reflecting wall's
// right half...). Rows and cells left out are floor.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "juego/juego.h"

// The 135 level bytes of a board written as text rows.
std::vector<uint8_t> bytes_tablero(std::initializer_list<const char *> filas);

// Loads such a board as a stored level would be (level `nivel`'s floor
// pattern and gremlins) and gives its mirrors the angles listed, in cell
// order.
void cargar_prueba(std::initializer_list<const char *> filas, std::initializer_list<int> angulos = {},
                   int nivel = 0);

// The cell at column, row.
constexpr uint8_t celda_en(int columna, int fila)
{
  return static_cast<uint8_t>(fila * COLUMNAS + columna);
}
