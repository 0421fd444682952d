// A folder of level files that replace stored levels (`fotonauta
// --niveles`), read and checked against the level rules.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "fichero_nivel/fichero_nivel.h"
#include "fotonauta/fotonauta.h"

std::vector<std::pair<int, nivel_texto>> leer_carpeta_niveles(const std::string &carpeta,
                                                              std::vector<std::string> &errores,
                                                              std::vector<std::string> &ignorados)
{
  std::vector<std::pair<int, nivel_texto>> niveles;
  std::error_code ec;
  if (!std::filesystem::is_directory(carpeta, ec)) {
    errores.push_back(carpeta + ": not a folder");
    return niveles;
  }
  // A file the author meant as a level but named otherwise ("5.txt",
  // "75.txt") would quietly not play: every file left out is named.
  for (std::filesystem::directory_iterator i(carpeta, ec), fin; !ec && i != fin; i.increment(ec)) {
    const std::string nombre = i->path().filename().string();
    const bool jugado = nombre.size() == 6 && nombre.compare(2, 4, ".txt") == 0 && isdigit(static_cast<unsigned char>(nombre[0])) &&
                        isdigit(static_cast<unsigned char>(nombre[1])) && std::stoi(nombre.substr(0, 2)) < NUM_NIVELES;
    if (!jugado && nombre[0] != '.' && !i->is_directory(ec)) {
      ignorados.push_back(i->path().string());
    }
  }
  std::sort(ignorados.begin(), ignorados.end());
  for (int n = 0; n < NUM_NIVELES; ++n) {
    char nombre[8];
    snprintf(nombre, sizeof nombre, "%02d.txt", n);
    const std::string ruta = (std::filesystem::path(carpeta) / nombre).string();
    if (!std::filesystem::exists(ruta, ec)) {
      continue;
    }
    nivel_texto nivel;
    std::string error;
    if (!leer_nivel_texto(ruta, nivel, error)) {
      errores.push_back(error);
      continue;
    }
    const int g = nivel.gremlins >= 0 ? nivel.gremlins : gremlins[n];
    const std::vector<problema_nivel> problemas = comprobar_nivel(nivel.bytes, g);
    for (const problema_nivel &p : problemas) {
      errores.push_back(p.celda < 0 ? ruta + ": " + p.texto : ruta + ": " + nombre_celda(p.celda) + ": " + p.texto);
    }
    if (problemas.empty()) {
      niveles.emplace_back(n, nivel);
    }
  }
  return niveles;
}
