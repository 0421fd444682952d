# What a distribution checks before it takes our packages, on every .deb
# CPack builds: lintian reports no error and no warning, and no
# informational tag but those accepted below; the AppStream metadata, the
# desktop entries, the manual pages, the copyright and the changelog are
# valid; and every command answers --version with the one version of the
# build. Needs no root and no display: about half a minute.
set -euo pipefail
CONSTRUCCION=$1
TMP=$(mktemp -d /tmp/fotonauta-revision-XXXXXX)
trap 'rm -rf "$TMP"' EXIT
fallo() {
  echo "FALLO: $*" >&2
  exit 1
}

# Informational tags left on purpose, by tag name:
# - arch-dep-package-has-big-usr-share: the data files (8.6 MB) ship with the
#   programs; a separate architecture-independent data package would save
#   mirror space, at the cost of a second package to install and test.
# - package-supports-alternative-init-but-no-init.d-script: the score
#   server's service runs it as a user made for it (DynamicUser), keeps the
#   table in a state folder made for that user, and lends it only the right
#   to bind port 80; an init.d script can say none of that without a system
#   user and a capability on the program set up by maintainer scripts, and
#   would run a network server as root. Under another init the operator
#   starts the program as the manual page shows, which Debian allows.
ACEPTADAS="arch-dep-package-has-big-usr-share package-supports-alternative-init-but-no-init.d-script"
# And for the score server alone:
# - spelling-error-in-binary: its program carries the browser pages' game
#   module and art, gzipped, and lintian reads words ("YUr") in packed
#   bytes; the server's own texts are spelt as the other programs' are.
ACEPTADAS_SERVIDOR="spelling-error-in-binary"

cd "$CONSTRUCCION"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' CMakeCache.txt)
[ -n "$version" ] || fallo "no project version in CMakeCache.txt"
rm -rf paquete
# Each package has its settings: CPackConfig.cmake for the game's, and a
# CPackConfig<Name>.cmake for each other one.
for ajustes in CPackConfig*.cmake; do
  cpack --config "$ajustes" >"$TMP/cpack.log" 2>&1 || fallo "cpack --config $ajustes failed: $(tail -n 20 "$TMP/cpack.log")"
done
paquetes=(paquete/*.deb)
[ -e "${paquetes[0]}" ] || fallo "cpack built no package"

for deb in "${paquetes[@]}"; do
  nombre=$(dpkg-deb -f "$deb" Package)
  echo "== $nombre ($deb)"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fallo "$nombre: version $(dpkg-deb -f "$deb" Version), not $version"

  # The score server plays recordings through the game's rules, and still
  # needs no display, sound or music library, nor the game's HTTP client.
  if [ "$nombre" = fotonauta-servidor ]; then
    depende=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depende"
    ! grep -qiE 'alleg|libx|xcb|asound|pulse|openmpt|curl|x11-utils' <<<"$depende" ||
      fallo "$nombre depends on a display, sound or HTTP client library: $depende"
    for necesaria in zlib1g libsqlite3 libpq5; do
      grep -q "$necesaria" <<<"$depende" || fallo "$nombre does not depend on $necesaria: $depende"
    done
  fi

  # lintian as a distribution runs it, every tag shown.
  lintian --pedantic --display-info --display-experimental "$deb" >"$TMP/lintian" 2>&1 || true
  grep -v '^running with root privileges' "$TMP/lintian" || true
  ! grep -q '^[EW]: ' "$TMP/lintian" || fallo "$nombre: lintian reports errors or warnings"
  while read -r _ _ etiqueta _; do
    aceptadas=$ACEPTADAS
    [ "$nombre" != fotonauta-servidor ] || aceptadas="$ACEPTADAS $ACEPTADAS_SERVIDOR"
    [[ " $aceptadas " == *" $etiqueta "* ]] || fallo "$nombre: lintian tag $etiqueta is not among the accepted ones"
  done < <(grep '^[IPX]: ' "$TMP/lintian")

  raiz=$TMP/$nombre
  dpkg-deb -x "$deb" "$raiz"
  doc=$raiz/usr/share/doc/$nombre

  # The copyright, machine-readable, naming our licence.
  [ "$(head -n 1 "$doc/copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
    fallo "$nombre: the copyright file is not machine-readable"
  grep -q '^License: GPL-3+$' "$doc/copyright" || fallo "$nombre: the copyright file names no licence for the code"
  # The changelog's newest entry is this version.
  zcat "$doc/changelog.gz" >"$TMP/changelog"
  [ "$(dpkg-parsechangelog -l "$TMP/changelog" -S Version)" = "$version" ] || fallo "$nombre: the changelog's newest entry is not $version"

  # AppStream: each file, and the tree with its desktop entries and icons.
  for meta in "$raiz"/usr/share/metainfo/*.xml; do
    [ -e "$meta" ] || continue
    appstreamcli validate --pedantic --no-net "$meta" || fallo "$nombre: $(basename "$meta") is not valid"
    grep -q "<release version=\"$version\"" "$meta" || fallo "$nombre: $(basename "$meta") does not list release $version"
  done
  if compgen -G "$raiz/usr/share/metainfo/*.xml" >/dev/null; then
    appstreamcli validate-tree --pedantic --no-net "$raiz" || fallo "$nombre: the AppStream tree is not valid"
  fi

  # Desktop entries: valid, and each ties its windows to it by class.
  for entrada in "$raiz"/usr/share/applications/*.desktop; do
    [ -e "$entrada" ] || continue
    desktop-file-validate "$entrada" || fallo "$nombre: $(basename "$entrada") is not valid"
    grep -q '^StartupWMClass=.' "$entrada" || fallo "$nombre: $(basename "$entrada") names no StartupWMClass"
  done

  # Every command: a manual page that renders cleanly and lists --version,
  # and --version prints this version (without a display, touching nothing).
  for programa in "$raiz"/usr/games/* "$raiz"/usr/bin/* "$raiz"/usr/sbin/*; do
    [ -e "$programa" ] || continue
    orden=$(basename "$programa")
    # From the manual's root, where a page that includes another finds it.
    pagina=$(cd "$raiz/usr/share/man" && compgen -G "man[168]/$orden.[168].gz" | head -n 1) ||
      fallo "$nombre: $orden has no manual page"
    avisos=$(cd "$raiz/usr/share/man" && MANWIDTH=80 man -l "$pagina" 2>&1 >"$TMP/pagina") ||
      fallo "$nombre: man $orden failed: $avisos"
    [ -z "$avisos" ] || fallo "$nombre: the manual page of $orden: $avisos"
    grep -q -- '--version' "$TMP/pagina" || fallo "$nombre: the manual page of $orden does not list --version"
    salida=$(env -u DISPLAY HOME="$TMP/hogar" "$programa" --version 2>&1) || fallo "$nombre: $orden --version failed: $salida"
    [[ "$salida" == *" $version" ]] || fallo "$nombre: $orden --version printed '$salida'"
  done
done
echo "ok: ${#paquetes[@]} package(s) of version $version pass lintian, appstreamcli and desktop-file-validate"
