// Recording a game as it is played, and playing a recording again through
// the rules: to watch it, or to verify what it claims.
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

bool empezar_reproduccion(lector_repeticion &l, const repeticion &r, const nivel_texto *suelto, std::string &error)
{
  const cabecera_repeticion &c = r.cabecera;
  if (!version_reglas_conocida(c.version_reglas)) {
    error = "the recording was made by rules version " + std::to_string(c.version_reglas) +
            ", which this program does not know (it knows 1 to " + std::to_string(VERSION_REGLAS) + ")";
    return false;
  }
  const bool uno_solo = (c.banderas & REPETICION_SUELTO) != 0;
  if (uno_solo && suelto == nullptr && r.nivel) {
    suelto = &*r.nivel;
  }
  if (uno_solo && suelto == nullptr) {
    error = "the recording is of a level played alone, and that level was not given";
    return false;
  }
  const uint64_t hash = uno_solo ? hash_nivel(*suelto) : hash_niveles();
  if (c.hash_niveles != hash) {
    error = uno_solo ? "the recording was played on another level" : "the recording was played on other levels";
    return false;
  }
  l = {};
  l.r = &r;
  inicio_partida inicio{};
  inicio.semilla = c.semilla;
  inicio.entrenamiento = (c.banderas & REPETICION_ENTRENAMIENTO) != 0;
  inicio.suelto = uno_solo;
  inicio.nivel = c.nivel;
  inicio.version_reglas = c.version_reglas;
  inicio.nivel_suelto = uno_solo ? suelto : nullptr;
  empezar_partida(inicio);
  return true;
}

entrada_juego entrada_siguiente(lector_repeticion &l)
{
  if (en_secuencia()) {
    return {};
  }
  const std::vector<cambio_entrada> &cambios = l.r->cambios;
  bool cambio = false;
  while (l.siguiente < cambios.size() && cambios[l.siguiente].fotograma == l.fotograma) {
    l.actual = cambios[l.siguiente].entrada;
    ++l.siguiente;
    cambio = true;
  }
  entrada_juego e = fotograma_logico() ? l.actual : entrada_juego{};
  e.abandono = cambio ? l.actual.abandono : 0;
  l.actual.abandono = 0;
  ++l.fotograma;
  return e;
}

bool reproduccion_en_curso(const lector_repeticion &l)
{
  return nucleo.dt_bucle.motivo_fin == jugando && (l.fotograma < l.r->cabecera.fotogramas || en_secuencia());
}

verificacion verificar_repeticion(const repeticion &r, const nivel_texto *suelto)
{
  opciones_verificacion o;
  o.suelto = suelto;
  return verificar_repeticion(r, o);
}

verificacion verificar_repeticion(const repeticion &r, const opciones_verificacion &o)
{
  verificacion v;
  lector_repeticion l;
  const cabecera_repeticion &c = r.cabecera;
  const nivel_texto *suelto = o.suelto;
  if (!empezar_reproduccion(l, r, suelto, v.motivo)) {
    return v;
  }
  // Written again as the game writes what it plays: the same start, and
  // at each logic frame the input the rules take.
  if (o.canonica != nullptr) {
    repeticion &k = *o.canonica;
    k = {};
    k.cabecera = c;
    k.cabecera.fotogramas = 0;
    if ((c.banderas & REPETICION_SUELTO) != 0) {
      k.nivel = suelto != nullptr ? *suelto : r.nivel;
    }
  }
  while (reproduccion_en_curso(l) && !(o.parar_en_trampa && v.trampas)) {
    // Only frames of play are recorded, and checked: a sequence's take no input.
    const bool de_juego = !en_secuencia();
    const bool logico = fotograma_logico();
    entrada_juego e = entrada_siguiente(l);
    if (o.canonica != nullptr && logico) {
      grabar_entrada(*o.canonica, e);
    }
    jugar_fotograma(e, nullptr);
    if (o.canonica != nullptr && de_juego) {
      grabar_fotograma(*o.canonica, e);
    }
    v.trampas = v.trampas || nucleo.trampas != 0;
    const uint32_t control = l.fotograma / FOTOGRAMAS_CONTROL;
    if (de_juego && l.fotograma % FOTOGRAMAS_CONTROL == 0 && control <= r.controles.size() &&
        r.controles[control - 1] != hash_estado()) {
      v.fotograma_divergente = l.fotograma;
      break;
    }
  }
  v.fotogramas = l.fotograma;
  v.motivo_fin = nucleo.dt_bucle.motivo_fin;
  v.puntos = nucleo.dt_partida.puntos;
  v.fases = nucleo.dt_partida.fases_superadas;
  v.hash_final = hash_estado();

  if (v.fotograma_divergente != 0) {
    v.motivo = "the game parts from its recording between frames " +
               std::to_string(v.fotograma_divergente - FOTOGRAMAS_CONTROL) + " and " +
               std::to_string(v.fotograma_divergente);
  } else if (v.motivo_fin == jugando) {
    v.motivo = "the game goes on past the recording's last frame";
  } else if (v.fotogramas != c.fotogramas) {
    v.motivo = "the game ended at frame " + std::to_string(v.fotogramas) + ", the recording claims " +
               std::to_string(c.fotogramas);
  } else if (v.motivo_fin != c.motivo_fin || v.puntos != c.puntos || v.fases != c.fases) {
    v.motivo = "the game ends with " + std::to_string(v.puntos) + " points and " + std::to_string(v.fases) +
               " levels, the recording claims " + std::to_string(c.puntos) + " and " + std::to_string(c.fases);
  } else if (v.hash_final != c.hash_final) {
    v.motivo = "the game ends in another state than the recording's";
  } else {
    v.valida = true;
  }
  return v;
}

uint64_t huella_repeticion(const repeticion &r)
{
  // FNV-1a over each field's bytes, little-endian, in a fixed order.
  uint64_t h = 0xcbf29ce484222325ULL;
  const auto mezclar = [&h](uint64_t x, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      h = (h ^ ((x >> (8 * i)) & 0xff)) * 0x100000001b3ULL;
    }
  };
  const cabecera_repeticion &c = r.cabecera;
  mezclar(c.version_reglas, 2);
  mezclar(c.hash_niveles, 8);
  mezclar(c.semilla, 8);
  mezclar(static_cast<uint8_t>(c.nivel), 1);
  mezclar(c.banderas, 1);
  mezclar(c.motivo_fin, 1);
  mezclar(static_cast<uint8_t>(c.fases), 1);
  mezclar(static_cast<uint32_t>(c.puntos), 4);
  mezclar(c.fotogramas, 4);
  mezclar(c.hash_final, 8);
  for (const cambio_entrada &x : r.cambios) {
    const entrada_juego &e = x.entrada;
    mezclar(x.fotograma, 4);
    mezclar(e.celda, 1);
    mezclar(e.botones, 1);
    mezclar(static_cast<uint8_t>(e.rueda), 1);
    mezclar(e.teclas, 1);
    mezclar(e.abandono, 1);
  }
  return h;
}
