// The game's keys: one Ed25519 key pair per player, made on the player's
// first signed upload and kept in the key file (identidad.h).
#include <fcntl.h>
#include <sodium.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "identidad/identidad.h"

namespace {

const char *const PRIMERA_LINEA = "fotonauta claves 1";

struct clave_guardada {
  std::string semilla_hex;  // crypto_sign_SEEDBYTES in hex
  std::string nombre;       // UTF-8, as first signed
};

std::string carpeta_datos()
{
  const char *xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    return std::string(xdg) + "/fotonauta";
  }
  const char *casa = std::getenv("HOME");
  if (casa != nullptr && casa[0] == '/') {
    return std::string(casa) + "/.local/share/fotonauta";
  }
  return "";
}

std::string a_hex(const unsigned char *b, size_t n)
{
  static const char cifras[] = "0123456789abcdef";
  std::string t;
  for (size_t i = 0; i < n; ++i) {
    t += cifras[b[i] >> 4];
    t += cifras[b[i] & 15];
  }
  return t;
}

// The key file's players: true when it is missing (none) or reads whole;
// false, with the line that does not, when it is damaged.
bool leer_claves(const std::string &ruta, std::vector<clave_guardada> &claves, std::string &error)
{
  claves.clear();
  FILE *f = std::fopen(ruta.c_str(), "rb");
  if (f == nullptr) {
    if (errno == ENOENT) {
      return true;
    }
    error = "the key file " + ruta + " cannot be read: " + std::strerror(errno);
    return false;
  }
  std::string todo;
  char bloque[4096];
  for (size_t n; (n = std::fread(bloque, 1, sizeof bloque, f)) > 0 && todo.size() < (1 << 20);) {
    todo.append(bloque, n);
  }
  std::fclose(f);
  size_t inicio = 0;
  int numero = 0;
  bool bien = true;
  while (bien && inicio < todo.size()) {
    const size_t fin = todo.find('\n', inicio);
    const std::string linea = todo.substr(inicio, fin == std::string::npos ? std::string::npos : fin - inicio);
    inicio = fin == std::string::npos ? todo.size() : fin + 1;
    ++numero;
    if (numero == 1) {
      bien = linea == PRIMERA_LINEA && fin != std::string::npos;
      continue;
    }
    const size_t tab = linea.find('\t');
    clave_guardada c;
    c.semilla_hex = linea.substr(0, tab);
    c.nombre = tab == std::string::npos ? "" : linea.substr(tab + 1);
    bien = fin != std::string::npos && es_hex(c.semilla_hex, crypto_sign_SEEDBYTES) && !plegar_nombre(c.nombre).empty();
    claves.push_back(c);
  }
  if (!bien || numero == 0) {
    error = "the key file " + ruta + " is damaged (line " + std::to_string(numero) +
            "); nothing is signed until it is mended or moved away, since a new key would lose the names it holds";
    return false;
  }
  return true;
}

// Writes the key file anew: a new file in the same folder, synced, renamed
// over the old one.
bool escribir_claves(const std::string &ruta, const std::vector<clave_guardada> &claves, std::string &error)
{
  std::string texto = std::string(PRIMERA_LINEA) + "\n";
  for (const clave_guardada &c : claves) {
    texto += c.semilla_hex + "\t" + c.nombre + "\n";
  }
  const std::string nueva = ruta + ".nueva";
  const int fd = open(nueva.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  bool bien = fd >= 0 && fchmod(fd, 0600) == 0;
  for (size_t hecho = 0; bien && hecho < texto.size();) {
    const ssize_t w = write(fd, texto.data() + hecho, texto.size() - hecho);
    bien = w > 0 || (w < 0 && errno == EINTR);
    hecho += w > 0 ? static_cast<size_t>(w) : 0;
  }
  bien = bien && fsync(fd) == 0;
  if (fd >= 0) {
    bien = close(fd) == 0 && bien;
  }
  bien = bien && std::rename(nueva.c_str(), ruta.c_str()) == 0;
  if (!bien) {
    error = "the key file " + ruta + " cannot be written: " + std::strerror(errno);
    unlink(nueva.c_str());
  }
  return bien;
}

}  // namespace

std::string ruta_claves()
{
  const std::string carpeta = carpeta_datos();
  return carpeta.empty() ? "" : carpeta + "/claves";
}

bool firmar_envio(const std::string &nombre, const std::string &ruta, const std::string &cuerpo,
                  std::string &clave_hex, std::string &firma_hex, std::string &error)
{
  std::string recortado = nombre;
  recortado.erase(recortado.find_last_not_of(' ') + 1);
  const std::string utf8 = latin1_a_utf8(recortado);
  const std::string plegado = plegar_nombre(utf8);
  const std::string carpeta = carpeta_datos();
  if (plegado.empty()) {
    error = "the name '" + utf8 + "' has no letter to claim it by";
    return false;
  }
  if (carpeta.empty()) {
    error = "there is no folder for the key file: neither XDG_DATA_HOME nor HOME is an absolute path";
    return false;
  }
  if (sodium_init() < 0) {
    error = "libsodium cannot start";
    return false;
  }
  // The folder made, and locked while the file is read and written: the
  // game and the editor may make a key at once.
  // Each missing folder on the way made as the XDG rules ask, 0700.
  for (size_t barra = carpeta.find('/', 1); ; barra = carpeta.find('/', barra + 1)) {
    mkdir(carpeta.substr(0, barra).c_str(), 0700);
    if (barra == std::string::npos) {
      break;
    }
  }
  const int cerrojo = open(carpeta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (cerrojo < 0) {
    error = "the folder " + carpeta + " cannot be made: " + std::strerror(errno);
    return false;
  }
  while (flock(cerrojo, LOCK_EX) != 0 && errno == EINTR) {
  }
  const std::string fichero = carpeta + "/claves";
  std::vector<clave_guardada> claves;
  bool bien = leer_claves(fichero, claves, error);
  const clave_guardada *suya = nullptr;
  for (const clave_guardada &c : claves) {
    if (plegar_nombre(c.nombre) == plegado) {
      suya = &c;
    }
  }
  if (bien && suya == nullptr) {
    unsigned char semilla[crypto_sign_SEEDBYTES];
    randombytes_buf(semilla, sizeof semilla);
    claves.push_back({a_hex(semilla, sizeof semilla), utf8});
    sodium_memzero(semilla, sizeof semilla);
    bien = escribir_claves(fichero, claves, error);
    suya = &claves.back();
  }
  close(cerrojo);
  if (!bien) {
    return false;
  }
  unsigned char semilla[crypto_sign_SEEDBYTES], publica[crypto_sign_PUBLICKEYBYTES], secreta[crypto_sign_SECRETKEYBYTES];
  for (size_t i = 0; i < sizeof semilla; ++i) {
    semilla[i] = static_cast<unsigned char>(std::stoi(suya->semilla_hex.substr(2 * i, 2), nullptr, 16));
  }
  crypto_sign_seed_keypair(publica, secreta, semilla);
  const std::string mensaje = mensaje_firmado(ruta, utf8, cuerpo);
  unsigned char firma[crypto_sign_BYTES];
  crypto_sign_detached(firma, nullptr, reinterpret_cast<const unsigned char *>(mensaje.data()), mensaje.size(), secreta);
  sodium_memzero(semilla, sizeof semilla);
  sodium_memzero(secreta, sizeof secreta);
  clave_hex = a_hex(publica, sizeof publica);
  firma_hex = a_hex(firma, sizeof firma);
  return true;
}
