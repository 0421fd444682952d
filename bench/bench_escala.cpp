// The cost of sending a frame to a real window at a scale: the game's own
// copy (enviar_fotograma), timed in the sending thread's CPU and on the
// clock until the X server has taken it. Two kinds of frame: the whole
// picture changed (a level sliding in, a screen change), and one strip of
// it (the energy bar, a turning mirror). Prints one line per kind:
//   escala S KIND N P50 P99 MAX P99_RELOJ   (microseconds)
// and fails when the window cannot be shown at scale S.
//
//   bench_escala S     (DISPLAY must name an X server with room for S)
#include <allegro.h>
#include <xalleg.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "pantalla/pantalla.h"

namespace {

double reloj_us(clockid_t reloj)
{
  timespec t;
  clock_gettime(reloj, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

constexpr int FOTOGRAMAS = 400;

// Draws frame `n` of a kind into the picture, sends it and times the
// sending: the CPU of this thread, and the clock until the server answers.
void medir(const char *clase, int escala, void (*dibujar)(int))
{
  std::vector<double> cpu, reloj;
  for (int n = 0; n < FOTOGRAMAS; ++n) {
    dibujar(n);
    const double c0 = reloj_us(CLOCK_THREAD_CPUTIME_ID), r0 = reloj_us(CLOCK_MONOTONIC);
    enviar_fotograma();
    const double c1 = reloj_us(CLOCK_THREAD_CPUTIME_ID);
    XLOCK();
    XSync(_xwin.display, False);
    XUNLOCK();
    cpu.push_back(c1 - c0);
    reloj.push_back(reloj_us(CLOCK_MONOTONIC) - r0);
  }
  std::sort(cpu.begin(), cpu.end());
  std::sort(reloj.begin(), reloj.end());
  const auto p = [](const std::vector<double> &v, double q) { return v[static_cast<size_t>(q * (v.size() - 1))]; };
  printf("escala %d %s %d %.0f %.0f %.0f %.0f\n", escala, clase, FOTOGRAMAS, p(cpu, 0.5), p(cpu, 0.99), cpu.back(),
         p(reloj, 0.99));
}

// Every pixel changes: bands of colour that move a pixel a frame.
void entera(int n)
{
  for (int y = 0; y < ALTO_PANTALLA; ++y) {
    hline(buffer, 0, y, ANCHO_PANTALLA - 1, makecol(((y + n) * 7) & 255, (y * 3 + n) & 255, (n * 5) & 255));
  }
  for (int x = n % 17; x < ANCHO_PANTALLA; x += 17) {
    vline(buffer, x, 0, ALTO_PANTALLA - 1, makecol(255, 255, 255));
  }
}

// A bar of the status strip filling.
void franja(int n)
{
  rectfill(buffer, 200, 700, 200 + (n * 3) % 600, 716, makecol(40, 220, 40));
  rectfill(buffer, 200 + (n * 3) % 600 + 1, 700, 800, 716, makecol(20, 20, 20));
}

}  // namespace

int main(int argc, char **argv)
{
  const int escala = argc > 1 ? atoi(argv[1]) : 1;
  if (escala < 1 || escala > ESCALA_MAXIMA) {
    fprintf(stderr, "bench_escala: scale %s is not 1 to %d\n", argc > 1 ? argv[1] : "", ESCALA_MAXIMA);
    return 2;
  }
  if (ini_allegro() != 0) {
    return 1;
  }
  escala_elegida = static_cast<int8_t>(escala);
  pantalla_completa = false;
  aplicar_presentacion();
  if (escala_en_uso() != escala) {
    fprintf(stderr, "bench_escala: the window is shown at scale %d, not %d: no room on this screen\n",
            escala_en_uso(), escala);
    return 1;
  }
  clear_bitmap(buffer);
  enviar_fotograma();
  medir("entera", escala, entera);
  medir("franja", escala, franja);
  return 0;
}
END_OF_MAIN()
