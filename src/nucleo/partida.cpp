// One game's rules: its frame, with the order in which everything moves
// and is traced, and the rules that turn the beam's result into overload,
// lost lives and completed levels; and the sequences (a level's start, the
// completion bonus, a lost life, the closing scene) as states played a
// frame a call, whose state changes come in the order they always had. A
// screen draws through the hooks; the verifier and the solver play with
// none.
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

// The rules of a logic frame, in their order; a sequence one of them
// begins notes which comes next.
enum : uint8_t {
  regla_sobrecarga_ = 0,
  regla_nivel_ = 1,
  regla_energia_ = 2,
  reglas_hechas = 3,
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

void empezar_parte(uint8_t parte, int duracion)
{
  datos_secuencia &q = nucleo.secuencia;
  q.parte = parte;
  q.fotograma = 0;
  q.duracion = static_cast<int16_t>(duracion);
}

// A sequence begins; its first frame is the next one played. What the
// frame's rules left to run (regla) is carried through the sequences that
// follow one another.
void empezar_secuencia(uint8_t tipo, uint8_t parte, int duracion)
{
  datos_secuencia &q = nucleo.secuencia;
  q.tipo = tipo;
  q.paso = 0;
  empezar_parte(parte, duracion);
}

// The start of the level being played (nucleo.nivel_jugado) as level
// `nivel`: its board, then the sequence of the mirrors' scramble. A lost
// life starts it again so.
void arrancar_nivel(int8_t nivel)
{
  const nivel_partida &jugado = nucleo.nivel_jugado;
  cargar_tablero(jugado.bytes, nivel, jugado.gremlins);
  animar_tablero(1);
  empezar_secuencia(secuencia_inicio_nivel, parte_deslizamiento, FOTOGRAMAS_DESLIZAMIENTO);
}

// The level's start done: full meters.
void nivel_arrancado()
{
  nucleo.dt_partida.energia = ENERGIA_INICIAL;
  nucleo.dt_partida.cuenta_energia = CUENTA_ENERGIA;
  nucleo.dt_partida.sobrecarga = 0;
  poner_puntos_nivel(0);
  nucleo.dt_rayo.estado = rayo_detenido;
}

void iniciar_nivel(int8_t nivel)
{
  tomar_nivel(nivel);
  arrancar_nivel(nivel);
}

// A life lost: shown, then the same level again or the end of the game.
void perder_vida(uint8_t motivo)
{
  --nucleo.dt_partida.vidas;
  nucleo.dt_sucesos.bits |= suceso_vida_perdida;
  nucleo.dt_sucesos.motivo_perdida = motivo;
  empezar_secuencia(secuencia_vida_perdida, parte_vida_perdida, FOTOGRAMAS_VIDA_PERDIDA);
  nucleo.secuencia.motivo = motivo;
  nucleo.secuencia.tras_contacto = 0;
}

void vida_perdida()
{
  if (nucleo.dt_partida.vidas == 0) {
    nucleo.dt_partida.puntos += nucleo.dt_partida.puntos_nivel;
  }
  nucleo.dt_bucle.celda_pinchada = static_cast<uint8_t>(mover_espejos_pinchados(1, entrada_juego{}));
  if (nucleo.dt_partida.vidas == 0) {
    nucleo.dt_bucle.motivo_fin = fin_sin_vidas;
  } else {
    arrancar_nivel(nucleo.dt_bucle.nivel);
  }
}

void regla_sobrecarga()
{
  const uint8_t e = nucleo.dt_rayo.estado;
  if (e == rayo_sobrecarga || e == rayo_mina) {
    nucleo.dt_partida.sobrecarga =
        static_cast<int8_t>(nucleo.dt_partida.sobrecarga + (e == rayo_sobrecarga ? SUBIDA_SOBRECARGA : SUBIDA_MINA));
    if (nucleo.dt_partida.sobrecarga >= SOBRECARGA_MAXIMA) {
      nucleo.dt_partida.sobrecarga = SOBRECARGA_MAXIMA;
      if (cuenta_la_partida()) {
        perder_vida(perdida_sobrecarga);
      }
    }
  } else if (nucleo.dt_partida.sobrecarga != 0) {
    --nucleo.dt_partida.sobrecarga;
  }
}

// The completed level's bonus: what is left of the energy and the lives
// becomes points, one unit a part.
void regla_nivel_completado()
{
  if (nucleo.dt_rayo.estado != rayo_conectado) {
    return;
  }
  nucleo.dt_partida.puntos += nucleo.dt_partida.puntos_nivel;
  nucleo.dt_sucesos.bits |= suceso_nivel_completado;
  empezar_secuencia(secuencia_contacto, parte_celebracion, FOTOGRAMAS_CELEBRACION);
}

// After the bonus: the next level, or the end of the game.
void nivel_completado()
{
  datos_bucle &b = nucleo.dt_bucle;
  ++nucleo.dt_partida.fases_superadas;
  nucleo.dt_partida.vidas = VIDAS_PARTIDA;
  if (b.suelto) {
    b.motivo_fin = fin_abandono;
  } else if (b.nivel == ULTIMO_NIVEL && !nucleo.trampas) {
    empezar_secuencia(secuencia_final, parte_deslizamiento, FOTOGRAMAS_DESLIZAMIENTO);
    return;  // the closing scene ends the game
  } else if (b.nivel == ULTIMO_NIVEL || b.nivel == ULTIMO_NIVEL_ENTRENAMIENTO) {
    b.motivo_fin = b.nivel == ULTIMO_NIVEL ? fin_completado : fin_abandono;
  } else {
    ++b.nivel;
    iniciar_nivel(b.nivel);
    nucleo.secuencia.tras_contacto = 1;
    return;  // the hold is let go once the level has started
  }
  if (nucleo.dt_partida.cuenta_energia == 0) {
    nucleo.dt_partida.cuenta_energia = 1;
  }
}

void regla_energia()
{
  if (!cuenta_la_partida()) {
    return;
  }
  if (nucleo.dt_partida.cuenta_energia == 0) {
    nucleo.dt_partida.cuenta_energia = CUENTA_ENERGIA;
    if (--nucleo.dt_partida.energia == 0) {
      perder_vida(perdida_energia);
    }
  } else {
    --nucleo.dt_partida.cuenta_energia;
  }
}

// The rules of a logic frame from `regla` on. Each stops the others once
// the game has ended, so a last life is never taken twice in one frame; one
// that begins a sequence stops them until its end.
void reglas_desde(uint8_t regla)
{
  for (; regla < reglas_hechas; ++regla) {
    if (nucleo.dt_bucle.motivo_fin != jugando) {
      return;
    }
    switch (regla) {
    case regla_sobrecarga_: regla_sobrecarga(); break;
    case regla_nivel_: regla_nivel_completado(); break;
    default: regla_energia(); break;
    }
    if (nucleo.secuencia.tipo != secuencia_ninguna) {
      nucleo.secuencia.regla = static_cast<uint8_t>(regla + 1);
      return;
    }
  }
}

// The part of a sequence after the one just played, or its end.
void siguiente_parte()
{
  datos_secuencia &q = nucleo.secuencia;
  datos_partida &p = nucleo.dt_partida;
  switch (q.parte) {
  case parte_deslizamiento:
    if (q.tipo == secuencia_final) {
      empezar_parte(parte_antes_del_premio, FOTOGRAMAS_ANTES_DEL_PREMIO);
      return;
    }
    [[fallthrough]];
  case parte_revuelta: {
    const int paso = q.parte == parte_revuelta ? q.paso + 1 : 0;
    if (paso < PASOS_REVUELTA) {
      // Each step is shown for three frames, within the energy's fill.
      q.paso = static_cast<int16_t>(paso);
      revolver_espejos();
      empezar_parte(parte_revuelta, std::min(3, FOTOGRAMAS_LLENADO - 3 * paso));
    } else {
      empezar_parte(parte_espera_inicio, FOTOGRAMAS_ESPERA_INICIO);
    }
    return;
  }
  case parte_celebracion:
  case parte_energia:
    if (p.energia != 0) {
      --p.energia;
      p.puntos += PUNTOS_POR_ENERGIA;
      empezar_parte(parte_energia, p.energia != 0 ? FOTOGRAMAS_POR_ENERGIA : 1);
    } else {
      empezar_parte(parte_energia_hecha, FOTOGRAMAS_ESPERA_BONO);
    }
    return;
  case parte_energia_hecha:
  case parte_vida:
    if (p.vidas != 0) {
      --p.vidas;
      p.puntos += PUNTOS_POR_VIDA;
      empezar_parte(parte_vida, FOTOGRAMAS_POR_VIDA);
    } else {
      empezar_parte(parte_fin_contacto, FOTOGRAMAS_ESPERA_BONO);
    }
    return;
  case parte_antes_del_premio:
    empezar_parte(parte_premio, FOTOGRAMAS_ANTES_DEL_RAYO);
    return;
  case parte_premio:
    empezar_parte(parte_rayo_final, FOTOGRAMAS_FINAL);
    return;
  default:
    break;
  }

  // The sequence's last frame has been played: what it led to.
  const datos_secuencia hecha = q;
  q.tipo = secuencia_ninguna;
  switch (hecha.tipo) {
  case secuencia_inicio_nivel:
    nivel_arrancado();
    if (hecha.tras_contacto) {
      nucleo.dt_bucle.celda_pinchada = static_cast<uint8_t>(mover_espejos_pinchados(1, entrada_juego{}));
      if (p.cuenta_energia == 0) {
        p.cuenta_energia = 1;
      }
    }
    break;
  case secuencia_contacto: nivel_completado(); break;
  case secuencia_vida_perdida: vida_perdida(); break;
  default:  // the closing scene
    nucleo.dt_bucle.motivo_fin = fin_completado;
    if (p.cuenta_energia == 0) {
      p.cuenta_energia = 1;
    }
    break;
  }
  if (q.tipo != secuencia_ninguna) {
    // Another sequence follows (a lost life's level start, the next level's
    // start, the closing scene): it carries on what the frame left to run.
    q.regla = hecha.regla;
  } else {
    reglas_desde(hecha.regla);
  }
}

void jugar_secuencia(const ganchos_partida *g)
{
  if (g != nullptr && g->secuencia != nullptr) {
    g->secuencia();
  }
  datos_secuencia &q = nucleo.secuencia;
  if (++q.fotograma >= q.duracion) {
    siguiente_parte();
  }
}

}  // namespace

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

void empezar_partida(const inicio_partida &inicio)
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
  arrancar_nivel(b.nivel);
  // No frame's rules wait for this level start.
  nucleo.secuencia.regla = reglas_hechas;
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

bool en_secuencia()
{
  return nucleo.secuencia.tipo != secuencia_ninguna;
}

bool fotograma_logico()
{
  return nucleo.dt_bucle.cuenta_ciclo == 0 && !en_secuencia();
}

void pasar_secuencia()
{
  const datos_sucesos antes = nucleo.dt_sucesos;
  uint16_t bits = 0;
  entrada_juego nada;
  while (en_secuencia()) {
    jugar_fotograma(nada, nullptr);
    bits |= nucleo.dt_sucesos.bits;
  }
  nucleo.dt_sucesos = antes;
  nucleo.dt_sucesos.bits |= bits;
}

void jugar_fotograma(entrada_juego &entrada, const ganchos_partida *g)
{
  datos_bucle &b = nucleo.dt_bucle;
  nucleo.dt_sucesos = {};
  if (en_secuencia()) {
    jugar_secuencia(g);
    return;
  }
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

  if (logico) {
    reglas_desde(regla_sobrecarga_);
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
