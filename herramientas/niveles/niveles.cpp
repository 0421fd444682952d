// niveles: checks, dumps and traces levels with the game's own code.
//
//   niveles comprobar   check every stored level
//   niveles volcar      print the stored levels (or a level file's), one
//                       line of bytes each
//   niveles id          print a level file's ID, as the score server knows it
//   niveles trazar      trace the beam across a level read from stdin
//   niveles resolver    prove levels winnable in time (ordenes.cpp)
//   niveles estadisticas  count the elements of the stored levels
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "fichero_nivel/fichero_nivel.h"
#include "juego/juego.h"
#include "ordenes.h"
#include "pintar.h"

namespace {

constexpr int ANGULOS = 16;
constexpr int SORTEOS_REEMISOR = 9;

// A trace that has not ended by then has looped inside the engine.
constexpr unsigned SEGUNDOS_TRAZA = 5;

constexpr const char *AYUDA =
    "usage: niveles COMMAND\n"
    "\n"
    "Works on the game's levels with the game's own code.\n"
    "\n"
    "commands:\n"
    "  comprobar  check every stored level: valid bytes, one emitter and one\n"
    "             receiver, a receiver gate that stops the beam (a wall with a\n"
    "             half across the way in), fibre-optic ends in pairs and never\n"
    "             in cell 0, at least 9 targets, and room for the gremlins to\n"
    "             enter where the level has them. Lists each problem and exits\n"
    "             1; exits 0 when all 63 levels pass.\n"
    "  volcar [FICHERO.txt]\n"
    "             print the stored levels: 63 lines of 135 bytes in decimal;\n"
    "             with a level file, its one line.\n"
    "  id FICHERO.txt\n"
    "             print the level's ID (its hash, 16 hex digits), by which the\n"
    "             score server and fotonauta://nivel/ID links know it.\n"

    "  trazar     read a level from standard input and trace the beam once:\n"
    "               135 bytes in cell order (cell = row * 15 + column)\n"
    "               [espejos A...]     one angle 0-15 per mirror cell (bytes\n"
    "                                  16-31) in cell order; random otherwise\n"
    "               [reemisores D...]  re-emitter draws 0-8, used in order,\n"
    "                                  then random ones\n"
    "             Prints one line 'x y dir' per beam point (quarter cells;\n"
    "             dir 100 is a jump), then 'estado N' and 'puntos N'.\n"
    "             Bad input exits 2 with a message on standard error; a trace\n"
    "             that does not end within 5 s exits 3.\n"
    "  pintar N fichero.png [espejos A...]\n"
    "             draw level N (0-62) with its beam, as the game does, into a\n"
    "             1024 x 768 PNG; mirror angles in cell order, else random.\n"
    "  resolver [N | FICHERO.txt] [--resumen] [--partidas K] [--desde X]\n"
    "           [--registro R]\n"
    "             find a plan that wins level N (all 63 when none is given, or\n"
    "             the level in a level file, numbered by its name NN.txt) and\n"
    "             prove it by playing it through the game loop's frames with\n"
    "             the game's own code, from K random starts (default 40) and\n"
    "             from the start that costs the most turning; a level with\n"
    "             re-emitters is played K times (default 200) instead. The\n"
    "             runs are numbered X, X + 1... (default 1), each number\n"
    "             standing for a seed of the game's random draws. A level\n"
    "             passes when every run (with re-emitters, 95 % of them) wins\n"
    "             within 70 % of a full energy bar, 2150 of 3072 frames,\n"
    "             losing no life. A level's true rate is best measured with\n"
    "             many runs its design was never tried on: --resumen\n"
    "             --partidas 2000 --desde 100000.\n"
    "             Gremlins are kept out of the proof; levels with gremlins are\n"
    "             played 40 more times with them, as a report only. Per level:\n"
    "               nivel NN pasa|falla fotogramas F (P %) giros G pasos S\n"
    "                 a_tiempo W/R [azar]\n"
    "               [error TEXT]           why the level fails\n"
    "               peligro D/R mina M rebote B fotogramas F\n"
    "                                      of the random starts played with no\n"
    "                                      input, D lose a life to overload\n"
    "                                      within 5 s, M with the beam on a\n"
    "                                      mine, B thrown back into the laser;\n"
    "                                      F frames to the quickest\n"
    "               [gremlins K a_tiempo W/R [fragil]]\n"
    "               the plan, one step a line:\n"
    "                 CELL ANGLE           hold the mirror in CELL (0-134) until\n"
    "                                      it shows ANGLE (0-15), turning it the\n"
    "                                      shorter way, then let go\n"
    "                 espera CELL...       let go and wait until the targets in\n"
    "                                      those cells have been hit\n"
    "               fin                    then wait for the beam to enter the\n"
    "                                      receiver\n"
    "             The player follows the plan with care: with the beam resting\n"
    "             on a mine or thrown back, it first turns a mirror that takes\n"
    "             the beam off, one the plan is about to set or has not set\n"
    "             yet; and it lets the overload cool, with the beam safe,\n"
    "             before a turn that would fill the meter past half.\n"
    "             F is the worst run's frames (with re-emitters, the frames 95 %\n"
    "             of the runs finish within), G the plan's settings and S the\n"
    "             logic frames of turning in the worst run; 'fragil' marks a plan\n"
    "             that gremlins spoil in more than one run in ten. --resumen\n"
    "             leaves the plans out. Exits 1 when any level fails.\n"
    "             --registro R prints the plan of the (first) level and plays\n"
    "             its run number R (a failure names its run), one line per\n"
    "             logic frame: the frame, the trace's estado, the overload and\n"
    "             energy meters, pendientes, the held cell and the cell the\n"
    "             beam ended in (-1 for none); then how the run ended.\n"
    "  estadisticas\n"
    "             count each kind of element in every stored level, and the\n"
    "             table's totals against the figures the levels are designed\n"
    "             to come near (within 15 %: 'dentro', else 'fuera').\n"
    "\n"
    "options:\n"
    "  -h, --help  show this help\n";

using problema = problema_nivel;

std::string describir(const problema &p)
{
  return p.celda < 0 ? p.texto : nombre_celda(p.celda) + ": " + p.texto;
}

int comprobar()
{
  int malos = 0;
  for (int n = 0; n < NUM_NIVELES; ++n) {
    const std::vector<problema> problemas = comprobar_nivel(&objeto[n * NUM_CELDAS], gremlins[n]);
    for (const problema &p : problemas) {
      if (p.celda < 0) {
        printf("nivel %02d: %s\n", n, p.texto.c_str());
      } else {
        printf("nivel %02d, %s: %s\n", n, nombre_celda(p.celda).c_str(), p.texto.c_str());
      }
    }
    malos += problemas.empty() ? 0 : 1;
  }
  if (malos > 0) {
    printf("%d of %d niveles have problems\n", malos, NUM_NIVELES);
    return 1;
  }
  printf("%d niveles correctos\n", NUM_NIVELES);
  return 0;
}

// A level file, or an exit with its error.
nivel_texto leer_fichero(const char *ruta)
{
  nivel_texto t;
  std::string error;
  if (!leer_nivel_texto(ruta, t, error)) {
    fprintf(stderr, "niveles: %s\n", error.c_str());
    exit(2);
  }
  return t;
}

int volcar_fichero(const char *ruta)
{
  const nivel_texto t = leer_fichero(ruta);
  for (int c = 0; c < NUM_CELDAS; ++c) {
    printf(c == 0 ? "%d" : " %d", t.bytes[c]);
  }
  printf("\n");
  return 0;
}

int id_fichero(const char *ruta)
{
  printf("%016llx\n", static_cast<unsigned long long>(hash_nivel_canonico(leer_fichero(ruta))));
  return 0;
}

int volcar()
{
  for (int n = 0; n < NUM_NIVELES; ++n) {
    for (int c = 0; c < NUM_CELDAS; ++c) {
      printf(c == 0 ? "%d" : " %d", objeto[n * NUM_CELDAS + c]);
    }
    printf("\n");
  }
  return 0;
}

// ---------------------------------------------------------------------------
// trazar
// ---------------------------------------------------------------------------

[[noreturn]] void rechazar(const std::string &mensaje)
{
  fprintf(stderr, "niveles trazar: %s\n", mensaje.c_str());
  exit(2);
}

// A whole token as a number from 0 to `maximo`; `que` names it in the
// message when it is not one.
int leer_numero(const std::string &ficha, int maximo, const std::string &que)
{
  errno = 0;
  char *fin = nullptr;
  const long v = strtol(ficha.c_str(), &fin, 10);
  if (ficha.empty() || *fin != '\0' || errno == ERANGE) {
    rechazar(formato("%s: '%.40s' is not a number", que.c_str(), ficha.c_str()));
  }
  if (v < 0 || v > maximo) {
    rechazar(formato("%s: %ld is out of range 0-%d", que.c_str(), v, maximo));
  }
  return static_cast<int>(v);
}

// The re-emitter draws given on the command's input, then rand()'s.
std::vector<int> sorteos_dados;
size_t siguiente_sorteo;

int sorteo_guionado()
{
  if (siguiente_sorteo < sorteos_dados.size()) {
    return sorteos_dados[siguiente_sorteo++];
  }
  return rand() % SORTEOS_REEMISOR;
}

void traza_colgada(int)
{
  static const char MENSAJE[] = "niveles trazar: the beam trace did not end\n";
  (void)!write(STDERR_FILENO, MENSAJE, sizeof MENSAJE - 1);
  _exit(3);
}

int trazar()
{
  std::vector<std::string> fichas;
  for (std::string f; std::cin >> f;) {
    fichas.push_back(f);
  }
  if (fichas.size() < NUM_CELDAS) {
    rechazar(formato("expected %d level bytes, got %zu", NUM_CELDAS, fichas.size()));
  }

  uint8_t bytes[NUM_CELDAS];
  for (int c = 0; c < NUM_CELDAS; ++c) {
    bytes[c] = static_cast<uint8_t>(leer_numero(fichas[c], 255, formato("cell %d", c)));
  }
  // A trace needs a board the game can load; where its receiver's gate
  // stands does not matter to it.
  std::vector<problema> problemas = comprobar_nivel(bytes, 0);
  std::erase_if(problemas, [](const problema &p) { return p.puerta; });
  if (!problemas.empty()) {
    rechazar("not a valid level: " + describir(problemas[0]) +
             (problemas.size() > 1 ? formato(" (and %zu more problems)", problemas.size() - 1) : ""));
  }

  std::vector<int> espejos;
  for (int c = 0; c < NUM_CELDAS; ++c) {
    if (elemento_de_byte(bytes[c]) == ELEMENTO_ESPEJO) {
      espejos.push_back(c);
    }
  }

  size_t i = NUM_CELDAS;
  std::vector<int> angulos;
  bool hay_angulos = false;
  if (i < fichas.size() && fichas[i] == "espejos") {
    hay_angulos = true;
    for (++i; i < fichas.size() && fichas[i] != "reemisores"; ++i) {
      angulos.push_back(leer_numero(fichas[i], ANGULOS - 1, formato("mirror angle %zu", angulos.size() + 1)));
    }
    if (angulos.size() != espejos.size()) {
      rechazar(formato("%zu mirror angles given, the level has %zu mirror cells", angulos.size(), espejos.size()));
    }
  }
  if (i < fichas.size() && fichas[i] == "reemisores") {
    for (++i; i < fichas.size(); ++i) {
      sorteos_dados.push_back(leer_numero(fichas[i], SORTEOS_REEMISOR - 1,
                                          formato("re-emitter draw %zu", sorteos_dados.size() + 1)));
    }
  }
  if (i < fichas.size()) {
    rechazar(formato("unexpected '%.40s' after the level bytes (expected 'espejos' or 'reemisores')",
                     fichas[i].c_str()));
  }

  cargar_tablero(bytes, 0);
  if (hay_angulos) {
    for (size_t k = 0; k < espejos.size(); ++k) {
      celda &e = nucleo.est_nivel[espejos[k]];
      e.valor = static_cast<uint8_t>(angulos[k]);
      e.grf = static_cast<uint8_t>(primer_grf[espejo] + angulos[k]);
    }
  }
  nucleo.sorteo_reemisor = sorteo_guionado;
  nucleo.dt_partida.puntos_nivel = 0;

  // Other tools call this one; a trace that never ends must not hang them.
  signal(SIGALRM, traza_colgada);
  alarm(SEGUNDOS_TRAZA);
  calcular_rayo();
  alarm(0);

  for (int k = 0; k < nucleo.dt_rayo.n_puntos; ++k) {
    const punto_rayo &p = nucleo.dt_rayo.punto[k];
    printf("%d %d %d\n", p.x, p.y, p.dir);
  }
  printf("estado %d\n", nucleo.dt_rayo.estado);
  printf("puntos %d\n", nucleo.dt_partida.puntos_nivel);
  return 0;
}

}  // namespace

int main(int argc, char **argv)
{
  if (argc == 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
    fputs(AYUDA, stdout);
    return 0;
  }
  if (argc >= 2 && strcmp(argv[1], "pintar") == 0) {
    return pintar(argc - 2, argv + 2);
  }
  if (argc >= 2 && strcmp(argv[1], "resolver") == 0) {
    return orden_resolver(argc - 2, argv + 2);
  }
  if (argc >= 2 && strcmp(argv[1], "estadisticas") == 0) {
    return orden_estadisticas(argc - 2, argv + 2);
  }
  if (argc == 3 && strcmp(argv[1], "volcar") == 0) {
    return volcar_fichero(argv[2]);
  }
  if (argc == 3 && strcmp(argv[1], "id") == 0) {
    return id_fichero(argv[2]);
  }
  if (argc != 2) {
    fputs(AYUDA, stderr);
    return 2;
  }
  const std::string orden = argv[1];
  if (orden == "comprobar") {
    return comprobar();
  }
  if (orden == "volcar") {
    return volcar();
  }
  if (orden == "trazar") {
    return trazar();
  }
  fprintf(stderr, "niveles: unknown command '%s' (try niveles --help)\n", argv[1]);
  return 2;
}
