// The HTTP client on libcurl. inet_connect makes the TCP connection itself,
// so that an unreachable server is known before any request is built; the
// first request then takes that connection over, and curl keeps it for the
// ones after (HTTP/1.0 with Keep-Alive).
//
// libcurl is opened the first time an upload needs it, not linked: it and
// the thirty libraries it pulls in (TLS, Kerberos, LDAP...) cost some 18 ms
// of every start, and most games never upload. Without it an upload fails
// and the player sees the same failure screen as for an unreachable server.
#include "internet/internet.h"

#include "identidad/identidad.h"
#include "tiempo/tiempo.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#ifdef FOTONAUTA_PRUEBAS
const char *prueba_servidor = nullptr;
int32_t prueba_inet_puerto = INET_PUERTO;
const char *prueba_inet_libcurl = "libcurl.so.4";
int32_t prueba_inet_espera_conexion = INET_ESPERA_CONEXION;
int32_t prueba_inet_espera_peticion = INET_ESPERA_PETICION;
#define PUERTO prueba_inet_puerto
#define ESPERA_CONEXION prueba_inet_espera_conexion
#define ESPERA_PETICION prueba_inet_espera_peticion
#else
#define PUERTO INET_PUERTO
#define ESPERA_CONEXION INET_ESPERA_CONEXION
#define ESPERA_PETICION INET_ESPERA_PETICION
#endif

namespace {

// The library's names: the OpenSSL build, then the GnuTLS one (same ABI).
const char *const NOMBRES_LIBCURL[] = {"libcurl.so.4", "libcurl-gnutls.so.4"};

// The functions used, taken from the library once it is open. The option
// calls take their value through "...", as the library's own do.
struct t_libcurl {
  void *biblioteca;
  CURLcode (*global_init)(long);
  CURL *(*easy_init)();
  CURLcode (*easy_setopt)(CURL *, CURLoption, ...);
  CURLcode (*easy_perform)(CURL *);
  CURLcode (*easy_getinfo)(CURL *, CURLINFO, ...);
  void (*easy_cleanup)(CURL *);
  curl_slist *(*slist_append)(curl_slist *, const char *);
  void (*slist_free_all)(curl_slist *);
  const char *(*easy_strerror)(CURLcode);
};

// Filled by abrir_libcurl; never closed, since TLS libraries do not
// survive being unloaded.
t_libcurl libcurl = {};

template <typename F>
bool tomar(void *biblioteca, const char *nombre, F *&funcion)
{
  funcion = reinterpret_cast<F *>(dlsym(biblioteca, nombre));
  return funcion != nullptr;
}

// True once the library is open with every function found and started.
bool abrir_libcurl()
{
  if (libcurl.biblioteca != nullptr) {
    return true;
  }
#ifdef FOTONAUTA_PRUEBAS
  const char *const nombres[] = {prueba_inet_libcurl};
#else
  const auto &nombres = NOMBRES_LIBCURL;
#endif
  for (const char *nombre : nombres) {
    void *b = dlopen(nombre, RTLD_NOW | RTLD_LOCAL);
    if (b == nullptr) {
      continue;
    }
    t_libcurl l = {};
    l.biblioteca = b;
    const bool completa = tomar(b, "curl_global_init", l.global_init) && tomar(b, "curl_easy_init", l.easy_init) &&
                          tomar(b, "curl_easy_setopt", l.easy_setopt) &&
                          tomar(b, "curl_easy_perform", l.easy_perform) &&
                          tomar(b, "curl_easy_getinfo", l.easy_getinfo) &&
                          tomar(b, "curl_easy_cleanup", l.easy_cleanup) &&
                          tomar(b, "curl_slist_append", l.slist_append) &&
                          tomar(b, "curl_slist_free_all", l.slist_free_all) &&
                          tomar(b, "curl_easy_strerror", l.easy_strerror);
    if (completa && l.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {
      libcurl = l;
      return true;
    }
  }
  return false;
}

CURL *internet = nullptr;
curl_slist *cabeceras = nullptr;
// A recording's request has the same headers and its body's type.
curl_slist *cabeceras_post = nullptr;
// A level's POST: its body is the level's text and then a recording.
curl_slist *cabeceras_nivel = nullptr;
std::string servidor;
// The server as inet_connect was given it, for the player to read.
std::string nombre_servidor;
std::string motivo;
// The socket inet_connect opened, until curl takes it over.
int conexion = -1;
int familia_conexion = AF_UNSPEC;
// The socket curl was handed already connected, for the option callback.
int conexion_entregada = -1;

size_t descartar(char *, size_t tam, size_t n, void *) { return tam * n; }

// An answer's body as it arrives, up to `maximo` bytes; `cortado` once
// more came.
struct cuerpo_respuesta {
  std::string texto;
  size_t maximo;
  bool cortado;
};
size_t guardar_respuesta(char *datos, size_t tam, size_t n, void *destino)
{
  auto *c = static_cast<cuerpo_respuesta *>(destino);
  const size_t cabe = c->maximo - std::min(c->maximo, c->texto.size());
  c->cortado = c->cortado || tam * n > cabe;
  c->texto.append(datos, std::min(tam * n, cabe));
  return tam * n;
}

// The first bytes of an answer kept for its reason.
constexpr size_t MAX_RESPUESTA = 512;

// Called by curl while a request runs: a request to end the program cuts
// the wait short.
int seguir(void *, curl_off_t, curl_off_t, curl_off_t, curl_off_t) { return senal_fin != 0 ? 1 : 0; }

curl_socket_t abrir_socket(void *, curlsocktype, curl_sockaddr *dir)
{
  if (conexion >= 0 && dir->family == familia_conexion) {
    conexion_entregada = conexion;
    conexion = -1;
    return conexion_entregada;
  }
  return socket(dir->family, dir->socktype, dir->protocol);
}

int preparar_socket(void *, curl_socket_t s, curlsocktype)
{
  return s == conexion_entregada ? CURL_SOCKOPT_ALREADY_CONNECTED : CURL_SOCKOPT_OK;
}

// A wait of `ms` milliseconds as a reader says it: "10 s", "0.5 s".
std::string segundos(int ms)
{
  char t[32];
  std::snprintf(t, sizeof t, ms % 1000 == 0 ? "%.0f s" : "%.1f s", ms / 1000.0);
  return t;
}

// Connects a socket to one address within `espera_ms`; -1 on failure,
// with errno's value in `error` (ETIMEDOUT when the time ran out).
int conectar_direccion(const addrinfo *a, int espera_ms, int &error)
{
  const int s = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
  if (s < 0) {
    error = errno;
    return -1;
  }
  const int banderas = fcntl(s, F_GETFL);
  fcntl(s, F_SETFL, banderas | O_NONBLOCK);
  int r = connect(s, a->ai_addr, a->ai_addrlen);
  error = r == 0 ? 0 : errno;
  if (r != 0 && errno == EINPROGRESS) {
    error = ETIMEDOUT;
    pollfd p = {s, POLLOUT, 0};
    if (poll(&p, 1, espera_ms) == 1) {
      socklen_t largo = sizeof error;
      getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &largo);
      r = error == 0 ? 0 : -1;
    }
  }
  if (r != 0) {
    close(s);
    return -1;
  }
  fcntl(s, F_SETFL, banderas);
  return s;
}

// Connects to the first address of `host` that answers, all within
// `espera_ms` in total; on failure, why in `motivo`.
int conectar(const char *host, int32_t puerto_servidor, int espera_ms)
{
  addrinfo pista = {};
  pista.ai_family = AF_UNSPEC;
  pista.ai_socktype = SOCK_STREAM;
  addrinfo *lista = nullptr;
  char puerto[12];
  std::snprintf(puerto, sizeof puerto, "%d", static_cast<int>(puerto_servidor));
  if (const int r = getaddrinfo(host, puerto, &pista, &lista); r != 0) {
    motivo = "cannot find the server " + nombre_servidor + ": " + gai_strerror(r);
    return -1;
  }
  const auto limite = std::chrono::steady_clock::now() + std::chrono::milliseconds(espera_ms);
  int s = -1, error = ETIMEDOUT;
  for (const addrinfo *a = lista; a != nullptr && s < 0 && senal_fin == 0; a = a->ai_next) {
    const auto queda = std::chrono::duration_cast<std::chrono::milliseconds>(limite - std::chrono::steady_clock::now());
    if (queda.count() <= 0) {
      break;
    }
    s = conectar_direccion(a, static_cast<int>(queda.count()), error);
    if (s >= 0) {
      familia_conexion = a->ai_family;
    }
  }
  freeaddrinfo(lista);
  if (s < 0) {
    motivo = error == ETIMEDOUT ? "no answer from " + nombre_servidor + " in " + segundos(espera_ms)
                                : "cannot connect to " + nombre_servidor + ": " + std::strerror(error);
  }
  return s;
}

// Splits "host", "host:port", "[address]" or "[address]:port" into the
// host the resolver takes and the port (`puerto` left as it is when none
// is given). An IPv6 address without brackets is all host. False for a
// port that is not a number from 1 to 65535.
bool separar_servidor(const std::string &s, std::string &host, int32_t &puerto)
{
  std::string resto;
  if (!s.empty() && s[0] == '[') {
    const size_t cierre = s.find(']');
    if (cierre == std::string::npos) {
      return false;
    }
    host = s.substr(1, cierre - 1);
    resto = s.substr(cierre + 1);
    if (!resto.empty() && resto[0] != ':') {
      return false;
    }
  } else {
    const size_t dos_puntos = s.find(':');
    if (dos_puntos == std::string::npos || s.find(':', dos_puntos + 1) != std::string::npos) {
      host = s;
      return true;
    }
    host = s.substr(0, dos_puntos);
    resto = s.substr(dos_puntos);
  }
  if (resto.empty()) {
    return true;
  }
  const std::string cifras = resto.substr(1);
  if (cifras.empty() || cifras.size() > 5 || cifras.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const int32_t p = std::stoi(cifras);
  if (p < 1 || p > 65535) {
    return false;
  }
  puerto = p;
  return true;
}

bool no_reservado(uint8_t c)
{
  const bool alfanumerico = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  return !(alfanumerico || c == '-' || c == '.' || c == '_' || c == '~');
}

}  // namespace

int32_t inet_connect(const char *host)
{
  inet_close();
  motivo.clear();
  nombre_servidor = host;
  if (abrir_libcurl()) {
    internet = libcurl.easy_init();
  }
  if (internet == nullptr) {
    motivo = "the HTTP library (libcurl) could not be loaded or started";
    return INET_SIN_CLIENTE;
  }
  std::string nombre_host;
  int32_t puerto = PUERTO;
  if (!separar_servidor(host, nombre_host, puerto)) {
    motivo = "'" + nombre_servidor + "' is not a server's address (host or host:port)";
    inet_close();
    return INET_SIN_CONEXION;
  }
  // The port the player did not give is named too.
  if (!nombre_servidor.empty() && (nombre_servidor.find(':') == std::string::npos || nombre_servidor.back() == ']')) {
    nombre_servidor += ":" + std::to_string(puerto);
  }
  if ((conexion = conectar(nombre_host.c_str(), puerto, ESPERA_CONEXION)) < 0) {
    inet_close();
    return INET_SIN_CONEXION;
  }
  // The address goes in the URL between brackets, the port on its own.
  servidor = nombre_host.find(':') == std::string::npos ? nombre_host : "[" + nombre_host + "]";
  // No Accept header: the request carries only what the server needs.
  cabeceras = libcurl.slist_append(cabeceras, "Accept:");
  cabeceras = libcurl.slist_append(cabeceras, "Connection: Keep-Alive");
  for (const char *c : {"Accept:", "Connection: Keep-Alive", "Content-Type: application/x-fotonauta-repeticion"}) {
    cabeceras_post = libcurl.slist_append(cabeceras_post, c);
  }
  for (const char *c : {"Accept:", "Connection: Keep-Alive", "Content-Type: application/octet-stream"}) {
    cabeceras_nivel = libcurl.slist_append(cabeceras_nivel, c);
  }
  libcurl.easy_setopt(internet, CURLOPT_HTTPHEADER, cabeceras);
  libcurl.easy_setopt(internet, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  libcurl.easy_setopt(internet, CURLOPT_USERAGENT, "InetURL/1.0");
  libcurl.easy_setopt(internet, CURLOPT_PORT, static_cast<long>(puerto));
  libcurl.easy_setopt(internet, CURLOPT_NOSIGNAL, 1L);
  libcurl.easy_setopt(internet, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(ESPERA_CONEXION));
  libcurl.easy_setopt(internet, CURLOPT_TIMEOUT_MS, static_cast<long>(ESPERA_PETICION));
  libcurl.easy_setopt(internet, CURLOPT_WRITEFUNCTION, descartar);
  libcurl.easy_setopt(internet, CURLOPT_XFERINFOFUNCTION, seguir);
  libcurl.easy_setopt(internet, CURLOPT_NOPROGRESS, 0L);
  libcurl.easy_setopt(internet, CURLOPT_OPENSOCKETFUNCTION, abrir_socket);
  libcurl.easy_setopt(internet, CURLOPT_SOCKOPTFUNCTION, preparar_socket);
  return INET_CORRECTO;
}

namespace {

// `texto` percent-encoded for a request target: blanks and accented
// letters are not allowed there.
std::string escapar(const char *texto)
{
  std::string r;
  for (const char *p = texto; *p != '\0'; ++p) {
    const uint8_t c = static_cast<uint8_t>(*p);
    if (no_reservado(c)) {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      r += escape;
    } else {
      r += static_cast<char>(c);
    }
  }
  return r;
}

// The address of `ruta` with the row's name and code (already escaped).
std::string direccion(const char *ruta, const char *nombre, const char *codigo)
{
  return "http://" + servidor + ruta + "?yourname=" + escapar(nombre) + "&code=" + codigo;
}

long estado_respuesta()
{
  long estado = 0;
  libcurl.easy_getinfo(internet, CURLINFO_RESPONSE_CODE, &estado);
  return estado;
}

// One request to `url` whose answer is read: a POST of the `n` bytes of
// `datos` with the headers `post` (a recording's by default), or a GET when
// `datos` is null. The body's first `maximo` bytes go to `cuerpo`.
// Afterwards the connection is left as inet_sendscore expects it: a GET
// whose answer is not read.
CURLcode pedir(const std::string &url, const uint8_t *datos, size_t n, cuerpo_respuesta &cuerpo,
               curl_slist *post = cabeceras_post)
{
  CURLcode r = libcurl.easy_setopt(internet, CURLOPT_URL, url.c_str());
  if (datos != nullptr) {
    libcurl.easy_setopt(internet, CURLOPT_HTTPHEADER, post);
    libcurl.easy_setopt(internet, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(n));
    libcurl.easy_setopt(internet, CURLOPT_POSTFIELDS, datos);
  }
  libcurl.easy_setopt(internet, CURLOPT_WRITEFUNCTION, guardar_respuesta);
  libcurl.easy_setopt(internet, CURLOPT_WRITEDATA, &cuerpo);
  if (r == CURLE_OK) {
    r = libcurl.easy_perform(internet);
  }
  libcurl.easy_setopt(internet, CURLOPT_HTTPGET, 1L);
  libcurl.easy_setopt(internet, CURLOPT_HTTPHEADER, cabeceras);
  libcurl.easy_setopt(internet, CURLOPT_WRITEFUNCTION, descartar);
  libcurl.easy_setopt(internet, CURLOPT_WRITEDATA, nullptr);
  return r;
}

// Why a request that did not go through failed, into `motivo`.
void motivo_fallo(CURLcode r)
{
  motivo = r == CURLE_OPERATION_TIMEDOUT
               ? "no answer from " + nombre_servidor + " in " + segundos(ESPERA_PETICION)
               : "the request to " + nombre_servidor + " failed: " + libcurl.easy_strerror(r);
}

// The answer's status and first line in `linea` ("STATUS words"); true for
// a 2xx, else the server's refusal goes to `motivo`.
bool con_estado(const cuerpo_respuesta &cuerpo, std::string &linea)
{
  const long estado = estado_respuesta();
  // The server's answers start with their status already; others get it.
  const std::string primera = cuerpo.texto.substr(0, cuerpo.texto.find('\n'));
  const std::string prefijo = std::to_string(estado) + " ";
  linea = primera.compare(0, prefijo.size(), prefijo) == 0 ? primera : prefijo + primera;
  if (estado >= 200 && estado <= 299) {
    return true;
  }
  motivo = nombre_servidor + " answered: " + linea;
  return false;
}

}  // namespace

int32_t inet_sendscore(const char *nombre, const char *codigo)
{
  if (internet == nullptr) {
    motivo = "no connection to the server is open";
    return INET_SIN_PETICION;
  }
  const std::string url = direccion("/highscore.php", nombre, codigo);
  // A server that answers with an error (or not with HTTP at all) has not
  // taken the score, and the player must not be told it has: the status
  // decides, and the answer's first line says why.
  cuerpo_respuesta cuerpo{{}, MAX_RESPUESTA, false};
  if (const CURLcode r = pedir(url, nullptr, 0, cuerpo); r != CURLE_OK) {
    motivo_fallo(r);
    return INET_ENVIO_FALLIDO;
  }
  std::string linea;
  return con_estado(cuerpo, linea) ? INET_CORRECTO : INET_ENVIO_FALLIDO;
}

namespace {

// A POST of a recording (or of a level and its recording, with the headers
// `post`) to path `ruta` and `consulta` on the server, signed by player
// `nombre`, its answer's status and first line in `respuesta`.
int32_t enviar_grabacion(const std::string &ruta, const std::string &consulta, const char *nombre,
                         const uint8_t *datos, size_t n, std::string &respuesta, curl_slist *post = cabeceras_post)
{
  respuesta.clear();
  if (internet == nullptr) {
    motivo = "no connection to the server is open";
    return INET_SIN_PETICION;
  }
  std::string clave, firma;
  if (!firmar_envio(nombre, ruta, std::string(reinterpret_cast<const char *>(datos), n), clave, firma, respuesta)) {
    motivo = respuesta;
    return INET_SIN_FIRMA;
  }
  // The connection's headers and the signature's, for this request.
  curl_slist *firmadas = nullptr;
  for (const curl_slist *c = post; c != nullptr; c = c->next) {
    firmadas = libcurl.slist_append(firmadas, c->data);
  }
  firmadas = libcurl.slist_append(firmadas, (std::string(CABECERA_CLAVE) + ": " + clave).c_str());
  firmadas = libcurl.slist_append(firmadas, (std::string(CABECERA_FIRMA) + ": " + firma).c_str());
  cuerpo_respuesta cuerpo{{}, MAX_RESPUESTA, false};
  const CURLcode hecho = pedir("http://" + servidor + ruta + consulta, datos, n, cuerpo, firmadas);
  libcurl.slist_free_all(firmadas);
  if (hecho != CURLE_OK) {
    motivo_fallo(hecho);
    return INET_ENVIO_FALLIDO;
  }
  return con_estado(cuerpo, respuesta) ? INET_CORRECTO : INET_ENVIO_FALLIDO;
}

}  // namespace

int32_t inet_sendreplay(const char *nombre, const char *codigo, const uint8_t *datos, size_t n, std::string &respuesta)
{
  return enviar_grabacion("/api/repeticiones", "?yourname=" + escapar(nombre) + "&code=" + codigo, nombre, datos, n,
                          respuesta);
}

int32_t inet_sendlevel(const char *nombre, const std::string &texto, const uint8_t *datos, size_t n,
                       std::string &respuesta)
{
  std::vector<uint8_t> cuerpo(texto.begin(), texto.end());
  cuerpo.insert(cuerpo.end(), datos, datos + n);
  return enviar_grabacion("/api/niveles", "?yourname=" + escapar(nombre) + "&nivel=" + std::to_string(texto.size()),
                          nombre, cuerpo.data(), cuerpo.size(), respuesta, cabeceras_nivel);
}

int32_t inet_getlevel(const char *id, std::string &texto, long &estado)
{
  texto.clear();
  estado = 0;
  if (internet == nullptr) {
    motivo = "no connection to the server is open";
    return INET_SIN_PETICION;
  }
  cuerpo_respuesta cuerpo{{}, INET_MAX_NIVEL, false};
  const std::string url = "http://" + servidor + "/api/niveles/" + escapar(id) + "/texto";
  if (const CURLcode r = pedir(url, nullptr, 0, cuerpo); r != CURLE_OK) {
    motivo_fallo(r);
    return INET_ENVIO_FALLIDO;
  }
  estado = estado_respuesta();
  texto = std::move(cuerpo.texto);
  // A level cut short is no level; the status says so plainly.
  if (cuerpo.cortado && estado == 200) {
    estado = 413;
  }
  return INET_CORRECTO;
}

int32_t inet_sendlevelreplay(const char *id, const char *nombre, const uint8_t *datos, size_t n,
                             std::string &respuesta)
{
  return enviar_grabacion("/api/niveles/" + escapar(id) + "/repeticiones", "?yourname=" + escapar(nombre), nombre,
                          datos, n, respuesta);
}

void inet_close()
{
  if (internet != nullptr) {
    libcurl.easy_cleanup(internet);
    internet = nullptr;
  }
  for (curl_slist **c : {&cabeceras, &cabeceras_post, &cabeceras_nivel}) {
    if (*c != nullptr) {
      libcurl.slist_free_all(*c);
      *c = nullptr;
    }
  }
  if (conexion >= 0) {
    close(conexion);
    conexion = -1;
  }
  conexion_entregada = -1;
}

const std::string &inet_motivo() { return motivo; }

#ifdef FOTONAUTA_PRUEBAS
void prueba_inet_olvidar_libcurl()
{
  inet_close();
  libcurl = {};
}
#endif

const char *servidor_puntuaciones()
{
#ifdef FOTONAUTA_PRUEBAS
  if (prueba_servidor != nullptr) {
    return prueba_servidor;
  }
#endif
  const char *valor = std::getenv("FOTONAUTA_SERVIDOR");
  return valor != nullptr && valor[0] != '\0' ? valor : FOTONAUTA_SERVIDOR;
}
