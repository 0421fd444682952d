// The opening sequence: a picture from intro.dat fades in over a blue-grey
// screen, stands while its sound plays, and fades away.
#include "audio/audio.h"
#include "cargador/cargador.h"
#include "dlg/dlg.h"
#include "fotonauta/fotonauta.h"

namespace {

const char FICHERO_INTRO[] = "intro.dat";

constexpr int FOTOGRAMAS_ESPERA = 250;

// The screen's colour at step t of the fades: dark blue first, then the
// grey rises with the blue.
int color_fundido(int t)
{
  return t <= 149 ? makecol(150 - t, 150 - t, 200 - t) : makecol(0, 0, 200 - t);
}

void fundido(int t)
{
  clear_to_color(buffer, color_fundido(t));
  paso_fotograma();
}

void imagen_transparente(BITMAP *imagen, int x, int y, int fondo, int alfa)
{
  clear_to_color(buffer, fondo);
  set_trans_blender(0, 0, 0, alfa);
  draw_trans_sprite(buffer, imagen, x, y);
  paso_fotograma();
}

// Both objects present and of the kind used; anything else is skipped.
bool intro_valida(const DATAFILE *d)
{
  return d != nullptr && d[0].type == DAT_BITMAP && d[1].type == DAT_SAMPLE;
}

}  // namespace

void intro()
{
  const int fondo = makecol(149, 149, 198);
  DATAFILE *d = cargar_datafile(FICHERO_INTRO);
  if (!intro_valida(d)) {
    if (d != nullptr) {
      unload_datafile(d);
    }
    return;
  }
  BITMAP *imagen = static_cast<BITMAP *>(d[0].dat);
  parar_musica();
  const int x = (ANCHO_PANTALLA - imagen->w) / 2;
  const int y = (ALTO_PANTALLA - imagen->h) / 2;
  const int8_t voz_intro = reproducir_onda(static_cast<SAMPLE *>(d[1].dat), SONIDO_UNA_VEZ);

  for (int t = 195; t >= 5; t -= 5) {
    fundido(t);
  }
  for (int t = 248; t >= 8; t -= 8) {
    imagen_transparente(imagen, x, y, fondo, 256 - t);
  }

  clear_to_color(buffer, fondo);
  blit(imagen, buffer, 0, 0, x, y, imagen->w, imagen->h);
  // Keys pressed during the fades do not cut the picture short.
  clear_keybuf();
  t_vista_raton vista{};
  dlg_olvidar_botones(vista);
  for (int n = 0; n < FOTOGRAMAS_ESPERA; ++n) {
    paso_fotograma();
    poll_mouse();
    if (keypressed() || dlg_botones(vista) != 0) {
      break;
    }
  }
  detener_sonido(voz_intro);

  for (int t = 248; t >= 8; t -= 8) {
    imagen_transparente(imagen, x, y, fondo, t);
  }
  for (int t = 5; t <= 195; t += 5) {
    fundido(t);
  }
  detener_sonidos(1);
  unload_datafile(d);
}
