// Inputs the game never makes itself but its functions accept: score codes
// asked for with counts beyond a value's four bytes or below zero, and
// cfg.dat files of any length and content.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "puntuaciones_comun.h"

namespace {

TEST(CodigoPuntuacion, LosBytesMasAllaDeLosCuatroDeUnValorSonSuSigno)
{
  char salida[41];
  // Six bytes of -2 and six of 5: the two above the value's four are all
  // sign, never a repeat of its low bytes.
  const int32_t seis[] = {6, 6};
  const int32_t valores[] = {-2, 5};
  uuencode_generic(salida, 81, 2, valores, seis);
  const codigo_abierto c = leer_codigo(salida);
  ASSERT_EQ(c.bytes.size(), 16u);
  EXPECT_TRUE(c.suma_correcta);
  const uint8_t esperado[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 0, 0, 5};
  for (size_t k = 0; k < sizeof esperado; ++k) {
    EXPECT_EQ(c.bytes[4 + k], esperado[k]) << "value byte " << k;
  }
}

TEST(CodigoPuntuacion, CuentasNegativasNoDanBytesYLasEnormesSeCortanAVeinticinco)
{
  char salida[41];
  const int32_t cuentas[] = {INT32_MIN, -1, 0, INT32_MAX};
  const int32_t valores[] = {1, 2, 3, 0x01020304};
  uuencode_generic(salida, 81, 4, valores, cuentas);
  const codigo_abierto c = leer_codigo(salida);
  // Time stamp and id, then only the last value gives bytes: the 25 highest
  // of the count asked for, all of them sign.
  ASSERT_EQ(c.bytes.size(), 4u + 25u);
  EXPECT_TRUE(c.suma_correcta);
  for (size_t k = 4; k < c.bytes.size(); ++k) {
    EXPECT_EQ(c.bytes[k], 0) << "byte " << k;
  }
  EXPECT_EQ(std::string(salida).size(), 40u);
}

struct caso_cfg {
  std::vector<uint8_t> bytes;
  int8_t idioma, volson, volmus, ult_fase;
};

TEST(FicheroCfg, CualquierContenidoDaAjustesDentroDeSuRango)
{
  const caso_cfg casos[] = {
      {{}, IDIOMA_ESPANOL, 0, 0, 0},                       // empty: all zero
      {{1}, IDIOMA_INGLES, 0, 0, 0},                       // short: the rest zero
      {{0, 35, 7, 12}, IDIOMA_ESPANOL, 35, 7, 12},         // as the game writes it
      {{1, 100, 100, 59}, IDIOMA_INGLES, 100, 100, 59},    // every maximum
      {{7, 200, 101, 60}, IDIOMA_INGLES, 100, 100, 59},    // above every range
      {{1, 50, 50, 0x80}, IDIOMA_INGLES, 50, 50, 0},       // a negative level
      {{0, 1, 2, 3, 99, 99}, IDIOMA_ESPANOL, 1, 2, 3},     // bytes past the fourth
  };
  for (const caso_cfg &c : casos) {
    interpretar_cfg(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(idioma, c.idioma) << "file of " << c.bytes.size() << " bytes";
    EXPECT_EQ(volson, c.volson) << "file of " << c.bytes.size() << " bytes";
    EXPECT_EQ(volmus, c.volmus) << "file of " << c.bytes.size() << " bytes";
    EXPECT_EQ(ult_fase_completada, c.ult_fase) << "file of " << c.bytes.size() << " bytes";
  }
}

}  // namespace
