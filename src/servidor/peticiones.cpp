// What the server answers to each request: the upload, the recordings
// sent and downloaded, the page, the JSON rows and the logo. Nothing here
// touches a socket.
#include "codigo/codigo.h"
#include "repeticion/repeticion.h"
#include "servidor/servidor.h"

#include <cstring>

namespace {

int valor_hex(char c)
{
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  return -1;
}

bool decodificar(const std::string &s, std::string &salida)
{
  salida.clear();
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '+') {
      salida += ' ';
    } else if (s[i] == '%') {
      const int alto = i + 1 < s.size() ? valor_hex(s[i + 1]) : -1;
      const int bajo = i + 2 < s.size() ? valor_hex(s[i + 2]) : -1;
      if (alto < 0 || bajo < 0) {
        return false;
      }
      salida += static_cast<char>(alto * 16 + bajo);
      i += 2;
    } else {
      salida += s[i];
    }
  }
  return true;
}

// A whole number from 0 to `maximo`, written in plain digits.
bool leer_numero(const std::string &s, int64_t maximo, int64_t &n)
{
  if (s.empty() || s.size() > 18 || s.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  n = std::stoll(s);
  return n <= maximo;
}

}  // namespace

bool leer_clave(const std::string &s, clave_fila &c)
{
  const size_t punto = s.find('.');
  int64_t puntos = 0, id = 0;
  if (punto == std::string::npos || !leer_numero(s.substr(0, punto), INT32_MAX, puntos) ||
      !leer_numero(s.substr(punto + 1), INT64_C(1) << 62, id)) {
    return false;
  }
  c = {static_cast<int32_t>(puntos), id};
  return true;
}

std::string texto_clave(clave_fila c) { return std::to_string(c.puntos) + "." + std::to_string(c.id); }

namespace {

respuesta subir(almacen *a, const std::string &consulta, int64_t ahora)
{
  puntuacion p;
  std::string motivo;
  if (!leer_subida(consulta, ahora, p, motivo)) {
    return respuesta_texto(400, motivo);
  }
  switch (almacen_guardar(a, p)) {
  case GUARDADA_NUEVA:
    return respuesta_texto(200, p.trampa ? "stored, unranked: the game was tampered with" : "stored");
  case GUARDADA_YA:
    return respuesta_texto(200, "already stored");
  case GUARDADA_FALLO:
    break;
  }
  return respuesta_texto(503, "the table cannot be written now; try again later");
}

respuesta api(almacen *a, const std::string &consulta)
{
  std::vector<parametro> ps;
  std::string motivo;
  if (!leer_consulta(consulta, ps, motivo)) {
    return respuesta_texto(400, motivo);
  }
  int64_t desde = 1;
  int64_t cuantos = FILAS_POR_PAGINA;
  const std::string *v = buscar_parametro(ps, "desde");
  if (v != nullptr && (!leer_numero(*v, INT64_C(1) << 40, desde) || desde < 1)) {
    return respuesta_texto(400, "desde must be a rank from 1");
  }
  v = buscar_parametro(ps, "cuantos");
  if (v != nullptr && !leer_numero(*v, MAX_FILAS_API, cuantos)) {
    return respuesta_texto(400, "cuantos must be a number from 0 to " + std::to_string(MAX_FILAS_API));
  }
  // The whole table unless the verified one is asked for: the rows as
  // clients read them before recordings were verified.
  tabla t = TABLA_COMPLETA;
  v = buscar_parametro(ps, "verificadas");
  if (v != nullptr && *v != "0" && *v != "1") {
    return respuesta_texto(400, "verificadas must be 0 or 1");
  }
  if (v != nullptr && *v == "1") {
    t = TABLA_VERIFICADA;
  }
  // Or the rows after a key that an answer gave as "tras".
  clave_fila clave;
  v = buscar_parametro(ps, "tras");
  if (v != nullptr && (buscar_parametro(ps, "desde") != nullptr || !leer_clave(*v, clave))) {
    return respuesta_texto(400, "tras must be a key as an answer gives it, without desde");
  }
  std::vector<puntuacion> filas;
  const int64_t total = almacen_contar(a, t);
  // Past the last rank there is nothing to read, however far.
  if (total >= 0 && desde > total) {
    cuantos = 0;
  }
  bool bien = total >= 0;
  if (bien && v != nullptr) {
    int64_t posicion = 0;
    bien = almacen_pagina_clave(a, t, &clave, false, static_cast<int32_t>(cuantos), filas, posicion);
    desde = posicion + 1;
  } else if (bien && cuantos > 0) {
    bien = almacen_pagina(a, t, desde - 1, static_cast<int32_t>(cuantos), filas);
  }
  if (!bien) {
    return respuesta_texto(503, "the table cannot be read now; try again later");
  }
  respuesta r;
  r.tipo = "application/json";
  r.cuerpo = json_filas(filas, desde, total);
  return r;
}

// GET /repeticiones/ID.frep: a recording kept, as the file the game wrote,
// downloaded under its row's code.
const char *const SQL_DESCARGA =
    "SELECT r.guardada, r.datos, p.codigo FROM repeticiones r JOIN puntuaciones p ON p.repeticion = r.id"
    " WHERE r.id = $1";

respuesta descargar(almacen *a, const std::string &ruta)
{
  const std::string prefijo = "/repeticiones/", extension = ".frep";
  const std::string cifras = ruta.substr(prefijo.size(), ruta.size() - prefijo.size() - extension.size());
  int64_t id = 0;
  if (ruta.size() <= prefijo.size() + extension.size() || ruta.compare(ruta.size() - extension.size(), extension.size(), extension) != 0 ||
      !leer_numero(cifras, INT64_C(1) << 53, id)) {
    return respuesta_texto(404, "not found");
  }
  std::vector<fila_sql> filas;
  std::string error;
  if (!almacen_transaccion(a, false, [&](sesion_sql &s) { return sql(s, SQL_DESCARGA, {sql_entero(id)}, &filas, error); },
                           error)) {
    return respuesta_texto(503, "the recording cannot be read now; try again later");
  }
  if (filas.empty()) {
    return respuesta_texto(404, "no recording " + cifras);
  }
  if (filas[0][0].entero != 1) {
    return respuesta_texto(410, "recording " + cifras + " was pruned: no row on the tables needs it any more");
  }
  respuesta r;
  r.tipo = TIPO_REPETICION;
  r.cuerpo = filas[0][1].texto;
  r.adjunto = filas[0][2].texto + ".frep";
  return r;
}

}  // namespace

bool leer_consulta(const std::string &consulta, std::vector<parametro> &parametros, std::string &motivo)
{
  parametros.clear();
  size_t inicio = 0;
  while (inicio <= consulta.size() && !consulta.empty()) {
    size_t fin = consulta.find('&', inicio);
    if (fin == std::string::npos) {
      fin = consulta.size();
    }
    const std::string par = consulta.substr(inicio, fin - inicio);
    inicio = fin + 1;
    if (par.empty()) {
      continue;
    }
    const size_t igual = par.find('=');
    parametro p;
    if (!decodificar(par.substr(0, igual), p.clave) ||
        !decodificar(igual == std::string::npos ? "" : par.substr(igual + 1), p.valor)) {
      motivo = "a percent-escape is not % and two hexadecimal digits";
      return false;
    }
    if (buscar_parametro(parametros, p.clave.c_str()) != nullptr) {
      motivo = "key " + latin1_a_utf8(p.clave) + " given twice";
      return false;
    }
    parametros.push_back(std::move(p));
  }
  return true;
}

bool leer_nombre(const std::string &valor, std::string &nombre, std::string &motivo)
{
  // The game sends its 20-character name field, ISO 8859-1, blanks and
  // all; control characters never come from its keyboard.
  if (valor.empty() || valor.size() > static_cast<size_t>(LONG_NOMBRE)) {
    motivo = "the name must be 1 to " + std::to_string(LONG_NOMBRE) + " characters";
    return false;
  }
  for (const char c : valor) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x20 || (b >= 0x7F && b < 0xA0)) {
      motivo = "the name holds a control character";
      return false;
    }
  }
  std::string recortado = valor;
  recortado.erase(recortado.find_last_not_of(' ') + 1);
  nombre = latin1_a_utf8(recortado);
  return true;
}

bool leer_subida(const std::string &consulta, int64_t ahora, puntuacion &p, std::string &motivo)
{
  std::vector<parametro> ps;
  if (!leer_consulta(consulta, ps, motivo)) {
    return false;
  }
  const std::string *nombre = buscar_parametro(ps, "yourname");
  const std::string *codigo = buscar_parametro(ps, "code");
  if (nombre == nullptr || codigo == nullptr) {
    motivo = nombre == nullptr ? "missing key yourname" : "missing key code";
    return false;
  }
  std::string utf8;
  if (!leer_nombre(*nombre, utf8, motivo)) {
    return false;
  }
  p = {};
  p.nombre = utf8;
  p.codigo = *codigo;
  p.recibida = ahora;

  // A tampered game's fixed code: kept, so the rows after it in the
  // player's table still go up, and never ranked.
  if (*codigo == CODIGO_TRAMPA) {
    p.trampa = true;
    return true;
  }
  if (codigo->size() != static_cast<size_t>(LONG_COD)) {
    motivo = "the code must be " + std::to_string(LONG_COD) + " characters";
    return false;
  }
  codigo_leido leido;
  if (!decodificar_codigo(codigo->c_str(), LONG_COD, NUM_VALORES_PUNTUACION, BYTES_PUNTUACION, leido)) {
    motivo = "the code does not check: a character outside its alphabet or a wrong checksum";
    return false;
  }
  if (leido.id != ID_CODIGO_PUNTUACION) {
    motivo = "the code is not a score code (id " + std::to_string(leido.id) + ")";
    return false;
  }
  const auto puntos = static_cast<int32_t>(leido.valores[0]);
  const auto fases = static_cast<int32_t>(leido.valores[1]);
  const int32_t maximo = puntos_maximos(fases);
  if (maximo < 0) {
    motivo = "the code claims " + std::to_string(fases) + " levels; a game has at most " +
             std::to_string(MAX_FASES_CODIGO);
    return false;
  }
  // A game with no points records nothing, so a code of 0 points was not
  // made by one.
  if (puntos < 1 || puntos > maximo) {
    motivo = "the code claims " + std::to_string(puntos) + " points; a game of " + std::to_string(fases) +
             " levels scores 1 to " + std::to_string(maximo);
    return false;
  }
  p.puntos = puntos;
  p.fases = fases;
  return true;
}

respuesta atender(almacen *a, const std::string &objetivo, int64_t ahora, const std::string &direccion)
{
  const size_t interrogacion = objetivo.find('?');
  const std::string ruta = objetivo.substr(0, interrogacion);
  const std::string consulta = interrogacion == std::string::npos ? "" : objetivo.substr(interrogacion + 1);
  if (respuesta r; atender_niveles(a, ruta, consulta, direccion, r)) {
    return r;
  }
  if (ruta == "/highscore.php") {
    return subir(a, consulta, ahora);
  }
  if (ruta == "/" || ruta == "/index.html") {
    return pagina_tabla(a, consulta);
  }
  if (ruta == "/api/puntuaciones") {
    return api(a, consulta);
  }
  if (ruta.rfind("/repeticiones/", 0) == 0) {
    return descargar(a, ruta);
  }
  if (ruta.rfind("/ver/", 0) == 0) {
    return pagina_ver(a, ruta);
  }
  if (ruta == "/logo.png") {
    respuesta r;
    r.tipo = "image/png";
    r.cuerpo.assign(reinterpret_cast<const char *>(LOGO_PNG), LONG_LOGO_PNG);
    return r;
  }
  return respuesta_texto(404, "not found");
}

const std::string *buscar_parametro(const std::vector<parametro> &ps, const char *clave)
{
  for (const parametro &p : ps) {
    if (p.clave == clave) {
      return &p.valor;
    }
  }
  return nullptr;
}

int repeticiones_por_minuto = 30;

namespace {
limite_direcciones *const limite_repeticiones = crear_limite(30, 60);
}  // namespace

respuesta recibir_repeticion(cola *c, const std::string &consulta, const std::string &cuerpo, int64_t ahora,
                             const std::string &direccion, const firma_envio &f)
{
  cambiar_limite(limite_repeticiones, repeticiones_por_minuto);
  if (const int64_t espera = admitir_envio(limite_repeticiones, direccion, ahora); espera > 0) {
    respuesta r = respuesta_texto(429, "too many recordings sent from this address: at most " +
                                 std::to_string(repeticiones_por_minuto) + " a minute; try again later");
    r.reintentar = espera;
    return r;
  }
  puntuacion p;
  std::string motivo;
  if (!leer_subida(consulta, ahora, p, motivo)) {
    return respuesta_texto(400, motivo);
  }
  if (p.trampa) {
    return respuesta_texto(400, "the code is a tampered game's: it has no score for a recording to prove");
  }
  if (cuerpo.empty()) {
    return respuesta_texto(400, "no recording: the body must be the .frep file");
  }
  // What the header claims is checked here, at the cost of one checksum:
  // a recording that cannot prove its row never reaches the queue.
  cabecera_repeticion cabecera;
  const auto *datos = reinterpret_cast<const uint8_t *>(cuerpo.data());
  if (!leer_cabecera_repeticion(datos, cuerpo.size(), cabecera, motivo)) {
    return respuesta_texto(cuerpo.size() > MAX_BYTES_REPETICION ? 413 : 400, "the recording cannot be read: " + motivo);
  }
  int estado = 0;
  if (!comprobar_cabecera(cabecera, p, estado, motivo)) {
    return respuesta_texto(estado, motivo);
  }
  if (respuesta r; !comprobar_firma("/api/repeticiones", p.nombre, cuerpo, f, r)) {
    return r;
  }
  return cola_verificar(c, p, cuerpo, direccion, f.clave);
}

respuesta respuesta_texto(int estado, const std::string &linea)
{
  respuesta r;
  r.estado = estado;
  r.cuerpo = linea + "\n";
  return r;
}
