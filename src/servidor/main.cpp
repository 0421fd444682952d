// fotonauta-servidor: the score server program. Reads its options, opens
// the store and serves HTTP with cpp-httplib until it is told to stop.
#include "servidor/servidor.h"

#include <httplib.h>

#include <dlfcn.h>
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
constexpr int HILOS = 16;
constexpr size_t EN_ESPERA = 256;
constexpr time_t ESPERA_LECTURA_S = 5;
constexpr time_t ESPERA_ESCRITURA_S = 5;
constexpr size_t MAX_CUERPO = 0;
// The game sends up to nine rows over one connection.
constexpr size_t PETICIONES_POR_CONEXION = 16;
constexpr time_t ESPERA_SIGUIENTE_S = 2;

const char *const AYUDA =
    "Usage: fotonauta-servidor [--puerto N] [--base FILE]\n"
    "The fotonauta score server: takes the high scores the game uploads and\n"
    "shows the world table on a web page.\n"
    "\n"
    "  --puerto N   listen on TCP port N (default 80)\n"
    "  --base FILE  keep the table in the SQLite database FILE\n"
    "               (default fotonauta.db in the working folder)\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "GET /                          the world table as a web page\n"
    "GET /api/puntuaciones?desde=N&cuantos=M\n"
    "                               ranks N to N+M-1 as JSON\n"
    "GET /highscore.php?yourname=NAME&code=CODE\n"
    "                               the game's upload\n";

// What one request may send before it is answered: request line and
// headers (the game's request is some 200 bytes). The library bounds each
// line but not how many lines come, so a client could fill the memory with
// headers; `recv` below counts the bytes of the request being read on each
// thread and fails once there are more, which ends the connection.
constexpr size_t MAX_BYTES_PETICION = 64 * 1024;
thread_local size_t bytes_peticion = 0;

// Called when a request has been answered, or a connection taken up.
void nueva_peticion() { bytes_peticion = 0; }

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
      nueva_peticion();
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

// The C library's recv, in front of which the library's reads of requests
// pass (it calls recv on every socket; this program has no other sockets
// it reads from).
extern "C" ssize_t recv(int socket, void *destino, size_t largo, int banderas)
{
  using recv_t = ssize_t (*)(int, void *, size_t, int);
  static const auto recv_libc = reinterpret_cast<recv_t>(dlsym(RTLD_NEXT, "recv"));
  const bool mirar = (banderas & MSG_PEEK) != 0;
  if (!mirar && bytes_peticion >= MAX_BYTES_PETICION) {
    errno = ECONNRESET;
    return -1;
  }
  const size_t cabe = mirar ? largo : std::min(largo, MAX_BYTES_PETICION - bytes_peticion);
  const ssize_t n = recv_libc(socket, destino, cabe, banderas);
  if (n > 0 && !mirar) {
    bytes_peticion += static_cast<size_t>(n);
  }
  return n;
}

int main(int argc, char **argv)
{
  int puerto = 80;
  std::string base = "fotonauta.db";
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
    if (opcion == "--puerto") {
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
  });
  s.set_read_timeout(ESPERA_LECTURA_S, 0);
  s.set_write_timeout(ESPERA_ESCRITURA_S, 0);
  s.set_payload_max_length(MAX_CUERPO);
  s.set_keep_alive_max_count(PETICIONES_POR_CONEXION);
  s.set_keep_alive_timeout(ESPERA_SIGUIENTE_S);
  s.Get(R"(.*)", [a](const httplib::Request &peticion, httplib::Response &r) {
    const respuesta x = atender(a, peticion.target, static_cast<int64_t>(std::time(nullptr)));
    r.status = x.estado;
    r.set_content(x.cuerpo, x.tipo.c_str());
  });

  // One line per request on standard error (the journal, under systemd):
  // who, the request line as it came, the status.
  s.set_logger([](const httplib::Request &q, const httplib::Response &r) {
    std::fprintf(stderr, "%s \"%s %s %s\" %d\n", q.remote_addr.c_str(), q.method.c_str(), q.target.c_str(),
                 q.version.c_str(), r.status);
    // After a refusal the budget is not renewed: a client sending endless
    // headers gets its 400 and then the end of the connection.
    if (r.status < 400) {
      nueva_peticion();
    }
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
  servidor_activo = &s;
  std::signal(SIGINT, parar);
  std::signal(SIGTERM, parar);
  std::fprintf(stderr, "fotonauta-servidor: listening on port %d, table in %s\n", puerto, base.c_str());
  const bool bien = s.listen_after_bind();
  servidor_activo = nullptr;
  almacen_cerrar(a);
  return bien ? 0 : fallar("the server stopped on an error");
}
