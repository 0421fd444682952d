// The player's settings and their file, cfg.dat: four bytes, the language,
// the two volumes and the highest level unlocked.
#include <algorithm>
#include <cstddef>
#include <cstdio>

#include "pantalla/pantalla.h"

int8_t idioma;
int8_t volson;
int8_t volmus;
int8_t ult_fase_completada;

namespace {

const char FICHERO_CFG[] = "cfg.dat";
const char FICHERO_CFG_TEMPORAL[] = "cfg.dat.tmp";

constexpr int VOLUMEN_MAXIMO = 100;

}  // namespace

void interpretar_cfg(const uint8_t *bytes, size_t largo)
{
  // A short file leaves the fields it does not reach at 0.
  int b[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < largo && i < 4; ++i) {
    b[i] = bytes[i];
  }
  // Bytes the game never writes are brought into range: the language picks
  // table entries, and the starting-level choice needs at least one level
  // to offer.
  idioma = b[0] == 0 ? IDIOMA_ESPANOL : IDIOMA_INGLES;
  volson = static_cast<int8_t>(std::clamp(b[1], 0, VOLUMEN_MAXIMO));
  volmus = static_cast<int8_t>(std::clamp(b[2], 0, VOLUMEN_MAXIMO));
  ult_fase_completada = static_cast<int8_t>(std::clamp<int>(static_cast<int8_t>(b[3]), 0, ULTIMA_FASE));
}

void escribir_cfg()
{
  // Written beside the old file and renamed over it only when whole, so a
  // full disk cannot leave an empty cfg.dat behind. Without a writable
  // folder the settings stay in memory and the game goes on; they are
  // written again at the next chance.
  FILE *f = std::fopen(FICHERO_CFG_TEMPORAL, "wb");
  if (f == nullptr) {
    return;
  }
  const uint8_t bytes[4] = {static_cast<uint8_t>(idioma), static_cast<uint8_t>(volson),
                            static_cast<uint8_t>(volmus), static_cast<uint8_t>(ult_fase_completada)};
  bool bien = std::fwrite(bytes, 1, sizeof bytes, f) == sizeof bytes;
  bien = std::fflush(f) == 0 && bien;
  bien = std::fclose(f) == 0 && bien;
  if (!bien || std::rename(FICHERO_CFG_TEMPORAL, FICHERO_CFG) != 0) {
    std::remove(FICHERO_CFG_TEMPORAL);
  }
}
