// The main menu: the particle backdrop shared by the menu screens, the logo,
// the sliding credits and the floor strip under the five buttons.
#include <cstdlib>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "fotonauta/fotonauta.h"
#include "juego/juego.h"

datos_fondo dt_fondo;

// 1 (the default): the menu draws its logo from runs of opaque pixels made
// once on entry; 0: as a masked bitmap, pixel by pixel, to compare the two.
uint8_t logo_por_tramos = 1;

namespace {

// The black field inside the 32-pixel frame.
constexpr int CAMPO_X0 = 32;
constexpr int CAMPO_Y0 = 32;
constexpr int CAMPO_X1 = 991;
constexpr int CAMPO_Y1 = 607;
constexpr int GROSOR_MARCO = 32;

constexpr int EMISOR_X = 512;
constexpr int EMISOR_Y = 320;
constexpr int PASO_EMISOR = 4;
constexpr int PASO_PARTICULA = 10;
// Steps run on a start, so the first frame already shows a spray.
constexpr int PASOS_INICIO = 100;

constexpr int ANCHO_LOGO = 788;
constexpr int Y_LOGO = 128;
constexpr int Y_SUELO = 640;

constexpr int Y_LINEA_CREDITOS[3] = {384, 448, 512};

// Three lines a page, each in Spanish then English. The names of people
// and the notices are worded for this remake: its own team and the
// original game's authors.
const char *const CREDITOS[NUM_PAGINAS_CREDITOS * 6] = {
    "Pixelgild presenta un juego", "Pixelgild presents a game",
    "basado en el original de", "based on the original by",
    "zentrova software (1987)", "zentrova software (1987)",

    "Gr\xE1" "ficos", "Graphics",
    "por", "by",
    "el equipo de fotonauta", "the fotonauta team",

    "M\xFAsica por", "music by",
    "nuestro sintetizador y", "our own synthesizer and",
    "el equipo de fotonauta", "the fotonauta team",

    "C\xF3" "digo y efectos", "Code and",
    "de sonido por", "sound effects by",
    "el equipo de fotonauta", "the fotonauta team",

    "juego original por", "original game by",
    "los autores del juego", "the original 1987",
    "original de 1987", "game's authors",

    "juego original (c) 1987", "original game (c) 1987",
    "nueva versi\xF3n (c) 2005 fotonauta", "remake (c) 2005 fotonauta",
    "derechos: autores de 1987", "rights: the 1987 authors",

    "\xA1gracias a todos los", "thanks to all",
    "colegas de Pixelgild", "Pixelgild people",
    "por su ayuda!", "for their help!",

    "no olvides visitar", "visit",
    "www.fotonauta.example", "www.fotonauta.example",
    "\xA1lo mejor en retrojuegos!", "retrogaming at its best!",

    "ning\xFAn espejo fue da\xF1" "ado", "no mirrors were hurt",
    "durante el desarrollo", "during the development",
    "de este juego", "of this game",

    "mi mujer puso caras raras en", "my wife made faces on one and",
    "uno y otro me vi\xF3 reci\xE9n", "another saw me just woken up",
    "levantado, pero nada m\xE1s", "from bed, but that was all",
};

bool en_campo(int x, int y)
{
  return x >= CAMPO_X0 && x <= CAMPO_X1 && y >= CAMPO_Y0 && y <= CAMPO_Y1;
}

int acotar(int v, int minimo, int maximo)
{
  return v < minimo ? minimo : v > maximo ? maximo : v;
}

// Writes a particle's 2 x 2 block straight into the buffer's rows.
void pintar_particula(int x, int y, int32_t color)
{
  for (int f = y; f <= y + 1; ++f) {
    if (modo_truecolor != 0) {
      uint32_t *fila = reinterpret_cast<uint32_t *>(buffer->line[f]);
      fila[x] = fila[x + 1] = static_cast<uint32_t>(color);
    } else {
      uint16_t *fila = reinterpret_cast<uint16_t *>(buffer->line[f]);
      fila[x] = fila[x + 1] = static_cast<uint16_t>(color);
    }
  }
}

}  // namespace

const char *texto_credito(int pagina, int linea)
{
  return CREDITOS[6 * pagina + 2 * linea + (idioma == IDIOMA_ESPANOL ? 0 : 1)];
}

void avanzar_creditos(estado_creditos &c)
{
  switch (c.fase) {
    case CREDITOS_ENTRANDO:
      c.p += 32;
      if (c.p >= 512) {
        c.fase = CREDITOS_QUIETOS;
        c.cuenta = 200;
      }
      break;
    case CREDITOS_QUIETOS:
      // Leaves when the count wraps below 0: 202 frames standing, counting
      // the one they arrived on.
      if (c.cuenta-- == 0) {
        c.fase = CREDITOS_SALIENDO;
      }
      break;
    default:
      c.p -= 32;
      if (c.p <= -512) {
        c.fase = CREDITOS_ENTRANDO;
        c.pagina = static_cast<int8_t>((c.pagina + 1) % NUM_PAGINAS_CREDITOS);
      }
      break;
  }
}

void dibujar_suelo()
{
  for (int k = 0; k < NUM_BASE; ++k) {
    blit(loseta[base[k]], buffer, 0, 0, LADO_LOSETA * (k % 16), Y_SUELO + LADO_LOSETA * (k / 16), LADO_LOSETA,
         LADO_LOSETA);
  }
}

void mover_fondo(int8_t inicio)
{
  datos_fondo &f = dt_fondo;
  // The backdrop's own look at the buttons: a tap moves the emitter too.
  static t_vista_raton vista{};
  if (inicio != 0) {
    dlg_olvidar_botones(vista);
    f.xc = EMISOR_X;
    f.yc = EMISOR_Y;
    for (int i = 0; i < NUM_PARTICULAS; ++i) {
      const int r = 175 + rand() % 81;
      const int g = 175 + rand() % 81;
      const int b = 175 + rand() % 81;
      f.c[i] = makecol(r, g, b);
      f.x[i] = static_cast<int16_t>(CAMPO_X0 + rand() % 960);
      f.y[i] = static_cast<int16_t>(CAMPO_Y0 + rand() % 576);
      f.a[i] = itofix(32);
    }
  }

  rectfill(buffer, CAMPO_X0, CAMPO_Y0, CAMPO_X1, CAMPO_Y1, 0);

  // The emitter answers the pointer only over the field, so moving to the
  // buttons below leaves it where it was.
  if (mouse_x >= CAMPO_X0 + 1 && mouse_x <= CAMPO_X1 + 1 && mouse_y >= CAMPO_Y0 + 1 && mouse_y <= CAMPO_Y1 + 1) {
    const int botones = dlg_botones(vista);
    if (botones & 1) {
      f.xc = mouse_x;
      f.yc = mouse_y;
    } else if (!(botones & 2)) {
      f.xc += acotar(mouse_x - f.xc, -PASO_EMISOR, PASO_EMISOR);
      f.yc += acotar(mouse_y - f.yc, -PASO_EMISOR, PASO_EMISOR);
    }
  }

  const fixed diez = itofix(PASO_PARTICULA);
  for (int paso = 0; paso < PASOS_INICIO * inicio + 1; ++paso) {
    for (int i = 0; i < NUM_PARTICULAS; ++i) {
      f.x[i] = static_cast<int16_t>(f.x[i] + fixtoi(fixmul(fixsin(f.a[i]), diez)));
      f.y[i] = static_cast<int16_t>(f.y[i] + fixtoi(fixmul(fixcos(f.a[i]), diez)));
      if (!en_campo(f.x[i], f.y[i])) {
        f.x[i] = static_cast<int16_t>(f.xc);
        f.y[i] = static_cast<int16_t>(f.yc);
        f.a[i] = itofix(rand() % 256);
      }
    }
  }

  // Particles on the emitter's row or column are not drawn: that hides the
  // ones that have just restarted there.
  for (int i = 0; i < NUM_PARTICULAS; ++i) {
    if (f.x[i] != f.xc && f.y[i] != f.yc) {
      pintar_particula(f.x[i], f.y[i], f.c[i]);
    }
  }

  blit(borde[0], buffer, 0, 0, 0, 0, ANCHO_PANTALLA, GROSOR_MARCO);
  blit(borde[1], buffer, 0, 0, 0, CAMPO_Y1 + 1, ANCHO_PANTALLA, GROSOR_MARCO);
  blit(borde[2], buffer, 0, 0, 0, CAMPO_Y0, GROSOR_MARCO, CAMPO_Y1 - CAMPO_Y0 + 1);
  blit(borde[3], buffer, 0, 0, CAMPO_X1 + 1, CAMPO_Y0, GROSOR_MARCO, CAMPO_Y1 - CAMPO_Y0 + 1);
}

void menu_principal()
{
  // The logo is mostly transparent: drawn from its opaque runs it costs a
  // tenth of testing every pixel against the mask, with the same pixels.
  RLE_SPRITE *logo_tramos = logo_por_tramos ? get_rle_sprite(logo) : nullptr;
  convertir_base();
  dlg_apilar_dialogo(DLG_MENU);
  dlg_situar_raton(512, 640);
  mover_fondo(1);

  estado_creditos creditos{CREDITOS_ENTRANDO, -512, 0, 0};
  int32_t r;
  do {
    reproducir_musica(MUSICA_MENU);
    show_mouse(nullptr);
    mover_fondo(0);
    if (logo_tramos != nullptr) {
      draw_rle_sprite(buffer, logo_tramos, (buffer->w - ANCHO_LOGO) / 2, Y_LOGO);
    } else {
      draw_sprite(buffer, logo, (buffer->w - ANCHO_LOGO) / 2, Y_LOGO);
    }

    avanzar_creditos(creditos);
    // Lines 1 and 3 come from the left, line 2 from the right.
    set_clip_rect(buffer, CAMPO_X0, CAMPO_Y0, CAMPO_X1, CAMPO_Y1);
    for (int l = 0; l < 3; ++l) {
      const int x = l == 1 ? ANCHO_PANTALLA - creditos.p : creditos.p;
      textout_centre_ex(buffer, fuente_texto(), texto_credito(creditos.pagina, l), x, Y_LINEA_CREDITOS[l], -1, -1);
    }
    set_clip_rect(buffer, 0, 0, buffer->w - 1, buffer->h - 1);

    dibujar_suelo();
    r = dlg_comprobar(buffer);
    paso_fotograma_con_puntero();
    // A finished game returns 0: the menu stays.
    if (r == 0) {
      r = DLG_NADA;
    }
  } while (r == DLG_NADA);

  dlg_desapilar_dialogo();
  show_mouse(nullptr);
  if (logo_tramos != nullptr) {
    destroy_rle_sprite(logo_tramos);
  }
}
