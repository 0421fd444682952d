// The store in one SQLite database file.
//
// One connection writes, one upload's transaction at a time; WAL lets
// other connections and processes read meanwhile. Every row is committed
// before the upload is answered, and with synchronous=NORMAL a commit is
// in the operating system's hands when it returns: the server's own crash
// (kill -9) loses nothing answered 200. What it does not wait for is the
// disk: a power cut or a kernel crash may lose the last moments' rows
// (never the file's integrity: the WAL is synced at each checkpoint). We
// accept that, because the game sends its whole local table with every
// upload, so a row lost that way comes back with the player's next one;
// and because waiting for the disk at each commit, on a disk shared with
// other work, made the slowest uploads take hundreds of milliseconds.
//
// Uploads that arrive while a transaction is being written wait and go
// together into the next one (group commit). The WAL is copied back into
// the database (a checkpoint, with its syncs) by a thread of its own on a
// second connection, so that no upload waits for it as the one whose
// commit set it off otherwise would. Pages are read on a third
// connection, so that a slow read (a name looked up in a table of a
// million) does not hold up the uploads.
//
// The statements that read and write rows are written so that PostgreSQL
// runs them as they are: numbered parameters, ON CONFLICT DO NOTHING, no
// SQLite-only functions.
#include "servidor/servidor.h"

#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace {

// Rows written in one transaction at most.
constexpr size_t MAX_LOTE = 256;
// WAL pages (4 KiB) that wake the checkpoint thread, SQLite's own default;
// it also wakes once a second to copy back whatever was written since.
constexpr int PAGINAS_PUNTO_CONTROL = 1000;
// The space of what was deleted (finished jobs' bodies, pruned
// recordings) is given back to the file system: the file is kept in
// incremental auto-vacuum, and past this many free pages the checkpoint
// thread gives back up to VACIADO_MAXIMO of them (at most every
// INTERVALO_VACIADO_S seconds, so uploads are not kept waiting). The WAL
// is cut back to this size after each checkpoint that empties it.
constexpr int PAGINAS_LIBRES_VACIADO = 256;
constexpr int VACIADO_MAXIMO = 4096;
constexpr int64_t INTERVALO_VACIADO_S = 5;
#define LIMITE_WAL "4194304"

// A connection and the statements prepared on it, by their text's
// address (the statements are constants).
struct conexion {
  sqlite3 *db = nullptr;
  std::unordered_map<const char *, sqlite3_stmt *> sentencias;
};

struct base_sqlite {
  sqlite3 *db = nullptr;
  std::mutex cerrojo;
  sqlite3_stmt *insertar = nullptr;
  conexion escritura;
  // The uploads waiting for the next transaction, and whether one is
  // being written now (by the upload that took the list).
  lotes_subida lotes;
  // The connection the pages are read on and the lock for it: for a
  // database in memory, which no second connection sees, the writing
  // connection and its lock.
  sqlite3 *db_lectura = nullptr;
  std::mutex cerrojo_propio_lectura;
  std::mutex *cerrojo_lectura = nullptr;
  conexion lectura_propia;
  conexion *lectura = nullptr;
  // The checkpoint thread, its connection, and what wakes it.
  sqlite3 *db_control = nullptr;
  std::thread hilo_control;
  std::mutex cerrojo_control;
  std::condition_variable despertar_control;
  int paginas_wal = 0;  // in the WAL at the last commit, 0 once copied
  bool fin_control = false;
  int64_t ultimo_vaciado = 0;
};

// Called by SQLite after each commit with the WAL's size in pages.
int tras_commit(void *b, sqlite3 *, const char *, int paginas)
{
  auto *s = static_cast<base_sqlite *>(b);
  std::lock_guard<std::mutex> l(s->cerrojo_control);
  s->paginas_wal = paginas;
  if (paginas >= PAGINAS_PUNTO_CONTROL) {
    s->despertar_control.notify_one();
  }
  return SQLITE_OK;
}

bool guion(void *c, const char *sql, std::string *valor, std::string &error);

// A passive checkpoint never waits for the writer nor makes it wait: it
// copies what no reader still needs, and the WAL starts over from its
// beginning at the first commit after a complete one.
void puntos_de_control(base_sqlite *s)
{
  std::unique_lock<std::mutex> l(s->cerrojo_control);
  while (!s->fin_control) {
    s->despertar_control.wait_for(l, std::chrono::seconds(1), [s] {
      return s->fin_control || s->paginas_wal >= PAGINAS_PUNTO_CONTROL;
    });
    if (s->fin_control || s->paginas_wal == 0) {
      continue;
    }
    s->paginas_wal = 0;
    l.unlock();
    sqlite3_wal_checkpoint_v2(s->db_control, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    const int64_t ahora = static_cast<int64_t>(std::time(nullptr));
    if (ahora - s->ultimo_vaciado >= INTERVALO_VACIADO_S) {
      s->ultimo_vaciado = ahora;
      std::string libres, error;
      if (guion(s->db_control, "PRAGMA freelist_count", &libres, error) && std::atoi(libres.c_str()) > PAGINAS_LIBRES_VACIADO) {
        guion(s->db_control, ("PRAGMA incremental_vacuum(" + std::to_string(VACIADO_MAXIMO) + ")").c_str(), nullptr, error);
        sqlite3_wal_checkpoint_v2(s->db_control, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
      }
    }
    l.lock();
  }
}

const char *const SQL_INSERTAR =
    "INSERT INTO puntuaciones (nombre, codigo, puntos, fases, trampa, recibida)"
    " VALUES ($1, $2, $3, $4, $5, $6) ON CONFLICT (nombre, codigo) DO NOTHING";

// A script on the connection, for the schema's upgrade: the first value
// its statements give, if asked for.
bool guion(void *c, const char *sql, std::string *valor, std::string &error)
{
  char *mensaje = nullptr;
  const auto primero = [](void *v, int columnas, char **valores, char **) {
    auto *destino = static_cast<std::string *>(v);
    if (destino != nullptr && destino->empty() && columnas > 0 && valores[0] != nullptr) {
      *destino = valores[0];
    }
    return 0;
  };
  if (valor != nullptr) {
    valor->clear();
  }
  if (sqlite3_exec(static_cast<sqlite3 *>(c), sql, primero, valor, &mensaje) != SQLITE_OK) {
    error = mensaje != nullptr ? mensaje : sqlite3_errmsg(static_cast<sqlite3 *>(c));
    sqlite3_free(mensaje);
    return false;
  }
  return true;
}

bool ejecutar(sqlite3 *db, const char *sql, std::string &error) { return guion(db, sql, nullptr, error); }

void cerrar(void *b)
{
  auto *s = static_cast<base_sqlite *>(b);
  if (s->hilo_control.joinable()) {
    {
      std::lock_guard<std::mutex> l(s->cerrojo_control);
      s->fin_control = true;
    }
    s->despertar_control.notify_one();
    s->hilo_control.join();
  }
  sqlite3_close(s->db_control);
  sqlite3_finalize(s->insertar);
  for (conexion *c : {&s->escritura, &s->lectura_propia}) {
    for (auto &x : c->sentencias) {
      sqlite3_finalize(x.second);
    }
  }
  if (s->db_lectura != s->db) {
    sqlite3_close(s->db_lectura);
  }
  sqlite3_close(s->db);
  delete s;
}

void *abrir(const std::string &base, std::string &error)
{
  auto *s = new base_sqlite;
  const int banderas = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(base.c_str(), &s->db, banderas, nullptr) != SQLITE_OK) {
    error = "cannot open the database " + base + ": " + (s->db != nullptr ? sqlite3_errmsg(s->db) : "no memory");
    cerrar(s);
    return nullptr;
  }
  sqlite3_busy_timeout(s->db, 5000);
  std::string motivo;
  // A new file is made in incremental auto-vacuum before its first table;
  // an older one is made so once, by VACUUM, after its upgrade.
  std::string vaciado;
  bool bien = ejecutar(s->db, "PRAGMA auto_vacuum=INCREMENTAL", motivo) &&
              ejecutar(s->db, "PRAGMA journal_mode=WAL", motivo) &&
              ejecutar(s->db, "PRAGMA synchronous=NORMAL", motivo) &&
              ejecutar(s->db, "PRAGMA journal_size_limit=" LIMITE_WAL, motivo) &&
              actualizar_esquema({s->db, guion, "BEGIN IMMEDIATE", "", "INTEGER PRIMARY KEY", "BLOB"}, motivo) &&
              guion(s->db, "PRAGMA auto_vacuum", &vaciado, motivo);
  if (bien && vaciado != "2") {
    std::fprintf(stderr, "fotonauta-servidor: %s is rewritten once (VACUUM) to give back the space of what is deleted\n",
                 base.c_str());
    bien = ejecutar(s->db, "VACUUM", motivo);
  }
  const char *fichero = sqlite3_db_filename(s->db, "main");
  const bool en_fichero = fichero != nullptr && fichero[0] != '\0';
  s->db_lectura = s->db;
  s->cerrojo_lectura = &s->cerrojo;
  if (bien && en_fichero && sqlite3_open_v2(fichero, &s->db_lectura, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                                            nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(s->db_lectura, 5000);
    s->cerrojo_lectura = &s->cerrojo_propio_lectura;
  } else if (s->db_lectura != s->db) {
    sqlite3_close(s->db_lectura);
    s->db_lectura = s->db;
  }
  s->escritura.db = s->db;
  s->lectura_propia.db = s->db_lectura;
  s->lectura = s->db_lectura == s->db ? &s->escritura : &s->lectura_propia;
  struct {
    sqlite3 *db;
    sqlite3_stmt **st;
    const char *sql;
  } sentencias[] = {{s->db, &s->insertar, SQL_INSERTAR}};
  bool preparadas = bien;
  for (auto &x : sentencias) {
    if (preparadas && sqlite3_prepare_v3(x.db, x.sql, -1, SQLITE_PREPARE_PERSISTENT, x.st, nullptr) != SQLITE_OK) {
      motivo = sqlite3_errmsg(x.db);
      preparadas = false;
    }
  }
  if (!preparadas) {
    error = "cannot use the database " + base + ": " + motivo;
    cerrar(s);
    return nullptr;
  }
  // The checkpoint thread, for a database in a file (one in memory has no
  // WAL). Without its connection SQLite keeps checkpointing by itself. The
  // connection reads the file once first: until then it does not know the
  // database is in WAL mode, and a checkpoint on it does nothing.
  if (en_fichero && sqlite3_open_v2(fichero, &s->db_control, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK &&
      ejecutar(s->db_control, "PRAGMA journal_mode=WAL", motivo) &&
      ejecutar(s->db_control, "PRAGMA journal_size_limit=" LIMITE_WAL, motivo) &&
      ejecutar(s->db, "PRAGMA wal_autocheckpoint=0", motivo)) {
    sqlite3_busy_timeout(s->db_control, 5000);
    sqlite3_wal_hook(s->db, tras_commit, s);
    s->hilo_control = std::thread(puntos_de_control, s);
  }
  return s;
}

bool paso_hecho(sqlite3_stmt *st)
{
  const bool bien = sqlite3_step(st) == SQLITE_DONE;
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  return bien;
}

bool ejecutar_sentencia(void *contexto, const char *texto, const std::vector<valor_sql> &parametros,
                        std::vector<fila_sql> *filas, std::string &error);

// Writes a list of uploads in one transaction: every row is stored, or
// (on any failure) none is and every one is answered GUARDADA_FALLO.
void escribir_lote(base_sqlite *s, const std::vector<pendiente *> &lote)
{
  std::lock_guard<std::mutex> bloqueo(s->cerrojo);
  std::string error;
  if (!ejecutar(s->db, "BEGIN IMMEDIATE", error)) {
    return;
  }
  bool bien = true;
  sesion_sql sesion{&s->escritura, ejecutar_sentencia};
  for (size_t i = 0; bien && i < lote.size(); ++i) {
    const puntuacion &p = *lote[i]->p;
    sqlite3_stmt *st = s->insertar;
    sqlite3_bind_text(st, 1, p.nombre.data(), static_cast<int>(p.nombre.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, p.codigo.data(), static_cast<int>(p.codigo.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 3, p.puntos);
    sqlite3_bind_int(st, 4, p.fases);
    sqlite3_bind_int(st, 5, p.trampa ? 1 : 0);
    sqlite3_bind_int64(st, 6, p.recibida);
    bien = paso_hecho(st);
    const bool nueva = bien && sqlite3_changes(s->db) == 1;
    if (bien && nueva && !p.trampa) {
      bien = tablero_sumar(sesion, tablero_mundo(TABLA_COMPLETA), {p.puntos, sqlite3_last_insert_rowid(s->db)}, 1, error);
    }
    lote[i]->r = nueva ? GUARDADA_NUEVA : GUARDADA_YA;
  }
  if (bien && ejecutar(s->db, "COMMIT", error)) {
    return;
  }
  ejecutar(s->db, "ROLLBACK", error);
  for (pendiente *x : lote) {
    x->r = GUARDADA_FALLO;
  }
}

// One group is written at a time: SQLite has one writer.
resultado_guardar guardar(void *b, const puntuacion &p)
{
  auto *s = static_cast<base_sqlite *>(b);
  return guardar_en_lote(s->lotes, 1, MAX_LOTE, p, [s](const std::vector<pendiente *> &lote) { escribir_lote(s, lote); });
}

// Runs one statement on a connection of a transaction in progress: its
// parameters bound by their names ($1, $2...), its rows read if wanted.
bool ejecutar_sentencia(void *contexto, const char *texto, const std::vector<valor_sql> &parametros,
                        std::vector<fila_sql> *filas, std::string &error)
{
  auto *c = static_cast<conexion *>(contexto);
  sqlite3_stmt *&st = c->sentencias[texto];
  if (st == nullptr && sqlite3_prepare_v3(c->db, texto, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(c->db);
    c->sentencias.erase(texto);
    return false;
  }
  for (size_t i = 0; i < parametros.size(); ++i) {
    const std::string nombre = "$" + std::to_string(i + 1);
    const int k = sqlite3_bind_parameter_index(st, nombre.c_str());
    const valor_sql &v = parametros[i];
    if (k == 0) {
      continue;
    }
    switch (v.tipo) {
    case valor_sql::NULO: sqlite3_bind_null(st, k); break;
    case valor_sql::ENTERO: sqlite3_bind_int64(st, k, v.entero); break;
    case valor_sql::TEXTO:
      sqlite3_bind_text(st, k, v.texto.data(), static_cast<int>(v.texto.size()), SQLITE_STATIC);
      break;
    case valor_sql::BYTES:
      sqlite3_bind_blob(st, k, v.texto.data(), static_cast<int>(v.texto.size()), SQLITE_STATIC);
      break;
    }
  }
  int r;
  while ((r = sqlite3_step(st)) == SQLITE_ROW) {
    if (filas == nullptr) {
      continue;
    }
    fila_sql f(static_cast<size_t>(sqlite3_column_count(st)));
    for (int k = 0; k < sqlite3_column_count(st); ++k) {
      valor_sql &v = f[static_cast<size_t>(k)];
      switch (sqlite3_column_type(st, k)) {
      case SQLITE_NULL: break;
      case SQLITE_INTEGER:
        v.tipo = valor_sql::ENTERO;
        v.entero = sqlite3_column_int64(st, k);
        break;
      case SQLITE_BLOB:
        v.tipo = valor_sql::BYTES;
        v.texto.assign(static_cast<const char *>(sqlite3_column_blob(st, k)),
                       static_cast<size_t>(sqlite3_column_bytes(st, k)));
        break;
      default:
        v.tipo = valor_sql::TEXTO;
        v.texto.assign(reinterpret_cast<const char *>(sqlite3_column_text(st, k)),
                       static_cast<size_t>(sqlite3_column_bytes(st, k)));
      }
    }
    filas->push_back(std::move(f));
  }
  if (r != SQLITE_DONE) {
    error = sqlite3_errmsg(c->db);
  }
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  return r == SQLITE_DONE;
}

// A writing transaction takes its turn with the uploads' groups on the
// writing connection; a reading one runs on the reading connection.
bool transaccion(void *b, bool escribe, const std::function<bool(sesion_sql &)> &cuerpo, std::string &error)
{
  auto *s = static_cast<base_sqlite *>(b);
  std::lock_guard<std::mutex> bloqueo(escribe ? s->cerrojo : *s->cerrojo_lectura);
  conexion *c = escribe ? &s->escritura : s->lectura;
  if (!ejecutar(c->db, escribe ? "BEGIN IMMEDIATE" : "BEGIN", error)) {
    return false;
  }
  sesion_sql sesion{c, ejecutar_sentencia};
  if (cuerpo(sesion) && ejecutar(c->db, "COMMIT", error)) {
    return true;
  }
  std::string ignorado;
  ejecutar(c->db, "ROLLBACK", ignorado);
  return false;
}

}  // namespace

const backend_almacen BACKEND_SQLITE = {abrir, cerrar, guardar, transaccion, ""};
