# A new player's first hour, from a fresh copy of the project: the README's
# ./play starts the game under Xvfb with a PulseAudio null sink, and the
# player chooses English, watches the intro, sets the volumes, wins the
# trainer's "p1" by turning its mirrors, leaves, wins level 01 of a normal
# game, loses a life on 02, wins 02 on its restart, leaves the game once
# level 03 has started and quits; the first normal game, and only it,
# points to the Trainer. Each step is checked on the screen;
# the recording must hold the menu's music and a target's explosion;
# cfg.dat must hold what was chosen.
#
# The fresh copy is the one primera_hora_copia.sh made and built with
# ./play in <build>/primera_hora/proyecto (CTest runs it first, as the
# fixture primera_hora, while other tests run); here ./play finds it built
# and only starts the game. The tools that read the board come from the
# build folder given.
AQUI=$(cd "$(dirname "$0")" && pwd)
source "$AQUI/comun.sh"
source "$AQUI/jugar.sh"
PREFIJO=primera_hora

for programa in pulseaudio parec pactl python3; do
  command -v "$programa" >/dev/null || fallo "$programa is needed (herramientas/dependencias installs it)"
done

# ---- The sound server, private to this test ----
PID_PAREC=
parar_todo() {
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
  [ -n "$PID_PAREC" ] && kill "$PID_PAREC" 2>/dev/null || true
  parar_pulse
  limpiar
}
trap parar_todo EXIT
iniciar_pulse

iniciar_xvfb

# ---- The fresh copy, built by ./play, started by ./play ----
PROYECTO="$CONSTRUCCION/primera_hora/proyecto"
[ -x "$PROYECTO/build/fotonauta" ] ||
  fallo "no copy built by ./play in $PROYECTO: primera_hora_copia.sh makes it (ctest runs it first)"
# ./play runs the game in the player's folder: this test's own. A new
# player's first run has none, and no cfg.dat.
export XDG_DATA_HOME="$TMP/jugador"
CFG="$XDG_DATA_HOME/fotonauta/cfg.dat"
cfg() { od -An -tu1 "$CFG" 2>/dev/null | xargs; }

# The recording runs from here on; a second of it is 44100 stereo frames.
GRABACION="$TMP/grabacion.raw"
rm -f "$CAPTURAS/primera_hora_grabacion.raw"
parec -d nul.monitor --latency-msec=20 --raw --format=s16le --rate=44100 --channels=2 >"$GRABACION" &
PID_PAREC=$!
# parec takes a second or more to start recording, longer on a busy
# machine, and then writes 20 ms at a time: the recording's first frame is
# dated by how much it holds once it flows, not by parec's start, so that
# a moment of the test and of the recording are the same.
for _ in $(seq 500); do
  [ -s "$GRABACION" ] && break
  sleep 0.02
done
[ -s "$GRABACION" ] || fallo "parec recorded nothing in 10 s: $(cat "$TMP/pulse.log")"
T_GRABACION=$(awk -v t="$(date +%s.%N)" -v b="$(stat -c %s "$GRABACION")" 'BEGIN {printf "%.3f", t - b / 176400}')
ahora() { awk -v a="$T_GRABACION" -v b="$(date +%s.%N)" 'BEGIN {printf "%.2f", b - a}'; }

paso "starting ./play"
(cd "$PROYECTO" && exec ./play) >"$TMP/play.log" 2>&1 &
pid=$!
# ./play's install and build steps have nothing left to do: seconds.
for _ in $(seq 240); do
  VENTANA=$(ventana_juego)
  [ -n "$VENTANA" ] && break
  kill -0 "$pid" 2>/dev/null || fallo "./play ended before the game's window appeared: $(tail -n 30 "$TMP/play.log")"
  sleep 0.5
done
[ -n "$VENTANA" ] || fallo "./play showed no window within 2 minutes: $(tail -n 30 "$TMP/play.log")"
origen_ventana
paso "the game's window is up"
# The game is the one built from the fresh copy, not something ./play
# built just now.
! grep -E '^\[ *[0-9]+%\] (Building|Linking)' "$TMP/play.log" ||
  fallo "./play built again what the fresh copy's ./play had built"

# ---- First run: the language question, on black ----
esperar 30 "the language question on the first run" pregunta
capturar primera_hora_1_idioma
[ ! -e "$CFG" ] || fallo "cfg.dat exists before the language was chosen: $(cfg)"
clic_grande 520 336
esperar 5 "cfg.dat written after choosing English" test -s "$CFG"
[ "$(cfg)" = "1 100 100 0" ] || fallo "cfg.dat after choosing English: $(cfg)"

# ---- The intro, watched until its picture stands, then cut short ----
esperar 20 "the intro's picture" intro
capturar primera_hora_2_intro
esperar 30 "the main menu after the intro" pasar_intro
capturar primera_hora_3_menu
paso "menu"
# The menu's music, heard for two seconds.
T_MENU=$(ahora)
sleep 2.5

# ---- Options: sound down to 90, music down to 0 ----
clic_grande 618 676
esperar 10 "the options screen" opciones
# Each click waits for its value to be redrawn: two clicks in one frame
# would be one.
clic_y_ver 300x40+362+166 clic_loseta 288 160
for _ in $(seq 10); do clic_y_ver 300x40+362+358 clic_loseta 288 352; done
capturar primera_hora_4_opciones
[ "$(cfg)" = "1 100 100 0" ] || fallo "cfg.dat changed before leaving the options: $(cfg)"
clic_grande 416 676
esperar 10 "the menu after the options" pasar_intro
[ "$(cfg)" = "1 90 0 0" ] || fallo "cfg.dat after the options (English, sound 90, music 0): $(cfg)"
# The menu again, with its music silenced.
T_SILENCIO=$(ahora)
sleep 2.5
paso "volumes set"

# ---- The trainer: "p1" won with the solver's plan ----
clic_grande 210 676
esperar 15 "a game after Trainer in the menu" sin_menu
esperar_nivel "the trainer's p1"
# Play has begun (the level start's last tick sounded at least its half a
# second of hold before).
T_P1=$(ahora)
capturar primera_hora_5_p1
# The Trainer's tip waits for the first normal game.
mirar p1
! rotulo_en p1 0 || fallo "a line over the trainer's board (primera_hora_5_p1.png)"
jugar_nivel 60 primera_hora_p1
# From there to a second after the first target was seen hit (read from the
# window within a few tenths, and the sound takes its way to the recording):
# its explosion is in there.
L_BLANCO=$(awk -v a="$T_GRABACION" -v b="$T_PRIMER_BLANCO" -v t="$T_P1" 'BEGIN {print b - a + 1 - t}')
paso "p1 won"
# Left once "p2" has started: Exit, then "Yes".
esperar_siguiente_nivel "the trainer's p2"
capturar primera_hora_6_p2
salir_partida() {
  clic_grande 30 707
  esperar 10 "the quit box over $2" caja
  capturar "$1"
  clic_grande 308 336
  esperar 10 "the menu after leaving $2" pasar_intro
}
salir_partida primera_hora_7_salir_trainer "the trainer"
paso "trainer left"

# ---- A normal game: level 01 won, a life lost on 02, 02 won, then out ----
clic_grande 6 676
esperar 15 "a game after Play in the menu" sin_menu
esperar_nivel "level 01"
capturar primera_hora_8_nivel_01
# The first normal game points to the Trainer over the board, once.
mirar nivel_01
rotulo_en nivel_01 0 || fallo "no tip of the Trainer over the first game's board (primera_hora_8_nivel_01.png)"
grep -qx "entrenador_sugerido 1" "$XDG_DATA_HOME/fotonauta/ajustes.cfg" ||
  fallo "the tip given is not kept in ajustes.cfg: $(cat "$XDG_DATA_HOME/fotonauta/ajustes.cfg")"
# Level 01's re-emitters answer by chance and this player is slower than
# the solver: when the energy runs out first, the level starts again with
# a life less and is played once more (two lives are kept for level 02).
ganar_nivel 0 primera_hora_01 2
paso "level 01 won"
esperar_siguiente_nivel "level 02"
capturar primera_hora_9_nivel_02
# The mirror in front of the laser set straight across the beam.
mirar antes_de_perder
cifra_vidas antes_de_perder vidas_nivel_02
poner_espejo 62 0
esperar_o_no 15 sobrecarga_llena && capturar primera_hora_10_vida_perdida
esperar 30 "a life lost to the overload on level 02" vidas_cambiadas vidas_nivel_02
esperar_nivel "level 02 again after the lost life"
capturar primera_hora_11_nivel_02_otra_vez
# Level 02 has no re-emitter: its plan wins it at once.
ganar_nivel 1 primera_hora_02 2
paso "level 02 won"
esperar_siguiente_nivel "level 03"
capturar primera_hora_12_nivel_03
mirar nivel_03
! rotulo_en nivel_03 0 || fallo "the Trainer's tip is still over the board on level 03 (primera_hora_12_nivel_03.png)"
salir_partida primera_hora_13_salir_partida "the game on level 03"
paso "game left"
clic_grande 822 676
esperar 10 "the quit box" caja
clic_grande 308 336
esperar_fin "$pid" 20
[ "$ESTADO" -eq 0 ] || fallo "the game ended with status $ESTADO: $(tail -n 20 "$TMP/play.log")"
kill "$PID_PAREC" 2>/dev/null || true
wait "$PID_PAREC" 2>/dev/null || true
PID_PAREC=

# ---- What the files and the recording hold ----
# A game left through Exit records no progress and asks for no name.
[ "$(cfg)" = "1 90 0 0" ] || fallo "cfg.dat at the end: $(cfg)"
[ ! -e "$XDG_DATA_HOME/fotonauta/pnt.txt" ] || fallo "a game left through Exit wrote pnt.txt"
python3 "$AQUI/energia.py" "$GRABACION" "$CAPTURAS/primera_hora_sonido.txt" \
  menu "$T_MENU" 2 musica \
  musica_a_cero "$T_SILENCIO" 2 bajo \
  blanco "$T_P1" "$L_BLANCO" alto ||
  { cp "$GRABACION" "$CAPTURAS/primera_hora_grabacion.raw"
    fallo "the recording (kept as primera_hora_grabacion.raw): $(cat "$CAPTURAS/primera_hora_sonido.txt" 2>/dev/null)"; }
cat "$CAPTURAS/primera_hora_sonido.txt"
paso "ok"
echo "ok: a new player's first hour, ./play included"
