// fotonauta-editor: the level editor's entry point.
//
//   fotonauta-editor [FILE.txt]
#include <cstdio>
#include <cstring>

#include "audio/audio.h"
#include "editor/editor.h"
#include "pantalla/pantalla.h"
#include "tiempo/tiempo.h"

namespace {

const char AYUDA[] =
    "Usage: fotonauta-editor [--help | --version | FILE.txt]\n"
    "The level editor of fotonauta: builds a level, checks its rules as it\n"
    "is drawn, proves it can be won, and plays it in the game.\n"
    "\n"
    "  --help             print this help and exit\n"
    "  --version          print the version and exit\n"
    "  --probar           prove the level read on standard input, with no\n"
    "                     window (the editor runs this itself)\n"
    "  FILE.txt           open this level file; without one, a new level is\n"
    "                     started in $XDG_DATA_HOME/fotonauta/niveles\n"
    "\n"
    "F1 in the editor lists its keys and the level rules. It reads the\n"
    "game's data files from the working folder; see fotonauta-editor(6).\n";

// The language and volumes of the game's settings; without the file, the
// game's first-run question is the game's to ask: the editor speaks Spanish.
void leer_cfg_del_juego()
{
  uint8_t b[4] = {0, 0, 0, 0};
  size_t largo = 0;
  if (FILE *f = fopen("cfg.dat", "rb")) {
    largo = fread(b, 1, sizeof b, f);
    fclose(f);
    interpretar_cfg(b, largo);
  } else {
    idioma = IDIOMA_ESPANOL;
    volson = volmus = 100;
  }
  colocar_texto_botones_partida();
  modificar_volmus(static_cast<uint8_t>(volmus));
  modificar_volson(static_cast<uint8_t>(volson), -1);
}

}  // namespace

int main(int argc, char **argv)
{
  // The proof's helper, which the editor starts itself: no window.
  if (argc == 2 && strcmp(argv[1], "--probar") == 0) {
    return probar_entrada_estandar();
  }
  // Answered before the library starts, so they need no display.
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--version") == 0) {
      printf("fotonauta-editor %s\n", FOTONAUTA_VERSION);
      return 0;
    }
    if (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "--help") == 0) {
      fputs(AYUDA, stdout);
      return 0;
    }
  }
  const char *fichero = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (fichero != nullptr) {
      fprintf(stderr, "fotonauta-editor: one level file at a time\n");
      return 2;
    }
    fichero = argv[i];
  }
  // Its own window class, so the desktop ties the window to the editor's
  // entry and icon rather than the game's.
  clase_ventana[0] = "fotonauta-editor";
  clase_ventana[1] = "Fotonauta-editor";
  if (ini_allegro() != 0) {
    return -1;
  }
  set_window_title("fotonauta-editor");
  ini_tiempo();
  ini_audio();
  // The game's buttons only: its panel, quit box and end, for Play.
  ini_botones();
  crear_botones_partida();
  ini_juego();
  leer_cfg_del_juego();
  ejecutar_editor(fichero);
  fin_audio();
  fin_allegro();
  return 0;
}
END_OF_MAIN()
