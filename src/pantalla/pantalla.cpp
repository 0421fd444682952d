// Opening and closing the display, the pictures and fonts, the frame step,
// and the buttons' looks.
#include "pantalla/pantalla.h"

#include <xalleg.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "audio/audio.h"
#include "cargador/cargador.h"
#include "dlg/dlg.h"
#include "nucleo/nucleo.h"
#include "tiempo/tiempo.h"


// The window's instance and class names: the game's unless a program built
// from its parts names its own.
const char *clase_ventana[2] = {"fotonauta", "Fotonauta"};

#ifdef FOTONAUTA_PRUEBAS
void (*prueba_fotograma)();
#endif

namespace {

const char TEXTO_SIN_VIDEO[] =
    "No se ha podido establecer ning\xFAn modo de video.\n"
    "Could not set any video mode.";

// Writes Latin-1 text to standard error as UTF-8, which is what terminals
// expect today.
void escribir_error(const char *texto)
{
  for (const unsigned char *c = reinterpret_cast<const unsigned char *>(texto); *c; ++c) {
    if (*c < 0x80) {
      fputc(*c, stderr);
    } else {
      fputc(0xC0 | (*c >> 6), stderr);
      fputc(0x80 | (*c & 0x3F), stderr);
    }
  }
  fputc('\n', stderr);
  fflush(stderr);
}


// Loads one data file and checks the objects the game takes from it.
// Returns the loaded file, or null after telling the player what is wrong.
DATAFILE *cargar_datos(const char *fichero, bool fuentes)
{
  char texto[4096 + 512];
  DATAFILE *d = cargar_datafile(fichero);
  if (d == nullptr) {
    // A file found but unreadable is named where it lies; one found
    // nowhere, with every place looked in.
    const std::string ruta = ruta_dato(fichero);
    if (access(ruta.c_str(), F_OK) == 0) {
      snprintf(texto, sizeof texto,
               "No se ha podido leer el fichero \"%s\".\n"
               "Could not read the file \"%s\".",
               ruta.c_str(), ruta.c_str());
    } else {
      const std::string lugares = lugares_dato(fichero);
      snprintf(texto, sizeof texto,
               "No se encuentra el fichero \"%s\" (buscado en %s).\n"
               "Could not find the file \"%s\" (looked in %s).",
               fichero, lugares.c_str(), fichero, lugares.c_str());
    }
    mensaje_fatal(texto);
    return nullptr;
  }
  const std::string fallo = comprobar_graficos(d, fuentes, fichero);
  if (!fallo.empty()) {
    mensaje_fatal(fallo.c_str());
    unload_datafile(d);
    return nullptr;
  }
  return d;
}

}  // namespace

void mensaje_fatal(const char *texto)
{
  // The program ends after the message: one already asked to end ends now.
  atender_senal_fin();
  escribir_error(texto);
  // The library's message box is not for a graphics mode; and while it
  // waits for the player no frame step runs, so the signals to end get
  // their default effect back, which is safe with the screen restored.
  if (gfx_driver != nullptr) {
    set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
  }
  soltar_senales_fin();
  allegro_message("%s", texto);
}

int8_t cargar_graficos()
{
  f_grf = cargar_datos("grf.dat", false);
  if (f_grf == nullptr) {
    return INI_SIN_DATOS;
  }
  f_fnt = cargar_datos("fuentes.dat", true);
  if (f_fnt == nullptr) {
    unload_datafile(f_grf);
    f_grf = nullptr;
    return INI_SIN_DATOS;
  }
  tomar_graficos(f_grf, f_fnt);
  return INI_CORRECTO;
}

namespace {

// The library's reason for each display mode that failed, kept until it is
// known whether any mode opened: only then are they worth printing.
char razones_video[2][ALLEGRO_ERROR_SIZE + 64];

// One attempt at display mode `i`; a failure keeps the library's reason.
bool abrir_modo(int i)
{
  const modo_video &m = modos_video[i];
  set_color_depth(m.profundidad);
  if (set_gfx_mode(m.tarjeta, ANCHO_PANTALLA, ALTO_PANTALLA, 0, 0) == 0) {
    return true;
  }
  snprintf(razones_video[i], sizeof razones_video[i], "%s %dx%d at %d bits: %s",
           m.tarjeta == GFX_AUTODETECT_WINDOWED ? "window" : "full screen", ANCHO_PANTALLA, ALTO_PANTALLA,
           m.profundidad, allegro_error);
  return false;
}

}  // namespace

int8_t ini_allegro()
{
  // Without a usable system (no X display, for one) every later library
  // call would crash, so this result is the one that must be tested.
  // The library's handlers of SIGTERM, SIGINT and SIGQUIT shut it down
  // inside the handler, which deadlocks when the signal comes in the middle
  // of malloc (during load_datafile, for one). Ours replace them before any
  // can arrive: the frame step ends the program from normal code.
  bloquear_senales_fin();
  // The window's class, which ties it to its desktop entry and icon (the
  // entry's StartupWMClass); the library's own is "allegro". Named before
  // the library starts, which makes the top-level window at once; the
  // title is left as it is.
  xwin_set_window_name(clase_ventana[0], clase_ventana[1]);
  const int sistema = install_allegro(SYSTEM_AUTODETECT, &errno, atexit);
  ini_senales_fin();
  if (sistema != 0) {
    const char *pantalla = getenv("DISPLAY");
    fprintf(stderr, "no graphics system (X display \"%s\"): %s\n", pantalla != nullptr ? pantalla : "",
            allegro_error[0] != '\0' ? allegro_error : "it could not be opened");
    escribir_error(TEXTO_SIN_VIDEO);
    return INI_SIN_VIDEO;
  }
  set_uformat(U_ASCII);
  // The sound's files and the decoder's set-up need no window: they are
  // made ready on other threads while the X server answers.
  adelantar_audio();

  modo_truecolor = 0;
  if (!abrir_modo(0)) {
    modo_truecolor = 1;
    if (!abrir_modo(1)) {
      soltar_adelantos();
      for (const char *razon : razones_video) {
        fprintf(stderr, "%s\n", razon);
      }
      mensaje_fatal(TEXTO_SIN_VIDEO);
      return INI_SIN_VIDEO;
    }
  }
  // The pictures, now that their depth is known, while the keyboard is
  // set up.
  static const char *const GRAFICOS[] = {"grf.dat", "fuentes.dat"};
  adelantar_datafiles(GRAFICOS, 2, false);

  install_keyboard();
  set_display_switch_mode(SWITCH_AMNESIA);
  set_trans_blender(0, 0, 0, 240);

  buffer = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
  clear_bitmap(buffer);
  // The window at the player's scale, or full screen.
  leer_ajustes();
  aplicar_presentacion();

  const int8_t r = cargar_graficos();
  if (r != INI_CORRECTO) {
    soltar_adelantos();
    destroy_bitmap(buffer);
    buffer = nullptr;
  }
  return r;
}

void fin_allegro()
{
  // The sheet itself (entry 180) belongs to the data file.
  for (int i = 0; i < NUM_LOSETAS; ++i) {
    destroy_bitmap(loseta[i]);
    loseta[i] = nullptr;
  }
  destroy_bitmap(buffer);
  buffer = nullptr;
  unload_datafile(f_grf);
  f_grf = nullptr;
  unload_datafile(f_fnt);
  f_fnt = nullptr;
}

void paso_fotograma()
{
  paso_fotograma_con(presentar_fotograma);
}

void paso_fotograma_con(void (*presentar)())
{
  atender_senal_fin();
  dlg_fotograma_mostrado();
  presentar();
}

void presentar_fotograma()
{
#ifdef FOTONAUTA_PRUEBAS
  if (prueba_fotograma != nullptr) {
    prueba_fotograma();
    return;
  }
#endif
  esperar_tic();
  vsync();
  enviar_fotograma();
  // F11, on any screen: full screen on or off, from the next frame.
  static t_vista_tecla vista_f11{};
  static bool f11_abajo = false;
  const bool abajo = dlg_tecla(KEY_F11, vista_f11);
  if (abajo && !f11_abajo) {
    alternar_pantalla_completa();
  }
  f11_abajo = abajo;
}

void paso_fotograma_con_puntero()
{
  show_mouse(buffer);
  paso_fotograma();
  show_mouse(nullptr);
}

namespace {

// Caption fonts: large buttons' captions sit 8 pixels, the text font's 16
// pixels above the button's vertical centre.
constexpr int8_t FUENTE_GRANDE = 0;
constexpr int8_t FUENTE_LOSETA = 1;
constexpr int32_t DESPLAZAMIENTO_GRANDE = -8;
constexpr int32_t DESPLAZAMIENTO_LOSETA = -16;

// Every small button's hit shape is tile 0.
constexpr int LOSETA_MASCARA = 0;

}  // namespace

void ini_botones()
{
  dlg_inicializar();
  dlg_incorporar_fuente(FUENTE_GRANDE, static_cast<FONT *>(f_fnt[FNT_BOTONES].dat), DESPLAZAMIENTO_GRANDE);
  dlg_incorporar_fuente(FUENTE_LOSETA, fuente_texto(), DESPLAZAMIENTO_LOSETA);
  set_mouse_sprite(puntero);
}

void crear_botones_grandes(const boton_grande *botones, size_t n)
{
  for (size_t i = 0; i < n; ++i) {
    const boton_grande &b = botones[i];
    const int32_t x = b.x == X_CENTRADO ? (ANCHO_PANTALLA - mapa_boton[0]->w) / 2 : b.x;
    dlg_incorporar_boton(b.dialogo, mapa_boton[0], mapa_boton[1], mapa_boton[2], mapa_boton[3], x, b.y, "",
                         FUENTE_GRANDE, b.accion);
  }
}

void crear_boton_loseta(int8_t dialogo, int32_t x, int32_t y, const char *texto, accion_boton accion)
{
  dlg_incorporar_boton(dialogo, loseta[LOSETA_MASCARA], nullptr, loseta[LOSETA_MARCA], loseta[LOSETA_MARCA], x, y,
                       texto, FUENTE_LOSETA, accion);
}

void colocar_textos(const texto_boton *textos, size_t n)
{
  const int i = idioma == IDIOMA_ESPANOL ? 0 : 1;
  for (size_t k = 0; k < n; ++k) {
    dlg_cambiar_texto_boton(textos[k].dialogo, textos[k].indice, textos[k].texto[i]);
  }
}

int8_t si_no(int8_t indice)
{
  return indice;
}
