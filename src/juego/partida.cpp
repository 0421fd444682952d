// One whole game: its loop, the rules that turn the beam's result into
// overload, lost lives and completed levels, and the state it shares with
// its sequences.
#include "juego/juego.h"

#include <allegro.h>

#include <cstdlib>
#include <ctime>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "fotonauta/fotonauta.h"

// The game in progress; set up afresh by every game.
datos_partida dt_partida;

// 1 while the cheat mode is on.
uint8_t trampas;

// Tamper evidence; word 0 is the integrity flag read by name entry.
int32_t trampeando[NUM_TRAMPEANDO];

// Colours of the status strip and the sequences, made once the display's
// pixel format is known.
int rojo, amarillo, verde;

namespace {

// Word 1 of the tamper evidence mirrors the level points under this key.
constexpr int32_t CLAVE_PUNTOS = 0x5A3C96E1;

// Any non-zero value: the game has been played straight.
constexpr int32_t PARTIDA_LIMPIA = 0x66746E61;

// Why a game ends.
enum : uint8_t {
  jugando = 0,
  fin_abandono = 1,
  fin_sin_vidas = 2,
  fin_completado = 3,
};

constexpr int8_t ULTIMO_NIVEL = PRIMER_NIVEL_ENTRENAMIENTO - 1;
constexpr int8_t ULTIMO_NIVEL_ENTRENAMIENTO = NUM_NIVELES - 1;

constexpr int8_t SOBRECARGA_MAXIMA = 64;
constexpr int32_t PUNTOS_GREMLIN = 160;
constexpr int16_t ESPERA_GREMLIN_CAZADO = 300;
constexpr int8_t CUENTA_ENERGIA = 15;

// A logic frame comes every third frame.
constexpr int8_t FOTOGRAMAS_POR_CICLO = 3;

int color_sobrecarga(int s)
{
  return s <= 31 ? verde : s <= 48 ? amarillo : rojo;
}

int color_energia(int e)
{
  return e <= 9 ? rojo : e <= 25 ? amarillo : verde;
}

// The state of one call of juego.
struct estado_partida {
  uint8_t entrenamiento;
  int8_t nivel;
  int8_t cuenta_ciclo;
  uint8_t motivo_fin;
  int celda_pinchada;
  uint8_t flechas;  // an arrow was down at the previous logic frame
  uint8_t suelto;   // one level alone (the editor's Play): it ends the game
  // The last look at each key read here: a tap between two logic frames
  // counts as held for one.
  t_vista_tecla vista_izquierda, vista_derecha, vista_q, vista_m;
};

bool cuenta_la_partida(const estado_partida &p)
{
  return !p.entrenamiento && !trampas;
}

// A press on a new arrow moves one level, within the game being played.
void teclas_de_trampa(estado_partida &p)
{
  const bool izquierda = dlg_tecla(KEY_LEFT, p.vista_izquierda);
  const bool derecha = dlg_tecla(KEY_RIGHT, p.vista_derecha);
  // A level played alone has no others to move to.
  if (!p.flechas && !p.suelto) {
    const int8_t primero = p.entrenamiento ? PRIMER_NIVEL_ENTRENAMIENTO : 0;
    const int8_t ultimo = p.entrenamiento ? ULTIMO_NIVEL_ENTRENAMIENTO : ULTIMO_NIVEL;
    // Both arrows together cancel out.
    int8_t nivel = p.nivel;
    if (izquierda && !derecha && nivel > primero) {
      --nivel;
    }
    if (derecha && !izquierda && nivel < ultimo) {
      ++nivel;
    }
    if (nivel != p.nivel) {
      p.nivel = nivel;
      cargar_nivel(nivel);
    }
  }
  p.flechas = izquierda || derecha;
}

void cazar_gremlins(int celda)
{
  if (dt_gremlin[0].espera < 0) {
    return;
  }
  const int x = ORIGEN_TABLERO + LADO_CELDA * (celda % COLUMNAS);
  const int y = ORIGEN_TABLERO + LADO_CELDA * (celda / COLUMNAS);
  for (datos_gremlin &g : dt_gremlin) {
    if (g.espera == 0 && g.x == x && g.y == y) {
      g.espera = ESPERA_GREMLIN_CAZADO;
      sumar_puntos_nivel(PUNTOS_GREMLIN);
      reproducir_sonido(SND_GREMLIN_CAZADO, SONIDO_UNA_VEZ);
    }
  }
}

// Each looping alarm sounds exactly while its state lasts.
void alarmas()
{
  if (sonido_sobrecarga >= 0 && dt_rayo.estado != rayo_sobrecarga) {
    detener_sonido(sonido_sobrecarga);
    sonido_sobrecarga = -1;
  }
  if (sonido_mina >= 0 && dt_rayo.estado != rayo_mina) {
    detener_sonido(sonido_mina);
    sonido_mina = -1;
  }
  if (sonido_sobrecarga == -1 && dt_rayo.estado == rayo_sobrecarga) {
    sonido_sobrecarga = reproducir_sonido(SND_ALARMA_SOBRECARGA, SONIDO_BUCLE);
  }
  if (sonido_mina == -1 && dt_rayo.estado == rayo_mina) {
    sonido_mina = reproducir_sonido(SND_ALARMA_MINA, SONIDO_BUCLE);
  }
}

void dibujar_estado(const estado_partida &p)
{
  copiar_marcador(0, ANCHO_PANTALLA);
  dibujar_puntos_marcador(dt_partida.puntos + dt_partida.puntos_nivel);
  if (dt_partida.sobrecarga != 0) {
    dibujar_barra_sobrecarga(3 * dt_partida.sobrecarga, color_sobrecarga(dt_partida.sobrecarga));
  }
  if (dt_partida.energia > 1 || dt_partida.cuenta_energia != 0) {
    dibujar_barra_energia(3 * dt_partida.energia, color_energia(dt_partida.energia));
  }
  dibujar_nivel_marcador(p.nivel);
  dibujar_vidas_marcador(dt_partida.vidas);
}

// After a lost life: the same level again, or the end of the game.
void tras_perder_vida(estado_partida &p)
{
  p.celda_pinchada = mover_espejos_pinchados(1);
  if (dt_partida.vidas == 0) {
    p.motivo_fin = fin_sin_vidas;
  } else {
    iniciar_nivel(p.nivel);
  }
}

void regla_sobrecarga(estado_partida &p)
{
  const uint8_t e = dt_rayo.estado;
  if (e == rayo_sobrecarga || e == rayo_mina) {
    dt_partida.sobrecarga = static_cast<int8_t>(dt_partida.sobrecarga + (e == rayo_sobrecarga ? 1 : 4));
    if (dt_partida.sobrecarga >= SOBRECARGA_MAXIMA) {
      dt_partida.sobrecarga = SOBRECARGA_MAXIMA;
      if (cuenta_la_partida(p)) {
        perder_vida(1, p.nivel);
        tras_perder_vida(p);
      }
    }
  } else if (dt_partida.sobrecarga != 0) {
    --dt_partida.sobrecarga;
  }
}

void regla_nivel_completado(estado_partida &p)
{
  if (dt_rayo.estado != rayo_conectado) {
    return;
  }
  dt_partida.puntos += dt_partida.puntos_nivel;
  contacto(p.nivel);
  dt_partida.vidas = 3;
  if (p.suelto) {
    p.motivo_fin = fin_abandono;
  } else if (p.nivel == ULTIMO_NIVEL || p.nivel == ULTIMO_NIVEL_ENTRENAMIENTO) {
    if (p.nivel == ULTIMO_NIVEL && !trampas) {
      juego_completado();
    }
    p.motivo_fin = p.nivel == ULTIMO_NIVEL ? fin_completado : fin_abandono;
  } else {
    ++p.nivel;
    iniciar_nivel(p.nivel);
    p.celda_pinchada = mover_espejos_pinchados(1);
  }
  if (dt_partida.cuenta_energia == 0) {
    dt_partida.cuenta_energia = 1;
  }
}

void regla_energia(estado_partida &p)
{
  if (!cuenta_la_partida(p)) {
    return;
  }
  if (dt_partida.cuenta_energia == 0) {
    dt_partida.cuenta_energia = CUENTA_ENERGIA;
    if (--dt_partida.energia == 0) {
      perder_vida(0, p.nivel);
      tras_perder_vida(p);
    }
  } else {
    --dt_partida.cuenta_energia;
  }
}

// The points of the level must still be what the game itself made them.
void comprobar_integridad()
{
  if ((dt_partida.puntos_nivel ^ CLAVE_PUNTOS) != trampeando[1]) {
    trampeando[0] = 0;
  }
}

// One frame of play.
void fotograma(estado_partida &p)
{
  const bool logico = p.cuenta_ciclo == 0;
  if (logico) {
    if (!trampas) {
      const bool q = dlg_tecla(KEY_Q, p.vista_q);
      const bool m = dlg_tecla(KEY_M, p.vista_m);
      if (q && m) {
        trampas = 1;
      }
    } else {
      trampeando[0] = 0;
      teclas_de_trampa(p);
    }
    comprobar_integridad();
    mover_automaticos();
    p.celda_pinchada = mover_espejos_pinchados(0);
    mover_gremlins(1);
    calcular_rayo();
    p.cuenta_ciclo = FOTOGRAMAS_POR_CICLO - 1;
    dibujar_mapa(1, buffer);
  } else {
    --p.cuenta_ciclo;
    mover_gremlins(0);
    dibujar_mapa(0, buffer);
  }

  // The frame on which the last unit of energy is about to go shows no beam.
  if (!(logico && dt_partida.energia <= 1 && dt_partida.cuenta_energia <= 0)) {
    dibujar_rayo();
  }

  if (p.celda_pinchada != CELDA_NINGUNA) {
    draw_sprite(buffer, loseta[LOSETA_MARCA], ORIGEN_TABLERO + LADO_CELDA * (p.celda_pinchada % COLUMNAS),
                ORIGEN_TABLERO + LADO_CELDA * (p.celda_pinchada / COLUMNAS));
    if (logico) {
      cazar_gremlins(p.celda_pinchada);
    }
  }
  alarmas();
  if (trampas) {
    textout_ex(buffer, fuente_texto(), "*", 0, 0, -1, -1);
  }

  show_mouse(buffer);
  reproducir_musica(static_cast<int8_t>(p.nivel % 2 + 1));
  paso_fotograma();
  show_mouse(nullptr);

  dibujar_estado(p);
  if (dlg_comprobar(buffer) == 1) {
    p.cuenta_ciclo = 0;
    p.motivo_fin = fin_abandono;
  }

  // Each rule stops the others once the game has ended, so a last life is
  // never taken twice in one frame.
  if (p.motivo_fin == jugando && p.cuenta_ciclo == FOTOGRAMAS_POR_CICLO - 1) {
    regla_sobrecarga(p);
    if (p.motivo_fin == jugando) {
      regla_nivel_completado(p);
    }
    if (p.motivo_fin == jugando) {
      regla_energia(p);
    }
  }
}

}  // namespace

void ini_juego()
{
  srand(static_cast<unsigned>(time(nullptr)));
  rojo = makecol(255, 0, 0);
  verde = makecol(0, 255, 0);
  amarillo = makecol(255, 255, 0);
}

void sumar_puntos_nivel(int32_t puntos)
{
  dt_partida.puntos_nivel += puntos;
  trampeando[1] = dt_partida.puntos_nivel ^ CLAVE_PUNTOS;
}

void poner_puntos_nivel(int32_t puntos)
{
  dt_partida.puntos_nivel = puntos;
  trampeando[1] = dt_partida.puntos_nivel ^ CLAVE_PUNTOS;
}

namespace {

// The game from its first level to its end, as set up in `p`.
void jugar(estado_partida &p)
{
  p.flechas = 1;
  p.cuenta_ciclo = 0;
  p.motivo_fin = jugando;
  p.celda_pinchada = CELDA_NINGUNA;
  dlg_olvidar_tecla(KEY_LEFT, p.vista_izquierda);
  dlg_olvidar_tecla(KEY_RIGHT, p.vista_derecha);
  dlg_olvidar_tecla(KEY_Q, p.vista_q);
  dlg_olvidar_tecla(KEY_M, p.vista_m);

  marcador = create_bitmap(ANCHO_PANTALLA, ALTO_MARCADOR);
  preparar_marcador();
  trampeando[0] = PARTIDA_LIMPIA;

  dt_partida.fases_superadas = 0;
  poner_puntos_nivel(0);
  dt_partida.puntos = 0;

  if (!p.suelto && p.nivel == 0 && ult_fase_completada != 0) {
    p.nivel = preguntar_nivel();
  }

  parar_musica();
  dlg_apilar_dialogo(DLG_JUEGO);
  dt_partida.vidas = 3;
  iniciar_nivel(p.nivel);
  show_mouse(nullptr);
  trampas = 0;

  while (p.motivo_fin == jugando) {
    fotograma(p);
  }

  detener_sonidos(1);
  sonido_mina = -1;
  sonido_sobrecarga = -1;
  dlg_desapilar_dialogo();
  destroy_bitmap(marcador);
  marcador = nullptr;
}

}  // namespace

int8_t juego(int8_t entrenamiento)
{
  estado_partida p{};
  p.entrenamiento = entrenamiento != 0;
  p.nivel = p.entrenamiento ? PRIMER_NIVEL_ENTRENAMIENTO : 0;
  jugar(p);

  // A game played on levels of the player's own files is not the game the
  // table ranks: its score and its progress are kept out, so no such score
  // is ever uploaded.
  if ((p.motivo_fin == fin_sin_vidas || p.motivo_fin == fin_completado) && !trampas && !hay_niveles_sustitutos()) {
    if (p.nivel > ult_fase_completada + 1) {
      ult_fase_completada = static_cast<int8_t>(p.nivel - 1);
      escribir_cfg();
    }
    if (dt_partida.puntos != 0) {
      introducir_puntuacion(dt_partida.puntos, dt_partida.fases_superadas);
    }
  }
  if (p.motivo_fin == fin_abandono) {
    parar_musica();
  }
  return 0;
}

void jugar_nivel_suelto(const nivel_texto &nivel)
{
  const nivel_texto *antes = nivel_sustituto[0];
  nivel_sustituto[0] = &nivel;
  estado_partida p{};
  p.suelto = 1;
  p.nivel = 0;
  jugar(p);
  parar_musica();
  nivel_sustituto[0] = antes;
}
