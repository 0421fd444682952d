// Proving a plan: played as a player would from many random starts, from
// the start that costs it most turning, and with the level's gremlins.
#include <algorithm>

#include "resolver/resolver.h"

namespace {

constexpr int ANGULOS = 16;
constexpr uint8_t ANGULO_NINGUNO = 255;

// ---------------------------------------------------------------------------
// Playing a plan
// ---------------------------------------------------------------------------

struct jugador {
  size_t siguiente;
  bool sosteniendo;
  uint8_t celda;
  uint8_t angulo;
};

bool blancos_alcanzados(const std::vector<uint8_t> &blancos)
{
  for (uint8_t c : blancos) {
    const celda &e = est_nivel[c];
    if (e.tipo == detonador && e.valor == DETONADOR_EN_PIE) {
      return false;
    }
  }
  return true;
}

// The player's hand before a logic frame: keep turning the held mirror
// until it shows its angle, let go for one logic frame, take the next one.
void decidir(jugador &j, const plan_nivel &plan, entrada_juego &mano)
{
  if (j.sosteniendo) {
    const celda &e = est_nivel[j.celda];
    if (!es_espejo(e.tipo) || e.valor == j.angulo) {
      mano.botones = 0;
      j.sosteniendo = false;
    }
    return;
  }
  mano.botones = 0;
  while (j.siguiente < plan.size()) {
    const paso_plan &p = plan[j.siguiente];
    if (p.tipo == paso_espera) {
      if (!blancos_alcanzados(p.blancos)) {
        return;
      }
      ++j.siguiente;
      continue;
    }
    const celda &e = est_nivel[p.celda];
    ++j.siguiente;
    if (!es_espejo(e.tipo) || e.valor == p.angulo) {
      continue;
    }
    mano.celda = p.celda;
    // The right button turns clockwise (up the angles), the left one back.
    mano.botones = (p.angulo - e.valor + ANGULOS) % ANGULOS <= ANGULOS / 2 ? 2 : 1;
    j.sosteniendo = true;
    j.celda = p.celda;
    j.angulo = p.angulo;
    return;
  }
}

bool tiene_reemisores(const uint8_t *bytes)
{
  constexpr uint8_t B_REEMISOR = 80;
  return std::find(bytes, bytes + NUM_CELDAS, B_REEMISOR) != bytes + NUM_CELDAS;
}

}  // namespace

partida_plan jugar_plan(const uint8_t *bytes, int nivel, const plan_nivel &plan,
                        const opciones_simulacion &opciones, const uint8_t *angulos)
{
  sim_iniciar(bytes, nivel, opciones);
  if (angulos != nullptr) {
    for (int c = 0; c < NUM_CELDAS; ++c) {
      celda &e = est_nivel[c];
      if (e.tipo == espejo && angulos[c] != ANGULO_NINGUNO) {
        e.valor = angulos[c];
        e.grf = static_cast<uint8_t>(primer_grf[espejo] + e.valor);
      }
    }
  }
  jugador j{};
  entrada_juego mano;
  uint8_t r = sim_en_juego;
  while (r == sim_en_juego) {
    if (sim_logico_siguiente()) {
      decidir(j, plan, mano);
    }
    r = sim_fotograma(mano);
  }
  return {r, sim_motivo_perdida(), sim_fotogramas(), sim_pasos_giro(),
          r == sim_completado && dt_rayo.pendientes != 0};
}

std::vector<uint8_t> angulos_adversos(const uint8_t *bytes, const plan_nivel &plan)
{
  std::vector<uint8_t> angulos(NUM_CELDAS, ANGULO_NINGUNO);
  for (const paso_plan &p : plan) {
    if (p.tipo == paso_giro && bytes[p.celda] >= 16 && bytes[p.celda] <= 31 && angulos[p.celda] == ANGULO_NINGUNO) {
      angulos[p.celda] = static_cast<uint8_t>((p.angulo + ANGULOS / 2) % ANGULOS);
    }
  }
  return angulos;
}

namespace {

// Watches the first `partidas` random starts with no input.
void contar_arranques_peligrosos(const uint8_t *bytes, int nivel, int partidas, informe_nivel &inf)
{
  for (int s = 1; s <= partidas; ++s) {
    opciones_simulacion o;
    o.semilla = static_cast<uint64_t>(s);
    const peligro_arranque p = sim_peligro_arranque(bytes, nivel, o);
    ++inf.arranques;
    if (!p.vida_perdida) {
      continue;
    }
    ++inf.arranques_peligrosos;
    ++(p.mina ? inf.arranques_mina : inf.arranques_rebote);
    if (inf.fotogramas_peligro == 0 || p.fotogramas < inf.fotogramas_peligro) {
      inf.fotogramas_peligro = p.fotogramas;
    }
  }
}

// Plays a plan from every start the proof asks for and fills in the report.
void probar_plan(const uint8_t *bytes, int nivel, const opciones_resolver &opciones, informe_nivel &inf)
{
  inf.a_tiempo = 0;
  inf.pasos_giro = 0;
  inf.error.clear();
  std::vector<int> fotogramas;
  auto anotar = [&](const partida_plan &p) {
    const bool ganada = p.resultado == sim_completado && !p.puerta_cerrada;
    const bool a_tiempo = ganada && p.fotogramas <= LIMITE_FOTOGRAMAS;
    inf.a_tiempo += a_tiempo ? 1 : 0;
    fotogramas.push_back(ganada ? p.fotogramas : FOTOGRAMAS_ENERGIA + 1);
    inf.pasos_giro = std::max(inf.pasos_giro, p.pasos_giro);
    if (!a_tiempo && inf.error.empty()) {
      if (p.puerta_cerrada) {
        inf.error = "the beam entered the receiver with targets standing";
      } else if (ganada) {
        inf.error = "late";
      } else {
        inf.error = p.motivo == perdida_sobrecarga ? "life lost to overload" : "life lost: energy ran out";
      }
      inf.error += " at frame " + std::to_string(p.fotogramas);
    }
  };

  const int partidas = inf.azar ? PARTIDAS_AZAR : opciones.partidas;
  const int total = partidas + (inf.azar ? 0 : 1);
  for (int s = 1; s <= partidas; ++s) {
    opciones_simulacion o;
    o.semilla = static_cast<uint64_t>(s);
    anotar(jugar_plan(bytes, nivel, inf.plan, o));
    if (opciones.progreso != nullptr) {
      opciones.progreso(s, total);
    }
  }
  if (!inf.azar) {
    const std::vector<uint8_t> adversos = angulos_adversos(bytes, inf.plan);
    opciones_simulacion o;
    o.semilla = static_cast<uint64_t>(partidas + 1);
    anotar(jugar_plan(bytes, nivel, inf.plan, o, adversos.data()));
  }
  inf.partidas = static_cast<int>(fotogramas.size());
  std::sort(fotogramas.begin(), fotogramas.end());
  if (inf.azar) {
    const int k = (inf.partidas * PORCENTAJE_AZAR + 99) / 100;
    inf.fotogramas = fotogramas[k - 1];
    inf.pasa = inf.a_tiempo * 100 >= PORCENTAJE_AZAR * inf.partidas;
  } else {
    inf.fotogramas = fotogramas.back();
    inf.pasa = inf.a_tiempo == inf.partidas;
  }
  if (inf.pasa) {
    inf.error.clear();
  }
}

}  // namespace

informe_nivel resolver_nivel(const uint8_t *bytes, int nivel, const opciones_resolver &opciones)
{
  static instantanea_nucleo guardado;
  guardar_nucleo(guardado);
  informe_nivel inf{};
  inf.gremlins = gremlins_nivel(nivel);
  inf.azar = tiene_reemisores(bytes);
  contar_arranques_peligrosos(bytes, nivel, inf.azar ? PARTIDAS_AZAR : opciones.partidas, inf);

  // The plan is played as found; should a start defeat it (a target hit by
  // chance lets the beam rest on a mine while the player turns the far
  // mirrors first), the other orders of turning get their chance.
  for (uint8_t orden = 0; orden < NUM_ORDENES; ++orden) {
    informe_nivel intento = inf;
    intento.encontrado = buscar_plan(bytes, nivel, intento.plan, intento.error, orden);
    intento.giros = 0;
    for (const paso_plan &p : intento.plan) {
      intento.giros += p.tipo == paso_giro ? 1 : 0;
    }
    if (!intento.encontrado) {
      restaurar_nucleo(guardado);
      return intento;
    }
    probar_plan(bytes, nivel, opciones, intento);
    if (orden == 0 || intento.a_tiempo > inf.a_tiempo) {
      inf = intento;
    }
    if (inf.pasa) {
      break;
    }
  }

  if (inf.gremlins > 0) {
    for (int s = 1; s <= opciones.partidas_gremlins; ++s) {
      opciones_simulacion o;
      o.semilla = static_cast<uint64_t>(1000 + s);
      o.gremlins = true;
      const partida_plan p = jugar_plan(bytes, nivel, inf.plan, o);
      inf.a_tiempo_gremlins += p.resultado == sim_completado && p.fotogramas <= LIMITE_FOTOGRAMAS ? 1 : 0;
      ++inf.partidas_gremlins;
      if (opciones.progreso != nullptr) {
        opciones.progreso(s, opciones.partidas_gremlins);
      }
    }
  }
  restaurar_nucleo(guardado);
  return inf;
}

bool fragil_con_gremlins(const informe_nivel &inf)
{
  // Fragile: gremlins spoil more than one run in ten.
  return inf.partidas_gremlins > 0 && inf.a_tiempo_gremlins * 10 < inf.partidas_gremlins * 9;
}
