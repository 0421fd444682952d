// tiempo: the 40 Hz frame clock that paces every screen of the game.
#pragma once

#include <atomic>
#include <cstdint>

// Frames per second of every loop of the program.
constexpr int FOTOGRAMAS_POR_SEGUNDO = 40;

// Set to 1 by the timer thread on every tick, cleared by the main thread
// when it starts a frame. A flag, not a counter: ticks that come while a
// frame is still being computed collapse into one, so a slow frame slows
// the game down instead of making it skip frames.
extern std::atomic<uint8_t> tic_reloj;

// Starts the clock. Needs Allegro initialised.
void ini_tiempo();

// The timer callback: marks that a tick has come.
void temporizador();

// Waits for the next tick (polling, without sleeping) and consumes it.
void esperar_tic();
