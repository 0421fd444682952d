// The score upload screen and the score code each row carries.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "fotonauta/fotonauta.h"
#include "internet/internet.h"

#ifdef FOTONAUTA_PRUEBAS
const char *prueba_servidor = nullptr;
#endif

namespace {

const char ALFABETO[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+@";
static_assert(sizeof ALFABETO == 65);

// Time stamp and id, at most 25 value bytes, the checksum and two pad bytes.
constexpr int MAX_EMPAQUETADO = 30;
constexpr int MAX_BYTES_VALORES = 25;

// A code character as it goes in a request target: "+" would read as a
// blank, and a blank (the first character of the tampered code) is not
// allowed at all, so both are escaped; the rest of the alphabet, "@"
// included, goes as it is.
constexpr int LONG_CODIGO_ESCAPADO = 3 * LONG_COD + 1;

void escapar_codigo(const char *codigo, char *salida)
{
  for (const char *p = codigo; *p != '\0'; ++p) {
    if (*p != '+' && std::strchr(ALFABETO, *p) != nullptr) {
      *salida++ = *p;
    } else {
      salida += std::sprintf(salida, "%%%02X", static_cast<uint8_t>(*p));
    }
  }
  *salida = '\0';
}

const char *servidor()
{
#ifdef FOTONAUTA_PRUEBAS
  if (prueba_servidor != nullptr) {
    return prueba_servidor;
  }
#endif
  return FOTONAUTA_SERVIDOR;
}

void texto_centrado(const char *texto, int y)
{
  textout_centre_ex(buffer, fuente_texto(), texto, ANCHO_PANTALLA / 2, y, -1, -1);
}

bool espanol() { return idioma == IDIOMA_ESPANOL; }

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
    for (int32_t c = bytes[i]; c > 0 && largo < 4 + MAX_BYTES_VALORES; --c) {
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
      salida[escritos++] = ALFABETO[(v >> desplazamiento) & 63];
    }
  }
  salida[escritos - relleno] = '\0';
}

int8_t enviar_puntuaciones(int8_t)
{
  parar_musica();
  show_mouse(nullptr);
  mover_fondo(0);
  convertir_base();
  dibujar_suelo();
  texto_centrado(espanol() ? "conectando a" : "connecting to", 160);
  texto_centrado(FOTONAUTA_WEB, 224);
  paso_fotograma();

  int32_t resultado = inet_connect(servidor());
  if (resultado == INET_CORRECTO) {
    for (int fila = 0; fila < MAX_PUNTUACIONES && resultado == INET_CORRECTO && max_pnt[fila] != 0; ++fila) {
      mover_fondo(0);
      char texto[64];
      std::snprintf(texto, sizeof texto, espanol() ? "enviando la puntuaci\xF3n %i a" : "uploading score %i to",
                    fila + 1);
      texto_centrado(texto, 208);
      texto_centrado(FOTONAUTA_WEB, 272);
      texto_centrado(espanol() ? "por favor, espera..." : "please wait...", 336);
      paso_fotograma();

      // The request carries the name field alone, trailing blanks included.
      char nombre[LONG_NOMBRE + 1];
      std::memcpy(nombre, max_txt[fila], LONG_NOMBRE);
      nombre[LONG_NOMBRE] = '\0';
      char codigo[LONG_CODIGO_ESCAPADO];
      escapar_codigo(max_cod[fila], codigo);
      resultado = inet_sendscore(nombre, codigo);
    }
    inet_close();
  }

  dlg_apilar_dialogo(DLG_ENVIO);
  int32_t r = DLG_NADA;
  while (r < 0) {
    reproducir_musica(0);
    show_mouse(nullptr);
    mover_fondo(0);
    dibujar_suelo();
    if (resultado == INET_CORRECTO) {
      texto_centrado(espanol() ? "\xA1puntuaciones enviadas!" : "scores uploaded!", 208);
      texto_centrado(espanol() ? "visita" : "go to", 272);
      texto_centrado(FOTONAUTA_WEB, 336);
      texto_centrado(espanol() ? "para ver tu posici\xF3n" : "to see your position", 400);
    } else {
      texto_centrado(espanol() ? "\xA1ha ocurrido un error" : "an error occurred", 208);
      texto_centrado(espanol() ? "y no se han podido" : "and the scores", 272);
      texto_centrado(espanol() ? "enviar las puntuaciones!" : "couldn't be uploaded!", 336);
    }
    r = dlg_comprobar(buffer);
    paso_fotograma_con_puntero();
  }
  dlg_desapilar_dialogo();
  return DLG_NADA;
}
