// The game loop's frame structure and rules, for tools that play levels
// with no screen. Everything that moves is the game's own code; this file
// only calls it in the loop's order and keeps the meters the way the loop
// does.
#include "simulacion.h"

#include <allegro.h>

#include <cstdlib>

#include "juego/juego.h"

namespace {

// The level start: 65 scramble steps of the mirrors, one every third frame
// of the energy fill.
constexpr int PASOS_REVUELTA = 65;

// Points for a caught gremlin, and its wait before it comes back.
constexpr int PUNTOS_GREMLIN = 160;
constexpr int16_t ESPERA_GREMLIN_CAZADO = 300;

// A logic frame is every third frame: the loop counts 2, 1, 0.
constexpr int8_t CICLO = 2;

// The meters' limits and steps.
constexpr int8_t SOBRECARGA_MAXIMA = 64;
constexpr int8_t SUBIDA_SOBRECARGA = 1;
constexpr int8_t SUBIDA_MINA = 4;
constexpr int8_t ENERGIA_INICIAL = 64;
constexpr int8_t CUENTA_ENERGIA = 15;

struct estado_simulacion {
  int8_t cuenta_ciclo;
  uint8_t celda_sostenida;
  uint8_t resultado;
  uint8_t motivo;
  int fotogramas;
  int pasos_giro;
  int sobrecarga_maxima;
  FILE *registro;
};

estado_simulacion sim;

// A gremlin standing exactly on the held cell is caught.
void cazar_en_la_celda_sostenida()
{
  if (sim.celda_sostenida == CELDA_NINGUNA || dt_gremlin[0].espera < 0) {
    return;
  }
  const int x = ORIGEN_TABLERO + LADO_CELDA * (sim.celda_sostenida % COLUMNAS);
  const int y = ORIGEN_TABLERO + LADO_CELDA * (sim.celda_sostenida / COLUMNAS);
  for (datos_gremlin &g : dt_gremlin) {
    if (g.espera == 0 && g.x == x && g.y == y) {
      g.espera = ESPERA_GREMLIN_CAZADO;
      sumar_puntos_nivel(PUNTOS_GREMLIN);
    }
  }
}

void terminar_por_vida_perdida(uint8_t motivo)
{
  sim.resultado = sim_vida_perdida;
  sim.motivo = motivo;
  mover_espejos_pinchados(1);
}

// The rules of a logic frame, in the loop's order: overload, completion,
// energy. The trainer's leniency is left out: every level is held to the
// normal game's rules.
void aplicar_reglas_del_fotograma()
{
  datos_partida &p = dt_partida;
  const uint8_t estado = dt_rayo.estado;
  if (estado == rayo_sobrecarga || estado == rayo_mina) {
    p.sobrecarga = static_cast<int8_t>(p.sobrecarga + (estado == rayo_mina ? SUBIDA_MINA : SUBIDA_SOBRECARGA));
    if (p.sobrecarga > SOBRECARGA_MAXIMA - 1) {
      p.sobrecarga = SOBRECARGA_MAXIMA;
    }
    if (p.sobrecarga > sim.sobrecarga_maxima) {
      sim.sobrecarga_maxima = p.sobrecarga;
    }
    if (p.sobrecarga == SOBRECARGA_MAXIMA) {
      terminar_por_vida_perdida(perdida_sobrecarga);
      return;
    }
  } else if (p.sobrecarga != 0) {
    --p.sobrecarga;
  }

  if (estado == rayo_conectado) {
    sim.resultado = sim_completado;
    return;
  }

  if (p.cuenta_energia == 0) {
    p.cuenta_energia = CUENTA_ENERGIA;
    --p.energia;
    if (p.energia == 0) {
      terminar_por_vida_perdida(perdida_energia);
    }
  } else {
    --p.cuenta_energia;
  }
}

}  // namespace

void sim_iniciar(const uint8_t *bytes, int nivel, const opciones_simulacion &opciones)
{
  // The loader reseeds the generator from the clock; each stage reseeds it
  // from the run's seed instead, so that a run can be played again.
  srand(opciones.semilla);
  rand();  // the corner the board slides in from
  cargar_tablero(bytes, nivel);
  srand(opciones.semilla * 2654435761u + 1);
  if (!opciones.gremlins) {
    for (datos_gremlin &g : dt_gremlin) {
      g.espera = -1;
    }
  }
  dibujar_mapa(1, nullptr);
  for (int k = 0; k < PASOS_REVUELTA; ++k) {
    revolver_espejos(nullptr);
  }

  dt_partida.energia = ENERGIA_INICIAL;
  dt_partida.cuenta_energia = CUENTA_ENERGIA;
  dt_partida.sobrecarga = 0;
  dt_partida.puntos_nivel = 0;
  dt_rayo.estado = rayo_detenido;

  sim = {};
  sim.registro = opciones.registro;
  sim.cuenta_ciclo = 0;
  sim.celda_sostenida = static_cast<uint8_t>(mover_espejos_pinchados(1));
  sim.resultado = sim_en_juego;
}

uint8_t sim_fotograma()
{
  if (sim.resultado != sim_en_juego) {
    return sim.resultado;
  }
  const bool logico = sim.cuenta_ciclo == 0;
  if (logico) {
    mover_automaticos();
    // A step of the player's drive shows as a change of the held mirror
    // made by this call alone.
    const uint8_t antes = sim.celda_sostenida;
    const uint8_t valor_antes = antes != CELDA_NINGUNA ? est_nivel[antes].valor : 0;
    sim.celda_sostenida = static_cast<uint8_t>(mover_espejos_pinchados(0));
    const uint8_t c = sim.celda_sostenida;
    if (c != CELDA_NINGUNA && es_espejo(est_nivel[c].tipo) && (c != antes || est_nivel[c].valor != valor_antes)) {
      ++sim.pasos_giro;
    }
    mover_gremlins(1);
    calcular_rayo();
    sim.cuenta_ciclo = CICLO;
    dibujar_mapa(1, nullptr);
    cazar_en_la_celda_sostenida();
  } else {
    --sim.cuenta_ciclo;
    mover_gremlins(0);
    dibujar_mapa(0, nullptr);
  }
  ++sim.fotogramas;
  if (logico) {
    aplicar_reglas_del_fotograma();
    if (sim.registro != nullptr) {
      // Where the beam ended, as the cell of its last point.
      const punto_rayo &fin = dt_rayo.punto[dt_rayo.n_puntos - 1];
      const int columna = fin.x / 4;
      const int fila = fin.y / 4;
      const bool dentro = fin.x >= 0 && fin.y >= 0 && columna < COLUMNAS && fila < FILAS;
      fprintf(sim.registro, "fotograma %d estado %d sobrecarga %d energia %d pendientes %d sostenida %d final %d\n",
              sim.fotogramas - 1, dt_rayo.estado, dt_partida.sobrecarga, dt_partida.energia,
              dt_rayo.pendientes, sim.celda_sostenida == CELDA_NINGUNA ? -1 : sim.celda_sostenida,
              dentro ? fila * COLUMNAS + columna : -1);
    }
  }
  return sim.resultado;
}

bool sim_logico_siguiente()
{
  return sim.cuenta_ciclo == 0;
}

int sim_fotogramas()
{
  return sim.fotogramas;
}

int sim_pasos_giro()
{
  return sim.pasos_giro;
}

uint8_t sim_motivo_perdida()
{
  return sim.motivo;
}

int sim_sobrecarga_maxima()
{
  return sim.sobrecarga_maxima;
}

peligro_arranque sim_peligro_arranque(const uint8_t *bytes, int nivel, const opciones_simulacion &opciones)
{
  mouse_b = 0;
  mouse_z = 0;
  sim_iniciar(bytes, nivel, opciones);
  peligro_arranque p{};
  uint8_t r = sim_en_juego;
  for (int f = 0; f < FOTOGRAMAS_PELIGRO && r == sim_en_juego; ++f) {
    r = sim_fotograma();
  }
  p.vida_perdida = r == sim_vida_perdida && sim_motivo_perdida() == perdida_sobrecarga;
  p.mina = p.vida_perdida && dt_rayo.estado == rayo_mina;
  p.fotogramas = sim_fotogramas();
  return p;
}
