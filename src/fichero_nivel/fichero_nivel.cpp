// Level files on disk: reading one, and writing one through a new file
// renamed over the old.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fichero_nivel/fichero_nivel.h"

bool leer_nivel_texto(const std::string &ruta, nivel_texto &nivel, std::string &error)
{
  std::ifstream f(ruta, std::ios::binary);
  if (!f) {
    error = ruta + ": cannot be read";
    return false;
  }
  std::ostringstream texto;
  texto << f.rdbuf();
  if (!interpretar_nivel_texto(texto.str(), nivel, error)) {
    error = ruta + ": " + error;
    return false;
  }
  return true;
}

bool guardar_nivel_texto(const std::string &ruta, const nivel_texto &nivel, std::string &error)
{
  const std::string temporal = ruta + ".tmp";
  const std::string texto = escribir_nivel_texto(nivel);
  FILE *f = fopen(temporal.c_str(), "wb");
  if (f == nullptr) {
    error = temporal + ": cannot be written";
    return false;
  }
  const bool escrito = fwrite(texto.data(), 1, texto.size(), f) == texto.size();
  // A full disk may only show when the file is closed.
  if (fclose(f) != 0 || !escrito) {
    remove(temporal.c_str());
    error = temporal + ": cannot be written";
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(temporal, ruta, ec);
  if (ec) {
    remove(temporal.c_str());
    error = ruta + ": " + ec.message();
    return false;
  }
  return true;
}
