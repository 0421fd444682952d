# Playing levels in the real window as a player would with the mouse, for
# the tests that play: the board is read from the window (which tile each
# cell shows) to know how far to turn a mirror and when a target is hit.
# Sourced after comun.sh, once VENTANA, OX and OY are known; the tools come
# from the build folder $CONSTRUCCION unless the caller set them.
#
# The window is read while the laser's energy runs, so every poll reads it
# with XGetImage (loseta_en_celda, captura_ventana): milliseconds, where
# ImageMagick's `import` takes most of a second and several on a busy
# machine, which made the player too slow for level 01's energy.

HOJA=${HOJA:-$CONSTRUCCION/datos/hoja_losetas.png}
LEER=${LEER:-$CONSTRUCCION/tests/loseta_en_celda}
NIVELES=${NIVELES:-$CONSTRUCCION/niveles}
CAPTURA=${CAPTURA:-$CONSTRUCCION/tests/captura_ventana}

# The tile each listed cell shows now.
losetas() {
  "$LEER" "$VENTANA" "$HOJA" "$@"
}

# The game window, or its region $2 (WxH+X+Y), into the PNG file $1.
instantanea() {
  "$CAPTURA" "$VENTANA" "$@"
  # A whole window shown at $ESCALA is read as the picture it shows (a
  # region stays in window pixels).
  if [ "${ESCALA:-1}" -gt 1 ] && [ $# -eq 1 ]; then
    mogrify -sample 1024x768! "$1"
  fi
}

# The cell of the first byte of level $1 (a stored level's number, or a
# level file) within [$2, $3].
celda_de() {
  if [ -f "$1" ]; then "$NIVELES" volcar "$1"; else "$NIVELES" volcar | sed -n "$(($1 + 1))p"; fi |
    tr ' ' '\n' | awk -v a="$2" -v b="$3" '$1 >= a && $1 <= b {print NR - 1; exit}'
}

# The angle (0-15) a mirror showing tile $1 stands at: its lit tiles
# (under the beam) are 112-127, its dark ones 16-31.
angulo_de() {
  if [ "$1" -ge 112 ] && [ "$1" -le 127 ]; then echo $(($1 - 112)); else echo $(($1 - 16)); fi
}

# The receiver's tile $1 lit: the level is won.
receptor_encendido() {
  [ "$1" -ge 164 ] && [ "$1" -le 175 ]
}

# Turns the mirror in cell $1 until it shows angle $2: held buttons for a
# long way (left anticlockwise, right clockwise, 13.3 steps a second), the
# wheel for the last steps, one notch a logic frame, which cannot overshoot
# however late a busy machine lets the button go. With $3 "teclado" the keys
# alone do it: the cursor brought onto the mirror, X (clockwise) or Z held,
# then tapped. While a level is played (VIDAS_EN_JUEGO names the lives
# figure it started with) a life lost meanwhile stops the turning and sets
# VIDA_PERDIDA.
poner_espejo() {
  local celda=$1 angulo=$2 con=${3:-raton} visto=""
  [ "$con" = teclado ] || xdotool mousemove $((OX + 64 + 64 * (celda % 15))) $((OY + 64 + 64 * (celda / 15)))
  for _ in $(seq 40); do
    local t a
    [ "$con" != teclado ] || llevar_cursor "$celda"
    vida_perdida && return 0
    # Within a level (intentar_nivel's receptor) its win stops the turning:
    # a press after the win would end a level played alone's bonus count.
    local r
    read -r t r < <(losetas "$celda" "${receptor:-$celda}" | xargs)
    [ -z "${receptor:-}" ] || ! receptor_encendido "$r" || return 0
    a=$(angulo_de "$t")
    visto="$visto $t"
    [ "$a" -eq "$angulo" ] && return 0
    girar "$con" $(((angulo - a + 16) % 16))
    sleep 0.12
  done
  capturar "${PREFIJO:-ventana}_fallo" 2>/dev/null || true
  fallo "the mirror in cell $celda never showed angle $angulo ($con); it showed the tiles$visto (screen in ${PREFIJO:-ventana}_fallo.png)"
}

# Turns the mirror under the pointer ($1 raton) or the keys' cursor ($1
# teclado) $2 steps clockwise, or 16 - $2 anticlockwise when shorter.
girar() {
  local con=$1 d=$2 pasos mantener pulsar
  if [ "$d" -le 8 ]; then
    pasos=$d mantener=3 pulsar=5
    [ "$con" != teclado ] || mantener=x pulsar=x
  else
    pasos=$((16 - d)) mantener=1 pulsar=4
    [ "$con" != teclado ] || mantener=z pulsar=z
  fi
  if [ "$pasos" -ge 3 ]; then
    if [ "$con" = teclado ]; then xdotool keydown "$mantener"; else xdotool mousedown "$mantener"; fi
    sleep "$(awk -v p="$pasos" 'BEGIN {print (p - 1) * 0.075 - 0.02}')"
    if [ "$con" = teclado ]; then xdotool keyup "$mantener"; else xdotool mouseup "$mantener"; fi
  else
    for _ in $(seq "$pasos"); do
      if [ "$con" = teclado ]; then xdotool key "$pulsar"; else xdotool click "$pulsar"; fi
      sleep 0.1
    done
  fi
}

# ---- Playing with the keys alone ----

# The cells of the mirrors of level file $1: the bytes of the plain ones
# (16-31) and of the self-turning ones (86-101).
espejos_de() {
  "$NIVELES" volcar "$1" | tr ' ' '\n' |
    awk '($1 >= 16 && $1 <= 31) || ($1 >= 86 && $1 <= 101) {printf "%d ", NR - 1}'
}

# The cell among $2... whose frame the keys' cursor (bright cyan) shows on
# screenshot $TMP/$1.png; none when it shows on none.
cursor_en() {
  local foto=$1 c
  shift
  for c in "$@"; do
    local x=$((32 + 64 * (c % 15))) y=$((32 + 64 * (c / 15)))
    # Two opposite corners of the cell, where no beam runs.
    local a="p{$((x + 1)),$((y + 1))}" b="p{$((x + 62)),$((y + 62))}"
    local cian="$a.r < 0.3 && $a.g > 0.8 && $a.b > 0.8 && $b.r < 0.3 && $b.g > 0.8 && $b.b > 0.8"
    if [ "$(convert "$TMP/$foto.png" -format "%[fx:$cian ? 1 : 0]" info:)" = 1 ]; then
      echo "$c"
      return 0
    fi
  done
}

# Brings the keys' cursor onto cell $1, one of the mirrors ESPEJOS lists,
# with the arrows alone: the first press shows it, each one after jumps it
# to the nearest mirror that way. Where it stands is read from the window.
llevar_cursor() {
  local destino=$1 en flecha
  for _ in $(seq 12); do
    vida_perdida && return 0
    mirar cursor
    # shellcheck disable=SC2086
    en=$(cursor_en cursor $ESPEJOS)
    [ "$en" = "$destino" ] && return 0
    if [ -z "$en" ]; then
      flecha=Up
    elif [ $((destino / 15)) -lt $((en / 15)) ]; then
      flecha=Up
    elif [ $((destino / 15)) -gt $((en / 15)) ]; then
      flecha=Down
    elif [ $((destino % 15)) -lt $((en % 15)) ]; then
      flecha=Left
    else
      flecha=Right
    fi
    xdotool key "$flecha"
    sleep 0.1
  done
  capturar "${PREFIJO:-ventana}_fallo" 2>/dev/null || true
  fallo "the keys' cursor never reached cell $destino: last seen on '${en}' (screen in ${PREFIJO:-ventana}_fallo.png)"
}

# poner_espejo with the keys alone.
poner_espejo_teclado() {
  poner_espejo "$1" "$2" teclado
}

# ganar_nivel for level file $1 with the keys alone.
ganar_nivel_teclado() {
  ESPEJOS=$(espejos_de "$1")
  PONER_ESPEJO=poner_espejo_teclado ganar_nivel "$@"
}

# True when a target's cell that showed tile $1 has been hit: it no longer
# shows the whole target (135) but its explosion, its remains, or the beam
# that now runs on across the cell.
blanco_alcanzado() {
  [ "$1" -ne 135 ]
}

# Waits until every listed target has been hit (exploding or gone), for
# 10 s at most: the energy runs on meanwhile.
esperar_blancos() {
  local limite=$(($(date +%s) + 10))
  while [ "$(date +%s)" -lt "$limite" ]; do
    local todos=1
    vida_perdida && return 0
    for t in $(losetas "$@"); do
      blanco_alcanzado "$t" || todos=0
    done
    [ "$todos" -eq 1 ] && return 0
    sleep 0.25
  done
  return 1  # a re-emitter's luck may still come: the plan goes on
}

# Whether a life has been lost since the level being played started: its
# lives figure (saved as VIDAS_EN_JUEGO) has changed. Sets VIDA_PERDIDA.
VIDAS_EN_JUEGO=
VIDA_PERDIDA=0
vida_perdida() {
  [ "$VIDA_PERDIDA" -eq 1 ] && return 0
  [ -n "$VIDAS_EN_JUEGO" ] && vidas_cambiadas "$VIDAS_EN_JUEGO" && VIDA_PERDIDA=1 && return 0
  return 1
}

# Plays level $1 (a stored level's number, or a level file named NN.txt for
# the level it is played as) with the solver's plan; $2 names its
# screenshots. Leaves
# VIDA_PERDIDA 1 when a life was lost on the way (the energy ran out: the
# level starts again), 0 when the level was won; fails otherwise.
intentar_nivel() {
  local nivel=$1 nombre=$2 receptor blanco_visto=0
  # When the first target was seen hit (seconds since the epoch).
  T_PRIMER_BLANCO=
  VIDA_PERDIDA=0
  instantanea "$TMP/vidas_en_juego.png" 40x40+460+712
  instantanea "$TMP/nivel_en_juego.png" 50x40+460+648
  VIDAS_EN_JUEGO=vidas_en_juego
  receptor=$(celda_de "$nivel" 10 13)
  "$NIVELES" resolver "$nivel" | tail -n +2 | grep -v '^gremlins\|^peligro' >"$TMP/plan"
  while read -r primero resto; do
    case "$primero" in
    espera)
      # shellcheck disable=SC2086
      esperar_blancos $resto || true
      if [ "$blanco_visto" -eq 0 ] && [ "$VIDA_PERDIDA" -eq 0 ]; then
        T_PRIMER_BLANCO=$(date +%s.%N)
        instantanea "$CAPTURAS/${nombre}_blanco.png"
        blanco_visto=1
      fi
      ;;
    fin) ;;
    *) "${PONER_ESPEJO:-poner_espejo}" "$primero" "$resto" ;;
    esac
    [ "$VIDA_PERDIDA" -eq 0 ] || break
  done <"$TMP/plan"
  # The pointer off the receiver (the keys' player never moves it).
  [ "${PONER_ESPEJO:-poner_espejo}" != poner_espejo ] || xdotool mousemove $((OX + 512)) $((OY + 700))
  # The celebration: the receiver lights up and pulses.
  for _ in $(seq 60); do
    if receptor_encendido "$(losetas "$receptor")"; then
      instantanea "$CAPTURAS/${nombre}_celebracion.png"
      VIDAS_EN_JUEGO=
      return 0
    fi
    vida_perdida && break
    sleep 0.25
  done
  VIDAS_EN_JUEGO=
  [ "$VIDA_PERDIDA" -eq 1 ] || fallo "level $nivel was not completed"
  instantanea "$CAPTURAS/${nombre}_vida_perdida.png"
}

# Plays level $1 with the solver's plan to a win; $2 names its screenshots.
jugar_nivel() {
  intentar_nivel "$@"
  [ "$VIDA_PERDIDA" -eq 0 ] || fallo "level $1: a life was lost before the plan was done"
}

# Like jugar_nivel, but a life lost on the way (this player is slower than
# the solver, and a level's re-emitters answer by chance) is not the end:
# the level's restart is awaited and played again, $3 attempts in all.
#
# The lives figure is redrawn while a won level gives way to the next, and
# a busy machine can miss the receiver's celebration: a won level can look
# like a lost life. So the restart is awaited and its level figure read: a
# new level means the last one was won after all (NIVEL_YA_EMPEZADO tells
# esperar_siguiente_nivel), where playing the old plan on the new board
# would turn cells that hold no mirror there. A level played alone has no
# next level: its win ends the game, and the end's box comes up instead.
NIVEL_YA_EMPEZADO=0
ganar_nivel() {
  local intento
  for intento in $(seq "$3"); do
    intentar_nivel "$1" "$2"
    [ "$VIDA_PERDIDA" -eq 1 ] || return 0
    esperar 60 "level $1: neither its restart after a lost life nor the game's end came" reinicio_o_fin
    if caja; then
      paso "level $1: won after all (the game's end came)"
      VIDA_PERDIDA=0
      return 0
    fi
    esperar_nivel "level $1 started again after a lost life" 10
    if nivel_cambiado; then
      paso "level $1: won after all (its end looked like a lost life)"
      NIVEL_YA_EMPEZADO=1
      VIDA_PERDIDA=0
      return 0
    fi
    [ "$intento" -lt "$3" ] || break
    paso "level $1: a life lost before the plan was done; its restart is played again"
  done
  fallo "level $1 was not won in $3 attempts: a life was lost in each"
}

reinicio_o_fin() {
  energia_llena || caja
}

# True when the status strip's level figure is no longer the one of the
# level last played.
nivel_cambiado() {
  cifra_cambiada 50x40+460+648 nivel_en_juego
}

# ---- Reading the screen while it plays ----

# A screenshot of the game window into $TMP/$1.png, for polling (not kept).
mirar() {
  instantanea "$TMP/$1.png"
}

# The colour of pixel ($2, $3) of $TMP/$1.png as "r g b", 0 to 255.
color_en() {
  convert "$TMP/$1.png" -crop "1x1+$2+$3" +repage -format '%[fx:int(255*r+0.5)] %[fx:int(255*g+0.5)] %[fx:int(255*b+0.5)]' info:
}

# Fraction of the pixels of region $2 (WxH+X+Y) of $TMP/$1.png brighter
# than a dark grey: text, tiles and bars light a region, the black
# backdrop and a few particles hardly do.
claridad() {
  convert "$TMP/$1.png" -crop "$2" +repage -colorspace Gray -threshold 15% -format '%[fx:mean]' info:
}

# Mean brightness of region $2 of $TMP/$1.png, 0 to 1.
brillo_de() {
  convert "$TMP/$1.png" -crop "$2" +repage -colorspace Gray -format '%[fx:mean]' info:
}

# True when number $1 is above $2 (awk, for fractions).
mayor() {
  awk -v a="$1" -v b="$2" 'BEGIN {exit !(a > b)}'
}

# The status strip's bars: the overload bar full and red (to x 752) is
# drawn only when a life is lost to it, for 3.5 s.
# Only the bars' ends are grabbed, the less for convert to read.
mirar_barras() {
  instantanea "$TMP/barras.png" 60x70+700+688
}
sobrecarga_llena() {
  mirar_barras
  read -r r g b < <(color_en barras 52 0)
  [ "$r" -gt 200 ] && [ "$g" -lt 60 ] && [ "$b" -lt 60 ]
}
# The energy bar reaches x 700 (46 units) in the last 1.4 s of a level
# start's fill and stays there for the first 20 s of play: a window a slow
# screenshot cannot miss. A level start redraws the strip without bars.
energia_llena() {
  mirar_barras
  read -r r g b < <(color_en barras 0 64)
  read -r r2 _ _ < <(color_en barras 52 0)
  [ "$g" -gt 200 ] && [ "$r" -lt 60 ] && [ "$r2" -lt 200 ]
}

# The intro's picture stands on its blue-grey background: a click ends it.
# True once the main menu shows: its dark star field framed, over the lit
# strip of floor tiles and buttons.
pasar_intro() {
  mirar inicio
  read -r r g b < <(color_en inicio 4 4)
  if [ "$r" -ge 140 ] && [ "$r" -le 160 ] && [ "$b" -ge 190 ]; then
    clic 512 384
    return 1
  fi
  # The fades are one flat colour, bluer than the frame's grey corner.
  [ "$r" -gt 20 ] && [ $((b - r)) -lt 15 ] && [ $((b - r)) -gt -15 ] && [ "$g" -gt 20 ] || return 1
  local campo suelo
  campo=$(brillo_de inicio 900x500+60+60)
  suelo=$(brillo_de inicio 1024x128+0+640)
  mayor 0.15 "$campo" && mayor "$suelo" "$(awk -v c="$campo" 'BEGIN {print c + 0.05}')"
}

# Runs "$2..." (a click) and waits up to 10 s until region $1 (WxH+X+Y) of
# the window differs from what it was before: the answer has been drawn, so
# a next click cannot fall into the same frame as this one.
clic_y_ver() {
  local region=$1
  shift
  instantanea "$TMP/antes.png" "$region"
  "$@"
  cambiado() {
    instantanea "$TMP/ahora.png" "$region"
    ! cmp -s "$TMP/antes.png" "$TMP/ahora.png"
  }
  esperar 10 "an answer to $* in region $region" cambiado
}

# The screens, each told by what only it shows. The first run's language
# question: its two buttons, and text above them on black.
pregunta() {
  mirar pregunta
  mayor "$(claridad pregunta 192x56+308+336)" 0.2 && mayor "$(claridad pregunta 192x56+520+336)" 0.2 &&
    mayor 0.01 "$(claridad pregunta 1024x300+0+0)"
}
# The intro's picture over its blue-grey background.
intro() {
  mirar intro
  read -r r _ b < <(color_en intro 4 4)
  [ "$r" -ge 140 ] && [ "$r" -le 160 ] && [ "$b" -ge 190 ] && mayor "$(brillo_de intro 400x300+312+234)" 0
}
# The main menu: its dark star field framed, over the lit floor and buttons.
en_menu() {
  mirar menu
  local campo suelo
  campo=$(brillo_de menu 900x500+60+60)
  suelo=$(brillo_de menu 1024x128+0+640)
  mayor 0.15 "$campo" && mayor "$suelo" "$(awk -v c="$campo" 'BEGIN {print c + 0.05}')"
}
# The options: the language button, which no other screen has there.
opciones() {
  mirar opciones
  mayor "$(claridad opciones 192x56+582+484)" 0.2
}
# The quit box's two buttons (the language question has the same two).
caja() {
  mirar caja
  mayor "$(claridad caja 192x56+308+336)" 0.2 && mayor "$(claridad caja 192x56+520+336)" 0.2
}

# The score table: its Exit where the menu has Options, nothing where the
# menu has Play.
tabla() {
  mirar tabla
  mayor "$(claridad tabla 192x56+618+676)" 0.3 && mayor 0.2 "$(claridad tabla 192x56+6+676)"
}
# Game over: the board greyed under the game-over picture.
tablero_gris() {
  mirar fin
  mayor 0.05 "$(convert "$TMP/fin.png" -crop 960x576+32+32 +repage -colorspace HSL -format '%[fx:mean.g]' info:)"
}
# The name entry: the keyboard's letters over the black backdrop.
fondo_negro() {
  mirar teclado
  mayor 0.3 "$(claridad teclado 960x576+32+32)"
}

# Waits until a level's start sequence has ended and the game answers the
# mouse: the energy bar well filled, then the pointer, hidden while the
# board slides in and the bar fills, drawn again; it is left on a dark spot
# of the status strip, where its pale body shows. A busy machine runs the
# game's frames late, so no fixed time would do.
puntero_en_juego() {
  mirar puntero
  local r g b
  read -r r g b < <(color_en puntero 252 707)
  [ "$r" -gt 200 ] && [ "$g" -gt 200 ] && [ "$b" -gt 200 ]
}
esperar_nivel() {
  esperar "${2:-30}" "$1: the level's start did not end" energia_llena
  xdotool mousemove $((OX + 250)) $((OY + 700))
  esperar 30 "$1: the pointer did not come back after the level's start" puntero_en_juego
}

# The lives figure of the status strip, cut out of screenshot $1 into $2.
cifra_vidas() {
  convert "$TMP/$1.png" -crop 40x40+460+712 +repage "$TMP/$2.png"
}
# True once the lives figure is no longer the one saved as $1: a life is
# lost (the next start or the game-over screen shows the new figure, which
# stays, unlike the 3.5 s of the red overload bar).
vidas_cambiadas() {
  cifra_cambiada 40x40+460+712 "$1"
}

# True when the status strip's region $1 no longer shows the figure saved
# as $TMP/$2.png.
cifra_cambiada() {
  instantanea "$TMP/cifra_ahora.png" "$1"
  # The same pixels make the same file: most polls end here, without
  # ImageMagick's start-up.
  cmp -s "$TMP/cifra_ahora.png" "$TMP/$2.png" && return 1
  local d
  d=$(compare -metric AE -fuzz 20% "$TMP/cifra_ahora.png" "$TMP/$2.png" null: 2>&1) || true
  [ "${d%% *}" -gt 30 ]
}

# After a won level: its bonus count empties the energy bar (which in the
# trainer stays full during play), then the next level's start fills it.
energia_vacia() {
  mirar estado
  read -r _ g _ < <(color_en estado 566 752)
  [ "$g" -lt 150 ]
}
esperar_siguiente_nivel() {
  if [ "$NIVEL_YA_EMPEZADO" -eq 1 ]; then
    NIVEL_YA_EMPEZADO=0
    return 0
  fi
  esperar 60 "$1: the won level's bonus count did not empty the energy bar" energia_vacia
  esperar_nivel "$1"
}

# A line over one of the frame's border strips of $TMP/$1.png, the one
# from y $2 (0 above the board, 608 under it): light letters on a dark
# band, where the bare border is light metal.
rotulo_en() {
  local c
  c=$(claridad "$1" "200x20+412+$(($2 + 6))")
  mayor "$c" 0.05 && mayor 0.5 "$c"
}
# A recording being watched: its caption on the frame's top strip.
rotulo_repeticion() {
  mirar rotulo
  rotulo_en rotulo 0
}
# True when the top strip of $TMP/$1.png and $TMP/$2.png show different
# lines.
otro_rotulo() {
  local d
  convert "$TMP/$1.png" -crop 1024x32+0+0 +repage "$TMP/franja_1.png"
  convert "$TMP/$2.png" -crop 1024x32+0+0 +repage "$TMP/franja_2.png"
  d=$(compare -metric AE -fuzz 20% "$TMP/franja_1.png" "$TMP/franja_2.png" null: 2>&1) || true
  [ "${d%% *}" -gt 100 ]
}

# The menu has given way to a game: its star field is gone.
sin_menu() {
  mirar sin_menu
  mayor "$(brillo_de sin_menu 900x500+60+60)" 0.1
}

# Leaves the program from its main menu as a player does: Exit, then
# "Sí"; it must end within $1 seconds (20 when not given), with status 0
# and nothing on standard error.
salir_del_menu() {
  clic_grande 822 676
  esperar 10 "the quit box" caja
  clic_grande 308 336
  esperar_fin "$pid" "${1:-20}"
  [ "$ESTADO" -eq 0 ] || fallo "exit status $ESTADO: $(cat "$TMP/error")"
  [ ! -s "$TMP/error" ] || fallo "unexpected output on standard error: $(cat "$TMP/error")"
}

# Clicks at the middle of a large button (192 x 56) or a tile button
# (64 x 64) whose top-left corner is given in window coordinates.
clic_grande() { clic $(($1 + 96)) $(($2 + 28)); }
clic_loseta() { clic $(($1 + 32)) $(($2 + 32)); }

# Notes how long the test has run when a step is reached, for reading a
# slow run's log.
T0=$(date +%s.%N)
paso() {
  echo "[$(awk -v a="$T0" -v b="$(date +%s.%N)" 'BEGIN {printf "%6.1f", b - a}') s] $*"
}
