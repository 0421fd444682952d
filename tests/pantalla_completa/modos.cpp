// The full-screen program's display modes, in process: full screen at 16
// bits, then full screen at 32, and never a window. Under Xvfb the X11
// full-screen driver takes 16 bits at once (see ventana/pantalla_completa.sh),
// so the fallback is driven here through the scripted set_gfx_mode.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "arnes/arnes.h"

namespace fs = std::filesystem;

namespace {

// ini_allegro on the system without a display, in a folder holding the two
// graphic data files, with set_gfx_mode answering from `resultados`.
class ModosPantallaCompleta : public ::testing::Test {
 protected:
  fs::path carpeta, anterior;

  void SetUp() override
  {
    anterior = fs::current_path();
    char plantilla[] = "/tmp/fotonauta-pantalla-completa-XXXXXX";
    ASSERT_NE(mkdtemp(plantilla), nullptr);
    carpeta = plantilla;
    for (const char *f : {"grf.dat", "fuentes.dat"}) {
      fs::copy_file(fs::path(FOTONAUTA_DATOS_DIR) / f, carpeta / f);
    }
    fs::current_path(carpeta);
  }

  void TearDown() override
  {
    arnes_terminar();
    fs::current_path(anterior);
    fs::remove_all(carpeta);
  }

  int8_t arrancar(std::initializer_list<int> resultados)
  {
    reiniciar_dobles();
    dobles.sistema_sin_pantalla = true;
    dobles.simular_gfx = true;
    dobles.resultados_gfx.assign(resultados.begin(), resultados.end());
    return ini_allegro();
  }

  void esperar_modo(size_t i, int profundidad)
  {
    ASSERT_GT(dobles.llamadas_gfx.size(), i);
    EXPECT_EQ(dobles.llamadas_gfx[i].tarjeta, GFX_AUTODETECT_FULLSCREEN);
    EXPECT_EQ(dobles.llamadas_gfx[i].ancho, 1024);
    EXPECT_EQ(dobles.llamadas_gfx[i].alto, 768);
    EXPECT_EQ(dobles.llamadas_gfx[i].profundidad, profundidad);
  }
};

TEST_F(ModosPantallaCompleta, Primero16BitsYSiFalla32SinAbrirNuncaUnaVentana)
{
  ASSERT_EQ(arrancar({0}), 0);
  ASSERT_EQ(dobles.llamadas_gfx.size(), 1u);
  esperar_modo(0, 16);
  EXPECT_EQ(modo_truecolor, 0);
  EXPECT_EQ(bitmap_color_depth(buffer), 16);
  arnes_terminar();

  ASSERT_EQ(arrancar({-1, 0}), 0);
  ASSERT_EQ(dobles.llamadas_gfx.size(), 2u);
  esperar_modo(0, 16);
  esperar_modo(1, 32);
  EXPECT_EQ(modo_truecolor, 1);
  EXPECT_EQ(bitmap_color_depth(buffer), 32);
  EXPECT_EQ(bitmap_color_depth(loseta[HOJA_LOSETAS]), 32);
  EXPECT_TRUE(dobles.mensajes.empty());
}

TEST_F(ModosPantallaCompleta, SinNingunModoAvisaYNoCargaDatos)
{
  testing::internal::CaptureStderr();
  EXPECT_EQ(arrancar({-1, -1}), -1);
  const std::string error = testing::internal::GetCapturedStderr();
  EXPECT_EQ(dobles.llamadas_gfx.size(), 2u);
  ASSERT_EQ(dobles.mensajes.size(), 1u);
  EXPECT_NE(dobles.mensajes[0].find("Could not set any video mode."), std::string::npos);
  EXPECT_NE(error.find("Could not set any video mode."), std::string::npos);
  EXPECT_EQ(dobles.cargas_datafile, 0);
  EXPECT_EQ(buffer, nullptr);
}

}  // namespace
