// The program's entry point: the command line (and the levels it may ask
// for), the display, the frame clock, then the game.
#include "fotonauta/fotonauta.h"
#include "juego/juego.h"
#include "repeticion/repeticion.h"
#include "tiempo/tiempo.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <strings.h>

namespace {

const char AYUDA[] =
    "Usage: fotonauta [--help | --version | --niveles FOLDER |\n"
    "                  [--repeticion] FILE [--fotograma N] | --nivel ID |\n"
    "                  fotonauta://nivel/ID]\n"
    "A laser puzzle game played with the mouse: turn the mirrors and steer\n"
    "the beam onto every target, then into the receiver.\n"
    "Without the mouse, the arrows jump a cursor between the mirrors (with\n"
    "Shift, one cell), Z held turns the mirror under it anticlockwise and X\n"
    "clockwise. Esc or P pauses and goes on; F1 pauses with these keys shown.\n"
    "\n"
    "  --help             print this help and exit\n"
    "  --version          print the version and exit\n"
    "  --niveles FOLDER   play the level files NN.txt of FOLDER in place of\n"
    "                     the built-in levels of those numbers\n"
    "  --repeticion FILE  watch the recorded game FILE (a .frep file, which\n"
    "                     may also be named alone): Space pauses, the right\n"
    "                     arrow held plays four times as fast, Esc leaves\n"
    "  --fotograma N      open the recording paused on its frame N: its\n"
    "                     frames are numbered from 0, the scenes between\n"
    "                     levels included, as its web page numbers them\n"
    "  --nivel ID, fotonauta://nivel/ID\n"
    "                     play community level ID (16 hex digits) from the\n"
    "                     score server (FOTONAUTA_SERVIDOR), or the copy kept\n"
    "                     from an earlier game when offline, and send the run\n"
    "                     to its board; the high scores are left alone\n"
    "\n"
    "The game reads its data files from the working folder and keeps its\n"
    "settings, high scores and the recordings of its games (repeticiones/)\n"
    "there; see fotonauta(6).\n";

// The levels of `--niveles`, alive for the whole run: niveles_sustitutos
// points into it.
std::vector<std::pair<int, nivel_texto>> niveles_propios;

// Reads the folder of `--niveles` and puts its levels in place of the
// stored ones. Every bad file is named, before any window opens; then the
// game does not start, rather than quietly play the stored level instead.
bool usar_carpeta_niveles(const char *carpeta)
{
  std::vector<std::string> errores, ignorados;
  niveles_propios = leer_carpeta_niveles(carpeta, errores, ignorados);
  for (const std::string &e : errores) {
    fprintf(stderr, "fotonauta: %s\n", e.c_str());
  }
  for (const std::string &f : ignorados) {
    fprintf(stderr, "fotonauta: %s: ignored: only 00.txt to %02d.txt are played\n", f.c_str(), NUM_NIVELES - 1);
  }
  if (!errores.empty()) {
    return false;
  }
  if (niveles_propios.empty()) {
    fprintf(stderr, "fotonauta: %s: no level files (00.txt to %02d.txt)\n", carpeta, NUM_NIVELES - 1);
    return false;
  }
  for (const auto &[n, nivel] : niveles_propios) {
    niveles_sustitutos[n] = &nivel;
  }
  return true;
}

// The recording of `--repeticion`, read and played through once before any
// window opens: a file that cannot be watched is said on standard error,
// and nothing starts.
repeticion repeticion_vista;

bool leer_repeticion_vista(const char *ruta)
{
  std::string error;
  if (!leer_repeticion(ruta, repeticion_vista, error)) {
    fprintf(stderr, "fotonauta: %s\n", error.c_str());
    return false;
  }
  const verificacion v = verificar_repeticion(repeticion_vista);
  if (!v.valida) {
    fprintf(stderr, "fotonauta: %s: this game cannot be played back: %s\n", ruta, v.motivo.c_str());
    return false;
  }
  return true;
}

// A file named by a URL, as a desktop entry's %u may be handed one:
// file:///path or file://localhost/path, percent-encoded. False for any
// other URL or a bad escape.
bool ruta_de_url(const char *url, std::string &ruta)
{
  const char *p = url + 7;  // past "file://"
  if (strncmp(p, "localhost/", 10) == 0) {
    p += 9;
  }
  if (*p != '/') {
    return false;
  }
  ruta.clear();
  for (; *p != '\0'; ++p) {
    if (*p != '%') {
      ruta += *p;
      continue;
    }
    char cifras[3] = {p[1], p[1] != '\0' ? p[2] : '\0', '\0'};
    char *fin = nullptr;
    const long c = strtol(cifras, &fin, 16);
    if (!isxdigit(static_cast<unsigned char>(cifras[0])) || fin != cifras + 2 || c == 0) {
      return false;
    }
    ruta += static_cast<char>(c);
    p += 2;
  }
  return true;
}

// The frame of --fotograma, numbered from 0: digits only, at most
// MAX_FOTOGRAMAS_VISTA (past a recording's end, its end is shown). Kept
// counted from 1, as ver_repeticion takes it.
constexpr uint32_t MAX_FOTOGRAMAS_VISTA = 2 * MAX_FOTOGRAMAS_REPETICION;
bool leer_fotograma(const char *texto, uint32_t &desde)
{
  uint64_t n = 0;
  for (const char *p = texto; *p != '\0'; ++p) {
    if (!isdigit(static_cast<unsigned char>(*p)) || (n = n * 10 + static_cast<uint64_t>(*p - '0')) > MAX_FOTOGRAMAS_VISTA) {
      return false;
    }
  }
  desde = static_cast<uint32_t>(n) + 1;
  return *texto != '\0';
}

// The path of a recording named by a file:// URL; alive for the whole run.
std::string ruta_vista;

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
  const char *niveles = nullptr;
  const char *vista = nullptr;
  uint32_t desde = 0;  // the frame to open paused on, counted from 1; 0 none
  // A community level, from a link (as a browser hands one to the desktop
  // entry) or from --nivel: checked before anything else starts.
  std::string nivel_comunidad;
  for (int i = 1; i < argc; ++i) {
    const bool opcion_niveles = strcmp(argv[i], "--niveles") == 0;
    const bool opcion_nivel = strcmp(argv[i], "--nivel") == 0;
    const bool enlace = strncasecmp(argv[i], "fotonauta:", 10) == 0;
    if (opcion_nivel || enlace) {
      if (opcion_nivel && i + 1 >= argc) {
        fprintf(stderr, "fotonauta: --nivel needs a level's ID\n");
        return 2;
      }
      std::string motivo;
      if (!nivel_comunidad.empty() || !leer_id_nivel(enlace ? argv[i] : argv[++i], enlace, nivel_comunidad, motivo)) {
        fprintf(stderr, "fotonauta: %s\n", nivel_comunidad.empty() ? motivo.c_str() : "one level at a time");
        return 2;
      }
    } else if (opcion_niveles || strcmp(argv[i], "--repeticion") == 0) {
      if (i + 1 >= argc) {
        fprintf(stderr, "fotonauta: %s needs a %s\n", argv[i], opcion_niveles ? "folder" : "file");
        return 2;
      }
      (opcion_niveles ? niveles : vista) = argv[++i];
    } else if (strcmp(argv[i], "--fotograma") == 0) {
      if (i + 1 >= argc || !leer_fotograma(argv[++i], desde)) {
        fprintf(stderr, "fotonauta: --fotograma needs a frame, 0 to %u\n", MAX_FOTOGRAMAS_VISTA);
        return 2;
      }
    } else if (strncmp(argv[i], "file://", 7) == 0 && vista == nullptr) {
      if (!ruta_de_url(argv[i], ruta_vista)) {
        fprintf(stderr, "fotonauta: '%s' is not a file's address\n", argv[i]);
        return 2;
      }
      vista = ruta_vista.c_str();
    } else if (argv[i][0] != '-' && vista == nullptr) {
      // A file alone is a recording to watch: how a file manager or a
      // browser opens one with the game.
      vista = argv[i];
    } else {
      fprintf(stderr, "fotonauta: unknown option '%s'\nTry 'fotonauta --help'.\n", argv[i]);
      return 2;
    }
  }
  if (desde != 0 && vista == nullptr) {
    fprintf(stderr, "fotonauta: --fotograma is a frame of a recording watched\n");
    return 2;
  }
  if (niveles != nullptr && vista != nullptr) {
    fprintf(stderr, "fotonauta: a recording is watched on the built-in levels, not with --niveles\n");
    return 2;
  }
  if (!nivel_comunidad.empty() && (niveles != nullptr || vista != nullptr)) {
    fprintf(stderr, "fotonauta: a community level is played alone, without --niveles or a recording\n");
    return 2;
  }
  if (niveles != nullptr && !usar_carpeta_niveles(niveles)) {
    return 1;
  }
  if (vista != nullptr && !leer_repeticion_vista(vista)) {
    return 1;
  }
  if (ini_allegro() != 0) {
    return -1;
  }
  ini_tiempo();
  if (!nivel_comunidad.empty()) {
    return ejecutar_nivel_comunidad(nivel_comunidad);
  }
  if (vista != nullptr) {
    ejecutar_repeticion(repeticion_vista, desde);
  } else {
    ejecutar_juego();
  }
  return 0;
}
END_OF_MAIN()
