// Holds up only the main thread of a running program for a while, its other
// threads (the library's input thread among them) running on, as a busy
// machine or a slow frame does; then runs a command while it is held.
//
//   retener_hilo PID MS COMMAND...
//
// The thread is stopped only where it waits for the frame clock (a futex
// wait), so it holds no lock the input thread needs: a stop elsewhere is
// let go and tried again. Exits 0 once the command has run and the thread
// has gone on; 1 when the thread could not be held.
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

// The system call the thread is stopped in, or -1 when it is not in one.
long llamada_en_curso(pid_t pid)
{
  std::ifstream f("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/syscall");
  std::string primero;
  if (!(f >> primero) || primero == "running") {
    return -1;
  }
  return strtol(primero.c_str(), nullptr, 10);
}

constexpr long SYS_FUTEX = 202;  // x86-64

}  // namespace

int main(int argc, char **argv)
{
  if (argc < 4) {
    fprintf(stderr, "usage: retener_hilo PID MS COMMAND...\n");
    return 2;
  }
  const pid_t pid = static_cast<pid_t>(atoi(argv[1]));
  const int ms = atoi(argv[2]);
  // The main thread's id is the process id: seizing it holds that thread
  // alone.
  if (ptrace(PTRACE_SEIZE, pid, nullptr, nullptr) != 0) {
    perror("retener_hilo: PTRACE_SEIZE");
    return 1;
  }
  bool retenido = false;
  for (int intento = 0; intento < 200 && !retenido; ++intento) {
    ptrace(PTRACE_INTERRUPT, pid, nullptr, nullptr);
    int estado = 0;
    if (waitpid(pid, &estado, __WALL) != pid || !WIFSTOPPED(estado)) {
      fprintf(stderr, "retener_hilo: the thread did not stop\n");
      return 1;
    }
    if (llamada_en_curso(pid) == SYS_FUTEX) {
      retenido = true;
    } else {
      ptrace(PTRACE_CONT, pid, nullptr, nullptr);
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  }
  if (!retenido) {
    fprintf(stderr, "retener_hilo: the thread was never found waiting for the clock\n");
    ptrace(PTRACE_DETACH, pid, nullptr, nullptr);
    return 1;
  }
  const auto fin = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  const pid_t hijo = fork();
  if (hijo == 0) {
    execvp(argv[3], argv + 3);
    _exit(127);
  }
  int estado = 1;
  waitpid(hijo, &estado, 0);
  std::this_thread::sleep_until(fin);
  ptrace(PTRACE_DETACH, pid, nullptr, nullptr);
  return WIFEXITED(estado) && WEXITSTATUS(estado) == 0 ? 0 : 1;
}
