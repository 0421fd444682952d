// Plays a solver's plan through the mouse, frame by frame, as a player
// would: holds each mirror with the button that turns it the shorter way
// until it shows the plan's angle, lets go, waits for the targets the plan
// waits for, and puts back any mirror that has been twisted. Used by the
// tests and the benchmarks that drive the real game loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "resolver/resolver.h"

struct jugador_plan {
  plan_nivel plan;
  size_t paso = 0;
  std::vector<std::pair<uint8_t, uint8_t>> fijados;  // mirrors set so far
  int celda_sostenida = -1;
  int soltando = 0;  // frames left with the button up
};

// Starts playing `plan`; whatever was held before is let go first.
void jugador_empezar(jugador_plan &j, plan_nivel plan);

// Sets mouse_x, mouse_y and mouse_b for the next frame.
void jugador_fotograma(jugador_plan &j);
