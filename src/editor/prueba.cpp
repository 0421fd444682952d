// Proving the level being edited: the solver, run by the editor's own
// program started again with --probar, which reads the level's text on its
// standard input and writes its progress and its verdict on its standard
// output. A process of its own, with no window, no sound and no library
// threads: the window goes on drawing from the rules' state and answering
// the author while hundreds of runs are played on another copy of it; Esc
// ends a proof at once by ending the process, which a search with no
// points to stop at could not be asked to do; and a proof that went wrong
// cannot take the author's unsaved level with it.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "editor/editor.h"
#include "resolver/resolver.h"
#include "tiempo/tiempo.h"

namespace {

// The level's text is at most a few kilobytes; more is no level.
constexpr size_t MAX_TEXTO_NIVEL = 64 * 1024;

// Tries at a winning game: a plan that passes wins nearly every start, but
// the level's gremlins (which the proof leaves out) may spoil a few.
constexpr int INTENTOS_GRABACION = 20;

bool escribir_todo(int fd, const char *datos, size_t n)
{
  size_t hecho = 0;
  while (hecho < n) {
    const ssize_t k = write(fd, datos + hecho, n - hecho);
    if (k < 0 && errno == EINTR) {
      continue;
    }
    if (k <= 0) {
      return false;
    }
    hecho += static_cast<size_t>(k);
  }
  return true;
}

bool escribir_todo(int fd, const std::string &texto)
{
  return escribir_todo(fd, texto.data(), texto.size());
}

void avisar_progreso(int hechas, int total)
{
  char linea[48];
  snprintf(linea, sizeof linea, "progreso %d %d\n", hechas, total);
  escribir_todo(STDOUT_FILENO, linea);
}

std::string en_hexadecimal(const std::vector<uint8_t> &datos)
{
  static const char CIFRAS[] = "0123456789abcdef";
  std::string t;
  t.reserve(datos.size() * 2);
  for (uint8_t b : datos) {
    t += CIFRAS[b >> 4];
    t += CIFRAS[b & 15];
  }
  return t;
}

bool de_hexadecimal(const std::string &t, std::vector<uint8_t> &datos)
{
  if (t.size() % 2 != 0) {
    return false;
  }
  datos.clear();
  const auto cifra = [](char c) { return c >= 'a' ? c - 'a' + 10 : c - '0'; };
  for (size_t i = 0; i < t.size(); i += 2) {
    if (t.find_first_not_of("0123456789abcdef", i) < i + 2) {
      return false;
    }
    datos.push_back(static_cast<uint8_t>(cifra(t[i]) * 16 + cifra(t[i + 1])));
  }
  return true;
}

// The plan played in a whole game as the game plays one, recorded, and
// checked as the score server will check it: a recording that wins the
// level, or none.
std::vector<uint8_t> grabacion_ganadora(const nivel_texto &nivel, const plan_nivel &plan)
{
  for (int k = 1; k <= INTENTOS_GRABACION; ++k) {
    repeticion r;
    if (!grabar_plan(nivel, plan, semilla_partida(static_cast<uint64_t>(k)), r)) {
      continue;
    }
    const verificacion v = verificar_repeticion(r, &nivel);
    if (v.valida && v.fases > 0) {
      return codificar_repeticion(r);
    }
  }
  return {};
}

void cerrar(prueba_en_curso &p)
{
  if (p.tubo >= 0) {
    close(p.tubo);
  }
  p.tubo = -1;
  if (p.pid > 0) {
    waitpid(p.pid, nullptr, 0);
  }
  p.pid = -1;
  p.leido.clear();
}

void interpretar(const std::string &texto, resultado_prueba &r)
{
  std::istringstream f(texto);
  std::string linea, plan;
  bool en_plan = false;
  while (std::getline(f, linea)) {
    if (en_plan) {
      if (linea == "fin_prueba") {
        break;
      }
      plan += linea + "\n";
    } else if (linea.rfind("peligro ", 0) == 0) {
      int vigilados = 0, mas_rapido = 0;
      sscanf(linea.c_str(), "peligro %d %d %d %d %d %d", &r.arranques, &r.peligrosos, &r.en_mina, &r.de_rebote,
             &vigilados, &mas_rapido);
      r.segundos_peligro = vigilados / FOTOGRAMAS_POR_SEGUNDO;
      r.primera_perdida = static_cast<double>(mas_rapido) / FOTOGRAMAS_POR_SEGUNDO;
    } else if (linea.rfind("resultado ", 0) == 0) {
      int pasa = 0, encontrado = 0, azar = 0;
      sscanf(linea.c_str(), "resultado %d %d %d %d %d %d %d", &pasa, &encontrado, &azar, &r.fotogramas, &r.giros,
             &r.a_tiempo, &r.partidas);
      r.pasa = pasa != 0;
      r.encontrado = encontrado != 0;
      r.azar = azar != 0;
    } else if (linea.rfind("error ", 0) == 0) {
      r.error = linea.substr(6);
    } else if (linea.rfind("repeticion ", 0) == 0 && !de_hexadecimal(linea.substr(11), r.grabacion)) {
      r.grabacion.clear();
    } else if (linea == "plan") {
      en_plan = true;
    }
  }
  r.energia = 100.0 * r.fotogramas / FOTOGRAMAS_ENERGIA;
  // The plan in the editor's own terms: the screen knows nothing of the
  // solver.
  plan_nivel pasos;
  std::string error;
  if (r.encontrado && leer_plan(plan, pasos, error)) {
    for (const paso_plan &p : pasos) {
      paso_prueba q{p.tipo == paso_giro, p.celda, p.angulo, {}};
      q.blancos.assign(p.blancos.begin(), p.blancos.end());
      r.plan.push_back(q);
    }
  }
}

}  // namespace

bool empezar_prueba(prueba_en_curso &p, const nivel_texto &nivel)
{
  cancelar_prueba(p);
  int entrada[2], salida[2];
  if (pipe2(entrada, O_CLOEXEC) != 0) {
    return false;
  }
  if (pipe2(salida, O_CLOEXEC) != 0) {
    close(entrada[0]);
    close(entrada[1]);
    return false;
  }
  // The helper gets the two pipes and nothing else of the window's: not
  // the X connection, not the sound device. SIGPIPE, which the editor
  // ignores, is its default again there.
  posix_spawn_file_actions_t acciones;
  posix_spawn_file_actions_init(&acciones);
  posix_spawn_file_actions_adddup2(&acciones, entrada[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&acciones, salida[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&acciones, STDERR_FILENO + 1);
  posix_spawnattr_t atributos;
  posix_spawnattr_init(&atributos);
  sigset_t por_defecto, ninguna;
  sigemptyset(&por_defecto);
  sigaddset(&por_defecto, SIGPIPE);
  sigemptyset(&ninguna);
  posix_spawnattr_setsigdefault(&atributos, &por_defecto);
  posix_spawnattr_setsigmask(&atributos, &ninguna);
  posix_spawnattr_setflags(&atributos, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  // This very program, even if its file has been replaced since it started.
  char nombre[] = "fotonauta-editor", opcion[] = "--probar";
  char *argumentos[] = {nombre, opcion, nullptr};
  pid_t pid = -1;
  const int error = posix_spawn(&pid, "/proc/self/exe", &acciones, &atributos, argumentos, environ);
  posix_spawn_file_actions_destroy(&acciones);
  posix_spawnattr_destroy(&atributos);
  close(entrada[0]);
  close(salida[1]);
  if (error != 0) {
    close(entrada[1]);
    close(salida[0]);
    return false;
  }
  // The text fits the pipe's buffer many times over; a helper that died at
  // once makes the write fail, not the editor.
  signal(SIGPIPE, SIG_IGN);
  escribir_todo(entrada[1], escribir_nivel_texto(nivel));
  close(entrada[1]);
  fcntl(salida[0], F_SETFL, O_NONBLOCK);
  p.pid = pid;
  p.tubo = salida[0];
  p.leido.clear();
  p.hechas = p.total = 0;
  return true;
}

bool seguir_prueba(prueba_en_curso &p, resultado_prueba &r)
{
  if (p.pid < 0) {
    return false;
  }
  bool terminado = false;
  char bloque[4096];
  // Bounded: whatever has come this frame, at most 64 blocks.
  for (int i = 0; i < 64; ++i) {
    const ssize_t n = read(p.tubo, bloque, sizeof bloque);
    if (n > 0) {
      p.leido.append(bloque, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) {
      terminado = true;
    }
    break;
  }
  // The latest progress line tells how far the proof has gone.
  size_t desde = 0;
  for (size_t fin; (fin = p.leido.find('\n', desde)) != std::string::npos; desde = fin + 1) {
    int hechas = 0, total = 0;
    if (sscanf(p.leido.c_str() + desde, "progreso %d %d", &hechas, &total) == 2) {
      p.hechas = hechas;
      p.total = total;
    }
  }
  if (!terminado) {
    return false;
  }
  r = resultado_prueba{};
  if (p.leido.find("fin_prueba\n") == std::string::npos) {
    r.error = "the solver stopped before it finished";
  } else {
    interpretar(p.leido, r);
  }
  cerrar(p);
  return true;
}

void cancelar_prueba(prueba_en_curso &p)
{
  if (p.pid > 0) {
    kill(p.pid, SIGKILL);
  }
  cerrar(p);
}

int probar_entrada_estandar()
{
  std::string texto;
  char bloque[4096];
  for (ssize_t n; (n = read(STDIN_FILENO, bloque, sizeof bloque)) != 0;) {
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 || texto.size() + static_cast<size_t>(n) > MAX_TEXTO_NIVEL) {
      fprintf(stderr, "fotonauta-editor --probar: the level could not be read\n");
      return 2;
    }
    texto.append(bloque, static_cast<size_t>(n));
  }
  nivel_texto nivel;
  std::string error;
  if (!interpretar_nivel_texto(texto, nivel, error)) {
    fprintf(stderr, "fotonauta-editor --probar: %s\n", error.c_str());
    return 2;
  }
  // The solver plays the author's level as level 0, with its gremlins.
  opciones_resolver opciones;
  opciones.gremlins = nivel.gremlins;
  opciones.progreso = avisar_progreso;
  const informe_nivel inf = resolver_nivel(nivel.bytes, 0, opciones);
  const std::vector<uint8_t> grabacion =
      inf.pasa ? grabacion_ganadora(nivel, inf.plan) : std::vector<uint8_t>{};
  char cabecera[240];
  snprintf(cabecera, sizeof cabecera, "resultado %d %d %d %d %d %d %d\npeligro %d %d %d %d %d %d\n", inf.pasa ? 1 : 0,
           inf.encontrado ? 1 : 0, inf.azar ? 1 : 0, inf.fotogramas, inf.giros, inf.a_tiempo, inf.partidas,
           inf.arranques, inf.arranques_peligrosos, inf.arranques_mina, inf.arranques_rebote,
           FOTOGRAMAS_PELIGRO, inf.fotogramas_peligro);
  std::string salida = std::string(cabecera) + "error " + inf.error + "\n";
  if (!grabacion.empty()) {
    salida += "repeticion " + en_hexadecimal(grabacion) + "\n";
  }
  salida += "plan\n" + escribir_plan(inf.plan) + "fin_prueba\n";
  return escribir_todo(STDOUT_FILENO, salida) ? 0 : 1;
}
