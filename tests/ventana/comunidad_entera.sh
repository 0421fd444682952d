# A community level from the author's hands to another player's run, each
# program in a real window, on a real score server on loopback:
# - the editor: a small level built with clicks, proved, published (the
#   author's name asked once), its address printed;
# - the gallery in headless Chromium shows it with its board's picture;
# - the game, started as its desktop entry's Exec line starts it with the
#   level's fotonauta:// link, is paused with P (the board stands still)
#   and goes on with Esc, paused with F1 (the keys shown) and goes on with
#   F1 again, and the level is played to a win by the solver's
#   plan with the keys alone (the arrows jump a cursor between mirrors, Z
#   and X turn them) and the run sent;
# - the level's page shows the run verified, with the points the game said;
# - its Watch link in headless Chromium, a frame sought there, and the same
#   frame in the desktop game's viewer: the board and beam pixel for pixel.
AQUI=$(cd "$(dirname "$0")" && pwd)
source "$AQUI/comun.sh"
source "$AQUI/jugar.sh"
source "$AQUI/editor_comun.sh"
PREFIJO=comunidad_entera

PUERTO=$(puerto_libre)
iniciar_servidor "$PUERTO" "$TMP/servidor.db" --verificadores 1
api() { curl -s -m 20 "$@"; }
export FOTONAUTA_SERVIDOR=127.0.0.1:$PUERTO

iniciar_xvfb
preparar_directorio
cd "$JUEGO_DIR"
export HOME=$TMP/casa
# Spanish (the editor's button places are the Spanish captions'), full
# volumes; a table of one row: its name is the one the run goes under.
printf '\000\144\144\000' >cfg.dat
printf '#%-22s%6d %s\r\n' LUIS 54321 LKJIHGFEDCBA >pnt.txt
tabla_antes=$(md5sum <pnt.txt)

# ---- The editor: built, proved, published ----
mkdir -p "$CARPETA"
nivel_de "$CARPETA/00.txt" "Dos espejos"
arrancar_editor "$CARPETA/00.txt" >"$TMP/salida"
# The emitter, nine targets on its row (the fewest a level may have), the
# mirrors and the receiver with its gate.
paleta 2
celda 1 0
paleta 1
for c in 1 2 3 4 5 6 7 8 9; do celda 1 "$c"; done
espejos_y_receptor
xdotool mousemove $((OX + 500)) $((OY + 300))
capturar comunidad_entera_1_construido
xdotool key ctrl+p
esperar_o_no 30 marca_verde || { capturar comunidad_entera_fallo; fallo "the level's proof did not pass"; }
boton publicar
esperar_o_no 10 dialogo_visible || { capturar comunidad_entera_fallo; fallo "Publish asked no name"; }
xdotool type --delay 80 'Ana Autora'
xdotool key Return
xdotool mousemove $((OX + 500)) $((OY + 300))
direccion() { grep -x "http://127.0.0.1:$PUERTO/niveles/[0-9a-f]\{16\}" "$TMP/salida"; }
esperar_o_no 30 direccion || { capturar comunidad_entera_fallo; fallo "no address after Publish: $(cat "$TMP/salida" "$TMP/error")"; }
capturar comunidad_entera_2_publicado
ID=$(direccion | sed 's|.*/||')
guardar_hasta 'grep -q "^E3" "$CARPETA/00.txt"' 10 || fallo "the level was not saved"
salir_editor
paso "built, proved and published as $ID"

# ---- The gallery in a browser ----
navegador --dump-dom "http://127.0.0.1:$PUERTO/niveles" >"$TMP/galeria.html" ||
  fallo "chromium could not read the gallery: $(tail -n 3 "$TMP/navegador.err")"
grep -q "href=\"/niveles/$ID\"><img class=\"tablero\" src=\"/niveles/$ID" "$TMP/galeria.html" ||
  fallo "the gallery shows no picture of $ID: $(head -c 800 "$TMP/galeria.html")"
grep -q "Dos espejos" "$TMP/galeria.html" && grep -q "Ana Autora" "$TMP/galeria.html" ||
  fallo "the gallery lacks the title or the author"
navegador --window-size=1024,768 --screenshot="$CAPTURAS/comunidad_entera_3_galeria.png" "http://127.0.0.1:$PUERTO/niveles" \
  >/dev/null || fallo "chromium took no screenshot of the gallery"
# The picture is the board's: a PNG of the small size, not a blank.
api -o "$TMP/tablero.png" "http://127.0.0.1:$PUERTO$(grep -o "src=\"/niveles/$ID[^\"]*\"" "$TMP/galeria.html" |
  head -n 1 | sed 's/src="//; s/"$//')"
[ "$(identify -format '%m %w' "$TMP/tablero.png")" = "PNG 240" ] || fallo "the gallery's picture: $(identify "$TMP/tablero.png")"
[ "$(convert "$TMP/tablero.png" -format '%k' info:)" -gt 8 ] || fallo "the gallery's picture is nearly blank"
paso "in the gallery"

# ---- The game, from the link as the desktop opens it ----
read -r -a EXEC < <(sed -n 's/^Exec=//p' "$AQUI/../../instalacion/fotonauta.desktop" | head -n 1)
argumentos=()
for a in "${EXEC[@]:1}"; do
  if [ "$a" = %u ]; then argumentos+=("fotonauta://nivel/$ID"); else argumentos+=("$a"); fi
done
arrancar "$CONSTRUCCION/fotonauta" "${argumentos[@]}"
origen_ventana
esperar_nivel "the published level"
# P pauses as the panel's button does: its caption changes and nothing on
# the board or the strip moves, the energy's drain included; Esc goes on.
BOTON_PAUSA=192x56+30+645
instantanea "$TMP/boton_pausa.png" "$BOTON_PAUSA"
xdotool key p
esperar 5 "P did not pause the game" cifra_cambiada "$BOTON_PAUSA" boton_pausa
capturar comunidad_entera_4_pausa
instantanea "$TMP/quieto_1.png" 1024x640+0+0
instantanea "$TMP/barras_1.png" 784x128+240+640
sleep 2.5  # two units of energy would drain meanwhile
instantanea "$TMP/quieto_2.png" 1024x640+0+0
instantanea "$TMP/barras_2.png" 784x128+240+640
cmp -s "$TMP/quieto_1.png" "$TMP/quieto_2.png" && cmp -s "$TMP/barras_1.png" "$TMP/barras_2.png" ||
  fallo "the board or the strip moved while the game was paused"
xdotool key Escape
pausa_terminada() { ! cifra_cambiada "$BOTON_PAUSA" boton_pausa; }
esperar 5 "Esc did not end the pause" pausa_terminada
# F1 pauses with the keys shown over the board; F1 again goes on.
xdotool key F1
esperar 5 "F1 did not pause the game" cifra_cambiada "$BOTON_PAUSA" boton_pausa
capturar comunidad_entera_4_teclas
xdotool key F1
esperar 5 "F1 did not end the pause" pausa_terminada
# The plan is the solver's for the level as published (kept in the cache).
mkdir "$TMP/nivel_plan"
cp "$XDG_DATA_HOME/fotonauta/comunidad/$ID.txt" "$TMP/nivel_plan/00.txt"
# The first arrow shows the keys' cursor on a mirror.
ESPEJOS=$(espejos_de "$TMP/nivel_plan/00.txt")
xdotool key Up
cursor_visible() {
  mirar cursor
  # shellcheck disable=SC2086
  [ -n "$(cursor_en cursor $ESPEJOS)" ]
}
esperar 5 "the first arrow showed no cursor on a mirror" cursor_visible
capturar comunidad_entera_4_cursor
ganar_nivel_teclado "$TMP/nivel_plan/00.txt" comunidad_entera 3
esperar 60 "the end of the level with its question" caja
capturar comunidad_entera_4_final
clic_grande 308 336
enviada() { mirar enviada && mayor "$(claridad enviada 192x56+416+676)" 0.2; }
esperar 30 "the server's answer on screen" enviada
capturar comunidad_entera_5_enviada
clic_grande 416 676
esperar_fin "$pid" 20
[ "$ESTADO" -eq 0 ] || fallo "the game ended with status $ESTADO: $(cat "$TMP/error")"
pid=
puntos=$(sed -n 's/.*(\([0-9]*\) points) sent as LUIS: 20[02] .*/\1/p' "$TMP/error")
[ -n "$puntos" ] && [ "$puntos" -gt 0 ] || fallo "the run was not taken: $(cat "$TMP/error")"
[ "$(md5sum <pnt.txt)" = "$tabla_antes" ] || fallo "the community game touched pnt.txt"
paso "won and sent: $puntos points"

# ---- The level's page: the run verified ----
en_tablero() {
  navegador --dump-dom "http://127.0.0.1:$PUERTO/niveles/$ID" >"$TMP/nivel.html" &&
    grep -q "<td class=\"nombre\">LUIS</td><td class=\"n puntos\">$puntos</td>.*class=\"verificada\"" "$TMP/nivel.html"
}
esperar 60 "a verified run of LUIS on the level's page" en_tablero
navegador --window-size=1024,900 --screenshot="$CAPTURAS/comunidad_entera_6_nivel.png" "http://127.0.0.1:$PUERTO/niveles/$ID" \
  >/dev/null || fallo "chromium took no screenshot of the level's page"

# ---- The run watched in the browser, as the desktop game shows it ----
# Its Watch link, a frame of it sought in the page, and the same frame of
# the same recording in the desktop game's viewer: the same board and beam.
fila=$(sed 's/<tr/\n<tr/g' "$TMP/nivel.html" | grep '<td class="nombre">LUIS</td>' | head -n 1)
ver=$(grep -o 'href="/ver/niveles/[^"]*"' <<<"$fila" | head -n 1 | cut -d'"' -f2)
fichero=$(grep -o 'href="[^"]*" type="application/x-fotonauta-repeticion"' <<<"$fila" | head -n 1 | cut -d'"' -f2)
[ -n "$ver" ] && [ -n "$fichero" ] || fallo "the level's page has no Watch link or no recording for the run"
api -o "$TMP/corrida.frep" "http://127.0.0.1:$PUERTO$fichero"
fotograma=$(node --no-warnings "$AQUI/lienzo_web.mjs" ver "http://127.0.0.1:$PUERTO$ver" 0.4 "$TMP/pagina.rgba" \
  "$CAPTURAS/comunidad_entera_7_web.png" "$TMP/navegador_ver") || fallo "watching the run in the browser"
"$CONSTRUCCION/fotonauta" --repeticion "$TMP/corrida.frep" --fotograma "$fotograma" 2>"$TMP/error" &
pid=$!
esperar_ventana
esperar 30 "the run on the desktop's screen, paused on frame $fotograma" rotulo_repeticion
capturar comunidad_entera_7_escritorio
convert "$CAPTURAS/comunidad_entera_7_escritorio.png" -depth 8 rgb:"$TMP/ventana.rgb"
node --no-warnings "$AQUI/lienzo_web.mjs" comparar "$TMP/pagina.rgba" "$TMP/ventana.rgb" ||
  fallo "frame $fotograma in the browser (comunidad_entera_7_web.png) is not the desktop's (comunidad_entera_7_escritorio.png)"
xdotool key Escape
esperar_fin "$pid" 20
pid=
echo "ok: a level built in the editor, proved and published; in the gallery with its picture; played from its fotonauta:// link, paused with P and F1, won with the keys alone; its run verified on the level's page and watched in the browser as on the desktop"
