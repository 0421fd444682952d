// tiempo: the 40 Hz frame clock that paces every screen of the game, and
// the way a request to end (a signal) reaches the program between frames.
#pragma once

#include <atomic>
#include <csignal>
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

// Waits for the next tick (asleep until the timer wakes it) and consumes it.
// Ends the program instead when it has been asked to end.
void esperar_tic();

// ---------------------------------------------------------------------------
// Ending on a signal
// ---------------------------------------------------------------------------

// The number of the last signal that asked the program to end, 0 while none
// has come. Written only by the signal handler.
extern volatile sig_atomic_t senal_fin;

// Blocks the signals that ask the program to end, so that none can reach
// the library's own handlers while the library starts (they shut the
// library down inside the handler, which can deadlock).
void bloquear_senales_fin();

// Installs this program's handler for those signals, which only records the
// signal, and unblocks them. Called right after the library has started.
// It also starts a watch that ends the process outright when the normal way
// out does not: half a second after a signal (status 128 + its number), or
// five seconds after exit() began (status 1), wherever the program is stuck.
// A lost connection to the X server ends the process at once, from the
// thread that found it: status 1, or 128 + the number of a signal that had
// already asked it to end.
void ini_senales_fin();

// Puts the default handling back: for when the program is about to end
// anyway and waits on something that no frame step will interrupt.
void soltar_senales_fin();

// When a signal has asked the program to end, ends it here, from normal
// code: exit() runs the library's shutdown (registered with atexit), which
// restores the screen. The exit status is 128 + the signal's number, as a
// shell reports a program ended by that signal.
void atender_senal_fin();
