#!/usr/bin/env bash
# The SQLite store under faults:
# - the server killed with SIGKILL in the middle of a load run: after a
#   restart every row it answered 200 is there, and SQLite's integrity
#   check says ok;
# - the database's file system full (a small tmpfs in a mount namespace of
#   its own; needs root): uploads get 503, nothing stored is damaged, and
#   uploads succeed again once there is room.
#
#   tests/servidor/sqlite_fallos.sh BUILD_DIR
source "$(dirname "$0")/comun.sh" "$1"

# ---- SIGKILL mid-load
BASE=$TMP/puntos.db
P=$(puerto_libre)
iniciar_servidor "$P" "$BASE"
matar_en_carga "$P" "$PID_SERVIDOR" 64 40000 1000
iniciar_servidor "$P" "$BASE"
[ "$(sqlite3 "$BASE" 'PRAGMA integrity_check')" = ok ] || fallo "integrity check after SIGKILL: $(sqlite3 "$BASE" 'PRAGMA integrity_check' | head -3)"
sqlite3 -separator $'\t' "$BASE" 'SELECT nombre, codigo FROM puntuaciones' >"$TMP/guardadas"
n=$(todas_guardadas "$TMP/muerte" "$TMP/guardadas")
[ "$n" -ge 1000 ] || fallo "only $n rows acknowledged before the kill"
[ "$(sqlite3 "$BASE" 'SELECT clasificadas FROM totales')" = "$(sqlite3 "$BASE" 'SELECT COUNT(*) FROM puntuaciones WHERE trampa = 0')" ] ||
  fallo "the ranked count disagrees with the rows after SIGKILL"
echo "ok: killed mid-load after $n rows answered 200, every one stored, integrity ok"
kill "$PID_SERVIDOR"
wait "$PID_SERVIDOR" || true

# ---- the file system full
if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
  echo "ok (full file system skipped: not root)"
  exit 0
fi
export SERVIDOR CARGA TMP
P=$(puerto_libre) unshare --mount --propagation private bash -euo pipefail -c '
  fallo() { echo "FALLO: $*" >&2; exit 1; }
  d=$TMP/lleno
  mkdir -p "$d"
  mount -t tmpfs -o size=16m fotonauta "$d"
  "$SERVIDOR" --puerto "$P" --base "$d/puntos.db" 2>"$TMP/lleno.log" &
  pid=$!
  trap "kill -9 $pid 2>/dev/null || true" EXIT
  for _ in $(seq 200); do
    curl -s -o /dev/null -m 2 "http://127.0.0.1:$P/" && break
    sleep 0.05
  done
  "$CARGA" --puerto "$P" --clientes 4 --peticiones 200 --prefijo antes --reconocidas "$TMP/antes" >"$TMP/antes.txt"
  grep -qx "estados 200:200" "$TMP/antes.txt" || fallo "uploads before the disk filled: $(cat "$TMP/antes.txt")"
  head -c 32M /dev/zero >"$d/relleno" 2>/dev/null || true
  # Rows until the store runs out of room (the WAL may have some left).
  for i in $(seq 50); do
    "$CARGA" --puerto "$P" --clientes 4 --peticiones 200 --prefijo "lleno$i" >"$TMP/lleno.txt"
    grep -q " 503:" "$TMP/lleno.txt" && break
  done
  grep -q " 503:" "$TMP/lleno.txt" || fallo "the full disk never gave a 503: $(cat "$TMP/lleno.txt")"
  echo "full: $(cat "$TMP/lleno.txt" | tail -1)"
  kill -0 $pid || fallo "the server ended on a full disk"
  [ "$(curl -s -o /dev/null -w "%{http_code}" -m 5 "http://127.0.0.1:$P/")" = 200 ] || fallo "the page is not served on a full disk"
  rm "$d/relleno"
  "$CARGA" --puerto "$P" --clientes 4 --peticiones 50 --prefijo despues >"$TMP/despues.txt"
  grep -qx "estados 200:50" "$TMP/despues.txt" || fallo "uploads once there is room again: $(cat "$TMP/despues.txt")"
  kill $pid
  wait $pid || true
  [ "$(sqlite3 "$d/puntos.db" "PRAGMA integrity_check")" = ok ] || fallo "integrity check after the full disk"
  sqlite3 -separator "	" "$d/puntos.db" "SELECT nombre, codigo FROM puntuaciones" >"$TMP/guardadas_lleno"
  [ "$(sqlite3 "$d/puntos.db" "SELECT clasificadas FROM totales")" = "$(sqlite3 "$d/puntos.db" "SELECT COUNT(*) FROM puntuaciones")" ] ||
    fallo "the ranked count disagrees with the rows after the full disk"
  umount "$d"
'
n=$(todas_guardadas "$TMP/antes" "$TMP/guardadas_lleno")
echo "ok: full file system: 503, the $n rows stored before intact, uploads taken again with room"
