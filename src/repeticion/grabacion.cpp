// A game's input and frames written down as it plays them. Apart from the
// step that calls them (jugar_y_grabar, reproduccion.cpp) so that a
// benchmark can time them through the linker's --wrap, which sees only
// calls from another file.
#include "repeticion/repeticion.h"

void empezar_grabacion(repeticion &r, const inicio_partida &inicio)
{
  r = {};
  cabecera_repeticion &c = r.cabecera;
  c.version_reglas = inicio.version_reglas != 0 ? inicio.version_reglas : VERSION_REGLAS;
  c.semilla = inicio.semilla;
  c.nivel = inicio.nivel;
  c.banderas = static_cast<uint8_t>((inicio.entrenamiento ? REPETICION_ENTRENAMIENTO : 0) |
                                    (inicio.suelto ? REPETICION_SUELTO : 0));
  c.hash_niveles = inicio.suelto && inicio.nivel_suelto != nullptr ? hash_nivel(*inicio.nivel_suelto) : hash_niveles();
  if (inicio.suelto && inicio.nivel_suelto != nullptr) {
    r.nivel = *inicio.nivel_suelto;
  }
}

namespace {

bool misma_entrada(const entrada_juego &a, const entrada_juego &b)
{
  return a.celda == b.celda && a.botones == b.botones && a.rueda == b.rueda && a.teclas == b.teclas;
}

}  // namespace

void grabar_entrada(repeticion &r, const entrada_juego &entrada)
{
  entrada_juego e = entrada_consumida(entrada);
  const entrada_juego antes = r.cambios.empty() ? entrada_juego{} : r.cambios.back().entrada;
  // A field the rules do not look at now (the cell while a mirror is held
  // or nothing is pressed, the buttons under the wheel, Alt without the
  // left button) keeps the value it had: it plays the same and costs no
  // change. A press and its release are then two changes, not three.
  for (uint8_t entrada_juego::*campo : {&entrada_juego::celda, &entrada_juego::botones, &entrada_juego::teclas}) {
    entrada_juego quieta = e;
    quieta.*campo = antes.*campo;
    if (misma_entrada(entrada_consumida(quieta), entrada_consumida(e))) {
      e = quieta;
    }
  }
  if (!misma_entrada(e, antes)) {
    r.cambios.push_back({r.cabecera.fotogramas, e});
  }
}

void grabar_fotograma(repeticion &r, const entrada_juego &entrada)
{
  if (entrada.abandono) {
    if (!r.cambios.empty() && r.cambios.back().fotograma == r.cabecera.fotogramas) {
      r.cambios.back().entrada.abandono = 1;
    } else {
      entrada_juego e = r.cambios.empty() ? entrada_juego{} : r.cambios.back().entrada;
      e.abandono = 1;
      r.cambios.push_back({r.cabecera.fotogramas, e});
    }
  }
  ++r.cabecera.fotogramas;
  if (r.cabecera.fotogramas % FOTOGRAMAS_CONTROL == 0) {
    r.controles.push_back(hash_estado());
  }
}

void terminar_grabacion(repeticion &r)
{
  cabecera_repeticion &c = r.cabecera;
  c.motivo_fin = nucleo.dt_bucle.motivo_fin;
  c.puntos = nucleo.dt_partida.puntos;
  c.fases = nucleo.dt_partida.fases_superadas;
  c.hash_final = hash_estado();
}
