// A bound on what one HTTP connection may send the server in all, and on
// how long it may take.
//
// The HTTP library bounds each header line (8 KiB) but not how many lines
// it keeps: a client that never ends its headers grows the server's memory
// by two bytes for every byte it sends. The library takes its connections
// with accept() and reads them with recv(), so the program puts its own
// versions of those two (and of close()) in front of the C library's: a
// connection that was accepted and has sent more than MAX_BYTES_CONEXION,
// or is still being read MAX_SEGUNDOS_CONEXION after it was accepted, is
// read as closed, and the library drops it. The second bound is for a
// client that sends a byte now and then: the library's read time-out
// restarts with every byte, so one such client would hold a request thread
// for as long as it liked. Other sockets (the database's) were never
// accepted and are not counted.
//
// A connection that starts with an upload to the API (POST /api/...: a
// recording, a level with its recording, a level's run) may send, once
// its head has ended, the largest recording and level besides; the server
// closes it after that one answer.
//
// A connection waits for its request's head in the waiting room (one
// thread, epoll), not on a request thread: only a connection whose head
// has come whole (or that ended, sent too much, or outlived its time) is
// handed to the request threads. So clients that trickle their heads hold
// no thread, and the page is served beside them.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "repeticion/repeticion.h"
#include "servidor/servidor.h"

namespace {

// Up to 16 requests on one connection, each far below this; the game's
// upload is about 200 bytes.
constexpr int64_t MAX_BYTES_CONEXION = 64 * 1024;
// The game's connection lasts well under a second; a browser's, with its
// keep-alive, a few.
constexpr int64_t MAX_SEGUNDOS_CONEXION = 10;

// Bytes read so far from each accepted connection, plus one; 0 for a
// descriptor that is not one. Descriptors past the table are not counted.
constexpr int MAX_DESCRIPTOR = 65536;
std::atomic<int64_t> leidos[MAX_DESCRIPTOR];
// When each accepted connection was accepted, in steady-clock seconds.
std::atomic<int64_t> aceptada[MAX_DESCRIPTOR];

// Where each connection's head stands: still matching a recording's
// upload, another request, or a recording's upload whose head has ended
// (and which may then read up to limite[] bytes in all). The last four
// bytes read are kept to see the blank line that ends a head.
enum : uint8_t { CABEZA_POST = 0, OTRA = 1, CUERPO_REPETICION = 2 };
std::atomic<uint8_t> fase[MAX_DESCRIPTOR];
std::atomic<uint32_t> ultimos[MAX_DESCRIPTOR];
std::atomic<int64_t> limite[MAX_DESCRIPTOR];
// The accepted connection this thread read last: the one whose request it
// is answering; and the one it accepted last (the listening thread's).
thread_local int leida_ultima = -1;
thread_local int aceptada_ultima = -1;
const char PETICION_REPETICION[] = "POST /api/";
constexpr int64_t LARGO_PETICION_REPETICION = sizeof PETICION_REPETICION - 1;
// A recording's body, and room for its chunks' framing.
constexpr int64_t MAX_CUERPO_REPETICION = MAX_BYTES_REPETICION + MAX_BYTES_NIVEL + 64 * 1024;

// Follows a connection's head through the bytes just read from it, the
// first of them at `posicion` of all it has sent.
void seguir_cabeza(int s, const char *datos, ssize_t n, int64_t posicion)
{
  uint8_t f = fase[s];
  uint32_t u = ultimos[s];
  for (ssize_t k = 0; k < n && f == CABEZA_POST; ++k, ++posicion) {
    const char c = datos[k];
    if (posicion < LARGO_PETICION_REPETICION && c != PETICION_REPETICION[posicion]) {
      f = OTRA;
      break;
    }
    u = (u << 8) | static_cast<uint8_t>(c);
    if (u == 0x0d0a0d0a) {
      f = CUERPO_REPETICION;
      limite[s] = posicion + 1 + MAX_CUERPO_REPETICION;
    }
  }
  fase[s] = f;
  ultimos[s] = u;
}

int64_t segundos()
{
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

template <typename F>
F real(const char *nombre)
{
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, nombre));
}

}  // namespace

extern "C" int accept(int s, sockaddr *direccion, socklen_t *largo)
{
  static const auto original = real<int (*)(int, sockaddr *, socklen_t *)>("accept");
  const int c = original(s, direccion, largo);
  aceptada_ultima = c;
  if (c >= 0 && c < MAX_DESCRIPTOR) {
    aceptada[c] = segundos();
    fase[c] = CABEZA_POST;
    ultimos[c] = 0;
    leidos[c] = 1;
  }
  return c;
}

extern "C" ssize_t recv(int s, void *datos, size_t n, int banderas)
{
  static const auto original = real<ssize_t (*)(int, void *, size_t, int)>("recv");
  if (s < 0 || s >= MAX_DESCRIPTOR || leidos[s] == 0) {
    return original(s, datos, n, banderas);
  }
  leida_ultima = s;
  const int64_t tope = fase[s] == CUERPO_REPETICION ? limite[s].load() : MAX_BYTES_CONEXION;
  if (leidos[s] > tope || segundos() - aceptada[s] > MAX_SEGUNDOS_CONEXION) {
    return 0;
  }
  const ssize_t r = original(s, datos, n, banderas);
  if (r > 0) {
    if (fase[s] == CABEZA_POST && (banderas & MSG_PEEK) == 0) {
      seguir_cabeza(s, static_cast<const char *>(datos), r, leidos[s] - 1);
    }
    leidos[s] += r;
  }
  return r;
}

void no_leer_mas()
{
  const int s = leida_ultima;
  if (s >= 0 && s < MAX_DESCRIPTOR && leidos[s] != 0) {
    fase[s] = OTRA;
    leidos[s] = MAX_BYTES_CONEXION + 1;
  }
}

extern "C" int close(int s)
{
  static const auto original = real<int (*)(int)>("close");
  if (s >= 0 && s < MAX_DESCRIPTOR) {
    leidos[s] = 0;
  }
  return original(s);
}

int ultima_aceptada() { return aceptada_ultima; }

// ---------------------------------------------------------------------------
// The waiting room
// ---------------------------------------------------------------------------

namespace {

// A head is looked for in the first bytes a connection has sent; past
// them it is handed over, and the request thread refuses it (431, 414).
constexpr size_t MIRADA_CABEZA = 16 * 1024;

}  // namespace

struct sala_espera {
  std::function<void(std::function<void()>)> entregar;
  size_t maximo;
  int epoll = -1;
  int aviso[2] = {-1, -1};  // a pipe that wakes the thread to end
  std::mutex cerrojo;
  std::condition_variable hueco;
  std::unordered_map<int, std::function<void()>> esperando;
  bool fin = false;
  std::thread hilo;
};

namespace {

// Whether the connection's head has come whole, or it is to be handed
// over anyway: ended, failed, too much, or too old.
bool lista(int fd)
{
  static const auto recv_real = real<ssize_t (*)(int, void *, size_t, int)>("recv");
  static thread_local char mirada[MIRADA_CABEZA];
  const ssize_t n = recv_real(fd, mirada, sizeof mirada, MSG_PEEK | MSG_DONTWAIT);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
    return true;
  }
  if (n > 0 && (static_cast<size_t>(n) == sizeof mirada || memmem(mirada, static_cast<size_t>(n), "\r\n\r\n", 4) != nullptr ||
                memmem(mirada, static_cast<size_t>(n), "\n\n", 2) != nullptr)) {
    return true;
  }
  return fd >= MAX_DESCRIPTOR || segundos() - aceptada[fd] > MAX_SEGUNDOS_CONEXION;
}

void entregar_de(sala_espera *s, int fd)
{
  std::function<void()> tarea;
  {
    std::lock_guard<std::mutex> l(s->cerrojo);
    auto x = s->esperando.find(fd);
    if (x == s->esperando.end()) {
      return;
    }
    tarea = std::move(x->second);
    s->esperando.erase(x);
  }
  epoll_ctl(s->epoll, EPOLL_CTL_DEL, fd, nullptr);
  s->hueco.notify_one();
  s->entregar(std::move(tarea));
}

void vigilar(sala_espera *s)
{
  epoll_event eventos[256];
  int64_t repaso = segundos();
  for (;;) {
    const int n = epoll_wait(s->epoll, eventos, 256, 1000);
    {
      std::lock_guard<std::mutex> l(s->cerrojo);
      if (s->fin) {
        return;
      }
    }
    for (int i = 0; i < n; ++i) {
      const int fd = eventos[i].data.fd;
      if (fd != s->aviso[0] && lista(fd)) {
        entregar_de(s, fd);
      }
    }
    // Once a second, the connections that outlived their time.
    if (segundos() != repaso) {
      repaso = segundos();
      std::vector<int> viejas;
      {
        std::lock_guard<std::mutex> l(s->cerrojo);
        for (const auto &[fd, tarea] : s->esperando) {
          if (fd >= MAX_DESCRIPTOR || repaso - aceptada[fd] > MAX_SEGUNDOS_CONEXION) {
            viejas.push_back(fd);
          }
        }
      }
      for (const int fd : viejas) {
        entregar_de(s, fd);
      }
    }
  }
}

}  // namespace

sala_espera *abrir_sala(size_t maximo, std::function<void(std::function<void()>)> entregar)
{
  auto *s = new sala_espera;
  s->entregar = std::move(entregar);
  s->maximo = maximo;
  s->epoll = epoll_create1(EPOLL_CLOEXEC);
  if (s->epoll < 0 || pipe2(s->aviso, O_CLOEXEC) != 0) {
    delete s;
    return nullptr;
  }
  epoll_event e{};
  e.events = EPOLLIN;
  e.data.fd = s->aviso[0];
  epoll_ctl(s->epoll, EPOLL_CTL_ADD, s->aviso[0], &e);
  s->hilo = std::thread(vigilar, s);
  return s;
}

void sala_recibir(sala_espera *s, int fd, std::function<void()> tarea)
{
  {
    std::unique_lock<std::mutex> l(s->cerrojo);
    s->hueco.wait(l, [s] { return s->esperando.size() < s->maximo || s->fin; });
    if (s->fin) {
      l.unlock();
      s->entregar(std::move(tarea));
      return;
    }
    s->esperando[fd] = std::move(tarea);
  }
  // Edge-triggered: told when more comes, not again for what is there.
  epoll_event e{};
  e.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
  e.data.fd = fd;
  epoll_ctl(s->epoll, EPOLL_CTL_ADD, fd, &e);
  // What came before it was watched.
  if (lista(fd)) {
    entregar_de(s, fd);
  }
}

void cerrar_sala(sala_espera *s)
{
  {
    std::lock_guard<std::mutex> l(s->cerrojo);
    s->fin = true;
  }
  s->hueco.notify_all();
  const char x = 0;
  (void)!write(s->aviso[1], &x, 1);
  s->hilo.join();
  // The ones still waiting are handed over to be closed: nothing more is
  // read from them.
  for (auto &[fd, tarea] : s->esperando) {
    shutdown(fd, SHUT_RD);
    s->entregar(std::move(tarea));
  }
  close(s->epoll);
  close(s->aviso[0]);
  close(s->aviso[1]);
  delete s;
}
