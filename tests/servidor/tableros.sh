#!/usr/bin/env bash
# Ranks and pages of the world table against the ranking its rows make, on
# SQLite and on PostgreSQL, with 10,000 rows uploaded at once in pairs of
# equal points (1 to 5,000, across ranges of every size the counts keep):
# - the whole table walked page by page from the key each answer gives is
#   the rows in rank order, each with its rank, ties sharing one;
# - pages asked by position, deep and at the edges, a player's rank, and
#   the page before a row's key are the same rows;
# - the counts the uploads kept equal the counts made again from the rows;
# - a store of the schema before the counts (with verified rows) is
#   upgraded with every row, and both its tables rank as their rows do.
#
#   tests/servidor/tableros.sh BUILD_DIR
source "$(dirname "$0")/comun.sh" "$1"

iniciar_postgresql
BASE_SQLITE=$TMP/tableros.db

# The ranking the rows make, as the API's lines "rank name points".
esperado() {  # store, filter
  local q="SELECT RANK() OVER (ORDER BY puntos DESC) || ' ' || nombre || ' ' || puntos FROM puntuaciones
           WHERE $2 ORDER BY puntos DESC, id"
  case "$1" in
  postgresql://*) psql_puntos "$q" ;;
  *) sqlite3 "$1" "$q" ;;
  esac
}

# Rows of the API's JSON as the same lines.
lineas() { python3 -c '
import json, sys
for f in json.load(sys.stdin)["filas"]:
    print(f["puesto"], f["nombre"], f["puntos"])'; }

# The whole table, page by page from each answer's key.
recorrer() {  # port, extra query
  local tras="" n=0
  : >"$TMP/recorrido"
  while :; do
    curl -s -m 10 "http://127.0.0.1:$1/api/puntuaciones?cuantos=1000$2${tras:+&tras=$tras}" >"$TMP/json"
    lineas <"$TMP/json" >>"$TMP/recorrido"
    tras=$(python3 -c 'import json, sys; print(json.load(sys.stdin)["tras"] or "")' <"$TMP/json")
    n=$((n + 1))
    [ -n "$tras" ] && [ "$n" -lt 100 ] || break
  done
}

# The counts per range, slices summed.
rangos() {  # store
  local q="SELECT tablero || ' ' || escala || ' ' || cubo || ' ' || SUM(n) FROM recuentos
           GROUP BY tablero, escala, cubo HAVING SUM(n) <> 0 ORDER BY tablero, escala, cubo"
  case "$1" in
  postgresql://*) psql_puntos "$q" ;;
  *) sqlite3 "$1" "$q" ;;
  esac
}

comprobar() {  # store, port, label
  local base=$1 p=$2 e=$3
  esperado "$base" "trampa = 0" >"$TMP/esperado"
  [ "$(wc -l <"$TMP/esperado")" = 10000 ] || fallo "$e: $(wc -l <"$TMP/esperado") ranked rows, not 10,000"
  recorrer "$p" ""
  cmp -s "$TMP/esperado" "$TMP/recorrido" || fallo "$e: the table walked by keys is not the ranking: $(diff "$TMP/esperado" "$TMP/recorrido" | head -5)"
  local desde
  for desde in 1 2 64 65 999 1000 1001 4096 4097 7777 9998; do
    curl -s -m 5 "http://127.0.0.1:$p/api/puntuaciones?desde=$desde&cuantos=3" | lineas >"$TMP/trozo"
    sed -n "${desde},$((desde + 2))p" "$TMP/esperado" | cmp -s - "$TMP/trozo" || fallo "$e: rows from position $desde: $(cat "$TMP/trozo")"
  done
  [ "$(curl -s "http://127.0.0.1:$p/api/puntuaciones?desde=10001")" = '{"total":10000,"desde":10001,"filas":[],"tras":null}' ] ||
    fallo "$e: past the last row"
  # A player's best rank, and the rows shown around it.
  local fila nombre puesto
  for fila in 1 2 3 5000 9999 10000; do
    read -r puesto nombre _ < <(sed -n "${fila}p" "$TMP/esperado")
    curl -s -m 5 "http://127.0.0.1:$p/?todas=1&nombre=$nombre" >"$TMP/busqueda.html"
    grep -q "$nombre: best rank $puesto," "$TMP/busqueda.html" || fallo "$e: $nombre is not shown at rank $puesto"
  done
  # The page before the row at position 2000: positions 1900 to 1999.
  local clave
  clave=$(curl -s "http://127.0.0.1:$p/api/puntuaciones?desde=1901&cuantos=100" | python3 -c 'import json, sys; print(json.load(sys.stdin)["tras"])')
  curl -s -m 5 "http://127.0.0.1:$p/?todas=1&tras=$clave" >"$TMP/siguiente.html"
  grep -q "page 21 of 100" "$TMP/siguiente.html" || fallo "$e: the page after position 2000 is not page 21"
  clave=$(grep -o 'antes=[0-9.]*' "$TMP/siguiente.html" | head -1)
  curl -s -m 5 "http://127.0.0.1:$p/?todas=1&$clave" | grep -o '<td class="nombre">[^<]*' | sed 's/.*>//' >"$TMP/anterior"
  sed -n '1901,2000p' "$TMP/esperado" | cut -d' ' -f2 | cmp -s - "$TMP/anterior" || fallo "$e: the previous page is not positions 1901 to 2000"
  echo "ok: $e: 10,000 rows walked by keys, deep pages, ranks and the previous page as the rows rank"
}

subir() {  # port
  local x
  for x in a b; do
    "$CARGA" --puerto "$1" --clientes 32 --peticiones 5000 --segundos 60 --prefijo "$x" >"$TMP/carga_$x"
    grep -qx 'estados 200:5000' "$TMP/carga_$x" || fallo "uploads: $(cat "$TMP/carga_$x")"
  done
}

for base in "$BASE_SQLITE" "$PG_URI"; do
  e=$([ "$base" = "$PG_URI" ] && echo PostgreSQL || echo SQLite)
  p=$(puerto_libre)
  iniciar_servidor "$p" "$base" --verificadores 0
  subir "$p"
  comprobar "$base" "$p" "$e"
  kill "$PID_SERVIDOR"
  wait "$PID_SERVIDOR" || true
  rangos "$base" >"$TMP/rangos_subidas"
  "$SERVIDOR" --base "$base" --recontar || fallo "$e: --recontar"
  rangos "$base" >"$TMP/rangos_recontados"
  cmp -s "$TMP/rangos_subidas" "$TMP/rangos_recontados" ||
    fallo "$e: the counts the uploads kept are not the rows': $(diff "$TMP/rangos_subidas" "$TMP/rangos_recontados" | head -5)"
  echo "ok: $e: the counts kept by the uploads are those of the rows"
done

# ---- the schema before the counts, with verified rows: every third row is
# made its player's verified best, and the store taken back to version 2
# (without the counts, the community levels, the names and the moderation).
sqlite3 "$BASE_SQLITE" "
  UPDATE puntuaciones SET mejor = 1 WHERE id % 3 = 0;
  DROP VIEW totales; DROP TABLE recuentos;
  CREATE TABLE totales (clasificadas BIGINT NOT NULL, verificadas BIGINT NOT NULL DEFAULT 0);
  INSERT INTO totales VALUES (10000, (SELECT COUNT(*) FROM puntuaciones WHERE mejor = 1));
  DROP TABLE niveles; DROP TABLE jugadas_nivel; DROP TABLE denuncias_nivel; DROP TABLE marcas; DROP TABLE victorias_nivel;
  ALTER TABLE verificaciones DROP COLUMN clase; ALTER TABLE verificaciones DROP COLUMN nivel;
  ALTER TABLE verificaciones DROP COLUMN texto;
  DROP TABLE nombres; DROP TABLE denuncias_partida; DROP TABLE vetados;
  DROP INDEX verificaciones_direccion; DROP INDEX verificaciones_turno; DROP INDEX repeticiones_denunciadas;
  ALTER TABLE verificaciones DROP COLUMN direccion; ALTER TABLE verificaciones DROP COLUMN clave;
  ALTER TABLE verificaciones DROP COLUMN turno; ALTER TABLE verificaciones DROP COLUMN bytes;
  DROP INDEX puntuaciones_plegado; ALTER TABLE puntuaciones DROP COLUMN plegado;
  ALTER TABLE repeticiones DROP COLUMN oculta; ALTER TABLE repeticiones DROP COLUMN denuncias;
  DROP INDEX repeticiones_antiguas; ALTER TABLE repeticiones DROP COLUMN canonica; DROP TABLE esquema_por_completar;
  UPDATE version_esquema SET version = 2;"
p=$(puerto_libre)
iniciar_servidor "$p" "$BASE_SQLITE" --verificadores 0
[ "$(sqlite3 "$BASE_SQLITE" 'SELECT version FROM version_esquema')" = 6 ] || fallo "the store was not upgraded"
comprobar "$BASE_SQLITE" "$p" "SQLite upgraded"
esperado "$BASE_SQLITE" "mejor = 1" >"$TMP/esperado_verificadas"
recorrer "$p" "&verificadas=1"
cmp -s "$TMP/esperado_verificadas" "$TMP/recorrido" || fallo "the verified table of the upgraded store is not its rows' ranking"
echo "ok: a store of schema 2 upgraded: $(wc -l <"$TMP/recorrido") verified rows and 10,000 in all rank as their rows do"
