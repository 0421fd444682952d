# Publish in the level editor, in a real window:
# - dim until the level is won; a win in Play (the straight level plays
#   itself) enables it;
# - the first time it asks the author's name, which editor.cfg keeps;
# - with no server to reach it says so, red, and the file stays as it was;
# - after a passing proof, on the real score server on loopback, it
#   publishes without asking the name again (the server plays the proof's
#   recording and finds it wins) and prints the level's address, under
#   which the server gives the level's text back; again, the same address;
#   a refusal shows its reason line.
source "$(dirname "$0")/comun.sh"
source "$(dirname "$0")/jugar.sh"
source "$(dirname "$0")/editor_comun.sh"

preparar_editor
mkdir -p "$CARPETA"

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

# --- No network, after a win in Play ------------------------------------------
# A port nothing listens on: the connection is refused at once.
FOTONAUTA_SERVIDOR=127.0.0.1:$(puerto_libre) arrancar_editor "$CARPETA/00.txt"
lejos
publicar_activo && { capturar editor_publicar_fallo; fallo "Publicar is lit before the level was won"; }
instantanea "$TMP/mano.png" 40x40+$((6 + 37 * HUECO_MANO))+642
editor_visible() {
  instantanea "$TMP/mano_ahora.png" 40x40+$((6 + 37 * HUECO_MANO))+642 && cmp -s "$TMP/mano.png" "$TMP/mano_ahora.png"
}
boton jugar
# Off the button, whose tooltip would cover the palette once back.
lejos
esperar_o_no 20 eval '! editor_visible' || fallo "Play did not start the game"
esperar_o_no 90 editor_visible || { capturar editor_publicar_fallo; fallo "the editor did not come back from Play"; }
lejos
esperar_o_no 5 publicar_activo || { capturar editor_publicar_fallo; fallo "a win in Play did not enable Publicar"; }
capturar editor_publicar_1_ganado
boton publicar
esperar_o_no 10 dialogo_visible || { capturar editor_publicar_fallo; fallo "the first Publish asked no name"; }
capturar editor_publicar_2_nombre
xdotool type --delay 80 'Ana Autora'
xdotool key Return
esperar_o_no 10 eval '! dialogo_visible' || fallo "Enter did not take the name"
lejos
esperar_o_no 20 marca_roja || { capturar editor_publicar_fallo; fallo "no network showed no red mark"; }
capturar editor_publicar_3_sin_red
grep -q "Could not publish: the server 127.0.0.1:[0-9]* cannot be reached (no network?)" "$TMP/error" ||
  fallo "no network was not told as such: $(cat "$TMP/error")"
grep -qx 'firma Ana Autora' "$XDG_CONFIG_HOME/fotonauta/editor.cfg" ||
  fallo "the name was not kept: $(cat "$XDG_CONFIG_HOME/fotonauta/editor.cfg")"
sin_cambios || fallo "a failed publish touched the level's folder: $(ls -l "$CARPETA")"
# Still enabled: nothing is lost, it can be tried again.
publicar_activo || fallo "Publicar went dim after a failed publish"
salir_editor

# --- The score server, after a proof ----------------------------------------------
# The real server on loopback, taking at most two levels an hour from one
# address: the level is published, then said to be published already, then
# refused as a flood, with the server's reason.
PUERTO=$(puerto_libre)
iniciar_servidor "$PUERTO" "$TMP/niveles.db" --verificadores 1 --limite-niveles 2

# The editor's standard output, where it prints the addresses.
FOTONAUTA_SERVIDOR=127.0.0.1:$PUERTO arrancar_editor "$CARPETA/00.txt" >"$TMP/salida"
lejos
xdotool key ctrl+p
esperar_o_no 30 marca_verde || { capturar editor_publicar_fallo; fallo "the proof did not pass"; }
esperar_o_no 5 publicar_activo || { capturar editor_publicar_fallo; fallo "Publicar stayed dim after the proof passed"; }
direcciones() { grep -c "^http://127.0.0.1:$PUERTO/niveles/[0-9a-f]\{16\}$" "$TMP/salida"; }
boton publicar
lejos
dialogo_visible && fallo "the name was asked again"
esperar_o_no 20 eval '[ "$(direcciones)" = 1 ]' || { capturar editor_publicar_fallo; fallo "no address after publishing: $(cat "$TMP/salida" "$TMP/error")"; }
marca_verde || fallo "a published level showed no green mark"
capturar editor_publicar_4_publicado
ID=$(sed 's|.*/||' "$TMP/salida")
[ "$(curl -s -m 5 "http://127.0.0.1:$PUERTO/api/niveles/$ID/texto")" = "$(cat "$CARPETA/00.txt")" ] ||
  fallo "the server does not give back the level's text at $ID"
curl -s -m 5 "http://127.0.0.1:$PUERTO/api/niveles/$ID" | grep -q '"creador":"Ana Autora"' ||
  fallo "the level is not Ana Autora's: $(curl -s -m 5 "http://127.0.0.1:$PUERTO/api/niveles/$ID")"
# Again: the same address, said to be there already.
boton publicar
lejos
esperar_o_no 20 eval '[ "$(direcciones)" = 2 ]' || fallo "publishing again gave no address: $(cat "$TMP/salida" "$TMP/error")"
[ "$(sort -u "$TMP/salida" | wc -l)" = 1 ] || fallo "the same level got two addresses: $(cat "$TMP/salida")"
# A third time is one too many from this address.
boton publicar
lejos
esperar_o_no 20 marca_roja || { capturar editor_publicar_fallo; fallo "the refusal showed no red mark"; }
capturar editor_publicar_5_rechazo
grep -q "The server did not publish it: 429 too many levels and runs sent from this address" "$TMP/error" ||
  fallo "the refusal's reason was not given: $(cat "$TMP/error")"
sin_cambios || fallo "publishing touched the level's folder: $(ls -l "$CARPETA")"
salir_editor
echo "editor_publicar: dim until won, the name asked once and kept, no network told, published at its address, again the same, a refusal's reason shown, the file untouched"
