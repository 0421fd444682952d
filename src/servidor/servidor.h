// servidor: the score server. It takes the rows the game uploads
// (GET /highscore.php?yourname=NAME&code=CODE), checks their score codes,
// keeps them in a store, and shows the world table as a web page and as
// JSON.
//
// Three layers: the store (almacen_*), one interface over the backends,
// SQLite today; the request handler (atender), a function from a request
// target to a status and a body, which knows nothing of sockets; and the
// program (main.cpp), which puts the handler behind cpp-httplib.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
};

enum resultado_guardar : int8_t {
  GUARDADA_NUEVA,      // stored now
  GUARDADA_YA,         // the same name and code were stored before
  GUARDADA_FALLO,      // the store could not take it; nothing stored
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

// The ranked rows (tampered games left out) in rank order, best first,
// from position `desde` (0 the best) for at most `cuantos` rows, their rank
// filled in. False when the store cannot be read.
bool almacen_pagina(almacen *a, int64_t desde, int32_t cuantos, std::vector<puntuacion> &filas);

// How many ranked rows there are; with `con_trampas`, every row stored.
// -1 when the store cannot be read.
int64_t almacen_contar(almacen *a, bool con_trampas);

// The position (0 the best) of the best ranked row of `nombre` (exactly as
// stored), -1 when it has none, -2 when the store cannot be read.
int64_t almacen_posicion(almacen *a, const std::string &nombre);

// A backend: one file per kind of store, each with these operations.
struct backend_almacen {
  void *(*abrir)(const std::string &base, std::string &error);
  void (*cerrar)(void *b);
  resultado_guardar (*guardar)(void *b, const puntuacion &p);
  bool (*pagina)(void *b, int64_t desde, int32_t cuantos, std::vector<puntuacion> &filas);
  int64_t (*contar)(void *b, bool con_trampas);
  int64_t (*posicion)(void *b, const std::string &nombre);
};
extern const backend_almacen BACKEND_SQLITE;

// The reads every backend runs as they are written (parameters $1, $2): a
// page of ranked rows (limit, offset), the rows with more points than $1,
// the ranked total, every row stored, a name's best row, and the ranked
// rows ahead of a row (points, id).
extern const char *const SQL_PAGINA;
extern const char *const SQL_PUESTO;
extern const char *const SQL_TOTAL;
extern const char *const SQL_TODAS;
extern const char *const SQL_MEJOR;
extern const char *const SQL_ANTES;
extern const backend_almacen BACKEND_POSTGRESQL;

// True when `base` names a PostgreSQL database (a postgresql:// or
// postgres:// URI, which libpq reads; its query carries any other
// connection keyword, host=/a/socket/folder for one).
bool es_base_postgresql(const std::string &base);

// The schema version this program writes; older stores are upgraded.
constexpr int32_t VERSION_ESQUEMA = 1;

// ---------------------------------------------------------------------------
// Requests
// ---------------------------------------------------------------------------

struct respuesta {
  int estado = 200;
  std::string tipo = "text/plain; charset=utf-8";
  std::string cuerpo;
};

// Rows shown on one page of the table, and the most the API gives at once.
constexpr int32_t FILAS_POR_PAGINA = 100;
constexpr int32_t MAX_FILAS_API = 1000;

// Answers a GET of `objetivo` (the request target as it came: path and
// query, still percent-encoded), with `ahora` the time in seconds since
// 1970. Every answer is complete: status, content type and body.
respuesta atender(almacen *a, const std::string &objetivo, int64_t ahora);

// The world table as an HTML page: page `pagina=N` (from 1), or with
// `nombre=NAME` the rows around that player's best rank.
respuesta pagina_tabla(almacen *a, const std::string &consulta);

// Rows as the API's JSON: the ranked total, the first rank asked for and
// each row's rank, name, points, levels and date.
std::string json_filas(const std::vector<puntuacion> &filas, int64_t desde, int64_t total);

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

// ISO 8859-1 bytes as UTF-8.
std::string latin1_a_utf8(const std::string &s);

// Text made safe for HTML and for a JSON string.
std::string escapar_html(const std::string &s);
std::string escapar_json(const std::string &s);

// The game's logo as a PNG, for the page.
extern const unsigned char LOGO_PNG[];
extern const uint32_t LONG_LOGO_PNG;
