# The first hour's fresh copy: the tracked files of this working tree as
# they are now (uncommitted changes included) copied into
# <build>/primera_hora/proyecto, and the README's ./play run there as a new
# player runs it. With no display the game it builds ends at once, so this
# is the whole of ./play's install, build and data generation, on its own
# and without the X server that the window tests take turns at; the first
# hour (primera_hora.sh) then runs ./play again in the built copy.
#
#   primera_hora_copia.sh BUILD_FOLDER
set -euo pipefail
AQUI=$(cd "$(dirname "$0")" && pwd)
FUENTE=$(cd "$AQUI/../.." && pwd)
CONSTRUCCION=$1

fallo() {
  echo "FALLO: $*" >&2
  exit 1
}
command -v git >/dev/null || fallo "git is needed (herramientas/dependencias installs it)"

# Every run starts from nothing, and nothing is left outside the build folder.
COPIA="$CONSTRUCCION/primera_hora"
PROYECTO="$COPIA/proyecto"
rm -rf "$COPIA"
mkdir -p "$PROYECTO"
git -C "$FUENTE" ls-files -z | tar -C "$FUENTE" --null --ignore-failed-read -T - -cf - | tar -C "$PROYECTO" -xf - ||
  fallo "could not copy the project's files"
[ -x "$PROYECTO/play" ] || fallo "the copy holds no ./play"
[ ! -e "$PROYECTO/build" ] && [ ! -e "$PROYECTO/partida" ] || fallo "the copy already holds a build or a game folder"

# No display: the game started by ./play cannot open a window. It must say
# so and end with status 255 (its -1), which is all this run can show of it.
inicio=$(date +%s)
estado=0
# The player's folder is the copy's own, never the real one's.
(cd "$PROYECTO" && exec env -u DISPLAY XDG_DATA_HOME="$COPIA/jugador" ./play) >"$COPIA/play.log" 2>&1 </dev/null ||
  estado=$?
echo "./play took $(($(date +%s) - inicio)) s and ended with status $estado"
[ "$estado" -eq 255 ] && grep -q 'Could not set any video mode' "$COPIA/play.log" ||
  fallo "./play with no display should end with status 255 and 'Could not set any video mode'; status $estado: $(tail -n 30 "$COPIA/play.log")"
# Every program the README names after ./play is there to run.
for f in fotonauta fotonauta_dll fotonauta-editor niveles; do
  [ -x "$PROYECTO/build/$f" ] || fallo "./play built no build/$f, which the README names"
done
[ -d "$COPIA/jugador/fotonauta" ] || fallo "./play made no player's folder"
[ ! -e "$PROYECTO/partida" ] || fallo "./play made a game folder in the project"
echo "ok: a fresh copy built by ./play in $PROYECTO"
