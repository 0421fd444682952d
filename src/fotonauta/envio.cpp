// The score upload screen and the score code each row carries. Each row
// goes up as the old GET, and then, when the game's recording of it is
// kept, the recording too, for the server to verify the row by playing it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "fotonauta/fotonauta.h"
#include "internet/internet.h"
#include "juego/juego.h"
#include "repeticion/repeticion.h"

namespace {

// A code character as it goes in a request target: "+" would read as a
// blank, and a blank (the first character of the tampered code) is not
// allowed at all, so both are escaped; the rest of the alphabet, "@"
// included, goes as it is.
constexpr int LONG_CODIGO_ESCAPADO = 3 * LONG_COD + 1;

void escapar_codigo(const char *codigo, char *salida)
{
  for (const char *p = codigo; *p != '\0'; ++p) {
    if (*p != '+' && std::strchr(ALFABETO_CODIGO, *p) != nullptr) {
      *salida++ = *p;
    } else {
      salida += std::sprintf(salida, "%%%02X", static_cast<uint8_t>(*p));
    }
  }
  *salida = '\0';
}

// The value of environment variable `variable` when it is set and not
// empty, else `omision`: an installed game can be sent to another score
// server without being built again.
const char *del_entorno(const char *variable, const char *omision)
{
  const char *valor = std::getenv(variable);
  return valor != nullptr && valor[0] != '\0' ? valor : omision;
}

// The web address of the world table, shown to the player.
const char *web() { return del_entorno("FOTONAUTA_WEB", FOTONAUTA_WEB); }

void texto_centrado(const char *texto, int y)
{
  textout_centre_ex(buffer, fuente_texto(), texto, ANCHO_PANTALLA / 2, y, -1, -1);
}

bool espanol() { return idioma == IDIOMA_ESPANOL; }

// What became of a row's recording.
enum prueba_fila : uint8_t { SIN_GRABACION, VERIFICADA, EN_ESPERA, SIN_VERIFICAR };

// Sends the recording of row `fila`'s game, repeticiones/CODE.frep, when
// it is kept. The server plays it before it answers, for as long as it
// allows itself (a second or two for a game): "200 verified", or 202 when
// it is still queued. The row is uploaded whatever becomes of it: a row
// the server does not verify is still in its whole table.
prueba_fila enviar_repeticion(int fila, const char *nombre, const char *codigo_escapado)
{
  const std::string ruta = std::string("repeticiones/") + max_cod[fila] + ".frep";
  FILE *f = max_cod[fila][0] != ' ' ? std::fopen(ruta.c_str(), "rb") : nullptr;
  if (f == nullptr) {
    std::fprintf(stderr, "fotonauta: score %d has no recording kept; the server cannot verify it\n", fila + 1);
    return SIN_GRABACION;
  }
  std::vector<uint8_t> datos(MAX_BYTES_REPETICION + 1);
  datos.resize(std::fread(datos.data(), 1, datos.size(), f));
  std::fclose(f);
  if (datos.size() > MAX_BYTES_REPETICION) {
    std::fprintf(stderr, "fotonauta: %s is larger than a recording can be; not sent\n", ruta.c_str());
    return SIN_VERIFICAR;
  }
  std::string respuesta;
  if (inet_sendreplay(nombre, codigo_escapado, datos.data(), datos.size(), respuesta) != INET_CORRECTO) {
    std::fprintf(stderr, "fotonauta: the server did not verify score %d with %s: %s\n", fila + 1, ruta.c_str(),
                 inet_motivo().c_str());
    return SIN_VERIFICAR;
  }
  const bool hecha = respuesta.compare(0, 4, "200 ") == 0;
  std::fprintf(stderr, "fotonauta: score %d %s: %s\n", fila + 1, hecha ? "verified" : "waiting to be verified",
               respuesta.c_str());
  return hecha ? VERIFICADA : EN_ESPERA;
}

// The line that tells how many rows the server verified, has still to
// verify, and did not; empty when no row went with its recording.
std::string linea_pruebas(const int (&cuantas)[4])
{
  std::string linea;
  const auto parte = [&linea](int n, const char *en, const char *es) {
    if (n > 0) {
      linea += (linea.empty() ? "" : ", ") + std::to_string(n) +
               (espanol() ? (n == 1 ? " puntuaci\xF3n " : " puntuaciones ") : (n == 1 ? " score " : " scores ")) +
               (espanol() ? es : en);
    }
  };
  // Spanish agrees in number: "verificada" or "verificadas".
  const int v = cuantas[VERIFICADA];
  parte(v, "verified", v == 1 ? "verificada" : "verificadas");
  parte(cuantas[EN_ESPERA], "waiting to be verified", "en espera de verificaci\xF3n");
  parte(cuantas[SIN_VERIFICAR], "not verified", "sin verificar");
  return linea;
}

}  // namespace

int8_t enviar_puntuaciones(int8_t)
{
  parar_musica();
  show_mouse(nullptr);
  mover_fondo(0);
  convertir_base();
  dibujar_suelo();
  texto_centrado(espanol() ? "conectando a" : "connecting to", 160);
  texto_centrado(web(), 224);
  paso_fotograma();

  int32_t resultado = inet_connect(servidor_puntuaciones());
  int fila_fallida = 0;
  int pruebas[4] = {};
  if (resultado == INET_CORRECTO) {
    for (int fila = 0; fila < MAX_PUNTUACIONES && resultado == INET_CORRECTO && max_pnt[fila] != 0; ++fila) {
      mover_fondo(0);
      char texto[64];
      std::snprintf(texto, sizeof texto, espanol() ? "enviando la puntuaci\xF3n %i a" : "uploading score %i to",
                    fila + 1);
      texto_centrado(texto, 208);
      texto_centrado(web(), 272);
      texto_centrado(espanol() ? "por favor, espera..." : "please wait...", 336);
      paso_fotograma();

      // The request carries the name field alone, trailing blanks included.
      char nombre[LONG_NOMBRE + 1];
      std::memcpy(nombre, max_txt[fila], LONG_NOMBRE);
      nombre[LONG_NOMBRE] = '\0';
      char codigo[LONG_CODIGO_ESCAPADO];
      escapar_codigo(max_cod[fila], codigo);
      resultado = inet_sendscore(nombre, codigo);
      if (resultado == INET_CORRECTO) {
        ++pruebas[enviar_repeticion(fila, nombre, codigo)];
      } else {
        fila_fallida = fila + 1;
      }
    }
    inet_close();
  }
  // Why, for the player and for whoever started the game from a terminal.
  std::string motivo;
  if (resultado != INET_CORRECTO) {
    motivo = inet_motivo();
    std::fprintf(stderr, "fotonauta: the scores could not be uploaded%s: %s\n",
                 fila_fallida > 1 ? (" past score " + std::to_string(fila_fallida - 1)).c_str() : "",
                 motivo.c_str());
  }
  const std::string verificacion = linea_pruebas(pruebas);
  const std::string motivo_en_pantalla = para_la_fuente(motivo);

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
      texto_centrado(web(), 336);
      texto_centrado(espanol() ? "para ver tu posici\xF3n" : "to see your position", 400);
      texto_partido(verificacion, 464, 2);
    } else {
      texto_centrado(espanol() ? "\xA1ha ocurrido un error" : "an error occurred", 208);
      texto_centrado(espanol() ? "y no se han podido" : "and the scores", 272);
      texto_centrado(espanol() ? "enviar las puntuaciones!" : "couldn't be uploaded!", 336);
      // The reason in the server's words or the network's, a line below
      // the three (where success says more): two lines fit above the
      // frame's edge.
      texto_partido(motivo_en_pantalla, 464, 2);
    }
    r = dlg_comprobar(buffer);
    paso_fotograma_con_puntero();
  }
  dlg_desapilar_dialogo();
  return DLG_NADA;
}
