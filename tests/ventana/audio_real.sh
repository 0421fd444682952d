# The real sound output: the audio module plays through Allegro's ALSA
# driver into a private PulseAudio server with a null sink, and audio_real
# records that sink's monitor and checks what was heard (see
# sonido/audio_real.cpp). Leaves its report in the screenshots folder.
source "$(dirname "$0")/comun.sh"

command -v pulseaudio >/dev/null && command -v parec >/dev/null ||
  fallo "pulseaudio and parec are needed (herramientas/dependencias installs them)"

trap 'parar_pulse; limpiar' EXIT
iniciar_pulse

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
