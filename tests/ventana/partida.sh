# A game in the real window, played with the mouse: the level starts, a
# mirror is held and turns, and the panel's Exit with "Sí" ends the game.
source "$(dirname "$0")/comun.sh"
source "$(dirname "$0")/jugar.sh"

iniciar_xvfb
preparar_directorio
cd "$JUEGO_DIR"
# Settings as a returning player has them, so no language question.
rm -f cfg.dat
printf '\000\144\144\000' >cfg.dat
arrancar "$CONSTRUCCION/tests/partida_directa"
origen_ventana
raton() { xdotool mousemove $((OX + $1)) $((OY + $2)); }

esperar 10 "the level's start" sin_menu
capturar partida_inicio
# The level's start runs 245 frames (6.1 s).
esperar_nivel "level 01"
capturar partida_juego
# Hold the left button on the mirror of cell 105 (column 0, row 7).
raton 64 512
xdotool mousedown 1
sleep 1.5
capturar partida_espejo_sujeto
xdotool mouseup 1
# A tap on that mirror and one on the mirror of cell 0 sent at once, both
# between two logic steps: each turns its own mirror one step
# anticlockwise; the second is not taken for the first one held on.
angulo() { angulo_de "$(losetas "$1")"; }
uno_menos() { echo $((($1 + 15) % 16)); }
# Released, it stands still: the same angle at two looks a few steps apart.
a0=
quieto() {
  local a
  a=$(angulo 105)
  [ "$a" = "$a0" ] && return 0
  a0=$a
  return 1
}
esperar 10 "the held mirror standing still" quieto
a_esperado=$(uno_menos "$a0") b_esperado=$(uno_menos "$(angulo 0)")
xdotool mousemove $((OX + 64)) $((OY + 512)) click 1 mousemove $((OX + 64)) $((OY + 64)) click 1
ambos() { [ "$(angulo 105)" = "$a_esperado" ] && [ "$(angulo 0)" = "$b_esperado" ]; }
esperar 10 "mirrors 105 and 0 at $a_esperado and $b_esperado after a tap on each" ambos
capturar partida_dos_toques
# Exit, then "Sí".
clic_grande 30 707
esperar 10 "the quit box" caja
capturar partida_salir
clic_grande 308 336
esperar_fin "$pid" 15
[ "$ESTADO" -eq 0 ] || fallo "the game ended with status $ESTADO: $(cat "$TMP/error")"

# What the screenshots must show: the board lit during play, the marker
# over the held mirror, and the quit box darker than the board around it.
b_inicio=$(brillo partida_juego)
awk -v b="$b_inicio" 'BEGIN {exit !(b > 0.05)}' || fallo "the board is dark during play ($b_inicio)"
echo "ok: brightness during play $b_inicio"
