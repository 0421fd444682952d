# Shared by the score server's fault and load tests: a temporary folder,
# free loopback ports, servers started from the build, a throw-away
# PostgreSQL cluster, and a clean-up that stops everything started here
# whatever happens.
#
#   source comun.sh BUILD_DIR
set -euo pipefail

CONSTRUCCION=$1
SERVIDOR=$CONSTRUCCION/fotonauta-servidor
CARGA=$CONSTRUCCION/bench/carga_servidor

TMP=$(mktemp -d /tmp/fotonauta-servidor-XXXXXX)
chmod 755 "$TMP"
PIDS_SERVIDOR=()
PG_DATOS=
PG_BIN=/usr/lib/postgresql/15/bin
limpiar() {
  local p
  for p in "${PIDS_SERVIDOR[@]}"; do
    kill -9 "$p" 2>/dev/null || true
  done
  [ -n "$PG_DATOS" ] && como_postgres "$PG_BIN/pg_ctl" -D "$PG_DATOS" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$TMP"
}
trap limpiar EXIT

fallo() {
  echo "FALLO: $*" >&2
  exit 1
}

source "$(dirname "${BASH_SOURCE[0]}")/servidores.sh"

# The status of one GET on a new connection (000: no answer in 5 s).
estado() {
  curl -s -o /dev/null -m 5 -w '%{http_code}' "http://127.0.0.1:$1$2" || true
}

# A row's upload, the name as the game sends it (the 20-character field).
subida() {  # name, code
  local nombre
  nombre=$(printf '%-20s' "$1" | python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.stdin.read().rstrip("\n"), safe=""))')
  echo "/highscore.php?yourname=$nombre&code=$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' "$2")"
}

# Runs a command as the unprivileged user PostgreSQL needs (when root).
como_postgres() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

# A throw-away PostgreSQL cluster in $TMP/pg, on a Unix socket only; its
# connection URI in PG_URI.
iniciar_postgresql() {
  [ -x "$PG_BIN/initdb" ] || fallo "PostgreSQL 15 is not installed (herramientas/dependencias installs it)"
  local d=$TMP/pg
  mkdir -p "$d"
  [ "$(id -u)" -eq 0 ] && chown postgres "$d"
  como_postgres "$PG_BIN/initdb" -D "$d/datos" -A trust -U fotonauta -E UTF8 --locale=C >"$TMP/initdb.log" 2>&1 ||
    fallo "initdb: $(cat "$TMP/initdb.log")"
  PG_DATOS=$d/datos
  PG_DIR=$d
  PG_PUERTO=$(puerto_libre)
  arrancar_postgresql
  como_postgres "$PG_BIN/createdb" -h "$d" -p "$PG_PUERTO" -U fotonauta puntos
  PG_URI="postgresql:///puntos?host=$d&port=$PG_PUERTO&user=fotonauta"
}

arrancar_postgresql() {
  como_postgres "$PG_BIN/pg_ctl" -D "$PG_DATOS" -l "$PG_DIR/log" -w -t 30 \
    -o "-k $PG_DIR -p $PG_PUERTO -c listen_addresses='' -c max_connections=50" start >/dev/null ||
    fallo "PostgreSQL did not start: $(tail -5 "$PG_DIR/log")"
}

parar_postgresql() {
  como_postgres "$PG_BIN/pg_ctl" -D "$PG_DATOS" -m "${1:-fast}" -w -t 30 stop >/dev/null
}

# One query's answer, unaligned, without headers.
psql_puntos() {
  psql -X -q -A -t -h "$PG_DIR" -p "$PG_PUERTO" -U fotonauta -d puntos -c "$1"
}

# Checks that every row in the file of acknowledged rows (carga_servidor
# --reconocidas: "name<TAB>code") is in the file of stored rows (same
# format); prints how many were acknowledged.
todas_guardadas() {  # acknowledged, stored
  sort -u "$1" >"$TMP/reconocidas.ord"
  sort -u "$2" >"$TMP/guardadas.ord"
  local perdidas
  perdidas=$(comm -23 "$TMP/reconocidas.ord" "$TMP/guardadas.ord" | wc -l)
  [ "$perdidas" -eq 0 ] || fallo "$perdidas rows answered 200 are not stored: $(comm -23 "$TMP/reconocidas.ord" "$TMP/guardadas.ord" | head -3)"
  wc -l <"$TMP/reconocidas.ord"
}

# A load run on port $1 (clients $3, at most $4 uploads) that kills server
# $2 with SIGKILL once $5 rows have been answered 200; the rows answered go
# to $TMP/muerte, the client's report is printed.
matar_en_carga() {  # port, server pid, clients, requests, rows before the kill
  local puerto=$1 pid=$2 _
  "$CARGA" --puerto "$puerto" --clientes "$3" --peticiones "$4" --segundos 20 --prefijo muerte \
    --reconocidas "$TMP/muerte" >"$TMP/muerte.txt" &
  local pid_carga=$!
  for _ in $(seq 200); do
    [ "$(cat "$TMP/muerte" 2>/dev/null | wc -l)" -ge "$5" ] && break
    sleep 0.05
  done
  kill -9 "$pid"
  wait "$pid_carga"
  wait "$pid" 2>/dev/null || true
  cat "$TMP/muerte.txt"
}
