#!/usr/bin/env bash
# Two score servers sharing one real PostgreSQL (a throw-away cluster on a
# Unix socket only):
# - both receive the same rows at the same time: every row is stored once
#   and both serve the same page and the same JSON;
# - a name that looks like SQL is stored as the text it is;
# - the database stopped mid-run: uploads get 503, the server stays up,
#   and it serves again within a second of the database coming back;
# - a server killed with SIGKILL in the middle of a load run: every row
#   it answered 200 is in the database.
#
#   tests/servidor/postgresql.sh BUILD_DIR
source "$(dirname "$0")/comun.sh" "$1"

iniciar_postgresql
P1=$(puerto_libre)
iniciar_servidor "$P1" "$PG_URI"
PID1=$PID_SERVIDOR
P2=$(puerto_libre)
[ "$P2" != "$P1" ] || P2=$(puerto_libre)
iniciar_servidor "$P2" "$PG_URI"
PID2=$PID_SERVIDOR

# ---- the same rows through both servers at once: 500 rows, each sent
# twice to each server by clients taking the requests in turn.
"$CARGA" --puerto "$P1" --puerto "$P2" --puerto "$P1" --puerto "$P2" --clientes 32 --peticiones 2000 \
  --segundos 25 --prefijo doble --reconocidas "$TMP/doble" >"$TMP/doble.txt"
cat "$TMP/doble.txt"
grep -qx 'estados 200:2000' "$TMP/doble.txt" || fallo "not every upload through two servers was answered 200"
guardadas=$(psql_puntos "SELECT COUNT(*) FROM puntuaciones WHERE nombre LIKE 'doble%'")
distintas=$(psql_puntos "SELECT COUNT(DISTINCT (nombre, codigo)) FROM puntuaciones")
[ "$guardadas" = 500 ] || fallo "500 distinct rows sent 4 times each, $guardadas stored"
[ "$distintas" = 500 ] || fallo "$distintas distinct rows in the table"
[ "$(psql_puntos 'SELECT clasificadas FROM totales')" = 500 ] || fallo "the ranked count is not 500"
psql_puntos "SELECT nombre || E'\t' || codigo FROM puntuaciones" >"$TMP/guardadas"
echo "acknowledged $(todas_guardadas "$TMP/doble" "$TMP/guardadas") distinct rows, stored 500"
for ruta in "/?todas=1" "/?todas=1&pagina=3" "/api/puntuaciones?desde=1&cuantos=500" "/?todas=1&nombre=doble17"; do
  curl -s -m 5 "http://127.0.0.1:$P1$ruta" >"$TMP/pagina1"
  curl -s -m 5 "http://127.0.0.1:$P2$ruta" >"$TMP/pagina2"
  [ -s "$TMP/pagina1" ] && cmp -s "$TMP/pagina1" "$TMP/pagina2" || fallo "the two servers answer $ruta differently"
done
grep -q '"total":500,' "$TMP/pagina1" 2>/dev/null || curl -s "http://127.0.0.1:$P1/api/puntuaciones?cuantos=0" | grep -q '"total":500,' ||
  fallo "the API does not count 500 rows"
echo "ok: two servers, one table, each row once, the same pages"

# ---- a name that looks like SQL
"$CARGA" --puerto "$P1" --peticiones 1 --prefijo "');DROP TABLE x;--" >"$TMP/sql.txt"
grep -qx 'estados 200:1' "$TMP/sql.txt" || fallo "the SQL-looking name was not taken: $(cat "$TMP/sql.txt")"
[ "$(psql_puntos "SELECT COUNT(*) FROM puntuaciones WHERE nombre = ''');DROP TABLE x;--0'")" = 1 ] ||
  fallo "the SQL-looking name is not stored as its text"
estado=$(curl -s -m 10 -o "$TMP/pagina_sql" -w '%{http_code}' "http://127.0.0.1:$P2/?todas=1&nombre=%27%29%3BDROP+TABLE+x%3B--0") || true
grep -q "&#39;);DROP TABLE x;--0\|');DROP TABLE x;--0" "$TMP/pagina_sql" ||
  fallo "the page does not show the SQL-looking name: status $estado, $(grep -o 'No [a-z]* score for[^<]*\|best rank[^<]*' "$TMP/pagina_sql" | head -n 1)$(head -c 300 "$TMP/pagina_sql" | grep -v '^<')"
echo "ok: a name that looks like SQL is stored and shown as text"

# ---- the database lost and back
parar_postgresql fast
"$CARGA" --puerto "$P1" --puerto "$P2" --peticiones 4 --prefijo perdida >"$TMP/perdida.txt"
grep -qx 'estados 503:4' "$TMP/perdida.txt" || fallo "uploads without the database: $(cat "$TMP/perdida.txt"), not 503"
[ "$(estado "$P1" /)" = 503 ] || fallo "the page without the database is not 503"
kill -0 "$PID1" && kill -0 "$PID2" || fallo "a server ended when the database went away"
arrancar_postgresql
inicio=$(date +%s%N)
for servidor in "$P1" "$P2"; do
  for _ in $(seq 100); do
    "$CARGA" --puerto "$servidor" --peticiones 1 --prefijo "vuelta$servidor" >"$TMP/vuelta.txt"
    grep -qx 'estados 200:1' "$TMP/vuelta.txt" && break
    sleep 0.02
  done
  grep -qx 'estados 200:1' "$TMP/vuelta.txt" || fallo "the server on $servidor does not store again"
done
ms=$(( ($(date +%s%N) - inicio) / 1000000 ))
echo "both servers stored again ${ms} ms after the database came back"
[ "$ms" -lt 1000 ] || fallo "a server took ${ms} ms to serve again after the database came back"
[ "$(estado "$P2" /)" = 200 ] || fallo "the page is not served again"
echo "ok: database lost: 503, no crash, serving again within a second"

# ---- SIGKILL in the middle of a load run
matar_en_carga "$P1" "$PID1" 32 20000 300
iniciar_servidor "$P1" "$PG_URI"
psql_puntos "SELECT nombre || E'\t' || codigo FROM puntuaciones" >"$TMP/guardadas"
n=$(todas_guardadas "$TMP/muerte" "$TMP/guardadas")
[ "$n" -ge 300 ] || fallo "only $n rows acknowledged before the kill"
[ "$(estado "$P1" /)" = 200 ] || fallo "the restarted server does not serve"
echo "ok: killed mid-load after $n rows answered 200, every one of them stored"

# ---- a large read: a thousand rows through the database's socket, more
# than one HTTP request may send; only what the clients send is bounded.
"$CARGA" --puerto "$P2" --clientes 8 --peticiones 1200 --prefijo grande >/dev/null
for _ in 1 2; do
  curl -s -m 10 -o "$TMP/mil.json" -w '%{http_code}' "http://127.0.0.1:$P2/api/puntuaciones?desde=1&cuantos=1000" >"$TMP/mil.estado"
  [ "$(cat "$TMP/mil.estado")" = 200 ] || fallo "a thousand rows from PostgreSQL answered $(cat "$TMP/mil.estado")"
  [ "$(grep -c '"puesto"' "$TMP/mil.json")" = 1000 ] || fallo "a thousand rows asked for, $(grep -c '"puesto"' "$TMP/mil.json") given"
done
echo "ok: a thousand rows ($(wc -c <"$TMP/mil.json") bytes) read through PostgreSQL"
