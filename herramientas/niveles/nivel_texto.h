// The text form of a level: two characters per cell, 15 cells to a row,
// nine rows, after a title line and an idea line. datos/niveles/README.md
// documents it.
#pragma once

#include <cstdint>
#include <string>

constexpr int CELDAS_NIVEL = 135;

struct nivel_texto {
  std::string titulo;
  std::string idea;
  uint8_t bytes[CELDAS_NIVEL];
};

// The level byte of a two-character token, or -1 if it is not one.
int byte_de_ficha(const std::string &ficha);

// The token of a level byte ("??" for a byte no level may hold).
std::string ficha_de_byte(uint8_t b);

// Reads a level file. On failure returns false with a message naming the
// line and the token.
bool leer_nivel_texto(const std::string &ruta, nivel_texto &nivel, std::string &error);
