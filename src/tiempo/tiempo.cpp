// The frame clock, and ending the program on a signal.
#include "tiempo/tiempo.h"

#include <allegro.h>

#include <X11/Xlib.h>
#include <semaphore.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

// 1 while a tick has come that no frame has consumed yet.
std::atomic<uint8_t> tic_reloj{0};

// The signal that asked the program to end, or 0.
volatile sig_atomic_t senal_fin = 0;

namespace {

// Posted by the timer when it raises tic_reloj, and by a signal that asks
// the program to end: the main thread sleeps on it between frames instead
// of spinning on the flag. The flag stays the truth; the semaphore only
// wakes the waiter, so a stale post costs one more look at the flag.
sem_t aviso_tic;

// The longest the wait sleeps without looking at the flag and for a
// request to end, should a post ever be missed.
constexpr long PLAZO_TIC_MS = 100;

// The requests to end: kill's default, Ctrl+C, the terminal going away,
// and Ctrl+\ (which the library also takes over).
constexpr int SENALES_FIN[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

// Woken (sem_post is safe in a signal handler) when a signal asks the
// program to end and when the program starts to end. Its thread then ends
// the process itself if the normal way out has not done so in time: the
// main thread may be stuck where no frame step comes (a name lookup, or
// the library's own shutdown waiting on a lock).
sem_t aviso_fin;

// How long the normal way out is given after a signal, and after exit()
// has begun without one.
constexpr long PLAZO_SENAL_MS = 500;
constexpr long PLAZO_SALIDA_MS = 5000;

timespec dentro_de(long ms)
{
  timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  t.tv_sec += ms / 1000;
  t.tv_nsec += (ms % 1000) * 1000000;
  if (t.tv_nsec >= 1000000000) {
    ++t.tv_sec;
    t.tv_nsec -= 1000000000;
  }
  return t;
}

bool antes(const timespec &a, const timespec &b)
{
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

void vigilar_fin()
{
  while (sem_wait(&aviso_fin) != 0) {
  }
  timespec limite = dentro_de(senal_fin != 0 ? PLAZO_SENAL_MS : PLAZO_SALIDA_MS);
  for (;;) {
    if (sem_timedwait(&aviso_fin, &limite) == 0) {
      // Another warning: a signal may shorten the wait.
      if (senal_fin != 0) {
        const timespec corto = dentro_de(PLAZO_SENAL_MS);
        if (antes(corto, limite)) {
          limite = corto;
        }
      }
    } else if (errno == ETIMEDOUT) {
      const int senal = senal_fin;
      _exit(senal != 0 ? 128 + senal : 1);
    }
  }
}

void avisar_salida()
{
  sem_post(&aviso_fin);
}

void anotar_senal(int senal)
{
  senal_fin = senal;
  sem_post(&aviso_fin);
  sem_post(&aviso_tic);
}

// Called by Xlib, on whichever thread first finds the connection to the X
// server gone (the server ended, the session was closed), and never to
// return. Xlib's own handler calls exit() there, mostly on the library's
// input thread: the library's shutdown then closed the display and
// unloaded its modules while the main thread went on drawing frames into
// them, which crashed it. Nothing is left to restore on a display that is
// gone, and the files are written whole or not at all, so the program
// ends at once, as the watch would, with the status of a signal that has
// already asked it to end.
int servidor_perdido(Display *pantalla)
{
  char aviso[160];
  const int n = snprintf(aviso, sizeof aviso, "the connection to X display %s was lost\n",
                         pantalla != nullptr ? DisplayString(pantalla) : "");
  if (n > 0 && write(STDERR_FILENO, aviso, static_cast<size_t>(n)) < 0) {
    // Nowhere left to say it.
  }
  const int senal = senal_fin;
  _exit(senal != 0 ? 128 + senal : 1);
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
  if (tic_reloj.exchange(1) == 0) {
    sem_post(&aviso_tic);
  }
}

void ini_tiempo()
{
  sem_init(&aviso_tic, 0, 0);
  install_int_ex(temporizador, BPS_TO_TIMER(FOTOGRAMAS_POR_SEGUNDO));
  tic_reloj = 0;
}

void esperar_tic()
{
  // The clock may stand still (the window in the background), so the wait
  // itself looks for a request to end.
  while (tic_reloj == 0) {
    atender_senal_fin();
    const timespec limite = dentro_de(PLAZO_TIC_MS);
    sem_timedwait(&aviso_tic, &limite);
  }
  tic_reloj = 0;
  // Posts of ticks already consumed would only wake the next wait early.
  while (sem_trywait(&aviso_tic) == 0) {
  }
}

void bloquear_senales_fin()
{
  const sigset_t s = conjunto_fin();
  sigprocmask(SIG_BLOCK, &s, nullptr);
}

void ini_senales_fin()
{
  // Once: the watch outlives every later call.
  static bool vigilando = false;
  if (!vigilando) {
    vigilando = true;
    sem_init(&aviso_fin, 0, 0);
    std::thread(vigilar_fin).detach();
    // Registered after the library's shutdown, so run before it.
    atexit(avisar_salida);
    XSetIOErrorHandler(servidor_perdido);
  }
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
