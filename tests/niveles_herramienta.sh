# The level tool from the outside, as the other tools call it:
#   bash niveles_herramienta.sh <build folder>
set -euo pipefail

NIVELES=$1/niveles
[ -x "$NIVELES" ] || { echo "FALLO: $NIVELES not built" >&2; exit 1; }

TMP=$(mktemp -d /tmp/fotonauta-niveles-XXXXXX)
trap 'rm -rf "$TMP"' EXIT

fallos=0
fallo() {
  echo "FALLO: $*" >&2
  fallos=$((fallos + 1))
}

# Runs `niveles trazar` on the given input; leaves stdout, stderr and the
# exit status in $TMP/salida, $TMP/error and $estado.
trazar() {
  estado=0
  printf '%s\n' "$1" | timeout 20 "$NIVELES" trazar >"$TMP/salida" 2>"$TMP/error" || estado=$?
}

# The input must be refused: status 2, one message, nothing on stdout.
rechazada() {
  local que=$1
  trazar "$2"
  [ "$estado" -eq 2 ] || fallo "$que: exit status $estado, not 2"
  [ ! -s "$TMP/salida" ] || fallo "$que: printed on stdout: $(head -c 200 "$TMP/salida")"
  [ "$(wc -l <"$TMP/error")" -eq 1 ] || fallo "$que: not a one-line message: $(cat "$TMP/error")"
}

# A board of floor with the given cells set, as "cell=byte" pairs.
tablero() {
  local b=() par
  for ((c = 0; c < 135; c++)); do b[c]=63; done
  for par in "$@"; do b[${par%=*}]=${par#*=}; done
  echo "${b[*]}"
}

# Nine targets along the top row, the receiver in the bottom-right corner.
BASICO=(0=47 1=47 2=47 3=47 4=47 5=47 6=47 7=47 8=47 134=10)

# --- help and usage ---------------------------------------------------------
for opcion in --help -h; do
  ayuda=$("$NIVELES" "$opcion") || fallo "$opcion: exit status $?"
  for orden in comprobar volcar trazar espejos reemisores resolver estadisticas espera; do
    grep -q "$orden" <<<"$ayuda" || fallo "$opcion does not mention $orden"
  done
done
for args in "" "dibujar" "volcar de_mas"; do
  estado=0
  # shellcheck disable=SC2086
  "$NIVELES" $args >"$TMP/salida" 2>"$TMP/error" || estado=$?
  [ "$estado" -eq 2 ] && [ -s "$TMP/error" ] || fallo "'niveles $args' was not refused (status $estado)"
done

# --- the stored table -------------------------------------------------------
estado=0
"$NIVELES" comprobar >"$TMP/salida" 2>&1 || estado=$?
[ "$estado" -eq 0 ] || fallo "comprobar fails on the stored levels: $(cat "$TMP/salida")"
grep -q '^63 niveles correctos$' "$TMP/salida" || fallo "comprobar said: $(cat "$TMP/salida")"

"$NIVELES" volcar >"$TMP/volcado" || fallo "volcar: exit status $?"
awk 'NF != 135 { print "line " NR " has " NF " fields"; exit 1 }
     { for (i = 1; i <= NF; i++) if ($i !~ /^[0-9]+$/ || $i > 117) { print "line " NR ": " $i; exit 1 } }
     END { if (NR != 63) { print NR " lines"; exit 1 } }' "$TMP/volcado" >"$TMP/error" ||
  fallo "volcar: $(cat "$TMP/error")"

# Every stored level is a level trazar accepts, and traces to an end.
while read -r nivel; do
  trazar "$nivel"
  [ "$estado" -eq 0 ] || { fallo "a stored level is refused: $(cat "$TMP/error")"; break; }
done <"$TMP/volcado"

# --- traces -----------------------------------------------------------------
NIVEL0=$(head -n 1 "$TMP/volcado")
# Level 0 has seven mirrors; the sixth, cell 105, sends the beam off the
# bottom edge at angle 4.
trazar "$NIVEL0 espejos 0 0 0 0 0 4 0"
esperado=$'12 30 12\n2 30 8\n2 42 8\nestado 1\npuntos 0'
[ "$estado" -eq 0 ] && [ "$(cat "$TMP/salida")" = "$esperado" ] ||
  fallo "level 0 with cell 105 at angle 4 traced to: $(cat "$TMP/salida" "$TMP/error")"

# An emitter facing right at cell 60 and a re-emitter at cell 65. Draw 4
# goes straight on off the board; draw 0 turns up into the target at cell 5;
# draws past the list are random but still legal.
REEMISOR=$(tablero "${BASICO[@]}" 60=5 65=80)
trazar "$REEMISOR reemisores 4"
[ "$estado" -eq 0 ] && [ "$(sed -n 2,3p "$TMP/salida")" = $'20 18 100\n24 18 4' ] &&
  grep -q '^puntos 0$' "$TMP/salida" || fallo "re-emitter draw 4: $(cat "$TMP/salida" "$TMP/error")"
trazar "$REEMISOR reemisores 0 8 8"
[ "$estado" -eq 0 ] && [ "$(sed -n 3p "$TMP/salida")" = "22 16 0" ] &&
  grep -q '^estado 1$' "$TMP/salida" && grep -q '^puntos 120$' "$TMP/salida" ||
  fallo "re-emitter draw 0: $(cat "$TMP/salida" "$TMP/error")"
trazar "$REEMISOR"
[ "$estado" -eq 0 ] || fallo "re-emitter with random draws: $(cat "$TMP/error")"

# A fibre-optic pair carries the beam from cell 63 to cell 120: a jump point
# at the entry, then the exit centre, still heading right.
trazar "$(tablero "${BASICO[@]}" 60=5 63=82 120=82)"
[ "$estado" -eq 0 ] && [ "$(sed -n 2,3p "$TMP/salida")" = $'14 18 100\n2 34 4' ] ||
  fallo "fibre-optic jump: $(cat "$TMP/salida" "$TMP/error")"

# --- bad input --------------------------------------------------------------
rechazada "no input" ""
rechazada "134 bytes" "$(cut -d' ' -f2- <<<"$NIVEL0")"
rechazada "a word for a byte" "$(sed 's/^18 /dieciocho /' <<<"$NIVEL0")"
rechazada "a byte over 255" "$(sed 's/^18 /300 /' <<<"$NIVEL0")"
rechazada "a negative byte" "$(sed 's/^18 /-18 /' <<<"$NIVEL0")"
rechazada "a huge number" "$(sed 's/^18 /99999999999999999999999 /' <<<"$NIVEL0")"
for b in 0 1 6 9 14 15 118 255; do
  rechazada "byte $b" "$(sed "s/^18 /$b /" <<<"$NIVEL0")"
done
rechazada "six angles for seven mirrors" "$NIVEL0 espejos 0 0 0 0 0 4"
rechazada "eight angles for seven mirrors" "$NIVEL0 espejos 0 0 0 0 0 4 0 0"
rechazada "angle 16" "$NIVEL0 espejos 0 0 0 0 0 16 0"
rechazada "an angle that is a word" "$NIVEL0 espejos 0 0 0 0 0 cuatro 0"
rechazada "draw 9" "$REEMISOR reemisores 4 9"
rechazada "a draw that is a word" "$REEMISOR reemisores 4 x"
rechazada "angles after the draws" "$NIVEL0 reemisores 4 espejos 0 0 0 0 0 4 0"
rechazada "a 136th byte" "$NIVEL0 63"

# Boards that break what the game relies on.
rechazada "no emitter" "$(tablero "${BASICO[@]}")"
rechazada "two emitters" "$(tablero "${BASICO[@]}" 60=5 61=2)"
rechazada "no receiver" "$(tablero "${BASICO[@]}" 60=5 134=63)"
rechazada "two receivers" "$(tablero "${BASICO[@]}" 60=5 133=11)"
rechazada "eight targets" "$(tablero "${BASICO[@]}" 60=5 8=63)"
rechazada "a lone fibre-optic end" "$(tablero "${BASICO[@]}" 60=5 63=82)"
rechazada "a fibre-optic pair three times" "$(tablero "${BASICO[@]}" 60=5 63=82 120=82 121=82)"
rechazada "a fibre-optic end in the top-left cell" "$(tablero "${BASICO[@]}" 60=5 0=81 120=81 10=47)"
grep -q 'column 1, row 1' "$TMP/error" || fallo "the top-left fibre end is not named: $(cat "$TMP/error")"

# --- resolver ---------------------------------------------------------------
# A level file, numbered by its name: nine targets on the laser's row, then
# a mirror that turns the beam up into the receiver. The rows after the
# fifth are given as arguments.
nivel_prueba() {
  {
    printf 'titulo: prueba\nidea: prueba\n'
    printf '.. .. .. .. .. .. .. .. .. .. R0 .. .. .. ..\n'
    printf '.. .. .. .. .. .. .. .. .. .. ac .. .. .. ..\n'
    printf '.. .. .. .. .. .. .. .. .. .. .. .. .. .. ..\n'
    printf '.. .. .. .. .. .. .. .. .. .. .. .. .. .. ..\n'
    printf 'E3 tt tt tt tt tt tt tt tt tt m0 .. .. .. ..\n'
    printf '%s\n' "$@"
  } >"$TMP/niveles/01.txt"
}
VACIA='.. .. .. .. .. .. .. .. .. .. .. .. .. .. ..'
mkdir -p "$TMP/niveles"
nivel_prueba "$VACIA" "$VACIA" "$VACIA" "$VACIA"
estado=0
"$NIVELES" resolver "$TMP/niveles/01.txt" >"$TMP/salida" 2>"$TMP/error" || estado=$?
[ "$estado" -eq 0 ] || fallo "resolver on a winnable file: status $estado: $(cat "$TMP/salida" "$TMP/error")"
head -n 1 "$TMP/salida" | grep -Eq '^nivel 01 pasa fotogramas [0-9]+ \([0-9]+\.[0-9] %\) giros 1 pasos [0-9]+ a_tiempo 41/41$' ||
  fallo "resolver's first line: $(head -n 1 "$TMP/salida")"
# No start is dangerous; the targets in the beam's order, then the mirror
# turned up, then 'fin'.
[ "$(sed -n '2,$p' "$TMP/salida")" = $'peligro 0/40 mina 0 rebote 0 fotogramas 0\nespera 61 62 63 64 65 66 67 68 69\n70 4\nfin' ] ||
  fallo "resolver's plan: $(cat "$TMP/salida")"

# A mirror right at the laser, under a mine: some of the random starts turn
# the beam onto the mine, others straight back into the laser.
nivel_prueba "$VACIA" "$VACIA" "$VACIA" "$VACIA"
sed -i -e '6s/.*/.. xx .. .. .. .. .. .. .. .. .. .. .. .. ../' -e '7s/^E3 tt/E3 m0/' "$TMP/niveles/01.txt"
"$NIVELES" resolver "$TMP/niveles/01.txt" --resumen >"$TMP/salida" 2>&1 || true
grep -Eq '^peligro [1-9][0-9]*/40 mina [1-9][0-9]* rebote [1-9][0-9]* fotogramas [1-9][0-9]*$' "$TMP/salida" ||
  fallo "resolver did not count the dangerous starts: $(cat "$TMP/salida")"

# A target boxed in by walls: no plan, status 1, and the cell named.
nivel_prueba "$VACIA" ".. .. .. .. .. .. .. .. .. .. .. af af af .." ".. .. .. .. .. .. .. .. .. .. .. af tt af .." \
  ".. .. .. .. .. .. .. .. .. .. .. af af af .."
estado=0
"$NIVELES" resolver "$TMP/niveles/01.txt" --resumen >"$TMP/salida" 2>&1 || estado=$?
[ "$estado" -eq 1 ] || fallo "resolver on an unwinnable file: status $estado"
grep -q '^nivel 01 falla sin_plan' "$TMP/salida" && grep -q '^error no way to the target at column 13, row 8$' "$TMP/salida" ||
  fallo "resolver on an unwinnable file said: $(cat "$TMP/salida")"

# Level 0 has a re-emitter: 200 runs, 95 % of them in time.
estado=0
"$NIVELES" resolver 0 --resumen >"$TMP/salida" 2>&1 || estado=$?
[ "$estado" -eq 0 ] && grep -Eq '^nivel 00 pasa .* a_tiempo (19[0-9]|200)/200 azar$' "$TMP/salida" ||
  fallo "resolver 0: status $estado: $(cat "$TMP/salida")"

# Its true rate, measured on other runs: --partidas counts its runs too.
estado=0
"$NIVELES" resolver 0 --resumen --partidas 60 --desde 100000 >"$TMP/salida" 2>&1 || estado=$?
grep -Eq '^nivel 00 (pasa|falla) .* a_tiempo [0-9]+/60 azar$' "$TMP/salida" ||
  fallo "resolver 0 --partidas 60 --desde 100000: status $estado: $(cat "$TMP/salida")"

for args in "resolver 63" "resolver -1" "resolver uno" "resolver 1 --partidas 0" "resolver 1 --desde 0" \
  "resolver 1 --desde 2x" "resolver $TMP/no_existe.txt" \
  "estadisticas 3"; do
  estado=0
  # shellcheck disable=SC2086
  "$NIVELES" $args >"$TMP/salida" 2>"$TMP/error" || estado=$?
  [ "$estado" -eq 2 ] && [ -s "$TMP/error" ] || fallo "'niveles $args' was not refused (status $estado)"
done

# --- estadisticas -----------------------------------------------------------
"$NIVELES" estadisticas >"$TMP/salida" || fallo "estadisticas: exit status $?"
[ "$(grep -Ec '^ *[0-9]{2}( +[0-9]+){13}$' "$TMP/salida")" -eq 63 ] || fallo "estadisticas: not 63 level rows"
# Every row counts all 135 cells but the emitter and the receiver.
awk '/^ *[0-9][0-9] / { s = 0; for (i = 2; i <= NF; i++) s += $i; if (s != 133) { print; exit 1 } }' \
  "$TMP/salida" >"$TMP/error" || fallo "estadisticas: a row does not add up to 133: $(cat "$TMP/error")"
[ "$(grep -c ' guia ' "$TMP/salida")" -eq 15 ] || fallo "estadisticas: not 15 lines against the guide figures"
! grep -q ' fuera$' "$TMP/salida" || fallo "estadisticas: totals off the guide: $(grep ' fuera$' "$TMP/salida")"

if [ "$fallos" -gt 0 ]; then
  echo "$fallos failed" >&2
  exit 1
fi
echo "niveles: all checks passed"
