// Boards: ranks, positions and pages from the counts of `recuentos` and
// the rows' keys, for any board, in statements both backends run as they
// are written. See servidor.h for the counts' layout.
#include "servidor/servidor.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

// A row's range at each scale, top scale first: an upload locks its
// ranges in that order, so two uploads that share ranges never wait for
// each other in a circle.
const char *const SQL_SUMAR =
    "INSERT INTO recuentos (tablero, escala, cubo, franja, n) VALUES"
    " ($1, 5, $6, $7, $8), ($1, 4, $5, $7, $8), ($1, 3, $4, $7, $8), ($1, 2, $3, $7, $8), ($1, 1, $2, $7, $8)"
    " ON CONFLICT (tablero, escala, cubo, franja) DO UPDATE SET n = recuentos.n + excluded.n";
static_assert(ESCALAS_RECUENTO == 5, "SQL_SUMAR and SQL_DELANTE name each scale");

// The rows in the ranges above a value's range at each scale, within the
// range of the scale above ($2k < cubo <= $2k+1 at scale k). One sum per
// scale: given the five ranges ORed, SQLite read every range of the board.
#define SUMA_ESCALA(e, desde, hasta) \
  "(SELECT COALESCE(SUM(n), 0) FROM recuentos WHERE tablero = $1 AND escala = " e " AND cubo > " desde " AND cubo <= " hasta ")"
const char *const SQL_DELANTE = "SELECT " SUMA_ESCALA("1", "$2", "$3") " + " SUMA_ESCALA("2", "$4", "$5") " + "
    SUMA_ESCALA("3", "$6", "$7") " + " SUMA_ESCALA("4", "$8", "$9") " + " SUMA_ESCALA("5", "$10", "$11");
#undef SUMA_ESCALA

// A game's recording, kept under its huella: one game, one row.
const char *const SQL_GUARDAR_REPETICION =
    "INSERT INTO repeticiones (huella, fotogramas, verificada, innecesaria, guardada, datos)"
    " VALUES ($1, $2, $3, NULL, 1, $4) ON CONFLICT (huella) DO NOTHING RETURNING id";
// A recording no board shows any more, pruned once it has been so for the
// time recordings are kept.
const char *const SQL_INNECESARIA = "UPDATE repeticiones SET innecesaria = $2 WHERE id = $1";

const char *const SQL_TOTAL = "SELECT COALESCE(SUM(n), 0) FROM recuentos WHERE tablero = $1 AND escala = 5";
static_assert(ESCALAS_RECUENTO == 5, "SQL_TOTAL reads the top scale");

// One scale's ranges within one range of the scale above, best first.
const char *const SQL_RANGOS =
    "SELECT cubo, SUM(n) FROM recuentos WHERE tablero = $1 AND escala = $2 AND cubo >= $3 AND cubo <= $4"
    " GROUP BY cubo ORDER BY cubo DESC";

constexpr int64_t RANGOS_POR_RANGO = int64_t{1} << BITS_RECUENTO;

int64_t cubo(int32_t puntos, int32_t escala) { return static_cast<int64_t>(puntos) >> (BITS_RECUENTO * escala); }

// A statement that gives one number: -1 when it failed or gave none.
int64_t un_entero(sesion_sql &s, const char *texto, const std::vector<valor_sql> &parametros, std::string &error)
{
  std::vector<fila_sql> filas;
  if (!sql(s, texto, parametros, &filas, error) || filas.size() != 1 || filas[0].empty()) {
    return -1;
  }
  return entero_sql(filas[0][0]);
}

// A board statement's fixed parameters followed by the board's own.
std::vector<valor_sql> con_filtro(std::vector<valor_sql> fijos, const tablero &t)
{
  fijos.insert(fijos.end(), t.filtro.begin(), t.filtro.end());
  return fijos;
}

}  // namespace

int64_t entero_sql(const valor_sql &v)
{
  return v.tipo == valor_sql::ENTERO ? v.entero : v.tipo == valor_sql::NULO ? 0 : std::strtoll(v.texto.c_str(), nullptr, 10);
}

bool tablero_sumar(sesion_sql &s, const tablero &t, clave_fila c, int64_t delta, std::string &error)
{
  std::vector<valor_sql> ps{sql_texto(t.recuento)};
  for (int32_t e = 1; e <= ESCALAS_RECUENTO; ++e) {
    ps.push_back(sql_entero(cubo(c.puntos, e)));
  }
  ps.push_back(sql_entero(c.id % FRANJAS_RECUENTO));
  ps.push_back(sql_entero(delta));
  return sql(s, SQL_SUMAR, ps, nullptr, error);
}

int64_t tablero_total(sesion_sql &s, const tablero &t, std::string &error)
{
  return un_entero(s, SQL_TOTAL, {sql_texto(t.recuento)}, error);
}

int64_t tablero_delante(sesion_sql &s, const tablero &t, int32_t puntos, std::string &error)
{
  // Within its own range of the first scale, the rows themselves.
  const int64_t techo = cubo(puntos, 1) * RANGOS_POR_RANGO + RANGOS_POR_RANGO - 1;
  const int64_t cerca = un_entero(s, t.sql->entre,
                                  con_filtro({sql_entero(puntos), sql_entero(std::min<int64_t>(techo, INT32_MAX))}, t), error);
  if (cerca < 0) {
    return -1;
  }
  std::vector<valor_sql> ps{sql_texto(t.recuento)};
  for (int32_t e = 1; e <= ESCALAS_RECUENTO; ++e) {
    const int64_t arriba = cubo(puntos, e + 1);
    ps.push_back(sql_entero(cubo(puntos, e)));
    ps.push_back(sql_entero(arriba * RANGOS_POR_RANGO + RANGOS_POR_RANGO - 1));
  }
  const int64_t lejos = un_entero(s, SQL_DELANTE, ps, error);
  return lejos < 0 ? -1 : cerca + lejos;
}

int64_t tablero_posicion(sesion_sql &s, const tablero &t, clave_fila c, std::string &error)
{
  const int64_t delante = tablero_delante(s, t, c.puntos, error);
  if (delante < 0) {
    return -1;
  }
  const int64_t empatadas = un_entero(s, t.sql->empatadas, con_filtro({sql_entero(c.puntos), sql_entero(c.id)}, t), error);
  return empatadas < 0 ? -1 : delante + empatadas;
}

resultado_busqueda tablero_en_posicion(sesion_sql &s, const tablero &t, int64_t posicion, clave_fila &c, std::string &error)
{
  if (posicion < 0) {
    return NINGUNA;
  }
  // Down the scales: at each, the range the position falls in, and the
  // position within it.
  int64_t rango = 0;
  for (int32_t e = ESCALAS_RECUENTO; e >= 1; --e) {
    std::vector<fila_sql> rangos;
    if (!sql(s, SQL_RANGOS,
             {sql_texto(t.recuento), sql_entero(e), sql_entero(rango * RANGOS_POR_RANGO),
              sql_entero(rango * RANGOS_POR_RANGO + RANGOS_POR_RANGO - 1)},
             &rangos, error)) {
      return FALLO_ALMACEN;
    }
    bool hallado = false;
    for (const fila_sql &r : rangos) {
      const int64_t n = entero_sql(r[1]);
      if (posicion < n) {
        rango = entero_sql(r[0]);
        hallado = true;
        break;
      }
      posicion -= n;
    }
    if (!hallado) {
      return NINGUNA;
    }
  }
  // The row is the `posicion`-th of the first scale's range: its rows are
  // walked by key, a page at a time, so a range costs what it holds and
  // nothing is skipped blind.
  const int64_t suelo = rango * RANGOS_POR_RANGO, techo = suelo + RANGOS_POR_RANGO - 1;
  if (suelo > INT32_MAX) {
    return NINGUNA;
  }
  clave_fila antes{static_cast<int32_t>(std::min<int64_t>(techo, INT32_MAX)), -1};
  for (;;) {
    std::vector<fila_sql> filas;
    const int32_t cuantos = static_cast<int32_t>(std::min<int64_t>(posicion + 1, 1000));
    if (!tablero_filas(s, t, &antes, false, cuantos, filas, error)) {
      return FALLO_ALMACEN;
    }
    for (const fila_sql &f : filas) {
      if (entero_sql(f[0]) < suelo) {
        return NINGUNA;  // counted but not there: the counts and the rows disagree
      }
      if (posicion-- == 0) {
        c.puntos = static_cast<int32_t>(entero_sql(f[0]));
        c.id = entero_sql(f[1]);
        return HALLADA;
      }
    }
    if (filas.empty()) {
      return NINGUNA;
    }
    antes = {static_cast<int32_t>(entero_sql(filas.back()[0])), entero_sql(filas.back()[1])};
  }
}

bool tablero_filas(sesion_sql &s, const tablero &t, const clave_fila *desde, bool atras, int32_t cuantos,
                   std::vector<fila_sql> &filas, std::string &error)
{
  // With no key, the first page starts after a key above every row and
  // the last one before a key below every row.
  clave_fila c;
  if (desde != nullptr) {
    c = *desde;
  } else if (atras) {
    c = {std::numeric_limits<int32_t>::min(), std::numeric_limits<int64_t>::max()};
  } else {
    c = {std::numeric_limits<int32_t>::max(), -1};
  }
  if (!sql(s, atras ? t.sql->antes : t.sql->tras,
           con_filtro({sql_entero(cuantos), sql_entero(c.puntos), sql_entero(c.id)}, t), &filas, error)) {
    return false;
  }
  if (atras) {
    std::reverse(filas.begin(), filas.end());
  }
  return true;
}

bool tablero_promover(sesion_sql &s, const tablero &t, const sql_mejor &m, const std::vector<valor_sql> &jugador,
                      clave_fila nueva, int64_t repeticion, int64_t ahora, std::string &error)
{
  std::vector<fila_sql> filas;
  if (!sql(s, m.mejor_de, jugador, &filas, error)) {
    return false;
  }
  const auto marcar = [&](int64_t id, int64_t mejor) {
    return sql(s, m.poner_mejor, {sql_entero(id), sql_entero(mejor)}, nullptr, error);
  };
  if (filas.empty()) {
    return marcar(nueva.id, 1) && tablero_sumar(s, t, nueva, 1, error);
  }
  // Equal points leave the older best in its place; the game not shown
  // needs its recording no more.
  const clave_fila antigua{static_cast<int32_t>(entero_sql(filas[0][1])), entero_sql(filas[0][0])};
  const int64_t repeticion_antigua = entero_sql(filas[0][2]);
  if (nueva.puntos > antigua.puntos) {
    return marcar(antigua.id, 0) && tablero_sumar(s, t, antigua, -1, error) && marcar(nueva.id, 1) &&
           tablero_sumar(s, t, nueva, 1, error) &&
           sql(s, SQL_INNECESARIA, {sql_entero(repeticion_antigua), sql_entero(ahora)}, nullptr, error);
  }
  return sql(s, SQL_INNECESARIA, {sql_entero(repeticion), sql_entero(ahora)}, nullptr, error);
}

bool marcar_innecesaria(sesion_sql &s, int64_t repeticion, int64_t ahora, std::string &error)
{
  return sql(s, SQL_INNECESARIA, {sql_entero(repeticion), sql_entero(ahora)}, nullptr, error);
}

bool tablero_recolocar(sesion_sql &s, const tablero &t, const sql_mejor &m, const std::vector<valor_sql> &jugador,
                       bool vetado, int64_t ahora, std::string &error)
{
  std::vector<fila_sql> mejores, elegida;
  if (!sql(s, m.mejor_de, jugador, &mejores, error) || (!vetado && !sql(s, m.elegible, jugador, &elegida, error))) {
    return false;
  }
  const int64_t nueva = elegida.empty() ? -1 : entero_sql(elegida[0][0]);
  if (mejores.size() == 1 && entero_sql(mejores[0][0]) == nueva) {
    return true;  // shown already
  }
  for (const fila_sql &f : mejores) {
    const clave_fila c{static_cast<int32_t>(entero_sql(f[1])), entero_sql(f[0])};
    if (!sql(s, m.poner_mejor, {sql_entero(c.id), sql_entero(0)}, nullptr, error) ||
        !tablero_sumar(s, t, c, -1, error) || !marcar_innecesaria(s, entero_sql(f[2]), ahora, error)) {
      return false;
    }
  }
  if (elegida.empty()) {
    return true;
  }
  // Its recording is needed again while it is shown (if it is still kept).
  const clave_fila c{static_cast<int32_t>(entero_sql(elegida[0][1])), nueva};
  return sql(s, m.poner_mejor, {sql_entero(c.id), sql_entero(1)}, nullptr, error) && tablero_sumar(s, t, c, 1, error) &&
         sql(s, "UPDATE repeticiones SET innecesaria = NULL WHERE id = $1", {sql_entero(entero_sql(elegida[0][2]))},
             nullptr, error);
}

int64_t guardar_repeticion(sesion_sql &s, const resultado_prueba &r, int64_t ahora, const std::string &datos,
                           std::string &error)
{
  std::vector<fila_sql> filas;
  if (!sql(s, SQL_GUARDAR_REPETICION,
           {sql_entero(static_cast<int64_t>(r.huella)), sql_entero(r.fotogramas), sql_entero(ahora), sql_bytes(datos)},
           &filas, error)) {
    return -1;
  }
  return filas.empty() ? 0 : entero_sql(filas[0][0]);
}
