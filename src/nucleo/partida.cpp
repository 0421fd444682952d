// One game's rules: its frame, with the order in which everything moves
// and is traced, and the rules that turn the beam's result into overload,
// lost lives and completed levels, with the state changes of the level
// start, the completion bonus and a lost life. A screen watches through
// the hooks; the verifier and the solver play it with none.
#include <algorithm>
#include <cstring>

#include "nucleo/nucleo.h"

// The rules' state of the game being played; every game starts it afresh.
estado_nucleo nucleo;

namespace {

// Word 1 of the tamper evidence mirrors the level points under this key.
constexpr int32_t CLAVE_PUNTOS = 0x5A3C96E1;

// Any non-zero value: the game has been played straight.
constexpr int32_t PARTIDA_LIMPIA = 0x66746E61;

constexpr int8_t SOBRECARGA_MAXIMA = 64;
constexpr int8_t SUBIDA_SOBRECARGA = 1;
constexpr int8_t SUBIDA_MINA = 4;
constexpr int8_t CUENTA_ENERGIA = 15;
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
  return !nucleo.dt_bucle.entrenamiento && !nucleo.trampas;
}

// A press on a new arrow moves one level, within the game being played.
void teclas_de_trampa(const entrada_juego &entrada)
{
  const bool izquierda = (entrada.teclas & TECLA_IZQUIERDA) != 0;
  const bool derecha = (entrada.teclas & TECLA_DERECHA) != 0;
  datos_bucle &b = nucleo.dt_bucle;
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
  if (nucleo.dt_gremlin[0].espera < 0) {
    return;
  }
  const int x = ORIGEN_TABLERO + LADO_CELDA * (celda % COLUMNAS);
  const int y = ORIGEN_TABLERO + LADO_CELDA * (celda / COLUMNAS);
  for (datos_gremlin &g : nucleo.dt_gremlin) {
    if (g.espera == 0 && g.x == x && g.y == y) {
      g.espera = ESPERA_GREMLIN_CAZADO;
      sumar_puntos_nivel(PUNTOS_GREMLIN);
      nucleo.dt_sucesos.bits |= suceso_gremlin_cazado;
    }
  }
}

// The points of the level must still be what the game itself made them.
void comprobar_integridad()
{
  if ((nucleo.dt_partida.puntos_nivel ^ CLAVE_PUNTOS) != nucleo.trampeando[1]) {
    nucleo.trampeando[0] = 0;
  }
}

// The start of the level being played (nucleo.nivel_jugado) as level
// `nivel`: its board, the mirrors' scramble, full meters. A lost life
// starts it again so.
void arrancar_nivel(int8_t nivel, const ganchos_partida *g)
{
  const nivel_partida &jugado = nucleo.nivel_jugado;
  cargar_tablero(jugado.bytes, nivel, jugado.gremlins);
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
  nucleo.dt_partida.energia = ENERGIA_INICIAL;
  nucleo.dt_partida.cuenta_energia = CUENTA_ENERGIA;
  nucleo.dt_partida.sobrecarga = 0;
  poner_puntos_nivel(0);
  nucleo.dt_rayo.estado = rayo_detenido;
}

// A life lost: the same level again, or the end of the game.
void perder_vida(uint8_t motivo, const ganchos_partida *g)
{
  --nucleo.dt_partida.vidas;
  nucleo.dt_sucesos.bits |= suceso_vida_perdida;
  if (g != nullptr && g->vida_perdida != nullptr) {
    g->vida_perdida(motivo, nucleo.dt_bucle.nivel);
  }
  if (nucleo.dt_partida.vidas == 0) {
    nucleo.dt_partida.puntos += nucleo.dt_partida.puntos_nivel;
    if (g != nullptr && g->sin_vidas != nullptr) {
      g->sin_vidas(nucleo.dt_bucle.nivel);
    }
  }
  nucleo.dt_bucle.celda_pinchada = static_cast<uint8_t>(mover_espejos_pinchados(1, entrada_juego{}));
  if (nucleo.dt_partida.vidas == 0) {
    nucleo.dt_bucle.motivo_fin = fin_sin_vidas;
  } else {
    arrancar_nivel(nucleo.dt_bucle.nivel, g);
  }
}

void regla_sobrecarga(const ganchos_partida *g)
{
  const uint8_t e = nucleo.dt_rayo.estado;
  if (e == rayo_sobrecarga || e == rayo_mina) {
    nucleo.dt_partida.sobrecarga =
        static_cast<int8_t>(nucleo.dt_partida.sobrecarga + (e == rayo_sobrecarga ? SUBIDA_SOBRECARGA : SUBIDA_MINA));
    if (nucleo.dt_partida.sobrecarga >= SOBRECARGA_MAXIMA) {
      nucleo.dt_partida.sobrecarga = SOBRECARGA_MAXIMA;
      if (cuenta_la_partida()) {
        perder_vida(perdida_sobrecarga, g);
      }
    }
  } else if (nucleo.dt_partida.sobrecarga != 0) {
    --nucleo.dt_partida.sobrecarga;
  }
}

void regla_nivel_completado(const ganchos_partida *g)
{
  if (nucleo.dt_rayo.estado != rayo_conectado) {
    return;
  }
  datos_bucle &b = nucleo.dt_bucle;
  nucleo.dt_partida.puntos += nucleo.dt_partida.puntos_nivel;
  nucleo.dt_sucesos.bits |= suceso_nivel_completado;
  contacto(g);
  nucleo.dt_partida.vidas = VIDAS_PARTIDA;
  if (b.suelto) {
    b.motivo_fin = fin_abandono;
  } else if (b.nivel == ULTIMO_NIVEL || b.nivel == ULTIMO_NIVEL_ENTRENAMIENTO) {
    if (b.nivel == ULTIMO_NIVEL && !nucleo.trampas && g != nullptr && g->juego_completado != nullptr) {
      g->juego_completado();
    }
    b.motivo_fin = b.nivel == ULTIMO_NIVEL ? fin_completado : fin_abandono;
  } else {
    ++b.nivel;
    iniciar_nivel(b.nivel, g);
    b.celda_pinchada = static_cast<uint8_t>(mover_espejos_pinchados(1, entrada_juego{}));
  }
  if (nucleo.dt_partida.cuenta_energia == 0) {
    nucleo.dt_partida.cuenta_energia = 1;
  }
}

void regla_energia(const ganchos_partida *g)
{
  if (!cuenta_la_partida()) {
    return;
  }
  if (nucleo.dt_partida.cuenta_energia == 0) {
    nucleo.dt_partida.cuenta_energia = CUENTA_ENERGIA;
    if (--nucleo.dt_partida.energia == 0) {
      perder_vida(perdida_energia, g);
    }
  } else {
    --nucleo.dt_partida.cuenta_energia;
  }
}

}  // namespace

void iniciar_nivel(int8_t nivel, const ganchos_partida *g)
{
  tomar_nivel(nivel);
  arrancar_nivel(nivel, g);
}

// The completed level's bonus: what is left of the energy and the lives
// becomes points.
void contacto(const ganchos_partida *g)
{
  const auto avisar = [g](uint8_t fase) {
    if (g != nullptr && g->contacto != nullptr) {
      g->contacto(nucleo.dt_bucle.nivel, fase);
    }
  };
  avisar(contacto_celebracion);
  while (nucleo.dt_partida.energia != 0) {
    --nucleo.dt_partida.energia;
    nucleo.dt_partida.puntos += PUNTOS_POR_ENERGIA;
    avisar(contacto_energia);
  }
  avisar(contacto_energia_hecha);
  while (nucleo.dt_partida.vidas != 0) {
    --nucleo.dt_partida.vidas;
    nucleo.dt_partida.puntos += PUNTOS_POR_VIDA;
    avisar(contacto_vida);
  }
  avisar(contacto_fin);
  ++nucleo.dt_partida.fases_superadas;
}

void sumar_puntos_nivel(int32_t puntos)
{
  nucleo.dt_partida.puntos_nivel += puntos;
  nucleo.trampeando[1] = nucleo.dt_partida.puntos_nivel ^ CLAVE_PUNTOS;
}

void poner_puntos_nivel(int32_t puntos)
{
  nucleo.dt_partida.puntos_nivel = puntos;
  nucleo.trampeando[1] = nucleo.dt_partida.puntos_nivel ^ CLAVE_PUNTOS;
}

void empezar_partida(const inicio_partida &inicio, const ganchos_partida *ganchos)
{
  // Nothing of an earlier game may reach this one: a game is played again
  // from its start alone. The hold starts let go, as after a lost life.
  nucleo = {};
  nucleo.sustitutos = inicio.sustitutos;
  sembrar_azar(nucleo.azar_juego, inicio.semilla);

  datos_bucle &b = nucleo.dt_bucle;
  b.entrenamiento = inicio.entrenamiento != 0;
  b.suelto = inicio.suelto != 0;
  b.nivel = inicio.nivel;
  b.motivo_fin = jugando;
  b.celda_pinchada = CELDA_NINGUNA;
  b.flechas = 1;
  b.version_reglas = inicio.version_reglas != 0 ? inicio.version_reglas : VERSION_REGLAS;

  nucleo.trampeando[0] = PARTIDA_LIMPIA;
  poner_puntos_nivel(0);
  nucleo.dt_partida.vidas = inicio.vidas > 0 ? inicio.vidas : VIDAS_PARTIDA;
  if (inicio.nivel_suelto != nullptr) {
    nivel_partida &jugado = nucleo.nivel_jugado;
    memcpy(jugado.bytes, inicio.nivel_suelto->bytes, sizeof jugado.bytes);
    jugado.gremlins = static_cast<int8_t>(gremlins_nivel(inicio.nivel, inicio.nivel_suelto->gremlins));
  } else {
    tomar_nivel(inicio.nivel);
  }
  arrancar_nivel(b.nivel, ganchos);
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
  if (!pulsado || nucleo.dt_pinchado.pinchado) {
    e.celda = CELDA_NINGUNA;
  }
  uint8_t teclas = 0;
  if (e.botones == 1 && e.rueda == 0) {
    teclas |= e.teclas & TECLA_ALT;
  }
  teclas |= e.teclas & (nucleo.trampas ? TECLA_IZQUIERDA | TECLA_DERECHA : TECLA_Q | TECLA_M);
  e.teclas = teclas;
  return e;
}

uint32_t fotogramas_maximos(int32_t fases)
{
  // A unit of energy lasts CUENTA_ENERGIA + 1 logic frames.
  constexpr uint32_t POR_VIDA = (uint32_t{ENERGIA_INICIAL} * (CUENTA_ENERGIA + 1) + 1) * FOTOGRAMAS_POR_CICLO;
  return static_cast<uint32_t>(std::max(fases, 0) + 1) * VIDAS_PARTIDA * POR_VIDA;
}

bool fotograma_logico()
{
  return nucleo.dt_bucle.cuenta_ciclo == 0;
}

void jugar_fotograma(entrada_juego &entrada, const ganchos_partida *g)
{
  datos_bucle &b = nucleo.dt_bucle;
  nucleo.dt_sucesos = {};
  const bool logico = b.cuenta_ciclo == 0;
  if (logico) {
    if (!nucleo.trampas) {
      if ((entrada.teclas & TECLA_Q) != 0 && (entrada.teclas & TECLA_M) != 0) {
        nucleo.trampas = 1;
      }
    } else {
      nucleo.trampeando[0] = 0;
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
  for (const celda &e : nucleo.est_nivel) {
    mezclar(&e, sizeof e);
  }
  const datos_rayo &r = nucleo.dt_rayo;
  for (const int64_t v : {int64_t{r.dir}, int64_t{r.x}, int64_t{r.y}, int64_t{r.estado}, int64_t{r.n_puntos},
                          int64_t{r.pendientes}, int64_t{r.celda_puerta}, int64_t{r.dir_receptor}}) {
    valor(v);
  }
  for (int i = 0; i < r.n_puntos && i < MAX_PUNTOS; ++i) {
    mezclar(&r.punto[i], sizeof r.punto[i]);
  }
  for (const datos_gremlin &g : nucleo.dt_gremlin) {
    valor(g.espera);
    if (g.espera == 0) {
      for (const int64_t v : {int64_t{g.x}, int64_t{g.y}, int64_t{g.paso_x}, int64_t{g.paso_y}, int64_t{g.fotograma}}) {
        valor(v);
      }
    }
  }
  const datos_partida &p = nucleo.dt_partida;
  for (const int64_t v : {int64_t{p.energia}, int64_t{p.cuenta_energia}, int64_t{p.sobrecarga}, int64_t{p.vidas},
                          int64_t{p.puntos}, int64_t{p.puntos_nivel}, int64_t{p.fases_superadas}}) {
    valor(v);
  }
  const datos_bucle &b = nucleo.dt_bucle;
  for (const int64_t v : {int64_t{b.entrenamiento}, int64_t{b.suelto}, int64_t{b.nivel}, int64_t{b.cuenta_ciclo},
                          int64_t{b.motivo_fin}, int64_t{b.celda_pinchada}, int64_t{b.flechas},
                          int64_t{b.version_reglas}}) {
    valor(v);
  }
  for (const int64_t v : {int64_t{nucleo.dt_pinchado.pinchado}, int64_t{nucleo.dt_pinchado.espejo}, int64_t{nucleo.dt_pinchado.celda},
                          int64_t{nucleo.trampas}, int64_t{nucleo.trampeando[0] != 0}, int64_t{nucleo.dir_foptica}}) {
    valor(v);
  }
  valor(static_cast<int64_t>(nucleo.azar_juego.estado));
  return h;
}
