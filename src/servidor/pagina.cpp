// The world table as a web page and as JSON. The page is plain HTML with
// its style inline: no script, nothing fetched but the logo. It shows the
// verified table (each player's best score proved by a recording, with
// the recording to download) unless the whole table is asked for.
#include "codigo/codigo.h"
#include "servidor/servidor.h"

#include <algorithm>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// Rows shown on each side of a player's best row when a name is looked up.
constexpr int64_t FILAS_ALREDEDOR = 5;

// The game's own colours: black, the beam's red, the energy bar's yellow
// and green, and the gold of its lettering.
const char *const ESTILO =
    "body{background:#000;color:#e8e8e8;font-family:'DejaVu Sans',Verdana,sans-serif;"
    "margin:0;padding:1em 0.5em}"
    "header{text-align:center;border-bottom:3px solid #f00;padding-bottom:0.5em;margin-bottom:1em}"
    "header img{max-width:100%;height:auto}"
    "h1{color:#ffcf5a;font-size:1.4em;margin:0.3em 0}"
    "main{max-width:52em;margin:auto}"
    "table{width:100%;border-collapse:collapse;margin:1em 0}"
    "th{color:#ff0;text-align:left;border-bottom:1px solid #f00;padding:0.3em}"
    "td{padding:0.25em 0.3em;border-bottom:1px solid #222}"
    "td.n,th.n{text-align:right;font-variant-numeric:tabular-nums}"
    "td.puntos{color:#0f0;font-weight:bold}"
    "td.nombre{color:#ffcf5a;font-weight:bold;white-space:pre}"
    "tr.buscada{background:#400}"
    "td.repeticion{white-space:nowrap}"
    "span.verificada{color:#0f0}"
    "nav.tablas a,nav.tablas strong{margin:0 0.6em}"
    "nav.tablas strong{color:#ffcf5a}"
    "a{color:#ff0}"
    "a.boton{display:inline-block;border:1px solid #f00;background:#111;padding:0.2em 0.8em;text-decoration:none;font-weight:bold}"
    "nav{text-align:center;margin:1em 0}"
    "nav a,nav span{margin:0 0.4em}"
    "form{text-align:center}"
    "input,button{font:inherit;background:#111;color:#ffcf5a;border:1px solid #f00;padding:0.2em 0.5em}"
    "p.aviso{text-align:center;color:#ff0}"
    "p.leyenda{text-align:center;color:#aaa;font-size:0.85em}"
    // The community levels: the gallery's cards and a level's page.
    "h2{color:#ffcf5a;font-size:1.15em;margin:0.4em 0}"
    "ul.galeria{list-style:none;padding:0;display:grid;grid-template-columns:repeat(auto-fill,minmax(15em,1fr));gap:1em}"
    "ul.galeria li{border:1px solid #400;padding:0.5em;background:#0a0a0a}"
    "ul.galeria h2{font-size:1em}"
    "img.tablero{width:100%;height:auto;display:block;border:1px solid #f00}"
    "p.idea{color:#ccc;font-style:italic;margin:0.3em 0}"
    "p.datos{font-size:0.85em;color:#aaa;margin:0.3em 0}"
    "p.datos strong{color:#0f0}"
    "p.jugar{text-align:center;font-size:1.1em}"
    "p.jugar a{font-weight:bold}"
    "code{color:#0f0;background:#111;padding:0.1em 0.3em}"
    "form.denuncia{text-align:right;margin:1em 0}"
    "form.denuncia button{font-size:0.8em;color:#aaa;border-color:#444}"
    "form.partida{display:inline;margin:0 0 0 0.4em}"
    "form.partida button{font-size:0.75em;color:#aaa;border-color:#444;padding:0 0.3em}"
    // A table wider than the screen scrolls in its own box, not the page.
    "div.tabla{overflow-x:auto}"
    // A phone's width: the columns tighter, a long name and the
    // recording's cell wrapped, so the whole row fits.
    "@media (max-width:40em){"
    "body{padding:0.5em 0.2em}"
    "table{font-size:0.85em}"
    "th,td{padding:0.2em 0.15em}"
    "td.nombre{white-space:pre-wrap;overflow-wrap:anywhere}"
    "td.repeticion{white-space:normal}"
    "form.partida{margin:0}"
    "nav.tablas a,nav.tablas strong{margin:0 0.3em;display:inline-block}"
    "}";

}  // namespace

std::string boton_denuncia(int64_t partida)
{
  return "<form class=\"partida\" method=\"post\" action=\"/repeticiones/" + std::to_string(partida) +
         "/denuncia\"><button type=\"submit\" title=\"report this game to the server's operator\">Report</button></form>";
}

std::string fecha_texto(int64_t segundos, bool con_hora)
{
  const auto t = static_cast<time_t>(segundos);
  std::tm partes{};
  gmtime_r(&t, &partes);
  char texto[32];
  std::strftime(texto, sizeof texto, con_hora ? "%Y-%m-%dT%H:%M:%SZ" : "%Y-%m-%d", &partes);
  return texto;
}

const char *estilo_paginas() { return ESTILO; }

std::string principio_pagina(const std::string &titulo, const std::string &encabezado, const std::string &hoja)
{
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
         titulo + "</title>\n" + (hoja.empty() ? "<style>" + std::string(ESTILO) + "</style>" : "<link rel=\"stylesheet\" href=\"" + hoja + "\">") +
         "\n</head>\n<body>\n<header><img src=\"/logo.png\" alt=\"fotonauta\" width=\"788\" height=\"150\">\n"
         "<h1>" +
         encabezado + "</h1></header>\n<main>\n";
}

std::string fin_pagina() { return "</main>\n</body>\n</html>\n"; }

namespace {

std::string fecha(int64_t segundos, bool con_hora) { return fecha_texto(segundos, con_hora); }

std::string numero(int64_t n) { return std::to_string(n); }

// A link to a page of a table.
std::string enlace(tabla t, int64_t pagina, const std::string &texto)
{
  return "<a href=\"/?" + std::string(t == TABLA_COMPLETA ? "todas=1&amp;" : "") + "pagina=" + numero(pagina) + "\">" +
         texto + "</a>";
}

// A link to the page after (`tras`) or before (`antes`) a row: deep pages
// go from a row's key, never by skipping rows.
std::string enlace_clave(tabla t, const char *direccion, const puntuacion &p, const std::string &texto)
{
  return "<a href=\"/?" + std::string(t == TABLA_COMPLETA ? "todas=1&amp;" : "") + direccion + "=" +
         texto_clave({p.puntos, p.id}) + "\">" + texto + "</a>";
}

// The last column: a verified row's mark, while its recording is kept
// the link to download it, and the button that reports the game.
std::string celda_repeticion(const puntuacion &p)
{
  if (!p.verificada) {
    return "<td class=\"repeticion\"></td>";
  }
  std::string c = "<td class=\"repeticion\"><span class=\"verificada\" title=\"proved by a recording\">&#10003;</span>";
  if (p.repeticion != 0) {
    c += " <a class=\"ver\" href=\"/ver/" + numero(p.repeticion) + "\">&#9654; Watch</a> <a href=\"/repeticiones/" +
         numero(p.repeticion) + ".frep\" type=\"" + TIPO_REPETICION + "\" download>recording</a>";
  }
  return c + boton_denuncia(p.partida) + "</td>";
}

void tabla_html(std::string &h, const std::vector<puntuacion> &filas, int64_t desde, int64_t marcada)
{
  h += "<div class=\"tabla\"><table>\n"
       "<thead><tr><th class=\"n\">Rank</th><th>Name</th><th class=\"n\">Points</th><th class=\"n\">Levels</th>"
       "<th>Date</th><th>Verified</th></tr></thead>\n"
       "<tbody>\n";
  for (size_t i = 0; i < filas.size(); ++i) {
    const puntuacion &p = filas[i];
    const bool buscada = desde + static_cast<int64_t>(i) == marcada;
    h += buscada ? "<tr class=\"buscada\">" : "<tr>";
    h += "<td class=\"n\">" + numero(p.puesto) + "</td><td class=\"nombre\">" + escapar_html(p.nombre) +
         "</td><td class=\"n puntos\">" + numero(p.puntos) + "</td><td class=\"n\">" + numero(p.fases) +
         "</td><td>" + fecha(p.recibida, false) + "</td>" + celda_repeticion(p) + "</tr>\n";
  }
  h += "</tbody>\n</table></div>\n";
}

// The links around a page whose first row is at position `desde`.
void paginas(std::string &h, tabla t, const std::vector<puntuacion> &filas, int64_t desde, int64_t total,
             int64_t num_paginas)
{
  h += "<nav>";
  if (desde > 0 && !filas.empty()) {
    h += enlace(t, 1, "&laquo; first") + enlace_clave(t, "antes", filas.front(), "&lsaquo; previous");
  }
  h += "<span>page " + numero(desde / FILAS_POR_PAGINA + 1) + " of " + numero(num_paginas) + "</span>";
  if (desde + static_cast<int64_t>(filas.size()) < total && !filas.empty()) {
    h += enlace_clave(t, "tras", filas.back(), "next &rsaquo;") + enlace(t, num_paginas, "last &raquo;");
  }
  h += "</nav>\n";
}

// A name as the game's keyboard types it: a capital at the start of each
// word and small letters after it (the accented ones included). A player
// looking for "ana muñoz" finds "Ana Muñoz".
std::string como_en_el_juego(const std::string &s)
{
  // The accented letters of the keyboard, small then capital, in UTF-8
  // (their second byte; the first is 0xC3).
  static const char PEQUENAS[] = "\xA1\xA9\xAD\xB3\xBA\xB1";
  static const char GRANDES[] = "\x81\x89\x8D\x93\x9A\x91";
  std::string r;
  bool inicio = true;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == ' ') {
      r += c;
      inicio = true;
      continue;
    }
    if (c == '\xC3' && i + 1 < s.size()) {
      char segundo = s[++i];
      const char *p = std::strchr(inicio ? PEQUENAS : GRANDES, segundo);
      if (segundo != '\0' && p != nullptr) {
        segundo = (inicio ? GRANDES : PEQUENAS)[p - (inicio ? PEQUENAS : GRANDES)];
      }
      r += c;
      r += segundo;
    } else if (c >= 'a' && c <= 'z' && inicio) {
      r += static_cast<char>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z' && !inicio) {
      r += static_cast<char>(c - 'A' + 'a');
    } else {
      r += c;
    }
    inicio = false;
  }
  return r;
}

}  // namespace

std::string escapar_html(const std::string &s)
{
  std::string e;
  for (const char c : s) {
    switch (c) {
    case '&': e += "&amp;"; break;
    case '<': e += "&lt;"; break;
    case '>': e += "&gt;"; break;
    case '"': e += "&quot;"; break;
    case '\'': e += "&#39;"; break;
    default: e += c;
    }
  }
  return e;
}

std::string escapar_json(const std::string &s)
{
  std::string e;
  for (const char c : s) {
    const auto b = static_cast<uint8_t>(c);
    if (c == '"' || c == '\\') {
      e += '\\';
      e += c;
    } else if (b < 0x20 || c == '<' || c == '>' || c == '&') {
      // Below 0x20 JSON wants an escape; the HTML specials get one too, so
      // the JSON can be put in a page as it is.
      char x[8];
      std::snprintf(x, sizeof x, "\\u%04x", b);
      e += x;
    } else {
      e += c;
    }
  }
  return e;
}

std::string json_filas(const std::vector<puntuacion> &filas, int64_t desde, int64_t total)
{
  // "tras": the key that asks for the rows after these, or null at the end.
  const bool mas = !filas.empty() && desde - 1 + static_cast<int64_t>(filas.size()) < total;
  std::string j = "{\"total\":" + numero(total) + ",\"desde\":" + numero(desde) + ",\"filas\":[";
  for (size_t i = 0; i < filas.size(); ++i) {
    const puntuacion &p = filas[i];
    j += i == 0 ? "" : ",";
    j += "\n{\"puesto\":" + numero(p.puesto) + ",\"nombre\":\"" + escapar_json(p.nombre) +
         "\",\"puntos\":" + numero(p.puntos) + ",\"fases\":" + numero(p.fases) + ",\"fecha\":\"" +
         fecha(p.recibida, true) + "\",\"verificada\":" + (p.verificada ? "true" : "false") + ",\"repeticion\":" +
         (p.repeticion != 0 ? "\"/repeticiones/" + numero(p.repeticion) + ".frep\"" : std::string("null")) + "}";
  }
  j += "],\"tras\":" +
       (mas ? "\"" + texto_clave({filas.back().puntos, filas.back().id}) + "\"" : std::string("null")) + "}\n";
  return j;
}

respuesta pagina_tabla(almacen *a, const std::string &consulta)
{
  respuesta r;
  std::vector<parametro> ps;
  std::string motivo;
  if (!leer_consulta(consulta, ps, motivo)) {
    r.estado = 400;
    r.cuerpo = motivo + "\n";
    return r;
  }
  const std::string *v_todas = buscar_parametro(ps, "todas");
  const tabla t = v_todas != nullptr && *v_todas == "1" ? TABLA_COMPLETA : TABLA_VERIFICADA;
  const int64_t total = almacen_contar(a, t);
  if (total < 0) {
    r.estado = 503;
    r.cuerpo = "the table cannot be read now; try again later\n";
    return r;
  }
  const int64_t num_paginas = total == 0 ? 1 : (total + FILAS_POR_PAGINA - 1) / FILAS_POR_PAGINA;

  // A page number that is not one goes to the first page; past the last,
  // to the last.
  int64_t pagina = 1;
  if (const std::string *v = buscar_parametro(ps, "pagina");
      v != nullptr && !v->empty() && v->size() < 12 && v->find_first_not_of("0123456789") == std::string::npos) {
    pagina = std::min(std::max<int64_t>(std::stoll(*v), 1), num_paginas);
  }

  std::string nombre;
  if (const std::string *v = buscar_parametro(ps, "nombre"); v != nullptr) {
    nombre = v->substr(0, 4 * LONG_NOMBRE);
    nombre.erase(nombre.find_last_not_of(' ') + 1);
  }

  int64_t desde = (pagina - 1) * FILAS_POR_PAGINA;
  int32_t cuantos = FILAS_POR_PAGINA;
  int64_t marcada = -1;
  std::string aviso;
  if (!nombre.empty()) {
    int64_t pos = -1;
    resultado_busqueda hay = almacen_posicion(a, t, nombre, pos);
    if (hay == NINGUNA) {
      const std::string tecleado = como_en_el_juego(nombre);
      if (tecleado != nombre) {
        hay = almacen_posicion(a, t, tecleado, pos);
        nombre = hay == HALLADA ? tecleado : nombre;
      }
    }
    if (hay == FALLO_ALMACEN) {
      r.estado = 503;
      r.cuerpo = "the table cannot be read now; try again later\n";
      return r;
    }
    if (hay == HALLADA) {
      marcada = pos;
      desde = std::max<int64_t>(pos - FILAS_ALREDEDOR, 0);
      cuantos = static_cast<int32_t>(pos - desde + FILAS_ALREDEDOR + 1);
    } else {
      aviso = "No " + std::string(t == TABLA_VERIFICADA ? "verified" : "ranked") + " score for " +
              escapar_html(nombre) + ".";
    }
  }
  // The page after or before a row, by its key.
  clave_fila clave;
  const std::string *v_tras = buscar_parametro(ps, "tras"), *v_antes = buscar_parametro(ps, "antes");
  const std::string *v_clave = v_tras != nullptr ? v_tras : v_antes;
  const bool por_clave = marcada < 0 && v_clave != nullptr && leer_clave(*v_clave, clave);
  std::vector<puntuacion> filas;
  if (por_clave && !almacen_pagina_clave(a, t, &clave, v_tras == nullptr, cuantos, filas, desde)) {
    r.estado = 503;
    r.cuerpo = "the table cannot be read now; try again later\n";
    return r;
  }
  // A key past either end shows the first page.
  if (por_clave && filas.empty()) {
    desde = 0;
  }
  if ((!por_clave || filas.empty()) && (!almacen_pagina(a, t, desde, cuantos, filas) ||
                                        (marcada >= 0 && filas.size() <= static_cast<size_t>(marcada - desde)))) {
    r.estado = 503;
    r.cuerpo = "the table cannot be read now; try again later\n";
    return r;
  }
  if (marcada >= 0) {
    const puntuacion &mejor = filas[static_cast<size_t>(marcada - desde)];
    aviso = escapar_html(nombre) + ": best rank " + numero(mejor.puesto) + ", " + numero(mejor.puntos) + " points.";
  }

  std::string &h = r.cuerpo;
  r.tipo = "text/html; charset=utf-8";
  h = principio_pagina("fotonauta: world table", "World table");
  // The switch between the two tables.
  h += t == TABLA_VERIFICADA
           ? "<nav class=\"tablas\"><strong>Verified scores</strong><a href=\"/?todas=1\">All scores</a>"
             "<a href=\"/niveles\">Community levels</a></nav>\n"
           : "<nav class=\"tablas\"><a href=\"/\">Verified scores</a><strong>All scores</strong>"
             "<a href=\"/niveles\">Community levels</a></nav>\n";
  h += "<form method=\"get\" action=\"/\" accept-charset=\"utf-8\">";
  if (t == TABLA_COMPLETA) {
    h += "<input type=\"hidden\" name=\"todas\" value=\"1\">";
  }
  h += "<label>Find a player: <input type=\"search\" name=\"nombre\" maxlength=\"20\" value=\"" + escapar_html(nombre) +
       "\"></label> <button type=\"submit\">Find</button></form>\n";
  if (!aviso.empty()) {
    h += "<p class=\"aviso\">" + aviso + "</p>\n";
  }
  if (total == 0) {
    h += t == TABLA_VERIFICADA
             ? "<p class=\"aviso\">No verified scores yet: upload yours from the game's Scores screen.</p>\n"
             : "<p class=\"aviso\">No scores yet: upload yours from the game's Scores screen.</p>\n";
  } else {
    tabla_html(h, filas, desde, marcada);
    if (marcada >= 0) {
      h += "<nav>" + enlace(t, desde / FILAS_POR_PAGINA + 1, "this part of the table") + enlace(t, 1, "the top") +
           "</nav>\n";
    } else {
      paginas(h, t, filas, desde, total, num_paginas);
    }
  }
  if (t == TABLA_VERIFICADA) {
    h += "<p class=\"aviso\">" + numero(total) + (total == 1 ? " player" : " players") +
         " ranked by their best score proved by a recording.</p>\n";
  } else {
    h += "<p class=\"aviso\">" + numero(total) + (total == 1 ? " score" : " scores") + " ranked, verified or not.</p>\n";
  }
  h += fin_pagina();
  return r;
}
