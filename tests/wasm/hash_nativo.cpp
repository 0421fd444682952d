// What the native verifier makes of recordings, for the WebAssembly test to
// compare with: one line per file, "VALID HASH FRAMES POINTS" (the hash in
// hexadecimal), or "error REASON".
//
// With --entradas FILE, the recording's input instead, as a pointer would
// give it: "semilla SEED", then a line per change, "FRAME X Y BUTTONS
// WHEEL KEYS LEFT", (X, Y) the middle of the cell the pointer was over
// (-1 -1 off the board) and FRAME the frame of play it holds from.
#include <cstdio>
#include <cstring>

#include "repeticion/repeticion.h"

int main(int argc, char **argv)
{
  if (argc == 3 && strcmp(argv[1], "--entradas") == 0) {
    repeticion r;
    std::string error;
    if (!leer_repeticion(argv[2], r, error)) {
      printf("error %s\n", error.c_str());
      return 1;
    }
    printf("semilla %llu\n", static_cast<unsigned long long>(r.cabecera.semilla));
    for (const cambio_entrada &c : r.cambios) {
      const entrada_juego &e = c.entrada;
      const bool fuera = e.celda == CELDA_NINGUNA;
      printf("%u %d %d %d %d %d %d\n", c.fotograma,
             fuera ? -1 : ORIGEN_TABLERO + LADO_CELDA * (e.celda % COLUMNAS) + LADO_CELDA / 2,
             fuera ? -1 : ORIGEN_TABLERO + LADO_CELDA * (e.celda / COLUMNAS) + LADO_CELDA / 2, e.botones, e.rueda,
             e.teclas, e.abandono);
    }
    return 0;
  }
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
