// The drawing calls of allegro.h on 16-bit memory bitmaps. Each follows
// the steps of Allegro 4.4's portable C routine of the same name (its
// clipping, its rasteriser's rounding, its blender's arithmetic), since a
// replay in a page must show the pixels the game shows.
#include "lienzo/allegro.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

int _rgb_r_shift_15 = 10, _rgb_g_shift_15 = 5, _rgb_b_shift_15 = 0;
int _rgb_r_shift_16 = 11, _rgb_g_shift_16 = 5, _rgb_b_shift_16 = 0;
int _rgb_r_shift_24 = 16, _rgb_g_shift_24 = 8, _rgb_b_shift_24 = 0;
int _rgb_r_shift_32 = 16, _rgb_g_shift_32 = 8, _rgb_b_shift_32 = 0, _rgb_a_shift_32 = 24;

// A component of 5 or 6 bits widened to 8 as the library widens it: its
// top bits repeated below it.
int _rgb_scale_5[32];
int _rgb_scale_6[64];
namespace {
const bool escalas_hechas = [] {
  for (int i = 0; i < 32; ++i) {
    _rgb_scale_5[i] = (i << 3) | (i >> 2);
  }
  for (int i = 0; i < 64; ++i) {
    _rgb_scale_6[i] = (i << 2) | (i >> 4);
  }
  return true;
}();
}  // namespace

BLENDER_FUNC _blender_func16 = nullptr;
BLENDER_FUNC _blender_func32 = nullptr;
int _blender_alpha = 0;
int _drawing_mode = DRAW_MODE_SOLID;

volatile int mouse_x, mouse_y, mouse_z, mouse_b;
volatile char key[128];
BITMAP *screen = nullptr;

namespace {

using pixel = uint16_t;

pixel *fila(BITMAP *b, int y)
{
  return reinterpret_cast<pixel *>(b->line[y]);
}

// Whether drawing onto `b` is to be skipped (see BITMAP::oculto).
bool oculto(const BITMAP *b)
{
  return b->oculto;
}

// The span filler of 16-bit memory bitmaps: solid or through the blender,
// the new colour first and the pixel below second.
void hfill16(BITMAP *bmp, int x1, int y, int x2, int color)
{
  if (x1 > x2) {
    std::swap(x1, x2);
  }
  if (bmp->clip) {
    x1 = std::max(x1, bmp->cl);
    x2 = std::min(x2, bmp->cr - 1);
    if (x1 > x2 || y < bmp->ct || y >= bmp->cb) {
      return;
    }
  }
  pixel *d = fila(bmp, y);
  if (_drawing_mode == DRAW_MODE_TRANS && _blender_func16 != nullptr) {
    for (int x = x1; x <= x2; ++x) {
      d[x] = static_cast<pixel>(_blender_func16(static_cast<unsigned long>(color), d[x],
                                                static_cast<unsigned long>(_blender_alpha)));
    }
  } else {
    std::fill(d + x1, d + x2 + 1, static_cast<pixel>(color));
  }
}

GFX_VTABLE vtabla16 = {16, MASK_COLOR_16, hfill16};

// The library's blenders at 16 bits. Its arithmetic is on unsigned long,
// 64 bits where the game runs natively: so here too.
unsigned long mezcla_trans16(unsigned long x0, unsigned long y0, unsigned long n0)
{
  uint64_t x = x0, y = y0, n = n0;
  if (n != 0) {
    n = (n + 1) / 8;
  }
  x = ((x & 0xFFFF) | (x << 16)) & 0x7E0F81F;
  y = ((y & 0xFFFF) | (y << 16)) & 0x7E0F81F;
  const uint64_t r = ((x - y) * n / 32 + y) & 0x7E0F81F;
  return static_cast<unsigned long>((r & 0xFFFF) | (r >> 16));
}

unsigned long mezcla_suma16(unsigned long x0, unsigned long y0, unsigned long n0)
{
  const int x = static_cast<int>(x0), y = static_cast<int>(y0);
  const uint64_t n = n0;
  const auto suma = [n](int abajo, int encima) {
    return static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(abajo) + static_cast<uint64_t>(encima) * n / 256, 255));
  };
  return static_cast<unsigned long>(makecol16(suma(getr(y), getr(x)), suma(getg(y), getg(x)), suma(getb(y), getb(x))));
}

// Allegro's clipping of a blit: against the source's size and the
// destination's clipping rectangle. False when nothing is left.
bool recortar_blit(const BITMAP *src, const BITMAP *dest, int &s_x, int &s_y, int &d_x, int &d_y, int &w, int &h)
{
  if (s_x >= src->w || s_y >= src->h || d_x >= dest->cr || d_y >= dest->cb) {
    return false;
  }
  if (s_x < 0) {
    w += s_x;
    d_x -= s_x;
    s_x = 0;
  }
  if (s_y < 0) {
    h += s_y;
    d_y -= s_y;
    s_y = 0;
  }
  if (s_x + w > src->w) {
    w = src->w - s_x;
  }
  if (s_y + h > src->h) {
    h = src->h - s_y;
  }
  if (d_x < dest->cl) {
    d_x -= dest->cl;
    w += d_x;
    s_x -= d_x;
    d_x = dest->cl;
  }
  if (d_y < dest->ct) {
    d_y -= dest->ct;
    h += d_y;
    s_y -= d_y;
    d_y = dest->ct;
  }
  if (d_x + w > dest->cr) {
    w = dest->cr - d_x;
  }
  if (d_y + h > dest->cb) {
    h = dest->cb - d_y;
  }
  return w > 0 && h > 0;
}

// A sprite's clipping against the destination: where in the sprite the
// visible part starts, where it lands, and its size.
struct recorte_sprite {
  int sx, sy, dx, dy, w, h;
};
bool recortar_sprite(const BITMAP *dst, const BITMAP *src, int dx, int dy, recorte_sprite &r)
{
  if (dst->clip) {
    int t = dst->cl - dx;
    r.sx = t < 0 ? 0 : t;
    r.dx = r.sx + dx;
    t = dst->cr - dx;
    r.w = (t > src->w ? src->w : t) - r.sx;
    if (r.w <= 0) {
      return false;
    }
    t = dst->ct - dy;
    r.sy = t < 0 ? 0 : t;
    r.dy = r.sy + dy;
    t = dst->cb - dy;
    r.h = (t > src->h ? src->h : t) - r.sy;
    return r.h > 0;
  }
  r = {0, 0, dx, dy, src->w, src->h};
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Bitmaps
// ---------------------------------------------------------------------------

BITMAP *create_bitmap_ex(int depth, int w, int h)
{
  if (depth != 16 || w <= 0 || h <= 0 || w > 8192 || h > 8192) {
    return nullptr;
  }
  auto *b = new (std::nothrow) BITMAP{};
  auto *pixeles = static_cast<unsigned char *>(calloc(static_cast<size_t>(w) * static_cast<size_t>(h), sizeof(pixel)));
  auto *filas = new (std::nothrow) unsigned char *[static_cast<size_t>(h)];
  if (b == nullptr || pixeles == nullptr || filas == nullptr) {
    delete b;
    free(pixeles);
    delete[] filas;
    return nullptr;
  }
  for (int y = 0; y < h; ++y) {
    filas[y] = pixeles + static_cast<size_t>(y) * static_cast<size_t>(w) * sizeof(pixel);
  }
  b->w = w;
  b->h = h;
  b->clip = 1;
  b->cl = b->ct = 0;
  b->cr = w;
  b->cb = h;
  b->vtable = &vtabla16;
  b->line = filas;
  return b;
}

BITMAP *create_bitmap(int w, int h)
{
  return create_bitmap_ex(16, w, h);
}

BITMAP *create_sub_bitmap(BITMAP *parent, int x, int y, int w, int h)
{
  if (parent == nullptr) {
    return nullptr;
  }
  x = std::max(x, 0);
  y = std::max(y, 0);
  w = std::min(w, parent->w - x);
  h = std::min(h, parent->h - y);
  if (w <= 0 || h <= 0) {
    return nullptr;
  }
  auto *b = new (std::nothrow) BITMAP{};
  auto *filas = new (std::nothrow) unsigned char *[static_cast<size_t>(h)];
  if (b == nullptr || filas == nullptr) {
    delete b;
    delete[] filas;
    return nullptr;
  }
  for (int i = 0; i < h; ++i) {
    filas[i] = parent->line[y + i] + static_cast<size_t>(x) * sizeof(pixel);
  }
  b->w = w;
  b->h = h;
  b->clip = 1;
  b->cl = b->ct = 0;
  b->cr = w;
  b->cb = h;
  b->vtable = parent->vtable;
  b->line = filas;
  b->sub = true;
  b->oculto = parent->oculto;
  return b;
}

void destroy_bitmap(BITMAP *bmp)
{
  if (bmp == nullptr) {
    return;
  }
  if (!bmp->sub) {
    free(bmp->line[0]);
  }
  delete[] bmp->line;
  delete bmp;
}

void set_clip_rect(BITMAP *bmp, int x1, int y1, int x2, int y2)
{
  // Inclusive given, exclusive kept, as the library keeps it.
  ++x2;
  ++y2;
  bmp->cl = std::clamp(x1, 0, bmp->w - 1);
  bmp->ct = std::clamp(y1, 0, bmp->h - 1);
  bmp->cr = std::clamp(x2, 0, bmp->w);
  bmp->cb = std::clamp(y2, 0, bmp->h);
}

void get_clip_rect(BITMAP *bmp, int *x1, int *y1, int *x2, int *y2)
{
  *x1 = bmp->cl;
  *y1 = bmp->ct;
  *x2 = bmp->cr - 1;
  *y2 = bmp->cb - 1;
}

// ---------------------------------------------------------------------------
// Colours and blending
// ---------------------------------------------------------------------------

int makecol16(int r, int g, int b)
{
  return ((r >> 3) << _rgb_r_shift_16) | ((g >> 2) << _rgb_g_shift_16) | ((b >> 3) << _rgb_b_shift_16);
}

int makecol(int r, int g, int b)
{
  return makecol16(r, g, b);
}

int getr(int c)
{
  return _rgb_scale_5[(c >> _rgb_r_shift_16) & 0x1F];
}

int getg(int c)
{
  return _rgb_scale_6[(c >> _rgb_g_shift_16) & 0x3F];
}

int getb(int c)
{
  return _rgb_scale_5[(c >> _rgb_b_shift_16) & 0x1F];
}

void set_trans_blender(int, int, int, int a)
{
  _blender_func16 = mezcla_trans16;
  _blender_alpha = a;
}

void set_add_blender(int, int, int, int a)
{
  _blender_func16 = mezcla_suma16;
  _blender_alpha = a;
}

void drawing_mode(int mode, BITMAP *, int, int)
{
  _drawing_mode = mode;
}

// ---------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------

void clear_to_color(BITMAP *bmp, int color)
{
  if (oculto(bmp)) {
    return;
  }
  for (int y = bmp->ct; y < bmp->cb; ++y) {
    std::fill(fila(bmp, y) + bmp->cl, fila(bmp, y) + bmp->cr, static_cast<pixel>(color));
  }
}

void clear_bitmap(BITMAP *bmp)
{
  clear_to_color(bmp, 0);
}

void putpixel(BITMAP *bmp, int x, int y, int color)
{
  if (oculto(bmp) || (bmp->clip && (x < bmp->cl || x >= bmp->cr || y < bmp->ct || y >= bmp->cb))) {
    return;
  }
  pixel &p = fila(bmp, y)[x];
  if (_drawing_mode == DRAW_MODE_TRANS && _blender_func16 != nullptr) {
    p = static_cast<pixel>(_blender_func16(static_cast<unsigned long>(color), p, static_cast<unsigned long>(_blender_alpha)));
  } else {
    p = static_cast<pixel>(color);
  }
}

int getpixel(BITMAP *bmp, int x, int y)
{
  if (x < 0 || x >= bmp->w || y < 0 || y >= bmp->h) {
    return -1;
  }
  return fila(bmp, y)[x];
}

void hline(BITMAP *bmp, int x1, int y, int x2, int color)
{
  if (!oculto(bmp)) {
    hfill16(bmp, x1, y, x2, color);
  }
}

void vline(BITMAP *bmp, int x, int y1, int y2, int color)
{
  if (y1 > y2) {
    std::swap(y1, y2);
  }
  for (int y = y1; y <= y2; ++y) {
    putpixel(bmp, x, y, color);
  }
}

void rect(BITMAP *bmp, int x1, int y1, int x2, int y2, int color)
{
  if (x2 < x1) {
    std::swap(x1, x2);
  }
  if (y2 < y1) {
    std::swap(y1, y2);
  }
  hline(bmp, x1, y1, x2, color);
  if (y2 > y1) {
    hline(bmp, x1, y2, x2, color);
  }
  if (y2 - 1 >= y1 + 1) {
    vline(bmp, x1, y1 + 1, y2 - 1, color);
    if (x2 > x1) {
      vline(bmp, x2, y1 + 1, y2 - 1, color);
    }
  }
}

void rectfill(BITMAP *bmp, int x1, int y1, int x2, int y2, int color)
{
  if (oculto(bmp)) {
    return;
  }
  if (y2 < y1) {
    std::swap(y1, y2);
  }
  const int recorte = bmp->clip;
  if (recorte) {
    if (x2 < x1) {
      std::swap(x1, x2);
    }
    x1 = std::max(x1, bmp->cl);
    x2 = std::min(x2, bmp->cr - 1);
    if (x2 < x1) {
      return;
    }
    y1 = std::max(y1, bmp->ct);
    y2 = std::min(y2, bmp->cb - 1);
    if (y2 < y1) {
      return;
    }
    bmp->clip = 0;
  }
  for (int y = y1; y <= y2; ++y) {
    bmp->vtable->hfill(bmp, x1, y, x2, color);
  }
  bmp->clip = recorte;
}

namespace {

// The polygon rasteriser's edges, in its fixed point.
constexpr int POLYGON_FIX_SHIFT = 18;
// The game's shapes have four corners; one of more than this draws
// nothing.
constexpr int MAX_VERTICES = 64;
struct arista {
  int top, bottom;
  int x, dx, w;
  arista *prev, *next;
};

void llenar_arista(arista *e, const int *i1, const int *i2)
{
  if (i2[1] < i1[1]) {
    std::swap(i1, i2);
  }
  e->top = i1[1];
  e->bottom = i2[1];
  e->x = (i1[0] << POLYGON_FIX_SHIFT) + (1 << (POLYGON_FIX_SHIFT - 1));
  if (i2[1] != i1[1]) {
    e->dx = ((i2[0] - i1[0]) << POLYGON_FIX_SHIFT) / (i2[1] - i1[1]);
  } else {
    e->dx = ((i2[0] - i1[0]) << POLYGON_FIX_SHIFT) << 1;
  }
  e->w = std::max(std::abs(e->dx) - 1, 0);
  e->prev = e->next = nullptr;
  if (e->dx < 0) {
    e->x += e->dx / 2;
  }
}

arista *anadir_arista(arista *lista, arista *e, bool por_x)
{
  arista *pos = lista;
  arista *prev = nullptr;
  while (pos != nullptr && (por_x ? pos->x < e->x : pos->top < e->top)) {
    prev = pos;
    pos = pos->next;
  }
  e->next = pos;
  e->prev = prev;
  if (pos != nullptr) {
    pos->prev = e;
  }
  if (prev != nullptr) {
    prev->next = e;
    return lista;
  }
  return e;
}

arista *quitar_arista(arista *lista, arista *e)
{
  if (e->next != nullptr) {
    e->next->prev = e->prev;
  }
  if (e->prev != nullptr) {
    e->prev->next = e->next;
    return lista;
  }
  return e->next;
}

}  // namespace

void polygon(BITMAP *bmp, int vertices, const int *points, int color)
{
  if (oculto(bmp) || vertices <= 0 || vertices > MAX_VERTICES) {
    return;
  }
  arista aristas[MAX_VERTICES];
  int top = INT32_MAX, bottom = INT32_MIN;
  arista *activas = nullptr, *inactivas = nullptr;
  arista *e = aristas;
  const int *i1 = points;
  const int *i2 = points + (vertices - 1) * 2;
  for (int c = 0; c < vertices; ++c) {
    llenar_arista(e, i1, i2);
    if (e->bottom >= e->top) {
      top = std::min(top, e->top);
      bottom = std::max(bottom, e->bottom);
      inactivas = anadir_arista(inactivas, e, false);
      ++e;
    }
    i2 = i1;
    i1 += 2;
  }
  if (bottom >= bmp->cb) {
    bottom = bmp->cb - 1;
  }
  for (int c = top; c <= bottom; ++c) {
    int hid = 0, b1 = 0, e1 = 0, up = 0, draw = 0;
    e = inactivas;
    while (e != nullptr && e->top == c) {
      arista *siguiente = e->next;
      inactivas = quitar_arista(inactivas, e);
      activas = anadir_arista(activas, e, true);
      e = siguiente;
    }
    e = activas;
    while (e != nullptr) {
      int ancho = e->w;
      if (e->bottom != c) {
        up = 1 - up;
      } else {
        ancho = e->w >> 1;
      }
      if (e->top == c) {
        ancho = e->w >> 1;
      }
      if (draw < 1 && up >= 1) {
        b1 = (e->x + ancho) >> POLYGON_FIX_SHIFT;
      } else if (draw >= 1) {
        e1 = e->x >> POLYGON_FIX_SHIFT;
        hid = std::max(hid, b1 + 1);
        if (hid <= e1 - 1) {
          bmp->vtable->hfill(bmp, hid, c, e1 - 1, color);
        }
        b1 = (e->x + ancho) >> POLYGON_FIX_SHIFT;
      }
      hid = std::max(hid, e->x >> POLYGON_FIX_SHIFT);
      if (hid <= ((e->x + ancho) >> POLYGON_FIX_SHIFT)) {
        bmp->vtable->hfill(bmp, hid, c, (e->x + ancho) >> POLYGON_FIX_SHIFT, color);
        hid = 1 + ((e->x + ancho) >> POLYGON_FIX_SHIFT);
      }
      e = e->next;
      draw = up;
    }
    e = activas;
    while (e != nullptr) {
      arista *siguiente = e->next;
      if (c >= e->bottom) {
        activas = quitar_arista(activas, e);
      } else {
        e->x += e->dx;
        if (e->top == c && e->dx > 0) {
          e->x -= e->dx / 2;
        }
        if (e->bottom == c + 1 && e->dx < 0) {
          e->x -= e->dx / 2;
        }
        while (e->prev != nullptr && e->x < e->prev->x) {
          if (e->next != nullptr) {
            e->next->prev = e->prev;
          }
          e->prev->next = e->next;
          e->next = e->prev;
          e->prev = e->prev->prev;
          e->next->prev = e;
          if (e->prev != nullptr) {
            e->prev->next = e;
          } else {
            activas = e;
          }
        }
      }
      e = siguiente;
    }
  }
}

void circlefill(BITMAP *bmp, int x, int y, int radius, int color)
{
  if (oculto(bmp)) {
    return;
  }
  int cx = 0, cy = radius;
  int df = 1 - radius, d_e = 3, d_se = -2 * radius + 5;
  const int recorte = bmp->clip;
  if (recorte) {
    const int sx = x - radius - 1, sy = y - radius - 1, dx = x + radius + 1, dy = y + radius + 1;
    if (sx >= bmp->cr || sy >= bmp->cb || dx < bmp->cl || dy < bmp->ct) {
      return;
    }
    if (sx >= bmp->cl && sy >= bmp->ct && dx < bmp->cr && dy < bmp->cb) {
      bmp->clip = 0;
    }
  }
  do {
    bmp->vtable->hfill(bmp, x - cy, y - cx, x + cy, color);
    if (cx != 0) {
      bmp->vtable->hfill(bmp, x - cy, y + cx, x + cy, color);
    }
    if (df < 0) {
      df += d_e;
      d_e += 2;
      d_se += 2;
    } else {
      if (cx != cy) {
        bmp->vtable->hfill(bmp, x - cx, y - cy, x + cx, color);
        if (cy != 0) {
          bmp->vtable->hfill(bmp, x - cx, y + cy, x + cx, color);
        }
      }
      df += d_se;
      d_e += 2;
      d_se += 4;
      --cy;
    }
    ++cx;
  } while (cx <= cy);
  bmp->clip = recorte;
}

void blit(BITMAP *source, BITMAP *dest, int s_x, int s_y, int d_x, int d_y, int w, int h)
{
  if (oculto(dest) || !recortar_blit(source, dest, s_x, s_y, d_x, d_y, w, h)) {
    return;
  }
  const size_t bytes = static_cast<size_t>(w) * sizeof(pixel);
  // Rows that may overlap (a bitmap onto itself, or two views of one) are
  // copied in the order that reads each before it is written.
  if (dest->line[d_y] > source->line[s_y]) {
    for (int y = h - 1; y >= 0; --y) {
      memmove(fila(dest, d_y + y) + d_x, fila(source, s_y + y) + s_x, bytes);
    }
  } else {
    for (int y = 0; y < h; ++y) {
      memmove(fila(dest, d_y + y) + d_x, fila(source, s_y + y) + s_x, bytes);
    }
  }
}

void masked_blit(BITMAP *source, BITMAP *dest, int s_x, int s_y, int d_x, int d_y, int w, int h)
{
  if (oculto(dest) || !recortar_blit(source, dest, s_x, s_y, d_x, d_y, w, h)) {
    return;
  }
  const auto mascara = static_cast<pixel>(source->vtable->mask_color);
  for (int y = 0; y < h; ++y) {
    const pixel *s = fila(source, s_y + y) + s_x;
    pixel *d = fila(dest, d_y + y) + d_x;
    for (int x = 0; x < w; ++x) {
      if (s[x] != mascara) {
        d[x] = s[x];
      }
    }
  }
}

void draw_sprite(BITMAP *bmp, BITMAP *sprite, int x, int y)
{
  recorte_sprite r;
  if (oculto(bmp) || !recortar_sprite(bmp, sprite, x, y, r)) {
    return;
  }
  const auto mascara = static_cast<pixel>(sprite->vtable->mask_color);
  for (int j = 0; j < r.h; ++j) {
    const pixel *s = fila(sprite, r.sy + j) + r.sx;
    pixel *d = fila(bmp, r.dy + j) + r.dx;
    for (int i = 0; i < r.w; ++i) {
      if (s[i] != mascara) {
        d[i] = s[i];
      }
    }
  }
}

void draw_trans_sprite(BITMAP *bmp, BITMAP *sprite, int x, int y)
{
  recorte_sprite r;
  if (oculto(bmp) || _blender_func16 == nullptr || !recortar_sprite(bmp, sprite, x, y, r)) {
    return;
  }
  const auto mascara = static_cast<pixel>(sprite->vtable->mask_color);
  for (int j = 0; j < r.h; ++j) {
    const pixel *s = fila(sprite, r.sy + j) + r.sx;
    pixel *d = fila(bmp, r.dy + j) + r.dx;
    for (int i = 0; i < r.w; ++i) {
      if (s[i] != mascara) {
        d[i] = static_cast<pixel>(_blender_func16(s[i], d[i], static_cast<unsigned long>(_blender_alpha)));
      }
    }
  }
}
