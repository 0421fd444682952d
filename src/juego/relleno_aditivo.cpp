// The beam's light added onto the buffer span by span, pixel for pixel what
// Allegro would draw, without its cost.
//
// Allegro fills every span of a translucent rectangle, circle or polygon one
// pixel at a time through a call of its blender function. The longest beam
// paints some 350,000 pixels a frame that way, which made a frame
// cost some eighty copies of the whole buffer. Additive blending treats red,
// green and blue apart: for one colour and alpha, each component of the
// result depends only on the same component of the pixel below. So three
// small tables per colour, filled by asking Allegro's own blender, give the
// same pixels with a look-up each. Allegro still rasterises the shapes; only
// the span filler of the buffer is swapped while the beam is drawn.
#include <allegro.h>
#include <allegro/internal/aintern.h>

#include <algorithm>

#include "juego/juego.h"

// 1: the beam's spans use the tables; 0: Allegro fills them itself.
uint8_t relleno_aditivo_rapido = 1;

namespace {

struct tablas_color {
  int color = 0;
  int alfa = -1;
  BLENDER_FUNC mezcla = nullptr;
  int profundidad = 0;
  bool valida = false;
  // By component (red, green, blue), the result's bits of that component
  // for each value of it in the pixel below.
  uint32_t componente[3][256];
  uint32_t resto;  // bits of the result outside the three components
};

// A frame draws three colours; one more slot keeps a frame's colours from
// evicting one another.
constexpr int HUECOS = 4;
tablas_color cache[HUECOS];
int siguiente_hueco = 0;

GFX_VTABLE vtabla_rayo;
GFX_VTABLE *vtabla_original = nullptr;
BITMAP *mapa_cambiado = nullptr;

struct formato {
  int desplazamiento[3];
  int bits[3];
  uint32_t mascara[3];  // (1 << bits) - 1
};

formato formato_de(int profundidad)
{
  if (profundidad == 16) {
    return {{_rgb_r_shift_16, _rgb_g_shift_16, _rgb_b_shift_16}, {5, 6, 5}, {0x1F, 0x3F, 0x1F}};
  }
  return {{_rgb_r_shift_32, _rgb_g_shift_32, _rgb_b_shift_32}, {8, 8, 8}, {0xFF, 0xFF, 0xFF}};
}

// Of the bitmap being drawn on, and the tables of the last span's colour.
int profundidad_activa = 0;
formato formato_activo;
const tablas_color *ultimas_tablas = nullptr;

uint32_t por_tablas(const tablas_color &t, const formato &f, uint32_t debajo)
{
  uint32_t r = t.resto;
  for (int k = 0; k < 3; ++k) {
    r |= t.componente[k][(debajo >> f.desplazamiento[k]) & ((1u << f.bits[k]) - 1)];
  }
  return r;
}

void llenar(tablas_color &t)
{
  const formato f = formato_de(t.profundidad);
  t.valida = false;
  if (t.mezcla == nullptr) {
    return;  // no blender set yet: Allegro's own filler copes with that
  }
  uint32_t mascaras = 0;
  for (int k = 0; k < 3; ++k) {
    const uint32_t mascara = ((1u << f.bits[k]) - 1) << f.desplazamiento[k];
    mascaras |= mascara;
    for (uint32_t v = 0; v < (1u << f.bits[k]); ++v) {
      const uint32_t r = static_cast<uint32_t>(t.mezcla(static_cast<unsigned long>(t.color),
                                                          v << f.desplazamiento[k], static_cast<unsigned long>(t.alfa)));
      t.componente[k][v] = r & mascara;
    }
  }
  t.resto = static_cast<uint32_t>(t.mezcla(static_cast<unsigned long>(t.color), 0, static_cast<unsigned long>(t.alfa))) &
            ~mascaras;
  if (t.profundidad == 16) {
    t.resto &= 0xFFFF;
  }
  // Should a blender ever mix the components, the tables would be wrong:
  // a few mixed pixels below catch that, and Allegro then fills as before.
  const uint32_t pruebas[] = {0xFFFFFFFFu, 0x00000000u, 0x12345678u, 0x87654321u, 0x5A5A5A5Au, 0x00FF8040u};
  t.valida = true;
  for (uint32_t d : pruebas) {
    if (t.profundidad == 16) {
      d &= 0xFFFF;
    }
    const uint32_t esperado = static_cast<uint32_t>(
        t.mezcla(static_cast<unsigned long>(t.color), d, static_cast<unsigned long>(t.alfa)));
    if (por_tablas(t, f, d) != (t.profundidad == 16 ? esperado & 0xFFFF : esperado)) {
      t.valida = false;
    }
  }
}

const tablas_color &tablas_para(int color, int profundidad)
{
  BLENDER_FUNC mezcla = profundidad == 16 ? _blender_func16 : _blender_func32;
  for (const tablas_color &t : cache) {
    if (t.color == color && t.alfa == _blender_alpha && t.mezcla == mezcla && t.profundidad == profundidad) {
      return t;
    }
  }
  tablas_color &t = cache[siguiente_hueco];
  siguiente_hueco = (siguiente_hueco + 1) % HUECOS;
  t.color = color;
  t.alfa = _blender_alpha;
  t.mezcla = mezcla;
  t.profundidad = profundidad;
  llenar(t);
  return t;
}

// The span filler while the beam is drawn, one per pixel size: the same
// clipping as Allegro's own, then the tables. A beam's spans are a few
// pixels long, so what each span costs beyond its pixels is kept small.
template <typename pixel>
void tramo_aditivo(BITMAP *bmp, int x1, int y, int x2, int color)
{
  if (_drawing_mode != DRAW_MODE_TRANS) {
    vtabla_original->hfill(bmp, x1, y, x2, color);
    return;
  }
  const tablas_color *t = ultimas_tablas;
  if (t == nullptr || t->color != color || t->alfa != _blender_alpha) {
    t = ultimas_tablas = &tablas_para(color, profundidad_activa);
  }
  if (!t->valida) {
    vtabla_original->hfill(bmp, x1, y, x2, color);
    return;
  }
  if (x1 > x2) {
    std::swap(x1, x2);
  }
  if (bmp->clip) {
    if (y < bmp->ct || y >= bmp->cb) {
      return;
    }
    x1 = std::max(x1, bmp->cl);
    x2 = std::min(x2, bmp->cr - 1);
  }
  pixel *p = reinterpret_cast<pixel *>(bmp->line[y]);
  const uint32_t *c0 = t->componente[0], *c1 = t->componente[1], *c2 = t->componente[2];
  const int d0 = formato_activo.desplazamiento[0], d1 = formato_activo.desplazamiento[1],
            d2 = formato_activo.desplazamiento[2];
  const uint32_t m0 = formato_activo.mascara[0], m1 = formato_activo.mascara[1], m2 = formato_activo.mascara[2];
  const uint32_t resto = t->resto;
  for (int x = x1; x <= x2; ++x) {
    const uint32_t d = p[x];
    p[x] = static_cast<pixel>(resto | c0[(d >> d0) & m0] | c1[(d >> d1) & m1] | c2[(d >> d2) & m2]);
  }
}

}  // namespace

void empezar_relleno_aditivo(BITMAP *destino)
{
  if (!relleno_aditivo_rapido || mapa_cambiado != nullptr || !is_memory_bitmap(destino) ||
      is_sub_bitmap(destino)) {
    return;
  }
  const int profundidad = bitmap_color_depth(destino);
  if (profundidad != 16 && profundidad != 32) {
    return;
  }
  profundidad_activa = profundidad;
  formato_activo = formato_de(profundidad);
  ultimas_tablas = nullptr;
  vtabla_original = destino->vtable;
  vtabla_rayo = *destino->vtable;
  vtabla_rayo.hfill = profundidad == 16 ? tramo_aditivo<uint16_t> : tramo_aditivo<uint32_t>;
  destino->vtable = &vtabla_rayo;
  mapa_cambiado = destino;
}

void terminar_relleno_aditivo()
{
  if (mapa_cambiado != nullptr) {
    mapa_cambiado->vtable = vtabla_original;
    mapa_cambiado = nullptr;
  }
}

#ifdef FOTONAUTA_PRUEBAS
uint32_t sumar_con_tablas(int color, uint32_t debajo, int profundidad)
{
  const tablas_color &t = tablas_para(color, profundidad);
  if (!t.valida) {
    return 0xFFFFFFFFu;
  }
  return por_tablas(t, formato_de(profundidad), debajo);
}
#endif
