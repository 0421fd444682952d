// The game's own random generator: PCG32 (a 64-bit linear congruential
// state, its output permuted); and the floor pattern's, glibc's rand.
// Both are written out here so that their numbers are the same on every
// build and every machine, whatever its C library.
#include "nucleo/nucleo.h"

namespace {

constexpr uint64_t MULTIPLICADOR = 6364136223846793005ULL;
constexpr uint64_t INCREMENTO = 1442695040888963407ULL;

uint32_t siguiente(generador_azar &g)
{
  const uint64_t viejo = g.estado;
  g.estado = viejo * MULTIPLICADOR + INCREMENTO;
  const uint32_t mezcla = static_cast<uint32_t>(((viejo >> 18) ^ viejo) >> 27);
  const uint32_t giro = static_cast<uint32_t>(viejo >> 59);
  return (mezcla >> giro) | (mezcla << ((32 - giro) & 31));
}

}  // namespace

void sembrar_azar(generador_azar &g, uint64_t semilla)
{
  g.estado = 0;
  siguiente(g);
  g.estado += semilla;
  siguiente(g);
}

uint32_t sacar_azar(generador_azar &g, uint32_t n)
{
  return siguiente(g) % n;
}

// glibc's random number generator of type 3, its rand after srand:
// r[i] = r[i-3] + r[i-31] over a ring of 31 words, seeded by the 16807
// linear congruential generator and run 310 draws in before the first is
// given; each draw drops the lowest bit.
namespace {

constexpr int GRADO_SUELO = 31;
constexpr int SEPARACION_SUELO = 3;
constexpr int DESCARTES_SUELO = 10 * GRADO_SUELO;

}  // namespace

void sembrar_suelo(generador_suelo &g, uint32_t semilla)
{
  if (semilla == 0) {
    semilla = 1;
  }
  int32_t palabra = static_cast<int32_t>(semilla);
  g.r[0] = palabra;
  for (int i = 1; i < GRADO_SUELO; ++i) {
    // 16807 * palabra % 2147483647, without overflowing 31 bits.
    const int64_t alto = palabra / 127773;
    const int64_t bajo = palabra % 127773;
    palabra = static_cast<int32_t>(16807 * bajo - 2836 * alto);
    if (palabra < 0) {
      palabra += 2147483647;
    }
    g.r[i] = palabra;
  }
  g.f = SEPARACION_SUELO;
  g.a = 0;
  for (int i = 0; i < DESCARTES_SUELO; ++i) {
    sacar_suelo(g);
  }
}

int32_t sacar_suelo(generador_suelo &g)
{
  const uint32_t v = static_cast<uint32_t>(g.r[g.f]) + static_cast<uint32_t>(g.r[g.a]);
  g.r[g.f] = static_cast<int32_t>(v);
  g.f = static_cast<uint8_t>((g.f + 1) % GRADO_SUELO);
  g.a = static_cast<uint8_t>((g.a + 1) % GRADO_SUELO);
  return static_cast<int32_t>(v >> 1);
}
