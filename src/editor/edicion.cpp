// The edit operations: every change an author makes to a level, each
// through one edit operation, so each is one undo step (or part of its
// group's) and says what it did.
#include <algorithm>
#include <cstdlib>

#include "editor/editor.h"

namespace {

frase nombre_elemento(uint8_t b)
{
  const int e = elemento_de_byte(b);
  return e < 0 ? frase{"?", "?"} : frase{ELEMENTOS[e].nombre[0], ELEMENTOS[e].nombre[1]};
}

frase con_elemento(const char *es, const char *en, uint8_t b)
{
  const frase n = nombre_elemento(b);
  return {es + n.es, en + n.en};
}

// The rectangle kept on the board.
rectangulo recortado(rectangulo r)
{
  const int c0 = std::max(r.columna, 0), f0 = std::max(r.fila, 0);
  const int c1 = std::min(r.columna + r.ancho, COLUMNAS), f1 = std::min(r.fila + r.alto, FILAS);
  return {c0, f0, std::max(c1 - c0, 0), std::max(f1 - f0, 0)};
}

}  // namespace

rectangulo rectangulo_entre(int celda_a, int celda_b)
{
  const int ca = celda_a % COLUMNAS, fa = celda_a / COLUMNAS;
  const int cb = celda_b % COLUMNAS, fb = celda_b / COLUMNAS;
  return {std::min(ca, cb), std::min(fa, fb), std::abs(ca - cb) + 1, std::abs(fa - fb) + 1};
}

bool dentro(const rectangulo &r, int celda)
{
  const int c = celda % COLUMNAS, f = celda / COLUMNAS;
  return celda >= 0 && celda < NUM_CELDAS && c >= r.columna && c < r.columna + r.ancho && f >= r.fila &&
         f < r.fila + r.alto;
}

void pintar_linea(documento &d, int desde, int hasta, uint8_t b, uint32_t grupo)
{
  edicion ed(d, b == ELEMENTOS[ELEMENTO_SUELO].primero ? frase{"borrar", "clear"} : con_elemento("pintar ", "paint ", b),
             grupo);
  const int x0 = desde % COLUMNAS, y0 = desde / COLUMNAS;
  const int x1 = hasta % COLUMNAS, y1 = hasta / COLUMNAS;
  const int pasos = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
  for (int k = 0; k <= pasos; ++k) {
    // Rounded to the nearest cell, halves away from the start.
    const int cx = pasos == 0 ? x1 : x0 + ((x1 - x0) * k * 2 + (x1 > x0 ? pasos : -pasos)) / (2 * pasos);
    const int cy = pasos == 0 ? y1 : y0 + ((y1 - y0) * k * 2 + (y1 > y0 ? pasos : -pasos)) / (2 * pasos);
    d.nivel.bytes[cy * COLUMNAS + cx] = b;
  }
}

void poner_celda(documento &d, int celda, uint8_t b, uint32_t grupo, const frase &que, int64_t instante,
                 int64_t plazo)
{
  edicion ed(d, que, grupo, instante, plazo);
  d.nivel.bytes[celda] = b;
}

void girar_celda(documento &d, int celda, int pasos, int64_t instante)
{
  const uint8_t b = d.nivel.bytes[celda];
  edicion ed(d, con_elemento("girar ", "turn ", b), grupo_de_celda(celda), instante, PLAZO_GIROS_MS);
  d.nivel.bytes[celda] = girar_byte(b, pasos);
}

bool alternar_cuarto(documento &d, int celda, int elemento, uint8_t cuarto)
{
  int mascara = 0;
  if (elemento_de_byte(d.nivel.bytes[celda], &mascara) != elemento ||
      (elemento != ELEMENTO_MURO && elemento != ELEMENTO_MURO_REFLECTANTE)) {
    return false;
  }
  edicion ed(d, frase{"cambiar un cuarto de muro", "toggle a wall quarter"});
  mascara ^= cuarto;
  d.nivel.bytes[celda] = mascara == 0 ? ELEMENTOS[ELEMENTO_SUELO].primero : byte_de_elemento(elemento, mascara);
  return true;
}

recorte copiar(const nivel_texto &n, const rectangulo &r)
{
  const rectangulo k = recortado(r);
  recorte p{k.ancho, k.alto, {}};
  for (int f = 0; f < k.alto; ++f) {
    for (int c = 0; c < k.ancho; ++c) {
      p.bytes.push_back(n.bytes[(k.fila + f) * COLUMNAS + k.columna + c]);
    }
  }
  return p;
}

void rellenar(documento &d, const rectangulo &r, uint8_t b, const frase &que)
{
  edicion ed(d, que);
  const rectangulo k = recortado(r);
  for (int f = k.fila; f < k.fila + k.alto; ++f) {
    for (int c = k.columna; c < k.columna + k.ancho; ++c) {
      d.nivel.bytes[f * COLUMNAS + c] = b;
    }
  }
}

namespace {

// The cells of `p` laid with their corner at (columna, fila), those that
// fall on the board.
rectangulo poner(nivel_texto &n, const recorte &p, int columna, int fila)
{
  for (int f = 0; f < p.alto; ++f) {
    for (int c = 0; c < p.ancho; ++c) {
      const int x = columna + c, y = fila + f;
      if (x >= 0 && x < COLUMNAS && y >= 0 && y < FILAS) {
        n.bytes[y * COLUMNAS + x] = p.bytes[static_cast<size_t>(f * p.ancho + c)];
      }
    }
  }
  return recortado({columna, fila, p.ancho, p.alto});
}

}  // namespace

rectangulo pegar(documento &d, const recorte &p, int columna, int fila)
{
  edicion ed(d, frase{"pegar", "paste"});
  return poner(d.nivel, p, columna, fila);
}

rectangulo mover(documento &d, const rectangulo &r, int dx, int dy, uint32_t grupo, int64_t instante)
{
  const rectangulo k = recortado(r);
  // Kept whole on the board.
  dx = std::clamp(dx, -k.columna, COLUMNAS - k.columna - k.ancho);
  dy = std::clamp(dy, -k.fila, FILAS - k.fila - k.alto);
  edicion ed(d, frase{"mover", "move"}, grupo, instante, PLAZO_GIROS_MS);
  const recorte p = copiar(d.nivel, k);
  for (int f = k.fila; f < k.fila + k.alto; ++f) {
    for (int c = k.columna; c < k.columna + k.ancho; ++c) {
      d.nivel.bytes[f * COLUMNAS + c] = ELEMENTOS[ELEMENTO_SUELO].primero;
    }
  }
  return poner(d.nivel, p, k.columna + dx, k.fila + dy);
}

void voltear(documento &d, const rectangulo &r, bool horizontal)
{
  edicion ed(d, horizontal ? frase{"voltear de izquierda a derecha", "flip left to right"}
                           : frase{"voltear de arriba abajo", "flip top to bottom"});
  const rectangulo k = recortado(r);
  const recorte p = copiar(d.nivel, k);
  for (int f = 0; f < k.alto; ++f) {
    for (int c = 0; c < k.ancho; ++c) {
      const int de_c = horizontal ? k.ancho - 1 - c : c;
      const int de_f = horizontal ? f : k.alto - 1 - f;
      d.nivel.bytes[(k.fila + f) * COLUMNAS + k.columna + c] =
          voltear_byte(p.bytes[static_cast<size_t>(de_f * k.ancho + de_c)], horizontal);
    }
  }
}

void cambiar_textos(documento &d, const std::string &titulo, const std::string &idea)
{
  edicion ed(d, frase{"cambiar el t\xEDtulo y la idea", "change the title and idea"});
  d.nivel.titulo = titulo;
  d.nivel.idea = idea;
}

void cambiar_gremlins(documento &d, int cuantos)
{
  if (cuantos < 0 || cuantos > MAX_GREMLINS_NIVEL) {
    return;
  }
  edicion ed(d, frase{"cambiar los gremlins", "change the gremlins"});
  d.nivel.gremlins = static_cast<int8_t>(cuantos);
}
