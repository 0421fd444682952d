# The real program asked to end by a signal at many moments: while it
# loads its data, during the black hold, in the intro, the menu, the
# options and a game, and while its fatal message box waits. Each time it
# must end within a few seconds, with the status of the signal, its window
# gone, without a crash and without the library's own shutdown inside the
# handler (which prints "Shutting down Allegro due to signal").
source "$(dirname "$0")/comun.sh"
source "$(dirname "$0")/jugar.sh"

iniciar_xvfb
preparar_directorio
PROGRAMA=$(programa_aparte)
cd "$JUEGO_DIR"
# English, full volumes, six levels unlocked: no first-run question.
printf '\001\144\144\005' >cfg.dat
cp cfg.dat "$TMP/cfg.antes"

# Sends signal $1 to the program and checks how it ends; $2 names the case.
terminar_con() {
  local senal=$1 caso=$2 numero
  numero=$(kill -l "$1")
  if ! kill -s "$senal" "$pid" 2>/dev/null; then
    ESTADO=0
    wait "$pid" || ESTADO=$?
    fallo "$caso: the program had ended with status $ESTADO before the signal: $(cat "$TMP/error")"
  fi
  esperar_fin "$pid" 5
  [ "$ESTADO" -eq $((128 + numero)) ] || fallo "$caso: SIG$senal gave status $ESTADO: $(cat "$TMP/error")"
  ! grep -q 'Shutting down Allegro' "$TMP/error" || fallo "$caso: the library shut down inside the handler"
  [ -z "$(ventana_juego)" ] || fallo "$caso: the window stayed"
  cmp -s cfg.dat "$TMP/cfg.antes" || fallo "$caso: cfg.dat changed"
  CASOS=$((CASOS + 1))
}
CASOS=0

arrancar_sin_esperar() {
  "$PROGRAMA" 2>"$TMP/error" &
  pid=$!
}
arrancar_con_ventana() {
  arrancar "$PROGRAMA"
}

# From the first instant through the loading of the five data files and
# the black hold, at moments spread over the first second and a half.
for espera in 0 0.03 0.06 0.1 0.15 0.2 0.3 0.45 0.7 1.0; do
  arrancar_sin_esperar
  sleep "$espera"
  terminar_con TERM "after $espera s"
done

# Right after the window appears, with each of the three signals.
for senal in INT HUP TERM; do
  arrancar_con_ventana
  terminar_con "$senal" "window just open"
done

# Screen by screen: the intro, the menu, the options, the starting-level
# choice, a game.
arrancar_con_ventana
origen_ventana
esperar 20 "the intro" intro
capturar senal_intro
terminar_con TERM intro

# The other screens come sooner without the intro (a missing intro.dat
# is skipped).
mv intro.dat "$TMP/"
al_menu() {
  arrancar_con_ventana
  origen_ventana
  esperar 20 "the menu" en_menu
}
# The starting-level choice: its title, and "01" on the grid.
eleccion() {
  mirar eleccion
  mayor "$(claridad eleccion 400x40+312+60)" 0.03 && mayor "$(claridad eleccion 64x64+48+192)" 0.03
}

al_menu
capturar senal_menu
terminar_con INT menu

al_menu
clic_grande 618 676
esperar 10 "the options" opciones
capturar senal_opciones
terminar_con TERM options

al_menu
clic_grande 6 676
esperar 10 "the starting-level choice" eleccion
capturar senal_eleccion_nivel
terminar_con HUP "starting-level choice"

al_menu
clic_grande 6 676
esperar 10 "the starting-level choice" eleccion
# Level 01 of the grid, then the level's start and a moment of play.
clic $((48 + 32)) $((192 + 32))
esperar 10 "the level's start" sin_menu
capturar senal_inicio_nivel
kill -s TERM "$pid"
esperar_fin "$pid" 5
[ "$ESTADO" -eq 143 ] || fallo "level start: status $ESTADO"
CASOS=$((CASOS + 1))

al_menu
clic_grande 6 676
esperar 10 "the starting-level choice" eleccion
clic $((48 + 32)) $((192 + 32))
esperar_nivel "level 01"
capturar senal_partida
terminar_con TERM game

# The fatal message box of a missing data file waits for the player; a
# signal ends the program all the same.
mv fuentes.dat "$TMP/"
arrancar_sin_esperar
for _ in $(seq 400); do
  caja=$(xdotool search --name '^xmessage$' 2>/dev/null | head -n 1) && [ -n "$caja" ] && break
  sleep 0.1
done
[ -n "${caja:-}" ] || fallo "no message box for a missing data file"
mensaje=$(pgrep -P "$pid" || true)
kill -s TERM "$pid"
esperar_fin "$pid" 5
[ -n "$mensaje" ] && kill "$mensaje" 2>/dev/null || true
[ "$ESTADO" -eq 143 ] || fallo "message box: status $ESTADO"
CASOS=$((CASOS + 1))
mv "$TMP/fuentes.dat" "$TMP/intro.dat" .

# The X server killed under a running game: Xlib ends the program from
# whichever thread first finds the connection gone (ventana_servidor_perdido
# repeats this case many times).
al_menu
perder_servidor_x "with its X server gone"
CASOS=$((CASOS + 1))

echo "ok: $CASOS signals, each ended the program at once with its status"
