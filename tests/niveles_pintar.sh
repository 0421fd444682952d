# niveles pintar draws a level into a 1024 x 768 PNG, and refuses bad input.
set -euo pipefail
CONSTRUCCION=$1
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
fallo() { echo "FALLO: $*" >&2; exit 1; }

salida=$("$CONSTRUCCION/niveles" pintar 0 "$TMP/n0.png" espejos 0 0 0 0 0 4 0)
[ "$salida" = "estado 1 puntos 3" ] || fallo "level 0's example traced as: $salida"
[ "$(identify -format '%w %h' "$TMP/n0.png")" = "1024 768" ] || fallo "the picture is not 1024 x 768"
# The beam leaves the board at the bottom-left: lit over the frame there,
# and nothing at all under row 639.
convert "$TMP/n0.png" -crop 1024x128+0+640 -format '%[fx:maxima]' info: | grep -qx 0 ||
  fallo "something was drawn under the board"

for mal in "63 x.png" "0" "0 x.png espejos 99" "0 x.png espejos 1 2" "0 x.png angulos 1"; do
  # shellcheck disable=SC2086
  if "$CONSTRUCCION/niveles" pintar $mal >/dev/null 2>"$TMP/error"; then
    fallo "accepted: pintar $mal"
  fi
  [ -s "$TMP/error" ] || fallo "no message for: pintar $mal"
done
echo "ok"
