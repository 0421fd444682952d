// Watching a recording in a page: any frame drawn on demand, in any order,
// exactly as playing the recording through from its start draws it.
//
// A frame of play draws the whole picture afresh (the status strip, the
// board, its frame, the beam) from the rules' state and what the drawing
// carries (estado_dibujo); a sequence's frame draws over the frame before.
// So frame N is drawn by going back to the last frame of play at or before
// it (or the game's blank start), playing the frames up to there unseen
// (the rules and every state the drawing keeps, no pixels), and drawing
// from there to N. Kept states every so many frames of play bound the
// frames played unseen.
#include <allegro.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "juego/juego.h"
#include "pantalla/pantalla.h"
#include "repeticion/repeticion.h"
#include "wasm/web.h"

namespace {

// Frames of play between kept states: a seek plays at most about this many
// unseen, plus one sequence.
constexpr uint32_t CADA = 200;

constexpr int LADO_PUERTA = LADO_LOSETA * LADO_LOSETA;

// All that a frame's drawing depends on, as a frame is about to be played.
struct instantanea {
  uint32_t fotograma;
  estado_nucleo reglas;
  lector_repeticion lector;
  estado_dibujo dibujo;
  int8_t sobrecarga, mina;
  estado_sonidos sonidos;
  uint16_t puerta[LADO_PUERTA];  // the scratch tile of a dissolving gate
  // The library's drawing state: the frame's clipping (a board sliding in
  // clips to the board), the mode and the blender.
  int cl, ct, cr, cb;
  int modo;
  BLENDER_FUNC mezcla;
  int alfa;
};

const repeticion *grabada = nullptr;
lector_repeticion lector;
std::vector<instantanea> instantaneas;
std::vector<bool> de_juego;  // by frame: a frame of play
uint32_t total = 0;
int32_t actual = -1;

uint16_t *fila_puerta(int y)
{
  return reinterpret_cast<uint16_t *>(loseta[LOSETA_PUERTA_RECOMPUESTA]->line[y]);
}

void guardar(uint32_t fotograma)
{
  instantanea &i = instantaneas.emplace_back();
  i.fotograma = fotograma;
  i.reglas = nucleo;
  i.lector = lector;
  i.dibujo = dibujo;
  i.sobrecarga = sonido_sobrecarga;
  i.mina = sonido_mina;
  i.sonidos = guardar_sonidos();
  i.cl = buffer->cl;
  i.ct = buffer->ct;
  i.cr = buffer->cr;
  i.cb = buffer->cb;
  i.modo = _drawing_mode;
  i.mezcla = _blender_func16;
  i.alfa = _blender_alpha;
  for (int y = 0; y < LADO_LOSETA; ++y) {
    std::copy(fila_puerta(y), fila_puerta(y) + LADO_LOSETA, i.puerta + y * LADO_LOSETA);
  }
}

void poner(const instantanea &i)
{
  nucleo = i.reglas;
  lector = i.lector;
  dibujo = i.dibujo;
  sonido_sobrecarga = i.sobrecarga;
  sonido_mina = i.mina;
  poner_sonidos(i.sonidos);
  set_clip_rect(buffer, i.cl, i.ct, i.cr - 1, i.cb - 1);
  _drawing_mode = i.modo;
  _blender_func16 = i.mezcla;
  _blender_alpha = i.alfa;
  for (int y = 0; y < LADO_LOSETA; ++y) {
    std::copy(i.puerta + y * LADO_LOSETA, i.puerta + (y + 1) * LADO_LOSETA, fila_puerta(y));
  }
}

// The next frame, as the game's viewer plays it: a frame of play after its
// status strip.
void jugar()
{
  if (!en_secuencia()) {
    dibujar_estado();
  }
  reproducir_fotograma(lector, &ganchos_pantalla);
}

void a_la_vista(bool si)
{
  buffer->oculto = !si;
  sonidos_contar(si);
}

}  // namespace

bool ver_preparar(const repeticion &r, std::string &motivo)
{
  ver_dejar();
  grabada = &r;
  if (!empezar_reproduccion(lector, r, nullptr, motivo)) {
    grabada = nullptr;
    return false;
  }
  empezar_dibujo(r.cabecera.semilla);
  detener_efectos();
  preparar_pantalla();
  // Played through once, unseen, to number its frames and keep states.
  a_la_vista(false);
  uint32_t ultima = 0;
  uint32_t de_juego_desde = 0;
  for (uint32_t f = 0; reproduccion_en_curso(lector); ++f) {
    const bool juego = !en_secuencia();
    de_juego.push_back(juego);
    if (f == 0 || (juego && de_juego_desde - ultima >= CADA)) {
      guardar(f);
      ultima = de_juego_desde;
    }
    de_juego_desde += juego ? 1 : 0;
    jugar();
  }
  total = static_cast<uint32_t>(de_juego.size());
  poner(instantaneas.front());
  a_la_vista(true);
  clear_bitmap(buffer);
  actual = -1;
  return true;
}

void ver_dejar()
{
  grabada = nullptr;
  instantaneas.clear();
  de_juego.clear();
  total = 0;
  actual = -1;
}

uint32_t ver_total()
{
  return total;
}

uint32_t ver_fotogramas()
{
  return lector.fotograma;
}

int32_t ver_actual()
{
  return actual;
}

bool ver_siguiente()
{
  if (grabada == nullptr || actual + 1 >= static_cast<int32_t>(total)) {
    return false;
  }
  sonidos_olvidar();
  a_la_vista(true);
  jugar();
  ++actual;
  pintar_imagen();
  return true;
}

bool ver_buscar(uint32_t n)
{
  if (grabada == nullptr || total == 0) {
    return false;
  }
  n = std::min(n, total - 1);
  // The last frame at or before n that draws the whole picture.
  uint32_t desde = n;
  while (desde > 0 && !de_juego[desde]) {
    --desde;
  }
  uint32_t siguiente = static_cast<uint32_t>(actual + 1);
  const bool seguir = actual >= 0 && static_cast<uint32_t>(actual) < n &&
                      (desde <= siguiente || desde - siguiente <= 2 * CADA);
  if (!seguir) {
    auto i = std::upper_bound(instantaneas.begin(), instantaneas.end(), desde,
                              [](uint32_t f, const instantanea &k) { return f < k.fotograma; });
    const instantanea &k = *std::prev(i);
    poner(k);
    siguiente = k.fotograma;
    if (siguiente == 0) {
      clear_bitmap(buffer);
    }
  }
  a_la_vista(false);
  for (; siguiente < desde; ++siguiente) {
    jugar();
  }
  buffer->oculto = false;
  for (; siguiente < n; ++siguiente) {
    jugar();
  }
  // What this frame has on is heard from it: all stopped, the loops held
  // started again, then what the frame itself starts and stops.
  sonidos_olvidar();
  sonidos_contar(true);
  sonidos_retomar();
  jugar();
  actual = static_cast<int32_t>(n);
  pintar_imagen();
  return true;
}
