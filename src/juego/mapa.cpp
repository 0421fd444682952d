// Drawing the board, which also runs the animations that go at frame rate:
// the mines' flicker, the targets' explosions and the receiver's gate.
#include <allegro.h>

#include <cstdlib>

#include "audio/audio.h"
#include "fotonauta/fotonauta.h"
#include "juego/juego.h"

namespace {

constexpr int PUNTOS_PUERTA = 250;

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
    if (rand() % 100 == 0) {
      e.valor = 0;
    }
  } else {
    ++e.valor;
  }
  if (e.valor <= MINA_FIN_PARPADEO && e.valor % divisor_parpadeo(e.valor) == 0) {
    e.grf = e.grf == primer_grf[mina] + MINA_ULTIMA_LOSETA ? primer_grf[mina] : static_cast<uint8_t>(e.grf + 1);
  }
}

// Which half of a gate tile holds no wall, for the gate tiles that are
// rebuilt when the gate dissolves: that half is kept and the other half
// comes from the plain floor.
struct mitad_libre {
  uint8_t grf;
  int x, y, ancho, alto;  // the half kept, within the tile
};
constexpr int MITAD = LADO_CELDA / 2;
const mitad_libre MITADES_LIBRES[] = {
    {34, 0, MITAD, LADO_CELDA, MITAD}, {50, 0, MITAD, LADO_CELDA, MITAD},  // wall on top
    {40, MITAD, 0, MITAD, LADO_CELDA}, {56, MITAD, 0, MITAD, LADO_CELDA},  // wall on the left
    {43, 0, 0, LADO_CELDA, MITAD},     {59, 0, 0, LADO_CELDA, MITAD},      // wall below
    {53, 0, 0, MITAD, LADO_CELDA},                                         // reflecting wall on the right
};

// The gate's cell turns to floor, keeping the half of its old tile that
// held no wall, composed into the scratch tile.
void recomponer_puerta(celda &e)
{
  const uint8_t suelo = primer_grf[vacio];
  const uint8_t provisional = static_cast<uint8_t>(primer_grf[detonador] - 2);
  for (const mitad_libre &m : MITADES_LIBRES) {
    if (m.grf != e.grf) {
      continue;
    }
    BITMAP *destino = loseta[provisional];
    if (destino != nullptr) {
      blit(loseta[suelo], destino, 0, 0, 0, 0, LADO_CELDA, LADO_CELDA);
      blit(loseta[e.grf], destino, m.x, m.y, m.x, m.y, m.ancho, m.alto);
    }
    e.grf = provisional;
    return;
  }
  e.grf = suelo;
}

// Advances a target's explosion, or the gate's dissolving, by one frame.
void animar_detonador(celda &e, BITMAP *destino, int x, int y)
{
  if (e.valor == FIN_EXPLOSION_1 || e.valor == FIN_EXPLOSION_2) {
    e.valor = DETONADOR_DESTRUIDO;
    e.grf = static_cast<uint8_t>(primer_grf[detonador] - 1);
    --dt_rayo.pendientes;
  } else if (e.valor <= FIN_EXPLOSION_2) {
    ++e.valor;
    e.grf = static_cast<uint8_t>(primer_grf[detonador] + e.valor / 2);
  } else {
    if (destino != nullptr) {
      draw_sprite(destino, loseta[primer_grf[detonador] + e.valor / 2], x, y);
    }
    if (e.valor == PUERTA_RECOMPONER) {
      recomponer_puerta(e);
      ++e.valor;
    } else if (e.valor == PUERTA_FIN) {
      e.valor = DETONADOR_DESTRUIDO;
    } else {
      ++e.valor;
    }
  }
}

}  // namespace

void dibujar_mapa(uint8_t animar, BITMAP *destino)
{
  // Every target has gone: the gate in front of the receiver dissolves.
  if (dt_rayo.pendientes == 1) {
    sumar_puntos_nivel(PUNTOS_PUERTA);
    dt_rayo.pendientes = 0;
    celda &puerta = est_nivel[dt_rayo.celda_puerta];
    puerta.tipo = detonador;
    puerta.valor = PUERTA_INICIO;
    reproducir_sonido(SND_PUERTA, SONIDO_UNA_VEZ);
  }

  for (int c = 0; c < NUM_CELDAS; ++c) {
    celda &e = est_nivel[c];
    const int x = ORIGEN_TABLERO + LADO_CELDA * (c % COLUMNAS);
    const int y = ORIGEN_TABLERO + LADO_CELDA * (c / COLUMNAS);
    if (e.tipo == mina) {
      animar_mina(e);
    }
    if (destino != nullptr) {
      blit(loseta[e.grf], destino, 0, 0, x, y, LADO_CELDA, LADO_CELDA);
    }
    if (e.tipo == detonador && e.valor >= 1 && e.valor < DETONADOR_DESTRUIDO) {
      animar_detonador(e, destino, x, y);
    }
  }

  if (destino != nullptr) {
    blit(borde[0], buffer, 0, 0, 0, 0, ANCHO_PANTALLA, ORIGEN_TABLERO);
    blit(borde[1], buffer, 0, 0, 0, ORIGEN_TABLERO + FILAS * LADO_CELDA, ANCHO_PANTALLA, ORIGEN_TABLERO);
    blit(borde[2], buffer, 0, 0, 0, ORIGEN_TABLERO, ORIGEN_TABLERO, FILAS * LADO_CELDA);
    blit(borde[3], buffer, 0, 0, ORIGEN_TABLERO + COLUMNAS * LADO_CELDA, ORIGEN_TABLERO, ORIGEN_TABLERO,
         FILAS * LADO_CELDA);
  }

  bool primero = true;
  for (datos_gremlin &g : dt_gremlin) {
    if (g.espera == -1) {
      break;
    }
    if (g.espera != 0) {
      continue;
    }
    if (animar) {
      g.fotograma = static_cast<int8_t>((g.fotograma + 1) % 4);
    }
    if (destino != nullptr) {
      if (primero) {
        set_trans_blender(0, 0, 0, 160);
        primero = false;
      }
      draw_trans_sprite(buffer, loseta[primer_grf[GRF_GREMLIN] + g.fotograma], g.x, g.y);
    }
  }
}
