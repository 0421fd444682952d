# Every screen of the real program answered by taps, and the score path end
# to end, with the shipped program and the real score server. Taps are
# clicks whose press and release reach the program together (`xdotool
# click`, as a touchpad's tap-to-click sends them), which the program must
# not lose however they fall between its frames; nothing is pressed for
# longer than the X server takes to pass a click on, and every step waits
# for what the screen or a file shows.
#
# From an empty folder: the language question, the intro, each main-menu
# button, the options, the quit box, the trainer started and left, a game
# whose mirrors are turned one tap a step until it is lost with points, a
# name tapped on the on-screen keyboard and typed on the real one, the
# table with the new row
# blinking, the upload to fotonauta-servidor on this machine's loopback
# (the game pointed at it by FOTONAUTA_SERVIDOR) with the game's recording,
# said verified on the result screen, the row verified by it on the
# server's web page as headless Chromium shows it while forged codes never
# are, a second upload that adds nothing, and a third once the server is
# gone, whose failure names the address and why; then the game's recording, kept under the row's code, watched
# again with `fotonauta --repeticion` to the same final points.
#
# The route, found with `niveles trazar`: on level 01 the mirror in cell
# 105 set to angle 0 throws the beam straight back into the laser, which
# overloads in 64 logic frames. Two lives go that way; on the third,
# mirrors 105 and 0 at angles 12 and 5 send the beam onto the target in
# cell 17 (120 points), and then 105 at 0 takes the last life. Only the
# last attempt's points are banked, so the game ends with 120, or with a
# few targets more when a mirror sweeps the beam over them on its way.
AQUI=$(cd "$(dirname "$0")" && pwd)
source "$AQUI/comun.sh"
source "$AQUI/jugar.sh"
PREFIJO=puntuaciones

command -v curl >/dev/null || fallo "curl is needed to read the server's table"
command -v chromium >/dev/null || fallo "chromium is needed to look at the server's page"
[ -x "$CONSTRUCCION/fotonauta-servidor" ] || fallo "no $CONSTRUCCION/fotonauta-servidor"

iniciar_xvfb
mapear_enie
preparar_directorio
cd "$JUEGO_DIR"
# A first run: no settings, no table.
rm -f cfg.dat pnt.txt

# The score server on a free loopback port.
PUERTO=$(puerto_libre)
iniciar_servidor "$PUERTO" "$TMP/tabla.db"
REGISTRO=$TMP/servidor_$PUERTO.log
# The server's table as its API gives it.
tabla_servidor() { curl -s --max-time 5 "http://127.0.0.1:$PUERTO/api/puntuaciones?cuantos=10"; }
[ "$(tabla_servidor)" = '{"total":0,"desde":1,"filas":[],"tras":null}' ] || fallo "a new server's table is not empty: $(tabla_servidor)"

FOTONAUTA_SERVIDOR="127.0.0.1:$PUERTO" FOTONAUTA_WEB="http://127.0.0.1:$PUERTO/" arrancar "$CONSTRUCCION/fotonauta"
origen_ventana
inicio=$(date +%s)

cfg() { od -An -tu1 cfg.dat | xargs; }

# A tap at window coordinates, on the middle of a large button (192 x 56)
# or of a tile button (64 x 64) given by its top-left corner.
toque_en() { toque $(($1 + 96)) $(($2 + 28)); }
toque_loseta() { toque $(($1 + 32)) $(($2 + 32)); }

# ---- The language question, then the intro ----
esperar 30 "the language question" pregunta
capturar puntuaciones_menu_1_idioma
toque_en 520 336
esperar 5 "cfg.dat after a tap on English" test -s cfg.dat
[ "$(cfg)" = "1 100 100 0" ] || fallo "cfg.dat after the question: $(cfg)"
paso "language question"

esperar 20 "the intro's picture" intro
# Taps during the fade-in are not answers (as keys are not): the picture
# must stand still, two looks alike.
quieta() {
  instantanea "$TMP/intro_a.png" 400x300+312+234
  cmp -s "$TMP/intro_a.png" "$TMP/intro_b.png" && return 0
  mv "$TMP/intro_a.png" "$TMP/intro_b.png"
  return 1
}
esperar 10 "the intro's picture standing still" quieta
capturar puntuaciones_menu_2_intro
# Untouched, the picture stands for 6.25 s; a tap ends it at once, and its
# fade-out (1.75 s) begins.
t_toque=$(date +%s.%N)
toque 512 384
sin_intro() { ! intro; }
esperar 15 "the intro's picture going after a tap" sin_intro
mayor 4 "$(awk -v a="$t_toque" -v b="$(date +%s.%N)" 'BEGIN {print b - a}')" ||
  fallo "the intro's picture stood on after the tap, as if untouched"
esperar 20 "the main menu after the intro" en_menu
capturar puntuaciones_menu_3_principal
paso "intro"

# ---- Options: sound "--", music "-", the language, then Exit ----
toque_en 618 676
esperar 10 "the options screen after a tap on Options" opciones
clic_y_ver 300x40+362+166 toque_loseta 288 160
clic_y_ver 300x40+362+358 toque_loseta 352 352
# The language button retitles every button, Exit among them.
clic_y_ver 192x56+416+676 toque_en 582 484
capturar puntuaciones_menu_4_opciones
[ "$(cfg)" = "1 100 100 0" ] || fallo "cfg.dat written before leaving the options: $(cfg)"
toque_en 416 676
esperar 10 "the menu after a tap on the options' Exit" en_menu
[ "$(cfg)" = "0 90 99 0" ] || fallo "cfg.dat after the options (Spanish, sound 90, music 99): $(cfg)"
paso "options"

# ---- Scores: the empty table, and back ----

toque_en 414 676
esperar 10 "the score table after a tap on Scores" tabla
capturar puntuaciones_menu_5_records
toque_en 618 676
esperar 10 "the menu after a tap on the table's Exit" en_menu
paso "scores"

# ---- The quit box, answered "No" ----
sin_caja() { ! caja; }
toque_en 822 676
esperar 10 "the quit box after a tap on Exit" caja
capturar puntuaciones_menu_6_salir
toque_en 520 336
esperar 10 "the quit box gone after a tap on No" sin_caja
kill -0 "$pid" 2>/dev/null || fallo "the program ended on No"
paso "quit box"

# ---- The trainer: started, then left through its Exit and "Sí" ----
toque_en 210 676
esperar 15 "a game after a tap on Trainer" sin_menu
esperar_nivel "the trainer's first level"
toque_en 30 707
esperar 10 "the quit box over the trainer" caja
toque_en 308 336
esperar 15 "the menu after leaving the trainer" en_menu
paso "trainer"

# ---- A game played by taps to its end with points ----
# One tap turns the mirror under the pointer one step: the left button
# anticlockwise, the right one clockwise. Each tap waits for the step to
# show before the next.
girar_a() {
  local celda=$1 angulo=$2 _
  local x=$((OX + 64 + 64 * (celda % 15))) y=$((OY + 64 + 64 * (celda / 15)))
  xdotool mousemove "$x" "$y"
  for _ in $(seq 24); do
    local t a d boton
    vida_perdida && return 0
    t=$(losetas "$celda")
    a=$(angulo_de "$t")
    [ "$a" -eq "$angulo" ] && return 0
    d=$(((angulo - a + 16) % 16))
    if [ "$d" -le 8 ]; then boton=3; else boton=1; fi
    xdotool click "$boton"
    otra_loseta() { vida_perdida || [ "$(losetas "$celda")" != "$t" ]; }
    esperar 10 "the mirror in cell $celda turned by a tap from tile $t" otra_loseta
  done
  fallo "the mirror in cell $celda never showed angle $angulo"
}
blanco_17() { blanco_alcanzado "$(losetas 17)"; }
# The route above, on level 01, which starts at once (no level won yet, no
# choice). A start whose random mirrors overload the laser before the
# player can act may take a life early; a game that so ends without points
# shows no name entry (returns 1), and is played once more.
partida_por_toques() {
  toque_en 6 676
  esperar 15 "a game after a tap on Play" sin_menu
  esperar_nivel "level 01, first life"
  capturar puntuaciones_2_nivel
  local vida
  for vida in 1 2 3; do
    mirar inicio_vida
    cifra_vidas inicio_vida "vidas_$vida"
    VIDAS_EN_JUEGO="vidas_$vida" VIDA_PERDIDA=0
    if [ "$vida" -eq 3 ]; then
      girar_a 105 12
      girar_a 0 5
      esperar_o_no 10 blanco_17 && capturar puntuaciones_4_blanco
    fi
    girar_a 105 0
    VIDAS_EN_JUEGO=
    vida_perdida_o_fin() { tablero_gris || vidas_cambiadas "vidas_$vida"; }
    esperar 30 "life $vida lost to the overload" vida_perdida_o_fin
    paso "life $vida lost"
    tablero_gris && break
    esperar_nivel "level 01 after losing life $vida"
  done
  esperar 15 "the game-over screen" tablero_gris
  capturar puntuaciones_5_fin_de_partida
  toque_en 30 676
  despues() { fondo_negro || en_menu; }
  esperar 10 "the next screen after a tap on the game-over Exit" despues
  fondo_negro
}
partida_por_toques || { esperar 10 "the menu after a game without points" en_menu; partida_por_toques; } ||
  fallo "two games ended without points"
paso "game over with points"

# ---- The name, tapped on the on-screen keyboard, then typed ----
# "Ana Muñoz": "Ana M" tapped, capitals coming by themselves at the start
# and after a blank, a stray "x" gone again with the delete key; then
# "uñoz" typed on the real keyboard, a stray "x" gone again with
# Backspace, and Enter. Each tap waits for the name's line to change; only
# its upper part is watched, the blinking cursor is an underscore below it.
NOMBRE=640x24+192+510
mirar nombre_vacio
vacio=$(claridad nombre_vacio 640x48+192+512)
tecla() { clic_y_ver "$NOMBRE" toque_loseta $((192 + 64 * ($1 % 10))) $((128 + 64 * ($1 / 10))); }
for j in 10 26 10; do tecla "$j"; done
clic_y_ver "$NOMBRE" toque_loseta 480 384
for j in 25 39; do tecla "$j"; done
clic_y_ver "$NOMBRE" toque_loseta 608 384
clic_y_ver "$NOMBRE" xdotool key u ntilde o z x BackSpace
capturar puntuaciones_6_nombre
paso "name typed"
mirar nombre
escrito=$(claridad nombre 640x48+192+512)
mayor "$escrito" "$(awk -v v="$vacio" 'BEGIN {print v + 0.02}')" ||
  fallo "the typed name does not show under the keyboard ($vacio before, $escrito after)"
# What was tapped and typed is checked whole in pnt.txt below.
xdotool key Return
esperar 10 "pnt.txt after Enter" test -s pnt.txt
paso "name entered"

# The table with the new row, its marker blinking: 20 frames shown, 20
# hidden, so screenshots a fraction of a second apart catch both.
sleep 0.5
marca_min=1 marca_max=0
for k in $(seq 30); do
  mirar "tabla_$k"
  m=$(claridad "tabla_$k" 32x40+32+48)
  mayor "$marca_min" "$m" && { marca_min=$m; cp "$TMP/tabla_$k.png" "$CAPTURAS/puntuaciones_7_tabla_sin_marca.png"; }
  mayor "$m" "$marca_max" && { marca_max=$m; cp "$TMP/tabla_$k.png" "$CAPTURAS/puntuaciones_7_tabla_con_marca.png"; }
  mayor "$marca_max" "$(awk -v v="$marca_min" 'BEGIN {print v + 0.04}')" && break
  sleep 0.1
done
mayor "$(claridad tabla_1 600x48+212+48)" 0.03 || fallo "the table shows no row 1"
mayor 0.03 "$(claridad tabla_1 600x400+212+112)" || fallo "the table shows more than one row"
mayor "$marca_max" "$(awk -v v="$marca_min" 'BEGIN {print v + 0.04}')" ||
  fallo "row 1's marker did not blink (lit fraction $marca_min to $marca_max)"
[ -f pnt.txt ] || fallo "no pnt.txt after the name was entered"
linea=$(head -c 44 pnt.txt | od -An -c | tr -d '\n')
# Only targets score here, 120 each; a mirror swept across the field on
# its way may hit more than the one aimed at.
puntos=$(head -c 29 pnt.txt | tail -c 6 | tr -d ' ')
[[ "$puntos" =~ ^[0-9]+$ ]] && [ "$puntos" -ge 120 ] && [ $((puntos % 120)) -eq 0 ] ||
  fallo "pnt.txt's row does not hold points made of targets: $linea"
esperado=$(printf '#Ana Mu\361oz%11s  %6d ' '' "$puntos")
[ "$(head -c 30 pnt.txt)" = "$esperado" ] || fallo "pnt.txt's row: $linea"
[ "$(stat -c %s pnt.txt)" -eq 44 ] || fallo "pnt.txt holds $(stat -c %s pnt.txt) bytes, not one row"
codigo=$(head -c 42 pnt.txt | tail -c 12)

# The game's recording, linked to the row by its code before the table
# showed, with the name as typed, the code and the row's points.
repeticion="repeticiones/$codigo.frep"
[ -f "$repeticion" ] || fallo "no recording $repeticion once the name was entered: $(ls -A repeticiones 2>&1)"
campo() { dd if="$repeticion" bs=1 skip="$1" count="$2" 2>/dev/null; }
[ "$(campo 0 4)" = FTRP ] || fallo "$repeticion is not a recording"
[ "$(campo 52 20)" = "$(printf 'Ana Mu\361oz%11s' '')" ] || fallo "the recording's name: $(campo 52 20 | od -An -c)"
[ "$(campo 72 12)" = "$codigo" ] || fallo "the recording's code: $(campo 72 12)"
[ "$(od -An -t d4 -j 28 -N 4 "$repeticion" | tr -d ' ')" = "$puntos" ] || fallo "the recording's points differ from the row's"

# Upload: the success screen's fourth line ("to see your position").
clic_grande 210 676
exito() {
  mirar envio
  mayor "$(claridad envio 600x48+212+400)" 0.02 && mayor "$(claridad envio 600x48+212+208)" 0.02
}
esperar 40 "the upload's success screen; server: $(cat "$REGISTRO")" exito
capturar puntuaciones_8_enviado
# The server played the recording before it answered: the screen's fifth
# line and standard error say the score is verified.
grep -q "^fotonauta: score 1 verified: 200 verified" "$TMP/error" && mayor "$(claridad envio 600x48+212+464)" 0.02 ||
  fallo "the success screen does not say the score was verified; the game said: $(cat "$TMP/error")"
paso "uploaded and verified"

# What the server kept: the one row, the name as typed (UTF-8, without the
# field's blanks), the points of pnt.txt and no level completed, read from
# the code it checked.
# The server speaks UTF-8; this file is ISO 8859-1, as the game's texts are.
nombre_utf8=$'Ana Mu\303\261oz'
fila="{\"puesto\":1,\"nombre\":\"$nombre_utf8\",\"puntos\":$puntos,\"fases\":0,"
json=$(tabla_servidor)
[[ "$json" == '{"total":1,"desde":1,"filas":['*"$fila"* ]] || fallo "the server's table: $json"

# The recording went with the row: once the server's workers have played it
# again the row is verified, and the page's default view, the verified
# table, shows it with its recording to download.
verificada() { [[ "$(tabla_servidor)" == *"\"nombre\":\"$nombre_utf8\",\"puntos\":$puntos,"*'"verificada":true,"repeticion":"/repeticiones/'* ]]; }
esperar 30 "Ana's row verified by its recording: $(tabla_servidor); the game said: $(cat "$TMP/error"); the server: $(grep -v '"GET' "$TMP/servidor.err" | tail -n 5)" verificada

# The recording went signed by Ana's key, which the game made on this first
# upload and keeps, readable by her alone, in its data folder; the server
# bound her name to that key.
claves=$HOME/.local/share/fotonauta/claves
[ "$(stat -c %a "$claves" 2>/dev/null)" = 600 ] || fallo "the key file $claves is not there with mode 600: $(ls -la "$(dirname "$claves")" 2>&1)"
[ "$(sed -n 1p "$claves")" = "fotonauta claves 1" ] && [ "$(wc -l <"$claves")" = 2 ] &&
  [ "$(cut -f2 "$claves" | sed -n 2p)" = "$nombre_utf8" ] || fallo "the key file: $(cut -f2 "$claves")"
[ "$(sqlite3 "$TMP/tabla.db" "SELECT nombre FROM nombres")" = "$nombre_utf8" ] ||
  fallo "the server bound no key to Ana's name: $(sqlite3 "$TMP/tabla.db" "SELECT nombre, clave FROM nombres")"

# Forgeries never reach the verified table: a code for more points sent
# alone, and the same code with the game's recording edited to claim them.
GRABAR=$CONSTRUCCION/tests/grabar_partidas
forjado=$("$GRABAR" codigo 1485000 60)
curl -s -m 10 -o /dev/null "http://127.0.0.1:$PUERTO/highscore.php?yourname=Falsario&code=${forjado//+/%2B}"
mas=$(( puntos + 5000 ))
codigo_mas=$("$GRABAR" editar "$repeticion" "$TMP/mas.frep" puntos "$mas" codigo nuevo)
curl -s -m 10 -o /dev/null "http://127.0.0.1:$PUERTO/highscore.php?yourname=Tramposa&code=${codigo_mas//+/%2B}"
firma=$(XDG_DATA_HOME=$TMP/tramposa "$GRABAR" firmar /api/repeticiones Tramposa "$TMP/mas.frep")
rechazo=$(curl -s -m 20 -w ' %{http_code}' -H 'Content-Type: application/x-fotonauta-repeticion' \
  -H "Fotonauta-Clave: ${firma% *}" -H "Fotonauta-Firma: ${firma#* }" \
  --data-binary @"$TMP/mas.frep" "http://127.0.0.1:$PUERTO/api/repeticiones?yourname=Tramposa&code=${codigo_mas//+/%2B}")
[[ "$rechazo" == *" 422" ]] || fallo "the edited recording was not refused: $rechazo"

# The page as a browser shows it: Ana's row with the name spelled right and
# its recording, and neither forgery.
navegador --dump-dom "http://127.0.0.1:$PUERTO/" >"$TMP/pagina.html" ||
  fallo "chromium could not read the page: $(tail -n 3 "$TMP/navegador.err")"
grep -q "<td class=\"nombre\">$nombre_utf8</td><td class=\"n puntos\">$puntos</td>.*href=\"/repeticiones/[0-9]*\.frep\"" \
  "$TMP/pagina.html" ||
  fallo "the verified page shows no row of Ana Muñoz with $puntos points and her recording: $(grep -o '<tbody>.*' "$TMP/pagina.html" | head -c 600)"
! grep -q 'Falsario\|Tramposa' "$TMP/pagina.html" || fallo "a forged row is on the verified page"
navegador --window-size=1024,768 --screenshot="$CAPTURAS/puntuaciones_9_web.png" "http://127.0.0.1:$PUERTO/" \
  >/dev/null || fallo "chromium took no screenshot of the page"
[ -s "$CAPTURAS/puntuaciones_9_web.png" ] || fallo "chromium's screenshot is empty"
paso "the row on the web page"

# Back to the table and up again: success, and nothing added.
json=$(tabla_servidor)
clic_grande 416 676
fuera_del_exito() { ! exito; }
esperar 10 "the table after the result screen" fuera_del_exito
clic_grande 210 676
esperar 40 "the second upload's success screen" exito
[ "$(tabla_servidor)" = "$json" ] || fallo "a second upload changed the table: $(tabla_servidor)"
[ "$(wc -l <"$claves")" = 2 ] || fallo "the second upload made another key: $(cut -f2 "$claves")"
paso "uploaded again, nothing added"

# The server's log: both uploads as the game sent them, one HTTP/1.0 GET
# each, the name as the 20-character field in ISO 8859-1, percent-encoded,
# the code with "+" as "%2B"; both answered 200.
nombre_url="Ana%20Mu%F1oz$(printf '%%20%.0s' $(seq 11))"
peticion="\"GET /highscore.php?yourname=$nombre_url&code=${codigo//+/%2B} HTTP/1.0\" 200"
cp "$REGISTRO" "$CAPTURAS/puntuaciones_servidor.log"
[ "$(grep -c -F "$peticion" "$REGISTRO")" -eq 2 ] ||
  fallo "the server's log has not the two uploads $peticion: $(grep highscore "$REGISTRO")"
[ "$(grep -c 'highscore.php?yourname=Ana' "$REGISTRO")" -eq 2 ] ||
  fallo "more uploads than two: $(grep highscore "$REGISTRO")"

# The server gone: the upload fails and says why, naming the address, on
# the screen under its three lines and on standard error.
clic_grande 416 676
esperar 10 "the table after the second upload's result" tabla
kill "$PID_SERVIDOR"
wait "$PID_SERVIDOR" 2>/dev/null || true
clic_grande 210 676
fallida() {
  mirar envio
  mayor "$(claridad envio 600x48+212+208)" 0.02 && ! mayor "$(claridad envio 600x48+212+400)" 0.02 &&
    mayor "$(claridad envio 600x48+212+464)" 0.02
}
esperar 20 "the failed upload's screen with its reason; the game said: $(cat "$TMP/error")" fallida
capturar puntuaciones_8_fallido
grep -q "^fotonauta: the scores could not be uploaded: cannot connect to 127.0.0.1:$PUERTO: Connection refused$" \
  "$TMP/error" || fallo "standard error does not say why the upload failed: $(cat "$TMP/error")"
paso "the upload to a server gone: its reason said"

# Out: the result screen, the table, the menu, "SÃ­".
clic_grande 416 676
esperar 10 "the table after the upload's result" tabla
clic_grande 618 676
esperar 10 "the menu after the table" en_menu
clic_grande 822 676
esperar 10 "the quit box" caja
clic_grande 308 336
esperar_fin "$pid" 20
[ "$ESTADO" -eq 0 ] || fallo "the program ended with status $ESTADO: $(cat "$TMP/error")"
paso "the game left"

# ---- The recording watched ----
# A file that is no recording is said, and no window opens.
estado=0
"$CONSTRUCCION/fotonauta" --repeticion pnt.txt 2>"$TMP/error" || estado=$?
[ "$estado" -eq 1 ] && grep -q "pnt.txt: not a fotonauta recording" "$TMP/error" ||
  fallo "a file that is no recording: status $estado, $(cat "$TMP/error")"

# The game's own: it plays again to the same end. Space pauses it (the
# whole window stands still) and goes on; the right arrow held plays it
# four times as fast; its end is the game-over screen with the points the
# game showed, drawn the same; Esc leaves. It is watched from a folder
# with the player's settings and no data files: the game finds its own
# beside itself.
mkdir -p "$TMP/sin_datos"
cp cfg.dat "$TMP/sin_datos/"
repeticion=$(realpath "$repeticion")
cd "$TMP/sin_datos"
arrancar "$CONSTRUCCION/fotonauta" --repeticion "$repeticion"
origen_ventana
esperar 30 "the recording's caption" rotulo_repeticion
esperar 60 "the recording's first level under way" energia_llena
xdotool key space
quieta() {
  instantanea "$TMP/quieta_1.png"
  sleep 0.5
  instantanea "$TMP/quieta_2.png"
  cmp -s "$TMP/quieta_1.png" "$TMP/quieta_2.png"
}
esperar 10 "the recording paused" quieta
sleep 1.5
instantanea "$TMP/quieta_3.png"
cmp -s "$TMP/quieta_1.png" "$TMP/quieta_3.png" || fallo "the paused recording moved on"
cp "$TMP/quieta_3.png" "$CAPTURAS/puntuaciones_10_repeticion_pausa.png"
xdotool key space
sigue() {
  instantanea "$TMP/sigue.png"
  ! cmp -s "$TMP/quieta_1.png" "$TMP/sigue.png"
}
esperar 10 "the recording going on after the pause" sigue
paso "recording paused and resumed"
# Its length at the game's pace, from its header.
juego_s=$(od -An -t u4 -j 32 -N 4 "$repeticion" | awk '{ print $1 / 40 }')
t_rapido=$(date +%s.%N)
xdotool keydown Right
esperar 120 "the recording's game-over screen" tablero_gris
xdotool keyup Right
rapido_s=$(awk -v a="$t_rapido" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
paso "the recording's end, $rapido_s s with the right arrow held for a game of $juego_s s of play"
# Each frame of play and of the sequences between goes four times as fast:
# well within the play's own time.
mayor "$(awk -v j="$juego_s" 'BEGIN { print 0.75 * j }')" "$rapido_s" ||
  fallo "the right arrow held did not play the recording fast: $rapido_s s for $juego_s s of play"
xdotool mousemove "$((OX + 100))" "$((OY + 100))"
esperar 10 "the recording's final points drawn" tablero_gris
capturar puntuaciones_11_repeticion_fin
region=200x40+782+700
convert "$CAPTURAS/puntuaciones_5_fin_de_partida.png" -crop "$region" +repage "$TMP/puntos_partida.png"
convert "$CAPTURAS/puntuaciones_11_repeticion_fin.png" -crop "$region" +repage "$TMP/puntos_repeticion.png"
distintos=$(compare -metric AE "$TMP/puntos_partida.png" "$TMP/puntos_repeticion.png" null: 2>&1) || true
[ "$distintos" = 0 ] || fallo "the recording ends with other points than the game showed ($distintos pixels differ; see puntuaciones_5 and puntuaciones_11)"
xdotool key Escape
esperar_fin "$pid" 20
[ "$ESTADO" -eq 0 ] || fallo "watching ended with status $ESTADO: $(cat "$TMP/error")"
paso "the recording watched to the same points"
echo "ok: $puntos points, \"Ana MuÃ±oz\" entered, blinking row, uploaded as $codigo, its recording watched again to the same points in $(($(date +%s) - inicio)) s"
