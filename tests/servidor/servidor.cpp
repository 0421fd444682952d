// The score server as the game and a browser meet it: the real program
// started on a free loopback port with a database of its own, spoken to
// over HTTP, and its database read back to see what was kept.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "codigo/codigo.h"
#include "servidor/servidor.h"

namespace {

namespace fs = std::filesystem;

// A port nobody listens on now.
int puerto_libre()
{
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in d{};
  d.sin_family = AF_INET;
  d.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr *>(&d), sizeof d);
  socklen_t largo = sizeof d;
  getsockname(s, reinterpret_cast<sockaddr *>(&d), &largo);
  close(s);
  return ntohs(d.sin_port);
}

// A code as the game makes it.
std::string codigo(int32_t id, int32_t puntos, int32_t fases)
{
  const int32_t valores[2] = {puntos, fases};
  char salida[41];
  uuencode_generic(salida, id, NUM_VALORES_PUNTUACION, valores, BYTES_PUNTUACION);
  return salida;
}

// The code with "+" written as the game sends it.
std::string escapado(const std::string &c)
{
  std::string e;
  for (char x : c) {
    e += x == '+' ? std::string("%2B") : std::string(1, x);
  }
  return e;
}

// A name as the game sends it: the 20-character field in ISO 8859-1,
// every byte but letters and digits percent-encoded.
std::string campo_nombre(const std::string &latin1)
{
  std::string campo = latin1;
  campo.resize(LONG_NOMBRE, ' ');
  std::string e;
  for (unsigned char c : campo) {
    if (std::isalnum(c) != 0 && c < 0x80) {
      e += static_cast<char>(c);
    } else {
      char x[4];
      std::snprintf(x, sizeof x, "%%%02X", c);
      e += x;
    }
  }
  return e;
}

class Servidor : public ::testing::Test {
 protected:
  void SetUp() override
  {
    carpeta = fs::temp_directory_path() / ("fotonauta_servidor_" + std::to_string(getpid()));
    fs::remove_all(carpeta);
    fs::create_directories(carpeta);
    base = (carpeta / "tabla.db").string();
    // A port taken between the look and the start is tried again.
    for (int intento = 0; intento < 5 && pid <= 0; ++intento) {
      puerto = puerto_libre();
      pid = arrancar({"--puerto", std::to_string(puerto), "--base", base});
      if (!esperar_escucha()) {
        parar();
      }
    }
    ASSERT_GT(pid, 0) << "the server did not start";
    std::string error;
    a = almacen_abrir(base, error);
    ASSERT_NE(a, nullptr) << error;
  }

  void TearDown() override
  {
    almacen_cerrar(a);
    parar();
    fs::remove_all(carpeta);
  }

  pid_t arrancar(const std::vector<std::string> &argumentos, const std::string &errores = "/dev/null")
  {
    const pid_t p = fork();
    if (p == 0) {
      std::vector<char *> argv;
      argv.push_back(const_cast<char *>(SERVIDOR_PROGRAMA));
      for (const std::string &x : argumentos) {
        argv.push_back(const_cast<char *>(x.c_str()));
      }
      argv.push_back(nullptr);
      if (freopen(errores.c_str(), "w", stderr) == nullptr) {
        _exit(126);
      }
      execv(SERVIDOR_PROGRAMA, argv.data());
      _exit(127);
    }
    return p;
  }

  // True once the server answers, within 5 seconds; false if it ended.
  bool esperar_escucha()
  {
    for (int i = 0; i < 100; ++i) {
      httplib::Client c("127.0.0.1", puerto);
      c.set_connection_timeout(0, 100000);
      if (c.Get("/api/puntuaciones?cuantos=0")) {
        return true;
      }
      int estado;
      if (waitpid(pid, &estado, WNOHANG) == pid) {
        pid = -1;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  void parar()
  {
    if (pid > 0) {
      kill(pid, SIGTERM);
      int estado;
      waitpid(pid, &estado, 0);
    }
    pid = -1;
  }

  // One request on a new connection, as the game makes them.
  httplib::Result pedir(const std::string &objetivo)
  {
    httplib::Client c("127.0.0.1", puerto);
    c.set_read_timeout(5, 0);
    return c.Get(objetivo);
  }

  int subir(const std::string &nombre_escapado, const std::string &codigo_escapado)
  {
    const auto r = pedir("/highscore.php?yourname=" + nombre_escapado + "&code=" + codigo_escapado);
    return r ? r->status : -1;
  }

  fs::path carpeta;
  std::string base;
  int puerto = 0;
  pid_t pid = -1;
  almacen *a = nullptr;
};

TEST_F(Servidor, RechazaLoQueNoEsUnaPartidaYGuardaCadaFilaUnaVez)
{
  const std::string ana = campo_nombre("Ana Mu\xF1oz");
  const std::string bueno = codigo(ID_CODIGO_PUNTUACION, 4560, 2);

  // Each of these is refused with one line and leaves nothing stored.
  std::string malo = bueno;
  malo[5] = malo[5] == 'A' ? 'B' : 'A';
  const struct {
    const char *que;
    std::string objetivo;
  } rechazadas[] = {
      {"bad checksum", "yourname=" + ana + "&code=" + escapado(malo)},
      {"wrong id", "yourname=" + ana + "&code=" + escapado(codigo(82, 4560, 2))},
      {"more points than 2 levels give", "yourname=" + ana + "&code=" + escapado(codigo(81, puntos_maximos(2) + 1, 2))},
      {"61 levels", "yourname=" + ana + "&code=" + escapado(codigo(81, 4560, 61))},
      {"0 points", "yourname=" + ana + "&code=" + escapado(codigo(81, 0, 0))},
      {"truncated code", "yourname=" + ana + "&code=" + escapado(bueno.substr(0, 11))},
      {"code outside the alphabet", "yourname=" + ana + "&code=" + escapado(bueno.substr(0, 11)) + "%2F"},
      {"missing code", "yourname=" + ana},
      {"missing name", "code=" + escapado(bueno)},
      {"empty name", "yourname=&code=" + escapado(bueno)},
      {"21-character name", "yourname=" + ana + "x&code=" + escapado(bueno)},
      {"control character", "yourname=Ana%0A&code=" + escapado(bueno)},
      {"escape not hex", "yourname=Ana%G1&code=" + escapado(bueno)},
      {"escape cut short", "yourname=Ana%4&code=" + escapado(bueno)},
      {"escape at the end", "yourname=" + ana + "&code=" + escapado(bueno) + "%"},
      {"key twice", "yourname=" + ana + "&yourname=" + ana + "&code=" + escapado(bueno)},
  };
  for (const auto &x : rechazadas) {
    const auto r = pedir("/highscore.php?" + x.objetivo);
    ASSERT_TRUE(r) << x.que;
    EXPECT_EQ(r->status, 400) << x.que;
    EXPECT_EQ(std::count(r->body.begin(), r->body.end(), '\n'), 1) << x.que << ": " << r->body;
  }
  EXPECT_EQ(almacen_contar_todas(a), 0);

  // A tampered game is kept, unranked, and answered 200 so that the rows
  // after it still go up.
  EXPECT_EQ(subir(campo_nombre("Tramposo"), "%20q7zupamo3ex"), 200);
  EXPECT_EQ(almacen_contar_todas(a), 1);
  EXPECT_EQ(almacen_contar(a, TABLA_COMPLETA), 0);

  // The game sends its whole table each time: a row already there is
  // answered 200 and kept once.
  EXPECT_EQ(subir(ana, escapado(bueno)), 200);
  EXPECT_EQ(subir(ana, escapado(bueno)), 200);
  EXPECT_EQ(subir(campo_nombre("<script>"), escapado(codigo(81, 120, 0))), 200);
  EXPECT_EQ(almacen_contar_todas(a), 3);
  EXPECT_EQ(almacen_contar(a, TABLA_COMPLETA), 2);
  EXPECT_EQ(almacen_contar(a, TABLA_VERIFICADA), 0);

  // The page: the name in UTF-8 without its blanks, a name that looks like
  // markup as text, the tampered game nowhere.
  const auto pagina = pedir("/?todas=1");
  ASSERT_TRUE(pagina);
  EXPECT_EQ(pagina->status, 200);
  EXPECT_NE(pagina->body.find("<td class=\"nombre\">Ana Mu\xC3\xB1oz</td><td class=\"n puntos\">4560</td>"),
            std::string::npos);
  EXPECT_NE(pagina->body.find("&lt;script&gt;"), std::string::npos);
  EXPECT_EQ(pagina->body.find("<script>"), std::string::npos);
  EXPECT_EQ(pagina->body.find("Tramposo"), std::string::npos);
  EXPECT_NE(pedir("/?todas=1&nombre=ana%20MU%C3%91OZ")->body.find("Ana Mu\xC3\xB1oz: best rank 1, 4560 points."),
            std::string::npos);

  const auto json = pedir("/api/puntuaciones?desde=2&cuantos=5");
  ASSERT_TRUE(json);
  EXPECT_EQ(json->get_header_value("Content-Type"), "application/json");
  EXPECT_NE(json->body.find("{\"total\":2,\"desde\":2,\"filas\":[\n{\"puesto\":2,\"nombre\":\"\\u003cscript\\u003e\","
                            "\"puntos\":120,\"fases\":0,"),
            std::string::npos)
      << json->body;
  EXPECT_EQ(pedir("/api/puntuaciones?cuantos=x")->status, 400);

  const auto logo = pedir("/logo.png");
  ASSERT_TRUE(logo);
  EXPECT_EQ(logo->get_header_value("Content-Type"), "image/png");
  EXPECT_EQ(logo->body.substr(1, 3), "PNG");
  EXPECT_EQ(pedir("/otra")->status, 404);
}

// Ranks: equal points share a rank; a name's search finds its best row
// with the rows around it; pages hold 100 rows.
TEST_F(Servidor, PuestosPaginasYBusqueda)
{
  for (int i = 0; i < 250; ++i) {
    puntuacion p;
    p.nombre = "Jugador " + std::to_string(i);
    p.codigo = codigo(81, 0, 0).substr(0, 4) + std::to_string(100000 + i);
    p.puntos = 10000 - 10 * (i / 2);  // two rows to each score
    p.fases = 1;
    p.recibida = 1700000000;
    ASSERT_EQ(almacen_guardar(a, p), GUARDADA_NUEVA);
  }
  std::vector<puntuacion> filas;
  ASSERT_TRUE(almacen_pagina(a, TABLA_COMPLETA, 99, 3, filas));
  ASSERT_EQ(filas.size(), 3u);
  EXPECT_EQ(filas[0].puesto, 99);  // 9510 points, shared with the row before
  EXPECT_EQ(filas[1].puesto, 101);
  EXPECT_EQ(filas[2].puesto, 101);

  const auto pagina3 = pedir("/?todas=1&pagina=3");
  ASSERT_TRUE(pagina3);
  EXPECT_NE(pagina3->body.find("page 3 of 3"), std::string::npos);
  EXPECT_NE(pagina3->body.find("Jugador 249"), std::string::npos);
  EXPECT_EQ(pagina3->body.find("Jugador 199<"), std::string::npos);

  const auto busqueda = pedir("/?todas=1&nombre=Jugador%20150");
  ASSERT_TRUE(busqueda);
  EXPECT_NE(busqueda->body.find("Jugador 150: best rank 151, 9250 points."), std::string::npos);
  EXPECT_NE(busqueda->body.find("<tr class=\"buscada\"><td class=\"n\">151</td><td class=\"nombre\">Jugador 150<"),
            std::string::npos);
  EXPECT_NE(busqueda->body.find("Jugador 145<"), std::string::npos);
  EXPECT_NE(busqueda->body.find("Jugador 155<"), std::string::npos);
  EXPECT_EQ(busqueda->body.find("Jugador 144<"), std::string::npos);
  EXPECT_NE(pedir("/?todas=1&nombre=Nadie")->body.find("No ranked score for Nadie."), std::string::npos);
  // Looked for as a player would type it: found as the game's keyboard
  // wrote it.
  EXPECT_NE(pedir("/?todas=1&nombre=jUGADOR%20150")->body.find("Jugador 150: best rank 151"), std::string::npos);
}

// The server's resident memory in kB, from /proc.
long memoria_kb(pid_t pid)
{
  std::FILE *f = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
  long kb = -1;
  char linea[256];
  while (f != nullptr && std::fgets(linea, sizeof linea, f) != nullptr) {
    std::sscanf(linea, "VmRSS: %ld", &kb);
  }
  if (f != nullptr) {
    std::fclose(f);
  }
  return kb;
}

// A client that sends header lines without end is cut off, and the server
// keeps its memory and serves the others.
TEST_F(Servidor, CabecerasSinFinNoLlenanLaMemoria)
{
  const long antes = memoria_kb(pid);
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in d{};
  d.sin_family = AF_INET;
  d.sin_port = htons(static_cast<uint16_t>(puerto));
  d.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(s, reinterpret_cast<sockaddr *>(&d), sizeof d), 0);
  const std::string inicio = "GET / HTTP/1.1\r\nHost: x\r\n";
  send(s, inicio.data(), inicio.size(), MSG_NOSIGNAL);
  const std::string linea = "X-Relleno: " + std::string(4000, 'a') + "\r\n";
  size_t enviados = 0;
  // 64 MB at most; the server cuts the connection long before.
  for (int i = 0; i < 16000; ++i) {
    const ssize_t n = send(s, linea.data(), linea.size(), MSG_NOSIGNAL);
    if (n <= 0) {
      break;
    }
    enviados += static_cast<size_t>(n);
  }
  close(s);
  EXPECT_LT(enviados, 16u * 1024 * 1024) << "the server read every header sent";
  EXPECT_LT(memoria_kb(pid) - antes, 8 * 1024) << "kB resident before: " << antes;
  const auto r = pedir("/");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
}

// Start-up failures: one line on standard error and a non-zero status.
TEST_F(Servidor, ArranqueFallidoDiceUnaLinea)
{
  const std::string errores = (carpeta / "errores").string();
  const struct {
    const char *que;
    std::vector<std::string> argumentos;
  } casos[] = {
      {"port in use", {"--puerto", std::to_string(puerto), "--base", (carpeta / "otra.db").string()}},
      {"database that cannot be written", {"--puerto", "1", "--base", (carpeta / "no/existe.db").string()}},
      {"unknown option", {"--puertos", "80"}},
      {"bad port", {"--puerto", "70000"}},
      {"option without value", {"--base"}},
  };
  for (const auto &c : casos) {
    const pid_t p = arrancar(c.argumentos, errores);
    int estado = 0;
    // Bounded: a server that wrongly started is stopped after 5 s.
    bool acabado = false;
    for (int i = 0; i < 100 && !acabado; ++i) {
      acabado = waitpid(p, &estado, WNOHANG) == p;
      if (!acabado) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    if (!acabado) {
      kill(p, SIGKILL);
      waitpid(p, &estado, 0);
    }
    EXPECT_TRUE(acabado) << c.que;
    EXPECT_TRUE(WIFEXITED(estado) && WEXITSTATUS(estado) != 0) << c.que;
    std::FILE *f = std::fopen(errores.c_str(), "r");
    ASSERT_NE(f, nullptr);
    std::string texto;
    for (int ch; (ch = std::fgetc(f)) != EOF;) {
      texto += static_cast<char>(ch);
    }
    std::fclose(f);
    EXPECT_EQ(std::count(texto.begin(), texto.end(), '\n'), 1) << c.que << ": " << texto;
    EXPECT_EQ(texto.rfind("fotonauta-servidor: ", 0), 0u) << c.que << ": " << texto;
  }
}

// The store carries its schema's version: a store of the first schema
// (before recordings) is brought up to date with its rows, and opened
// again it keeps them; a store written by a newer server is left alone,
// with the reason.
TEST(Almacen, GuardaSuVersionYNoTocaUnaMasNueva)
{
  const fs::path base = fs::temp_directory_path() / ("fotonauta_almacen_" + std::to_string(getpid()) + ".db");
  fs::remove(base);
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(base.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TABLE version_esquema (version INTEGER NOT NULL);"
                         "INSERT INTO version_esquema VALUES (1);"
                         "CREATE TABLE puntuaciones (id INTEGER PRIMARY KEY, nombre TEXT NOT NULL, codigo TEXT NOT NULL,"
                         " puntos INTEGER NOT NULL, fases INTEGER NOT NULL, trampa INTEGER NOT NULL,"
                         " recibida BIGINT NOT NULL, UNIQUE (nombre, codigo));"
                         "CREATE INDEX puntuaciones_orden ON puntuaciones (trampa, puntos DESC, id);"
                         "CREATE TABLE totales (clasificadas BIGINT NOT NULL);"
                         "INSERT INTO totales VALUES (1);"
                         "INSERT INTO puntuaciones VALUES (1, 'Bea', 'MNOPQRSTUVWX', 300, 1, 0, 1700000000);",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  std::string error;
  almacen *a = almacen_abrir(base.string(), error);
  ASSERT_NE(a, nullptr) << error;
  puntuacion p;
  p.nombre = "Ana";
  p.codigo = "ABCDEFGHIJKL";
  p.puntos = 120;
  EXPECT_EQ(almacen_guardar(a, p), GUARDADA_NUEVA);
  std::vector<puntuacion> filas;
  ASSERT_TRUE(almacen_pagina(a, TABLA_COMPLETA, 0, 10, filas));
  ASSERT_EQ(filas.size(), 2u);
  EXPECT_EQ(filas[0].nombre, "Bea");
  EXPECT_FALSE(filas[0].verificada);
  EXPECT_EQ(almacen_contar(a, TABLA_VERIFICADA), 0);
  almacen_cerrar(a);

  a = almacen_abrir(base.string(), error);
  ASSERT_NE(a, nullptr) << error;
  EXPECT_EQ(almacen_guardar(a, p), GUARDADA_YA);
  EXPECT_EQ(almacen_contar(a, TABLA_COMPLETA), 2);
  almacen_cerrar(a);

  ASSERT_EQ(sqlite3_open(base.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "UPDATE version_esquema SET version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  EXPECT_EQ(almacen_abrir(base.string(), error), nullptr);
  EXPECT_NE(error.find("newer server"), std::string::npos) << error;
  fs::remove(base);
  fs::remove(base.string() + "-wal");
  fs::remove(base.string() + "-shm");
}

// The decoder reads back what the encoder wrote, and the points bound is
// the one the scoring rules give.
TEST(CodigoPuntuacion, SeLeeLoQueSeEscribio)
{
  for (const int32_t puntos : {1, 120, 4560, 0xFFFFFF}) {
    for (const int32_t fases : {0, 7, 60}) {
      const std::string c = codigo(ID_CODIGO_PUNTUACION, puntos, fases);
      codigo_leido l;
      ASSERT_TRUE(decodificar_codigo(c.c_str(), LONG_COD, NUM_VALORES_PUNTUACION, BYTES_PUNTUACION, l)) << c;
      EXPECT_EQ(l.id, ID_CODIGO_PUNTUACION);
      EXPECT_EQ(l.valores[0], static_cast<uint32_t>(puntos));
      EXPECT_EQ(l.valores[1], static_cast<uint32_t>(fases));
    }
  }
  // A 10-character code's last letter carries 2 pad bits, which must be 0.
  const int32_t v = 0x1234, dos = 2;
  char c[41];
  uuencode_generic(c, 7, 1, &v, &dos);
  codigo_leido l;
  ASSERT_TRUE(decodificar_codigo(c, 10, 1, &dos, l));
  EXPECT_EQ(l.valores[0], 0x1234u);
  const int ultima = static_cast<int>(std::strchr(ALFABETO_CODIGO, c[9]) - ALFABETO_CODIGO);
  c[9] = ALFABETO_CODIGO[ultima ^ 1];
  EXPECT_FALSE(decodificar_codigo(c, 10, 1, &dos, l));

  EXPECT_EQ(puntos_maximos(0), 22610);
  EXPECT_EQ(puntos_maximos(1), 24750 + 22610);
  EXPECT_EQ(puntos_maximos(60), 60 * 24750);
  EXPECT_EQ(puntos_maximos(61), -1);
}

}  // namespace
