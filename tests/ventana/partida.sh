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
