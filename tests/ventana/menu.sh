# Every screen of the real program answered by taps: clicks whose press and
# release reach the program together (`xdotool click`, as a touchpad's
# tap-to-click sends them), which the program must not lose however they
# fall between its frames. From an empty folder: the language question, the
# intro, each main-menu button, the options, the quit box, a game whose
# mirrors are turned one tap a step until it ends with points, and the name
# typed on the on-screen keyboard. Nothing here is pressed for longer than
# the X server takes to pass a click on, and every step waits for what the
# screen or a file shows.
AQUI=$(cd "$(dirname "$0")" && pwd)
source "$AQUI/comun.sh"
source "$AQUI/jugar.sh"
PREFIJO=menu

iniciar_xvfb
preparar_directorio
cd "$JUEGO_DIR"
rm -f cfg.dat pnt.txt
arrancar "$CONSTRUCCION/fotonauta"
origen_ventana
cfg() { od -An -tu1 cfg.dat | xargs; }

# A tap at window coordinates, on the middle of a large button (192 x 56)
# or of a tile button (64 x 64) given by its top-left corner.
toque_en() { toque $(($1 + 96)) $(($2 + 28)); }
toque_loseta() { toque $(($1 + 32)) $(($2 + 32)); }

# ---- The language question, then the intro ----
esperar 30 "the language question" pregunta
capturar menu_1_idioma
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
capturar menu_2_intro
# Untouched, the picture stands for 6.25 s; a tap ends it at once, and its
# fade-out (1.75 s) begins.
t_toque=$(date +%s.%N)
toque 512 384
sin_intro() { ! intro; }
esperar 15 "the intro's picture going after a tap" sin_intro
mayor 4 "$(awk -v a="$t_toque" -v b="$(date +%s.%N)" 'BEGIN {print b - a}')" ||
  fallo "the intro's picture stood on after the tap, as if untouched"
esperar 20 "the main menu after the intro" en_menu
capturar menu_3_principal
paso "intro"

# ---- Options: sound "--", music "-", the language, then Exit ----
toque_en 618 676
esperar 10 "the options screen after a tap on Options" opciones
clic_y_ver 300x40+362+166 toque_loseta 288 160
clic_y_ver 300x40+362+358 toque_loseta 352 352
# The language button retitles every button, Exit among them.
clic_y_ver 192x56+416+676 toque_en 582 484
capturar menu_4_opciones
[ "$(cfg)" = "1 100 100 0" ] || fallo "cfg.dat written before leaving the options: $(cfg)"
toque_en 416 676
esperar 10 "the menu after a tap on the options' Exit" en_menu
[ "$(cfg)" = "0 90 99 0" ] || fallo "cfg.dat after the options (Spanish, sound 90, music 99): $(cfg)"
paso "options"

# ---- Scores: the empty table, and back ----

toque_en 414 676
esperar 10 "the score table after a tap on Scores" tabla
capturar menu_5_records
toque_en 618 676
esperar 10 "the menu after a tap on the table's Exit" en_menu
paso "scores"

# ---- The quit box, answered "No" ----
sin_caja() { ! caja; }
toque_en 822 676
esperar 10 "the quit box after a tap on Exit" caja
capturar menu_6_salir
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
# The route (see puntuaciones.sh): mirror 105 at angle 0 throws the beam
# back into the laser; on the last life mirrors 105 and 0 at 12 and 5 hit
# the target in cell 17 first. Returns 1 when the game ended without points.
partida_por_toques() {
  toque_en 6 676
  esperar 15 "a game after a tap on Play" sin_menu
  esperar_nivel "level 01, first life"
  local vida
  for vida in 1 2 3; do
    mirar inicio_vida
    cifra_vidas inicio_vida "vidas_$vida"
    VIDAS_EN_JUEGO="vidas_$vida" VIDA_PERDIDA=0
    if [ "$vida" -eq 3 ]; then
      girar_a 105 12
      girar_a 0 5
      esperar_o_no 10 blanco_17 && capturar menu_7_blanco
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
  capturar menu_8_fin_de_partida
  toque_en 30 676
  despues() { fondo_negro || en_menu; }
  esperar 10 "the next screen after a tap on the game-over Exit" despues
  fondo_negro
}
partida_por_toques || { esperar 10 "the menu after a game without points" en_menu; partida_por_toques; } ||
  fallo "two games ended without points"
paso "game over with points"

# ---- The name, tapped on the on-screen keyboard ----
# Only the upper part of the name's line is watched: the blinking cursor
# is an underscore below it.
NOMBRE=640x24+192+510
tecla() { clic_y_ver "$NOMBRE" toque_loseta $((192 + 64 * ($1 % 10))) $((128 + 64 * ($1 / 10))); }
# "Ana Mu", with a stray "x" taken back by the delete key.
for j in 10 26 10; do tecla "$j"; done
clic_y_ver "$NOMBRE" toque_loseta 480 384
for j in 25 35 39; do tecla "$j"; done
clic_y_ver "$NOMBRE" toque_loseta 608 384
capturar menu_9_nombre
toque_loseta 736 384
esperar 10 "pnt.txt after a tap on the keyboard's end" test -s pnt.txt
esperado=$(printf '#Ana Mu%14s' '')
[ "$(head -c 21 pnt.txt)" = "$esperado" ] || fallo "pnt.txt's row: $(head -c 44 pnt.txt | od -An -c)"
paso "name entered"

# ---- Out: the table's Exit, the menu's Exit and "Sí" ----
esperar 10 "the score table after the name" tabla
toque_en 618 676
esperar 10 "the menu after the table" en_menu
toque_en 822 676
esperar 10 "the quit box" caja
toque_en 308 336
esperar_fin "$pid" 15
[ "$ESTADO" -eq 0 ] || fallo "the program ended with status $ESTADO: $(cat "$TMP/error")"
echo "ok: every screen answered taps, from the language question to the name entry"
