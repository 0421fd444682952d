// The program's entry point: the levels asked for on the command line, the
// display, the frame clock, then the game.
#include <cstdio>
#include <cstring>

#include "fotonauta/fotonauta.h"
#include "juego/juego.h"
#include "tiempo/tiempo.h"

namespace {

// The levels of `--niveles`, alive for the whole run: nivel_sustituto
// points into it.
std::vector<std::pair<int, nivel_texto>> niveles_propios;

// Reads the folder of `--niveles` and puts its levels in place of the
// stored ones. Every bad file is named, before any window opens; then the
// game does not start, rather than quietly play the stored level instead.
bool usar_carpeta_niveles(const char *carpeta)
{
  std::vector<std::string> errores;
  niveles_propios = leer_carpeta_niveles(carpeta, errores);
  for (const std::string &e : errores) {
    fprintf(stderr, "fotonauta: %s\n", e.c_str());
  }
  if (!errores.empty()) {
    return false;
  }
  if (niveles_propios.empty()) {
    fprintf(stderr, "fotonauta: %s: no level files (00.txt to %02d.txt)\n", carpeta, NUM_NIVELES - 1);
    return false;
  }
  for (const auto &[n, nivel] : niveles_propios) {
    nivel_sustituto[n] = &nivel;
  }
  return true;
}

}  // namespace

int main(int argc, char **argv)
{
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--niveles") == 0) {
      if (i + 1 >= argc) {
        fprintf(stderr, "fotonauta: --niveles needs a folder\n");
        return 2;
      }
      if (!usar_carpeta_niveles(argv[++i])) {
        return 1;
      }
    }
  }
  if (ini_allegro() != 0) {
    return -1;
  }
  ini_tiempo();
  ejecutar_juego();
  return 0;
}
END_OF_MAIN()
