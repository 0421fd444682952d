// The board and loading a level onto it.
#include <cstring>

#include "nucleo/nucleo.h"

const int8_t paso_dx[16] = {0, 1, 2, 2, 2, 2, 2, 1, 0, -1, -2, -2, -2, -2, -2, -1};
const int8_t paso_dy[16] = {-2, -2, -2, -1, 0, 1, 2, 2, 2, 2, 2, 1, 0, -1, -2, -2};

// First tile of each element kind; 12 is the lit mirror, 15 the gremlin and
// 16 the prize of the closing scene.
const uint8_t primer_grf[17] = {0, 160, 16, 31, 135, 47, 80, 64, 72, 128, 96, 92, 112, 64, 72, 176, 63};

// Number of gremlins in each level.
const uint8_t gremlins[64] = {
    0, 0, 2, 2, 2, 2, 2, 2, 4, 3, 2, 2, 2, 2, 3, 2, 2, 2, 2, 3, 0, 3, 3, 3, 2, 0, 4, 1, 2, 2, 3, 3,
    4, 2, 2, 3, 2, 2, 2, 3, 3, 2, 3, 3, 2, 3, 3, 3, 3, 3, 0, 8, 4, 3, 3, 0, 2, 4, 5, 8, 0, 8, 0, 0,
};

namespace {

constexpr uint8_t NUM_PAREJAS_FOPTICA = 4;

// Where the emitter's beam starts within its cell, and where it heads, by
// the emitter's orientation (0 opens down, 1 left, 2 up, 3 right).
constexpr int8_t SALIDA_X[4] = {2, 0, 2, 4};
constexpr int8_t SALIDA_Y[4] = {4, 2, 0, 2};
constexpr uint8_t SALIDA_DIR[4] = {8, 12, 0, 4};

// The receiver's gate cell (as an offset) and the direction that enters it.
constexpr int8_t PUERTA_DESPLAZAMIENTO[4] = {COLUMNAS, -1, -COLUMNAS, 1};
constexpr uint8_t PUERTA_DIR[4] = {0, 4, 8, 12};

// The same floor pattern on every load of a level: a picture, drawn from
// the floor's generator seeded by the level's number, not from the game's.
// A byte that is no element loads as floor too, and takes its draw.
void poner_suelo(const uint8_t *bytes, int nivel, uint8_t grf[NUM_CELDAS])
{
  generador_suelo g;
  sembrar_suelo(g, static_cast<uint32_t>(nivel));
  for (int c = 0; c < NUM_CELDAS; ++c) {
    const int e = elemento_de_byte(bytes[c]);
    if (e < 0 || e == ELEMENTO_SUELO) {
      grf[c] = static_cast<uint8_t>(ELEMENTOS[ELEMENTO_SUELO].loseta + sacar_suelo(g) % NUM_SUELOS);
    }
  }
}

}  // namespace

void cargar_tablero(const uint8_t *bytes, int nivel, int n_gremlins)
{
  estado_nucleo &n = nucleo;
  uint8_t pareja[NUM_PAREJAS_FOPTICA] = {0, 0, 0, 0};
  n.dt_rayo.pendientes = 0;
  n.dir_foptica = 4;
  uint8_t suelo[NUM_CELDAS];
  poner_suelo(bytes, nivel, suelo);

  for (int c = 0; c < NUM_CELDAS; ++c) {
    celda &e = n.est_nivel[c];
    int variante = 0;
    const int k = elemento_de_byte(bytes[c], &variante);
    // A byte no stored level holds (a level tool checks for them) loads as
    // plain floor, which keeps the board usable. Floor keeps its `valor`.
    if (k < 0 || ELEMENTOS[k].tipo == vacio) {
      e.tipo = vacio;
      e.grf = suelo[c];
      continue;
    }
    const elemento_nivel &f = ELEMENTOS[k];
    const uint8_t v = static_cast<uint8_t>(variante);
    const uint8_t grf = static_cast<uint8_t>(f.loseta + v);
    const int columna = c % COLUMNAS;
    const int fila = c / COLUMNAS;
    switch (f.tipo) {
    case emisor:
      e = {emisor, v, grf};
      n.dt_rayo.punto[0] = {static_cast<int8_t>(4 * columna + SALIDA_X[v]), static_cast<int8_t>(4 * fila + SALIDA_Y[v]),
                            SALIDA_DIR[v]};
      n.dt_rayo.n_puntos = 0;
      break;
    case receptor:
      e = {receptor, v, grf};
      ++n.dt_rayo.pendientes;
      n.dt_rayo.celda_puerta = static_cast<uint8_t>(c + PUERTA_DESPLAZAMIENTO[v]);
      n.dt_rayo.dir_receptor = PUERTA_DIR[v];
      break;
    case espejo: {
      const uint8_t a = static_cast<uint8_t>(azar(16));
      e = {espejo, a, static_cast<uint8_t>(f.loseta + a)};
      break;
    }
    case detonador:
      e = {detonador, DETONADOR_EN_PIE, grf};
      ++n.dt_rayo.pendientes;
      break;
    case reemisor:
      e = {reemisor, 1, grf};
      break;
    case foptica:
      e.tipo = foptica;
      e.grf = grf;
      if (pareja[v] == 0) {
        pareja[v] = static_cast<uint8_t>(c);
        e.valor = static_cast<uint8_t>(c);  // until its partner is found
      } else {
        n.est_nivel[pareja[v]].valor = static_cast<uint8_t>(c);
        e.valor = pareja[v];
      }
      break;
    case mina:
      e.tipo = mina;
      e.grf = static_cast<uint8_t>(f.loseta + azar(4));
      e.valor = static_cast<uint8_t>(azar(256));
      break;
    default:
      // Walls, polarisers and the self-turning pieces: the variant is the
      // mask, the axis or the starting angle.
      e = {f.tipo, v, grf};
      break;
    }
  }

  const int g = n_gremlins >= 0 ? n_gremlins : gremlins_nivel(nivel);
  for (int i = 0; i < MAX_GREMLINS; ++i) {
    n.dt_gremlin[i].espera = static_cast<int16_t>(i < g ? 100 + 40 * i : -1);
  }
}

void losetas_nivel(const uint8_t *bytes, int nivel, uint8_t grf[NUM_CELDAS])
{
  poner_suelo(bytes, nivel, grf);
  for (int c = 0; c < NUM_CELDAS; ++c) {
    int v = 0;
    const int k = elemento_de_byte(bytes[c], &v);
    if (k >= 0 && k != ELEMENTO_SUELO) {
      grf[c] = static_cast<uint8_t>(ELEMENTOS[k].loseta + v);
    }
  }
}

int gremlins_nivel(int nivel, int propios)
{
  if (propios >= 0) {
    return propios;
  }
  return nivel >= 0 && nivel < NUM_NIVELES ? gremlins[nivel] : 0;
}

#ifdef FOTONAUTA_PRUEBAS
const uint8_t *prueba_niveles;
#endif

void tomar_nivel(int nivel)
{
  nivel_partida &j = nucleo.nivel_jugado;
  const nivel_texto *propio =
      nucleo.sustitutos != nullptr && nivel >= 0 && nivel < NUM_NIVELES ? nucleo.sustitutos[nivel] : nullptr;
  if (propio != nullptr) {
    memcpy(j.bytes, propio->bytes, sizeof j.bytes);
    j.gremlins = static_cast<int8_t>(gremlins_nivel(nivel, propio->gremlins));
    return;
  }
  const uint8_t *tabla = objeto;
#ifdef FOTONAUTA_PRUEBAS
  if (prueba_niveles != nullptr) {
    tabla = prueba_niveles;
  }
#endif
  memcpy(j.bytes, &tabla[nivel * NUM_CELDAS], sizeof j.bytes);
  j.gremlins = static_cast<int8_t>(gremlins_nivel(nivel));
}

void cargar_nivel(int nivel)
{
  tomar_nivel(nivel);
  cargar_tablero(nucleo.nivel_jugado.bytes, nivel, nucleo.nivel_jugado.gremlins);
}

namespace {

// FNV-1a, 64 bits.
constexpr uint64_t HASH_INICIAL = 0xcbf29ce484222325ULL;

void mezclar_hash(uint64_t &h, uint8_t b)
{
  h ^= b;
  h *= 0x100000001b3ULL;
}

}  // namespace

uint64_t hash_niveles()
{
  uint64_t h = HASH_INICIAL;
  for (const uint8_t b : objeto) {
    mezclar_hash(h, b);
  }
  for (int n = 0; n < NUM_NIVELES; ++n) {
    mezclar_hash(h, gremlins[n]);
  }
  return h;
}

uint64_t hash_nivel(const nivel_texto &nivel)
{
  uint64_t h = HASH_INICIAL;
  for (const uint8_t b : nivel.bytes) {
    mezclar_hash(h, b);
  }
  mezclar_hash(h, static_cast<uint8_t>(nivel.gremlins));
  return h;
}

uint64_t hash_nivel_canonico(const nivel_texto &nivel)
{
  nivel_texto c = nivel;
  if (c.gremlins < 0) {
    c.gremlins = static_cast<int8_t>(gremlins[0]);
  }
  return hash_nivel(c);
}

uint8_t celda_en_pantalla(int x, int y)
{
  x -= ORIGEN_TABLERO;
  y -= ORIGEN_TABLERO;
  if (x < 0 || x >= COLUMNAS * LADO_CELDA || y < 0 || y >= FILAS * LADO_CELDA) {
    return CELDA_NINGUNA;
  }
  return static_cast<uint8_t>(x / LADO_CELDA + (y / LADO_CELDA) * COLUMNAS);
}
