// Finding the data files, checking a file is whole before it is read, and
// reading files ahead on threads of their own; the walk that reads one is
// recorrido.cpp's.
#include "cargador/cargador.h"

#include <allegro/internal/aintern.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- the completeness check

// Reads a big-endian 32-bit word; false at the end of the file.
bool leer32_fichero(FILE *f, uint32_t &n)
{
  unsigned char b[4];
  if (fread(b, 1, 4, f) != 4) {
    return false;
  }
  n = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
  return true;
}

}  // namespace

bool datafile_completo(const char *fichero)
{
  FILE *f = fopen(fichero, "rb");
  if (f == nullptr) {
    return false;
  }
  bool completo = false;
  uint32_t magia = 0, tipo = 0, objetos = 0;
  if (fseek(f, 0, SEEK_END) == 0) {
    const long largo = ftell(f);
    rewind(f);
    if (leer32_fichero(f, magia) && magia == static_cast<uint32_t>(F_PACK_MAGIC)) {
      completo = true;
    } else if (magia == static_cast<uint32_t>(F_NOPACK_MAGIC) && leer32_fichero(f, tipo) &&
               tipo == static_cast<uint32_t>(DAT_MAGIC) && leer32_fichero(f, objetos)) {
      completo = true;
      for (uint32_t i = 0; i < objetos && completo; ++i) {
        uint32_t id, tamano, descomprimido;
        completo = leer32_fichero(f, id);
        while (completo && id == static_cast<uint32_t>(DAT_PROPERTY)) {
          uint32_t tipo_propiedad;
          completo = leer32_fichero(f, tipo_propiedad) && leer32_fichero(f, tamano) &&
                     tamano <= static_cast<uint32_t>(largo) && fseek(f, static_cast<long>(tamano), SEEK_CUR) == 0 && leer32_fichero(f, id);
        }
        completo = completo && leer32_fichero(f, tamano) && leer32_fichero(f, descomprimido) &&
                   ftell(f) + static_cast<long>(tamano) <= largo &&
                   fseek(f, static_cast<long>(tamano), SEEK_CUR) == 0;
      }
    }
  }
  fclose(f);
  return completo;
}

namespace {

// The folders beside the program that may hold its data files: the build's
// datos/, then the installation's data folder, both found from where the
// program itself lies. Empty when that cannot be known.
std::vector<std::string> carpetas_del_programa()
{
  std::vector<std::string> carpetas;
  char ruta[4096];
  const ssize_t n = readlink("/proc/self/exe", ruta, sizeof ruta - 1);
  if (n <= 0) {
    return carpetas;
  }
  ruta[n] = '\0';
  std::string dir(ruta);
  dir.erase(dir.find_last_of('/') + 1);
  carpetas.push_back(dir + "datos");
  carpetas.push_back(dir + FOTONAUTA_PROGRAMA_A_DATOS);
  return carpetas;
}

bool existe(const std::string &ruta)
{
  struct stat st;
  return stat(ruta.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string ruta_dato(const char *nombre)
{
  if (strchr(nombre, '/') != nullptr || existe(nombre)) {
    return nombre;
  }
  for (const std::string &carpeta : carpetas_del_programa()) {
    std::string ruta = carpeta + "/" + nombre;
    if (existe(ruta)) {
      return ruta;
    }
  }
  return nombre;
}

std::string lugares_dato(const char *nombre)
{
  char aqui[4096];
  std::string lugares = getcwd(aqui, sizeof aqui) != nullptr ? std::string(aqui) + "/" + nombre : nombre;
  if (strchr(nombre, '/') == nullptr) {
    for (const std::string &carpeta : carpetas_del_programa()) {
      lugares += ", " + carpeta + "/" + nombre;
    }
  }
  return lugares;
}

DATAFILE *cargar_datafile(const char *fichero)
{
  const std::string ruta = ruta_dato(fichero);
  DATAFILE *d = nullptr;
  if (tomar_adelanto(ruta.c_str(), &d)) {
    return d;
  }
  return datafile_completo(ruta.c_str()) ? leer_datafile(ruta.c_str()) : nullptr;
}

namespace {

// ---- reading ahead

// A data file read on a thread while the program does something else,
// until cargar_datafile takes it.
struct t_adelanto {
  char fichero[4096];  // where it is read from; empty: the entry is free
  int8_t hilo;        // the thread reading it, in `hilos`
  DATAFILE *datos;
  // Written by the thread: true when `datos` is the answer (null included);
  // false when the file must be read again where load_datafile may run.
  bool leido;
};

constexpr int MAX_ADELANTOS = 6;

// The files being read ahead, and the threads reading them (one per call of
// adelantar_datafiles, each reading its files in turn). A thread writes
// only its own entries' `datos` and `leido`; the rest is the main thread's,
// and it reads those two only after joining the thread.
t_adelanto adelantos[MAX_ADELANTOS];
std::thread hilos[MAX_ADELANTOS];

// The thread's work: the entries whose bits are set in `entradas`, in turn.
void leer_adelantos(uint32_t entradas, bool solo_sonido)
{
  for (int i = 0; i < MAX_ADELANTOS; ++i) {
    if ((entradas & (1u << i)) != 0) {
      t_adelanto &a = adelantos[i];
      bool probar_allegro = false;
      a.datos = datafile_completo(a.fichero) ? recorrer_datafile(a.fichero, solo_sonido, &probar_allegro)
                                             : nullptr;
      a.leido = a.datos != nullptr || !probar_allegro;
    }
  }
}

void esperar_hilo(int8_t hilo)
{
  if (hilos[hilo].joinable()) {
    hilos[hilo].join();
  }
}

void liberar_adelanto(t_adelanto &a)
{
  if (a.datos != nullptr) {
    unload_datafile(a.datos);
  }
  a = t_adelanto{};
}

}  // namespace

DATAFILE *leer_datafile(const char *fichero)
{
  bool probar_allegro = true;
  DATAFILE *d = recorrer_datafile(fichero, false, &probar_allegro);
  if (d == nullptr && probar_allegro) {
    d = load_datafile(fichero);
  }
  return d;
}

void adelantar_datafiles(const char *const ficheros[], int n, bool solo_sonido)
{
  // A thread still joinable at exit would abort the program, and one still
  // building bitmaps must not outlive the library: exit waits for them.
  static const bool en_salida = atexit(soltar_adelantos) == 0;
  (void)en_salida;
  std::vector<std::string> rutas;
  for (int i = 0; i < n; ++i) {
    rutas.push_back(ruta_dato(ficheros[i]));
  }
  for (int i = 0; i < n; ++i) {
    // A file read ahead before and never taken is stale.
    for (t_adelanto &a : adelantos) {
      if (a.fichero[0] != 0 && rutas[static_cast<size_t>(i)] == a.fichero) {
        esperar_hilo(a.hilo);
        liberar_adelanto(a);
      }
    }
  }
  // A thread of its own: one that no entry still waits for.
  int8_t hilo = -1;
  for (int8_t h = 0; h < MAX_ADELANTOS && hilo < 0; ++h) {
    hilo = h;
    for (const t_adelanto &a : adelantos) {
      if (a.fichero[0] != 0 && a.hilo == h) {
        hilo = -1;
      }
    }
  }
  if (hilo < 0) {
    return;
  }
  esperar_hilo(hilo);
  uint32_t entradas = 0;
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < MAX_ADELANTOS; ++k) {
      t_adelanto &a = adelantos[k];
      const std::string &ruta = rutas[static_cast<size_t>(i)];
      if (a.fichero[0] == 0 && ruta.size() < sizeof a.fichero) {
        snprintf(a.fichero, sizeof a.fichero, "%s", ruta.c_str());
        a.hilo = hilo;
        entradas |= 1u << k;
        break;
      }
    }
  }
  if (entradas == 0) {
    return;
  }
  try {
    hilos[hilo] = std::thread(leer_adelantos, entradas, solo_sonido);
  } catch (const std::system_error &) {
    // No thread to spare: cargar_datafile reads them itself.
    for (int k = 0; k < MAX_ADELANTOS; ++k) {
      if ((entradas & (1u << k)) != 0) {
        adelantos[k] = t_adelanto{};
      }
    }
  }
}

bool tomar_adelanto(const char *fichero, DATAFILE **datos)
{
  for (t_adelanto &a : adelantos) {
    if (a.fichero[0] != 0 && strcmp(a.fichero, fichero) == 0) {
      esperar_hilo(a.hilo);
      const bool leido = a.leido;
      *datos = a.datos;
      a = t_adelanto{};
      return leido;
    }
  }
  return false;
}

void soltar_adelantos()
{
  for (int8_t h = 0; h < MAX_ADELANTOS; ++h) {
    esperar_hilo(h);
  }
  for (t_adelanto &a : adelantos) {
    liberar_adelanto(a);
  }
}
