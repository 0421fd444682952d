// What the WebAssembly module's files share (not its interface, which is
// wasm.h): the sounds the drawing starts, kept as a list the page reads,
// and snd.dat's samples as PCM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The sounds started and stopped since sonidos_olvidar: six int32_t each,
// as fotonauta_sonidos tells them.
const std::vector<int32_t> &sonidos_contados();
void sonidos_olvidar();
// While false (frames played unseen), nothing is told, but the voices
// still come and go as they would.
void sonidos_contar(bool si);
// After frames played unseen: every voice stopped, then the loops held now
// started again, so the page hears what this frame has on.
void sonidos_retomar();
// The effects volume, 0 to 100.
void sonidos_volumen(int porcentaje);

// Which voices are held, and by what: part of what a seek puts back.
struct estado_sonidos {
  int8_t muestra[16];  // -1 free
  uint8_t bucle[16];
  uint8_t siguiente;
};
estado_sonidos guardar_sonidos();
void poner_sonidos(const estado_sonidos &e);

// ---------------------------------------------------------------------------
// The picture
// ---------------------------------------------------------------------------

// A game about to be drawn: the status strip made for it (in the language
// in force) and the frame blank, as the game's window starts one.
void preparar_pantalla();
// The frame as it stands into the RGBA picture fotonauta_imagen gives.
void pintar_imagen();

// ---------------------------------------------------------------------------
// Watching (ver.cpp)
// ---------------------------------------------------------------------------

struct repeticion;
// Readies `r` (read whole, and kept while watched) for watching; false
// with the reason when it cannot be played.
bool ver_preparar(const repeticion &r, std::string &motivo);
void ver_dejar();
uint32_t ver_total();
// The frames of play played up to the frame last drawn.
uint32_t ver_fotogramas();
int32_t ver_actual();
bool ver_siguiente();
bool ver_buscar(uint32_t n);
