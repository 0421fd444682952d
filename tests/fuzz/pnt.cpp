// libFuzzer target for the pnt.txt reader: any bytes must read without a
// fault, leave every line and code terminated, and survive a write and a
// second read unchanged.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "fotonauta/fotonauta.h"

namespace {
char carpeta[] = "/tmp/fotonauta-fuzz-XXXXXX";
void borrar_carpeta()
{
  std::error_code e;
  std::filesystem::remove_all(carpeta, e);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  if (mkdtemp(carpeta) == nullptr || chdir(carpeta) != 0) {
    std::abort();
  }
  std::atexit(borrar_carpeta);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, size_t largo)
{
  FILE *f = std::fopen("pnt.txt", "wb");
  std::fwrite(datos, 1, largo, f);
  std::fclose(f);
  leer_pnt();

  char txt[MAX_PUNTUACIONES][LONG_TXT + 1];
  int32_t pnt[MAX_PUNTUACIONES];
  char cod[MAX_PUNTUACIONES][LONG_COD + 1];
  for (int r = 0; r < MAX_PUNTUACIONES; ++r) {
    if (max_txt[r][LONG_TXT] != '\0' || max_cod[r][LONG_COD] != '\0') {
      std::abort();
    }
  }
  std::memcpy(txt, max_txt, sizeof txt);
  std::memcpy(pnt, max_pnt, sizeof pnt);
  std::memcpy(cod, max_cod, sizeof cod);

  // What is written is the rows up to the first empty one; reading it back
  // must give exactly those rows.
  if (escribir_pnt() != 0) {
    std::abort();
  }
  leer_pnt();
  bool llena = true;
  for (int r = 0; r < MAX_PUNTUACIONES; ++r) {
    llena = llena && pnt[r] != 0;
    const bool igual = std::memcmp(txt[r], max_txt[r], sizeof txt[r]) == 0 && pnt[r] == max_pnt[r] &&
                       std::memcmp(cod[r], max_cod[r], sizeof cod[r]) == 0;
    if (llena ? !igual : max_pnt[r] != 0) {
      std::abort();
    }
  }
  return 0;
}
