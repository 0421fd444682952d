// The frames of a recorded game, one a call: recorded as the game plays
// them, or played again from a recording, to watch it or to verify what it
// claims.
#include "repeticion/repeticion.h"

bool jugar_y_grabar(repeticion &r, entrada_juego entrada, const ganchos_partida *ganchos)
{
  const bool de_juego = !en_secuencia();
  if (fotograma_logico()) {
    grabar_entrada(r, entrada);
  }
  jugar_fotograma(entrada, ganchos);
  if (de_juego) {
    // Counted, and hashed, as the frame of play left the state, before
    // any sequence it began plays.
    grabar_fotograma(r, entrada);
  }
  return de_juego;
}

void grabar_partida(repeticion &r, const inicio_partida &inicio, const std::function<bool(entrada_juego &)> &mano)
{
  empezar_grabacion(r, inicio);
  empezar_partida(inicio);
  pasar_secuencia();
  while (nucleo.dt_bucle.motivo_fin == jugando) {
    entrada_juego entrada;
    if (!mano(entrada)) {
      break;
    }
    jugar_y_grabar(r, entrada, nullptr);
    pasar_secuencia();
  }
  terminar_grabacion(r);
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

bool reproduccion_en_curso(const lector_repeticion &l)
{
  return nucleo.dt_bucle.motivo_fin == jugando && (l.fotograma < l.r->cabecera.fotogramas || en_secuencia());
}

namespace {

// The input of the next frame (the rules read it on logic frames only);
// the reader moves on only over frames of play, none for a frame of a
// sequence.
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

}  // namespace

bool reproducir_fotograma(lector_repeticion &l, const ganchos_partida *ganchos, repeticion *copia)
{
  const bool de_juego = !en_secuencia();
  entrada_juego e = entrada_siguiente(l);
  if (copia != nullptr) {
    jugar_y_grabar(*copia, e, ganchos);
  } else {
    jugar_fotograma(e, ganchos);
  }
  // Checked where the recorder hashed it: right after the frame of play.
  const std::vector<uint64_t> &controles = l.r->controles;
  const uint32_t control = l.fotograma / FOTOGRAMAS_CONTROL;
  if (de_juego && l.divergente == 0 && l.fotograma % FOTOGRAMAS_CONTROL == 0 && control >= 1 &&
      control <= controles.size() && controles[control - 1] != hash_estado()) {
    l.divergente = l.fotograma;
  }
  return de_juego;
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
  while (reproduccion_en_curso(l) && !(o.parar_en_trampa && v.trampas) && l.divergente == 0) {
    reproducir_fotograma(l, nullptr, o.canonica);
    v.trampas = v.trampas || nucleo.trampas != 0;
  }
  v.fotograma_divergente = l.divergente;
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
