// Watching a recording: the recorded game played again through the rules
// with the game's own hooks, so it looks and sounds as it did, a frame a
// turn of the viewer's loop: its keys read, the frame played unless paused,
// the frame shown with its caption at the viewer's pace.
#include <allegro.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "pantalla/pantalla.h"
#include "juego/juego.h"
#include "repeticion/repeticion.h"
#include "tiempo/tiempo.h"

namespace {

// Held, the right arrow plays this many times as fast: frames are run
// without waiting while they are behind the clock, and one is shown every
// tick meanwhile. Paced by the clock rather than by counting frames per
// tick, so a late tick or a slow copy to the window (a busy machine) does
// not slow it down; but no more than a quarter of a second is made up, so
// time spent paused or in a stall never comes back as a burst.
constexpr int VELOCIDAD_RAPIDA = 4;
constexpr auto DURACION_FOTOGRAMA = std::chrono::microseconds(1000000 / FOTOGRAMAS_POR_SEGUNDO);
constexpr auto MAXIMO_ATRASO = std::chrono::milliseconds(250);

// The caption stands on the frame's top strip, over the board's border,
// where it hides nothing of the game and no button.
constexpr int ALTO_ROTULO = ORIGEN_TABLERO;
constexpr int Y_ROTULO = 5;
constexpr int MARGEN_ROTULO = 12;
constexpr int OPACIDAD_ROTULO = 170;

// A key as the viewer reads it. A held key repeats, and between a
// repeat's release and its next press it looks up for a moment: it counts
// as down until it has been seen up for a while.
constexpr auto TECLA_SOLTADA = std::chrono::milliseconds(150);
struct tecla_visor {
  int tecla;
  t_vista_tecla vista;
  uint8_t abajo;
  std::chrono::steady_clock::time_point vista_abajo;  // when last seen down
};

// Looks at the key; true on the look it goes down.
bool pulsada(tecla_visor &t, std::chrono::steady_clock::time_point ahora)
{
  if (dlg_tecla(t.tecla, t.vista)) {
    t.vista_abajo = ahora;
    if (!t.abajo) {
      t.abajo = 1;
      return true;
    }
  } else if (ahora - t.vista_abajo > TECLA_SOLTADA) {
    t.abajo = 0;
  }
  return false;
}

struct datos_visor {
  const repeticion *r;
  lector_repeticion lector;
  uint8_t pausado;
  uint8_t rapido;
  uint8_t al_final;  // the game has ended; its last frame is held
  // While fast, when the next frame is due, and when one was last shown.
  std::chrono::steady_clock::time_point debido, ultimo_mostrado;
  tecla_visor espacio, derecha, escape;
  t_vista_raton raton;
  BITMAP *debajo_rotulo;  // what the caption covers, put back after the copy
  BITMAP *sin_puntero;    // the pointer while the recorded game plays
  uint8_t puntero_visible;
};
datos_visor visor;

const char *en_idioma(const char *es, const char *en)
{
  return idioma == IDIOMA_ESPANOL ? es : en;
}

void leer_teclas()
{
  const auto ahora = std::chrono::steady_clock::now();
  if (pulsada(visor.escape, ahora)) {
    // Leaves at once, from wherever the recorded game stands, as a request
    // to end does: the library's shutdown puts the screen back.
    std::exit(0);
  }
  if (pulsada(visor.espacio, ahora) && !visor.al_final) {
    visor.pausado = !visor.pausado;
    if (visor.pausado) {
      pausar_sonidos();
    } else {
      reanudar_sonidos();
    }
    visor.debido = ahora;
  }
  if (pulsada(visor.derecha, ahora)) {
    visor.debido = ahora;
  }
  visor.rapido = visor.derecha.abajo && !visor.al_final;
}

// While fast: whether this frame is run on without being shown, because
// the frames are behind the clock and the last one shown is not a tick old.
bool correr_sin_mostrar()
{
  if (!visor.rapido || visor.pausado) {
    return false;
  }
  const auto ahora = std::chrono::steady_clock::now();
  visor.debido = std::max(visor.debido, ahora - MAXIMO_ATRASO) + DURACION_FOTOGRAMA / VELOCIDAD_RAPIDA;
  return visor.debido <= ahora && ahora - visor.ultimo_mostrado < DURACION_FOTOGRAMA;
}

// "m:ss" of `fotogramas` at the game's pace.
void poner_tiempo(char *texto, size_t n, uint32_t fotogramas)
{
  const uint32_t s = fotogramas / FOTOGRAMAS_POR_SEGUNDO;
  snprintf(texto, n, "%u:%02u", s / 60, s % 60);
}

// Whose game, its points, when it was played, how far it has been watched,
// and how it is being watched.
void dibujar_rotulo()
{
  const cabecera_repeticion &c = visor.r->cabecera;
  char texto[200];
  int n = 0;
  const auto poner = [&](const char *parte) {
    if (n > 0) {
      n += snprintf(texto + n, sizeof texto - n, "  \xB7  ");
    }
    n += snprintf(texto + n, sizeof texto - n, "%s", parte);
  };
  char parte[64];
  if (c.nombre[0] != '\0') {
    poner(c.nombre);
  }
  snprintf(parte, sizeof parte, "%d %s", static_cast<int>(c.puntos), en_idioma("puntos", "points"));
  poner(parte);
  if (c.fecha != 0) {
    const time_t t = static_cast<time_t>(c.fecha);
    tm local{};
    localtime_r(&t, &local);
    strftime(parte, sizeof parte, "%d/%m/%Y %H:%M", &local);
    poner(parte);
  }
  char visto[16], total[16];
  poner_tiempo(visto, sizeof visto, visor.lector.fotograma);
  poner_tiempo(total, sizeof total, c.fotogramas);
  snprintf(parte, sizeof parte, "%s / %s%s", visto, total,
           visor.al_final  ? en_idioma("  fin", "  end")
           : visor.pausado ? en_idioma("  pausa", "  paused")
           : visor.rapido  ? "  x4"
                           : "");
  poner(parte);
  // On a dark band, which the border's rivets do not show through.
  FONT *fuente = static_cast<FONT *>(f_fnt[FNT_BOTONES].dat);
  const int medio = text_length(fuente, texto) / 2 + MARGEN_ROTULO;
  set_trans_blender(0, 0, 0, OPACIDAD_ROTULO);
  drawing_mode(DRAW_MODE_TRANS, nullptr, 0, 0);
  rectfill(buffer, ANCHO_PANTALLA / 2 - medio, Y_ROTULO - 2, ANCHO_PANTALLA / 2 + medio,
           Y_ROTULO + text_height(fuente) + 1, makecol(0, 0, 0));
  drawing_mode(DRAW_MODE_SOLID, nullptr, 0, 0);
  textout_centre_ex(buffer, fuente, texto, ANCHO_PANTALLA / 2, Y_ROTULO, -1, -1);
}

// The frame with the caption over it; `buffer` itself is left as the game
// drew it.
void mostrar_con_rotulo()
{
  // Over whatever clipping a sequence keeps on the frame (a board sliding
  // in draws inside the board only).
  int x0, y0, x1, y1;
  get_clip_rect(buffer, &x0, &y0, &x1, &y1);
  set_clip_rect(buffer, 0, 0, ANCHO_PANTALLA - 1, ALTO_PANTALLA - 1);
  blit(buffer, visor.debajo_rotulo, 0, 0, 0, 0, ANCHO_PANTALLA, ALTO_ROTULO);
  dibujar_rotulo();
  presentar_fotograma();
  blit(visor.debajo_rotulo, buffer, 0, 0, 0, 0, ANCHO_PANTALLA, ALTO_ROTULO);
  set_clip_rect(buffer, x0, y0, x1, y1);
}

// The player's own pointer is drawn only where a screen waits for a click:
// over the recorded game it would pass for the recorded player's.
void poner_puntero()
{
  const uint8_t visible = visor.al_final || (cima_pila >= 0 && pila[cima_pila] == DLG_FIN);
  if (visible != visor.puntero_visible) {
    visor.puntero_visible = visible;
    set_mouse_sprite(visible ? puntero : visor.sin_puntero);
  }
}

// Shows a frame of the recorded game.
void presentar_visor()
{
  if (correr_sin_mostrar()) {
    return;  // a later frame shows it all
  }
  mostrar_con_rotulo();
  visor.ultimo_mostrado = std::chrono::steady_clock::now();
}

// The frame step of the screens after the game's end: the keys still read
// (Esc leaves), the caption over the frame.
void paso_visor_final()
{
  leer_teclas();
  poner_puntero();
  paso_fotograma_con(mostrar_con_rotulo);
}

// The last frame of a game that ended with no screen of its own (the
// player left it), held until a click.
void esperar_al_final()
{
  detener_sonidos(1);
  sonido_mina = -1;
  sonido_sobrecarga = -1;
  parar_musica();
  dlg_olvidar_botones(visor.raton);
  while ((dlg_botones(visor.raton) & 1) == 0) {
    show_mouse(buffer);
    paso_visor_final();
    show_mouse(nullptr);
  }
}

}  // namespace

void ver_repeticion(const repeticion &r)
{
  visor = {};
  visor.r = &r;
  visor.debajo_rotulo = create_bitmap(ANCHO_PANTALLA, ALTO_ROTULO);
  visor.sin_puntero = create_bitmap(1, 1);
  if (visor.debajo_rotulo == nullptr || visor.sin_puntero == nullptr) {
    fprintf(stderr, "fotonauta: no memory to watch the recording\n");
    return;
  }
  clear_to_color(visor.sin_puntero, bitmap_mask_color(visor.sin_puntero));
  set_mouse_sprite(visor.sin_puntero);
  visor.escape.tecla = KEY_ESC;
  visor.espacio.tecla = KEY_SPACE;
  visor.derecha.tecla = KEY_RIGHT;
  for (tecla_visor *t : {&visor.escape, &visor.espacio, &visor.derecha}) {
    dlg_olvidar_tecla(t->tecla, t->vista);
  }

  crear_marcador_partida();
  abrir_pantalla_partida(DLG_REPETICION);
  std::string error;
  if (empezar_reproduccion(visor.lector, r, nullptr, error)) {
    show_mouse(nullptr);
    while (reproduccion_en_curso(visor.lector)) {
      leer_teclas();
      poner_puntero();
      if (visor.pausado) {
        // The recorded game stands still; the caption says so.
        reproducir_musica(-1);
        paso_fotograma_con(mostrar_con_rotulo);
        continue;
      }
      const bool de_juego = !en_secuencia();
      if (de_juego) {
        panel_partida();  // the status strip; the viewer's panel has no buttons
      }
      reproducir_fotograma(visor.lector, &ganchos_pantalla);
      mostrar_fotograma_partida(de_juego, presentar_visor);
    }
    // The game's end, as the game showed it, until Exit or a click.
    visor.al_final = 1;
    if (nucleo.dt_bucle.motivo_fin == fin_sin_vidas) {
      esperar_sin_vidas(paso_visor_final);
    } else if (nucleo.dt_bucle.motivo_fin == fin_completado && !nucleo.trampas) {
      esperar_tras_final(paso_visor_final);
    } else {
      esperar_al_final();
    }
  } else {
    fprintf(stderr, "fotonauta: %s\n", error.c_str());
  }
  cerrar_pantalla_partida();

  set_mouse_sprite(puntero);
  destroy_bitmap(visor.sin_puntero);
  destroy_bitmap(visor.debajo_rotulo);
  visor = {};
}
