// The board on the screen: built from the level (or from the plan's steps
// shown), its beam traced with the game's own code, and drawn with what
// the editor marks on it.
#include <allegro.h>

#include <cstring>

#include "audio/audio.h"
#include "editor/editor.h"
#include "pantalla/pantalla.h"

namespace {

constexpr int ANCHO_TABLERO = COLUMNAS * LADO_CELDA;
constexpr int ALTO_TABLERO = FILAS * LADO_CELDA;

int x_celda(int c)
{
  return ORIGEN_TABLERO + LADO_CELDA * (c % COLUMNAS);
}

int y_celda(int c)
{
  return ORIGEN_TABLERO + LADO_CELDA * (c / COLUMNAS);
}

// The tile of every palette element's current variant, taken from the
// board as the game loads it.
void losetas_paleta(estado_editor &e)
{
  uint8_t bytes[NUM_CELDAS];
  memset(bytes, ELEMENTOS[ELEMENTO_SUELO].primero, NUM_CELDAS);
  for (int k = 0; k < NUM_ELEMENTOS; ++k) {
    bytes[k] = byte_de_elemento(k, e.variante[k]);
  }
  cargar_tablero(bytes, -1);
  for (int k = 0; k < NUM_ELEMENTOS; ++k) {
    e.loseta_paleta[k] = nucleo.est_nivel[k].grf;
  }
  // A mirror shows its angle, which the game would draw at random.
  e.loseta_paleta[ELEMENTO_ESPEJO] = static_cast<uint8_t>(primer_grf[espejo] + e.variante[ELEMENTO_ESPEJO]);
}

// The beam, traced with no sound: a target it reaches explodes, as in the
// game, but the editor is not playing.
void calcular_rayo_en_silencio()
{
  const uint8_t volumen = vol_son;
  vol_son = 0;
  calcular_rayo();
  vol_son = volumen;
}

// The targets the beam reaches go, one after another, and once none
// stands the gate opens, as a player waiting would see.
void derribar_blancos()
{
  bool puerta_abierta = false;
  for (int vuelta = 0; vuelta <= NUM_CELDAS; ++vuelta) {
    calcular_rayo_en_silencio();
    bool cambio = false;
    int en_pie = 0;
    for (celda &k : nucleo.est_nivel) {
      if (k.tipo != detonador) {
        continue;
      }
      if (k.valor >= 1 && k.valor < DETONADOR_DESTRUIDO) {
        k.valor = DETONADOR_DESTRUIDO;
        k.grf = static_cast<uint8_t>(primer_grf[detonador] - 1);
        cambio = true;
      } else if (k.valor == DETONADOR_EN_PIE) {
        ++en_pie;
      }
    }
    if (en_pie == 0 && !puerta_abierta) {
      celda &puerta = nucleo.est_nivel[nucleo.dt_rayo.celda_puerta];
      if (puerta.tipo != detonador) {
        puerta = {detonador, DETONADOR_DESTRUIDO, primer_grf[vacio]};
        cambio = true;
      }
      puerta_abierta = true;
    }
    if (!cambio) {
      return;
    }
  }
}

// The board as the plan leaves it after the steps shown: the mirrors it
// has set, the targets the beam has reached on the way gone, the gate
// open once none stands, and whether the beam then enters the receiver.
void tablero_del_plan(estado_editor &e)
{
  for (size_t k = 0; k < e.paso_plan && k < e.resultado.plan.size(); ++k) {
    const paso_prueba &p = e.resultado.plan[k];
    if (p.giro) {
      celda &m = nucleo.est_nivel[p.celda];
      m.valor = static_cast<uint8_t>(p.angulo);
      m.grf = static_cast<uint8_t>(primer_grf[espejo] + p.angulo);
    }
    derribar_blancos();
  }
  e.plan_ganado = nucleo.dt_rayo.estado == rayo_conectado;
}

bool hay_emisor(const nivel_texto &n)
{
  for (const uint8_t b : n.bytes) {
    if (elemento_de_byte(b) == ELEMENTO_EMISOR) {
      return true;
    }
  }
  return false;
}

int gris(int v)
{
  return makecol(v, v, v);
}

void marco(int c, int grosor, int color)
{
  for (int g = 0; g < grosor; ++g) {
    rect(buffer, x_celda(c) + g, y_celda(c) + g, x_celda(c) + LADO_CELDA - 1 - g, y_celda(c) + LADO_CELDA - 1 - g,
         color);
  }
}

// The selection's frame, or where a drag would move it, with its cells.
void dibujar_seleccion(const estado_editor &e)
{
  if (!e.hay_seleccion) {
    return;
  }
  rectangulo r = e.seleccion;
  if (e.moviendo) {
    r.columna += e.destino_movido % COLUMNAS - e.agarre % COLUMNAS;
    r.fila += e.destino_movido / COLUMNAS - e.agarre / COLUMNAS;
    for (int f = 0; f < e.seleccion.alto; ++f) {
      for (int c = 0; c < e.seleccion.ancho; ++c) {
        const int x = r.columna + c, y = r.fila + f;
        if (x >= 0 && x < COLUMNAS && y >= 0 && y < FILAS) {
          const celda &k = nucleo.est_nivel[(e.seleccion.fila + f) * COLUMNAS + e.seleccion.columna + c];
          blit(loseta[k.grf], buffer, 0, 0, ORIGEN_TABLERO + LADO_CELDA * x, ORIGEN_TABLERO + LADO_CELDA * y,
               LADO_CELDA, LADO_CELDA);
        }
      }
    }
  }
  const int x0 = ORIGEN_TABLERO + LADO_CELDA * r.columna, y0 = ORIGEN_TABLERO + LADO_CELDA * r.fila;
  const int x1 = x0 + LADO_CELDA * r.ancho - 1, y1 = y0 + LADO_CELDA * r.alto - 1;
  for (int g = 0; g < 2; ++g) {
    rect(buffer, x0 + g, y0 + g, x1 - g, y1 - g, amarillo);
  }
  // Dashes of black over the yellow, so it shows on a lit board too.
  for (int x = x0; x <= x1; x += 16) {
    hline(buffer, x, y0, MIN(x + 7, x1), 0);
    hline(buffer, x, y1, MIN(x + 7, x1), 0);
  }
  for (int y = y0; y <= y1; y += 16) {
    vline(buffer, x0, y, MIN(y + 7, y1), 0);
    vline(buffer, x1, y, MIN(y + 7, y1), 0);
  }
}

}  // namespace

void reconstruir(estado_editor &e)
{
  const nivel_texto &n = e.doc.nivel;
  e.problemas = comprobar_nivel(n.bytes, n.gremlins);
  memset(e.celda_mal, 0, sizeof e.celda_mal);
  for (const problema_nivel &p : e.problemas) {
    if (p.celda >= 0) {
      e.celda_mal[p.celda] = true;
    }
  }
  losetas_paleta(e);
  cargar_tablero(n.bytes, -1);
  // Plain mirrors at the angles their bytes keep, where the game would
  // draw them at random.
  for (int c = 0; c < NUM_CELDAS; ++c) {
    celda &k = nucleo.est_nivel[c];
    if (k.tipo == espejo) {
      k.valor = static_cast<uint8_t>(n.bytes[c] - ELEMENTOS[ELEMENTO_ESPEJO].primero);
      k.grf = static_cast<uint8_t>(primer_grf[espejo] + k.valor);
    }
  }
  // The gate stays shut while the author edits: with no target at all
  // the board would open it, with its sound.
  nucleo.dt_rayo.pendientes = 0;
  e.plan_ganado = false;
  if (e.paso_plan > 0 && hay_emisor(n)) {
    tablero_del_plan(e);
  }
  e.recargar = false;
  e.revision_tablero = e.doc.revision;
}

void trazar(estado_editor &e)
{
  if (!hay_emisor(e.doc.nivel)) {
    nucleo.dt_rayo.n_puntos = 0;
    return;
  }
  if (e.paso_plan > 0) {
    // The plan's board as it stands: every target it reaches has gone.
    calcular_rayo_en_silencio();
    return;
  }
  // Targets count as gone, so the whole route shows rather than its first
  // target.
  for (celda &k : nucleo.est_nivel) {
    if (k.tipo == detonador) {
      k.valor = DETONADOR_DESTRUIDO;
    }
  }
  calcular_rayo();
  for (celda &k : nucleo.est_nivel) {
    if (k.tipo == detonador) {
      k.valor = DETONADOR_EN_PIE;
    }
  }
}

void dibujar_tablero(estado_editor &e, bool logico)
{
  set_clip_rect(buffer, 0, 0, buffer->w - 1, buffer->h - 1);
  clear_to_color(buffer, 0);
  // The beam at full strength whatever a game played from here has left
  // of the energy it is drawn by.
  nucleo.dt_partida.energia = 64;
  nucleo.dt_partida.cuenta_energia = 1;
  dibujar_mapa(logico ? 1 : 0, buffer);
  // The beam stays on the board: one leaving it would run over the frame
  // to the window's edge.
  set_clip_rect(buffer, ORIGEN_TABLERO, ORIGEN_TABLERO, ORIGEN_TABLERO + ANCHO_TABLERO - 1,
                ORIGEN_TABLERO + ALTO_TABLERO - 1);
  dibujar_rayo();
  set_clip_rect(buffer, 0, 0, buffer->w - 1, buffer->h - 1);

  for (int c = 0; c < NUM_CELDAS; ++c) {
    if (e.celda_mal[c]) {
      marco(c, 3, rojo);
    }
  }
  // A problem clicked in the list blinks for a while.
  if (e.celda_resaltada >= 0 && ahora_ms() < e.resaltada_hasta && (ahora_ms() / 250) % 2 == 0) {
    marco(e.celda_resaltada, 5, amarillo);
  }
  dibujar_seleccion(e);

  const int bajo = celda_bajo(e.x, e.y);
  if (bajo >= 0 && e.dialogo == DIALOGO_NINGUNO) {
    marco(bajo, 1, gris(255));
    // Over a wall of the chosen kind, the quarter a click toggles.
    int mascara = 0;
    if ((e.elegido == ELEMENTO_MURO || e.elegido == ELEMENTO_MURO_REFLECTANTE) &&
        elemento_de_byte(e.doc.nivel.bytes[bajo], &mascara) == e.elegido) {
      const int dx = (e.x - ORIGEN_TABLERO) % LADO_CELDA, dy = (e.y - ORIGEN_TABLERO) % LADO_CELDA;
      const int x = x_celda(bajo) + (dx >= LADO_CELDA / 2 ? LADO_CELDA / 2 : 0);
      const int y = y_celda(bajo) + (dy >= LADO_CELDA / 2 ? LADO_CELDA / 2 : 0);
      rect(buffer, x + 2, y + 2, x + LADO_CELDA / 2 - 3, y + LADO_CELDA / 2 - 3, amarillo);
    }
  }
}
