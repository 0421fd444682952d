# Shared by the tests that run the real program in a window: a private
# Xvfb server, a run directory holding the data files, screenshots, waits,
# clicks, score servers on loopback. jugar.sh adds what reads and plays the
# board, editor_comun.sh what the level editor's tests share.
set -euo pipefail

CONSTRUCCION=$1
CAPTURAS=$2
mkdir -p "$CAPTURAS"

TMP=$(mktemp -d /tmp/fotonauta-ventana-XXXXXX)
PID_XVFB=
# Score servers started by iniciar_servidor (../servidor/servidores.sh).
SERVIDOR=$CONSTRUCCION/fotonauta-servidor
PIDS_SERVIDOR=()
# Everything started here ends with the test, whatever happens: the
# program under test ($pid), the servers, the X server.
limpiar() {
  local p
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
  for p in "${PIDS_SERVIDOR[@]}"; do
    kill "$p" 2>/dev/null || true
  done
  [ -n "$PID_XVFB" ] && kill "$PID_XVFB" 2>/dev/null || true
  rm -rf "$TMP"
}
trap limpiar EXIT

fallo() {
  echo "FALLO: $*" >&2
  exit 1
}

source "$(dirname "${BASH_SOURCE[0]}")/../servidor/servidores.sh"

# Starts Xvfb on a display number nobody uses and exports DISPLAY: a
# 1280 x 1024 screen, too small for the game's window at any scale but 1,
# unless $2 names another size.
iniciar_xvfb() {
  local profundidad=${1:-24} tamano=${2:-1280x1024}
  Xvfb -displayfd 3 -screen 0 "${tamano}x$profundidad" -nolisten tcp -noreset 3>"$TMP/display" 2>"$TMP/xvfb.log" &
  PID_XVFB=$!
  # A machine that never ran Xvfb compiles its keymap first: seconds.
  for _ in $(seq 400); do
    [ -s "$TMP/display" ] && break
    sleep 0.05
  done
  [ -s "$TMP/display" ] || fallo "Xvfb did not start in 20 s: $(cat "$TMP/xvfb.log")"
  export DISPLAY=":$(cat "$TMP/display")"
}

# A key for ñ in the X server's keymap, for `xdotool key ntilde`: mapped
# before the program starts, since a key xdotool maps for one keystroke
# can be mapped away again before a busy program reads it.
mapear_enie() {
  xmodmap -e "keycode $(xmodmap -pke | awk 'NF == 3 {print $2; exit}') = ntilde Ntilde"
}

# The game copied where no data folder stands beside it, so that a data
# file taken away from the run folder is missing (the intro skipped, a
# missing file's message box shown), not found in the build's datos/.
programa_aparte() {
  [ -x "$TMP/aparte/fotonauta" ] || { mkdir -p "$TMP/aparte" && cp "$CONSTRUCCION/fotonauta" "$TMP/aparte/"; }
  echo "$TMP/aparte/fotonauta"
}

# A fresh run directory with the five data files, as a player has.
preparar_directorio() {
  JUEGO_DIR="$TMP/juego"
  mkdir -p "$JUEGO_DIR"
  for f in grf.dat fuentes.dat intro.dat msc.dat snd.dat; do
    ln -s "$CONSTRUCCION/datos/$f" "$JUEGO_DIR/"
  done
}

# The id of the program's 1024 x 768 window (or $TAMANO_VENTANA, shown
# scaled), or nothing: a top-level one, or, in full screen, the one
# centred in the window that covers the screen. The library draws into a child window of the same size, which
# has no class or title of its own and can reach that size a moment before
# the window around it does: a window inside a smaller one is not taken.
ventana_juego() {
  xwininfo -root -tree 2>/dev/null | awk -v tamano="${TAMANO_VENTANA:-1024x768}" '
    /^ +0x[0-9a-f]+ / {
      n = index($0, "0x") - 1
      for (i = 2; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+\+/) break
      split($i, g, /[x+]/)
      ancho[n] = g[1]
      if (index($i, tamano "+") == 1 && (n == 5 || ancho[n - 3] > 1024)) { print $1; exit }
    }'
}

# Waits for the window of the program started as $pid, until it is mapped:
# what a desktop sees of it then (its class, its title) is what it keeps.
# A busy machine can take seconds; a program that has already ended is
# reported at once, with what it printed.
esperar_ventana() {
  local _
  for _ in $(seq 400); do
    VENTANA=$(ventana_juego)
    [ -n "$VENTANA" ] && xwininfo -id "$VENTANA" 2>/dev/null | grep -q 'Map State: IsViewable' && return 0
    if [ -n "${pid:-}" ] && ! kill -0 "$pid" 2>/dev/null; then
      local estado=0
      wait "$pid" || estado=$?
      fallo "the program ended with status $estado before its window appeared: $(cat "$TMP/error" 2>/dev/null)"
    fi
    sleep 0.05
  done
  fallo "the game's window never appeared in 20 s; windows: $(xwininfo -root -tree 2>&1 | grep -c '^ *0x') ; output: $(cat "$TMP/error" 2>/dev/null)"
}

# Polls `$3...` every 0.1 s until it succeeds; after $1 seconds the test
# fails saying that step $2 was not reached.
esperar() {
  local plazo=$1 paso=$2 limite
  shift 2
  limite=$(($(date +%s) + plazo))
  while ! "$@"; do
    if [ "$(date +%s)" -ge "$limite" ]; then
      capturar "${PREFIJO:-ventana}_fallo" 2>/dev/null || true
      fallo "$paso (waited $plazo s; the screen is in ${PREFIJO:-ventana}_fallo.png)"
    fi
    if [ -n "${pid:-}" ] && ! kill -0 "$pid" 2>/dev/null; then
      fallo "$paso: the program ended: $(cat "$TMP/error" 2>/dev/null)"
    fi
    sleep 0.1
  done
}

# Like esperar, but only says whether the state came within $1 seconds.
esperar_o_no() {
  local limite=$(($(date +%s) + $1))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$limite" ] || return 1
    sleep 0.1
  done
}

# Saves the game window as $CAPTURAS/$1.png, read with XGetImage in
# milliseconds (ImageMagick's `import` takes most of a second).
capturar() {
  "${CAPTURA:-$CONSTRUCCION/tests/captura_ventana}" "$VENTANA" "$CAPTURAS/$1.png"
}

# Mean brightness of a screenshot, 0 (black) to 1 (white).
brillo() {
  convert "$CAPTURAS/$1.png" -colorspace Gray -format '%[fx:mean]' info:
}

# Waits up to $2 seconds for process $1 (a child of this shell) and leaves
# its exit status in ESTADO.
esperar_fin() {
  local pid=$1 plazo=$2
  for _ in $(seq $((plazo * 20))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      ESTADO=0
      wait "$pid" || ESTADO=$?
      return
    fi
    sleep 0.05
  done
  kill -9 "$pid" 2>/dev/null || true
  fallo "the program did not end within $plazo s"
}

# Kills the X server under the running program $pid, then sends it SIGTERM,
# as the end of a desktop session does. Whichever of the two it sees first,
# it must end within a second of the signal, with status 1 (the lost
# connection) or 143 (the signal), never with a crash; $1 names the case.
perder_servidor_x() {
  local t0 ms
  kill -9 "$PID_XVFB"
  wait "$PID_XVFB" 2>/dev/null || true
  PID_XVFB=
  kill -s TERM "$pid" 2>/dev/null || true
  t0=$(date +%s%N)
  esperar_fin "$pid" 5
  ms=$((($(date +%s%N) - t0) / 1000000))
  [ "$ms" -lt 1000 ] || fallo "$1: the program took $ms ms to end after SIGTERM"
  [ "$ESTADO" -eq 143 ] || [ "$ESTADO" -eq 1 ] || fallo "$1: status $ESTADO: $(cat "$TMP/error")"
}

# The game window's top-left corner on the screen, into OX and OY.
origen_ventana() {
  read -r OX OY < <(xwininfo -id "$VENTANA" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
}

# A click as a hand makes it, at the picture's coordinates (the window's,
# times $ESCALA when it is shown scaled): the pointer comes to rest first,
# and the button stays down a moment. However short, the program sees it;
# but two clicks that fall into one of its frames are one, so a caller
# waits for the answer to a click before the next where it counts.
clic() {
  xdotool mousemove $((OX + $1 * ${ESCALA:-1})) $((OY + $2 * ${ESCALA:-1}))
  sleep 0.1
  xdotool mousedown 1
  sleep 0.2
  xdotool mouseup 1
  sleep 0.2
}

# A tap at window coordinates: press and release sent together, as
# touchpad tap-to-click does. The program must see it whenever it falls.
toque() {
  xdotool mousemove $((OX + $1)) $((OY + $2))
  xdotool click 1
}

# Starts "$@" in the background (standard error into $TMP/error, process in
# $pid) and waits for its window.
arrancar() {
  "$@" 2>"$TMP/error" &
  pid=$!
  esperar_ventana
}

# A PulseAudio server with a null sink named "nul", private to this test:
# its socket, pid file and settings live in the temporary folder, so nothing
# of the user's is read or left behind. Its pid goes into PID_PULSE; the
# caller's EXIT trap calls parar_pulse.
PID_PULSE=
iniciar_pulse() {
  export HOME="$TMP/casa" XDG_RUNTIME_DIR="$TMP/run" XDG_CONFIG_HOME="$TMP/casa/.config"
  mkdir -p "$HOME" && mkdir -m 700 -p "$XDG_RUNTIME_DIR"
  export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
  export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
  pulseaudio -n --daemonize=true --exit-idle-time=-1 --use-pid-file=true --system=false \
    --log-target=file:"$TMP/pulse.log" \
    --load="module-null-sink sink_name=nul rate=44100" \
    --load="module-native-protocol-unix socket=$PULSE_RUNTIME_PATH/native auth-anonymous=1" ||
    fallo "PulseAudio did not start: $(cat "$TMP/pulse.log" 2>/dev/null)"
  for _ in $(seq 400); do
    [ -s "$PULSE_RUNTIME_PATH/pid" ] && PID_PULSE=$(cat "$PULSE_RUNTIME_PATH/pid") && break
    sleep 0.05
  done
  [ -n "$PID_PULSE" ] || fallo "PulseAudio wrote no pid file"
  pactl info >/dev/null 2>&1 || fallo "PulseAudio does not answer: $(cat "$TMP/pulse.log")"
}

parar_pulse() {
  if [ -n "$PID_PULSE" ]; then
    kill "$PID_PULSE" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$PID_PULSE" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$PID_PULSE" 2>/dev/null || true
  fi
}
