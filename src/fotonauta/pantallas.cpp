// Every button of every screen, created once at start-up, and the captions
// in both languages.
#include "dlg/dlg.h"
#include "fotonauta/fotonauta.h"
#include "juego/juego.h"

#include <cstddef>

char texto0160[60 * 3];

// Blanks become NULs in ini_dialogos, leaving 42 one-character captions.
char textoletras[2 * NUM_LETRAS + 1] =
    "0 1 2 3 4 5 6 7 8 9 "
    "a \xE1 b c d e \xE9 f g h "
    "i \xED j k l m n \xF1 o \xF3 "
    "p q r s t u \xFA v w x "
    "y z ";

namespace {

// Caption fonts: large buttons' captions sit 8 pixels, the text font's 16
// pixels above the button's vertical centre.
constexpr int8_t FUENTE_GRANDE = 0;
constexpr int8_t FUENTE_LOSETA = 1;
constexpr int32_t DESPLAZAMIENTO_GRANDE = -8;
constexpr int32_t DESPLAZAMIENTO_LOSETA = -16;

// Every small button's hit shape is tile 0.
constexpr int LOSETA_MASCARA = 0;

struct boton_grande {
  int8_t dialogo;
  int16_t x, y;  // X_CENTRADO: centred across the screen
  accion_boton accion;
};

constexpr int16_t X_CENTRADO = -1;

struct boton_loseta {
  int16_t x, y;
  const char *texto;
  accion_boton accion;
};

const boton_grande BOTONES_MENU[] = {
    {DLG_MENU, 6, 676, juego}, {DLG_MENU, 210, 676, juego}, {DLG_MENU, 414, 676, puntuaciones},
    {DLG_MENU, 618, 676, opciones}, {DLG_MENU, 822, 676, salir},
};
const boton_grande BOTONES_JUEGO[] = {{DLG_JUEGO, 30, 645, pausa}, {DLG_JUEGO, 30, 707, salir}};
const boton_grande BOTONES_SI_NO[] = {{DLG_SI_NO, 308, 336, si_no}, {DLG_SI_NO, 520, 336, si_no}};
const boton_grande BOTONES_FIN[] = {{DLG_FIN, 30, 676, si_no}};
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

// The captions that follow the language, in the order they are set.
struct texto_boton {
  int8_t dialogo, indice;
  const char *texto[2];  // Spanish, English
};

const texto_boton TEXTOS[] = {
    {DLG_MENU, 0, {"Jugar", "Play"}},
    {DLG_MENU, 1, {"Trainer", "Trainer"}},
    {DLG_MENU, 2, {"Records", "Scores"}},
    {DLG_MENU, 3, {"Config.", "Options"}},
    {DLG_MENU, 4, {"Salir", "Exit"}},
    {DLG_JUEGO, 0, {"Pausa", "Pause"}},
    {DLG_JUEGO, 1, {"Salir", "Exit"}},
    {DLG_SI_NO, 0, {"Si", "Yes"}},
    {DLG_SI_NO, 1, {"No", "No"}},
    {DLG_FIN, 0, {"Salir", "Exit"}},
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
  for (const boton_grande &b : botones) {
    const int32_t x = b.x == X_CENTRADO ? (ANCHO_PANTALLA - mapa_boton[0]->w) / 2 : b.x;
    dlg_incorporar_boton(b.dialogo, mapa_boton[0], mapa_boton[1], mapa_boton[2], mapa_boton[3], x, b.y, "",
                         FUENTE_GRANDE, b.accion);
  }
}

void crear_loseta(int8_t dialogo, int32_t x, int32_t y, const char *texto, accion_boton accion)
{
  dlg_incorporar_boton(dialogo, loseta[LOSETA_MASCARA], nullptr, loseta[LOSETA_MARCA], loseta[LOSETA_MARCA], x, y,
                       texto, FUENTE_LOSETA, accion);
}

}  // namespace

void ini_dialogos()
{
  dlg_inicializar();
  dlg_incorporar_fuente(FUENTE_GRANDE, static_cast<FONT *>(f_fnt[FNT_BOTONES].dat), DESPLAZAMIENTO_GRANDE);
  dlg_incorporar_fuente(FUENTE_LOSETA, fuente_texto(), DESPLAZAMIENTO_LOSETA);
  set_mouse_sprite(puntero);

  crear_grandes(BOTONES_MENU);
  crear_grandes(BOTONES_JUEGO);
  crear_grandes(BOTONES_SI_NO);
  crear_grandes(BOTONES_FIN);

  for (int k = 0; k < 60; ++k) {
    char *t = &texto0160[3 * k];
    t[0] = static_cast<char>('0' + (k + 1) / 10);
    t[1] = static_cast<char>('0' + (k + 1) % 10);
    t[2] = '\0';
    crear_loseta(DLG_NIVELES, 48 + 96 * (k % 10), 192 + 64 * (k / 10), t, si_no);
  }

  for (const boton_loseta &b : VOLUMEN) {
    crear_loseta(DLG_OPCIONES, b.x, b.y, b.texto, b.accion);
  }
  crear_grandes(BOTONES_OPCIONES);
  crear_grandes(BOTONES_RECORDS);

  for (const boton_loseta &b : TECLAS_ESPECIALES) {
    crear_loseta(DLG_TECLADO, b.x, b.y, b.texto, b.accion);
  }
  for (int j = 0; j < NUM_LETRAS; ++j) {
    textoletras[2 * j + 1] = '\0';
    crear_loseta(DLG_TECLADO, 192 + 64 * (j % 10), 128 + 64 * (j / 10), &textoletras[2 * j], si_no);
  }

  crear_grandes(BOTONES_ENVIO);
}

void colocar_texto_botones()
{
  const int i = idioma == IDIOMA_ESPANOL ? 0 : 1;
  for (const texto_boton &t : TEXTOS) {
    dlg_cambiar_texto_boton(t.dialogo, t.indice, t.texto[i]);
  }
}

int8_t cambiar_idioma(int8_t)
{
  idioma = idioma == IDIOMA_ESPANOL ? IDIOMA_INGLES : IDIOMA_ESPANOL;
  colocar_texto_botones();
  return DLG_NADA;
}

int8_t si_no(int8_t indice)
{
  return indice;
}
