// The level solver's search: a greedy search for a plan, checked against
// the game's own trace; and a plan's text.
//
// Destroyed targets only ever open the way, so the plan takes the targets
// one at a time, always the one that costs least to reach from the board as
// the plan has left it. Reaching one is a search over the places where the
// beam can be steered: the centres of plain mirrors (any of 16 angles) and
// of re-emitters (any of their 9 draws). The engine's own step rules carry
// the beam between them; those cells are turned into mines on a scratch
// board so that the engine stops there and hands the choice back.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <queue>
#include <sstream>

#include "resolver/resolver.h"

namespace {

constexpr int ANGULOS = 16;
constexpr int SORTEOS = 9;

// Self-turning mirrors come back to the same angle every 16 logic frames
// and polarisers every 8, so 16 phases cover every board they can make.
constexpr int FASES = 16;

// What a choice costs, in logic frames: a mirror the plan has not set yet
// stands at a random angle, 4 steps away on average, then the button is let
// go; a given draw of a re-emitter comes once in nine traces.
constexpr int COSTE_ESPEJO_LIBRE = 5;
constexpr int COSTE_REEMISOR = 9;

// A way through a self-turning mirror waits for its angle to come round:
// half a turn on average.
constexpr int COSTE_GIRATORIO = 8;

constexpr uint8_t ANGULO_NINGUNO = 255;

// Where the search stops the beam, by what the cell held.
enum : uint8_t {
  parada_no = 0,
  parada_espejo,
  parada_giratorio,
  parada_reemisor,
  parada_blanco,
  parada_mina,
};

// What the search is after.
enum : uint8_t {
  meta_blanco,    // any standing target
  meta_receptor,  // the open receiver
};

// The board as the plan leaves it so far.
struct modelo {
  celda tablero[NUM_CELDAS];
  bool libre[NUM_CELDAS];  // a plain mirror the plan has not set: any angle
  punto_rayo salida;
  uint8_t celda_puerta;
  uint8_t dir_receptor;
  bool giratorios;  // the level holds self-turning pieces
};

int distancia_angulo(int a, int b)
{
  const int d = (a - b + ANGULOS) % ANGULOS;
  return std::min(d, ANGULOS - d);
}

int centro_x(uint8_t c)
{
  return 4 * (c % COLUMNAS) + 2;
}

int centro_y(uint8_t c)
{
  return 4 * (c / COLUMNAS) + 2;
}

bool fuera_del_tablero()
{
  return nucleo.dt_rayo.x <= 0 || nucleo.dt_rayo.x >= RAYO_MAX_X || nucleo.dt_rayo.y <= 0 || nucleo.dt_rayo.y >= RAYO_MAX_Y;
}

void fijar_dir(uint8_t dir)
{
  nucleo.dt_rayo.dir = dir;
  nucleo.dt_rayo.dx = paso_dx[dir];
  nucleo.dt_rayo.dy = paso_dy[dir];
}

void cargar_modelo(const uint8_t *bytes, int nivel, modelo &m)
{
  cargar_tablero(bytes, nivel);
  memcpy(m.tablero, nucleo.est_nivel, sizeof nucleo.est_nivel);
  m.salida = nucleo.dt_rayo.punto[0];
  m.celda_puerta = nucleo.dt_rayo.celda_puerta;
  m.dir_receptor = nucleo.dt_rayo.dir_receptor;
  m.giratorios = false;
  for (int c = 0; c < NUM_CELDAS; ++c) {
    const uint8_t t = m.tablero[c].tipo;
    m.libre[c] = t == espejo;
    m.giratorios |= t == espejo_giratorio || t == polarizador_reflectante_giratorio ||
                    t == polarizador_absorbente_giratorio;
  }
}

// Lays the model on the live board with the self-turning pieces `fase`
// logic frames on, and the beam's start and receiver as loaded.
void poner_modelo(const modelo &m, int fase)
{
  memcpy(nucleo.est_nivel, m.tablero, sizeof nucleo.est_nivel);
  for (celda &e : nucleo.est_nivel) {
    if (e.tipo == espejo_giratorio) {
      e.valor = static_cast<uint8_t>((e.valor + fase) % 16);
    } else if (e.tipo == polarizador_reflectante_giratorio || e.tipo == polarizador_absorbente_giratorio) {
      e.valor = static_cast<uint8_t>((e.valor + fase) % 8);
    }
  }
  nucleo.dt_rayo.punto[0] = m.salida;
  nucleo.dt_rayo.celda_puerta = m.celda_puerta;
  nucleo.dt_rayo.dir_receptor = m.dir_receptor;
}

// The scratch board of the search: every cell where a choice is made or the
// beam ends for good becomes a mine, which stops the engine's trace on the
// cell's centre.
void preparar_busqueda(const modelo &m, int fase, uint8_t parada[NUM_CELDAS])
{
  poner_modelo(m, fase);
  for (int c = 0; c < NUM_CELDAS; ++c) {
    celda &e = nucleo.est_nivel[c];
    parada[c] = parada_no;
    if (e.tipo == espejo) {
      parada[c] = parada_espejo;
    } else if (e.tipo == espejo_giratorio) {
      parada[c] = parada_giratorio;
    } else if (e.tipo == reemisor) {
      parada[c] = parada_reemisor;
    } else if (e.tipo == detonador && e.valor == DETONADOR_EN_PIE) {
      parada[c] = parada_blanco;
    } else if (e.tipo == mina) {
      parada[c] = parada_mina;
    }
    if (parada[c] != parada_no) {
      e.tipo = mina;
    }
  }
}

// Where a stretch of beam ended.
struct llegada {
  uint8_t estado;
  uint8_t celda;
  int8_t x, y;
  uint8_t dir;
  bool primer_tramo;  // no corner yet: the emitter's own blocks lie behind
};

// Runs the engine's step rules from the head as it stands, as calcular_rayo
// does, until the trace stops.
llegada seguir(bool primer_tramo)
{
  nucleo.dt_rayo.estado = rayo_en_curso;
  // Past the first stretch the list holds more than the start; the engine
  // only asks whether it does, and checks new corners against the list.
  nucleo.dt_rayo.n_puntos = 1;
  if (!primer_tramo) {
    nucleo.dt_rayo.punto[1] = {nucleo.dt_rayo.x, nucleo.dt_rayo.y, nucleo.dt_rayo.dir};
    nucleo.dt_rayo.n_puntos = 2;
  }
  const int16_t al_empezar = nucleo.dt_rayo.n_puntos;
  while (nucleo.dt_rayo.estado == rayo_en_curso) {
    comprobar_avanzar();
    if (fuera_del_tablero()) {
      nucleo.dt_rayo.estado = rayo_detenido;
    }
  }
  llegada l{};
  l.estado = nucleo.dt_rayo.estado;
  l.x = nucleo.dt_rayo.x;
  l.y = nucleo.dt_rayo.y;
  l.dir = nucleo.dt_rayo.dir;
  // The stop itself adds one point; any other means a corner.
  l.primer_tramo = primer_tramo && nucleo.dt_rayo.n_puntos <= al_empezar + 1;
  l.celda = CELDA_NINGUNA;
  if (l.x > 0 && l.y > 0 && l.x < RAYO_MAX_X && l.y < RAYO_MAX_Y) {
    l.celda = static_cast<uint8_t>(l.x / 4 + (l.y / 4) * COLUMNAS);
  }
  return l;
}

struct nodo {
  llegada en;     // the beam standing on a stop cell's centre
  uint8_t parada; // what the cell holds, or parada_no for the receiver
  int coste;
  int padre;          // the node the beam came from, -1 from the emitter
  uint8_t eleccion;   // the angle or draw chosen at the parent's cell
};

// A way to the goal: the choices made, in the beam's order.
struct eleccion_camino {
  uint8_t celda;
  uint8_t parada;
  uint8_t valor;  // angle for a mirror, draw for a re-emitter
};

struct camino {
  bool hallado;
  int coste;
  int fase;
  uint8_t destino;  // the target reached, or CELDA_NINGUNA for the receiver
  std::vector<eleccion_camino> elecciones;
};

// The angle a mirror was given earlier on the same way, if it was.
uint8_t angulo_en_camino(const std::vector<nodo> &nodos, int k, uint8_t celda_espejo)
{
  while (nodos[k].padre >= 0) {
    const int p = nodos[k].padre;
    if (nodos[p].en.celda == celda_espejo) {
      return nodos[k].eleccion;
    }
    k = p;
  }
  return ANGULO_NINGUNO;
}

std::vector<eleccion_camino> reconstruir(const std::vector<nodo> &nodos, int k)
{
  std::vector<eleccion_camino> elecciones;
  while (nodos[k].padre >= 0) {
    const int p = nodos[k].padre;
    elecciones.push_back({nodos[p].en.celda, nodos[p].parada, nodos[k].eleccion});
    k = p;
  }
  std::reverse(elecciones.begin(), elecciones.end());
  return elecciones;
}

// Re-emitter draws scripted for a check of a found way.
std::vector<uint8_t> sorteos_guion;
size_t siguiente_sorteo;

int sorteo_guionado()
{
  return siguiente_sorteo < sorteos_guion.size() ? sorteos_guion[siguiente_sorteo++] : SORTEOS / 2;
}

// Turns the standing targets into mines, which end the trace on their
// centre as a hit would, without the explosion's points and sound.
void blancos_como_minas(bool era_blanco[NUM_CELDAS])
{
  for (int c = 0; c < NUM_CELDAS; ++c) {
    celda &e = nucleo.est_nivel[c];
    era_blanco[c] = e.tipo == detonador && e.valor == DETONADOR_EN_PIE;
    if (era_blanco[c]) {
      e.tipo = mina;
    }
  }
}

// The cell whose centre the last trace ended on.
uint8_t celda_final()
{
  const punto_rayo &fin = nucleo.dt_rayo.punto[nucleo.dt_rayo.n_puntos - 1];
  return static_cast<uint8_t>(fin.x / 4 + (fin.y / 4) * COLUMNAS);
}

// Whether the game's own trace, with the way's angles and draws, really
// ends where the search says.
bool confirmar(const modelo &m, const camino &k)
{
  poner_modelo(m, k.fase);
  sorteos_guion.clear();
  siguiente_sorteo = 0;
  for (const eleccion_camino &e : k.elecciones) {
    if (e.parada == parada_espejo) {
      nucleo.est_nivel[e.celda].valor = e.valor;
    } else if (e.parada == parada_reemisor) {
      sorteos_guion.push_back(e.valor);
    }
  }
  bool era_blanco[NUM_CELDAS];
  blancos_como_minas(era_blanco);
  int (*anterior)() = nucleo.sorteo_reemisor;
  nucleo.sorteo_reemisor = sorteo_guionado;
  calcular_rayo();
  nucleo.sorteo_reemisor = anterior;
  if (k.destino == CELDA_NINGUNA) {
    return nucleo.dt_rayo.estado == rayo_conectado;
  }
  const punto_rayo &ultimo = nucleo.dt_rayo.punto[nucleo.dt_rayo.n_puntos - 1];
  return nucleo.dt_rayo.estado == rayo_mina && ultimo.x == centro_x(k.destino) && ultimo.y == centro_y(k.destino);
}

// The cheapest way, at one phase of the self-turning pieces, from the
// emitter to the goal.
camino buscar_camino(const modelo &m, int fase, uint8_t meta)
{
  uint8_t parada[NUM_CELDAS];
  preparar_busqueda(m, fase, parada);
  celda tablero_busqueda[NUM_CELDAS];
  memcpy(tablero_busqueda, nucleo.est_nivel, sizeof nucleo.est_nivel);

  std::vector<nodo> nodos;
  int mejor[NUM_CELDAS][ANGULOS];
  for (auto &fila : mejor) {
    std::fill(std::begin(fila), std::end(fila), -1);
  }
  using entrada = std::pair<int, int>;  // cost, node
  std::priority_queue<entrada, std::vector<entrada>, std::greater<entrada>> cola;

  auto anadir = [&](const llegada &l, int coste, int padre, uint8_t eleccion) {
    uint8_t p = parada_no;
    if (l.estado == rayo_mina && l.celda != CELDA_NINGUNA) {
      p = parada[l.celda];
      if (p == parada_mina || p == parada_no || (p == parada_blanco && meta != meta_blanco)) {
        return;
      }
      if (p != parada_blanco) {
        int &visto = mejor[l.celda][l.dir];
        if (visto >= 0 && visto <= coste) {
          return;
        }
        visto = coste;
      }
    } else if (!(l.estado == rayo_conectado && meta == meta_receptor)) {
      return;
    }
    nodos.push_back({l, p, coste, padre, eleccion});
    cola.push({coste, static_cast<int>(nodos.size()) - 1});
  };

  nucleo.dt_rayo.x = m.salida.x;
  nucleo.dt_rayo.y = m.salida.y;
  fijar_dir(m.salida.dir);
  anadir(seguir(true), 0, -1, 0);

  while (!cola.empty()) {
    const auto [coste, k] = cola.top();
    cola.pop();
    const nodo n = nodos[k];
    if (n.parada == parada_blanco || n.parada == parada_no) {
      camino hallado{true, coste, fase, n.parada == parada_blanco ? n.en.celda : CELDA_NINGUNA,
                     reconstruir(nodos, k)};
      if (confirmar(m, hallado)) {
        return hallado;
      }
      memcpy(nucleo.est_nivel, tablero_busqueda, sizeof nucleo.est_nivel);
      continue;
    }
    if (mejor[n.en.celda][n.en.dir] < coste) {
      continue;
    }
    const uint8_t d = n.en.dir;
    if (n.parada == parada_espejo || n.parada == parada_giratorio) {
      // A self-turning mirror shows the phase's angle and nothing else.
      const uint8_t dado = n.parada == parada_giratorio ? tablero_busqueda[n.en.celda].valor
                                                        : angulo_en_camino(nodos, k, n.en.celda);
      for (int a = 0; a < ANGULOS; ++a) {
        if (dado != ANGULO_NINGUNO && a != dado) {
          continue;
        }
        const uint8_t nueva = static_cast<uint8_t>((a - d + ANGULOS) % ANGULOS);
        if ((nueva - d + ANGULOS) % ANGULOS == 8) {
          continue;  // straight back: overload
        }
        int extra = n.parada == parada_giratorio ? COSTE_GIRATORIO : 0;
        if (dado == ANGULO_NINGUNO) {
          const celda &e = m.tablero[n.en.celda];
          extra = m.libre[n.en.celda] ? COSTE_ESPEJO_LIBRE : (e.valor == a ? 0 : distancia_angulo(e.valor, a) + 1);
        }
        nucleo.dt_rayo.x = n.en.x;
        nucleo.dt_rayo.y = n.en.y;
        fijar_dir(nueva);
        nucleo.dt_rayo.x = static_cast<int8_t>(nucleo.dt_rayo.x + nucleo.dt_rayo.dx);
        nucleo.dt_rayo.y = static_cast<int8_t>(nucleo.dt_rayo.y + nucleo.dt_rayo.dy);
        if (fuera_del_tablero()) {
          continue;
        }
        anadir(seguir(n.en.primer_tramo && nueva == d), coste + extra, k, static_cast<uint8_t>(a));
      }
    } else {
      for (int s = 0; s < SORTEOS; ++s) {
        nucleo.dt_rayo.x = n.en.x;
        nucleo.dt_rayo.y = n.en.y;
        fijar_dir(static_cast<uint8_t>((d + 12 + s) % ANGULOS));
        nucleo.dt_rayo.x = static_cast<int8_t>(nucleo.dt_rayo.x + nucleo.dt_rayo.dx);
        nucleo.dt_rayo.y = static_cast<int8_t>(nucleo.dt_rayo.y + nucleo.dt_rayo.dy);
        if (fuera_del_tablero()) {
          continue;
        }
        anadir(seguir(false), coste + COSTE_REEMISOR, k, static_cast<uint8_t>(s));
      }
    }
  }
  return camino{false, 0, fase, CELDA_NINGUNA, {}};
}

camino mejor_camino(const modelo &m, uint8_t meta)
{
  camino mejor{false, 0, 0, CELDA_NINGUNA, {}};
  const int fases = m.giratorios ? FASES : 1;
  for (int f = 0; f < fases; ++f) {
    camino k = buscar_camino(m, f, meta);
    if (k.hallado && (!mejor.hallado || k.coste < mejor.coste)) {
      mejor = k;
      if (mejor.coste == 0) {
        break;
      }
    }
  }
  return mejor;
}

// Whether the beam, on the board as the plan has left it, now rests on a
// mine or is thrown back onto itself. Mirrors not set yet and re-emitters
// stop the trace: where they would send it is anyone's guess (and a guess
// drawn here would make the plan depend on the generator).
bool en_peligro(const modelo &m)
{
  poner_modelo(m, 0);
  bool era_blanco[NUM_CELDAS];
  blancos_como_minas(era_blanco);
  bool incierta[NUM_CELDAS];
  for (int c = 0; c < NUM_CELDAS; ++c) {
    celda &e = nucleo.est_nivel[c];
    incierta[c] = m.libre[c] || e.tipo == reemisor;
    if (incierta[c]) {
      e.tipo = mina;
    }
  }
  calcular_rayo();
  if (nucleo.dt_rayo.estado == rayo_sobrecarga) {
    return true;
  }
  if (nucleo.dt_rayo.estado != rayo_mina) {
    return false;
  }
  const uint8_t c = celda_final();
  return !incierta[c] && !era_blanco[c];
}

// Turns the way into plan steps and leaves the model as the plan leaves
// the board. The mirrors are set from the far end back, so the way opens
// only once the last of them, the nearest, is in place; but when the beam
// rests on a mine meanwhile, the nearest goes first, to move it off at once.
void aplicar_camino(modelo &m, const camino &k, plan_nivel &plan, uint8_t orden)
{
  const bool urgente = orden == orden_cercano || (orden == orden_mixto && en_peligro(m));
  std::vector<paso_plan> giros;
  for (const eleccion_camino &e : k.elecciones) {
    if (e.parada != parada_espejo) {
      continue;
    }
    celda &c = m.tablero[e.celda];
    if (!m.libre[e.celda] && c.valor == e.valor) {
      continue;
    }
    m.libre[e.celda] = false;
    c.valor = e.valor;
    giros.push_back({paso_giro, e.celda, e.valor, {}});
  }
  if (urgente) {
    plan.insert(plan.end(), giros.begin(), giros.end());
  } else {
    plan.insert(plan.end(), giros.rbegin(), giros.rend());
  }
  if (k.destino == CELDA_NINGUNA) {
    return;
  }
  m.tablero[k.destino].valor = DETONADOR_DESTRUIDO;
  if (giros.empty() && !plan.empty() && plan.back().tipo == paso_espera) {
    plan.back().blancos.push_back(k.destino);
  } else {
    plan.push_back({paso_espera, 0, 0, {k.destino}});
  }
}

bool quedan_blancos(const modelo &m)
{
  for (const celda &e : m.tablero) {
    if (e.tipo == detonador && e.valor == DETONADOR_EN_PIE) {
      return true;
    }
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------

std::string escribir_plan(const plan_nivel &plan)
{
  std::string texto;
  for (const paso_plan &p : plan) {
    if (p.tipo == paso_giro) {
      texto += std::to_string(p.celda) + " " + std::to_string(p.angulo) + "\n";
    } else {
      texto += "espera";
      for (uint8_t c : p.blancos) {
        texto += " " + std::to_string(c);
      }
      texto += "\n";
    }
  }
  return texto;
}

bool leer_plan(const std::string &texto, plan_nivel &plan, std::string &error)
{
  plan.clear();
  std::istringstream lineas(texto);
  std::string linea;
  int numero = 0;
  auto numero_en = [](const std::string &ficha, int maximo, int &v) {
    if (ficha.empty() || ficha.size() > 3 || ficha.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    v = std::stoi(ficha);
    return v <= maximo;
  };
  while (std::getline(lineas, linea)) {
    ++numero;
    const size_t comentario = linea.find('#');
    if (comentario != std::string::npos) {
      linea.erase(comentario);
    }
    std::istringstream fichas(linea);
    std::vector<std::string> f;
    for (std::string s; fichas >> s;) {
      f.push_back(s);
    }
    if (f.empty()) {
      continue;
    }
    const std::string donde = "line " + std::to_string(numero) + ": ";
    if (f[0] == "espera") {
      paso_plan p{paso_espera, 0, 0, {}};
      for (size_t i = 1; i < f.size(); ++i) {
        int c = 0;
        if (!numero_en(f[i], NUM_CELDAS - 1, c)) {
          error = donde + "'" + f[i] + "' is not a cell 0-134";
          return false;
        }
        p.blancos.push_back(static_cast<uint8_t>(c));
      }
      if (p.blancos.empty()) {
        error = donde + "espera names no target";
        return false;
      }
      plan.push_back(p);
      continue;
    }
    int c = 0;
    int a = 0;
    if (f.size() != 2 || !numero_en(f[0], NUM_CELDAS - 1, c) || !numero_en(f[1], ANGULOS - 1, a)) {
      error = donde + "expected 'CELL ANGLE' (0-134, 0-15) or 'espera CELL...'";
      return false;
    }
    plan.push_back({paso_giro, static_cast<uint8_t>(c), static_cast<uint8_t>(a), {}});
  }
  return true;
}

namespace {

bool buscar_plan_en_tablero(const uint8_t *bytes, int nivel, plan_nivel &plan, std::string &error, uint8_t orden)
{
  static modelo m;
  cargar_modelo(bytes, nivel, m);
  plan.clear();
  while (quedan_blancos(m)) {
    const camino k = mejor_camino(m, meta_blanco);
    if (!k.hallado) {
      std::string celdas;
      int cuantos = 0;
      for (int c = 0; c < NUM_CELDAS; ++c) {
        if (m.tablero[c].tipo == detonador && m.tablero[c].valor == DETONADOR_EN_PIE) {
          celdas += (celdas.empty() ? "" : "; ") + nombre_celda(c);
          ++cuantos;
        }
      }
      error = std::string(cuantos == 1 ? "no way to the target at " : "no way to the targets at ") + celdas;
      return false;
    }
    aplicar_camino(m, k, plan, orden);
  }
  // Every target gone: the gate in front of the receiver dissolves.
  m.tablero[m.celda_puerta] = {detonador, DETONADOR_DESTRUIDO, primer_grf[vacio]};
  const camino k = mejor_camino(m, meta_receptor);
  if (!k.hallado) {
    error = "no way into the receiver once the gate is open";
    return false;
  }
  aplicar_camino(m, k, plan, orden);
  return true;
}

}  // namespace

bool buscar_plan(const uint8_t *bytes, int nivel, plan_nivel &plan, std::string &error, uint8_t orden)
{
  const estado_nucleo partida = nucleo;
  const bool hallado = buscar_plan_en_tablero(bytes, nivel, plan, error, orden);
  nucleo = partida;
  return hallado;
}
