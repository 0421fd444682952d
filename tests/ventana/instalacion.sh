# The installation as a player gets it: the files `cmake --install` puts
# under a staging root, and the launcher, which runs the game in the
# player's own folder, made and repaired on every run, leaving the player's
# settings and scores alone.
AQUI=$(cd "$(dirname "$0")" && pwd)
source "$AQUI/comun.sh"
# A game still running when a check fails is ended with the test.
terminar() { kill $(jobs -p) 2>/dev/null; limpiar; }
trap terminar EXIT

cd "$TMP"
RAIZ=$TMP/raiz
DESTDIR=$RAIZ cmake --install "$CONSTRUCCION" --prefix /usr >/dev/null
USR=$RAIZ/usr
DATOS=$USR/share/games/fotonauta

# ---- The files ----
esperados="usr/bin/fotonauta-servidor
usr/games/fotonauta
usr/games/fotonauta-editor
usr/games/fotonauta-pantalla-completa
usr/lib/systemd/system/fotonauta-servidor.service
usr/libexec/fotonauta/fotonauta
usr/libexec/fotonauta/fotonauta-editor
usr/libexec/fotonauta/fotonauta_dll
usr/share/applications/fotonauta-editor.desktop
usr/share/applications/fotonauta.desktop
usr/share/doc/fotonauta-servidor/changelog.gz
usr/share/doc/fotonauta-servidor/copyright
usr/share/doc/fotonauta/changelog.gz
usr/share/doc/fotonauta/copyright
usr/share/games/fotonauta/fuentes.dat
usr/share/games/fotonauta/grf.dat
usr/share/games/fotonauta/intro.dat
usr/share/games/fotonauta/msc.dat
usr/share/games/fotonauta/snd.dat
usr/share/icons/hicolor/128x128/apps/fotonauta-editor.png
usr/share/icons/hicolor/128x128/apps/fotonauta.png
usr/share/icons/hicolor/256x256/apps/fotonauta-editor.png
usr/share/icons/hicolor/256x256/apps/fotonauta.png
usr/share/icons/hicolor/48x48/apps/fotonauta-editor.png
usr/share/icons/hicolor/48x48/apps/fotonauta.png
usr/share/man/man6/fotonauta-editor.6.gz
usr/share/man/man6/fotonauta-pantalla-completa.6.gz
usr/share/man/man6/fotonauta.6.gz
usr/share/man/man8/fotonauta-servidor.8.gz
usr/share/metainfo/org.example.fotonauta.editor.metainfo.xml
usr/share/metainfo/org.example.fotonauta.metainfo.xml
usr/share/mime/packages/fotonauta.xml"
instalados=$(cd "$RAIZ" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
[ "$instalados" = "$esperados" ] || fallo "installed files differ: $(diff <(echo "$esperados") <(echo "$instalados"))"
for f in games/fotonauta games/fotonauta-pantalla-completa games/fotonauta-editor libexec/fotonauta/fotonauta \
  libexec/fotonauta/fotonauta_dll libexec/fotonauta/fotonauta-editor; do
  [ -x "$USR/$f" ] || fallo "$f is not executable"
done
# Every program goes without the compiler's notes, as Debian ships them.
[ -x "$USR/bin/fotonauta-servidor" ] || fallo "bin/fotonauta-servidor is not executable"
for f in "$USR"/libexec/fotonauta/* "$USR"/bin/*; do
  ! readelf -S -W "$f" | grep -q ' \.comment ' || fallo "${f#"$USR"/} keeps its .comment section"
done
for f in grf.dat fuentes.dat intro.dat msc.dat snd.dat; do
  cmp -s "$DATOS/$f" "$CONSTRUCCION/datos/$f" || fallo "the installed $f is not the one built"
done
for lado in 48 128 256; do
  medida=$(identify -format '%wx%h %[channels]' "$USR/share/icons/hicolor/${lado}x$lado/apps/fotonauta.png")
  [ "$medida" = "${lado}x$lado srgba" ] || fallo "the ${lado} px icon is $medida"
done
# The icon's corners are see-through, its middle is not.
esquina=$(convert "$USR/share/icons/hicolor/256x256/apps/fotonauta.png" -format '%[fx:p{1,1}.a] %[fx:p{128,128}.a]' info:)
[ "$esquina" = "0 1" ] || fallo "icon alpha at a corner and the middle: $esquina"
desktop-file-validate "$USR/share/applications/fotonauta.desktop" || fallo "the desktop entry is not valid"
# The main entry's Exec line opens the recordings and the level links it
# lists too.
grep -qx 'Exec=fotonauta %u' "$USR/share/applications/fotonauta.desktop" ||
  fallo "the desktop entry runs something else"
grep -qx 'MimeType=application/x-fotonauta-repeticion;x-scheme-handler/fotonauta;' "$USR/share/applications/fotonauta.desktop" ||
  fallo "the desktop entry does not open recordings and level links"
for orden in $(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$USR/share/applications/fotonauta.desktop"); do
  [ -x "$USR/games/$orden" ] || fallo "the desktop entry runs $orden, which is not installed"
done
grep -qx 'Icon=fotonauta' "$USR/share/applications/fotonauta.desktop" || fallo "the desktop entry names another icon"
# The editor's entry, with an icon of its own, the same size as the game's.
desktop-file-validate "$USR/share/applications/fotonauta-editor.desktop" || fallo "the editor's desktop entry is not valid"
grep -qx 'Exec=fotonauta-editor %f' "$USR/share/applications/fotonauta-editor.desktop" ||
  fallo "the editor's desktop entry runs something else"
grep -qx 'Icon=fotonauta-editor' "$USR/share/applications/fotonauta-editor.desktop" ||
  fallo "the editor's desktop entry names another icon"
cmp -s "$USR/share/icons/hicolor/256x256/apps/fotonauta.png" "$USR/share/icons/hicolor/256x256/apps/fotonauta-editor.png" &&
  fallo "the editor's icon is the game's"
[ "$(identify -format '%wx%h' "$USR/share/icons/hicolor/48x48/apps/fotonauta-editor.png")" = 48x48 ] ||
  fallo "the editor's 48 px icon has another size"
for pagina in man6/fotonauta man6/fotonauta-pantalla-completa man6/fotonauta-editor man8/fotonauta-servidor; do
  avisos=$(cd "$USR/share/man" && MANWIDTH=80 man -l "$pagina.${pagina:3:1}.gz" 2>&1 >/dev/null)
  [ -z "$avisos" ] || fallo "the manual page $pagina: $avisos"
done

# ---- The player's folder, without a display ----
# The game cannot run, but the launcher still prepares the folder, and
# passes the game's exit status and message on.
hogar=$TMP/hogar
mkdir -p "$hogar"
lanzar() {
  env -u DISPLAY -u XDG_DATA_HOME HOME="$hogar" "$@" 2>"$TMP/error" && ESTADO=0 || ESTADO=$?
}

# Asked its version, the launcher passes the question on and prepares nothing.
lanzar XDG_DATA_HOME="$TMP/xdg" "$USR/games/fotonauta-pantalla-completa" --version
[ "$ESTADO" -eq 0 ] || fallo "--version through the launcher ended with $ESTADO: $(cat "$TMP/error")"
[ ! -e "$TMP/xdg" ] || fallo "--version made the player's folder"

lanzar XDG_DATA_HOME="$TMP/xdg" "$USR/games/fotonauta"
[ "$ESTADO" -eq 255 ] || fallo "without a display the launcher ended with $ESTADO"
grep -q 'Could not set any video mode.' "$TMP/error" || fallo "the game's message did not come through: $(cat "$TMP/error")"
[ -d "$TMP/xdg/fotonauta" ] && [ -z "$(ls -A "$TMP/xdg/fotonauta")" ] ||
  fallo "the player's folder was not made empty: $(ls -A "$TMP/xdg/fotonauta" 2>&1)"
[ ! -e "$hogar/.local" ] || fallo "with XDG_DATA_HOME set, the launcher wrote under HOME"

# The command a level's page gives, run from any folder: the ID reaches
# the game as an ID, not as a file of that folder.
mkdir -p "$TMP/otra_carpeta"
cd "$TMP/otra_carpeta"
lanzar XDG_DATA_HOME="$TMP/xdg" "$USR/games/fotonauta" --nivel 4a5a2bcb4e0715e5
cd "$TMP"
[ "$ESTADO" -eq 255 ] && grep -q 'Could not set any video mode.' "$TMP/error" ||
  fallo "--nivel ID through the launcher from another folder: status $ESTADO, $(cat "$TMP/error")"

# A relative XDG_DATA_HOME is ignored, as the XDG rules say.
carpeta=$hogar/.local/share/fotonauta
lanzar XDG_DATA_HOME=relativa "$USR/games/fotonauta-pantalla-completa"
[ "$ESTADO" -eq 255 ] || fallo "the full-screen launcher ended with $ESTADO"
[ -d "$carpeta" ] || fallo "no player's folder under HOME"
[ ! -e relativa ] || fallo "a relative XDG_DATA_HOME was used"

# The links to the data files an earlier version made go, as do those to
# another installation's; a player's own copy stays. Settings and scores
# are left exactly as they were, even when they are links themselves.
for f in grf.dat fuentes.dat; do ln -s "$DATOS/$f" "$carpeta/$f"; done
ln -s "$TMP/otra/share/games/fotonauta/msc.dat" "$carpeta/msc.dat"
echo "una copia propia" >"$carpeta/intro.dat"
printf '\001\120\060\003' >"$carpeta/cfg.dat"
printf '#%-28s %-12s\r\n' "ANA            12345" "ABCDEFGHIJKL" >"$TMP/pnt_propio.txt"
ln -s "$TMP/pnt_propio.txt" "$carpeta/pnt.txt"
antes=$(stat -c '%i %s %Y %N' "$carpeta/cfg.dat" "$carpeta/pnt.txt" "$TMP/pnt_propio.txt" "$carpeta/intro.dat"
  md5sum "$carpeta/cfg.dat" "$TMP/pnt_propio.txt")
sleep 1  # so a rewrite would show in the modification time
lanzar "$USR/games/fotonauta"
[ "$ESTADO" -eq 255 ] || fallo "the tidying run ended with $ESTADO"
[ "$(ls -A "$carpeta" | LC_ALL=C sort | xargs)" = "cfg.dat intro.dat pnt.txt" ] ||
  fallo "the old links were not taken away, or more: $(ls -lA "$carpeta")"
for f in grf.dat fuentes.dat intro.dat msc.dat snd.dat; do
  cmp -s "$DATOS/$f" "$CONSTRUCCION/datos/$f" || fallo "the installed $f was changed"
done
despues=$(stat -c '%i %s %Y %N' "$carpeta/cfg.dat" "$carpeta/pnt.txt" "$TMP/pnt_propio.txt" "$carpeta/intro.dat"
  md5sum "$carpeta/cfg.dat" "$TMP/pnt_propio.txt")
[ "$antes" = "$despues" ] || fallo "cfg.dat, pnt.txt or the player's intro.dat changed: $antes / $despues"
rm "$carpeta/intro.dat"

# A folder that cannot be made: the launcher says so and does not start
# the game.
rm -rf "$hogar/.local"
mkdir -p "$hogar/.local"
touch "$hogar/.local/share"
lanzar "$USR/games/fotonauta"
[ "$ESTADO" -eq 1 ] || fallo "with no folder possible the launcher ended with $ESTADO"
grep -q "cannot use the folder $hogar/.local/share/fotonauta" "$TMP/error" || fallo "no message: $(cat "$TMP/error")"
! grep -q 'video mode' "$TMP/error" || fallo "the game was started without its folder"
rm -rf "$hogar/.local"

# ---- The game through the launcher, in a window ----
iniciar_xvfb
# The middle of a large button (192 x 56).
source "$(dirname "$0")/jugar.sh"

# Started from a desktop menu, the same failure is shown in a message box;
# the launcher ends once the player has closed it.
mkdir -p "$hogar/.local"
touch "$hogar/.local/share"
HOME=$hogar "$USR/games/fotonauta" 2>"$TMP/error" &
pid=$!
caja=
for _ in $(seq 300); do
  caja=$(xdotool search --name '^xmessage$' 2>/dev/null | head -n 1) && [ -n "$caja" ] && break
  sleep 0.1
done
[ -n "$caja" ] || fallo "no message box in 30 s when the folder cannot be made"
kill -0 "$pid" 2>/dev/null || fallo "the launcher did not wait for the message box to be closed"
xdotool windowkill "$caja"
esperar_fin "$pid" 10
[ "$ESTADO" -eq 1 ] || fallo "after the message box the launcher ended with $ESTADO"
rm -rf "$hogar/.local"

# First run: the folder is made, the game finds its data files in its
# installation, shows its black hold, asks the language and writes its
# settings into the player's folder.
HOME=$hogar "$USR/games/fotonauta" 2>"$TMP/error" &
pid=$!
esperar_ventana
# At once (milliseconds), well within the hold's 38 frames.
instantanea "$CAPTURAS/instalacion_negro.png"
b=$(brillo instalacion_negro)
awk -v b="$b" 'BEGIN {exit !(b == 0)}' || fallo "the screen was not black during the hold (mean $b)"
origen_ventana
esperar 30 "the language question" pregunta
clic_grande 308 336   # "Español"
esperar 5 "cfg.dat after the language question" test -f "$carpeta/cfg.dat"
[ ! -L "$carpeta/cfg.dat" ] || fallo "the game did not write cfg.dat in the player's folder"
esperar 30 "the menu after the intro" pasar_intro
clic_grande 822 676   # Exit
esperar 10 "the quit box" caja
clic_grande 308 336   # "Sí"
esperar_fin "$pid" 20
[ "$ESTADO" -eq 0 ] || fallo "the first run ended with status $ESTADO: $(cat "$TMP/error")"

# Second run, as ./play starts the game it builds, with the player's scores
# there too: the same folder, so no language question, and both files come
# through untouched; the way out gives status 0 through the launcher.
printf '#%-28s %-12s\r\n' "LUIS           54321" "LKJIHGFEDCBA" >"$carpeta/pnt.txt"
antes=$(stat -c '%i %s %Y' "$carpeta/cfg.dat" "$carpeta/pnt.txt"; md5sum "$carpeta/cfg.dat" "$carpeta/pnt.txt")
sleep 1
HOME=$hogar sh "$CONSTRUCCION/jugar/fotonauta" 2>"$TMP/error" &
pid=$!
esperar_ventana
origen_ventana
esperar 30 "the menu after the intro" pasar_intro
capturar instalacion_menu
clic_grande 822 676
esperar 10 "the quit box" caja
clic_grande 308 336
esperar_fin "$pid" 20
[ "$ESTADO" -eq 0 ] || fallo "the second run ended with status $ESTADO: $(cat "$TMP/error")"
despues=$(stat -c '%i %s %Y' "$carpeta/cfg.dat" "$carpeta/pnt.txt"; md5sum "$carpeta/cfg.dat" "$carpeta/pnt.txt")
[ "$antes" = "$despues" ] || fallo "cfg.dat or pnt.txt changed in the second run: $antes / $despues"
[ "$(ls -A "$carpeta" | LC_ALL=C sort | xargs)" = "cfg.dat pnt.txt" ] ||
  fallo "the player's folder holds: $(ls -A "$carpeta")"

# ---- A recording opened from the desktop ----
# As the system's triggers leave the installation: the file types and the
# entries' types gathered. A recording is then known by its ending and, a
# browser's download without it, by its first bytes; opening either runs
# the game's entry, which shows it, in the player's folder.
# The player is the one of the runs above, with the settings they chose.
escritorio() {
  env -u XDG_DATA_HOME PATH="$USR/games:$PATH" XDG_DATA_DIRS="$USR/share" XDG_CONFIG_HOME="$TMP/escritorio" \
    XDG_CONFIG_DIRS="$TMP/escritorio" HOME="$hogar" "$@"
}
escritorio update-mime-database "$USR/share/mime"
escritorio update-desktop-database "$USR/share/applications"
cp "$AQUI/../repeticiones/abandonada.frep" "$TMP/partida.frep"
cp "$AQUI/../repeticiones/abandonada.frep" "$TMP/descarga"
for f in partida.frep descarga; do
  tipo=$(escritorio gio info -a standard::content-type "$TMP/$f" | sed -n 's/.*content-type: //p')
  [ "$tipo" = application/x-fotonauta-repeticion ] || fallo "$f is taken for $tipo"
done
[ "$(escritorio gio mime application/x-fotonauta-repeticion | head -n 1)" = \
  "Default application for “application/x-fotonauta-repeticion”: fotonauta.desktop" ] ||
  fallo "recordings do not open with the game: $(escritorio gio mime application/x-fotonauta-repeticion)"
# gio hands the file to the entry and returns: the game is no child here.
pid=
escritorio gio open "$TMP/descarga" 2>"$TMP/error"
esperar_ventana
origen_ventana
esperar 30 "the recording opened from the desktop on screen" rotulo_repeticion
capturar instalacion_repeticion
xdotool key Escape
for _ in $(seq 200); do
  [ -z "$(ventana_juego)" ] && break
  sleep 0.05
done
[ -z "$(ventana_juego)" ] || fallo "Esc did not end the watching"
[ "$(ls -A "$carpeta" | LC_ALL=C sort | xargs)" = "cfg.dat pnt.txt" ] ||
  fallo "watching a recording left in the player's folder: $(ls -A "$carpeta")"

# ---- A level link opened from the desktop ----
# As a browser hands the page's Play link over: the link reaches the game
# whole, through the launcher, in the player's folder. With no server to
# answer it says so in its window, and keeps nothing.
[ "$(escritorio gio mime x-scheme-handler/fotonauta | head -n 1)" = \
  "Default application for “x-scheme-handler/fotonauta”: fotonauta.desktop" ] ||
  fallo "level links do not open with the game: $(escritorio gio mime x-scheme-handler/fotonauta)"
sin_servidor=127.0.0.1:$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
escritorio FOTONAUTA_SERVIDOR="$sin_servidor" gio open fotonauta://nivel/0123456789ABCDEF 2>"$TMP/error"
esperar_ventana
origen_ventana
sin_nivel() { mirar sin_nivel && mayor "$(claridad sin_nivel 192x56+416+676)" 0.2; }
esperar 30 "the level link's answer on screen" sin_nivel
capturar instalacion_enlace
clic_grande 416 676
for _ in $(seq 200); do
  [ -z "$(ventana_juego)" ] && break
  sleep 0.05
done
[ -z "$(ventana_juego)" ] || fallo "Exit did not end the game opened from a link"
grep -q "the server $sin_servidor could not be reached (cannot connect to $sin_servidor: .*); no copy kept in $carpeta/comunidad/0123456789abcdef.txt" "$TMP/error" ||
  fallo "the game opened from a link said: $(cat "$TMP/error")"
[ "$(ls -A "$carpeta" | LC_ALL=C sort | xargs)" = "cfg.dat pnt.txt" ] ||
  fallo "a level link left in the player's folder: $(ls -A "$carpeta")"
echo "ok: installed files, the player's folder made, repaired and kept, two runs of the game, a recording and a level link opened from the desktop"
