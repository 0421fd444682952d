// The level being edited: its palette of elements, turning them, undo and
// redo, and the folder levels are kept in.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "editor/editor.h"

const elemento_paleta PALETA[NUM_ELEMENTOS] = {
    {{"Suelo", "Floor"}, 63, 0, 1, 0},
    {{"Detonador", "Target"}, 47, 0, 1, 0},
    {{"Emisor", "Emitter"}, 2, 0, 4, 3},
    {{"Receptor", "Receiver"}, 10, 0, 4, 1},
    {{"Espejo", "Mirror"}, 16, 0, 16, 2},
    {{"Espejo giratorio", "Self-turning mirror"}, 86, 0, 16, 0},
    {{"Muro absorbente", "Absorbing wall"}, 31, 1, 16, 15},
    {{"Muro reflectante", "Reflecting wall"}, 47, 1, 16, 15},
    {{"Polarizador reflectante", "Reflecting polariser"}, 64, 0, 8, 0},
    {{"Polarizador absorbente", "Absorbing polariser"}, 72, 0, 8, 0},
    {{"Polarizador refl. giratorio", "Self-turning refl. polariser"}, 102, 0, 8, 0},
    {{"Polarizador abs. giratorio", "Self-turning abs. polariser"}, 110, 0, 8, 0},
    {{"Reemisor", "Re-emitter"}, 80, 0, 1, 0},
    {{"Fibra \xF3ptica", "Fibre optic"}, 81, 0, 4, 0},
    {{"Mina", "Mine"}, 85, 0, 1, 0},
};

uint8_t byte_de_elemento(int e, int variante)
{
  return static_cast<uint8_t>(PALETA[e].primero + variante);
}

int elemento_de_byte(uint8_t b, int *variante)
{
  for (int e = 0; e < NUM_ELEMENTOS; ++e) {
    const elemento_paleta &p = PALETA[e];
    const int v = b - p.primero;
    if (v >= p.minimo && v < p.variantes) {
      if (variante != nullptr) {
        *variante = v;
      }
      return e;
    }
  }
  return -1;
}

uint8_t girar_byte(uint8_t b, int pasos)
{
  int v = 0;
  const int e = elemento_de_byte(b, &v);
  if (e < 0) {
    return b;
  }
  const elemento_paleta &p = PALETA[e];
  const int n = p.variantes - p.minimo;
  const int girado = ((v - p.minimo + pasos) % n + n) % n + p.minimo;
  return byte_de_elemento(e, girado);
}

bool niveles_iguales(const nivel_texto &a, const nivel_texto &b)
{
  return a.titulo == b.titulo && a.idea == b.idea && a.gremlins == b.gremlins &&
         memcmp(a.bytes, b.bytes, NUM_CELDAS) == 0;
}

void anotar_cambio(historial &h, const nivel_texto &antes, const nivel_texto &ahora)
{
  if (niveles_iguales(antes, ahora)) {
    return;
  }
  h.deshacer.push_back(antes);
  h.rehacer.clear();
}

bool deshacer(historial &h, nivel_texto &nivel)
{
  if (h.deshacer.empty()) {
    return false;
  }
  h.rehacer.push_back(nivel);
  nivel = h.deshacer.back();
  h.deshacer.pop_back();
  return true;
}

bool rehacer(historial &h, nivel_texto &nivel)
{
  if (h.rehacer.empty()) {
    return false;
  }
  h.deshacer.push_back(nivel);
  nivel = h.rehacer.back();
  h.rehacer.pop_back();
  return true;
}

std::string carpeta_niveles_usuario()
{
  // Relative values are to be ignored, as for every XDG variable.
  std::filesystem::path base;
  const char *xdg = getenv("XDG_DATA_HOME");
  const char *casa = getenv("HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else if (casa != nullptr && casa[0] == '/') {
    base = std::filesystem::path(casa) / ".local" / "share";
  } else {
    return "";
  }
  const std::filesystem::path carpeta = base / "fotonauta" / "niveles";
  std::error_code ec;
  std::filesystem::create_directories(carpeta, ec);
  return carpeta.string();
}

std::vector<std::string> ficheros_de_niveles(const std::string &carpeta)
{
  std::vector<std::string> nombres;
  std::error_code ec;
  for (std::filesystem::directory_iterator i(carpeta, ec), fin; !ec && i != fin; i.increment(ec)) {
    const std::filesystem::path &p = i->path();
    if (p.extension() == ".txt" && i->is_regular_file(ec)) {
      nombres.push_back(p.filename().string());
    }
  }
  std::sort(nombres.begin(), nombres.end());
  return nombres;
}

std::string primer_nombre_libre(const std::string &carpeta)
{
  std::error_code ec;
  for (int n = 0; n < NUM_NIVELES; ++n) {
    char nombre[8];
    snprintf(nombre, sizeof nombre, "%02d.txt", n);
    if (!std::filesystem::exists(std::filesystem::path(carpeta) / nombre, ec)) {
      return nombre;
    }
  }
  return "nivel.txt";
}

nivel_texto nivel_vacio()
{
  nivel_texto n;
  n.gremlins = 0;
  memset(n.bytes, PALETA[ELEMENTO_SUELO].primero, NUM_CELDAS);
  return n;
}
