// The board and loading a stored level onto it.
#include <cstdlib>
#include <ctime>

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

// The live board, rebuilt by every load.
celda est_nivel[NUM_CELDAS];

// Shared step of the fibre-optic animation.
int8_t dir_foptica;

namespace {

constexpr uint8_t NUM_PAREJAS_FOPTICA = 4;
constexpr int NUM_SUELOS = 12;

// Where the emitter's beam starts within its cell, and where it heads, by
// the emitter's orientation (0 opens down, 1 left, 2 up, 3 right).
constexpr int8_t SALIDA_X[4] = {2, 0, 2, 4};
constexpr int8_t SALIDA_Y[4] = {4, 2, 0, 2};
constexpr uint8_t SALIDA_DIR[4] = {8, 12, 0, 4};

// The receiver's gate cell (as an offset) and the direction that enters it.
constexpr int8_t PUERTA_DESPLAZAMIENTO[4] = {COLUMNAS, -1, -COLUMNAS, 1};
constexpr uint8_t PUERTA_DIR[4] = {0, 4, 8, 12};

// A level byte decodes by range: each entry is the first byte past a range
// and how that range becomes a cell.
enum rango : uint8_t {
  R_EMISOR, R_RECEPTOR, R_ESPEJO, R_MURO, R_DETONADOR, R_MURO_REFLECTANTE, R_VACIO,
  R_POLARIZADOR_REFLECTANTE, R_POLARIZADOR_ABSORBENTE, R_REEMISOR, R_FOPTICA, R_MINA,
  R_ESPEJO_GIRATORIO, R_POLARIZADOR_REFLECTANTE_GIRATORIO, R_POLARIZADOR_ABSORBENTE_GIRATORIO,
  R_NINGUNO,
};
constexpr uint8_t LIMITES[] = {8, 16, 32, 47, 48, 63, 64, 72, 80, 81, 85, 86, 102, 110, 118};
constexpr rango RANGOS[] = {
    R_EMISOR,    // 2-5
    R_RECEPTOR,  // 10-13
    R_ESPEJO, R_MURO, R_DETONADOR, R_MURO_REFLECTANTE, R_VACIO,
    R_POLARIZADOR_REFLECTANTE, R_POLARIZADOR_ABSORBENTE, R_REEMISOR, R_FOPTICA, R_MINA,
    R_ESPEJO_GIRATORIO, R_POLARIZADOR_REFLECTANTE_GIRATORIO, R_POLARIZADOR_ABSORBENTE_GIRATORIO,
};
static_assert(sizeof LIMITES == sizeof RANGOS);

rango decodificar(uint8_t b)
{
  for (size_t i = 0; i < sizeof LIMITES; ++i) {
    if (b < LIMITES[i]) {
      const rango r = RANGOS[i];
      // The first two ranges hold gaps that no level uses.
      if ((r == R_EMISOR && (b < 2 || b > 5)) || (r == R_RECEPTOR && (b < 10 || b > 13))) {
        return R_NINGUNO;
      }
      return r;
    }
  }
  return R_NINGUNO;
}

}  // namespace

void cargar_tablero(const uint8_t *bytes, int nivel)
{
  uint8_t pareja[NUM_PAREJAS_FOPTICA] = {0, 0, 0, 0};
  dt_rayo.pendientes = 0;
  dir_foptica = 4;

  for (int c = 0; c < NUM_CELDAS; ++c) {
    const uint8_t b = bytes[c];
    celda &e = est_nivel[c];
    const int columna = c % COLUMNAS;
    const int fila = c / COLUMNAS;
    switch (decodificar(b)) {
    case R_EMISOR: {
      const uint8_t o = b - 2;
      e = {emisor, o, o};
      dt_rayo.punto[0] = {static_cast<int8_t>(4 * columna + SALIDA_X[o]),
                          static_cast<int8_t>(4 * fila + SALIDA_Y[o]), SALIDA_DIR[o]};
      dt_rayo.n_puntos = 0;
      break;
    }
    case R_RECEPTOR: {
      const uint8_t o = b - 10;
      e = {receptor, o, static_cast<uint8_t>(primer_grf[receptor] + o)};
      ++dt_rayo.pendientes;
      dt_rayo.celda_puerta = static_cast<uint8_t>(c + PUERTA_DESPLAZAMIENTO[o]);
      dt_rayo.dir_receptor = PUERTA_DIR[o];
      break;
    }
    case R_ESPEJO: {
      const uint8_t a = static_cast<uint8_t>(azar(16));
      e = {espejo, a, static_cast<uint8_t>(primer_grf[espejo] + a)};
      break;
    }
    case R_MURO:
      e = {muro, static_cast<uint8_t>(b - 31), b};
      break;
    case R_DETONADOR:
      e = {detonador, DETONADOR_EN_PIE, primer_grf[detonador]};
      ++dt_rayo.pendientes;
      break;
    case R_MURO_REFLECTANTE:
      e = {muro_reflectante, static_cast<uint8_t>(b - 47), b};
      break;
    case R_VACIO:
      // The floor tile comes from the level's own pattern, below.
      e.tipo = vacio;
      break;
    case R_POLARIZADOR_REFLECTANTE:
      e = {polarizador_reflectante, static_cast<uint8_t>(b - 64), b};
      break;
    case R_POLARIZADOR_ABSORBENTE:
      e = {polarizador_absorbente, static_cast<uint8_t>(b - 72), b};
      break;
    case R_REEMISOR:
      e = {reemisor, 1, primer_grf[reemisor]};
      break;
    case R_FOPTICA: {
      const uint8_t p = b - 81;
      e.tipo = foptica;
      e.grf = static_cast<uint8_t>(b + 15);
      if (pareja[p] == 0) {
        pareja[p] = static_cast<uint8_t>(c);
        e.valor = static_cast<uint8_t>(c);  // until its partner is found
      } else {
        est_nivel[pareja[p]].valor = static_cast<uint8_t>(c);
        e.valor = pareja[p];
      }
      break;
    }
    case R_MINA:
      e.tipo = mina;
      e.grf = static_cast<uint8_t>(primer_grf[mina] + azar(4));
      e.valor = static_cast<uint8_t>(azar(256));
      break;
    case R_ESPEJO_GIRATORIO: {
      const uint8_t a = b - 86;
      e = {espejo_giratorio, a, static_cast<uint8_t>(primer_grf[espejo] + a)};
      break;
    }
    case R_POLARIZADOR_REFLECTANTE_GIRATORIO: {
      const uint8_t k = b - 102;
      e = {polarizador_reflectante_giratorio, k, static_cast<uint8_t>(primer_grf[polarizador_reflectante] + k)};
      break;
    }
    case R_POLARIZADOR_ABSORBENTE_GIRATORIO: {
      const uint8_t k = b - 110;
      e = {polarizador_absorbente_giratorio, k, static_cast<uint8_t>(primer_grf[polarizador_absorbente] + k)};
      break;
    }
    case R_NINGUNO:
      // Bytes no stored level holds; a level tool checks for them. Plain
      // floor keeps the board usable.
      e.tipo = vacio;
      break;
    }
  }

  // The same floor pattern on every load of a level: a picture, drawn from
  // the library's generator, not the game's.
  srand(static_cast<unsigned>(nivel));
  for (celda &e : est_nivel) {
    if (e.tipo == vacio) {
      e.grf = static_cast<uint8_t>(primer_grf[vacio] + rand() % NUM_SUELOS);
    }
  }
  srand(static_cast<unsigned>(time(nullptr)));

  const int n = gremlins_nivel(nivel);
  for (int i = 0; i < MAX_GREMLINS; ++i) {
    dt_gremlin[i].espera = static_cast<int16_t>(i < n ? 100 + 40 * i : -1);
  }
}

#ifdef FOTONAUTA_PRUEBAS
const uint8_t *prueba_niveles;
#endif

void cargar_nivel(int nivel)
{
  if (nivel >= 0 && nivel < NUM_NIVELES && nivel_sustituto[nivel] != nullptr) {
    cargar_tablero(nivel_sustituto[nivel]->bytes, nivel);
    return;
  }
#ifdef FOTONAUTA_PRUEBAS
  if (prueba_niveles != nullptr) {
    cargar_tablero(&prueba_niveles[nivel * NUM_CELDAS], nivel);
    return;
  }
#endif
  cargar_tablero(&objeto[nivel * NUM_CELDAS], nivel);
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
