// The Watch and Play pages. Each is a plain page that names, in data
// attributes, what its script loads: the game's module and art (served by
// web.cpp), the recording or the level. What the server already knows is
// wrong (no such game, a hidden one) is its own 404 or 410 page, never a
// canvas left blank.
#include "servidor/servidor.h"

#include <cctype>
#include <cstdlib>

namespace {

const char *const SQL_VER_MUNDO =
    "SELECT r.guardada, r.oculta, p.nombre, p.puntos, p.fases, p.recibida FROM repeticiones r"
    " JOIN puntuaciones p ON p.repeticion = r.id WHERE r.id = $1";
const char *const SQL_VER_MARCA =
    "SELECT r.guardada, r.oculta, m.nombre, m.puntos, m.gana, m.recibida FROM marcas m JOIN repeticiones r ON r.id = m.id"
    " WHERE m.id = $1 AND m.nivel = $2";

std::string principio(const std::string &titulo, const std::string &encabezado)
{
  return principio_pagina(titulo, encabezado, ruta_web("visor.css"));
}

respuesta pagina_con_politica(int estado, std::string cuerpo)
{
  respuesta r;
  r.estado = estado;
  r.tipo = "text/html; charset=utf-8";
  r.cuerpo = std::move(cuerpo);
  r.cabeceras.emplace_back("Content-Security-Policy", POLITICA_PAGINAS);
  return r;
}

// A page that only says why there is nothing to show.
respuesta pagina_aviso(int estado, const std::string &titulo, const std::string &motivo, const std::string &volver)
{
  return pagina_con_politica(estado, principio("fotonauta: " + titulo, titulo) + "<p class=\"aviso\" id=\"aviso\">" +
                                         escapar_html(motivo) + "</p>\n<nav>" + volver +
                                         "<a href=\"/\">World table</a><a href=\"/niveles\">Community levels</a></nav>\n" +
                                         fin_pagina());
}

// What every player page carries: the module and the art, the place for
// its messages, and what a browser without scripts is told.
std::string atributos_modulo()
{
  return " data-modulo=\"" + ruta_web("fotonauta.wasm") + "\" data-graficos=\"" + ruta_web("grf.dat") +
         "\" data-fuentes=\"" + ruta_web("fuentes.dat") + "\" data-sonidos=\"" + ruta_web("snd.dat") + "\"" +
         (modulo_web_presente() ? "" : " data-sin-modulo=\"1\"");
}

// Fetched at once, while the page's script and the module it imports are
// still on their way: the art, the module and what the page plays are what
// its first frame waits for.
std::string precargas(const std::string &datos)
{
  std::string h = "<link rel=\"modulepreload\" href=\"" + ruta_web("comun.js") + "\">\n";
  for (const char *fichero : {"fotonauta.wasm", "grf.dat", "fuentes.dat"}) {
    h += "<link rel=\"preload\" as=\"fetch\" crossorigin href=\"" + ruta_web(fichero) + "\">\n";
  }
  return h + "<link rel=\"preload\" as=\"fetch\" crossorigin href=\"" + datos + "\">\n";
}

const char *const LIENZO =
    "<p class=\"aviso\" id=\"aviso\" role=\"alert\" hidden></p>\n"
    "<noscript><p class=\"aviso\">This page plays the game in the browser: it needs JavaScript and "
    "WebAssembly.</p></noscript>\n"
    "<div class=\"marco\" id=\"marco\"><canvas id=\"lienzo\" width=\"1024\" height=\"768\"></canvas></div>\n";

bool leer_numero_ruta(const std::string &s, int64_t &n)
{
  if (s.empty() || s.size() > 15 || s.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  n = std::strtoll(s.c_str(), nullptr, 10);
  return true;
}

}  // namespace

respuesta pagina_ver(almacen *a, const std::string &ruta)
{
  // /ver/ID or /ver/niveles/LEVEL/ID
  const std::string resto = ruta.substr(5);
  const bool de_nivel = resto.rfind("niveles/", 0) == 0;
  int64_t id = 0, nivel = 0;
  nivel_publicado n;
  const std::string cifras = de_nivel ? resto.substr(8, 16) : "";
  if (de_nivel ? resto.size() < 26 || resto[24] != '/' || !leer_id_nivel(cifras, nivel) ||
                     !leer_numero_ruta(resto.substr(25), id)
               : !leer_numero_ruta(resto, id)) {
    return pagina_aviso(404, "No such game", "There is no game at this address to watch.", "");
  }
  const std::string volver = de_nivel ? "<a href=\"/niveles/" + cifras + "\">the level's board</a>" : "";
  if (de_nivel) {
    const resultado_busqueda hay = almacen_nivel(a, nivel, n);
    if (hay == FALLO_ALMACEN) {
      return pagina_aviso(503, "Try again later", "The levels cannot be read now; try again later.", "");
    }
    if (hay == NINGUNA) {
      return pagina_aviso(404, "No such level", "There is no level " + cifras + ".", "");
    }
    if (n.oculto) {
      return pagina_aviso(410, "Level hidden", "Level " + cifras + " was hidden by the server's operator.", "");
    }
  }
  std::vector<fila_sql> filas;
  std::string error;
  if (!almacen_transaccion(a, false, [&](sesion_sql &s) {
        return de_nivel ? sql(s, SQL_VER_MARCA, {sql_entero(id), sql_entero(nivel)}, &filas, error)
                        : sql(s, SQL_VER_MUNDO, {sql_entero(id)}, &filas, error);
      }, error)) {
    return pagina_aviso(503, "Try again later", "The game cannot be read now; try again later.", volver);
  }
  const std::string numero = std::to_string(id);
  if (filas.empty()) {
    return pagina_aviso(404, "No such game", "There is no verified game " + numero + (de_nivel ? " on this level's board." : "."),
                        volver);
  }
  const fila_sql &f = filas[0];
  if (entero_sql(f[1]) != 0) {
    return pagina_aviso(410, "Game hidden", "Game " + numero + " was taken off the boards by the server's operator.", volver);
  }
  if (entero_sql(f[0]) != 1) {
    return pagina_aviso(410, "Recording pruned",
                        "The recording of game " + numero + " was pruned: no row on the boards needs it any more.", volver);
  }
  const std::string nombre = escapar_html(f[2].texto);
  const std::string puntos = std::to_string(entero_sql(f[3]));
  const std::string fecha = fecha_texto(entero_sql(f[5]), false);
  const std::string fichero = de_nivel ? url_repeticion_marca(nivel, id) : "/repeticiones/" + numero + ".frep";
  std::string leyenda = "<strong>" + nombre + "</strong> &middot; " + puntos + " points &middot; " + fecha + " &middot; ";
  if (de_nivel) {
    leyenda += "level <a href=\"/niveles/" + cifras + "\">" + escapar_html(n.titulo) + "</a>" +
               (entero_sql(f[4]) != 0 ? ", won" : "");
  } else {
    const int64_t fases = entero_sql(f[4]);
    leyenda += std::to_string(fases) + (fases == 1 ? " level" : " levels") + " completed";
  }
  std::string h = principio("fotonauta: " + nombre + "'s game", "Watch " + nombre + "'s game");
  h += "<nav class=\"tablas\">" + (de_nivel ? volver : std::string("<a href=\"/\">World table</a>")) +
       "<a href=\"/niveles\">Community levels</a></nav>\n";
  h += precargas(fichero);
  h += "<div class=\"visor\" id=\"visor\" data-repeticion=\"" + fichero + "\"" + atributos_modulo() + ">\n";
  // A game of the game's levels says which one it is on as it plays.
  h += "<p class=\"leyenda-partida\">" + leyenda + (de_nivel ? "" : " &middot; now on level <span id=\"nivel\">&ndash;</span>") +
       "</p>\n";
  h += LIENZO;
  h += "<div class=\"controles\">"
       "<button type=\"button\" id=\"reproducir\" title=\"play or pause (Space)\" disabled>&#9654; Play</button>"
       "<button type=\"button\" id=\"atras\" title=\"a frame back (,)\" disabled>&#8249;</button>"
       "<button type=\"button\" id=\"adelante\" title=\"a frame on (.)\" disabled>&#8250;</button>"
       "<label>Speed <select id=\"velocidad\" disabled><option value=\"0.25\">&frac14;&times;</option>"
       "<option value=\"0.5\">&frac12;&times;</option><option value=\"1\" selected>1&times;</option>"
       "<option value=\"2\">2&times;</option><option value=\"4\">4&times;</option><option value=\"8\">8&times;</option>"
       "</select></label>"
       "<button type=\"button\" id=\"sonido\" title=\"sound on or off (M)\" disabled>Sound: off</button>"
       "</div>\n<div class=\"barra\"><input type=\"range\" id=\"barra\" min=\"0\" max=\"0\" value=\"0\" step=\"1\" "
       "aria-label=\"frame\" disabled><span id=\"tiempo\">0:00 / 0:00</span></div>\n";
  h += "<p class=\"leyenda atajos\">Keys: <kbd>Space</kbd> play or pause &middot; <kbd>,</kbd> <kbd>.</kbd> a frame back or on "
       "&middot; <kbd>&larr;</kbd> <kbd>&rarr;</kbd> five seconds back or on &middot; <kbd>-</kbd> <kbd>+</kbd> slower or "
       "faster &middot; <kbd>Home</kbd> <kbd>End</kbd> the start or the end &middot; <kbd>M</kbd> sound. "
       "The sound starts at your first click or key; no music plays here.</p>\n";
  h += "<p class=\"leyenda\"><a href=\"" + fichero + "\" download>download the recording</a></p>\n</div>\n";
  h += "<script type=\"module\" src=\"" + ruta_web("ver.js") + "\"></script>\n" + fin_pagina();
  return pagina_con_politica(200, h);
}

respuesta pagina_jugar(const nivel_publicado &n)
{
  const std::string id = id_nivel_texto(n.id);
  std::string h = principio("fotonauta: play " + escapar_html(n.titulo), "Play " + escapar_html(n.titulo));
  h += "<nav class=\"tablas\"><a href=\"/niveles/" + id + "\">The level's board</a><a href=\"/niveles\">All levels</a></nav>\n";
  h += precargas("/api/niveles/" + id + "/texto");
  h += "<div class=\"visor\" id=\"visor\" data-nivel=\"" + id + "\" data-texto=\"/api/niveles/" + id +
       "/texto\" data-enviar=\"/api/niveles/" + id + "/repeticiones\" data-tablero=\"/niveles/" + id + "\"" +
       atributos_modulo() + ">\n";
  h += "<p class=\"leyenda-partida\"><strong>" + escapar_html(n.titulo) + "</strong> by " + escapar_html(n.creador) +
       " &middot; <span id=\"estado\">loading&hellip;</span></p>\n";
  h += LIENZO;
  h += "<div class=\"controles\"><button type=\"button\" id=\"sentido\" aria-pressed=\"false\" "
       "title=\"which way a touch turns (D)\">&#8634; Touch turns anticlockwise</button>"
       "<button type=\"button\" id=\"sonido\" title=\"sound on or off (M)\">Sound: off</button>"
       "<button type=\"button\" id=\"otra\" title=\"start again (R)\">&#8635; Start again</button></div>\n";
  h += "<form class=\"envio\" id=\"envio\" hidden><p id=\"resultado\"></p>"
       "<label>Your name <input id=\"nombre\" name=\"nombre\" maxlength=\"20\" required autocomplete=\"nickname\"></label> "
       "<button type=\"submit\" id=\"enviar\">Send the run to the board</button><p id=\"respuesta\" role=\"status\"></p></form>\n";
  h += "<p class=\"leyenda atajos\">Mouse: hold the left button on a mirror to turn it anticlockwise, the right button (or "
       "<kbd>Alt</kbd> and the left) clockwise; a click turns it one step; the wheel turns it too. Touch: hold a finger on "
       "a mirror to turn it; two fingers, or the button above, turn it clockwise. <kbd>M</kbd> sound, <kbd>R</kbd> start "
       "again.</p>\n";
  h += "<p class=\"leyenda\">Or in the game: <a href=\"fotonauta://nivel/" + id + "\">fotonauta://nivel/" + id +
       "</a> &middot; <code>fotonauta --nivel " + id + "</code></p>\n</div>\n";
  h += "<script type=\"module\" src=\"" + ruta_web("jugar.js") + "\"></script>\n" + fin_pagina();
  return pagina_con_politica(200, h);
}

respuesta pagina_jugar_ausente(const respuesta &texto)
{
  std::string motivo = texto.cuerpo;
  while (!motivo.empty() && motivo.back() == '\n') {
    motivo.pop_back();
  }
  if (!motivo.empty()) {
    motivo[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(motivo[0])));
  }
  return pagina_aviso(texto.estado, texto.estado == 410 ? "Level hidden" : "No such level", motivo + ".", "");
}
