// The program's entry point: the command line, the display, the frame
// clock, then the game.
#include "fotonauta/fotonauta.h"
#include "tiempo/tiempo.h"

#include <cstdio>
#include <cstring>

namespace {

const char AYUDA[] =
    "Usage: fotonauta [--help | --version]\n"
    "A laser puzzle game played with the mouse: turn the mirrors and steer\n"
    "the beam onto every target, then into the receiver.\n"
    "\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "The game reads its data files from the working folder and keeps its\n"
    "settings and high scores there; see fotonauta(6).\n";

}  // namespace

int main(int argc, char *argv[])
{
  // Answered before the library starts, so they need no display.
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--version") == 0) {
      printf("fotonauta %s\n", FOTONAUTA_VERSION);
      return 0;
    }
    if (strcmp(argv[i], "--help") == 0) {
      fputs(AYUDA, stdout);
      return 0;
    }
  }
  if (argc > 1) {
    fprintf(stderr, "fotonauta: unknown option '%s'\nTry 'fotonauta --help'.\n", argv[1]);
    return 2;
  }
  if (ini_allegro() != 0) {
    return -1;
  }
  ini_tiempo();
  ejecutar_juego();
  return 0;
}
END_OF_MAIN()
