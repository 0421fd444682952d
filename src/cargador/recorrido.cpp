// A faster load of our data files. Allegro's loader reads through its
// packfile layer a byte at a time (even pack_fread copies byte by byte) and
// builds each pixel through a call. Here an uncompressed datafile is walked
// with plain reads: bitmaps are built in plain loops from a small buffer,
// row block by row block, straight at the depth they are kept at; samples
// and raw data are read straight into their own memory; every other
// object (the fonts) goes through Allegro's own loader of its type, reading
// a copy in memory. Only the fonts' bytes are held twice, briefly: touching
// fresh memory is what start-up spends most on. The result is the same,
// value for value, as load_datafile's; anything this walk does not expect
// is left to load_datafile. A walk may be of bytes in memory too (the web
// build has no files); every read stays within the length it was given.
#include "cargador/cargador.h"

#include <allegro/internal/aintern.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Properties kept per object, as Allegro's loader keeps them.
constexpr int MAX_PROPIEDADES = 64;

uint32_t leer32(const uint8_t *p)
{
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

int leer16(const uint8_t *p)
{
  return static_cast<int16_t>((p[0] << 8) | p[1]);
}

// The first word of a bitmap's or a sample's header: its bits, stored
// negative to flag alpha (bitmaps) or stereo (samples).
int bits_de(const uint8_t *cab, bool *marcado)
{
  const int bits = leer16(cab);
  *marcado = bits < 0;
  return *marcado ? -bits : bits;
}

// ---- bitmaps

// Bytes per pixel as the data file stores them: depth 32 without alpha
// keeps only red, green and blue.
int bytes_guardados(int bits, bool rgba)
{
  switch (bits) {
    case 8:
      return 1;
    case 15:
    case 16:
      return 2;
    case 24:
      return 3;
    case 32:
      return rgba ? 4 : 3;
    default:
      return 0;
  }
}

// One row of stored pixels into a bitmap of the stored depth, as Allegro
// builds them: 15/16-bit words are 5.6.5 (red on top) expanded to 8 bits a
// component and remade for the depth; the others as makecol does.
void convertir_fila(const uint8_t *o, BITMAP *b, int y, int bits, bool rgba)
{
  const int w = b->w;
  switch (bits) {
    case 8:
      memcpy(b->line[y], o, static_cast<size_t>(w));
      break;
    case 15:
    case 16: {
      auto *d = reinterpret_cast<uint16_t *>(b->line[y]);
      const int rs = bits == 15 ? _rgb_r_shift_15 : _rgb_r_shift_16;
      const int gs = bits == 15 ? _rgb_g_shift_15 : _rgb_g_shift_16;
      const int bs = bits == 15 ? _rgb_b_shift_15 : _rgb_b_shift_16;
      const int gbajo = bits == 15 ? 3 : 2;
      for (int x = 0; x < w; ++x, o += 2) {
        const int c = o[0] | (o[1] << 8);
        const int r = _rgb_scale_5[(c >> 11) & 0x1F];
        const int g = _rgb_scale_6[(c >> 5) & 0x3F];
        const int az = _rgb_scale_5[c & 0x1F];
        d[x] = static_cast<uint16_t>(((r >> 3) << rs) | ((g >> gbajo) << gs) | ((az >> 3) << bs));
      }
      break;
    }
    case 24: {
      uint8_t *d = b->line[y];
      for (int x = 0; x < w; ++x, o += 3, d += 3) {
        const uint32_t c = (uint32_t{o[0]} << _rgb_r_shift_24) | (uint32_t{o[1]} << _rgb_g_shift_24) |
                           (uint32_t{o[2]} << _rgb_b_shift_24);
        d[0] = static_cast<uint8_t>(c);
        d[1] = static_cast<uint8_t>(c >> 8);
        d[2] = static_cast<uint8_t>(c >> 16);
      }
      break;
    }
    case 32: {
      auto *d = reinterpret_cast<uint32_t *>(b->line[y]);
      const int rs = _rgb_r_shift_32, gs = _rgb_g_shift_32, bs = _rgb_b_shift_32, as = _rgb_a_shift_32;
      if (rgba) {
        for (int x = 0; x < w; ++x, o += 4) {
          d[x] = (uint32_t{o[0]} << rs) | (uint32_t{o[1]} << gs) | (uint32_t{o[2]} << bs) | (uint32_t{o[3]} << as);
        }
      } else {
        for (int x = 0; x < w; ++x, o += 3) {
          d[x] = (uint32_t{o[0]} << rs) | (uint32_t{o[1]} << gs) | (uint32_t{o[2]} << bs);
        }
      }
      break;
    }
    default:
      break;
  }
}

// What is being walked: a file, whose reads never go past the length it
// had when it was opened, and one that comes up short (the file cut
// meanwhile) fails; or bytes in memory.
struct t_lectura {
  int fd;
  uint64_t largo;
  const uint8_t *bytes = nullptr;
};

bool leer_en(const t_lectura &f, uint64_t pos, void *destino, uint64_t n)
{
  if (pos > f.largo || n > f.largo - pos) {
    return false;
  }
  auto *d = static_cast<uint8_t *>(destino);
  if (f.bytes != nullptr) {
    memcpy(d, f.bytes + pos, n);
    return true;
  }
  while (n > 0) {
    const ssize_t r = pread(f.fd, d, n, static_cast<off_t>(pos));
    if (r < 0 && errno == EINTR) {
      continue;
    }
    if (r <= 0) {
      return false;
    }
    d += r;
    pos += static_cast<uint64_t>(r);
    n -= static_cast<uint64_t>(r);
  }
  return true;
}

// Stored pixels read per block: a buffer this size is reused for a whole
// bitmap, whatever its size.
constexpr uint64_t BLOQUE_PIXELES = 64 * 1024;

// One row of 24- or 32-bit stored pixels straight into a 16-bit bitmap,
// as makecol16 (and Allegro's blit between the depths) makes them. The
// mask colour needs nothing of its own: magenta is magenta at both depths.
void convertir_fila_16(const uint8_t *o, BITMAP *b, int y, int por_pixel)
{
  auto *d = reinterpret_cast<uint16_t *>(b->line[y]);
  const int rs = _rgb_r_shift_16, gs = _rgb_g_shift_16, bs = _rgb_b_shift_16;
  for (int x = 0; x < b->w; ++x, o += por_pixel) {
    d[x] = static_cast<uint16_t>(((o[0] >> 3) << rs) | ((o[1] >> 2) << gs) | ((o[2] >> 3) << bs));
  }
}

// A "BMP " object at `pos`: depth (negative: 32 bits with alpha), width,
// height, then the pixels. One whose header asks for more pixels than it
// holds is refused, where Allegro's loader would fill it with whatever
// followed.
BITMAP *bitmap_de(const t_lectura &f, uint64_t pos, uint32_t tam)
{
  uint8_t cab[6];
  if (tam < sizeof cab || !leer_en(f, pos, cab, sizeof cab)) {
    return nullptr;
  }
  bool rgba;
  const int bits = bits_de(cab, &rgba);
  const int w = static_cast<uint16_t>(leer16(cab + 2));
  const int h = static_cast<uint16_t>(leer16(cab + 4));
  const int por_pixel = bytes_guardados(bits, rgba);
  const uint64_t fila = static_cast<uint64_t>(w) * static_cast<uint64_t>(por_pixel);
  if (por_pixel == 0 || fila * static_cast<uint64_t>(h) > tam - sizeof cab) {
    return nullptr;
  }
  const int destino = _color_load_depth(bits, rgba);
  // True colour kept at 16 bits is converted on the way in, not built at
  // its own depth first and blitted.
  const bool directo = destino == 16 && !rgba && (bits == 24 || bits == 32);
  BITMAP *b = create_bitmap_ex(directo ? 16 : bits, w, h);
  if (b == nullptr) {
    return nullptr;
  }
  const uint64_t filas_bloque = fila == 0 ? 1 : std::max<uint64_t>(1, BLOQUE_PIXELES / fila);
  std::unique_ptr<uint8_t[]> bloque(new (std::nothrow) uint8_t[std::max<uint64_t>(1, filas_bloque * fila)]);
  if (bloque == nullptr) {
    destroy_bitmap(b);
    return nullptr;
  }
  for (int y = 0; y < h;) {
    const int n = static_cast<int>(std::min<uint64_t>(filas_bloque, static_cast<uint64_t>(h - y)));
    if (!leer_en(f, pos + sizeof cab + fila * static_cast<uint64_t>(y), bloque.get(), fila * static_cast<uint64_t>(n))) {
      destroy_bitmap(b);
      return nullptr;
    }
    for (int k = 0; k < n; ++k, ++y) {
      const uint8_t *o = bloque.get() + fila * static_cast<uint64_t>(k);
      if (directo) {
        convertir_fila_16(o, b, y, por_pixel);
      } else {
        convertir_fila(o, b, y, bits, rgba);
      }
    }
  }
  if (!directo && destino != bits) {
    // Any other change of depth is Allegro's own blit, as in its loader.
    BITMAP *otro = create_bitmap_ex(destino, w, h);
    if (otro != nullptr) {
      blit(b, otro, 0, 0, 0, 0, w, h);
    }
    destroy_bitmap(b);
    b = otro;
  }
  return b;
}

// ---- samples

// A "SAMP" object at `pos`: bits (negative: stereo), frequency, length in
// frames, then the samples, 16-bit ones as little-endian words.
SAMPLE *muestra_de(const t_lectura &f, uint64_t pos, uint32_t tam)
{
  uint8_t cab[8];
  if (tam < sizeof cab || !leer_en(f, pos, cab, sizeof cab)) {
    return nullptr;
  }
  bool estereo;
  const int bits = bits_de(cab, &estereo);
  const int frecuencia = static_cast<uint16_t>(leer16(cab + 2));
  const uint32_t largo = leer32(cab + 4);
  const uint64_t bytes = uint64_t{largo} * (estereo ? 2u : 1u) * static_cast<uint64_t>(bits / 8);
  if ((bits != 8 && bits != 16) || largo > INT32_MAX || bytes > tam - sizeof cab) {
    return nullptr;
  }
  // Allegro's loader marks stereo with its TRUE, -1.
  SAMPLE *s = create_sample(bits, estereo ? -1 : 0, frecuencia, static_cast<int>(largo));
  if (s == nullptr) {
    return nullptr;
  }
  if (!leer_en(f, pos + sizeof cab, s->data, bytes)) {
    destroy_sample(s);
    return nullptr;
  }
  if constexpr (std::endian::native == std::endian::big) {
    if (bits == 16) {
      auto *m = static_cast<uint16_t *>(s->data);
      for (uint64_t i = 0; i < bytes / 2; ++i) {
        m[i] = static_cast<uint16_t>((m[i] >> 8) | (m[i] << 8));
      }
    }
  }
  lock_sample(s);
  return s;
}

// ---- any other object, through Allegro's loader of its type

struct memoria {
  const uint8_t *p;
  long tam, pos;
};

int mem_cerrar(void *)
{
  return 0;
}
int mem_getc(void *u)
{
  auto *m = static_cast<memoria *>(u);
  return m->pos < m->tam ? m->p[m->pos++] : EOF;
}
int mem_ungetc(int c, void *u)
{
  auto *m = static_cast<memoria *>(u);
  if (m->pos == 0) {
    return EOF;
  }
  --m->pos;
  return c;
}
long mem_fread(void *d, long n, void *u)
{
  auto *m = static_cast<memoria *>(u);
  const long k = n < m->tam - m->pos ? n : m->tam - m->pos;
  if (k <= 0) {
    return 0;
  }
  memcpy(d, m->p + m->pos, static_cast<size_t>(k));
  m->pos += k;
  return k;
}
int mem_putc(int, void *)
{
  return EOF;
}
long mem_fwrite(const void *, long, void *)
{
  return 0;
}
int mem_fseek(void *u, int n)
{
  auto *m = static_cast<memoria *>(u);
  if (n < 0 || n > m->tam - m->pos) {
    m->pos = m->tam;
    return -1;
  }
  m->pos += n;
  return 0;
}
int mem_feof(void *u)
{
  auto *m = static_cast<memoria *>(u);
  return m->pos >= m->tam;
}
int mem_ferror(void *)
{
  return 0;
}

const PACKFILE_VTABLE VTABLA_MEMORIA = {mem_cerrar, mem_getc, mem_ungetc, mem_fread, mem_putc,
                                        mem_fwrite, mem_fseek, mem_feof, mem_ferror};

void *objeto_de(const t_lectura &f, int tipo, uint64_t pos, uint32_t tam)
{
  if (tipo == DAT_BITMAP) {
    return bitmap_de(f, pos, tam);
  }
  if (tipo == DAT_SAMPLE) {
    return muestra_de(f, pos, tam);
  }
  for (int i = 0; i < MAX_DATAFILE_TYPES; ++i) {
    if (_datafile_type[i].type == tipo && _datafile_type[i].load != nullptr) {
      std::unique_ptr<uint8_t[]> contenido(new (std::nothrow) uint8_t[tam > 0 ? tam : 1]);
      if (contenido == nullptr || !leer_en(f, pos, contenido.get(), tam)) {
        return nullptr;
      }
      memoria m = {contenido.get(), static_cast<long>(tam), 0};
      PACKFILE *pf = pack_fopen_vtable(&VTABLA_MEMORIA, &m);
      if (pf == nullptr) {
        return nullptr;
      }
      void *o = _datafile_type[i].load(pf, static_cast<long>(tam));
      pack_fclose(pf);
      return o;
    }
  }
  // A type nobody registered is kept as its bytes, as Allegro keeps it.
  void *o = malloc(tam > 0 ? tam : 1);
  if (o != nullptr && !leer_en(f, pos, o, tam)) {
    free(o);
    o = nullptr;
  }
  return o;
}

// The walk of the file. Returns null, having freed what it built, when the
// file is not one this walk takes (compressed, nested files, properties in
// other than plain ASCII) or an object cannot be loaded; `*probar_allegro`
// says whether load_datafile should try it after. With `solo_sonido` the
// walk also gives up on any object but samples and raw data: the others
// are built for the screen's colour depth and format, which another thread
// may still be setting.
DATAFILE *recorrer(const t_lectura &f, bool solo_sonido, bool *probar_allegro)
{
  *probar_allegro = true;
  uint8_t cab[12];
  if (!leer_en(f, 0, cab, sizeof cab) || leer32(cab) != static_cast<uint32_t>(F_NOPACK_MAGIC) ||
      leer32(cab + 4) != static_cast<uint32_t>(DAT_MAGIC)) {
    return nullptr;
  }
  const uint32_t num = leer32(cab + 8);
  uint64_t pos = sizeof cab;
  if (num > f.largo / 12) {
    return nullptr;
  }
  auto *d = static_cast<DATAFILE *>(calloc(num + 1, sizeof(DATAFILE)));
  if (d == nullptr) {
    return nullptr;
  }
  d[0].type = DAT_END;
  DATAFILE_PROPERTY prop[MAX_PROPIEDADES];
  const auto fallar = [&](uint32_t hechos, int props) {
    for (int k = 0; k < props; ++k) {
      free(prop[k].dat);
    }
    d[hechos].type = DAT_END;
    unload_datafile(d);
    return nullptr;
  };
  for (uint32_t i = 0; i < num; ++i) {
    int props = 0;
    for (;;) {
      if (!leer_en(f, pos, cab, 4)) {
        return fallar(i, props);
      }
      if (leer32(cab) != static_cast<uint32_t>(DAT_PROPERTY)) {
        break;
      }
      if (!leer_en(f, pos, cab, 12)) {
        return fallar(i, props);
      }
      const uint32_t largo = leer32(cab + 8);
      if (largo > f.largo - pos - 12) {
        return fallar(i, props);
      }
      char *texto = static_cast<char *>(malloc(largo + 1));
      if (texto == nullptr || !leer_en(f, pos + 12, texto, largo)) {
        free(texto);
        return fallar(i, props);
      }
      texto[largo] = 0;
      for (uint32_t k = 0; k < largo; ++k) {
        const auto c = static_cast<uint8_t>(texto[k]);
        if (c >= 0x80 || c == 0) {
          free(texto);
          return fallar(i, props);
        }
      }
      if (props < MAX_PROPIEDADES) {
        prop[props].type = static_cast<int>(leer32(cab + 4));
        prop[props].dat = texto;
        ++props;
      } else {
        free(texto);
      }
      pos += 12 + uint64_t{largo};
    }
    if (!leer_en(f, pos, cab, 12)) {
      return fallar(i, props);
    }
    const int tipo = static_cast<int>(leer32(cab));
    const uint32_t tam = leer32(cab + 4);
    // The same size twice is an object stored as it is.
    if (tipo == DAT_FILE || tam != leer32(cab + 8) || tam > f.largo - pos - 12 ||
        (solo_sonido && tipo != DAT_SAMPLE && tipo != DAT_DATA)) {
      return fallar(i, props);
    }
    void *o = objeto_de(f, tipo, pos + 12, tam);
    if (o == nullptr) {
      *probar_allegro = false;
      return fallar(i, props);
    }
    d[i].dat = o;
    d[i].type = tipo;
    d[i].size = static_cast<long>(tam);
    d[i].prop = nullptr;
    if (props > 0) {
      d[i].prop = static_cast<DATAFILE_PROPERTY *>(malloc(sizeof(DATAFILE_PROPERTY) * static_cast<size_t>(props + 1)));
      if (d[i].prop == nullptr) {
        d[i + 1].type = DAT_END;
        return fallar(i + 1, props);
      }
      memcpy(d[i].prop, prop, sizeof(DATAFILE_PROPERTY) * static_cast<size_t>(props));
      d[i].prop[props].type = DAT_END;
      d[i].prop[props].dat = nullptr;
    }
    d[i + 1].type = DAT_END;
    pos += 12 + uint64_t{tam};
  }
  return d;
}

}  // namespace

DATAFILE *recorrer_datafile(const char *fichero, bool solo_sonido, bool *probar_allegro)
{
  *probar_allegro = true;
  const int fd = open(fichero, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *probar_allegro = false;
    return nullptr;
  }
  struct stat datos;
  DATAFILE *d = nullptr;
  if (fstat(fd, &datos) == 0 && datos.st_size > 0) {
    d = recorrer({fd, static_cast<uint64_t>(datos.st_size)}, solo_sonido, probar_allegro);
  }
  close(fd);
  return d;
}

DATAFILE *leer_datafile_memoria(const uint8_t *datos, size_t n)
{
  bool probar_allegro = false;
  return recorrer({-1, n, datos}, false, &probar_allegro);
}
