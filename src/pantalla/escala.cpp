// The picture shown larger than it is, or over the whole screen. The
// library's window is sized to the chosen scale, and the 16-bit frame is
// turned into the window's own pixels at that size here, one table look-up
// a pixel, and put on the window through shared memory. At scale 1 the
// library copies the frame as ever. Either way only the parts of the frame
// that changed since the last one are sent.
#include "pantalla/pantalla.h"

#include <xalleg.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <vector>

namespace {

// The largest scale Auto picks, on the largest screens.
constexpr int ESCALA_AUTO_MAXIMA = 8;

// A part of the picture to send: columns x0..x1, rows y0..y1.
struct t_zona {
  int x0, y0, x1, y1;
};

// Rows that did not change, up to this many, do not split a zone.
constexpr int HUECO_ZONA = 8;
// More zones than this in a frame are sent as one.
constexpr size_t MAX_ZONAS = 16;

// The picture as the window last showed it, to find what changed.
std::vector<uint16_t> anterior;
// The whole picture goes at the next frame: after a scale change, or when
// the program comes back from the background.
std::atomic<bool> enviar_todo{true};

// The window's picture when shown scaled.
struct t_escalado {
  bool activo = false;
  bool completa = false;
  int escala = 1;
  int ancho_ventana = ANCHO_PANTALLA, alto_ventana = ALTO_PANTALLA;
  // The picture's place in the window.
  int x0 = 0, y0 = 0, ancho = ANCHO_PANTALLA, alto = ALTO_PANTALLA;
  XImage *imagen = nullptr;
  XShmSegmentInfo shm{};
  bool con_shm = false;
  // For each window column and row of the picture, the picture's pixel it
  // shows.
  std::vector<int> columna, fila;
  // A 16-bit pixel as the window's pixel.
  std::vector<uint32_t> color;
};
t_escalado esc;

// The library's own redrawing of an exposed part of the window, which ours
// stands in for while the picture is scaled.
void (*redibujar_biblioteca)(int, int, int, int) = nullptr;

bool ventana_propia()
{
  return gfx_driver != nullptr && gfx_driver->windowed && _xwin.display != nullptr && _xwin.window != None &&
         screen != nullptr && bitmap_color_depth(screen) == 16 && modo_truecolor == 0;
}

// The screen's usable area: the window manager's work area when it names
// one, else the whole screen.
void area_util(int &ancho, int &alto)
{
  Display *d = _xwin.display;
  ancho = DisplayWidth(d, _xwin.screen);
  alto = DisplayHeight(d, _xwin.screen);
  const Atom area = XInternAtom(d, "_NET_WORKAREA", True);
  if (area == None) {
    return;
  }
  Atom tipo;
  int formato;
  unsigned long n, resto;
  unsigned char *datos = nullptr;
  if (XGetWindowProperty(d, RootWindow(d, _xwin.screen), area, 0, 4, False, XA_CARDINAL, &tipo, &formato, &n,
                         &resto, &datos) == Success &&
      datos != nullptr) {
    if (tipo == XA_CARDINAL && formato == 32 && n >= 4) {
      const long *v = reinterpret_cast<const long *>(datos);
      if (v[2] > 0 && v[3] > 0) {
        ancho = static_cast<int>(v[2]);
        alto = static_cast<int>(v[3]);
      }
    }
    XFree(datos);
  }
}

bool cabe(int s, int ancho, int alto)
{
  return s == 1 || (ANCHO_PANTALLA * s <= ancho && ALTO_PANTALLA * s <= alto);
}

// The scale a window is shown at: the one chosen when it fits, else the
// largest that does.
int escala_para(int elegida)
{
  int ancho, alto;
  area_util(ancho, alto);
  if (elegida != ESCALA_AUTO && cabe(elegida, ancho, alto)) {
    return elegida;
  }
  int s = 1;
  while (s < ESCALA_AUTO_MAXIMA && cabe(s + 1, ancho, alto)) {
    ++s;
  }
  return s;
}

void soltar_imagen()
{
  if (esc.imagen == nullptr) {
    return;
  }
  if (esc.con_shm) {
    XShmDetach(_xwin.display, &esc.shm);
    XSync(_xwin.display, False);
    shmdt(esc.shm.shmaddr);
  }
  XDestroyImage(esc.imagen);
  esc.imagen = nullptr;
  esc.con_shm = false;
}

// The window's image, shared with a local X server when it can be.
bool crear_imagen(int ancho, int alto)
{
  soltar_imagen();
  Display *d = _xwin.display;
  const char *nombre = XDisplayString(d);
  const bool local = nombre != nullptr && (nombre[0] == ':' || std::strncmp(nombre, "unix:", 5) == 0);
  if (local && XShmQueryExtension(d)) {
    esc.imagen = XShmCreateImage(d, _xwin.visual, _xwin.window_depth, ZPixmap, nullptr, &esc.shm, ancho, alto);
    if (esc.imagen != nullptr) {
      esc.shm.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(esc.imagen->bytes_per_line) * alto, IPC_CREAT | 0600);
      if (esc.shm.shmid != -1) {
        esc.shm.shmaddr = esc.imagen->data = static_cast<char *>(shmat(esc.shm.shmid, nullptr, 0));
        esc.shm.readOnly = True;
        const bool unido = esc.shm.shmaddr != reinterpret_cast<char *>(-1) && XShmAttach(d, &esc.shm);
        XSync(d, False);
        // Gone once both sides let go of it, even if the program is killed.
        shmctl(esc.shm.shmid, IPC_RMID, nullptr);
        if (unido) {
          esc.con_shm = true;
        } else if (esc.shm.shmaddr != reinterpret_cast<char *>(-1)) {
          shmdt(esc.shm.shmaddr);
        }
      }
      if (!esc.con_shm) {
        esc.imagen->data = nullptr;
        XDestroyImage(esc.imagen);
        esc.imagen = nullptr;
      }
    }
  }
  if (esc.imagen == nullptr) {
    esc.imagen = XCreateImage(d, _xwin.visual, _xwin.window_depth, ZPixmap, 0, nullptr, ancho, alto, 32, 0);
    if (esc.imagen == nullptr) {
      return false;
    }
    esc.imagen->data = static_cast<char *>(std::calloc(static_cast<size_t>(esc.imagen->bytes_per_line), alto));
    if (esc.imagen->data == nullptr) {
      XDestroyImage(esc.imagen);
      esc.imagen = nullptr;
      return false;
    }
  }
  // Pixels of 32 or 16 bits are written here; any other window keeps the
  // library's own copy at scale 1.
  if (esc.imagen->bits_per_pixel != 32 && esc.imagen->bits_per_pixel != 16) {
    soltar_imagen();
    return false;
  }
  return true;
}

// One colour component (0-255) into the place `mascara` gives it.
uint32_t componente(int c, unsigned long mascara)
{
  const int desplazamiento = std::countr_zero(mascara);
  const int bits = std::popcount(mascara);
  const uint32_t v = bits >= 8 ? static_cast<uint32_t>(c) << (bits - 8) : static_cast<uint32_t>(c) >> (8 - bits);
  return v << desplazamiento;
}

// Every 16-bit pixel as the window's pixel, made as the library makes them
// when it copies a frame itself, so the picture's colours do not change
// with its scale.
void preparar_colores()
{
  esc.color.resize(1 << 16);
  const Visual *v = _xwin.visual;
  for (int p = 0; p < (1 << 16); ++p) {
    esc.color[static_cast<size_t>(p)] = componente(getr16(p), v->red_mask) | componente(getg16(p), v->green_mask) |
                                        componente(getb16(p), v->blue_mask);
  }
}

// The window's size and the picture's place in it, and the tables of which
// picture pixel each window pixel shows.
void medir(bool completa, int escala)
{
  Display *d = _xwin.display;
  if (completa) {
    esc.ancho_ventana = DisplayWidth(d, _xwin.screen);
    esc.alto_ventana = DisplayHeight(d, _xwin.screen);
    // As large as the screen lets it be, its shape kept.
    if (static_cast<int64_t>(esc.ancho_ventana) * ALTO_PANTALLA <=
        static_cast<int64_t>(esc.alto_ventana) * ANCHO_PANTALLA) {
      esc.ancho = esc.ancho_ventana;
      esc.alto = esc.ancho_ventana * ALTO_PANTALLA / ANCHO_PANTALLA;
    } else {
      esc.alto = esc.alto_ventana;
      esc.ancho = esc.alto_ventana * ANCHO_PANTALLA / ALTO_PANTALLA;
    }
  } else {
    esc.ancho = esc.ancho_ventana = ANCHO_PANTALLA * escala;
    esc.alto = esc.alto_ventana = ALTO_PANTALLA * escala;
  }
  esc.x0 = (esc.ancho_ventana - esc.ancho) / 2;
  esc.y0 = (esc.alto_ventana - esc.alto) / 2;
  esc.columna.resize(static_cast<size_t>(esc.ancho));
  for (int i = 0; i < esc.ancho; ++i) {
    esc.columna[static_cast<size_t>(i)] = dlg_pixel_de_imagen(i, esc.ancho, ANCHO_PANTALLA);
  }
  esc.fila.resize(static_cast<size_t>(esc.alto));
  for (int j = 0; j < esc.alto; ++j) {
    esc.fila[static_cast<size_t>(j)] = dlg_pixel_de_imagen(j, esc.alto, ALTO_PANTALLA);
  }
}

// Asks the window manager, if there is one, for the window with or
// without its frame and over the whole screen or not.
void pedir_al_gestor(bool completa)
{
  Display *d = _xwin.display;
  // Motif's hints: the frame's decorations, on or off.
  const Atom motif = XInternAtom(d, "_MOTIF_WM_HINTS", False);
  const long pistas[5] = {2, 0, completa ? 0 : 1, 0, 0};
  XChangeProperty(d, _xwin.wm_window, motif, motif, 32, PropModeReplace, reinterpret_cast<const unsigned char *>(pistas),
                  5);
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = _xwin.wm_window;
  e.xclient.message_type = XInternAtom(d, "_NET_WM_STATE", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = completa ? 1 : 0;  // add or remove
  e.xclient.data.l[1] = static_cast<long>(XInternAtom(d, "_NET_WM_STATE_FULLSCREEN", False));
  e.xclient.data.l[3] = 1;  // asked by the program itself
  XSendEvent(d, RootWindow(d, _xwin.screen), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

// The managed window and the library's drawing window inside it, sized; a
// window manager is asked not to let the player make it another size.
void dimensionar(bool completa)
{
  Display *d = _xwin.display;
  XSizeHints *pistas = XAllocSizeHints();
  if (pistas != nullptr) {
    pistas->flags = PMinSize | PMaxSize | PBaseSize;
    pistas->min_width = pistas->max_width = pistas->base_width = esc.ancho_ventana;
    pistas->min_height = pistas->max_height = pistas->base_height = esc.alto_ventana;
    if (completa) {
      pistas->flags |= USPosition;
      pistas->x = pistas->y = 0;
    }
    XSetWMNormalHints(d, _xwin.wm_window, pistas);
    XFree(pistas);
  }
  pedir_al_gestor(completa);
  if (completa) {
    XMoveResizeWindow(d, _xwin.wm_window, 0, 0, static_cast<unsigned>(esc.ancho_ventana),
                      static_cast<unsigned>(esc.alto_ventana));
    XRaiseWindow(d, _xwin.wm_window);
  } else {
    XResizeWindow(d, _xwin.wm_window, static_cast<unsigned>(esc.ancho_ventana),
                  static_cast<unsigned>(esc.alto_ventana));
  }
  XResizeWindow(d, _xwin.window, static_cast<unsigned>(esc.ancho_ventana), static_cast<unsigned>(esc.alto_ventana));
  // Whatever lies around the picture is the window's own black.
  XClearWindow(d, _xwin.window);
  XFlush(d);
}

// Puts window rectangle (x, y, ancho, alto) of the image on the window.
void poner(int x, int y, int ancho, int alto)
{
  if (esc.con_shm) {
    XShmPutImage(_xwin.display, _xwin.window, _xwin.gc, esc.imagen, x, y, x, y, static_cast<unsigned>(ancho),
                 static_cast<unsigned>(alto), False);
  } else {
    XPutImage(_xwin.display, _xwin.window, _xwin.gc, esc.imagen, x, y, x, y, static_cast<unsigned>(ancho),
              static_cast<unsigned>(alto));
  }
}

// An exposed part of the window, drawn again from the image. Called on the
// library's input thread, which holds the display.
void redibujar(int x, int y, int ancho, int alto)
{
  if (!esc.activo) {
    if (redibujar_biblioteca != nullptr) {
      redibujar_biblioteca(x, y, ancho, alto);
    }
    return;
  }
  const int x1 = std::min(x + ancho, esc.x0 + esc.ancho), y1 = std::min(y + alto, esc.y0 + esc.alto);
  x = std::max(x, esc.x0);
  y = std::max(y, esc.y0);
  if (x < x1 && y < y1) {
    poner(x, y, x1 - x, y1 - y);
  }
}

// The first window column (or row) that shows picture pixel p, and the one
// past the last that shows pixel q.
int primera(const std::vector<int> &tabla, int p)
{
  return static_cast<int>(std::lower_bound(tabla.begin(), tabla.end(), p) - tabla.begin());
}

// Picture zone z turned into the image's pixels at the window's scale.
template <typename T>
void convertir(const t_zona &z)
{
  const int i0 = primera(esc.columna, z.x0), i1 = primera(esc.columna, z.x1 + 1);
  const int j0 = primera(esc.fila, z.y0), j1 = primera(esc.fila, z.y1 + 1);
  const uint32_t *color = esc.color.data();
  const int *columna = esc.columna.data();
  int fila_hecha = -1;
  T *previa = nullptr;
  for (int j = j0; j < j1; ++j) {
    T *destino = reinterpret_cast<T *>(esc.imagen->data + static_cast<size_t>(esc.imagen->bytes_per_line) *
                                                              static_cast<size_t>(esc.y0 + j)) +
                 esc.x0;
    const int f = esc.fila[static_cast<size_t>(j)];
    if (f == fila_hecha) {
      // The same picture row as the window row above: copied whole.
      std::memcpy(destino + i0, previa + i0, sizeof(T) * static_cast<size_t>(i1 - i0));
      continue;
    }
    const uint16_t *origen = reinterpret_cast<const uint16_t *>(buffer->line[f]);
    for (int i = i0; i < i1; ++i) {
      destino[i] = static_cast<T>(color[origen[columna[i]]]);
    }
    fila_hecha = f;
    previa = destino;
  }
}

// The zone sent to the window: turned into the image, then put.
void enviar_escalada(const t_zona &z)
{
  if (esc.imagen->bits_per_pixel == 32) {
    convertir<uint32_t>(z);
  } else {
    convertir<uint16_t>(z);
  }
  const int i0 = primera(esc.columna, z.x0), i1 = primera(esc.columna, z.x1 + 1);
  const int j0 = primera(esc.fila, z.y0), j1 = primera(esc.fila, z.y1 + 1);
  poner(esc.x0 + i0, esc.y0 + j0, i1 - i0, j1 - j0);
}

// The first and last columns where a row differs from the last frame's,
// or false when it does not.
bool columnas_cambiadas(const uint16_t *ahora, const uint16_t *antes, int &x0, int &x1)
{
  int a = 0, b = ANCHO_PANTALLA - 1;
  while (a <= b && ahora[a] == antes[a]) {
    ++a;
  }
  if (a > b) {
    return false;
  }
  while (ahora[b] == antes[b]) {
    --b;
  }
  x0 = a;
  x1 = b;
  return true;
}

// What changed since the last frame sent, as zones of nearby rows, each as
// wide as its changes; the last frame is brought up to date.
void zonas_cambiadas(std::vector<t_zona> &zonas)
{
  zonas.clear();
  const size_t por_fila = ANCHO_PANTALLA;
  if (anterior.size() != por_fila * ALTO_PANTALLA || enviar_todo.exchange(false)) {
    anterior.resize(por_fila * ALTO_PANTALLA);
    for (int y = 0; y < ALTO_PANTALLA; ++y) {
      std::memcpy(&anterior[por_fila * static_cast<size_t>(y)], buffer->line[y], por_fila * sizeof(uint16_t));
    }
    zonas.push_back({0, 0, ANCHO_PANTALLA - 1, ALTO_PANTALLA - 1});
    return;
  }
  t_zona z{};
  bool abierta = false;
  for (int y = 0; y < ALTO_PANTALLA; ++y) {
    const uint16_t *ahora = reinterpret_cast<const uint16_t *>(buffer->line[y]);
    uint16_t *antes = &anterior[por_fila * static_cast<size_t>(y)];
    int x0, x1;
    if (std::memcmp(ahora, antes, por_fila * sizeof(uint16_t)) == 0 || !columnas_cambiadas(ahora, antes, x0, x1)) {
      continue;
    }
    std::memcpy(antes + x0, ahora + x0, static_cast<size_t>(x1 - x0 + 1) * sizeof(uint16_t));
    if (abierta && y - z.y1 <= HUECO_ZONA) {
      z.x0 = std::min(z.x0, x0);
      z.x1 = std::max(z.x1, x1);
      z.y1 = y;
    } else {
      if (abierta) {
        zonas.push_back(z);
      }
      z = {x0, y, x1, y};
      abierta = true;
    }
  }
  if (abierta) {
    zonas.push_back(z);
  }
  if (zonas.size() > MAX_ZONAS) {
    t_zona todo = zonas.front();
    for (const t_zona &o : zonas) {
      todo = {std::min(todo.x0, o.x0), todo.y0, std::max(todo.x1, o.x1), o.y1};
    }
    zonas.assign(1, todo);
  }
}

void volver()
{
  enviar_todo = true;
}

}  // namespace

bool escala_cabe(int s)
{
  if (!ventana_propia()) {
    return s == 1;
  }
  int ancho, alto;
  area_util(ancho, alto);
  return cabe(s, ancho, alto);
}

int escala_en_uso()
{
  return esc.completa ? 0 : esc.escala;
}

void aplicar_presentacion()
{
  if (!ventana_propia()) {
    return;
  }
  if (redibujar_biblioteca == nullptr) {
    // Back from the background the whole picture is sent again.
    set_display_switch_callback(SWITCH_IN, volver);
  }
  XLOCK();
  if (redibujar_biblioteca == nullptr) {
    redibujar_biblioteca = _xwin_window_redrawer;
    _xwin_window_redrawer = redibujar;
  }
  const bool completa = pantalla_completa;
  const int escala = completa ? 0 : escala_para(escala_elegida);
  if (completa != esc.completa || escala != esc.escala) {
    medir(completa, escala == 0 ? 1 : escala);
    esc.escala = escala;
    esc.completa = completa;
    esc.activo = false;
    if (completa || escala > 1) {
      if (esc.color.empty()) {
        preparar_colores();
      }
      esc.activo = crear_imagen(esc.ancho_ventana, esc.alto_ventana);
    } else {
      soltar_imagen();
    }
    if (!esc.activo) {
      // Shown as it is: the library's own window size and copy.
      medir(false, 1);
      esc.escala = 1;
      esc.completa = false;
    }
    dimensionar(esc.completa);
    if (esc.activo) {
      dlg_colocar_imagen(esc.x0, esc.y0, esc.ancho, esc.alto, ANCHO_PANTALLA, ALTO_PANTALLA);
    } else {
      dlg_colocar_imagen(0, 0, 0, 0, ANCHO_PANTALLA, ALTO_PANTALLA);
    }
    enviar_todo = true;
  }
  XUNLOCK();
}

void alternar_pantalla_completa()
{
  // The full-screen modes are full screen already, and keep the setting
  // as the windowed game left it.
  if (!ventana_propia()) {
    return;
  }
  pantalla_completa = !pantalla_completa;
  escribir_ajustes();
  aplicar_presentacion();
}

void enviar_fotograma()
{
  static std::vector<t_zona> zonas;
  if (buffer == nullptr || bitmap_color_depth(buffer) != 16 || !ventana_propia()) {
    acquire_screen();
    blit(buffer, screen, 0, 0, 0, 0, ANCHO_PANTALLA, ALTO_PANTALLA);
    release_screen();
    return;
  }
  zonas_cambiadas(zonas);
  if (zonas.empty()) {
    return;
  }
  if (esc.activo) {
    XLOCK();
    for (const t_zona &z : zonas) {
      enviar_escalada(z);
    }
    XFlush(_xwin.display);
    XUNLOCK();
    return;
  }
  acquire_screen();
  for (const t_zona &z : zonas) {
    blit(buffer, screen, z.x0, z.y0, z.x0, z.y0, z.x1 - z.x0 + 1, z.y1 - z.y0 + 1);
  }
  release_screen();
}
