// One level played alone through the game's own rules, with no screen: the
// rules' frame with the input the caller gives, stopped at the level's win
// or at its first lost life, and what a proof wants to know of the run.
#include <cstdio>

#include "resolver/resolver.h"

namespace {

struct estado_simulacion {
  uint8_t resultado;
  uint8_t motivo;
  int fotogramas;
  int pasos_giro;
  int sobrecarga_maxima;
  FILE *registro;
  nivel_texto nivel;  // the level played alone
};

estado_simulacion sim;

// In the middle of each frame, before the rules: a mirror held now has just
// been turned by the player's drive.
uint8_t en_el_fotograma(uint8_t logico)
{
  if (logico && nucleo.dt_pinchado.espejo != CELDA_NINGUNA) {
    ++sim.pasos_giro;
  }
  return 0;
}

const ganchos_partida GANCHOS_SIMULACION = {nullptr, en_el_fotograma, nullptr};

}  // namespace

void sim_iniciar(const uint8_t *bytes, int nivel, const opciones_simulacion &opciones)
{
  sim = {};
  sim.registro = opciones.registro;
  for (int c = 0; c < NUM_CELDAS; ++c) {
    sim.nivel.bytes[c] = bytes[c];
  }
  sim.nivel.gremlins = static_cast<int8_t>(opciones.gremlins ? opciones.n_gremlins : 0);
  sim.resultado = sim_en_juego;

  // One life: the run ends with the first one lost, as it was lost.
  // The run's frames are counted from the first one played.
  empezar_partida({opciones.semilla, 0, 1, static_cast<int8_t>(nivel), 1, 0, &sim.nivel, nullptr});
  pasar_secuencia();
}

uint8_t sim_fotograma(const entrada_juego &entrada)
{
  if (sim.resultado != sim_en_juego) {
    return sim.resultado;
  }
  const bool logico = fotograma_logico();
  entrada_juego e = logico ? entrada : entrada_juego{};
  jugar_fotograma(e, &GANCHOS_SIMULACION);
  ++sim.fotogramas;
  if (sim.resultado == sim_en_juego && (nucleo.dt_sucesos.bits & suceso_vida_perdida) != 0) {
    sim.resultado = sim_vida_perdida;
    sim.motivo = nucleo.dt_sucesos.motivo_perdida;
  }
  if (nucleo.dt_partida.sobrecarga > sim.sobrecarga_maxima) {
    sim.sobrecarga_maxima = nucleo.dt_partida.sobrecarga;
  }
  if (sim.resultado == sim_en_juego && (nucleo.dt_sucesos.bits & suceso_nivel_completado) != 0) {
    sim.resultado = sim_completado;
  }
  if (sim.resultado == sim_vida_perdida && sim.motivo == perdida_sobrecarga) {
    sim.sobrecarga_maxima = 64;
  }
  if (logico && sim.registro != nullptr) {
    // Where the beam ended, as the cell of its last point.
    const punto_rayo &fin = nucleo.dt_rayo.punto[nucleo.dt_rayo.n_puntos - 1];
    const int columna = fin.x / 4;
    const int fila = fin.y / 4;
    const bool dentro = fin.x >= 0 && fin.y >= 0 && columna < COLUMNAS && fila < FILAS;
    fprintf(sim.registro, "fotograma %d estado %d sobrecarga %d energia %d pendientes %d sostenida %d final %d\n",
            sim.fotogramas - 1, nucleo.dt_rayo.estado, nucleo.dt_partida.sobrecarga, nucleo.dt_partida.energia, nucleo.dt_rayo.pendientes,
            nucleo.dt_bucle.celda_pinchada == CELDA_NINGUNA ? -1 : nucleo.dt_bucle.celda_pinchada, dentro ? fila * COLUMNAS + columna : -1);
  }
  return sim.resultado;
}

bool sim_logico_siguiente()
{
  return sim.resultado == sim_en_juego && fotograma_logico();
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
  sim_iniciar(bytes, nivel, opciones);
  peligro_arranque p{};
  uint8_t r = sim_en_juego;
  for (int f = 0; f < FOTOGRAMAS_PELIGRO && r == sim_en_juego; ++f) {
    r = sim_fotograma();
  }
  p.vida_perdida = r == sim_vida_perdida && sim_motivo_perdida() == perdida_sobrecarga;
  p.mina = p.vida_perdida && nucleo.dt_rayo.estado == rayo_mina;
  p.fotogramas = sim_fotogramas();
  return p;
}
