// What goes at frame rate on the board: the gate opening once the last
// target has gone, the mines' flicker, the targets' explosions and the
// gate dissolving, and the gremlins' walk cycle. The game draws the board
// as this leaves it.
#include "nucleo/nucleo.h"

namespace {
constexpr int MITAD = LADO_CELDA / 2;
}  // namespace

const mitad_libre MITADES_LIBRES[NUM_MITADES_LIBRES] = {
    {34, 0, MITAD, LADO_CELDA, MITAD}, {50, 0, MITAD, LADO_CELDA, MITAD},  // wall on top
    {40, MITAD, 0, MITAD, LADO_CELDA}, {56, MITAD, 0, MITAD, LADO_CELDA},  // wall on the left
    {43, 0, 0, LADO_CELDA, MITAD},     {59, 0, 0, LADO_CELDA, MITAD},      // wall below
    {53, 0, 0, MITAD, LADO_CELDA},                                         // reflecting wall on the right
};

namespace {

// `valor` of a target while it explodes (two explosions) and of the gate
// while it dissolves.
constexpr uint8_t FIN_EXPLOSION_1 = 17;
constexpr uint8_t FIN_EXPLOSION_2 = 33;
constexpr uint8_t PUERTA_INICIO = 35;
constexpr uint8_t PUERTA_RECOMPONER = 43;
constexpr uint8_t PUERTA_FIN = 49;

// A mine's counter: 255 idle; 0-92 the flicker burst, then a rest.
constexpr uint8_t MINA_REPOSO = 255;
constexpr uint8_t MINA_FIN_PARPADEO = 92;
constexpr int MINA_ULTIMA_LOSETA = 3;

// Frames between flicker steps at each point of the burst: slow, faster,
// fastest in the middle, and slowing again.
int divisor_parpadeo(uint8_t valor)
{
  if (valor <= 23 || valor >= 72) {
    return 4;
  }
  if (valor <= 37 || valor >= 54) {
    return 3;
  }
  return 2;
}

void animar_mina(celda &e)
{
  if (e.valor == MINA_REPOSO) {
    if (azar(100) == 0) {
      e.valor = 0;
    }
  } else {
    ++e.valor;
  }
  if (e.valor <= MINA_FIN_PARPADEO && e.valor % divisor_parpadeo(e.valor) == 0) {
    e.grf = e.grf == primer_grf[mina] + MINA_ULTIMA_LOSETA ? primer_grf[mina] : static_cast<uint8_t>(e.grf + 1);
  }
}

// Advances a target's explosion, or the gate's dissolving, by one frame.
void animar_detonador(celda &e)
{
  if (e.valor == FIN_EXPLOSION_1 || e.valor == FIN_EXPLOSION_2) {
    e.valor = DETONADOR_DESTRUIDO;
    e.grf = static_cast<uint8_t>(primer_grf[detonador] - 1);
    --nucleo.dt_rayo.pendientes;
  } else if (e.valor <= FIN_EXPLOSION_2) {
    ++e.valor;
    e.grf = static_cast<uint8_t>(primer_grf[detonador] + e.valor / 2);
  } else if (e.valor == PUERTA_RECOMPONER) {
    // The gate's cell turns to floor, keeping the half of its old tile that
    // held no wall: the game composes that tile, told the old one.
    const uint8_t antes = e.grf;
    e.grf = primer_grf[vacio];
    for (const mitad_libre &m : MITADES_LIBRES) {
      if (m.grf == antes) {
        e.grf = LOSETA_PUERTA_RECOMPUESTA;
        nucleo.dt_sucesos.bits |= suceso_puerta_recompuesta;
        nucleo.dt_sucesos.grf_puerta_antes = antes;
      }
    }
    ++e.valor;
  } else if (e.valor == PUERTA_FIN) {
    e.valor = DETONADOR_DESTRUIDO;
  } else {
    ++e.valor;
  }
}

}  // namespace

void animar_tablero(uint8_t animar, void (*dibujar)(uint8_t animar))
{
  // Every target has gone: the gate in front of the receiver dissolves.
  if (nucleo.dt_rayo.pendientes == 1) {
    sumar_puntos_nivel(PUNTOS_PUERTA);
    nucleo.dt_rayo.pendientes = 0;
    celda &puerta = nucleo.est_nivel[nucleo.dt_rayo.celda_puerta];
    puerta.tipo = detonador;
    puerta.valor = PUERTA_INICIO;
    nucleo.dt_sucesos.bits |= suceso_puerta;
  }

  for (celda &e : nucleo.est_nivel) {
    if (e.tipo == mina) {
      animar_mina(e);
    }
  }
  if (animar) {
    for (datos_gremlin &g : nucleo.dt_gremlin) {
      if (g.espera == -1) {
        break;
      }
      if (g.espera == 0) {
        g.fotograma = static_cast<int8_t>((g.fotograma + 1) % 4);
      }
    }
  }

  // A screen shows the board here: the mines and gremlins as they are now,
  // the explosions and the gate as they were.
  if (dibujar != nullptr) {
    dibujar(animar);
  }

  for (celda &e : nucleo.est_nivel) {
    if (e.tipo == detonador && e.valor >= 1 && e.valor < DETONADOR_DESTRUIDO) {
      animar_detonador(e);
    }
  }
}
