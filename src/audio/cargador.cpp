// A faster load of our data files. Allegro's loader reads through its
// packfile layer a byte at a time (even pack_fread copies byte by byte) and
// builds each pixel through a call. Here an uncompressed datafile is read
// into memory in one go and walked; bitmaps and samples are built from it in plain
// loops, every other object by Allegro's own loader of its type reading
// from memory. The result is the same, value
// for value, as load_datafile's; anything this walk does not expect is left
// to load_datafile.
#include "audio/audio.h"

#include <allegro/internal/aintern.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A "BMP " object: depth (negative: 32 bits with alpha), width, height,
// then the pixels. One whose header asks for more pixels than it holds is
// refused, where Allegro's loader would fill it with whatever followed.
BITMAP *bitmap_de(const uint8_t *p, uint32_t tam)
{
  if (tam < 6) {
    return nullptr;
  }
  int bits = leer16(p);
  const int w = static_cast<uint16_t>(leer16(p + 2));
  const int h = static_cast<uint16_t>(leer16(p + 4));
  const bool rgba = bits < 0;
  if (rgba) {
    bits = -bits;
  }
  const int por_pixel = bytes_guardados(bits, rgba);
  const uint64_t fila = static_cast<uint64_t>(w) * static_cast<uint64_t>(por_pixel);
  if (por_pixel == 0 || fila * static_cast<uint64_t>(h) > tam - 6) {
    return nullptr;
  }
  BITMAP *b = create_bitmap_ex(bits, w, h);
  if (b == nullptr) {
    return nullptr;
  }
  for (int y = 0; y < h; ++y) {
    convertir_fila(p + 6 + fila * static_cast<uint64_t>(y), b, y, bits, rgba);
  }
  const int destino = _color_load_depth(bits, rgba);
  if (destino != bits) {
    // The change of depth is Allegro's own blit, as in its loader.
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

// A "SAMP" object: bits (negative: stereo), frequency, length in frames,
// then the samples, 16-bit ones as little-endian words.
SAMPLE *muestra_de(const uint8_t *p, uint32_t tam)
{
  if (tam < 8) {
    return nullptr;
  }
  int bits = leer16(p);
  const int frecuencia = static_cast<uint16_t>(leer16(p + 2));
  const uint32_t largo = leer32(p + 4);
  const bool estereo = bits < 0;
  if (estereo) {
    bits = -bits;
  }
  const uint64_t bytes = uint64_t{largo} * (estereo ? 2u : 1u) * static_cast<uint64_t>(bits / 8);
  if ((bits != 8 && bits != 16) || largo > INT32_MAX || bytes > tam - 8) {
    return nullptr;
  }
  // Allegro's loader marks stereo with its TRUE, -1.
  SAMPLE *s = create_sample(bits, estereo ? -1 : 0, frecuencia, static_cast<int>(largo));
  if (s == nullptr) {
    return nullptr;
  }
  memcpy(s->data, p + 8, bytes);
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

void *objeto_de(int tipo, const uint8_t *p, uint32_t tam)
{
  if (tipo == DAT_BITMAP) {
    return bitmap_de(p, tam);
  }
  if (tipo == DAT_SAMPLE) {
    return muestra_de(p, tam);
  }
  for (int i = 0; i < MAX_DATAFILE_TYPES; ++i) {
    if (_datafile_type[i].type == tipo && _datafile_type[i].load != nullptr) {
      memoria m = {p, static_cast<long>(tam), 0};
      PACKFILE *f = pack_fopen_vtable(&VTABLA_MEMORIA, &m);
      if (f == nullptr) {
        return nullptr;
      }
      void *o = _datafile_type[i].load(f, static_cast<long>(tam));
      pack_fclose(f);
      return o;
    }
  }
  // A type nobody registered is kept as its bytes, as Allegro keeps it.
  void *o = malloc(tam > 0 ? tam : 1);
  if (o != nullptr) {
    memcpy(o, p, tam);
  }
  return o;
}

// The walk of the file in memory. Returns null, having freed what it built,
// when the file is not one this walk takes (compressed, nested files,
// properties in other than plain ASCII) or an object cannot be loaded;
// `*probar_allegro` says whether load_datafile should try it after.
DATAFILE *recorrer(const uint8_t *p, size_t largo_fichero, bool *probar_allegro)
{
  *probar_allegro = true;
  const uint8_t *fin = p + largo_fichero;
  if (largo_fichero < 12 || leer32(p) != static_cast<uint32_t>(F_NOPACK_MAGIC) || leer32(p + 4) != static_cast<uint32_t>(DAT_MAGIC)) {
    return nullptr;
  }
  const uint32_t num = leer32(p + 8);
  p += 12;
  if (num > largo_fichero / 12) {
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
      if (fin - p < 4) {
        return fallar(i, props);
      }
      if (leer32(p) != static_cast<uint32_t>(DAT_PROPERTY)) {
        break;
      }
      if (fin - p < 12 || leer32(p + 8) > static_cast<uint32_t>(fin - p - 12)) {
        return fallar(i, props);
      }
      const uint32_t largo = leer32(p + 8);
      const uint8_t *texto = p + 12;
      for (uint32_t k = 0; k < largo; ++k) {
        if (texto[k] >= 0x80 || texto[k] == 0) {
          return fallar(i, props);
        }
      }
      if (props < MAX_PROPIEDADES) {
        prop[props].type = static_cast<int>(leer32(p + 4));
        prop[props].dat = static_cast<char *>(malloc(largo + 1));
        if (prop[props].dat == nullptr) {
          return fallar(i, props);
        }
        memcpy(prop[props].dat, texto, largo);
        prop[props].dat[largo] = 0;
        ++props;
      }
      p += 12 + largo;
    }
    if (fin - p < 12) {
      return fallar(i, props);
    }
    const int tipo = static_cast<int>(leer32(p));
    const uint32_t tam = leer32(p + 4);
    // The same size twice is an object stored as it is.
    if (tipo == DAT_FILE || tam != leer32(p + 8) || tam > static_cast<uint32_t>(fin - p - 12)) {
      return fallar(i, props);
    }
    void *o = objeto_de(tipo, p + 12, tam);
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
    p += 12 + tam;
  }
  return d;
}

}  // namespace

DATAFILE *leer_datafile(const char *fichero)
{
  // Read whole into memory of our own: a file cut short by someone else
  // while it is read is then a short read, never a fault in a mapping.
  const int fd = open(fichero, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return nullptr;
  }
  struct stat datos;
  std::unique_ptr<uint8_t[]> contenido;
  size_t largo = 0;
  if (fstat(fd, &datos) == 0 && datos.st_size > 0) {
    largo = static_cast<size_t>(datos.st_size);
    contenido.reset(new (std::nothrow) uint8_t[largo]);
    size_t leidos = 0;
    while (contenido != nullptr && leidos < largo) {
      const ssize_t n = read(fd, contenido.get() + leidos, largo - leidos);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n <= 0) {
        break;
      }
      leidos += static_cast<size_t>(n);
    }
    largo = leidos;
  }
  close(fd);
  bool probar_allegro = true;
  DATAFILE *d = nullptr;
  if (contenido != nullptr && largo > 0) {
    d = recorrer(contenido.get(), largo, &probar_allegro);
  }
  if (d == nullptr && probar_allegro) {
    d = load_datafile(fichero);
  }
  return d;
}
