// libFuzzer target for the score code: any id, any number of values of any
// byte counts give a code of the promised length, in the code's alphabet,
// that the score server can read back: the id, the time stamp and every
// value byte kept, under a checksum that holds.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "fotonauta/fotonauta.h"

namespace {

const char ALFABETO[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+@";
constexpr int MAX_VALORES = 8;
constexpr size_t MAX_BYTES_VALORES = 25;
// The longest code and its NUL: 30 packed bytes as 40 characters.
constexpr size_t MAX_SALIDA = 41;

[[noreturn]] void fallo(const char *que)
{
  std::fprintf(stderr, "%s\n", que);
  std::abort();
}

struct lector {
  const uint8_t *p;
  size_t largo, i = 0;
  uint8_t byte() { return i < largo ? p[i++] : 0; }
  int32_t palabra()
  {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      v = (v << 8) | byte();
    }
    return static_cast<int32_t>(v);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, size_t largo)
{
  lector l{datos, largo};
  const int32_t id = l.palabra();
  const int32_t n = static_cast<int8_t>(l.byte()) % (MAX_VALORES + 1);
  int32_t valores[MAX_VALORES], bytes[MAX_VALORES];
  for (int32_t i = 0; i < n; ++i) {
    valores[i] = l.palabra();
    // Mostly small counts, now and then any 32-bit count at all.
    const uint8_t c = l.byte();
    bytes[i] = (c & 0x80) != 0 && (c & 0x40) != 0 ? l.palabra() : static_cast<int8_t>(c) % 32;
  }

  // What the code must carry, worked out on 64-bit values: each value's
  // bytes from the highest asked for, beyond its four the sign.
  std::vector<uint8_t> esperado;
  for (int32_t i = 0; i < n; ++i) {
    for (int64_t c = int64_t{bytes[i]} - 1; c >= 0 && esperado.size() < MAX_BYTES_VALORES; --c) {
      esperado.push_back(static_cast<uint8_t>(c >= 8 ? (valores[i] < 0 ? 0xFF : 0) : int64_t{valores[i]} >> (8 * c)));
    }
  }

  // Exactly the promised room, so any write past it is caught.
  std::unique_ptr<char[]> salida(new char[MAX_SALIDA]);
  const time_t antes = std::time(nullptr);
  uuencode_generic(salida.get(), id, n, valores, bytes);
  const time_t despues = std::time(nullptr);

  const size_t empaquetados = 4 + esperado.size() + 1;
  const size_t relleno = (3 - empaquetados % 3) % 3;
  const size_t caracteres = 4 * (empaquetados + relleno) / 3 - relleno;
  if (std::strlen(salida.get()) != caracteres) {
    fallo("code of the wrong length");
  }
  // Decoded back, as the server does: the cut pad characters are zeros.
  std::vector<uint8_t> b;
  uint32_t v = 0;
  for (size_t k = 0; k < caracteres + relleno; ++k) {
    const char *x = k < caracteres ? std::strchr(ALFABETO, salida[k]) : ALFABETO;
    if (x == nullptr || *x == '\0') {
      fallo("character outside the code's alphabet");
    }
    v = (v << 6) | static_cast<uint32_t>(x - ALFABETO);
    if (k % 4 == 3) {
      b.push_back(static_cast<uint8_t>(v >> 16));
      b.push_back(static_cast<uint8_t>(v >> 8));
      b.push_back(static_cast<uint8_t>(v));
      v = 0;
    }
  }
  b.resize(empaquetados);

  uint8_t anterior = SEMILLA_CODIGO, suma = 0;
  std::vector<uint8_t> claro;
  for (size_t k = 0; k + 1 < empaquetados; ++k) {
    claro.push_back(static_cast<uint8_t>(b[k] ^ anterior));
    anterior = b[k];
    suma = static_cast<uint8_t>(suma + claro.back());
  }
  if (b[empaquetados - 1] != suma) {
    fallo("the checksum does not hold");
  }
  if (claro[0] != static_cast<uint8_t>(antes >> 8) && claro[0] != static_cast<uint8_t>(despues >> 8)) {
    fallo("time stamp, high byte");
  }
  if (claro[1] != static_cast<uint8_t>(antes) && claro[1] != static_cast<uint8_t>(despues)) {
    fallo("time stamp, low byte");
  }
  if (claro[2] != static_cast<uint8_t>(id >> 8) || claro[3] != static_cast<uint8_t>(id)) {
    fallo("the id is not carried");
  }
  if (!std::equal(esperado.begin(), esperado.end(), claro.begin() + 4)) {
    fallo("a value byte is not carried");
  }

  // The server's reader gives back the same id and values for every
  // layout it takes (up to 4 values of 1 to 4 bytes each).
  bool legible = n >= 0 && n <= 4 && esperado.size() <= 16;
  for (int32_t i = 0; i < n && legible; ++i) {
    legible = bytes[i] >= 1 && bytes[i] <= 4;
  }
  if (legible) {
    codigo_leido leido;
    if (!decodificar_codigo(salida.get(), static_cast<int32_t>(caracteres), n, bytes, leido)) {
      fallo("the server cannot read a code the game made");
    }
    if (leido.id != static_cast<uint16_t>(id)) {
      fallo("the server reads another id");
    }
    size_t k = 0;
    for (int32_t i = 0; i < n; ++i) {
      uint32_t valor = 0;
      for (int32_t c = 0; c < bytes[i]; ++c) {
        valor = (valor << 8) | esperado[k++];
      }
      if (leido.valores[i] != valor) {
        fallo("the server reads another value");
      }
    }
    // One letter changed must not read as a valid code of the same kind
    // with the same values: the checksum or the pad bits catch it, or the
    // values differ.
    std::string otro(salida.get());
    const size_t pos = static_cast<size_t>(id & 0x7FFF) % otro.size();
    otro[pos] = otro[pos] == 'A' ? 'B' : 'A';
    codigo_leido cambiado;
    if (decodificar_codigo(otro.c_str(), static_cast<int32_t>(otro.size()), n, bytes, cambiado) &&
        std::memcmp(&cambiado, &leido, sizeof leido) == 0) {
      fallo("a changed code reads the same");
    }
  }
  return 0;
}
