// What moves on the board: the self-turning elements and the animations
// of the logic frame, the player's hold on a mirror, and the gremlins.
#include "nucleo/nucleo.h"

namespace {

// Offsets of the fibre-optic tile animation within a pair's four tiles.
constexpr uint8_t FOPTICA_PRIMERA = 4;
constexpr uint8_t FOPTICA_ULTIMA = 11;

// Gremlins walk 32 pixels a logic frame: 10 + 10 + 12 over three frames.
constexpr int PASO_GREMLIN = 10;
constexpr int PASO_GREMLIN_LOGICO = 2;

// A gremlin covers 2 x 2 blocks; its top-left block may go this far.
constexpr int BLOQUE_GREMLIN_MAX_X = BLOQUES_X - 2;
constexpr int BLOQUE_GREMLIN_MAX_Y = BLOQUES_Y - 2;

// Random places a gremlin tries before it gives up entering for now.
constexpr int INTENTOS_ENTRADA = 10000;

bool libre(int bx, int by)
{
  return obtener_optica(static_cast<uint8_t>(bx), static_cast<uint8_t>(by), MODO_GREMLIN) == optica_pasa;
}

void girar_espejo(celda &e, int sentido)
{
  e.valor = static_cast<uint8_t>((e.valor + 16 + sentido) % 16);
}

// One logic-frame decision of a gremlin on the board.
void decidir_gremlin(datos_gremlin &g)
{
  int bx = (g.x - ORIGEN_TABLERO) / 32;
  int by = (g.y - ORIGEN_TABLERO) / 32;

  if (bx % 2 == 0 && by % 2 == 0) {
    celda &e = nucleo.est_nivel[(by / 2) * COLUMNAS + bx / 2];
    if (es_espejo(e.tipo)) {
      const uint32_t r = azar(5);
      if (r != 0) {
        // It stops on the mirror and twists it; its tile follows on the
        // next trace or turn.
        g.paso_x = g.paso_y = 0;
        g.fotograma = 0;
        girar_espejo(e, r <= 2 ? 1 : -1);
        return;
      }
    }
  }

  g.paso_x = static_cast<int8_t>(static_cast<int>(azar(3)) - 1);
  g.paso_y = static_cast<int8_t>(static_cast<int>(azar(3)) - 1);
  if ((g.paso_x < 0 && bx == 0) || (g.paso_x > 0 && bx == BLOQUE_GREMLIN_MAX_X)) {
    g.paso_x = 0;
  }
  if ((g.paso_y < 0 && by == 0) || (g.paso_y > 0 && by == BLOQUE_GREMLIN_MAX_Y)) {
    g.paso_y = 0;
  }
  if (g.paso_x != 0) {
    const int columna = g.paso_x > 0 ? bx + 2 : bx - 1;
    if (libre(columna, by) && libre(columna, by + 1)) {
      bx += g.paso_x;
    } else {
      g.paso_x = 0;
    }
  }
  if (g.paso_y != 0) {
    const int fila = g.paso_y > 0 ? by + 2 : by - 1;
    if (!libre(bx, fila) || !libre(bx + 1, fila)) {
      g.paso_y = 0;
    }
  }
}

// A gremlin whose wait is over enters on a random free 2 x 2 square.
void entrar_gremlin(datos_gremlin &g)
{
  for (int intento = 0; intento < INTENTOS_ENTRADA; ++intento) {
    const int bx = static_cast<int>(azar(BLOQUE_GREMLIN_MAX_X + 1));
    const int by = static_cast<int>(azar(BLOQUE_GREMLIN_MAX_Y + 1));
    if (libre(bx, by) && libre(bx + 1, by) && libre(bx, by + 1) && libre(bx + 1, by + 1)) {
      g.x = static_cast<int16_t>(32 * bx + ORIGEN_TABLERO);
      g.y = static_cast<int16_t>(32 * by + ORIGEN_TABLERO);
      g.paso_x = g.paso_y = 0;
      g.fotograma = 0;
      nucleo.dt_sucesos.bits |= suceso_gremlin_entra;
      g.espera = 0;
      return;
    }
  }
  // A board with no room at all: it stays out and tries again next time.
}

}  // namespace

bool girar_automatico(celda &e)
{
  switch (e.tipo) {
  case espejo_giratorio:
    e.valor = static_cast<uint8_t>((e.valor + 1) % 16);
    e.grf = static_cast<uint8_t>(primer_grf[espejo] + e.valor);
    return true;
  case polarizador_reflectante_giratorio:
  case polarizador_absorbente_giratorio:
    e.valor = static_cast<uint8_t>((e.valor + 1) % 8);
    e.grf = static_cast<uint8_t>(primer_grf[e.tipo] + e.valor);
    return true;
  default:
    return false;
  }
}

void revolver_espejos()
{
  for (celda &e : nucleo.est_nivel) {
    if (e.tipo == espejo) {
      e.valor = static_cast<uint8_t>((e.valor + azar(3) + 15) % 16);
      e.grf = static_cast<uint8_t>(primer_grf[espejo] + e.valor);
    } else {
      girar_automatico(e);
    }
  }
}

void mover_automaticos()
{
  for (celda &e : nucleo.est_nivel) {
    if (girar_automatico(e)) {
      continue;
    }
    switch (e.tipo) {
    case emisor:
      // Four frames, keeping the orientation.
      e.grf = static_cast<uint8_t>(e.grf < primer_grf[emisor] + 12 ? e.grf + 4 : e.grf - 12);
      break;
    case foptica:
      // Every end swings base, +4, +8, +12, +8, +4, base... all in step.
      if (e.grf < primer_grf[foptica] + FOPTICA_PRIMERA) {
        nucleo.dir_foptica = 4;
      } else if (e.grf > primer_grf[foptica] + FOPTICA_ULTIMA) {
        nucleo.dir_foptica = -4;
      }
      e.grf = static_cast<uint8_t>(e.grf + nucleo.dir_foptica);
      break;
    default:
      break;
    }
  }
}

int mover_espejos_pinchados(uint8_t liberar, const entrada_juego &entrada)
{
  datos_pinchado &p = nucleo.dt_pinchado;
  if (liberar) {
    p = {0, CELDA_NINGUNA, CELDA_NINGUNA};
    return CELDA_NINGUNA;
  }

  int boton = entrada.botones;
  if ((entrada.teclas & TECLA_ALT) != 0 && boton == 1) {
    boton = 2;
  }
  if (entrada.rueda != 0) {
    boton = entrada.rueda > 0 ? 1 : 2;
  }
  const bool pulsado = boton == 1 || boton == 2;

  if (!pulsado && p.pinchado) {
    p = {0, CELDA_NINGUNA, CELDA_NINGUNA};
  }
  if (pulsado && !p.pinchado) {
    p.pinchado = 1;
    p.espejo = p.celda = entrada.celda < NUM_CELDAS ? entrada.celda : CELDA_NINGUNA;
  }
  if (p.espejo != CELDA_NINGUNA && !es_espejo(nucleo.est_nivel[p.espejo].tipo)) {
    p.espejo = CELDA_NINGUNA;
  }
  if (p.espejo != CELDA_NINGUNA) {
    celda &e = nucleo.est_nivel[p.espejo];
    girar_espejo(e, boton == 2 ? 1 : -1);
    e.grf = static_cast<uint8_t>(primer_grf[espejo] + e.valor);
  }
  return p.celda;
}

void mover_gremlins(uint8_t logico)
{
  for (datos_gremlin &g : nucleo.dt_gremlin) {
    if (g.espera == -1) {
      break;
    }
    if (g.espera == 0) {
      int paso = PASO_GREMLIN + (logico ? PASO_GREMLIN_LOGICO : 0);
      g.x = static_cast<int16_t>(g.x + paso * g.paso_x);
      g.y = static_cast<int16_t>(g.y + paso * g.paso_y);
      if (logico) {
        decidir_gremlin(g);
      }
    } else if (logico) {
      if (g.espera > 1) {
        --g.espera;
      } else {
        entrar_gremlin(g);
      }
    }
  }
}
