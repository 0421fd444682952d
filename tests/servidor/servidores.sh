# The score server from a test's side, the one way every test does it:
# servers started from the build on a free loopback port, waited on until
# they answer, each one's pid kept for the caller's clean-up; and headless
# Chromium to look at their pages. Sourced by the server's tests (comun.sh
# here) and the window tests (ventana/comun.sh), which provide SERVIDOR
# (the program), TMP, fallo and the array PIDS_SERVIDOR, whose processes
# their clean-up kills.

# A TCP port on loopback that nothing listens on now.
puerto_libre() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Starts a server on port $1 with store $2 (and any more options); its pid
# in PID_SERVIDOR. Waits until it answers, at most 10 s.
iniciar_servidor() {
  local puerto=$1 base=$2
  shift 2
  "$SERVIDOR" --puerto "$puerto" --base "$base" "$@" 2>>"$TMP/servidor_$puerto.log" &
  PID_SERVIDOR=$!
  PIDS_SERVIDOR+=("$PID_SERVIDOR")
  local _
  for _ in $(seq 200); do
    curl -sf -o /dev/null -m 5 "http://127.0.0.1:$puerto/api/puntuaciones?cuantos=0" && return 0
    kill -0 "$PID_SERVIDOR" 2>/dev/null || fallo "the server on port $puerto ended: $(cat "$TMP/servidor_$puerto.log")"
    sleep 0.05
  done
  fallo "the server on port $puerto did not answer in 10 s"
}

# Headless Chromium on "$@" (its options, then the address), with a profile,
# a home and a font cache of its own in the temporary folder: every run is
# a browser's first, on a machine that never ran one or on one that ran
# many, so neither makes it slower or faster. Bounded to a minute.
navegador() {
  mkdir -p "$TMP/navegador/casa"
  HOME="$TMP/navegador/casa" XDG_CACHE_HOME="$TMP/navegador/cache" XDG_CONFIG_HOME="$TMP/navegador/config" \
    timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-background-networking \
    --disable-component-update --disable-sync --no-first-run --user-data-dir="$TMP/navegador/perfil" "$@" \
    2>>"$TMP/navegador.err"
}
