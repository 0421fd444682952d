// Tracing the beam across the board, and what each element does to it.
//
// Positions are in quarter cells and obstacles are tested on half-cell
// blocks, so the whole trace is exact integer geometry. Divisions truncate
// towards zero, as C++'s do; that matters where a position is negative.
#include "nucleo/nucleo.h"

namespace {

// The quarter bit of block (bx, by) within its cell.
uint8_t bit_cuarto(uint8_t bx, uint8_t by)
{
  static const uint8_t BITS[2][2] = {{1, 2}, {8, 4}};  // [by odd][bx odd]
  return BITS[by & 1][bx & 1];
}

void fijar_direccion(uint8_t dir)
{
  nucleo.dt_rayo.dir = dir;
  nucleo.dt_rayo.dx = paso_dx[dir];
  nucleo.dt_rayo.dy = paso_dy[dir];
}

void avanzar()
{
  nucleo.dt_rayo.x = static_cast<int8_t>(nucleo.dt_rayo.x + nucleo.dt_rayo.dx);
  nucleo.dt_rayo.y = static_cast<int8_t>(nucleo.dt_rayo.y + nucleo.dt_rayo.dy);
  comprobar_objeto();
}

void detener(uint8_t estado)
{
  incorporar_punto(1);
  nucleo.dt_rayo.estado = estado;
}

// The block ahead of a head that stands on a block edge or corner.
uint8_t bloque_delante_x()
{
  return static_cast<uint8_t>((10 * nucleo.dt_rayo.x + nucleo.dt_rayo.dx) / 20);
}

uint8_t bloque_delante_y()
{
  return static_cast<uint8_t>((10 * nucleo.dt_rayo.y + nucleo.dt_rayo.dy) / 20);
}

bool en_centro_de_celda()
{
  return (nucleo.dt_rayo.x - 2) % 4 == 0 && (nucleo.dt_rayo.y - 2) % 4 == 0;
}

uint8_t optica(int bx, int by)
{
  return obtener_optica(static_cast<uint8_t>(bx), static_cast<uint8_t>(by), MODO_RAYO);
}

}  // namespace

int sortear_reemisor()
{
  return nucleo.sorteo_reemisor != nullptr ? nucleo.sorteo_reemisor() : static_cast<int>(azar(9));
}

namespace {

// What block (bx, by) of board `tablero` does to the beam heading `dir` or
// to a gremlin.
uint8_t optica_en(const celda *tablero, uint8_t bx, uint8_t by, uint8_t modo, uint8_t dir, uint8_t dir_receptor)
{
  // Only the emitter's first step can look past the board's edge, when it
  // faces outwards: there is nothing but darkness there.
  if (bx >= BLOQUES_X || by >= BLOQUES_Y) {
    return optica_absorbe;
  }
  const celda &e = tablero[(by / 2) * COLUMNAS + bx / 2];
  const bool macizo = (e.valor & bit_cuarto(bx, by)) != 0;
  const bool a_lo_largo = modo == MODO_RAYO && dir % 8 == e.valor;
  switch (e.tipo) {
  case emisor:
    return optica_absorbe;
  case receptor:
    return dir == dir_receptor ? optica_receptor : optica_absorbe;
  case muro:
    return macizo ? optica_absorbe : optica_pasa;
  case muro_reflectante:
    return macizo ? optica_refleja : optica_pasa;
  case polarizador_reflectante:
  case polarizador_reflectante_giratorio:
    return a_lo_largo ? optica_pasa : optica_refleja;
  case polarizador_absorbente:
  case polarizador_absorbente_giratorio:
    return a_lo_largo ? optica_pasa : optica_absorbe;
  case reemisor:
  case foptica:
    return modo == MODO_GREMLIN ? optica_absorbe : optica_pasa;
  default:
    return optica_pasa;
  }
}

}  // namespace

uint8_t obtener_optica(uint8_t bx, uint8_t by, uint8_t modo)
{
  const datos_rayo &r = nucleo.dt_rayo;
  return optica_en(nucleo.est_nivel, bx, by, modo, r.dir, r.dir_receptor);
}

uint8_t optica_gremlin(const celda tablero[NUM_CELDAS], uint8_t bx, uint8_t by)
{
  return optica_en(tablero, bx, by, MODO_GREMLIN, 0, 0);
}

uint8_t incorporar_punto(uint8_t continuo)
{
  if (nucleo.dt_rayo.n_puntos >= MAX_PUNTOS) {
    nucleo.dt_rayo.estado = rayo_detenido;
    return 1;
  }
  if (continuo == 1) {
    // Back on a corner already passed in the same direction: a closed loop.
    for (int i = 0; i < nucleo.dt_rayo.n_puntos; ++i) {
      const punto_rayo &p = nucleo.dt_rayo.punto[i];
      if (p.x == nucleo.dt_rayo.x && p.y == nucleo.dt_rayo.y && p.dir == nucleo.dt_rayo.dir) {
        nucleo.dt_rayo.estado = rayo_detenido;
      }
    }
  }
  nucleo.dt_rayo.punto[nucleo.dt_rayo.n_puntos] = {nucleo.dt_rayo.x, nucleo.dt_rayo.y, continuo == 1 ? nucleo.dt_rayo.dir : DIR_SALTO};
  ++nucleo.dt_rayo.n_puntos;
  return 0;
}

void reflejar_rayo(uint8_t m)
{
  const uint8_t n = static_cast<uint8_t>((m - nucleo.dt_rayo.dir + 16) % 16);
  if ((n - nucleo.dt_rayo.dir + 16) % 16 == 8) {
    // Straight back onto itself.
    detener(rayo_sobrecarga);
  } else if (n != nucleo.dt_rayo.dir) {
    fijar_direccion(n);
    incorporar_punto(1);
  }
}

void comprobar_avanzar_1()
{
  switch (optica(bloque_delante_x(), bloque_delante_y())) {
  case optica_pasa:
    avanzar();
    break;
  case optica_refleja: {
    // On a horizontal edge (x odd) the vertical component flips.
    const uint8_t antes = nucleo.dt_rayo.dir;
    reflejar_rayo(nucleo.dt_rayo.x % 2 != 0 ? 8 : 0);
    // A beam running along the edge would stand still here for ever. The
    // grid's parity keeps that from happening; should it ever, it dies.
    if (nucleo.dt_rayo.dir == antes && nucleo.dt_rayo.estado == rayo_en_curso) {
      detener(rayo_detenido);
    }
    break;
  }
  default:
    // Absorbed. (A beam on a block edge is never straight, so the receiver
    // never accepts it here.)
    detener(rayo_detenido);
    break;
  }
}

void comprobar_avanzar_4()
{
  // The four blocks around the lattice point, by the beam's direction:
  // ahead-left, ahead-right, behind-left, behind-right, as offsets from the
  // block up and to the left of the point.
  static const int8_t VECINOS[4][4][2] = {
      {{0, 0}, {1, 0}, {0, 1}, {1, 1}},  // up
      {{1, 0}, {1, 1}, {0, 0}, {0, 1}},  // right
      {{1, 1}, {0, 1}, {1, 0}, {0, 0}},  // down
      {{0, 1}, {0, 0}, {1, 1}, {1, 0}},  // left
  };
  const int bx = (nucleo.dt_rayo.x - 1) / 2;
  const int by = (nucleo.dt_rayo.y - 1) / 2;
  const int8_t(*v)[2] = VECINOS[nucleo.dt_rayo.dir / 4];
  uint8_t a = optica(bx + v[0][0], by + v[0][1]);
  uint8_t b = optica(bx + v[1][0], by + v[1][1]);
  // Past the first segment (whose blocks behind are the emitter's own), an
  // obstacle behind counts as one ahead: the beam is squeezed there.
  if (nucleo.dt_rayo.n_puntos > 1) {
    const uint8_t c = optica(bx + v[2][0], by + v[2][1]);
    const uint8_t d = optica(bx + v[3][0], by + v[3][1]);
    if (c != optica_pasa) {
      a = c;
    }
    if (d != optica_pasa) {
      b = d;
    }
  }
  if (a == optica_pasa || b == optica_pasa) {
    avanzar();
  } else if (a == optica_receptor && b == optica_receptor) {
    detener(rayo_conectado);
  } else if (a == optica_absorbe || b == optica_absorbe) {
    detener(rayo_detenido);
  } else {
    detener(rayo_sobrecarga);
  }
}

void comprobar_avanzar_3()
{
  // By quadrant of the direction (1-3, 5-7, 9-11, 13-15): the side blocks
  // a (counter-clockwise from the diagonal block D) and b (clockwise), the
  // block e diagonally behind, and the surface value of a corner.
  struct vecinos_diagonal {
    int8_t ax, ay, bx, by, ex, ey;
    uint8_t base;
  };
  static const vecinos_diagonal VECINOS[4] = {
      {-1, 0, 0, 1, -1, 1, 12},
      {0, -1, -1, 0, -1, -1, 4},
      {1, 0, 0, -1, 1, -1, 12},
      {0, 1, 1, 0, 1, 1, 4},
  };
  const vecinos_diagonal &v = VECINOS[nucleo.dt_rayo.dir / 4];
  const int dx = bloque_delante_x();
  const int dy = bloque_delante_y();
  const uint8_t d = optica(dx, dy);
  uint8_t a = optica(dx + v.ax, dy + v.ay);
  uint8_t b = optica(dx + v.bx, dy + v.by);
  const uint8_t e = optica(dx + v.ex, dy + v.ey);
  uint8_t m = v.base;
  if (a == optica_pasa) {
    m += 4;
    a = d;
  }
  if (b == optica_pasa) {
    m -= 4;
    b = d;
  }
  if (a == optica_pasa || b == optica_pasa) {
    avanzar();
  } else if (a == optica_absorbe || b == optica_absorbe) {
    detener(rayo_detenido);
  } else {
    reflejar_rayo(m % 16);
    if (nucleo.dt_rayo.estado != rayo_sobrecarga) {
      if (e == optica_pasa) {
        avanzar();
      } else {
        nucleo.dt_rayo.estado = rayo_detenido;
      }
    }
  }
}

void comprobar_avanzar()
{
  if (nucleo.dt_rayo.x % 2 == 0 && nucleo.dt_rayo.y % 2 == 0) {
    if (nucleo.dt_rayo.dir % 4 == 0) {
      comprobar_avanzar_4();
    } else {
      comprobar_avanzar_3();
    }
  } else {
    comprobar_avanzar_1();
  }
}

void calcular_rayo()
{
  for (celda &e : nucleo.est_nivel) {
    if (e.tipo == espejo) {
      e.grf = static_cast<uint8_t>(primer_grf[espejo] + e.valor);
    } else if (e.tipo == reemisor) {
      e.valor = static_cast<uint8_t>(e.valor % 4 + 1);
      e.grf = primer_grf[reemisor];
    }
  }

  nucleo.dt_rayo.estado = rayo_en_curso;
  nucleo.dt_rayo.x = nucleo.dt_rayo.punto[0].x;
  nucleo.dt_rayo.y = nucleo.dt_rayo.punto[0].y;
  fijar_direccion(nucleo.dt_rayo.punto[0].dir);
  nucleo.dt_rayo.n_puntos = 1;

  while (nucleo.dt_rayo.estado == rayo_en_curso) {
    comprobar_avanzar();
    if (nucleo.dt_rayo.x <= 0 || nucleo.dt_rayo.x >= RAYO_MAX_X || nucleo.dt_rayo.y <= 0 || nucleo.dt_rayo.y >= RAYO_MAX_Y) {
      // Off the board: run on through the frame, whatever the step decided.
      nucleo.dt_rayo.x = static_cast<int8_t>(nucleo.dt_rayo.x + 3 * nucleo.dt_rayo.dx);
      nucleo.dt_rayo.y = static_cast<int8_t>(nucleo.dt_rayo.y + 3 * nucleo.dt_rayo.dy);
      incorporar_punto(1);
      nucleo.dt_rayo.estado = rayo_detenido;
    }
  }
}

// ---------------------------------------------------------------------------
// The elements in the middle of a cell act only when the head stands on the
// cell's centre.
// ---------------------------------------------------------------------------

void comprobar_objeto()
{
  const int c = (10 * nucleo.dt_rayo.x - nucleo.dt_rayo.dx) / 40 + ((10 * nucleo.dt_rayo.y - nucleo.dt_rayo.dy) / 40) * COLUMNAS;
  // A head one step past the right or bottom edge names no cell; it is not
  // on any centre either.
  if (c < 0 || c >= NUM_CELDAS) {
    return;
  }
  const uint8_t celda_rayo = static_cast<uint8_t>(c);
  switch (nucleo.est_nivel[celda_rayo].tipo) {
  case espejo:
  case espejo_giratorio:
    comprobar_espejo(celda_rayo);
    break;
  case detonador:
    comprobar_detonador(celda_rayo);
    break;
  case reemisor:
    comprobar_reemisor(celda_rayo);
    break;
  case foptica:
    comprobar_foptica(celda_rayo);
    break;
  case mina:
    comprobar_mina(celda_rayo);
    break;
  default:
    break;
  }
}

void comprobar_espejo(uint8_t c)
{
  if (!en_centro_de_celda()) {
    return;
  }
  celda &e = nucleo.est_nivel[c];
  reflejar_rayo(e.valor);
  if (nucleo.dt_rayo.estado != rayo_sobrecarga) {
    nucleo.dt_rayo.x = static_cast<int8_t>(nucleo.dt_rayo.x + nucleo.dt_rayo.dx);
    nucleo.dt_rayo.y = static_cast<int8_t>(nucleo.dt_rayo.y + nucleo.dt_rayo.dy);
  }
  e.grf = static_cast<uint8_t>(primer_grf[GRF_ESPEJO_ILUMINADO] + e.valor);
}

void comprobar_detonador(uint8_t c)
{
  if (!en_centro_de_celda()) {
    return;
  }
  celda &e = nucleo.est_nivel[c];
  if (e.valor == DETONADOR_EN_PIE) {
    const uint32_t k = azar(2);
    sumar_puntos_nivel(PUNTOS_DETONADOR);
    e.valor = static_cast<uint8_t>(16 * k + 3);
    e.grf = static_cast<uint8_t>(e.grf + e.valor / 2);
    nucleo.dt_sucesos.bits |= k == 0 ? suceso_explosion : suceso_explosion_larga;
  }
  // Exploding, or the gate dissolving: the beam ends here.
  if (e.valor >= 1 && e.valor <= 99) {
    detener(rayo_detenido);
  }
}

void comprobar_mina(uint8_t)
{
  if (!en_centro_de_celda()) {
    return;
  }
  detener(rayo_mina);
}

void comprobar_reemisor(uint8_t c)
{
  if (!en_centro_de_celda()) {
    return;
  }
  // The drawn beam stops one step short of the centre and starts again one
  // step past it, in a new direction that never turns it back.
  nucleo.dt_rayo.x = static_cast<int8_t>(nucleo.dt_rayo.x - nucleo.dt_rayo.dx);
  nucleo.dt_rayo.y = static_cast<int8_t>(nucleo.dt_rayo.y - nucleo.dt_rayo.dy);
  incorporar_punto(0);
  nucleo.dt_rayo.x = static_cast<int8_t>(nucleo.dt_rayo.x + nucleo.dt_rayo.dx);
  nucleo.dt_rayo.y = static_cast<int8_t>(nucleo.dt_rayo.y + nucleo.dt_rayo.dy);
  fijar_direccion(static_cast<uint8_t>((nucleo.dt_rayo.dir + 12 + sortear_reemisor()) % 16));
  nucleo.dt_rayo.x = static_cast<int8_t>(nucleo.dt_rayo.x + nucleo.dt_rayo.dx);
  nucleo.dt_rayo.y = static_cast<int8_t>(nucleo.dt_rayo.y + nucleo.dt_rayo.dy);
  incorporar_punto(1);
  celda &e = nucleo.est_nivel[c];
  e.grf = static_cast<uint8_t>(primer_grf[reemisor] + e.valor);
}

void comprobar_foptica(uint8_t c)
{
  if (!en_centro_de_celda()) {
    return;
  }
  incorporar_punto(0);
  const uint8_t pareja = nucleo.est_nivel[c].valor;
  if (pareja < NUM_CELDAS && nucleo.est_nivel[pareja].tipo == foptica) {
    nucleo.dt_rayo.x = static_cast<int8_t>(4 * (pareja % COLUMNAS) + 2);
    nucleo.dt_rayo.y = static_cast<int8_t>(4 * (pareja / COLUMNAS) + 2);
    incorporar_punto(1);
  } else {
    // The partner end has gone with the receiver's gate.
    nucleo.dt_rayo.estado = rayo_detenido;
  }
}
