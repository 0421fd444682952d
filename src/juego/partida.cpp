// One whole game on screen: the rules' frames played with the player's
// mouse and keys, the board, the beam and the status strip drawn, what
// happened sounded, and at the end how it ended told.
#include "juego/juego.h"

#include <allegro.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "pantalla/pantalla.h"
#include "repeticion/repeticion.h"
#include "tiempo/tiempo.h"

// The recording of the game being played, or of the last one played.
repeticion partida_grabada;

namespace {

// The game's looks at the mouse and the keys, kept from one logic frame to
// the next: a tap between two of them counts as held for one.
struct vistas_jugador {
  t_vista_raton raton;
  t_vista_tecla izquierda, derecha, q, m;
};
vistas_jugador vistas;

// A frame of the game shown, with its line over the top strip.
void presentar_partida()
{
  presentar_con_rotulos(linea_rotulo(), {}, presentar_fotograma);
}

// The left button as cortar_cuenta looks at it: from the bonus count's
// start, a press made after it; one still held as the level was won (the
// mirror being turned) must be let go first.
t_vista_raton vista_clic;
uint8_t boton_visto;

bool clic_tras_cuenta(bool empezar)
{
  if (empezar) {
    dlg_olvidar_botones(vista_clic);
    boton_visto = static_cast<uint8_t>(mouse_b & 1);
    return false;
  }
  const uint8_t b = dlg_botones(vista_clic) & 1;
  const bool nuevo = b != 0 && boton_visto == 0;
  boton_visto = b;
  return nuevo;
}

// A new seed for every game: the time, to the nanosecond.
uint64_t semilla_nueva()
{
  return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
         static_cast<uint64_t>(time(nullptr));
}

// The frames of a game from its start to its end, read from the player and
// recorded, a frame a turn: the input read, the frame played, the frame
// shown. `en_pantalla`: in the window, with the panel and its buttons, and
// the screens that wait for Exit once the game is over.
void jugar_fotogramas(const inicio_partida &inicio, const ganchos_partida *ganchos, bool en_pantalla)
{
  empezar_grabacion(partida_grabada, inicio);
  empezar_partida(inicio);
  empezar_dibujo(inicio.semilla);
  show_mouse(nullptr);
  uint8_t secuencia_antes = secuencia_ninguna;
  while (nucleo.dt_bucle.motivo_fin == jugando) {
    entrada_juego entrada;
    const bool de_juego = !en_secuencia();
    if (en_pantalla && cortar_cuenta(secuencia_antes, clic_tras_cuenta)) {
      continue;
    }
    secuencia_antes = nucleo.secuencia.tipo;
    if (de_juego && en_pantalla) {
      // Paused, the game stands still until "Seguir" or a confirmed Exit,
      // which plays the frame it was paused before as the one left in.
      if (juego_en_pausa()) {
        if (fotograma_pausa() != 1) {
          continue;
        }
        entrada.abandono = 1;
      } else {
        entrada.abandono = panel_partida();
        // Esc and P pause as the panel's button does; F1 with the keys
        // shown over the board, which stands still until the game goes on.
        const int tecla = entrada.abandono == 0 ? tecla_pausa() : 0;
        if (tecla != 0) {
          pausa(0);
          if (tecla == TECLA_AYUDA) {
            dibujar_ayuda_teclas();
          }
        }
        if (juego_en_pausa()) {
          continue;
        }
      }
    }
    if (en_pantalla) {
      mover_cursor_teclado();
    }
    if (fotograma_logico()) {
      const uint8_t abandono = entrada.abandono;
      entrada = leer_entrada_juego();
      if (en_pantalla && de_juego) {
        aplicar_teclado(entrada);
      }
      entrada.abandono = abandono;
    }
    jugar_y_grabar(partida_grabada, entrada, ganchos);
    if (en_pantalla) {
      if (de_juego) {
        dibujar_cursor_teclado();
      }
      mostrar_fotograma_partida(de_juego, presentar_partida);
    }
  }
  terminar_grabacion(partida_grabada);
  if (en_pantalla) {
    if (nucleo.dt_bucle.motivo_fin == fin_sin_vidas) {
      esperar_sin_vidas(paso_fotograma);
    } else if (nucleo.dt_bucle.motivo_fin == fin_completado && !nucleo.trampas) {
      esperar_tras_final(paso_fotograma);
    }
  }
}

// The game from its first level to its end.
void jugar(inicio_partida inicio)
{
  dlg_olvidar_botones(vistas.raton);
  dlg_olvidar_tecla(KEY_LEFT, vistas.izquierda);
  dlg_olvidar_tecla(KEY_RIGHT, vistas.derecha);
  dlg_olvidar_tecla(KEY_Q, vistas.q);
  dlg_olvidar_tecla(KEY_M, vistas.m);
  empezar_teclado();

  crear_marcador_partida();
  abrir_pantalla_partida(DLG_JUEGO);
  inicio.semilla = semilla_nueva();
  empezar_rotulo();
  jugar_fotogramas(inicio, &ganchos_pantalla, true);
  cerrar_pantalla_partida();
  olvidar_rotulo();
}

}  // namespace


void abrir_pantalla_partida(int8_t dialogo)
{
  parar_musica();
  dlg_apilar_dialogo(dialogo);
}

void cerrar_pantalla_partida()
{
  detener_efectos();
  dlg_desapilar_dialogo();
  destroy_bitmap(marcador);
  marcador = nullptr;
}

uint8_t panel_partida()
{
  dibujar_estado();
  return dlg_comprobar(buffer) == 1 ? 1 : 0;
}

void mostrar_fotograma_partida(bool de_juego, void (*presentar)())
{
  if (!de_juego) {
    paso_fotograma_con(presentar);
    return;
  }
  show_mouse(buffer);
  reproducir_musica(static_cast<int8_t>(nucleo.dt_bucle.nivel % 2 + 1));
  paso_fotograma_con(presentar);
  show_mouse(nullptr);
}

entrada_juego leer_entrada_juego()
{
  const int botones = dlg_botones(vistas.raton);
  entrada_juego e = entrada_puntero(botones, mouse_x, mouse_y, mouse_z, key[KEY_ALT] != 0);
  if (mouse_z != 0) {
    position_mouse_z(0);
  }
  if (dlg_tecla(KEY_LEFT, vistas.izquierda)) {
    e.teclas |= TECLA_IZQUIERDA;
  }
  if (dlg_tecla(KEY_RIGHT, vistas.derecha)) {
    e.teclas |= TECLA_DERECHA;
  }
  if (dlg_tecla(KEY_Q, vistas.q)) {
    e.teclas |= TECLA_Q;
  }
  if (dlg_tecla(KEY_M, vistas.m)) {
    e.teclas |= TECLA_M;
  }
  return e;
}

int mover_espejos_pinchados(uint8_t liberar)
{
  if (liberar) {
    // A tap made before the hold is dropped is not carried past it.
    dlg_olvidar_botones(vistas.raton);
    return mover_espejos_pinchados(1, entrada_juego{});
  }
  return mover_espejos_pinchados(0, leer_entrada_juego());
}

void ini_juego()
{
  srand(static_cast<unsigned>(time(nullptr)));
  crear_colores_juego();
}

const nivel_texto *niveles_sustitutos[NUM_NIVELES];

bool hay_niveles_sustitutos()
{
  for (const nivel_texto *n : niveles_sustitutos) {
    if (n != nullptr) {
      return true;
    }
  }
  return false;
}

final_partida jugar_partida(bool entrenamiento, int8_t nivel)
{
  inicio_partida inicio{};
  inicio.entrenamiento = entrenamiento;
  inicio.sustitutos = niveles_sustitutos;
  inicio.nivel = nivel;
  jugar(inicio);
  // A game played on levels of the player's own files is not the game the
  // table ranks: its score and its progress are kept out, so no such score
  // is ever uploaded.
  return {nucleo.dt_bucle.motivo_fin, static_cast<int8_t>(nucleo.dt_bucle.nivel), nucleo.dt_partida.puntos,
          nucleo.dt_partida.fases_superadas, !nucleo.trampas && !hay_niveles_sustitutos()};
}

#ifdef FOTONAUTA_PRUEBAS
void jugar_sin_pantalla(const inicio_partida &inicio, const ganchos_partida *ganchos)
{
  jugar_fotogramas(inicio, ganchos, false);
}
#endif

void jugar_nivel_suelto(const nivel_texto &nivel)
{
  inicio_partida inicio{};
  inicio.suelto = 1;
  inicio.nivel_suelto = &nivel;
  jugar(inicio);
  parar_musica();
}
