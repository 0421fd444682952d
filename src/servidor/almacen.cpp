// The store's one interface: each call goes to the backend that opened it.
// What both backends do the same way (the reads of the table, whatever
// runs in a transaction) is written here once, in statements both run as
// they are; a backend only writes uploads its own way, runs transactions
// and says how its queue skips the jobs another process holds.
#include "servidor/servidor.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

// The world's two boards over `puntuaciones`: the verified table ranks
// the rows marked `mejor` (each player's best verified row), the whole
// table every row but the tampered games'. Their columns after the key are
// read by leer_fila_pagina.
#define COLUMNAS_MUNDO \
  "SELECT p.puntos, p.id, p.nombre, p.codigo, p.fases, p.recibida, p.repeticion, r.guardada FROM puntuaciones p" \
  " LEFT JOIN repeticiones r ON r.id = p.repeticion WHERE "
#define TRAS " AND p.puntos <= $2 AND (p.puntos < $2 OR p.id > $3) ORDER BY p.puntos DESC, p.id ASC LIMIT $1"
#define ANTES " AND p.puntos >= $2 AND (p.puntos > $2 OR p.id < $3) ORDER BY p.puntos ASC, p.id DESC LIMIT $1"

namespace {

const sql_tablero SQL_VERIFICADA = {
    COLUMNAS_MUNDO "p.mejor = 1" TRAS,
    COLUMNAS_MUNDO "p.mejor = 1" ANTES,
    "SELECT COUNT(*) FROM puntuaciones WHERE mejor = 1 AND puntos = $1 AND id < $2",
    "SELECT COUNT(*) FROM puntuaciones WHERE mejor = 1 AND puntos > $1 AND puntos <= $2",
};
const sql_tablero SQL_COMPLETA = {
    COLUMNAS_MUNDO "p.trampa = 0" TRAS,
    COLUMNAS_MUNDO "p.trampa = 0" ANTES,
    "SELECT COUNT(*) FROM puntuaciones WHERE trampa = 0 AND puntos = $1 AND id < $2",
    "SELECT COUNT(*) FROM puntuaciones WHERE trampa = 0 AND puntos > $1 AND puntos <= $2",
};

// The two boards, by table; their counts under these names.
const tablero TABLEROS_MUNDO[2] = {
    {&SQL_VERIFICADA, "verificadas", {}},
    {&SQL_COMPLETA, "clasificadas", {}},
};

// A name's best row on each table. "+trampa" and "+mejor" keep the
// planner off the ranking indexes: walking one in rank order to find one
// name read every row ahead of that name's best (seconds in a table of a
// million), where the name's own index finds its few rows.
const char *const SQL_MEJOR[2] = {
    "SELECT puntos, id FROM puntuaciones WHERE +mejor = 1 AND nombre = $1 ORDER BY puntos DESC, id ASC LIMIT 1",
    "SELECT puntos, id FROM puntuaciones WHERE +trampa = 0 AND nombre = $1 ORDER BY puntos DESC, id ASC LIMIT 1",
};
const char *const SQL_TODAS = "SELECT COUNT(*) FROM puntuaciones";

}  // namespace

#undef COLUMNAS_MUNDO
#undef TRAS
#undef ANTES

const char *const SQL_RECONTAR[5] = {
    "DELETE FROM recuentos WHERE tablero IN ('clasificadas', 'verificadas')",
    RECONTAR_MUNDO("clasificadas", "trampa = 0"),
    RECONTAR_MUNDO("verificadas", "mejor = 1"),
    // The levels' boards (almacen_niveles.cpp), each under "nivel ID".
    "DELETE FROM recuentos WHERE tablero LIKE 'nivel %'",
    // The same scales as RECONTAR_MUNDO's.
    "WITH RECURSIVE e(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM e WHERE k < 5)"
    " INSERT INTO recuentos (tablero, escala, cubo, franja, n)"
    " SELECT 'nivel ' || nivel, k, puntos >> (6 * k), id % 16, COUNT(*) FROM marcas, e WHERE mejor = 1"
    " GROUP BY nivel, k, puntos >> (6 * k), id % 16",
};

const tablero &tablero_mundo(tabla t) { return TABLEROS_MUNDO[t]; }

// The verified table ranks each player's best verified row whose game is
// not hidden.
const sql_mejor MEJOR_MUNDO = {
    "SELECT id, puntos, repeticion FROM puntuaciones WHERE plegado = $1 AND mejor = 1",
    "UPDATE puntuaciones SET mejor = $2 WHERE id = $1",
    "SELECT p.id, p.puntos, p.repeticion FROM puntuaciones p JOIN repeticiones r ON r.id = p.repeticion"
    " WHERE p.plegado = $1 AND r.oculta = 0 ORDER BY p.puntos DESC, p.id ASC LIMIT 1",
};

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
  auto *a = new almacen{backend, b};
  if (!completar_esquema(a, error)) {
    error = "cannot fold the names of the verified rows: " + error;
    almacen_cerrar(a);
    return nullptr;
  }
  return a;
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

// A row of the world's boards.
void leer_fila_pagina(const fila_sql &c, puntuacion &p)
{
  p.puntos = static_cast<int32_t>(entero_sql(c[0]));
  p.id = entero_sql(c[1]);
  p.nombre = c[2].texto;
  p.codigo = c[3].texto;
  p.fases = static_cast<int32_t>(entero_sql(c[4]));
  p.recibida = entero_sql(c[5]);
  p.verificada = c[6].tipo != valor_sql::NULO;
  p.partida = p.verificada ? entero_sql(c[6]) : 0;
  p.repeticion = p.verificada && entero_sql(c[7]) == 1 ? entero_sql(c[6]) : 0;
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

// Rows read from a board as the world's rows, their ranks from the first
// one's, whose position is `desde` (-1: counted here).
bool leer_filas(sesion_sql &s, tabla t, const std::vector<fila_sql> &leidas, int64_t &desde,
                std::vector<puntuacion> &filas, std::string &error)
{
  for (const fila_sql &f : leidas) {
    puntuacion p;
    leer_fila_pagina(f, p);
    filas.push_back(std::move(p));
  }
  if (filas.empty()) {
    return true;
  }
  const clave_fila primera{filas[0].puntos, filas[0].id};
  if (desde < 0 && (desde = tablero_posicion(s, TABLEROS_MUNDO[t], primera, error)) < 0) {
    return false;
  }
  const int64_t delante = tablero_delante(s, TABLEROS_MUNDO[t], primera.puntos, error);
  poner_puestos(filas, desde, delante);
  return delante >= 0;
}

}  // namespace

bool almacen_pagina(almacen *a, tabla t, int64_t desde, int32_t cuantos, std::vector<puntuacion> &filas)
{
  filas.clear();
  std::string error;
  // One read transaction, so the ranks match the rows. The first row is
  // found down the counts, the rest from its key.
  return almacen_transaccion(a, false, [&](sesion_sql &s) {
    clave_fila c;
    const resultado_busqueda hay = tablero_en_posicion(s, TABLEROS_MUNDO[t], desde, c, error);
    if (hay != HALLADA) {
      return hay == NINGUNA;
    }
    --c.id;  // from the row itself
    std::vector<fila_sql> leidas;
    int64_t posicion = desde;
    return tablero_filas(s, TABLEROS_MUNDO[t], &c, false, cuantos, leidas, error) &&
           leer_filas(s, t, leidas, posicion, filas, error);
  }, error);
}

bool almacen_pagina_clave(almacen *a, tabla t, const clave_fila *desde, bool atras, int32_t cuantos,
                          std::vector<puntuacion> &filas, int64_t &posicion)
{
  filas.clear();
  std::string error;
  return almacen_transaccion(a, false, [&](sesion_sql &s) {
    std::vector<fila_sql> leidas;
    posicion = -1;
    if (!tablero_filas(s, TABLEROS_MUNDO[t], desde, atras, cuantos, leidas, error) ||
        !leer_filas(s, t, leidas, posicion, filas, error)) {
      return false;
    }
    if (filas.empty()) {
      posicion = atras ? 0 : tablero_total(s, TABLEROS_MUNDO[t], error);
    }
    return posicion >= 0;
  }, error);
}

namespace {

// One number read in a transaction of its own; -1 on failure.
int64_t contar(almacen *a, const std::function<int64_t(sesion_sql &, std::string &)> &leer)
{
  int64_t n = -1;
  std::string error;
  almacen_transaccion(a, false, [&](sesion_sql &s) { return (n = leer(s, error)) >= 0; }, error);
  return n;
}

}  // namespace

int64_t almacen_contar(almacen *a, tabla t)
{
  return contar(a, [t](sesion_sql &s, std::string &error) { return tablero_total(s, TABLEROS_MUNDO[t], error); });
}

int64_t almacen_contar_todas(almacen *a)
{
  return contar(a, [](sesion_sql &s, std::string &error) {
    std::vector<fila_sql> filas;
    return sql(s, SQL_TODAS, {}, &filas, error) && filas.size() == 1 ? entero_sql(filas[0][0]) : int64_t{-1};
  });
}

resultado_busqueda almacen_posicion(almacen *a, tabla t, const std::string &nombre, int64_t &posicion)
{
  resultado_busqueda r = FALLO_ALMACEN;
  std::string error;
  almacen_transaccion(a, false, [&](sesion_sql &s) {
    std::vector<fila_sql> mejor;
    if (!sql(s, SQL_MEJOR[t], {sql_texto(nombre)}, &mejor, error)) {
      return false;
    }
    if (mejor.empty()) {
      r = NINGUNA;
      return true;
    }
    const clave_fila c{static_cast<int32_t>(entero_sql(mejor[0][0])), entero_sql(mejor[0][1])};
    posicion = tablero_posicion(s, TABLEROS_MUNDO[t], c, error);
    r = posicion < 0 ? FALLO_ALMACEN : HALLADA;
    return posicion >= 0;
  }, error);
  return r;
}

bool almacen_recontar(almacen *a, std::string &error)
{
  return almacen_transaccion(a, true, [&](sesion_sql &s) {
    for (const char *texto : SQL_RECONTAR) {
      if (!sql(s, texto, {}, nullptr, error)) {
        return false;
      }
    }
    return true;
  }, error);
}

resultado_guardar guardar_en_lote(lotes_subida &l, int escritores, size_t maximo, const puntuacion &p,
                                  const std::function<void(const std::vector<pendiente *> &)> &escribir)
{
  pendiente yo{&p};
  std::unique_lock<std::mutex> bloqueo(l.cerrojo);
  l.esperando.push_back(&yo);
  while (!yo.hecho) {
    if (l.escribiendo >= escritores || l.esperando.empty()) {
      yo.listo.wait(bloqueo);
      continue;
    }
    // A group may be written: this thread writes the next, its own upload
    // among them or already in one being written.
    ++l.escribiendo;
    const size_t n = std::min(l.esperando.size(), maximo);
    std::vector<pendiente *> mio(l.esperando.begin(), l.esperando.begin() + static_cast<std::ptrdiff_t>(n));
    l.esperando.erase(l.esperando.begin(), l.esperando.begin() + static_cast<std::ptrdiff_t>(n));
    if (!l.esperando.empty() && l.escribiendo < escritores) {
      l.esperando.front()->listo.notify_one();
    }
    bloqueo.unlock();
    escribir(mio);
    bloqueo.lock();
    for (pendiente *x : mio) {
      x->hecho = true;
      x->listo.notify_one();
    }
    --l.escribiendo;
    // The oldest upload still waiting writes the next group.
    if (!l.esperando.empty()) {
      l.esperando.front()->listo.notify_one();
    }
  }
  return yo.r;
}
