# The first two levels played to a win in the real window, as a player
# would with the mouse: the solver's plan says which mirror to set to which
# angle; the board is read from the window to know how far to turn. Every
# step waits for what the window shows.
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
clic_grande 6 676
esperar 15 "a game after Play in the menu" sin_menu
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

# Level 03 has started: the game is left through the panel's Exit and
# "Sí", and the program through the menu's (the name entry and the game
# lost to the end are played by ventana_puntuaciones).
esperar_siguiente_nivel "level 03"
capturar dos_niveles_3_inicio
clic_grande 30 707
esperar 10 "the quit box over level 03" caja
clic_grande 308 336
esperar 15 "the menu after leaving the game" en_menu
clic_grande 822 676
esperar 10 "the quit box" caja
clic_grande 308 336
esperar_fin "$pid" 20
[ "$ESTADO" -eq 0 ] || fallo "exit status $ESTADO: $(cat "$TMP/error")"
echo "ok: levels 01 and 02 won in the real window"
