# A community level from a link, in the real window: the level published
# on the score server (a real one, on loopback); the game started the way
# its desktop entry's Exec line starts it with the level's fotonauta://
# link, the level fetched and kept and shown under its own title (its win
# and run sent online are ventana_comunidad_entera's). Then the level
# withdrawn, and offline the copy kept, said over the board, is played to a
# win by the solver's plan, its bonus count told and cut short by a click,
# and its run's failed sending said, and the board's run watched, its keys
# told; unknown and junk links are refused. The player's table is
# never touched.
AQUI=$(cd "$(dirname "$0")" && pwd)
source "$AQUI/comun.sh"
source "$AQUI/jugar.sh"
PREFIJO=comunidad

# The level: the second stored level under a title of its own, as an author
# would publish it; played alone it is level 01, which the plan is made for.
sed '1s/.*/titulo: Espejos de la comunidad/' "$AQUI/../../datos/niveles/01.txt" >"$TMP/nivel.txt"
ID=$("$NIVELES" id "$TMP/nivel.txt")
mkdir "$TMP/nivel_plan"
cp "$TMP/nivel.txt" "$TMP/nivel_plan/00.txt"

PUERTO=$(puerto_libre)
BASE=$TMP/servidor.db
iniciar_servidor "$PUERTO" "$BASE" --verificadores 1
REGISTRO=$TMP/servidor_$PUERTO.log
api() { curl -s -m 20 "$@"; }
export FOTONAUTA_SERVIDOR=127.0.0.1:$PUERTO
# Published as the editor does: the text and a recording that wins it.
"$CONSTRUCCION/tests/grabar_partidas" suelto "$TMP/nivel.txt" "$TMP/prueba.frep" >/dev/null
cat "$TMP/nivel.txt" "$TMP/prueba.frep" >"$TMP/publicar"
firma=$(XDG_DATA_HOME=$TMP/autora "$CONSTRUCCION/tests/grabar_partidas" firmar /api/niveles Autora "$TMP/publicar")
respuesta=$(api -w ' %{http_code}' --data-binary @"$TMP/publicar" -H 'Content-Type: application/octet-stream' \
  -H "Fotonauta-Clave: ${firma% *}" -H "Fotonauta-Firma: ${firma#* }" \
  "http://127.0.0.1:$PUERTO/api/niveles?yourname=Autora&nivel=$(stat -c %s "$TMP/nivel.txt")")
[[ "$respuesta" == *"published $ID"*" 201" ]] || fallo "publishing the level: $respuesta; $(cat "$REGISTRO")"
# The author's winning run, downloaded from the level's board as its page
# links it: the level it was played on travels inside it.
enlace=$(api "http://127.0.0.1:$PUERTO/niveles/$ID" | { grep -o 'href="[^"]*" type="application/x-fotonauta-repeticion"' || true; } | head -n 1 | cut -d'"' -f2)
[ -n "$enlace" ] || fallo "the level's page links no recording"
api -o "$TMP/del_tablero.frep" "http://127.0.0.1:$PUERTO$enlace"

iniciar_xvfb
preparar_directorio
cd "$JUEGO_DIR"
export XDG_DATA_HOME=$TMP/datos HOME=$TMP/casa
CACHE=$XDG_DATA_HOME/fotonauta/comunidad/$ID.txt
# English, full volumes; a table of one row with no recording: its name is
# the one a run goes under.
printf '\001\144\144\000' >cfg.dat
printf '#%-22s%6d %s\r\n' LUIS 54321 LKJIHGFEDCBA >pnt.txt
tabla_antes=$(stat -c '%i %s %Y' pnt.txt; md5sum pnt.txt)

# The desktop entry's Exec line, with the installed command as built here.
read -r -a EXEC < <(sed -n 's/^Exec=//p' "$AQUI/../../instalacion/fotonauta.desktop" | head -n 1)
[ "${EXEC[0]}" = fotonauta ] && [ "${EXEC[1]}" = %u ] && [ "${#EXEC[@]}" -eq 2 ] ||
  fallo "the desktop entry's Exec line is '${EXEC[*]}'"
desde_escritorio() {
  local argumentos=() a
  for a in "${EXEC[@]:1}"; do
    if [ "$a" = %u ]; then argumentos+=("$1"); else argumentos+=("$a"); fi
  done
  arrancar "$CONSTRUCCION/fotonauta" "${argumentos[@]}"
}
# A screen of lines with the Exit of the upload's screen under them.
aviso() { mirar aviso && mayor "$(claridad aviso 192x56+416+676)" 0.2; }

# ---- Junk links: a message, status 2, before any window ----
for enlace in "fotonauta://nivel/${ID:0:15}" "fotonauta://nivel/${ID}0" "fotonauta://nivel/${ID:0:15}g" \
  "fotonauta://nivel/../../etc/passwd" "fotonauta://nivel/$ID?x=1" "fotonauta://nivel/$ID#x" "fotonauta://otra/$ID" \
  "fotonauta:$ID" $'fotonauta://nivel/\e[2J'"${ID:0:12}" "fotonauta://nivel/%30${ID:0:14}"; do
  "$CONSTRUCCION/fotonauta" "$enlace" >/dev/null 2>"$TMP/error" && ESTADO=0 || ESTADO=$?
  [ "$ESTADO" -eq 2 ] || fallo "the link '$enlace' ended with status $ESTADO: $(cat "$TMP/error")"
  grep -q "is not a level link\|does not name a level" "$TMP/error" || fallo "'$enlace': no clear message: $(cat "$TMP/error")"
  ! grep -q $'\e' "$TMP/error" || fallo "'$enlace': the message passes control characters to the terminal"
done
"$CONSTRUCCION/fotonauta" --nivel "$ID" --nivel "$ID" 2>"$TMP/error" && ESTADO=0 || ESTADO=$?
[ "$ESTADO" -eq 2 ] || fallo "two levels ended with status $ESTADO"
# The same Exec line hands over a recording's file by its URL: decoded.
"$CONSTRUCCION/fotonauta" "file://$TMP/no%20hay.frep" 2>"$TMP/error" && ESTADO=0 || ESTADO=$?
[ "$ESTADO" -eq 1 ] && grep -q "^fotonauta: $TMP/no hay.frep: No such file" "$TMP/error" ||
  fallo "a file's URL: status $ESTADO, $(cat "$TMP/error")"
[ -z "$(ventana_juego)" ] || fallo "a junk link opened a window"
[ ! -e "$XDG_DATA_HOME" ] || fallo "a junk link made the cache"
paso "junk links refused"

# ---- Unknown and withdrawn levels: said in the window ----
# $1 the level, $2 the status, $3 what the message says.
refusado() {
  arrancar "$CONSTRUCCION/fotonauta" "fotonauta://nivel/$1"
  origen_ventana
  esperar 20 "the $2 answer on screen" aviso
  capturar "comunidad_$2"
  clic_grande 416 676
  esperar_fin "$pid" 20
  [ "$ESTADO" -eq 1 ] || fallo "the $2 level ended with status $ESTADO"
  grep -q "$3.*($2)" "$TMP/error" || fallo "no message for $2: $(cat "$TMP/error")"
}
refusado 0123456789abcdef 404 "there is no level"
[ ! -e "$XDG_DATA_HOME/fotonauta/comunidad/0123456789abcdef.txt" ] || fallo "an unknown level was kept"
paso "an unknown level refused"

# ---- Online: fetched and kept, then left ----
# (Won and its run sent to the board: ventana_comunidad_entera.)
desde_escritorio "fotonauta://nivel/$ID"
origen_ventana
esperar_nivel "the community level"
capturar comunidad_inicio
# Its own title over the board (the status strip says "01").
mirar titulo
rotulo_en titulo 0 || fallo "no title over the community level (comunidad_inicio.png)"
[ -f "$CACHE" ] || fallo "the level was not kept in $CACHE"
[ "$("$NIVELES" id "$CACHE")" = "$ID" ] || fallo "the copy kept is not level $ID"
# Left through the panel's Exit and "Yes": no points, so nothing to send.
clic_grande 30 707
esperar 10 "the quit box over the community level" caja
clic_grande 308 336
esperar 20 "the end of the game left" aviso
capturar comunidad_dejado
clic_grande 416 676
esperar_fin "$pid" 20
[ "$ESTADO" -eq 0 ] || fallo "the community game left ended with status $ESTADO: $(cat "$TMP/error")"
paso "the community level fetched, kept and left"

# ---- Withdrawn by the operator: said, even with the copy kept ----
"$CONSTRUCCION/fotonauta-servidor" --base "$BASE" --ocultar "$ID" >/dev/null 2>>"$REGISTRO"
refusado "$ID" 410 "has been withdrawn"
paso "a withdrawn level refused"

# The table and its folder as they were: no row, no recording.
[ "$(stat -c '%i %s %Y' pnt.txt; md5sum pnt.txt)" = "$tabla_antes" ] || fallo "pnt.txt was touched"
[ ! -e repeticiones ] || fallo "a community game was recorded beside the table: $(ls repeticiones)"

# ---- Offline: the copy kept, in Spanish, by a player with no table ----
kill "$PID_SERVIDOR"
wait "$PID_SERVIDOR" 2>/dev/null || true
printf '\000\144\144\000' >cfg.dat
rm pnt.txt
"$CONSTRUCCION/fotonauta" --nivel "${ID^^}" 2>"$TMP/error" &
pid=$!
esperar_ventana
origen_ventana
esperar_nivel "the copy kept"
capturar comunidad_sin_red
grep -q "could not be reached (.*); playing the copy kept in $CACHE" "$TMP/error" || fallo "offline: $(cat "$TMP/error")"
# The copy kept is said on screen, in the title's place, for its first
# seconds (the level's start is most of them).
mirar copia
rotulo_en copia 0 && otro_rotulo copia titulo || fallo "the copy kept is not said over the board (comunidad_sin_red.png)"
ganar_nivel "$TMP/nivel_plan/00.txt" comunidad_sin_red 3
# The bonus count is told over the board, and a click ends it: the count
# would take 20 s more.
mirar bono
capturar comunidad_bono
rotulo_en bono 0 && otro_rotulo bono titulo && otro_rotulo bono copia ||
  fallo "the bonus count is not told over the board (comunidad_bono.png)"
xdotool click 1
esperar 8 "the end of the level played offline after a click in its bonus count" caja
clic_grande 308 336
# No table, so the name is asked: "ana" (the first letter comes capital).
esperar 10 "the name entry" fondo_negro
capturar comunidad_nombre
for tecla in "192 192" "576 256" "192 192"; do
  clic_loseta $tecla
done
clic_loseta 736 384
esperar 30 "the answer with no network" aviso
capturar comunidad_sin_red_fin
clic_grande 416 676
esperar_fin "$pid" 20
[ "$ESTADO" -eq 0 ] || fallo "the offline game ended with status $ESTADO: $(cat "$TMP/error")"
grep -q "points) sent as Ana: no answer" "$TMP/error" || fallo "the run sent offline: $(cat "$TMP/error")"
[ ! -e pnt.txt ] && [ ! -e repeticiones ] || fallo "the offline game wrote a table or a recording: $(ls)"
paso "the copy kept won offline"

# ---- The board's run watched with no network, the level given nowhere ----
"$CONSTRUCCION/fotonauta" --repeticion "$TMP/del_tablero.frep" 2>"$TMP/error" &
pid=$!
esperar_ventana
origen_ventana
esperar 30 "the board's run on screen" rotulo_repeticion
capturar comunidad_repeticion
# Its keys are told under the board for a few seconds, and again on H.
teclas() { mirar teclas && rotulo_en teclas 608; }
sin_teclas() { ! teclas; }
teclas || fallo "the viewer's keys are not told as it starts (comunidad_repeticion.png)"
esperar 15 "the viewer's keys gone after a few seconds" sin_teclas
xdotool key h
esperar 5 "the viewer's keys told again on H" teclas
capturar comunidad_repeticion_teclas
xdotool key Escape
esperar_fin "$pid" 20
[ "$ESTADO" -eq 0 ] && [ ! -s "$TMP/error" ] || fallo "watching the board's run: status $ESTADO: $(cat "$TMP/error")"
echo "ok: a community level published on the server, fetched from its fotonauta:// link and kept; withdrawn, refused; offline, the copy kept won and the run's failed sending said, and the board's run watched; bad links refused; pnt.txt untouched"
