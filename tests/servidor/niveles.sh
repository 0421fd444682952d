#!/usr/bin/env bash
# Community levels on the score server, over HTTP on loopback, with games
# of levels played alone recorded by the game's rules and the solver's
# plans (build/tests/grabar_partidas suelto):
# - a level published with a recording that wins it is stored under its
#   hash, with the author's run on its board; the same level again says
#   so; the gallery, the level's page, its text, download, pictures and
#   JSON show it; a play is counted once per address; a run sent for the
#   board is verified and ranked; a verified win is a play and a win of
#   its address (never more wins than plays), on both stores and in a
#   store counted before wins had addresses;
# - every bad input gets its 4xx and its reason, and stores nothing: a
#   malformed level (line and column), one that breaks the level rules, a
#   recording that does not win or is of another level, a bad name, an
#   oversized body, a flood from one address, an unknown ID;
# - a report counts once per address and --denuncias lists it; --ocultar
#   takes a level out of the gallery and its links answer 410, --mostrar
#   brings it back;
# - the gallery and the level's page in headless Chromium, whole at a
#   phone's 390 px width;
# - PostgreSQL: two servers on one cluster serve the same gallery, pages,
#   pictures and JSON byte for byte; with the database gone the store's
#   own error reaches the log.
#
#   tests/servidor/niveles.sh BUILD_DIR
source "$(dirname "$0")/comun.sh" "$1"
GRABAR=$CONSTRUCCION/tests/grabar_partidas
NIVELES=$(dirname "$0")/../../datos/niveles
CAPTURAS=$CONSTRUCCION/capturas
mkdir -p "$CAPTURAS"

# ---- the levels and their recordings
N=$TMP/niveles
mkdir -p "$N"
cp "$NIVELES/00.txt" "$N/a.txt"
cp "$NIVELES/01.txt" "$N/b.txt"
# The first level under another title: the same board, the same level.
sed '1s/.*/titulo: Otra vez/' "$N/a.txt" >"$N/a_otra.txt"
# A cell that is no cell, on line 5, column 4.
sed '5s/^\(...\)../\1zz/' "$N/a.txt" >"$N/roto.txt"
# No emitter: the level rules want exactly one.
sed 's/E1/../' "$N/a.txt" >"$N/sin_emisor.txt"
puntos_autor=$("$GRABAR" suelto "$N/a.txt" "$N/a_gana.frep")
puntos_bea=$("$GRABAR" suelto "$N/a.txt" "$N/a_bea.frep" --semilla 7)
"$GRABAR" suelto "$N/a.txt" "$N/a_pierde.frep" --perder >/dev/null
"$GRABAR" suelto "$N/b.txt" "$N/b_pierde.frep" --perder >/dev/null
"$GRABAR" suelto "$N/b.txt" "$N/b_gana.frep" >/dev/null
echo "recordings made: the author's win $puntos_autor points, Bea's $puntos_bea"

# "STATUS BODY" of a POST of files (a level then a recording) to a path,
# signed as the game signs it by the name in its query with the keys of
# the machine $CLAVES ($TMP/claves unless set), when that name can sign,
# from the loopback address $DESDE (127.0.0.1 unless set).
enviar() {  # port, path-and-query, files...
  local puerto=$1 ruta=$2 cuerpo nombre firma clave=()
  shift 2
  cuerpo=$(mktemp "$TMP/cuerpo.XXXXXX")
  cat "$@" >"$cuerpo.envio"
  nombre=$(sed -n 's/.*[?&]yourname=\([^&]*\).*/\1/p' <<<"$ruta")
  if [ -n "$nombre" ] && firma=$(XDG_DATA_HOME=${CLAVES:-$TMP/claves} "$GRABAR" firmar "${ruta%%\?*}" \
    "$(printf '%b' "${nombre//%/\\x}")" "$cuerpo.envio" 2>/dev/null); then
    clave=(-H "Fotonauta-Clave: ${firma% *}" -H "Fotonauta-Firma: ${firma#* }")
  fi
  curl -s -m 20 -H 'Expect:' -o "$cuerpo" -w '%{http_code}' --data-binary @"$cuerpo.envio" -H 'Content-Type: application/octet-stream' \
    --interface "${DESDE:-127.0.0.1}" "${clave[@]}" "http://127.0.0.1:$puerto$ruta"
  echo " $(head -c 300 "$cuerpo")"
}
publicar() {  # port, name, level, recording
  enviar "$1" "/api/niveles?yourname=$2&nivel=$(stat -c %s "$3")" "$3" "$4"
}
espera() {  # what, expected start, got
  case "$3" in "$2"*) echo "ok: $1: $3" ;; *) fallo "$1: expected '$2...', got '$3'" ;; esac
}
obtener() { curl -s -m 10 "http://127.0.0.1:$1$2"; }

# ---- the Watch and Play pages in one Chromium session, on a server of
# their own (tests/servidor/paginas.mjs): the author's run watched, the
# level won with the mouse and by touch from the solver's plan, the runs
# sent and watched from the board, and the bad inputs' messages. The
# browser mostly waits on the game's clock: it runs beside the rest of
# this test, and is waited for at its end.
PP=$(puerto_libre)
iniciar_servidor "$PP" "$TMP/paginas.db" --verificadores 1
PID_PAGINAS=$PID_SERVIDOR
r=$(publicar "$PP" Ana "$N/a.txt" "$N/a_gana.frep")
espera "the level published for the pages" "201 published " "$r"
IDP=${r#201 published }
# The module as the build made it, gzipped for a browser that takes it,
# as it is for one that does not, kept a year.
modulo=$(obtener "$PP" "/niveles/$IDP/jugar" | grep -o 'data-modulo="/web/fotonauta\.[0-9a-f]*\.wasm"' | cut -d'"' -f2)
[ -n "$modulo" ] || fallo "the Play page names no module"
curl -s -m 5 -H 'Accept-Encoding: gzip' -D "$TMP/cabeceras" -o "$TMP/modulo.gz" "http://127.0.0.1:$PP$modulo"
grep -qi '^Content-Type: application/wasm' "$TMP/cabeceras" && grep -qi '^Content-Encoding: gzip' "$TMP/cabeceras" &&
  grep -qi '^Cache-Control: public, max-age=31536000, immutable' "$TMP/cabeceras" &&
  gunzip -c "$TMP/modulo.gz" | cmp -s - "$CONSTRUCCION/wasm/fotonauta_web.wasm" &&
  obtener "$PP" "$modulo" | cmp -s - "$CONSTRUCCION/wasm/fotonauta_web.wasm" ||
  fallo "$modulo is not the build's module, gzipped when asked and kept a year: $(cat "$TMP/cabeceras")"
echo "ok: the module served as the build made it, gzipped when asked ($(stat -c %s "$TMP/modulo.gz") bytes), kept a year"
mkdir -p "$TMP/plan" "$TMP/cdp"
cp "$N/a.txt" "$TMP/plan/00.txt"
"$CONSTRUCCION/niveles" resolver "$TMP/plan/00.txt" | tail -n +2 | grep -v '^gremlins\|^peligro' >"$TMP/plan.txt"
"$CONSTRUCCION/niveles" volcar "$TMP/plan/00.txt" >"$TMP/volcado.txt"
timeout 240 node "$(dirname "$0")/paginas.mjs" "http://127.0.0.1:$PP" "$IDP" "$TMP/plan.txt" "$TMP/volcado.txt" "$CAPTURAS" \
  "$TMP/cdp" "$CONSTRUCCION/tests/loseta_en_celda" "$CONSTRUCCION/datos/hoja_losetas.png" >"$TMP/paginas.log" 2>&1 &
PID_NAVEGADOR=$!
PIDS_SERVIDOR+=("$PID_NAVEGADOR")

P=$(puerto_libre)
iniciar_servidor "$P" "$TMP/niveles.db" --verificadores 1 --limite-niveles 26
PID=$PID_SERVIDOR

# ---- publishing
r=$(publicar "$P" "Ana" "$N/a.txt" "$N/a_gana.frep")
espera "a level with a winning recording" "201 published " "$r"
ID=${r#201 published }
[[ $ID =~ ^[0-9a-f]{16}$ ]] || fallo "the ID '$ID' is not 16 hex digits"
espera "the same board under another title" "409 already published $ID" "$(publicar "$P" Bea "$N/a_otra.txt" "$N/a_gana.frep")"
espera "a malformed level" "400 5:4: unknown cell" "$(publicar "$P" Ana "$N/roto.txt" "$N/a_gana.frep")"
espera "a level that breaks the rules" "422 the level breaks the level rules: " \
  "$(publicar "$P" Ana "$N/sin_emisor.txt" "$N/a_gana.frep")"
espera "a recording that loses" "422 the recording does not win this level: the recorded game ends with every life lost" \
  "$(publicar "$P" Ana "$N/b.txt" "$N/b_pierde.frep")"
espera "a recording of another level" "422 the recording does not win this level: the recording was played on another level" \
  "$(publicar "$P" Ana "$N/b.txt" "$N/a_gana.frep")"
espera "a level with no recording" "422 the recording does not win this level: there is no recording" \
  "$(publicar "$P" Ana "$N/b.txt" /dev/null)"
espera "a name with a control character" "400 the name holds a control character" \
  "$(enviar "$P" "/api/niveles?yourname=A%01na&nivel=$(stat -c %s "$N/b.txt")" "$N/b.txt" "$N/b_gana.frep")"
espera "no name" "400 missing key yourname" "$(enviar "$P" "/api/niveles?nivel=10" "$N/b.txt")"
# One byte past the largest level and recording together.
head -c $((1048576 + 16384 + 1)) /dev/zero >"$TMP/grande"
espera "an oversized body" "413 " "$(enviar "$P" "/api/niveles?yourname=Ana&nivel=549" "$TMP/grande")"
espera "a level text past the largest" "413 " "$(enviar "$P" "/api/niveles?yourname=Ana&nivel=99999" "$N/b.txt")"
[ "$(obtener "$P" /api/niveles | grep -o '"id":' | wc -l)" = 1 ] || fallo "a refused level was stored"
echo "ok: nothing refused was stored"

# ---- the level's own ways of being read
obtener "$P" "/api/niveles/$ID/texto" >"$TMP/texto.txt"
cmp -s "$TMP/texto.txt" "$N/a.txt" || fallo "the level's text is not the level published"
obtener "$P" "/api/niveles/$ID/texto" >/dev/null
curl -s -D "$TMP/cabeceras" -o "$TMP/descarga.txt" "http://127.0.0.1:$P/niveles/$ID.txt"
cmp -s "$TMP/descarga.txt" "$N/a.txt" && grep -qi "content-disposition: attachment; filename=\"$ID.txt\"" "$TMP/cabeceras" ||
  fallo "the .txt download is not the level as $ID.txt"
obtener "$P" "/api/niveles/$ID" >"$TMP/nivel.json"
grep -q "\"jugadas\":1,\"victorias\":1,\"mejor\":$puntos_autor,\"jugadores\":1" "$TMP/nivel.json" ||
  fallo "the level's JSON does not count one play (two fetches from one address), one win and the author's run: $(cat "$TMP/nivel.json")"
echo "ok: the text, the download and the JSON; a play counted once per address"
for imagen in "$ID.png:480 x 288" "$ID-p.png:240 x 144"; do
  obtener "$P" "/niveles/${imagen%%:*}" >"$TMP/imagen.png"
  file "$TMP/imagen.png" | grep -q "PNG image data, ${imagen#*:}, 8-bit/color RGB" ||
    fallo "/niveles/${imagen%%:*} is not a ${imagen#*:} PNG: $(file "$TMP/imagen.png")"
done
cp "$TMP/imagen.png" "$CAPTURAS/servidor_niveles_pequena.png"
echo "ok: the board's pictures are PNGs of 480 x 288 and 240 x 144"

# ---- a run for the level's board, from a machine that never fetched the
# level: its verified win is that machine's play too.
espera "Bea's run" "200 verified $puntos_bea" \
  "$(DESDE=127.0.0.2 enviar "$P" "/api/niveles/$ID/repeticiones?yourname=Bea" "$N/a_bea.frep")"
espera "the same run again" "200 already verified $puntos_bea" \
  "$(enviar "$P" "/api/niveles/$ID/repeticiones?yourname=Bea" "$N/a_bea.frep")"
espera "a run of another level" "422 the recording was played on another level" \
  "$(enviar "$P" "/api/niveles/$ID/repeticiones?yourname=Bea" "$N/b_gana.frep")"
espera "a run with no points" "422 the run made no points" \
  "$(enviar "$P" "/api/niveles/$ID/repeticiones?yourname=Cata" "$N/a_pierde.frep")"
espera "a run for an unknown level" "404 no level 0123456789abcdef" \
  "$(enviar "$P" "/api/niveles/0123456789abcdef/repeticiones?yourname=Bea" "$N/a_bea.frep")"
# One game is one run: Bea's, downloaded from the board and disguised each
# way that leaves the game as it was, sent under other names: 409 with the
# first claim. Her name from another machine's key, and Ana's as an
# author: 409, the name taken. A run recorded on another spelling of the
# level is not a run of the level as the server gives it.
run_bea=$(obtener "$P" "/api/niveles/$ID" | grep -o "/niveles/$ID/repeticiones/[0-9]*\.frep" | tail -1)
curl -s -m 5 -o "$TMP/bea_bajada.frep" "http://127.0.0.1:$P$run_bea"
for modo in vacio movido ajeno; do
  "$GRABAR" editar "$TMP/bea_bajada.frep" "$TMP/bea_$modo.frep" disfraz "$modo" >/dev/null
  espera "Bea's run disguised ($modo) under another name" "409 this game was claimed first by Bea ($puntos_bea points on level $ID)" \
    "$(enviar "$P" "/api/niveles/$ID/repeticiones?yourname=Ladron" "$TMP/bea_$modo.frep")"
done
espera "Bea's name from another key" "409 name taken: bea is claimed by another player's key (as Bea)" \
  "$(CLAVES=$TMP/otra enviar "$P" "/api/niveles/$ID/repeticiones?yourname=bea" "$TMP/bea_vacio.frep")"
espera "Ana's name as an author from another key" "409 name taken: ANA is claimed by another player's key (as Ana)" \
  "$(CLAVES=$TMP/otra publicar "$P" ANA "$N/b.txt" "$N/b_gana.frep")"
sed '2a gremlins: 0' "$N/a.txt" >"$N/a_explicita.txt"
"$GRABAR" suelto "$N/a_explicita.txt" "$N/a_explicita.frep" >/dev/null
espera "a run recorded on another spelling of the level" "422 the recording was played on another level" \
  "$(enviar "$P" "/api/niveles/$ID/repeticiones?yourname=Bea" "$N/a_explicita.frep")"
# An operator takes Bea's run off the board and lets it back.
"$SERVIDOR" --base "$TMP/niveles.db" --ocultar-partida "$(grep -o '[0-9]*\.frep' <<<"$run_bea" | grep -o '[0-9]*')" >/dev/null ||
  fallo "--ocultar-partida of a run failed"
! obtener "$P" "/api/niveles/$ID" | grep -q '"nombre":"Bea"' || fallo "a hidden run is on the board"
ver_bea=/ver/niveles/$ID/$(grep -o '[0-9]*\.frep' <<<"$run_bea" | grep -o '[0-9]*')
[ "$(estado "$P" "$ver_bea")" = 410 ] || fallo "the Watch page of a hidden run answered $(estado "$P" "$ver_bea"), not 410"
"$SERVIDOR" --base "$TMP/niveles.db" --mostrar-partida "$(grep -o '[0-9]*\.frep' <<<"$run_bea" | grep -o '[0-9]*')" >/dev/null
obtener "$P" "/api/niveles/$ID" | grep -q '"nombre":"Bea"' || fallo "a run shown again is not on the board"
echo "ok: a run hidden from its board and shown again"
obtener "$P" "/api/niveles/$ID" >"$TMP/nivel.json"
python3 - "$TMP/nivel.json" "$puntos_autor" "$puntos_bea" <<'EOF' || fallo "the board is not Ana's and Bea's runs ranked: $(cat "$TMP/nivel.json")"
import json, sys
n = json.load(open(sys.argv[1]))
filas = [(f["nombre"], f["puntos"]) for f in n["tabla"]]
esperadas = sorted([("Ana", int(sys.argv[2])), ("Bea", int(sys.argv[3]))], key=lambda f: -f[1])
assert filas == esperadas, filas
assert (n["jugadas"], n["victorias"]) == (2, 2) and n["jugadores"] == 2 and n["mejor"] == esperadas[0][1], n
assert [f["puesto"] for f in n["tabla"]] == ([1, 1] if esperadas[0][1] == esperadas[1][1] else [1, 2])
EOF
enlace=$(grep -o '"/niveles/[0-9a-f]*/repeticiones/[0-9]*\.frep"' "$TMP/nivel.json" | grep -v null | tail -1 | tr -d '"')
obtener "$P" "$enlace" >"$TMP/bajada.frep"
cmp -s "$TMP/bajada.frep" "$N/a_bea.frep" || cmp -s "$TMP/bajada.frep" "$N/a_gana.frep" ||
  fallo "the board's recording $enlace is not a recording sent"
echo "ok: the board ranks the verified runs, and its recordings download as sent"

# ---- unknown and junk IDs
for ruta in "/niveles/0123456789abcdef" "/api/niveles/0123456789abcdef/texto" "/niveles/0123456789ABCDEF" \
  "/niveles/..%2F..%2Fetc" "/api/niveles/$ID/nada" "/niveles/$ID/repeticiones/99.frep"; do
  [ "$(estado "$P" "$ruta")" = 404 ] || fallo "$ruta answered $(estado "$P" "$ruta"), not 404"
done
[ "$(estado "$P" "/niveles?tras=basura")" = 400 ] && [ "$(estado "$P" "/niveles?orden=peores")" = 400 ] ||
  fallo "a junk cursor or order is not a 400"
echo "ok: unknown and junk IDs answer 404, a junk query 400"

# ---- the pages
obtener "$P" "/niveles" >"$TMP/galeria.html"
grep -q "<img class=\"tablero\" src=\"/niveles/$ID-p.png\"" "$TMP/galeria.html" && grep -q "Primer contacto" "$TMP/galeria.html" ||
  fallo "the gallery does not show the level with its picture"
! grep -qi "<script" "$TMP/galeria.html" || fallo "the gallery has a script"
[ "$(obtener "$P" "/niveles?q=PRIMER" | grep -c "/niveles/$ID\"")" -ge 1 ] &&
  [ "$(obtener "$P" "/niveles?q=ana" | grep -c "/niveles/$ID\"")" -ge 1 ] &&
  [ "$(obtener "$P" "/niveles?q=zzz" | grep -c "/niveles/$ID\"")" = 0 ] || fallo "the search does not find by title and author"
obtener "$P" "/niveles/$ID" >"$TMP/pagina.html"
for trozo in "href=\"fotonauta://nivel/$ID\"" "<code>fotonauta --nivel $ID</code>" "href=\"/niveles/$ID.txt\"" \
  "src=\"/niveles/$ID.png\"" "<td class=\"nombre\">Bea</td>" "action=\"/niveles/$ID/denuncia\""; do
  grep -qF "$trozo" "$TMP/pagina.html" || fallo "the level's page lacks $trozo"
done
obtener "$P" "/niveles/$ID?nombre=Bea" >"$TMP/buscada.html"
grep -q "2 plays &middot; 2 wins" "$TMP/pagina.html" && grep -q "Plays: the computers that played a level" "$TMP/pagina.html" ||
  fallo "the level's page does not show its counts and what they mean"
grep -q "<tr class=\"buscada\"><td class=\"n\">[12]</td><td class=\"nombre\">Bea</td>" "$TMP/buscada.html" &&
  grep -q "Bea: rank [12], $puntos_bea points." "$TMP/buscada.html" || fallo "a player looked for on the board is not found"
echo "ok: the gallery (with search), the level's page, a player found on its board"

# ---- reports and the operator
for _ in 1 2; do
  [ "$(curl -s -o /dev/null -w '%{http_code}' -d '' "http://127.0.0.1:$P/niveles/$ID/denuncia")" = 200 ] ||
    fallo "the report form is not answered 200"
done
"$SERVIDOR" --base "$TMP/niveles.db" --denuncias >"$TMP/denuncias.txt"
grep -q "^$ID	1 report(s)	shown	Primer contacto by Ana$" "$TMP/denuncias.txt" ||
  fallo "--denuncias does not list one report: $(cat "$TMP/denuncias.txt")"
"$SERVIDOR" --base "$TMP/niveles.db" --ocultar "$ID" >/dev/null
for ruta in "/niveles/$ID" "/niveles/$ID.txt" "/niveles/$ID.png" "/api/niveles/$ID" "/api/niveles/$ID/texto" \
  "/niveles/$ID/jugar" "$ver_bea"; do
  [ "$(estado "$P" "$ruta")" = 410 ] || fallo "$ruta of a hidden level answered $(estado "$P" "$ruta"), not 410"
done
! obtener "$P" /niveles | grep -q "$ID" || fallo "the hidden level is in the gallery"
espera "a run for a hidden level" "410 " "$(enviar "$P" "/api/niveles/$ID/repeticiones?yourname=Dora" "$N/a_bea.frep")"
# The same board spelt otherwise (its implicit gremlins written out), with
# a run that wins that spelling: one level, so the hidden one stays hidden
# and, shown again, is its author's.
espera "the hidden level spelt otherwise" "410 level $ID was hidden" "$(publicar "$P" Eva "$N/a_explicita.txt" "$N/a_explicita.frep")"
"$SERVIDOR" --base "$TMP/niveles.db" --mostrar "$ID" >/dev/null
[ "$(estado "$P" "/niveles/$ID")" = 200 ] && obtener "$P" /niveles | grep -q "$ID" || fallo "--mostrar did not bring it back"
espera "the level spelt otherwise, by another" "409 already published $ID by Ana" "$(publicar "$P" Eva "$N/a_explicita.txt" "$N/a_explicita.frep")"
# A run whose header starts the level alone at 51 (whose gremlins it would
# take) is a start the game never makes.
"$GRABAR" editar "$N/a_bea.frep" "$N/a_51.frep" nivel 51 >/dev/null
espera "a run started at level 51" "422 the game plays a level alone from level 0" \
  "$(enviar "$P" "/api/niveles/$ID/repeticiones?yourname=Dora" "$N/a_51.frep")"
"$SERVIDOR" --base "$TMP/niveles.db" --ocultar 0123456789abcdef 2>/dev/null && fallo "--ocultar of an unknown level succeeded"
echo "ok: a report counted once per address; --ocultar answers 410 and --mostrar brings it back"

# ---- Chromium
navegador --window-size=1024,900 --screenshot="$CAPTURAS/servidor_galeria.png" "http://127.0.0.1:$P/niveles" >/dev/null &&
  navegador --window-size=1024,1100 --screenshot="$CAPTURAS/servidor_nivel.png" "http://127.0.0.1:$P/niveles/$ID" >/dev/null ||
  fallo "chromium took no screenshot: $(tail -n 3 "$TMP/navegador.err")"
navegador --dump-dom "http://127.0.0.1:$P/niveles" | grep -q "src=\"/niveles/$ID-p.png\"" || fallo "chromium does not see the gallery"
en_un_movil "http://127.0.0.1:$P/niveles" "$CAPTURAS/servidor_galeria_movil.png" /
en_un_movil "http://127.0.0.1:$P/niveles/$ID" "$CAPTURAS/servidor_nivel_movil.png" /niveles /
echo "ok: the gallery and the level's page in Chromium ($CAPTURAS/servidor_galeria.png, servidor_nivel.png), and"
echo "    whole at 390 px wide (servidor_galeria_movil.png, servidor_nivel_movil.png)"

# ---- a flood from one address: the posts past the limit (26 an hour,
# the ones above counted) get 429 and store nothing.
for _ in $(seq 6); do publicar "$P" Ana "$N/b.txt" "$N/b_pierde.frep" >/dev/null; done
espera "a flood from one address" "429 too many levels" "$(publicar "$P" Ana "$N/b.txt" "$N/b_gana.frep")"
curl -s -D - -o /dev/null -H 'Expect:' --data-binary @"$N/b.txt" "http://127.0.0.1:$P/api/niveles?yourname=Ana&nivel=1" |
  grep -qi '^Retry-After: [0-9]' || fallo "a 429 without Retry-After"
kill "$PID"
wait "$PID" 2>/dev/null || true

# ---- a store from before wins were counted per address, where one
# machine's three wins outnumbered its one play: opened, it is upgraded
# with its plays raised to its wins.
sqlite3 "$TMP/niveles.db" "UPDATE niveles SET jugadas = 1, victorias = 3 WHERE id = $((16#$ID));
  DROP TABLE victorias_nivel; UPDATE version_esquema SET version = 5;"
"$SERVIDOR" --base "$TMP/niveles.db" --denuncias >/dev/null
[ "$(sqlite3 "$TMP/niveles.db" "SELECT jugadas, victorias FROM niveles WHERE id = $((16#$ID)); SELECT version FROM version_esquema")" = "3|3
6" ] || fallo "the store from before was not upgraded to as many plays as wins"
echo "ok: a store from before shows as many plays as wins once upgraded"

# ---- PostgreSQL: two servers, one cluster, the same answers
iniciar_postgresql
P1=$(puerto_libre)
iniciar_servidor "$P1" "$PG_URI" --verificadores 1
P2=$(puerto_libre)
iniciar_servidor "$P2" "$PG_URI" --verificadores 1
espera "published through the first server" "201 published $ID" "$(publicar "$P1" Ana "$N/a.txt" "$N/a_gana.frep")"
espera "published again through the second" "409 already published $ID" "$(publicar "$P2" Ana "$N/a.txt" "$N/a_gana.frep")"
r=$(publicar "$P2" Bea "$N/b.txt" "$N/b_gana.frep")
espera "another level through the second" "201 published" "$r"
ID2=${r#201 published }
espera "a run through the second server" "200 verified $puntos_bea" \
  "$(DESDE=127.0.0.2 enviar "$P2" "/api/niveles/$ID/repeticiones?yourname=Bea" "$N/a_bea.frep")"
obtener "$P1" "/api/niveles/$ID" | grep -q '"jugadas":2,"victorias":2,' || fallo "PostgreSQL: the two wins are not two plays"
for ruta in /niveles "/niveles?orden=jugados" "/niveles?orden=ganados&q=a" /api/niveles "/niveles/$ID" "/niveles/$ID2" \
  "/api/niveles/$ID" "/niveles/$ID.png" "/niveles/$ID2-p.png" "/niveles/$ID.txt"; do
  obtener "$P1" "$ruta" >"$TMP/uno"
  obtener "$P2" "$ruta" >"$TMP/dos"
  [ -s "$TMP/uno" ] && cmp -s "$TMP/uno" "$TMP/dos" || fallo "the two servers differ on $ruta"
done
grep -q "<td class=\"nombre\">Bea</td>" <(obtener "$P1" "/niveles/$ID") || fallo "the first server does not show the second's run"
echo "ok: PostgreSQL: two servers serve the same gallery, pages, pictures and JSON, byte for byte"
parar_postgresql immediate
[ "$(estado "$P1" /niveles)" = 503 ] || fallo "the gallery without its database is not a 503"
grep -q "the store failed: .*\(connect\|server\|terminat\|reached\)" "$TMP/servidor_$P1.log" ||
  fallo "the store's own error is not in the log: $(tail -n 3 "$TMP/servidor_$P1.log")"
echo "ok: the database gone: 503, and the store's own words in the log"
# ---- the Watch and Play pages' outcome
wait "$PID_NAVEGADOR" || fallo "the Watch and Play pages (screens in $CAPTURAS/servidor_*.png): $(cat "$TMP/paginas.log")"
cat "$TMP/paginas.log"
kill "$PID_PAGINAS"
wait "$PID_PAGINAS" 2>/dev/null || true

echo "PASS"
