// One game's rules: its frame, with the order in which everything moves
// and is traced, and the rules that turn the beam's result into overload,
// lost lives and completed levels, with the state changes of the level
// start, the completion bonus and a lost life. A screen watches through
// the hooks; the verifier and the solver play it with none.
#include <algorithm>
#include <cstring>

#include "nucleo/nucleo.h"

// The game in progress; set up afresh by every game.
datos_partida dt_partida;

// 1 while the cheat mode is on.
uint8_t trampas;

// Tamper evidence; word 0 is the integrity flag read by name entry.
int32_t trampeando[NUM_TRAMPEANDO];

// The game loop's own state.
datos_bucle dt_bucle;

// What happened in the frame being played.
datos_sucesos dt_sucesos;

namespace {

// Word 1 of the tamper evidence mirrors the level points under this key.
constexpr int32_t CLAVE_PUNTOS = 0x5A3C96E1;

// Any non-zero value: the game has been played straight.
constexpr int32_t PARTIDA_LIMPIA = 0x66746E61;

constexpr int8_t SOBRECARGA_MAXIMA = 64;
constexpr int8_t SUBIDA_SOBRECARGA = 1;
constexpr int8_t SUBIDA_MINA = 4;
constexpr int8_t ENERGIA_INICIAL = 64;
constexpr int8_t CUENTA_ENERGIA = 15;
constexpr int8_t VIDAS = 3;
constexpr int32_t PUNTOS_GREMLIN = 160;
constexpr int16_t ESPERA_GREMLIN_CAZADO = 300;

// A logic frame comes every third frame.
constexpr int8_t FOTOGRAMAS_POR_CICLO = 3;

// Phases of the completion bonus, as its hook is told them.
enum : uint8_t {
  contacto_celebracion = 0,
  contacto_energia = 1,
  contacto_energia_hecha = 2,
  contacto_vida = 3,
  contacto_fin = 4,
};

bool cuenta_la_partida()
{
  return !dt_bucle.entrenamiento && !trampas;
}

// A press on a new arrow moves one level, within the game being played.
void teclas_de_trampa(const entrada_juego &entrada)
{
  const bool izquierda = (entrada.teclas & TECLA_IZQUIERDA) != 0;
  const bool derecha = (entrada.teclas & TECLA_DERECHA) != 0;
  datos_bucle &b = dt_bucle;
  // A level played alone has no others to move to.
  if (!b.flechas && !b.suelto) {
    const int8_t primero = b.entrenamiento ? PRIMER_NIVEL_ENTRENAMIENTO : 0;
    const int8_t ultimo = b.entrenamiento ? ULTIMO_NIVEL_ENTRENAMIENTO : ULTIMO_NIVEL;
    // Both arrows together cancel out.
    int8_t nivel = b.nivel;
    if (izquierda && !derecha && nivel > primero) {
      --nivel;
    }
    if (derecha && !izquierda && nivel < ultimo) {
      ++nivel;
    }
    if (nivel != b.nivel) {
      b.nivel = nivel;
      cargar_nivel(nivel);
    }
  }
  b.flechas = izquierda || derecha;
}

void cazar_gremlins(int celda)
{
  if (dt_gremlin[0].espera < 0) {
    return;
  }
  const int x = ORIGEN_TABLERO + LADO_CELDA * (celda % COLUMNAS);
  const int y = ORIGEN_TABLERO + LADO_CELDA * (celda / COLUMNAS);
  for (datos_gremlin &g : dt_gremlin) {
    if (g.espera == 0 && g.x == x && g.y == y) {
      g.espera = ESPERA_GREMLIN_CAZADO;
      sumar_puntos_nivel(PUNTOS_GREMLIN);
      dt_sucesos.bits |= suceso_gremlin_cazado;
    }
  }
}

// The points of the level must still be what the game itself made them.
void comprobar_integridad()
{
  if ((dt_partida.puntos_nivel ^ CLAVE_PUNTOS) != trampeando[1]) {
    trampeando[0] = 0;
  }
}

// A life lost: the same level again, or the end of the game.
void perder_vida(uint8_t motivo, const ganchos_partida *g)
{
  --dt_partida.vidas;
  dt_sucesos.bits |= suceso_vida_perdida;
  if (g != nullptr && g->vida_perdida != nullptr) {
    g->vida_perdida(motivo, dt_bucle.nivel);
  }
  if (dt_partida.vidas == 0) {
    dt_partida.puntos += dt_partida.puntos_nivel;
    if (g != nullptr && g->sin_vidas != nullptr) {
      g->sin_vidas(dt_bucle.nivel);
    }
  }
  dt_bucle.celda_pinchada = static_cast<uint8_t>(mover_espejos_pinchados(1, entrada_juego{}));
  if (dt_partida.vidas == 0) {
    dt_bucle.motivo_fin = fin_sin_vidas;
  } else {
    iniciar_nivel(dt_bucle.nivel, g);
  }
}

void regla_sobrecarga(const ganchos_partida *g)
{
  const uint8_t e = dt_rayo.estado;
  if (e == rayo_sobrecarga || e == rayo_mina) {
    dt_partida.sobrecarga =
        static_cast<int8_t>(dt_partida.sobrecarga + (e == rayo_sobrecarga ? SUBIDA_SOBRECARGA : SUBIDA_MINA));
    if (dt_partida.sobrecarga >= SOBRECARGA_MAXIMA) {
      dt_partida.sobrecarga = SOBRECARGA_MAXIMA;
      if (cuenta_la_partida()) {
        perder_vida(perdida_sobrecarga, g);
      }
    }
  } else if (dt_partida.sobrecarga != 0) {
    --dt_partida.sobrecarga;
  }
}

void regla_nivel_completado(const ganchos_partida *g)
{
  if (dt_rayo.estado != rayo_conectado) {
    return;
  }
  datos_bucle &b = dt_bucle;
  dt_partida.puntos += dt_partida.puntos_nivel;
  dt_sucesos.bits |= suceso_nivel_completado;
  contacto(g);
  dt_partida.vidas = VIDAS;
  if (b.suelto) {
    b.motivo_fin = fin_abandono;
  } else if (b.nivel == ULTIMO_NIVEL || b.nivel == ULTIMO_NIVEL_ENTRENAMIENTO) {
    if (b.nivel == ULTIMO_NIVEL && !trampas && g != nullptr && g->juego_completado != nullptr) {
      g->juego_completado();
    }
    b.motivo_fin = b.nivel == ULTIMO_NIVEL ? fin_completado : fin_abandono;
  } else {
    ++b.nivel;
    iniciar_nivel(b.nivel, g);
    b.celda_pinchada = static_cast<uint8_t>(mover_espejos_pinchados(1, entrada_juego{}));
  }
  if (dt_partida.cuenta_energia == 0) {
    dt_partida.cuenta_energia = 1;
  }
}

void regla_energia(const ganchos_partida *g)
{
  if (!cuenta_la_partida()) {
    return;
  }
  if (dt_partida.cuenta_energia == 0) {
    dt_partida.cuenta_energia = CUENTA_ENERGIA;
    if (--dt_partida.energia == 0) {
      perder_vida(perdida_energia, g);
    }
  } else {
    --dt_partida.cuenta_energia;
  }
}

}  // namespace

// A level's start: its board, the mirrors' scramble, full meters.
void iniciar_nivel(int8_t nivel, const ganchos_partida *g)
{
  cargar_nivel(nivel);
  animar_tablero(1);
  if (g != nullptr && g->inicio_nivel != nullptr) {
    g->inicio_nivel(nivel, -1);
  }
  for (int paso = 0; paso < PASOS_REVUELTA; ++paso) {
    revolver_espejos();
    if (g != nullptr && g->inicio_nivel != nullptr) {
      g->inicio_nivel(nivel, paso);
    }
  }
  if (g != nullptr && g->inicio_nivel != nullptr) {
    g->inicio_nivel(nivel, PASOS_REVUELTA);
  }
  dt_partida.energia = ENERGIA_INICIAL;
  dt_partida.cuenta_energia = CUENTA_ENERGIA;
  dt_partida.sobrecarga = 0;
  poner_puntos_nivel(0);
  dt_rayo.estado = rayo_detenido;
}

// The completed level's bonus: what is left of the energy and the lives
// becomes points.
void contacto(const ganchos_partida *g)
{
  const auto avisar = [g](uint8_t fase) {
    if (g != nullptr && g->contacto != nullptr) {
      g->contacto(dt_bucle.nivel, fase);
    }
  };
  avisar(contacto_celebracion);
  while (dt_partida.energia != 0) {
    --dt_partida.energia;
    dt_partida.puntos += PUNTOS_POR_ENERGIA;
    avisar(contacto_energia);
  }
  avisar(contacto_energia_hecha);
  while (dt_partida.vidas != 0) {
    --dt_partida.vidas;
    dt_partida.puntos += PUNTOS_POR_VIDA;
    avisar(contacto_vida);
  }
  avisar(contacto_fin);
  ++dt_partida.fases_superadas;
}

void sumar_puntos_nivel(int32_t puntos)
{
  dt_partida.puntos_nivel += puntos;
  trampeando[1] = dt_partida.puntos_nivel ^ CLAVE_PUNTOS;
}

void poner_puntos_nivel(int32_t puntos)
{
  dt_partida.puntos_nivel = puntos;
  trampeando[1] = dt_partida.puntos_nivel ^ CLAVE_PUNTOS;
}

void empezar_partida(const inicio_partida &inicio, const ganchos_partida *ganchos)
{
  // Nothing of an earlier game may reach this one: a game is played again
  // from its start alone.
  memset(est_nivel, 0, sizeof est_nivel);
  memset(&dt_rayo, 0, sizeof dt_rayo);
  memset(dt_gremlin, 0, sizeof dt_gremlin);
  // The hold starts let go, as after a lost life.
  dt_pinchado = {0, CELDA_NINGUNA, CELDA_NINGUNA};
  dt_sucesos = {};
  sembrar_azar(azar_juego, inicio.semilla);

  dt_bucle = {};
  dt_bucle.entrenamiento = inicio.entrenamiento != 0;
  dt_bucle.suelto = inicio.suelto != 0;
  dt_bucle.nivel = inicio.nivel;
  dt_bucle.motivo_fin = jugando;
  dt_bucle.celda_pinchada = CELDA_NINGUNA;
  dt_bucle.flechas = 1;
  dt_bucle.version_reglas = inicio.version_reglas != 0 ? inicio.version_reglas : VERSION_REGLAS;

  trampas = 0;
  trampeando[0] = PARTIDA_LIMPIA;
  dt_partida = {};
  poner_puntos_nivel(0);
  dt_partida.vidas = inicio.vidas > 0 ? inicio.vidas : VIDAS;
  iniciar_nivel(dt_bucle.nivel, ganchos);
}

entrada_juego entrada_consumida(const entrada_juego &entrada)
{
  entrada_juego e = entrada;
  e.abandono = 0;
  const bool pulsado = e.rueda != 0 || e.botones == 1 || e.botones == 2;
  // The wheel stands for a button; any other press is none.
  if (!pulsado || e.rueda != 0) {
    e.botones = 0;
  }
  // The cell counts only where a press begins.
  if (!pulsado || dt_pinchado.pinchado) {
    e.celda = CELDA_NINGUNA;
  }
  uint8_t teclas = 0;
  if (e.botones == 1 && e.rueda == 0) {
    teclas |= e.teclas & TECLA_ALT;
  }
  teclas |= e.teclas & (trampas ? TECLA_IZQUIERDA | TECLA_DERECHA : TECLA_Q | TECLA_M);
  e.teclas = teclas;
  return e;
}

uint32_t fotogramas_maximos(int32_t fases)
{
  // A unit of energy lasts CUENTA_ENERGIA + 1 logic frames.
  constexpr uint32_t POR_VIDA = (uint32_t{ENERGIA_INICIAL} * (CUENTA_ENERGIA + 1) + 1) * FOTOGRAMAS_POR_CICLO;
  return static_cast<uint32_t>(std::max(fases, 0) + 1) * VIDAS * POR_VIDA;
}

bool fotograma_logico()
{
  return dt_bucle.cuenta_ciclo == 0;
}

void jugar_fotograma(entrada_juego &entrada, const ganchos_partida *g)
{
  datos_bucle &b = dt_bucle;
  dt_sucesos = {};
  const bool logico = b.cuenta_ciclo == 0;
  if (logico) {
    if (!trampas) {
      if ((entrada.teclas & TECLA_Q) != 0 && (entrada.teclas & TECLA_M) != 0) {
        trampas = 1;
      }
    } else {
      trampeando[0] = 0;
      teclas_de_trampa(entrada);
    }
    comprobar_integridad();
    mover_automaticos();
    b.celda_pinchada = static_cast<uint8_t>(mover_espejos_pinchados(0, entrada));
    mover_gremlins(1);
    calcular_rayo();
    b.cuenta_ciclo = FOTOGRAMAS_POR_CICLO - 1;
  } else {
    --b.cuenta_ciclo;
    mover_gremlins(0);
  }
  animar_tablero(logico, g != nullptr ? g->dibujar_tablero : nullptr);
  if (logico && b.celda_pinchada != CELDA_NINGUNA) {
    cazar_gremlins(b.celda_pinchada);
  }

  if (g != nullptr && g->fotograma != nullptr && g->fotograma(logico)) {
    entrada.abandono = 1;
  }
  if (entrada.abandono) {
    b.cuenta_ciclo = 0;
    b.motivo_fin = fin_abandono;
    return;
  }

  // Each rule stops the others once the game has ended, so a last life is
  // never taken twice in one frame.
  if (logico) {
    regla_sobrecarga(g);
    if (b.motivo_fin == jugando) {
      regla_nivel_completado(g);
    }
    if (b.motivo_fin == jugando) {
      regla_energia(g);
    }
  }
}

uint64_t hash_estado()
{
  uint64_t h = 0xcbf29ce484222325ULL;
  const auto mezclar = [&h](const void *datos, size_t n) {
    const uint8_t *p = static_cast<const uint8_t *>(datos);
    for (size_t i = 0; i < n; ++i) {
      h ^= p[i];
      h *= 0x100000001b3ULL;
    }
  };
  const auto valor = [&mezclar](int64_t v) { mezclar(&v, sizeof v); };
  for (const celda &e : est_nivel) {
    mezclar(&e, sizeof e);
  }
  const datos_rayo &r = dt_rayo;
  for (const int64_t v : {int64_t{r.dir}, int64_t{r.x}, int64_t{r.y}, int64_t{r.estado}, int64_t{r.n_puntos},
                          int64_t{r.pendientes}, int64_t{r.celda_puerta}, int64_t{r.dir_receptor}}) {
    valor(v);
  }
  for (int i = 0; i < r.n_puntos && i < MAX_PUNTOS; ++i) {
    mezclar(&r.punto[i], sizeof r.punto[i]);
  }
  for (const datos_gremlin &g : dt_gremlin) {
    valor(g.espera);
    if (g.espera == 0) {
      for (const int64_t v : {int64_t{g.x}, int64_t{g.y}, int64_t{g.paso_x}, int64_t{g.paso_y}, int64_t{g.fotograma}}) {
        valor(v);
      }
    }
  }
  const datos_partida &p = dt_partida;
  for (const int64_t v : {int64_t{p.energia}, int64_t{p.cuenta_energia}, int64_t{p.sobrecarga}, int64_t{p.vidas},
                          int64_t{p.puntos}, int64_t{p.puntos_nivel}, int64_t{p.fases_superadas}}) {
    valor(v);
  }
  const datos_bucle &b = dt_bucle;
  for (const int64_t v : {int64_t{b.entrenamiento}, int64_t{b.suelto}, int64_t{b.nivel}, int64_t{b.cuenta_ciclo},
                          int64_t{b.motivo_fin}, int64_t{b.celda_pinchada}, int64_t{b.flechas},
                          int64_t{b.version_reglas}}) {
    valor(v);
  }
  for (const int64_t v : {int64_t{dt_pinchado.pinchado}, int64_t{dt_pinchado.espejo}, int64_t{dt_pinchado.celda},
                          int64_t{trampas}, int64_t{trampeando[0] != 0}, int64_t{dir_foptica}}) {
    valor(v);
  }
  valor(static_cast<int64_t>(azar_juego.estado));
  return h;
}

void guardar_nucleo(instantanea_nucleo &g)
{
  memcpy(g.tablero, est_nivel, sizeof est_nivel);
  g.rayo = dt_rayo;
  memcpy(g.gremlins_guardados, dt_gremlin, sizeof dt_gremlin);
  g.paso_foptica = dir_foptica;
  g.partida = dt_partida;
  g.trampas_guardadas = trampas;
  memcpy(g.trampeando_guardado, trampeando, sizeof trampeando);
  g.bucle = dt_bucle;
  g.sucesos = dt_sucesos;
  g.pinchado = dt_pinchado;
  g.azar = azar_juego;
  g.sorteo = sorteo_reemisor;
}

void restaurar_nucleo(const instantanea_nucleo &g)
{
  memcpy(est_nivel, g.tablero, sizeof est_nivel);
  dt_rayo = g.rayo;
  memcpy(dt_gremlin, g.gremlins_guardados, sizeof dt_gremlin);
  dir_foptica = g.paso_foptica;
  dt_partida = g.partida;
  trampas = g.trampas_guardadas;
  memcpy(trampeando, g.trampeando_guardado, sizeof trampeando);
  dt_bucle = g.bucle;
  dt_sucesos = g.sucesos;
  dt_pinchado = g.pinchado;
  azar_juego = g.azar;
  sorteo_reemisor = g.sorteo;
}
