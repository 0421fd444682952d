// The text form of a level: two characters per cell, 15 cells to a row,
// nine rows, after a title line, an idea line and an optional gremlin count.
// datos/niveles/README.md documents it. This file needs nothing but the
// header's constants, so the build's level compiler links it on its own;
// reading and writing the files is src/fichero_nivel's.
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "nucleo/nucleo.h"

namespace {

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
  const int d = valor_hex(ficha[1]);
  for (const elemento_nivel &f : ELEMENTOS) {
    if (f.variantes == 1 ? ficha == f.ficha : ficha[0] == f.ficha[0] && d >= f.minimo && d < f.variantes) {
      return f.primero + (f.variantes == 1 ? 0 : d);
    }
  }
  return -1;
}

std::string ficha_de_byte(uint8_t b)
{
  int v = 0;
  const int e = elemento_de_byte(b, &v);
  if (e < 0) {
    return "??";
  }
  static const char HEX[] = "0123456789abcdef";
  const elemento_nivel &f = ELEMENTOS[e];
  return f.variantes == 1 ? std::string(f.ficha) : std::string{f.ficha[0], HEX[v]};
}

std::string nombre_celda(int celda)
{
  return "column " + std::to_string(celda % COLUMNAS + 1) + ", row " + std::to_string(celda / COLUMNAS + 1);
}

bool caracter_dibujable(unsigned char c)
{
  return (c >= 0x20 && c <= 0x7e) || c >= 0xa0;
}

namespace {

std::string en(int linea, int columna, const std::string &texto)
{
  return "line " + std::to_string(linea) + ", column " + std::to_string(columna) + ": " + texto;
}

// A header line "clave: valor": where the value starts, past the blanks
// after the colon; npos when the line is not that header.
size_t cabecera(const std::string &linea, const std::string &clave)
{
  if (linea.rfind(clave, 0) != 0) {
    return std::string::npos;
  }
  const size_t inicio = linea.find_first_not_of(' ', clave.size());
  return inicio == std::string::npos ? linea.size() : inicio;
}

// The bytes a UTF-8 sequence led by `b` takes, 0 for a byte no sequence
// starts with.
int largo_utf8(unsigned char b)
{
  return b < 0x80 ? 1 : b >= 0xc2 && b <= 0xdf ? 2 : b >= 0xe0 && b <= 0xef ? 3 : b >= 0xf0 && b <= 0xf4 ? 4 : 0;
}

// The character at `p` of a text read as UTF-8 (or, when `utf8` is false,
// ISO 8859-1), moving `p` past it; false where the UTF-8 is broken:
// a stray byte, a short sequence, an overlong form, a surrogate or past
// U+10FFFF.
bool leer_caracter(const std::string &t, size_t &p, bool utf8, uint32_t &codigo)
{
  const unsigned char b = static_cast<unsigned char>(t[p]);
  const int n = utf8 ? largo_utf8(b) : 1;
  if (n == 0 || p + static_cast<size_t>(n) > t.size()) {
    return false;
  }
  codigo = n == 1 ? b : b & (0x7f >> n);
  for (int k = 1; k < n; ++k) {
    const unsigned char c = static_cast<unsigned char>(t[p + static_cast<size_t>(k)]);
    if ((c & 0xc0) != 0x80) {
      return false;
    }
    codigo = codigo << 6 | (c & 0x3f);
  }
  const uint32_t minimo[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (codigo < minimo[n] || codigo > 0x10ffff || (codigo >= 0xd800 && codigo <= 0xdfff)) {
    return false;
  }
  p += static_cast<size_t>(n);
  return true;
}

bool es_utf8(const std::string &t)
{
  uint32_t codigo = 0;
  for (size_t p = 0; p < t.size();) {
    if (!leer_caracter(t, p, true, codigo)) {
      return false;
    }
  }
  return true;
}

// A header's value, from `inicio` of its line, into ISO 8859-1. False, with
// the column (in characters, from 1) and the character, when it holds one
// the game's fonts cannot draw.
bool valor_latin1(const std::string &linea, size_t inicio, bool utf8, std::string &valor, int &columna,
                  uint32_t &codigo)
{
  valor.clear();
  columna = 1;
  for (size_t p = 0; p < linea.size(); ++columna) {
    const size_t antes = p;
    if (!leer_caracter(linea, p, utf8, codigo)) {
      codigo = static_cast<unsigned char>(linea[p]);
      return false;
    }
    if (antes < inicio) {
      continue;
    }
    if (codigo > 0xff || !caracter_dibujable(static_cast<unsigned char>(codigo))) {
      return false;
    }
    valor += static_cast<char>(codigo);
  }
  return true;
}

std::string nombre_caracter(uint32_t codigo)
{
  char texto[16];
  snprintf(texto, sizeof texto, "U+%04X", static_cast<unsigned>(codigo));
  return texto;
}

}  // namespace

bool interpretar_nivel_texto(const std::string &texto, nivel_texto &nivel, std::string &error)
{
  // A byte-order mark, which some text editors put first, is no part of
  // the title. Text that is not UTF-8 is from before levels were: ISO
  // 8859-1.
  const std::string marca = "\xEF\xBB\xBF";
  std::istringstream f(texto.rfind(marca, 0) == 0 ? texto.substr(marca.size()) : texto);
  const bool utf8 = es_utf8(texto);
  std::string linea;
  int numero_linea = 0;
  const char *const claves[2] = {"titulo:", "idea:"};
  std::string *destinos[2] = {&nivel.titulo, &nivel.idea};
  for (int i = 0; i < 2; ++i) {
    ++numero_linea;
    if (std::getline(f, linea) && !linea.empty() && linea.back() == '\r') {
      linea.pop_back();
    }
    const size_t inicio = f ? cabecera(linea, claves[i]) : std::string::npos;
    if (inicio == std::string::npos) {
      error = en(numero_linea, 1, std::string("expected a line starting with \"") + claves[i] + "\"");
      return false;
    }
    int columna = 0;
    uint32_t codigo = 0;
    if (!valor_latin1(linea, inicio, utf8, *destinos[i], columna, codigo)) {
      error = en(numero_linea, columna, "the character " + nombre_caracter(codigo) + " cannot be shown in the game's fonts");
      return false;
    }
  }
  nivel.gremlins = -1;
  int celda = 0;
  while (std::getline(f, linea)) {
    ++numero_linea;
    if (!linea.empty() && linea.back() == '\r') {
      linea.pop_back();
    }
    const size_t inicio_gremlins = cabecera(linea, "gremlins:");
    if (celda == 0 && nivel.gremlins < 0 && inicio_gremlins != std::string::npos) {
      const std::string valor = linea.substr(inicio_gremlins);
      char *fin = nullptr;
      const long n = strtol(valor.c_str(), &fin, 10);
      if (valor.empty() || *fin != '\0' || n < 0 || n > MAX_GREMLINS_NIVEL) {
        error = en(numero_linea, static_cast<int>(linea.size() - valor.size()) + 1,
                   "the gremlin count must be 0 to " + std::to_string(MAX_GREMLINS_NIVEL));
        return false;
      }
      nivel.gremlins = static_cast<int8_t>(n);
      continue;
    }
    int en_fila = 0;
    size_t p = 0;
    while (true) {
      p = linea.find_first_not_of(" \t", p);
      if (p == std::string::npos) {
        break;
      }
      const size_t fin = linea.find_first_of(" \t", p);
      const std::string ficha = linea.substr(p, fin == std::string::npos ? std::string::npos : fin - p);
      const int columna = static_cast<int>(p) + 1;
      const int b = byte_de_ficha(ficha);
      if (b < 0) {
        error = en(numero_linea, columna, "unknown cell \"" + ficha + "\"");
        return false;
      }
      if (celda >= NUM_CELDAS) {
        error = en(numero_linea, columna, "more than 135 cells");
        return false;
      }
      nivel.bytes[celda++] = static_cast<uint8_t>(b);
      ++en_fila;
      p = fin;
    }
    if (en_fila != 0 && en_fila != COLUMNAS) {
      error = en(numero_linea, static_cast<int>(linea.size()) + 1,
                 "a row holds 15 cells, this one " + std::to_string(en_fila));
      return false;
    }
  }
  if (celda != NUM_CELDAS) {
    error = en(numero_linea + 1, 1, std::to_string(celda) + " cells instead of 135");
    return false;
  }
  return true;
}

std::string linea_utf8(const std::string &latin1)
{
  std::string v;
  for (const char c : latin1) {
    const unsigned char b = caracter_dibujable(static_cast<unsigned char>(c)) ? static_cast<unsigned char>(c) : ' ';
    if (b < 0x80) {
      v += static_cast<char>(b);
    } else {
      v += static_cast<char>(0xc0 | b >> 6);
      v += static_cast<char>(0x80 | (b & 0x3f));
    }
  }
  return v;
}

bool linea_latin1(const std::string &texto, std::string &latin1)
{
  int columna = 0;
  uint32_t codigo = 0;
  return valor_latin1(texto, 0, es_utf8(texto), latin1, columna, codigo);
}

namespace {

// A header's value as its line can hold it, in UTF-8: no line breaks or
// other characters the fonts cannot draw, no leading blanks (reading drops
// them).
std::string valor_cabecera(const std::string &valor)
{
  const std::string v = linea_utf8(valor);
  const size_t inicio = v.find_first_not_of(' ');
  return inicio == std::string::npos ? std::string() : v.substr(inicio);
}

}  // namespace

std::string escribir_nivel_texto(const nivel_texto &nivel)
{
  std::string t = "titulo: " + valor_cabecera(nivel.titulo) + "\nidea: " + valor_cabecera(nivel.idea) + "\n";
  if (nivel.gremlins >= 0) {
    t += "gremlins: " + std::to_string(nivel.gremlins) + "\n";
  }
  for (int fila = 0; fila < FILAS; ++fila) {
    for (int c = 0; c < COLUMNAS; ++c) {
      t += ficha_de_byte(nivel.bytes[fila * COLUMNAS + c]);
      t += c + 1 < COLUMNAS ? " " : "\n";
    }
  }
  return t;
}
