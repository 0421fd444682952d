// Proving a row with the recording of its game, and the worker process
// that does it. The game's rules keep their state in globals, so one
// process plays one recording at a time; the server runs several such
// processes (this program exec'ed as `--verificador`), each limited in
// processor time and memory, and never plays a recording itself.
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <new>
#include <thread>

#include "codigo/codigo.h"
#include "repeticion/repeticion.h"
#include "servidor/servidor.h"

const char *const TIPO_REPETICION = "application/x-fotonauta-repeticion";

namespace {

constexpr int RECHAZADA = 422;

std::string como_texto(const char *campo, size_t ancho)
{
  return std::string(campo, strnlen(campo, ancho));
}

// A proved game: verified, known by its canonical recording's huella, and
// that recording kept in place of the file sent.
void guardar_canonica(const repeticion &canonica, resultado_prueba &r)
{
  r.estado = 200;
  r.motivo = "verified";
  r.huella = huella_repeticion(canonica);
  const std::vector<uint8_t> bytes = codificar_repeticion(canonica);
  r.canonica.assign(bytes.begin(), bytes.end());
}

}  // namespace

bool comprobar_inicio(const cabecera_repeticion &c, const nivel_texto *suelto, std::string &motivo)
{
  const bool entrenamiento = (c.banderas & REPETICION_ENTRENAMIENTO) != 0;
  if (suelto != nullptr) {
    // The game plays a level alone as level 0, whose gremlins it has
    // unless its text names its own.
    if (c.nivel != 0 && suelto->gremlins < 0) {
      motivo = "the game plays a level alone from level 0, not " + std::to_string(c.nivel) +
               " (whose gremlins the level would take)";
      return false;
    }
  } else if (!entrenamiento && (c.nivel < 0 || c.nivel > ULTIMO_NIVEL)) {
    motivo = "a game starts at level 0 to " + std::to_string(ULTIMO_NIVEL) + ", not " + std::to_string(c.nivel);
    return false;
  } else if (entrenamiento && (c.nivel < PRIMER_NIVEL_ENTRENAMIENTO || c.nivel > ULTIMO_NIVEL_ENTRENAMIENTO)) {
    motivo = "a trainer's game starts at level " + std::to_string(PRIMER_NIVEL_ENTRENAMIENTO) + " to " +
             std::to_string(ULTIMO_NIVEL_ENTRENAMIENTO) + ", not " + std::to_string(c.nivel);
    return false;
  }
  if (!entrenamiento && c.fotogramas > fotogramas_maximos(c.fases)) {
    motivo = "the recording claims " + std::to_string(c.fotogramas) + " frames; a game of " + std::to_string(c.fases) +
             " levels completed lasts at most " + std::to_string(fotogramas_maximos(c.fases));
    return false;
  }
  return true;
}

bool comprobar_cabecera(const cabecera_repeticion &c, const puntuacion &p, int &estado, std::string &motivo)
{
  estado = RECHAZADA;
  if (!version_reglas_conocida(c.version_reglas)) {
    motivo = "the recording was made by rules version " + std::to_string(c.version_reglas) +
             ", which this server does not know (it plays versions 1 to " + std::to_string(VERSION_REGLAS) + ")";
    return false;
  }
  if ((c.banderas & REPETICION_ENTRENAMIENTO) != 0) {
    motivo = "the recording is of the trainer's levels, whose games rank nowhere";
    return false;
  }
  if ((c.banderas & REPETICION_SUELTO) != 0) {
    motivo = "the recording is of a level played alone, whose games rank nowhere";
    return false;
  }
  // The stored levels never change while the program runs.
  static const uint64_t HASH_NIVELES = hash_niveles();
  if (c.hash_niveles != HASH_NIVELES) {
    motivo = "the recording was played on other levels than this server's";
    return false;
  }
  if (c.motivo_fin != fin_sin_vidas && c.motivo_fin != fin_completado) {
    motivo = "the recorded game was left, not lost or completed: it has no score";
    return false;
  }
  if (!comprobar_inicio(c, nullptr, motivo)) {
    return false;
  }
  if (c.puntos != p.puntos || c.fases != p.fases) {
    motivo = "the recording claims " + std::to_string(c.puntos) + " points and " + std::to_string(c.fases) +
             " levels; the code claims " + std::to_string(p.puntos) + " and " + std::to_string(p.fases);
    return false;
  }
  if (como_texto(c.codigo, LONG_COD) != p.codigo) {
    motivo = "the recording is of the row with code " + latin1_a_utf8(como_texto(c.codigo, LONG_COD)) + ", not " +
             p.codigo;
    return false;
  }
  if (latin1_a_utf8(como_texto(c.nombre, LONG_NOMBRE)) != p.nombre) {
    motivo = "the recording is of a game of " + latin1_a_utf8(como_texto(c.nombre, LONG_NOMBRE)) + ", not of " +
             p.nombre;
    return false;
  }
  return true;
}

resultado_prueba probar_repeticion(const uint8_t *datos, size_t n, const puntuacion &p)
{
  resultado_prueba r;
  repeticion rep;
  std::string motivo;
  if (!decodificar_repeticion(datos, n, rep, motivo)) {
    r.estado = 400;
    r.motivo = "the recording cannot be read: " + motivo;
    return r;
  }
  if (!comprobar_cabecera(rep.cabecera, p, r.estado, r.motivo)) {
    return r;
  }
  repeticion canonica;
  const verificacion v = verificar_repeticion(rep, {nullptr, true, &canonica});
  r.estado = RECHAZADA;
  r.fotogramas = v.fotogramas;
  if (v.trampas) {
    r.motivo = "the game was played with the cheat on";
  } else if (!v.valida) {
    r.motivo = "the recording does not play as it claims: " + v.motivo;
  } else if (v.puntos != p.puntos || v.fases != p.fases) {
    // Only a header that agrees with the code gets this far, and a valid
    // replay ends as its header says: kept as the rule that matters.
    r.motivo = "the game makes " + std::to_string(v.puntos) + " points and " + std::to_string(v.fases) +
               " levels; the code claims " + std::to_string(p.puntos) + " and " + std::to_string(p.fases);
  } else {
    guardar_canonica(canonica, r);
  }
  return r;
}

resultado_prueba probar_nivel(const uint8_t *datos, size_t n, const std::string &texto_nivel, int8_t clase)
{
  resultado_prueba r;
  r.estado = RECHAZADA;
  const bool publicar = clase == TRABAJO_PUBLICAR;
  // What a publication's refusal says first: the contract's words.
  const std::string no_gana = publicar ? "the recording does not win this level: " : "";
  nivel_texto nivel;
  std::string motivo;
  if (!interpretar_nivel_texto(texto_nivel, nivel, motivo)) {
    r.motivo = "the stored level cannot be read: " + motivo;
    return r;
  }
  repeticion rep;
  if (!decodificar_repeticion(datos, n, rep, motivo)) {
    r.estado = 400;
    r.motivo = no_gana + "the recording cannot be read: " + motivo;
    return r;
  }
  const cabecera_repeticion &c = rep.cabecera;
  if (!version_reglas_conocida(c.version_reglas)) {
    r.motivo = no_gana + "the recording was made by rules version " + std::to_string(c.version_reglas) +
               ", which this server does not know";
  } else if ((c.banderas & REPETICION_SUELTO) == 0 || (c.banderas & REPETICION_ENTRENAMIENTO) != 0) {
    r.motivo = no_gana + "the recording is not of a level played alone";
  } else if (c.hash_niveles != hash_nivel(nivel)) {
    r.motivo = no_gana + "the recording was played on another level";
  } else if (c.motivo_fin == jugando || (c.motivo_fin == fin_abandono && c.fases < 1)) {
    // A level played alone ends once it is completed (as a left game, with
    // the level counted) or once every life is lost.
    r.motivo = no_gana + "the recorded game was left, not lost or completed";
  } else if (publicar && c.fases < 1) {
    r.motivo = no_gana + "the recorded game ends with every life lost";
  } else if (std::string inicio; !comprobar_inicio(c, &nivel, inicio)) {
    r.motivo = no_gana + inicio;
  }
  if (!r.motivo.empty()) {
    return r;
  }
  repeticion canonica;
  const verificacion v = verificar_repeticion(rep, {&nivel, true, &canonica});
  r.fotogramas = v.fotogramas;
  if (v.trampas) {
    r.motivo = no_gana + "the game was played with the cheat on";
  } else if (!v.valida) {
    r.motivo = no_gana + "the recording does not play as it claims: " + v.motivo;
  } else if (publicar && v.fases < 1) {
    r.motivo = no_gana + "played again, the game does not complete the level";
  } else if (v.puntos <= 0) {
    r.motivo = "the run made no points: there is nothing to rank";
  } else {
    r.estado = 200;
    r.motivo = "verified";
    r.puntos = v.puntos;
    r.gana = v.fases >= 1;
    guardar_canonica(canonica, r);
  }
  return r;
}

// ---------------------------------------------------------------------------
// The messages on the pipes
// ---------------------------------------------------------------------------

namespace {

void poner(std::string &s, uint64_t x, int bytes)
{
  for (int i = 0; i < bytes; ++i) {
    s += static_cast<char>((x >> (8 * i)) & 0xff);
  }
}

void poner_texto(std::string &s, const std::string &t, int bytes_largo)
{
  poner(s, t.size(), bytes_largo);
  s += t;
}

// Reads fields from a message in order; any read past its end fails.
struct lector {
  const std::string &s;
  size_t i = 0;
  bool bien = true;

  uint64_t numero(int bytes)
  {
    uint64_t x = 0;
    if (i + static_cast<size_t>(bytes) > s.size()) {
      bien = false;
      return 0;
    }
    for (int k = 0; k < bytes; ++k) {
      x |= static_cast<uint64_t>(static_cast<uint8_t>(s[i++])) << (8 * k);
    }
    return x;
  }

  std::string texto(int bytes_largo)
  {
    const size_t n = numero(bytes_largo);
    if (!bien || i + n > s.size()) {
      bien = false;
      return {};
    }
    i += n;
    return s.substr(i - n, n);
  }
};

}  // namespace

std::string empaquetar_trabajo(const trabajo_verificacion &t)
{
  std::string m;
  poner_texto(m, t.fila.nombre, 2);
  poner_texto(m, t.fila.codigo, 2);
  poner(m, static_cast<uint32_t>(t.fila.puntos), 4);
  poner(m, static_cast<uint32_t>(t.fila.fases), 4);
  poner_texto(m, t.datos, 4);
  poner(m, static_cast<uint8_t>(t.clase), 1);
  poner_texto(m, t.nivel, 4);
  return m;
}

bool desempaquetar_trabajo(const std::string &bytes, trabajo_verificacion &t)
{
  lector l{bytes};
  t.fila.nombre = l.texto(2);
  t.fila.codigo = l.texto(2);
  t.fila.puntos = static_cast<int32_t>(l.numero(4));
  t.fila.fases = static_cast<int32_t>(l.numero(4));
  t.datos = l.texto(4);
  t.clase = static_cast<int8_t>(l.numero(1));
  t.nivel = l.texto(4);
  return l.bien && l.i == bytes.size();
}

std::string empaquetar_resultado(const resultado_prueba &r)
{
  std::string m;
  poner(m, static_cast<uint16_t>(r.estado), 2);
  poner(m, r.huella, 8);
  poner(m, r.fotogramas, 4);
  poner(m, static_cast<uint32_t>(r.puntos), 4);
  poner(m, r.gana ? 1 : 0, 1);
  poner_texto(m, r.motivo.substr(0, 4000), 2);
  poner_texto(m, r.canonica, 4);
  return m;
}

bool desempaquetar_resultado(const std::string &bytes, resultado_prueba &r)
{
  lector l{bytes};
  r.estado = static_cast<int>(l.numero(2));
  r.huella = l.numero(8);
  r.fotogramas = static_cast<uint32_t>(l.numero(4));
  r.puntos = static_cast<int32_t>(l.numero(4));
  r.gana = l.numero(1) != 0;
  r.motivo = l.texto(2);
  r.canonica = l.texto(4);
  return l.bien && l.i == bytes.size() && r.canonica.size() <= MAX_BYTES_REPETICION;
}

bool escribir_mensaje(int fd, const std::string &m)
{
  std::string todo;
  poner(todo, m.size(), 4);
  todo += m;
  size_t hecho = 0;
  while (hecho < todo.size()) {
    const ssize_t w = write(fd, todo.data() + hecho, todo.size() - hecho);
    if (w < 0 && errno == EINTR) {
      continue;
    }
    if (w <= 0) {
      return false;
    }
    hecho += static_cast<size_t>(w);
  }
  return true;
}

int leer_mensaje(int fd, std::string &m, size_t maximo, int64_t espera_ms)
{
  const auto plazo = std::chrono::steady_clock::now() + std::chrono::milliseconds(espera_ms);
  std::string cabeza;
  size_t largo = 0;
  m.clear();
  for (;;) {
    const bool en_cabeza = cabeza.size() < 4;
    const size_t falta = en_cabeza ? 4 - cabeza.size() : largo - m.size();
    if (!en_cabeza && falta == 0) {
      return 1;
    }
    if (espera_ms >= 0) {
      const auto queda =
          std::chrono::duration_cast<std::chrono::milliseconds>(plazo - std::chrono::steady_clock::now()).count();
      pollfd p{fd, POLLIN, 0};
      const int r = queda > 0 ? poll(&p, 1, static_cast<int>(queda)) : 0;
      if (r < 0 && errno == EINTR) {
        continue;
      }
      if (r == 0) {
        return -1;
      }
    }
    char b[65536];
    const ssize_t n = read(fd, b, std::min(falta, sizeof b));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return 0;
    }
    (en_cabeza ? cabeza : m).append(b, static_cast<size_t>(n));
    if (en_cabeza && cabeza.size() == 4) {
      for (int k = 0; k < 4; ++k) {
        largo |= static_cast<size_t>(static_cast<uint8_t>(cabeza[static_cast<size_t>(k)])) << (8 * k);
      }
      if (largo > maximo) {
        return 0;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// The worker process
// ---------------------------------------------------------------------------

namespace {

// Lets the next job use LIMITE_CPU_VERIFICACION_S more seconds of
// processor: past them the kernel ends the process with SIGXCPU, which
// the server reads as a recording too costly to verify.
void limitar_cpu()
{
  rusage uso{};
  getrusage(RUSAGE_SELF, &uso);
  const rlim_t usado = static_cast<rlim_t>(uso.ru_utime.tv_sec + uso.ru_stime.tv_sec + 1);
  rlimit l{};
  getrlimit(RLIMIT_CPU, &l);
  l.rlim_cur = usado + LIMITE_CPU_VERIFICACION_S;
  if (l.rlim_max != RLIM_INFINITY && l.rlim_cur > l.rlim_max) {
    l.rlim_cur = l.rlim_max;
  }
  setrlimit(RLIMIT_CPU, &l);
}

}  // namespace

int verificador_main(int pausa_ms)
{
  // Behind the server's own work: a busy worker must not slow the answers
  // to the uploads.
  setpriority(PRIO_PROCESS, 0, 10);
  rlimit sin_volcado{0, 0};
  setrlimit(RLIMIT_CORE, &sin_volcado);
#if !defined(__SANITIZE_ADDRESS__)
  // The address sanitizer reserves terabytes of address space up front.
  rlimit memoria{static_cast<rlim_t>(LIMITE_MEMORIA_VERIFICADOR), static_cast<rlim_t>(LIMITE_MEMORIA_VERIFICADOR)};
  setrlimit(RLIMIT_AS, &memoria);
#endif
  std::signal(SIGPIPE, SIG_IGN);
  std::string m;
  while (leer_mensaje(STDIN_FILENO, m, MAX_BYTES_REPETICION + MAX_BYTES_NIVEL + 4096, -1) == 1) {
    trabajo_verificacion t;
    resultado_prueba r;
    if (!desempaquetar_trabajo(m, t)) {
      std::fputs("fotonauta-servidor --verificador: a job that is not one\n", stderr);
      return 2;
    }
    limitar_cpu();
    try {
      const auto *datos = reinterpret_cast<const uint8_t *>(t.datos.data());
      r = t.clase == TRABAJO_FILA ? probar_repeticion(datos, t.datos.size(), t.fila)
                                  : probar_nivel(datos, t.datos.size(), t.nivel, t.clase);
    } catch (const std::bad_alloc &) {
      r = {};
      r.estado = RECHAZADA;
      r.motivo = "verifying the recording needs more than " + std::to_string(LIMITE_MEMORIA_VERIFICADOR >> 20) +
                 " MB of memory";
    }
    if (pausa_ms > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pausa_ms));
    }
    if (!escribir_mensaje(STDOUT_FILENO, empaquetar_resultado(r))) {
      return 0;
    }
  }
  return 0;
}
