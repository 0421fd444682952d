// The frame clock.
#include "tiempo/tiempo.h"

#include <allegro.h>

// 1 while a tick has come that no frame has consumed yet.
std::atomic<uint8_t> tic_reloj{0};

void temporizador()
{
  tic_reloj = 1;
}

void ini_tiempo()
{
  install_int_ex(temporizador, BPS_TO_TIMER(FOTOGRAMAS_POR_SEGUNDO));
  tic_reloj = 0;
}

void esperar_tic()
{
  while (tic_reloj == 0) {
  }
  tic_reloj = 0;
}
