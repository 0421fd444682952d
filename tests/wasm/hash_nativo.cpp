// What the native verifier makes of recordings, for the WebAssembly test to
// compare with: one line per file, "VALID HASH FRAMES POINTS" (the hash in
// hexadecimal), or "error REASON".
#include <cstdio>

#include "repeticion/repeticion.h"

int main(int argc, char **argv)
{
  for (int i = 1; i < argc; ++i) {
    repeticion r;
    std::string error;
    if (!leer_repeticion(argv[i], r, error)) {
      printf("error %s\n", error.c_str());
      continue;
    }
    const verificacion v = verificar_repeticion(r);
    printf("%d %016llx %u %d\n", v.valida ? 1 : 0, static_cast<unsigned long long>(v.hash_final), v.fotogramas,
           v.puntos);
  }
  return 0;
}
