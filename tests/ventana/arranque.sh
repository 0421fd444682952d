# The real program from start to shutdown: a black window for 38 frames,
# shown at the largest scale that fits the screen, its scale and full
# screen changed and clicked through, a clean exit; and its messages when
# it cannot run.
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

# A 4K screen: a new player's window is shown at 2x, the largest scale
# whose window fits (3x would be 3072 x 2304).
iniciar_xvfb 24 3840x2160
preparar_directorio
ESCALA=2 TAMANO_VENTANA=2048x1536

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
# The intro, cut short by a click on the scaled window; the menu, each
# picture pixel a 2 x 2 block of the window's.
esperar 30 "the menu after the intro" pasar_intro
fin=$(date +%s.%N)
capturar arranque_menu_2x
convert "$CAPTURAS/arranque_menu_2x.png" -sample 50% -sample 200% "$TMP/doble.png"
diferentes=$(compare -metric AE "$CAPTURAS/arranque_menu_2x.png" "$TMP/doble.png" null: 2>&1) || true
[ "$diferentes" = 0 ] || fallo "the 2x window is no 2x picture: $diferentes pixels differ"

# The window's size, as "WxH".
tamano() { xwininfo -id "$VENTANA" | awk '/-geometry/ {sub(/[+-].*/, "", $2); print $2}'; }
es_de() { [ "$(tamano)" = "$1" ]; }

# Options and its Scale button, clicked where the 2x window shows them:
# Auto becomes 1x, kept beside cfg.dat, and the window shrinks at once.
clic_grande 618 676
esperar 10 "the options after a click on the 2x window" opciones
capturar arranque_opciones_2x
clic_grande 822 676
esperar 10 "a 1x window after Scale (it is $(tamano))" es_de 1024x768
ESCALA=1
grep -qx 'escala 1' ajustes.cfg || fallo "ajustes.cfg does not keep 1x: $(cat ajustes.cfg)"

# F11: the picture over the whole screen, its shape kept (2880 x 2160 in
# the middle), black either side; the options' Exit clicked there. The
# pointer is brought back over the shrunken window, which has the keyboard
# only then when there is no window manager.
xdotool mousemove $((OX + 512)) $((OY + 300)) key F11
completa() {
  es_de 3840x2160 && capturar arranque_completa && cp "$CAPTURAS/arranque_completa.png" "$TMP/completa.png" &&
    mayor "$(brillo_de completa 2880x2160+480+0)" 0.05
}
esperar 10 "the picture in full screen after F11 (the window is $(tamano))" completa
[ "$(brillo_de completa 480x2160+0+0)" = 0 ] || fallo "the left of the full screen is not black"
[ "$(brillo_de completa 480x2160+3360+0)" = 0 ] || fallo "the right of the full screen is not black"
# The middle of Exit (512, 704) is window pixel (480 + 512 x 2.8125, 704 x 2.8125).
xdotool mousemove 1921 1981 && sleep 0.1 && xdotool mousedown 1 && sleep 0.2 && xdotool mouseup 1
# The picture read back out of the full screen.
captura_completa() {
  "$CONSTRUCCION/tests/captura_ventana" "$1" "$2" 2880x2160+480+0 && mogrify -sample 1024x768! "$2"
}
CAPTURA=captura_completa esperar 10 "the menu after Exit in full screen" en_menu
xdotool key F11
esperar 10 "a window again after F11 (it is $(tamano))" es_de 1024x768
salir_del_menu
# Both settings kept beside cfg.dat, whose four bytes keep their layout.
[ "$(tr '\n' ' ' <ajustes.cfg)" = "escala 1 pantalla_completa 0 entrenador_sugerido 0 " ] ||
  fallo "ajustes.cfg holds: $(cat ajustes.cfg)"
[ "$(od -An -tu1 cfg.dat | tr -s ' ')" = " 0 100 100 0" ] || fallo "cfg.dat holds $(od -An -tu1 cfg.dat)"
duracion=$(awk -v a="$inicio" -v b="$fin" 'BEGIN {printf "%.2f", b - a}')
rm -f cfg.dat

# A missing data file: the message box names it, and the game ends with an
# error once the player has read it. A copy of the program runs, with no
# data folder beside it to find the file in instead.
rm "$JUEGO_DIR/fuentes.dat"
cp "$CONSTRUCCION/fotonauta" "$TMP/"
"$TMP/fotonauta" 2>"$TMP/error" &
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
