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

# Fails unless the page at address $1, in a phone's 390 px wide view,
# shows all of its content inside that width (nothing clipped or left
# past the edge, in the page or in a box that scrolls) and links to each
# address after the second. The page is laid out in a frame of a page of
# the test's own, whose script measures it (the page itself has none); a
# screenshot of it at that width goes to $2.
en_un_movil() {  # address, screenshot, addresses it must link to...
  local url=$1 captura=$2
  shift 2
  cat >"$TMP/movil.html" <<FIN
<!DOCTYPE html><html><body style="margin:0"><iframe id="f" style="width:390px;height:844px;border:0"></iframe>
<pre id="r">not measured</pre><script>
const f = document.getElementById('f'), r = document.getElementById('r');
f.onload = function () {
  if (!f.srcdoc) return;
  try {
    const d = f.contentDocument, ancho = d.documentElement.clientWidth;
    const fuera = [...d.querySelectorAll('main *')].filter(function (e) {
      const c = e.getBoundingClientRect();
      return c.width > 0 && (c.right > ancho + 0.5 || c.left < -0.5);
    }).map(function (e) { return e.tagName + '.' + e.className + ' "' + e.textContent.replace(/\s+/g, ' ').slice(0, 24) + '"'; });
    const enlaces = [...d.querySelectorAll('a')].map(function (a) { return a.getAttribute('href'); });
    r.textContent = 'width ' + d.documentElement.scrollWidth + ' of ' + ancho + '; outside: ' +
      (fuera.length ? fuera.join(', ') : 'none') + '; links: ' + enlaces.join(' ') + ' ;';
  } catch (x) { r.textContent = 'error ' + x; }
};
// The page as served, its own address as the base of its links.
fetch('$url').then(function (q) { return q.text(); }).then(function (t) {
  f.srcdoc = t.replace('<head>', '<head><base href="$url">');
}).catch(function (x) { r.textContent = 'error ' + x; });
</script></body></html>
FIN
  local medida
  medida=$(navegador --disable-web-security --virtual-time-budget=5000 --dump-dom "file://$TMP/movil.html" |
    sed -n 's/.*<pre id="r">\(.*\)<\/pre>.*/\1/p')
  # (A page taller than the frame loses its scroll bar's width.)
  [[ $medida =~ ^width\ ([0-9]+)\ of\ ([0-9]+)\;\ outside:\ none\; && ${BASH_REMATCH[1]} -le ${BASH_REMATCH[2]} ]] ||
    fallo "$url at 390 px wide: ${medida:-not measured}"
  local destino
  for destino in "$@"; do
    [[ $medida == *" $destino "* ]] || fallo "$url does not link to $destino: $medida"
  done
  navegador --window-size=390,844 --screenshot="$captura" "$url" >/dev/null ||
    fallo "chromium took no screenshot of $url: $(tail -n 3 "$TMP/navegador.err")"
}
