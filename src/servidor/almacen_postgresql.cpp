// The store in a PostgreSQL database, shared by any number of server
// processes on any number of machines: each process is stateless, and the
// database's unique (nombre, codigo) constraint is what keeps a row that
// two processes receive at once from being stored twice.
//
// Each process keeps a few connections, each used by one request at a
// time. A connection found broken (the database restarted, the network
// cut) is opened again on the next request that needs it, so the server
// answers 503 while the database is away and serves again as soon as it
// is back. Uploads go in groups, each group one statement in its own
// transaction, committed (with the database's default synchronous_commit,
// on its disk) before any of its uploads is answered; sent again after a
// lost connection it finds its rows already there and stores nothing twice. The transactions of the layer
// above (the verification queue, the reads of the table) prepare their
// statements on each connection the first time it runs them.
#include "servidor/servidor.h"

#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <random>
#include <unordered_map>

namespace {

// Connections per process: the request threads share them.
constexpr int CONEXIONES = 4;
// How long a request waits for a free connection, and for a new one to
// open, before it is answered 503.
constexpr int ESPERA_CONEXION_MS = 2000;
const char *const ESPERA_APERTURA_S = "2";

// Taken by a process while it creates or upgrades the schema, so that two
// starting at once do not both do it.
const char *const CERROJO_ESQUEMA = "SELECT pg_advisory_xact_lock(4611686018427387981)";

// A group of uploads stored in one statement, one round trip and one
// commit: the rows come as arrays, are inserted in the order of their name
// and code, and the counts of the new ranked rows are added range by range
// in one order (scale from the top, then range), so that two groups
// written at once never wait for each other in a circle. A group counts
// all its rows in one slice ($7), drawn for it: had each row its own, a
// group would touch most slices of the top ranges, and groups written at
// once would wait for each other's commits. Gives the name and code of
// each row really added.
const char *const SQL_GUARDAR =
    "WITH filas AS (SELECT * FROM unnest($1::text[], $2::text[], $3::int[], $4::int[], $5::int[], $6::bigint[])"
    " AS f(nombre, codigo, puntos, fases, trampa, recibida)),"
    " nuevas AS (INSERT INTO puntuaciones (nombre, codigo, puntos, fases, trampa, recibida)"
    " SELECT * FROM filas ORDER BY nombre, codigo ON CONFLICT (nombre, codigo) DO NOTHING"
    " RETURNING id, nombre, codigo, puntos, trampa),"
    " suma AS (INSERT INTO recuentos (tablero, escala, cubo, franja, n)"
    " SELECT 'clasificadas', e.k, nuevas.puntos >> (6 * e.k), $7::int, COUNT(*)"
    " FROM nuevas CROSS JOIN (VALUES (5), (4), (3), (2), (1)) AS e(k) WHERE nuevas.trampa = 0"
    " GROUP BY 2, 3 ORDER BY 2 DESC, 3"
    " ON CONFLICT (tablero, escala, cubo, franja) DO UPDATE SET n = recuentos.n + excluded.n)"
    " SELECT nombre, codigo FROM nuevas";
static_assert(BITS_RECUENTO == 6 && ESCALAS_RECUENTO == 5 && FRANJAS_RECUENTO == 16, "SQL_GUARDAR's numbers");

// Rows stored in one statement at most, and the groups written at once
// (each on a connection of its own; the rest are left to the reads).
constexpr size_t MAX_LOTE = 256;
constexpr int ESCRITORES = CONEXIONES - 1;

const struct {
  const char *nombre, *sql;
} SENTENCIAS[] = {{"guardar", SQL_GUARDAR}};

struct base_pg {
  std::string conexion;  // as given to --base
  std::mutex cerrojo;
  std::condition_variable libre;
  PGconn *conexiones[CONEXIONES] = {};
  bool ocupada[CONEXIONES] = {};
  // The statements of transactions prepared on each connection, by their
  // text's address: the name each was prepared under.
  std::unordered_map<const char *, std::string> preparadas[CONEXIONES];
  lotes_subida lotes;
};

// Prepares the statements on a connection to a database whose schema is
// in place.
bool preparar(PGconn *c, std::string &error)
{
  for (const auto &s : SENTENCIAS) {
    PGresult *r = PQprepare(c, s.nombre, s.sql, 0, nullptr);
    const bool bien = PQresultStatus(r) == PGRES_COMMAND_OK;
    if (!bien) {
      error = PQresultErrorMessage(r);
    }
    PQclear(r);
    if (!bien) {
      return false;
    }
  }
  return true;
}

// Opens one connection, with its statements prepared when `con_sentencias`.
// Null (the reason in `error`) when the database cannot be reached.
PGconn *conectar(const std::string &conexion, bool con_sentencias, std::string &error)
{
  // The string given is read as a URI or as "key=value" words; the keys
  // before it only apply when it does not set them itself.
  const char *claves[] = {"connect_timeout", "client_encoding", "dbname", nullptr};
  const char *valores[] = {ESPERA_APERTURA_S, "UTF8", conexion.c_str(), nullptr};
  PGconn *c = PQconnectdbParams(claves, valores, 1);
  if (c == nullptr || PQstatus(c) != CONNECTION_OK) {
    error = c != nullptr ? PQerrorMessage(c) : "no memory";
    while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) {
      error.pop_back();
    }
    PQfinish(c);
    return nullptr;
  }
  if (con_sentencias && !preparar(c, error)) {
    PQfinish(c);
    return nullptr;
  }
  return c;
}

// A script on the connection, for the schema's upgrade: the first value
// of its last statement's rows, if asked for.
bool guion(void *c, const char *sql, std::string *valor, std::string &error)
{
  PGresult *r = PQexec(static_cast<PGconn *>(c), sql);
  const ExecStatusType e = PQresultStatus(r);
  const bool bien = e == PGRES_COMMAND_OK || e == PGRES_TUPLES_OK;
  if (!bien) {
    error = PQresultErrorMessage(r);
  } else if (valor != nullptr) {
    *valor = e == PGRES_TUPLES_OK && PQntuples(r) > 0 && PQnfields(r) > 0 ? PQgetvalue(r, 0, 0) : "";
  }
  PQclear(r);
  return bien;
}

bool ejecutar(PGconn *c, const char *sql, std::string &error) { return guion(c, sql, nullptr, error); }

void cerrar(void *b)
{
  auto *s = static_cast<base_pg *>(b);
  for (PGconn *c : s->conexiones) {
    PQfinish(c);
  }
  delete s;
}

void *abrir(const std::string &base, std::string &error)
{
  std::string motivo;
  PGconn *c = conectar(base, false, motivo);
  if (c == nullptr) {
    error = "cannot open the database " + base + ": " + motivo;
    return nullptr;
  }
  if (!actualizar_esquema({c, guion, "BEGIN", CERROJO_ESQUEMA, "BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY", "BYTEA"},
                          motivo) ||
      !preparar(c, motivo)) {
    PQfinish(c);
    error = "cannot use the database " + base + ": " + motivo;
    return nullptr;
  }
  auto *s = new base_pg;
  s->conexion = base;
  s->conexiones[0] = c;
  return s;
}

// A connection lent to one request; given back when it goes out of scope.
// `c` is null when none could be had (all busy for too long, or the
// database cannot be reached).
struct prestada {
  base_pg *s;
  int i = -1;
  PGconn *c = nullptr;

  explicit prestada(base_pg *base) : s(base)
  {
    std::unique_lock<std::mutex> l(s->cerrojo);
    const auto plazo = std::chrono::steady_clock::now() + std::chrono::milliseconds(ESPERA_CONEXION_MS);
    for (;;) {
      // An open connection first, then a slot without one.
      for (int k = 0; k < CONEXIONES && i < 0; ++k) {
        if (!s->ocupada[k] && s->conexiones[k] != nullptr) {
          i = k;
        }
      }
      for (int k = 0; k < CONEXIONES && i < 0; ++k) {
        if (!s->ocupada[k]) {
          i = k;
        }
      }
      if (i >= 0 || s->libre.wait_until(l, plazo) == std::cv_status::timeout) {
        break;
      }
    }
    if (i < 0) {
      return;
    }
    s->ocupada[i] = true;
    c = s->conexiones[i];
    l.unlock();
    if (c != nullptr && PQstatus(c) != CONNECTION_OK) {
      PQfinish(c);
      c = nullptr;
    }
    if (c == nullptr) {
      std::string error;
      c = conectar(s->conexion, true, error);
      s->preparadas[i].clear();
    }
  }

  // The connection broke during a statement: open another in its place.
  // False when the database cannot be reached.
  bool reabrir()
  {
    PQfinish(c);
    std::string error;
    c = conectar(s->conexion, true, error);
    s->preparadas[i].clear();
    return c != nullptr;
  }

  ~prestada()
  {
    if (i < 0) {
      return;
    }
    std::lock_guard<std::mutex> l(s->cerrojo);
    s->conexiones[i] = c;
    s->ocupada[i] = false;
    s->libre.notify_one();
  }
};

// Runs a prepared statement; a result that failed because the connection
// broke is tried once more on a new connection (every statement here can
// be run twice: the insert finds its row the second time). Null when it
// failed; the caller clears what it gets.
PGresult *consultar(prestada &p, const char *nombre, int n, const char *const *parametros)
{
  if (p.c == nullptr) {
    return nullptr;
  }
  for (int intento = 0; intento < 2; ++intento) {
    PGresult *r = PQexecPrepared(p.c, nombre, n, parametros, nullptr, nullptr, 0);
    if (PQresultStatus(r) == PGRES_TUPLES_OK) {
      return r;
    }
    PQclear(r);
    if (PQstatus(p.c) == CONNECTION_OK || intento == 1 || !p.reabrir()) {
      return nullptr;
    }
  }
  return nullptr;
}

int64_t entero(const PGresult *r, int fila, int columna) { return std::strtoll(PQgetvalue(r, fila, columna), nullptr, 10); }

// A slice for a group: drawn, so that the groups of several processes
// sharing the database fall on different ones as often as those of one.
uint32_t franja_lote()
{
  thread_local std::minstd_rand azar(std::random_device{}());
  return static_cast<uint32_t>(azar());
}

// An element of a text array literal: quoted, its quotes and backslashes
// escaped.
void anadir_elemento(std::string &lista, const std::string &v)
{
  lista += lista.size() == 1 ? "\"" : ",\"";
  for (const char c : v) {
    if (c == '"' || c == '\\') {
      lista += '\\';
    }
    lista += c;
  }
  lista += '"';
}

// Writes a group of uploads in one statement: every row is stored, or (on
// any failure) none is and every one is answered GUARDADA_FALLO.
void escribir_lote(base_pg *s, const std::vector<pendiente *> &lote)
{
  std::string listas[6];
  for (std::string &l : listas) {
    l = "{";
  }
  for (const pendiente *x : lote) {
    const puntuacion &p = *x->p;
    anadir_elemento(listas[0], p.nombre);
    anadir_elemento(listas[1], p.codigo);
    anadir_elemento(listas[2], std::to_string(p.puntos));
    anadir_elemento(listas[3], std::to_string(p.fases));
    anadir_elemento(listas[4], p.trampa ? "1" : "0");
    anadir_elemento(listas[5], std::to_string(p.recibida));
  }
  const char *parametros[7];
  for (int k = 0; k < 6; ++k) {
    listas[k] += "}";
    parametros[k] = listas[k].c_str();
  }
  const std::string franja = std::to_string(franja_lote() % FRANJAS_RECUENTO);
  parametros[6] = franja.c_str();
  prestada con(s);
  PGresult *r = consultar(con, "guardar", 7, parametros);
  if (r == nullptr) {
    return;
  }
  // Each row added answers the first upload of it; any other is a row
  // stored before (or by the same group).
  for (pendiente *x : lote) {
    x->r = GUARDADA_YA;
  }
  for (int f = 0; f < PQntuples(r); ++f) {
    const std::string nombre = PQgetvalue(r, f, 0), codigo = PQgetvalue(r, f, 1);
    for (pendiente *x : lote) {
      if (x->p->nombre == nombre && x->p->codigo == codigo) {
        x->r = GUARDADA_NUEVA;
        break;
      }
    }
  }
  PQclear(r);
}

// Uploads that arrive while every writing connection is busy wait and go
// together in the next group (group commit): a commit waits for the disk,
// and one commit for many rows is what lets a database take many uploads.
resultado_guardar guardar(void *b, const puntuacion &p)
{
  auto *s = static_cast<base_pg *>(b);
  return guardar_en_lote(s->lotes, ESCRITORES, MAX_LOTE, p, [s](const std::vector<pendiente *> &lote) { escribir_lote(s, lote); });
}

// Type numbers of the columns read as numbers and as bytes.
constexpr Oid OID_BYTEA = 17, OID_INT8 = 20, OID_INT2 = 21, OID_INT4 = 23;

// Runs one statement of a transaction in progress on the lent connection,
// prepared the first time the connection runs it. Bytes go and come in
// binary; numbers and text as text.
bool ejecutar_sentencia(void *contexto, const char *texto, const std::vector<valor_sql> &parametros,
                        std::vector<fila_sql> *filas, std::string &error)
{
  auto *p = static_cast<prestada *>(contexto);
  std::unordered_map<const char *, std::string> &preparadas = p->s->preparadas[p->i];
  auto x = preparadas.find(texto);
  if (x == preparadas.end()) {
    const std::string nombre = "t" + std::to_string(preparadas.size());
    PGresult *r = PQprepare(p->c, nombre.c_str(), texto, 0, nullptr);
    const bool bien = PQresultStatus(r) == PGRES_COMMAND_OK;
    if (!bien) {
      error = PQresultErrorMessage(r);
    }
    PQclear(r);
    if (!bien) {
      return false;
    }
    x = preparadas.emplace(texto, nombre).first;
  }
  std::vector<std::string> numeros(parametros.size());
  std::vector<const char *> valores(parametros.size());
  std::vector<int> largos(parametros.size()), formatos(parametros.size());
  for (size_t k = 0; k < parametros.size(); ++k) {
    const valor_sql &v = parametros[k];
    if (v.tipo == valor_sql::ENTERO) {
      numeros[k] = std::to_string(v.entero);
      valores[k] = numeros[k].c_str();
    } else if (v.tipo != valor_sql::NULO) {
      valores[k] = v.texto.c_str();
      largos[k] = static_cast<int>(v.texto.size());
      formatos[k] = v.tipo == valor_sql::BYTES ? 1 : 0;
    }
  }
  PGresult *r = PQexecPrepared(p->c, x->second.c_str(), static_cast<int>(parametros.size()), valores.data(),
                               largos.data(), formatos.data(), 0);
  const ExecStatusType e = PQresultStatus(r);
  if (e != PGRES_TUPLES_OK && e != PGRES_COMMAND_OK) {
    error = PQresultErrorMessage(r);
    PQclear(r);
    return false;
  }
  for (int f = 0; filas != nullptr && f < PQntuples(r); ++f) {
    fila_sql fila(static_cast<size_t>(PQnfields(r)));
    for (int k = 0; k < PQnfields(r); ++k) {
      valor_sql &v = fila[static_cast<size_t>(k)];
      if (PQgetisnull(r, f, k)) {
        continue;
      }
      const Oid tipo = PQftype(r, k);
      if (tipo == OID_INT8 || tipo == OID_INT4 || tipo == OID_INT2) {
        v.tipo = valor_sql::ENTERO;
        v.entero = entero(r, f, k);
      } else if (tipo == OID_BYTEA) {
        size_t n = 0;
        unsigned char *b = PQunescapeBytea(reinterpret_cast<const unsigned char *>(PQgetvalue(r, f, k)), &n);
        v.tipo = valor_sql::BYTES;
        v.texto.assign(reinterpret_cast<const char *>(b), n);
        PQfreemem(b);
      } else {
        v.tipo = valor_sql::TEXTO;
        v.texto.assign(PQgetvalue(r, f, k), static_cast<size_t>(PQgetlength(r, f, k)));
      }
    }
    filas->push_back(std::move(fila));
  }
  PQclear(r);
  return true;
}

// A transaction on a lent connection. Reads see one snapshot. A
// connection that broke since its last use fails at BEGIN and is opened
// again once; a failure after that ends the transaction (rolled back by
// the database if it was not committed).
bool transaccion(void *b, bool escribe, const std::function<bool(sesion_sql &)> &cuerpo, std::string &error)
{
  prestada con(static_cast<base_pg *>(b));
  if (con.c == nullptr) {
    error = "the database cannot be reached";
    return false;
  }
  const char *inicio = escribe ? "BEGIN" : "BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY";
  if (!ejecutar(con.c, inicio, error) &&
      (PQstatus(con.c) == CONNECTION_OK || !con.reabrir() || !ejecutar(con.c, inicio, error))) {
    return false;
  }
  sesion_sql sesion{&con, ejecutar_sentencia};
  if (cuerpo(sesion) && ejecutar(con.c, "COMMIT", error)) {
    return true;
  }
  std::string ignorado;
  ejecutar(con.c, "ROLLBACK", ignorado);
  return false;
}

}  // namespace

bool es_base_postgresql(const std::string &base)
{
  return base.rfind("postgresql://", 0) == 0 || base.rfind("postgres://", 0) == 0;
}

const backend_almacen BACKEND_POSTGRESQL = {abrir, cerrar, guardar, transaccion, " FOR UPDATE SKIP LOCKED"};
