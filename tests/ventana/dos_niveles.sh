# The first two levels played to a win in the real window, as a player
# would with the mouse: the solver's plan says which mirror to set to which
# angle; the board is read from the window to know how far to turn. Then
# level 03's lives are thrown away, and the game ends through the name
# entry. Every step waits for what the window shows.
AQUI=$(cd "$(dirname "$0")" && pwd)
source "$AQUI/comun.sh"
source "$AQUI/jugar.sh"
PREFIJO=dos_niveles

iniciar_xvfb
preparar_directorio
cd "$JUEGO_DIR"
# Spanish, full volumes, no level won yet: Play starts level 01 at once.
printf '\000\144\144\000' >cfg.dat
rm -f pnt.txt
arrancar "$CONSTRUCCION/fotonauta"
origen_ventana

esperar 30 "the main menu after the intro" pasar_intro
paso "menu"
clic_hasta 15 sin_menu 6 676 || fallo "Play in the menu started no game"
esperar_nivel "level 01"
capturar dos_niveles_1_inicio
# Level 01's re-emitters answer by chance and this player is slower than
# the solver: a level whose energy runs out first is played again.
ganar_nivel 0 dos_niveles_1 3
paso "level 01 won"
esperar_siguiente_nivel "level 02"
capturar dos_niveles_2_inicio
ganar_nivel 1 dos_niveles_2 3
paso "level 02 won"

# Level 03: its last mirror set straight across the beam throws it back,
# and the overload takes the three lives one after another.
esperar_siguiente_nivel "level 03"
for vida in 1 2 3; do
  mirar vida
  cifra_vidas vida "vidas_03_$vida"
  poner_espejo 119 0
  xdotool mousemove $((OX + 512)) $((OY + 700))
  perdida() { tablero_gris || vidas_cambiadas "vidas_03_$vida"; }
  esperar 30 "level 03: life $vida lost to the overload" perdida
  paso "level 03: life $vida lost"
  tablero_gris && break
  esperar_nivel "level 03 after losing life $vida"
done
esperar 15 "the game-over screen" tablero_gris
capturar dos_niveles_fin_de_partida

# Two levels' points: the name entry, left empty with "fin" (which enters
# no row and goes back to the menu), and out with "Sí".
clic_hasta 15 fondo_negro 30 676 || fallo "Exit on the game-over screen led to no name entry"
clic_loseta 736 384
tras_nombre() { tabla || en_menu; }
esperar 10 "the table or the menu after the name entry" tras_nombre
if tabla; then
  clic_grande 618 676
  esperar 10 "the menu after the table" en_menu
fi
clic_grande 822 676
esperar 10 "the quit box" caja
clic_grande 308 336
esperar_fin "$pid" 20
[ "$ESTADO" -eq 0 ] || fallo "exit status $ESTADO: $(cat "$TMP/error")"
echo "ok: levels 01 and 02 won in the real window"
