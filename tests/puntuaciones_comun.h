// What the score tests share: a fixture that runs in a scratch folder, a
// table filler, a clicker for the toolkit's buttons and a reader for the
// score code.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "arnes/arnes.h"
#include "dlg/dlg.h"
#include "juego/juego.h"

class Puntuaciones : public ::testing::Test {
 protected:
  void SetUp() override
  {
    arnes_iniciar(16);
    ini_dialogos();
    colocar_texto_botones();
    dlg_reiniciar_raton();
    arnes_raton(0, 0, 0);
    idioma = IDIOMA_INGLES;
    nucleo.trampeando[0] = 1;
    carpeta = std::filesystem::temp_directory_path() /
              ("fotonauta-pnt-" + std::to_string(getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(carpeta);
    std::filesystem::create_directories(carpeta);
    ASSERT_EQ(chdir(carpeta.c_str()), 0);
    leer_pnt();
  }
  void TearDown() override
  {
    arnes_terminar();
    std::filesystem::remove_all(carpeta);
  }

  // Row `fila` as name entry would make it.
  static void poner_fila(int fila, const char *nombre, int32_t puntos, const char *codigo = "ABCDEFGHIJKL")
  {
    std::string linea = nombre;
    linea.resize(LONG_TXT, ' ');
    const std::string cifras = std::to_string(puntos % 1000000);
    linea.replace(LONG_TXT - cifras.size(), cifras.size(), cifras);
    std::memcpy(max_txt[fila], linea.c_str(), LONG_TXT + 1);
    max_pnt[fila] = puntos;
    std::memcpy(max_cod[fila], codigo, LONG_COD + 1);
  }

  static int8_t dialogo_vivo() { return arnes_dialogo_vivo(); }

  static void clic(int8_t dialogo, int8_t indice, int paso) { arnes_clic(dialogo, indice, paso); }

  std::filesystem::path carpeta;
};

// The score code read back: the packed bytes before chaining, and whether
// the checksum matches them.
struct codigo_abierto {
  std::vector<uint8_t> bytes;  // time stamp, id and values
  bool suma_correcta = false;
};

inline codigo_abierto leer_codigo(const std::string &codigo)
{
  static const std::string alfabeto = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+@";
  std::vector<uint8_t> encadenados;
  uint32_t v = 0;
  int bits = 0;
  for (char c : codigo) {
    const size_t pos = alfabeto.find(c);
    if (pos == std::string::npos) {
      return {};
    }
    v = (v << 6) | static_cast<uint32_t>(pos);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      encadenados.push_back(static_cast<uint8_t>(v >> bits));
    }
  }
  if (encadenados.empty()) {
    return {};
  }
  codigo_abierto r;
  uint8_t p = SEMILLA_CODIGO;
  uint8_t suma = 0;
  for (size_t k = 0; k + 1 < encadenados.size(); ++k) {
    r.bytes.push_back(encadenados[k] ^ p);
    p = encadenados[k];
    suma = static_cast<uint8_t>(suma + r.bytes.back());
  }
  r.suma_correcta = suma == encadenados.back();
  return r;
}
