// The sound effects the game's drawing starts, in a page: audio.h's calls
// keep the voices' slots as the game keeps them and tell each start and
// stop, for the page to play through Web Audio. No music: it would take a
// second music engine.
#include "audio/audio.h"
#include "wasm/web.h"

namespace {

static_assert(MAX_VOCES == 16);

estado_sonidos voces = [] {
  estado_sonidos e{};
  for (int8_t &m : e.muestra) {
    m = -1;
  }
  return e;
}();
std::vector<int32_t> contados;
bool contar = true;
int volumen = 255;

enum : int32_t { EMPEZAR = 1, EMPEZAR_BUCLE = 2, PARAR = 3, PARAR_TODO = 4 };

void contar_suceso(int32_t accion, int32_t voz, int32_t muestra)
{
  if (contar) {
    contados.insert(contados.end(), {accion, voz, muestra, volumen, 128, 1000});
  }
}

}  // namespace

const std::vector<int32_t> &sonidos_contados()
{
  return contados;
}

void sonidos_olvidar()
{
  contados.clear();
}

void sonidos_contar(bool si)
{
  contar = si;
}

void sonidos_retomar()
{
  contar_suceso(PARAR_TODO, -1, -1);
  for (int i = 0; i < MAX_VOCES; ++i) {
    if (voces.muestra[i] >= 0 && voces.bucle[i]) {
      contar_suceso(EMPEZAR_BUCLE, i, voces.muestra[i]);
    }
  }
}

void sonidos_volumen(int porcentaje)
{
  if (porcentaje >= 0 && porcentaje <= 100) {
    volumen = porcentaje * 255 / 100;
  }
}

estado_sonidos guardar_sonidos()
{
  return voces;
}

void poner_sonidos(const estado_sonidos &e)
{
  voces = e;
}

// A loop holds its voice until it is stopped; a sound played once is the
// page's to play out, and its voice is only lent (the next free one, in
// turn), so that a stop of everything reaches it.
int8_t reproducir_sonido(int8_t n, int8_t modo)
{
  if (volumen == 0 || n < 0 || n >= NUM_SONIDOS) {
    return -1;
  }
  for (int k = 0; k < MAX_VOCES; ++k) {
    const int i = (voces.siguiente + k) % MAX_VOCES;
    if (voces.muestra[i] >= 0 && voces.bucle[i]) {
      continue;
    }
    voces.siguiente = static_cast<uint8_t>((i + 1) % MAX_VOCES);
    const bool bucle = modo == SONIDO_BUCLE;
    voces.muestra[i] = bucle ? n : -1;
    voces.bucle[i] = bucle ? 1 : 0;
    contar_suceso(bucle ? EMPEZAR_BUCLE : EMPEZAR, i, n);
    return static_cast<int8_t>(i);
  }
  return -1;
}

void detener_sonido(int8_t slot)
{
  if (slot < 0 || slot >= MAX_VOCES) {
    return;
  }
  voces.muestra[slot] = -1;
  voces.bucle[slot] = 0;
  contar_suceso(PARAR, slot, -1);
}

void detener_sonidos(uint8_t)
{
  for (int i = 0; i < MAX_VOCES; ++i) {
    voces.muestra[i] = -1;
    voces.bucle[i] = 0;
  }
  contar_suceso(PARAR_TODO, -1, -1);
}

void reproducir_musica(int8_t) {}
void parar_musica() {}
