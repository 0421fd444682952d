// libFuzzer target for what the score server reads from the network: the
// request target through the whole handler (query decoding, the upload's
// checks, the page and the API) over a real store in memory, and the code
// decoder on any bytes with any layout. Half the inputs are made into an
// upload with a well-formed code, so the checks past the checksum (id,
// levels, points) are reached too.
#include "codigo/codigo.h"
#include "servidor/servidor.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void fallo(const char *que, const std::string &objetivo)
{
  std::fprintf(stderr, "%s: %s\n", que, objetivo.c_str());
  std::abort();
}

almacen *almacen_prueba()
{
  static almacen *a = [] {
    std::string error;
    almacen *x = almacen_abrir(":memory:", error);
    if (x == nullptr) {
      fallo("cannot open a store in memory", error);
    }
    return x;
  }();
  return a;
}

bool utf8_valido(const std::string &s)
{
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<uint8_t>(s[i]);
    const size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > s.size()) {
      return false;
    }
    for (size_t k = 1; k < n; ++k) {
      if ((static_cast<uint8_t>(s[i + k]) & 0xC0) != 0x80) {
        return false;
      }
    }
    i += n;
  }
  return true;
}

std::string codificar(const std::string &s)
{
  std::string r;
  for (const char c : s) {
    char x[4];
    std::snprintf(x, sizeof x, "%%%02X", static_cast<uint8_t>(c));
    r += x;
  }
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, size_t largo)
{
  const std::string entrada(reinterpret_cast<const char *>(datos), largo);

  // The decoder on the bytes as they are, in a layout taken from the first.
  if (largo > 0) {
    const int32_t n = 1 + datos[0] % 4;
    const int32_t bytes[4] = {1 + (datos[0] >> 2) % 4, 1 + (datos[0] >> 4) % 4, 1 + (datos[0] >> 6), 2};
    codigo_leido leido;
    if (decodificar_codigo(entrada.c_str() + 1, static_cast<int32_t>(largo - 1), n, bytes, leido)) {
      for (size_t i = 1; i < largo; ++i) {
        if (std::strchr(ALFABETO_CODIGO, entrada[i]) == nullptr || entrada[i] == '\0') {
          fallo("a code with a letter outside the alphabet was read", entrada);
        }
      }
    }
  }

  // The request target: as it came, or an upload of a well-formed code
  // whose values and name come from the input.
  std::string objetivo = entrada;
  if (largo >= 5 && (datos[0] & 1) != 0) {
    const int32_t valores[NUM_VALORES_PUNTUACION] = {(datos[1] << 16) | (datos[2] << 8) | datos[3], datos[4]};
    char codigo[48];
    uuencode_generic(codigo, ID_CODIGO_PUNTUACION, NUM_VALORES_PUNTUACION, valores, BYTES_PUNTUACION);
    objetivo = "/highscore.php?yourname=" + codificar(entrada.substr(5)) + "&code=" + codificar(codigo);
  }

  almacen *a = almacen_prueba();
  const int64_t antes = almacen_contar_todas(a);
  const respuesta r = atender(a, objetivo, 1700000000);
  const int64_t despues = almacen_contar_todas(a);
  if (r.estado != 200 && r.estado != 400 && r.estado != 404) {
    fallo("an answer other than 200, 400 or 404", objetivo);
  }
  if (despues != antes && (r.estado != 200 || despues != antes + 1)) {
    fallo("the store changed by more than the row answered 200", objetivo);
  }
  if (r.cuerpo.empty() || (!utf8_valido(r.cuerpo) && r.tipo.find("image/") == std::string::npos)) {
    fallo("an empty answer, or text that is not UTF-8", objetivo);
  }

  // What an upload is made of, when it is taken.
  const size_t interrogacion = objetivo.find('?');
  puntuacion p;
  std::string motivo;
  if (interrogacion != std::string::npos && leer_subida(objetivo.substr(interrogacion + 1), 0, p, motivo)) {
    if (!utf8_valido(p.nombre) || p.nombre.size() > 2 * static_cast<size_t>(LONG_NOMBRE)) {
      fallo("a name stored that is not UTF-8 or longer than the field", objetivo);
    }
    if (!p.trampa && (p.fases < 0 || p.fases > MAX_FASES_CODIGO || p.puntos < 1 || p.puntos > puntos_maximos(p.fases))) {
      fallo("an impossible score taken", objetivo);
    }
  } else if (interrogacion != std::string::npos && objetivo.compare(0, interrogacion, "/highscore.php") == 0 &&
             r.estado == 200) {
    fallo("an upload refused by its checks was answered 200", objetivo);
  }
  return 0;
}
