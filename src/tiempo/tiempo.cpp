// The frame clock, and ending the program on a signal.
#include "tiempo/tiempo.h"

#include <allegro.h>

#include <csignal>
#include <cstdlib>

// 1 while a tick has come that no frame has consumed yet.
std::atomic<uint8_t> tic_reloj{0};

// The signal that asked the program to end, or 0.
volatile sig_atomic_t senal_fin = 0;

namespace {

// The requests to end: kill's default, Ctrl+C, the terminal going away,
// and Ctrl+\ (which the library also takes over).
constexpr int SENALES_FIN[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

void anotar_senal(int senal)
{
  senal_fin = senal;
}

sigset_t conjunto_fin()
{
  sigset_t s;
  sigemptyset(&s);
  for (const int senal : SENALES_FIN) {
    sigaddset(&s, senal);
  }
  return s;
}

}  // namespace

void temporizador()
{
  tic_reloj = 1;
}

void ini_tiempo()
{
  install_int_ex(temporizador, BPS_TO_TIMER(FOTOGRAMAS_POR_SEGUNDO));
  tic_reloj = 0;
}

void esperar_tic()
{
  // The clock may stand still (the window in the background), so the wait
  // itself looks for a request to end.
  while (tic_reloj == 0) {
    atender_senal_fin();
  }
  tic_reloj = 0;
}

void bloquear_senales_fin()
{
  const sigset_t s = conjunto_fin();
  sigprocmask(SIG_BLOCK, &s, nullptr);
}

void ini_senales_fin()
{
  struct sigaction a = {};
  a.sa_handler = anotar_senal;
  sigemptyset(&a.sa_mask);
  // Restarted calls: a signal must not make a file read fail halfway.
  a.sa_flags = SA_RESTART;
  for (const int senal : SENALES_FIN) {
    sigaction(senal, &a, nullptr);
  }
  const sigset_t s = conjunto_fin();
  sigprocmask(SIG_UNBLOCK, &s, nullptr);
}

void soltar_senales_fin()
{
  for (const int senal : SENALES_FIN) {
    signal(senal, SIG_DFL);
  }
  const sigset_t s = conjunto_fin();
  sigprocmask(SIG_UNBLOCK, &s, nullptr);
}

void atender_senal_fin()
{
  const int senal = senal_fin;
  if (senal != 0) {
    std::exit(128 + senal);
  }
}
