#include "arnes/tablero.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>


std::vector<uint8_t> bytes_tablero(std::initializer_list<const char *> filas)
{
  std::vector<uint8_t> bytes(NUM_CELDAS, 63);
  int fila = 0;
  for (const char *texto : filas) {
    std::istringstream fichas(texto);
    std::string ficha;
    int columna = 0;
    while (fichas >> ficha) {
      const int b = byte_de_ficha(ficha);
      EXPECT_GE(b, 0) << "unknown cell " << ficha;
      if (b >= 0 && columna < COLUMNAS && fila < FILAS) {
        bytes[fila * COLUMNAS + columna] = static_cast<uint8_t>(b);
      }
      ++columna;
    }
    ++fila;
  }
  return bytes;
}

void cargar_prueba(std::initializer_list<const char *> filas, std::initializer_list<int> angulos, int nivel)
{
  const std::vector<uint8_t> bytes = bytes_tablero(filas);
  cargar_tablero(bytes.data(), nivel);
  auto a = angulos.begin();
  for (celda &e : nucleo.est_nivel) {
    if (e.tipo == espejo && a != angulos.end()) {
      e.valor = static_cast<uint8_t>(*a++);
      e.grf = static_cast<uint8_t>(primer_grf[espejo] + e.valor);
    }
  }
  EXPECT_EQ(a, angulos.end()) << "more angles than mirrors";
}
