// A recording's bytes but for the packing: the fixed header and its
// checksum, and the input changes unpacked (docs/repeticion.md). Needs
// neither zlib nor a file system, so the WebAssembly build reads
// recordings with it; fichero.cpp packs and unpacks the input. Every read
// is bounded: a truncated, damaged or oversized file, or input past its
// bounds, is refused with the reason, never half-read.
#include <cstring>

#include "repeticion/repeticion.h"

namespace {

constexpr char MAGIA[4] = {'F', 'T', 'R', 'P'};
constexpr size_t LARGO_CABECERA = 100;
constexpr size_t POS_CRC = 96;

// CRC-32 as zlib and PNG compute it (reflected, polynomial 0xEDB88320),
// by a table made once.
struct tabla_crc {
  uint32_t t[256];
  constexpr tabla_crc() : t()
  {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) {
        c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      }
      t[i] = c;
    }
  }
};
constexpr tabla_crc TABLA_CRC;

uint32_t crc32_seguir(uint32_t crc, const uint8_t *p, size_t n)
{
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) {
    crc = TABLA_CRC.t[(crc ^ p[i]) & 0xff] ^ (crc >> 8);
  }
  return ~crc;
}

// Which fields a change carries.
enum : uint8_t {
  CAMBIA_CELDA = 1,
  CAMBIA_BOTONES = 2,
  CAMBIA_RUEDA = 4,
  CAMBIA_TECLAS = 8,
  ABANDONO = 16,
};

// Little-endian writing and reading, by hand: the same bytes on any machine.
void poner(std::vector<uint8_t> &v, uint64_t x, int bytes)
{
  for (int i = 0; i < bytes; ++i) {
    v.push_back(static_cast<uint8_t>(x >> (8 * i)));
  }
}

uint64_t tomar(const uint8_t *p, int bytes)
{
  uint64_t x = 0;
  for (int i = 0; i < bytes; ++i) {
    x |= static_cast<uint64_t>(p[i]) << (8 * i);
  }
  return x;
}

void poner_varint(std::vector<uint8_t> &v, uint32_t x)
{
  while (x >= 0x80) {
    v.push_back(static_cast<uint8_t>(x | 0x80));
    x >>= 7;
  }
  v.push_back(static_cast<uint8_t>(x));
}

// A text field, blank-padded to its width.
void poner_texto(std::vector<uint8_t> &v, const char *texto, size_t ancho)
{
  const size_t n = strnlen(texto, ancho);
  for (size_t i = 0; i < ancho; ++i) {
    v.push_back(i < n ? static_cast<uint8_t>(texto[i]) : ' ');
  }
}

// Whether a text field holds only what the game writes there: printable
// ISO 8859-1 in the name, the code's letters in the code, blanks in both.
bool texto_valido(const uint8_t *p, size_t ancho, bool codigo)
{
  for (size_t i = 0; i < ancho; ++i) {
    const uint8_t c = p[i];
    const bool imprimible = (c >= ' ' && c < 0x7f) || c >= 0xa0;
    const bool del_codigo = c != '\0' && strchr(ALFABETO_CODIGO, c) != nullptr;
    if (c != ' ' && !(codigo ? del_codigo : imprimible)) {
      return false;
    }
  }
  return true;
}

void tomar_texto(const uint8_t *p, size_t ancho, char *texto)
{
  size_t n = ancho;
  while (n > 0 && p[n - 1] == ' ') {
    --n;
  }
  memcpy(texto, p, n);
  texto[n] = '\0';
}

// Reads the changes out of the unpacked input.
class lector_eventos {
 public:
  lector_eventos(const uint8_t *datos, size_t n) : p_(datos), fin_(datos + n) {}

  bool byte(uint8_t &b)
  {
    if (p_ >= fin_) {
      return false;
    }
    b = *p_++;
    return true;
  }

  bool varint(uint32_t &x)
  {
    x = 0;
    for (int desplazamiento = 0; desplazamiento < 35; desplazamiento += 7) {
      uint8_t b;
      if (!byte(b)) {
        return false;
      }
      x |= static_cast<uint32_t>(b & 0x7f) << desplazamiento;
      if ((b & 0x80) == 0) {
        return desplazamiento < 28 || b < 0x10;
      }
    }
    return false;
  }

  bool al_final() const { return p_ == fin_; }

  // The next n bytes, or null when fewer are left.
  const uint8_t *bytes(size_t n)
  {
    if (static_cast<size_t>(fin_ - p_) < n) {
      return nullptr;
    }
    const uint8_t *p = p_;
    p_ += n;
    return p;
  }

 private:
  const uint8_t *p_;
  const uint8_t *fin_;
};

bool desempaquetar_eventos(lector_eventos &l, uint32_t cuantos, uint32_t fotogramas,
                           std::vector<cambio_entrada> &cambios, std::string &error)
{
  entrada_juego e;
  uint32_t fotograma = 0;
  cambios.clear();
  cambios.reserve(cuantos);
  for (uint32_t i = 0; i < cuantos; ++i) {
    uint32_t salto;
    uint8_t mascara;
    if (!l.varint(salto) || !l.byte(mascara)) {
      error = "the input ends inside change " + std::to_string(i);
      return false;
    }
    if ((i > 0 && salto == 0) || salto >= fotogramas - fotograma || (mascara & ~0x1fu) != 0) {
      error = "change " + std::to_string(i) + " is out of order or beyond the last frame";
      return false;
    }
    fotograma += salto;
    e.abandono = (mascara & ABANDONO) != 0;
    uint8_t b = 0;
    if ((mascara & CAMBIA_CELDA) && !(l.byte(b) && (b < NUM_CELDAS || b == CELDA_NINGUNA))) {
      error = "change " + std::to_string(i) + " names no cell";
      return false;
    }
    e.celda = (mascara & CAMBIA_CELDA) ? b : e.celda;
    if ((mascara & CAMBIA_BOTONES) && !(l.byte(b) && b <= 2)) {
      error = "change " + std::to_string(i) + " presses no button";
      return false;
    }
    e.botones = (mascara & CAMBIA_BOTONES) ? b : e.botones;
    if ((mascara & CAMBIA_RUEDA) && !(l.byte(b) && (b == 0 || b == 1 || b == 0xff))) {
      error = "change " + std::to_string(i) + " turns the wheel out of its range";
      return false;
    }
    e.rueda = (mascara & CAMBIA_RUEDA) ? static_cast<int8_t>(b) : e.rueda;
    if ((mascara & CAMBIA_TECLAS) && !(l.byte(b) && (b & ~0x1fu) == 0)) {
      error = "change " + std::to_string(i) + " holds keys that do not act";
      return false;
    }
    e.teclas = (mascara & CAMBIA_TECLAS) ? b : e.teclas;
    if (e.abandono && i + 1 != cuantos) {
      error = "the player leaves before the last change";
      return false;
    }
    cambios.push_back({fotograma, e});
  }
  if (!l.al_final()) {
    error = "bytes after the last change";
    return false;
  }
  return true;
}

// What format 2 puts before the changes: the level of a game of one level
// alone, as its text, and the check hashes.
bool desempaquetar_anexos(lector_eventos &l, repeticion &r, std::string &error)
{
  const cabecera_repeticion &c = r.cabecera;
  uint32_t largo = 0;
  const uint8_t *texto = nullptr;
  if ((c.banderas & REPETICION_SUELTO) != 0 &&
      (!l.varint(largo) || largo > MAX_BYTES_NIVEL_REPETICION || (texto = l.bytes(largo)) == nullptr)) {
    error = "the level the recording carries is cut short or too long";
    return false;
  }
  // A length of 0: no level carried (written again from a file of format
  // 1, which had no room for it).
  if (largo > 0) {
    nivel_texto nivel;
    std::string motivo;
    if (!interpretar_nivel_texto(std::string(reinterpret_cast<const char *>(texto), largo), nivel, motivo)) {
      error = "the level the recording carries cannot be read: " + motivo;
      return false;
    }
    if (hash_nivel(nivel) != c.hash_niveles) {
      error = "the level the recording carries is not the one it was played on";
      return false;
    }
    r.nivel = std::move(nivel);
  }
  uint32_t cuantos = 0;
  if (!l.varint(cuantos) || (cuantos != 0 && cuantos != c.fotogramas / FOTOGRAMAS_CONTROL)) {
    error = "the recording's check hashes are not one for every " + std::to_string(FOTOGRAMAS_CONTROL) + " frames";
    return false;
  }
  r.controles.resize(cuantos);
  for (uint64_t &h : r.controles) {
    const uint8_t *p = l.bytes(8);
    if (p == nullptr) {
      error = "the recording's check hashes are cut short";
      return false;
    }
    h = tomar(p, 8);
  }
  return true;
}

}  // namespace

std::vector<uint8_t> eventos_repeticion(const repeticion &r)
{
  std::vector<uint8_t> v;
  if ((r.cabecera.banderas & REPETICION_SUELTO) != 0) {
    const std::string texto = r.nivel ? escribir_nivel_texto(*r.nivel) : std::string();
    poner_varint(v, static_cast<uint32_t>(texto.size()));
    v.insert(v.end(), texto.begin(), texto.end());
  }
  // Check hashes only when there is one for every stretch of frames.
  const bool controles = r.controles.size() == r.cabecera.fotogramas / FOTOGRAMAS_CONTROL;
  poner_varint(v, controles ? static_cast<uint32_t>(r.controles.size()) : 0);
  for (size_t i = 0; controles && i < r.controles.size(); ++i) {
    poner(v, r.controles[i], 8);
  }
  entrada_juego antes;
  uint32_t fotograma = 0;
  for (const cambio_entrada &c : r.cambios) {
    poner_varint(v, c.fotograma - fotograma);
    fotograma = c.fotograma;
    const entrada_juego &e = c.entrada;
    uint8_t mascara = 0;
    mascara |= e.celda != antes.celda ? CAMBIA_CELDA : 0;
    mascara |= e.botones != antes.botones ? CAMBIA_BOTONES : 0;
    mascara |= e.rueda != antes.rueda ? CAMBIA_RUEDA : 0;
    mascara |= e.teclas != antes.teclas ? CAMBIA_TECLAS : 0;
    mascara |= e.abandono ? ABANDONO : 0;
    v.push_back(mascara);
    if (mascara & CAMBIA_CELDA) {
      v.push_back(e.celda);
    }
    if (mascara & CAMBIA_BOTONES) {
      v.push_back(e.botones);
    }
    if (mascara & CAMBIA_RUEDA) {
      v.push_back(static_cast<uint8_t>(e.rueda));
    }
    if (mascara & CAMBIA_TECLAS) {
      v.push_back(e.teclas);
    }
    antes = e;
    antes.abandono = 0;
  }
  return v;
}

std::vector<uint8_t> montar_repeticion(const repeticion &r, const std::vector<uint8_t> &empaquetada,
                                       size_t largo_eventos)
{
  const cabecera_repeticion &c = r.cabecera;
  std::vector<uint8_t> v(MAGIA, MAGIA + 4);
  poner(v, VERSION_FORMATO_REPETICION, 2);
  poner(v, c.version_reglas, 2);
  poner(v, c.hash_niveles, 8);
  poner(v, c.semilla, 8);
  poner(v, static_cast<uint8_t>(c.nivel), 1);
  poner(v, c.banderas, 1);
  poner(v, c.motivo_fin, 1);
  poner(v, static_cast<uint8_t>(c.fases), 1);
  poner(v, static_cast<uint32_t>(c.puntos), 4);
  poner(v, c.fotogramas, 4);
  poner(v, c.hash_final, 8);
  poner(v, static_cast<uint64_t>(c.fecha), 8);
  poner_texto(v, c.nombre, LONG_NOMBRE);
  poner_texto(v, c.codigo, LONG_COD);
  poner(v, r.cambios.size(), 4);
  poner(v, empaquetada.size(), 4);
  poner(v, largo_eventos, 4);
  uint32_t crc = crc32_seguir(0, v.data(), v.size());
  crc = crc32_seguir(crc, empaquetada.data(), empaquetada.size());
  poner(v, crc, 4);
  v.insert(v.end(), empaquetada.begin(), empaquetada.end());
  return v;
}

bool leer_cabecera_repeticion(const uint8_t *d, size_t n, cabecera_repeticion &c, entrada_empaquetada &e,
                              std::string &error)
{
  if (n > MAX_BYTES_REPETICION) {
    error = "the recording is larger than " + std::to_string(MAX_BYTES_REPETICION) + " bytes";
    return false;
  }
  if (n < LARGO_CABECERA || memcmp(d, MAGIA, 4) != 0) {
    error = "not a fotonauta recording";
    return false;
  }
  const uint16_t formato = static_cast<uint16_t>(tomar(d + 4, 2));
  if (formato < 1 || formato > VERSION_FORMATO_REPETICION) {
    error = "recording format " + std::to_string(formato) + " is not one this program reads";
    return false;
  }
  const uint32_t cuantos = static_cast<uint32_t>(tomar(d + 84, 4));
  const uint32_t largo_comprimido = static_cast<uint32_t>(tomar(d + 88, 4));
  const uint32_t largo_eventos = static_cast<uint32_t>(tomar(d + 92, 4));
  if (largo_comprimido != n - LARGO_CABECERA) {
    error = "the recording is cut short or has bytes after its end";
    return false;
  }
  uint32_t crc = crc32_seguir(0, d, POS_CRC);
  crc = crc32_seguir(crc, d + LARGO_CABECERA, largo_comprimido);
  if (crc != tomar(d + POS_CRC, 4)) {
    error = "the recording is damaged (its checksum does not match)";
    return false;
  }

  c.version_reglas = static_cast<uint16_t>(tomar(d + 6, 2));
  c.hash_niveles = tomar(d + 8, 8);
  c.semilla = tomar(d + 16, 8);
  c.nivel = static_cast<int8_t>(d[24]);
  c.banderas = d[25];
  c.motivo_fin = d[26];
  c.fases = static_cast<int8_t>(d[27]);
  c.puntos = static_cast<int32_t>(tomar(d + 28, 4));
  c.fotogramas = static_cast<uint32_t>(tomar(d + 32, 4));
  c.hash_final = tomar(d + 36, 8);
  c.fecha = static_cast<int64_t>(tomar(d + 44, 8));
  tomar_texto(d + 52, LONG_NOMBRE, c.nombre);
  tomar_texto(d + 72, LONG_COD, c.codigo);

  if (c.fotogramas == 0 || c.fotogramas > MAX_FOTOGRAMAS_REPETICION) {
    error = "the recording claims " + std::to_string(c.fotogramas) + " frames, outside 1 to " +
            std::to_string(MAX_FOTOGRAMAS_REPETICION);
    return false;
  }
  if (c.nivel < 0 || c.nivel >= NUM_NIVELES || (c.banderas & ~(REPETICION_ENTRENAMIENTO | REPETICION_SUELTO)) != 0 ||
      c.motivo_fin > fin_completado || c.fases < 0 || c.fases > NUM_NIVELES) {
    error = "the recording's start or end is not one a game can have";
    return false;
  }
  if (!texto_valido(d + 52, LONG_NOMBRE, false) || !texto_valido(d + 72, LONG_COD, true)) {
    error = "the recording's name or code holds characters the game never writes there";
    return false;
  }
  // At most 10 bytes a change; from format 2 on, the level carried and a
  // hash for every FOTOGRAMAS_CONTROL frames besides.
  const size_t anexos = formato < 2 ? 0 : 5 + MAX_BYTES_NIVEL_REPETICION + 5 + 8 * (c.fotogramas / FOTOGRAMAS_CONTROL);
  if (cuantos > c.fotogramas || largo_eventos > MAX_BYTES_EVENTOS_REPETICION ||
      largo_eventos > static_cast<size_t>(cuantos) * 10 + anexos) {
    error = "the recording's input is larger than its frames allow";
    return false;
  }
  e.inicio = LARGO_CABECERA;
  e.largo = largo_comprimido;
  e.largo_eventos = largo_eventos;
  e.cambios = cuantos;
  e.formato = formato;
  return true;
}

bool leer_cabecera_repeticion(const uint8_t *d, size_t n, cabecera_repeticion &c, std::string &error)
{
  entrada_empaquetada e;
  return leer_cabecera_repeticion(d, n, c, e, error);
}

bool leer_eventos_repeticion(const uint8_t *eventos, size_t n, const entrada_empaquetada &e, repeticion &r,
                             std::string &error)
{
  if (n != e.largo_eventos) {
    error = "the recording's input does not unpack to its stated size";
    return false;
  }
  lector_eventos l(eventos, n);
  r.nivel.reset();
  r.controles.clear();
  if (e.formato >= 2 && !desempaquetar_anexos(l, r, error)) {
    return false;
  }
  return desempaquetar_eventos(l, e.cambios, r.cabecera.fotogramas, r.cambios, error);
}
