// Proving the level being edited: the level tool's solver, run in a
// process of its own. The solver plays the level through the game's own
// code, which keeps its state in globals (the board, the beam, the mouse
// it drives); a copy of the whole program is the one place it can play
// while the window goes on answering the real mouse.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "editor/editor.h"
#include "resolver/resolver.h"
#include "tiempo/tiempo.h"

namespace {

// The output of the proving process, written only there.
int tubo_prueba = -1;

void escribir_todo(int fd, const std::string &texto)
{
  size_t hecho = 0;
  while (hecho < texto.size()) {
    const ssize_t n = write(fd, texto.data() + hecho, texto.size() - hecho);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return;
    }
    hecho += static_cast<size_t>(n);
  }
}

void avisar_progreso(int hechas, int total)
{
  char linea[48];
  snprintf(linea, sizeof linea, "progreso %d %d\n", hechas, total);
  escribir_todo(tubo_prueba, linea);
}

// The proving process: the solver on level 0, replaced by the author's.
[[noreturn]] void probar(const nivel_texto &nivel)
{
  // The solver's explosions must not reach the sound card, which belongs
  // to the window's process.
  vol_son = 0;
  // The solver plays by writing the mouse's state (buttons, pointer) itself;
  // a sample of the real mouse would undo every press, and a wheel turned
  // at the fork would turn a mirror at its first step.
  dlg_raton_del_programa();
  mouse_z = 0;
  for (const nivel_texto *&n : nivel_sustituto) {
    n = nullptr;
  }
  nivel_sustituto[0] = &nivel;
  opciones_resolver opciones;
  opciones.progreso = avisar_progreso;
  const informe_nivel inf = resolver_nivel(nivel.bytes, 0, opciones);
  char cabecera[240];
  snprintf(cabecera, sizeof cabecera, "resultado %d %d %d %d %d %d %d\npeligro %d %d %d %d %d %d\n", inf.pasa ? 1 : 0,
           inf.encontrado ? 1 : 0, inf.azar ? 1 : 0, inf.fotogramas, inf.giros, inf.a_tiempo, inf.partidas,
           inf.arranques, inf.arranques_peligrosos, inf.arranques_mina, inf.arranques_rebote,
           FOTOGRAMAS_PELIGRO, inf.fotogramas_peligro);
  escribir_todo(tubo_prueba, std::string(cabecera) + "error " + inf.error + "\nplan\n" + escribir_plan(inf.plan) +
                                 "fin_prueba\n");
  // Nothing of the window's process may run here: no exit handlers.
  _exit(0);
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
  int tubo[2];
  if (pipe(tubo) != 0) {
    return false;
  }
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    close(tubo[0]);
    close(tubo[1]);
    return false;
  }
  if (pid == 0) {
    close(tubo[0]);
    tubo_prueba = tubo[1];
    probar(nivel);
  }
  close(tubo[1]);
  fcntl(tubo[0], F_SETFL, O_NONBLOCK);
  p.pid = pid;
  p.tubo = tubo[0];
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
