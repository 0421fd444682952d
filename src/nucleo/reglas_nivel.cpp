// The rules every level keeps, which the level tool, the editor and the
// game's `--niveles` all check.
#include <cstdarg>
#include <cstdio>

#include "nucleo/nucleo.h"

std::string formato(const char *fmt, ...)
{
  char texto[256];
  va_list args;
  va_start(args, fmt);
  vsnprintf(texto, sizeof texto, fmt, args);
  va_end(args);
  return texto;
}

namespace {

constexpr int NUM_PAREJAS_FOPTICA = 4;

// Quarters of a wall's mask: the halves that lie across a beam going up
// or down (top, bottom) and across one going left or right (left, right).
constexpr uint8_t MITAD_ARRIBA = 0x3, MITAD_ABAJO = 0xc, MITAD_IZQUIERDA = 0x9, MITAD_DERECHA = 0x6;

// Whether a gremlin has a free 2 x 2 square of blocks to enter by, on the
// board as the game loads it: what stops a gremlin is the kind of each cell
// and a wall's mask, which the game draws nothing for.
bool hay_entrada_gremlin(const uint8_t *bytes)
{
  celda tablero[NUM_CELDAS];
  for (int c = 0; c < NUM_CELDAS; ++c) {
    int variante = 0;
    const int e = elemento_de_byte(bytes[c], &variante);
    const uint8_t tipo = e < 0 ? uint8_t{vacio} : ELEMENTOS[e].tipo;
    tablero[c] = {tipo, static_cast<uint8_t>(variante), 0};
  }
  auto libre = [&tablero](int bx, int by) {
    return optica_gremlin(tablero, static_cast<uint8_t>(bx), static_cast<uint8_t>(by)) == optica_pasa;
  };
  for (int by = 0; by <= BLOQUES_Y - 2; ++by) {
    for (int bx = 0; bx <= BLOQUES_X - 2; ++bx) {
      if (libre(bx, by) && libre(bx + 1, by) && libre(bx, by + 1) && libre(bx + 1, by + 1)) {
        return true;
      }
    }
  }
  return false;
}

// The receiver's gate is the cell in front of its opening. Until every
// target is gone it must keep the beam out: a wall with a whole half
// across the way in.
void comprobar_puerta(const uint8_t *bytes, int receptor, std::vector<problema_nivel> &problemas)
{
  int lado = 0;
  elemento_de_byte(bytes[receptor], &lado);
  const int columna = receptor % COLUMNAS, fila = receptor / COLUMNAS;
  const int dx[4] = {0, -1, 0, 1}, dy[4] = {1, 0, -1, 0};
  const int x = columna + dx[lado], y = fila + dy[lado];
  if (x < 0 || x >= COLUMNAS || y < 0 || y >= FILAS) {
    problemas.push_back({receptor, "the receiver opens off the board", true});
    return;
  }
  const int puerta = y * COLUMNAS + x;
  int variante = 0;
  const int e = elemento_de_byte(bytes[puerta], &variante);
  const int mascara = e == ELEMENTO_MURO || e == ELEMENTO_MURO_REFLECTANTE ? variante : 0;
  const bool vertical = lado == 0 || lado == 2;
  const uint8_t a = vertical ? MITAD_ARRIBA : MITAD_IZQUIERDA;
  const uint8_t z = vertical ? MITAD_ABAJO : MITAD_DERECHA;
  if ((mascara & a) != a && (mascara & z) != z) {
    problemas.push_back({puerta, formato("the receiver's gate does not stop the beam: it needs a wall across "
                                         "the way in (%s)", vertical ? "a3 or ac" : "a9 or a6"),
                          true});
  }
}

}  // namespace

std::vector<problema_nivel> comprobar_nivel(const uint8_t *bytes, int n_gremlins)
{
  std::vector<problema_nivel> problemas;
  std::vector<int> emisores, receptores, parejas[NUM_PAREJAS_FOPTICA];
  int detonadores = 0;

  for (int c = 0; c < NUM_CELDAS; ++c) {
    int variante = 0;
    const int e = elemento_de_byte(bytes[c], &variante);
    if (e < 0) {
      problemas.push_back({c, formato("byte %d is not a level element", bytes[c])});
    } else if (e == ELEMENTO_EMISOR) {
      emisores.push_back(c);
    } else if (e == ELEMENTO_RECEPTOR) {
      receptores.push_back(c);
    } else if (e == ELEMENTO_DETONADOR) {
      ++detonadores;
    } else if (e == ELEMENTO_FOPTICA) {
      parejas[variante].push_back(c);
      // The loader marks a pair's first end by its cell, and 0 means none.
      if (c == 0) {
        problemas.push_back({c, "a fibre-optic end at " + nombre_celda(0) + ", which cannot hold one"});
      }
    }
  }

  auto uno_solo = [&problemas](const std::vector<int> &celdas, const char *nombre) {
    if (celdas.empty()) {
      problemas.push_back({-1, formato("no %s", nombre)});
    }
    for (size_t i = 1; i < celdas.size(); ++i) {
      problemas.push_back(
          {celdas[i], formato("another %s (the first is at %s)", nombre, nombre_celda(celdas[0]).c_str())});
    }
  };
  uno_solo(emisores, "emitter");
  uno_solo(receptores, "receiver");
  if (!receptores.empty()) {
    comprobar_puerta(bytes, receptores[0], problemas);
  }

  for (int p = 0; p < NUM_PAREJAS_FOPTICA; ++p) {
    const std::vector<int> &celdas = parejas[p];
    if (!celdas.empty() && celdas.size() != 2) {
      std::string donde;
      for (int c : celdas) {
        donde += (donde.empty() ? "" : "; ") + nombre_celda(c);
      }
      // Every end is marked, so the editor shows each one.
      for (int c : celdas) {
        problemas.push_back({c, formato("fibre-optic pair %d appears %zu %s (at %s)", p, celdas.size(),
                                        celdas.size() == 1 ? "time" : "times", donde.c_str())});
      }
    }
  }

  if (detonadores < MIN_DETONADORES) {
    problemas.push_back({-1, formato("%d targets, at least %d needed", detonadores, MIN_DETONADORES)});
  }

  if (n_gremlins > 0 && !hay_entrada_gremlin(bytes)) {
    problemas.push_back({-1, formato("no free 2 x 2 block square for its %d gremlins to enter", n_gremlins)});
  }
  return problemas;
}
