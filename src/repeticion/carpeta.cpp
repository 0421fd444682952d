// The folder of recordings beside the high-score table: the names of its
// files, writing one there, and keeping the folder to the table's size.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "repeticion/repeticion.h"

namespace fs = std::filesystem;

std::string nombre_repeticion_fila(const char *codigo)
{
  if (strnlen(codigo, LONG_COD + 1) != LONG_COD) {
    return {};
  }
  for (int i = 0; i < LONG_COD; ++i) {
    if (codigo[i] == '\0' || strchr(ALFABETO_CODIGO, codigo[i]) == nullptr) {
      return {};
    }
  }
  return std::string(codigo, LONG_COD) + EXTENSION_REPETICION;
}

std::string nombre_repeticion_suelta(const std::string &carpeta, int64_t fecha)
{
  const time_t t = static_cast<time_t>(fecha);
  tm local{};
  localtime_r(&t, &local);
  char base[32];
  strftime(base, sizeof base, "%Y-%m-%d_%H-%M-%S", &local);
  std::string nombre = std::string(base) + EXTENSION_REPETICION;
  // Two games ended within one second keep both.
  std::error_code e;
  for (int n = 2; fs::exists(fs::path(carpeta) / nombre, e); ++n) {
    nombre = std::string(base) + "_" + std::to_string(n) + EXTENSION_REPETICION;
  }
  return nombre;
}

bool guardar_en_carpeta(const std::string &carpeta, const std::string &nombre, const repeticion &r,
                        std::string &error)
{
  std::error_code e;
  fs::create_directory(carpeta, e);
  if (e) {
    error = carpeta + ": " + e.message();
    return false;
  }
  return guardar_repeticion((fs::path(carpeta) / nombre).string(), r, error);
}

int podar_repeticiones(const std::string &carpeta, const std::vector<std::string> &enlazadas, size_t sueltas)
{
  struct fichero {
    fs::file_time_type hora;
    fs::path ruta;
  };
  std::vector<fichero> otras;
  std::error_code e;
  for (fs::directory_iterator i(carpeta, e), fin; !e && i != fin; i.increment(e)) {
    // A file that cannot be looked at is left alone.
    std::error_code e_fichero;
    const fs::path &ruta = i->path();
    if (ruta.extension() != EXTENSION_REPETICION || !i->is_regular_file(e_fichero) ||
        std::find(enlazadas.begin(), enlazadas.end(), ruta.filename().string()) != enlazadas.end()) {
      continue;
    }
    const fs::file_time_type hora = i->last_write_time(e_fichero);
    if (!e_fichero) {
      otras.push_back({hora, ruta});
    }
  }
  // Without the whole list the most recent are not known: nothing goes.
  if (e) {
    return 0;
  }
  // Newest first; by name among equal times, which for the dated names is
  // their order too.
  std::sort(otras.begin(), otras.end(), [](const fichero &a, const fichero &b) {
    return a.hora != b.hora ? a.hora > b.hora : a.ruta > b.ruta;
  });
  int borradas = 0;
  for (size_t i = sueltas; i < otras.size(); ++i) {
    borradas += fs::remove(otras[i].ruta, e) ? 1 : 0;
  }
  return borradas;
}
