// Plays a solver's plan through the mouse, frame by frame, as a player
// would: holds each mirror with the button that turns it the shorter way
// until it shows the plan's angle, lets go, waits for the targets the plan
// waits for, and puts back any mirror that has been twisted.
#pragma once

#include <allegro.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "juego/juego.h"
#include "resolver.h"

struct jugador_plan {
  plan_nivel plan;
  size_t paso = 0;
  std::vector<std::pair<uint8_t, uint8_t>> fijados;  // mirrors set so far
  int celda_sostenida = -1;
  int soltando = 0;  // frames left with the button up

  void empezar(plan_nivel p)
  {
    plan = std::move(p);
    paso = 0;
    fijados.clear();
    celda_sostenida = -1;
    soltando = 3;  // whatever was held before is let go first
  }

  // Sets the mouse for the next frame.
  void fotograma()
  {
    int celda = -1, angulo = 0;
    const int actual = paso < plan.size() && plan[paso].tipo == paso_giro ? plan[paso].celda : -1;
    for (const auto &[c, a] : fijados) {
      if (c != actual && est_nivel[c].valor != a) {
        celda = c;
        angulo = a;
        break;
      }
    }
    while (celda < 0 && paso < plan.size()) {
      const paso_plan &p = plan[paso];
      if (p.tipo == paso_giro) {
        if (est_nivel[p.celda].valor == p.angulo) {
          std::erase_if(fijados, [&](const auto &f) { return f.first == p.celda; });
          fijados.emplace_back(p.celda, p.angulo);
          ++paso;
          continue;
        }
        celda = p.celda;
        angulo = p.angulo;
      } else {
        bool todos = true;
        for (uint8_t b : p.blancos) {
          todos = todos && est_nivel[b].valor != DETONADOR_EN_PIE;
        }
        if (!todos) {
          break;
        }
        ++paso;
      }
    }
    if (celda < 0 || (celda_sostenida >= 0 && celda_sostenida != celda)) {
      // Let go for a whole logic frame before anything else.
      if (celda_sostenida >= 0) {
        soltando = 3;
        celda_sostenida = -1;
      }
      mouse_b = 0;
      if (celda < 0 || soltando > 0) {
        --soltando;
        return;
      }
    }
    if (soltando > 0) {
      --soltando;
      mouse_b = 0;
      return;
    }
    const int giro = (angulo - est_nivel[celda].valor + 16) % 16;
    mouse_x = ORIGEN_TABLERO + LADO_CELDA * (celda % COLUMNAS) + 32;
    mouse_y = ORIGEN_TABLERO + LADO_CELDA * (celda / COLUMNAS) + 32;
    mouse_b = giro <= 8 ? 2 : 1;
    celda_sostenida = celda;
  }
};
