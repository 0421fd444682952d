// The whole program, in-process, as a player meets it on a first run: the
// language question, the intro, the menu, the options, a won trainer, a
// normal game won for two levels and then lost, name entry, the score
// table, and Exit. Run under the sanitizers and valgrind as well (see
// herramientas/sanear and herramientas/memcheck).
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "arnes/arnes.h"
#include "arnes/conductor.h"
#include "arnes/programa.h"
#include "juego/juego.h"
#include "repeticion/repeticion.h"

namespace {

TEST(PartidaEntera, DelPrimerArranqueALaSalidaPasandoPorCadaPantalla)
{
  carpeta_partida carpeta;
  conductor jugador;
  jugador.menu = {menu_opciones, menu_entrenamiento, menu_partida, menu_records};
  jugador.niveles_ganados = 2;

  EXPECT_EQ(ejecutar_programa([&](int n) { jugador.fotograma(n); }, 60000), 0);
  const int fotogramas = arnes_fotogramas();
  arnes_terminar();

  EXPECT_EQ(jugador.idioma_elegido, 1);
  // Options, trainer, game, scores, Exit.
  EXPECT_EQ(jugador.menus_vistos, 5);
  EXPECT_EQ(jugador.partidas, 2);
  // The trainer's three levels and two of the game's.
  EXPECT_EQ(jugador.niveles_completados, 5);
  // The hands-off end of the normal game costs its three lives; a level's
  // random start can cost one more before the plan has set the mirrors.
  EXPECT_GE(jugador.vidas_perdidas, 3);
  EXPECT_EQ(jugador.pausas, 1);
  EXPECT_EQ(jugador.nombres_escritos, 1);
  // At least five celebrations (500 frames each) and three lives lost (140
  // each) were played through; the hands-off lives may end by overload
  // sooner than by energy, so no more is promised.
  EXPECT_GE(fotogramas, 5 * 500 + 3 * 140);

  // English (the language button was pressed twice), the volumes changed on
  // the options screen (100 - 10 + 10, 100 - 1 + 1) and level 02 offered as a start.
  const std::vector<uint8_t> cfg = carpeta.leer("cfg.dat");
  EXPECT_EQ(cfg, (std::vector<uint8_t>{1, 100, 100, 1}));
  // The name typed at name entry heads the table.
  const std::vector<uint8_t> pnt = carpeta.leer("pnt.txt");
  ASSERT_FALSE(pnt.empty());
  EXPECT_EQ(std::string(pnt.begin(), pnt.begin() + 4), "#012");

  // Both games were recorded: the one that scored under its row's code,
  // with the name, the code and the date, and playing again to the row's
  // points; the trainer under the time it ended.
  const std::string codigo(pnt.begin() + 30, pnt.begin() + 42);
  const std::string puntos(pnt.begin() + 23, pnt.begin() + 29);
  repeticion r;
  std::string error;
  ASSERT_TRUE(leer_repeticion((carpeta.ruta / "repeticiones" / (codigo + ".frep")).string(), r, error)) << error;
  EXPECT_STREQ(r.cabecera.nombre, "012");
  EXPECT_EQ(r.cabecera.codigo, codigo);
  EXPECT_LE(std::abs(r.cabecera.fecha - static_cast<int64_t>(time(nullptr))), 600);
  const verificacion v = verificar_repeticion(r);
  EXPECT_TRUE(v.valida) << v.motivo;
  EXPECT_EQ(v.motivo_fin, fin_sin_vidas);
  EXPECT_EQ(v.fases, 2);
  EXPECT_EQ(v.puntos, std::stoi(puntos));
  int otras = 0;
  for (const auto &f : std::filesystem::directory_iterator(carpeta.ruta / "repeticiones")) {
    if (f.path().filename() != codigo + ".frep") {
      ++otras;
      ASSERT_TRUE(leer_repeticion(f.path().string(), r, error)) << error;
      EXPECT_EQ(r.cabecera.banderas, REPETICION_ENTRENAMIENTO);
      EXPECT_STREQ(r.cabecera.codigo, "");
    }
  }
  EXPECT_EQ(otras, 1);
}

}  // namespace
