// Every button of every screen, created once at start-up, and the captions
// in both languages.
#include "dlg/dlg.h"
#include "fotonauta/fotonauta.h"
#include "juego/juego.h"

#include <cstddef>
#include <iterator>

char texto0160[60 * 3];

// Blanks become NULs in ini_dialogos, leaving 42 one-character captions.
char textoletras[2 * NUM_LETRAS + 1] =
    "0 1 2 3 4 5 6 7 8 9 "
    "a \xE1 b c d e \xE9 f g h "
    "i \xED j k l m n \xF1 o \xF3 "
    "p q r s t u \xFA v w x "
    "y z ";

namespace {

struct boton_loseta {
  int16_t x, y;
  const char *texto;
  accion_boton accion;
};

const boton_grande BOTONES_MENU[] = {
    {DLG_MENU, 6, 676, juego}, {DLG_MENU, 210, 676, juego}, {DLG_MENU, 414, 676, puntuaciones},
    {DLG_MENU, 618, 676, opciones}, {DLG_MENU, 822, 676, salir},
};
const boton_loseta VOLUMEN[] = {
    {288, 160, "--", modif_volson}, {352, 160, "-", modif_volson},
    {608, 160, "+", modif_volson},  {672, 160, "++", modif_volson},
    {288, 352, "--", modif_volmus}, {352, 352, "-", modif_volmus},
    {608, 352, "+", modif_volmus},  {672, 352, "++", modif_volmus},
};
const boton_grande BOTONES_OPCIONES[] = {{DLG_OPCIONES, X_CENTRADO, 676, si_no},
                                         {DLG_OPCIONES, 582, 484, cambiar_idioma}};
const boton_grande BOTONES_RECORDS[] = {{DLG_RECORDS, 210, 676, enviar_puntuaciones},
                                        {DLG_RECORDS, 618, 676, si_no}};
// Delete, end and space stand beside the last row of letters.
const boton_loseta TECLAS_ESPECIALES[] = {{608, 384, "", si_no}, {736, 384, "", si_no}, {480, 384, "", si_no}};
const boton_grande BOTONES_ENVIO[] = {{DLG_ENVIO, X_CENTRADO, 676, si_no}};
// Added after every other, so none moves in the table: the options'
// Scale, on the floor right of Exit.
const boton_grande BOTON_ESCALA[] = {{DLG_OPCIONES, 822, 676, cambiar_escala}};
constexpr int8_t INDICE_ESCALA = 10;

// The Scale button's caption for each setting, in each language.
const char *const TEXTOS_ESCALA[ESCALA_MAXIMA + 1][2] = {
    {"Escala: auto", "Scale: auto"}, {"Escala: 1x", "Scale: 1x"}, {"Escala: 2x", "Scale: 2x"},
    {"Escala: 3x", "Scale: 3x"}};

// The captions that follow the language, in the order they are set.
const texto_boton TEXTOS[] = {
    {DLG_MENU, 0, {"Jugar", "Play"}},
    {DLG_MENU, 1, {"Trainer", "Trainer"}},
    {DLG_MENU, 2, {"Records", "Scores"}},
    {DLG_MENU, 3, {"Config.", "Options"}},
    {DLG_MENU, 4, {"Salir", "Exit"}},
    {DLG_OPCIONES, 8, {"Salir", "Exit"}},
    // The language button names the language a click switches to.
    {DLG_OPCIONES, 9, {"English", "Espa\xF1ol"}},
    {DLG_RECORDS, 0, {"Enviar", "Upload"}},
    {DLG_RECORDS, 1, {"Salir", "Exit"}},
    {DLG_TECLADO, 0, {"brr", "del"}},
    {DLG_TECLADO, 1, {"fin", "end"}},
    {DLG_TECLADO, 2, {"esp", "spc"}},
    {DLG_ENVIO, 0, {"Salir", "Exit"}},
};

template <size_t N>
void crear_grandes(const boton_grande (&botones)[N])
{
  crear_botones_grandes(botones, N);
}

}  // namespace

void ini_dialogos()
{
  ini_botones();
  crear_grandes(BOTONES_MENU);
  crear_botones_partida();

  for (int k = 0; k < 60; ++k) {
    char *t = &texto0160[3 * k];
    t[0] = static_cast<char>('0' + (k + 1) / 10);
    t[1] = static_cast<char>('0' + (k + 1) % 10);
    t[2] = '\0';
    crear_boton_loseta(DLG_NIVELES, 48 + 96 * (k % 10), 192 + 64 * (k / 10), t, si_no);
  }

  for (const boton_loseta &b : VOLUMEN) {
    crear_boton_loseta(DLG_OPCIONES, b.x, b.y, b.texto, b.accion);
  }
  crear_grandes(BOTONES_OPCIONES);
  crear_grandes(BOTONES_RECORDS);

  for (const boton_loseta &b : TECLAS_ESPECIALES) {
    crear_boton_loseta(DLG_TECLADO, b.x, b.y, b.texto, b.accion);
  }
  for (int j = 0; j < NUM_LETRAS; ++j) {
    textoletras[2 * j + 1] = '\0';
    crear_boton_loseta(DLG_TECLADO, 192 + 64 * (j % 10), 128 + 64 * (j / 10), &textoletras[2 * j], si_no);
  }

  crear_grandes(BOTONES_ENVIO);
  crear_grandes(BOTON_ESCALA);
}

void colocar_texto_botones()
{
  colocar_texto_botones_partida();
  colocar_textos(TEXTOS, std::size(TEXTOS));
  dlg_cambiar_texto_boton(DLG_OPCIONES, INDICE_ESCALA, TEXTOS_ESCALA[escala_elegida][idioma == IDIOMA_ESPANOL ? 0 : 1]);
}

int8_t cambiar_escala(int8_t)
{
  // The next setting in turn, leaving out the scales whose window would
  // not fit this screen.
  int8_t e = escala_elegida;
  do {
    e = static_cast<int8_t>((e + 1) % (ESCALA_MAXIMA + 1));
  } while (e > 1 && !escala_cabe(e));
  escala_elegida = e;
  escribir_ajustes();
  aplicar_presentacion();
  colocar_texto_botones();
  return DLG_NADA;
}

int8_t cambiar_idioma(int8_t)
{
  idioma = idioma == IDIOMA_ESPANOL ? IDIOMA_INGLES : IDIOMA_ESPANOL;
  colocar_texto_botones();
  return DLG_NADA;
}
