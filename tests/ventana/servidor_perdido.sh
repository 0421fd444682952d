# The X server killed under the game at its menu, then SIGTERM, as at the
# end of a desktop session, over and over ($3 rounds, 100 by default): each
# time the program must end within a second, with status 1 or 143, never
# with a crash. Two games run side by side, each with its own server: the
# crash this guards against (the library torn down by one thread while the
# main thread still drew) showed mostly on a busy machine.
source "$(dirname "$0")/comun.sh"
source "$(dirname "$0")/jugar.sh"

rondas=${3:-100}

# One round, in a subshell of its own: its own folder, server and game.
ronda() {
  TMP=$(mktemp -d "$TMP/ronda-XXXXXX")
  PID_XVFB=
  trap limpiar EXIT
  PREFIJO=servidor_perdido_$1
  iniciar_xvfb
  preparar_directorio
  cd "$JUEGO_DIR"
  # English, full volumes: no first-run question. Without intro.dat the
  # menu comes at once.
  printf '\001\144\144\005' >cfg.dat
  rm intro.dat
  arrancar "$(programa_aparte)"
  origen_ventana
  esperar 20 "round $1: the menu" en_menu
  perder_servidor_x "round $1"
  echo "round $1: status $ESTADO"
}

malas=0
: >"$TMP/estados"
for ((i = 1; i <= rondas; i += 2)); do
  (ronda "$i") >>"$TMP/estados" &
  a=$!
  b=
  if [ "$i" -lt "$rondas" ]; then
    (ronda $((i + 1))) >>"$TMP/estados" &
    b=$!
  fi
  wait "$a" || malas=$((malas + 1))
  [ -z "$b" ] || wait "$b" || malas=$((malas + 1))
done
resumen=$(awk '{print $NF}' "$TMP/estados" | sort | uniq -c | awk '{printf "%s%s x %s", (NR > 1 ? ", " : ""), $1, $2}')
[ "$malas" -eq 0 ] || fallo "$malas of $rondas rounds failed (the others ended: $resumen)"
echo "ok: $rondas rounds, each ended at once with status 1 or 143 ($resumen)"
