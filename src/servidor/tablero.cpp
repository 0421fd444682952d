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
    " ($1, 5, $7, $8, $9), ($1, 4, $6, $8, $9), ($1, 3, $5, $8, $9),"
    " ($1, 2, $4, $8, $9), ($1, 1, $3, $8, $9), ($1, 0, $2, $8, $9)"
    " ON CONFLICT (tablero, escala, cubo, franja) DO UPDATE SET n = recuentos.n + excluded.n";
static_assert(ESCALAS_RECUENTO == 6, "SQL_SUMAR and SQL_DELANTE name each scale");

// The rows in the ranges above a value's range at each scale, within the
// range of the scale above ($2k+2 < cubo <= $2k+3 at scale k).
const char *const SQL_DELANTE =
    "SELECT COALESCE(SUM(n), 0) FROM recuentos WHERE tablero = $1 AND ("
    "(escala = 0 AND cubo > $2 AND cubo <= $3) OR (escala = 1 AND cubo > $4 AND cubo <= $5) OR"
    " (escala = 2 AND cubo > $6 AND cubo <= $7) OR (escala = 3 AND cubo > $8 AND cubo <= $9) OR"
    " (escala = 4 AND cubo > $10 AND cubo <= $11) OR (escala = 5 AND cubo > $12 AND cubo <= $13))";

const char *const SQL_TOTAL = "SELECT COALESCE(SUM(n), 0) FROM recuentos WHERE tablero = $1 AND escala = 5";

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
  for (int32_t e = 0; e < ESCALAS_RECUENTO; ++e) {
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
  std::vector<valor_sql> ps{sql_texto(t.recuento)};
  for (int32_t e = 0; e < ESCALAS_RECUENTO; ++e) {
    const int64_t arriba = cubo(puntos, e + 1);
    ps.push_back(sql_entero(cubo(puntos, e)));
    ps.push_back(sql_entero(arriba * RANGOS_POR_RANGO + RANGOS_POR_RANGO - 1));
  }
  return un_entero(s, SQL_DELANTE, ps, error);
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

int tablero_en_posicion(sesion_sql &s, const tablero &t, int64_t posicion, clave_fila &c, std::string &error)
{
  if (posicion < 0) {
    return 0;
  }
  // Down the scales: at each, the range the position falls in, and the
  // position within it.
  int64_t rango = 0;
  for (int32_t e = ESCALAS_RECUENTO - 1; e >= 0; --e) {
    std::vector<fila_sql> rangos;
    if (!sql(s, SQL_RANGOS,
             {sql_texto(t.recuento), sql_entero(e), sql_entero(rango * RANGOS_POR_RANGO),
              sql_entero(rango * RANGOS_POR_RANGO + RANGOS_POR_RANGO - 1)},
             &rangos, error)) {
      return -1;
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
      return 0;
    }
  }
  // The range of the last scale is one value of points: the row is the
  // `posicion`-th of those that share it. They are walked by key, a page
  // at a time, so ties cost what they hold and nothing is skipped blind.
  if (rango > std::numeric_limits<int32_t>::max()) {
    return 0;
  }
  clave_fila antes{static_cast<int32_t>(rango), -1};
  for (;;) {
    std::vector<fila_sql> filas;
    const int32_t cuantos = static_cast<int32_t>(std::min<int64_t>(posicion + 1, 1000));
    if (!tablero_filas(s, t, &antes, false, cuantos, filas, error)) {
      return -1;
    }
    for (const fila_sql &f : filas) {
      if (entero_sql(f[0]) != rango) {
        return 0;  // counted but not there: the counts and the rows disagree
      }
      if (posicion-- == 0) {
        c.puntos = antes.puntos;
        c.id = entero_sql(f[1]);
        return 1;
      }
    }
    if (filas.empty()) {
      return 0;
    }
    antes.id = entero_sql(filas.back()[1]);
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
