// libFuzzer target for a recording's reader: any bytes are read, refused
// with a reason or read into a recording that writes back to bytes read as
// the same recording; and what is read is played through the rules, as the
// score server plays what it is sent, to a verdict with a reason. Only the
// first frames are played, so one input stays fast.
//
// A changed byte almost always breaks the checksum or the packing, which
// the reader refuses first; so each input is also read with its checksum
// made right, and with everything after its header taken as the unpacked
// input, packed and summed as a writer would (docs/repeticion.md gives the
// layout): mutations then reach the input's decoding and the rules.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "repeticion/repeticion.h"

namespace {

constexpr size_t LARGO_CABECERA = 100;
constexpr size_t POS_LARGO_COMPRIMIDO = 88;
constexpr size_t POS_LARGO_EVENTOS = 92;
constexpr size_t POS_CRC = 96;

void poner32(std::vector<uint8_t> &v, size_t pos, uint32_t x)
{
  for (int i = 0; i < 4; ++i) {
    v[pos + i] = static_cast<uint8_t>(x >> (8 * i));
  }
}

void sumar(std::vector<uint8_t> &v)
{
  uLong crc = crc32(0, v.data(), POS_CRC);
  crc = crc32(crc, v.data() + LARGO_CABECERA, static_cast<uInt>(v.size() - LARGO_CABECERA));
  poner32(v, POS_CRC, static_cast<uint32_t>(crc));
}

// The bytes with a right checksum.
std::vector<uint8_t> con_suma(const uint8_t *d, size_t n)
{
  std::vector<uint8_t> v(d, d + n);
  if (v.size() >= LARGO_CABECERA) {
    sumar(v);
  }
  return v;
}

// The header, then the rest packed as the input it stands for.
std::vector<uint8_t> empaquetada(const uint8_t *d, size_t n)
{
  std::vector<uint8_t> v(d, d + std::min(n, LARGO_CABECERA));
  v.resize(LARGO_CABECERA);
  const size_t resto = n > LARGO_CABECERA ? n - LARGO_CABECERA : 0;
  uLongf largo = compressBound(resto);
  v.resize(LARGO_CABECERA + largo);
  compress2(v.data() + LARGO_CABECERA, &largo, d + LARGO_CABECERA * (resto > 0), resto, Z_DEFAULT_COMPRESSION);
  v.resize(LARGO_CABECERA + largo);
  poner32(v, POS_LARGO_COMPRIMIDO, static_cast<uint32_t>(largo));
  poner32(v, POS_LARGO_EVENTOS, static_cast<uint32_t>(resto));
  sumar(v);
  return v;
}

// A minute and a half of play; the seeds' games fit whole.
constexpr uint32_t FOTOGRAMAS_JUGADOS = 4000;

[[noreturn]] void fallar(const char *que)
{
  fprintf(stderr, "%s\n", que);
  abort();
}

bool iguales(const repeticion &a, const repeticion &b)
{
  const cabecera_repeticion &x = a.cabecera, &y = b.cabecera;
  if (x.version_reglas != y.version_reglas || x.hash_niveles != y.hash_niveles || x.semilla != y.semilla ||
      x.nivel != y.nivel || x.banderas != y.banderas || x.motivo_fin != y.motivo_fin || x.fases != y.fases ||
      x.puntos != y.puntos || x.fotogramas != y.fotogramas || x.hash_final != y.hash_final || x.fecha != y.fecha ||
      std::string(x.nombre) != y.nombre || std::string(x.codigo) != y.codigo || a.cambios.size() != b.cambios.size()) {
    return false;
  }
  for (size_t i = 0; i < a.cambios.size(); ++i) {
    const cambio_entrada &c = a.cambios[i], &d = b.cambios[i];
    if (c.fotograma != d.fotograma || c.entrada.celda != d.entrada.celda || c.entrada.botones != d.entrada.botones ||
        c.entrada.rueda != d.entrada.rueda || c.entrada.teclas != d.entrada.teclas ||
        c.entrada.abandono != d.entrada.abandono) {
      return false;
    }
  }
  return true;
}


void leer(const uint8_t *datos, size_t n)
{
  repeticion r;
  std::string error;
  if (!decodificar_repeticion(datos, n, r, error)) {
    if (error.empty()) {
      fallar("a recording refused without a reason");
    }
    return;
  }
  const std::vector<uint8_t> otra_vez = codificar_repeticion(r);
  repeticion r2;
  if (!decodificar_repeticion(otra_vez.data(), otra_vez.size(), r2, error) || !iguales(r, r2)) {
    fallar("a recording read does not write back to itself");
  }

  if (r.cabecera.fotogramas > FOTOGRAMAS_JUGADOS) {
    r.cabecera.fotogramas = FOTOGRAMAS_JUGADOS;
    while (!r.cambios.empty() && r.cambios.back().fotograma >= FOTOGRAMAS_JUGADOS) {
      r.cambios.pop_back();
    }
  }
  const verificacion v = verificar_repeticion(r);
  if (!v.valida && v.motivo.empty()) {
    fallar("a recording rejected without a reason");
  }
  if (v.valida && (v.fotogramas != r.cabecera.fotogramas || v.puntos != r.cabecera.puntos)) {
    fallar("a recording passed that does not end as it claims");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, size_t n)
{
  leer(datos, n);
  const std::vector<uint8_t> sumada = con_suma(datos, n);
  leer(sumada.data(), sumada.size());
  const std::vector<uint8_t> sin_empaquetar = empaquetada(datos, n);
  leer(sin_empaquetar.data(), sin_empaquetar.size());
  return 0;
}
