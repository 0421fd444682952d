#!/usr/bin/env bash
# Recordings sent to the score server, over HTTP on loopback, against a
# SQLite file and a throw-away PostgreSQL cluster, with games recorded by
# the game's rules (build/tests/grabar_partidas):
# - a row and its recording, sent as the game sends them, are verified by
#   the worker processes; the verified table ranks a player's best, the
#   whole table every row; the JSON says which rows are verified; the
#   recording downloads as it was sent; recordings no table needs are
#   pruned once the time they are kept has passed;
# - every bad recording gets its 4xx and one line of reason, and leaves
#   nothing stored; a forged code, sent alone or with a recording edited to
#   claim more, is never a verified row;
# - a worker killed in the middle of a job: the job is taken again;
# - PostgreSQL: a server without workers has its recordings verified by
#   another's; two servers sent the same recordings at once verify each
#   once; a server killed in the middle of a job: another takes it once
#   its lease has run out;
# - the program links no display or sound library; the page in Chromium,
#   whole at a phone's 390 px width.
#
#   tests/servidor/repeticiones.sh BUILD_DIR
source "$(dirname "$0")/comun.sh" "$1"
GRABAR=$CONSTRUCCION/tests/grabar_partidas
CAPTURAS=$CONSTRUCCION/capturas
mkdir -p "$CAPTURAS"

# ---- the server links no display, sound or music library
bibliotecas=$(ldd "$SERVIDOR")
! grep -iE 'alleg|libX|xcb|asound|pulse|openmpt|vorbis|libGL' <<<"$bibliotecas" ||
  fallo "fotonauta-servidor links a display or sound library"
grep -q 'libz\.' <<<"$bibliotecas" || fallo "fotonauta-servidor does not link zlib"

# ---- recordings
R=$TMP/rep
mkdir -p "$R/ana" "$R/bea" "$R/cata" "$R/trampa" "$R/jugadores" "$R/lentas" "$R/dora"
ANA=$'Ana Mu\xf1oz'               # ISO 8859-1, as the game keeps names
ANA_UTF8=$'Ana Mu\xc3\xb1oz'
"$GRABAR" partidas "$R/ana" 3 --niveles 1 --nombre "$ANA" --semilla 10 | sort -t$'\t' -k3n >"$R/ana.txt"
"$GRABAR" partidas "$R/bea" 1 --niveles 3 --nombre Bea --semilla 20 >"$R/bea.txt"
"$GRABAR" partidas "$R/cata" 1 --niveles 2 --nombre Cata --semilla 30 >"$R/cata.txt"
"$GRABAR" partidas "$R/trampa" 1 --trampa --nombre Tramposo >"$R/trampa.txt"
"$GRABAR" partidas "$R/jugadores" 20 --niveles 2 --nombre "Jugador {}" --semilla 100 >"$R/jugadores.txt"
"$GRABAR" partidas "$R/lentas" 2 --niveles 1 --nombre "Lenta {}" --semilla 300 >"$R/lentas.txt"
"$GRABAR" partidas "$R/dora" 3 --niveles 1 --nombre Dora --semilla 500 | sort -t$'\t' -k3n >"$R/dora.txt"
[ "$(wc -l <"$R/ana.txt")" = 3 ] && [ "$(wc -l <"$R/jugadores.txt")" = 20 ] || fallo "the recordings were not all made"
campo() { awk -F'\t' -v n="$2" -v c="$3" 'NR == n { print $c }' "$1"; }
fichero() { echo "$(dirname "$1")/$(basename "$1" .txt)/$(campo "$1" "$2" 6)"; }

# The name field as the game sends it: 20 ISO 8859-1 characters, every
# byte but letters and digits percent-encoded; a code percent-encoded.
# In bash: a Python started for each of the hundreds of uploads below cost
# most of the test's time on a loaded machine.
codificar() {
  local h c s=
  for h in $(od -An -v -tx1); do
    case $h in
    3[0-9] | 4[1-9a-f] | 5[0-9a] | 6[1-9a-f] | 7[0-9a] | 2d | 2e | 5f | 7e) printf -v c "\\x$h" && s+=$c ;;
    *) s+=%${h^^} ;;
    esac
  done
  printf '%s\n' "$s"
}
consulta() { echo "yourname=$(printf '%-20s' "$1" | codificar)&code=$(printf '%s' "$2" | codificar)"; }
# A row's upload, and a recording's: "STATUS BODY" (the body's one line).
# Each answer's body in a file of its own: uploads run side by side.
fila() {  # port, name, code
  local cuerpo
  cuerpo=$(mktemp "$TMP/cuerpo.XXXXXX")
  curl -s -m 10 -o "$cuerpo" -w '%{http_code}' "http://127.0.0.1:$1/highscore.php?$(consulta "$2" "$3")"
  echo " $(cat "$cuerpo")"
}
# Signed as the game signs, with the keys of the machine $CLAVES (a
# folder standing for $XDG_DATA_HOME; $TMP/claves unless set), unless
# SIN_FIRMA is set.
repeticion() {  # port, name, code, file, [curl options]
  local p=$1 n=$2 c=$3 f=$4 cuerpo clave=() firma
  shift 4
  cuerpo=$(mktemp "$TMP/cuerpo.XXXXXX")
  if [ -z "${SIN_FIRMA:-}" ] && [ -s "$f" ]; then
    firma=$(XDG_DATA_HOME=${CLAVES:-$TMP/claves} "$GRABAR" firmar /api/repeticiones "${FIRMAR_COMO:-$n}" "$f")
    clave=(-H "Fotonauta-Clave: ${firma% *}" -H "Fotonauta-Firma: ${firma#* }")
  fi
  curl -s -m 20 -o "$cuerpo" -w '%{http_code}' -H 'Content-Type: application/x-fotonauta-repeticion' "${clave[@]}" \
    --data-binary @"$f" "$@" "http://127.0.0.1:$p/api/repeticiones?$(consulta "$n" "$c")"
  echo " $(cat "$cuerpo")"
}
espera() {  # what, expected status, answer
  [ "${3%% *}" = "$2" ] || fallo "$1: answered '$3', not $2"
  [ -n "${3#* }" ] || fallo "$1: $2 without a reason"
}
sql() {
  case "$BASE" in
  postgresql://*) psql_puntos "$1" ;;
  *) sqlite3 "$BASE" "$1" ;;
  esac
}
# Waits until a query gives the value, at most $3 seconds.
esperar_sql() {  # query, value, seconds, what
  local _
  for _ in $(seq $(($3 * 20))); do
    [ "$(sql "$1")" = "$2" ] && return 0
    sleep 0.05
  done
  fallo "$4: '$1' gives '$(sql "$1")', not '$2' after $3 s"
}
api() { curl -s -m 5 "http://127.0.0.1:$1/api/puntuaciones?cuantos=100${2:-}"; }

# ---- one store: the rows and recordings a game sends, the bad ones, a
# worker killed mid-job
probar_almacen() {  # store
  BASE=$1
  local p
  p=$(puerto_libre)
  iniciar_servidor "$p" "$BASE" --verificadores 2 --conservar 2s
  local pid=$PID_SERVIDOR log=$TMP/servidor_$p.log

  # Ana's three games, the worst first, then the best, then the middle.
  local orden=(1 3 2) i codigo respuesta
  for i in "${orden[@]}"; do
    codigo=$(campo "$R/ana.txt" "$i" 1)
    espera "Ana's row $i" 200 "$(fila "$p" "$ANA" "$codigo")"
    respuesta=$(repeticion "$p" "$ANA" "$codigo" "$(fichero "$R/ana.txt" "$i")")
    [ "$respuesta" = "200 verified" ] || fallo "Ana's recording $i: $respuesta"
  done
  [ "$(repeticion "$p" "$ANA" "$codigo" "$(fichero "$R/ana.txt" 2)")" = "200 already verified" ] ||
    fallo "a recording sent again is not answered 'already verified'"
  # Bea's recording before its row: the row comes with it.
  respuesta=$(repeticion "$p" Bea "$(campo "$R/bea.txt" 1 1)" "$(fichero "$R/bea.txt" 1)")
  [ "$respuesta" = "200 verified" ] || fallo "Bea's recording without its row: $respuesta"

  # The tables: Ana once in the verified one, with her best; all three of
  # her rows in the whole one, each verified.
  local mejor
  mejor=$(campo "$R/ana.txt" 3 3)
  api "$p" "&verificadas=1" >"$TMP/verificadas.json"
  grep -q '"total":2,' "$TMP/verificadas.json" || fallo "the verified table: $(cat "$TMP/verificadas.json")"
  [ "$(grep -c "\"nombre\":\"$ANA_UTF8\"" "$TMP/verificadas.json")" = 1 ] || fallo "Ana is not once in the verified table"
  grep -q "\"nombre\":\"$ANA_UTF8\",\"puntos\":$mejor,.*\"verificada\":true,\"repeticion\":\"/repeticiones/[0-9]*.frep\"" \
    "$TMP/verificadas.json" || fallo "Ana's best ($mejor) is not her verified row: $(cat "$TMP/verificadas.json")"
  api "$p" >"$TMP/todas.json"
  [ "$(grep -c "\"nombre\":\"$ANA_UTF8\".*\"verificada\":true" "$TMP/todas.json")" = 3 ] ||
    fallo "the whole table does not have Ana's three verified rows: $(cat "$TMP/todas.json")"

  # The best recording downloads as it was sent.
  local enlace
  enlace=$(grep -o "\"puntos\":$mejor,[^}]*" "$TMP/verificadas.json" | grep -o '/repeticiones/[0-9]*\.frep')
  curl -s -m 5 -D "$TMP/cabeceras" -o "$TMP/bajada.frep" "http://127.0.0.1:$p$enlace"
  cmp -s "$TMP/bajada.frep" "$(fichero "$R/ana.txt" 3)" || fallo "$enlace is not the recording sent"
  grep -qi '^Content-Type: application/x-fotonauta-repeticion' "$TMP/cabeceras" || fallo "$enlace: $(cat "$TMP/cabeceras")"
  grep -qi "^Content-Disposition: attachment; filename=\"$(campo "$R/ana.txt" 3 1).frep\"" "$TMP/cabeceras" ||
    fallo "$enlace is not downloaded under its code: $(cat "$TMP/cabeceras")"
  # Its Watch page plays that recording, under a policy with nothing inline.
  local ver=${enlace%.frep}
  ver=/ver/${ver#/repeticiones/}
  curl -s -m 5 -D "$TMP/cabeceras" -o "$TMP/ver.html" "http://127.0.0.1:$p$ver"
  grep -q "data-repeticion=\"$enlace\"" "$TMP/ver.html" && grep -q "<strong>$ANA_UTF8</strong> &middot; $mejor points" "$TMP/ver.html" &&
    grep -qi "^Content-Security-Policy: default-src 'none'; script-src 'self' 'wasm-unsafe-eval'" "$TMP/cabeceras" ||
    fallo "$ver is not the Watch page of $enlace: $(head -c 600 "$TMP/ver.html")"
  echo "ok: rows verified, the verified table ranks a player's best, the recording downloads whole, its Watch page"

  # ---- one game is claimed once: Ana's best, downloaded, disguised each
  # way that leaves the game as it was and sent under another name, is
  # refused with the first claim's row.
  local modo
  for modo in vacio movido ajeno; do
    "$GRABAR" editar "$TMP/bajada.frep" "$TMP/disfraz_$modo" disfraz "$modo" nombre "Ladron $modo" >/dev/null
    respuesta=$(repeticion "$p" "Ladron $modo" "$(campo "$R/ana.txt" 3 1)" "$TMP/disfraz_$modo")
    espera "Ana's game disguised ($modo) under another name" 409 "$respuesta"
    [[ "$respuesta" == *"claimed first by $ANA_UTF8 ($mejor points, code $(campo "$R/ana.txt" 3 1))"* ]] ||
      fallo "the disguise $modo: '$respuesta' does not name the first claim"
  done
  echo "ok: a verified game disguised three ways and sent under other names: 409 with the first claim"

  # ---- bad recordings: each a 4xx with its reason, nothing stored. Made
  # from Cata's game, whose row is not verified; Ana's verified one is
  # sent under another name.
  local f=$(fichero "$R/cata.txt" 1) c=$(campo "$R/cata.txt" 1 1) puntos=$(campo "$R/cata.txt" 1 3)
  local fotogramas=$(campo "$R/cata.txt" 1 5) de_ana=$(fichero "$R/ana.txt" 3) c_ana=$(campo "$R/ana.txt" 3 1) largo
  largo=$(stat -c %s "$f")
  local repeticiones_antes verificadas_antes
  repeticiones_antes=$(sql "SELECT COUNT(*) FROM repeticiones")
  verificadas_antes=$(sql "SELECT COUNT(*) FROM puntuaciones WHERE repeticion IS NOT NULL")
  local B=$TMP/malas antes
  mkdir -p "$B"
  antes=$(awk '$1 == "VmHWM:" { print $2 }' "/proc/$pid/status")
  head -c $((largo - 7)) "$f" >"$B/cortada"
  python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[-5] ^= 0x10; open(sys.argv[2], "wb").write(b)' "$f" "$B/volteada"
  head -c $((1048576 + 1)) /dev/urandom >"$B/grande"
  "$GRABAR" editar "$f" "$B/fotogramas_de_mas" fotogramas 1000001 >/dev/null
  "$GRABAR" bomba "$f" "$B/bomba"
  "$GRABAR" editar "$f" "$B/version" version 99 >/dev/null
  "$GRABAR" editar "$f" "$B/niveles" hash_niveles 12345 >/dev/null
  "$GRABAR" editar "$f" "$B/entrenamiento" banderas 1 >/dev/null
  "$GRABAR" editar "$f" "$B/nivel_entrenamiento" nivel 60 >/dev/null
  "$GRABAR" editar "$f" "$B/sin_fin" fotogramas 900000 >/dev/null
  local c_mas
  c_mas=$("$GRABAR" editar "$f" "$B/mas_puntos" puntos $((puntos + 1000)) codigo nuevo)
  "$GRABAR" editar "$f" "$B/mas_fotogramas" fotogramas $((fotogramas + 100)) >/dev/null
  "$GRABAR" editar "$de_ana" "$B/de_bob" nombre Bob >/dev/null
  gzip -c "$f" >"$B/comprimida"
  : >"$B/vacia"
  local c_falso c_trampa
  c_falso=$("$GRABAR" codigo $((puntos + 5000)) 2)
  c_trampa=$(campo "$R/trampa.txt" 1 1)
  local casos=(
    "truncated|400|Cata|$c|$B/cortada|"
    "a bit flipped|400|Cata|$c|$B/volteada|"
    "over the size cap|413|Cata|$c|$B/grande|"
    "over the frame cap|400|Cata|$c|$B/fotogramas_de_mas|"
    "a compression bomb|400|Cata|$c|$B/bomba|does not unpack"
    "an unknown rules version|422|Cata|$c|$B/version|rules version 99"
    "a foreign level set|422|Cata|$c|$B/niveles|other levels"
    "the trainer's levels|422|Cata|$c|$B/entrenamiento|trainer"
    "a normal game started on a trainer's level|422|Cata|$c|$B/nivel_entrenamiento|starts at level 0 to 59"
    "more frames than its levels allow|422|Cata|$c|$B/sin_fin|lasts at most"
    "a game played with the cheat|422|Tramposo|$c_trampa|$(fichero "$R/trampa.txt" 1)|cheat"
    "more points than played, with a code to match|422|Cata|$c_mas|$B/mas_puntos|does not play as it claims"
    "more frames than played|422|Cata|$c|$B/mas_fotogramas|does not play as it claims"
    "a forged code with a real recording|422|Cata|$c_falso|$f|the code claims $((puntos + 5000))"
    "another player's recording|422|Bob|$c_ana|$de_ana|not of Bob"
    "another player's recording with its name changed|409|Bob|$c_ana|$B/de_bob|claimed first by $ANA_UTF8"
    "a gzip-encoded body|415|Cata|$c|$B/comprimida|"
    "an empty body|400|Cata|$c|$B/vacia|"
  )
  local caso que estado nombre cod fich motivo
  for caso in "${casos[@]}"; do
    IFS='|' read -r que estado nombre cod fich motivo <<<"$caso"
    # The game sends the row first; the forged rows stay unverified.
    fila "$p" "$nombre" "$cod" >/dev/null
    if [ "$que" = "a gzip-encoded body" ]; then
      respuesta=$(repeticion "$p" "$nombre" "$cod" "$fich" -H 'Content-Encoding: gzip')
    else
      respuesta=$(repeticion "$p" "$nombre" "$cod" "$fich")
    fi
    espera "$que" "$estado" "$respuesta"
    [ -z "$motivo" ] || [[ "$respuesta" == *"$motivo"* ]] || fallo "$que: '$respuesta' does not say '$motivo'"
    echo "  $que: $respuesta"
  done
  # A forged code sent alone, for the most a game can score.
  espera "a forged code alone" 200 "$(fila "$p" Falsario "$("$GRABAR" codigo 1485000 60)")"
  [ "$(sql "SELECT COUNT(*) FROM repeticiones")" = "$repeticiones_antes" ] || fallo "a bad recording was stored"
  [ "$(sql "SELECT COUNT(*) FROM puntuaciones WHERE repeticion IS NOT NULL")" = "$verificadas_antes" ] ||
    fallo "a bad recording verified a row"
  esperar_sql "SELECT COUNT(*) FROM verificaciones" 0 5 "a bad recording left in the queue"
  api "$p" "&verificadas=1" >"$TMP/verificadas.json"
  ! grep -q 'Falsario\|Bob\|Tramposo\|Cata' "$TMP/verificadas.json" ||
    fallo "a forged row is verified: $(cat "$TMP/verificadas.json")"
  api "$p" >"$TMP/todas.json"
  grep -q '"puesto":1,"nombre":"Falsario","puntos":1485000,"fases":60,[^}]*"verificada":false' "$TMP/todas.json" ||
    fallo "the forged row alone is not the whole table's unverified first: $(head -c 300 "$TMP/todas.json")"
  kill -0 "$pid" || fallo "the server ended"
  [ "$(estado "$p" /)" = 200 ] || fallo "the page after the bad recordings"
  # Measured as growth: a sanitizer's build starts larger and keeps what
  # it frees for a while, yet a body held too long still shows.
  local pico
  pico=$(awk '$1 == "VmHWM:" { print $2 }' "/proc/$pid/status")
  [ $((pico - antes)) -lt 32768 ] || fallo "the bad recordings raised the server's peak memory by $((pico - antes)) kB"
  echo "ok: bad recordings refused, nothing stored, forged codes unverified, the server unharmed (peak $pico kB)"

  # ---- pruning: Ana's two worse recordings, needed by no table, go once
  # they have been kept 2 s; her best stays.
  esperar_sql "SELECT COUNT(*) FROM repeticiones WHERE guardada = 0" 2 10 "the recordings no table needs"
  local id
  for i in 1 2; do
    id=$(sql "SELECT repeticion FROM puntuaciones WHERE codigo = '$(campo "$R/ana.txt" "$i" 1)'")
    [ "$(estado "$p" "/repeticiones/$id.frep")" = 410 ] && [ "$(estado "$p" "/ver/$id")" = 410 ] ||
      fallo "Ana's recording $i is not pruned, or its Watch page does not say so"
  done
  [ "$(estado "$p" "$enlace")" = 200 ] || fallo "Ana's best recording was pruned"
  grep -q "pruned [12] recording(s)" "$log" || fallo "the pruning is not in the log"
  api "$p" >"$TMP/todas.json"
  [ "$(grep -c "\"nombre\":\"$ANA_UTF8\".*\"verificada\":true,\"repeticion\":null" "$TMP/todas.json")" = 2 ] ||
    fallo "Ana's pruned rows are not verified rows without a recording: $(cat "$TMP/todas.json")"
  echo "ok: recordings no table needs are pruned after the time they are kept"
  kill "$pid"
  wait "$pid" 2>/dev/null || true

  # ---- a store from before huellas were canonical: Ana's best kept as a
  # disguised file under another huella, as from before. The restarted
  # server's idle worker plays it again and keeps it as the game wrote it,
  # under its canonical huella.
  local ana_id
  ana_id=$(grep -o '[0-9]*' <<<"$enlace")
  "$GRABAR" editar "$TMP/bajada.frep" "$TMP/antigua.frep" disfraz vacio >/dev/null
  case "$BASE" in
  postgresql://*) sql "UPDATE repeticiones SET canonica = 0, huella = 12345,
    datos = pg_read_binary_file('$TMP/antigua.frep') WHERE id = $ana_id" >/dev/null ;;
  *) sql "UPDATE repeticiones SET canonica = 0, huella = 12345, datos = readfile('$TMP/antigua.frep') WHERE id = $ana_id" ;;
  esac

  # ---- a worker killed in the middle of a job: the job is taken again.
  p=$(puerto_libre)
  iniciar_servidor "$p" "$BASE" --verificadores 1 --pausa-verificador 1500
  pid=$PID_SERVIDOR
  log=$TMP/servidor_$p.log
  codigo=$(campo "$R/lentas.txt" 1 1)
  repeticion "$p" "Lenta 0" "$codigo" "$(fichero "$R/lentas.txt" 1)" >"$TMP/lenta" &
  local envio=$!
  esperar_sql "SELECT estado FROM verificaciones WHERE nombre = 'Lenta 0'" 1 10 "the job taken"
  local trabajador
  trabajador=$(pgrep -P "$pid" -f -- --verificador)
  kill -9 "$trabajador"
  wait "$envio"
  [ "$(cat "$TMP/lenta")" = "200 verified" ] || fallo "the job of a killed worker: $(cat "$TMP/lenta")"
  grep -q "worker 1 (pid $trabajador) was killed by signal 9 during job [0-9]* (Lenta 0, $codigo); the job is taken again" "$log" ||
    fallo "the killed worker is not in the log: $(cat "$log")"
  [ "$(grep -c "(Lenta 0, $codigo): 200 verified" "$log")" = 1 ] || fallo "the job was not verified once"
  echo "ok: a worker killed mid-job: restarted, the job taken again and verified once"
  esperar_sql "SELECT canonica FROM repeticiones WHERE id = $ana_id" 1 20 "the recording kept from before played again"
  [ "$(sql "SELECT COUNT(*) FROM repeticiones WHERE id = $ana_id AND huella = 12345")" = 0 ] ||
    fallo "the recording kept from before keeps its old huella"
  curl -s -m 5 -o "$TMP/rehecha.frep" "http://127.0.0.1:$p$enlace"
  cmp -s "$TMP/rehecha.frep" "$(fichero "$R/ana.txt" 3)" || fallo "the recording kept from before is not kept as the game wrote it"
  echo "ok: a recording kept from before is played again and kept canonical"

  # ---- names are claimed: Dora's first verified game binds her name to
  # her machine's key. From another machine's key her name in any case,
  # spacing or accent, or with a look-alike digit, is refused; unsigned or
  # signed for another name, refused; from her own key another spelling
  # of it is hers, and she is ranked once.
  local c2 c3 variante
  c2=$(campo "$R/dora.txt" 2 1)
  c3=$(campo "$R/dora.txt" 3 1)
  respuesta=$(repeticion "$p" Dora "$(campo "$R/dora.txt" 1 1)" "$(fichero "$R/dora.txt" 1)")
  [ "$respuesta" = "200 verified" ] || fallo "Dora's first game: $respuesta"
  for variante in dora " DORA" "D ora" $'D\xf3ra' D0RA; do
    "$GRABAR" editar "$(fichero "$R/dora.txt" 3)" "$TMP/variante" nombre "$variante" >/dev/null
    respuesta=$(CLAVES=$TMP/otra repeticion "$p" "$variante" "$c3" "$TMP/variante")
    espera "Dora's name spelt '$variante' from another key" 409 "$respuesta"
    [[ "$respuesta" == *"name taken: "*" is claimed by another player's key (as Dora)"* ]] ||
      fallo "Dora's name spelt '$variante': '$respuesta'"
  done
  espera "an unsigned recording" 403 "$(SIN_FIRMA=1 repeticion "$p" Dora "$c3" "$(fichero "$R/dora.txt" 3)")"
  espera "a recording signed for another name" 403 \
    "$(FIRMAR_COMO=Eva repeticion "$p" Dora "$c3" "$(fichero "$R/dora.txt" 3)")"
  "$GRABAR" editar "$(fichero "$R/dora.txt" 2)" "$TMP/variante" nombre "DORA" >/dev/null
  respuesta=$(repeticion "$p" DORA "$c2" "$TMP/variante")
  [ "$respuesta" = "200 verified" ] || fallo "Dora's game as DORA from her own key: $respuesta"
  respuesta=$(repeticion "$p" Dora "$c3" "$(fichero "$R/dora.txt" 3)")
  [ "$respuesta" = "200 verified" ] || fallo "Dora's best game from her own key: $respuesta"
  [ "$(api "$p" "&verificadas=1" | grep -ci '"nombre":"dora"')" = 1 ] || fallo "Dora is not ranked once"
  echo "ok: a name is its first key's: five spellings from another key, unsigned, signed for another: refused"

  # ---- moderation: Dora's best game hidden (her next best is shown in
  # its place) and shown again; a report counted once per address; her
  # name barred: her games leave the verified table, which says nothing of
  # why, and stay verified rows.
  local mejor_dora otra_dora
  mejor_dora=$(sql "SELECT repeticion FROM puntuaciones WHERE plegado = 'dora' AND mejor = 1")
  "$SERVIDOR" --base "$BASE" --ocultar-partida "$mejor_dora" >/dev/null || fallo "--ocultar-partida failed"
  otra_dora=$(sql "SELECT repeticion FROM puntuaciones WHERE plegado = 'dora' AND mejor = 1")
  [ -n "$otra_dora" ] && [ "$otra_dora" != "$mejor_dora" ] || fallo "a hidden best game: the best shown is '$otra_dora'"
  api "$p" "&verificadas=1" >"$TMP/verificadas.json"
  grep -q "/repeticiones/$otra_dora.frep" "$TMP/verificadas.json" && ! grep -q "/repeticiones/$mejor_dora.frep" "$TMP/verificadas.json" ||
    fallo "the hidden game is still shown, or her next best is not: $(cat "$TMP/verificadas.json")"
  "$SERVIDOR" --base "$BASE" --mostrar-partida "$mejor_dora" >/dev/null || fallo "--mostrar-partida failed"
  [ "$(sql "SELECT repeticion FROM puntuaciones WHERE plegado = 'dora' AND mejor = 1")" = "$mejor_dora" ] ||
    fallo "the game shown again is not Dora's best"
  navegador --dump-dom "http://127.0.0.1:$p/" >"$TMP/denunciar.html"
  [ "$(grep -o 'action="/repeticiones/[0-9]*/denuncia"' "$TMP/denunciar.html" | wc -l)" = "$(sql "SELECT COUNT(*) FROM puntuaciones WHERE mejor = 1")" ] ||
    fallo "not every verified row has its Report button"
  for _ in 1 2; do
    [ "$(curl -s -o /dev/null -w '%{http_code}' -d '' "http://127.0.0.1:$p/repeticiones/$mejor_dora/denuncia")" = 200 ] ||
      fallo "a report"
  done
  curl -s -o /dev/null --interface 127.0.0.2 -d '' "http://127.0.0.1:$p/repeticiones/$mejor_dora/denuncia"
  [ "$(curl -s -o /dev/null -w '%{http_code}' -d '' "http://127.0.0.1:$p/repeticiones/999999/denuncia")" = 404 ] ||
    fallo "a report of no game is not 404"
  "$SERVIDOR" --base "$BASE" --denuncias >"$TMP/denuncias"
  grep -q "^game $mejor_dora	2 report(s)	shown	$(sql "SELECT nombre || ', ' || puntos FROM puntuaciones WHERE repeticion = $mejor_dora") points on the world table" "$TMP/denuncias" ||
    fallo "--denuncias: $(cat "$TMP/denuncias")"
  "$SERVIDOR" --base "$BASE" --vetar $'D\xc3\xb3ra' >/dev/null || fallo "--vetar failed"
  api "$p" "&verificadas=1" >"$TMP/verificadas.json"
  ! grep -qi 'dora' "$TMP/verificadas.json" || fallo "a barred name is on the verified table: $(cat "$TMP/verificadas.json")"
  ! grep -qiE 'barred|vetad|hidden' "$TMP/verificadas.json" || fallo "the JSON says why"
  [ "$(sql "SELECT COUNT(*) FROM puntuaciones WHERE plegado = 'dora' AND repeticion IS NOT NULL")" = 3 ] ||
    fallo "a barred name's rows are no longer verified rows"
  echo "ok: games hidden and shown again, reports counted per address, a name barred from the tables"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

echo "== SQLite"
probar_almacen "$TMP/puntos.db"
echo "== PostgreSQL"
iniciar_postgresql
probar_almacen "$PG_URI"

# ---- a server without workers: another server's worker verifies what it
# is sent.
P1=$(puerto_libre)
iniciar_servidor "$P1" "$PG_URI" --verificadores 0
PID1=$PID_SERVIDOR
P2=$(puerto_libre)
iniciar_servidor "$P2" "$PG_URI" --verificadores 1
PID2=$PID_SERVIDOR
codigo=$(campo "$R/jugadores.txt" 1 1)
respuesta=$(repeticion "$P1" "Jugador 0" "$codigo" "$(fichero "$R/jugadores.txt" 1)")
[ "$respuesta" = "200 verified" ] || fallo "a server without workers: $respuesta"
grep -q "(Jugador 0, $codigo): 200 verified" "$TMP/servidor_$P2.log" || fallo "the other server did not verify it"
echo "ok: a recording sent to a server without workers is verified by another's"
kill "$PID1"
wait "$PID1" 2>/dev/null || true

# ---- two servers, two workers each, sent the same 19 recordings at once:
# each verified once, the work shared.
P1=$(puerto_libre)
iniciar_servidor "$P1" "$PG_URI" --verificadores 2
PID1=$PID_SERVIDOR
envios=()
for i in $(seq 2 20); do
  for p in "$P1" "$P2"; do
    repeticion "$p" "Jugador $((i - 1))" "$(campo "$R/jugadores.txt" "$i" 1)" "$(fichero "$R/jugadores.txt" "$i")" \
      >"$TMP/doble_${i}_$p" &
    envios+=($!)
  done
done
wait "${envios[@]}"
cat "$TMP"/doble_* | sort | uniq -c
! grep -v '^200 \|^202 ' "$TMP"/doble_* || fallo "a recording sent to two servers at once was refused"
esperar_sql "SELECT COUNT(*) FROM puntuaciones WHERE nombre LIKE 'Jugador %' AND repeticion IS NOT NULL" 20 30 \
  "the rows of two servers' recordings"
for i in $(seq 2 20); do
  n=$(cat "$TMP/servidor_$P1.log" "$TMP/servidor_$P2.log" | grep -c "(Jugador $((i - 1)), $(campo "$R/jugadores.txt" "$i" 1)): 200 verified")
  [ "$n" = 1 ] || fallo "Jugador $((i - 1))'s recording was verified $n times"
done
[ "$(sql "SELECT COUNT(*) FROM repeticiones") $(sql "SELECT COUNT(DISTINCT huella) FROM repeticiones")" = "28 28" ] ||
  fallo "the recordings stored: $(sql "SELECT COUNT(*), COUNT(DISTINCT huella) FROM repeticiones")"
hechos1=$(grep -c ": 200 verified (" "$TMP/servidor_$P1.log" || true)
hechos2=$(grep -c ": 200 verified (" "$TMP/servidor_$P2.log" || true)
echo "verified by the first server's workers: $hechos1, by the second's: $hechos2"
[ "$hechos1" -ge 1 ] && [ "$hechos2" -ge 2 ] || fallo "the two servers did not share the work"
echo "ok: two servers on one queue verify each recording once"
kill "$PID1" "$PID2"
wait "$PID1" "$PID2" 2>/dev/null || true

# ---- a server killed in the middle of a job: once the job's lease (twice
# the 2 s limit) runs out, another server takes it.
P1=$(puerto_libre)
iniciar_servidor "$P1" "$PG_URI" --verificadores 1 --pausa-verificador 3000 --limite-verificacion 2
PID1=$PID_SERVIDOR
codigo=$(campo "$R/lentas.txt" 2 1)
repeticion "$P1" "Lenta 1" "$codigo" "$(fichero "$R/lentas.txt" 2)" >/dev/null 2>&1 &
envio=$!
esperar_sql "SELECT estado FROM verificaciones WHERE nombre = 'Lenta 1'" 1 10 "the job taken by the first server"
kill -9 "$PID1"
wait "$envio" 2>/dev/null || true
tomado=$(date +%s%N)
P2=$(puerto_libre)
iniciar_servidor "$P2" "$PG_URI" --verificadores 1 --limite-verificacion 2
PID2=$PID_SERVIDOR
esperar_sql "SELECT COUNT(*) FROM puntuaciones WHERE nombre = 'Lenta 1' AND repeticion IS NOT NULL" 1 20 \
  "the job of a server killed mid-job"
echo "taken again and verified $(( ($(date +%s%N) - tomado) / 1000000 )) ms after the kill"
grep -q "(Lenta 1, $codigo): 200 verified" "$TMP/servidor_$P2.log" || fallo "the second server did not verify it"
echo "ok: a server killed mid-job: its job is taken again once its lease runs out"

# ---- the page in a browser: the verified table with its links, and the
# whole table with the forged and unverified rows.
navegador --dump-dom "http://127.0.0.1:$P2/" >"$TMP/verificadas.html" ||
  fallo "chromium could not read the page: $(tail -n 3 "$TMP/navegador.err")"
grep -q "<td class=\"nombre\">$ANA_UTF8</td>.*href=\"/ver/[0-9]*\">.*href=\"/repeticiones/[0-9]*\.frep\"" "$TMP/verificadas.html" ||
  fallo "the verified page has no Watch link and no link to Ana's recording"
! grep -q Falsario "$TMP/verificadas.html" || fallo "the forged row is on the verified page"
navegador --dump-dom "http://127.0.0.1:$P2/?todas=1" >"$TMP/todas.html"
grep -q "<td class=\"nombre\">Falsario</td><td class=\"n puntos\">1485000</td>.*<td class=\"repeticion\"></td>" \
  "$TMP/todas.html" || fallo "the whole table does not show the forged row unverified"
for vista in "" "?todas=1"; do
  salida=$CAPTURAS/servidor_repeticiones${vista:+_todas}.png
  navegador --window-size=1024,900 --screenshot="$salida" "http://127.0.0.1:$P2/$vista" >/dev/null ||
    fallo "chromium took no screenshot"
  [ -s "$salida" ] || fallo "chromium's screenshot is empty"
done
# On a phone the verified table keeps its last column and recording links
# in view, and the page leads to the community levels.
en_un_movil "http://127.0.0.1:$P2/" "$CAPTURAS/servidor_repeticiones_movil.png" /niveles
echo "ok: the page in Chromium ($CAPTURAS/servidor_repeticiones.png, servidor_repeticiones_todas.png, and at 390 px"
echo "    wide servidor_repeticiones_movil.png)"
