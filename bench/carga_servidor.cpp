// carga_servidor: many clients uploading high-score rows to running score
// servers on loopback, each request on a new connection closed after the
// answer, as the game makes them. Prints what it measured:
//
//   peticiones N ok N errores N por_segundo X p50_ms X p99_ms X max_ms X
//   estados 200:N 503:N ...
//
// `errores` are requests with no HTTP answer (refused, cut, timed out);
// `ok` those answered 200. Row k of the run is name PREFIJO<k> with a code
// made here for that row; with several ports, each row is sent once to each
// of them, by different clients at nearly the same time. With --reconocidas,
// each row answered 200 is written to a file as "name<TAB>code", at once,
// so that the file is right even if the server is killed mid-run.
//
// With --ruta, GETs that path instead of uploading. With --repeticiones
// DIR, sends recordings instead (POST /api/repeticiones, as the game does
// after each row), each of those listed in DIR/lista.txt (grabar_partidas's
// list) in turn. With --ritmo R, the
// requests are offered at R a second in all (request k is due at k/R s) and
// each one's time runs from when it was due, so a server that falls
// behind shows it in the latency; without it every client sends its next
// request as soon as it has its answer (the most the server can take).
#include "codigo/codigo.h"
#include "identidad/identidad.h"

#include <sodium.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using reloj = std::chrono::steady_clock;

struct opciones {
  std::vector<int> puertos;
  int clientes = 16;
  int64_t peticiones = 1000;  // at most, in all
  double segundos = 60;       // at most, in all
  int64_t filas = -1;         // distinct rows; -1: one per request
  std::string prefijo = "carga";
  std::string ruta;           // GET this instead of uploading
  std::string repeticiones;   // send the recordings of this folder instead
  std::string reconocidas;    // file of the rows answered 200
  double ritmo = 0;           // requests a second offered; 0: as fast as answered
};

// One request on a new connection: the status, or -1 with no HTTP answer.
int pedir(int puerto, const std::string &peticion)
{
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) {
    return -1;
  }
  timeval espera{10, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &espera, sizeof espera);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &espera, sizeof espera);
  const int uno = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(puerto));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int estado = -1;
  if (connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
      send(s, peticion.data(), peticion.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(peticion.size())) {
    std::string respuesta;
    char b[4096];
    ssize_t n = 0;
    // To the end: the server closes the connection after its answer.
    while (respuesta.size() < (1u << 24) && (n = recv(s, b, sizeof b, 0)) > 0) {
      respuesta.append(b, static_cast<size_t>(n));
    }
    if (n == 0 && respuesta.rfind("HTTP/1.", 0) == 0 && respuesta.size() >= 12) {
      estado = std::atoi(respuesta.c_str() + 9);
    }
  }
  close(s);
  return estado;
}

std::string codificar(const std::string &s)
{
  std::string r;
  for (const char c : s) {
    const auto b = static_cast<uint8_t>(c);
    if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
      r += c;
    } else {
      char x[4];
      std::snprintf(x, sizeof x, "%%%02X", b);
      r += x;
    }
  }
  return r;
}

int uso()
{
  std::fputs("usage: carga_servidor --puerto P [--puerto P2 ...] [--clientes N] [--peticiones N]\n"
             "       [--segundos S] [--filas N] [--prefijo NAME] [--ruta PATH | --repeticiones DIR] [--reconocidas FILE]\n"
             "       [--ritmo REQUESTS_A_SECOND]\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char **argv)
{
  opciones o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i], v = argv[i + 1];
    if (k == "--puerto") {
      o.puertos.push_back(std::atoi(v.c_str()));
    } else if (k == "--clientes") {
      o.clientes = std::clamp(std::atoi(v.c_str()), 1, 1024);
    } else if (k == "--peticiones") {
      o.peticiones = std::atoll(v.c_str());
    } else if (k == "--segundos") {
      o.segundos = std::atof(v.c_str());
    } else if (k == "--filas") {
      o.filas = std::atoll(v.c_str());
    } else if (k == "--prefijo") {
      o.prefijo = v;
    } else if (k == "--ruta") {
      o.ruta = v;
    } else if (k == "--repeticiones") {
      o.repeticiones = v;
    } else if (k == "--ritmo") {
      o.ritmo = std::atof(v.c_str());
    } else if (k == "--reconocidas") {
      o.reconocidas = v;
    } else {
      return uso();
    }
  }
  if (argc % 2 == 0 || o.puertos.empty() || o.peticiones < 1) {
    return uso();
  }
  const auto puertos = static_cast<int64_t>(o.puertos.size());
  const int64_t filas = o.filas > 0 ? o.filas : (o.peticiones + puertos - 1) / puertos;

  // Every row's request made first: the codes carry the time they were
  // made, and a row sent twice must be the same row.
  std::vector<std::string> peticiones(static_cast<size_t>(o.ruta.empty() ? filas : 1));
  std::vector<std::string> reconocida(peticiones.size());
  if (!o.ruta.empty()) {
    peticiones[0] = "GET " + o.ruta + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  }
  if (!o.repeticiones.empty()) {
    peticiones.clear();
    std::ifstream lista(o.repeticiones + "/lista.txt");
    std::string linea;
    while (std::getline(lista, linea)) {
      // CODE, NAME, points, levels, frames, FILE
      std::vector<std::string> campos;
      std::istringstream l(linea);
      for (std::string c; std::getline(l, c, '\t');) {
        campos.push_back(c);
      }
      if (campos.size() < 6) {
        continue;
      }
      const std::string &codigo = campos[0];
      std::string nombre = campos[1];
      nombre.resize(static_cast<size_t>(LONG_NOMBRE), ' ');
      std::ifstream f(o.repeticiones + "/" + campos[5], std::ios::binary);
      std::ostringstream cuerpo;
      cuerpo << f.rdbuf();
      // Signed as the game signs, every player by one key: the bench's.
      static unsigned char publica[crypto_sign_PUBLICKEYBYTES], secreta[crypto_sign_SECRETKEYBYTES];
      static const bool hecha = [] {
        unsigned char semilla[crypto_sign_SEEDBYTES] = {7};
        return sodium_init() >= 0 && crypto_sign_seed_keypair(publica, secreta, semilla) == 0;
      }();
      const std::string mensaje = mensaje_firmado("/api/repeticiones", latin1_a_utf8(campos[1]), cuerpo.str());
      unsigned char firma[crypto_sign_BYTES];
      crypto_sign_detached(firma, nullptr, reinterpret_cast<const unsigned char *>(mensaje.data()), mensaje.size(),
                           secreta);
      const auto hex = [](const unsigned char *b, size_t n) {
        std::string t;
        for (size_t i = 0; i < n; ++i) {
          t += "0123456789abcdef"[b[i] >> 4];
          t += "0123456789abcdef"[b[i] & 15];
        }
        return t;
      };
      peticiones.push_back("POST /api/repeticiones?yourname=" + codificar(nombre) + "&code=" + codificar(codigo) +
                           " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Type: "
                           "application/x-fotonauta-repeticion\r\n" + (hecha ? std::string(CABECERA_CLAVE) + ": " +
                           hex(publica, sizeof publica) + "\r\n" + CABECERA_FIRMA + ": " + hex(firma, sizeof firma) +
                           "\r\n" : std::string()) + "Content-Length: " +
                           std::to_string(cuerpo.str().size()) + "\r\n\r\n" + cuerpo.str());
    }
    if (peticiones.empty()) {
      std::fprintf(stderr, "carga_servidor: no recordings listed in %s/lista.txt\n", o.repeticiones.c_str());
      return 2;
    }
    reconocida.assign(peticiones.size(), "");
  }
  for (int64_t k = 0; o.ruta.empty() && o.repeticiones.empty() && k < filas; ++k) {
    std::string nombre = o.prefijo + std::to_string(k);
    nombre.resize(static_cast<size_t>(LONG_NOMBRE), ' ');
    const int32_t valores[NUM_VALORES_PUNTUACION] = {static_cast<int32_t>(1 + k % 20000),
                                                     static_cast<int32_t>(k % (MAX_FASES_CODIGO + 1))};
    char codigo[48];
    uuencode_generic(codigo, ID_CODIGO_PUNTUACION, NUM_VALORES_PUNTUACION, valores, BYTES_PUNTUACION);
    const auto i = static_cast<size_t>(k);
    peticiones[i] = "GET /highscore.php?yourname=" + codificar(nombre) + "&code=" + codificar(codigo) +
                    " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\nUser-Agent: carga_servidor\r\n\r\n";
    std::string sin_blancos = nombre;
    sin_blancos.erase(sin_blancos.find_last_not_of(' ') + 1);
    reconocida[i] = sin_blancos + "\t" + codigo + "\n";
  }

  std::FILE *f = nullptr;
  if (!o.reconocidas.empty() && (f = std::fopen(o.reconocidas.c_str(), "w")) == nullptr) {
    std::perror(o.reconocidas.c_str());
    return 2;
  }

  std::atomic<int64_t> siguiente{0};
  std::mutex cerrojo;
  std::vector<double> tiempos;
  std::map<int, int64_t> estados;
  const auto inicio = reloj::now();
  const auto plazo = inicio + std::chrono::duration<double>(o.segundos);
  std::vector<std::thread> hilos;
  for (int h = 0; h < o.clientes; ++h) {
    hilos.emplace_back([&] {
      std::vector<double> mios;
      std::map<int, int64_t> suyos;
      int64_t k;
      while ((k = siguiente++) < o.peticiones && reloj::now() < plazo) {
        const auto fila = static_cast<size_t>((k / puertos) % static_cast<int64_t>(peticiones.size()));
        auto t0 = reloj::now();
        if (o.ritmo > 0) {
          t0 = inicio + std::chrono::duration_cast<reloj::duration>(
                            std::chrono::duration<double>(static_cast<double>(k) / o.ritmo));
          std::this_thread::sleep_until(t0);
        }
        const int e = pedir(o.puertos[static_cast<size_t>(k % puertos)], peticiones[fila]);
        mios.push_back(std::chrono::duration<double, std::milli>(reloj::now() - t0).count());
        ++suyos[e];
        if (e == 200 && f != nullptr) {
          std::lock_guard<std::mutex> l(cerrojo);
          std::fputs(reconocida[fila].c_str(), f);
          std::fflush(f);
        }
      }
      std::lock_guard<std::mutex> l(cerrojo);
      tiempos.insert(tiempos.end(), mios.begin(), mios.end());
      for (const auto &[e, n] : suyos) {
        estados[e] += n;
      }
    });
  }
  for (std::thread &h : hilos) {
    h.join();
  }
  const double segundos = std::chrono::duration<double>(reloj::now() - inicio).count();
  if (f != nullptr) {
    std::fclose(f);
  }

  std::sort(tiempos.begin(), tiempos.end());
  const auto percentil = [&](double p) {
    return tiempos.empty() ? 0.0 : tiempos[std::min(tiempos.size() - 1, static_cast<size_t>(p * tiempos.size()))];
  };
  const auto n = static_cast<int64_t>(tiempos.size());
  std::printf("peticiones %lld ok %lld errores %lld por_segundo %.1f p50_ms %.3f p99_ms %.3f max_ms %.3f\n",
              static_cast<long long>(n), static_cast<long long>(estados[200]), static_cast<long long>(estados[-1]),
              static_cast<double>(n) / segundos, percentil(0.50), percentil(0.99), tiempos.empty() ? 0.0 : tiempos.back());
  std::printf("estados");
  for (const auto &[e, c] : estados) {
    if (c > 0) {
      std::printf(" %d:%lld", e, static_cast<long long>(c));
    }
  }
  std::printf("\n");
  return 0;
}
