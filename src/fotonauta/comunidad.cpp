// Community levels: a level of the score server's gallery, named by its ID
// in a fotonauta:// link, fetched into the player's cache, played alone in
// the game's loop, and its run sent to the level's board on the server.
// Such a game never enters the local table: it is not the game the table
// ranks.
#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "fichero_nivel/fichero_nivel.h"
#include "fotonauta/fotonauta.h"
#include "internet/internet.h"
#include "juego/juego.h"
#include "repeticion/repeticion.h"

namespace {

constexpr char PREFIJO_ENLACE[] = "fotonauta://nivel/";
constexpr size_t LARGO_ID = 16;

bool espanol() { return idioma == IDIOMA_ESPANOL; }

// What a command line gave, fit to be quoted in a message: printable ASCII
// only, and not too long.
std::string citar(const char *texto)
{
  std::string r;
  for (const char *p = texto; *p != '\0' && r.size() < 80; ++p) {
    r += *p >= 0x20 && *p < 0x7F ? *p : '?';
  }
  return r;
}

// The folder of the levels kept: under $XDG_DATA_HOME (an absolute one,
// as the XDG rules say), else ~/.local/share. Empty when neither is known.
std::string carpeta_comunidad()
{
  const char *xdg = std::getenv("XDG_DATA_HOME");
  const char *hogar = std::getenv("HOME");
  std::string base;
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else if (hogar != nullptr && hogar[0] == '/') {
    base = std::string(hogar) + "/.local/share";
  } else {
    return {};
  }
  return base + "/fotonauta/comunidad";
}

// Makes `ruta` and every folder above it that is missing.
bool crear_carpetas(const std::string &ruta)
{
  for (size_t p = ruta.find('/', 1);; p = ruta.find('/', p + 1)) {
    const std::string parte = ruta.substr(0, p);
    if (mkdir(parte.c_str(), 0755) != 0 && errno != EEXIST) {
      return false;
    }
    if (p == std::string::npos) {
      return true;
    }
  }
}

// The level ID names: 16 lower-case hex digits.
std::string id_de(const nivel_texto &nivel)
{
  char id[LARGO_ID + 1];
  std::snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(hash_nivel_canonico(nivel)));
  return id;
}

// A level read from the server or the cache must be one the game can play
// and the very level the link names.
bool comprobar(const nivel_texto &nivel, const std::string &id, std::string &motivo)
{
  const int g = nivel.gremlins >= 0 ? nivel.gremlins : gremlins[0];
  const std::vector<problema_nivel> problemas = comprobar_nivel(nivel.bytes, g);
  if (!problemas.empty()) {
    const problema_nivel &p = problemas[0];
    motivo = p.celda < 0 ? p.texto : nombre_celda(p.celda) + ": " + p.texto;
    return false;
  }
  if (id_de(nivel) != id) {
    motivo = "it is level " + id_de(nivel) + ", not " + id;
    return false;
  }
  return true;
}

// Where the lines of a screen start: below the top of the frame, or
// higher where they stand over the Yes and No of the quit box.
constexpr int Y_LINEAS = 160;
constexpr int Y_LINEAS_PREGUNTA = 64;

// A frame of a screen of lines over the menus' backdrop.
void dibujar_lineas(const std::vector<std::string> &lineas, int y)
{
  show_mouse(nullptr);
  mover_fondo(0);
  dibujar_suelo();
  for (const std::string &l : lineas) {
    y = texto_partido(l, y);
  }
}

// Lines shown once, while the program waits on the network.
void mostrar_espera(const std::vector<std::string> &lineas)
{
  convertir_base();
  dibujar_lineas(lineas, Y_LINEAS);
  paso_fotograma();
}

// Lines shown until the player clicks `dialogo`'s buttons: the Exit of
// the upload's screen, or the Yes and No of the quit box. Returns the
// button's number.
int32_t preguntar(int8_t dialogo, const std::vector<std::string> &lineas)
{
  convertir_base();
  dlg_apilar_dialogo(dialogo);
  int32_t r = DLG_NADA;
  while (r == DLG_NADA) {
    reproducir_musica(0);
    dibujar_lineas(lineas, dialogo == DLG_SI_NO ? Y_LINEAS_PREGUNTA : Y_LINEAS);
    r = dlg_comprobar(buffer);
    paso_fotograma_con_puntero();
  }
  dlg_desapilar_dialogo();
  return r;
}

// The player is told on screen and, for whoever started the game from a
// terminal, on standard error.
void avisar(const std::vector<std::string> &lineas, const std::string &para_terminal)
{
  std::fprintf(stderr, "fotonauta: %s\n", para_terminal.c_str());
  preguntar(DLG_ENVIO, lineas);
}

// The level `id` from the server, checked and kept in the cache; when the
// server cannot be reached (or sends nothing playable), the copy kept from
// an earlier game, and `aviso` says so for the screen. False, once the
// player has been told why, when there is no level to play.
bool obtener_nivel(const std::string &id, nivel_texto &nivel, std::string &aviso)
{
  const std::string carpeta = carpeta_comunidad();
  const std::string cache = carpeta.empty() ? std::string() : carpeta + "/" + id + ".txt";
  mostrar_espera({espanol() ? "descargando el nivel" : "downloading level", id,
                  espanol() ? "por favor, espera..." : "please wait..."});

  std::string texto;
  long estado = 0;
  int32_t r = inet_connect(servidor_puntuaciones());
  if (r == INET_CORRECTO) {
    r = inet_getlevel(id.c_str(), texto, estado);
  }
  inet_close();

  std::string motivo;
  if (r == INET_CORRECTO && estado == 200) {
    std::string error;
    if (interpretar_nivel_texto(texto, nivel, error) && comprobar(nivel, id, error)) {
      if (cache.empty() || !crear_carpetas(carpeta) || !guardar_nivel_texto(cache, nivel, error)) {
        std::fprintf(stderr, "fotonauta: the level was not kept for playing offline: %s\n",
                     cache.empty() ? "neither XDG_DATA_HOME nor HOME is an absolute path" : error.c_str());
      }
      return true;
    }
    motivo = "the server's level " + id + " cannot be played: " + error;
  } else if (r == INET_CORRECTO && (estado == 404 || estado == 410)) {
    const bool oculto = estado == 410;
    avisar({oculto ? (espanol() ? "el nivel" : "level") : (espanol() ? "no hay ning\xFAn nivel" : "there is no level"),
            id,
            oculto ? (espanol() ? "ha sido retirado del servidor" : "has been withdrawn from the server")
                   : (espanol() ? "en el servidor" : "on the server")},
           oculto ? "level " + id + " has been withdrawn from the server (410)"
                  : "there is no level " + id + " on the server (404)");
    return false;
  } else if (r == INET_CORRECTO) {
    motivo = "the server answered " + std::to_string(estado) + " " + texto.substr(0, texto.find('\n'));
  } else {
    motivo = std::string("the server ") + servidor_puntuaciones() + " could not be reached";
    if (!inet_motivo().empty()) {
      motivo += " (" + inet_motivo() + ")";
    }
  }
  // The server's and the parser's reasons are shown as they are; the
  // player's own network is said in the player's language.
  const std::string en_pantalla =
      r == INET_CORRECTO || !espanol()
          ? para_la_fuente(motivo)
          : std::string("no se ha podido contactar con el servidor ") + servidor_puntuaciones();

  // Offline: the copy of an earlier game, checked as the server's would be.
  std::string error;
  if (!cache.empty() && leer_nivel_texto(cache, nivel, error) && comprobar(nivel, id, error)) {
    std::fprintf(stderr, "fotonauta: %s; playing the copy kept in %s\n", motivo.c_str(), cache.c_str());
    aviso = r == INET_CORRECTO
                ? (espanol() ? "el servidor no da el nivel: se juega la copia guardada"
                             : "the server gave no level: playing the copy kept")
                : (espanol() ? "sin conexi\xF3n con el servidor: se juega la copia guardada"
                             : "no connection to the server: playing the copy kept");
    return true;
  }
  avisar({espanol() ? "no se ha podido descargar el nivel" : "the level could not be downloaded", id, en_pantalla},
         motivo + (cache.empty() ? std::string() : "; no copy kept in " + cache));
  return false;
}

// What became of a run sent, for the player.
std::vector<std::string> respuesta_envio(const std::string &respuesta)
{
  const int estado = respuesta.empty() ? 0 : std::atoi(respuesta.c_str());
  // After the status: "verified 1234", "queued ...", or a refusal's reason.
  const size_t blanco = respuesta.find(' ');
  const std::string resto = blanco == std::string::npos ? std::string() : respuesta.substr(blanco + 1);
  if (estado == 200) {
    const size_t cifras = resto.find_first_of("0123456789");
    const std::string puntos = cifras == std::string::npos ? std::string() : resto.substr(cifras);
    return {espanol() ? "\xA1partida verificada!" : "run verified!",
            espanol() ? puntos + " puntos en el tablero del nivel" : puntos + " points on the level's board"};
  }
  if (estado == 202) {
    return {espanol() ? "partida recibida:" : "run received:",
            espanol() ? "el servidor la verificar\xE1 en breve" : "the server will verify it shortly"};
  }
  if (estado != 0) {
    return {espanol() ? "el servidor ha rechazado la partida:" : "the server refused the run:",
            para_la_fuente(respuesta)};
  }
  return {espanol() ? "sin conexi\xF3n con el servidor:" : "no network:",
          espanol() ? "no se ha podido enviar la partida" : "the run could not be sent"};
}

// Sends the run just played to level `id`'s board under `nombre`, then
// says what the server made of it.
void enviar_partida(const std::string &id, const char *nombre)
{
  mostrar_espera({espanol() ? "enviando la partida al" : "sending the run to", espanol() ? "servidor" : "the server",
                  espanol() ? "por favor, espera..." : "please wait..."});
  cabecera_repeticion &c = partida_grabada.cabecera;
  std::snprintf(c.nombre, sizeof c.nombre, "%s", nombre);
  c.fecha = static_cast<int64_t>(std::time(nullptr));
  const std::vector<uint8_t> datos = codificar_repeticion(partida_grabada);
  std::string respuesta;
  int32_t r = inet_connect(servidor_puntuaciones());
  if (r == INET_CORRECTO) {
    r = inet_sendlevelreplay(id.c_str(), nombre, datos.data(), datos.size(), respuesta);
  }
  inet_close();
  std::fprintf(stderr, "fotonauta: the run of level %s (%ld points) sent as %s: %s\n", id.c_str(),
               static_cast<long>(c.puntos), nombre, respuesta.empty() ? "no answer" : respuesta.c_str());
  preguntar(DLG_ENVIO, respuesta_envio(respuesta));
}

// The end of the level: its points, and the choice of sending the run.
void final_nivel(const std::string &id, const nivel_texto &nivel)
{
  const int32_t puntos = nucleo.dt_partida.puntos;
  const bool ganado = nucleo.dt_partida.fases_superadas > 0;
  char linea_puntos[64];
  std::snprintf(linea_puntos, sizeof linea_puntos, espanol() ? "%ld puntos" : "%ld points",
                static_cast<long>(puntos));
  std::vector<std::string> lineas = {
      nivel.titulo.empty() ? id : nivel.titulo,
      ganado                                 ? (espanol() ? "\xA1nivel superado!" : "level completed!")
      : nucleo.dt_bucle.motivo_fin == fin_sin_vidas ? (espanol() ? "fin de la partida" : "game over")
                                             : (espanol() ? "nivel abandonado" : "level left"),
      linea_puntos};
  if (puntos == 0) {
    preguntar(DLG_ENVIO, lineas);
    return;
  }
  lineas.push_back(espanol() ? "\xBF" "enviar la partida al tablero del nivel?" : "send the run to the level's board?");
  if (preguntar(DLG_SI_NO, lineas) != 0) {
    return;
  }
  char nombre[LONG_TXT + 1] = {};
  if (!nombre_ultima_fila(nombre)) {
    pedir_nombre(espanol() ? "escribe tu nombre para el tablero" : "write your name for the board", nombre);
    // Blanks typed last are no part of a name.
    for (size_t n = std::strlen(nombre); n > 0 && nombre[n - 1] == ' '; --n) {
      nombre[n - 1] = '\0';
    }
    if (nombre[0] == '\0') {
      return;
    }
  }
  enviar_partida(id, nombre);
}

}  // namespace

// A server's answer (UTF-8) in the text the fonts draw (ISO 8859-1), with
// '?' for what they cannot.
std::string para_la_fuente(const std::string &t)
{
  std::string r;
  for (size_t i = 0; i < t.size(); ++i) {
    const auto b = static_cast<unsigned char>(t[i]);
    uint32_t c = b;
    if (b >= 0xC0 && b < 0xE0 && i + 1 < t.size()) {
      c = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(t[++i]) & 0x3Fu);
    } else if (b >= 0x80) {
      c = '?';
      while (i + 1 < t.size() && (static_cast<unsigned char>(t[i + 1]) & 0xC0) == 0x80) {
        ++i;
      }
    }
    r += c <= 0xFF && caracter_dibujable(static_cast<unsigned char>(c)) ? static_cast<char>(c) : '?';
  }
  return r;
}

namespace {
constexpr int ANCHO_TEXTO = ANCHO_PANTALLA - 96;
constexpr int ALTO_LINEA = 64;
}  // namespace

int texto_partido(const std::string &texto, int y, int max_lineas)
{
  if (texto.empty()) {
    return y + ALTO_LINEA;
  }
  FONT *f = fuente_texto();
  std::string linea;
  size_t i = 0;
  int lineas = 0;
  while (i < texto.size()) {
    if (max_lineas > 0 && lineas == max_lineas - 1) {
      // The last line allowed: what is left, cut to fit with "...".
      std::string resto = linea.empty() ? texto.substr(i) : linea + " " + texto.substr(i);
      if (text_length(f, resto.c_str()) > ANCHO_TEXTO) {
        while (!resto.empty() && text_length(f, (resto + "...").c_str()) > ANCHO_TEXTO) {
          resto.pop_back();
        }
        resto += "...";
      }
      textout_centre_ex(buffer, f, resto.c_str(), ANCHO_PANTALLA / 2, y, -1, -1);
      return y + ALTO_LINEA;
    }
    size_t fin = texto.find(' ', i);
    if (fin == std::string::npos) {
      fin = texto.size();
    }
    const std::string palabra = texto.substr(i, fin - i);
    const std::string prueba = linea.empty() ? palabra : linea + " " + palabra;
    if (!linea.empty() && text_length(f, prueba.c_str()) > ANCHO_TEXTO) {
      textout_centre_ex(buffer, f, linea.c_str(), ANCHO_PANTALLA / 2, y, -1, -1);
      y += ALTO_LINEA;
      ++lineas;
      linea = palabra;
    } else {
      linea = prueba;
    }
    i = fin + 1;
  }
  if (!linea.empty()) {
    textout_centre_ex(buffer, f, linea.c_str(), ANCHO_PANTALLA / 2, y, -1, -1);
    y += ALTO_LINEA;
  }
  return y;
}


bool leer_id_nivel(const char *texto, bool enlace, std::string &id, std::string &motivo)
{
  const char *p = texto;
  if (enlace) {
    if (strncasecmp(p, PREFIJO_ENLACE, sizeof PREFIJO_ENLACE - 1) != 0) {
      motivo = "'" + citar(texto) + "' is not a level link (fotonauta://nivel/ and the level's 16 hex digits)";
      return false;
    }
    p += sizeof PREFIJO_ENLACE - 1;
  }
  // A browser may add a slash after a link's last part.
  size_t largo = std::strlen(p);
  if (enlace && largo == LARGO_ID + 1 && p[LARGO_ID] == '/') {
    largo = LARGO_ID;
  }
  id.clear();
  for (size_t i = 0; i < largo && i < LARGO_ID; ++i) {
    const char c = p[i];
    if (!std::isxdigit(static_cast<unsigned char>(c))) {
      break;
    }
    id += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (largo != LARGO_ID || id.size() != LARGO_ID) {
    motivo = "'" + citar(texto) + "' does not name a level: a level's ID is 16 hex digits";
    id.clear();
    return false;
  }
  return true;
}

int ejecutar_nivel_comunidad(const std::string &id)
{
  ini_audio();
  ini_dialogos();
  ini_juego();
  clear_to_color(buffer, 0);
  // The language and the volumes are the player's; a first run asks. The
  // table is read only for the name a run is sent under.
  leer_cfg();
  leer_pnt();
  nivel_texto nivel;
  std::string aviso;
  const bool hay_nivel = obtener_nivel(id, nivel, aviso);
  if (hay_nivel) {
    parar_musica();
    // The level's own title over the board (the status strip calls every
    // level played alone "01"), or its ID when it has none.
    rotular_partida(nivel.titulo.empty() ? id : nivel.titulo, aviso);
    jugar_nivel_suelto(nivel);
    final_nivel(id, nivel);
  }
  fin_audio();
  fin_allegro();
  return hay_nivel ? 0 : 1;
}
