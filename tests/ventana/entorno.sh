# The real program in a hostile setting: no sound device (the normal state
# here), the mouse held down while it starts, its window losing the focus
# to another client and getting it back, and a working folder that is full
# or read-only (root only: a small tmpfs in a mount namespace).
DIR_VENTANA=$(cd "$(dirname "$0")" && pwd)
source "$DIR_VENTANA/comun.sh"
source "$DIR_VENTANA/jugar.sh"

iniciar_xvfb
preparar_directorio
cd "$JUEGO_DIR"
rm -f cfg.dat

# The mouse held over where "Español" will be while the program starts,
# and let go there once the question shows: a press that began before the
# screen existed is no answer.
read -r ANCHO_RAIZ ALTO_RAIZ < <(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}')
xdotool mousemove $(((ANCHO_RAIZ - 1024) / 2 + 308 + 96)) $(((ALTO_RAIZ - 768) / 2 + 336 + 28)) mousedown 1
"$CONSTRUCCION/fotonauta" 2>"$TMP/error" &
pid=$!
esperar_ventana
origen_ventana
esperar 30 "the language question, with the button held" pregunta
# The program puts the pointer in the middle as it starts: back onto
# "Español", still held.
xdotool mousemove $((OX + 308 + 96)) $((OY + 336 + 28))
# Let go, and move a pixel (the motion made while the button was held
# belonged to the root window, where the press began): the button under the
# pointer lights up once the program has seen both, and must not have taken
# them for a click.
instantanea "$TMP/sostenido.png" 192x56+308+336
xdotool mouseup 1
xdotool mousemove_relative 1 0
encendido() {
  instantanea "$TMP/soltado.png" 192x56+308+336
  ! cmp -s "$TMP/sostenido.png" "$TMP/soltado.png"
}
esperar 10 "the button lit under the pointer after the release" encendido
[ ! -e cfg.dat ] || fallo "a button held since start-up answered the language question"
capturar entorno_pregunta_tras_soltar
clic_grande 520 336
esperar 5 "cfg.dat after choosing English" test -s cfg.dat
[ "$(od -An -tu1 cfg.dat | xargs)" = "1 100 100 0" ] || fallo "cfg.dat after the question: $(od -An -tu1 cfg.dat 2>&1)"

# The intro, cut short; then another client takes the focus for a while.
esperar 30 "the menu after the intro" pasar_intro
xmessage -geometry 400x200+0+0 "another client" 2>/dev/null &
otro=$!
for _ in $(seq 400); do
  caja=$(xdotool search --name '^xmessage$' 2>/dev/null | head -n 1) && [ -n "$caja" ] && break
  sleep 0.05
done
[ -n "${caja:-}" ] || fallo "the other client's window did not come"
xdotool windowraise "$caja" windowfocus "$caja"
capturar entorno_sin_foco_1
sleep 1
capturar entorno_sin_foco_2
kill -0 "$pid" 2>/dev/null || fallo "the program ended when it lost the focus"
kill "$otro"
wait "$otro" 2>/dev/null || true
xdotool windowfocus "$VENTANA"
sleep 0.5
capturar entorno_con_foco
# Still answering: options, Exit, then the program's Exit and "Yes".
clic_grande 618 676
esperar 10 "the options with the focus back" opciones
clic_grande 416 676
esperar 10 "the menu after the options" en_menu
# No sound device: nothing said about it on standard error.
salir_del_menu 15
cmp -s "$CAPTURAS/entorno_sin_foco_1.png" "$CAPTURAS/entorno_sin_foco_2.png" && \
  echo "note: the screen stood still while the window was in the background"

# A full folder and a read-only one: the program runs through the options
# (which rewrite cfg.dat on closing) and out, and both files keep their
# bytes.
if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
  echo "ok (full and read-only folders skipped: not root)"
  exit 0
fi
printf '#%-22s%6s %s\r\n' Ana 3000 AAAAAAAAAAAA >"$TMP/pnt.txt"
printf '\001\062\074\003' >"$TMP/cfg.dat"
for caso in llena solo_lectura; do
  CASO=$caso DIR_VENTANA=$DIR_VENTANA CONSTRUCCION=$CONSTRUCCION TMP=$TMP CAPTURAS=$CAPTURAS DISPLAY=$DISPLAY \
    unshare --mount --propagation private bash -c '
    set -euo pipefail
    source "$DIR_VENTANA/comun.sh" "$CONSTRUCCION" "$CAPTURAS"
    source "$DIR_VENTANA/jugar.sh"
    trap - EXIT
    rm -rf "$TMP"
    TMP='"$TMP"'
    d=$TMP/montaje
    mkdir -p "$d"
    mount -t tmpfs -o size=64k fotonauta "$d"
    cp "$TMP/cfg.dat" "$TMP/pnt.txt" "$d/"
    for f in grf.dat fuentes.dat msc.dat snd.dat; do ln -s "$CONSTRUCCION/datos/$f" "$d/"; done
    if [ "$CASO" = llena ]; then
      head -c 1M /dev/zero >"$d/relleno" 2>/dev/null || true
    else
      mount -o remount,ro "$d"
    fi
    cd "$d"
    "$CONSTRUCCION/fotonauta" 2>"$TMP/error" &
    pid=$!
    esperar_ventana
    origen_ventana
    esperar 30 "$CASO: the menu" pasar_intro
    clic_grande 618 676
    esperar 10 "$CASO: the options" opciones
    clic 320 192
    clic_grande 416 676
    esperar 10 "$CASO: the menu after the options" en_menu
    capturar "entorno_$CASO"
    clic_grande 822 676
    esperar 10 "$CASO: the quit box" caja
    clic_grande 308 336
    esperar_fin "$pid" 15
    [ "$ESTADO" -eq 0 ] || fallo "$CASO: status $ESTADO: $(cat "$TMP/error")"
    cmp -s cfg.dat "$TMP/cfg.dat" || fallo "$CASO: cfg.dat changed: $(od -An -tu1 cfg.dat)"
    cmp -s pnt.txt "$TMP/pnt.txt" || fallo "$CASO: pnt.txt changed"
    [ ! -e cfg.dat.tmp ] || fallo "$CASO: cfg.dat.tmp left behind"
  '
done
echo "ok: held mouse, focus lost and regained, no sound device, full and read-only folders"
