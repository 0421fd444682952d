// Proving a plan: played as a player would from many random starts, from
// the start that costs it most turning, and with the level's gremlins.
#include <algorithm>

#include "resolver/resolver.h"

namespace {

constexpr int ANGULOS = 16;
constexpr uint8_t ANGULO_NINGUNO = 255;

// What the overload meter does at each logic frame, by how the beam ends:
// up 4 on a mine, up 1 thrown back, down 1 otherwise. It is full at 64.
constexpr int SUBIDA_MINA = 4;
constexpr int SUBIDA_REBOTE = 1;

// A careful player starts or goes on turning a mirror only while the turn
// would leave the overload meter under half full.
constexpr int SOBRECARGA_PRUDENTE = 32;

// ---------------------------------------------------------------------------
// Playing a plan
// ---------------------------------------------------------------------------

struct jugador {
  size_t siguiente;          // the first step not yet done
  std::vector<bool> hecho;   // steps done, some perhaps ahead of their turn
  bool fijado[NUM_CELDAS];   // mirrors the plan has set so far
  bool sosteniendo;
  int paso;                  // the step being turned, -1 for a rescue
  uint8_t celda;
  uint8_t angulo;
  int sentido;               // +1 the right button, -1 the left one
};

bool blancos_alcanzados(const std::vector<uint8_t> &blancos)
{
  for (uint8_t c : blancos) {
    const celda &e = nucleo.est_nivel[c];
    if (e.tipo == detonador && e.valor == DETONADOR_EN_PIE) {
      return false;
    }
  }
  return true;
}

bool en_peligro()
{
  return nucleo.dt_rayo.estado == rayo_mina || nucleo.dt_rayo.estado == rayo_sobrecarga;
}

bool se_mueve_solo(uint8_t tipo)
{
  return tipo == reemisor || tipo == espejo_giratorio || tipo == polarizador_reflectante_giratorio ||
         tipo == polarizador_absorbente_giratorio;
}

// The plain mirrors the drawn beam crosses, in its order; with `gobernables`,
// only those past the last piece that moves by itself (a re-emitter, a
// self-turning mirror or polariser): before one, the way the beam takes
// changes with every trace on its own, and the mirrors past it are the ones
// that send the beam where it ends now. A mirror the beam passes along its
// face makes no corner, so the segments are walked step by step. `movil`,
// when given, tells whether the beam meets any piece that moves by itself.
std::vector<uint8_t> espejos_del_rayo(bool gobernables, bool *movil = nullptr)
{
  std::vector<uint8_t> espejos;
  bool alguna = false;
  auto mirar = [&espejos, &alguna, gobernables](int x, int y) {
    if (x < 0 || y < 0 || x >= RAYO_MAX_X || y >= RAYO_MAX_Y) {
      return;
    }
    const uint8_t c = static_cast<uint8_t>(x / 4 + (y / 4) * COLUMNAS);
    // On a cell's edge the beam touches the cells on both sides of it.
    const bool pieza_movil = se_mueve_solo(nucleo.est_nivel[c].tipo) ||
                             (x % 4 == 0 && x > 0 && se_mueve_solo(nucleo.est_nivel[c - 1].tipo)) ||
                             (y % 4 == 0 && y > 0 && se_mueve_solo(nucleo.est_nivel[c - COLUMNAS].tipo));
    alguna |= pieza_movil;
    if (gobernables && pieza_movil) {
      espejos.clear();
    } else if (x % 4 == 2 && y % 4 == 2 && nucleo.est_nivel[c].tipo == espejo) {
      espejos.push_back(c);
    }
  };
  const int n = nucleo.dt_rayo.n_puntos;
  for (int i = 0; i + 1 < n; ++i) {
    const punto_rayo &a = nucleo.dt_rayo.punto[i];
    const punto_rayo &b = nucleo.dt_rayo.punto[i + 1];
    if (a.dir == DIR_SALTO) {
      // A jump: a fibre's from its end's centre, a re-emitter's from one
      // step short of its centre.
      mirar(a.x, a.y);
      continue;
    }
    int x = a.x;
    int y = a.y;
    for (int paso = 0; paso < 4 * (COLUMNAS + FILAS) && (x != b.x || y != b.y); ++paso) {
      mirar(x, y);
      x += paso_dx[a.dir];
      y += paso_dy[a.dir];
    }
  }
  if (n > 0) {
    mirar(nucleo.dt_rayo.punto[n - 1].x, nucleo.dt_rayo.punto[n - 1].y);
  }
  if (movil != nullptr) {
    *movil = alguna;
  }
  return espejos;
}

// A re-emitter's draw that sends the beam straight on.
int sorteo_recto()
{
  return 4;
}

// How the beam would end with the mirror in `c` at angle `a`: the board is
// looked at, not touched. No one can foresee a re-emitter's draw; the look
// takes it straight on.
uint8_t estado_con_angulo(uint8_t c, uint8_t a)
{
  // The run goes on from the state as it was: a copy of it is put back.
  const estado_nucleo antes = nucleo;
  nucleo.est_nivel[c].valor = a;
  nucleo.sorteo_reemisor = sorteo_recto;
  calcular_rayo();
  const uint8_t estado = nucleo.dt_rayo.estado;
  nucleo = antes;
  return estado;
}

// What a logic frame adds to the overload while the beam ends so.
int subida(uint8_t estado)
{
  return estado == rayo_mina ? SUBIDA_MINA : estado == rayo_sobrecarga ? SUBIDA_REBOTE : -1;
}

// The highest the overload would climb while the mirror in `c` is turned
// on to `angulo` the way `sentido`, one step a logic frame; `estados`, when
// given, holds how the beam ends at each angle.
int pico_al_girar(uint8_t c, uint8_t angulo, int sentido, const uint8_t *estados = nullptr)
{
  int sobrecarga = nucleo.dt_partida.sobrecarga;
  int pico = sobrecarga;
  for (int a = nucleo.est_nivel[c].valor; a != angulo;) {
    a = (a + sentido + ANGULOS) % ANGULOS;
    const uint8_t e = estados != nullptr ? estados[a] : estado_con_angulo(c, static_cast<uint8_t>(a));
    sobrecarga = std::max(0, sobrecarga + subida(e));
    pico = std::max(pico, sobrecarga);
  }
  return pico;
}

void sostener(jugador &j, entrada_juego &mano, int paso, uint8_t celda_espejo, uint8_t angulo, int sentido)
{
  mano.celda = celda_espejo;
  // The right button turns clockwise (up the angles), the left one back.
  mano.botones = sentido > 0 ? 2 : 1;
  j.sosteniendo = true;
  j.paso = paso;
  j.celda = celda_espejo;
  j.angulo = angulo;
  j.sentido = sentido;
}

// A turn of a mirror: of a step of the plan (paso), or a rescue (-1).
struct giro {
  int paso;
  uint8_t celda;
  uint8_t angulo;
  int sentido;
  int pico;   // the overload's peak on the way
  int pasos;
};

// Seeing the beam rest on a mine or thrown back, the player looks for a
// mirror that takes it off, among those that send it where it ends: one the
// plan sets before its next wait, to the plan's angle, or one the plan has
// not set yet, to an angle where the beam is safe; of those, the turn that
// lets the overload climb least. Mirrors the plan has already set are left
// as they are: the plan's way runs through them.
bool buscar_rescate(const jugador &j, const plan_nivel &plan, giro &mejor)
{
  if (!en_peligro()) {
    return false;
  }
  bool visto[NUM_CELDAS] = {};
  bool hay = false;
  auto considerar = [&](const giro &g) {
    if (!hay || g.pico < mejor.pico || (g.pico == mejor.pico && g.pasos < mejor.pasos)) {
      mejor = g;
      hay = true;
    }
  };
  const std::vector<uint8_t> espejos = espejos_del_rayo(true);
  for (auto c = espejos.rbegin(); c != espejos.rend(); ++c) {
    if (visto[*c]) {
      continue;
    }
    visto[*c] = true;
    const uint8_t valor = nucleo.est_nivel[*c].valor;
    int paso = -1;
    for (size_t k = j.siguiente; k < plan.size(); ++k) {
      const paso_plan &p = plan[k];
      if (p.tipo == paso_espera && !blancos_alcanzados(p.blancos)) {
        break;
      }
      // Only the mirror's first step not done: a later one would be undone.
      if (p.tipo == paso_giro && !j.hecho[k] && p.celda == *c) {
        paso = p.angulo == valor ? -2 : static_cast<int>(k);
        break;
      }
    }
    if (paso == -2 || (paso == -1 && j.fijado[*c])) {
      continue;
    }
    uint8_t estados[ANGULOS];
    for (int a = 0; a < ANGULOS; ++a) {
      estados[a] = a == valor ? nucleo.dt_rayo.estado : estado_con_angulo(*c, static_cast<uint8_t>(a));
    }
    for (int a = 0; a < ANGULOS; ++a) {
      const bool vale = paso >= 0 ? a == plan[paso].angulo : subida(estados[a]) < 0;
      if (!vale || a == valor) {
        continue;
      }
      for (int sentido : {1, -1}) {
        const int pasos = ((a - valor) * sentido + ANGULOS) % ANGULOS;
        considerar({paso, *c, static_cast<uint8_t>(a), sentido,
                    pico_al_girar(*c, static_cast<uint8_t>(a), sentido, estados), pasos});
      }
    }
  }
  return hay;
}

// Whether turning the mirror in `c` on to `angulo` the way `sentido` should
// wait for the overload to cool: it would fill the meter past half, and
// waiting lowers it, the beam resting safe where it is. (With a piece that
// moves by itself on its way, the beam may be thrown onto a mine at any
// trace: waiting would only draw that out.)
bool hay_que_enfriar(uint8_t c, uint8_t angulo, int sentido)
{
  const int pasos = ((angulo - nucleo.est_nivel[c].valor) * sentido + ANGULOS) % ANGULOS;
  const int sobrecarga = nucleo.dt_partida.sobrecarga;
  if (sobrecarga == 0 || en_peligro() || sobrecarga + SUBIDA_MINA * pasos < SOBRECARGA_PRUDENTE) {
    return false;
  }
  bool movil = false;
  espejos_del_rayo(false, &movil);
  return !movil && pico_al_girar(c, angulo, sentido) >= SOBRECARGA_PRUDENTE;
}

// The player's hand before a logic frame: keep turning the held mirror
// until it shows its angle, let go for one logic frame, take the next step.
// The beam in danger comes first (rescatar); a turn that would fill the
// overload meter past half waits, where the beam is safe, for it to cool.
void decidir(jugador &j, const plan_nivel &plan, entrada_juego &mano)
{
  if (j.sosteniendo) {
    const celda &e = nucleo.est_nivel[j.celda];
    bool soltar = false;
    if (j.paso < 0) {
      // A rescue: safe already, or at the angle looked for.
      soltar = !en_peligro() || e.valor == j.angulo;
    } else if (!es_espejo(e.tipo) || e.valor == j.angulo) {
      j.hecho[j.paso] = true;
      soltar = true;
    } else if (en_peligro()) {
      // Turning a mirror that does not send the beam where it ends does
      // nothing for it: let go, to see to the beam first, if some mirror
      // can.
      const std::vector<uint8_t> espejos = espejos_del_rayo(true);
      giro rescate{};
      soltar = std::find(espejos.begin(), espejos.end(), j.celda) == espejos.end() && buscar_rescate(j, plan, rescate);
    } else {
      soltar = hay_que_enfriar(j.celda, j.angulo, j.sentido);
    }
    if (soltar) {
      mano.botones = 0;
      j.sosteniendo = false;
    }
    return;
  }
  mano.botones = 0;
  giro rescate{};
  if (buscar_rescate(j, plan, rescate)) {
    if (rescate.paso >= 0) {
      j.fijado[rescate.celda] = true;
    }
    sostener(j, mano, rescate.paso, rescate.celda, rescate.angulo, rescate.sentido);
    return;
  }
  for (size_t k = j.siguiente; k < plan.size(); ++k) {
    const paso_plan &p = plan[k];
    if (p.tipo == paso_espera) {
      if (!blancos_alcanzados(p.blancos)) {
        return;
      }
    } else if (!j.hecho[k]) {
      j.fijado[p.celda] = true;
      const celda &e = nucleo.est_nivel[p.celda];
      if (es_espejo(e.tipo) && e.valor != p.angulo) {
        // The shorter way round.
        const int sentido = (p.angulo - e.valor + ANGULOS) % ANGULOS <= ANGULOS / 2 ? 1 : -1;
        if (hay_que_enfriar(p.celda, p.angulo, sentido)) {
          return;
        }
        sostener(j, mano, static_cast<int>(k), p.celda, p.angulo, sentido);
        return;
      }
      j.hecho[k] = true;
    }
    if (k == j.siguiente) {
      ++j.siguiente;
    }
  }
}

bool tiene_reemisores(const uint8_t *bytes)
{
  return std::any_of(bytes, bytes + NUM_CELDAS, [](uint8_t b) { return elemento_de_byte(b) == ELEMENTO_REEMISOR; });
}

}  // namespace

partida_plan jugar_plan(const uint8_t *bytes, int nivel, const plan_nivel &plan,
                        const opciones_simulacion &opciones, const uint8_t *angulos)
{
  sim_iniciar(bytes, nivel, opciones);
  if (angulos != nullptr) {
    for (int c = 0; c < NUM_CELDAS; ++c) {
      celda &e = nucleo.est_nivel[c];
      if (e.tipo == espejo && angulos[c] != ANGULO_NINGUNO) {
        e.valor = angulos[c];
        e.grf = static_cast<uint8_t>(primer_grf[espejo] + e.valor);
      }
    }
  }
  jugador j{};
  j.hecho.assign(plan.size(), false);
  entrada_juego mano;
  uint8_t r = sim_en_juego;
  while (r == sim_en_juego) {
    if (sim_logico_siguiente()) {
      decidir(j, plan, mano);
    }
    r = sim_fotograma(mano);
  }
  return {r, sim_motivo_perdida(), sim_fotogramas(), sim_pasos_giro(),
          r == sim_completado && nucleo.dt_rayo.pendientes != 0};
}

bool grabar_plan(const nivel_texto &nivel, const plan_nivel &plan, uint64_t semilla, repeticion &r)
{
  // As the editor's Play starts the game: three lives, the level's own
  // gremlins.
  const inicio_partida inicio{semilla, 0, 1, 0, 0, 0, &nivel, nullptr};
  jugador j{};
  j.hecho.assign(plan.size(), false);
  entrada_juego mano;
  grabar_partida(r, inicio, [&](entrada_juego &e) {
    // The player knows the plan from a fresh start only: a lost life ends
    // the try.
    if (nucleo.dt_partida.vidas != VIDAS_PARTIDA) {
      return false;
    }
    if (fotograma_logico()) {
      decidir(j, plan, mano);
      e = mano;
    }
    return true;
  });
  return nucleo.dt_bucle.motivo_fin != jugando && nucleo.dt_partida.fases_superadas > 0;
}

std::vector<uint8_t> angulos_adversos(const uint8_t *bytes, const plan_nivel &plan)
{
  std::vector<uint8_t> angulos(NUM_CELDAS, ANGULO_NINGUNO);
  for (const paso_plan &p : plan) {
    if (p.tipo == paso_giro && elemento_de_byte(bytes[p.celda]) == ELEMENTO_ESPEJO && angulos[p.celda] == ANGULO_NINGUNO) {
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
  auto anotar = [&](const partida_plan &p, uint64_t numero) {
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
      inf.error += " at frame " + std::to_string(p.fotogramas) + " of run " + std::to_string(numero);
    }
  };

  const int partidas = inf.azar ? opciones.partidas_azar : opciones.partidas;
  const int total = partidas + (inf.azar ? 0 : 1);
  for (int s = 0; s < partidas; ++s) {
    const uint64_t numero = opciones.primera_partida + static_cast<uint64_t>(s);
    opciones_simulacion o;
    o.semilla = semilla_partida(numero);
    anotar(jugar_plan(bytes, nivel, inf.plan, o), numero);
    if (opciones.progreso != nullptr) {
      opciones.progreso(s + 1, total);
    }
  }
  if (!inf.azar) {
    const std::vector<uint8_t> adversos = angulos_adversos(bytes, inf.plan);
    const uint64_t numero = opciones.primera_partida + static_cast<uint64_t>(partidas);
    opciones_simulacion o;
    o.semilla = semilla_partida(numero);
    anotar(jugar_plan(bytes, nivel, inf.plan, o, adversos.data()), numero);
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
  informe_nivel inf{};
  inf.gremlins = gremlins_nivel(nivel, opciones.gremlins);
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
      o.semilla = semilla_partida(static_cast<uint64_t>(1000 + s));
      o.gremlins = true;
      o.n_gremlins = static_cast<int8_t>(inf.gremlins);
      const partida_plan p = jugar_plan(bytes, nivel, inf.plan, o);
      inf.a_tiempo_gremlins += p.resultado == sim_completado && p.fotogramas <= LIMITE_FOTOGRAMAS ? 1 : 0;
      ++inf.partidas_gremlins;
      if (opciones.progreso != nullptr) {
        opciones.progreso(s, opciones.partidas_gremlins);
      }
    }
  }
  return inf;
}

uint64_t semilla_partida(uint64_t numero)
{
  // SplitMix64's finaliser: every bit of the number stirs every bit of the
  // seed.
  uint64_t z = numero + 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

bool fragil_con_gremlins(const informe_nivel &inf)
{
  // Fragile: gremlins spoil more than one run in ten.
  return inf.partidas_gremlins > 0 && inf.a_tiempo_gremlins * 10 < inf.partidas_gremlins * 9;
}
