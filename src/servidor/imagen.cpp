// The pictures of the levels' boards, drawn from the game's own tiles (as
// the data generator exports them for the server) with no graphics
// library: each cell's tile, as the game loads the level, scaled down and
// written as a PNG through zlib. Drawn once per level and size, then kept
// in memory.
#include "nucleo/nucleo.h"
#include "servidor/servidor.h"

#include <zlib.h>

#include <list>
#include <mutex>
#include <unordered_map>

namespace {

constexpr int NUM_LOSETAS_WEB = 180;
constexpr int LADO = LADO_CELDA;  // a tile's side in the export

// The tiles unpacked and scaled down: by 2 for the big picture (a level's
// page) and by 4 for the small one (the gallery).
struct losetas_escaladas {
  int lado = 0;
  std::vector<uint8_t> rgb;  // NUM_LOSETAS_WEB tiles of lado x lado RGB
};

struct juego_losetas {
  bool bien = false;
  losetas_escaladas grande, pequena;
};

losetas_escaladas escalar(const std::vector<uint8_t> &rgb, int factor)
{
  losetas_escaladas e;
  e.lado = LADO / factor;
  e.rgb.resize(static_cast<size_t>(NUM_LOSETAS_WEB) * static_cast<size_t>(e.lado * e.lado) * 3);
  const int area = factor * factor;
  for (int t = 0; t < NUM_LOSETAS_WEB; ++t) {
    const uint8_t *origen = rgb.data() + static_cast<size_t>(t) * LADO * LADO * 3;
    uint8_t *destino = e.rgb.data() + static_cast<size_t>(t) * static_cast<size_t>(e.lado * e.lado) * 3;
    for (int y = 0; y < e.lado; ++y) {
      for (int x = 0; x < e.lado; ++x) {
        for (int k = 0; k < 3; ++k) {
          int suma = 0;
          for (int j = 0; j < factor; ++j) {
            for (int i = 0; i < factor; ++i) {
              suma += origen[((y * factor + j) * LADO + x * factor + i) * 3 + k];
            }
          }
          destino[(y * e.lado + x) * 3 + k] = static_cast<uint8_t>((suma + area / 2) / area);
        }
      }
    }
  }
  return e;
}

const juego_losetas &losetas()
{
  static const juego_losetas j = [] {
    juego_losetas x;
    std::vector<uint8_t> rgb(static_cast<size_t>(NUM_LOSETAS_WEB) * LADO * LADO * 3);
    uLongf largo = rgb.size();
    if (uncompress(rgb.data(), &largo, LOSETAS_WEB, LONG_LOSETAS_WEB) != Z_OK || largo != rgb.size()) {
      return x;
    }
    x.grande = escalar(rgb, 2);
    x.pequena = escalar(rgb, 4);
    x.bien = true;
    return x;
  }();
  return j;
}

// Each cell's tile as the game shows the level at its start, but for what
// the game draws at random: a plain mirror shows the angle its byte keeps
// (as the editor shows it) and a mine its first tile.
bool losetas_nivel(const std::string &texto, uint8_t grf[NUM_CELDAS])
{
  nivel_texto n;
  std::string error;
  if (!interpretar_nivel_texto(texto, n, error)) {
    return false;
  }
  ::losetas_nivel(n.bytes, 0, grf);
  for (int c = 0; c < NUM_CELDAS; ++c) {
    if (grf[c] >= NUM_LOSETAS_WEB) {
      grf[c] = primer_grf[vacio];
    }
  }
  return true;
}

void poner32(std::string &s, uint32_t x)
{
  for (int i = 3; i >= 0; --i) {
    s += static_cast<char>((x >> (8 * i)) & 0xff);
  }
}

void trozo(std::string &png, const char *tipo, const std::string &datos)
{
  poner32(png, static_cast<uint32_t>(datos.size()));
  const size_t inicio = png.size();
  png += tipo;
  png += datos;
  poner32(png, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(png.data() + inicio), png.size() - inicio)));
}

// An RGB picture as a PNG: every row filtered by its left neighbour (the
// tiles' flat floors pack well so), packed at zlib's fastest level: a
// picture is drawn on a request, and kept.
std::string escribir_png(const std::vector<uint8_t> &rgb, int ancho, int alto)
{
  std::vector<uint8_t> filas(static_cast<size_t>(alto) * (static_cast<size_t>(ancho) * 3 + 1));
  for (int y = 0; y < alto; ++y) {
    uint8_t *f = &filas[static_cast<size_t>(y) * (static_cast<size_t>(ancho) * 3 + 1)];
    const uint8_t *p = &rgb[static_cast<size_t>(y) * static_cast<size_t>(ancho) * 3];
    f[0] = 1;
    for (int i = 0; i < ancho * 3; ++i) {
      f[1 + i] = static_cast<uint8_t>(p[i] - (i >= 3 ? p[i - 3] : 0));
    }
  }
  uLongf largo = compressBound(filas.size());
  std::string idat(largo, '\0');
  if (compress2(reinterpret_cast<Bytef *>(idat.data()), &largo, filas.data(), filas.size(), Z_BEST_SPEED) != Z_OK) {
    return "";
  }
  idat.resize(largo);
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  poner32(ihdr, static_cast<uint32_t>(ancho));
  poner32(ihdr, static_cast<uint32_t>(alto));
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter set, not interlaced
  trozo(png, "IHDR", ihdr);
  trozo(png, "IDAT", idat);
  trozo(png, "IEND", "");
  return png;
}

// The pictures drawn, by level and size, up to about MAX_BYTES_CACHE; the
// one used longest ago goes first.
constexpr size_t MAX_BYTES_CACHE = 64 << 20;
struct cache_imagenes {
  std::mutex cerrojo;
  std::list<std::pair<uint64_t, std::string>> orden;  // most recent first
  std::unordered_map<uint64_t, std::list<std::pair<uint64_t, std::string>>::iterator> por_clave;
  size_t bytes = 0;
};
cache_imagenes cache;

}  // namespace

std::string dibujar_imagen_nivel(const std::string &texto, bool pequena)
{
  const juego_losetas &j = losetas();
  uint8_t grf[NUM_CELDAS];
  if (!j.bien || !losetas_nivel(texto, grf)) {
    return "";
  }
  const losetas_escaladas &e = pequena ? j.pequena : j.grande;
  const int ancho = COLUMNAS * e.lado, alto = FILAS * e.lado;
  std::vector<uint8_t> rgb(static_cast<size_t>(ancho) * static_cast<size_t>(alto) * 3);
  const size_t fila_loseta = static_cast<size_t>(e.lado) * 3;
  for (int c = 0; c < NUM_CELDAS; ++c) {
    const uint8_t *t = e.rgb.data() + static_cast<size_t>(grf[c]) * static_cast<size_t>(e.lado * e.lado) * 3;
    const int x0 = (c % COLUMNAS) * e.lado, y0 = (c / COLUMNAS) * e.lado;
    for (int y = 0; y < e.lado; ++y) {
      std::copy_n(t + static_cast<size_t>(y) * fila_loseta, fila_loseta,
                  rgb.begin() + static_cast<std::ptrdiff_t>((static_cast<size_t>(y0 + y) * static_cast<size_t>(ancho) + static_cast<size_t>(x0)) * 3));
    }
  }
  return escribir_png(rgb, ancho, alto);
}

std::string imagen_nivel(int64_t id, const std::string &texto, bool pequena)
{
  const uint64_t clave = (static_cast<uint64_t>(id) << 1) | (pequena ? 1 : 0);
  {
    std::lock_guard<std::mutex> l(cache.cerrojo);
    auto x = cache.por_clave.find(clave);
    if (x != cache.por_clave.end()) {
      cache.orden.splice(cache.orden.begin(), cache.orden, x->second);
      return x->second->second;
    }
  }
  std::string png = dibujar_imagen_nivel(texto, pequena);
  if (png.empty()) {
    return png;
  }
  std::lock_guard<std::mutex> l(cache.cerrojo);
  if (cache.por_clave.count(clave) == 0) {
    cache.orden.emplace_front(clave, png);
    cache.por_clave[clave] = cache.orden.begin();
    cache.bytes += png.size();
    while (cache.bytes > MAX_BYTES_CACHE && cache.orden.size() > 1) {
      cache.bytes -= cache.orden.back().second.size();
      cache.por_clave.erase(cache.orden.back().first);
      cache.orden.pop_back();
    }
  }
  return png;
}

bool comprobar_nivel_servidor(const nivel_texto &n, std::vector<problema_nivel> &problemas)
{
  problemas = comprobar_nivel(n.bytes, n.gremlins < 0 ? 0 : n.gremlins);
  return problemas.empty();
}
