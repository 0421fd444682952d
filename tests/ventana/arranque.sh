# The real program from start to shutdown: a black window for 38 frames,
# a clean exit; and its messages when it cannot run.
source "$(dirname "$0")/comun.sh"
source "$(dirname "$0")/jugar.sh"

# Without any display the game says so and ends, instead of crashing.
salida=$(cd "$CONSTRUCCION" && env -u DISPLAY ./fotonauta 2>&1 >/dev/null) && estado=0 || estado=$?
[ "$estado" -eq 255 ] || fallo "without a display the exit status was $estado"
grep -q 'Could not set any video mode.' <<<"$salida" || fallo "no message without a display: $salida"
grep -q 'No se ha podido establecer ningún modo de video.' <<<"$salida" || fallo "no Spanish message: $salida"

# The version the build was configured with, asked before any display.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$CONSTRUCCION/CMakeCache.txt")
salida=$(env -u DISPLAY "$CONSTRUCCION/fotonauta" --version) || fallo "--version failed"
[ "$salida" = "fotonauta $version" ] || fallo "--version printed '$salida', not 'fotonauta $version'"
env -u DISPLAY "$CONSTRUCCION/fotonauta" --no-such-option 2>/dev/null && estado=0 || estado=$?
[ "$estado" -eq 2 ] || fallo "an unknown option ended with status $estado, not 2"

iniciar_xvfb
preparar_directorio

# Start-up, the black hold, and shutdown through the menu with status 0.
cd "$JUEGO_DIR"
rm -f cfg.dat
printf '\000\144\144\000' >cfg.dat  # Spanish, full volumes: no first-run question
inicio=$(date +%s.%N)
arrancar "$CONSTRUCCION/fotonauta"
# At once (milliseconds), well within the hold's 38 frames.
instantanea "$CAPTURAS/arranque_negro.png"
b=$(brillo arranque_negro)
# The class ties the window to its desktop entry (StartupWMClass); the
# title stays the library's, the program's name.
[ "$(xprop -id "$VENTANA" WM_CLASS)" = 'WM_CLASS(STRING) = "fotonauta", "Fotonauta"' ] ||
  fallo "the window's class: $(xprop -id "$VENTANA" WM_CLASS)"
[ "$(xprop -id "$VENTANA" WM_NAME)" = 'WM_NAME(STRING) = "fotonauta"' ] ||
  fallo "the window's title: $(xprop -id "$VENTANA" WM_NAME)"
awk -v b="$b" 'BEGIN {exit !(b == 0)}' || fallo "the screen was not black during the hold (mean $b)"
origen_ventana
# The intro, cut short; the menu; its Exit, then "Sí".
esperar 30 "the menu after the intro" pasar_intro
fin=$(date +%s.%N)
salir_del_menu
duracion=$(awk -v a="$inicio" -v b="$fin" 'BEGIN {printf "%.2f", b - a}')
rm -f cfg.dat

# A missing data file: the message box names it, and the game ends with an
# error once the player has read it.
rm "$JUEGO_DIR/fuentes.dat"
"$CONSTRUCCION/fotonauta" 2>"$TMP/error" &
pid=$!
for _ in $(seq 300); do
  caja=$(xdotool search --name '^xmessage$' 2>/dev/null | head -n 1) && [ -n "$caja" ] && break
  sleep 0.1
done
[ -n "${caja:-}" ] || fallo "no message box for a missing data file in 30 s: $(cat "$TMP/error")"
VENTANA=$caja
capturar falta_fuentes
# The box's only button, under its text.
xdotool mousemove --window "$caja" 12 46 click 1
esperar_fin "$pid" 10
[ "$ESTADO" -ne 0 ] || fallo "a missing fuentes.dat ended with status 0"
grep -q '"fuentes.dat"' "$TMP/error" || fallo "the message does not name fuentes.dat: $(cat "$TMP/error")"
echo "ok: black hold, clean exit after $duracion s, messages without display and without data"
