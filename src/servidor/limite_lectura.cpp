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
#include <dlfcn.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>

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
// is answering.
thread_local int leida_ultima = -1;
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
