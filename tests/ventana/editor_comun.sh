# Shared by the level editor's window tests: its folders, where things are
# on its screen, and taps that wait for their answer. Sourced after
# comun.sh and jugar.sh, in the run directory.

# The sources, for their stored levels.
FUENTES=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Each test's own level folder, recovery copies and settings.
export XDG_DATA_HOME="$TMP/datos" XDG_STATE_HOME="$TMP/estado" XDG_CONFIG_HOME="$TMP/ajustes"
CARPETA="$XDG_DATA_HOME/fotonauta/niveles"
COPIAS="$XDG_STATE_HOME/fotonauta/recuperacion"

# An editor test's start: its own X server, the run directory with the
# game's data files and settings as an author has them (Spanish, silent,
# no level unlocked).
preparar_editor() {
  iniciar_xvfb
  preparar_directorio
  cd "$JUEGO_DIR"
  printf '\000\000\000\000' >cfg.dat
}

# Palette slot $1's centre; the slots of the hand and the selection.
x_hueco() { echo $((8 + 37 * $1 + 17)); }
Y_HUECO=661
HUECO_MANO=15
HUECO_SELECCION=16
# The buttons of the second row, as the Spanish captions lay them out.
Y_BOTONES=696
declare -A BOTON=([nuevo]=43 [abrir]=117 [guardar]=197 [como]=319 [deshacer]=412 [rehacer]=448 [titulo]=504
  [probar]=593 [jugar]=678 [publicar]=760 [ayuda]=846 [idioma]=906 [salir]=958)
# The answers of a dialog box, left to right (Guardar, Descartar, Cancelar;
# Recuperar, Descartar, Más tarde).
Y_RESPUESTAS=311
X_RESPUESTA=(375 508 645)

sobre_celda() { xdotool mousemove $((OX + 64 + 64 * $2)) $((OY + 64 + 64 * $1)); }

# A tap with button $3 (1 when not given) at window coordinates.
toque_con() {
  xdotool mousemove $((OX + $1)) $((OY + $2))
  xdotool click "${3:-1}"
}

boton() { toque_con "${BOTON[$1]}" "$Y_BOTONES"; }

# A tap on palette slot $1 (with button $2), waited on until the slot or
# its frame shows the change: two taps in one frame of the editor's would
# be one.
paleta() {
  local zona="40x40+$((6 + 37 * $1))+642"
  instantanea "$TMP/paleta_antes.png" "$zona"
  toque_con "$(x_hueco "$1")" "$Y_HUECO" "${2:-1}"
  esperar_o_no 10 eval "instantanea \"\$TMP/paleta.png\" $zona && ! cmp -s \"\$TMP/paleta.png\" \"\$TMP/paleta_antes.png\"" ||
    fallo "palette slot $1 did not answer a tap of button ${2:-1}"
}

# A tap on the cell at row $1, column $2, waited on until its tile changes.
celda() {
  local n=$(($1 * 15 + $2)) antes
  antes=$(losetas "$n")
  toque_con $((64 + 64 * $2)) $((64 + 64 * $1))
  esperar_o_no 10 eval "[ \"\$(losetas $n)\" != $antes ]" || fallo "cell $1,$2 did not take the tap"
}

# The small level's mirrors and receiver, once its emitter (row 1, column
# 0, opening right) and its nine targets along row 1 are there: a mirror
# at the row's end and one below it; the receiver (opening left) and, in
# front of it, its gate: the absorbing wall's left half, picked by turning
# the palette's wall back six times from the whole cell.
espejos_y_receptor() {
  paleta 4
  celda 1 10
  celda 5 10
  paleta 3
  celda 5 12
  paleta 6
  for _ in 1 2 3 4 5 6; do paleta 6 3; done
  celda 5 11
}

# The editor follows the pointer once the window has it: the cell under
# it gets a white frame.
marco_blanco() {
  sobre_celda 8 13
  sobre_celda 8 14
  sleep 0.1
  instantanea "$TMP/marco.png" 4x4+928+544 &&
    convert "$TMP/marco.png" -format '%[fx:p{0,0}.r > 0.95 && p{0,0}.g > 0.95 && p{0,0}.b > 0.95 ? 1 : 0]' info: | grep -q 1
}

# Starts the editor on "$@" and waits until it follows the pointer.
arrancar_editor() {
  arrancar "$CONSTRUCCION/fotonauta-editor" "$@"
  origen_ventana
  esperar_o_no 20 marco_blanco || fallo "the editor does not follow the pointer"
}

# The colour of the mark before the status line: green once a proof passes.
marca_verde() {
  instantanea "$TMP/marca.png" 8x8+11+716 &&
    convert "$TMP/marca.png" -format '%[fx:mean.g > 0.7 && mean.r < 0.3 ? 1 : 0]' info: | grep -q 1
}

# Red, once a proof fails or something could not be done.
marca_roja() {
  instantanea "$TMP/marca.png" 8x8+11+716 &&
    convert "$TMP/marca.png" -format '%[fx:mean.r > 0.7 && mean.g < 0.3 ? 1 : 0]' info: | grep -q 1
}

# The mean red, green and blue (0 to 1) of the Publish button's face.
cara_publicar() {
  instantanea "$TMP/publicar.png" 60x16+730+688 &&
    convert "$TMP/publicar.png" -format '%[fx:mean.r] %[fx:mean.g] %[fx:mean.b]\n' info:
}

# The status area, into $TMP/$1.png.
estado() { instantanea "$TMP/$1.png" 990x50+0+712; }

# True when the status area shows something else than $TMP/$1.png.
estado_cambiado() {
  estado estado_ahora && ! cmp -s "$TMP/estado_ahora.png" "$TMP/$1.png"
}

# A dialog box shows: its yellow frame over the board.
dialogo_visible() {
  instantanea "$TMP/caja.png" 4x4+192+230 &&
    convert "$TMP/caja.png" -format '%[fx:p{0,0}.r > 0.9 && p{0,0}.g > 0.9 && p{0,0}.b < 0.2 ? 1 : 0]' info: | grep -q 1
}

# The level file $1 as the editor writes it: the title $2, the rows given
# after it (the rest floor), no gremlins.
nivel_de() {
  local fichero=$1 titulo=$2 f
  shift 2
  {
    printf 'titulo: %s\nidea: \ngremlins: 0\n' "$titulo"
    for f in "$@"; do echo "$f"; done
    for ((f = $#; f < 9; f++)); do echo '.. .. .. .. .. .. .. .. .. .. .. .. .. .. ..'; done
  } >"$fichero"
}
VACIA='.. .. .. .. .. .. .. .. .. .. .. .. .. .. ..'

# Ctrl+Q, and the editor ends.
salir_editor() {
  xdotool key ctrl+q
  esperar_o_no 10 eval '! kill -0 "$pid" 2>/dev/null' || { capturar editor_no_sale; fallo "the editor did not leave on Ctrl+Q (screen in editor_no_sale.png)"; }
  esperar_fin "$pid" 10
}

# Ctrl+S, and the condition $1 holds within $2 seconds.
guardar_hasta() {
  xdotool key ctrl+s
  esperar_o_no "$2" eval "$1"
}
