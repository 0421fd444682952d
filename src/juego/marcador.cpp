// The status strip under the board: its floor and labels, made once per
// game, and the values drawn over it.
#include <allegro.h>

#include <cstdio>

#include "pantalla/pantalla.h"
#include "juego/juego.h"

// The status strip under the board; exists while a game is played.
BITMAP *marcador;

namespace {

constexpr int Y_MARCADOR = 640;

// Where the values and bars go on screen.
constexpr int X_PUNTOS = 882, Y_PUNTOS = 708;
constexpr int X_VALOR = 466, Y_NIVEL = 656, Y_VIDAS = 720;
constexpr int X_BARRA = 562;
constexpr int Y_SOBRECARGA = 683, Y_ENERGIA = 747;
constexpr int ALTO_BARRA = 11;

const char *const ETIQUETA_PUNTOS[2] = {"puntos", "points"};
const char *const ETIQUETA_TEMPERATURA[2] = {"temp.", "temp."};
const char *const ETIQUETA_ENERGIA[2] = {"energ\xED" "a", "energy"};
const char *const ETIQUETA_NIVEL[2] = {"nivel:", "level:"};
const char *const ETIQUETA_VIDAS[2] = {"vidas:", "lives:"};

}  // namespace

void preparar_marcador()
{
  convertir_base();
  for (int k = 0; k < NUM_BASE; ++k) {
    blit(loseta[base[k]], marcador, 0, 0, LADO_CELDA * (k % 16), LADO_CELDA * (k / 16), LADO_CELDA, LADO_CELDA);
  }
  FONT *f = fuente_texto();
  const int i = idioma == IDIOMA_INGLES ? 1 : 0;
  textout_centre_ex(marcador, f, ETIQUETA_PUNTOS[i], X_PUNTOS, 668 - Y_MARCADOR, -1, -1);
  textout_centre_ex(marcador, f, ETIQUETA_TEMPERATURA[i], 658, 644 - Y_MARCADOR, -1, -1);
  textout_centre_ex(marcador, f, ETIQUETA_ENERGIA[i], 658, 708 - Y_MARCADOR, -1, -1);
  textout_ex(marcador, f, ETIQUETA_NIVEL[i], 274, 656 - Y_MARCADOR, -1, -1);
  textout_ex(marcador, f, ETIQUETA_VIDAS[i], 274, 720 - Y_MARCADOR, -1, -1);
}

void copiar_marcador(int desde_x, int ancho)
{
  blit(marcador, buffer, desde_x, 0, desde_x, Y_MARCADOR, ancho, marcador->h);
}

void dibujar_puntos_marcador(int32_t puntos)
{
  textprintf_centre_ex(buffer, fuente_texto(), X_PUNTOS, Y_PUNTOS, -1, -1, "%i", static_cast<int>(puntos));
}

void dibujar_nivel_marcador(int nivel)
{
  if (nivel < PRIMER_NIVEL_ENTRENAMIENTO) {
    textprintf_ex(buffer, fuente_texto(), X_VALOR, Y_NIVEL, -1, -1, "%i%i", (nivel + 1) / 10, (nivel + 1) % 10);
  } else {
    textprintf_ex(buffer, fuente_texto(), X_VALOR, Y_NIVEL, -1, -1, "p%i", nivel - (PRIMER_NIVEL_ENTRENAMIENTO - 1));
  }
}

void dibujar_vidas_marcador(const char *vidas)
{
  textout_ex(buffer, fuente_texto(), vidas, X_VALOR, Y_VIDAS, -1, -1);
}

void dibujar_vidas_marcador(int vidas)
{
  char texto[12];
  snprintf(texto, sizeof texto, "%i", vidas);
  dibujar_vidas_marcador(texto);
}

void dibujar_barra_sobrecarga(int largo, int color)
{
  rectfill(buffer, X_BARRA, Y_SOBRECARGA, X_BARRA + largo, Y_SOBRECARGA + ALTO_BARRA, color);
}

void dibujar_barra_energia(int largo, int color)
{
  rectfill(buffer, X_BARRA, Y_ENERGIA, X_BARRA + largo, Y_ENERGIA + ALTO_BARRA, color);
}
