// The WebAssembly module's C interface over the rules, the recordings and
// the game's drawing: one recording watched or one level played at a time,
// as the rules play one game at a time.
#include "wasm/wasm.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "repeticion/repeticion.h"
#include "tiempo/tiempo.h"

#define EXPORTA(nombre) __attribute__((export_name(#nombre)))

namespace {

// What the host wrote, never more than
// what it may be: a recording's file or its unpacked input, a level's
// text, a data file of the game's.
constexpr uint32_t MAX_MEMORIA = 8u << 20;
static_assert(MAX_BYTES_REPETICION <= MAX_MEMORIA && MAX_BYTES_EVENTOS_REPETICION <= MAX_MEMORIA);
std::unique_ptr<uint8_t[]> memoria;
uint32_t largo_memoria = 0;

repeticion grabada;
entrada_empaquetada entrada;
bool abierta = false;  // the header read
bool leida = false;    // and the input
lector_repeticion lector;
std::string error;

int32_t fallo(const std::string &motivo)
{
  error = motivo;
  return 0;
}

bool cabe(uint32_t n)
{
  return memoria != nullptr && n <= largo_memoria;
}

}  // namespace

EXPORTA(fotonauta_memoria) uint8_t *fotonauta_memoria(uint32_t n)
{
  memoria.reset();
  largo_memoria = 0;
  if (n > MAX_MEMORIA) {
    return nullptr;
  }
  memoria.reset(new (std::nothrow) uint8_t[n == 0 ? 1 : n]);
  largo_memoria = memoria != nullptr ? n : 0;
  return memoria.get();
}

EXPORTA(fotonauta_abrir) int32_t fotonauta_abrir(uint32_t n)
{
  abierta = leida = false;
  lector = {};
  grabada = {};
  if (!cabe(n)) {
    return fallo("more bytes than were asked room for");
  }
  std::string motivo;
  if (!leer_cabecera_repeticion(memoria.get(), n, grabada.cabecera, entrada, motivo)) {
    return fallo(motivo);
  }
  abierta = true;
  return 1;
}

EXPORTA(fotonauta_inicio_entrada) uint32_t fotonauta_inicio_entrada()
{
  return abierta ? static_cast<uint32_t>(entrada.inicio) : 0;
}

EXPORTA(fotonauta_largo_entrada) uint32_t fotonauta_largo_entrada()
{
  return abierta ? static_cast<uint32_t>(entrada.largo) : 0;
}

EXPORTA(fotonauta_largo_eventos) uint32_t fotonauta_largo_eventos()
{
  return abierta ? static_cast<uint32_t>(entrada.largo_eventos) : 0;
}

EXPORTA(fotonauta_eventos) int32_t fotonauta_eventos(uint32_t n)
{
  leida = false;
  if (!abierta) {
    return fallo("no recording's header has been read");
  }
  if (!cabe(n)) {
    return fallo("more bytes than were asked room for");
  }
  std::string motivo;
  if (!leer_eventos_repeticion(memoria.get(), n, entrada, grabada, motivo)) {
    return fallo(motivo);
  }
  leida = true;
  return 1;
}

EXPORTA(fotonauta_empezar) int32_t fotonauta_empezar()
{
  if (!leida) {
    return fallo("no recording has been read");
  }
  std::string motivo;
  if (!empezar_reproduccion(lector, grabada, nullptr, motivo)) {
    return fallo(motivo);
  }
  return 1;
}

EXPORTA(fotonauta_fotograma) int32_t fotonauta_fotograma()
{
  if (lector.r == nullptr || !reproduccion_en_curso(lector)) {
    return 0;
  }
  reproducir_fotograma(lector, nullptr);
  return reproduccion_en_curso(lector) ? 1 : 0;
}

EXPORTA(fotonauta_hash_estado) uint64_t fotonauta_hash_estado()
{
  return hash_estado();
}

EXPORTA(fotonauta_fotogramas) uint32_t fotonauta_fotogramas()
{
  return lector.fotograma;
}

EXPORTA(fotonauta_puntos) int32_t fotonauta_puntos()
{
  return nucleo.dt_partida.puntos;
}

EXPORTA(fotonauta_motivo_fin) int32_t fotonauta_motivo_fin()
{
  return nucleo.dt_bucle.motivo_fin;
}

EXPORTA(fotonauta_nivel) int32_t fotonauta_nivel()
{
  return nucleo.dt_bucle.nivel;
}

EXPORTA(fotonauta_verificar) int32_t fotonauta_verificar()
{
  if (!leida) {
    return fallo("no recording has been read");
  }
  lector = {};
  const verificacion v = verificar_repeticion(grabada);
  lector.fotograma = v.fotogramas;
  return v.valida ? 1 : fallo(v.motivo);
}

EXPORTA(fotonauta_error) const char *fotonauta_error()
{
  return error.c_str();
}

EXPORTA(fotonauta_largo_error) uint32_t fotonauta_largo_error()
{
  return static_cast<uint32_t>(error.size());
}

EXPORTA(fotonauta_fotogramas_por_segundo) int32_t fotonauta_fotogramas_por_segundo()
{
  return FOTOGRAMAS_POR_SEGUNDO;
}

// ---------------------------------------------------------------------------
// What a recording read says of itself
// ---------------------------------------------------------------------------

EXPORTA(fotonauta_grabacion_nombre) const char *fotonauta_grabacion_nombre()
{
  return grabada.cabecera.nombre;
}

EXPORTA(fotonauta_grabacion_largo_nombre) uint32_t fotonauta_grabacion_largo_nombre()
{
  return static_cast<uint32_t>(strnlen(grabada.cabecera.nombre, sizeof grabada.cabecera.nombre));
}

EXPORTA(fotonauta_grabacion_fecha) int64_t fotonauta_grabacion_fecha()
{
  return grabada.cabecera.fecha;
}

EXPORTA(fotonauta_grabacion_puntos) int32_t fotonauta_grabacion_puntos()
{
  return grabada.cabecera.puntos;
}

EXPORTA(fotonauta_grabacion_nivel) int32_t fotonauta_grabacion_nivel()
{
  return grabada.cabecera.nivel;
}

EXPORTA(fotonauta_grabacion_fotogramas) uint32_t fotonauta_grabacion_fotogramas()
{
  return grabada.cabecera.fotogramas;
}

EXPORTA(fotonauta_grabacion_suelto) int32_t fotonauta_grabacion_suelto()
{
  return (grabada.cabecera.banderas & REPETICION_SUELTO) != 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Still to come: the art, watching with the drawing, playing a level
// ---------------------------------------------------------------------------

namespace {
int32_t sin_hacer()
{
  return fallo("not built yet");
}
}  // namespace

EXPORTA(fotonauta_cargar) int32_t fotonauta_cargar(int32_t, uint32_t) { return sin_hacer(); }
EXPORTA(fotonauta_graficos_listos) int32_t fotonauta_graficos_listos() { return 0; }
EXPORTA(fotonauta_ver) int32_t fotonauta_ver() { return sin_hacer(); }
EXPORTA(fotonauta_ver_total) uint32_t fotonauta_ver_total() { return 0; }
EXPORTA(fotonauta_ver_actual) int32_t fotonauta_ver_actual() { return -1; }
EXPORTA(fotonauta_siguiente) int32_t fotonauta_siguiente() { return 0; }
EXPORTA(fotonauta_buscar) int32_t fotonauta_buscar(uint32_t) { return sin_hacer(); }
EXPORTA(fotonauta_nivel_texto) int32_t fotonauta_nivel_texto(uint32_t) { return sin_hacer(); }
EXPORTA(fotonauta_nivel_titulo) const char *fotonauta_nivel_titulo() { return ""; }
EXPORTA(fotonauta_nivel_largo_titulo) uint32_t fotonauta_nivel_largo_titulo() { return 0; }
EXPORTA(fotonauta_jugar) int32_t fotonauta_jugar(uint64_t) { return sin_hacer(); }
EXPORTA(fotonauta_jugar_fotograma)
int32_t fotonauta_jugar_fotograma(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; }
EXPORTA(fotonauta_eventos_grabados) const uint8_t *fotonauta_eventos_grabados() { return nullptr; }
EXPORTA(fotonauta_nombre) int32_t fotonauta_nombre(uint32_t) { return sin_hacer(); }
EXPORTA(fotonauta_archivo) const uint8_t *fotonauta_archivo(uint32_t, int64_t) { return nullptr; }
EXPORTA(fotonauta_largo_salida) uint32_t fotonauta_largo_salida() { return 0; }
EXPORTA(fotonauta_imagen) const uint8_t *fotonauta_imagen() { return nullptr; }
EXPORTA(fotonauta_num_sonidos) uint32_t fotonauta_num_sonidos() { return 0; }
EXPORTA(fotonauta_sonidos) const int32_t *fotonauta_sonidos() { return nullptr; }
EXPORTA(fotonauta_volumen) void fotonauta_volumen(int32_t) {}
EXPORTA(fotonauta_muestra) const int16_t *fotonauta_muestra(int32_t) { return nullptr; }
EXPORTA(fotonauta_muestra_largo) uint32_t fotonauta_muestra_largo(int32_t) { return 0; }
EXPORTA(fotonauta_muestra_canales) int32_t fotonauta_muestra_canales(int32_t) { return 0; }
EXPORTA(fotonauta_muestra_frecuencia) int32_t fotonauta_muestra_frecuencia(int32_t) { return 0; }
