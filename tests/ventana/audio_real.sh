# The real sound output: the audio module plays through Allegro's ALSA
# driver into a private PulseAudio server with a null sink, and audio_real
# records that sink's monitor and checks what was heard (see
# sonido/audio_real.cpp). Leaves its report in the screenshots folder.
source "$(dirname "$0")/comun.sh"

command -v pulseaudio >/dev/null && command -v parec >/dev/null ||
  fallo "pulseaudio and parec are needed (herramientas/dependencias installs them)"

# The sound server lives in this test's temporary folder: its socket, its
# pid file, its settings; nothing of the user's is read or left behind.
PID_PULSE=
parar_pulse() {
  if [ -n "$PID_PULSE" ]; then
    kill "$PID_PULSE" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$PID_PULSE" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$PID_PULSE" 2>/dev/null || true
  fi
}
trap 'parar_pulse; limpiar' EXIT

export HOME="$TMP/casa" XDG_RUNTIME_DIR="$TMP/run" XDG_CONFIG_HOME="$TMP/casa/.config"
mkdir -p "$HOME" && mkdir -m 700 -p "$XDG_RUNTIME_DIR"
export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
pulseaudio -n --daemonize=true --exit-idle-time=-1 --use-pid-file=true --system=false \
  --log-target=file:"$TMP/pulse.log" \
  --load="module-null-sink sink_name=nul rate=44100" \
  --load="module-native-protocol-unix socket=$PULSE_RUNTIME_PATH/native auth-anonymous=1" ||
  fallo "PulseAudio did not start: $(cat "$TMP/pulse.log" 2>/dev/null)"
for _ in $(seq 100); do
  [ -s "$PULSE_RUNTIME_PATH/pid" ] && PID_PULSE=$(cat "$PULSE_RUNTIME_PATH/pid") && break
  sleep 0.05
done
[ -n "$PID_PULSE" ] || fallo "PulseAudio wrote no pid file"
pactl info >/dev/null 2>&1 || fallo "PulseAudio does not answer: $(cat "$TMP/pulse.log")"

iniciar_xvfb

# A second run only if the first heard something wrong: a machine busy
# enough to stall the sound server drops or shifts a few milliseconds of
# the recording now and then, while a fault of the game's own fails both.
informe="$CAPTURAS/audio_real.txt"
for intento in 1 2; do
  estado=0
  timeout 120 "$CONSTRUCCION/tests/audio_real" "$CONSTRUCCION/datos" "$informe" 2>"$TMP/error" || estado=$?
  echo "run $intento (load $(cut -d' ' -f1-3 /proc/loadavg)):"
  cat "$informe" 2>/dev/null || true
  [ "$estado" -eq 0 ] && break
  cp "$informe" "$CAPTURAS/audio_real_$intento.txt" 2>/dev/null || true
done
[ "$estado" -eq 0 ] || fallo "audio_real ended with status $estado: $(cat "$TMP/error")"
