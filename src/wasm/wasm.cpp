// The WebAssembly module's C interface over the rules and the recordings'
// reader: one recording at a time, as the rules play one game at a time.
#include "wasm/wasm.h"

#include <memory>
#include <new>
#include <string>

#include "repeticion/repeticion.h"

#define EXPORTA(nombre) __attribute__((export_name(#nombre)))

namespace {

// What the host wrote: a recording's file or its unpacked input, never
// more than either may be.
constexpr uint32_t MAX_MEMORIA =
    MAX_BYTES_REPETICION > MAX_BYTES_EVENTOS_REPETICION ? MAX_BYTES_REPETICION : MAX_BYTES_EVENTOS_REPETICION;
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
