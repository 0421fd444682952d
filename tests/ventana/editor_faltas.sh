# The level editor's faults an author met, each shown mended in a real
# window:
# - a beam leaving the board stays off the frame;
# - R turns a palette slot, as the wheel does;
# - a UTF-8 title reads as the same letters as one in ISO 8859-1;
# - a quick drag paints its first cell;
# - Publish is dark until it can be used, then green;
# - one problem is counted as one; Cancelar fits its button;
# - "Saved" gives way to the problems of a later edit;
# - Step without a plan says so; the plan's last step shows the targets
#   gone, the gate open and the win;
# - clicks poured on the window through Play's end leave the level as it
#   was, and the beam is bright again after Play.
source "$(dirname "$0")/comun.sh"
source "$(dirname "$0")/jugar.sh"
source "$(dirname "$0")/editor_comun.sh"

preparar_editor
mkdir -p "$CARPETA"

# The brightest channel of the pixel at ($1, $2), 0 to 1.
brillo_en() {
  instantanea "$TMP/punto.png" "1x1+$1+$2" &&
    convert "$TMP/punto.png" -format '%[fx:max(p{0,0}.r, max(p{0,0}.g, p{0,0}.b))]' info:
}

# --- The frame, the palette, the title -----------------------------------
nivel_de "$CARPETA/01.txt" "$(printf 'A\303\261o \303\261and\303\272')"
arrancar_editor "$CARPETA/01.txt"
# The right-hand frame beside row 5, before and after an emitter there
# throws its beam off the board.
instantanea "$TMP/marco_antes.png" 32x48+992+296
paleta 2
celda 4 0
esperar_o_no 10 eval '[ "$(brillo_en 500 320)" \> 0.6 ]' || fallo "the emitter's beam does not cross the board"
instantanea "$TMP/marco_despues.png" 32x48+992+296
capturar editor_faltas_1_marco
# Publish, out of use with no win yet, is dark.
read -r r g b < <(cara_publicar)
mayor 0.15 "$(awk -v r="$r" -v g="$g" -v b="$b" 'BEGIN { print (r + g + b) / 3 }')" ||
  fallo "Publish out of use is not dark: mean r g b $r $g $b"
cmp -s "$TMP/marco_antes.png" "$TMP/marco_despues.png" || fallo "the beam was drawn over the board's frame"

# R over a palette slot turns its variant, as the wheel does.
xdotool mousemove $((OX + $(x_hueco 3))) $((OY + Y_HUECO))
sleep 0.1
instantanea "$TMP/hueco_antes.png" 40x40+$((6 + 37 * 3))+642
xdotool key r
esperar_o_no 10 eval 'instantanea "$TMP/hueco.png" 40x40+$((6 + 37 * 3))+642 && ! cmp -s "$TMP/hueco.png" "$TMP/hueco_antes.png"' ||
  fallo "R over the palette turned nothing"

# The title's box on the top edge: as wide for "Año ñandú" read from UTF-8
# as from ISO 8859-1, not three letters wider.
# Where the box ends: the last of its dark pixels (16, 16, 24 at 16 bits
# a pixel) on its bottom row before 20 others in a row.
ancho_titulo() {
  instantanea "$TMP/cabecera.png" 700x1+0+24 &&
    convert "$TMP/cabecera.png" txt:- | awk 'NR > 1 && !hecho {
      split($1, p, ","); if ($3 == "#101018") { fin = p[1]; fuera = 0 } else if (fin && ++fuera >= 20) hecho = 1 }
      END { if (fin) print fin + 1 }'
}
xdotool key ctrl+z
esperar_o_no 10 eval 't=$(losetas 60) && [ "$t" -ge 80 ] && [ "$t" -le 91 ]' || fallo "Ctrl+Z did not take the emitter away"
ancho_utf8=$(ancho_titulo)
[ -n "$ancho_utf8" ] || fallo "no title box on the top edge"
salir_editor
nivel_de "$CARPETA/02.txt" "$(printf 'A\361o \361and\372')"
arrancar_editor "$CARPETA/02.txt"
ancho_iso=$(ancho_titulo)
[ "$ancho_utf8" = "$ancho_iso" ] || fallo "the UTF-8 title is drawn $ancho_utf8 pixels wide, the ISO 8859-1 one $ancho_iso"

# A quick drag paints the cell it started on, however soon it leaves it,
# and every cell on its way: five flicks, each a press, a move two cells
# on and a release sent together, as a quick hand reaches the window
# between two of the editor's frames; in the last, the press is seen by a
# frame of its own before the move and release come together. Then the
# changes are discarded.
paleta 1
for fila in 0 2 4 6 8; do
  if [ "$fila" -lt 8 ]; then
    xdotool mousemove $((OX + 192)) $((OY + 64 + 64 * fila)) mousedown 1 \
      mousemove $((OX + 320)) $((OY + 64 + 64 * fila)) mouseup 1
  else
    xdotool mousemove $((OX + 192)) $((OY + 64 + 64 * fila)) mousedown 1
    sleep 0.2
    xdotool mousemove $((OX + 320)) $((OY + 64 + 64 * fila)) mouseup 1
  fi
  n=$((fila * 15 + 2))
  esperar_o_no 5 eval '[ "$(losetas $n $((n + 1)) $((n + 2)) | xargs)" = "135 135 135" ]' ||
    { capturar editor_faltas_arrastre; fallo "a quick drag along row $fila painted $(losetas $n $((n + 1)) $((n + 2)) | xargs) (target: 135)"; }
done
xdotool key ctrl+q
esperar_o_no 10 dialogo_visible || fallo "no question about the unsaved flicks"
toque_con "${X_RESPUESTA[1]}" "$Y_RESPUESTAS"
esperar_fin "$pid" 10

# --- Counted problems, and the proof's Cancel ------------------------------------
# Where the ink of the status area's second line ends: "1 problema (...)"
# ends one letter sooner than "2 problemas (...)".
fin_linea_2() {
  instantanea "$TMP/linea.png" 980x20+0+737 &&
    convert "$TMP/linea.png" -fuzz 3% -fill black -opaque 'rgb(16,16,24)' -fill white +opaque black \
      -bordercolor black -border 1 -trim -format '%[fx:page.x + w]' info:
}
fila_dos_emisores='.. E2 .. .. .. .. .. .. .. .. .. .. .. .. ..'
nivel_de "$CARPETA/03.txt" "Uno" "$VACIA" "E3 tt tt tt tt tt tt tt tt tt a9 R1 .. .. .." "$fila_dos_emisores"
nivel_de "$CARPETA/04.txt" "Dos" "$VACIA" "E3 tt tt tt tt tt tt tt tt tt a9 R1 .. .. .." "$fila_dos_emisores" \
  ".. .. .. .. .. R0 .. .. .. .. .. .. .. .. .."
fines=()
for f in 03 04; do
  arrancar_editor "$CARPETA/$f.txt"
  fines+=("$(fin_linea_2)")
  capturar "editor_faltas_2_${f}_problemas"
  salir_editor
done
[ "${fines[0]}" -lt "${fines[1]}" ] || fallo "one problem is counted as many: its line ends at ${fines[0]}, that of two at ${fines[1]}"

# While a proof runs its button says Cancelar, inside the button: the gap
# to the next one stays empty. Level 60's proof takes a second or more.
cp "$FUENTES/datos/niveles/59.txt" "$CARPETA/59.txt"
arrancar_editor "$CARPETA/59.txt"
instantanea "$TMP/probar.png" 88x20+550+686
xdotool key ctrl+p
for k in $(seq 40); do instantanea "$TMP/cancelar_$k.png" 110x26+538+683; done
vistos=0
for k in $(seq 40); do
  convert "$TMP/cancelar_$k.png" -crop 88x20+12+3 +repage "$TMP/boton.png"
  cmp -s "$TMP/boton.png" "$TMP/probar.png" && continue
  vistos=$((vistos + 1))
  hueco=$(convert "$TMP/cancelar_$k.png" -crop 4x20+103+3 +repage -fuzz 3% -fill black -opaque 'rgb(16,16,24)' \
    -format '%[fx:maxima]' info:)
  [ "$hueco" = 0 ] || { cp "$TMP/cancelar_$k.png" "$CAPTURAS/editor_faltas_cancelar.png"; fallo "Cancelar spills out of its button"; }
done
[ "$vistos" -gt 0 ] || fallo "the proof's button never said Cancelar"
esperar_o_no 30 marca_verde || fallo "level 60's proof did not pass"
# The proof is a helper program the editor starts (its own program again,
# with --probar), not a copy of the window's process: Esc kills it and the
# editor waits for it, leaving no zombie behind. This proof takes a few
# tenths of a second, less than a loaded machine may take to pass a key
# on: the helper is looked for without pause and held (SIGSTOP) once seen,
# so the Esc surely comes while it proves. One that ended before it was
# seen has given its verdict, as it should; the proof is then started
# again, a few times at most.
ayudante() { ps -o pid=,stat=,args= --ppid "$pid"; }
detenido=
for _ in 1 2 3 4 5; do
  xdotool key ctrl+p
  limite=$(($(date +%s) + 10))
  while [ -z "$detenido" ] && [ "$(date +%s)" -lt "$limite" ]; do
    detenido=$(pgrep -P "$pid" -f -- '--probar$') || true
  done
  if [ -n "$detenido" ]; then
    kill -STOP "$detenido"
    [ "$(ps -o stat= -p "$detenido" | cut -c1)" = T ] && break
    # It ended between the look and the hold (a zombie until the editor
    # reads its end).
    detenido=
  fi
  esperar_o_no 10 eval '[ -z "$(ayudante)" ]' || fallo "a proof that ended left its helper behind: $(ayudante)"
done
[ -n "$detenido" ] || fallo "no proof helper was seen running in five proofs"
xdotool key Escape
esperar_o_no 10 eval '[ -z "$(ayudante)" ]' || fallo "Esc left the proof's helper behind: $(ayudante)"
esperar_o_no 10 eval 'instantanea "$TMP/boton.png" 88x20+550+686 && cmp -s "$TMP/boton.png" "$TMP/probar.png"' ||
  fallo "the button did not say Probar again after Esc"
{ marca_verde || marca_roja; } && fallo "the proof stopped by Esc still gave its verdict"
salir_editor

# --- The status line and Step ---------------------------------------------------
nivel_de "$CARPETA/00.txt" "Recto" "$VACIA" "E3 tt tt tt tt tt tt tt tt tt a9 R1 .. .. .."
arrancar_editor "$CARPETA/00.txt"
estado antes_guardar
guardar_hasta 'estado_cambiado antes_guardar' 5 || fallo "Ctrl+S said nothing"
estado guardado
# A second emitter breaks a rule: the problem shows, not "Saved".
paleta 2
celda 6 3
esperar_o_no 10 eval 'estado_cambiado guardado' || { capturar editor_faltas_fallo; fallo "\"Saved\" stayed after an edit broke a rule"; }
capturar editor_faltas_3_problema
xdotool key ctrl+z
esperar_o_no 10 eval 't=$(losetas 93) && [ "$t" -ge 80 ] && [ "$t" -le 91 ]' || fallo "Ctrl+Z did not take the second emitter away"
estado sin_plan
xdotool key n
esperar_o_no 10 eval 'estado_cambiado sin_plan' || fallo "Step without a plan said nothing"

# Proved, then the plan's one step: every target gone, the gate open, the
# beam in the receiver.
xdotool key ctrl+p
esperar_o_no 30 marca_verde || { capturar editor_faltas_fallo; fallo "the straight level's proof did not pass"; }
xdotool key n
todo_derribado() {
  local t
  for t in $(losetas 16 17 18 19 20 21 22 23 24); do [ "$t" = 134 ] || return 1; done
  t=$(losetas 25)
  [ "$t" -ge 80 ] && [ "$t" -le 91 ]
}
esperar_o_no 10 todo_derribado ||
  { capturar editor_faltas_fallo; fallo "the plan's last step shows the targets and gate as $(losetas 16 17 18 19 20 21 22 23 24 25)"; }
esperar_o_no 10 marca_verde || fallo "the plan's last step does not show the win"
capturar editor_faltas_4_paso
# Once the proof has won the level, Publish is lit: plainly green.
read -r r g b < <(cara_publicar)
awk -v r="$r" -v g="$g" -v b="$b" 'BEGIN { exit !(g > 0.3 && g > r + 0.05 && g > b + 0.1) }' ||
  fallo "Publish in use is not lit green: mean r g b $r $g $b"

# --- Play, and clicks through its end -------------------------------------------------
# Back to editing: the plan's view goes with a change, undone.
paleta 13
celda 7 13
xdotool key ctrl+z
esperar_o_no 10 eval 't=$(losetas 118) && [ "$t" -ge 80 ] && [ "$t" -le 91 ]' || fallo "Ctrl+Z did not take the fibre away"
touch -d '2000-01-01' "$CARPETA/00.txt"
antes=$(md5sum <"$CARPETA/00.txt")
# The beam's band where two targets meet: each pixel's brightest channel,
# averaged, as the beam's colour drifts. A beam drawn for an empty energy
# bar is a third as strong there.
brillo_rayo() {
  instantanea "$TMP/rayo.png" 2x10+159+123 &&
    convert "$TMP/rayo.png" -separate -evaluate-sequence max -format '%[fx:mean]' info:
}
esperar_o_no 10 eval '[ "$(brillo_en 100 128)" \> 0.6 ]' || fallo "no bright beam before Play"
brillo_antes=$(brillo_rayo)
instantanea "$TMP/mano.png" 40x40+$((6 + 37 * HUECO_MANO))+642
editor_visible() {
  instantanea "$TMP/mano_ahora.png" 40x40+$((6 + 37 * HUECO_MANO))+642 && cmp -s "$TMP/mano.png" "$TMP/mano_ahora.png"
}
boton jugar
esperar_o_no 20 eval '! editor_visible' || fallo "Play did not start the game"
# The level plays itself: every target in the beam, then the receiver.
# Clicks on a floor cell all the while, as an author clicking at the frozen
# end would, until the editor is back.
limite=$(($(date +%s) + 90))
while ! editor_visible; do
  [ "$(date +%s)" -lt "$limite" ] || { capturar editor_faltas_fallo; fallo "the editor did not come back from Play"; }
  toque_con $((64 + 64 * 7)) $((64 + 64 * 6))
  sleep 0.1
done
capturar editor_faltas_5_vuelta
# The beam is as bright as before Play.
esperar_o_no 10 eval '[ "$(awk -v a="$(brillo_rayo)" -v b="$brillo_antes" "BEGIN {print (a > b * 0.85)}")" = 1 ]' ||
  fallo "the beam stays dim after Play: $(brillo_rayo), $brillo_antes before"
# None of them painted.
t=$(losetas 97)
[ "$t" -ge 80 ] && [ "$t" -le 91 ] || fallo "a click through Play's end painted the cell at column 8, row 7: tile $t"
guardar_hasta '[ "$(stat -c %Y "$CARPETA/00.txt")" -gt 946684800 ]' 5 || fallo "saving after Play wrote nothing"
[ "$(md5sum <"$CARPETA/00.txt")" = "$antes" ] || fallo "the level changed through Play: $(cat "$CARPETA/00.txt")"
salir_editor
echo "editor_faltas: frame clear, R over the palette, titles decoded, Saved gives way, Step speaks and shows the win, Play's clicks dropped and the beam bright"
