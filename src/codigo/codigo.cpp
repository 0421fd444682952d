// The score code: made by the game for each new high score, read back by
// the score server. One alphabet and one chaining for both directions.
#include "codigo/codigo.h"

#include <cstring>
#include <ctime>

// The rules' points and meters (constants only: nothing of the rules is
// linked).
#include "nucleo/nucleo.h"

const char ALFABETO_CODIGO[65] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+@";

const int32_t BYTES_PUNTUACION[NUM_VALORES_PUNTUACION] = {3, 1};

const char CODIGO_TRAMPA[LONG_COD + 1] = " q7zupamo3ex";

namespace {

// Time stamp and id, at most 25 value bytes, the checksum and two pad bytes.
constexpr int MAX_EMPAQUETADO = 30;
constexpr int MAX_BYTES_VALORES = 25;
constexpr int BYTES_CABECERA = 4;

// Byte `c` (0 the lowest) of a value shifted arithmetically. A 32-bit value
// has four bytes; those above are all sign, and shifting that far is
// undefined, so they are given as the sign itself.
uint8_t byte_de_valor(int32_t valor, int32_t c)
{
  if (c >= 4) {
    return valor < 0 ? 0xFF : 0x00;
  }
  return static_cast<uint8_t>(valor >> (8 * c));
}

// The value of a code letter, or -1 for a character outside the alphabet
// (the NUL included).
int valor_letra(char c)
{
  if (c == '\0') {
    return -1;
  }
  const char *p = std::strchr(ALFABETO_CODIGO, c);
  return p == nullptr ? -1 : static_cast<int>(p - ALFABETO_CODIGO);
}

}  // namespace

void uuencode_generic(char *salida, int32_t id, int32_t n, const int32_t *valores, const int32_t *bytes)
{
  uint8_t b[MAX_EMPAQUETADO] = {};
  int largo = 0;
  b[largo++] = static_cast<uint8_t>(std::time(nullptr) >> 8);
  b[largo++] = static_cast<uint8_t>(std::time(nullptr));
  b[largo++] = static_cast<uint8_t>(id >> 8);
  b[largo++] = static_cast<uint8_t>(id);
  for (int32_t i = 0; i < n; ++i) {
    // Counted down from the count itself: a count of INT32_MIN less one
    // would overflow.
    for (int32_t c = bytes[i]; c > 0 && largo < BYTES_CABECERA + MAX_BYTES_VALORES; --c) {
      b[largo++] = byte_de_valor(valores[i], c - 1);
    }
  }
  uint8_t p = SEMILLA_CODIGO;
  uint8_t suma = 0;
  for (int k = 0; k < largo; ++k) {
    suma = static_cast<uint8_t>(suma + b[k]);
    b[k] ^= p;
    p = b[k];
  }
  b[largo++] = suma;
  const int relleno = (3 - largo % 3) % 3;
  int escritos = 0;
  for (int k = 0; k < largo + relleno; k += 3) {
    const uint32_t v = (uint32_t{b[k]} << 16) | (uint32_t{b[k + 1]} << 8) | b[k + 2];
    for (int desplazamiento = 18; desplazamiento >= 0; desplazamiento -= 6) {
      salida[escritos++] = ALFABETO_CODIGO[(v >> desplazamiento) & 63];
    }
  }
  salida[escritos - relleno] = '\0';
}

bool decodificar_codigo(const char *codigo, int32_t largo, int32_t n, const int32_t *bytes, codigo_leido &leido)
{
  constexpr int32_t MAX_VALORES = sizeof leido.valores / sizeof leido.valores[0];
  if (n < 0 || n > MAX_VALORES || largo < 0) {
    return false;
  }
  int32_t empaquetados = BYTES_CABECERA;
  for (int32_t i = 0; i < n; ++i) {
    if (bytes[i] < 1 || bytes[i] > 4) {
      return false;
    }
    empaquetados += bytes[i];
  }
  ++empaquetados;  // the checksum
  const int32_t relleno = (3 - empaquetados % 3) % 3;
  if (largo != 4 * (empaquetados + relleno) / 3 - relleno) {
    return false;
  }

  // The letters back into bytes; the letters cut off with the pad bytes
  // count as zeros, and the bits of the last letter that fell into a pad
  // byte must be zero too, or two codes would read as one.
  uint8_t b[MAX_EMPAQUETADO] = {};
  int32_t k = 0;
  for (int32_t grupo = 0; grupo < empaquetados + relleno; grupo += 3) {
    uint32_t v = 0;
    for (int32_t j = 0; j < 4; ++j, ++k) {
      int letra = 0;
      if (k < largo) {
        letra = valor_letra(codigo[k]);
        if (letra < 0) {
          return false;
        }
      }
      v = (v << 6) | static_cast<uint32_t>(letra);
    }
    b[grupo] = static_cast<uint8_t>(v >> 16);
    b[grupo + 1] = static_cast<uint8_t>(v >> 8);
    b[grupo + 2] = static_cast<uint8_t>(v);
  }
  for (int32_t r = empaquetados; r < empaquetados + relleno; ++r) {
    if (b[r] != 0) {
      return false;
    }
  }

  uint8_t p = SEMILLA_CODIGO;
  uint8_t suma = 0;
  for (int32_t i = 0; i < empaquetados - 1; ++i) {
    const uint8_t encadenado = b[i];
    b[i] = static_cast<uint8_t>(b[i] ^ p);
    p = encadenado;
    suma = static_cast<uint8_t>(suma + b[i]);
  }
  if (suma != b[empaquetados - 1]) {
    return false;
  }

  leido = {};
  leido.marca_tiempo = static_cast<uint16_t>((b[0] << 8) | b[1]);
  leido.id = static_cast<uint16_t>((b[2] << 8) | b[3]);
  int32_t pos = BYTES_CABECERA;
  for (int32_t i = 0; i < n; ++i) {
    uint32_t v = 0;
    for (int32_t c = 0; c < bytes[i]; ++c) {
      v = (v << 8) | b[pos++];
    }
    leido.valores[i] = v;
  }
  return true;
}

// The most points a game can bank, from the game's scoring rules:
//
// - One attempt at a level earns, before it is banked: 120 for each target
//   (a board has 15 x 9 cells, one of them the emitter and one the
//   receiver, so at most 133 targets), 250 when the receiver's gate opens,
//   and 160 for each gremlin caught. An attempt lasts at most 1024 logic
//   frames (64 units of energy, one every 16 frames; a recorded game never
//   has the cheat on, and the trainer records nothing, so the energy always
//   falls). Each of the 8 gremlin slots first enters after at least 99
//   logic frames and again 299 after each catch: at most 4 catches a slot
//   (99, 398, 697, 996); 5 are allowed for safety. So 15,960 + 250 +
//   8 x 5 x 160 = 22,610.
// - A completed level banks its attempt and then 10 for each unit of
//   energy left (at most 64) and 500 for each life left (at most 3):
//   22,610 + 640 + 1,500 = 24,750.
// - Attempts that lose a life with lives to spare are dropped; only the
//   last life's attempt is banked, and a game that completed all 60 levels
//   has none.
//
// A game that completed `fases` levels has at most fases x 24,750 points,
// plus 22,610 when it ended by losing its last life (fewer than 60 levels).
int32_t puntos_maximos(int32_t fases)
{
  constexpr int32_t MAX_DETONADORES = NUM_CELDAS - 2;
  constexpr int32_t CAPTURAS_POR_RANURA = 5;
  constexpr int32_t MAX_INTENTO = MAX_DETONADORES * PUNTOS_DETONADOR + PUNTOS_PUERTA +
                                  MAX_GREMLINS * CAPTURAS_POR_RANURA * PUNTOS_GREMLIN;
  constexpr int32_t MAX_FASE = MAX_INTENTO + ENERGIA_INICIAL * PUNTOS_POR_ENERGIA + VIDAS_PARTIDA * PUNTOS_POR_VIDA;
  // The sums worked out above: a change of the rules' points is worked
  // through them again.
  static_assert(MAX_INTENTO == 22610 && MAX_FASE == 24750);
  if (fases < 0 || fases > MAX_FASES_CODIGO) {
    return -1;
  }
  return fases * MAX_FASE + (fases < MAX_FASES_CODIGO ? MAX_INTENTO : 0);
}
