#include "arnes/datafile_prueba.h"

#include <cstdint>
#include <cstdio>

namespace {

void poner32(std::vector<unsigned char> &v, uint32_t n)
{
  for (int s = 24; s >= 0; s -= 8) {
    v.push_back(static_cast<unsigned char>(n >> s));
  }
}

void poner16(std::vector<unsigned char> &v, uint16_t n)
{
  v.push_back(static_cast<unsigned char>(n >> 8));
  v.push_back(static_cast<unsigned char>(n));
}

void poner_id(std::vector<unsigned char> &v, const std::string &id)
{
  for (int i = 0; i < 4; ++i) {
    v.push_back(static_cast<unsigned char>(i < static_cast<int>(id.size()) ? id[i] : ' '));
  }
}

}  // namespace

objeto_prueba bitmap_prueba(int ancho, int alto)
{
  objeto_prueba o;
  o.tipo = "BMP ";
  o.ancho = ancho;
  o.alto = alto;
  return o;
}

bool escribir_datafile_prueba(const std::string &ruta, const std::vector<objeto_prueba> &objetos)
{
  std::vector<unsigned char> v;
  poner_id(v, "slh.");
  poner_id(v, "ALL.");
  poner32(v, static_cast<uint32_t>(objetos.size()));
  for (const objeto_prueba &o : objetos) {
    std::vector<unsigned char> contenido;
    if (o.tipo == "BMP " && o.datos.empty()) {
      poner16(contenido, 32);
      poner16(contenido, static_cast<uint16_t>(o.ancho));
      poner16(contenido, static_cast<uint16_t>(o.alto));
      contenido.insert(contenido.end(), static_cast<size_t>(o.ancho) * o.alto * 3, 0x60);
    } else {
      contenido = o.datos;
    }
    poner_id(v, o.tipo);
    poner32(v, static_cast<uint32_t>(contenido.size()));
    poner32(v, static_cast<uint32_t>(contenido.size()));
    v.insert(v.end(), contenido.begin(), contenido.end());
  }
  FILE *f = fopen(ruta.c_str(), "wb");
  if (f == nullptr) {
    return false;
  }
  const bool bien = fwrite(v.data(), 1, v.size(), f) == v.size();
  return fclose(f) == 0 && bien;
}
