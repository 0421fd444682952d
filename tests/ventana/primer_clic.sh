# A click made the moment a screen is first drawn is answered, as a player
# who knows where to click makes it: the menu as the program has just
# started (its pointer just warped to the floor), then the options, the
# menu again, the score table and the quit box, each clicked as soon as it
# shows, over several starts. Then a click made while only the program's
# main thread is held up for a second and a half, its input thread running
# on, is answered once the thread goes on.
source "$(dirname "$0")/comun.sh"
source "$(dirname "$0")/jugar.sh"

ARRANQUES=${ARRANQUES:-6}
RETENER=${RETENER:-$CONSTRUCCION/tests/retener_hilo}

iniciar_xvfb
preparar_directorio
cd "$JUEGO_DIR"
# English, no first-run question; no intro, so the menu comes at once.
printf '\001\144\144\005' >cfg.dat
rm intro.dat
PROGRAMA=$(programa_aparte)

# Polls `$3...` as fast as a screenshot allows, for $1 seconds at most.
al_aparecer() {
  local plazo=$1 paso=$2 limite
  shift 2
  limite=$(($(date +%s) + plazo))
  until "$@"; do
    [ "$(date +%s)" -lt "$limite" ] || fallo "$paso never showed (start $ARRANQUE)"
    sleep 0.02
  done
}

# As screen `$1` first shows, a click on the large button at ($2, $3):
# the pointer moved there and pressed at once, held as a hand holds it.
# Screen `$4` must answer within 5 s.
al_momento() {
  local pantalla=$1 x=$2 y=$3 respuesta=$4
  al_aparecer 20 "$pantalla" "$pantalla"
  xdotool mousemove $((OX + x + 96)) $((OY + y + 28)) mousedown 1
  sleep 0.15
  xdotool mouseup 1
  esperar_o_no 5 "$respuesta" || {
    capturar primer_clic_fallo
    fallo "a click made as $pantalla showed was not answered by $respuesta (start $ARRANQUE; primer_clic_fallo.png)"
  }
  CLICS=$((CLICS + 1))
}
sin_caja() { ! caja; }

CLICS=0
for ARRANQUE in $(seq "$ARRANQUES"); do
  # Each start from elsewhere on the screen, the way a player comes back
  # to the window.
  xdotool mousemove $((100 + 37 * ARRANQUE)) $((60 + 23 * ARRANQUE))
  arrancar "$PROGRAMA"
  origen_ventana
  al_momento en_menu 618 676 opciones  # Options
  al_momento opciones 416 676 en_menu  # its Exit
  al_momento en_menu 414 676 tabla     # Scores
  al_momento tabla 618 676 en_menu     # its Exit
  al_momento en_menu 822 676 caja      # Exit: the quit box
  [ "$ARRANQUE" -eq 1 ] && capturar primer_clic_caja
  al_momento caja 520 336 sin_caja     # No
  kill "$pid"
  esperar_fin "$pid" 5
done

# The main thread held up by a busy machine: a click made meanwhile on the
# menu's Options (a tap, press and release together) opens the options
# when the thread goes on.
arrancar "$PROGRAMA"
origen_ventana
al_aparecer 20 "the menu" en_menu
xdotool mousemove $((OX + 618 + 96)) $((OY + 676 + 28))
esperar 5 "the menu's Options lit under the pointer" \
  eval 'mirar encendido; mayor "$(brillo_de encendido 192x56+618+676)" "$(brillo_de encendido 192x56+414+676)"'
"$RETENER" "$pid" 1500 xdotool click 1 || fallo "the main thread could not be held"
esperar 5 "the options after a click made while the main thread was held" opciones
capturar primer_clic_retenido
CLICS=$((CLICS + 1))
kill "$pid"
esperar_fin "$pid" 5

echo "ok: $CLICS clicks, each made as its screen first showed or while the main thread was held, each answered"
