# The .debs on a clean Debian 12: built with cpack, installed with apt into
# a fresh minimal root made by debootstrap (their own Depends only, no
# Recommends); the game started as a normal user from the desktop entry's
# Exec lines under Xvfb, each window carrying the class the entry names, and
# the score server asked its version; then both removed. What a distribution checks of the package without installing it
# (lintian, AppStream, desktop entries, manual pages) is paquete_revision.sh,
# in ./check. Needs root, debootstrap and the Debian mirror apt uses. Where
# no clean root can be made it says so and falls back to installing the
# package on this machine, starting it the same way and removing it again.
#
# Several minutes (the first run also makes the base system, kept in
# build/raiz_debian12.tar for later runs): `cd build && ctest -L lento -R paquete`.
source "$(dirname "$0")/ventana/comun.sh"

[ "$(id -u)" -eq 0 ] || fallo "installing a package needs root"
cd "$CONSTRUCCION"
rm -rf paquete
for ajustes in CPackConfig.cmake CPackConfigServidor.cmake; do
  cpack --config "$ajustes" >"$TMP/cpack.log" 2>&1 || fallo "cpack --config $ajustes failed: $(tail -n 20 "$TMP/cpack.log")"
done
DEB=$(ls paquete/fotonauta_*_amd64.deb)
DEB_SERVIDOR=$(ls paquete/fotonauta-servidor_*_amd64.deb)
for d in "$DEB" "$DEB_SERVIDOR"; do
  echo "package: $d"
  dpkg-deb -f "$d" Package Section Depends
done
# The score server's --version, run by $@ (a command prefix that runs in the
# installed system).
probar_servidor() {
  local salida
  salida=$("$@" fotonauta-servidor --version 2>&1) || fallo "the installed score server's --version failed: $salida"
  [ "$salida" = "fotonauta-servidor $(dpkg-deb -f "$DEB_SERVIDOR" Version)" ] ||
    fallo "the installed score server's --version: $salida"
}

# Runs the desktop entry's Exec line for the main entry or its full-screen
# action ($1: Desktop Entry or Desktop Action pantalla-completa) through $3
# (a command prefix that runs in the installed system), plays to the menu
# and leaves through Exit and "Sí". $2 names the screenshot; $4 is the
# user's home, as seen from here.
iniciar_xvfb
clic_grande() { clic $(($1 + 96)) $(($2 + 28)); }
probar_entrada() {
  local grupo=$1 captura=$2 ejecutar=$3 hogar=$4 orden
  # Started from a menu, with no file or link for its field code (%f, %u),
  # which a desktop then leaves out.
  orden=$(awk -v g="[$grupo]" '/^\[/ {dentro = ($0 == g)} dentro && /^Exec=/ {sub(/^Exec=/, ""); gsub(/ %[fFuU]/, ""); print}' "$ENTRADA")
  [ -n "$orden" ] || fallo "no Exec line in [$grupo]"
  echo "starting [$grupo]: $orden"
  $ejecutar sh -c "$orden" 2>"$TMP/error" &
  pid=$!
  esperar_ventana
  origen_ventana
  # The desktop ties the window to its entry by the class the entry names.
  local clase
  clase=$(awk -F= '$1 == "StartupWMClass" {print $2; exit}' "$ENTRADA")
  [ -n "$clase" ] || fallo "the desktop entry names no StartupWMClass"
  [ -n "$(xdotool search --class "^$clase\$" 2>/dev/null)" ] || fallo "[$grupo]: no window of class $clase"
  local carpeta=$hogar/.local/share/fotonauta
  if [ ! -f "$carpeta/cfg.dat" ]; then
    sleep 1.6
    clic_grande 308 336  # the language question: "Español"
  fi
  sleep 3
  clic 512 384
  sleep 2.5
  capturar "$captura"
  local b
  b=$(brillo "$captura")
  awk -v b="$b" 'BEGIN {exit !(b > 0.02)}' || fallo "[$grupo]: no menu on the screen (mean $b)"
  clic_grande 822 676
  sleep 0.3
  clic_grande 308 336
  esperar_fin "$pid" 30
  [ "$ESTADO" -eq 0 ] || fallo "[$grupo] ended with status $ESTADO: $(cat "$TMP/error")"
  [ -f "$carpeta/cfg.dat" ] || fallo "no cfg.dat in $carpeta"
  [ "$(stat -c %u "$carpeta/cfg.dat")" = "$USUARIO" ] || fallo "cfg.dat does not belong to the player"
}

# Starts the editor from its desktop entry as the player $1 runs things
# (with the entry at $2): its version, its window tied to the entry by the
# class the entry names, its board on the screen; then its Exit button
# (the Spanish layout: a fresh player has no cfg.dat) ends it with status 0.
probar_editor() {
  local ejecutar=$1 entrada=$2 orden clase b= _
  orden=$(awk '/^\[/ {dentro = ($0 == "[Desktop Entry]")} dentro && /^Exec=/ {sub(/^Exec=/, ""); gsub(/ %[fFuU]/, ""); print}' "$entrada")
  [ -n "$orden" ] || fallo "no Exec line in the editor's entry"
  salida=$($ejecutar sh -c "$orden --version" 2>&1) || fallo "the installed editor's --version failed: $salida"
  [ "$salida" = "fotonauta-editor $(dpkg-deb -f "$DEB" Version)" ] || fallo "the installed editor's --version: $salida"
  echo "starting the editor: $orden"
  $ejecutar sh -c "$orden" 2>"$TMP/error" &
  pid=$!
  esperar_ventana
  origen_ventana
  clase=$(awk -F= '$1 == "StartupWMClass" {print $2; exit}' "$entrada")
  [ "$clase" = Fotonauta-editor ] || fallo "the editor's entry names the class '$clase'"
  [ -n "$(xdotool search --class "^$clase\$" 2>/dev/null)" ] || fallo "no editor window of class $clase"
  for _ in $(seq 100); do
    capturar paquete_editor
    b=$(brillo paquete_editor)
    awk -v b="$b" 'BEGIN {exit !(b > 0.02)}' && break
    sleep 0.2
  done
  awk -v b="$b" 'BEGIN {exit !(b > 0.02)}' || fallo "the editor's screen stayed black (mean $b)"
  clic 968 700
  esperar_fin "$pid" 30
  [ "$ESTADO" -eq 0 ] || fallo "the editor ended with status $ESTADO: $(cat "$TMP/error")"
}

# A player's PATH on Debian, which holds the games.
RUTA_JUGADOR=/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games

BASE=$CONSTRUCCION/raiz_debian12.tar
ESPEJO=$(sed -n 's/^URIs: *\(http[^ ]*\/debian\)$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
ESPEJO=${ESPEJO:-http://deb.debian.org/debian}
if [ ! -s "$BASE" ] && command -v debootstrap >/dev/null; then
  echo "making a minimal Debian 12 root from $ESPEJO (a few minutes)"
  if debootstrap --variant=minbase bookworm "$TMP/base" "$ESPEJO" >"$TMP/debootstrap.log" 2>&1; then
    tar -C "$TMP/base" -cf "$BASE.parcial" . && mv "$BASE.parcial" "$BASE"
  else
    echo "debootstrap failed: $(tail -n 5 "$TMP/debootstrap.log")"
  fi
  rm -rf "$TMP/base"
fi

if [ -s "$BASE" ]; then
  RAIZ=$TMP/raiz
  mkdir "$RAIZ"
  tar -C "$RAIZ" -xf "$BASE"
  mount -t proc proc "$RAIZ/proc"
  # Detached even when busy, so that removing the root never reaches /proc.
  desmontar() { kill $(jobs -p) 2>/dev/null; umount -l "$RAIZ/proc" && limpiar; }
  trap desmontar EXIT
  cp /etc/resolv.conf "$RAIZ/etc/resolv.conf"
  cp "$DEB" "$DEB_SERVIDOR" "$RAIZ/tmp/"
  dentro() { chroot "$RAIZ" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
  dentro apt-get update -q >"$TMP/apt.log" 2>&1 || fallo "apt-get update in the clean root: $(tail -n 5 "$TMP/apt.log")"
  dentro apt-get install -y -q --no-install-recommends "/tmp/$(basename "$DEB")" "/tmp/$(basename "$DEB_SERVIDOR")" \
    >>"$TMP/apt.log" 2>&1 || fallo "the packages did not install on a clean Debian 12: $(tail -n 20 "$TMP/apt.log")"
  echo "installed in a clean root with: $(grep -c '^Setting up' "$TMP/apt.log") packages set up"
  salida=$(dentro /usr/games/fotonauta --version)
  [ "$salida" = "fotonauta $(dpkg-deb -f "$DEB" Version)" ] || fallo "the installed game's --version: $salida"
  probar_servidor dentro
  dentro useradd -m jugador
  USUARIO=$(dentro id -u jugador)
  ENTRADA=$RAIZ/usr/share/applications/fotonauta.desktop
  como_jugador="chroot --userspec=jugador:jugador $RAIZ env -i PATH=$RUTA_JUGADOR HOME=/home/jugador DISPLAY=$DISPLAY"
  probar_entrada "Desktop Entry" paquete_ventana "$como_jugador" "$RAIZ/home/jugador"
  probar_entrada "Desktop Action pantalla-completa" paquete_pantalla_completa "$como_jugador" "$RAIZ/home/jugador"
  probar_editor "$como_jugador" "$RAIZ/usr/share/applications/fotonauta-editor.desktop"
  dentro apt-get remove -y -q fotonauta fotonauta-servidor >>"$TMP/apt.log" 2>&1 || fallo "apt-get remove failed"
  [ ! -e "$RAIZ/usr/share/games/fotonauta" ] && [ ! -e "$RAIZ/usr/games/fotonauta" ] &&
    [ ! -e "$RAIZ/usr/bin/fotonauta-servidor" ] || fallo "files left after removal"
  echo "ok: installed with their Depends on a clean Debian 12, the game started from both Exec lines and the editor from its entry as a user, the server's version, removed"
else
  echo "no clean root could be made: installing on this machine instead"
  for p in fotonauta fotonauta-servidor; do
    ! dpkg-query -W "$p" >/dev/null 2>&1 || fallo "$p is already installed here; not touching it"
  done
  quitar() { kill $(jobs -p) 2>/dev/null; dpkg -r fotonauta fotonauta-servidor >/dev/null 2>&1 || true; limpiar; }
  trap quitar EXIT
  apt-get install -y -q --no-install-recommends "./$DEB" "./$DEB_SERVIDOR" >"$TMP/apt.log" 2>&1 ||
    fallo "install: $(tail -n 20 "$TMP/apt.log")"
  probar_servidor env PATH=/usr/bin:/bin
  ENTRADA=/usr/share/applications/fotonauta.desktop
  mkdir -p "$TMP/hogar"
  USUARIO=$(id -u)
  probar_entrada "Desktop Entry" paquete_ventana "env -u XDG_DATA_HOME PATH=$RUTA_JUGADOR HOME=$TMP/hogar" "$TMP/hogar"
  probar_entrada "Desktop Action pantalla-completa" paquete_pantalla_completa "env -u XDG_DATA_HOME PATH=$RUTA_JUGADOR HOME=$TMP/hogar" "$TMP/hogar"
  probar_editor "env -u XDG_DATA_HOME PATH=$RUTA_JUGADOR HOME=$TMP/hogar" /usr/share/applications/fotonauta-editor.desktop
  dpkg -r fotonauta fotonauta-servidor >/dev/null
  [ ! -e /usr/share/games/fotonauta ] && [ ! -e /usr/bin/fotonauta-servidor ] || fallo "files left after removal"
  echo "ok (this machine, not a clean root): installed, the game started from both Exec lines and the editor from its entry, the server's version, removed"
fi
