// The community levels as web pages, in the world table's look: the
// gallery (a card per level with its board's picture) and a level's page
// (the big picture, its board of verified runs, the download, the Play
// link and the report form). Plain HTML, no script; every page moves on
// by keyset links, so a deep page reads what the first one does.
#include "servidor/servidor.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace {

const char *const NOMBRE_ORDEN[3] = {"nuevos", "jugados", "ganados"};
const char *const TEXTO_ORDEN[3] = {"Newest", "Most played", "Most won"};

std::string numero(int64_t n) { return std::to_string(n); }

// "VALUE.ID": a signed decimal value and a level's 16 hex digits, or for a
// board points and a recording's id.
bool leer_cursor(const std::string &s, bool id_hex, cursor_pagina &c)
{
  const size_t punto = s.find('.');
  if (punto == std::string::npos || punto == 0 || punto > 20) {
    return false;
  }
  const std::string valor = s.substr(0, punto), id = s.substr(punto + 1);
  if (valor.find_first_not_of("-0123456789") != std::string::npos || valor.find('-', 1) != std::string::npos) {
    return false;
  }
  c.valor = std::strtoll(valor.c_str(), nullptr, 10);
  if (id_hex) {
    if (!leer_id_nivel(id, c.id)) {
      return false;
    }
  } else if (id.empty() || id.size() > 18 || id.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  } else {
    c.id = std::strtoll(id.c_str(), nullptr, 10);
  }
  c.hay = true;
  return true;
}

// A query value made safe inside a link.
std::string en_url(const std::string &s)
{
  std::string u;
  for (const char c : s) {
    const auto b = static_cast<uint8_t>(c);
    if ((b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || c == '-' || c == '.' || c == '_') {
      u += c;
    } else {
      char x[4];
      std::snprintf(x, sizeof x, "%%%02X", b);
      u += x;
    }
  }
  return u;
}

std::string enlace_galeria(orden_galeria orden, const std::string &buscar, const std::string &tras)
{
  std::string u = "/niveles?orden=" + std::string(NOMBRE_ORDEN[orden]);
  if (!buscar.empty()) {
    u += "&amp;q=" + en_url(buscar);
  }
  if (!tras.empty()) {
    u += "&amp;tras=" + en_url(tras);
  }
  return u;
}

// What a level's counts mean, said once on each page that shows them.
const char *const LEYENDA_CUENTAS =
    "<p class=\"leyenda\">Plays: the computers that played a level (opened it to play or sent a verified run); "
    "wins: those of them whose verified run completed it. Each computer counts once, so a level never has more wins "
    "than plays.</p>\n";

std::string datos_nivel(const nivel_publicado &n)
{
  return "<p class=\"datos\">by <strong>" + escapar_html(n.creador) + "</strong>, " + fecha_texto(n.publicado, false) +
         " &middot; " + numero(n.jugadas) + (n.jugadas == 1 ? " play" : " plays") + " &middot; " + numero(n.victorias) +
         (n.victorias == 1 ? " win" : " wins") + " &middot; best " +
         (n.mejor > 0 ? "<strong>" + numero(n.mejor) + "</strong>" : std::string("none yet")) + "</p>\n";
}

respuesta fallo(int estado, const std::string &linea)
{
  respuesta r;
  r.estado = estado;
  r.cuerpo = linea + "\n";
  return r;
}

}  // namespace

bool leer_consulta_galeria(const std::string &consulta, consulta_galeria &g, std::string &motivo)
{
  std::vector<parametro> ps;
  if (!leer_consulta(consulta, ps, motivo)) {
    return false;
  }
  g = {};
  if (const std::string *v = buscar_parametro(ps, "orden"); v != nullptr && !v->empty()) {
    int o = 0;
    while (o < 3 && *v != NOMBRE_ORDEN[o]) {
      ++o;
    }
    if (o == 3) {
      motivo = "orden must be nuevos, jugados or ganados";
      return false;
    }
    g.orden = static_cast<orden_galeria>(o);
  }
  if (const std::string *v = buscar_parametro(ps, "q"); v != nullptr) {
    g.buscar = v->substr(0, 80);
    g.buscar.erase(0, g.buscar.find_first_not_of(' '));
    g.buscar.erase(g.buscar.find_last_not_of(' ') + 1);
  }
  if (const std::string *v = buscar_parametro(ps, "tras"); v != nullptr && !v->empty() && !leer_cursor(*v, true, g.tras)) {
    motivo = "tras must be a value, a dot and a level's ID";
    return false;
  }
  return true;
}

std::string cursor_galeria(orden_galeria orden, const nivel_publicado &n)
{
  const int64_t valor = orden == ORDEN_NUEVOS ? n.publicado : orden == ORDEN_JUGADOS ? n.jugadas : n.victorias;
  return numero(valor) + "." + id_nivel_texto(n.id);
}

respuesta pagina_galeria(almacen *a, const std::string &consulta)
{
  consulta_galeria g;
  std::string motivo;
  if (!leer_consulta_galeria(consulta, g, motivo)) {
    return fallo(400, motivo);
  }
  std::vector<nivel_publicado> niveles;
  if (!almacen_galeria(a, g.orden, texto_de_busqueda(g.buscar), g.tras, NIVELES_POR_PAGINA + 1, niveles)) {
    return fallo(503, "the levels cannot be read now; try again later");
  }
  const bool mas = niveles.size() > static_cast<size_t>(NIVELES_POR_PAGINA);
  if (mas) {
    niveles.pop_back();
  }
  respuesta r;
  r.tipo = "text/html; charset=utf-8";
  std::string &h = r.cuerpo;
  h = principio_pagina("fotonauta: community levels", "Community levels");
  h += "<nav class=\"tablas\">";
  for (int o = 0; o < 3; ++o) {
    h += o == g.orden ? "<strong>" + std::string(TEXTO_ORDEN[o]) + "</strong>"
                      : "<a href=\"" + enlace_galeria(static_cast<orden_galeria>(o), g.buscar, "") + "\">" +
                            TEXTO_ORDEN[o] + "</a>";
  }
  h += "<a href=\"/\">World table</a></nav>\n";
  h += "<form method=\"get\" action=\"/niveles\" accept-charset=\"utf-8\"><input type=\"hidden\" name=\"orden\" value=\"" +
       std::string(NOMBRE_ORDEN[g.orden]) +
       "\"><label>Find a level by title or author: <input type=\"search\" name=\"q\" maxlength=\"80\" value=\"" +
       escapar_html(g.buscar) + "\"></label> <button type=\"submit\">Find</button></form>\n";
  if (niveles.empty()) {
    h += !g.buscar.empty() ? "<p class=\"aviso\">No level's title or author holds &ldquo;" + escapar_html(g.buscar) +
                                 "&rdquo;.</p>\n"
         : g.tras.hay      ? "<p class=\"aviso\">No more levels.</p>\n"
                           : "<p class=\"aviso\">No levels yet: publish yours from the level editor.</p>\n";
  } else {
    h += "<ul class=\"galeria\">\n";
    for (const nivel_publicado &n : niveles) {
      const std::string id = id_nivel_texto(n.id);
      h += "<li><a href=\"/niveles/" + id + "\"><img class=\"tablero\" src=\"/niveles/" + id +
           "-p.png\" width=\"240\" height=\"144\" alt=\"the board of " + escapar_html(n.titulo) + "\"></a>\n<h2><a href=\"/niveles/" +
           id + "\">" + escapar_html(n.titulo) + "</a></h2>\n<p class=\"idea\">" + escapar_html(n.idea) + "</p>\n" +
           datos_nivel(n) + "<p class=\"jugar\"><a class=\"boton\" href=\"/niveles/" + id + "/jugar\">&#9654; Play</a></p></li>\n";
    }
    h += "</ul>\n";
    h += LEYENDA_CUENTAS;
  }
  h += "<nav>";
  if (g.tras.hay) {
    h += "<a href=\"" + enlace_galeria(g.orden, g.buscar, "") + "\">&laquo; first</a>";
  }
  if (mas) {
    h += "<a href=\"" + enlace_galeria(g.orden, g.buscar, cursor_galeria(g.orden, niveles.back())) + "\">next &rsaquo;</a>";
  }
  h += "</nav>\n" + fin_pagina();
  return r;
}

respuesta pagina_nivel(almacen *a, const nivel_publicado &n, const std::string &consulta)
{
  std::vector<parametro> ps;
  std::string motivo;
  cursor_pagina tras;
  if (!leer_consulta(consulta, ps, motivo)) {
    return fallo(400, motivo);
  }
  if (const std::string *v = buscar_parametro(ps, "tras"); v != nullptr && !v->empty() && !leer_cursor(*v, false, tras)) {
    return fallo(400, "tras must be points, a dot and a run's number");
  }
  // A player looked for: the board from that player's best run on.
  std::string nombre, aviso;
  int64_t buscada = -1;
  if (const std::string *v = buscar_parametro(ps, "nombre"); v != nullptr) {
    nombre = v->substr(0, 80);
    nombre.erase(nombre.find_last_not_of(' ') + 1);
  }
  if (!nombre.empty()) {
    cursor_pagina suya;
    int64_t posicion = 0;
    const resultado_busqueda hay = almacen_marca_de(a, n.id, nombre, suya, posicion);
    if (hay == FALLO_ALMACEN) {
      return fallo(503, "the level's board cannot be read now; try again later");
    }
    if (hay == NINGUNA) {
      aviso = "No run of " + escapar_html(nombre) + " on this board.";
    } else {
      tras = {true, suya.valor, suya.id - 1};
      buscada = suya.id;
    }
  }
  std::vector<marca_nivel> marcas;
  if (!almacen_marcas(a, n.id, tras, MARCAS_POR_PAGINA + 1, marcas)) {
    return fallo(503, "the level's board cannot be read now; try again later");
  }
  const bool mas = marcas.size() > static_cast<size_t>(MARCAS_POR_PAGINA);
  if (mas) {
    marcas.pop_back();
  }
  const std::string id = id_nivel_texto(n.id);
  respuesta r;
  r.tipo = "text/html; charset=utf-8";
  std::string &h = r.cuerpo;
  h = principio_pagina("fotonauta: " + escapar_html(n.titulo), escapar_html(n.titulo));
  h += "<nav class=\"tablas\"><a href=\"/niveles\">All levels</a><a href=\"/\">World table</a></nav>\n";
  h += "<img class=\"tablero\" src=\"/niveles/" + id + ".png\" width=\"480\" height=\"288\" alt=\"the board of " +
       escapar_html(n.titulo) + "\">\n<p class=\"idea\">" + escapar_html(n.idea) + "</p>\n" + datos_nivel(n);
  h += "<p class=\"jugar\"><a class=\"boton\" href=\"/niveles/" + id + "/jugar\">&#9654; Play in the browser</a></p>\n";
  h += "<p class=\"jugar\"><a href=\"fotonauta://nivel/" + id + "\">&#9654; Play in the game</a> &middot; or run <code>fotonauta --nivel " +
       id + "</code> &middot; <a href=\"/niveles/" + id + ".txt\" download>download " + id + ".txt</a></p>\n";
  if (buscada >= 0 && !marcas.empty()) {
    aviso = escapar_html(nombre) + ": rank " + numero(marcas[0].puesto) + ", " + numero(marcas[0].puntos) + " points.";
  }
  h += "<h2>Board</h2>\n<form method=\"get\" action=\"/niveles/" + id +
       "\" accept-charset=\"utf-8\"><label>Find a player: <input type=\"search\" name=\"nombre\" maxlength=\"20\" value=\"" +
       escapar_html(nombre) + "\"></label> <button type=\"submit\">Find</button></form>\n";
  if (!aviso.empty()) {
    h += "<p class=\"aviso\">" + aviso + "</p>\n";
  }
  if (marcas.empty()) {
    h += "<p class=\"aviso\">No verified runs yet.</p>\n";
  } else {
    h += "<div class=\"tabla\"><table>\n"
         "<thead><tr><th class=\"n\">Rank</th><th>Name</th><th class=\"n\">Points</th><th>Date</th>"
         "<th>Recording</th></tr></thead>\n<tbody>\n";
    for (const marca_nivel &m : marcas) {
      h += std::string(m.id == buscada ? "<tr class=\"buscada\">" : "<tr>") + "<td class=\"n\">" + numero(m.puesto) +
           "</td><td class=\"nombre\">" + escapar_html(m.nombre) +
           "</td><td class=\"n puntos\">" + numero(m.puntos) + "</td><td>" + fecha_texto(m.recibida, false) +
           "</td><td class=\"repeticion\"><span class=\"verificada\" title=\"proved by a recording\">&#10003;</span>";
      if (m.guardada) {
        h += " <a class=\"ver\" href=\"/ver/niveles/" + id + "/" + numero(m.id) + "\">&#9654; Watch</a>";
        h += " <a href=\"" + url_repeticion_marca(n.id, m.id) + "\" type=\"" + TIPO_REPETICION + "\" download>recording</a>";
      }
      h += boton_denuncia(m.id) + "</td></tr>\n";
    }
    h += "</tbody>\n</table></div>\n";
  }
  h += "<nav>";
  if (tras.hay) {
    h += "<a href=\"/niveles/" + id + "\">&laquo; the top</a>";
  }
  if (mas) {
    h += "<a href=\"/niveles/" + id + "?tras=" + numero(marcas.back().puntos) + "." + numero(marcas.back().id) +
         "\">next &rsaquo;</a>";
  }
  h += "</nav>\n<p class=\"aviso\">" + numero(n.jugadores) + (n.jugadores == 1 ? " player" : " players") +
       " ranked by their best run proved by a recording.</p>\n" + LEYENDA_CUENTAS;
  h += "<form class=\"denuncia\" method=\"post\" action=\"/niveles/" + id +
       "/denuncia\"><button type=\"submit\">Report this level</button></form>\n";
  h += fin_pagina();
  return r;
}

respuesta pagina_denuncia(const nivel_publicado &n)
{
  respuesta r;
  r.tipo = "text/html; charset=utf-8";
  r.cuerpo = principio_pagina("fotonauta: level reported", "Level reported") + "<p class=\"aviso\">Thank you: " +
             escapar_html(n.titulo) + " is reported to the server's operator.</p>\n<nav><a href=\"/niveles/" +
             id_nivel_texto(n.id) + "\">back to the level</a><a href=\"/niveles\">all levels</a></nav>\n" + fin_pagina();
  return r;
}
