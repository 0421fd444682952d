# The full-screen program (fotonauta_dll) for real: its messages without a
# display, and what Allegro's X11 full-screen driver does under Xvfb.
#
# Xvfb has no XFree86-VidMode extension, so the driver cannot change the
# screen's resolution; it covers the whole screen with one undecorated
# window instead and shows the 1024 x 768 picture centred in it. It accepts
# 16 bits per pixel at once (converting to the 24-bit screen), on any
# screen size or depth Xvfb offers, so the 32-bit fallback is never reached
# here; the in-process tests (pruebas_pantalla_completa) drive that path.
source "$(dirname "$0")/comun.sh"
source "$(dirname "$0")/jugar.sh"
# A game still running when a check fails is ended with the test.
terminar() { kill $(jobs -p) 2>/dev/null; limpiar; }
trap terminar EXIT

# Without any display: the same two sentences and status as the windowed
# program, and no wait on a message box.
salida=$(cd "$CONSTRUCCION" && env -u DISPLAY timeout 20 ./fotonauta_dll 2>&1 >/dev/null) && estado=0 || estado=$?
[ "$estado" -eq 255 ] || fallo "without a display the exit status was $estado"
grep -q 'Could not set any video mode.' <<<"$salida" || fallo "no message without a display: $salida"
grep -q 'No se ha podido establecer ningún modo de video.' <<<"$salida" || fallo "no Spanish message: $salida"

# A screen larger than the game, so the centring shows.
iniciar_xvfb
preparar_directorio
cd "$JUEGO_DIR"
printf '\000\144\144\000' >cfg.dat  # Spanish, full volumes: no first-run question
"$CONSTRUCCION/fotonauta_dll" 2>"$TMP/error" &
pid=$!
esperar_ventana
# At once (milliseconds), well within the hold's 38 frames.
instantanea "$CAPTURAS/pantalla_completa_negro.png"
b=$(brillo pantalla_completa_negro)
awk -v b="$b" 'BEGIN {exit !(b == 0)}' || fallo "the screen was not black during the hold (mean $b)"

# The picture's window sits in the middle of one that covers the screen;
# no window manager is asked for a frame (override-redirect).
origen_ventana
[ "$OX $OY" = "128 128" ] || fallo "the game is at $OX,$OY, not centred on the 1280 x 1024 screen"
padre=$(xwininfo -children -id "$VENTANA" | awk '/Parent window id:/ {print $4}')
geometria=$(xwininfo -id "$padre" | awk '/-geometry/ {print $2}')
[ "$geometria" = "1280x1024+0+0" ] || fallo "the full-screen window is $geometria"
xwininfo -stats -id "$padre" | grep -q 'Override Redirect State: yes' || fallo "the full-screen window is managed like a normal window"

# Which depth the game runs at shows in its colours: at 16 bits a colour
# has at most 32 levels of red and blue and 64 of green, whatever the
# screen. The menu's logo and buttons are shaded in many more.
esperar 30 "the menu after the intro" pasar_intro
capturar pantalla_completa_menu
read -r rojos verdes azules < <(convert "$CAPTURAS/pantalla_completa_menu.png" -unique-colors -depth 8 txt:- |
  grep -o '#[0-9A-Fa-f]\{6\}' |
  awk '{r[substr($0, 2, 2)]; g[substr($0, 4, 2)]; b[substr($0, 6, 2)]} END {print length(r), length(g), length(b)}')
[ "$rojos" -le 32 ] && [ "$verdes" -le 64 ] && [ "$azules" -le 32 ] ||
  fallo "the menu has $rojos/$verdes/$azules levels of red/green/blue: not 16 bits per pixel"
[ "$verdes" -gt 32 ] || fallo "only $verdes levels of green: the menu was not drawn"

# The way out, as in the window: Exit, then "Sí"; status 0, no message box.
salir_del_menu
[ -z "$(xdotool search --name '^xmessage$' 2>/dev/null)" ] || fallo "a message box was left open"
echo "ok: full screen at 16 bits, centred on a $geometria screen; messages and status without a display"
