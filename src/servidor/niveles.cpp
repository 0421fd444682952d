// The community levels' requests: a level published with a recording that
// wins it, a run sent for a level's board, a report, and the level's text,
// pictures, recordings and JSON. The pages are in galeria.cpp. Nothing
// here plays a recording: the queue's workers do.
#include "nucleo/nucleo.h"
#include "repeticion/repeticion.h"
#include "servidor/servidor.h"

#include <chrono>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <unordered_map>

namespace {

// The posts one address may make in an hour (publications and runs), per
// server process; configurar_niveles sets it.
limite_direcciones *const limite = crear_limite(20, 3600);

respuesta demasiados(int64_t segundos)
{
  respuesta r = respuesta_texto(429, "too many levels and runs sent from this address: at most " +
                               std::to_string(limite_por_periodo(limite)) + " an hour; try again later");
  r.reintentar = segundos;
  return r;
}

// A name for a level or a run: as an upload's name (ISO 8859-1 from the
// game), or UTF-8 when it reads as UTF-8 of Latin-1 letters (a program that
// speaks UTF-8, the editor); never blank.
bool nombre_de(const std::vector<parametro> &ps, std::string &nombre, std::string &motivo)
{
  const std::string *v = buscar_parametro(ps, "yourname");
  if (v == nullptr) {
    motivo = "missing key yourname";
    return false;
  }
  std::string latin1;
  bool utf8 = false;
  for (size_t i = 0; i < v->size(); ++i) {
    const auto b = static_cast<uint8_t>((*v)[i]);
    if (b < 0x80) {
      latin1 += static_cast<char>(b);
    } else if ((b == 0xC2 || b == 0xC3) && i + 1 < v->size() && (static_cast<uint8_t>((*v)[i + 1]) & 0xC0) == 0x80) {
      latin1 += static_cast<char>(((b & 0x03) << 6) | (static_cast<uint8_t>((*v)[++i]) & 0x3F));
      utf8 = true;
    } else {
      utf8 = false;
      latin1.clear();
      break;
    }
  }
  if (!leer_nombre(utf8 ? latin1 : *v, nombre, motivo)) {
    return false;
  }
  if (nombre.empty()) {
    motivo = "the name must be 1 to " + std::to_string(LONG_NOMBRE) + " characters";
    return false;
  }
  return true;
}

// The start of a parser's message "line L, column C: ..." as "L:C: ...".
std::string linea_columna(const std::string &error)
{
  int linea = 0, columna = 0, leidos = 0;
  if (std::sscanf(error.c_str(), "line %d, column %d: %n", &linea, &columna, &leidos) == 2 && leidos > 0) {
    return std::to_string(linea) + ":" + std::to_string(columna) + ": " + error.substr(static_cast<size_t>(leidos));
  }
  return error;
}

std::string primer_problema(const nivel_texto &n)
{
  std::vector<problema_nivel> problemas;
  if (comprobar_nivel_servidor(n, problemas)) {
    return "";
  }
  const problema_nivel &p = problemas.front();
  return (p.celda >= 0 ? nombre_celda(p.celda) + ": " : std::string()) + p.texto;
}

// A header that cannot be the game of this level played alone is refused
// here, at the cost of one checksum, before it takes a worker.
bool cabecera_de_nivel(const std::string &cuerpo, size_t desde, const nivel_texto &nivel, std::string &motivo, int &estado)
{
  const uint64_t hash = hash_nivel(nivel);
  cabecera_repeticion c;
  estado = 422;
  if (!leer_cabecera_repeticion(reinterpret_cast<const uint8_t *>(cuerpo.data()) + desde, cuerpo.size() - desde, c,
                                motivo)) {
    estado = 400;
    motivo = "the recording cannot be read: " + motivo;
    return false;
  }
  if ((c.banderas & REPETICION_SUELTO) == 0) {
    motivo = "the recording is not of a level played alone";
    return false;
  }
  if (c.hash_niveles != hash) {
    motivo = "the recording was played on another level";
    return false;
  }
  return comprobar_inicio(c, &nivel, motivo);
}

// The level named by a path's ID: found and shown, or the answer.
bool nivel_visible(almacen *a, const std::string &cifras, nivel_publicado &n, respuesta &r)
{
  int64_t id = 0;
  if (!leer_id_nivel(cifras, id)) {
    r = respuesta_texto(404, "no such level: an ID is 16 lower-case hexadecimal digits");
    return false;
  }
  const resultado_busqueda hay = almacen_nivel(a, id, n);
  if (hay == FALLO_ALMACEN) {
    r = respuesta_texto(503, "the levels cannot be read now; try again later");
    return false;
  }
  if (hay == NINGUNA) {
    r = respuesta_texto(404, "no level " + cifras);
    return false;
  }
  if (n.oculto) {
    r = respuesta_texto(410, "level " + cifras + " was hidden by the server's operator");
    return false;
  }
  return true;
}

// A level as JSON; its players (on its board) only when they were counted.
std::string json_nivel(const nivel_publicado &n, bool con_jugadores)
{
  const std::string id = id_nivel_texto(n.id);
  return "{\"id\":\"" + id + "\",\"titulo\":\"" + escapar_json(n.titulo) + "\",\"idea\":\"" + escapar_json(n.idea) +
         "\",\"creador\":\"" + escapar_json(n.creador) + "\",\"fecha\":\"" + fecha_texto(n.publicado, true) +
         "\",\"jugadas\":" + std::to_string(n.jugadas) + ",\"victorias\":" + std::to_string(n.victorias) +
         ",\"mejor\":" + (n.mejor > 0 ? std::to_string(n.mejor) : std::string("null")) +
         (con_jugadores ? ",\"jugadores\":" + std::to_string(n.jugadores) : std::string()) + ",\"pagina\":\"/niveles/" + id + "\",\"texto\":\"/api/niveles/" +
         id + "/texto\",\"imagen\":\"/niveles/" + id + ".png\",\"jugar\":\"fotonauta://nivel/" + id + "\"}";
}

// GET /api/niveles: a page of the gallery as JSON, with the cursor of the
// next page.
respuesta api_galeria(almacen *a, const std::string &consulta)
{
  consulta_galeria g;
  std::string motivo;
  if (!leer_consulta_galeria(consulta, g, motivo)) {
    return respuesta_texto(400, motivo);
  }
  std::vector<nivel_publicado> niveles;
  if (!almacen_galeria(a, g.orden, texto_de_busqueda(g.buscar), g.tras, NIVELES_POR_PAGINA + 1, niveles)) {
    return respuesta_texto(503, "the levels cannot be read now; try again later");
  }
  const bool mas = niveles.size() > static_cast<size_t>(NIVELES_POR_PAGINA);
  niveles.resize(std::min(niveles.size(), static_cast<size_t>(NIVELES_POR_PAGINA)));
  respuesta r;
  r.tipo = "application/json";
  r.cuerpo = "{\"niveles\":[";
  for (size_t i = 0; i < niveles.size(); ++i) {
    r.cuerpo += (i == 0 ? "\n" : ",\n") + json_nivel(niveles[i], false);
  }
  r.cuerpo += "],\"siguiente\":" + (mas ? "\"" + cursor_galeria(g.orden, niveles.back()) + "\"" : std::string("null")) + "}\n";
  return r;
}

// GET /api/niveles/ID: the level and the top of its board.
respuesta api_nivel(almacen *a, const nivel_publicado &n)
{
  std::vector<marca_nivel> marcas;
  if (!almacen_marcas(a, n.id, {}, MARCAS_POR_PAGINA, marcas)) {
    return respuesta_texto(503, "the levels cannot be read now; try again later");
  }
  respuesta r;
  r.tipo = "application/json";
  std::string j = json_nivel(n, true);
  j.pop_back();
  j += ",\"tabla\":[";
  for (size_t i = 0; i < marcas.size(); ++i) {
    const marca_nivel &m = marcas[i];
    j += std::string(i == 0 ? "\n" : ",\n") + "{\"puesto\":" + std::to_string(m.puesto) + ",\"nombre\":\"" +
         escapar_json(m.nombre) + "\",\"puntos\":" + std::to_string(m.puntos) + ",\"gana\":" + (m.gana ? "true" : "false") +
         ",\"fecha\":\"" + fecha_texto(m.recibida, true) + "\",\"repeticion\":" +
         (m.guardada ? "\"" + url_repeticion_marca(n.id, m.id) + "\"" : std::string("null")) + "}";
  }
  r.cuerpo = j + "]}\n";
  return r;
}

respuesta png(const std::string &bytes)
{
  if (bytes.empty()) {
    return respuesta_texto(500, "the picture cannot be drawn");
  }
  respuesta r;
  r.tipo = "image/png";
  r.cuerpo = bytes;
  return r;
}

}  // namespace

void configurar_niveles(const opciones_niveles &o) { cambiar_limite(limite, o.publicaciones_por_hora); }

std::string url_repeticion_marca(int64_t nivel, int64_t marca)
{
  return "/niveles/" + id_nivel_texto(nivel) + "/repeticiones/" + std::to_string(marca) + ".frep";
}

respuesta publicar_nivel(cola *c, const std::string &consulta, const std::string &cuerpo, const std::string &direccion,
                         int64_t ahora, const firma_envio &f)
{
  if (const int64_t espera = admitir_envio(limite, direccion, ahora); espera > 0) {
    return demasiados(espera);
  }
  if (cuerpo.size() > MAX_BYTES_NIVEL + MAX_BYTES_REPETICION) {
    return respuesta_texto(413, "the body is larger than the largest level and recording (" +
                          std::to_string(MAX_BYTES_NIVEL + MAX_BYTES_REPETICION) + " bytes)");
  }
  std::vector<parametro> ps;
  std::string motivo, nombre;
  if (!leer_consulta(consulta, ps, motivo) || !nombre_de(ps, nombre, motivo)) {
    return respuesta_texto(400, motivo);
  }
  const std::string *largo = buscar_parametro(ps, "nivel");
  if (largo == nullptr || largo->empty() || largo->size() > 6 || largo->find_first_not_of("0123456789") != std::string::npos) {
    return respuesta_texto(400, "nivel must be the level text's length in bytes");
  }
  const size_t n = std::strtoul(largo->c_str(), nullptr, 10);
  if (n > MAX_BYTES_NIVEL) {
    return respuesta_texto(413, "the level text is longer than the longest level taken (" + std::to_string(MAX_BYTES_NIVEL) + " bytes)");
  }
  if (n > cuerpo.size()) {
    return respuesta_texto(400, "the body is shorter than the level text it announces (" + std::to_string(n) + " bytes)");
  }
  nivel_texto nivel;
  if (!interpretar_nivel_texto(cuerpo.substr(0, n), nivel, motivo)) {
    return respuesta_texto(400, linea_columna(motivo));
  }
  const std::string problema = primer_problema(nivel);
  if (!problema.empty()) {
    return respuesta_texto(422, "the level breaks the level rules: " + problema);
  }
  if (cuerpo.size() == n) {
    return respuesta_texto(422, "the recording does not win this level: there is no recording after the level text");
  }
  int estado = 0;
  if (!cabecera_de_nivel(cuerpo, n, nivel, motivo, estado)) {
    return respuesta_texto(estado, "the recording does not win this level: " + motivo);
  }
  if (respuesta r; !comprobar_firma("/api/niveles", nombre, cuerpo, f, r)) {
    return r;
  }
  peticion_nivel p;
  p.firmante = f.clave;
  p.clase = TRABAJO_PUBLICAR;
  p.nivel = id_nivel_canonico(nivel);
  p.nombre = nombre;
  p.clave = "publicar " + id_nivel_texto(p.nivel);
  p.texto = escribir_nivel_texto(nivel);
  p.recibida = ahora;
  return cola_verificar_nivel(c, p, cuerpo.substr(n), direccion);
}

respuesta recibir_marca(cola *c, almacen *a, int64_t id, const std::string &consulta, const std::string &cuerpo,
                        const std::string &direccion, int64_t ahora, const firma_envio &f)
{
  if (const int64_t espera = admitir_envio(limite, direccion, ahora); espera > 0) {
    return demasiados(espera);
  }
  std::vector<parametro> ps;
  std::string motivo, nombre;
  if (!leer_consulta(consulta, ps, motivo) || !nombre_de(ps, nombre, motivo)) {
    return respuesta_texto(400, motivo);
  }
  nivel_publicado n;
  respuesta r;
  if (!nivel_visible(a, id_nivel_texto(id), n, r)) {
    return r;
  }
  if (cuerpo.empty()) {
    return respuesta_texto(400, "no recording: the body must be the .frep file");
  }
  nivel_texto guardado;
  if (!interpretar_nivel_texto(n.texto, guardado, motivo)) {
    return respuesta_texto(500, "the stored level cannot be read: " + motivo);
  }
  int estado = 0;
  if (!cabecera_de_nivel(cuerpo, 0, guardado, motivo, estado)) {
    return respuesta_texto(cuerpo.size() > MAX_BYTES_REPETICION ? 413 : estado, motivo);
  }
  if (respuesta sin_firma; !comprobar_firma("/api/niveles/" + id_nivel_texto(id) + "/repeticiones", nombre, cuerpo, f, sin_firma)) {
    return sin_firma;
  }
  // One job per game sent: the same recording sent twice waits for the
  // same proof.
  uint64_t huella_bytes = 0xcbf29ce484222325ULL;
  for (const char x : cuerpo) {
    huella_bytes = (huella_bytes ^ static_cast<uint8_t>(x)) * 0x100000001b3ULL;
  }
  peticion_nivel p;
  p.clase = TRABAJO_MARCA;
  p.nivel = id;
  p.nombre = nombre;
  p.clave = "marca " + id_nivel_texto(id) + " " + id_nivel_texto(static_cast<int64_t>(huella_bytes));
  p.firmante = f.clave;
  p.texto = n.texto;
  p.recibida = ahora;
  return cola_verificar_nivel(c, p, cuerpo, direccion);
}

respuesta denunciar_nivel(almacen *a, int64_t id, const std::string &direccion)
{
  nivel_publicado n;
  respuesta r;
  if (!nivel_visible(a, id_nivel_texto(id), n, r)) {
    return r;
  }
  if (!almacen_denunciar(a, id, hash_direccion(direccion))) {
    return respuesta_texto(503, "the report cannot be written now; try again later");
  }
  return pagina_denuncia(n);
}

bool atender_niveles(almacen *a, const std::string &ruta, const std::string &consulta, const std::string &direccion,
                     respuesta &r)
{
  if (ruta == "/niveles" || ruta == "/niveles/") {
    r = pagina_galeria(a, consulta);
    return true;
  }
  if (ruta == "/api/niveles") {
    r = api_galeria(a, consulta);
    return true;
  }
  const std::string web = "/niveles/", api = "/api/niveles/";
  const bool es_api = ruta.rfind(api, 0) == 0;
  if (!es_api && ruta.rfind(web, 0) != 0) {
    return false;
  }
  const std::string resto = ruta.substr(es_api ? api.size() : web.size());
  const std::string cifras = resto.substr(0, 16);
  const std::string cola_ruta = resto.size() > 16 ? resto.substr(16) : "";
  nivel_publicado n;
  if (!nivel_visible(a, cifras, n, r)) {
    if (!es_api && cola_ruta == "/jugar") {
      r = pagina_jugar_ausente(r);
    }
    return true;
  }
  if (es_api && cola_ruta.empty()) {
    r = api_nivel(a, n);
  } else if (es_api && cola_ruta == "/texto") {
    // The game fetches the level here to play it: a play, once per address.
    if (!almacen_contar_jugada(a, n.id, hash_direccion(direccion))) {
      r = respuesta_texto(503, "the level cannot be read now; try again later");
      return true;
    }
    r = {};
    r.cuerpo = n.texto;
  } else if (es_api) {
    r = respuesta_texto(404, "not found");
  } else if (cola_ruta.empty()) {
    r = pagina_nivel(a, n, consulta);
  } else if (cola_ruta == "/jugar") {
    r = pagina_jugar(n);
  } else if (cola_ruta == ".txt") {
    r = {};
    r.cuerpo = n.texto;
    r.adjunto = cifras + ".txt";
  } else if (cola_ruta == ".png" || cola_ruta == "-p.png") {
    r = png(imagen_nivel(n.id, n.texto, cola_ruta == "-p.png"));
  } else if (cola_ruta.rfind("/repeticiones/", 0) == 0 && cola_ruta.size() > 19 &&
             cola_ruta.compare(cola_ruta.size() - 5, 5, ".frep") == 0) {
    const std::string numero = cola_ruta.substr(14, cola_ruta.size() - 19);
    std::string datos, nombre;
    const resultado_busqueda hay =
        numero.empty() || numero.size() > 15 || numero.find_first_not_of("0123456789") != std::string::npos
            ? NINGUNA
            : almacen_repeticion_marca(a, n.id, std::strtoll(numero.c_str(), nullptr, 10), datos, nombre);
    if (hay == FALLO_ALMACEN) {
      r = respuesta_texto(503, "the recording cannot be read now; try again later");
    } else if (hay == NINGUNA) {
      r = respuesta_texto(404, "no recording " + numero + " on this level's board");
    } else if (hay == PODADA) {
      r = respuesta_texto(410, "recording " + numero + " was pruned: no row on the board needs it any more");
    } else {
      r = {};
      r.tipo = TIPO_REPETICION;
      r.cuerpo = datos;
      r.adjunto = cifras + "-" + numero + ".frep";
    }
  } else {
    r = respuesta_texto(404, "not found");
  }
  return true;
}
