// The game's fonts, samples and data files in lienzo: what the data file
// walker of cargador builds on, and the text drawn with the fonts as the
// library draws a colour font's text.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "lienzo/allegro.h"

// A colour font: ranges of consecutive characters, a 16-bit glyph each
// (magenta transparent), as the library keeps a colour font.
struct FONT {
  struct rango {
    int primero, fin;  // fin: one past the last
    BITMAP **glifos;
  };
  rango *rangos;
  int num_rangos;
  int alto;  // the tallest glyph
};

struct PACKFILE {
  const PACKFILE_VTABLE *vtabla;
  void *datos;
};

namespace {

// ---- reading an in-memory packfile, big-endian words, as the loader does

int leer_byte(PACKFILE *f)
{
  return f->vtabla->pf_getc(f->datos);
}

// False once the bytes run out.
bool leer16(PACKFILE *f, int &n)
{
  const int a = leer_byte(f), b = leer_byte(f);
  if (a == EOF || b == EOF) {
    return false;
  }
  n = (a << 8) | b;
  return true;
}

bool leer32(PACKFILE *f, uint32_t &n)
{
  int a, b;
  if (!leer16(f, a) || !leer16(f, b)) {
    return false;
  }
  n = (static_cast<uint32_t>(a) << 16) | static_cast<uint32_t>(b);
  return true;
}

// The bounds a font of ours keeps well within: a range is never longer
// than this, nor a glyph larger.
constexpr uint32_t MAX_GLIFOS_RANGO = 256;
constexpr int MAX_LADO_GLIFO = 256;
constexpr int MAX_RANGOS = 16;

// A "FONT" object: the proportional format (a zero word, then its ranges)
// with truecolour ranges of three bytes a pixel, which is what the game's
// data generator writes. A glyph's pixels become 16-bit ones as the
// library's conversion makes them (each component cut to its bits); any
// other kind of font, or one cut short, is refused.
void *cargar_fuente(PACKFILE *f, long)
{
  int formato = 0, num = 0;
  if (!leer16(f, formato) || formato != 0 || !leer16(f, num) || num <= 0 || num > MAX_RANGOS) {
    return nullptr;
  }
  auto *fuente = new (std::nothrow) FONT{};
  if (fuente == nullptr) {
    return nullptr;
  }
  fuente->rangos = new (std::nothrow) FONT::rango[static_cast<size_t>(num)]{};
  if (fuente->rangos == nullptr) {
    delete fuente;
    return nullptr;
  }
  for (int r = 0; r < num; ++r) {
    uint32_t primero = 0, ultimo = 0;
    if (leer_byte(f) != 24 || !leer32(f, primero) || !leer32(f, ultimo) || ultimo < primero ||
        ultimo - primero >= MAX_GLIFOS_RANGO || ultimo > 0xFFFF) {
      destroy_font(fuente);
      return nullptr;
    }
    FONT::rango &rango = fuente->rangos[r];
    const int n = static_cast<int>(ultimo - primero) + 1;
    rango.primero = static_cast<int>(primero);
    rango.fin = static_cast<int>(ultimo) + 1;
    rango.glifos = new (std::nothrow) BITMAP *[static_cast<size_t>(n)]{};
    fuente->num_rangos = r + 1;
    if (rango.glifos == nullptr) {
      rango.fin = rango.primero;
      destroy_font(fuente);
      return nullptr;
    }
    for (int g = 0; g < n; ++g) {
      int w = 0, h = 0;
      if (!leer16(f, w) || !leer16(f, h) || w <= 0 || h <= 0 || w > MAX_LADO_GLIFO || h > MAX_LADO_GLIFO) {
        destroy_font(fuente);
        return nullptr;
      }
      BITMAP *b = create_bitmap_ex(16, w, h);
      rango.glifos[g] = b;
      if (b == nullptr) {
        destroy_font(fuente);
        return nullptr;
      }
      uint8_t rgb[3 * MAX_LADO_GLIFO];
      for (int y = 0; y < h; ++y) {
        if (f->vtabla->pf_fread(rgb, 3L * w, f->datos) != 3L * w) {
          destroy_font(fuente);
          return nullptr;
        }
        auto *d = reinterpret_cast<uint16_t *>(b->line[y]);
        for (int x = 0; x < w; ++x) {
          d[x] = static_cast<uint16_t>(makecol16(rgb[3 * x], rgb[3 * x + 1], rgb[3 * x + 2]));
        }
      }
      fuente->alto = std::max(fuente->alto, h);
    }
  }
  return fuente;
}

void destruir_fuente(void *f)
{
  destroy_font(static_cast<FONT *>(f));
}

// A character's glyph; one the font lacks is drawn as its '^', as the
// library does.
BITMAP *glifo(const FONT *f, int c)
{
  for (int r = 0; r < f->num_rangos; ++r) {
    const FONT::rango &g = f->rangos[r];
    if (c >= g.primero && c < g.fin) {
      return g.glifos[c - g.primero];
    }
  }
  return c != '^' ? glifo(f, '^') : nullptr;
}

// A line of text, one byte a character, from (x, y), each glyph masked
// onto the bitmap and centred on the font's height.
void escribir(BITMAP *bmp, const FONT *f, const char *texto, int x, int y)
{
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(texto); *p != 0; ++p) {
    BITMAP *g = glifo(f, *p);
    if (g != nullptr) {
      masked_blit(g, bmp, 0, 0, x, y + (f->alto - g->h) / 2, g->w, g->h);
      x += g->w;
    }
  }
}

}  // namespace

DATAFILE_TYPE _datafile_type[MAX_DATAFILE_TYPES] = {
    {DAT_FONT, cargar_fuente, destruir_fuente},
    {DAT_END, nullptr, nullptr},
    {DAT_END, nullptr, nullptr},
    {DAT_END, nullptr, nullptr},
};

void destroy_font(FONT *f)
{
  if (f == nullptr) {
    return;
  }
  for (int r = 0; r < f->num_rangos; ++r) {
    FONT::rango &g = f->rangos[r];
    if (g.glifos != nullptr) {
      for (int i = 0; i < g.fin - g.primero; ++i) {
        destroy_bitmap(g.glifos[i]);
      }
      delete[] g.glifos;
    }
  }
  delete[] f->rangos;
  delete f;
}

int text_length(const FONT *f, const char *str)
{
  int n = 0;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(str); *p != 0; ++p) {
    const BITMAP *g = glifo(f, *p);
    n += g != nullptr ? g->w : 0;
  }
  return n;
}

int text_height(const FONT *f)
{
  return f->alto;
}

void textout_ex(BITMAP *bmp, const FONT *f, const char *str, int x, int y, int color, int bg)
{
  // The game draws text only in its fonts' own colours, over what is
  // there; no other colour or background is drawn.
  if (color < 0 && bg < 0 && !bmp->oculto) {
    escribir(bmp, f, str, x, y);
  }
}

void textout_centre_ex(BITMAP *bmp, const FONT *f, const char *str, int x, int y, int color, int bg)
{
  textout_ex(bmp, f, str, x - text_length(f, str) / 2, y, color, bg);
}

void textprintf_ex(BITMAP *bmp, const FONT *f, int x, int y, int color, int bg, const char *format, ...)
{
  char texto[512];
  va_list a;
  va_start(a, format);
  vsnprintf(texto, sizeof texto, format, a);
  va_end(a);
  textout_ex(bmp, f, texto, x, y, color, bg);
}

void textprintf_centre_ex(BITMAP *bmp, const FONT *f, int x, int y, int color, int bg, const char *format, ...)
{
  char texto[512];
  va_list a;
  va_start(a, format);
  vsnprintf(texto, sizeof texto, format, a);
  va_end(a);
  textout_centre_ex(bmp, f, texto, x, y, color, bg);
}

// ---------------------------------------------------------------------------
// Samples, packfiles, data files
// ---------------------------------------------------------------------------

SAMPLE *create_sample(int bits, int stereo, int freq, int len)
{
  if ((bits != 8 && bits != 16) || len < 0) {
    return nullptr;
  }
  auto *s = new (std::nothrow) SAMPLE{};
  if (s == nullptr) {
    return nullptr;
  }
  const size_t bytes = static_cast<size_t>(len) * (stereo ? 2u : 1u) * static_cast<size_t>(bits / 8);
  s->data = malloc(bytes > 0 ? bytes : 1);
  if (s->data == nullptr) {
    delete s;
    return nullptr;
  }
  s->bits = bits;
  s->stereo = stereo;
  s->freq = freq;
  s->priority = 128;
  s->len = static_cast<unsigned long>(len);
  s->loop_end = s->len;
  return s;
}

void destroy_sample(SAMPLE *s)
{
  if (s != nullptr) {
    free(s->data);
    delete s;
  }
}

PACKFILE *pack_fopen_vtable(const PACKFILE_VTABLE *vtable, void *userdata)
{
  return new (std::nothrow) PACKFILE{vtable, userdata};
}

int pack_fclose(PACKFILE *f)
{
  const int r = f->vtabla->pf_fclose(f->datos);
  delete f;
  return r;
}

void unload_datafile(DATAFILE *dat)
{
  if (dat == nullptr) {
    return;
  }
  for (DATAFILE *d = dat; d->type != DAT_END; ++d) {
    if (d->dat != nullptr) {
      if (d->type == DAT_BITMAP) {
        destroy_bitmap(static_cast<BITMAP *>(d->dat));
      } else if (d->type == DAT_FONT) {
        destroy_font(static_cast<FONT *>(d->dat));
      } else if (d->type == DAT_SAMPLE) {
        destroy_sample(static_cast<SAMPLE *>(d->dat));
      } else if (d->type == DAT_FILE) {
        unload_datafile(static_cast<DATAFILE *>(d->dat));
      } else {
        free(d->dat);
      }
    }
    if (d->prop != nullptr) {
      for (DATAFILE_PROPERTY *p = d->prop; p->type != DAT_END; ++p) {
        free(p->dat);
      }
      free(d->prop);
    }
  }
  free(dat);
}

DATAFILE *load_datafile(const char *)
{
  return nullptr;
}

int _color_load_depth(int, bool)
{
  return 16;
}
