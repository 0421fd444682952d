// Presses that come and go between two frames. The library shows the mouse
// buttons only as they were when it last sampled them (at poll_mouse or its
// own timer), so a press released before the next sample (a touchpad tap,
// a quick click) would never be seen; a key tapped between two looks at
// key[] is lost the same way. Here every press is counted as the library's
// input thread receives it, and each reader compares the counts with those
// it saw at its previous look.
#include "dlg/dlg.h"

#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <xalleg.h>

#include <atomic>

static_assert(KEY_MAX <= TECLAS_ENTRADA, "a scancode would fall outside the count table");

namespace {

// Presses of each mouse button and of each key since the program started.
// Written on the library's input thread, read on the main thread.
std::atomic<uint32_t> pulsaciones_boton[BOTONES_RATON];
std::atomic<uint32_t> pulsaciones_tecla[TECLAS_ENTRADA];
// Where the pointer was at each button's last press and release: x in the
// high half, y in the low one.
std::atomic<uint32_t> lugar_pulsacion[BOTONES_RATON];
std::atomic<uint32_t> lugar_soltado[BOTONES_RATON];

uint32_t lugar(int x, int y)
{
  return static_cast<uint32_t>(x & 0xffff) << 16 | static_cast<uint32_t>(y & 0xffff);
}

// Frames shown since the program started (dlg_fotograma_mostrado): the
// clock by which a reader's looks are judged. Main thread only.
uint32_t fotogramas_mostrados = 0;

// The X driver's own mouse hook, which ours calls after counting; null
// while ours is not in place.
void (*gancho_driver)(int x, int y, int z, int w, int botones) = nullptr;

// The buttons at the previous mouse event: only a button that goes down
// counts, not every movement made while it is held.
int botones_previos = 0;

// The pointer's place (x, y) is where the press or release was made: the
// driver sends a button's event with no movement.
void contar_botones(int botones, int x, int y)
{
  const int nuevos = botones & ~botones_previos;
  const int soltados = botones_previos & ~botones;
  botones_previos = botones;
  for (int b = 0; b < BOTONES_RATON; ++b) {
    if (soltados & (1 << b)) {
      lugar_soltado[b].store(lugar(x, y));
    }
    if (nuevos & (1 << b)) {
      lugar_pulsacion[b].store(lugar(x, y));
      pulsaciones_boton[b].fetch_add(1);
    }
  }
}

// Where the picture lies in the window while it is shown scaled: its
// corner and size, and the picture's own size, each in 16 bits; the width
// 0 when it is not scaled. Written on the main thread, read on the input
// thread, in one word so the two never see halves of different places.
std::atomic<uint64_t> lugar_imagen{0};
int ancho_imagen_real = 0, alto_imagen_real = 0;

int16_t campo(uint64_t lugar, int n)
{
  return static_cast<int16_t>((lugar >> (16 * n)) & 0xffff);
}

// A motion's new place, from window pixels into the picture's. The driver
// gives the motion as the distance from where it last put the pointer
// (_mouse_x, _mouse_y, already in picture pixels), so the window place is
// that plus the distance; the motion passed on is what takes the pointer
// from there to the picture pixel under the window place.
void a_la_imagen(int &x, int &y)
{
  const uint64_t lugar = lugar_imagen.load();
  const int ancho = campo(lugar, 2);
  if (ancho <= 0 || (x == 0 && y == 0) || _xwin.mouse_warped) {
    return;
  }
  const int vx = _mouse_x + x, vy = _mouse_y + y;
  x = dlg_pixel_de_imagen(vx - campo(lugar, 0), ancho, ancho_imagen_real) - _mouse_x;
  y = dlg_pixel_de_imagen(vy - campo(lugar, 1), campo(lugar, 3), alto_imagen_real) - _mouse_y;
}

void gancho_raton(int x, int y, int z, int w, int botones)
{
  contar_botones(botones, _mouse_x, _mouse_y);
  a_la_imagen(x, y);
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
    pulsaciones_tecla[tecla].fetch_add(1);
  }
}

bool mirando(bool miro, uint32_t fotograma)
{
  return dlg_mirando(miro, fotograma, fotogramas_mostrados);
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
  if (!mirando(vista.miro, vista.fotograma)) {
    dlg_olvidar_botones(vista);
  }
  // The counts first: a press that lands after this read is seen at the
  // next look rather than lost.
  uint32_t pulsaciones[BOTONES_RATON];
  uint32_t lugares[BOTONES_RATON];
  for (int b = 0; b < BOTONES_RATON; ++b) {
    pulsaciones[b] = pulsaciones_boton[b].load();
    lugares[b] = lugar_pulsacion[b].load();
  }
  for (int b = 0; b < BOTONES_RATON; ++b) {
    const uint32_t lugar = lugar_soltado[b].load();
    vista.x_soltado[b] = static_cast<int16_t>(lugar >> 16);
    vista.y_soltado[b] = static_cast<int16_t>(lugar & 0xffff);
  }
  vista.fotograma = fotogramas_mostrados;
  // Sampled after the counts: the pointer's move that came before a counted
  // press is then in mouse_x and mouse_y, so a tap made right after moving
  // acts where it was made, not where the pointer was at the last sample.
  if (muestrear_raton) {
    poll_mouse();
  }
  const int nuevos = dlg_ver_botones(vista, pulsaciones, mouse_b);
  for (int b = 0; b < BOTONES_RATON; ++b) {
    if ((nuevos & (1 << b)) != 0) {
      vista.x_pulsacion[b] = static_cast<int16_t>(lugares[b] >> 16);
      vista.y_pulsacion[b] = static_cast<int16_t>(lugares[b] & 0xffff);
    }
  }
  return vista.botones;
}

int dlg_pixel_de_imagen(int v, int extension, int lado)
{
  // Rounded down, below the picture's edge too.
  const int64_t p = static_cast<int64_t>(v) * lado;
  return static_cast<int>(p >= 0 ? p / extension : -((-p + extension - 1) / extension));
}

void dlg_colocar_imagen(int x0, int y0, int ancho, int alto, int ancho_imagen, int alto_imagen)
{
  ancho_imagen_real = ancho_imagen;
  alto_imagen_real = alto_imagen;
  const auto u = [](int v) { return static_cast<uint64_t>(static_cast<uint16_t>(v)); };
  lugar_imagen.store(u(x0) | u(y0) << 16 | u(ancho) << 32 | u(alto) << 48);
}

void dlg_situar_raton(int x, int y)
{
  position_mouse(x, y);
  // The window pixel in the middle of those that show picture pixel (x, y).
  const uint64_t lugar = lugar_imagen.load();
  const int ancho = campo(lugar, 2);
  if (ancho > 0) {
    // The first window pixel that shows picture pixel p.
    const auto primero = [](int p, int extension, int lado) {
      return static_cast<int>((static_cast<int64_t>(p) * extension + lado - 1) / lado);
    };
    const int alto = campo(lugar, 3);
    x = campo(lugar, 0) + (primero(x, ancho, ancho_imagen_real) + primero(x + 1, ancho, ancho_imagen_real) - 1) / 2;
    y = campo(lugar, 1) + (primero(y, alto, alto_imagen_real) + primero(y + 1, alto, alto_imagen_real) - 1) / 2;
  }
  // Without a hardware cursor the X driver does not move the real pointer:
  // it only moves its own, and for a moment takes every motion as relative
  // to the real pointer's last place. A movement made just then lands
  // offset by the jump, often clamped at the window's edge, and the driver
  // then warps the real pointer there. So the real pointer goes where ours
  // went, and motion is taken as a place again at once: the player's next
  // move puts the pointer where the player put it.
  if (_xwin.display != nullptr && _xwin.window != None) {
    XLOCK();
    XWarpPointer(_xwin.display, _xwin.window, _xwin.window, 0, 0, 0, 0, x, y);
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
    vista.x_pulsacion[b] = mouse_x;
    vista.y_pulsacion[b] = mouse_y;
  }
  vista.botones = 0;
  vista.fotograma = fotogramas_mostrados;
  vista.miro = true;
}

bool dlg_tecla(int tecla, t_vista_tecla &vista)
{
  if (tecla <= 0 || tecla >= TECLAS_ENTRADA) {
    return false;
  }
  if (!mirando(vista.miro, vista.fotograma)) {
    dlg_olvidar_tecla(tecla, vista);
  }
  const uint32_t n = pulsaciones_tecla[tecla].load();
  if (n != vista.pulsaciones && vista.abajo) {
    // The release before this press first, as for the buttons.
    vista.abajo = false;
  } else {
    vista.abajo = key[tecla] != 0 || n != vista.pulsaciones;
    vista.pulsaciones = n;
  }
  vista.fotograma = fotogramas_mostrados;
  return vista.abajo;
}

bool dlg_tecla_tocada(int tecla, t_vista_tecla &vista)
{
  if (tecla <= 0 || tecla >= TECLAS_ENTRADA) {
    return false;
  }
  if (!mirando(vista.miro, vista.fotograma)) {
    dlg_olvidar_tecla(tecla, vista);
  }
  const uint32_t n = pulsaciones_tecla[tecla].load();
  const bool tocada = key[tecla] != 0 || n != vista.pulsaciones;
  vista.pulsaciones = n;
  vista.abajo = key[tecla] != 0;
  vista.fotograma = fotogramas_mostrados;
  return tocada;
}

void dlg_olvidar_tecla(int tecla, t_vista_tecla &vista)
{
  if (tecla > 0 && tecla < TECLAS_ENTRADA) {
    vista.pulsaciones = pulsaciones_tecla[tecla].load();
    vista.abajo = false;
    vista.fotograma = fotogramas_mostrados;
    vista.miro = true;
  }
}

void dlg_fotograma_mostrado()
{
  ++fotogramas_mostrados;
}

#ifdef FOTONAUTA_PRUEBAS
void dlg_simular_raton(int botones)
{
  contar_botones(botones, mouse_x, mouse_y);
}

void dlg_simular_tecla(int codigo)
{
  gancho_teclado(codigo);
}
#endif
