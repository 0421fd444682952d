// Drawing the board: every cell's tile, the dissolving gate over its cell,
// the frame and the gremlins. What moves at frame rate is the rules'
// (animar_tablero); the board is drawn in its middle.
#include <allegro.h>

#include "pantalla/pantalla.h"
#include "juego/juego.h"

namespace {

// `valor` of a target past its explosions: the gate dissolving, drawn over
// its cell.
constexpr uint8_t FIN_EXPLOSION_2 = 33;

// Where dibujar_mapa draws the board while the rules animate it.
BITMAP *destino_mapa = nullptr;

void pintar_en_destino(uint8_t)
{
  pintar_tablero(destino_mapa);
}

}  // namespace

void recomponer_loseta_puerta(uint8_t grf_antes)
{
  BITMAP *destino = loseta[LOSETA_PUERTA_RECOMPUESTA];
  if (destino == nullptr) {
    return;
  }
  blit(loseta[primer_grf[vacio]], destino, 0, 0, 0, 0, LADO_CELDA, LADO_CELDA);
  for (const mitad_libre &m : MITADES_LIBRES) {
    if (m.grf == grf_antes) {
      blit(loseta[grf_antes], destino, m.x, m.y, m.x, m.y, m.ancho, m.alto);
    }
  }
}

void pintar_tablero(BITMAP *destino)
{
  if (destino == nullptr) {
    return;
  }
  for (int c = 0; c < NUM_CELDAS; ++c) {
    const celda &e = nucleo.est_nivel[c];
    const int x = ORIGEN_TABLERO + LADO_CELDA * (c % COLUMNAS);
    const int y = ORIGEN_TABLERO + LADO_CELDA * (c / COLUMNAS);
    blit(loseta[e.grf], destino, 0, 0, x, y, LADO_CELDA, LADO_CELDA);
    if (e.tipo == detonador && e.valor > FIN_EXPLOSION_2 && e.valor < DETONADOR_DESTRUIDO) {
      draw_sprite(destino, loseta[primer_grf[detonador] + e.valor / 2], x, y);
    }
  }

  blit(borde[0], buffer, 0, 0, 0, 0, ANCHO_PANTALLA, ORIGEN_TABLERO);
  blit(borde[1], buffer, 0, 0, 0, ORIGEN_TABLERO + FILAS * LADO_CELDA, ANCHO_PANTALLA, ORIGEN_TABLERO);
  blit(borde[2], buffer, 0, 0, 0, ORIGEN_TABLERO, ORIGEN_TABLERO, FILAS * LADO_CELDA);
  blit(borde[3], buffer, 0, 0, ORIGEN_TABLERO + COLUMNAS * LADO_CELDA, ORIGEN_TABLERO, ORIGEN_TABLERO,
       FILAS * LADO_CELDA);

  bool primero = true;
  for (const datos_gremlin &g : nucleo.dt_gremlin) {
    if (g.espera == -1) {
      break;
    }
    if (g.espera != 0) {
      continue;
    }
    if (primero) {
      set_trans_blender(0, 0, 0, 160);
      primero = false;
    }
    draw_trans_sprite(buffer, loseta[primer_grf[GRF_GREMLIN] + g.fotograma], g.x, g.y);
  }
}

void dibujar_mapa(uint8_t animar, BITMAP *destino)
{
  destino_mapa = destino;
  animar_tablero(animar, pintar_en_destino);
  destino_mapa = nullptr;
  if ((nucleo.dt_sucesos.bits & suceso_puerta_recompuesta) != 0) {
    recomponer_loseta_puerta(nucleo.dt_sucesos.grf_puerta_antes);
    nucleo.dt_sucesos.bits &= static_cast<uint16_t>(~suceso_puerta_recompuesta);
  }
}
