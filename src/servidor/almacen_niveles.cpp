// The community levels in the store, written once above both backends:
// the statements run as they are on SQLite and on PostgreSQL.
//
// A level is one row of `niveles`, its key the level's hash. The gallery
// reads it through three partial indexes, one per order, walked from the
// last row of the page before (keyset pagination: a deep page costs what
// the first does). A level's board is a board like the world's tables
// (tablero.cpp): its rows are the table `marcas`, one per verified run
// keyed by its recording's id, each player's best run marked `mejor`; the
// index (nivel, puntos DESC, id) of those rows gives a page from a key,
// and the board's counts in `recuentos` (under "nivel ID") give a rank
// and the number of players without reading the rows ahead. No row is
// shared by every level, and none by every run on one level but the
// level's own, which a run writes only when it wins or beats the best.
#include "nucleo/nucleo.h"
#include "servidor/servidor.h"

#include <cinttypes>
#include <cstdio>

const char *const ESQUEMA_NIVELES =
    "CREATE TABLE niveles ("
    " id BIGINT PRIMARY KEY,"
    " titulo TEXT NOT NULL,"
    " idea TEXT NOT NULL,"
    " creador TEXT NOT NULL,"
    " texto TEXT NOT NULL,"
    " buscar TEXT NOT NULL,"
    " publicado BIGINT NOT NULL,"
    " jugadas BIGINT NOT NULL,"
    " victorias BIGINT NOT NULL,"
    " mejor INTEGER NOT NULL,"
    " denuncias BIGINT NOT NULL,"
    " oculto INTEGER NOT NULL);"
    "CREATE INDEX niveles_nuevos ON niveles (publicado DESC, id DESC) WHERE oculto = 0;"
    "CREATE INDEX niveles_jugados ON niveles (jugadas DESC, id DESC) WHERE oculto = 0;"
    "CREATE INDEX niveles_ganados ON niveles (victorias DESC, id DESC) WHERE oculto = 0;"
    "CREATE INDEX niveles_denunciados ON niveles (denuncias DESC, id) WHERE denuncias > 0;"
    // The addresses (hashed) that played each level: fetched it to play,
    // or sent a verified run of it.
    "CREATE TABLE jugadas_nivel (nivel BIGINT NOT NULL, direccion BIGINT NOT NULL, PRIMARY KEY (nivel, direccion));"
    "CREATE TABLE denuncias_nivel (nivel BIGINT NOT NULL, direccion BIGINT NOT NULL, PRIMARY KEY (nivel, direccion));"
    "CREATE TABLE marcas ("
    " id BIGINT PRIMARY KEY,"
    " nivel BIGINT NOT NULL,"
    " nombre TEXT NOT NULL,"
    " puntos INTEGER NOT NULL,"
    " gana INTEGER NOT NULL,"
    " recibida BIGINT NOT NULL,"
    " mejor INTEGER NOT NULL);"
    "CREATE INDEX marcas_tabla ON marcas (nivel, puntos DESC, id) WHERE mejor = 1;"
    // One best run per player and level, whatever two servers write at once.
    "CREATE UNIQUE INDEX marcas_jugador ON marcas (nivel, nombre) WHERE mejor = 1;"
    "ALTER TABLE verificaciones ADD COLUMN clase INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE verificaciones ADD COLUMN nivel BIGINT NOT NULL DEFAULT 0;"
    "ALTER TABLE verificaciones ADD COLUMN texto TEXT;";

namespace {

const char *const COLUMNAS_NIVEL = "id, titulo, idea, creador, publicado, jugadas, victorias, mejor, denuncias, oculto";
const char *const COLUMNA_ORDEN[3] = {"publicado", "jugadas", "victorias"};

const char *const SQL_NIVEL =
    "SELECT id, titulo, idea, creador, publicado, jugadas, victorias, mejor, denuncias, oculto, texto"
    " FROM niveles WHERE id = $1";

// A level's board, read as tablero.cpp reads any: the level is $4 ($3 of
// the counts).
#define COLUMNAS_MARCAS \
  "SELECT m.puntos, m.id, m.nombre, m.gana, m.recibida, r.guardada FROM marcas m JOIN repeticiones r ON r.id = m.id" \
  " WHERE m.nivel = $4 AND m.mejor = 1"
const sql_tablero SQL_TABLERO_NIVEL = {
    COLUMNAS_MARCAS " AND m.puntos <= $2 AND (m.puntos < $2 OR m.id > $3) ORDER BY m.puntos DESC, m.id ASC LIMIT $1",
    COLUMNAS_MARCAS " AND m.puntos >= $2 AND (m.puntos > $2 OR m.id < $3) ORDER BY m.puntos ASC, m.id DESC LIMIT $1",
    "SELECT COUNT(*) FROM marcas WHERE nivel = $3 AND mejor = 1 AND puntos = $1 AND id < $2",
    "SELECT COUNT(*) FROM marcas WHERE nivel = $3 AND mejor = 1 AND puntos > $1 AND puntos <= $2",
};
#undef COLUMNAS_MARCAS


const char *const SQL_JUGADA =
    "INSERT INTO jugadas_nivel (nivel, direccion) VALUES ($1, $2) ON CONFLICT (nivel, direccion) DO NOTHING RETURNING nivel";
const char *const SQL_SUMAR_JUGADA = "UPDATE niveles SET jugadas = jugadas + 1 WHERE id = $1";
const char *const SQL_VICTORIA =
    "INSERT INTO victorias_nivel (nivel, direccion) VALUES ($1, $2) ON CONFLICT (nivel, direccion) DO NOTHING"
    " RETURNING nivel";
// A win is also a play: a level counted before wins had addresses may
// hold more wins than plays, and its plays are raised with its wins.
const char *const SQL_SUMAR_VICTORIA =
    "UPDATE niveles SET victorias = victorias + 1,"
    " jugadas = CASE WHEN jugadas <= victorias THEN victorias + 1 ELSE jugadas END WHERE id = $1";
const char *const SQL_DENUNCIA =
    "INSERT INTO denuncias_nivel (nivel, direccion) VALUES ($1, $2) ON CONFLICT (nivel, direccion) DO NOTHING"
    " RETURNING nivel";
const char *const SQL_SUMAR_DENUNCIA = "UPDATE niveles SET denuncias = denuncias + 1 WHERE id = $1";
const char *const SQL_OCULTAR = "UPDATE niveles SET oculto = $2 WHERE id = $1 RETURNING id";
const char *const SQL_DENUNCIADOS =
    "SELECT id, titulo, idea, creador, publicado, jugadas, victorias, mejor, denuncias, oculto"
    " FROM niveles WHERE denuncias > 0 ORDER BY denuncias DESC, id LIMIT 1000";
const char *const SQL_DESCARGA_MARCA =
    "SELECT r.guardada, r.datos, m.nombre FROM marcas m JOIN repeticiones r ON r.id = m.id WHERE m.id = $1 AND m.nivel = $2";

const char *const SQL_PUBLICAR =
    "INSERT INTO niveles (id, titulo, idea, creador, texto, buscar, publicado, jugadas, victorias, mejor,"
    " denuncias, oculto, canonico) VALUES ($1, $2, $3, $4, $5, $6, $7, 0, 0, 0, 0, 0, $1) ON CONFLICT (id) DO NOTHING"
    " RETURNING id";
const char *const SQL_ESTADO_NIVEL = "SELECT oculto FROM niveles WHERE id = $1";
const char *const SQL_MARCA_DE_HUELLA =
    "SELECT m.nivel, m.nombre, m.puntos FROM repeticiones r JOIN marcas m ON m.id = r.id WHERE r.huella = $1";
// A run past the level's best shows on the level's row; any other run
// leaves the row alone, but for its address's first play or win.
const char *const SQL_CONTAR_NIVEL = "UPDATE niveles SET mejor = $2 WHERE id = $1 AND mejor < $2";
const char *const SQL_INSERTAR_MARCA =
    "INSERT INTO marcas (id, nivel, nombre, puntos, gana, recibida, mejor, plegado) VALUES ($1, $2, $3, $4, $5, $6, 0, $7)";

}  // namespace

tablero tablero_nivel(int64_t nivel) { return {&SQL_TABLERO_NIVEL, "nivel " + std::to_string(nivel), {sql_entero(nivel)}}; }

// A level's board ranks each player's best run whose game is not hidden;
// a run's id is its recording's.
const sql_mejor MEJOR_MARCAS = {
    "SELECT id, puntos, id FROM marcas WHERE nivel = $1 AND plegado = $2 AND mejor = 1",
    "UPDATE marcas SET mejor = $2 WHERE id = $1",
    "SELECT m.id, m.puntos, m.id FROM marcas m JOIN repeticiones r ON r.id = m.id"
    " WHERE m.nivel = $1 AND m.plegado = $2 AND r.oculta = 0 ORDER BY m.puntos DESC, m.id ASC LIMIT 1",
};

namespace {

// Inserts (nivel, direccion) once, in `s`; the level's count goes up the
// first time.
bool contar_en(sesion_sql &s, const char *insertar, const char *sumar, int64_t nivel, int64_t direccion,
               std::string &error)
{
  std::vector<fila_sql> filas;
  return sql(s, insertar, {sql_entero(nivel), sql_entero(direccion)}, &filas, error) &&
         (filas.empty() || sql(s, sumar, {sql_entero(nivel)}, nullptr, error));
}

void leer_fila_nivel(const fila_sql &f, nivel_publicado &n)
{
  n.id = entero_sql(f[0]);
  n.titulo = f[1].texto;
  n.idea = f[2].texto;
  n.creador = f[3].texto;
  n.publicado = entero_sql(f[4]);
  n.jugadas = entero_sql(f[5]);
  n.victorias = entero_sql(f[6]);
  n.mejor = static_cast<int32_t>(entero_sql(f[7]));
  n.denuncias = entero_sql(f[8]);
  n.oculto = entero_sql(f[9]) != 0;
  if (f.size() > 10) {
    n.texto = f[10].texto;
  }
}

// The gallery's statements: by order, with or without a cursor and a
// search; made once, and kept, since a backend knows a statement by the
// address of its text.
const std::string &sql_galeria(orden_galeria orden, bool tras, bool buscar)
{
  static const std::vector<std::string> textos = [] {
    std::vector<std::string> t;
    for (int o = 0; o < 3; ++o) {
      for (int k = 0; k < 4; ++k) {
        const bool con_tras = (k & 1) != 0, con_buscar = (k & 2) != 0;
        const std::string col = COLUMNA_ORDEN[o];
        int n = 0;
        std::string s = std::string("SELECT ") + COLUMNAS_NIVEL + " FROM niveles WHERE oculto = 0";
        if (con_tras) {
          s += " AND (" + col + ", id) < ($" + std::to_string(n + 1) + ", $" + std::to_string(n + 2) + ")";
          n += 2;
        }
        if (con_buscar) {
          s += " AND buscar LIKE $" + std::to_string(++n) + " ESCAPE '\\'";
        }
        s += " ORDER BY " + col + " DESC, id DESC LIMIT $" + std::to_string(++n);
        t.push_back(s);
      }
    }
    return t;
  }();
  return textos[static_cast<size_t>(orden) * 4 + (tras ? 1 : 0) + (buscar ? 2 : 0)];
}

// A LIKE pattern that finds `s` anywhere, its own % _ and \ taken as they are.
std::string patron(const std::string &s)
{
  std::string p = "%";
  for (const char c : s) {
    if (c == '%' || c == '_' || c == '\\') {
      p += '\\';
    }
    p += c;
  }
  return p + "%";
}

}  // namespace

bool almacen_galeria(almacen *a, orden_galeria orden, const std::string &buscar, const cursor_pagina &tras,
                     int32_t cuantos, std::vector<nivel_publicado> &niveles)
{
  niveles.clear();
  std::vector<valor_sql> ps;
  if (tras.hay) {
    ps.push_back(sql_entero(tras.valor));
    ps.push_back(sql_entero(tras.id));
  }
  if (!buscar.empty()) {
    ps.push_back(sql_texto(patron(buscar)));
  }
  ps.push_back(sql_entero(cuantos));
  const std::string &texto = sql_galeria(orden, tras.hay, !buscar.empty());
  std::string error;
  return almacen_transaccion(a, false, [&](sesion_sql &s) {
    std::vector<fila_sql> filas;
    if (!sql(s, texto.c_str(), ps, &filas, error)) {
      return false;
    }
    for (const fila_sql &f : filas) {
      nivel_publicado n;
      leer_fila_nivel(f, n);
      niveles.push_back(std::move(n));
    }
    return true;
  }, error);
}

resultado_busqueda almacen_nivel(almacen *a, int64_t id, nivel_publicado &n)
{
  std::vector<fila_sql> filas;
  std::string error;
  int64_t jugadores = 0;
  if (!almacen_transaccion(a, false, [&](sesion_sql &s) {
        return sql(s, SQL_NIVEL, {sql_entero(id)}, &filas, error) &&
               (jugadores = tablero_total(s, tablero_nivel(id), error)) >= 0;
      }, error)) {
    return FALLO_ALMACEN;
  }
  if (filas.empty()) {
    return NINGUNA;
  }
  leer_fila_nivel(filas[0], n);
  n.jugadores = jugadores;
  return HALLADA;
}

bool almacen_marcas(almacen *a, int64_t nivel, const cursor_pagina &tras, int32_t cuantos,
                    std::vector<marca_nivel> &marcas)
{
  marcas.clear();
  std::string error;
  const tablero t = tablero_nivel(nivel);
  return almacen_transaccion(a, false, [&](sesion_sql &s) {
    std::vector<fila_sql> filas;
    const clave_fila desde{static_cast<int32_t>(tras.valor), tras.id};
    if (!tablero_filas(s, t, tras.hay ? &desde : nullptr, false, cuantos, filas, error)) {
      return false;
    }
    for (const fila_sql &f : filas) {
      marca_nivel m;
      m.puntos = static_cast<int32_t>(entero_sql(f[0]));
      m.id = entero_sql(f[1]);
      m.nombre = f[2].texto;
      m.gana = entero_sql(f[3]) != 0;
      m.recibida = entero_sql(f[4]);
      m.guardada = entero_sql(f[5]) == 1;
      marcas.push_back(std::move(m));
    }
    if (marcas.empty()) {
      return true;
    }
    // The first row's rank from the board's counts; each after it has its
    // position, or its tie's rank.
    const int64_t delante = tras.hay ? tablero_delante(s, t, marcas[0].puntos, error) : 0;
    if (delante < 0) {
      return false;
    }
    const int64_t primera = tras.hay ? tablero_posicion(s, t, {marcas[0].puntos, marcas[0].id}, error) : 0;
    if (primera < 0) {
      return false;
    }
    marcas[0].puesto = delante + 1;
    int64_t posicion = primera;
    for (size_t i = 1; i < marcas.size(); ++i) {
      ++posicion;
      marcas[i].puesto = marcas[i].puntos == marcas[i - 1].puntos ? marcas[i - 1].puesto : posicion + 1;
    }
    return true;
  }, error);
}

resultado_busqueda almacen_marca_de(almacen *a, int64_t nivel, const std::string &nombre, cursor_pagina &clave,
                                    int64_t &posicion)
{
  std::string error;
  resultado_busqueda hay = NINGUNA;
  const tablero t = tablero_nivel(nivel);
  if (!almacen_transaccion(a, false, [&](sesion_sql &s) {
        std::vector<fila_sql> filas;
        if (!sql(s, MEJOR_MARCAS.mejor_de, {sql_entero(nivel), sql_texto(plegar_nombre(nombre))}, &filas, error)) {
          return false;
        }
        if (filas.empty()) {
          return true;
        }
        const clave_fila c{static_cast<int32_t>(entero_sql(filas[0][1])), entero_sql(filas[0][0])};
        posicion = tablero_posicion(s, t, c, error);
        clave = {true, c.puntos, c.id};
        hay = HALLADA;
        return posicion >= 0;
      }, error)) {
    return FALLO_ALMACEN;
  }
  return hay;
}

namespace {

// Inserts (nivel, direccion) once; the level's count goes up the first time.
bool contar_una_vez(almacen *a, const char *insertar, const char *sumar, int64_t nivel, uint64_t direccion)
{
  std::string error;
  return almacen_transaccion(a, true, [&](sesion_sql &s) {
    return contar_en(s, insertar, sumar, nivel, static_cast<int64_t>(direccion), error);
  }, error);
}

}  // namespace

bool almacen_contar_jugada(almacen *a, int64_t nivel, uint64_t direccion)
{
  return contar_una_vez(a, SQL_JUGADA, SQL_SUMAR_JUGADA, nivel, direccion);
}

bool almacen_denunciar(almacen *a, int64_t nivel, uint64_t direccion)
{
  return contar_una_vez(a, SQL_DENUNCIA, SQL_SUMAR_DENUNCIA, nivel, direccion);
}

resultado_busqueda almacen_ocultar(almacen *a, int64_t nivel, bool oculto, std::string &error)
{
  std::vector<fila_sql> filas;
  if (!almacen_transaccion(a, true, [&](sesion_sql &s) {
        return sql(s, SQL_OCULTAR, {sql_entero(nivel), sql_entero(oculto ? 1 : 0)}, &filas, error);
      }, error)) {
    return FALLO_ALMACEN;
  }
  return filas.empty() ? NINGUNA : HALLADA;
}

bool almacen_denunciados(almacen *a, std::vector<nivel_publicado> &niveles, std::string &error)
{
  niveles.clear();
  return almacen_transaccion(a, false, [&](sesion_sql &s) {
    std::vector<fila_sql> filas;
    if (!sql(s, SQL_DENUNCIADOS, {}, &filas, error)) {
      return false;
    }
    for (const fila_sql &f : filas) {
      nivel_publicado n;
      leer_fila_nivel(f, n);
      niveles.push_back(std::move(n));
    }
    return true;
  }, error);
}

resultado_busqueda almacen_repeticion_marca(almacen *a, int64_t nivel, int64_t id, std::string &datos,
                                            std::string &nombre)
{
  std::vector<fila_sql> filas;
  std::string error;
  if (!almacen_transaccion(a, false, [&](sesion_sql &s) {
        return sql(s, SQL_DESCARGA_MARCA, {sql_entero(id), sql_entero(nivel)}, &filas, error);
      }, error)) {
    return FALLO_ALMACEN;
  }
  if (filas.empty()) {
    return NINGUNA;
  }
  if (entero_sql(filas[0][0]) != 1) {
    return PODADA;
  }
  datos = filas[0][1].texto;
  nombre = filas[0][2].texto;
  return HALLADA;
}

namespace {

// A proved run onto the level's board: the name claimed by the sender's
// key (a name another key holds: 409), its recording kept under its
// huella (one game is one run), its row, and the player's best unless the
// operator barred the name. The sender's address has played the level,
// and won it if the run completed it.
bool escribir_marca(sesion_sql &s, int64_t nivel, const std::string &nombre, const std::string &clave,
                    int64_t direccion, int64_t recibida, resultado_prueba &r, std::string &error)
{
  std::string tomado;
  const int libre = reclamar_nombre(s, nombre, clave, recibida, false, tomado, error);
  if (libre <= 0) {
    r.estado = 409;
    r.motivo = tomado;
    return libre == 0;
  }
  const int64_t rep = guardar_repeticion(s, r, recibida, r.canonica, error);
  if (rep < 0) {
    return false;
  }
  std::vector<fila_sql> filas;
  if (rep == 0) {
    // The same game sent again is answered as it was the first time.
    if (!sql(s, SQL_MARCA_DE_HUELLA, {sql_entero(static_cast<int64_t>(r.huella))}, &filas, error)) {
      return false;
    }
    if (!filas.empty() && entero_sql(filas[0][0]) == nivel && filas[0][1].texto == nombre) {
      r.estado = 200;
      r.motivo = "already verified " + std::to_string(entero_sql(filas[0][2]));
    } else if (!filas.empty()) {
      r.estado = 409;
      r.motivo = "this game was claimed first by " + filas[0][1].texto + " (" + std::to_string(entero_sql(filas[0][2])) +
                 " points on level " + id_nivel_texto(entero_sql(filas[0][0])) + "): one game proves one run";
    } else {
      r.estado = 409;
      r.motivo = "this game was claimed first by a row of the world table: one game proves one run";
    }
    return true;
  }
  const std::string plegado = plegar_nombre(nombre);
  const int vetado = nombre_vetado(s, plegado, error);
  if (vetado < 0 || reclamar_nombre(s, nombre, clave, recibida, true, tomado, error) < 0 ||
      !sql(s, SQL_CONTAR_NIVEL, {sql_entero(nivel), sql_entero(r.puntos)}, nullptr, error) ||
      !contar_en(s, SQL_JUGADA, SQL_SUMAR_JUGADA, nivel, direccion, error) ||
      (r.gana && !contar_en(s, SQL_VICTORIA, SQL_SUMAR_VICTORIA, nivel, direccion, error)) ||
      !sql(s, SQL_INSERTAR_MARCA,
           {sql_entero(rep), sql_entero(nivel), sql_texto(nombre), sql_entero(r.puntos), sql_entero(r.gana ? 1 : 0),
            sql_entero(recibida), sql_texto(plegado)},
           nullptr, error)) {
    return false;
  }
  return vetado == 1 ? marcar_innecesaria(s, rep, recibida, error)
                     : tablero_promover(s, tablero_nivel(nivel), MEJOR_MARCAS, {sql_entero(nivel), sql_texto(plegado)},
                                        {r.puntos, rep}, rep, recibida, error);
}

// Title and author in lower case for the search: ASCII and the Latin-1
// capitals (UTF-8 C3 80 to C3 9E but for the multiplication sign).
std::string minusculas(const std::string &s)
{
  std::string m = s;
  for (size_t i = 0; i < m.size(); ++i) {
    if (m[i] >= 'A' && m[i] <= 'Z') {
      m[i] = static_cast<char>(m[i] - 'A' + 'a');
    } else if (m[i] == '\xC3' && i + 1 < m.size()) {
      const auto b = static_cast<uint8_t>(m[i + 1]);
      if (b >= 0x80 && b <= 0x9E && b != 0x97) {
        m[i + 1] = static_cast<char>(b + 0x20);
      }
      ++i;
    }
  }
  return m;
}

}  // namespace

std::string texto_de_busqueda(const std::string &s) { return minusculas(s); }

bool nivel_ya_publicado(sesion_sql &s, int64_t nivel, resultado_prueba &r, std::string &error)
{
  // A level published before IDs were canonical keeps its ID, and is
  // found by its canonical one.
  std::vector<fila_sql> filas;
  if (!sql(s, "SELECT oculto, creador, id FROM niveles WHERE id = $1 OR canonico = $1 LIMIT 1", {sql_entero(nivel)},
           &filas, error)) {
    return false;
  }
  const int64_t id = filas.empty() ? nivel : entero_sql(filas[0][2]);
  if (filas.empty()) {
    r.estado = 0;
  } else if (entero_sql(filas[0][0]) != 0) {
    r.estado = 410;
    r.motivo = "level " + id_nivel_texto(id) + " was hidden by the server's operator";
  } else {
    r.estado = 409;
    r.motivo = "already published " + id_nivel_texto(id) + " by " + filas[0][1].texto;
  }
  return true;
}

bool escribir_nivel_probado(sesion_sql &s, int8_t clase, int64_t nivel, const std::string &nombre,
                            const std::string &clave, const std::string &texto, int64_t direccion, int64_t recibida,
                            resultado_prueba &r, std::string &error)
{
  std::vector<fila_sql> filas;
  // One proof at a time is written, on every server: a name's claim and
  // a player's best are read and changed by one of them alone.
  if (!sql(s, "UPDATE cerrojo_verificaciones SET n = n + 1", {}, nullptr, error)) {
    return false;
  }
  if (clase == TRABAJO_PUBLICAR) {
    // The author's name is claimed as a player's: a level published under
    // another's name is refused before it is stored.
    std::string tomado;
    const int libre = reclamar_nombre(s, nombre, clave, recibida, false, tomado, error);
    if (libre <= 0) {
      r.estado = 409;
      r.motivo = tomado;
      return libre == 0;
    }
    nivel_texto n;
    if (!interpretar_nivel_texto(texto, n, error) || !nivel_ya_publicado(s, nivel, r, error)) {
      return false;
    }
    if (r.estado != 0) {
      return true;
    }
    const std::string titulo = latin1_a_utf8(n.titulo), idea = latin1_a_utf8(n.idea);
    if (!sql(s, SQL_PUBLICAR,
             {sql_entero(nivel), sql_texto(titulo), sql_texto(idea), sql_texto(nombre), sql_texto(texto),
              sql_texto(minusculas(titulo + "\n" + nombre)), sql_entero(recibida)},
             &filas, error)) {
      return false;
    }
    if (filas.empty()) {
      return nivel_ya_publicado(s, nivel, r, error);
    }
    // The author's winning run opens the level's board.
    resultado_prueba marca = r;
    if (!escribir_marca(s, nivel, nombre, clave, direccion, recibida, marca, error)) {
      return false;
    }
    r.estado = 201;
    r.motivo = "published " + id_nivel_texto(nivel);
    return true;
  }
  if (!sql(s, SQL_ESTADO_NIVEL, {sql_entero(nivel)}, &filas, error)) {
    return false;
  }
  if (filas.empty() || entero_sql(filas[0][0]) != 0) {
    r.estado = filas.empty() ? 404 : 410;
    r.motivo = filas.empty() ? "no level " + id_nivel_texto(nivel) : "level " + id_nivel_texto(nivel) + " was hidden";
    return true;
  }
  r.estado = 200;
  r.motivo = "verified " + std::to_string(r.puntos);
  return escribir_marca(s, nivel, nombre, clave, direccion, recibida, r, error);
}

int64_t id_nivel_canonico(const nivel_texto &n) { return static_cast<int64_t>(hash_nivel_canonico(n)); }

std::string id_nivel_texto(int64_t id)
{
  char t[17];
  std::snprintf(t, sizeof t, "%016" PRIx64, static_cast<uint64_t>(id));
  return t;
}

bool leer_id_nivel(const std::string &s, int64_t &id)
{
  if (s.size() != 16 || s.find_first_not_of("0123456789abcdef") != std::string::npos) {
    return false;
  }
  id = static_cast<int64_t>(std::strtoull(s.c_str(), nullptr, 16));
  return true;
}
