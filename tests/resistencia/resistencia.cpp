// The soak: thirty minutes of play at 40 frames a second (72000 frames),
// in-process with no real waiting, through the whole program: normal games
// won for two levels from the furthest unlocked and then lost, a pause in
// each, the trainer, the options and the score table, in turn. Resident
// memory must stay flat from minute 5 to minute 30.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "arnes/arnes.h"
#include "arnes/conductor.h"
#include "arnes/programa.h"

namespace {

constexpr int FOTOGRAMAS_MINUTO = 40 * 60;
constexpr int MINUTOS = 30;
constexpr int MINUTO_REFERENCIA = 5;
// "Flat": the resident set at minute 30 no more than this above minute 5.
constexpr long CRECIMIENTO_MAXIMO = 1024 * 1024;

// Resident set size in bytes, from /proc/self/statm.
long memoria_residente()
{
  long total = 0, residente = 0;
  FILE *f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) {
    return -1;
  }
  const int leidos = std::fscanf(f, "%ld %ld", &total, &residente);
  std::fclose(f);
  return leidos == 2 ? residente * sysconf(_SC_PAGESIZE) : -1;
}

TEST(Resistencia, TreintaMinutosDeJuegoSinQueCrezcaLaMemoria)
{
  carpeta_partida carpeta;
  conductor jugador;
  for (int i = 0; i < 20; ++i) {
    jugador.menu.insert(jugador.menu.end(), {menu_partida, menu_opciones, menu_entrenamiento, menu_records});
  }
  std::vector<long> por_minuto;  // resident set at the start of each minute

  const int r = ejecutar_programa(
      [&](int n) {
        if (n % FOTOGRAMAS_MINUTO == 0 && n / FOTOGRAMAS_MINUTO <= MINUTOS) {
          por_minuto.push_back(memoria_residente());
        }
        // Past the thirty minutes, the next visit to the menu is the last.
        if (n >= MINUTOS * FOTOGRAMAS_MINUTO && jugador.menu.size() > jugador.siguiente_menu) {
          jugador.menu.resize(jugador.siguiente_menu);
        }
        jugador.fotograma(n);
      },
      MINUTOS * FOTOGRAMAS_MINUTO + 40000);
  arnes_terminar();
  ASSERT_EQ(r, 0);

  ASSERT_EQ(por_minuto.size(), static_cast<size_t>(MINUTOS + 1));
  std::printf("resident set, MB, minutes 0 to %d:", MINUTOS);
  for (long m : por_minuto) {
    std::printf(" %.1f", m / 1048576.0);
  }
  std::printf("\ngames %d, levels won %d, lives lost %d, pauses %d, names %d, menu choices %d\n",
              jugador.partidas, jugador.niveles_completados, jugador.vidas_perdidas, jugador.pausas,
              jugador.nombres_escritos, jugador.menus_vistos);

  // Enough of everything happened.
  EXPECT_GE(jugador.partidas, 4);
  EXPECT_GE(jugador.niveles_completados, 8);
  EXPECT_GE(jugador.vidas_perdidas, 6);
  EXPECT_GE(jugador.pausas, 2);

#if defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer keeps freed memory in quarantine: the resident set
  // means nothing here. The run still checks every access.
  GTEST_SKIP() << "resident memory is not measured under AddressSanitizer";
#else
  const long crecimiento = por_minuto[MINUTOS] - por_minuto[MINUTO_REFERENCIA];
  EXPECT_LT(crecimiento, CRECIMIENTO_MAXIMO) << "grew by " << crecimiento << " bytes from minute "
                                             << MINUTO_REFERENCIA << " to minute " << MINUTOS;
#endif
}

}  // namespace
