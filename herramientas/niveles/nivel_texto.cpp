#include "nivel_texto.h"

#include <fstream>
#include <sstream>

namespace {

// Each family of tokens: its letter, the first byte and how many values the
// digit after the letter may take (hexadecimal). The digit is added to the
// first byte.
struct familia {
  char letra;
  int primero;
  int cuantos;
  int digito_min;
};

const familia FAMILIAS[] = {
    {'E', 2, 4, 0},     // emitter, by the side it opens to: 0 down 1 left 2 up 3 right
    {'R', 10, 4, 0},    // receiver, the same
    {'m', 16, 16, 0},   // mirror (its angle is random; the digit only keeps the byte)
    {'a', 31, 16, 1},   // absorbing wall, by quarter mask 1-f
    {'r', 47, 16, 1},   // reflecting wall, by quarter mask 1-f
    {'p', 64, 8, 0},    // reflecting polariser, by axis 0-7
    {'q', 72, 8, 0},    // absorbing polariser, by axis
    {'f', 81, 4, 0},    // fibre-optic end of pair 0-3
    {'g', 86, 16, 0},   // self-turning mirror, by starting angle
    {'P', 102, 8, 0},   // self-turning reflecting polariser, by starting axis
    {'Q', 110, 8, 0},   // self-turning absorbing polariser
};

// Tokens that stand alone.
struct ficha_fija {
  const char *ficha;
  int byte;
};
const ficha_fija FIJAS[] = {
    {"..", 63},  // floor
    {"tt", 47},  // target
    {"ee", 80},  // re-emitter
    {"xx", 85},  // mine
};

int valor_hex(char c)
{
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  return -1;
}

}  // namespace

int byte_de_ficha(const std::string &ficha)
{
  if (ficha.size() != 2) {
    return -1;
  }
  for (const ficha_fija &f : FIJAS) {
    if (ficha == f.ficha) {
      return f.byte;
    }
  }
  const int d = valor_hex(ficha[1]);
  for (const familia &f : FAMILIAS) {
    if (ficha[0] == f.letra && d >= f.digito_min && d < f.cuantos) {
      return f.primero + d;
    }
  }
  return -1;
}

std::string ficha_de_byte(uint8_t b)
{
  for (const ficha_fija &f : FIJAS) {
    if (b == f.byte) {
      return f.ficha;
    }
  }
  static const char HEX[] = "0123456789abcdef";
  for (const familia &f : FAMILIAS) {
    const int d = b - f.primero;
    if (d >= f.digito_min && d < f.cuantos) {
      return std::string{f.letra, HEX[d]};
    }
  }
  return "??";
}

bool leer_nivel_texto(const std::string &ruta, nivel_texto &nivel, std::string &error)
{
  std::ifstream f(ruta);
  if (!f) {
    error = ruta + ": cannot be read";
    return false;
  }
  const std::string prefijos[2] = {"titulo:", "idea:"};
  std::string *destinos[2] = {&nivel.titulo, &nivel.idea};
  std::string linea;
  for (int i = 0; i < 2; ++i) {
    if (!std::getline(f, linea) || linea.rfind(prefijos[i], 0) != 0) {
      error = ruta + ":" + std::to_string(i + 1) + ": expected a line starting with \"" + prefijos[i] + "\"";
      return false;
    }
    *destinos[i] = linea.substr(prefijos[i].size());
    const size_t inicio = destinos[i]->find_first_not_of(' ');
    destinos[i]->erase(0, inicio == std::string::npos ? destinos[i]->size() : inicio);
  }
  int celda = 0;
  int numero_linea = 2;
  while (std::getline(f, linea)) {
    ++numero_linea;
    std::istringstream fichas(linea);
    std::string ficha;
    int en_fila = 0;
    while (fichas >> ficha) {
      const int b = byte_de_ficha(ficha);
      if (b < 0) {
        error = ruta + ":" + std::to_string(numero_linea) + ": unknown cell \"" + ficha + "\"";
        return false;
      }
      if (celda >= CELDAS_NIVEL) {
        error = ruta + ":" + std::to_string(numero_linea) + ": more than 135 cells";
        return false;
      }
      nivel.bytes[celda++] = static_cast<uint8_t>(b);
      ++en_fila;
    }
    if (en_fila != 0 && en_fila != 15) {
      error = ruta + ":" + std::to_string(numero_linea) + ": a row holds 15 cells, this one " +
              std::to_string(en_fila);
      return false;
    }
  }
  if (celda != CELDAS_NIVEL) {
    error = ruta + ": " + std::to_string(celda) + " cells instead of 135";
    return false;
  }
  return true;
}
