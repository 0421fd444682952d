// The game's own random generator: PCG32 (a 64-bit linear congruential
// state, its output permuted), written out here so that its numbers are
// the same on every build and every machine.
#include "nucleo/nucleo.h"

// The generator of the game in progress: seeded as each game starts, drawn
// from only by the rules.
generador_azar azar_juego;

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
