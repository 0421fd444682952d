// Reading a window of the X display named by DISPLAY straight into a cairo
// image, for the tools that look at the real window while a level runs:
// one XGetImage costs milliseconds where ImageMagick's `import` costs most
// of a second (several on a busy machine) while the laser's energy runs on.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A pixel field's lowest bit and its largest value, to bring a pixel of any
// true-colour visual to 0-255 per channel.
struct campo_color {
  int desplazamiento;
  unsigned long maximo;
};

inline campo_color analizar_mascara(unsigned long mascara)
{
  campo_color c{0, 0};
  if (mascara == 0) {
    return c;
  }
  while ((mascara & 1UL) == 0) {
    mascara >>= 1;
    ++c.desplazamiento;
  }
  c.maximo = mascara;
  return c;
}

inline uint32_t componente_color(unsigned long pixel, unsigned long mascara, campo_color c)
{
  if (c.maximo == 0) {
    return 0;
  }
  return static_cast<uint32_t>(((pixel & mascara) >> c.desplazamiento) * 255UL / c.maximo);
}

// An X error (a window gone, a region outside it) ends the tool with a
// message rather than Xlib's abort.
inline int error_x(Display *, XErrorEvent *e)
{
  char texto[128];
  XGetErrorText(e->display, e->error_code, texto, sizeof texto);
  fprintf(stderr, "X error: %s\n", texto);
  exit(1);
}

// True when `texto` names a window as xwininfo prints it (0x...).
inline bool es_id_ventana(const char *texto)
{
  return texto[0] == '0' && (texto[1] == 'x' || texto[1] == 'X');
}

// The region (ancho x alto at x, y; the whole window when ancho is 0) of
// window `id` as an RGB24 image, or nullptr with a message on standard
// error. The caller destroys the image.
inline cairo_surface_t *leer_ventana(const char *id, int ancho, int alto, int x, int y)
{
  char *fin = nullptr;
  const Window ventana = strtoul(id, &fin, 0);
  if (fin == id || *fin != '\0' || ventana == 0) {
    fprintf(stderr, "not a window id: %s\n", id);
    return nullptr;
  }
  Display *pantalla = XOpenDisplay(nullptr);
  if (pantalla == nullptr) {
    fprintf(stderr, "cannot open the display\n");
    return nullptr;
  }
  XSetErrorHandler(error_x);
  XWindowAttributes atributos;
  if (XGetWindowAttributes(pantalla, ventana, &atributos) == 0) {
    fprintf(stderr, "no window %s\n", id);
    XCloseDisplay(pantalla);
    return nullptr;
  }
  if (ancho == 0) {
    ancho = atributos.width;
    alto = atributos.height;
    x = y = 0;
  }
  if (ancho <= 0 || alto <= 0 || x < 0 || y < 0 || x + ancho > atributos.width || y + alto > atributos.height) {
    fprintf(stderr, "the region %dx%d+%d+%d is not inside the %dx%d window\n", ancho, alto, x, y, atributos.width,
            atributos.height);
    XCloseDisplay(pantalla);
    return nullptr;
  }
  XImage *imagen = XGetImage(pantalla, ventana, x, y, static_cast<unsigned>(ancho), static_cast<unsigned>(alto),
                             AllPlanes, ZPixmap);
  if (imagen == nullptr) {
    fprintf(stderr, "the window could not be read\n");
    XCloseDisplay(pantalla);
    return nullptr;
  }
  const campo_color rojo = analizar_mascara(imagen->red_mask);
  const campo_color verde = analizar_mascara(imagen->green_mask);
  const campo_color azul = analizar_mascara(imagen->blue_mask);
  cairo_surface_t *superficie = cairo_image_surface_create(CAIRO_FORMAT_RGB24, ancho, alto);
  unsigned char *datos = cairo_image_surface_get_data(superficie);
  const int paso = cairo_image_surface_get_stride(superficie);
  for (int j = 0; j < alto; ++j) {
    uint32_t *fila = reinterpret_cast<uint32_t *>(datos + j * paso);
    for (int i = 0; i < ancho; ++i) {
      const unsigned long p = XGetPixel(imagen, i, j);
      fila[i] = componente_color(p, imagen->red_mask, rojo) << 16 | componente_color(p, imagen->green_mask, verde) << 8 |
                componente_color(p, imagen->blue_mask, azul);
    }
  }
  cairo_surface_mark_dirty(superficie);
  XDestroyImage(imagen);
  XCloseDisplay(pantalla);
  return superficie;
}
