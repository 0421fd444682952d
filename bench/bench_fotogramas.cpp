// Every frame of the game's own screen loops, timed: the main menu, the
// options, a trainer game and the first two levels played with the
// solver's plans, and the busiest board there can be inside a real game;
// and the game loop's recording of each frame of those games.
// Also the resident memory at the menu and after the trainer game, and,
// with --arranque in a real window, the time from process start to the
// first frame shown.
//
// The loops run unchanged; the frame step's test seam takes the place of
// the wait for the clock and the copy to the screen, so a frame is timed
// from the end of one step to the start of the next. Prints one line per
// series:   serie NAME N MEAN MEDIAN MIN P99 MAX   (microseconds of CPU)
// and       memoria NAME KB   /   arranque MS
//
//   bench_fotogramas [16|32] [--como-antes]
//   FOTONAUTA_T0_NS=$(date +%s%N) bench_fotogramas --arranque   (in a window)
//   FOTONAUTA_T0_NS=... bench_fotogramas --arranque --cadencia    (also 400
//     frames of the real menu on the real clock: each frame's interval, and
//     the process's CPU share over them)
#include <allegro.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "fotonauta/fotonauta.h"
#include "jugador_plan.h"
#include "juego/juego.h"
#include "repeticion/repeticion.h"
#include "serpentina.h"
#include "tiempo/tiempo.h"

namespace {

double cpu_us()
{
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

double reloj_us()
{
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

long memoria_kb(const char *campo)
{
  FILE *f = fopen("/proc/self/status", "r");
  char linea[256];
  long kb = -1;
  const size_t n = strlen(campo);
  while (f != nullptr && fgets(linea, sizeof linea, f) != nullptr) {
    if (strncmp(linea, campo, n) == 0) {
      kb = atol(linea + n + 1);
    }
  }
  if (f != nullptr) {
    fclose(f);
  }
  return kb;
}

std::map<std::string, std::vector<double>> series;
std::vector<std::string> orden_series;

void anotar(const std::string &nombre, double us)
{
  if (!series.count(nombre)) {
    orden_series.push_back(nombre);
  }
  series[nombre].push_back(us);
}

void imprimir_series()
{
  for (const std::string &nombre : orden_series) {
    std::vector<double> v = series[nombre];
    std::sort(v.begin(), v.end());
    double suma = 0;
    for (double x : v) {
      suma += x;
    }
    const size_t n = v.size();
    const size_t p99 = std::min(n - 1, static_cast<size_t>(0.99 * static_cast<double>(n)));
    printf("serie %s %zu %.1f %.1f %.1f %.1f %.1f\n", nombre.c_str(), n, suma / static_cast<double>(n), v[n / 2],
           v[0], v[p99], v[n - 1]);
  }
}

int8_t dialogo_vivo()
{
  return cima_pila >= 0 ? pila[cima_pila] : -1;
}

// A click takes three frames: the pointer rests over the button, presses,
// lets go.
struct clic_pendiente {
  int8_t dialogo = -1, indice = 0;
  int paso = 0;
};
clic_pendiente clic;

void pedir_clic(int8_t dialogo, int8_t indice)
{
  clic = {dialogo, indice, 0};
}

// One frame of the pending click; false when there is none.
bool avanzar_clic()
{
  if (clic.dialogo < 0 || dialogo_vivo() != clic.dialogo) {
    return false;
  }
  for (int i = 0; i < botones_usados; ++i) {
    const t_boton &b = boton[i];
    if (b.dialogo == clic.dialogo && b.indice == clic.indice) {
      mouse_x = b.x[IMAGEN_MASCARA] + b.imagen[IMAGEN_MASCARA]->w / 2;
      mouse_y = b.y[IMAGEN_MASCARA] + b.imagen[IMAGEN_MASCARA]->h / 2;
      mouse_b = clic.paso == 1 ? 1 : 0;
      if (++clic.paso == 3) {
        clic.dialogo = -1;
      }
      return true;
    }
  }
  throw std::runtime_error("no such button");
}

// Where the run is; each phase ends by clicking its way into the next.
enum fase : uint8_t {
  en_menu,
  en_opciones,
  en_entrenamiento,
  en_partida,
  en_peor,
  saliendo,
};

constexpr int CALENTAR = 10;          // frames before a screen is timed
constexpr int FOTOGRAMAS_MENU = 400;  // ten seconds of each screen
constexpr int FOTOGRAMAS_OPCIONES = 400;
constexpr int FOTOGRAMAS_PEOR = 600;  // 200 logic frames
constexpr int LIMITE_FOTOGRAMAS = 60000;
constexpr int ULTIMO_NIVEL_GUION = 1;  // the normal game: levels 01 and 02
constexpr uint8_t SIN_TRAZAR = 200;    // dt_rayo.dir until a logic frame traces

struct ejecucion {
  fase f = en_menu;
  int en_fase = 0;  // frames seen in this phase
  int total = 0;
  double cpu_fin = 0, reloj_fin = 0;
  bool medir = false;  // the frame ending now is to be recorded
  jugador_plan jugador;
  int nivel_jugado = -1;
  int32_t fases = 0;
  escena peor;
  int (*sorteo_juego)() = nullptr;
  bool escena_puesta = false;
  int fotogramas_escena = 0;
};
ejecucion ej;

bool tablero_dibujado = false;  // by the frame being timed

// The time the game loop spends recording the frame being timed: its calls
// of grabar_entrada and grabar_fotograma, each timed on the wall clock,
// the clock's own reading included.
double grabacion_us = 0;

const char *const FICHEROS_DATOS[] = {"grf.dat", "fuentes.dat", "intro.dat", "msc.dat", "snd.dat"};

void cambiar_fase(fase f)
{
  ej.f = f;
  ej.en_fase = 0;
}

// The scripted game's player: follows each level's plan; gremlins are left
// out, as the solver's proof leaves them.
void guion_partida(int primero, int ultimo)
{
  if (nucleo.dt_partida.fases_superadas != ej.fases) {
    ej.fases = nucleo.dt_partida.fases_superadas;
    ej.nivel_jugado = -1;
  }
  if (nucleo.dt_rayo.n_puntos == 0) {
    mouse_b = 0;  // the level is still starting
    return;
  }
  if (ej.nivel_jugado < 0) {
    ej.nivel_jugado = primero + ej.fases;
    if (ej.nivel_jugado <= ultimo) {
      plan_nivel plan;
      std::string error;
      if (!buscar_plan(&objeto[ej.nivel_jugado * NUM_CELDAS], ej.nivel_jugado, plan, error)) {
        throw std::runtime_error("no plan for level " + std::to_string(ej.nivel_jugado) + ": " + error);
      }
      jugador_empezar(ej.jugador, plan);
    }
    for (datos_gremlin &g : nucleo.dt_gremlin) {
      g.espera = -1;
    }
  }
  if (ej.nivel_jugado <= ultimo) {
    jugador_fotograma(ej.jugador);
  } else if (clic.dialogo < 0) {
    pedir_clic(DLG_JUEGO, 1);  // Exit, then Yes
  }
}

// Decides what the next frame gets, after the one just timed.
void guion()
{
  const int8_t d = dialogo_vivo();
  ++ej.en_fase;
  ej.medir = false;
  if (d == DLG_SI_NO && clic.dialogo < 0) {
    pedir_clic(DLG_SI_NO, 0);
  }
  if (d == DLG_TECLADO || d == DLG_NIVELES || d == DLG_FIN) {
    throw std::runtime_error("an unexpected screen came up");
  }
  switch (ej.f) {
  case en_menu:
    if (d != DLG_MENU) {
      break;
    }
    if (ej.en_fase == CALENTAR + FOTOGRAMAS_MENU) {
      printf("memoria menu %ld\n", memoria_kb("VmRSS:"));
      pedir_clic(DLG_MENU, 3);
      cambiar_fase(en_opciones);
    }
    ej.medir = ej.en_fase > CALENTAR;
    mouse_x = 300 + ej.en_fase % 200;  // the emitter follows the pointer
    mouse_y = 300;
    mouse_b = 0;
    break;
  case en_opciones:
    if (d == DLG_OPCIONES) {
      ej.medir = ej.en_fase > CALENTAR && ej.en_fase <= CALENTAR + FOTOGRAMAS_OPCIONES;
      if (ej.en_fase == CALENTAR + FOTOGRAMAS_OPCIONES) {
        pedir_clic(DLG_OPCIONES, 8);
      }
    } else if (d == DLG_MENU && ej.en_fase > CALENTAR + FOTOGRAMAS_OPCIONES && clic.dialogo < 0) {
      ej.fases = 0;
      ej.nivel_jugado = -1;
      pedir_clic(DLG_MENU, 1);
      cambiar_fase(en_entrenamiento);
    }
    break;
  case en_entrenamiento:
  case en_partida:
    if (d == DLG_MENU && ej.en_fase > 5) {
      if (ej.f == en_entrenamiento) {
        printf("memoria tras_entrenamiento %ld\n", memoria_kb("VmRSS:"));
        printf("memoria pico %ld\n", memoria_kb("VmHWM:"));
        ej.fases = 0;
        ej.nivel_jugado = -1;
        ult_fase_completada = 0;
        pedir_clic(DLG_MENU, 0);
        cambiar_fase(en_partida);
      } else {
        pedir_clic(DLG_MENU, 1);
        cambiar_fase(en_peor);
      }
      break;
    }
    if (d == DLG_JUEGO && clic.dialogo != DLG_MENU) {
      ej.medir = true;
      if (ej.f == en_entrenamiento) {
        guion_partida(PRIMER_NIVEL_ENTRENAMIENTO, NUM_NIVELES - 1);
      } else {
        guion_partida(0, ULTIMO_NIVEL_GUION);
      }
    }
    break;
  case en_peor:
    if (d == DLG_MENU && ej.en_fase > 5) {
      pedir_clic(DLG_MENU, 4);
      cambiar_fase(saliendo);
      break;
    }
    if (d != DLG_JUEGO || nucleo.dt_rayo.n_puntos == 0 || clic.dialogo >= 0) {
      break;
    }
    if (ej.fotogramas_escena < FOTOGRAMAS_PEOR) {
      if (!ej.escena_puesta) {
        ej.peor = montar_escena();
        ej.sorteo_juego = nucleo.sorteo_reemisor;
        nucleo.sorteo_reemisor = sorteo_vuelta;
        ej.escena_puesta = true;
      }
      ++ej.fotogramas_escena;
      restaurar_escena(ej.peor);
      nucleo.dt_rayo.dir = SIN_TRAZAR;
      mouse_x = 1000;  // on the frame, holding nothing
      mouse_y = 16;
      mouse_b = 0;
      ej.medir = true;
    } else if (ej.escena_puesta) {
      nucleo.sorteo_reemisor = ej.sorteo_juego;
      ej.escena_puesta = false;
      pedir_clic(DLG_JUEGO, 1);
    }
    break;
  case saliendo:
    break;
  }
  avanzar_clic();
}

std::string nombre_serie()
{
  switch (ej.f) {
  case en_menu: return "menu";
  case en_opciones: return "opciones";
  case en_entrenamiento:
  case en_partida: return "partida_guion";
  default:
    if (nucleo.dt_rayo.dir != SIN_TRAZAR && nucleo.dt_rayo.n_puntos != MAX_PUNTOS) {
      throw std::runtime_error("the busiest board traced short in the game");
    }
    return nucleo.dt_rayo.dir == SIN_TRAZAR ? "peor_animado" : "peor_logico";
  }
}

void fotograma_medido()
{
  const double cpu = cpu_us(), reloj = reloj_us();
  if (++ej.total > LIMITE_FOTOGRAMAS) {
    throw std::runtime_error("the scripted run went on too long");
  }
  if (ej.medir) {
    anotar(nombre_serie(), cpu - ej.cpu_fin);
    anotar(nombre_serie() + "_reloj", reloj - ej.reloj_fin);
    if (nombre_serie() == "partida_guion" && tablero_dibujado) {
      anotar("partida_juego", cpu - ej.cpu_fin);
      // In nanoseconds: a few tens of them.
      anotar("grabacion_ns", 1000 * grabacion_us);
    }
  }
  tablero_dibujado = false;
  grabacion_us = 0;
  guion();
  ej.cpu_fin = cpu_us();
  ej.reloj_fin = reloj_us();
}

// The real start-up, in a real window: the program's own order without the
// black hold and the intro, up to the first frame the menu shows.
double t_cero_ms = 0;

// Wall-clock milliseconds, on the clock the launch time was taken from.
double ahora_ms()
{
  timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// When the menu was entered: its first frame's own cost is the rest.
double t_menu_ms = 0;

// The frame step as the game takes it, after the wait for the tick.
void copiar_a_pantalla()
{
  vsync();
  acquire_screen();
  blit(buffer, screen, 0, 0, 0, 0, ANCHO_PANTALLA, ALTO_PANTALLA);
  release_screen();
}

double cpu_proceso_ms()
{
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// --cadencia: frames of the real menu timed from one shown frame to the next.
bool medir_cadencia = false;
constexpr int FOTOGRAMAS_CADENCIA = 400;

// Timed at the tick, which paces the frames: the copy after it then waits
// for the display's next retrace.
void fotograma_cadencia()
{
  static int n = -1;
  static double antes_ms = 0, cpu_inicio_ms = 0, inicio_ms = 0;
  esperar_tic();
  const double ahora = ahora_ms();
  copiar_a_pantalla();
  if (n < 0) {
    cpu_inicio_ms = cpu_proceso_ms();
    inicio_ms = ahora;
  } else {
    printf("intervalo %.3f\n", ahora - antes_ms);
  }
  antes_ms = ahora;
  if (++n == FOTOGRAMAS_CADENCIA) {
    printf("cpu_menu_ventana %.2f\n", 100 * (cpu_proceso_ms() - cpu_inicio_ms) / (ahora - inicio_ms));
    fflush(stdout);
    _exit(0);
  }
}

void primer_fotograma()
{
  fprintf(stderr, "arranque_paso menu_primer_fotograma %.1f\n", ahora_ms() - t_menu_ms);
  esperar_tic();
  copiar_a_pantalla();
  printf("arranque %.1f\n", ahora_ms() - t_cero_ms);
  printf("arranque_cpu %.1f\n", cpu_proceso_ms());
  if (medir_cadencia) {
    prueba_fotograma = fotograma_cadencia;
    return;
  }
  prueba_fotograma = nullptr;
  // Stay on the menu for a second of real frames, then say how big the
  // program has grown.
  for (int i = 0; i < FOTOGRAMAS_POR_SEGUNDO; ++i) {
    mover_fondo(0);
    paso_fotograma();
  }
  printf("memoria menu_ventana %ld\n", memoria_kb("VmRSS:"));
  fflush(stdout);
  _exit(0);
}

int arranque()
{
  const char *t0 = getenv("FOTONAUTA_T0_NS");
  if (t0 == nullptr) {
    fprintf(stderr, "--arranque needs FOTONAUTA_T0_NS, the launch time in ns\n");
    return 2;
  }
  t_cero_ms = static_cast<double>(strtoll(t0, nullptr, 10)) / 1e6;
  // Where the time goes, step by step: the launch (exec, the libraries'
  // linking and constructors) first.
  fprintf(stderr, "arranque_paso antes_de_main %.1f\n", ahora_ms() - t_cero_ms);
  double t = reloj_us();
  const auto paso = [&t](const char *nombre) {
    const double ahora = reloj_us();
    fprintf(stderr, "arranque_paso %s %.1f\n", nombre, (ahora - t) / 1000);
    t = ahora;
  };
  if (ini_allegro() != 0) {
    return 1;
  }
  paso("ini_allegro");
  ini_tiempo();
  ini_audio();
  paso("ini_audio");
  ini_dialogos();
  ini_juego();
  clear_to_color(buffer, 0);
  leer_cfg();
  leer_pnt();
  paso("resto");
  t_menu_ms = ahora_ms();
  prueba_fotograma = primer_fotograma;
  menu_principal();
  return 1;  // the first frame ends the process
}

}  // namespace

// Linked in place of the game's pintar_tablero (the linker's --wrap): a
// frame that draws the board on `buffer` is a frame of play, not of a
// sequence.
extern "C" void __real__Z14pintar_tableroP6BITMAP(BITMAP *destino);
extern "C" void __wrap__Z14pintar_tableroP6BITMAP(BITMAP *destino)
{
  if (destino == buffer) {
    tablero_dibujado = true;
  }
  __real__Z14pintar_tableroP6BITMAP(destino);
}

// Linked in place of the recording's calls in the game loop's record step
// (jugar_y_grabar, which calls them from another file).
extern "C" void __real__Z14grabar_entradaR10repeticionRK13entrada_juego(repeticion &r, const entrada_juego &e);
extern "C" void __wrap__Z14grabar_entradaR10repeticionRK13entrada_juego(repeticion &r, const entrada_juego &e)
{
  const double t = reloj_us();
  __real__Z14grabar_entradaR10repeticionRK13entrada_juego(r, e);
  grabacion_us += reloj_us() - t;
}
extern "C" void __real__Z16grabar_fotogramaR10repeticionRK13entrada_juego(repeticion &r, const entrada_juego &e);
extern "C" void __wrap__Z16grabar_fotogramaR10repeticionRK13entrada_juego(repeticion &r, const entrada_juego &e)
{
  const double t = reloj_us();
  __real__Z16grabar_fotogramaR10repeticionRK13entrada_juego(r, e);
  grabacion_us += reloj_us() - t;
}

// The exploding row of the busiest board is the floor of the beam's last
// corridor: a game's trace would fall through it. While that board is up,
// the trace sees the floor and the drawing the explosions.
extern "C" void __real__Z13calcular_rayov();
extern "C" void __wrap__Z13calcular_rayov()
{
  if (!ej.escena_puesta) {
    __real__Z13calcular_rayov();
    return;
  }
  celda explosiones[NUM_CELDAS - PRIMERA_EXPLOSION];
  memcpy(explosiones, &nucleo.est_nivel[PRIMERA_EXPLOSION], sizeof explosiones);
  memcpy(&nucleo.est_nivel[PRIMERA_EXPLOSION], &ej.peor.sin_explosiones[PRIMERA_EXPLOSION], sizeof explosiones);
  __real__Z13calcular_rayov();
  memcpy(&nucleo.est_nivel[PRIMERA_EXPLOSION], explosiones, sizeof explosiones);
}

int main(int argc, char **argv)
{
  if (argc > 1 && strcmp(argv[1], "--arranque") == 0) {
    medir_cadencia = argc > 2 && strcmp(argv[2], "--cadencia") == 0;
    return arranque();
  }
  const int profundidad = argc > 1 ? atoi(argv[1]) : 16;
  // --como-antes: the beam's pixels left to Allegro and the logo drawn as
  // a masked bitmap, as before those two were made faster.
  if (argc > 2 && strcmp(argv[2], "--como-antes") == 0) {
    relleno_aditivo_rapido = 0;
    logo_por_tramos = 0;
  }
  // The screens write cfg.dat: they run in a folder of their own that
  // links to the data files, as a player's has.
  char carpeta[] = "/tmp/fotonauta-fotogramas-XXXXXX";
  if (mkdtemp(carpeta) == nullptr) {
    return 1;
  }
  for (const char *f : FICHEROS_DATOS) {
    if (symlink((std::string(FOTONAUTA_DATOS_DIR) + "/" + f).c_str(), (std::string(carpeta) + "/" + f).c_str()) != 0) {
      return 1;
    }
  }
  if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0 || chdir(carpeta) != 0) {
    fprintf(stderr, "cannot start Allegro or use %s\n", carpeta);
    return 1;
  }
  set_uformat(U_ASCII);
  set_color_depth(profundidad);
  modo_truecolor = profundidad == 32;
  buffer = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
  clear_bitmap(buffer);
  if (cargar_graficos() != 0) {
    return 1;
  }
  ini_juego();
  ini_dialogos();
  idioma = IDIOMA_ESPANOL;
  colocar_texto_botones();
  ult_fase_completada = 0;
  mouse_x = 0;
  mouse_y = 0;
  mouse_b = 0;

  prueba_fotograma = fotograma_medido;
  ej.cpu_fin = cpu_us();
  ej.reloj_fin = reloj_us();
  try {
    menu_principal();
  } catch (const std::exception &e) {
    fprintf(stderr, "bench_fotogramas: %s after %d frames (phase %d)\n", e.what(), ej.total, ej.f);
    return 1;
  }
  printf("fotogramas %d\n", ej.total);
  imprimir_series();
  // With the recordings the games left.
  std::error_code e;
  std::filesystem::remove_all(carpeta, e);
  return 0;
}
