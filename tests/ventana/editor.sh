# The level editor in a real window, as an author uses it: a small level
# built with clicks alone (an emitter, nine targets painted in one drag, two
# mirrors, the receiver and its gate) with taps sent whole between two
# frames, the last undone and redone by keys, a mirror held and turned to
# move the beam, the level proved and saved; the file read back equal; the game
# started with --niveles on the folder plays it as level 01. Then a
# malformed file: the editor names its line and column and leaves it alone.
source "$(dirname "$0")/comun.sh"
source "$(dirname "$0")/jugar.sh"
source "$(dirname "$0")/editor_comun.sh"

# Spanish, silent, no level unlocked (no starting-level choice).
preparar_editor

arrancar "$CONSTRUCCION/fotonauta-editor"
origen_ventana
# The window is the editor's for the desktop: its own class, its own entry.
clase=$(xprop -id "$VENTANA" WM_CLASS)
[ "$clase" = 'WM_CLASS(STRING) = "fotonauta-editor", "Fotonauta-editor"' ] || fallo "the editor's window class is $clase"
# The board's floor shows once the editor is up.
esperar_o_no 10 eval 't=$(losetas 0) && [ "$t" -ge 80 ] && [ "$t" -le 91 ]' || fallo "the editor's board never showed"

esperar_o_no 10 marco_blanco || fallo "the editor does not follow the pointer"

# Emitter (opening right) at row 1, column 0.
paleta 2
celda 1 0
# Nine targets in one stroke along row 1.
paleta 1
sobre_celda 1 1
sleep 0.1
xdotool mousedown 1
sleep 0.2
# A quick drag, two cells a step: the cells crossed between two frames
# are painted too.
for c in 3 5 7 9; do
  sobre_celda 1 "$c"
  sleep 0.1
done
xdotool mouseup 1
sleep 0.2
espejos_y_receptor
xdotool mousemove $((OX + 500)) $((OY + 740))
# (The emitter, 3, shows its lit tile, 7, now and then while it shines.)
pintadas="15 16 17 18 19 20 21 22 23 24 86 87"
esperar_o_no 5 eval '[[ "$(losetas $pintadas | tr "\n" " ")" =~ ^[37]" 135 135 135 135 135 135 135 135 135 40 161 "$ ]]' ||
  { capturar editor_1_fallido; fallo "the painted cells show tiles $(losetas $pintadas | tr '\n' ' ')"; }
capturar editor_1_pintado
# Ctrl+Z and Ctrl+Y sent whole between two frames, as xdotool sends them:
# the gate goes and comes back.
xdotool key ctrl+z
esperar_o_no 10 eval 't=$(losetas 86) && [ "$t" -ge 80 ] && [ "$t" -le 91 ]' || fallo "Ctrl+Z did not undo the gate: $(losetas 86)"
xdotool key ctrl+y
esperar_o_no 10 eval '[ "$(losetas 86)" = 40 ]' || fallo "Ctrl+Y did not redo the gate: $(losetas 86)"

# The hand holds the first mirror and turns it: the beam moves. The board
# is compared but for the mirror's own cell.
sin_espejo() {
  instantanea "$TMP/$1.png" 960x576+32+32 &&
    convert "$TMP/$1.png" -fill black -draw 'rectangle 640,64 703,127' "$TMP/$1.png"
}
sin_espejo rayo_antes
paleta "$HUECO_MANO"
sobre_celda 1 10
sleep 0.1
xdotool mousedown 1
sleep 0.5
xdotool mouseup 1
xdotool mousemove $((OX + 500)) $((OY + 740))
rayo_movido() {
  sin_espejo rayo_despues || return 1
  diferentes=$(compare -metric AE "$TMP/rayo_antes.png" "$TMP/rayo_despues.png" null: 2>&1 || true)
  [ "${diferentes%% *}" -gt 2000 ]
}
esperar_o_no 10 rayo_movido || fallo "turning the mirror did not move the beam ($diferentes pixels changed)"
capturar editor_2_girado

# Prove: the mark turns green once the solver passes the level.
boton probar
esperar_o_no 30 marca_verde || { capturar editor_3_prueba_fallida; fallo "the proof did not pass"; }
capturar editor_3_probado

# Save: 00.txt appears in the user's level folder.
boton guardar
esperar_o_no 10 eval '[ -s "$CARPETA/00.txt" ]' || fallo "saving wrote no $CARPETA/00.txt"
ls "$CARPETA" | grep -q '\.tmp$' && fallo "a temporary file was left behind: $(ls "$CARPETA")"
boton salir
esperar_fin "$pid" 10
[ "$ESTADO" -eq 0 ] || fallo "the editor ended with status $ESTADO: $(cat "$TMP/error")"

# The file holds the level as built (the mirrors' digits keep the angles
# they were left at, which the game draws at random).
cat >"$TMP/esperado.txt" <<'EOF'
titulo: 
idea: 
gremlins: 0
.. .. .. .. .. .. .. .. .. .. .. .. .. .. ..
E3 tt tt tt tt tt tt tt tt tt m? .. .. .. ..
.. .. .. .. .. .. .. .. .. .. .. .. .. .. ..
.. .. .. .. .. .. .. .. .. .. .. .. .. .. ..
.. .. .. .. .. .. .. .. .. .. .. .. .. .. ..
.. .. .. .. .. .. .. .. .. .. m? a9 R1 .. ..
.. .. .. .. .. .. .. .. .. .. .. .. .. .. ..
.. .. .. .. .. .. .. .. .. .. .. .. .. .. ..
.. .. .. .. .. .. .. .. .. .. .. .. .. .. ..
EOF
sed 's/m[0-9a-f]/m?/g' "$CARPETA/00.txt" | diff "$TMP/esperado.txt" - || fallo "the saved level differs from the one built"

# Read back equal: opened in the editor and saved again, not one byte moves.
antes=$(md5sum <"$CARPETA/00.txt")
arrancar_editor "$CARPETA/00.txt"
esperar_o_no 10 eval '[[ "$(losetas 15)" =~ ^[37]$ ]]' || fallo "the saved level did not open"
touch -d '2000-01-01' "$CARPETA/00.txt"
boton guardar
esperar_o_no 10 eval '[ "$(stat -c %Y "$CARPETA/00.txt")" -gt 946684800 ]' || fallo "saving again wrote nothing"
[ "$(md5sum <"$CARPETA/00.txt")" = "$antes" ] || fallo "the level read back and saved differs: $(cat "$CARPETA/00.txt")"
boton salir
esperar_fin "$pid" 10

# The game on that folder: level 01 is the author's.
arrancar "$CONSTRUCCION/fotonauta" --niveles "$CARPETA"
origen_ventana
# Past the intro (a click skips it), Play in the menu: the author's level.
nivel_propio() { [ "$(losetas 15 87 | tr "\n" " ")" = "3 161 " ]; }
esperar_o_no 30 pasar_intro || fallo "the game's menu did not show"
toque_con 102 704
esperar_o_no 20 nivel_propio ||
  { capturar editor_4_juego_fallido; fallo "the game's level 01 is not the author's: $(losetas 15 87 | tr '\n' ' ')"; }
# The board has slid in once the energy bar fills.
esperar_o_no 20 energia_llena || fallo "the author's level never started: the energy bar did not fill"
capturar editor_4_juego
kill "$pid"
esperar_fin "$pid" 10

# A bad level file is named before any window opens, and so is each file
# that would not be played.
mkdir "$TMP/malos"
printf 'titulo: x\nidea: y\n' >"$TMP/malos/05.txt"
cp "$CARPETA/00.txt" "$TMP/malos/mi_nivel.txt"
cp "$CARPETA/00.txt" "$TMP/malos/5.txt"
estado=0
"$CONSTRUCCION/fotonauta" --niveles "$TMP/malos" 2>"$TMP/error_malos" || estado=$?
[ "$estado" -ne 0 ] && grep -q '05.txt' "$TMP/error_malos" ||
  fallo "a bad level file was not named: status $estado, $(cat "$TMP/error_malos")"
grep -q 'mi_nivel.txt: ignored' "$TMP/error_malos" && grep -q '/5.txt: ignored' "$TMP/error_malos" ||
  fallo "the files not played were not named: $(cat "$TMP/error_malos")"

# A malformed file: line 4, column 7 holds no cell. The editor says so and
# never writes it.
{
  printf 'titulo: roto\nidea: una casilla mala\n'
  printf '.. .. zz .. .. .. .. .. .. .. .. .. .. .. ..\n'
} >"$TMP/roto.txt"
sed -i '3i .. .. .. .. .. .. .. .. .. .. .. .. .. .. ..' "$TMP/roto.txt"
antes=$(md5sum <"$TMP/roto.txt")
arrancar_editor "$TMP/roto.txt"
esperar_o_no 10 eval 'grep -q "line 4, column 7" "$TMP/error"' || fallo "no line and column for the malformed file: $(cat "$TMP/error")"
# The message is on the status line from the first frame, which has been
# drawn since the pointer's frame showed.
capturar editor_5_malformado
boton guardar
esperar_o_no 10 eval '[ -s "$CARPETA/01.txt" ]' || fallo "the level begun after the malformed file was not saved apart"
[ "$(md5sum <"$TMP/roto.txt")" = "$antes" ] || fallo "the malformed file was changed"
boton salir
esperar_fin "$pid" 10
echo "editor: built, turned, proved, saved, read back and played; malformed file left alone"
