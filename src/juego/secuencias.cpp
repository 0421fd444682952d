// The sequences on screen: a level's start, its completion, a lost life
// and the closing scene, each frame drawn as the rules' state (nucleo.
// secuencia) says; the loop that plays the frames shows them. Then the
// screens that wait for Exit once a game is over. The drawing only reads
// the board and the meters; its own variety (the corner a board slides in
// from, the congratulations floor) draws from the drawing's own generator,
// never from the rules' (azar_dibujo).
#include <allegro.h>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "pantalla/pantalla.h"
#include "juego/juego.h"

namespace {

constexpr int ANCHO_TABLERO = COLUMNAS * LADO_CELDA;
constexpr int ALTO_TABLERO = FILAS * LADO_CELDA;

// The left part of the status strip, under the panel's buttons.
constexpr int ANCHO_PANEL = 230;

void dibujar_bordes()
{
  blit(borde[0], buffer, 0, 0, 0, 0, ANCHO_PANTALLA, ORIGEN_TABLERO);
  blit(borde[1], buffer, 0, 0, 0, ORIGEN_TABLERO + ALTO_TABLERO, ANCHO_PANTALLA, ORIGEN_TABLERO);
  blit(borde[2], buffer, 0, 0, 0, ORIGEN_TABLERO, ORIGEN_TABLERO, ALTO_TABLERO);
  blit(borde[3], buffer, 0, 0, ORIGEN_TABLERO + ANCHO_TABLERO, ORIGEN_TABLERO, ORIGEN_TABLERO, ALTO_TABLERO);
}

int celda_x(int c)
{
  return ORIGEN_TABLERO + LADO_CELDA * (c % COLUMNAS);
}

int celda_y(int c)
{
  return ORIGEN_TABLERO + LADO_CELDA * (c / COLUMNAS);
}

const char *const FELICIDADES[2][4] = {
    {"felicidades,", "eres realmente un", "maestro del fotonauta.", "el circuito est\xE1 completado."},
    {"congratulations,", "you are truly a", "master fotonauta.", "the circuit is now complete."},
};

const char *const TE[2][2] = {
    {"\xA1" "el t\xE9 estar\xE1 listo", "en cinco minutos!"},
    {"the tea will be ready", "in five minutes!"},
};

int idioma_textos()
{
  return idioma == IDIOMA_INGLES ? 1 : 0;
}

// The congratulations board: random floor and four lines.
void dibujar_felicitacion(BITMAP *lienzo)
{
  for (int c = 0; c < NUM_CELDAS; ++c) {
    blit(loseta[primer_grf[vacio] + azar_dibujo(7)], lienzo, 0, 0, celda_x(c), celda_y(c), LADO_CELDA, LADO_CELDA);
  }
  for (int l = 0; l < 4; ++l) {
    textout_centre_ex(lienzo, fuente_texto(), FELICIDADES[idioma_textos()][l], ANCHO_PANTALLA / 2, 64 * (l + 1),
                      -1, -1);
  }
}

int color_llenado(int k)
{
  return k <= 29 ? rojo : k <= 75 ? amarillo : verde;
}

// The emitter's or receiver's tile, leaving out a strip on its open side so
// the beam drawn across the opening stays visible.
void dibujar_sin_boca(const celda &e, int c, int franja)
{
  const int o = e.grf % 4;
  int dx = 0, dy = 0, ancho = LADO_CELDA, alto = LADO_CELDA;
  switch (o) {
  case 0: alto -= franja; break;
  case 1: dx = franja; ancho -= franja; break;
  case 2: dy = franja; alto -= franja; break;
  default: ancho -= franja; break;
  }
  blit(loseta[e.grf], buffer, dx, dy, celda_x(c) + dx, celda_y(c) + dy, ancho, alto);
}

// The emitter's and the receiver's tiles pulse on screen only while the
// completed level is celebrated (dibujo.grf_celebracion); the board keeps
// its own.

void animar_emisor_y_receptor()
{
  for (int c = 0; c < NUM_CELDAS; ++c) {
    const celda &e = nucleo.est_nivel[c];
    if (e.tipo != emisor && e.tipo != receptor) {
      continue;
    }
    const uint8_t primera = primer_grf[e.tipo];
    uint8_t &grf = dibujo.grf_celebracion[c];
    grf = static_cast<uint8_t>(grf < primera + 12 ? grf + 4 : grf - 12);
    celda mostrada = e;
    mostrada.grf = grf;
    dibujar_sin_boca(mostrada, c, e.tipo == emisor ? 3 : 5);
  }
}

// The right part of the status strip during the bonus count.
void redibujar_bono(int nivel, bool con_energia)
{
  copiar_marcador(ANCHO_PANEL + 1, ANCHO_PANTALLA - (ANCHO_PANEL + 1));
  dibujar_puntos_marcador(nucleo.dt_partida.puntos);
  dibujar_nivel_marcador(nivel);
  dibujar_vidas_marcador(nucleo.dt_partida.vidas);
  if (con_energia && nucleo.dt_partida.energia != 0) {
    const int largo = 3 * nucleo.dt_partida.energia;
    dibujar_barra_energia(largo, color_llenado(largo));
  }
}

// Waits, with music 0, until the player presses the panel's Exit; `antes`
// draws what moves on screen meanwhile, `paso` shows each frame.
template <typename F>
void esperar_salida(F antes, void (*paso)())
{
  dlg_apilar_dialogo(DLG_FIN);
  for (;;) {
    reproducir_musica(MUSICA_MENU);
    show_mouse(nullptr);
    antes();
    copiar_marcador(0, ANCHO_PANEL);
    const int32_t r = dlg_comprobar(buffer);
    show_mouse(buffer);
    paso();
    if (r == 0) {
      break;
    }
  }
  dlg_desapilar_dialogo();
}

void poner_gris(BITMAP *b, int x0, int y0, int x1, int y1)
{
  for (int x = x0; x <= x1; ++x) {
    for (int y = y0; y <= y1; ++y) {
      const int c = getpixel(b, x, y);
      const int g = (getr(c) + getg(c) + getb(c)) / 3;
      putpixel(b, x, y, makecol(g, g, g));
    }
  }
}

}  // namespace

namespace {

// The board being slid in: a canvas the size of the screen's board corner,
// kept from the level's load to the end of its start.
BITMAP *lienzo = nullptr;
BITMAP *tablero_lienzo = nullptr;

void destruir_lienzo()
{
  destroy_bitmap(tablero_lienzo);
  destroy_bitmap(lienzo);
  tablero_lienzo = lienzo = nullptr;
}

void crear_lienzo()
{
  // One left by a slide not played to its end (a replay sought away from
  // the middle of one) goes first.
  destruir_lienzo();
  lienzo = create_bitmap(ORIGEN_TABLERO + ANCHO_TABLERO, ORIGEN_TABLERO + ALTO_TABLERO);
  tablero_lienzo = create_sub_bitmap(lienzo, ORIGEN_TABLERO, ORIGEN_TABLERO, ANCHO_TABLERO, ALTO_TABLERO);
}

// The canvas's board slides in from a random corner (dibujo.esquina), a
// step a frame: `paso` from 1 to FOTOGRAMAS_DESLIZAMIENTO, where it stands
// in place.
void deslizar_lienzo(int paso)
{
  static const int SX[4] = {1, 1, -1, -1};
  static const int SY[4] = {1, -1, 1, -1};
  if (paso == 1) {
    dibujo.esquina = static_cast<uint8_t>(azar_dibujo(4));
    dibujar_bordes();
    set_clip_rect(buffer, ORIGEN_TABLERO, ORIGEN_TABLERO, ORIGEN_TABLERO + ANCHO_TABLERO - 1,
                  ORIGEN_TABLERO + ALTO_TABLERO - 1);
  }
  const int restantes = FOTOGRAMAS_DESLIZAMIENTO - paso;
  const int ox = (ANCHO_TABLERO / FOTOGRAMAS_DESLIZAMIENTO) * SX[dibujo.esquina] * restantes;
  const int oy = (ALTO_TABLERO / FOTOGRAMAS_DESLIZAMIENTO) * SY[dibujo.esquina] * restantes;
  blit(tablero_lienzo, buffer, 0, 0, ORIGEN_TABLERO + ox, ORIGEN_TABLERO + oy, ANCHO_TABLERO, ALTO_TABLERO);
  if (restantes == 0) {
    set_clip_rect(buffer, 0, 0, ANCHO_PANTALLA - 1, ALTO_PANTALLA - 1);
    destruir_lienzo();
    // A wheel turned while the board came in turns nothing.
    position_mouse_z(0);
  }
}

// Whether a cell's piece moves in the mirrors' scramble.
bool se_revuelve(uint8_t tipo)
{
  return tipo == espejo || tipo == espejo_giratorio || tipo == polarizador_reflectante_giratorio ||
         tipo == polarizador_absorbente_giratorio;
}

void mostrar_inicio_nivel(const datos_secuencia &q)
{
  const int8_t nivel = nucleo.dt_bucle.nivel;
  if (q.parte == parte_deslizamiento) {
    if (q.fotograma == 0) {
      crear_lienzo();
      pintar_tablero(lienzo);
    }
    deslizar_lienzo(q.fotograma + 1);
    return;
  }
  if (q.parte == parte_espera_inicio && q.fotograma == q.duracion - 1) {
    // A wheel turned while the level started turns nothing.
    position_mouse_z(0);
  }
  if (q.parte != parte_revuelta || q.fotograma != 0) {
    return;  // the frame before stays on screen
  }
  if (q.paso == 0) {
    copiar_marcador(0, ANCHO_PANTALLA);
    dibujar_puntos_marcador(nucleo.dt_partida.puntos);
    dibujar_nivel_marcador(nivel);
    dibujar_vidas_marcador(nucleo.dt_partida.vidas);
    dlg_dibujar_botones(buffer);
  }
  // The energy fills over the scramble; each step the mirrors take shows.
  for (int c = 0; c < NUM_CELDAS; ++c) {
    if (se_revuelve(nucleo.est_nivel[c].tipo)) {
      blit(loseta[nucleo.est_nivel[c].grf], buffer, 0, 0, celda_x(c), celda_y(c), LADO_CELDA, LADO_CELDA);
    }
  }
  const int k = 3 * q.paso;
  dibujar_barra_energia(k, color_llenado(k));
  reproducir_sonido(SND_TIC, SONIDO_UNA_VEZ);
}

void mostrar_contacto(const datos_secuencia &q)
{
  const int8_t nivel = nucleo.dt_bucle.nivel;
  switch (q.parte) {
  case parte_celebracion:
    if (q.fotograma == 0) {
      detener_efectos();
      parar_musica();
      reproducir_sonido(SND_CONECTADO, SONIDO_UNA_VEZ);
      for (int c = 0; c < NUM_CELDAS; ++c) {
        dibujo.grf_celebracion[c] = nucleo.est_nivel[c].grf;
      }
    }
    if (q.fotograma % 2 == 0) {
      animar_emisor_y_receptor();
    }
    break;
  case parte_energia:  // a unit of energy has become points
    if (q.fotograma == 0) {
      redibujar_bono(nivel, true);
      reproducir_sonido(SND_TIC, SONIDO_UNA_VEZ);
    }
    break;
  case parte_vida:  // a life has become points
    if (q.fotograma == 0) {
      reproducir_sonido(SND_BONO_VIDA, SONIDO_UNA_VEZ);
      redibujar_bono(nivel, false);
    }
    break;
  default:
    break;
  }
}

void mostrar_vida_perdida(uint8_t motivo)
{
  parar_musica();

  if (motivo == perdida_energia) {
    // Out of energy: the lit elements go dark.
    for (int c = 0; c < NUM_CELDAS; ++c) {
      const celda &e = nucleo.est_nivel[c];
      uint8_t grf;
      if (e.tipo == reemisor) {
        grf = primer_grf[reemisor];
      } else if (es_espejo(e.tipo)) {
        grf = static_cast<uint8_t>(primer_grf[espejo] + e.valor);
      } else {
        continue;
      }
      blit(loseta[grf], buffer, 0, 0, celda_x(c), celda_y(c), LADO_CELDA, LADO_CELDA);
    }
  } else {
    // Overloaded: the board washed in red, the meter full.
    set_add_blender(0, 0, 0, 75);
    drawing_mode(DRAW_MODE_TRANS, nullptr, 0, 0);
    rectfill(buffer, ORIGEN_TABLERO, ORIGEN_TABLERO, ORIGEN_TABLERO + ANCHO_TABLERO - 1,
             ORIGEN_TABLERO + ALTO_TABLERO - 1, makecol(255, 0, 0));
    drawing_mode(DRAW_MODE_SOLID, nullptr, 0, 0);
    dibujar_barra_sobrecarga(3 * 64, rojo);
  }

  detener_efectos();
  reproducir_sonido(motivo == perdida_energia ? SND_SIN_ENERGIA : SND_SOBRECARGA, SONIDO_UNA_VEZ);
}

// The closing scene's emitter keeps pulsing (dibujo.pulso_emisor), without
// painting over the beam's start.
void animar_emisor_final()
{
  const uint8_t emisor_derecha = static_cast<uint8_t>(primer_grf[emisor] + 3);
  dibujo.pulso_emisor = static_cast<uint8_t>((dibujo.pulso_emisor + 1) % 8);
  blit(loseta[emisor_derecha + 4 * (dibujo.pulso_emisor / 2)], buffer, 0, 0, 160, 352, LADO_CELDA - 3, LADO_CELDA);
}

void mostrar_final(const datos_secuencia &q)
{
  const uint8_t emisor_derecha = static_cast<uint8_t>(primer_grf[emisor] + 3);
  switch (q.parte) {
  case parte_deslizamiento:
    if (q.fotograma == 0) {
      parar_musica();
      crear_lienzo();
      dibujar_felicitacion(lienzo);
    }
    deslizar_lienzo(q.fotograma + 1);
    break;
  case parte_premio:
    if (q.fotograma == 0) {
      blit(loseta[emisor_derecha], buffer, 0, 0, 160, 352, LADO_CELDA, LADO_CELDA);
      blit(loseta[primer_grf[GRF_PREMIO]], buffer, 0, 0, 800, 352, LADO_CELDA, LADO_CELDA);
    }
    break;
  case parte_rayo_final:
    if (q.fotograma == 0) {
      // The beam to the prize: a bright core in a green glow.
      set_add_blender(0, 0, 0, 150);
      drawing_mode(DRAW_MODE_TRANS, nullptr, 0, 0);
      rectfill(buffer, 221, 379, 799, 389, makecol(0, 200, 0));
      rectfill(buffer, 221, 381, 799, 387, makecol(0, 200, 0));
      rectfill(buffer, 221, 383, 799, 385, makecol(165, 255, 165));
      drawing_mode(DRAW_MODE_SOLID, nullptr, 0, 0);
      reproducir_sonido(SND_CONECTADO, SONIDO_UNA_VEZ);
      textout_centre_ex(buffer, fuente_texto(), TE[idioma_textos()][0], ANCHO_PANTALLA / 2, 480, -1, -1);
      textout_centre_ex(buffer, fuente_texto(), TE[idioma_textos()][1], ANCHO_PANTALLA / 2, 544, -1, -1);
      dibujo.pulso_emisor = 0;
    }
    animar_emisor_final();
    break;
  default:
    break;
  }
}

}  // namespace

void mostrar_secuencia()
{
  const datos_secuencia &q = nucleo.secuencia;
  switch (q.tipo) {
  case secuencia_inicio_nivel:
    mostrar_inicio_nivel(q);
    break;
  case secuencia_contacto:
    mostrar_contacto(q);
    break;
  case secuencia_vida_perdida:
    if (q.fotograma == 0) {
      mostrar_vida_perdida(q.motivo);
    }
    break;
  case secuencia_final:
    mostrar_final(q);
    break;
  default:
    break;
  }
}

void esperar_sin_vidas(void (*paso)())
{
  const int8_t nivel = nucleo.dt_bucle.nivel;
  poner_gris(buffer, ORIGEN_TABLERO, ORIGEN_TABLERO, ORIGEN_TABLERO + ANCHO_TABLERO - 1,
             ORIGEN_TABLERO + ALTO_TABLERO - 1);
  draw_sprite(buffer, gameover, (buffer->w - gameover->w) / 2, 289);
  copiar_marcador(0, ANCHO_PANTALLA);
  dibujar_puntos_marcador(nucleo.dt_partida.puntos);
  // The level always shows as two digits here.
  textprintf_ex(buffer, fuente_texto(), 466, 656, -1, -1, "%i%i", (nivel + 1) / 10, (nivel + 1) % 10);
  dibujar_vidas_marcador("0");
  esperar_salida([] {}, paso);
}

void esperar_tras_final(void (*paso)())
{
  esperar_salida(animar_emisor_final, paso);
}
