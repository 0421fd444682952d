// codigo: the score code that travels with each uploaded high-score row,
// shared by the game, which makes it, and the score server, which reads it.
//
// A code packs a time stamp, an id and some values; the bytes are chained
// from a fixed seed, summed into a checksum and written in a 64-letter
// alphabet. This module needs nothing but the C++ library, so the server
// links it without the game's graphics.
#pragma once

#include <cstdint>

// The 64 letters of the code, value 0 first, and its NUL.
extern const char ALFABETO_CODIGO[65];

// Byte that starts the chaining; game and server must agree on it.
constexpr uint8_t SEMILLA_CODIGO = 0x6B;

// The code of a high-score row and the name field sent with it.
constexpr int LONG_COD = 12;
constexpr int LONG_NOMBRE = 20;

// The id and layout of the game's one kind of code: the points in 3 bytes
// and the levels completed in 1.
constexpr int32_t ID_CODIGO_PUNTUACION = 81;
constexpr int32_t NUM_VALORES_PUNTUACION = 2;
extern const int32_t BYTES_PUNTUACION[NUM_VALORES_PUNTUACION];

// The code stored for a game that was tampered with.
extern const char CODIGO_TRAMPA[LONG_COD + 1];

// The score code: time stamp, `id`, then each of the `n` values in its
// `bytes` low-order bytes, chained, with a checksum, written in the
// alphabet and NUL-terminated in `salida` (at most 41 bytes). Value bytes
// past the 25th are dropped.
void uuencode_generic(char *salida, int32_t id, int32_t n, const int32_t *valores,
                      const int32_t *bytes);

// What a code carries once read back.
struct codigo_leido {
  uint16_t marca_tiempo;  // low 16 bits of the time the code was made
  uint16_t id;
  uint32_t valores[4];    // each value's bytes, unsigned, most significant first
};

// Reads a code of `n` values (at most 4) of `bytes` each (1 to 4), `largo`
// characters long. False unless its length is exactly what that layout
// gives, every character is in the alphabet, the cut-off pad bits are zero
// and the checksum holds.
bool decodificar_codigo(const char *codigo, int32_t largo, int32_t n, const int32_t *bytes,
                        codigo_leido &leido);

// The highest score a game that completed `fases` levels can reach, by the
// game's scoring rules; -1 for a count of levels no game can have.
int32_t puntos_maximos(int32_t fases);

// The number of levels of a normal game, the most a code can claim.
constexpr int32_t MAX_FASES_CODIGO = 60;
