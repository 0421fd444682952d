# Publish in the level editor, in a real window:
# - dim until the level is won; the proof's win enables it;
# - the first time it asks the author's name, which editor.cfg keeps;
# - with no server to reach it says so, red, and the file stays as it was;
# - after a win in Play (the straight level plays itself) it publishes
#   without asking the name again, and a server's refusal shows with its
#   reason line; what went to the server is the level's text as saved and a
#   recording after it, as the community contract says.
source "$(dirname "$0")/comun.sh"
source "$(dirname "$0")/jugar.sh"
source "$(dirname "$0")/editor_comun.sh"

iniciar_xvfb
preparar_directorio
cd "$JUEGO_DIR"
# Spanish, silent, no level unlocked.
printf '\000\000\000\000' >cfg.dat
mkdir -p "$CARPETA"

puerto_libre() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# The Publicar button's face, away from its word: lit once it can be used
# (the pointer kept off it, which would light it too).
publicar_activo() {
  instantanea "$TMP/publicar.png" 1x1+$((BOTON[publicar] - 40))+685 &&
    convert "$TMP/publicar.png" -format '%[fx:p{0,0}.b > 0.23 ? 1 : 0]' info: | grep -q 1
}
lejos() { xdotool mousemove $((OX + 500)) $((OY + 300)); }

nivel_de "$CARPETA/00.txt" "Recto" "$VACIA" "E3 tt tt tt tt tt tt tt tt tt a9 R1 .. .. .."
touch -d '2000-01-01' "$CARPETA/00.txt"
antes=$(md5sum <"$CARPETA/00.txt")
sin_cambios() {
  [ "$(md5sum <"$CARPETA/00.txt")" = "$antes" ] && [ "$(stat -c %Y "$CARPETA/00.txt")" -lt 946771200 ] &&
    [ "$(ls "$CARPETA")" = 00.txt ]
}

# --- No network ---------------------------------------------------------------
# A port nothing listens on: the connection is refused at once.
FOTONAUTA_SERVIDOR=127.0.0.1:$(puerto_libre) arrancar_editor "$CARPETA/00.txt"
lejos
sleep 0.3
publicar_activo && { capturar editor_publicar_fallo; fallo "Publicar is lit before the level was won"; }
xdotool key ctrl+p
esperar marca_verde 30 || { capturar editor_publicar_fallo; fallo "the proof did not pass"; }
esperar publicar_activo 5 || { capturar editor_publicar_fallo; fallo "Publicar stayed dim after the proof passed"; }
boton publicar
esperar dialogo_visible 10 || { capturar editor_publicar_fallo; fallo "the first Publish asked no name"; }
capturar editor_publicar_1_nombre
xdotool type --delay 80 'Ana Autora'
xdotool key Return
esperar '! dialogo_visible' 10 || fallo "Enter did not take the name"
lejos
esperar marca_roja 20 || { capturar editor_publicar_fallo; fallo "no network showed no red mark"; }
capturar editor_publicar_2_sin_red
grep -q "Could not publish: the server 127.0.0.1:[0-9]* cannot be reached (no network?)" "$TMP/error" ||
  fallo "no network was not told as such: $(cat "$TMP/error")"
grep -qx 'autor Ana Autora' "$XDG_CONFIG_HOME/fotonauta/editor.cfg" ||
  fallo "the name was not kept: $(cat "$XDG_CONFIG_HOME/fotonauta/editor.cfg")"
sin_cambios || fallo "a failed publish touched the level's folder: $(ls -l "$CARPETA")"
# Still enabled: nothing is lost, it can be tried again.
publicar_activo || fallo "Publicar went dim after a failed publish"
salir_editor

# --- A refusal, after a win in Play ---------------------------------------------
# A real HTTP listener on loopback that keeps what it is sent and refuses it
# as the server refuses a recording that does not win.
PUERTO=$(puerto_libre)
python3 - "$PUERTO" "$TMP" <<'EOF' &
import http.server, sys
puerto, carpeta = int(sys.argv[1]), sys.argv[2]
class Oyente(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        cuerpo = self.rfile.read(int(self.headers["Content-Length"]))
        open(carpeta + "/peticion_ruta", "w").write(self.path)
        open(carpeta + "/peticion_cuerpo", "wb").write(cuerpo)
        respuesta = b"422 the recording does not win this level: refused by the test\n"
        self.send_response(422)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(respuesta)))
        self.end_headers()
        self.wfile.write(respuesta)
    def log_message(self, *args):
        pass
http.server.HTTPServer(("127.0.0.1", puerto), Oyente).serve_forever()
EOF
PID_OYENTE=$!
trap 'kill $PID_OYENTE 2>/dev/null; limpiar' EXIT
esperar "python3 -c 'import socket; socket.create_connection((\"127.0.0.1\", $PUERTO))' 2>/dev/null" 10 ||
  fallo "the test's listener did not start"

FOTONAUTA_SERVIDOR=127.0.0.1:$PUERTO arrancar_editor "$CARPETA/00.txt"
lejos
instantanea "$TMP/mano.png" 40x40+$((6 + 37 * HUECO_MANO))+642
editor_visible() {
  instantanea "$TMP/mano_ahora.png" 40x40+$((6 + 37 * HUECO_MANO))+642 && cmp -s "$TMP/mano.png" "$TMP/mano_ahora.png"
}
boton jugar
# Off the button, whose tooltip would cover the palette once back.
lejos
esperar '! editor_visible' 20 || fallo "Play did not start the game"
esperar editor_visible 90 || { capturar editor_publicar_fallo; fallo "the editor did not come back from Play"; }
lejos
esperar publicar_activo 5 || { capturar editor_publicar_fallo; fallo "a win in Play did not enable Publicar"; }
capturar editor_publicar_3_ganado
boton publicar
lejos
esperar marca_roja 20 || { capturar editor_publicar_fallo; fallo "the refusal showed no red mark"; }
dialogo_visible && fallo "the name was asked again"
capturar editor_publicar_4_rechazo
grep -q "The server did not publish it: 422 the recording does not win this level: refused by the test" "$TMP/error" ||
  fallo "the refusal's reason was not given: $(cat "$TMP/error")"
sin_cambios || fallo "a refused publish touched the level's folder: $(ls -l "$CARPETA")"
salir_editor

# What was sent: the name, the text's length, the text as saved, then a
# recording file.
largo=$(stat -c %s "$CARPETA/00.txt")
[ "$(cat "$TMP/peticion_ruta")" = "/api/niveles?yourname=Ana%20Autora&nivel=$largo" ] ||
  fallo "the request went to $(cat "$TMP/peticion_ruta")"
head -c "$largo" "$TMP/peticion_cuerpo" | cmp -s - "$CARPETA/00.txt" || fallo "the body does not start with the level's text"
[ "$(tail -c +$((largo + 1)) "$TMP/peticion_cuerpo" | head -c 4)" = FTRP ] || fallo "no recording follows the level's text"
echo "editor_publicar: dim until won, the name asked once and kept, no network and a refusal told, the file untouched"
