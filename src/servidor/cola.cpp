// The queue of recordings to verify, written once above both stores.
//
// A recording sent to prove a row is a job in the store's `verificaciones`
// table. Each server feeds its worker processes from that table: a thread
// per worker takes the oldest job no one holds, or one whose holder's
// lease ran out (a server that died with it), plays it in its worker, and
// writes the outcome. On PostgreSQL the take skips rows other processes
// have locked, so servers on several machines share the jobs; on SQLite
// the writers take turns. A job is taken under a token drawn for that
// take, and its outcome is written only while the token still holds it,
// so a job taken again after its lease ran out is finished once.
//
// The HTTP thread that queued a job waits for its outcome a few seconds
// (polling the store, and woken at once when a worker of its own server
// finishes); it never plays a recording. A proved game is kept in
// `repeticiones` under its huella, which is unique: one game proves one
// row. Of each player's verified rows the best is marked `mejor`, the row
// the verified table shows; a recording whose row is not (or no longer)
// its player's best is needed by no table, and is pruned once it has been
// so for the time the operator keeps such recordings.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include "repeticion/repeticion.h"
#include "servidor/servidor.h"

extern char **environ;

namespace {

// Jobs waiting or being played, in all: past it a new one gets 503.
constexpr int64_t MAX_EN_COLA = 1000;
// HTTP threads (of 64) that may wait for an outcome at once; the rest
// answer 202 as soon as their job is queued, so uploads always find a
// thread.
constexpr int MAX_ESPERANDO = 16;
// How long an HTTP thread waits for its outcome, and how often it looks.
constexpr int ESPERA_RESULTADO_MS = 10000;
constexpr int MIRAR_RESULTADO_MS = 100;
// How often an idle worker's thread looks for jobs other servers queued.
constexpr int MIRAR_COLA_MS = 1000;
// Takes of one job before it is refused: a worker that dies on it (killed,
// out of time) gives it back to be taken again.
constexpr int64_t MAX_INTENTOS = 3;
// An outcome no one came for (the sender was answered 202, or its server
// died) is forgotten after this.
constexpr int64_t OLVIDAR_HECHOS_MS = 10 * 60 * 1000;
// The largest answer a worker sends: its reason and the canonical recording.
constexpr size_t MAX_RESPUESTA = MAX_BYTES_REPETICION + 64 * 1024;

// Job states.
constexpr int64_t EN_ESPERA = 0, TOMADO = 1, HECHO = 2;

const char *const SQL_FILA = "SELECT id, repeticion FROM puntuaciones WHERE nombre = $1 AND codigo = $2";
// The jobs waiting or being played, of all and of one address.
const char *const SQL_EN_COLA =
    "SELECT COUNT(*), COALESCE(SUM(CASE WHEN direccion = $1 THEN 1 ELSE 0 END), 0), COALESCE(SUM(bytes), 0),"
    " COALESCE(SUM(CASE WHEN direccion = $1 THEN bytes ELSE 0 END), 0) FROM verificaciones WHERE estado < 2";
// A job's turn is how many of its address's jobs wait before it: the
// queue takes every address's first job before any address's second, so a
// flood from one address does not starve the others.
const char *const SQL_ENCOLAR =
    "INSERT INTO verificaciones (nombre, codigo, puntos, fases, recibida, estado, plazo, testigo, intentos, resultado,"
    " motivo, datos, clase, nivel, texto, direccion, turno, clave, bytes) VALUES ($1, $2, $3, $4, $5, 0, 0, 0, 0, 0, '',"
    " $6, $7, $8, $9, $10, (SELECT COUNT(*) FROM verificaciones WHERE direccion = $10 AND estado < 2), $11, $12)"
    " ON CONFLICT (nombre, codigo) DO NOTHING"
    " RETURNING id";
const char *const SQL_TRABAJO_DE_FILA = "SELECT id, estado FROM verificaciones WHERE nombre = $1 AND codigo = $2";
const char *const SQL_ESTADO = "SELECT estado, resultado, motivo FROM verificaciones WHERE id = $1";
const char *const SQL_BORRAR = "DELETE FROM verificaciones WHERE id = $1";
const char *const SQL_HAY_TRABAJO =
    "SELECT id FROM verificaciones WHERE estado = 0 OR (estado = 1 AND plazo < $1) LIMIT 1";
// Completed with the backend's words for skipping rows others hold.
const char *const SQL_TOMAR =
    "UPDATE verificaciones SET estado = 1, plazo = $1, testigo = $2, intentos = intentos + 1 WHERE id ="
    " (SELECT id FROM verificaciones WHERE estado = 0 OR (estado = 1 AND plazo < $3) ORDER BY turno, id LIMIT 1%s)"
    " RETURNING id, nombre, codigo, puntos, fases, recibida, intentos, datos, clase, nivel, texto, clave, direccion";
const char *const SQL_SOLTAR = "UPDATE verificaciones SET estado = 0, testigo = 0 WHERE id = $1 AND testigo = $2";
const char *const SQL_TERMINAR =
    "UPDATE verificaciones SET estado = 2, plazo = $2, resultado = $3, motivo = $4, datos = NULL, bytes = 0"
    " WHERE id = $1 AND testigo = $5 AND estado = 1 RETURNING id";
// One proof at a time is written, on every server: the player's best row
// is read and changed by one of them alone.
const char *const SQL_CERROJO = "UPDATE cerrojo_verificaciones SET n = n + 1";
const char *const SQL_INSERTAR_FILA =
    "INSERT INTO puntuaciones (nombre, codigo, puntos, fases, trampa, recibida) VALUES ($1, $2, $3, $4, 0, $5)"
    " ON CONFLICT (nombre, codigo) DO NOTHING RETURNING id";
const char *const SQL_MARCAR = "UPDATE puntuaciones SET repeticion = $2, plegado = $3 WHERE id = $1";
// The row a game proves, known by the game's huella.
const char *const SQL_RECLAMO =
    "SELECT p.nombre, p.codigo, p.puntos FROM repeticiones r JOIN puntuaciones p ON p.repeticion = r.id WHERE r.huella = $1";
const char *const SQL_PODAR =
    "UPDATE repeticiones SET datos = NULL, guardada = 0 WHERE guardada = 1 AND innecesaria <= $1 RETURNING id";
const char *const SQL_OLVIDAR = "DELETE FROM verificaciones WHERE estado = 2 AND plazo < $1";

int64_t ahora_ms()
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A job as a worker's thread took it.
struct trabajo {
  int64_t id = 0;
  int64_t testigo = 0;
  int64_t intentos = 0;
  puntuacion fila;
  std::string datos;
  int8_t clase = TRABAJO_FILA;
  int64_t nivel = 0;
  std::string texto;  // a level's job: the level's text
  std::string clave;  // the sender's key, hex
  int64_t direccion = 0;  // the sender's address, hashed
};

// A worker process and its pipes: `entrada` its standard input, `salida`
// its standard output.
struct trabajador {
  int numero = 0;
  pid_t pid = -1;
  int entrada = -1, salida = -1;
  std::thread hilo;
};

}  // namespace

struct cola {
  almacen *a = nullptr;
  opciones_cola o;
  std::string sql_tomar;
  std::vector<trabajador> trabajadores;
  std::thread hilo_poda;
  std::mutex cerrojo;
  std::condition_variable avisar_trabajadores;  // a job queued here, or the end
  std::condition_variable avisar_esperas;       // a job finished here, or the end
  std::condition_variable avisar_poda;          // the end
  uint64_t encolados = 0;  // jobs queued here: the workers' threads watch it
  uint64_t hechos = 0;     // jobs finished here: the waiting threads watch it
  bool fin = false;
  std::atomic<int> esperando{0};
  std::mt19937_64 azar{std::random_device{}()};
};

namespace {

// One line on standard error (the journal, under systemd).
void registrar(const std::string &linea)
{
  std::fprintf(stderr, "fotonauta-servidor: %s\n", linea.c_str());
}

std::string describir(const trabajo &t)
{
  return "job " + std::to_string(t.id) + " (" + t.fila.nombre + ", " + t.fila.codigo + ")";
}

// ---------------------------------------------------------------------------
// Worker processes
// ---------------------------------------------------------------------------

// Starts a worker: this program exec'ed with --verificador, its standard
// input and output on pipes and no other descriptor of the server's.
bool arrancar(cola *c, trabajador &w, std::string &error)
{
  int hacia[2], desde[2];
  if (pipe2(hacia, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  if (pipe2(desde, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    close(hacia[0]);
    close(hacia[1]);
    return false;
  }
  posix_spawn_file_actions_t acciones;
  posix_spawn_file_actions_init(&acciones);
  posix_spawn_file_actions_adddup2(&acciones, hacia[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&acciones, desde[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&acciones, STDERR_FILENO + 1);
  const std::string pausa = std::to_string(c->o.pausa_ms);
  std::vector<char *> argv = {const_cast<char *>(c->o.programa.c_str()), const_cast<char *>("--verificador")};
  if (c->o.pausa_ms > 0) {
    argv.push_back(const_cast<char *>("--pausa-verificador"));
    argv.push_back(const_cast<char *>(pausa.c_str()));
  }
  argv.push_back(nullptr);
  const int r = posix_spawn(&w.pid, c->o.programa.c_str(), &acciones, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&acciones);
  close(hacia[0]);
  close(desde[1]);
  if (r != 0) {
    error = "cannot start " + c->o.programa + " --verificador: " + std::strerror(r);
    close(hacia[1]);
    close(desde[0]);
    w.pid = -1;
    return false;
  }
  w.entrada = hacia[1];
  w.salida = desde[0];
  return true;
}

// Ends a worker (at once with `matar`, else when its input ends) and
// returns how it ended, as waitpid tells it.
int parar(trabajador &w, bool matar)
{
  if (w.pid < 0) {
    // Already reaped: only its pipes are left.
    for (int *fd : {&w.entrada, &w.salida}) {
      if (*fd >= 0) {
        close(*fd);
        *fd = -1;
      }
    }
    return 0;
  }
  if (matar) {
    kill(w.pid, SIGKILL);
  }
  close(w.entrada);
  close(w.salida);
  w.entrada = w.salida = -1;
  int estado = 0;
  while (waitpid(w.pid, &estado, 0) < 0 && errno == EINTR) {
  }
  w.pid = -1;
  return estado;
}

std::string como_termino(int estado)
{
  if (WIFSIGNALED(estado)) {
    return "was killed by signal " + std::to_string(WTERMSIG(estado));
  }
  return "ended with status " + std::to_string(WEXITSTATUS(estado));
}

// ---------------------------------------------------------------------------
// Jobs in the store
// ---------------------------------------------------------------------------

// Takes the oldest job no one holds (or whose holder's lease ran out).
// False when there is none or the store cannot be reached.
bool tomar(cola *c, trabajo &t)
{
  const int64_t ahora = ahora_ms();
  std::string error;
  bool hay = false;
  // A look on the reading side first: an idle server does not take the
  // writers' turn every second for nothing.
  almacen_transaccion(c->a, false, [&](sesion_sql &s) {
    std::vector<fila_sql> filas;
    hay = sql(s, SQL_HAY_TRABAJO, {sql_entero(ahora)}, &filas, error) && !filas.empty();
    return true;
  }, error);
  if (!hay) {
    return false;
  }
  std::vector<fila_sql> filas;
  {
    std::lock_guard<std::mutex> l(c->cerrojo);
    t.testigo = static_cast<int64_t>(c->azar() >> 1) | 1;
  }
  const int64_t plazo = ahora + 2000 * static_cast<int64_t>(c->o.limite_s);
  if (!almacen_transaccion(c->a, true, [&](sesion_sql &s) {
        return sql(s, c->sql_tomar.c_str(), {sql_entero(plazo), sql_entero(t.testigo), sql_entero(ahora)}, &filas,
                   error);
      }, error)) {
    registrar("cannot take a job from the verification queue: " + error);
    return false;
  }
  if (filas.empty()) {
    return false;
  }
  const fila_sql &f = filas[0];
  t.id = f[0].entero;
  t.fila.nombre = f[1].texto;
  t.fila.codigo = f[2].texto;
  t.fila.puntos = static_cast<int32_t>(f[3].entero);
  t.fila.fases = static_cast<int32_t>(f[4].entero);
  t.fila.recibida = f[5].entero;
  t.intentos = f[6].entero;
  t.datos = f[7].texto;
  t.clase = static_cast<int8_t>(f[8].entero);
  t.nivel = f[9].entero;
  t.texto = f[10].texto;
  t.clave = f[11].texto;
  t.direccion = f[12].entero;
  return true;
}

// Gives a job back to the queue, to be taken again.
void soltar(cola *c, const trabajo &t)
{
  std::string error;
  if (!almacen_transaccion(c->a, true, [&](sesion_sql &s) {
        return sql(s, SQL_SOLTAR, {sql_entero(t.id), sql_entero(t.testigo)}, nullptr, error);
      }, error)) {
    registrar(describir(t) + " cannot be given back to the queue (" + error + "); it is taken again once its lease runs out");
  }
}

// Writes a job's outcome while the take still holds it; `escribir`, when
// given, runs first in the same transaction (the proof's rows) and may
// change the outcome. False when the job was no longer ours.
bool terminar(cola *c, const trabajo &t, resultado_prueba &r,
              const std::function<bool(sesion_sql &, std::string &)> &escribir = nullptr)
{
  std::string error;
  bool nuestro = false;
  const bool bien = almacen_transaccion(c->a, true, [&](sesion_sql &s) {
    if (escribir && !escribir(s, error)) {
      return false;
    }
    std::vector<fila_sql> filas;
    if (!sql(s, SQL_TERMINAR,
             {sql_entero(t.id), sql_entero(ahora_ms()), sql_entero(r.estado), sql_texto(r.motivo),
              sql_entero(t.testigo)},
             &filas, error)) {
      return false;
    }
    nuestro = !filas.empty();
    // Taken again by another after our lease ran out: whatever we wrote
    // goes, and the other take finishes it.
    if (!nuestro) {
      error = "its lease ran out and it was taken again";
    }
    return nuestro;
  }, error);
  if (!bien) {
    registrar("the outcome of " + describir(t) + " is not written: " + error);
  }
  return bien;
}

// The rows a proof changes: the name's claim, the row (stored here if its
// upload has not come), the recording under its huella, the mark of the
// row, and the player's best row unless the operator barred the name. `r`
// becomes what the sender is told.
bool escribir_prueba(sesion_sql &s, const trabajo &t, resultado_prueba &r, std::string &error)
{
  const puntuacion &p = t.fila;
  const int64_t ahora = ahora_ms() / 1000;
  std::vector<fila_sql> filas;
  if (!sql(s, SQL_CERROJO, {}, nullptr, error) ||
      !sql(s, SQL_FILA, {sql_texto(p.nombre), sql_texto(p.codigo)}, &filas, error)) {
    return false;
  }
  if (!filas.empty() && filas[0][1].tipo != valor_sql::NULO) {
    r.estado = 200;
    r.motivo = "already verified";
    return true;
  }
  // A name another key holds: nothing is written.
  std::string tomado;
  const int libre = reclamar_nombre(s, p.nombre, t.clave, ahora, false, tomado, error);
  if (libre <= 0) {
    r.estado = 409;
    r.motivo = tomado;
    return libre == 0;
  }
  const int64_t rep = guardar_repeticion(s, r, ahora, r.canonica, error);
  if (rep < 0) {
    return false;
  }
  if (rep == 0) {
    // One game is claimed once: the claim made first stands, and the
    // sender is told which it is.
    if (!sql(s, SQL_RECLAMO, {sql_entero(static_cast<int64_t>(r.huella))}, &filas, error)) {
      return false;
    }
    r.estado = 409;
    r.motivo = filas.empty()
                   ? "this game was claimed first by a run on a level's board: one game proves one row"
                   : "this game was claimed first by " + filas[0][0].texto + " (" + std::to_string(entero_sql(filas[0][2])) +
                         " points, code " + filas[0][1].texto + "): one game proves one row";
    return true;
  }
  // The row itself, if its upload has not come (or went to another server
  // that has not written it yet).
  if (!sql(s, SQL_INSERTAR_FILA,
           {sql_texto(p.nombre), sql_texto(p.codigo), sql_entero(p.puntos), sql_entero(p.fases), sql_entero(p.recibida)},
           &filas, error) ||
      (!filas.empty() &&
       !tablero_sumar(s, tablero_mundo(TABLA_COMPLETA), {p.puntos, entero_sql(filas[0][0])}, 1, error)) ||
      !sql(s, SQL_FILA, {sql_texto(p.nombre), sql_texto(p.codigo)}, &filas, error) || filas.empty()) {
    return false;
  }
  const int64_t fila = entero_sql(filas[0][0]);
  const std::string plegado = plegar_nombre(p.nombre);
  const int vetado = nombre_vetado(s, plegado, error);
  if (vetado < 0 || reclamar_nombre(s, p.nombre, t.clave, ahora, true, tomado, error) < 0 ||
      !sql(s, SQL_MARCAR, {sql_entero(fila), sql_entero(rep), sql_texto(plegado)}, nullptr, error)) {
    return false;
  }
  return vetado == 1 ? marcar_innecesaria(s, rep, ahora, error)
                     : tablero_promover(s, tablero_mundo(TABLA_VERIFICADA), MEJOR_MUNDO, {sql_texto(plegado)},
                                        {p.puntos, fila}, rep, ahora, error);
}

// ---------------------------------------------------------------------------
// A worker's thread
// ---------------------------------------------------------------------------

// Plays one job in the worker, starting it if needed: the outcome to
// write, or false when the job must be taken again (the worker died or
// went past the wall-clock limit; it is stopped).
bool jugar_trabajo(cola *c, trabajador &w, const trabajo &t, resultado_prueba &r)
{
  std::string error;
  // A worker that ended while it waited for work is started again, and
  // the job is not held against the recording.
  int estado_previo = 0;
  if (w.pid >= 0 && waitpid(w.pid, &estado_previo, WNOHANG) == w.pid) {
    registrar("worker " + std::to_string(w.numero) + " (pid " + std::to_string(w.pid) + ") " +
              como_termino(estado_previo) + " while it waited for work; it is started again");
    w.pid = -1;
    parar(w, false);
  }
  if (w.pid < 0 && !arrancar(c, w, error)) {
    registrar(describir(t) + ": no worker: " + error);
    return false;
  }
  std::string respuesta;
  const int leida = escribir_mensaje(w.entrada, empaquetar_trabajo({t.fila, t.datos, t.clase, t.texto}))
                        ? leer_mensaje(w.salida, respuesta, MAX_RESPUESTA, 1000 * int64_t{c->o.limite_s})
                        : 0;
  if (leida == 1 && desempaquetar_resultado(respuesta, r)) {
    return true;
  }
  const pid_t pid = w.pid;
  const int estado = parar(w, true);
  if (leida == -1) {
    registrar(describir(t) + " took worker " + std::to_string(w.numero) + " (pid " + std::to_string(pid) + ") more than " +
              std::to_string(c->o.limite_s) + " s: the worker was stopped and the job is taken again");
    return false;
  }
  if (WIFSIGNALED(estado) && WTERMSIG(estado) == SIGXCPU) {
    r = {};
    r.estado = 422;
    r.motivo = "verifying the recording took more than " + std::to_string(LIMITE_CPU_VERIFICACION_S) +
               " s of processor time";
    return true;
  }
  registrar("worker " + std::to_string(w.numero) + " (pid " + std::to_string(pid) + ") " + como_termino(estado) + " during " +
            describir(t) + "; the job is taken again");
  return false;
}

// A recording kept from before huellas were canonical: its game and what
// it proves, to be played again.
const char *const SQL_ANTIGUA =
    "SELECT r.id, r.datos, p.nombre, p.codigo, p.puntos, p.fases, m.nivel, n.texto FROM repeticiones r"
    " LEFT JOIN puntuaciones p ON p.repeticion = r.id LEFT JOIN marcas m ON m.id = r.id"
    " LEFT JOIN niveles n ON n.id = m.nivel WHERE r.canonica = 0 AND r.guardada = 1 ORDER BY r.id LIMIT 1";
const char *const SQL_HUELLA_DE = "SELECT id FROM repeticiones WHERE huella = $1 AND id <> $2";
const char *const SQL_CANONICA =
    "UPDATE repeticiones SET huella = $2, datos = $3, canonica = 1 WHERE id = $1 AND canonica = 0";
const char *const SQL_YA_CANONICA = "UPDATE repeticiones SET canonica = 1 WHERE id = $1";

// Plays one recording kept from before again, when there is one, and
// keeps it as the game writes it, under its canonical huella, so that the
// game cannot be claimed again in another spelling. False when there was
// none.
bool rehacer_antigua(cola *c, trabajador &w)
{
  std::string error;
  std::vector<fila_sql> filas;
  if (!almacen_transaccion(c->a, false, [&](sesion_sql &s) { return sql(s, SQL_ANTIGUA, {}, &filas, error); }, error) ||
      filas.empty()) {
    return false;
  }
  const fila_sql &f = filas[0];
  trabajo t;
  t.id = entero_sql(f[0]);
  t.datos = f[1].texto;
  t.fila.nombre = f[2].texto;
  t.fila.codigo = f[3].texto;
  t.fila.puntos = static_cast<int32_t>(entero_sql(f[4]));
  t.fila.fases = static_cast<int32_t>(entero_sql(f[5]));
  t.clase = f[6].tipo == valor_sql::NULO ? TRABAJO_FILA : TRABAJO_MARCA;
  t.texto = f[7].texto;
  resultado_prueba r;
  if (!jugar_trabajo(c, w, t, r)) {
    // Never tried again: a recording that kills its worker would keep the
    // workers at it.
    r = {};
    r.estado = 500;
    r.motivo = "its worker failed";
  }
  std::vector<fila_sql> otra;
  const bool bien = almacen_transaccion(c->a, true, [&](sesion_sql &s) {
    if (r.estado != 200 || r.canonica.empty()) {
      return sql(s, SQL_YA_CANONICA, {sql_entero(t.id)}, nullptr, error);
    }
    if (!sql(s, SQL_HUELLA_DE, {sql_entero(static_cast<int64_t>(r.huella)), sql_entero(t.id)}, &otra, error)) {
      return false;
    }
    return otra.empty() ? sql(s, SQL_CANONICA, {sql_entero(t.id), sql_entero(static_cast<int64_t>(r.huella)),
                                                sql_bytes(r.canonica)}, nullptr, error)
                        : sql(s, SQL_YA_CANONICA, {sql_entero(t.id)}, nullptr, error);
  }, error);
  if (!bien) {
    registrar("recording " + std::to_string(t.id) + " kept from before is not written again: " + error);
  } else if (r.estado != 200) {
    registrar("recording " + std::to_string(t.id) + " kept from before does not prove its row again: " + r.motivo);
  } else if (!otra.empty()) {
    registrar("recording " + std::to_string(t.id) + " kept from before is the same game as recording " +
              std::to_string(entero_sql(otra[0][0])) + ", claimed since: see --ocultar-partida");
  }
  return bien;
}

void atender_trabajador(cola *c, trabajador &w)
{
  uint64_t visto = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> l(c->cerrojo);
      if (c->fin) {
        return;
      }
      visto = c->encolados;
    }
    trabajo t;
    if (!tomar(c, t)) {
      if (rehacer_antigua(c, w)) {
        continue;
      }
      std::unique_lock<std::mutex> l(c->cerrojo);
      c->avisar_trabajadores.wait_for(l, std::chrono::milliseconds(MIRAR_COLA_MS),
                                      [&] { return c->fin || c->encolados != visto; });
      continue;
    }
    resultado_prueba r;
    if (t.intentos > MAX_INTENTOS) {
      r.estado = 503;
      r.motivo = "the recording could not be verified: its worker failed " + std::to_string(MAX_INTENTOS) +
                 " times; send it again later";
      terminar(c, t, r);
    } else if (!jugar_trabajo(c, w, t, r)) {
      soltar(c, t);
    } else if (r.estado == 200) {
      const bool escrito = terminar(c, t, r, [&](sesion_sql &s, std::string &error) {
        return t.clase == TRABAJO_FILA ? escribir_prueba(s, t, r, error)
                                       : escribir_nivel_probado(s, t.clase, t.nivel, t.fila.nombre, t.clave, t.texto,
                                                                t.direccion, t.fila.recibida, r, error);
      });
      if (escrito) {
        registrar(describir(t) + ": " + std::to_string(r.estado) + " " + r.motivo + " (" + std::to_string(r.fotogramas) +
                  " frames, worker " + std::to_string(w.numero) + ")");
      }
    } else if (terminar(c, t, r)) {
      registrar(describir(t) + " refused: " + std::to_string(r.estado) + " " + r.motivo);
    }
    std::lock_guard<std::mutex> l(c->cerrojo);
    ++c->hechos;
    c->avisar_esperas.notify_all();
  }
}

// Prunes the recordings no table has needed for the time they are kept,
// and forgets outcomes no one came for.
void podar(cola *c)
{
  const int64_t intervalo_s = std::clamp<int64_t>(c->o.conservar_s / 4, 1, 60);
  std::unique_lock<std::mutex> l(c->cerrojo);
  while (!c->fin) {
    c->avisar_poda.wait_for(l, std::chrono::seconds(intervalo_s), [c] { return c->fin; });
    if (c->fin) {
      return;
    }
    l.unlock();
    const int64_t ahora = ahora_ms();
    std::vector<fila_sql> podadas;
    std::string error;
    if (!almacen_transaccion(c->a, true, [&](sesion_sql &s) {
          return sql(s, SQL_PODAR, {sql_entero(ahora / 1000 - c->o.conservar_s)}, &podadas, error) &&
                 sql(s, SQL_OLVIDAR, {sql_entero(ahora - OLVIDAR_HECHOS_MS)}, nullptr, error);
        }, error)) {
      registrar("cannot prune recordings: " + error);
    } else if (!podadas.empty()) {
      registrar("pruned " + std::to_string(podadas.size()) + " recording(s) no table needs any more");
    }
    l.lock();
  }
}

}  // namespace

cola *cola_abrir(almacen *a, const opciones_cola &o, std::string &error)
{
  auto *c = new cola;
  c->a = a;
  c->o = o;
  c->sql_tomar = SQL_TOMAR;
  c->sql_tomar.replace(c->sql_tomar.find("%s"), 2, almacen_saltar_bloqueadas(a));
  c->trabajadores.resize(static_cast<size_t>(std::max(o.verificadores, 0)));
  for (size_t i = 0; i < c->trabajadores.size(); ++i) {
    c->trabajadores[i].numero = static_cast<int>(i) + 1;
    if (!arrancar(c, c->trabajadores[i], error)) {
      cola_cerrar(c);
      return nullptr;
    }
  }
  for (trabajador &w : c->trabajadores) {
    w.hilo = std::thread(atender_trabajador, c, std::ref(w));
  }
  c->hilo_poda = std::thread(podar, c);
  return c;
}

void cola_cerrar(cola *c)
{
  if (c == nullptr) {
    return;
  }
  {
    std::lock_guard<std::mutex> l(c->cerrojo);
    c->fin = true;
  }
  c->avisar_trabajadores.notify_all();
  c->avisar_esperas.notify_all();
  c->avisar_poda.notify_all();
  for (trabajador &w : c->trabajadores) {
    if (w.hilo.joinable()) {
      w.hilo.join();
    }
    parar(w, false);
  }
  if (c->hilo_poda.joinable()) {
    c->hilo_poda.join();
  }
  delete c;
}

namespace {

// Whether the queue can take no job from this address now (the count of
// all jobs waiting and of the address's): the answer, with when to try
// again.
bool cola_llena(const fila_sql &cuenta, int64_t bytes, respuesta &r)
{
  if (entero_sql(cuenta[0]) >= MAX_EN_COLA || entero_sql(cuenta[2]) + bytes > MAX_BYTES_EN_COLA) {
    r = respuesta_texto(503, "the verification queue is full; send the recording again later");
    r.reintentar = 30;
    return true;
  }
  if (entero_sql(cuenta[1]) >= MAX_EN_COLA_DIRECCION || entero_sql(cuenta[3]) + bytes > MAX_BYTES_EN_COLA_DIRECCION) {
    r = respuesta_texto(429, "too many recordings from this address are waiting to be verified; send it again later");
    r.reintentar = 10;
    return true;
  }
  return false;
}

// Queues a job and waits for its outcome. `ya_hecho` reads (in a
// transaction of either side) whether what the job would prove is proved
// already, and then sets the answer.
respuesta encolar(cola *c, const trabajo &j, const std::string &datos, const std::string &direccion,
                  const std::function<bool(sesion_sql &, respuesta &, std::string &)> &ya_hecho)
{
  const int64_t de_quien = static_cast<int64_t>(hash_direccion(direccion));
  const puntuacion &p = j.fila;
  int64_t id = -1;
  bool nuestro = false;
  bool escribir = false;
  respuesta inmediata;
  inmediata.estado = 0;
  std::string error;
  // What a recording sent again (the game sends its whole table each
  // time) or one past a full queue needs is read without taking the
  // writers' turn from the uploads.
  bool bien = almacen_transaccion(c->a, false, [&](sesion_sql &s) {
    std::vector<fila_sql> filas;
    if (!ya_hecho(s, inmediata, error)) {
      return false;
    }
    if (inmediata.estado != 0) {
      return true;
    }
    if (!sql(s, SQL_TRABAJO_DE_FILA, {sql_texto(p.nombre), sql_texto(p.codigo)}, &filas, error)) {
      return false;
    }
    if (!filas.empty() && filas[0][1].entero != HECHO) {
      id = filas[0][0].entero;
      return true;
    }
    if (!sql(s, SQL_EN_COLA, {sql_entero(de_quien)}, &filas, error)) {
      return false;
    }
    if (cola_llena(filas[0], static_cast<int64_t>(datos.size()), inmediata)) {
      return true;
    }
    escribir = true;
    return true;
  }, error);
  bien = bien && (!escribir || almacen_transaccion(c->a, true, [&](sesion_sql &s) {
    std::vector<fila_sql> filas;
    if (!ya_hecho(s, inmediata, error)) {
      return false;
    }
    if (inmediata.estado != 0) {
      return true;
    }
    if (!sql(s, SQL_EN_COLA, {sql_entero(de_quien)}, &filas, error)) {
      return false;
    }
    if (cola_llena(filas[0], static_cast<int64_t>(datos.size()), inmediata)) {
      return true;
    }
    const std::vector<valor_sql> nuevo = {sql_texto(p.nombre), sql_texto(p.codigo), sql_entero(p.puntos),
                                          sql_entero(p.fases), sql_entero(p.recibida), sql_bytes(datos),
                                          sql_entero(j.clase), sql_entero(j.nivel),
                                          j.clase == TRABAJO_FILA ? valor_sql{} : sql_texto(j.texto),
                                          sql_entero(de_quien), sql_texto(j.clave),
                                          sql_entero(static_cast<int64_t>(datos.size()))};
    if (!sql(s, SQL_ENCOLAR, nuevo, &filas, error)) {
      return false;
    }
    if (filas.empty()) {
      // A job for this row is there already: being verified, or an
      // outcome no one came for, which this one replaces.
      if (!sql(s, SQL_TRABAJO_DE_FILA, {sql_texto(p.nombre), sql_texto(p.codigo)}, &filas, error) || filas.empty()) {
        return false;
      }
      if (filas[0][1].entero != HECHO) {
        id = filas[0][0].entero;
        return true;
      }
      if (!sql(s, SQL_BORRAR, {sql_entero(filas[0][0].entero)}, nullptr, error) ||
          !sql(s, SQL_ENCOLAR, nuevo, &filas, error) || filas.empty()) {
        return false;
      }
    }
    id = filas[0][0].entero;
    nuestro = true;
    return true;
  }, error));
  if (!bien) {
    registrar("cannot queue the recording of (" + p.nombre + ", " + p.codigo + "): " + error);
    respuesta r = respuesta_texto(503, "the verification queue cannot be written now; send the recording again later");
    r.reintentar = 10;
    return r;
  }
  if (id < 0) {
    return inmediata;
  }
  uint64_t visto;
  {
    std::lock_guard<std::mutex> l(c->cerrojo);
    ++c->encolados;
    visto = c->hechos;
  }
  c->avisar_trabajadores.notify_one();
  const respuesta en_cola =
      respuesta_texto(202, "queued: the row will be marked verified once its recording has been played");
  if (++c->esperando > MAX_ESPERANDO) {
    --c->esperando;
    return en_cola;
  }
  const auto plazo = std::chrono::steady_clock::now() + std::chrono::milliseconds(ESPERA_RESULTADO_MS);
  respuesta r = en_cola;
  for (bool seguir = true; seguir && std::chrono::steady_clock::now() < plazo;) {
    {
      std::unique_lock<std::mutex> l(c->cerrojo);
      c->avisar_esperas.wait_for(l, std::chrono::milliseconds(MIRAR_RESULTADO_MS),
                                 [&] { return c->fin || c->hechos != visto; });
      visto = c->hechos;
      seguir = !c->fin;
    }
    std::vector<fila_sql> estado;
    if (!almacen_transaccion(c->a, false, [&](sesion_sql &s) { return sql(s, SQL_ESTADO, {sql_entero(id)}, &estado, error); },
                             error)) {
      continue;
    }
    if (!estado.empty() && estado[0][0].entero != HECHO) {
      continue;
    }
    seguir = false;
    if (nuestro && !estado.empty()) {
      r = respuesta_texto(static_cast<int>(estado[0][1].entero), estado[0][2].texto);
      almacen_transaccion(c->a, true, [&](sesion_sql &s) { return sql(s, SQL_BORRAR, {sql_entero(id)}, nullptr, error); },
                          error);
    } else {
      // Another sender's job of the same key: what it did.
      respuesta hecho;
      hecho.estado = 0;
      almacen_transaccion(c->a, false, [&](sesion_sql &s) { return ya_hecho(s, hecho, error); }, error);
      r = hecho.estado != 0
              ? hecho
              : respuesta_texto(409, "another recording of this, sent at the same time, was refused; send this one again");
    }
  }
  --c->esperando;
  return r;
}

}  // namespace

respuesta cola_verificar(cola *c, const puntuacion &p, const std::string &datos, const std::string &direccion,
                         const std::string &clave)
{
  trabajo j;
  j.fila = p;
  j.clave = clave;
  return encolar(c, j, datos, direccion, [&p, &clave](sesion_sql &s, respuesta &r, std::string &error) {
    std::vector<fila_sql> filas;
    if (!sql(s, SQL_FILA, {sql_texto(p.nombre), sql_texto(p.codigo)}, &filas, error)) {
      return false;
    }
    std::string tomado;
    if (!filas.empty() && filas[0][1].tipo != valor_sql::NULO) {
      r = respuesta_texto(200, "already verified");
    } else if (const int libre = reclamar_nombre(s, p.nombre, clave, 0, false, tomado, error); libre <= 0) {
      // A name another key holds costs no worker.
      r = respuesta_texto(409, tomado);
      return libre == 0;
    }
    return true;
  });
}

respuesta cola_verificar_nivel(cola *c, const peticion_nivel &p, const std::string &datos, const std::string &direccion)
{
  trabajo j;
  j.fila.nombre = p.nombre;
  j.fila.codigo = p.clave;
  j.fila.recibida = p.recibida;
  j.clase = p.clase;
  j.nivel = p.nivel;
  j.texto = p.texto;
  j.clave = p.firmante;
  // A level published already is said so at once; a run is played each
  // time (its writer finds a game sent before by its huella).
  return encolar(c, j, datos, direccion, [&p](sesion_sql &s, respuesta &r, std::string &error) {
    std::string tomado;
    if (const int libre = reclamar_nombre(s, p.nombre, p.firmante, 0, false, tomado, error); libre <= 0) {
      r = respuesta_texto(409, tomado);
      return libre == 0;
    }
    if (p.clase != TRABAJO_PUBLICAR) {
      return true;
    }
    resultado_prueba ya;
    if (!nivel_ya_publicado(s, p.nivel, ya, error)) {
      return false;
    }
    if (ya.estado != 0) {
      r = respuesta_texto(ya.estado, ya.motivo);
    }
    return true;
  });
}
