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
#include <dlfcn.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>

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
  if (leidos[s] > MAX_BYTES_CONEXION || segundos() - aceptada[s] > MAX_SEGUNDOS_CONEXION) {
    return 0;
  }
  const ssize_t r = original(s, datos, n, banderas);
  if (r > 0) {
    leidos[s] += r;
  }
  return r;
}

extern "C" int close(int s)
{
  static const auto original = real<int (*)(int)>("close");
  if (s >= 0 && s < MAX_DESCRIPTOR) {
    leidos[s] = 0;
  }
  return original(s);
}
