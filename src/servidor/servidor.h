// servidor: the score server. It takes the rows the game uploads
// (GET /highscore.php?yourname=NAME&code=CODE) and the recordings of their
// games (POST /api/repeticiones), checks the score codes, plays each
// recording again to verify the row it backs, keeps rows and recordings in
// a store, and shows the world table as a web page and as JSON.
//
// Four layers: the store (almacen_*), one interface over the SQLite and
// PostgreSQL backends; the verification queue (cola_*), which lives in the
// store and is written once above both backends, with its worker processes
// (the program run as `--verificador`), which play the recordings; the
// request handler (atender, recibir_repeticion), functions from a request
// to a status and a body that know nothing of sockets; and the program
// (main.cpp), which puts the handler behind cpp-httplib.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "identidad/identidad.h"

struct cabecera_repeticion;
struct nivel_texto;
struct problema_nivel;

// ---------------------------------------------------------------------------
// The store
// ---------------------------------------------------------------------------

// One stored row.
struct puntuacion {
  std::string nombre;  // UTF-8, without the trailing blanks of the field
  std::string codigo;  // the 12 characters as the game made them
  int32_t puntos = 0;  // 0 for a tampered game
  int32_t fases = 0;   // levels completed
  bool trampa = false; // a tampered game: kept, never ranked
  int64_t recibida = 0;  // when it arrived, seconds since 1970 (UTC)
  int64_t puesto = 0;    // rank, on reading: 1 + the rows with more points
  bool verificada = false;  // on reading: a recording of its game proved it
  int64_t repeticion = 0;   // on reading: that recording's id while it is kept, else 0
  int64_t partida = 0;      // on reading: a verified row's game (its recording's id, kept or not)
  int64_t id = 0;           // on reading: the row's id, its key beside the points
};

enum resultado_guardar : int8_t {
  GUARDADA_NUEVA,      // stored now
  GUARDADA_YA,         // the same name and code were stored before
  GUARDADA_FALLO,      // the store could not take it; nothing stored
};

// What a look-up in the store found.
enum resultado_busqueda : int8_t {
  HALLADA,        // found
  NINGUNA,        // there is no such row
  PODADA,         // found, but its recording was pruned
  FALLO_ALMACEN,  // the store cannot be read (or written)
};

// The two tables the page and the API show.
enum tabla : int8_t {
  // Each player's best verified row: a player (a name) is ranked once, by
  // the best score a recording proved.
  TABLA_VERIFICADA = 0,
  // Every ranked row, verified or not: the rows older games and other
  // clients upload without a recording are here only.
  TABLA_COMPLETA = 1,
};

struct almacen;

// Opens (creating or upgrading as needed) the store named by `base`: a
// PostgreSQL connection URI (postgresql://...), or else a SQLite database
// file. Null on failure, with the reason in `error`.
almacen *almacen_abrir(const std::string &base, std::string &error);
void almacen_cerrar(almacen *a);

// Stores a row once: a row with the same name and code is not stored again.
// The row is committed before this returns GUARDADA_NUEVA.
resultado_guardar almacen_guardar(almacen *a, const puntuacion &p);

// The ranked rows of table `t` in rank order, best first, from position
// `desde` (0 the best) for at most `cuantos` rows, their rank filled in.
// False when the store cannot be read.
bool almacen_pagina(almacen *a, tabla t, int64_t desde, int32_t cuantos, std::vector<puntuacion> &filas);

// How many rows table `t` ranks; -1 when the store cannot be read.
int64_t almacen_contar(almacen *a, tabla t);

// Every row stored, tampered games too; -1 when the store cannot be read.
int64_t almacen_contar_todas(almacen *a);

// The position (0 the best) in table `t` of the best row of `nombre`
// (exactly as stored): HALLADA with it, NINGUNA, or FALLO_ALMACEN.
resultado_busqueda almacen_posicion(almacen *a, tabla t, const std::string &nombre, int64_t &posicion);

// A value given to or read from a statement: null, a whole number, or text
// or bytes.
struct valor_sql {
  enum : int8_t { NULO, ENTERO, TEXTO, BYTES } tipo = NULO;
  int64_t entero = 0;
  std::string texto;
};
valor_sql sql_entero(int64_t n);
valor_sql sql_texto(const std::string &s);
valor_sql sql_bytes(const std::string &s);
using fila_sql = std::vector<valor_sql>;

// Statements run inside one transaction of a backend. The statements are
// written so that both backends run them as they are (numbered
// parameters, ON CONFLICT, RETURNING); `filas`, when given, gets the rows
// the statement gives back.
struct sesion_sql {
  void *contexto;
  bool (*ejecutar)(void *contexto, const char *sql, const std::vector<valor_sql> &parametros,
                   std::vector<fila_sql> *filas, std::string &error);
};

// Runs `cuerpo` in one transaction, writing (committed when `cuerpo`
// returns true, rolled back otherwise) or only reading. False, with the
// reason, when the store could not be reached, a statement failed or
// `cuerpo` gave up (leaving `error` as it set it).
bool almacen_transaccion(almacen *a, bool escribe, const std::function<bool(sesion_sql &)> &cuerpo,
                         std::string &error);

// One statement in a transaction; false (the reason in `error`) on failure.
bool sql(sesion_sql &s, const char *texto, const std::vector<valor_sql> &parametros,
         std::vector<fila_sql> *filas, std::string &error);

// What a backend adds to the query that takes a job from the queue, so
// that two processes never take the same one: PostgreSQL's row locks
// skipped; nothing for SQLite, whose writers take turns.
const char *almacen_saltar_bloqueadas(almacen *a);

// Group commit, as both backends write uploads: an upload that arrives
// while `escritores` groups are being written waits, and goes with every
// other waiting upload (up to `maximo`) into the next group, written by
// one of their threads with `escribir`, which answers each. Each waiting
// thread is woken only when its answer is there or when it is to write
// the next group, so a group written wakes its own, not every waiting one.
struct pendiente;
struct lotes_subida {
  std::mutex cerrojo;
  std::vector<pendiente *> esperando;
  int escribiendo = 0;
};
struct pendiente {
  explicit pendiente(const puntuacion *fila) : p(fila) {}
  const puntuacion *p;
  resultado_guardar r = GUARDADA_FALLO;
  bool hecho = false;
  std::condition_variable listo;
};
resultado_guardar guardar_en_lote(lotes_subida &l, int escritores, size_t maximo, const puntuacion &p,
                                  const std::function<void(const std::vector<pendiente *> &)> &escribir);

// A backend: one file per kind of store, each with these operations.
struct backend_almacen {
  void *(*abrir)(const std::string &base, std::string &error);
  void (*cerrar)(void *b);
  resultado_guardar (*guardar)(void *b, const puntuacion &p);
  bool (*transaccion)(void *b, bool escribe, const std::function<bool(sesion_sql &)> &cuerpo, std::string &error);
  const char *saltar_bloqueadas;
};
extern const backend_almacen BACKEND_SQLITE;
extern const backend_almacen BACKEND_POSTGRESQL;

// ---------------------------------------------------------------------------
// Boards: rows ranked by points, written once above both backends
// ---------------------------------------------------------------------------
//
// A board ranks rows by points, best first, and rows of equal points by
// arrival (their id, smaller first). Its rows live in a table of their
// own kind (the world table's `puntuaciones`, a level's board...); what
// makes it fast at any size lives in one table shared by every board,
// `recuentos`, as a sorted set keeps counts along its links: how many rows
// each board has in each range of points, at scales 1 to ESCALAS_RECUENTO.
// A range at scale e holds the points whose value shifted right by
// BITS_RECUENTO * e is its `cubo`, and 2^BITS_RECUENTO ranges of one scale
// make one of the next; at scale 0 the rows themselves are read, through
// the board's index, within one range of scale 1. So a row's rank is a sum
// over a few ranges per scale, a position's row is found by walking down
// the scales, and the total is the sum of the top scale. Each range's count is split into
// FRANJAS_RECUENTO slices, the row's id choosing the slice, so that no
// count is one row every upload updates: concurrent uploads rarely touch
// the same one. Pages go from a row's key (keyset), never by skipping
// rows (OFFSET).
constexpr int32_t BITS_RECUENTO = 6;
constexpr int32_t ESCALAS_RECUENTO = 5;  // to 36 bits: every 31-bit points value
constexpr int32_t FRANJAS_RECUENTO = 16;

// A row's place on a board: its points and its id.
struct clave_fila {
  int32_t puntos = 0;
  int64_t id = 0;
};

// The statements that read one kind of board's rows, each in rank order
// (puntos DESC, id ASC), with the board's own parameters (`tablero::filtro`)
// numbered after the ones named here. Each gives `puntos` and `id` as its
// first two columns, then whatever its kind shows.
struct sql_tablero {
  // $1 how many, $2 points, $3 id: the rows after that key, in rank order.
  const char *tras;
  // $1 how many, $2 points, $3 id: the rows before that key, nearest first
  // (ORDER BY puntos ASC, id DESC).
  const char *antes;
  // $1 points, $2 id: COUNT(*) of the rows with those points and a smaller id.
  const char *empatadas;
  // $1 and $2 points: COUNT(*) of the rows with more than $1, at most $2.
  const char *entre;
};

// One board: how its rows are read, its key in `recuentos` (a name for the
// world's tables, a level's id for a level's), and its parameters.
struct tablero {
  const sql_tablero *sql;
  std::string recuento;
  std::vector<valor_sql> filtro;
};

// Counts a row in (delta 1) or out of (delta -1) board `t`'s ranges, in
// the transaction of the statement that added or removed it.
bool tablero_sumar(sesion_sql &s, const tablero &t, clave_fila c, int64_t delta, std::string &error);

// How many rows board `t` ranks; -1 on failure.
int64_t tablero_total(sesion_sql &s, const tablero &t, std::string &error);

// The rows with more points than `puntos` (a rank is 1 + that); -1 on failure.
int64_t tablero_delante(sesion_sql &s, const tablero &t, int32_t puntos, std::string &error);

// The position (0 the best) of the row with key `c`; -1 on failure.
int64_t tablero_posicion(sesion_sql &s, const tablero &t, clave_fila c, std::string &error);

// The key of the row at position `posicion` (0 the best): HALLADA, NINGUNA
// (the board has no such row) or FALLO_ALMACEN.
resultado_busqueda tablero_en_posicion(sesion_sql &s, const tablero &t, int64_t posicion, clave_fila &c, std::string &error);

// At most `cuantos` rows in rank order: after key `desde` (from the best
// when null), or with `atras` the ones just before it (the last ones when
// null). False on failure.
bool tablero_filas(sesion_sql &s, const tablero &t, const clave_fila *desde, bool atras, int32_t cuantos,
                   std::vector<fila_sql> &filas, std::string &error);

// Boards that rank each player's best row (the verified world table, a
// level's board): the statements of one kind of them.
struct sql_mejor {
  // With the player's parameters: the player's best row now, as its id,
  // its points and its recording's id.
  const char *mejor_de;
  // $1 a row's id, $2 1 or 0: the row marked its player's best, or not.
  const char *poner_mejor;
  // With the player's parameters: the player's best row that may be shown
  // (its game not hidden), as mejor_de gives it.
  const char *elegible;
};

// A proved row `nueva`, kept with recording `repeticion`, of the player
// whose parameters are `jugador`: it becomes the player's best on board
// `t` if it has more points than the best (equal points leave the older
// one), and the recording no longer shown is marked unneeded since
// `ahora`, to be pruned.
bool tablero_promover(sesion_sql &s, const tablero &t, const sql_mejor &m, const std::vector<valor_sql> &jugador,
                      clave_fila nueva, int64_t repeticion, int64_t ahora, std::string &error);

// The player's best row on board `t` found again, after an operator hid or
// showed one of the player's games or barred the name (`vetado`: none is
// shown): the rows marked best are unmarked and the best row that may be
// shown is marked, the counts kept.
bool tablero_recolocar(sesion_sql &s, const tablero &t, const sql_mejor &m, const std::vector<valor_sql> &jugador,
                       bool vetado, int64_t ahora, std::string &error);

// Marks recording `repeticion` needed by no board since `ahora`: it is
// pruned once it has been so for the time recordings are kept.
bool marcar_innecesaria(sesion_sql &s, int64_t repeticion, int64_t ahora, std::string &error);

struct resultado_prueba;
// Keeps a proved game's recording under its huella: its id, 0 when a
// recording of the same game is kept already, -1 on failure.
int64_t guardar_repeticion(sesion_sql &s, const resultado_prueba &r, int64_t ahora, const std::string &datos,
                           std::string &error);

// A column as a number: backends give numbers as numbers or as text.
int64_t entero_sql(const valor_sql &v);

// The world table's two boards.
const tablero &tablero_mundo(tabla t);
// A level's board.
tablero tablero_nivel(int64_t nivel);
// The players' best rows: on the verified world table, a player is $1
// (the folded name); on a level's board, $1 the level and $2 the player.
extern const sql_mejor MEJOR_MUNDO;
extern const sql_mejor MEJOR_MARCAS;

// The statement that counts the rows of `puntuaciones` that `filtro`
// picks into board `nombre`'s ranges, at every scale, in both backends'
// words: the schema's upgrade to the counts runs it, and so does
// almacen_recontar.
#define RECONTAR_MUNDO(nombre, filtro)                                                                         \
  "WITH RECURSIVE e(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM e WHERE k < 5)"                              \
  " INSERT INTO recuentos (tablero, escala, cubo, franja, n)"                                                \
  " SELECT '" nombre "', k, puntos >> (6 * k), id % 16, COUNT(*) FROM puntuaciones, e WHERE " filtro         \
  " GROUP BY k, puntos >> (6 * k), id % 16"
static_assert(BITS_RECUENTO == 6 && ESCALAS_RECUENTO == 5 && FRANJAS_RECUENTO == 16, "RECONTAR_MUNDO's numbers");

// The schema's step to the counts, the same in both backends: the table
// of counts, filled from the rows, and in place of the old table of totals
// a view with its columns, for whoever reads them.
#define ESQUEMA_RECUENTOS                                                                                      \
  "CREATE TABLE recuentos ("                                                                                 \
  " tablero TEXT NOT NULL, escala INTEGER NOT NULL, cubo BIGINT NOT NULL, franja INTEGER NOT NULL,"          \
  " n BIGINT NOT NULL, PRIMARY KEY (tablero, escala, cubo, franja));"                                        \
  RECONTAR_MUNDO("clasificadas", "trampa = 0") ";" RECONTAR_MUNDO("verificadas", "mejor = 1") ";"            \
  "DROP TABLE totales;"                                                                                      \
  "CREATE VIEW totales AS SELECT"                                                                            \
  " (SELECT COALESCE(SUM(n), 0) FROM recuentos WHERE tablero = 'clasificadas' AND escala = 5) AS clasificadas," \
  " (SELECT COALESCE(SUM(n), 0) FROM recuentos WHERE tablero = 'verificadas' AND escala = 5) AS verificadas;"

// The statements that rebuild the world's counts, one by one.
extern const char *const SQL_RECONTAR[5];

// A page of table `t` by key: the rows after key `desde`, or with `atras`
// the ones before it (null: the first page, or the last), their ranks
// filled in, and `posicion` the first one's position (0 the best). False
// when the store cannot be read.
bool almacen_pagina_clave(almacen *a, tabla t, const clave_fila *desde, bool atras, int32_t cuantos,
                          std::vector<puntuacion> &filas, int64_t &posicion);

// Rebuilds the counts in one transaction; false with the reason.
bool almacen_recontar(almacen *a, std::string &error);

// True when `base` names a PostgreSQL database (a postgresql:// or
// postgres:// URI, which libpq reads; its query carries any other
// connection keyword, host=/a/socket/folder for one).
bool es_base_postgresql(const std::string &base);

// The schema version this program writes; older stores are upgraded.
constexpr int32_t VERSION_ESQUEMA = 6;

// Fills in, once, what schema 5 adds that SQL alone cannot: the canonical
// IDs of the levels and the folded names of the verified rows and runs of
// an older store. False with the reason.
bool completar_esquema(almacen *a, std::string &error);

// What the schema's upgrade (esquema.cpp, written once) needs of a
// backend: a connection, a way to run a script of statements (giving the
// first value of its last statement's first row when `valor` is given),
// the words that open a writing transaction and that keep a second
// process out of the upgrade meanwhile (none: the transaction does), and
// its words for a key it numbers itself and for bytes.
struct motor_esquema {
  void *conexion;
  bool (*guion)(void *conexion, const char *sql, std::string *valor, std::string &error);
  const char *empezar;
  const char *cerrojo;
  const char *clave_propia;
  const char *bytes;
};

// Creates the schema in a new store, or upgrades an older one to
// VERSION_ESQUEMA, in one transaction; false with the reason.
bool actualizar_esquema(const motor_esquema &m, std::string &error);

// The schema's step to the community levels, the same words on both
// backends (almacen_niveles.cpp).
extern const char *const ESQUEMA_NIVELES;

// ---------------------------------------------------------------------------
// Verifying recordings
// ---------------------------------------------------------------------------

// The MIME type of a recording file.
extern const char *const TIPO_REPETICION;

// What a verification of a recording against its row ends in: the HTTP
// status the sender gets (200 proved, 4xx refused), the reason, and what
// the store keeps of a proved game.
struct resultado_prueba {
  int estado = 0;
  std::string motivo;
  uint64_t huella = 0;      // huella_repeticion of the canonical recording: the game's identity
  uint32_t fotogramas = 0;  // frames played
  int32_t puntos = 0;       // a level's run: the points the game made
  bool gana = false;        // a level's run: it completed the level
  std::string canonica;     // a proved game: its recording as the game writes it
};

// What a job proves: a row of the world table, that a recording wins the
// level it is published with, or a run for a level's board.
enum clase_trabajo : int8_t {
  TRABAJO_FILA = 0,
  TRABAJO_PUBLICAR = 1,
  TRABAJO_MARCA = 2,
};

// Whether a recording's header states a start the game can make: a level
// played alone (`suelto`, null for a whole game) from level 0, or any level
// when its text names its own gremlins; a game from level 0 to 59, a
// trainer's from 60 to 62; and, for a game that counts its energy, no more
// frames than its levels completed allow (fotogramas_maximos). False with
// the reason.
bool comprobar_inicio(const cabecera_repeticion &c, const nivel_texto *suelto, std::string &motivo);

// Whether a recording's header may prove row `p` (its code read into
// puntos and fases): a game of rules this server plays, on its levels,
// neither the trainer nor a level alone, ended by losing every life or
// completing the game, with the code's points and levels, and the row's
// name and code written in it. Cheap: no input is unpacked. False with
// the status (422) and the reason.
bool comprobar_cabecera(const cabecera_repeticion &c, const puntuacion &p, int &estado, std::string &motivo);

// The whole proof, as a worker runs it: the file read, the header as
// above, the game played again to its end with the same state, no cheat
// used, and the points and levels it really made equal to the code's.
resultado_prueba probar_repeticion(const uint8_t *datos, size_t n, const puntuacion &p);

// A job for a worker process and its answer, as they travel on its pipes:
// each a 32-bit little-endian length and that many bytes.
struct trabajo_verificacion {
  puntuacion fila;
  std::string datos;  // the recording's bytes
  int8_t clase = TRABAJO_FILA;
  std::string nivel;  // a level's jobs: the level's text
};

// A level's job, as a worker runs it: the recording read, a game of this
// level played alone by rules this server plays, played again to its end
// with the same state and no cheat; to publish, it must complete the
// level. 200 with the points, or the refusal (422: "the recording does
// not win this level: ..." when publishing).
resultado_prueba probar_nivel(const uint8_t *datos, size_t n, const std::string &texto_nivel, int8_t clase);
std::string empaquetar_trabajo(const trabajo_verificacion &t);
bool desempaquetar_trabajo(const std::string &bytes, trabajo_verificacion &t);
std::string empaquetar_resultado(const resultado_prueba &r);
bool desempaquetar_resultado(const std::string &bytes, resultado_prueba &r);

// One message on a pipe: written whole (false when the reader is gone),
// or read whole within `espera_ms` (-1: however long it takes): 1 read, 0
// the pipe ended or the message is longer than `maximo`, -1 time out.
bool escribir_mensaje(int fd, const std::string &m);
int leer_mensaje(int fd, std::string &m, size_t maximo, int64_t espera_ms);

// Limits on a worker process: processor time and address space per job.
// A whole game of the largest recording allowed plays in about a second.
constexpr int LIMITE_CPU_VERIFICACION_S = 10;
constexpr int64_t LIMITE_MEMORIA_VERIFICADOR = int64_t{512} << 20;

// The worker process's program: reads jobs on standard input and answers
// each on standard output until its input ends, with its processor time,
// address space and priority limited. `pausa_ms` (tests only) waits that
// long before each answer. Returns the exit status.
int verificador_main(int pausa_ms);

// The queue of recordings to verify. It lives in the store (SQLite file or
// PostgreSQL), so servers sharing a store share its work; each server runs
// `verificadores` worker processes, started by exec'ing `programa
// --verificador`, and one thread that feeds each.
struct opciones_cola {
  std::string programa;          // this program's path, for the workers
  int verificadores = 2;         // worker processes; 0: others do the work
  int limite_s = 15;             // wall-clock seconds a job may take; a job
                                 // held twice that by a server that is gone
                                 // is taken again
  int64_t conservar_s = 30 * 86400;  // how long a recording no row needs is kept
  int pausa_ms = 0;              // tests only: each worker waits so long per job
};
struct cola;

// Starts the workers and the threads. Null, with the reason, when a worker
// cannot be started.
cola *cola_abrir(almacen *a, const opciones_cola &o, std::string &error);
void cola_cerrar(cola *c);

// Queues the recording `datos` to prove row `p` and waits (a few seconds
// at most) for the outcome: 200 verified, 202 still queued (the row is
// marked verified once a worker has proved it), 4xx refused with the
// reason, 503 when the queue or the store cannot take it now.
struct respuesta;
// `direccion` is the sender's: the queue takes the addresses' jobs in
// turn, and holds at most MAX_EN_COLA_DIRECCION of one address at once
// (past them 429).
respuesta cola_verificar(cola *c, const puntuacion &p, const std::string &datos, const std::string &direccion,
                         const std::string &clave);
constexpr int64_t MAX_EN_COLA_DIRECCION = 16;
// Bytes of recordings waiting in the queue, in all and from one address:
// past them 503 (all) or 429 (one address), with Retry-After.
constexpr int64_t MAX_BYTES_EN_COLA = int64_t{64} << 20;
constexpr int64_t MAX_BYTES_EN_COLA_DIRECCION = int64_t{8} << 20;

// A level's job as it is queued: `clave` names it (one job per key at a
// time), `nombre` the author or player, `texto` the level's text.
struct peticion_nivel {
  int8_t clase = TRABAJO_PUBLICAR;
  int64_t nivel = 0;  // the level's ID, as a signed 64-bit number
  std::string nombre, clave, texto;
  int64_t recibida = 0;
  std::string firmante;  // the sender's key, hex: the name's claim
};

// Queues a level's job and waits for its outcome as cola_verificar does:
// the status and line the proof's writer gave (201 published, 409 already
// published, 200 verified), 202 still queued, 4xx refused, 503.
respuesta cola_verificar_nivel(cola *c, const peticion_nivel &p, const std::string &datos,
                               const std::string &direccion = "");

// ---------------------------------------------------------------------------
// Requests
// ---------------------------------------------------------------------------

// Nothing more is read from the connection whose request this thread is
// answering: once its answer is written it is closed (limite_lectura.cpp).
void no_leer_mas();

// The connection this thread accepted last (-1 none): the listening
// thread's, as it hands the connection's task over.
int ultima_aceptada();
// The waiting room: connections wait there, on one thread, until their
// request's head has come whole (or they ended, sent more than a head, or
// outlived their time); then their task goes to `entregar`, a request
// thread's queue. At most `maximo` wait; past them sala_recibir waits.
struct sala_espera;
sala_espera *abrir_sala(size_t maximo, std::function<void(std::function<void()>)> entregar);
void sala_recibir(sala_espera *s, int fd, std::function<void()> tarea);
// Hands over every connection still waiting, with nothing more to read.
void cerrar_sala(sala_espera *s);

struct respuesta {
  int estado = 200;
  std::string tipo = "text/plain; charset=utf-8";
  std::string cuerpo;
  std::string adjunto;  // a file name: the body is downloaded as that file
  int64_t reintentar = 0;  // seconds: sent as Retry-After (429, 503)
  bool cerrar = false;     // the connection is closed after this answer
  std::vector<std::pair<std::string, std::string>> cabeceras;  // more headers, as they are
};

// A plain-text answer of one line: what every refusal and every short
// verdict of the API sends.
respuesta respuesta_texto(int estado, const std::string &linea);

// Per-address limits (limites.cpp): at most `por_periodo` posts from one
// address in any `periodo_s` seconds. admitir_envio counts a post and
// answers 0, or, past the limit, counts nothing and answers the seconds
// until the address may post again.
struct limite_direcciones;
limite_direcciones *crear_limite(int por_periodo, int64_t periodo_s);
void cambiar_limite(limite_direcciones *l, int por_periodo);
int limite_por_periodo(limite_direcciones *l);
int64_t admitir_envio(limite_direcciones *l, const std::string &direccion, int64_t ahora);
// FNV-1a of an address: what the store keeps of who played or reported.
uint64_t hash_direccion(const std::string &direccion);

// Rows shown on one page of the table, and the most the API gives at once.
constexpr int32_t FILAS_POR_PAGINA = 100;
constexpr int32_t MAX_FILAS_API = 1000;

// Answers a GET of `objetivo` (the request target as it came: path and
// query, still percent-encoded), with `ahora` the time in seconds since
// 1970. Every answer is complete: status, content type and body.
respuesta atender(almacen *a, const std::string &objetivo, int64_t ahora, const std::string &direccion = "");

// Answers POST /api/repeticiones: `consulta` the query with yourname and
// code as the upload's GET has them, `cuerpo` the recording's bytes, from
// `direccion`: at most `repeticiones_por_minuto` from one address (past it
// 429 with Retry-After).
extern int repeticiones_por_minuto;
// The key and signature an upload carries (CABECERA_CLAVE and
// CABECERA_FIRMA, as sent; empty when absent).
struct firma_envio {
  std::string clave, firma;
};
respuesta recibir_repeticion(cola *c, const std::string &consulta, const std::string &cuerpo, int64_t ahora,
                             const std::string &direccion, const firma_envio &f);

// ---------------------------------------------------------------------------
// Names and moderation (nombres.cpp)
// ---------------------------------------------------------------------------

// Checks an upload's signature over `ruta`, `nombre` and `cuerpo`: true,
// or false with the answer (400 a malformed key or signature, 403 none or
// one that does not match). A verified row is always a signed one: a name
// is claimed by a key, and a row without one could be anyone's.
bool comprobar_firma(const std::string &ruta, const std::string &nombre, const std::string &cuerpo,
                     const firma_envio &f, respuesta &r);

// Whether `nombre` may be claimed by `clave`: 1 (free, or that key's), 0
// (another key's: `motivo` says 409's "name taken"), -1 on failure. With
// `escribir`, a free name is bound to the key (in a proof's transaction).
int reclamar_nombre(sesion_sql &s, const std::string &nombre, const std::string &clave, int64_t ahora, bool escribir,
                    std::string &motivo, std::string &error);
// Whether the operator barred folded name `plegado`: 1, 0, -1 on failure.
int nombre_vetado(sesion_sql &s, const std::string &plegado, std::string &error);

// The operator's acts on games (a game is known by its recording's id,
// /repeticiones/ID.frep on the world table, the run's number on a
// level's board): hidden or shown again (the player's best that may be
// shown takes its place on the board), a name barred from every board.
// HALLADA done, NINGUNA no such game, FALLO_ALMACEN with the reason.
resultado_busqueda almacen_ocultar_partida(almacen *a, int64_t partida, bool oculta, std::string &error);
bool almacen_vetar(almacen *a, const std::string &nombre, std::string &error);

// A verified game reported from an address (a hash of it): counted once
// per address. HALLADA, NINGUNA (no such verified game) or FALLO_ALMACEN.
resultado_busqueda almacen_denunciar_partida(almacen *a, int64_t partida, uint64_t direccion);
struct partida_denunciada {
  int64_t id = 0;
  int64_t denuncias = 0;
  bool oculta = false;
  std::string nombre;
  int32_t puntos = 0;
  int64_t nivel = 0;  // a run on a level's board: the level; 0 a row of the world table
  bool de_nivel = false;
};
// The reported games, most reported first.
bool almacen_partidas_denunciadas(almacen *a, std::vector<partida_denunciada> &partidas, std::string &error);
// POST /repeticiones/ID/denuncia: the report, and its thanks.
respuesta denunciar_partida(almacen *a, int64_t partida, const std::string &direccion);

// The world table as an HTML page: page `pagina=N` (from 1), or with
// `nombre=NAME` the rows around that player's best rank; the verified
// table, or with `todas=1` the whole one.
respuesta pagina_tabla(almacen *a, const std::string &consulta);

// Rows as the API's JSON: the table's ranked total, the first rank asked
// for and each row's rank, name, points, levels, date, whether a
// recording proved it and where that recording is downloaded.
std::string json_filas(const std::vector<puntuacion> &filas, int64_t desde, int64_t total);

// A row's key in a link or the API ("POINTS.ID"), and back: false when it
// is not one.
std::string texto_clave(clave_fila c);
bool leer_clave(const std::string &s, clave_fila &c);

// What an upload carries once its query has been read and checked: the
// row to store, or the one-line reason it is refused (400).
bool leer_subida(const std::string &consulta, int64_t ahora, puntuacion &p, std::string &motivo);

// Decodes a query string into its keys and values: "+" is a blank and
// "%XY" the byte XY. False (with the reason) on a "%" not followed by two
// hexadecimal digits, or a key given twice.
struct parametro {
  std::string clave, valor;
};
bool leer_consulta(const std::string &consulta, std::vector<parametro> &parametros, std::string &motivo);
const std::string *buscar_parametro(const std::vector<parametro> &ps, const char *clave);


// Text made safe for HTML and for a JSON string.
std::string escapar_html(const std::string &s);
std::string escapar_json(const std::string &s);

// The game's logo as a PNG, for the page.
extern const unsigned char LOGO_PNG[];
extern const uint32_t LONG_LOGO_PNG;

// ---------------------------------------------------------------------------
// Community levels
// ---------------------------------------------------------------------------
// Levels players publish with a recording that wins them, stored by their
// ID (hash_nivel of the level, shown as 16 hex digits), each with its own
// board of verified runs. What is written here runs as it is on both
// stores (almacen_niveles.cpp).

struct nivel_publicado {
  int64_t id = 0;         // hash_nivel, as a signed number
  std::string titulo;     // UTF-8
  std::string idea;       // UTF-8
  std::string creador;      // UTF-8
  std::string texto;      // the level's text, as escribir_nivel_texto writes it
  int64_t publicado = 0;  // seconds since 1970
  int64_t jugadas = 0;    // addresses that played it: fetched it to play or sent a verified run
  int64_t victorias = 0;  // those of them that sent a verified run completing it
  int32_t mejor = 0;      // best verified points, 0 none
  int64_t jugadores = 0;  // players on its board
  int64_t denuncias = 0;  // addresses that reported it
  bool oculto = false;    // hidden by an operator
};

// A run on a level's board: each player's best verified run is ranked.
struct marca_nivel {
  int64_t id = 0;  // the recording's id
  std::string nombre;
  int32_t puntos = 0;
  bool gana = false;
  int64_t recibida = 0;
  int64_t puesto = 0;
  bool guardada = false;  // its recording is still kept
};

enum orden_galeria : int8_t {
  ORDEN_NUEVOS = 0,
  ORDEN_JUGADOS = 1,
  ORDEN_GANADOS = 2,
};

// Where a page of the gallery or a board starts: after the row with this
// sort value and id (keyset pagination), or at the top.
struct cursor_pagina {
  bool hay = false;
  int64_t valor = 0;
  int64_t id = 0;
};

// The gallery's levels not hidden, in `orden`, those whose title or author
// holds `buscar` (any case; empty: all), after `tras`, at most `cuantos`.
bool almacen_galeria(almacen *a, orden_galeria orden, const std::string &buscar, const cursor_pagina &tras,
                     int32_t cuantos, std::vector<nivel_publicado> &niveles);

// One level, hidden or not: HALLADA, NINGUNA or FALLO_ALMACEN.
resultado_busqueda almacen_nivel(almacen *a, int64_t id, nivel_publicado &n);

// A page of a level's board after `tras`, ranks filled in.
bool almacen_marcas(almacen *a, int64_t nivel, const cursor_pagina &tras, int32_t cuantos,
                    std::vector<marca_nivel> &marcas);

// A player's best run on a level's board: HALLADA (its key and its
// position, 0 the best), NINGUNA or FALLO_ALMACEN.
resultado_busqueda almacen_marca_de(almacen *a, int64_t nivel, const std::string &nombre, cursor_pagina &clave, int64_t &posicion);

// A play of the level from an address (a hash of it): counted once per
// address. A report the same way. False when the store cannot be written.
bool almacen_contar_jugada(almacen *a, int64_t nivel, uint64_t direccion);
bool almacen_denunciar(almacen *a, int64_t nivel, uint64_t direccion);

// Hides or shows a level: HALLADA (done), NINGUNA (no such level) or
// FALLO_ALMACEN (the reason in `error`).
resultado_busqueda almacen_ocultar(almacen *a, int64_t nivel, bool oculto, std::string &error);

// The reported levels, most reported first.
bool almacen_denunciados(almacen *a, std::vector<nivel_publicado> &niveles, std::string &error);

// A level's recording of its board for download: HALLADA (its bytes and
// player), NINGUNA, PODADA or FALLO_ALMACEN.
resultado_busqueda almacen_repeticion_marca(almacen *a, int64_t nivel, int64_t id, std::string &datos, std::string &nombre);

// Writes what a level's proved job changes, in the queue's transaction:
// publishing stores the level (unless it is there: 409) and the author's
// run on its board; a run enters the board as its player's best if it is;
// the recording kept is the proof's canonical one; the sender's address
// (hashed) has played the level, and won it if the run completed it. `r`
// becomes what the sender is told.
bool escribir_nivel_probado(sesion_sql &s, int8_t clase, int64_t nivel, const std::string &nombre,
                            const std::string &clave, const std::string &texto, int64_t direccion, int64_t recibida,
                            resultado_prueba &r, std::string &error);

// A level's ID: hash_nivel of its board with its implicit values made
// explicit (no "gremlins:" line: level 0's, as the game plays it), so one
// board is one level however its text is spelt.
int64_t id_nivel_canonico(const nivel_texto &n);

// Whether level `nivel` is published: `r` becomes 409 with its author, 410
// when it was hidden, or keeps estado 0 when it is not there. False on a
// store failure.
bool nivel_ya_publicado(sesion_sql &s, int64_t nivel, resultado_prueba &r, std::string &error);

// A level's ID as 16 lower-case hex digits, and read back (false when it is
// not exactly that).
std::string id_nivel_texto(int64_t id);
// Text in lower case as the gallery's search compares it.
std::string texto_de_busqueda(const std::string &s);
bool leer_id_nivel(const std::string &s, int64_t &id);

// A player's or author's name from a query, checked as an upload's name
// is (1 to 20 characters of ISO 8859-1, no control character) and given
// in UTF-8 without its trailing blanks; false with the reason.
bool leer_nombre(const std::string &valor, std::string &nombre, std::string &motivo);

// The largest level text taken (a level is about 700 bytes).
constexpr size_t MAX_BYTES_NIVEL = 16 * 1024;

// The levels' requests: the publication, a run for a board, a report,
// and every GET under /niveles and /api/niveles. `direccion` is the
// client's address.
struct opciones_niveles {
  int publicaciones_por_hora = 20;  // per address: POSTs that publish or send a run
};
void configurar_niveles(const opciones_niveles &o);
respuesta publicar_nivel(cola *c, const std::string &consulta, const std::string &cuerpo, const std::string &direccion,
                         int64_t ahora, const firma_envio &f);
respuesta recibir_marca(cola *c, almacen *a, int64_t nivel, const std::string &consulta, const std::string &cuerpo,
                        const std::string &direccion, int64_t ahora, const firma_envio &f);
respuesta denunciar_nivel(almacen *a, int64_t nivel, const std::string &direccion);
// GET of a path under /niveles or /api/niveles; false when the path is
// not one of them.
bool atender_niveles(almacen *a, const std::string &ruta, const std::string &consulta, const std::string &direccion,
                     respuesta &r);

// Levels on a page of the gallery, and runs on a page of a board.
constexpr int32_t NIVELES_POR_PAGINA = 24;
constexpr int32_t MARCAS_POR_PAGINA = 100;

// A gallery's query: orden=nuevos|jugados|ganados, q=TEXT (title or
// author), tras=VALUE.ID (the cursor of the page after the row with that
// sort value and ID). False with the reason when it is not one.
struct consulta_galeria {
  orden_galeria orden = ORDEN_NUEVOS;
  std::string buscar;
  cursor_pagina tras;
};
bool leer_consulta_galeria(const std::string &consulta, consulta_galeria &g, std::string &motivo);
// The cursor of the page after level `n` in `orden`.
std::string cursor_galeria(orden_galeria orden, const nivel_publicado &n);

// The pages (galeria.cpp): the gallery, a level's page (its board's page
// from `tras=POINTS.ID`), and the thanks for a report.
respuesta pagina_galeria(almacen *a, const std::string &consulta);
respuesta pagina_nivel(almacen *a, const nivel_publicado &n, const std::string &consulta);
respuesta pagina_denuncia(const nivel_publicado &n);

// Where a run's recording on a level's board is downloaded.
std::string url_repeticion_marca(int64_t nivel, int64_t marca);

// The page's look, shared by the world table and the gallery: the start of
// a page up to its <main>, and its end.
// With `hoja`, the style is that stylesheet's, not inline (pages whose
// policy allows nothing inline).
std::string principio_pagina(const std::string &titulo, const std::string &encabezado, const std::string &hoja = "");
// The pages' shared style.
const char *estilo_paginas();
std::string fin_pagina();
std::string fecha_texto(int64_t segundos, bool con_hora);
// The Report button of a verified game (POST /repeticiones/ID/denuncia).
std::string boton_denuncia(int64_t partida);

// A level's board picture as a PNG, drawn from the game's tiles: the big
// one (half the game's size) or the small one for the gallery. Kept in a
// cache in memory, by level and size. Empty when the text is not a level.
std::string imagen_nivel(int64_t id, const std::string &texto, bool pequena);
// The level rules' check of `n`, one at a time in this process (it loads
// the board into the rules' state); true when it breaks none.
bool comprobar_nivel_servidor(const nivel_texto &n, std::vector<problema_nivel> &problemas);
// Draws it anew (for the benchmark), with no cache.
std::string dibujar_imagen_nivel(const std::string &texto, bool pequena);

// The game's tile sheet, as the data generator exports it for the server:
// zlib-packed RGB pixels of the tiles, 64 x 64 each, one after another.
extern const unsigned char LOSETAS_WEB[];
extern const uint32_t LONG_LOSETAS_WEB;

// ---------------------------------------------------------------------------
// Watching and playing in the browser (web.cpp, visor.cpp)
// ---------------------------------------------------------------------------
// The pages run the game's own module for WebAssembly with its art; their
// files (src/servidor/web) are in the program, served at
// /web/NAME.HASH.EXT, kept a year by browsers.

// The Content-Security-Policy of the pages that run scripts: nothing
// inline, scripts and the module only from this server.
extern const char *const POLITICA_PAGINAS;
// Where file `nombre` ("ver.js", "fotonauta.wasm", "grf.dat"...) is served.
std::string ruta_web(const char *nombre);
// Whether this program was built with the module (else the pages say so).
bool modulo_web_presente();
// A GET of /web/...: the file, gzipped when `acepta_gzip` and it pays;
// false when there is no such file.
bool servir_web(const std::string &ruta, bool acepta_gzip, respuesta &r);

// GET /ver/ID: the Watch page of the world table's game ID (its recording
// /repeticiones/ID.frep). GET /ver/niveles/LEVEL/ID: of run ID on level
// LEVEL's board. 404 or 410 pages when there is no such game to watch.
respuesta pagina_ver(almacen *a, const std::string &ruta);
// GET /niveles/ID/jugar: level `n` played alone in the page.
respuesta pagina_jugar(const nivel_publicado &n);
// The Play page's 404 or 410 page, from the answer `texto` that says why.
respuesta pagina_jugar_ausente(const respuesta &texto);
