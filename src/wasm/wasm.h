// wasm: the rules and the reader of recordings built for WebAssembly
// (wasm32-wasi), for a host with no file system and a zlib of its own: a
// browser that plays recordings back, or Node.js in the tests. This C
// interface is all the module exports (besides its memory and WASI's
// _initialize, which the host calls once first).
//
// A recording is read in three steps, the packing left to the host:
//   p = fotonauta_memoria(n), the file's n bytes written at p;
//   fotonauta_abrir(n) reads and checks its header, and says where its
//   packed input lies (fotonauta_inicio_entrada, fotonauta_largo_entrada)
//   and exactly how long it unpacks (fotonauta_largo_eventos);
//   the host unpacks that zlib stream, refusing one that would unpack
//   past that length, and writes it at fotonauta_memoria(m);
//   fotonauta_eventos(m) reads the input.
// Then the recorded game plays: fotonauta_empezar, and fotonauta_fotograma
// once a frame; or fotonauta_verificar plays it all and checks what it
// claims. A call that fails returns 0 and leaves its reason in
// fotonauta_error (ISO 8859-1 bytes, fotonauta_largo_error of them).
//
// Recordings of a level played alone are refused: the level is not part of
// the recording.
#pragma once

#include <cstdint>

extern "C" {

// Room for `n` bytes the host writes; what it held before is lost. Null if
// there is no memory for it.
uint8_t *fotonauta_memoria(uint32_t n);

// The recording's first step: its `n` bytes, written at fotonauta_memoria.
int32_t fotonauta_abrir(uint32_t n);
uint32_t fotonauta_inicio_entrada();
uint32_t fotonauta_largo_entrada();
uint32_t fotonauta_largo_eventos();

// The third step: the `n` unpacked bytes of the input, written at
// fotonauta_memoria.
int32_t fotonauta_eventos(uint32_t n);

// Starts the recorded game at its first frame.
int32_t fotonauta_empezar();

// Plays the next frame of the recording: 1 while frames and the game go
// on, 0 once either has ended.
int32_t fotonauta_fotograma();

// The rules' state as it stands: its hash (what a recording's end is
// checked by), the frames played, the points banked, why the game ended
// (0 it goes on, 1 left, 2 no lives, 3 completed), the level played.
uint64_t fotonauta_hash_estado();
uint32_t fotonauta_fotogramas();
int32_t fotonauta_puntos();
int32_t fotonauta_motivo_fin();
int32_t fotonauta_nivel();

// Plays the whole recording from its start and checks it ends as it
// claims: 1 when it does. The state is left at its end.
int32_t fotonauta_verificar();

const char *fotonauta_error();
uint32_t fotonauta_largo_error();
}
