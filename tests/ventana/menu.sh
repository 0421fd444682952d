# The real program as a new player meets it, from an empty folder: the
# language question, the intro, the menu, the options, a game left through
# Exit, and the program left through Exit with "Sí".
source "$(dirname "$0")/comun.sh"

iniciar_xvfb
preparar_directorio
cd "$JUEGO_DIR"
# Only the five data files: the tests leave settings in the data folder.
rm -f cfg.dat
[ ! -e cfg.dat ] || fallo "the run folder already holds cfg.dat"
arrancar "$CONSTRUCCION/fotonauta"
origen_ventana
# The middle of a large button (192 x 56) and of a tile button (64 x 64).
clic_grande() { clic $(($1 + 96)) $(($2 + 28)); }
clic_loseta() { clic $(($1 + 32)) $(($2 + 32)); }
# Fraction of a screenshot's pixels that are not black, in a region.
no_negro() {
  convert "$CAPTURAS/$1.png" -crop "$2" -colorspace Gray -threshold 3% -format '%[fx:mean]' info:
}

# The language question after the black hold.
sleep 1.6
capturar menu_1_idioma
clic_grande 308 336
[ -f cfg.dat ] || fallo "no cfg.dat after the language question"
[ "$(od -An -tu1 cfg.dat | xargs)" = "0 100 100 0" ] || fallo "cfg.dat after the question: $(od -An -tu1 cfg.dat)"

# The intro: fades (1.75 s), then the picture, cut short by a click.
sleep 2.5
capturar menu_2_intro
clic 512 384
sleep 2.4
capturar menu_3_principal
# The credits' first page has come in; particles spray in the field.
sleep 0.8
capturar menu_4_creditos
awk -v b="$(no_negro menu_4_creditos 900x200+62+380)" 'BEGIN {exit !(b > 0.01)}' || fallo "no credits or particles"

# Options: sound "--" twice, music "-" once, the language, Exit.
clic_grande 618 676
sleep 0.3
clic_loseta 288 160
clic_loseta 288 160
clic_loseta 352 352
clic_grande 582 484
sleep 0.3
capturar menu_5_opciones
[ "$(od -An -tu1 cfg.dat | xargs)" = "0 100 100 0" ] || fallo "cfg.dat written before leaving the options"
clic_grande 416 676
sleep 0.3
[ "$(od -An -tu1 cfg.dat | xargs)" = "1 80 99 0" ] || fallo "cfg.dat after the options: $(od -An -tu1 cfg.dat)"
capturar menu_6_ingles

# A game, left through Exit and "Yes".
clic_grande 6 676
# The level's start runs 245 frames (6.1 s) before the panel answers.
sleep 7
capturar menu_7_partida
clic_grande 30 707
sleep 0.3
capturar menu_8_salir_partida
clic_grande 308 336
sleep 1
capturar menu_9_de_vuelta

# The program, left through Exit and "Yes".
clic_grande 822 676
sleep 0.3
capturar menu_10_salir
clic_grande 308 336
esperar_fin "$pid" 15
[ "$ESTADO" -eq 0 ] || fallo "the program ended with status $ESTADO: $(cat "$TMP/error")"
echo "ok: language question, intro, menu, options, a game and the way out"
