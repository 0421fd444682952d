// Writes small Allegro datafiles for tests of what the game does with data
// files that are wrong in one way or another.
#pragma once

#include <string>
#include <vector>

struct objeto_prueba {
  std::string tipo;     // four characters: "BMP ", "DATA", ...
  int ancho = 0;        // "BMP " only: a bitmap of this size, 32 bits,
  int alto = 0;         // filled with one grey
  std::vector<unsigned char> datos;  // any other type, or a "BMP " given
                                     // here: the raw contents
};

// Writes the objects, in order, as an uncompressed datafile.
bool escribir_datafile_prueba(const std::string &ruta, const std::vector<objeto_prueba> &objetos);

// A bitmap object of the given size.
objeto_prueba bitmap_prueba(int ancho, int alto);
