// The music layer of the audio module: tracker modules decoded by
// libopenmpt and streamed through an Allegro audio stream. It offers just
// what the module needs: a looping stream over module data in memory, a
// channel that starts paused, its volume and pause, stop, release, and the
// per-frame update that keeps the stream fed.
#pragma once

#include <allegro.h>

#include <cstddef>
#include <cstdint>

struct openmpt_module;

// The stream's format, and its transfer buffer in sample frames. Allegro
// keeps two of these and asks for one whenever the other starts playing,
// so the update may come up to one buffer (743 ms) late without the
// stream running dry. A 40 Hz frame is only 25 ms, but the sound driver
// does not take its data evenly: behind a sound server on a busy machine
// it can swallow a few hundred milliseconds in one go, and with smaller
// buffers (186 ms was tried) the stream then ran dry and replayed old
// music. Both buffers are filled before the channel is unpaused, so the
// size costs no delay at the start; volume changes act on the voice at
// once.
constexpr int MUS_FRECUENCIA = 44100;
constexpr int MUS_TROZO = 32768;

struct t_canal;

// A piece ready to play: its decoder, which loops the piece forever.
struct t_flujo {
  openmpt_module *modulo;  // null while this entry is unused
  uint32_t numero;         // different for every stream created
  t_canal *canal;          // where it plays, or null
};

// Where a stream plays. Without a sound device a channel still exists and
// keeps its settings, but nothing is decoded or heard.
struct t_canal {
  t_flujo *flujo;          // null while this entry is unused
  AUDIOSTREAM *corriente;  // null without a sound device
  float volumen;           // 0.0 to 1.0
  bool pausado;
};

// Gets the decoder's one-time set-up going on a thread of its own, so that
// the first piece opens quickly. Call it as early as possible.
void mus_precalentar();

// Starts and ends the layer. `hay_sonido`: Allegro's sound is installed.
void mus_iniciar(bool hay_sonido);
void mus_cerrar();

// A looping stream over the module in `datos` (which must outlive it);
// null when the data is not a module the decoder reads.
t_flujo *mus_crear_flujo(const void *datos, size_t tam);

// Puts `flujo` on a channel, paused, at full volume; null on failure.
t_canal *mus_reproducir(t_flujo *flujo);

void mus_volumen(t_canal *canal, float volumen);
void mus_pausar(t_canal *canal, bool pausado);

// Stops the channel and frees it; its stream stays, off any channel.
void mus_parar(t_canal *canal);

// Frees the stream, stopping its channel first.
void mus_liberar(t_flujo *flujo);

// Feeds every playing channel's stream as far as Allegro asks.
void mus_actualizar();

// The decoder's position in seconds from the start of the piece, and a
// jump to another position (for the tests that listen across the loop).
double mus_posicion(const t_flujo *flujo);
void mus_saltar(t_flujo *flujo, double segundos);
