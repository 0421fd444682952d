// Presses that come and go between two frames. The library shows the mouse
// buttons only as they were when it last sampled them (at poll_mouse or its
// own timer), so a press released before the next sample (a touchpad tap,
// a quick click) would never be seen; a key tapped between two looks at
// key[] is lost the same way. Here every press is counted as the library's
// input thread receives it, and each reader compares the counts with those
// it saw at its previous look.
#include "dlg/dlg.h"

#include <allegro.h>
#include <xalleg.h>

#include <atomic>
#include <chrono>

static_assert(KEY_MAX <= TECLAS_ENTRADA, "a scancode would fall outside the count table");

namespace {

// Presses of each mouse button and of each key since the program started,
// and when the last of each came (milliseconds of the steady clock). Written
// on the library's input thread, read on the main thread.
std::atomic<uint32_t> pulsaciones_boton[BOTONES_RATON];
std::atomic<int64_t> instante_boton[BOTONES_RATON];
std::atomic<uint32_t> pulsaciones_tecla[TECLAS_ENTRADA];
std::atomic<int64_t> instante_tecla[TECLAS_ENTRADA];

// The X driver's own mouse hook, which ours calls after counting; null
// while ours is not in place.
void (*gancho_driver)(int x, int y, int z, int w, int botones) = nullptr;

// The buttons at the previous mouse event: only a button that goes down
// counts, not every movement made while it is held.
int botones_previos = 0;

int64_t ahora_ms()
{
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void contar_botones(int botones)
{
  const int nuevos = botones & ~botones_previos;
  botones_previos = botones;
  for (int b = 0; b < BOTONES_RATON; ++b) {
    if (nuevos & (1 << b)) {
      instante_boton[b].store(ahora_ms());
      pulsaciones_boton[b].fetch_add(1);
    }
  }
}

// Called on the input thread for every X button or motion event.
void gancho_raton(int x, int y, int z, int w, int botones)
{
  contar_botones(botones);
  if (gancho_driver != nullptr) {
    gancho_driver(x, y, z, w, botones);
  }
}

// Called by the keyboard handler for every press (top bit clear) and
// release (top bit set), as it comes.
void gancho_teclado(int codigo)
{
  const int tecla = codigo & 0x7f;
  if ((codigo & 0x80) == 0 && tecla > 0 && tecla < TECLAS_ENTRADA) {
    instante_tecla[tecla].store(ahora_ms());
    pulsaciones_tecla[tecla].fetch_add(1);
  }
}

// Whether the count `n` has moved since the look `visto` (made at
// `mirada`) and that look, or else the last press, is recent.
bool nueva_desde(uint32_t n, const std::atomic<int64_t> &instante, uint32_t visto, int64_t mirada, int64_t ahora)
{
  return n != visto && (ahora - mirada <= PLAZO_MIRADA_MS || ahora - instante.load() <= PLAZO_PULSACION_MS);
}

// Whether a press came since the look `visto`, by the rule above; brings
// `visto` up to date (the caller records the look's time, once for all it
// reads).
bool pulsada_desde(const std::atomic<uint32_t> &pulsaciones, const std::atomic<int64_t> &instante,
                   uint32_t &visto, int64_t mirada, int64_t ahora)
{
  // The count first: a press that lands between the two reads is then
  // seen at the next look rather than lost.
  const uint32_t n = pulsaciones.load();
  const bool nueva = nueva_desde(n, instante, visto, mirada, ahora);
  visto = n;
  return nueva;
}

// The same, without taking the press. A reader told at its last look that
// the button or key was down must first see the release that came before
// this press: told "down" again, it would take a release and a new press
// (a tap on one mirror, then on another, within one logic step) for the
// same press held on.
bool pendiente(const std::atomic<uint32_t> &pulsaciones, const std::atomic<int64_t> &instante, uint32_t visto,
               int64_t mirada, int64_t ahora)
{
  return nueva_desde(pulsaciones.load(), instante, visto, mirada, ahora);
}

}  // namespace

void dlg_instalar_entrada()
{
  // Installing twice must not make our hook call itself.
  if (_xwin_mouse_interrupt != nullptr && _xwin_mouse_interrupt != gancho_raton) {
    gancho_driver = _xwin_mouse_interrupt;
    _xwin_mouse_interrupt = gancho_raton;
  }
  keyboard_lowlevel_callback = gancho_teclado;
}

// False once the program drives the pointer itself (dlg_raton_del_programa):
// then mouse_b, mouse_x and mouse_y are what it wrote, never a sample.
static bool muestrear_raton = true;

int dlg_botones(t_vista_raton &vista)
{
  const int64_t ahora = ahora_ms();
  int nuevos = 0;
  int soltados = 0;
  for (int b = 0; b < BOTONES_RATON; ++b) {
    if ((vista.botones & (1 << b)) != 0 &&
        pendiente(pulsaciones_boton[b], instante_boton[b], vista.pulsaciones[b], vista.instante, ahora)) {
      soltados |= 1 << b;
    } else if (pulsada_desde(pulsaciones_boton[b], instante_boton[b], vista.pulsaciones[b], vista.instante,
                             ahora)) {
      nuevos |= 1 << b;
    }
  }
  vista.instante = ahora;
  // Sampled after the counts: the pointer's move that came before a counted
  // press is then in mouse_x and mouse_y, so a tap made right after moving
  // acts where it was made, not where the pointer was at the last sample.
  if (muestrear_raton) {
    poll_mouse();
  }
  vista.botones = (mouse_b | nuevos) & ~soltados;
  return vista.botones;
}

void dlg_situar_raton(int x, int y)
{
  position_mouse(x, y);
  // Without a hardware cursor the X driver does not move the real pointer:
  // it only moves its own, and for a moment takes every motion as relative
  // to the real pointer's last place. A movement made just then lands
  // offset by the jump, often clamped at the window's edge, and the driver
  // then warps the real pointer there. So the real pointer goes where ours
  // went, and motion is taken as a place again at once: the player's next
  // move puts the pointer where the player put it.
  if (_xwin.display != nullptr && _xwin.window != None) {
    XLOCK();
    XWarpPointer(_xwin.display, _xwin.window, _xwin.window, 0, 0, _xwin.window_width, _xwin.window_height, x, y);
    _xwin.mouse_warped = 0;
    XFlush(_xwin.display);
    XUNLOCK();
  }
}

void dlg_raton_del_programa()
{
  muestrear_raton = false;
}

void dlg_olvidar_botones(t_vista_raton &vista)
{
  for (int b = 0; b < BOTONES_RATON; ++b) {
    vista.pulsaciones[b] = pulsaciones_boton[b].load();
  }
  vista.botones = 0;
  vista.instante = ahora_ms();
}

bool dlg_tecla(int tecla, t_vista_tecla &vista)
{
  if (tecla <= 0 || tecla >= TECLAS_ENTRADA) {
    return false;
  }
  const int64_t ahora = ahora_ms();
  if (vista.abajo &&
      pendiente(pulsaciones_tecla[tecla], instante_tecla[tecla], vista.pulsaciones, vista.instante, ahora)) {
    vista.abajo = false;
  } else {
    const bool tocada =
        pulsada_desde(pulsaciones_tecla[tecla], instante_tecla[tecla], vista.pulsaciones, vista.instante, ahora);
    vista.abajo = key[tecla] != 0 || tocada;
  }
  vista.instante = ahora;
  return vista.abajo;
}

void dlg_olvidar_tecla(int tecla, t_vista_tecla &vista)
{
  if (tecla > 0 && tecla < TECLAS_ENTRADA) {
    vista.pulsaciones = pulsaciones_tecla[tecla].load();
    vista.abajo = false;
    vista.instante = ahora_ms();
  }
}

#ifdef FOTONAUTA_PRUEBAS
void dlg_simular_raton(int botones)
{
  contar_botones(botones);
}

void dlg_simular_tecla(int codigo)
{
  gancho_teclado(codigo);
}
#endif
