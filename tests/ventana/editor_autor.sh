# The level editor keeps an author's work and says everything whole, in a
# real window:
# - an edit, then New, gets a question; Cancel keeps the edit, and saving
#   afterwards holds it; the same for Open; Discard there then opens the
#   list of levels with their pictures;
# - killed with SIGKILL after an edit, the editor offers the level back at
#   its next start;
# - a region copied, pasted and flipped, with a UTF-8 title and one typed
#   with an ñ, saves to the expected text byte for byte;
# - F1 shows the help;
# - the whole reason of an unwinnable proof is on screen.
source "$(dirname "$0")/comun.sh"
source "$(dirname "$0")/jugar.sh"
source "$(dirname "$0")/editor_comun.sh"

preparar_editor
mapear_enie
mkdir -p "$CARPETA"

# The tile of a mine, any of its four.
mina() { [[ "$(losetas "$1")" =~ ^(92|93|94|95)$ ]]; }

# --- New and Open with unsaved changes ---------------------------------------
nivel_de "$CARPETA/00.txt" "Uno" "$VACIA" "E3 tt tt tt tt tt tt tt tt tt a9 R1 .. .. .."
arrancar_editor "$CARPETA/00.txt"
paleta 14
celda 4 4
xdotool key ctrl+n
esperar_o_no 10 dialogo_visible || fallo "New with unsaved changes asked nothing"
capturar editor_autor_1_pregunta
toque_con "${X_RESPUESTA[2]}" "$Y_RESPUESTAS"
esperar_o_no 10 eval '! dialogo_visible' || fallo "Cancel did not close the question"
mina 64 || fallo "Cancel after New lost the edit: cell 64 shows $(losetas 64)"
guardar_hasta 'sed -n 8p "$CARPETA/00.txt" | grep -q "^.. .. .. .. xx "' 5 ||
  fallo "the edit kept after New was not saved: $(cat "$CARPETA/00.txt")"

celda 4 5
xdotool key ctrl+o
esperar_o_no 10 dialogo_visible || fallo "Open with unsaved changes asked nothing"
toque_con "${X_RESPUESTA[2]}" "$Y_RESPUESTAS"
esperar_o_no 10 eval '! dialogo_visible' || fallo "Cancel did not close the question"
mina 65 || fallo "Cancel after Open lost the edit: cell 65 shows $(losetas 65)"
guardar_hasta 'sed -n 8p "$CARPETA/00.txt" | grep -q "^.. .. .. .. xx xx "' 5 ||
  fallo "the edit kept after Open was not saved: $(cat "$CARPETA/00.txt")"

# Discard: the list of levels opens, each with its picture; the level
# opened again from it holds no trace of the edit given up.
nivel_de "$CARPETA/01.txt" "Dos" "E3 .. .. .. .. .. .. .. .. .. .. .. .. .. .."
celda 4 6
xdotool key ctrl+o
esperar_o_no 10 dialogo_visible || fallo "Open with unsaved changes asked nothing"
toque_con "${X_RESPUESTA[1]}" "$Y_RESPUESTAS"
# The list's picture of 01.txt: its emitter's tile, a tenth of the size.
lista_con_miniaturas() {
  instantanea "$TMP/lista.png" 10x10+522+84 &&
    convert "$TMP/lista.png" -format '%[fx:maxima.r > 0.5 ? 1 : 0]' info: | grep -q 1
}
esperar_o_no 10 lista_con_miniaturas || { capturar editor_autor_fallo; fallo "no list of levels with their pictures"; }
capturar editor_autor_2_abrir
toque_con 300 140
esperar_o_no 10 eval 'mina 65 && ! mina 66' || fallo "the level opened again is not as saved: $(losetas 64 65 66)"

# --- A crash loses nothing -----------------------------------------------------
paleta 1
celda 2 2
esperar_o_no 10 eval '[ -s "$COPIAS/$pid.txt" ]' || fallo "no recovery copy was written: $(ls -la "$COPIAS")"
kill -9 "$pid"
esperar_fin "$pid" 10
arrancar "$CONSTRUCCION/fotonauta-editor"
origen_ventana
esperar_o_no 20 dialogo_visible || { capturar editor_autor_fallo; fallo "the next start offered nothing back"; }
capturar editor_autor_3_recuperar
toque_con "${X_RESPUESTA[0]}" "$Y_RESPUESTAS"
esperar_o_no 10 eval '! dialogo_visible' || fallo "Recover did not close the offer"
esperar_o_no 10 eval '[ "$(losetas 32)" = 135 ]' || fallo "the recovered level lacks its last edit: $(losetas 32)"
mina 65 || fallo "the recovered level is not the one edited"
guardar_hasta 'sed -n 6p "$CARPETA/00.txt" | grep -q "^.. .. tt "' 5 || fallo "the recovered level was not saved to 00.txt"
esperar_o_no 10 eval '[ -z "$(ls "$COPIAS")" ]' || fallo "copies left once all was saved: $(ls "$COPIAS")"
salir_editor

# --- Copy, paste and flip; titles in UTF-8 ------------------------------------------
# "Año ñandú" as a text editor writes it today.
nivel_de "$CARPETA/02.txt" "$(printf 'A\303\261o \303\261and\303\272')" "$VACIA" "$VACIA" \
  ".. E3 m2 a9 .. .. .. .. .. .. .. .. .. .. .." ".. p1 R0 g5 .. .. .. .. .. .. .. .. .. .. .."
cp "$CARPETA/02.txt" "$TMP/02_antes.txt"
arrancar_editor "$CARPETA/02.txt"
capturar editor_autor_4_utf8
paleta "$HUECO_SELECCION"
sobre_celda 2 1
sleep 0.1
xdotool mousedown 1
sleep 0.2
sobre_celda 3 3
sleep 0.2
xdotool mouseup 1
# The selection's frame, yellow, down its right side.
amarillo_en() {
  instantanea "$TMP/punto.png" "1x1+$1+$2" &&
    convert "$TMP/punto.png" -format '%[fx:p{0,0}.r > 0.9 && p{0,0}.g > 0.9 && p{0,0}.b < 0.2 ? 1 : 0]' info: | grep -q 1
}
esperar_o_no 10 eval 'amarillo_en 286 270' || fallo "dragging with the selection marked no rectangle"
estado antes_copiar
xdotool key ctrl+c
esperar_o_no 10 eval 'estado_cambiado antes_copiar' || fallo "Ctrl+C said nothing"
sobre_celda 5 8
sleep 0.1
xdotool key ctrl+v
esperar_o_no 10 eval '[[ "$(losetas 83)" =~ ^[37]$ ]]' || fallo "Ctrl+V pasted no emitter at row 6, column 9: $(losetas 83)"
xdotool key h
esperar_o_no 10 eval '[[ "$(losetas 85)" =~ ^[15]$ ]]' || fallo "H did not flip the pasted cells: $(losetas 83 84 85)"
guardar_hasta '! cmp -s "$CARPETA/02.txt" "$TMP/02_antes.txt"' 5 || fallo "Ctrl+S wrote nothing"
{
  sed -n 1,8p "$TMP/02_antes.txt"
  echo '.. .. .. .. .. .. .. .. a6 me E1 .. .. .. ..'
  echo '.. .. .. .. .. .. .. .. gb R0 p7 .. .. .. ..'
  echo '.. .. .. .. .. .. .. .. .. .. .. .. .. .. ..'
  echo '.. .. .. .. .. .. .. .. .. .. .. .. .. .. ..'
} >"$TMP/02_esperado.txt"
diff "$TMP/02_esperado.txt" "$CARPETA/02.txt" || fallo "the copied, pasted and flipped level differs from the expected"
cmp -s <(head -n 1 "$TMP/02_antes.txt") <(head -n 1 "$CARPETA/02.txt") || fallo "the UTF-8 title changed on the way"

# A title typed in the editor is written in UTF-8 too.
xdotool key ctrl+t
esperar_o_no 10 dialogo_visible || fallo "Ctrl+T opened no title"
xdotool key ctrl+a BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
xdotool type --delay 60 Ni
xdotool key ntilde
xdotool type o
capturar editor_autor_5_titulo
xdotool key Return
sleep 0.2
xdotool key Return
esperar_o_no 10 eval '! dialogo_visible' || fallo "the title and idea did not close"
guardar_hasta 'head -n 1 "$CARPETA/02.txt" | cmp -s - <(printf "titulo: Ni\303\261o\n")' 5 ||
  fallo "the typed title was not saved as UTF-8: $(head -n 1 "$CARPETA/02.txt" | od -c | head -n 2)"

# --- Help ------------------------------------------------------------------------
xdotool key F1
# The help's dark ground (10, 12, 24) over the board.
ayuda_visible() {
  instantanea "$TMP/ayuda.png" 8x6+40+600 &&
    convert "$TMP/ayuda.png" -format '%[fx:abs(mean.r - 0.039) < 0.01 && abs(mean.g - 0.047) < 0.01 && abs(mean.b - 0.094) < 0.01 ? 1 : 0]' info: | grep -q 1
}
esperar_o_no 10 ayuda_visible || { capturar editor_autor_sin_ayuda; fallo "F1 showed no help (screen in editor_autor_sin_ayuda.png)"; }
capturar editor_autor_6_ayuda
xdotool key Escape
esperar_o_no 10 eval '! ayuda_visible' || fallo "Esc did not close the help"
salir_editor

# --- The whole reason of an unwinnable proof ----------------------------------------
# Three targets boxed in by walls.
nivel_de "$CARPETA/03.txt" "Encerrados" "$VACIA" "E3 tt tt tt tt tt tt tt tt tt a9 R1 .. .. .." "$VACIA" \
  ".. af af af .. af af af .. af af af .. .. .." ".. af tt af .. af tt af .. af tt af .. .. .." \
  ".. af af af .. af af af .. af af af .. .. .."
arrancar_editor "$CARPETA/03.txt"
estado antes_probar
xdotool key ctrl+p
esperar_o_no 30 marca_roja || { capturar editor_autor_fallo; fallo "the unwinnable proof showed no red mark"; }
# Its reason runs on to the status area's second line, not cut at the
# window's edge.
segunda_linea_escrita() {
  instantanea "$TMP/linea2.png" 980x20+8+738 &&
    convert "$TMP/linea2.png" -format '%[fx:maxima.r > 0.8 ? 1 : 0]' info: | grep -q 1
}
segunda_linea_escrita || fallo "the proof's reason did not go on to a second line"
capturar editor_autor_7_sin_solucion
salir_editor
echo "editor_autor: asked before losing work, recovered after a kill, copied, pasted, flipped, UTF-8 kept, help shown, whole reason shown"
