// The score server under measure: uploads per second, each on a new
// connection as the game makes them, and the time to serve the first page
// of a table of 1,000,000 scores; and the community levels: the gallery's
// first page with 100,000 levels stored, a level's page whose board holds
// 1,000,000 runs, a board's picture from the cache and drawn anew. bench/run
// runs it.
//
//   bench_servidor SERVER_PROGRAM FOLDER
//
// Prints "NAME MEAN MEDIAN BEST WORST" lines: subidas_por_segundo (one
// figure per round of uploads), primera_pagina_ms, galeria_ms, tabla_nivel_ms,
// imagen_cache_ms, imagen_nueva_ms, plus "filas N".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "codigo/codigo.h"
#include "nucleo/nucleo.h"
#include "servidor/servidor.h"

namespace {

using reloj = std::chrono::steady_clock;

constexpr int64_t FILAS_TABLA = 1000000;
constexpr int RONDAS_SUBIDA = 5;
constexpr int SUBIDAS_POR_RONDA = 400;
constexpr int CLIENTES = 4;
constexpr int PAGINAS = 30;
constexpr int64_t NIVELES = 100000;
constexpr int64_t MARCAS = 1000000;
// The level whose board holds the MARCAS runs.
constexpr int64_t NIVEL_GRANDE = 0x0123456789abcdefLL;

[[noreturn]] void fallar(const std::string &que)
{
  std::fprintf(stderr, "bench_servidor: %s\n", que.c_str());
  std::exit(1);
}

// One request on a new connection; the reply's status, -1 on failure.
int pedir(int puerto, const std::string &objetivo, std::string *cuerpo = nullptr)
{
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in d{};
  d.sin_family = AF_INET;
  d.sin_port = htons(static_cast<uint16_t>(puerto));
  d.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval espera{10, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &espera, sizeof espera);
  if (connect(s, reinterpret_cast<sockaddr *>(&d), sizeof d) != 0) {
    close(s);
    return -1;
  }
  const std::string peticion = "GET " + objetivo + " HTTP/1.0\r\nUser-Agent: InetURL/1.0\r\n\r\n";
  if (send(s, peticion.data(), peticion.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(peticion.size())) {
    close(s);
    return -1;
  }
  std::string r;
  char trozo[65536];
  for (ssize_t n; (n = recv(s, trozo, sizeof trozo, 0)) > 0;) {
    r.append(trozo, static_cast<size_t>(n));
  }
  close(s);
  if (r.compare(0, 9, "HTTP/1.1 ") != 0 && r.compare(0, 9, "HTTP/1.0 ") != 0) {
    return -1;
  }
  if (cuerpo != nullptr) {
    const size_t fin = r.find("\r\n\r\n");
    *cuerpo = fin == std::string::npos ? "" : r.substr(fin + 4);
  }
  return std::atoi(r.c_str() + 9);
}

// A table of FILAS_TABLA scores, made through the store once (for the
// schema) and then filled in one transaction.
void llenar(const std::string &base)
{
  std::string error;
  almacen *a = almacen_abrir(base, error);
  if (a == nullptr) {
    fallar(error);
  }
  almacen_cerrar(a);
  sqlite3 *db = nullptr;
  if (sqlite3_open(base.c_str(), &db) != SQLITE_OK) {
    fallar("cannot open " + base);
  }
  sqlite3_exec(db, "PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt *st = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO puntuaciones (nombre, codigo, puntos, fases, trampa, recibida)"
                     " VALUES (?1, ?2, ?3, ?4, 0, 1700000000)",
                     -1, &st, nullptr);
  std::mt19937 azar(12345);
  for (int64_t i = 0; i < FILAS_TABLA; ++i) {
    const int32_t fases = static_cast<int32_t>(azar() % 61);
    const int32_t puntos = 1 + static_cast<int32_t>(azar() % static_cast<uint32_t>(puntos_maximos(fases)));
    const std::string nombre = "Jugador " + std::to_string(i);
    const std::string cod = "relleno" + std::to_string(i);
    sqlite3_bind_text(st, 1, nombre.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, cod.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 3, puntos);
    sqlite3_bind_int(st, 4, fases);
    if (sqlite3_step(st) != SQLITE_DONE) {
      fallar(std::string("filling the table: ") + sqlite3_errmsg(db));
    }
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  // The levels: every one the text of a stored level under its own title,
  // with plays and wins drawn at random.
  sqlite3_prepare_v2(db,
                     "INSERT INTO niveles (id, titulo, idea, autor, texto, buscar, publicado, jugadas, victorias, mejor,"
                     " denuncias, oculto) VALUES (?1, ?2, 'An idea', ?3, ?4, ?5, ?6, ?7, ?8, ?9, 0, 0)",
                     -1, &st, nullptr);
  for (int64_t i = 0; i < NIVELES; ++i) {
    nivel_texto n;
    std::memcpy(n.bytes, &objeto[(i % 60) * NUM_CELDAS], NUM_CELDAS);
    n.titulo = "Level " + std::to_string(i);
    n.idea = "An idea";
    const std::string autor = "Autor " + std::to_string(i % 1000);
    const std::string texto = escribir_nivel_texto(n);
    const std::string buscar = texto_de_busqueda(n.titulo + "\n" + autor);
    sqlite3_bind_int64(st, 1, i == 0 ? NIVEL_GRANDE : static_cast<int64_t>(azar()) << 20 | i);
    sqlite3_bind_text(st, 2, n.titulo.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, autor.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 4, texto.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 5, buscar.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(st, 6, 1700000000 + i);
    sqlite3_bind_int64(st, 7, azar() % 5000);
    sqlite3_bind_int64(st, 8, azar() % 500);
    sqlite3_bind_int64(st, 9, azar() % 10000);
    if (sqlite3_step(st) != SQLITE_DONE) {
      fallar(std::string("filling the levels: ") + sqlite3_errmsg(db));
    }
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  // One level's board: MARCAS players, each with one run and its recording.
  sqlite3_stmt *rep = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO repeticiones (id, huella, fotogramas, verificada, innecesaria, guardada, datos)"
                     " VALUES (?1, ?1, 1000, 1700000000, NULL, 1, x'00')",
                     -1, &rep, nullptr);
  sqlite3_prepare_v2(db,
                     "INSERT INTO marcas (id, nivel, nombre, puntos, gana, recibida, mejor)"
                     " VALUES (?1, ?2, ?3, ?4, 1, 1700000000, 1)",
                     -1, &st, nullptr);
  for (int64_t i = 1; i <= MARCAS; ++i) {
    const std::string nombre = "Jugador " + std::to_string(i);
    sqlite3_bind_int64(rep, 1, i);
    sqlite3_bind_int64(st, 1, i);
    sqlite3_bind_int64(st, 2, NIVEL_GRANDE);
    sqlite3_bind_text(st, 3, nombre.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 4, 1 + static_cast<int>(azar() % 20000));
    if (sqlite3_step(rep) != SQLITE_DONE || sqlite3_step(st) != SQLITE_DONE) {
      fallar(std::string("filling the board: ") + sqlite3_errmsg(db));
    }
    sqlite3_reset(rep);
    sqlite3_reset(st);
  }
  sqlite3_finalize(rep);
  sqlite3_finalize(st);
  if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    fallar("filling the table: commit");
  }
  sqlite3_close(db);
  // The boards' counts, from the rows as filled.
  a = almacen_abrir(base, error);
  if (a == nullptr || !almacen_recontar(a, error)) {
    fallar("counting the boards: " + error);
  }
  almacen_cerrar(a);
}

struct cifras {
  double media, mediana, mejor, peor;
};
cifras resumir(std::vector<double> v)
{
  std::sort(v.begin(), v.end());
  double s = 0;
  for (double x : v) {
    s += x;
  }
  return {s / static_cast<double>(v.size()), v[(v.size() - 1) / 2], v.front(), v.back()};
}

}  // namespace

int main(int argc, char **argv)
{
  if (argc != 3) {
    fallar("usage: bench_servidor SERVER_PROGRAM FOLDER");
  }
  const std::string programa = argv[1];
  const std::string base = std::string(argv[2]) + "/tabla.db";
  std::remove(base.c_str());
  llenar(base);

  // The server on a free port; a port taken meanwhile is tried again.
  pid_t pid = -1;
  int puerto = 0;
  for (int intento = 0; intento < 5 && pid < 0; ++intento) {
    puerto = 20000 + static_cast<int>(std::random_device{}() % 30000);
    pid = fork();
    if (pid == 0) {
      // Its log of every request goes beside the table, not on the table
      // bench/run prints.
      const std::string registro = std::string(argv[2]) + "/servidor.log";
      if (std::freopen(registro.c_str(), "w", stderr) == nullptr) {
        _exit(126);
      }
      const std::string p = std::to_string(puerto);
      execl(programa.c_str(), programa.c_str(), "--puerto", p.c_str(), "--base", base.c_str(),
            static_cast<char *>(nullptr));
      _exit(127);
    }
    bool listo = false;
    for (int i = 0; i < 200 && !listo; ++i) {
      listo = pedir(puerto, "/api/puntuaciones?cuantos=0") == 200;
      int estado;
      if (!listo && waitpid(pid, &estado, WNOHANG) == pid) {
        pid = -1;
        break;
      }
      if (!listo) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    if (!listo && pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      pid = -1;
    }
  }
  if (pid < 0) {
    fallar("the server did not start");
  }

  // The first page, over and over.
  std::vector<double> paginas;
  for (int i = 0; i < PAGINAS; ++i) {
    std::string cuerpo;
    const auto t0 = reloj::now();
    // The whole table: the bench's rows are not verified, and the page
    // shows the verified table unless asked.
    const int estado = pedir(puerto, "/?todas=1", &cuerpo);
    const auto t1 = reloj::now();
    if (estado != 200 || cuerpo.find("1000000 scores ranked") == std::string::npos) {
      kill(pid, SIGTERM);
      fallar("the first page did not come whole (status " + std::to_string(estado) + ")");
    }
    paginas.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  }

  // The community levels: the gallery's first page, the big level's page
  // (the top of its board of a million), its picture from the cache (the
  // first request draws it), and pictures drawn anew here, with no cache.
  const std::string grande = "/niveles/" + id_nivel_texto(NIVEL_GRANDE);
  const struct {
    const char *nombre;
    std::string objetivo, debe;
  } paginas_niveles[] = {
      {"galeria_ms", "/niveles", "/niveles?orden=nuevos&amp;tras=1700099976."},
      {"tabla_nivel_ms", grande, "1000000 players ranked"},
      {"imagen_cache_ms", grande + ".png", "IEND"},
  };
  std::vector<std::pair<std::string, cifras>> niveles;
  for (const auto &x : paginas_niveles) {
    std::vector<double> v;
    for (int i = 0; i < PAGINAS + 1; ++i) {
      std::string cuerpo;
      const auto t0 = reloj::now();
      const int estado = pedir(puerto, x.objetivo, &cuerpo);
      const auto t1 = reloj::now();
      if (estado != 200 || cuerpo.find(x.debe) == std::string::npos) {
        kill(pid, SIGTERM);
        fallar(x.objetivo + " did not come whole (status " + std::to_string(estado) + ")");
      }
      if (i > 0) {
        v.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
      }
    }
    niveles.emplace_back(x.nombre, resumir(v));
  }
  {
    nivel_texto n;
    std::memcpy(n.bytes, &objeto[0], NUM_CELDAS);
    n.titulo = "Level";
    const std::string texto = escribir_nivel_texto(n);
    // The tiles are unpacked once, by the first picture.
    dibujar_imagen_nivel(texto, false);
    std::vector<double> v;
    for (int i = 0; i < PAGINAS; ++i) {
      const auto t0 = reloj::now();
      const std::string png = dibujar_imagen_nivel(texto, false);
      v.push_back(std::chrono::duration<double, std::milli>(reloj::now() - t0).count());
      if (png.empty()) {
        fallar("the board's picture was not drawn");
      }
    }
    niveles.emplace_back("imagen_nueva_ms", resumir(v));
  }

  // Uploads: CLIENTES threads, each upload on a connection of its own, each
  // a new row with a valid code.
  std::vector<double> ritmos;
  std::atomic<int> fallos{0};
  for (int ronda = 0; ronda < RONDAS_SUBIDA; ++ronda) {
    std::vector<std::thread> hilos;
    const auto t0 = reloj::now();
    for (int c = 0; c < CLIENTES; ++c) {
      hilos.emplace_back([&, c] {
        for (int k = 0; k < SUBIDAS_POR_RONDA / CLIENTES; ++k) {
          const int32_t valores[2] = {1000 + k, 3};
          char cod[41];
          uuencode_generic(cod, ID_CODIGO_PUNTUACION, NUM_VALORES_PUNTUACION, valores, BYTES_PUNTUACION);
          std::string escapado;
          for (const char *p = cod; *p != '\0'; ++p) {
            escapado += *p == '+' ? std::string("%2B") : std::string(1, *p);
          }
          char nombre[64];
          std::snprintf(nombre, sizeof nombre, "Prueba%%20%d%%20%d%%20%d", ronda, c, k);
          if (pedir(puerto, std::string("/highscore.php?yourname=") + nombre + "&code=" + escapado) != 200) {
            ++fallos;
          }
        }
      });
    }
    for (std::thread &h : hilos) {
      h.join();
    }
    const double s = std::chrono::duration<double>(reloj::now() - t0).count();
    ritmos.push_back(SUBIDAS_POR_RONDA / s);
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  if (fallos != 0) {
    fallar(std::to_string(fallos.load()) + " uploads failed");
  }

  const cifras p = resumir(paginas);
  const cifras r = resumir(ritmos);
  std::printf("primera_pagina_ms %.3f %.3f %.3f %.3f\n", p.media, p.mediana, p.mejor, p.peor);
  std::printf("subidas_por_segundo %.1f %.1f %.1f %.1f\n", r.media, r.mediana, r.peor, r.mejor);
  for (const auto &x : niveles) {
    std::printf("%s %.3f %.3f %.3f %.3f\n", x.first.c_str(), x.second.media, x.second.mediana, x.second.mejor,
                x.second.peor);
  }
  std::printf("filas %lld\n", static_cast<long long>(FILAS_TABLA));
  std::remove(base.c_str());
  return 0;
}
