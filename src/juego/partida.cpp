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

// Colours of the status strip and the sequences, made once the display's
// pixel format is known.
int rojo, amarillo, verde;

// Voices of the two looping alarms, -1 while silent.
int8_t sonido_sobrecarga = -1;
int8_t sonido_mina = -1;

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

int color_sobrecarga(int s)
{
  return s <= 31 ? verde : s <= 48 ? amarillo : rojo;
}

int color_energia(int e)
{
  return e <= 9 ? rojo : e <= 25 ? amarillo : verde;
}

// What the frame's rules did, heard.
void sonar_sucesos()
{
  const uint16_t s = nucleo.dt_sucesos.bits;
  if (s & suceso_explosion) {
    reproducir_sonido(SND_EXPLOSION, SONIDO_UNA_VEZ);
  }
  if (s & suceso_explosion_larga) {
    reproducir_sonido(SND_EXPLOSION + 1, SONIDO_UNA_VEZ);
  }
  if (s & suceso_puerta) {
    reproducir_sonido(SND_PUERTA, SONIDO_UNA_VEZ);
  }
  if (s & suceso_gremlin_entra) {
    reproducir_sonido(SND_GREMLIN, SONIDO_UNA_VEZ);
  }
  if (s & suceso_gremlin_cazado) {
    reproducir_sonido(SND_GREMLIN_CAZADO, SONIDO_UNA_VEZ);
  }
}

// Each looping alarm sounds exactly while its state lasts.
void alarmas()
{
  if (sonido_sobrecarga >= 0 && nucleo.dt_rayo.estado != rayo_sobrecarga) {
    detener_sonido(sonido_sobrecarga);
    sonido_sobrecarga = -1;
  }
  if (sonido_mina >= 0 && nucleo.dt_rayo.estado != rayo_mina) {
    detener_sonido(sonido_mina);
    sonido_mina = -1;
  }
  if (sonido_sobrecarga == -1 && nucleo.dt_rayo.estado == rayo_sobrecarga) {
    sonido_sobrecarga = reproducir_sonido(SND_ALARMA_SOBRECARGA, SONIDO_BUCLE);
  }
  if (sonido_mina == -1 && nucleo.dt_rayo.estado == rayo_mina) {
    sonido_mina = reproducir_sonido(SND_ALARMA_MINA, SONIDO_BUCLE);
  }
}

void dibujar_estado()
{
  copiar_marcador(0, ANCHO_PANTALLA);
  dibujar_puntos_marcador(nucleo.dt_partida.puntos + nucleo.dt_partida.puntos_nivel);
  if (nucleo.dt_partida.sobrecarga != 0) {
    dibujar_barra_sobrecarga(3 * nucleo.dt_partida.sobrecarga, color_sobrecarga(nucleo.dt_partida.sobrecarga));
  }
  if (nucleo.dt_partida.energia > 1 || nucleo.dt_partida.cuenta_energia != 0) {
    dibujar_barra_energia(3 * nucleo.dt_partida.energia, color_energia(nucleo.dt_partida.energia));
  }
  dibujar_nivel_marcador(nucleo.dt_bucle.nivel);
  dibujar_vidas_marcador(nucleo.dt_partida.vidas);
}

void dibujar_tablero_juego(uint8_t)
{
  pintar_tablero(buffer);
}

// The rest of a frame of play on screen.
uint8_t mostrar_fotograma(uint8_t logico)
{
  // The frame on which the last unit of energy is about to go shows no beam.
  if (!(logico && nucleo.dt_partida.energia <= 1 && nucleo.dt_partida.cuenta_energia <= 0)) {
    dibujar_rayo();
  }
  const uint8_t c = nucleo.dt_bucle.celda_pinchada;
  if (c != CELDA_NINGUNA) {
    draw_sprite(buffer, loseta[LOSETA_MARCA], ORIGEN_TABLERO + LADO_CELDA * (c % COLUMNAS),
                ORIGEN_TABLERO + LADO_CELDA * (c / COLUMNAS));
  }
  if ((nucleo.dt_sucesos.bits & suceso_puerta_recompuesta) != 0) {
    recomponer_loseta_puerta(nucleo.dt_sucesos.grf_puerta_antes);
  }
  sonar_sucesos();
  alarmas();
  if (nucleo.trampas) {
    textout_ex(buffer, fuente_texto(), "*", 0, 0, -1, -1);
  }
  return 0;
}

// The line over the top strip of the game on screen (rotular_partida).
struct rotulo_juego {
  std::string titulo, aviso;
  int fotogramas_aviso;  // frames the notice is still shown for
};
rotulo_juego rotulo;

// While a completed level's bonus is counted, what is left of it; a game of
// one level alone, which ends with it, also says a click ends it.
std::string linea_bono()
{
  char texto[160];
  snprintf(texto, sizeof texto,
           idioma == IDIOMA_ESPANOL ? "\xA1nivel superado!  energ\xED" "a %d x %d  \xB7  vidas %d x %d%s"
                                    : "level complete!  energy %d x %d  \xB7  lives %d x %d%s",
           static_cast<int>(nucleo.dt_partida.energia), static_cast<int>(PUNTOS_POR_ENERGIA),
           static_cast<int>(nucleo.dt_partida.vidas), static_cast<int>(PUNTOS_POR_VIDA),
           nucleo.dt_bucle.suelto ? en_idioma("  \xB7  clic: seguir", "  \xB7  click: go on") : "");
  return texto;
}

// A frame of the game shown, with its line over the top strip.
void presentar_partida()
{
  std::string arriba;
  if (nucleo.secuencia.tipo == secuencia_contacto) {
    arriba = linea_bono();
  } else if (rotulo.fotogramas_aviso > 0) {
    arriba = rotulo.aviso;
  } else {
    arriba = rotulo.titulo;
  }
  if (rotulo.fotogramas_aviso > 0) {
    --rotulo.fotogramas_aviso;
  }
  presentar_con_rotulos(arriba, {}, presentar_fotograma);
}

// A click of the player's, made after the bonus count began: for a game of
// one level alone, which has nothing after it, it ends the count.
t_vista_raton vista_clic;
uint8_t boton_visto;

void empezar_a_mirar_clic()
{
  dlg_olvidar_botones(vista_clic);
  // A button still held as the level was won (the mirror being turned)
  // must be let go first.
  boton_visto = static_cast<uint8_t>(mouse_b & 1);
}

bool clic_nuevo()
{
  const uint8_t b = dlg_botones(vista_clic) & 1;
  const bool nuevo = b != 0 && boton_visto == 0;
  boton_visto = b;
  return nuevo;
}

// In a game of one level alone, a click after the win ends its bonus
// count: the rest of the count played at once, unseen, for the same points,
// and the game ends as it would have. `antes` is the sequence of the frame
// before. True when the count was ended.
bool cortar_cuenta(uint8_t antes)
{
  if (!nucleo.dt_bucle.suelto || nucleo.secuencia.tipo != secuencia_contacto) {
    return false;
  }
  if (antes != secuencia_contacto) {
    empezar_a_mirar_clic();
    return false;
  }
  if (!clic_nuevo()) {
    return false;
  }
  pasar_secuencia();
  detener_efectos();
  return true;
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
  show_mouse(nullptr);
  uint8_t secuencia_antes = secuencia_ninguna;
  while (nucleo.dt_bucle.motivo_fin == jugando) {
    entrada_juego entrada;
    const bool de_juego = !en_secuencia();
    if (en_pantalla && cortar_cuenta(secuencia_antes)) {
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
  rotulo.fotogramas_aviso = rotulo.aviso.empty() ? 0 : SEGUNDOS_AVISO * FOTOGRAMAS_POR_SEGUNDO;
  jugar_fotogramas(inicio, &ganchos_pantalla, true);
  cerrar_pantalla_partida();
  rotulo = {};
}

}  // namespace

void crear_marcador_partida()
{
  marcador = create_bitmap(ANCHO_PANTALLA, ALTO_MARCADOR);
  preparar_marcador();
}

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

const ganchos_partida ganchos_pantalla = {dibujar_tablero_juego, mostrar_fotograma, mostrar_secuencia};

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
  entrada_juego e;
  e.botones = static_cast<uint8_t>(dlg_botones(vistas.raton));
  e.celda = celda_en_pantalla(mouse_x, mouse_y);
  if (mouse_z != 0) {
    e.rueda = mouse_z > 0 ? 1 : -1;
    position_mouse_z(0);
  }
  if (key[KEY_ALT]) {
    e.teclas |= TECLA_ALT;
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
  rojo = makecol(255, 0, 0);
  verde = makecol(0, 255, 0);
  amarillo = makecol(255, 255, 0);
}

void rotular_partida(const std::string &titulo, const std::string &aviso)
{
  rotulo.titulo = titulo;
  rotulo.aviso = aviso;
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
