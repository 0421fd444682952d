// The score upload against a real HTTP server on loopback, run by the test
// in a thread of its own.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <mutex>
#include <thread>

#include "identidad/identidad.h"
#include "internet/internet.h"
#include "tiempo/tiempo.h"
#include "puntuaciones_comun.h"

namespace {

enum class modo_servidor { aceptar, cortar_segunda, callar, error_500, basura, rechazar_repeticiones };

// One request as the server saw it (its head, and its body when it says
// how long that is), and the connection it came on.
struct peticion {
  std::string bytes;
  int conexion;
  std::string cuerpo;
};

// A small HTTP server on 127.0.0.1 that records every request head. It
// stops by itself when the test ends, and never waits more than a second
// at a time.
struct servidor_prueba {
  int escucha = -1;
  int puerto = 0;
  modo_servidor modo = modo_servidor::aceptar;
  std::atomic<bool> parar{false};
  std::mutex cerrojo;
  std::vector<peticion> recibidas;
  std::thread hilo;

  explicit servidor_prueba(modo_servidor m) : modo(m)
  {
    escucha = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in dir{};
    dir.sin_family = AF_INET;
    dir.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(escucha, reinterpret_cast<sockaddr *>(&dir), sizeof dir);
    listen(escucha, 8);
    socklen_t largo = sizeof dir;
    getsockname(escucha, reinterpret_cast<sockaddr *>(&dir), &largo);
    puerto = ntohs(dir.sin_port);
    hilo = std::thread([this] { atender(); });
  }
  ~servidor_prueba()
  {
    parar = true;
    hilo.join();
    close(escucha);
  }

  static bool esperar(int s)
  {
    pollfd p = {s, POLLIN, 0};
    return poll(&p, 1, 50) == 1;
  }

  void atender()
  {
    std::vector<int> abiertas;
    int cuenta = 0;
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!parar && std::chrono::steady_clock::now() < limite) {
      if (esperar(escucha)) {
        abiertas.push_back(accept(escucha, nullptr, nullptr));
        continue;
      }
      for (size_t i = 0; i < abiertas.size(); ++i) {
        const int s = abiertas[i];
        if (s < 0 || !esperar(s)) {
          continue;
        }
        std::string cabeza;
        char c;
        while (cabeza.find("\r\n\r\n") == std::string::npos && recv(s, &c, 1, 0) == 1) {
          cabeza += c;
        }
        if (cabeza.empty()) {
          close(s);
          abiertas[i] = -1;
          continue;
        }
        std::string cuerpo;
        const size_t largo = cabeza.find("Content-Length: ");
        const size_t falta = largo == std::string::npos ? 0 : std::stoul(cabeza.substr(largo + 16));
        while (cuerpo.size() < falta && recv(s, &c, 1, 0) == 1) {
          cuerpo += c;
        }
        {
          std::lock_guard<std::mutex> g(cerrojo);
          recibidas.push_back({cabeza, static_cast<int>(i), cuerpo});
        }
        ++cuenta;
        if (modo == modo_servidor::callar) {
          continue;
        }
        if (modo == modo_servidor::cortar_segunda && cuenta >= 2) {
          close(s);
          abiertas[i] = -1;
          continue;
        }
        const char *respuesta = "HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 2\r\n\r\nok";
        if (modo == modo_servidor::error_500) {
          respuesta = "HTTP/1.0 500 Internal Server Error\r\nConnection: Keep-Alive\r\nContent-Length: 2\r\n\r\nko";
        } else if (modo == modo_servidor::basura) {
          respuesta = "\x01\xFFnot http at all\r\n\r\n";
        } else if (modo == modo_servidor::rechazar_repeticiones && cabeza.rfind("POST ", 0) == 0) {
          respuesta = "HTTP/1.0 422 Unprocessable Entity\r\nConnection: Keep-Alive\r\nContent-Length: 7\r\n\r\ncheats\n";
        }
        send(s, respuesta, std::strlen(respuesta), MSG_NOSIGNAL);
      }
    }
    for (int s : abiertas) {
      if (s >= 0) {
        close(s);
      }
    }
  }

  std::vector<peticion> peticiones()
  {
    std::lock_guard<std::mutex> g(cerrojo);
    return recibidas;
  }
};

class Envio : public Puntuaciones {
 protected:
  void SetUp() override
  {
    Puntuaciones::SetUp();
    // Loopback only, whatever proxy the machine names.
    unsetenv("http_proxy");
    unsetenv("HTTP_PROXY");
    unsetenv("all_proxy");
    unsetenv("ALL_PROXY");
    // The players' keys in the test's own folder, never the user's, in
    // folders still to be made.
    setenv("XDG_DATA_HOME", (std::filesystem::current_path() / "casa/.local/share").c_str(), 1);
    prueba_servidor = "127.0.0.1";
    prueba_inet_espera_conexion = 2000;
    prueba_inet_espera_peticion = 500;
  }
  void TearDown() override
  {
    prueba_servidor = nullptr;
    prueba_inet_puerto = INET_PUERTO;
    prueba_inet_espera_conexion = INET_ESPERA_CONEXION;
    prueba_inet_espera_peticion = INET_ESPERA_PETICION;
    prueba_inet_libcurl = "libcurl.so.4";
    unsetenv("XDG_DATA_HOME");
    Puntuaciones::TearDown();
  }

  // Presses Upload on the table screen, then Exit on the result and on the
  // table. Tells whether the result screen said the upload worked: only
  // the success text has a fourth line, at y 400.
  bool subir(const std::string &captura = "")
  {
    bool exito = false;
    int paso = 0;
    int8_t ultimo = -1;
    bool subido = false;
    arnes_guion(
        [&](int) {
          const int8_t d = dialogo_vivo();
          if (d != ultimo) {
            paso = 0;
            ultimo = d;
          }
          if (d == DLG_ENVIO) {
            if (paso == 2) {
              exito = pixeles_de_texto(400) > 100;
              if (!captura.empty()) {
                arnes_captura(captura);
              }
            }
            clic(DLG_ENVIO, 0, paso < 4 ? 1 : paso % 2);
          } else if (d == DLG_RECORDS) {
            clic(DLG_RECORDS, subido ? 1 : 0, paso % 2);
            subido = subido || paso % 2 == 1;
          }
          ++paso;
        },
        400);
    puntuaciones(0);
    return exito;
  }

  static int pixeles_de_texto(int y)
  {
    int n = 0;
    for (int yy = y; yy < y + 40; ++yy) {
      for (int x = 300; x < 724; ++x) {
        n += getpixel(buffer, x, yy) != 0;
      }
    }
    return n;
  }
};

std::string linea_peticion(const std::string &nombre, const std::string &codigo)
{
  return "GET /highscore.php?yourname=" + nombre + "&code=" + codigo + " HTTP/1.0\r\n";
}

}  // namespace

TEST_F(Envio, CadaFilaEsUnaPeticionExactaPorLaMismaConexion)
{
  servidor_prueba s(modo_servidor::aceptar);
  prueba_inet_puerto = s.puerto;
  poner_fila(0, "Pe\xF1" "a Ni\xF1o", 3000, "Ab+@0123xyzQ");
  poner_fila(1, "Bea", 2000, "BBBBBBBBBBBB");
  poner_fila(2, "Caro", 1000, " q7zupamo3ex");
  EXPECT_TRUE(subir("envio_exito"));

  const std::vector<peticion> p = s.peticiones();
  ASSERT_EQ(p.size(), 3u);
  const std::string cabeceras = "Host: 127.0.0.1:" + std::to_string(s.puerto) +
                                "\r\nUser-Agent: InetURL/1.0\r\nConnection: Keep-Alive\r\n\r\n";
  EXPECT_EQ(p[0].bytes,
            linea_peticion("Pe%F1a%20Ni%F1o%20%20%20%20%20%20%20%20%20%20%20", "Ab%2B@0123xyzQ") + cabeceras);
  std::string bea = "Bea";
  for (int k = 0; k < 17; ++k) {
    bea += "%20";
  }
  EXPECT_EQ(p[1].bytes, linea_peticion(bea, "BBBBBBBBBBBB") + cabeceras);
  EXPECT_EQ(p[2].bytes.substr(0, p[2].bytes.find(" HTTP/1.0")).substr(p[2].bytes.find("&code=")),
            "&code=%20q7zupamo3ex");
  EXPECT_EQ(p[0].conexion, p[1].conexion);
  EXPECT_EQ(p[1].conexion, p[2].conexion);
}

// A row whose game's recording is kept sends it after the row: a POST of
// the file's bytes, with the name and code as the row's GET has them,
// signed by the player's key, which the first upload makes (mode 0600)
// and the next ones reuse; a row without one sends the GET alone. A
// recording the server refuses leaves the upload a success, and the rows
// after it are sent. A damaged key file is left as it is, and the
// recording is not sent.
TEST_F(Envio, LaRepeticionDeUnaFilaVaTrasElla)
{
  std::string fichero = "FTRP";
  fichero += std::string("\0\r\n\r\n\xFF", 6) + "GET / HTTP/1.0\r\n";
  for (const modo_servidor modo : {modo_servidor::aceptar, modo_servidor::rechazar_repeticiones}) {
    servidor_prueba s(modo);
    prueba_inet_puerto = s.puerto;
    dlg_reiniciar_raton();
    arnes_raton(0, 0, 0);
    poner_fila(0, "Ana", 3000, "Ab+@0123xyzQ");
    poner_fila(1, "Bea", 2000, "BBBBBBBBBBBB");
    std::filesystem::create_directories("repeticiones");
    std::FILE *f = std::fopen("repeticiones/Ab+@0123xyzQ.frep", "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(fichero.data(), 1, fichero.size(), f);
    std::fclose(f);
    EXPECT_TRUE(subir());

    const std::vector<peticion> p = s.peticiones();
    ASSERT_EQ(p.size(), 3u);
    std::string ana = "Ana";
    for (int k = 0; k < 17; ++k) {
      ana += "%20";
    }
    EXPECT_EQ(p[0].bytes.substr(0, p[0].bytes.find("\r\n") + 2), linea_peticion(ana, "Ab%2B@0123xyzQ"));
    EXPECT_EQ(p[1].bytes.substr(0, p[1].bytes.find("\r\n") + 2),
              "POST /api/repeticiones?yourname=" + ana + "&code=Ab%2B@0123xyzQ HTTP/1.0\r\n");
    EXPECT_NE(p[1].bytes.find("\r\nContent-Type: application/x-fotonauta-repeticion\r\n"), std::string::npos);
    EXPECT_EQ(p[1].cuerpo, fichero);
    const auto cabecera = [&](const std::string &nombre) {
      const size_t i = p[1].bytes.find("\r\n" + nombre + ": ");
      return i == std::string::npos ? std::string() : p[1].bytes.substr(i + nombre.size() + 4, p[1].bytes.find("\r\n", i + 2) - i - nombre.size() - 4);
    };
    EXPECT_TRUE(firma_valida(cabecera(CABECERA_CLAVE), cabecera(CABECERA_FIRMA),
                             mensaje_firmado("/api/repeticiones", "Ana", fichero)))
        << p[1].bytes;
    EXPECT_EQ(p[2].bytes.rfind("GET /highscore.php?yourname=Bea", 0), 0u) << p[2].bytes;
    EXPECT_TRUE(p[2].cuerpo.empty());
  }
  const std::string claves = (std::filesystem::current_path() / "casa/.local/share/fotonauta/claves").string();
  EXPECT_EQ(std::filesystem::status(claves).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::FILE *f = std::fopen(claves.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  char texto[256] = {};
  EXPECT_GT(std::fread(texto, 1, sizeof texto - 1, f), 0u);
  std::fclose(f);
  EXPECT_EQ(std::string(texto).find("fotonauta claves 1\n"), 0u);
  EXPECT_EQ(std::count(texto, texto + sizeof texto, '\n'), 2) << texto;

  f = std::fopen(claves.c_str(), "wb");
  std::fputs("fotonauta claves 1\nnot a key\tAna\n", f);
  std::fclose(f);
  servidor_prueba s(modo_servidor::aceptar);
  prueba_inet_puerto = s.puerto;
  dlg_reiniciar_raton();
  arnes_raton(0, 0, 0);
  EXPECT_TRUE(subir());
  ASSERT_EQ(s.peticiones().size(), 2u);
  EXPECT_EQ(s.peticiones()[1].bytes.rfind("GET /highscore.php?yourname=Bea", 0), 0u);
  f = std::fopen(claves.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::fread(texto, 1, sizeof texto - 1, f), 33u);
  std::fclose(f);
  EXPECT_EQ(std::string(texto, 33), "fotonauta claves 1\nnot a key\tAna\n");
}

// An installed game is pointed at a club's server by the environment: the
// host and its port there win over the built-in name and port 80.
TEST_F(Envio, ElEntornoEligeElServidorYSuPuerto)
{
  int puerto_libre;
  {
    servidor_prueba nadie(modo_servidor::aceptar);
    puerto_libre = nadie.puerto;
  }
  servidor_prueba s(modo_servidor::aceptar);
  prueba_servidor = nullptr;
  prueba_inet_puerto = puerto_libre;
  poner_fila(0, "Ana", 3000);
  setenv("FOTONAUTA_SERVIDOR", ("127.0.0.1:" + std::to_string(s.puerto)).c_str(), 1);
  EXPECT_TRUE(subir());
  ASSERT_EQ(s.peticiones().size(), 1u);
  EXPECT_NE(s.peticiones()[0].bytes.find("\r\nHost: 127.0.0.1:" + std::to_string(s.puerto) + "\r\n"),
            std::string::npos);
  // A port that is not one fails as an unreachable server does.
  for (const char *malo : {"127.0.0.1:", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:8o", "[::1"}) {
    setenv("FOTONAUTA_SERVIDOR", malo, 1);
    EXPECT_FALSE(subir()) << malo;
  }
  EXPECT_EQ(s.peticiones().size(), 1u);
  unsetenv("FOTONAUTA_SERVIDOR");
}

TEST_F(Envio, UnFalloDetieneElEnvioYSeDice)
{
  {
    servidor_prueba s(modo_servidor::cortar_segunda);
    prueba_inet_puerto = s.puerto;
    poner_fila(0, "Ana", 3000);
    poner_fila(1, "Bea", 2000);
    poner_fila(2, "Caro", 1000);
    EXPECT_FALSE(subir("envio_fallo"));
    const std::vector<peticion> p = s.peticiones();
    ASSERT_GE(p.size(), 2u);
    EXPECT_NE(p[0].bytes.find("yourname=Ana%20"), std::string::npos);
    for (const peticion &q : p) {
      EXPECT_EQ(q.bytes.find("Caro"), std::string::npos);
    }
  }
  // Nobody listening: no request can be made.
  int puerto_libre;
  {
    servidor_prueba s(modo_servidor::aceptar);
    puerto_libre = s.puerto;
  }
  prueba_inet_puerto = puerto_libre;
  EXPECT_EQ(inet_connect("127.0.0.1"), INET_SIN_CONEXION);
  EXPECT_EQ(inet_motivo(), "cannot connect to 127.0.0.1:" + std::to_string(puerto_libre) + ": Connection refused");
  EXPECT_EQ(inet_sendscore("Ana", "X"), INET_SIN_PETICION);
  EXPECT_FALSE(subir());
}

TEST_F(Envio, UnServidorQueNoContestaNoCuelgaElJuego)
{
  servidor_prueba s(modo_servidor::callar);
  prueba_inet_puerto = s.puerto;
  poner_fila(0, "Ana", 3000);
  poner_fila(1, "Bea", 2000);
  const auto antes = std::chrono::steady_clock::now();
  EXPECT_FALSE(subir());
  EXPECT_LT(std::chrono::steady_clock::now() - antes, std::chrono::seconds(5));
  EXPECT_EQ(s.peticiones().size(), 1u);

  // The client's own results, call by call.
  ASSERT_EQ(inet_connect("127.0.0.1"), INET_CORRECTO);
  EXPECT_EQ(inet_sendscore("Ana", "X"), INET_ENVIO_FALLIDO);
  inet_close();
  // Why, kept past the close, naming the server and the wait.
  EXPECT_EQ(inet_motivo(), "no answer from 127.0.0.1:" + std::to_string(s.puerto) + " in 0.5 s");
  EXPECT_EQ(inet_connect("no-such-host.invalid"), INET_SIN_CONEXION);
  EXPECT_EQ(inet_motivo().rfind("cannot find the server no-such-host.invalid:" + std::to_string(s.puerto) + ": ", 0), 0u)
      << inet_motivo();
}

// An error status or an answer that is not HTTP means the score was not
// taken: the player is told the upload failed, and the rows after the
// first are not sent.
TEST_F(Envio, UnErrorOUnaRespuestaSinSentidoNoSonUnExito)
{
  for (const modo_servidor modo : {modo_servidor::basura, modo_servidor::error_500}) {
    servidor_prueba s(modo);
    prueba_inet_puerto = s.puerto;
    dlg_reiniciar_raton();
    arnes_raton(0, 0, 0);
    poner_fila(0, "Ana", 3000);
    poner_fila(1, "Bea", 2000);
    EXPECT_FALSE(subir());
    EXPECT_EQ(s.peticiones().size(), 1u);
    // The reason names the server, and gives its status and words.
    const std::string servidor = "127.0.0.1:" + std::to_string(s.puerto);
    if (modo == modo_servidor::error_500) {
      EXPECT_EQ(inet_motivo(), servidor + " answered: 500 ko");
    } else {
      EXPECT_EQ(inet_motivo().rfind("the request to " + servidor + " failed: ", 0), 0u) << inet_motivo();
    }
  }
}

// A request to end the program cuts a long wait on a silent server short.
TEST_F(Envio, UnaSenalCortaLaEsperaDeUnServidorCallado)
{
  servidor_prueba s(modo_servidor::callar);
  prueba_inet_puerto = s.puerto;
  prueba_inet_espera_peticion = 15000;
  ASSERT_EQ(inet_connect("127.0.0.1"), INET_CORRECTO);
  std::thread senal([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    senal_fin = SIGTERM;
  });
  const auto antes = std::chrono::steady_clock::now();
  EXPECT_EQ(inet_sendscore("Ana", "X"), INET_ENVIO_FALLIDO);
  EXPECT_LT(std::chrono::steady_clock::now() - antes, std::chrono::seconds(3));
  senal.join();
  senal_fin = 0;
  inet_close();
}

// libcurl is opened on the first upload. A machine without it gets a failed
// upload and no request, not a crash; the library found again works.
TEST_F(Envio, SinLaBibliotecaHttpElEnvioFallaSinMas)
{
  servidor_prueba s(modo_servidor::aceptar);
  prueba_inet_puerto = s.puerto;
  poner_fila(0, "Ana", 3000);
  prueba_inet_olvidar_libcurl();
  prueba_inet_libcurl = "libcurl-que-no-existe.so.4";
  EXPECT_EQ(inet_connect("127.0.0.1"), INET_SIN_CLIENTE);
  EXPECT_NE(inet_motivo().find("libcurl"), std::string::npos) << inet_motivo();
  EXPECT_EQ(inet_sendscore("Ana", "X"), INET_SIN_PETICION);
  inet_close();
  EXPECT_FALSE(subir());
  EXPECT_TRUE(s.peticiones().empty());

  prueba_inet_libcurl = "libcurl.so.4";
  dlg_reiniciar_raton();
  arnes_raton(0, 0, 0);
  EXPECT_TRUE(subir());
  EXPECT_EQ(s.peticiones().size(), 1u);
}
