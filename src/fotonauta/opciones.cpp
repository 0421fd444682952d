// The settings file cfg.dat, the first-run language question, the options
// screen and the choice of the starting level.
#include <cstddef>
#include <cstdio>
#include <initializer_list>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "fotonauta/fotonauta.h"

namespace {

const char FICHERO_CFG[] = "cfg.dat";

constexpr int8_t VOLUMEN_MAXIMO = 100;
constexpr int8_t BOTON_SALIR_OPCIONES = 8;
constexpr int NUM_BOTONES_NIVEL = 60;

// Where the options screen writes its labels and values.
constexpr int Y_ROTULO_SONIDO = 112;
constexpr int Y_ROTULO_MUSICA = 304;
constexpr int Y_VALOR_SONIDO = 176;
constexpr int Y_VALOR_MUSICA = 368;
constexpr int X_ROTULO_IDIOMA = 262;
constexpr int Y_ROTULO_IDIOMA = 496;
// The key for full screen, told under the language.
constexpr int Y_F11 = 560;

bool espanol()
{
  return idioma == IDIOMA_ESPANOL;
}

int8_t acotar(int v, int minimo, int maximo)
{
  return static_cast<int8_t>(v < minimo ? minimo : v > maximo ? maximo : v);
}

// The first run: two buttons on a black screen, whatever the language.
void preguntar_idioma()
{
  dlg_cambiar_texto_boton(DLG_SI_NO, 0, "Espa\xF1ol");
  dlg_cambiar_texto_boton(DLG_SI_NO, 1, "English");
  dlg_apilar_dialogo(DLG_SI_NO);
  int32_t r;
  do {
    show_mouse(nullptr);
    clear_to_color(buffer, 0);
    r = dlg_comprobar(buffer);
    paso_fotograma_con_puntero();
  } while (r == DLG_NADA);
  show_mouse(nullptr);
  idioma = static_cast<int8_t>(r);
  volson = VOLUMEN_MAXIMO;
  volmus = VOLUMEN_MAXIMO;
  ult_fase_completada = 0;
  dlg_desapilar_dialogo();
  escribir_cfg();
}

// "05%", "50%", "100%".
void escribir_volumen(int8_t v, int y)
{
  textprintf_centre_ex(buffer, fuente_texto(), buffer->w / 2, y, -1, -1, v >= VOLUMEN_MAXIMO ? "%d%%" : "%02d%%",
                       v);
}

// Steps of the four buttons of a volume row: "--", "-", "+", "++".
constexpr int PASO_VOLUMEN[4] = {-10, -1, 1, 10};

// Applies button `i` (0-3) of a row to `v`; false when the bound is
// already reached and nothing changes.
bool cambiar_volumen(int8_t &v, int i)
{
  const int paso = PASO_VOLUMEN[i];
  if ((paso < 0 && v <= 0) || (paso > 0 && v >= VOLUMEN_MAXIMO)) {
    return false;
  }
  v = acotar(v + paso, 0, VOLUMEN_MAXIMO);
  return true;
}

}  // namespace

void leer_cfg()
{
  PACKFILE *f = pack_fopen(FICHERO_CFG, F_READ);
  idioma = 0;
  volson = 0;
  volmus = 0;
  ult_fase_completada = 0;
  uint8_t b[4];
  size_t largo = 0;
  bool leido = f != nullptr;
  if (f != nullptr) {
    while (largo < sizeof b) {
      const int c = pack_getc(f);
      if (c == EOF) {
        break;
      }
      b[largo++] = static_cast<uint8_t>(c);
    }
    // A name that opens but cannot be read (a folder) is no settings file.
    leido = pack_ferror(f) == 0;
    pack_fclose(f);
  }

  if (!leido) {
    preguntar_idioma();
  } else {
    interpretar_cfg(b, largo);
  }

  colocar_texto_botones();
  modificar_volmus(static_cast<uint8_t>(volmus));
  modificar_volson(static_cast<uint8_t>(volson), -1);
}

int8_t opciones(int8_t)
{
  dlg_apilar_dialogo(DLG_OPCIONES);
  int32_t r;
  do {
    reproducir_musica(MUSICA_MENU);
    show_mouse(nullptr);
    mover_fondo(0);

    FONT *fuente = fuente_texto();
    const int centro = buffer->w / 2;
    textout_centre_ex(buffer, fuente, espanol() ? "volumen del sonido" : "sound volume", centro, Y_ROTULO_SONIDO, -1,
                      -1);
    textout_centre_ex(buffer, fuente, espanol() ? "volumen de la m\xFAsica" : "music volume", centro,
                      Y_ROTULO_MUSICA, -1, -1);
    // Written in the language the button beside it offers.
    textout_ex(buffer, fuente, espanol() ? "language:" : "lenguaje:", X_ROTULO_IDIOMA, Y_ROTULO_IDIOMA, -1, -1);
    escribir_volumen(volson, Y_VALOR_SONIDO);
    escribir_volumen(volmus, Y_VALOR_MUSICA);
    textout_centre_ex(buffer, fuente, espanol() ? "F11: pantalla completa" : "F11: full screen", centro, Y_F11, -1,
                      -1);
    dibujar_suelo();

    r = dlg_comprobar(buffer);
    paso_fotograma_con_puntero();
  } while (r != BOTON_SALIR_OPCIONES);
  dlg_desapilar_dialogo();
  escribir_cfg();
  return DLG_NADA;
}

int8_t modif_volson(int8_t indice)
{
  if (indice >= 0 && indice < 4 && cambiar_volumen(volson, indice)) {
    modificar_volson(static_cast<uint8_t>(volson), -1);
  }
  // Heard even when nothing changed, so the player knows where it stands.
  reproducir_sonido(SND_TIC, SONIDO_UNA_VEZ);
  return DLG_NADA;
}

int8_t modif_volmus(int8_t indice)
{
  if (indice >= 4 && indice < 8 && cambiar_volumen(volmus, indice - 4)) {
    modificar_volmus(static_cast<uint8_t>(volmus));
  }
  return DLG_NADA;
}

int8_t preguntar_nivel()
{
  // Kept in range by leer_cfg; checked again so this screen can never be
  // left without a level to choose.
  const int8_t ultimo = acotar(ult_fase_completada, 0, ULTIMA_FASE);
  dlg_apilar_dialogo(DLG_NIVELES);
  for (int8_t k = 0; k < NUM_BOTONES_NIVEL; ++k) {
    if (k <= ultimo) {
      dlg_mostrar_boton(DLG_NIVELES, k);
    } else {
      dlg_ocultar_boton(DLG_NIVELES, k);
    }
  }

  int32_t r;
  do {
    reproducir_musica(MUSICA_MENU);
    show_mouse(nullptr);
    mover_fondo(0);
    r = dlg_comprobar(buffer);
    const int centro = buffer->w / 2;
    textout_centre_ex(buffer, fuente_texto(), espanol() ? "selecciona la" : "select your", centro, 64, -1, -1);
    textout_centre_ex(buffer, fuente_texto(), espanol() ? "fase de inicio" : "starting level", centro, 128, -1, -1);
    paso_fotograma_con_puntero();
  } while (r < 0);
  dlg_desapilar_dialogo();
  return static_cast<int8_t>(r);
}
