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
#include <string>

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

// The keys are told over the strip under the board for a while as the
// recording starts, and again on H or F1.
constexpr auto DURACION_AYUDA = std::chrono::seconds(5);

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
  uint32_t jugados;  // frames the rules have played, sequences included
  uint32_t desde;    // the frame to open paused on; none is shown before it
  // While fast, when the next frame is due, and when one was last shown.
  std::chrono::steady_clock::time_point debido, ultimo_mostrado;
  tecla_visor espacio, derecha, escape, ayuda, f1;
  std::chrono::steady_clock::time_point ayuda_hasta;  // the keys are told until then
  t_vista_raton raton;
  BITMAP *sin_puntero;  // the pointer while the recorded game plays
  uint8_t puntero_visible;
};
datos_visor visor;

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
  // H (or F1) tells the keys again, or hides them while told.
  const bool ayuda = pulsada(visor.ayuda, ahora);
  if (pulsada(visor.f1, ahora) || ayuda) {
    visor.ayuda_hasta = ahora < visor.ayuda_hasta ? ahora : ahora + DURACION_AYUDA;
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
std::string texto_rotulo()
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
    // Year first, as no reader of either language can take it for another
    // day.
    const time_t t = static_cast<time_t>(c.fecha);
    tm local{};
    localtime_r(&t, &local);
    strftime(parte, sizeof parte, "%Y-%m-%d %H:%M", &local);
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
  return texto;
}

// The viewer's keys, while they are told.
std::string texto_ayuda()
{
  if (std::chrono::steady_clock::now() >= visor.ayuda_hasta) {
    return {};
  }
  return en_idioma("espacio: pausa  \xB7  flecha derecha: x4  \xB7  F11: pantalla completa  \xB7  Esc: salir",
                   "Space: pause  \xB7  right arrow: x4  \xB7  F11: full screen  \xB7  Esc: leave");
}

// The frame with the caption over it, and the keys under the board while
// they are told; `buffer` itself is left as the game drew it.
void mostrar_con_rotulo()
{
  presentar_con_rotulos(texto_rotulo(), texto_ayuda(), presentar_fotograma);
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
  detener_efectos();
  parar_musica();
  dlg_olvidar_botones(visor.raton);
  while ((dlg_botones(visor.raton) & 1) == 0) {
    show_mouse(buffer);
    paso_visor_final();
    show_mouse(nullptr);
  }
}

}  // namespace

void ver_repeticion(const repeticion &r, uint32_t desde)
{
  visor = {};
  visor.r = &r;
  visor.desde = desde;
  visor.sin_puntero = create_bitmap(1, 1);
  if (visor.sin_puntero == nullptr) {
    fprintf(stderr, "fotonauta: no memory to watch the recording\n");
    return;
  }
  clear_to_color(visor.sin_puntero, bitmap_mask_color(visor.sin_puntero));
  set_mouse_sprite(visor.sin_puntero);
  visor.escape.tecla = KEY_ESC;
  visor.espacio.tecla = KEY_SPACE;
  visor.derecha.tecla = KEY_RIGHT;
  visor.ayuda.tecla = KEY_H;
  visor.f1.tecla = KEY_F1;
  for (tecla_visor *t : {&visor.escape, &visor.espacio, &visor.derecha, &visor.ayuda, &visor.f1}) {
    dlg_olvidar_tecla(t->tecla, t->vista);
  }
  visor.ayuda_hasta = std::chrono::steady_clock::now() + DURACION_AYUDA;

  crear_marcador_partida();
  abrir_pantalla_partida(DLG_REPETICION);
  std::string error;
  if (empezar_reproduccion(visor.lector, r, nullptr, error)) {
    empezar_dibujo(r.cabecera.semilla);
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
      ++visor.jugados;
      if (visor.jugados < visor.desde) {
        continue;  // drawn, for what the drawing carries on, but not shown
      }
      if (visor.jugados == visor.desde) {
        // The frames played unseen started sounds nobody should hear.
        detener_efectos();
        visor.pausado = 1;
      }
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
  visor = {};
}
