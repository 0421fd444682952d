// A recording's file: its input packed with zlib, and the file written and
// read (docs/repeticion.md). The rest of the format is formato.cpp's.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "repeticion/repeticion.h"

std::vector<uint8_t> codificar_repeticion(const repeticion &r)
{
  const std::vector<uint8_t> eventos = eventos_repeticion(r);
  uLongf largo = compressBound(eventos.size());
  std::vector<uint8_t> comprimido(largo);
  compress2(comprimido.data(), &largo, eventos.data(), eventos.size(), Z_BEST_COMPRESSION);
  comprimido.resize(largo);
  return montar_repeticion(r, comprimido, eventos.size());
}

bool decodificar_repeticion(const uint8_t *d, size_t n, repeticion &r, std::string &error)
{
  entrada_empaquetada e;
  if (!leer_cabecera_repeticion(d, n, r.cabecera, e, error)) {
    return false;
  }
  // Unpacked into exactly the room it claims: a stream that would unpack
  // further is refused, however it was made.
  std::vector<uint8_t> eventos(e.largo_eventos);
  uLongf largo = e.largo_eventos;
  const int z = uncompress(eventos.data(), &largo, d + e.inicio, e.largo);
  if (z != Z_OK || largo != e.largo_eventos) {
    error = "the recording's input does not unpack to its stated size";
    return false;
  }
  return leer_eventos_repeticion(eventos.data(), eventos.size(), e, r, error);
}

bool guardar_repeticion(const std::string &ruta, const repeticion &r, std::string &error)
{
  const std::vector<uint8_t> bytes = codificar_repeticion(r);
  const std::string temporal = ruta + ".tmp";
  const int fd = open(temporal.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = temporal + ": " + strerror(errno);
    return false;
  }
  size_t hecho = 0;
  while (hecho < bytes.size()) {
    const ssize_t w = write(fd, bytes.data() + hecho, bytes.size() - hecho);
    if (w < 0 && errno == EINTR) {
      continue;
    }
    if (w <= 0) {
      error = temporal + ": " + strerror(errno);
      close(fd);
      unlink(temporal.c_str());
      return false;
    }
    hecho += static_cast<size_t>(w);
  }
  // The descriptor is closed whatever fsync says.
  const bool escrito = fsync(fd) == 0;
  const int error_fsync = errno;
  const bool cerrado = close(fd) == 0;
  if (!escrito || !cerrado || rename(temporal.c_str(), ruta.c_str()) != 0) {
    error = ruta + ": " + strerror(escrito ? errno : error_fsync);
    unlink(temporal.c_str());
    return false;
  }
  return true;
}

bool leer_repeticion(const std::string &ruta, repeticion &r, std::string &error)
{
  FILE *f = fopen(ruta.c_str(), "rb");
  if (f == nullptr) {
    error = ruta + ": " + strerror(errno);
    return false;
  }
  std::vector<uint8_t> bytes(MAX_BYTES_REPETICION + 1);
  const size_t n = fread(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  if (!decodificar_repeticion(bytes.data(), n, r, error)) {
    error = ruta + ": " + error;
    return false;
  }
  return true;
}
