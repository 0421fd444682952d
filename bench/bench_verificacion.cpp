// bench_verificacion: how fast the score server's worker verifies real
// recorded games. Starts `SERVER --verificador` as the server does, sends
// it every recording listed in each folder (grabar_partidas's list,
// lista.txt, beside the files) as the server would, reads every
// answer, closes its input and takes the process's processor time from
// the kernel once it has ended: its start, the reading, unpacking and
// checking of each file and the games played again, all counted. Prints
// per folder:
//
//   verificacion FOLDER partidas N verificadas N fotogramas F cpu_s C pared_s W veces_tiempo_real X
//
// `veces_tiempo_real` is the game time verified (frames at 40 a second)
// per second of processor time.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "servidor/servidor.h"

extern char **environ;

namespace {

constexpr double FOTOGRAMAS_POR_SEGUNDO = 40;

std::string leer_fichero(const std::string &ruta)
{
  std::ifstream f(ruta, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace

int main(int argc, char **argv)
{
  if (argc < 3) {
    std::fputs("usage: bench_verificacion SERVER_PROGRAM FOLDER...\n", stderr);
    return 2;
  }
  for (int k = 2; k < argc; ++k) {
    const std::string carpeta = argv[k];
    std::vector<trabajo_verificacion> trabajos;
    std::ifstream lista(carpeta + "/lista.txt");
    std::string linea;
    while (std::getline(lista, linea)) {
      std::istringstream campos(linea);
      trabajo_verificacion t;
      std::string puntos, fases, fotogramas, fichero;
      std::getline(campos, t.fila.codigo, '\t');
      std::getline(campos, t.fila.nombre, '\t');
      std::getline(campos, puntos, '\t');
      std::getline(campos, fases, '\t');
      std::getline(campos, fotogramas, '\t');
      std::getline(campos, fichero, '\t');
      t.fila.puntos = std::stoi(puntos);
      t.fila.fases = std::stoi(fases);
      t.datos = leer_fichero(carpeta + "/" + fichero);
      trabajos.push_back(t);
    }
    int hacia[2], desde[2];
    if (pipe(hacia) != 0 || pipe(desde) != 0) {
      std::perror("pipe");
      return 1;
    }
    posix_spawn_file_actions_t acciones;
    posix_spawn_file_actions_init(&acciones);
    posix_spawn_file_actions_adddup2(&acciones, hacia[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&acciones, desde[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&acciones, STDERR_FILENO + 1);
    char *args[] = {argv[1], const_cast<char *>("--verificador"), nullptr};
    const auto inicio = std::chrono::steady_clock::now();
    pid_t pid;
    if (posix_spawn(&pid, argv[1], &acciones, nullptr, args, environ) != 0) {
      std::perror(argv[1]);
      return 1;
    }
    close(hacia[0]);
    close(desde[1]);
    int64_t fotogramas = 0, verificadas = 0;
    for (const trabajo_verificacion &t : trabajos) {
      std::string respuesta;
      resultado_prueba r;
      if (!escribir_mensaje(hacia[1], empaquetar_trabajo(t)) || leer_mensaje(desde[0], respuesta, 1 << 16, -1) != 1 ||
          !desempaquetar_resultado(respuesta, r)) {
        std::fprintf(stderr, "bench_verificacion: the worker ended\n");
        return 1;
      }
      fotogramas += r.fotogramas;
      verificadas += r.estado == 200 ? 1 : 0;
      if (r.estado != 200) {
        std::fprintf(stderr, "bench_verificacion: %s: %d %s\n", t.fila.codigo.c_str(), r.estado, r.motivo.c_str());
      }
    }
    close(hacia[1]);
    int estado = 0;
    rusage uso{};
    wait4(pid, &estado, 0, &uso);
    const double pared = std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio).count();
    close(desde[0]);
    const double cpu = static_cast<double>(uso.ru_utime.tv_sec + uso.ru_stime.tv_sec) +
                       static_cast<double>(uso.ru_utime.tv_usec + uso.ru_stime.tv_usec) / 1e6;
    std::printf("verificacion %s partidas %zu verificadas %lld fotogramas %lld cpu_s %.4f pared_s %.4f "
                "veces_tiempo_real %.0f\n",
                carpeta.c_str(), trabajos.size(), static_cast<long long>(verificadas), static_cast<long long>(fotogramas),
                cpu, pared, static_cast<double>(fotogramas) / FOTOGRAMAS_POR_SEGUNDO / cpu);
  }
  return 0;
}
