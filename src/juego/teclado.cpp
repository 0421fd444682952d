// Playing without the mouse: a cursor on the board that the arrows jump
// from mirror to mirror (Shift and an arrow: one cell), Z and X held on it
// as the left and right buttons are held, and the pause keys. What the
// cursor does reaches the rules as the mouse's input would (the cell and
// the buttons of entrada_juego), so a game played with the keys records
// and verifies as any other.
#include <allegro.h>

#include <cstdlib>

#include "dlg/dlg.h"
#include "juego/juego.h"
#include "pantalla/pantalla.h"

namespace {

// The cell the cursor starts from when nothing else says where: the
// board's middle.
constexpr uint8_t CELDA_CENTRO = (FILAS / 2) * COLUMNAS + COLUMNAS / 2;

// Arrow keys, in the order of the directions of celda_en_direccion.
constexpr int FLECHAS[4] = {KEY_UP, KEY_RIGHT, KEY_DOWN, KEY_LEFT};

// The frame around the cursor's cell: bright cyan, three pixels thick
// inside the cell, lined with black so that it stands out from a beam of
// the same colour.
constexpr int GROSOR_CURSOR = 3;

// A key read for its new presses: one a press, however briefly held.
struct tecla_nueva {
  t_vista_tecla vista;
  bool abajo;
};

struct estado_teclado {
  bool activo;    // the keys play: the cursor is shown and stands for the pointer
  uint8_t celda;  // the cursor's cell, CELDA_NINGUNA before it is first shown
  int raton_x, raton_y;  // where the pointer was when the keys took over
  tecla_nueva flecha[4];
  tecla_nueva pausa[3];  // Esc, P, F1
  t_vista_tecla giro[2];  // Z, X
  t_vista_tecla mayusculas[2];
};
estado_teclado teclado;

void olvidar(int tecla, tecla_nueva &t)
{
  dlg_olvidar_tecla(tecla, t.vista);
  t.abajo = key[tecla] != 0;
}

// Whether `tecla` has been pressed since the last look: a key held on is
// one press, and each tap between two looks is seen.
bool pulsada(int tecla, tecla_nueva &t)
{
  const bool abajo = dlg_tecla(tecla, t.vista);
  const bool nueva = abajo && !t.abajo;
  t.abajo = abajo;
  return nueva;
}

// The keys give the board back to the pointer.
void soltar_cursor()
{
  teclado.activo = false;
}

// The cursor is shown: where it was last, else on the mirror nearest the
// pointer (or the board's middle when the pointer is off the board).
void tomar_cursor()
{
  if (!teclado.activo) {
    teclado.activo = true;
    teclado.raton_x = mouse_x;
    teclado.raton_y = mouse_y;
    if (teclado.celda == CELDA_NINGUNA) {
      const uint8_t bajo = celda_en_pantalla(mouse_x, mouse_y);
      teclado.celda = espejo_mas_cercano(nucleo.est_nivel, bajo != CELDA_NINGUNA ? bajo : CELDA_CENTRO);
    }
  }
}

int distancia(int desde, int hasta)
{
  return std::abs(desde % COLUMNAS - hasta % COLUMNAS) + std::abs(desde / COLUMNAS - hasta / COLUMNAS);
}

}  // namespace

uint8_t espejo_mas_cercano(const celda tablero[NUM_CELDAS], uint8_t desde)
{
  int mejor = -1;
  for (int c = 0; c < NUM_CELDAS; ++c) {
    if (es_espejo(tablero[c].tipo) && (mejor < 0 || distancia(desde, c) < distancia(desde, mejor))) {
      mejor = c;
    }
  }
  return mejor < 0 ? desde : static_cast<uint8_t>(mejor);
}

uint8_t celda_en_direccion(const celda tablero[NUM_CELDAS], uint8_t desde, int direccion, bool solo_espejos)
{
  const int x = desde % COLUMNAS, y = desde / COLUMNAS;
  // The steps of the four directions: up, right, down, left.
  static constexpr int DX[4] = {0, 1, 0, -1};
  static constexpr int DY[4] = {-1, 0, 1, 0};
  const int dx = DX[direccion & 3], dy = DY[direccion & 3];
  if (!solo_espejos) {
    const int nx = x + dx, ny = y + dy;
    return nx >= 0 && nx < COLUMNAS && ny >= 0 && ny < FILAS ? static_cast<uint8_t>(ny * COLUMNAS + nx) : desde;
  }
  // The mirror ahead whose way there strays least from the arrow's: each
  // cell aside counts as two ahead, so a mirror straight ahead is
  // preferred to a nearer one far to a side; ties go to the less aside.
  int mejor = desde, mejor_coste = 0, mejor_lado = 0;
  for (int c = 0; c < NUM_CELDAS; ++c) {
    if (!es_espejo(tablero[c].tipo)) {
      continue;
    }
    const int ox = c % COLUMNAS - x, oy = c / COLUMNAS - y;
    const int delante = ox * dx + oy * dy;
    const int lado = std::abs(ox * dy - oy * dx);
    if (delante <= 0) {
      continue;
    }
    const int coste = delante + 2 * lado;
    if (mejor == desde || coste < mejor_coste || (coste == mejor_coste && lado < mejor_lado)) {
      mejor = c;
      mejor_coste = coste;
      mejor_lado = lado;
    }
  }
  return static_cast<uint8_t>(mejor);
}

void empezar_teclado()
{
  teclado.activo = false;
  teclado.celda = CELDA_NINGUNA;
  for (int d = 0; d < 4; ++d) {
    olvidar(FLECHAS[d], teclado.flecha[d]);
  }
  olvidar(KEY_ESC, teclado.pausa[0]);
  olvidar(KEY_P, teclado.pausa[1]);
  olvidar(KEY_F1, teclado.pausa[2]);
  dlg_olvidar_tecla(KEY_Z, teclado.giro[0]);
  dlg_olvidar_tecla(KEY_X, teclado.giro[1]);
}

int tecla_pausa()
{
  // All are looked at, so none keeps a press for later.
  const bool escape = pulsada(KEY_ESC, teclado.pausa[0]);
  const bool p = pulsada(KEY_P, teclado.pausa[1]);
  const bool f1 = pulsada(KEY_F1, teclado.pausa[2]);
  return escape || p ? TECLA_PAUSA : f1 ? TECLA_AYUDA : 0;
}

void mover_cursor_teclado()
{
  if (en_secuencia()) {
    // A new board, or the same one started again: the cursor shows again
    // at the next key, from the mirror nearest where the player looks.
    soltar_cursor();
    teclado.celda = CELDA_NINGUNA;
    return;
  }
  if (teclado.activo && (mouse_x != teclado.raton_x || mouse_y != teclado.raton_y)) {
    soltar_cursor();
  }
  const bool un_paso = dlg_tecla_tocada(KEY_LSHIFT, teclado.mayusculas[0]) |
                       dlg_tecla_tocada(KEY_RSHIFT, teclado.mayusculas[1]);
  for (int d = 0; d < 4; ++d) {
    if (!pulsada(FLECHAS[d], teclado.flecha[d])) {
      continue;
    }
    // The first key only shows where the cursor is.
    if (!teclado.activo) {
      tomar_cursor();
    } else {
      teclado.celda = celda_en_direccion(nucleo.est_nivel, teclado.celda, d, !un_paso);
    }
  }
}

void aplicar_teclado(entrada_juego &entrada)
{
  const bool z = dlg_tecla_tocada(KEY_Z, teclado.giro[0]);
  const bool x = dlg_tecla_tocada(KEY_X, teclado.giro[1]);
  if (entrada.botones != 0 || entrada.rueda != 0) {
    // A button or the wheel: the mouse plays again.
    soltar_cursor();
    return;
  }
  if (!teclado.activo) {
    if (!z && !x) {
      return;
    }
    // A turn key shows the cursor first; held on, it turns from the next
    // step.
    tomar_cursor();
    return;
  }
  entrada.celda = teclado.celda;
  entrada.botones = static_cast<uint8_t>((z ? 1 : 0) | (x ? 2 : 0));
}

void dibujar_cursor_teclado()
{
  if (!teclado.activo || teclado.celda >= NUM_CELDAS) {
    return;
  }
  const int x = ORIGEN_TABLERO + LADO_CELDA * (teclado.celda % COLUMNAS);
  const int y = ORIGEN_TABLERO + LADO_CELDA * (teclado.celda / COLUMNAS);
  const int color = makecol(0, 255, 255);
  for (int i = 0; i <= GROSOR_CURSOR; ++i) {
    rect(buffer, x + i, y + i, x + LADO_CELDA - 1 - i, y + LADO_CELDA - 1 - i, i < GROSOR_CURSOR ? color : 0);
  }
}
