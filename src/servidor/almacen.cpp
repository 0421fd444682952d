// The store's one interface: each call goes to the backend that opened it.
// What both backends do the same way (the reads of the table, whatever
// runs in a transaction) is written here once, in statements both run as
// they are; a backend only writes uploads its own way, runs transactions
// and says how its queue skips the jobs another process holds.
#include "servidor/servidor.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

// The reads both backends run word for word: see servidor.h. The verified
// table ranks the rows marked `mejor` (each player's best verified row);
// the whole table, every row but the tampered games'.
const char *const SQL_PAGINA[2] = {
    "SELECT p.nombre, p.codigo, p.puntos, p.fases, p.recibida, p.repeticion, r.guardada FROM puntuaciones p"
    " LEFT JOIN repeticiones r ON r.id = p.repeticion WHERE p.mejor = 1"
    " ORDER BY p.puntos DESC, p.id ASC LIMIT $1 OFFSET $2",
    "SELECT p.nombre, p.codigo, p.puntos, p.fases, p.recibida, p.repeticion, r.guardada FROM puntuaciones p"
    " LEFT JOIN repeticiones r ON r.id = p.repeticion WHERE p.trampa = 0"
    " ORDER BY p.puntos DESC, p.id ASC LIMIT $1 OFFSET $2",
};
const char *const SQL_PUESTO[2] = {
    "SELECT COUNT(*) FROM puntuaciones WHERE mejor = 1 AND puntos > $1",
    "SELECT COUNT(*) FROM puntuaciones WHERE trampa = 0 AND puntos > $1",
};
const char *const SQL_TOTAL[2] = {
    "SELECT verificadas FROM totales",
    "SELECT clasificadas FROM totales",
};
// "+trampa" and "+mejor" keep the planner off the ranking indexes: walking
// one in rank order to find one name read every row ahead of that name's
// best (seconds in a table of a million), where the name's own index finds
// its few rows.
const char *const SQL_MEJOR[2] = {
    "SELECT puntos, id FROM puntuaciones WHERE +mejor = 1 AND nombre = $1 ORDER BY puntos DESC, id ASC LIMIT 1",
    "SELECT puntos, id FROM puntuaciones WHERE +trampa = 0 AND nombre = $1 ORDER BY puntos DESC, id ASC LIMIT 1",
};
const char *const SQL_ANTES[2] = {
    "SELECT COUNT(*) FROM puntuaciones WHERE mejor = 1 AND (puntos > $1 OR (puntos = $1 AND id < $2))",
    "SELECT COUNT(*) FROM puntuaciones WHERE trampa = 0 AND (puntos > $1 OR (puntos = $1 AND id < $2))",
};
const char *const SQL_TODAS = "SELECT COUNT(*) FROM puntuaciones";

struct almacen {
  const backend_almacen *backend;
  void *b;
};

almacen *almacen_abrir(const std::string &base, std::string &error)
{
  const backend_almacen *backend = es_base_postgresql(base) ? &BACKEND_POSTGRESQL : &BACKEND_SQLITE;
  void *b = backend->abrir(base, error);
  if (b == nullptr) {
    return nullptr;
  }
  return new almacen{backend, b};
}

void almacen_cerrar(almacen *a)
{
  if (a != nullptr) {
    a->backend->cerrar(a->b);
    delete a;
  }
}

resultado_guardar almacen_guardar(almacen *a, const puntuacion &p) { return a->backend->guardar(a->b, p); }

namespace {

// A store that fails says why in the log, not only with a 503: its own
// words, at most one line every INTERVALO_FALLOS_S seconds, with how many
// failures that line stands for.
constexpr int64_t INTERVALO_FALLOS_S = 10;
std::mutex cerrojo_fallos;
int64_t ultimo_fallo = 0;
int64_t fallos_callados = 0;

void registrar_fallo(const std::string &error)
{
  const int64_t ahora = static_cast<int64_t>(std::time(nullptr));
  std::lock_guard<std::mutex> l(cerrojo_fallos);
  if (ahora - ultimo_fallo < INTERVALO_FALLOS_S) {
    ++fallos_callados;
    return;
  }
  std::string texto = error;
  while (!texto.empty() && (texto.back() == '\n' || texto.back() == ' ')) {
    texto.pop_back();
  }
  std::fprintf(stderr, "fotonauta-servidor: the store failed: %s", texto.empty() ? "(no reason given)" : texto.c_str());
  if (fallos_callados > 0) {
    std::fprintf(stderr, " (and %" PRId64 " more failure(s) since the last line)", fallos_callados);
  }
  std::fputc('\n', stderr);
  ultimo_fallo = ahora;
  fallos_callados = 0;
}

}  // namespace

bool almacen_transaccion(almacen *a, bool escribe, const std::function<bool(sesion_sql &)> &cuerpo,
                         std::string &error)
{
  const bool bien = a->backend->transaccion(a->b, escribe, cuerpo, error);
  if (!bien) {
    registrar_fallo(error);
  }
  return bien;
}

const char *almacen_saltar_bloqueadas(almacen *a) { return a->backend->saltar_bloqueadas; }

valor_sql sql_entero(int64_t n)
{
  valor_sql v;
  v.tipo = valor_sql::ENTERO;
  v.entero = n;
  return v;
}

valor_sql sql_texto(const std::string &s)
{
  valor_sql v;
  v.tipo = valor_sql::TEXTO;
  v.texto = s;
  return v;
}

valor_sql sql_bytes(const std::string &s)
{
  valor_sql v;
  v.tipo = valor_sql::BYTES;
  v.texto = s;
  return v;
}

bool sql(sesion_sql &s, const char *texto, const std::vector<valor_sql> &parametros, std::vector<fila_sql> *filas,
         std::string &error)
{
  if (filas != nullptr) {
    filas->clear();
  }
  return s.ejecutar(s.contexto, texto, parametros, filas, error);
}

namespace {

// A column as a number: backends give numbers as numbers or as text.
int64_t entero(const valor_sql &v)
{
  return v.tipo == valor_sql::ENTERO ? v.entero : v.tipo == valor_sql::NULO ? 0 : std::strtoll(v.texto.c_str(), nullptr, 10);
}

// A statement that gives one number: -1 when it failed or gave none.
int64_t un_entero(sesion_sql &s, const char *texto, const std::vector<valor_sql> &parametros, std::string &error)
{
  std::vector<fila_sql> filas;
  if (!sql(s, texto, parametros, &filas, error) || filas.size() != 1 || filas[0].empty()) {
    return -1;
  }
  return entero(filas[0][0]);
}

// A row of SQL_PAGINA.
void leer_fila_pagina(const fila_sql &c, puntuacion &p)
{
  p.nombre = c[0].texto;
  p.codigo = c[1].texto;
  p.puntos = static_cast<int32_t>(entero(c[2]));
  p.fases = static_cast<int32_t>(entero(c[3]));
  p.recibida = entero(c[4]);
  p.verificada = c[5].tipo != valor_sql::NULO;
  p.repeticion = p.verificada && entero(c[6]) == 1 ? entero(c[5]) : 0;
}

// The first row's rank is counted; after it, a row with fewer points than
// the one before has as many rows ahead of it as its position.
void poner_puestos(std::vector<puntuacion> &filas, int64_t desde, int64_t delante_primera)
{
  for (size_t i = 0; i < filas.size(); ++i) {
    if (i == 0) {
      filas[0].puesto = delante_primera + 1;
    } else {
      filas[i].puesto = filas[i].puntos == filas[i - 1].puntos ? filas[i - 1].puesto
                                                              : desde + static_cast<int64_t>(i) + 1;
    }
  }
}

}  // namespace

bool almacen_pagina(almacen *a, tabla t, int64_t desde, int32_t cuantos, std::vector<puntuacion> &filas)
{
  filas.clear();
  std::string error;
  // One read transaction, so the ranks match the rows.
  return almacen_transaccion(a, false, [&](sesion_sql &s) {
    std::vector<fila_sql> leidas;
    if (!sql(s, SQL_PAGINA[t], {sql_entero(cuantos), sql_entero(desde)}, &leidas, error)) {
      return false;
    }
    for (const fila_sql &f : leidas) {
      puntuacion p;
      leer_fila_pagina(f, p);
      filas.push_back(std::move(p));
    }
    if (filas.empty()) {
      return true;
    }
    const int64_t delante = un_entero(s, SQL_PUESTO[t], {sql_entero(filas[0].puntos)}, error);
    poner_puestos(filas, desde, delante);
    return delante >= 0;
  }, error);
}

namespace {

int64_t contar(almacen *a, const char *texto)
{
  int64_t n = -1;
  std::string error;
  almacen_transaccion(a, false, [&](sesion_sql &s) { return (n = un_entero(s, texto, {}, error)) >= 0; }, error);
  return n;
}

}  // namespace

int64_t almacen_contar(almacen *a, tabla t) { return contar(a, SQL_TOTAL[t]); }

int64_t almacen_contar_todas(almacen *a) { return contar(a, SQL_TODAS); }

int64_t almacen_posicion(almacen *a, tabla t, const std::string &nombre)
{
  int64_t n = -2;
  std::string error;
  almacen_transaccion(a, false, [&](sesion_sql &s) {
    std::vector<fila_sql> mejor;
    if (!sql(s, SQL_MEJOR[t], {sql_texto(nombre)}, &mejor, error)) {
      return false;
    }
    if (mejor.empty()) {
      n = -1;
      return true;
    }
    const int64_t antes = un_entero(s, SQL_ANTES[t], {sql_entero(entero(mejor[0][0])), sql_entero(entero(mejor[0][1]))}, error);
    n = antes < 0 ? -2 : antes;
    return antes >= 0;
  }, error);
  return n;
}
