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
#include <mutex>
#include <thread>

namespace {

// Rows written in one transaction at most.
constexpr size_t MAX_LOTE = 256;
// WAL pages (4 KiB) that wake the checkpoint thread, SQLite's own default;
// it also wakes once a second to copy back whatever was written since.
constexpr int PAGINAS_PUNTO_CONTROL = 1000;

// An upload waiting for its transaction.
struct pendiente {
  const puntuacion *p;
  resultado_guardar r = GUARDADA_FALLO;
  bool hecho = false;
};

struct base_sqlite {
  sqlite3 *db = nullptr;
  std::mutex cerrojo;
  sqlite3_stmt *insertar = nullptr;
  sqlite3_stmt *sumar_total = nullptr;
  sqlite3_stmt *pagina = nullptr;
  sqlite3_stmt *puesto = nullptr;
  sqlite3_stmt *total = nullptr;
  sqlite3_stmt *todas = nullptr;
  sqlite3_stmt *mejor = nullptr;
  sqlite3_stmt *antes = nullptr;
  // The uploads waiting for the next transaction, and whether one is
  // being written now (by the upload that took the list).
  std::mutex cerrojo_lote;
  std::condition_variable lote_escrito;
  std::vector<pendiente *> lote;
  bool escribiendo = false;
  // The connection the pages are read on and the lock for it: for a
  // database in memory, which no second connection sees, the writing
  // connection and its lock.
  sqlite3 *db_lectura = nullptr;
  std::mutex cerrojo_propio_lectura;
  std::mutex *cerrojo_lectura = nullptr;
  // The checkpoint thread, its connection, and what wakes it.
  sqlite3 *db_control = nullptr;
  std::thread hilo_control;
  std::mutex cerrojo_control;
  std::condition_variable despertar_control;
  int paginas_wal = 0;  // in the WAL at the last commit, 0 once copied
  bool fin_control = false;
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
    l.lock();
  }
}

// Each schema version's changes from the one before; a store at version v
// runs steps v to VERSION_ESQUEMA - 1, all in one transaction.
//
// The ranked rows are counted in `totales`, kept with every insert, so the
// page never counts a million rows to know how many pages there are.
const char *const PASOS_ESQUEMA[VERSION_ESQUEMA] = {
    "CREATE TABLE puntuaciones ("
    " id INTEGER PRIMARY KEY,"
    " nombre TEXT NOT NULL,"
    " codigo TEXT NOT NULL,"
    " puntos INTEGER NOT NULL,"
    " fases INTEGER NOT NULL,"
    " trampa INTEGER NOT NULL,"
    " recibida BIGINT NOT NULL,"
    " UNIQUE (nombre, codigo));"
    "CREATE INDEX puntuaciones_orden ON puntuaciones (trampa, puntos DESC, id);"
    "CREATE TABLE totales (clasificadas BIGINT NOT NULL);"
    "INSERT INTO totales (clasificadas) VALUES (0);",
};

const char *const SQL_INSERTAR =
    "INSERT INTO puntuaciones (nombre, codigo, puntos, fases, trampa, recibida)"
    " VALUES ($1, $2, $3, $4, $5, $6) ON CONFLICT (nombre, codigo) DO NOTHING";
const char *const SQL_SUMAR_TOTAL = "UPDATE totales SET clasificadas = clasificadas + 1";

bool ejecutar(sqlite3 *db, const char *sql, std::string &error)
{
  char *mensaje = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &mensaje) != SQLITE_OK) {
    error = mensaje != nullptr ? mensaje : sqlite3_errmsg(db);
    sqlite3_free(mensaje);
    return false;
  }
  return true;
}

// The schema's version: 0 for a new, empty file.
bool leer_version(sqlite3 *db, int32_t &version, std::string &error)
{
  if (!ejecutar(db, "CREATE TABLE IF NOT EXISTS version_esquema (version INTEGER NOT NULL)", error)) {
    return false;
  }
  sqlite3_stmt *s = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT MAX(version) FROM version_esquema", -1, &s, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(db);
    return false;
  }
  version = 0;
  const int r = sqlite3_step(s);
  if (r == SQLITE_ROW) {
    version = sqlite3_column_int(s, 0);
  }
  sqlite3_finalize(s);
  if (r != SQLITE_ROW) {
    error = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

bool actualizar_esquema(sqlite3 *db, std::string &error)
{
  if (!ejecutar(db, "BEGIN IMMEDIATE", error)) {
    return false;
  }
  int32_t version = 0;
  bool bien = leer_version(db, version, error);
  if (bien && version > VERSION_ESQUEMA) {
    error = "the database was written by a newer server (schema " + std::to_string(version) + ")";
    bien = false;
  }
  for (int32_t v = version; bien && v < VERSION_ESQUEMA; ++v) {
    bien = ejecutar(db, PASOS_ESQUEMA[v], error);
  }
  if (bien && version < VERSION_ESQUEMA) {
    const std::string sql = "DELETE FROM version_esquema; INSERT INTO version_esquema (version) VALUES (" +
                            std::to_string(VERSION_ESQUEMA) + ")";
    bien = ejecutar(db, sql.c_str(), error);
  }
  if (bien) {
    return ejecutar(db, "COMMIT", error);
  }
  std::string ignorado;
  ejecutar(db, "ROLLBACK", ignorado);
  return false;
}

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
  for (sqlite3_stmt *st : {s->insertar, s->sumar_total, s->pagina, s->puesto, s->total, s->todas, s->mejor, s->antes}) {
    sqlite3_finalize(st);
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
  const bool bien = ejecutar(s->db, "PRAGMA journal_mode=WAL", motivo) &&
                    ejecutar(s->db, "PRAGMA synchronous=NORMAL", motivo) &&
                    actualizar_esquema(s->db, motivo);
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
  struct {
    sqlite3 *db;
    sqlite3_stmt **st;
    const char *sql;
  } sentencias[] = {{s->db, &s->insertar, SQL_INSERTAR}, {s->db, &s->sumar_total, SQL_SUMAR_TOTAL},
                    {s->db_lectura, &s->pagina, SQL_PAGINA}, {s->db_lectura, &s->puesto, SQL_PUESTO},
                    {s->db_lectura, &s->total, SQL_TOTAL},   {s->db_lectura, &s->todas, SQL_TODAS},
                    {s->db_lectura, &s->mejor, SQL_MEJOR},   {s->db_lectura, &s->antes, SQL_ANTES}};
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
      ejecutar(s->db, "PRAGMA wal_autocheckpoint=0", motivo)) {
    sqlite3_busy_timeout(s->db_control, 5000);
    sqlite3_wal_hook(s->db, tras_commit, s);
    s->hilo_control = std::thread(puntos_de_control, s);
  }
  return s;
}

// Runs a statement that gives one integer; -1 on failure.
int64_t un_entero(sqlite3_stmt *st)
{
  int64_t n = -1;
  if (sqlite3_step(st) == SQLITE_ROW) {
    n = sqlite3_column_int64(st, 0);
  }
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  return n;
}

bool paso_hecho(sqlite3_stmt *st)
{
  const bool bien = sqlite3_step(st) == SQLITE_DONE;
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  return bien;
}

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
      bien = paso_hecho(s->sumar_total);
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

resultado_guardar guardar(void *b, const puntuacion &p)
{
  auto *s = static_cast<base_sqlite *>(b);
  pendiente yo{&p};
  std::unique_lock<std::mutex> l(s->cerrojo_lote);
  s->lote.push_back(&yo);
  while (!yo.hecho) {
    if (s->escribiendo) {
      s->lote_escrito.wait(l);
      continue;
    }
    // No transaction is being written: this upload writes the next one,
    // with every upload waiting (its own among them).
    s->escribiendo = true;
    std::vector<pendiente *> mio;
    const size_t n = std::min(s->lote.size(), MAX_LOTE);
    mio.assign(s->lote.begin(), s->lote.begin() + static_cast<std::ptrdiff_t>(n));
    s->lote.erase(s->lote.begin(), s->lote.begin() + static_cast<std::ptrdiff_t>(n));
    l.unlock();
    escribir_lote(s, mio);
    l.lock();
    for (pendiente *x : mio) {
      x->hecho = true;
    }
    s->escribiendo = false;
    s->lote_escrito.notify_all();
  }
  return yo.r;
}

bool pagina(void *b, int64_t desde, int32_t cuantos, std::vector<puntuacion> &filas)
{
  auto *s = static_cast<base_sqlite *>(b);
  std::lock_guard<std::mutex> bloqueo(*s->cerrojo_lectura);
  std::string error;
  // One read transaction, so the ranks match the rows.
  if (!ejecutar(s->db_lectura, "BEGIN", error)) {
    return false;
  }
  sqlite3_stmt *st = s->pagina;
  sqlite3_bind_int(st, 1, cuantos);
  sqlite3_bind_int64(st, 2, desde);
  int r;
  while ((r = sqlite3_step(st)) == SQLITE_ROW) {
    puntuacion p;
    p.nombre.assign(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)),
                    static_cast<size_t>(sqlite3_column_bytes(st, 0)));
    p.codigo.assign(reinterpret_cast<const char *>(sqlite3_column_text(st, 1)),
                    static_cast<size_t>(sqlite3_column_bytes(st, 1)));
    p.puntos = sqlite3_column_int(st, 2);
    p.fases = sqlite3_column_int(st, 3);
    p.recibida = sqlite3_column_int64(st, 4);
    filas.push_back(std::move(p));
  }
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  bool bien = r == SQLITE_DONE;
  // The first row's rank is counted; after it, a row with fewer points
  // than the one before has as many rows ahead of it as its position.
  for (size_t i = 0; bien && i < filas.size(); ++i) {
    if (i == 0) {
      sqlite3_bind_int(s->puesto, 1, filas[0].puntos);
      const int64_t delante = un_entero(s->puesto);
      bien = delante >= 0;
      filas[0].puesto = delante + 1;
    } else {
      filas[i].puesto = filas[i].puntos == filas[i - 1].puntos ? filas[i - 1].puesto
                                                              : desde + static_cast<int64_t>(i) + 1;
    }
  }
  ejecutar(s->db_lectura, "COMMIT", error);
  return bien;
}

int64_t contar(void *b, bool con_trampas)
{
  auto *s = static_cast<base_sqlite *>(b);
  std::lock_guard<std::mutex> bloqueo(*s->cerrojo_lectura);
  return un_entero(con_trampas ? s->todas : s->total);
}

int64_t posicion(void *b, const std::string &nombre)
{
  auto *s = static_cast<base_sqlite *>(b);
  std::lock_guard<std::mutex> bloqueo(*s->cerrojo_lectura);
  sqlite3_stmt *st = s->mejor;
  sqlite3_bind_text(st, 1, nombre.data(), static_cast<int>(nombre.size()), SQLITE_TRANSIENT);
  const int r = sqlite3_step(st);
  int32_t puntos = 0;
  int64_t id = 0;
  if (r == SQLITE_ROW) {
    puntos = sqlite3_column_int(st, 0);
    id = sqlite3_column_int64(st, 1);
  }
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  if (r == SQLITE_DONE) {
    return -1;
  }
  if (r != SQLITE_ROW) {
    return -2;
  }
  sqlite3_bind_int(s->antes, 1, puntos);
  sqlite3_bind_int64(s->antes, 2, id);
  const int64_t n = un_entero(s->antes);
  return n < 0 ? -2 : n;
}

}  // namespace

const backend_almacen BACKEND_SQLITE = {abrir, cerrar, guardar, pagina, contar, posicion};
