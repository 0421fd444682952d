// Players' names and the operators' moderation of games, written once
// above both stores.
//
// A name is claimed by the key of its first verified game: `nombres`
// keeps, by folded name, the name as first claimed and the key. A player's
// rows and runs are known by the folded name (`plegado`), so that names
// that only look alike are one player on every board. An operator may hide
// a game (it leaves its board, and the player's best game that may be
// shown takes its place) and bar a name (its games leave every board);
// anyone may report a verified game, once per address.
#include "nucleo/nucleo.h"
#include "servidor/servidor.h"

#include <ctime>

namespace {

const char *const SQL_CLAVE_DE = "SELECT clave, nombre FROM nombres WHERE plegado = $1";
const char *const SQL_RECLAMAR =
    "INSERT INTO nombres (plegado, nombre, clave, desde) VALUES ($1, $2, $3, $4) ON CONFLICT (plegado) DO NOTHING";
const char *const SQL_VETADO = "SELECT 1 FROM vetados WHERE plegado = $1";
const char *const SQL_VETAR = "INSERT INTO vetados (plegado, desde) VALUES ($1, $2) ON CONFLICT (plegado) DO NOTHING";

// A game: the world table's row or the level's run it proves.
const char *const SQL_PARTIDA =
    "SELECT r.id, p.plegado, m.nivel, m.plegado FROM repeticiones r LEFT JOIN puntuaciones p ON p.repeticion = r.id"
    " LEFT JOIN marcas m ON m.id = r.id WHERE r.id = $1 AND (p.id IS NOT NULL OR m.id IS NOT NULL)";
const char *const SQL_OCULTAR_PARTIDA = "UPDATE repeticiones SET oculta = $2 WHERE id = $1";
const char *const SQL_NIVELES_DE = "SELECT DISTINCT nivel FROM marcas WHERE plegado = $1 AND mejor = 1";
const char *const SQL_DENUNCIA =
    "INSERT INTO denuncias_partida (repeticion, direccion) VALUES ($1, $2) ON CONFLICT (repeticion, direccion)"
    " DO NOTHING RETURNING repeticion";
const char *const SQL_SUMAR_DENUNCIA = "UPDATE repeticiones SET denuncias = denuncias + 1 WHERE id = $1";
const char *const SQL_DENUNCIADAS =
    "SELECT r.id, r.denuncias, r.oculta, COALESCE(p.nombre, m.nombre), COALESCE(p.puntos, m.puntos), m.nivel"
    " FROM repeticiones r LEFT JOIN puntuaciones p ON p.repeticion = r.id LEFT JOIN marcas m ON m.id = r.id"
    " WHERE r.denuncias > 0 ORDER BY r.denuncias DESC, r.id LIMIT 1000";

// The rows of older stores whose folded names are not filled in yet.
const char *const SQL_SIN_PLEGAR[2] = {
    "SELECT id, nombre FROM puntuaciones WHERE plegado IS NULL AND (repeticion IS NOT NULL OR mejor = 1) LIMIT 1000",
    "SELECT id, nombre FROM marcas WHERE plegado IS NULL LIMIT 1000",
};
const char *const SQL_PLEGAR[2] = {
    "UPDATE puntuaciones SET plegado = $2 WHERE id = $1",
    "UPDATE marcas SET plegado = $2 WHERE id = $1",
};

}  // namespace

bool comprobar_firma(const std::string &ruta, const std::string &nombre, const std::string &cuerpo,
                     const firma_envio &f, respuesta &r)
{
  if (f.clave.empty() && f.firma.empty()) {
    r = respuesta_texto(403, std::string("unsigned: this server ranks only games signed by their player's key (headers ") +
                       CABECERA_CLAVE + " and " + CABECERA_FIRMA + "); a newer game signs them");
    return false;
  }
  if (!es_hex(f.clave, BYTES_CLAVE_PUBLICA) || !es_hex(f.firma, BYTES_FIRMA)) {
    r = respuesta_texto(400, std::string(CABECERA_CLAVE) + " must be " + std::to_string(2 * BYTES_CLAVE_PUBLICA) + " and " +
                       CABECERA_FIRMA + " " + std::to_string(2 * BYTES_FIRMA) + " lower-case hex digits");
    return false;
  }
  if (!firma_valida(f.clave, f.firma, mensaje_firmado(ruta, nombre, cuerpo))) {
    r = respuesta_texto(403, "the signature is not this key's for this name and body");
    return false;
  }
  if (plegar_nombre(nombre).empty()) {
    r = respuesta_texto(400, "the name has no letter to claim it by");
    return false;
  }
  return true;
}

int reclamar_nombre(sesion_sql &s, const std::string &nombre, const std::string &clave, int64_t ahora, bool escribir,
                    std::string &motivo, std::string &error)
{
  const std::string plegado = plegar_nombre(nombre);
  std::vector<fila_sql> filas;
  if (escribir && !sql(s, SQL_RECLAMAR, {sql_texto(plegado), sql_texto(nombre), sql_texto(clave), sql_entero(ahora)},
                       nullptr, error)) {
    return -1;
  }
  if (!sql(s, SQL_CLAVE_DE, {sql_texto(plegado)}, &filas, error)) {
    return -1;
  }
  if (filas.empty() || filas[0][0].texto == clave) {
    return 1;
  }
  motivo = "name taken: " + nombre + " is claimed by another player's key" +
           (filas[0][1].texto == nombre ? std::string() : " (as " + filas[0][1].texto + ")");
  return 0;
}

int nombre_vetado(sesion_sql &s, const std::string &plegado, std::string &error)
{
  std::vector<fila_sql> filas;
  if (!sql(s, SQL_VETADO, {sql_texto(plegado)}, &filas, error)) {
    return -1;
  }
  return filas.empty() ? 0 : 1;
}

namespace {

// The player's best game found again on the world table (`plegado`) or
// on level `nivel`'s board.
bool recolocar(sesion_sql &s, bool de_nivel, int64_t nivel, const std::string &plegado, int64_t ahora,
               std::string &error)
{
  const int vetado = nombre_vetado(s, plegado, error);
  if (vetado < 0) {
    return false;
  }
  return de_nivel ? tablero_recolocar(s, tablero_nivel(nivel), MEJOR_MARCAS, {sql_entero(nivel), sql_texto(plegado)},
                                      vetado == 1, ahora, error)
                  : tablero_recolocar(s, tablero_mundo(TABLA_VERIFICADA), MEJOR_MUNDO, {sql_texto(plegado)},
                                      vetado == 1, ahora, error);
}

}  // namespace

resultado_busqueda almacen_ocultar_partida(almacen *a, int64_t partida, bool oculta, std::string &error)
{
  resultado_busqueda hay = NINGUNA;
  const int64_t ahora = static_cast<int64_t>(std::time(nullptr));
  if (!almacen_transaccion(a, true, [&](sesion_sql &s) {
        std::vector<fila_sql> filas;
        if (!sql(s, SQL_PARTIDA, {sql_entero(partida)}, &filas, error)) {
          return false;
        }
        if (filas.empty()) {
          return true;
        }
        hay = HALLADA;
        const fila_sql &f = filas[0];
        const bool de_nivel = f[2].tipo != valor_sql::NULO;
        return sql(s, SQL_OCULTAR_PARTIDA, {sql_entero(partida), sql_entero(oculta ? 1 : 0)}, nullptr, error) &&
               recolocar(s, de_nivel, de_nivel ? entero_sql(f[2]) : 0, de_nivel ? f[3].texto : f[1].texto, ahora, error);
      }, error)) {
    return FALLO_ALMACEN;
  }
  return hay;
}

bool almacen_vetar(almacen *a, const std::string &nombre, std::string &error)
{
  const std::string plegado = plegar_nombre(nombre);
  if (plegado.empty()) {
    error = "the name has no letter to bar it by";
    return false;
  }
  const int64_t ahora = static_cast<int64_t>(std::time(nullptr));
  return almacen_transaccion(a, true, [&](sesion_sql &s) {
    std::vector<fila_sql> niveles;
    if (!sql(s, SQL_VETAR, {sql_texto(plegado), sql_entero(ahora)}, nullptr, error) ||
        !recolocar(s, false, 0, plegado, ahora, error) || !sql(s, SQL_NIVELES_DE, {sql_texto(plegado)}, &niveles, error)) {
      return false;
    }
    for (const fila_sql &n : niveles) {
      if (!recolocar(s, true, entero_sql(n[0]), plegado, ahora, error)) {
        return false;
      }
    }
    return true;
  }, error);
}

resultado_busqueda almacen_denunciar_partida(almacen *a, int64_t partida, uint64_t direccion)
{
  resultado_busqueda hay = NINGUNA;
  std::string error;
  if (!almacen_transaccion(a, true, [&](sesion_sql &s) {
        std::vector<fila_sql> filas;
        if (!sql(s, SQL_PARTIDA, {sql_entero(partida)}, &filas, error)) {
          return false;
        }
        if (filas.empty()) {
          return true;
        }
        hay = HALLADA;
        return sql(s, SQL_DENUNCIA, {sql_entero(partida), sql_entero(static_cast<int64_t>(direccion))}, &filas, error) &&
               (filas.empty() || sql(s, SQL_SUMAR_DENUNCIA, {sql_entero(partida)}, nullptr, error));
      }, error)) {
    return FALLO_ALMACEN;
  }
  return hay;
}

bool almacen_partidas_denunciadas(almacen *a, std::vector<partida_denunciada> &partidas, std::string &error)
{
  partidas.clear();
  return almacen_transaccion(a, false, [&](sesion_sql &s) {
    std::vector<fila_sql> filas;
    if (!sql(s, SQL_DENUNCIADAS, {}, &filas, error)) {
      return false;
    }
    for (const fila_sql &f : filas) {
      partida_denunciada p;
      p.id = entero_sql(f[0]);
      p.denuncias = entero_sql(f[1]);
      p.oculta = entero_sql(f[2]) != 0;
      p.nombre = f[3].texto;
      p.puntos = static_cast<int32_t>(entero_sql(f[4]));
      p.de_nivel = f[5].tipo != valor_sql::NULO;
      p.nivel = p.de_nivel ? entero_sql(f[5]) : 0;
      partidas.push_back(std::move(p));
    }
    return true;
  }, error);
}

respuesta denunciar_partida(almacen *a, int64_t partida, const std::string &direccion)
{
  const resultado_busqueda hay = almacen_denunciar_partida(a, partida, hash_direccion(direccion));
  if (hay == FALLO_ALMACEN) {
    return respuesta_texto(503, "the report cannot be written now; try again later");
  }
  if (hay == NINGUNA) {
    return respuesta_texto(404, "no verified game " + std::to_string(partida));
  }
  respuesta r;
  r.tipo = "text/html; charset=utf-8";
  r.cuerpo = principio_pagina("fotonauta: game reported", "Game reported") +
             "<p class=\"aviso\">Thank you: the game is reported to the server's operator.</p>\n"
             "<nav><a href=\"/\">the world table</a><a href=\"/niveles\">the levels</a></nav>\n" +
             fin_pagina();
  return r;
}

bool completar_esquema(almacen *a, std::string &error)
{
  // Once, after the upgrade: an opening of a store that has it done reads
  // one empty table, never the rows.
  std::vector<fila_sql> pendiente;
  if (!almacen_transaccion(a, false, [&](sesion_sql &s) {
        return sql(s, "SELECT n FROM esquema_por_completar", {}, &pendiente, error);
      }, error)) {
    return false;
  }
  if (pendiente.empty()) {
    return true;
  }
  // The canonical IDs of levels published before they were the IDs.
  for (bool mas = true; mas;) {
    if (!almacen_transaccion(a, true, [&](sesion_sql &s) {
          std::vector<fila_sql> filas;
          if (!sql(s, "SELECT id, texto FROM niveles WHERE canonico IS NULL LIMIT 100", {}, &filas, error)) {
            return false;
          }
          mas = !filas.empty();
          for (const fila_sql &f : filas) {
            nivel_texto n;
            std::string motivo;
            const int64_t canonico = interpretar_nivel_texto(f[1].texto, n, motivo) ? id_nivel_canonico(n) : entero_sql(f[0]);
            if (!sql(s, "UPDATE niveles SET canonico = $2 WHERE id = $1", {sql_entero(entero_sql(f[0])), sql_entero(canonico)},
                     nullptr, error)) {
              return false;
            }
          }
          return true;
        }, error)) {
      return false;
    }
  }
  for (int tabla_filas = 0; tabla_filas < 2; ++tabla_filas) {
    for (bool mas = true; mas;) {
      if (!almacen_transaccion(a, true, [&](sesion_sql &s) {
            std::vector<fila_sql> filas;
            if (!sql(s, SQL_SIN_PLEGAR[tabla_filas], {}, &filas, error)) {
              return false;
            }
            mas = !filas.empty();
            for (const fila_sql &f : filas) {
              if (!sql(s, SQL_PLEGAR[tabla_filas], {sql_entero(entero_sql(f[0])), sql_texto(plegar_nombre(f[1].texto))},
                       nullptr, error)) {
                return false;
              }
            }
            return true;
          }, error)) {
        return false;
      }
    }
  }
  return almacen_transaccion(a, true, [&](sesion_sql &s) {
    return sql(s, "DELETE FROM esquema_por_completar", {}, nullptr, error);
  }, error);
}
