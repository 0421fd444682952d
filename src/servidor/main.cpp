// fotonauta-servidor: the score server program. Reads its options, opens
// the store and serves HTTP with cpp-httplib until it is told to stop.
#include "servidor/servidor.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

namespace {

// Limits on what one client may take: a request has 5 seconds for each
// read, no body is accepted, and at most HILOS requests are served at
// once, with at most EN_ESPERA more accepted and waiting. Past that the
// server stops accepting, and the kernel's listen queue refuses the rest.
// Request lines and headers are bounded by the library (8 KiB each).
constexpr int HILOS = 64;
constexpr size_t EN_ESPERA = 256;
constexpr time_t ESPERA_LECTURA_S = 5;
constexpr time_t ESPERA_ESCRITURA_S = 5;
constexpr size_t MAX_CUERPO = 0;
// The game sends up to nine rows over one connection.
constexpr size_t PETICIONES_POR_CONEXION = 16;
constexpr time_t ESPERA_SIGUIENTE_S = 2;
// The library refuses a request line past 8 KiB (414) and a header line
// past 8 KiB, but not many header lines: past these the request gets 431.
// The game sends four headers.
constexpr size_t MAX_CABECERAS = 64;
constexpr size_t MAX_BYTES_CABECERAS = 8192;

const char *const AYUDA =
    "Usage: fotonauta-servidor [--puerto N] [--base FILE]\n"
    "The fotonauta score server: takes the high scores the game uploads and\n"
    "shows the world table on a web page.\n"
    "\n"
    "  --puerto N   listen on TCP port N (default 80)\n"
    "  --base FILE  keep the table in the SQLite database FILE\n"
    "               (default fotonauta.db in the working folder)\n"
    "  --base postgresql://...\n"
    "               keep it in PostgreSQL (any libpq connection URI); any\n"
    "               number of servers may share one database\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "GET /                          the world table as a web page\n"
    "GET /api/puntuaciones?desde=N&cuantos=M\n"
    "                               ranks N to N+M-1 as JSON\n"
    "GET /highscore.php?yourname=NAME&code=CODE\n"
    "                               the game's upload\n";

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

// Runs each accepted connection on one of a fixed set of threads; when all
// are busy and the waiting list is full, the accepting thread waits, so
// the connections held in memory stay bounded.
class cola_acotada : public httplib::TaskQueue {
 public:
  explicit cola_acotada(int hilos)
  {
    for (int i = 0; i < hilos; ++i) {
      hilos_.emplace_back([this] { trabajar(); });
    }
  }
  void enqueue(std::function<void()> tarea) override
  {
    std::unique_lock<std::mutex> l(cerrojo_);
    hueco_.wait(l, [this] { return tareas_.size() < EN_ESPERA || fin_; });
    tareas_.push_back(std::move(tarea));
    hay_tarea_.notify_one();
  }
  void shutdown() override
  {
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
  std::vector<std::thread> hilos_;
  std::deque<std::function<void()>> tareas_;
  std::mutex cerrojo_;
  std::condition_variable hay_tarea_, hueco_;
  bool fin_ = false;
};

int fallar(const std::string &mensaje)
{
  std::fprintf(stderr, "fotonauta-servidor: %s\n", mensaje.c_str());
  return 1;
}

}  // namespace

int main(int argc, char **argv)
{
  int puerto = 80;
  std::string base = "fotonauta.db";
  // --suelo-sin-base (for the load benchmark, not in --help): every upload
  // is answered 200 without touching the store, to measure the HTTP floor.
  bool suelo = false;
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
    if ((opcion == "--puerto" || opcion == "--base") && i + 1 >= argc) {
      return fallar(opcion + " needs a value (see --help)");
    }
    if (opcion == "--suelo-sin-base") {
      suelo = true;
    } else if (opcion == "--puerto") {
      const std::string v = argv[++i];
      if (v.empty() || v.size() > 5 || v.find_first_not_of("0123456789") != std::string::npos ||
          std::atoi(v.c_str()) < 1 || std::atoi(v.c_str()) > 65535) {
        return fallar("--puerto takes a port from 1 to 65535, not '" + v + "'");
      }
      puerto = std::atoi(v.c_str());
    } else if (opcion == "--base") {
      base = argv[++i];
      if (base.empty()) {
        return fallar("--base needs a file name");
      }
    } else {
      return fallar("unknown option '" + opcion + "' (see --help)");
    }
  }

  std::string error;
  almacen *a = almacen_abrir(base, error);
  if (a == nullptr) {
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
  s.Get(R"(.*)", [a, suelo](const httplib::Request &peticion, httplib::Response &r) {
    size_t bytes = 0;
    for (const auto &c : peticion.headers) {
      bytes += c.first.size() + c.second.size() + 4;
    }
    if (peticion.headers.size() > MAX_CABECERAS || bytes > MAX_BYTES_CABECERAS) {
      r.status = 431;
      r.set_content("the request's headers are too large\n", "text/plain; charset=utf-8");
      return;
    }
    if (suelo && peticion.path == "/highscore.php") {
      r.status = 200;
      r.set_content("stored\n", "text/plain; charset=utf-8");
      return;
    }
    const respuesta x = atender(a, peticion.target, static_cast<int64_t>(std::time(nullptr)));
    r.status = x.estado;
    r.set_content(x.cuerpo, x.tipo.c_str());
  });

  // One line per request on standard error (the journal, under systemd):
  // who, the request line as it came, the status.
  s.set_logger([](const httplib::Request &q, const httplib::Response &r) {
    std::fprintf(stderr, "%s \"%s %s %s\" %d\n", q.remote_addr.c_str(), q.method.c_str(), q.target.c_str(),
                 q.version.c_str(), r.status);
  });

  if (!s.bind_to_port("0.0.0.0", puerto)) {
    const int causa = errno;
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
  std::fprintf(stderr, "fotonauta-servidor: listening on port %d, table in %s\n", puerto, base.c_str());
  const bool bien = s.listen_after_bind();
  servidor_activo = nullptr;
  almacen_cerrar(a);
  return bien ? 0 : fallar("the server stopped on an error");
}
