// compilar_niveles: turns the level files of datos/niveles into the table
// of level bytes the game is built with.
//
//   compilar_niveles <level folder> <output .cpp>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "fichero_nivel/fichero_nivel.h"
#include "juego/juego.h"

namespace {

std::string nombre_fichero(int n)
{
  char nombre[16];
  snprintf(nombre, sizeof nombre, "%02d.txt", n);
  return nombre;
}

}  // namespace

int main(int argc, char **argv)
{
  if (argc != 3) {
    fprintf(stderr, "usage: compilar_niveles <level folder> <output .cpp>\n");
    return 2;
  }
  const std::filesystem::path carpeta = argv[1];

  nivel_texto niveles[NUM_NIVELES];
  std::string error;
  for (int n = 0; n < NUM_NIVELES; ++n) {
    const std::filesystem::path ruta = carpeta / nombre_fichero(n);
    // Every level has its own design: a missing file is a broken table,
    // not a level to fill in.
    if (!std::filesystem::exists(ruta)) {
      fprintf(stderr, "%s: missing (the table needs all %d levels, 00.txt to %02d.txt)\n", ruta.string().c_str(),
              NUM_NIVELES, NUM_NIVELES - 1);
      return 1;
    }
    if (!leer_nivel_texto(ruta.string(), niveles[n], error)) {
      fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
  }

  const std::string temporal = std::string(argv[2]) + ".tmp";
  {
    std::ofstream f(temporal);
    f << "// Made by compilar_niveles from datos/niveles; edit those files, not this one.\n"
         "#include \"juego/juego.h\"\n\n"
         "const uint8_t objeto[NUM_NIVELES * NUM_CELDAS] = {\n";
    for (int n = 0; n < NUM_NIVELES; ++n) {
      f << "    // " << nombre_fichero(n) << ": " << niveles[n].titulo << "\n";
      for (int fila = 0; fila < 9; ++fila) {
        f << "   ";
        for (int c = 0; c < 15; ++c) {
          f << " " << static_cast<int>(niveles[n].bytes[fila * 15 + c]) << ",";
        }
        f << "\n";
      }
    }
    f << "};\n";
    if (!f) {
      fprintf(stderr, "%s: cannot be written\n", temporal.c_str());
      return 1;
    }
  }
  std::filesystem::rename(temporal, argv[2]);
  return 0;
}
