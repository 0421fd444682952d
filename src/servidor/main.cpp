// fotonauta-servidor: the score server program. Reads its options, opens
// the store, starts the workers that verify recordings and serves HTTP
// with cpp-httplib until it is told to stop. Run as `--verificador` it is
// one of those workers.
#include "repeticion/repeticion.h"
#include "servidor/servidor.h"

#include <httplib.h>
#include <malloc.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

namespace {

// Limits on what one client may take: a request has 5 seconds for each
// read, no body is accepted but a recording's (and that only up to the
// largest recording; limite_lectura.cpp cuts any other connection at 64
// KiB), and at most HILOS requests are served at once, with at most
// EN_ESPERA more accepted and waiting. Past that the server stops
// accepting, and the kernel's listen queue refuses the rest. Request lines
// and headers are bounded by the library (8 KiB each).
constexpr int HILOS = 64;
constexpr size_t EN_ESPERA = 256;
// Connections whose heads are still coming, held by one thread.
constexpr size_t EN_SALA = 4096;
constexpr time_t ESPERA_LECTURA_S = 5;
constexpr time_t ESPERA_ESCRITURA_S = 5;
constexpr size_t MAX_CUERPO = MAX_BYTES_REPETICION + MAX_BYTES_NIVEL;
// The game sends up to nine rows over one connection.
constexpr size_t PETICIONES_POR_CONEXION = 16;
constexpr time_t ESPERA_SIGUIENTE_S = 2;
// The library refuses a request line past 8 KiB (414) and a header line
// past 8 KiB, but not many header lines: past these the request gets 431.
// The game sends four headers.
constexpr size_t MAX_CABECERAS = 64;
constexpr size_t MAX_BYTES_CABECERAS = 8192;

const char *const AYUDA =
    "Usage: fotonauta-servidor [--puerto N] [--base FILE] [--verificadores N]\n"
    "                          [--conservar TIME] [--limite-verificacion S]\n"
    "                          [--limite-niveles N] [--limite-repeticiones N]\n"
    "       fotonauta-servidor [--base FILE] --ocultar ID | --mostrar ID | --denuncias\n"
    "       fotonauta-servidor [--base FILE] --ocultar-partida N | --mostrar-partida N | --vetar NAME\n"
    "The fotonauta score server: takes the high scores the game uploads and the\n"
    "recordings of their games, plays each recording again to verify its score,\n"
    "and shows the world table on a web page.\n"
    "\n"
    "  --puerto N   listen on TCP port N (default 80)\n"
    "  --base FILE  keep the table in the SQLite database FILE\n"
    "               (default fotonauta.db in the working folder)\n"
    "  --base postgresql://...\n"
    "               keep it in PostgreSQL (any libpq connection URI); any\n"
    "               number of servers may share one database, and its queue\n"
    "               of recordings to verify\n"
    "  --verificadores N\n"
    "               worker processes that play recordings (default: one per\n"
    "               processor, at most 8); 0 leaves them to the other servers\n"
    "               sharing the database\n"
    "  --conservar TIME\n"
    "               how long a recording no table needs any more (its player\n"
    "               has a better verified score) is kept before it is pruned:\n"
    "               a number of days, or a number with s, m, h or d\n"
    "               (default 30d)\n"
    "  --limite-verificacion S\n"
    "               seconds of wall-clock time one verification may take\n"
    "               (default 15); a job held twice that by a server that has\n"
    "               gone is taken again by another\n"
    "  --limite-niveles N\n"
    "               levels and level runs one address may send in an hour\n"
    "               (default 20)\n"
    "  --limite-repeticiones N\n"
    "               recordings one address may send in a minute (default 30)\n"
    "  --ocultar ID hide the community level ID from the gallery (its pages\n"
    "               then answer 410), and exit\n"
    "  --mostrar ID show a hidden level again, and exit\n"
    "  --ocultar-partida N\n"
    "               take verified game N (the number in /repeticiones/N.frep, or\n"
    "               of a run on a level's board) off its board: the player's\n"
    "               best game that may be shown takes its place; and exit\n"
    "  --mostrar-partida N\n"
    "               let game N be shown again, and exit\n"
    "  --vetar NAME take every game of NAME (and of the names that fold to\n"
    "               it) off every board, now and from then on, and exit\n"
    "  --denuncias  list the reported levels and the reported games, most\n"
    "               reported first, and exit\n"
    "  --recontar   count the table's rows again into the ranges its ranks\n"
    "               and pages are read from (after rows were edited by hand),\n"
    "               and exit\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "GET /                          the verified table as a web page; /?todas=1\n"
    "                               every score, verified or not\n"
    "GET /api/puntuaciones?desde=N&cuantos=M[&verificadas=1]\n"
    "                               ranks N to N+M-1 as JSON\n"
    "GET /highscore.php?yourname=NAME&code=CODE\n"
    "                               the game's upload\n"
    "POST /api/repeticiones?yourname=NAME&code=CODE\n"
    "                               the recording of that row's game (the body)\n"
    "GET /repeticiones/ID.frep      a verified row's recording\n"
    "POST /api/niveles?yourname=NAME&nivel=N\n"
    "                               publish a level: its text (N bytes), then a\n"
    "                               recording that wins it\n"
    "GET /niveles                   the community levels' gallery\n"
    "GET /niveles/ID                a level's page and board; /niveles/ID.txt\n"
    "GET /api/niveles, /api/niveles/ID, /api/niveles/ID/texto\n"
    "                               the same as JSON, and the level's text\n"
    "POST /api/niveles/ID/repeticiones?yourname=NAME\n"
    "                               a run of level ID for its board\n"
    "GET /ver/ID, /ver/niveles/ID/RUN\n"
    "                               watch a verified game in the browser\n"
    "GET /niveles/ID/jugar          play level ID in the browser\n";

// The listening socket's backlog. The library listens with room for 5
// connections not yet accepted; 64 clients connecting at once then have
// their SYNs dropped and wait a second to try again. Past this backlog
// the kernel still refuses (drops) the rest: nothing queues without bound.
constexpr int COLA_ESCUCHA = 512;

// The listening socket, as the library made it, to widen its backlog.
int socket_escucha = -1;

// The server being run, for the signal handler.
httplib::Server *servidor_activo = nullptr;

void parar(int) {
  if (servidor_activo != nullptr) {
    servidor_activo->stop();
  }
}

// Runs each accepted connection on one of a fixed set of threads, once its
// request's head has come whole in the waiting room; when all are busy
// and the waiting list is full, the waiting room waits, and then the
// accepting thread, so the connections held in memory stay bounded.
class cola_acotada : public httplib::TaskQueue {
 public:
  explicit cola_acotada(int hilos)
  {
    for (int i = 0; i < hilos; ++i) {
      hilos_.emplace_back([this] { trabajar(); });
    }
    sala_ = abrir_sala(EN_SALA, [this](std::function<void()> tarea) { entregar(std::move(tarea)); });
  }
  void enqueue(std::function<void()> tarea) override
  {
    const int fd = ultima_aceptada();
    if (sala_ != nullptr && fd >= 0) {
      sala_recibir(sala_, fd, std::move(tarea));
    } else {
      entregar(std::move(tarea));
    }
  }
  void shutdown() override
  {
    if (sala_ != nullptr) {
      cerrar_sala(sala_);
      sala_ = nullptr;
    }
    {
      std::lock_guard<std::mutex> l(cerrojo_);
      fin_ = true;
    }
    hay_tarea_.notify_all();
    hueco_.notify_all();
    for (std::thread &h : hilos_) {
      h.join();
    }
  }

 private:
  void trabajar()
  {
    for (;;) {
      std::function<void()> tarea;
      {
        std::unique_lock<std::mutex> l(cerrojo_);
        hay_tarea_.wait(l, [this] { return !tareas_.empty() || fin_; });
        if (tareas_.empty()) {
          return;
        }
        tarea = std::move(tareas_.front());
        tareas_.pop_front();
      }
      hueco_.notify_one();
      tarea();
    }
  }
  void entregar(std::function<void()> tarea)
  {
    std::unique_lock<std::mutex> l(cerrojo_);
    hueco_.wait(l, [this] { return tareas_.size() < EN_ESPERA || fin_; });
    tareas_.push_back(std::move(tarea));
    hay_tarea_.notify_one();
  }
  sala_espera *sala_ = nullptr;
  std::vector<std::thread> hilos_;
  std::deque<std::function<void()>> tareas_;
  std::mutex cerrojo_;
  std::condition_variable hay_tarea_, hueco_;
  bool fin_ = false;
};

// The bodies of uploads held in memory at once, in bytes, as their
// requests announce them (a body without a length counts as the largest):
// past it an upload waits for room, at most ESPERA_CUERPO_MS, and is then
// answered 503 without its body being read. A recording is a few KB; only
// large bodies wait.
constexpr int64_t MAX_BYTES_CUERPOS = int64_t{16} << 20;
constexpr int ESPERA_CUERPO_MS = 5000;
std::mutex cerrojo_cuerpos;
std::condition_variable hay_sitio;
int64_t bytes_cuerpos = 0;

// Gives back the room a body held, and its memory.
void devolver_cuerpo(std::string &cuerpo, int64_t apartado)
{
  std::string().swap(cuerpo);
  {
    std::lock_guard<std::mutex> l(cerrojo_cuerpos);
    bytes_cuerpos -= apartado;
  }
  hay_sitio.notify_all();
}

// Reads an upload's body into `cuerpo` once there is room for it (the
// room taken in `apartado`, to be given back): true, or false with the
// answer (413 past the largest, 503 no room, 400 cut short).
bool leer_cuerpo(const httplib::Request &peticion, const httplib::ContentReader &leer, std::string &cuerpo,
                 int64_t &apartado, respuesta &r)
{
  int64_t anunciado = static_cast<int64_t>(MAX_CUERPO);
  const std::string largo = peticion.get_header_value("Content-Length");
  if (!largo.empty()) {
    anunciado = largo.size() > 12 || largo.find_first_not_of("0123456789") != std::string::npos
                    ? static_cast<int64_t>(MAX_CUERPO) + 1
                    : std::atoll(largo.c_str());
  }
  r = {};
  r.cerrar = true;
  // A body refused unread is read and dropped as it comes (bounded by the
  // connection's own limits), so that the client, still sending it, reads
  // the answer rather than a reset connection.
  const auto tirar = [&] {
    leer([](const char *, size_t) { return true; });
    no_leer_mas();
  };
  if (anunciado > static_cast<int64_t>(MAX_CUERPO)) {
    r.estado = 413;
    r.cuerpo = "the body is larger than the largest recording and level (" + std::to_string(MAX_CUERPO) + " bytes)\n";
    tirar();
    return false;
  }
  {
    std::unique_lock<std::mutex> l(cerrojo_cuerpos);
    if (!hay_sitio.wait_for(l, std::chrono::milliseconds(ESPERA_CUERPO_MS),
                            [&] { return bytes_cuerpos + anunciado <= MAX_BYTES_CUERPOS; })) {
      r.estado = 503;
      r.reintentar = 5;
      r.cuerpo = "too many large uploads at once; send it again later\n";
      l.unlock();
      tirar();
      return false;
    }
    bytes_cuerpos += anunciado;
  }
  apartado = anunciado;
  cuerpo.reserve(static_cast<size_t>(anunciado));
  const bool leido = leer([&](const char *datos, size_t n) {
    if (cuerpo.size() + n > static_cast<size_t>(anunciado)) {
      return false;
    }
    cuerpo.append(datos, n);
    return true;
  });
  if (!leido) {
    devolver_cuerpo(cuerpo, apartado);
    r.estado = 400;
    r.cuerpo = "the body is not the length it announced\n";
    no_leer_mas();
    return false;
  }
  return true;
}

int fallar(const std::string &mensaje)
{
  std::fprintf(stderr, "fotonauta-servidor: %s\n", mensaje.c_str());
  return 1;
}

// A whole number of at most 9 digits, from `minimo` to `maximo`.
bool leer_entero(const std::string &v, int64_t minimo, int64_t maximo, int64_t &n)
{
  if (v.empty() || v.size() > 9 || v.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  n = std::atoll(v.c_str());
  return n >= minimo && n <= maximo;
}

// A time as --conservar takes it: days, or a number with s, m, h or d.
bool leer_duracion(std::string v, int64_t &segundos)
{
  int64_t unidad = 86400;
  const std::string unidades = "smhd";
  const int64_t valores[] = {1, 60, 3600, 86400};
  if (!v.empty() && unidades.find(v.back()) != std::string::npos) {
    unidad = valores[unidades.find(v.back())];
    v.pop_back();
  }
  int64_t n = 0;
  if (!leer_entero(v, 0, 100000000, n)) {
    return false;
  }
  segundos = n * unidad;
  return true;
}

// This program's own file, for the workers to be started from.
std::string este_programa(const char *argv0)
{
  char ruta[4096];
  const ssize_t n = readlink("/proc/self/exe", ruta, sizeof ruta - 1);
  return n > 0 ? std::string(ruta, static_cast<size_t>(n)) : std::string(argv0);
}

// An operator's act on the store named by `base`: hide or show a level
// or a game, bar a name, or list the reported levels and games. The exit
// status.
int operar(const std::string &base, const std::string &operacion, int64_t id, const std::string &nombre)
{
  std::string error;
  almacen *a = almacen_abrir(base, error);
  if (a == nullptr) {
    return fallar(error);
  }
  int estado = 0;
  if (operacion == "--denuncias") {
    std::vector<nivel_publicado> niveles;
    if (!almacen_denunciados(a, niveles, error)) {
      estado = fallar("cannot read the reported levels: " + error);
    }
    for (const nivel_publicado &n : niveles) {
      std::printf("%s\t%" PRId64 " report(s)\t%s\t%s by %s\n", id_nivel_texto(n.id).c_str(), n.denuncias,
                  n.oculto ? "hidden" : "shown", n.titulo.c_str(), n.creador.c_str());
    }
    if (estado == 0 && niveles.empty()) {
      std::printf("no level has been reported\n");
    }
    std::vector<partida_denunciada> partidas;
    if (estado == 0 && !almacen_partidas_denunciadas(a, partidas, error)) {
      estado = fallar("cannot read the reported games: " + error);
    }
    for (const partida_denunciada &p : partidas) {
      std::printf("game %" PRId64 "\t%" PRId64 " report(s)\t%s\t%s, %d points %s\n", p.id, p.denuncias,
                  p.oculta ? "hidden" : "shown", p.nombre.c_str(), static_cast<int>(p.puntos),
                  p.de_nivel ? ("on level " + id_nivel_texto(p.nivel)).c_str() : "on the world table");
    }
    if (estado == 0 && partidas.empty()) {
      std::printf("no game has been reported\n");
    }
  } else if (operacion == "--vetar") {
    if (!almacen_vetar(a, nombre, error)) {
      estado = fallar("cannot bar " + nombre + ": " + error);
    } else {
      std::printf("%s is barred: its games are on no board\n", nombre.c_str());
    }
  } else if (operacion == "--ocultar-partida" || operacion == "--mostrar-partida") {
    const bool ocultar = operacion == "--ocultar-partida";
    const resultado_busqueda r = almacen_ocultar_partida(a, id, ocultar, error);
    if (r == FALLO_ALMACEN) {
      estado = fallar("cannot change game " + std::to_string(id) + ": " + error);
    } else if (r == NINGUNA) {
      estado = fallar("no verified game " + std::to_string(id) + " in " + base);
    } else {
      std::printf("game %" PRId64 " is %s\n", id, ocultar ? "hidden: it is on no board" : "shown again");
    }
  } else {
    const bool ocultar = operacion == "--ocultar";
    const resultado_busqueda r = almacen_ocultar(a, id, ocultar, error);
    if (r == FALLO_ALMACEN) {
      estado = fallar("cannot change level " + id_nivel_texto(id) + ": " + error);
    } else if (r == NINGUNA) {
      estado = fallar("no level " + id_nivel_texto(id) + " in " + base);
    } else {
      std::printf("level %s is %s\n", id_nivel_texto(id).c_str(), ocultar ? "hidden: its pages answer 410" : "shown again");
    }
  }
  almacen_cerrar(a);
  return estado;
}

}  // namespace

int main(int argc, char **argv)
{
  // A recording's body (up to a megabyte) is mapped and given back to the
  // system when its request ends: with the threshold that glibc otherwise
  // raises after the first such free, the bodies of many uploads at once
  // stay in the heap for good.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  mallopt(M_ARENA_MAX, 4);
  int puerto = 80;
  std::string base = "fotonauta.db";
  opciones_cola cola_o;
  cola_o.programa = este_programa(argv[0]);
  cola_o.verificadores = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
  // --suelo-sin-base (for the load benchmark, not in --help): every upload
  // is answered 200 without touching the store, to measure the HTTP floor.
  bool suelo = false;
  // --verificador (not in --help): this process is one of the server's
  // workers. --pausa-verificador MS (tests only, not in --help): each
  // worker waits that long before each answer, so a test can stop one in
  // the middle of a job.
  bool verificador = false;
  // --ocultar, --mostrar or --denuncias: an operator's act on the store.
  std::string operacion;
  int64_t id_operador = 0;
  std::string nombre_operador;
  opciones_niveles niveles_o;
  bool recontar = false;
  for (int i = 1; i < argc; ++i) {
    const std::string opcion = argv[i];
    if (opcion == "--help") {
      std::fputs(AYUDA, stdout);
      return 0;
    }
    if (opcion == "--version") {
      std::printf("fotonauta-servidor %s\n", FOTONAUTA_VERSION);
      return 0;
    }
    const bool con_valor = opcion == "--puerto" || opcion == "--base" || opcion == "--verificadores" ||
                           opcion == "--conservar" || opcion == "--limite-verificacion" ||
                           opcion == "--pausa-verificador" || opcion == "--limite-niveles" ||
                           opcion == "--limite-repeticiones" || opcion == "--ocultar" ||
                           opcion == "--mostrar" || opcion == "--ocultar-partida" ||
                           opcion == "--mostrar-partida" || opcion == "--vetar";
    if (con_valor && i + 1 >= argc) {
      return fallar(opcion + " needs a value (see --help)");
    }
    int64_t n = 0;
    if (opcion == "--suelo-sin-base") {
      suelo = true;
    } else if (opcion == "--recontar") {
      recontar = true;
    } else if (opcion == "--verificador") {
      verificador = true;
    } else if (opcion == "--puerto") {
      const std::string v = argv[++i];
      if (!leer_entero(v, 1, 65535, n)) {
        return fallar("--puerto takes a port from 1 to 65535, not '" + v + "'");
      }
      puerto = static_cast<int>(n);
    } else if (opcion == "--base") {
      base = argv[++i];
      if (base.empty()) {
        return fallar("--base needs a file name");
      }
    } else if (opcion == "--verificadores") {
      const std::string v = argv[++i];
      if (!leer_entero(v, 0, 64, n)) {
        return fallar("--verificadores takes a number from 0 to 64, not '" + v + "'");
      }
      cola_o.verificadores = static_cast<int>(n);
    } else if (opcion == "--conservar") {
      const std::string v = argv[++i];
      if (!leer_duracion(v, cola_o.conservar_s)) {
        return fallar("--conservar takes a number of days, or a number with s, m, h or d, not '" + v + "'");
      }
    } else if (opcion == "--limite-verificacion") {
      const std::string v = argv[++i];
      if (!leer_entero(v, 1, 3600, n)) {
        return fallar("--limite-verificacion takes seconds from 1 to 3600, not '" + v + "'");
      }
      cola_o.limite_s = static_cast<int>(n);
    } else if (opcion == "--pausa-verificador") {
      const std::string v = argv[++i];
      if (!leer_entero(v, 0, 600000, n)) {
        return fallar("--pausa-verificador takes milliseconds, not '" + v + "'");
      }
      cola_o.pausa_ms = static_cast<int>(n);
    } else if (opcion == "--limite-niveles") {
      const std::string v = argv[++i];
      if (!leer_entero(v, 1, 1000000, n)) {
        return fallar("--limite-niveles takes a number from 1, not '" + v + "'");
      }
      niveles_o.publicaciones_por_hora = static_cast<int>(n);
    } else if (opcion == "--limite-repeticiones") {
      const std::string v = argv[++i];
      if (!leer_entero(v, 1, 1000000, n)) {
        return fallar("--limite-repeticiones takes a number from 1, not '" + v + "'");
      }
      repeticiones_por_minuto = static_cast<int>(n);
    } else if (opcion == "--ocultar" || opcion == "--mostrar") {
      const std::string v = argv[++i];
      if (!leer_id_nivel(v, id_operador)) {
        return fallar(opcion + " takes a level's ID, 16 lower-case hexadecimal digits, not '" + v + "'");
      }
      operacion = opcion;
    } else if (opcion == "--ocultar-partida" || opcion == "--mostrar-partida") {
      const std::string v = argv[++i];
      if (!leer_entero(v, 1, 999999999, id_operador)) {
        return fallar(opcion + " takes a game's number, not '" + v + "'");
      }
      operacion = opcion;
    } else if (opcion == "--vetar") {
      nombre_operador = argv[++i];
      if (plegar_nombre(nombre_operador).empty()) {
        return fallar("--vetar takes a name with a letter in it");
      }
      operacion = opcion;
    } else if (opcion == "--denuncias") {
      operacion = opcion;
    } else {
      return fallar("unknown option '" + opcion + "' (see --help)");
    }
  }
  if (verificador) {
    return verificador_main(cola_o.pausa_ms);
  }
  if (!operacion.empty()) {
    return operar(base, operacion, id_operador, nombre_operador);
  }
  configurar_niveles(niveles_o);

  // A worker that has gone is seen when its pipe ends, not through a signal.
  std::signal(SIGPIPE, SIG_IGN);
  std::string error;
  almacen *a = almacen_abrir(base, error);
  if (a == nullptr) {
    return fallar(error);
  }
  if (recontar) {
    const bool bien = almacen_recontar(a, error);
    almacen_cerrar(a);
    return bien ? 0 : fallar("cannot count the table again: " + error);
  }
  cola *c = cola_abrir(a, cola_o, error);
  if (c == nullptr) {
    almacen_cerrar(a);
    return fallar(error);
  }

  httplib::Server s;
  s.new_task_queue = [] { return new cola_acotada(HILOS); };
  // Only SO_REUSEADDR: the library also sets SO_REUSEPORT, which would let a
  // second server start on a port already in use and share its traffic.
  s.set_socket_options([](socket_t sock) {
    int si = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &si, sizeof si);
    socket_escucha = sock;
  });
  s.set_read_timeout(ESPERA_LECTURA_S, 0);
  s.set_write_timeout(ESPERA_ESCRITURA_S, 0);
  s.set_payload_max_length(MAX_CUERPO);
  s.set_keep_alive_max_count(PETICIONES_POR_CONEXION);
  s.set_keep_alive_timeout(ESPERA_SIGUIENTE_S);
  const auto cabeceras_grandes = [](const httplib::Request &peticion, httplib::Response &r) {
    size_t bytes = 0;
    for (const auto &x : peticion.headers) {
      bytes += x.first.size() + x.second.size() + 4;
    }
    if (peticion.headers.size() > MAX_CABECERAS || bytes > MAX_BYTES_CABECERAS) {
      r.status = 431;
      r.set_content("the request's headers are too large\n", "text/plain; charset=utf-8");
      return true;
    }
    return false;
  };
  const auto responder = [](const respuesta &x, httplib::Response &r) {
    r.status = x.estado;
    r.set_content(x.cuerpo, x.tipo.c_str());
    if (x.reintentar > 0) {
      r.set_header("Retry-After", std::to_string(x.reintentar));
    }
    if (!x.adjunto.empty()) {
      r.set_header("Content-Disposition", "attachment; filename=\"" + x.adjunto + "\"");
    }
    for (const auto &[nombre, valor] : x.cabeceras) {
      r.set_header(nombre, valor);
    }
  };
  s.Get(R"(.*)", [a, suelo, cabeceras_grandes, responder](const httplib::Request &peticion, httplib::Response &r) {
    if (cabeceras_grandes(peticion, r)) {
      return;
    }
    if (suelo && peticion.path == "/highscore.php") {
      r.status = 200;
      r.set_content("stored\n", "text/plain; charset=utf-8");
      return;
    }
    if (respuesta x; peticion.path.rfind("/web/", 0) == 0 &&
                     servir_web(peticion.path, peticion.get_header_value("Accept-Encoding").find("gzip") != std::string::npos, x)) {
      responder(x, r);
      return;
    }
    responder(atender(a, peticion.target, static_cast<int64_t>(std::time(nullptr)), peticion.remote_addr), r);
  });
  const auto consulta_de = [](const httplib::Request &peticion) {
    const size_t interrogacion = peticion.target.find('?');
    return interrogacion == std::string::npos ? std::string() : peticion.target.substr(interrogacion + 1);
  };
  const auto firma_de = [](const httplib::Request &peticion) {
    return firma_envio{peticion.get_header_value(CABECERA_CLAVE), peticion.get_header_value(CABECERA_FIRMA)};
  };
  // The community levels' posts: a level with its recording, a run for a
  // level's board (both closed after their answer, as a recording's
  // upload), and a report.
  // The uploads (a recording, a level with its recording, a level's run):
  // each connection closed after its answer, its body read only once there
  // is room for it among the bodies held at once.
  const auto subida = [cabeceras_grandes, responder](
                          std::function<respuesta(const httplib::Request &, const std::string &)> atender_subida) {
    return [cabeceras_grandes, responder, atender_subida](const httplib::Request &peticion, httplib::Response &r,
                                                          const httplib::ContentReader &leer) {
      r.set_header("Connection", "close");
      if (cabeceras_grandes(peticion, r)) {
        return;
      }
      respuesta x;
      std::string cuerpo;
      int64_t apartado = 0;
      if (leer_cuerpo(peticion, leer, cuerpo, apartado, x)) {
        x = atender_subida(peticion, cuerpo);
        devolver_cuerpo(cuerpo, apartado);
      }
      responder(x, r);
    };
  };
  s.Post("/api/niveles", subida([c, consulta_de, firma_de](const httplib::Request &peticion, const std::string &cuerpo) {
    return publicar_nivel(c, consulta_de(peticion), cuerpo, peticion.remote_addr,
                          static_cast<int64_t>(std::time(nullptr)), firma_de(peticion));
  }));
  s.Post(R"(/api/niveles/([0-9a-f]{16})/repeticiones)",
         subida([a, c, consulta_de, firma_de](const httplib::Request &peticion, const std::string &cuerpo) {
           int64_t id = 0;
           leer_id_nivel(peticion.matches[1].str(), id);
           return recibir_marca(c, a, id, consulta_de(peticion), cuerpo, peticion.remote_addr,
                                static_cast<int64_t>(std::time(nullptr)), firma_de(peticion));
         }));
  // A recording's connection is closed after its answer: the bytes it may
  // send are counted for one request (limite_lectura.cpp).
  s.Post("/api/repeticiones", subida([c, consulta_de, firma_de](const httplib::Request &peticion, const std::string &cuerpo) {
    return recibir_repeticion(c, consulta_de(peticion), cuerpo, static_cast<int64_t>(std::time(nullptr)),
                              peticion.remote_addr, firma_de(peticion));
  }));
  s.Post(R"(/niveles/([0-9a-f]{16})/denuncia)", [a, cabeceras_grandes, responder](const httplib::Request &peticion, httplib::Response &r) {
    if (cabeceras_grandes(peticion, r)) {
      return;
    }
    int64_t id = 0;
    leer_id_nivel(peticion.matches[1].str(), id);
    responder(denunciar_nivel(a, id, peticion.remote_addr), r);
  });
  // A verified game's report, from its row's button.
  s.Post(R"(/repeticiones/([0-9]{1,15})/denuncia)", [a, cabeceras_grandes, responder](const httplib::Request &peticion, httplib::Response &r) {
    if (cabeceras_grandes(peticion, r)) {
      return;
    }
    responder(denunciar_partida(a, std::atoll(peticion.matches[1].str().c_str()), peticion.remote_addr), r);
  });
  // A body the library would unpack (Content-Encoding: gzip, br) is
  // refused before it is read: unpacked it had no bound, and a megabyte
  // of it could fill a gigabyte of memory.
  // Every answer says its type is the one it names: a browser never
  // guesses another (a level's text read as a page, say).
  s.set_default_headers({{"X-Content-Type-Options", "nosniff"}});
  s.set_pre_routing_handler([](const httplib::Request &peticion, httplib::Response &r) {
    // A length and chunks both: where one request's body ends is what a
    // proxy in front and this server could read two ways, so neither is
    // taken, and nothing more is read from the connection.
    if (peticion.has_header("Content-Length") && peticion.has_header("Transfer-Encoding")) {
      r.status = 400;
      r.set_header("Connection", "close");
      no_leer_mas();
      r.set_content("a request may not carry both Content-Length and Transfer-Encoding\n", "text/plain; charset=utf-8");
      return httplib::Server::HandlerResponse::Handled;
    }
    const std::string codificacion = peticion.get_header_value("Content-Encoding");
    if (codificacion.empty() || codificacion == "identity") {
      return httplib::Server::HandlerResponse::Unhandled;
    }
    r.status = 415;
    r.set_header("Connection", "close");
    r.set_content("a body sent with Content-Encoding is not taken: send the recording as it is\n",
                  "text/plain; charset=utf-8");
    return httplib::Server::HandlerResponse::Handled;
  });
  // One Connection header: the library adds its own "close" (when the
  // client asked for it, or the connection has had its requests) to the
  // one a handler set; a connection to be closed is not kept alive.
  s.set_post_routing_handler([](const httplib::Request &, httplib::Response &r) {
    if (r.get_header_value_count("Connection") > 0 && r.get_header_value("Connection") == "close") {
      r.headers.erase("Connection");
      r.headers.erase("Keep-Alive");
      r.set_header("Connection", "close");
      no_leer_mas();
    }
  });
  // The library's own refusals (a body past the largest recording, a path
  // no handler takes) say why in one line, as the handler's do.
  s.set_error_handler([](const httplib::Request &, httplib::Response &r) {
    if (r.body.empty()) {
      r.set_content(r.status == 413 ? "the body is larger than the largest recording and level (" +
                                          std::to_string(MAX_CUERPO) + " bytes)\n"
                    : r.status == 404 ? std::string("not found\n")
                                      : std::to_string(r.status) + "\n",
                    "text/plain; charset=utf-8");
    }
  });

  // One line per request on standard error (the journal, under systemd):
  // who, the request line as it came, the status.
  s.set_logger([](const httplib::Request &q, const httplib::Response &r) {
    std::fprintf(stderr, "%s \"%s %s %s\" %d\n", q.remote_addr.c_str(), q.method.c_str(), q.target.c_str(),
                 q.version.c_str(), r.status);
  });

  if (!s.bind_to_port("0.0.0.0", puerto)) {
    const int causa = errno;
    cola_cerrar(c);
    almacen_cerrar(a);
    const std::string p = std::to_string(puerto);
    return fallar(causa == EADDRINUSE ? "port " + p + " is in use"
                  : causa == EACCES   ? "no right to listen on port " + p +
                                          " (below 1024 it needs root or CAP_NET_BIND_SERVICE)"
                                      : "cannot listen on port " + p + ": " + std::strerror(causa));
  }
  if (socket_escucha >= 0) {
    listen(socket_escucha, COLA_ESCUCHA);
  }
  servidor_activo = &s;
  std::signal(SIGINT, parar);
  std::signal(SIGTERM, parar);
  std::fprintf(stderr, "fotonauta-servidor: listening on port %d, table in %s, %d verifier(s)\n", puerto, base.c_str(),
               cola_o.verificadores);
  const bool bien = s.listen_after_bind();
  servidor_activo = nullptr;
  cola_cerrar(c);
  almacen_cerrar(a);
  return bien ? 0 : fallar("the server stopped on an error");
}
