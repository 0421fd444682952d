// libFuzzer target for what cfg.dat's bytes become: any file, of any
// length, gives settings in range; a file the game wrote reads back as it
// was; and writing what was read, then reading it, changes nothing.
#include <cstdint>
#include <cstdlib>

#include "fotonauta/fotonauta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, size_t largo)
{
  interpretar_cfg(datos, largo);
  if ((idioma != IDIOMA_ESPANOL && idioma != IDIOMA_INGLES) || volson < 0 || volson > 100 || volmus < 0 ||
      volmus > 100 || ult_fase_completada < 0 || ult_fase_completada > 59) {
    std::abort();
  }

  // The four bytes escribir_cfg would write now.
  const uint8_t escrito[4] = {static_cast<uint8_t>(idioma), static_cast<uint8_t>(volson),
                              static_cast<uint8_t>(volmus), static_cast<uint8_t>(ult_fase_completada)};

  // Bytes the game could have written come back unchanged (a short file
  // reads as if padded with zeros).
  uint8_t b[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < largo && i < 4; ++i) {
    b[i] = datos[i];
  }
  if (b[0] <= 1 && b[1] <= 100 && b[2] <= 100 && b[3] <= 59) {
    for (int i = 0; i < 4; ++i) {
      if (escrito[i] != b[i]) {
        std::abort();
      }
    }
  }

  interpretar_cfg(escrito, sizeof escrito);
  const uint8_t otra_vez[4] = {static_cast<uint8_t>(idioma), static_cast<uint8_t>(volson),
                               static_cast<uint8_t>(volmus), static_cast<uint8_t>(ult_fase_completada)};
  for (int i = 0; i < 4; ++i) {
    if (otra_vez[i] != escrito[i]) {
      std::abort();
    }
  }
  return 0;
}
