#include "jugador_plan.h"

#include <allegro.h>

#include <algorithm>

#include "juego/juego.h"

void jugador_empezar(jugador_plan &j, plan_nivel plan)
{
  j.plan = std::move(plan);
  j.paso = 0;
  j.fijados.clear();
  j.celda_sostenida = -1;
  j.soltando = 3;
}

void jugador_fotograma(jugador_plan &j)
{
  int celda = -1, angulo = 0;
  // The mirror the plan turns now is not held to its earlier angle.
  const int actual = j.paso < j.plan.size() && j.plan[j.paso].tipo == paso_giro ? j.plan[j.paso].celda : -1;
  for (const auto &[c, a] : j.fijados) {
    if (c != actual && nucleo.est_nivel[c].valor != a) {
      celda = c;
      angulo = a;
      break;
    }
  }
  while (celda < 0 && j.paso < j.plan.size()) {
    const paso_plan &p = j.plan[j.paso];
    if (p.tipo == paso_giro) {
      if (nucleo.est_nivel[p.celda].valor == p.angulo) {
        std::erase_if(j.fijados, [&](const auto &f) { return f.first == p.celda; });
        j.fijados.emplace_back(p.celda, p.angulo);
        ++j.paso;
        continue;
      }
      celda = p.celda;
      angulo = p.angulo;
    } else {
      const bool todos = std::all_of(p.blancos.begin(), p.blancos.end(),
                                     [](uint8_t b) { return nucleo.est_nivel[b].valor != DETONADOR_EN_PIE; });
      if (!todos) {
        break;
      }
      ++j.paso;
    }
  }
  // Let go for a whole logic frame before taking another mirror.
  if (celda < 0 || (j.celda_sostenida >= 0 && j.celda_sostenida != celda)) {
    if (j.celda_sostenida >= 0) {
      j.soltando = 3;
      j.celda_sostenida = -1;
    }
    mouse_b = 0;
    if (celda < 0 || j.soltando > 0) {
      --j.soltando;
      return;
    }
  }
  if (j.soltando > 0) {
    --j.soltando;
    mouse_b = 0;
    return;
  }
  const int giro = (angulo - nucleo.est_nivel[celda].valor + 16) % 16;
  mouse_x = ORIGEN_TABLERO + LADO_CELDA * (celda % COLUMNAS) + LADO_CELDA / 2;
  mouse_y = ORIGEN_TABLERO + LADO_CELDA * (celda / COLUMNAS) + LADO_CELDA / 2;
  mouse_b = giro <= 8 ? 2 : 1;
  j.celda_sostenida = celda;
}
