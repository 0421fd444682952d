// The game's pictures, tiles and fonts: what grf.dat and fuentes.dat must
// hold, and the globals every screen draws with, taken from the two files
// however they were read (from the disk by the game, from bytes by the web
// build).
#include <cstdio>
#include <string>

#include "pantalla/pantalla.h"

// The off-screen frame: every screen draws its whole frame here.
BITMAP *buffer;

// The two graphic data files, loaded at start-up, freed at shutdown.
DATAFILE *f_grf;
DATAFILE *f_fnt;

// The four strips of the frame around the board: top, bottom, left, right.
BITMAP *borde[4];

// Title picture of the main menu.
BITMAP *logo;

// Picture shown when the last life is lost.
BITMAP *gameover;

// A large button: hit shape, at rest (the same picture), under the pointer,
// pressed.
BITMAP *mapa_boton[4];

// The mouse pointer.
BITMAP *puntero;

// 0-179: the 64 x 64 tiles, sub-bitmaps of the sheet; 180: the sheet.
BITMAP *loseta[NUM_LOSETAS + 1];

// 0: 16 bits per pixel, first mode; 1: 32 bits per pixel, the fallback.
uint8_t modo_truecolor;

namespace {

// What a data file must hold at one object index.
struct objeto_esperado {
  int indice;
  int tipo;                  // DAT_BITMAP or DAT_FONT
  int ancho_min, alto_min;   // bitmaps only; 0 when any size will do
  const char *nombre_es;
  const char *nombre_en;
};

const objeto_esperado OBJETOS_GRF[NUM_OBJETOS_GRF] = {
    {GRF_BORDE_ARRIBA, DAT_BITMAP, ANCHO_PANTALLA, 32, "borde superior", "top border"},
    {GRF_BORDE_ABAJO, DAT_BITMAP, ANCHO_PANTALLA, 32, "borde inferior", "bottom border"},
    {GRF_BORDE_IZQUIERDA, DAT_BITMAP, 32, 576, "borde izquierdo", "left border"},
    {GRF_BORDE_DERECHA, DAT_BITMAP, 32, 576, "borde derecho", "right border"},
    {GRF_LOGO, DAT_BITMAP, 0, 0, "logotipo", "logo"},
    {GRF_GAMEOVER, DAT_BITMAP, 0, 0, "fin de partida", "game over picture"},
    {GRF_PUNTERO, DAT_BITMAP, 0, 0, "puntero", "pointer"},
    {GRF_BOTON, DAT_BITMAP, 0, 0, "bot\xF3n", "button"},
    {GRF_BOTON_ENCIMA, DAT_BITMAP, 0, 0, "bot\xF3n iluminado", "lit button"},
    {GRF_BOTON_PULSADO, DAT_BITMAP, 0, 0, "bot\xF3n pulsado", "pressed button"},
    {GRF_LOSETAS, DAT_BITMAP, ANCHO_HOJA, ALTO_HOJA, "hoja de losetas", "tile sheet"},
};

const objeto_esperado OBJETOS_FNT[NUM_OBJETOS_FNT] = {
    {FNT_BOTONES, DAT_FONT, 0, 0, "fuente de botones", "button font"},
    {FNT_TEXTO, DAT_FONT, 0, 0, "fuente de texto", "text font"},
};

int contar_objetos(const DATAFILE *d)
{
  int n = 0;
  while (d[n].type != DAT_END) {
    ++n;
  }
  return n;
}

BITMAP *imagen_grf(int indice)
{
  return static_cast<BITMAP *>(f_grf[indice].dat);
}

}  // namespace

std::string comprobar_graficos(const DATAFILE *d, bool fuentes, const char *fichero)
{
  const objeto_esperado *esperados = fuentes ? OBJETOS_FNT : OBJETOS_GRF;
  const int num = fuentes ? static_cast<int>(NUM_OBJETOS_FNT) : static_cast<int>(NUM_OBJETOS_GRF);
  char texto[1024];
  const int hay = contar_objetos(d);
  for (int i = 0; i < num; ++i) {
    const objeto_esperado &e = esperados[i];
    const char *fallo_es = nullptr;
    const char *fallo_en = nullptr;
    if (e.indice >= hay) {
      fallo_es = "falta";
      fallo_en = "is missing";
    } else if (d[e.indice].type != e.tipo) {
      fallo_es = "no es del tipo esperado";
      fallo_en = "is not of the expected kind";
    } else if (e.tipo == DAT_BITMAP) {
      const BITMAP *b = static_cast<const BITMAP *>(d[e.indice].dat);
      if (b->w < e.ancho_min || b->h < e.alto_min) {
        fallo_es = "es demasiado peque\xF1o";
        fallo_en = "is too small";
      }
    }
    if (fallo_es != nullptr) {
      snprintf(texto, sizeof texto,
               "El objeto %d (%s) de \"%s\" %s.\n"
               "Object %d (%s) of \"%s\" %s.",
               e.indice, e.nombre_es, fichero, fallo_es,
               e.indice, e.nombre_en, fichero, fallo_en);
      return texto;
    }
  }
  return {};
}

void tomar_graficos(DATAFILE *grf, DATAFILE *fnt)
{
  f_grf = grf;
  f_fnt = fnt;
  for (BITMAP *&l : loseta) {
    l = nullptr;
  }
  for (int i = 0; i < 4; ++i) {
    borde[i] = imagen_grf(GRF_BORDE_ARRIBA + i);
  }
  logo = imagen_grf(GRF_LOGO);
  gameover = imagen_grf(GRF_GAMEOVER);
  puntero = imagen_grf(GRF_PUNTERO);
  mapa_boton[0] = imagen_grf(GRF_BOTON);
  mapa_boton[1] = imagen_grf(GRF_BOTON);
  mapa_boton[2] = imagen_grf(GRF_BOTON_ENCIMA);
  mapa_boton[3] = imagen_grf(GRF_BOTON_PULSADO);
  loseta[HOJA_LOSETAS] = imagen_grf(GRF_LOSETAS);

  int i = 0;
  for (int y = 0; y < ALTO_HOJA; y += LADO_LOSETA) {
    for (int x = 0; x < ANCHO_HOJA; x += LADO_LOSETA) {
      loseta[i++] = create_sub_bitmap(loseta[HOJA_LOSETAS], x, y, LADO_LOSETA, LADO_LOSETA);
    }
  }
}
