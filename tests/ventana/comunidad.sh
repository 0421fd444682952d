# A community level from a link, in the real window: the game started the
# way its desktop entry's Exec line starts it with a fotonauta:// link, the
# level fetched from a server on loopback, played to a win by the solver's
# plan, the run sent to the level's board under the name of the player's
# table; then, offline, the copy kept is played; unknown, withdrawn and
# junk links are refused. The player's table is never touched.
AQUI=$(cd "$(dirname "$0")" && pwd)
source "$AQUI/comun.sh"
source "$AQUI/jugar.sh"
PREFIJO=comunidad
terminar() { kill $(jobs -p) 2>/dev/null; limpiar; }
trap terminar EXIT

# The level: the second stored level under a title of its own, as an author
# would publish it; played alone it is level 01, which the plan is made for.
sed '1s/.*/titulo: Espejos de la comunidad/' "$AQUI/../../datos/niveles/01.txt" >"$TMP/nivel.txt"
ID=$("$NIVELES" id "$TMP/nivel.txt")
mkdir "$TMP/nivel_plan" "$TMP/recibidas"
cp "$TMP/nivel.txt" "$TMP/nivel_plan/00.txt"
OCULTO=00000000000000aa
python3 "$AQUI/servidor_niveles.py" "$TMP/puerto" "$TMP/recibidas" "$ID" "$TMP/nivel.txt" "$OCULTO" "$NIVELES" \
  2>"$TMP/servidor.log" &
PID_SERVIDOR=$!
for _ in $(seq 100); do [ -s "$TMP/puerto" ] && break; sleep 0.05; done
[ -s "$TMP/puerto" ] || fallo "the level server did not start: $(cat "$TMP/servidor.log")"
export FOTONAUTA_SERVIDOR=127.0.0.1:$(cat "$TMP/puerto")

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
[ -z "$(ventana_juego)" ] || fallo "a junk link opened a window"
[ ! -e "$XDG_DATA_HOME" ] || fallo "a junk link made the cache"
paso "junk links refused"

# ---- Unknown and withdrawn levels: said in the window ----
for caso in "0123456789abcdef 404 there is no level" "$OCULTO 410 has been withdrawn"; do
  read -r otro codigo texto <<<"$caso"
  enlace=fotonauta://nivel/$otro
  arrancar "$CONSTRUCCION/fotonauta" "$enlace"
  origen_ventana
  esperar 20 "the $codigo answer on screen" aviso
  capturar "comunidad_$codigo"
  clic_grande 416 676
  esperar_fin "$pid" 20
  [ "$ESTADO" -eq 1 ] || fallo "the $codigo level ended with status $ESTADO"
  grep -q "$texto.*($codigo)" "$TMP/error" || fallo "no message for $codigo: $(cat "$TMP/error")"
done
[ ! -e "$XDG_DATA_HOME/fotonauta/comunidad/$OCULTO.txt" ] || fallo "a withdrawn level was kept"
paso "unknown and withdrawn levels refused"

# ---- Online: fetched, won, the run sent ----
desde_escritorio "fotonauta://nivel/$ID"
origen_ventana
esperar_nivel "the community level"
capturar comunidad_inicio
[ -f "$CACHE" ] || fallo "the level was not kept in $CACHE"
[ "$("$NIVELES" id "$CACHE")" = "$ID" ] || fallo "the copy kept is not level $ID"
ganar_nivel "$TMP/nivel_plan/00.txt" comunidad 3
paso "the community level won"
# Its points, and the question: send the run?
esperar 60 "the end of the level with its question" caja
capturar comunidad_final
clic_grande 308 336
enviada() { mirar enviada && mayor "$(claridad enviada 192x56+416+676)" 0.2 && [ -f "$TMP/recibidas/1.consulta" ]; }
esperar 30 "the server's answer on screen" enviada
capturar comunidad_enviada
clic_grande 416 676
esperar_fin "$pid" 20
[ "$ESTADO" -eq 0 ] || fallo "the community game ended with status $ESTADO: $(cat "$TMP/error")"
grep -q "sent as LUIS: 200 verified [1-9]" "$TMP/error" || fallo "the run was not verified: $(cat "$TMP/error")"
puntos_juego=$(sed -n 's/.*(\([0-9]*\) points) sent as.*/\1/p' "$TMP/error")
[ "$(cat "$TMP/recibidas/1.consulta")" = "yourname=LUIS" ] || fallo "the run went as $(cat "$TMP/recibidas/1.consulta")"
"$NIVELES" repeticion "$TMP/recibidas/1.frep" "$TMP/nivel.txt" >"$TMP/verificada" ||
  fallo "the run sent does not replay: $(cat "$TMP/verificada")"
read -r _ _ motivo _ puntos _ fases _ nombre <"$TMP/verificada"
[ "$motivo" -eq 1 ] && [ "$fases" -eq 1 ] && [ "$puntos" -gt 0 ] && [ "$puntos" = "$puntos_juego" ] && [ "$nombre" = LUIS ] ||
  fallo "the run sent is not a won level of LUIS: $(cat "$TMP/verificada")"
paso "the run sent: $(cat "$TMP/verificada")"

# ---- Offline: the copy kept, in Spanish ----
kill "$PID_SERVIDOR"
wait "$PID_SERVIDOR" 2>/dev/null || true
printf '\000\144\144\000' >cfg.dat
"$CONSTRUCCION/fotonauta" --nivel "${ID^^}" 2>"$TMP/error" &
pid=$!
esperar_ventana
origen_ventana
esperar_nivel "the copy kept"
capturar comunidad_sin_red
grep -q "could not be reached; playing the copy kept in $CACHE" "$TMP/error" || fallo "offline: $(cat "$TMP/error")"
# Left through the panel: no points, nothing to send.
clic_grande 30 707
esperar 10 "the quit box over the level" caja
clic_grande 308 336
esperar 20 "the end of the level left" aviso
capturar comunidad_sin_red_fin
clic_grande 416 676
esperar_fin "$pid" 20
[ "$ESTADO" -eq 0 ] || fallo "the offline game ended with status $ESTADO: $(cat "$TMP/error")"
[ "$(ls "$TMP/recibidas" | wc -l)" -eq 2 ] || fallo "runs sent: $(ls "$TMP/recibidas")"

# The table and its folder as they were: no row, no recording.
[ "$(stat -c '%i %s %Y' pnt.txt; md5sum pnt.txt)" = "$tabla_antes" ] || fallo "pnt.txt was touched"
[ ! -e repeticiones ] || fallo "a community game was recorded beside the table: $(ls repeticiones)"
echo "ok: a community level from a fotonauta:// link fetched, won and its run verified; offline the copy kept; bad links refused; pnt.txt untouched"
