// Start-up and shutdown of the program shell: the display modes, the data
// files, the tile atlas and the frame clock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "arnes/arnes.h"
#include "arnes/datafile_prueba.h"
#include "juego/juego.h"
#include "tiempo/tiempo.h"

namespace fs = std::filesystem;

namespace {

const char TEXTO_SIN_VIDEO[] =
    "No se ha podido establecer ning\xFAn modo de video.\n"
    "Could not set any video mode.";

// A working directory of its own for one test, removed afterwards.
struct carpeta_temporal {
  fs::path ruta;
  fs::path anterior;
  carpeta_temporal()
  {
    anterior = fs::current_path();
    char plantilla[] = "/tmp/fotonauta-prueba-XXXXXX";
    ruta = mkdtemp(plantilla);
    fs::current_path(ruta);
  }
  ~carpeta_temporal()
  {
    fs::current_path(anterior);
    fs::remove_all(ruta);
  }
  void copiar_dato(const char *nombre)
  {
    fs::copy_file(fs::path(FOTONAUTA_DATOS_DIR) / nombre, ruta / nombre);
  }
};

// Runs ini_allegro on the system without a display, with set_gfx_mode
// answering from `resultados`.
int8_t arrancar(std::initializer_list<int> resultados)
{
  reiniciar_dobles();
  dobles.sistema_sin_pantalla = true;
  dobles.simular_gfx = true;
  dobles.resultados_gfx.assign(resultados.begin(), resultados.end());
  return ini_allegro();
}

class Arranque : public ::testing::Test {
 protected:
  carpeta_temporal carpeta;
  void TearDown() override { arnes_terminar(); }
};

TEST_F(Arranque, AbreLaVentanaDe16BitsSiSePuede)
{
  carpeta.copiar_dato("grf.dat");
  carpeta.copiar_dato("fuentes.dat");
  ASSERT_EQ(arrancar({0}), 0);

  ASSERT_EQ(dobles.llamadas_gfx.size(), 1u);
  EXPECT_EQ(dobles.llamadas_gfx[0].tarjeta, GFX_AUTODETECT_WINDOWED);
  EXPECT_EQ(dobles.llamadas_gfx[0].ancho, 1024);
  EXPECT_EQ(dobles.llamadas_gfx[0].alto, 768);
  EXPECT_EQ(dobles.llamadas_gfx[0].profundidad, 16);
  EXPECT_EQ(modo_truecolor, 0);
  EXPECT_EQ(bitmap_color_depth(buffer), 16);
  EXPECT_EQ(bitmap_color_depth(loseta[HOJA_LOSETAS]), 16);
  EXPECT_TRUE(dobles.mensajes.empty());
}

TEST_F(Arranque, CaeAPantallaCompletaDe32Bits)
{
  carpeta.copiar_dato("grf.dat");
  carpeta.copiar_dato("fuentes.dat");
  ASSERT_EQ(arrancar({-1, 0}), 0);

  ASSERT_EQ(dobles.llamadas_gfx.size(), 2u);
  EXPECT_EQ(dobles.llamadas_gfx[0].tarjeta, GFX_AUTODETECT_WINDOWED);
  EXPECT_EQ(dobles.llamadas_gfx[0].profundidad, 16);
  EXPECT_EQ(dobles.llamadas_gfx[1].tarjeta, GFX_AUTODETECT_FULLSCREEN);
  EXPECT_EQ(dobles.llamadas_gfx[1].profundidad, 32);
  EXPECT_EQ(modo_truecolor, 1);
  EXPECT_EQ(bitmap_color_depth(buffer), 32);
  EXPECT_EQ(bitmap_color_depth(loseta[HOJA_LOSETAS]), 32);
}

TEST_F(Arranque, SinNingunModoAvisaEnLosDosIdiomasYNoAbreDatos)
{
  testing::internal::CaptureStderr();
  EXPECT_EQ(arrancar({-1, -1}), -1);
  const std::string error = testing::internal::GetCapturedStderr();

  EXPECT_EQ(dobles.llamadas_gfx.size(), 2u);
  ASSERT_EQ(dobles.mensajes.size(), 1u);
  EXPECT_EQ(dobles.mensajes[0], TEXTO_SIN_VIDEO);
  EXPECT_NE(error.find("No se ha podido establecer ning\xC3\xBAn modo de video."), std::string::npos);
  EXPECT_NE(error.find("Could not set any video mode."), std::string::npos);
  // Each mode tried, with the library's reason for refusing it.
  EXPECT_NE(error.find("window 1024x768 at 16 bits: "), std::string::npos) << error;
  EXPECT_NE(error.find("full screen 1024x768 at 32 bits: "), std::string::npos) << error;
  EXPECT_EQ(dobles.cargas_datafile, 0);
  EXPECT_EQ(buffer, nullptr);
}

TEST_F(Arranque, SinSistemaGraficoTerminaSinLlamarMasALaBiblioteca)
{
  reiniciar_dobles();
  dobles.sistema_falla = true;
  dobles.simular_gfx = true;
  testing::internal::CaptureStderr();
  EXPECT_EQ(ini_allegro(), -1);
  const std::string error = testing::internal::GetCapturedStderr();

  EXPECT_TRUE(dobles.llamadas_gfx.empty());
  EXPECT_TRUE(dobles.mensajes.empty());  // no message box without a system
  EXPECT_NE(error.find("Could not set any video mode."), std::string::npos);
  EXPECT_EQ(dobles.cargas_datafile, 0);
}

// grf.dat as the game expects it, with small stand-in pictures, so each
// case can spoil exactly one thing.
std::vector<objeto_prueba> grf_correcto()
{
  return {bitmap_prueba(1024, 32), bitmap_prueba(1024, 32), bitmap_prueba(32, 576),
          bitmap_prueba(32, 576),  bitmap_prueba(8, 8),     bitmap_prueba(8, 8),
          bitmap_prueba(8, 8),     bitmap_prueba(8, 8),     bitmap_prueba(8, 8),
          bitmap_prueba(8, 8),     bitmap_prueba(256, 2880)};
}

struct caso_datos {
  const char *nombre;
  const char *fichero;            // the file the message must name
  const char *objeto;             // and the object, or null
  void (*preparar)(carpeta_temporal &);
};

void escribir_grf(std::vector<objeto_prueba> objetos)
{
  ASSERT_TRUE(escribir_datafile_prueba("grf.dat", objetos));
}

const caso_datos CASOS_DATOS[] = {
    {"FaltaGrf", "grf.dat", nullptr, [](carpeta_temporal &c) { c.copiar_dato("fuentes.dat"); }},
    {"FaltaFuentes", "fuentes.dat", nullptr, [](carpeta_temporal &c) { c.copiar_dato("grf.dat"); }},
    {"GrfVacio", "grf.dat", nullptr,
     [](carpeta_temporal &c) {
       c.copiar_dato("fuentes.dat");
       fclose(fopen("grf.dat", "wb"));
     }},
    {"GrfTruncado", "grf.dat", nullptr,
     [](carpeta_temporal &c) {
       c.copiar_dato("fuentes.dat");
       c.copiar_dato("grf.dat");
       fs::resize_file("grf.dat", fs::file_size("grf.dat") / 2);
     }},
    {"FaltaLaHoja", "grf.dat", "10",
     [](carpeta_temporal &c) {
       c.copiar_dato("fuentes.dat");
       auto o = grf_correcto();
       o.pop_back();
       escribir_grf(o);
     }},
    {"HojaDeOtroTipo", "grf.dat", "10",
     [](carpeta_temporal &c) {
       c.copiar_dato("fuentes.dat");
       auto o = grf_correcto();
       o.back() = objeto_prueba{"DATA", 0, 0, {1, 2, 3, 4}};
       escribir_grf(o);
     }},
    {"HojaPequena", "grf.dat", "10",
     [](carpeta_temporal &c) {
       c.copiar_dato("fuentes.dat");
       auto o = grf_correcto();
       o.back() = bitmap_prueba(256, 2816);
       escribir_grf(o);
     }},
    {"BordeDeOtroTipo", "grf.dat", "2",
     [](carpeta_temporal &c) {
       c.copiar_dato("fuentes.dat");
       auto o = grf_correcto();
       o[2] = objeto_prueba{"DATA", 0, 0, {0}};
       escribir_grf(o);
     }},
    {"FuenteQueEsUnDibujo", "fuentes.dat", "0",
     [](carpeta_temporal &c) {
       c.copiar_dato("grf.dat");
       ASSERT_TRUE(escribir_datafile_prueba("fuentes.dat", {bitmap_prueba(4, 4)}));
     }},
    {"GrfCortadoEnLaCabecera", "grf.dat", nullptr,
     [](carpeta_temporal &c) {
       c.copiar_dato("fuentes.dat");
       c.copiar_dato("grf.dat");
       fs::resize_file("grf.dat", 1000);
     }},
    {"GrfQueNoEsUnDatafile", "grf.dat", nullptr,
     [](carpeta_temporal &c) {
       c.copiar_dato("fuentes.dat");
       FILE *f = fopen("grf.dat", "wb");
       fputs("<html>not found</html>", f);
       fclose(f);
     }},
};

class DatosDefectuosos : public ::testing::TestWithParam<caso_datos> {
 protected:
  carpeta_temporal carpeta;
  void TearDown() override { arnes_terminar(); }
};

TEST_P(DatosDefectuosos, TerminanConUnAvisoQueLosNombra)
{
  const caso_datos &caso = GetParam();
  caso.preparar(carpeta);
  testing::internal::CaptureStderr();
  const int8_t r = arrancar({0});
  const std::string error = testing::internal::GetCapturedStderr();

  EXPECT_NE(r, 0);
  ASSERT_EQ(dobles.mensajes.size(), 1u) << error;
  const std::string &m = dobles.mensajes[0];
  EXPECT_NE(m.find(caso.fichero), std::string::npos) << m;
  if (caso.objeto != nullptr) {
    EXPECT_NE(m.find(std::string("objeto ") + caso.objeto), std::string::npos) << m;
    EXPECT_NE(m.find(std::string("Object ") + caso.objeto), std::string::npos) << m;
  }
  EXPECT_NE(error.find(caso.fichero), std::string::npos);
  // A file found nowhere is named with every place looked in: the folder
  // the game runs in, and beside the program (its build's datos/).
  if (caso.objeto == nullptr && std::string(caso.nombre).starts_with("Falta")) {
    const std::string aqui = fs::current_path().string() + "/" + caso.fichero;
    EXPECT_NE(m.find("looked in " + aqui + ", "), std::string::npos) << m;
    EXPECT_NE(m.find("/tests/datos/" + std::string(caso.fichero)), std::string::npos) << m;
  }
  // Nothing is left loaded behind the failure.
  EXPECT_EQ(f_grf, nullptr);
  EXPECT_EQ(f_fnt, nullptr);
  EXPECT_EQ(buffer, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Casos, DatosDefectuosos, ::testing::ValuesIn(CASOS_DATOS),
                         [](const auto &caso) { return std::string(caso.param.nombre); });

class Graficos : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { arnes_iniciar(GetParam()); }
  void TearDown() override { arnes_terminar(); }
};

TEST_P(Graficos, LasLosetasSonTrozosDeLaHojaEnFilasDeCuatro)
{
  BITMAP *hoja = loseta[HOJA_LOSETAS];
  ASSERT_EQ(hoja, f_grf[GRF_LOSETAS].dat);
  for (int i = 0; i < NUM_LOSETAS; ++i) {
    BITMAP *l = loseta[i];
    ASSERT_NE(l, nullptr) << i;
    EXPECT_TRUE(is_sub_bitmap(l)) << i;
    EXPECT_EQ(l->w, 64);
    EXPECT_EQ(l->h, 64);
    EXPECT_EQ(l->x_ofs, 64 * (i % 4)) << i;
    EXPECT_EQ(l->y_ofs, 64 * (i / 4)) << i;
    // Shared pixels, not a copy.
    EXPECT_EQ(l->line[10], hoja->line[l->y_ofs + 10] + (l->x_ofs * bitmap_color_depth(hoja) / 8));
  }
  EXPECT_EQ(loseta[5]->x_ofs, 64);
  EXPECT_EQ(loseta[5]->y_ofs, 64);
  EXPECT_EQ(loseta[179]->x_ofs, 192);
  EXPECT_EQ(loseta[179]->y_ofs, 2816);
}

TEST_P(Graficos, ElCierreLiberaLas180LosetasYNuncaLaHoja)
{
  BITMAP *hoja = loseta[HOJA_LOSETAS];
  std::vector<BITMAP *> losetas(loseta, loseta + NUM_LOSETAS);
  BITMAP *fotograma = buffer;
  dobles.destruidos.clear();

  fin_allegro();

  const auto &d = dobles.destruidos;
  ASSERT_EQ(d.size(), 181u);
  EXPECT_TRUE(std::equal(losetas.begin(), losetas.end(), d.begin()));
  EXPECT_EQ(d.back(), fotograma);
  EXPECT_EQ(std::count(d.begin(), d.end(), hoja), 0);
  EXPECT_EQ(f_grf, nullptr);
  EXPECT_EQ(f_fnt, nullptr);
}

TEST_P(Graficos, LosColoresFijosSiguenLaProfundidad)
{
  ini_juego();
  const int p = GetParam();
  const struct {
    int color, r, g, b;
  } colores[] = {{rojo, 255, 0, 0}, {verde, 0, 255, 0}, {amarillo, 255, 255, 0}};
  for (const auto &c : colores) {
    EXPECT_EQ(c.color, makecol_depth(p, c.r, c.g, c.b));
    EXPECT_EQ(getr_depth(p, c.color), c.r);
    EXPECT_EQ(getg_depth(p, c.color), c.g);
    EXPECT_EQ(getb_depth(p, c.color), c.b);
  }
  // The same colour has another value at the other depth.
  EXPECT_NE(amarillo, makecol_depth(p == 16 ? 32 : 16, 255, 255, 0));
}

TEST_P(Graficos, ElPasoDeFotogramaDePruebaNoEsperaAlReloj)
{
  tic_reloj = 0;
  int vistos = 0;
  arnes_guion([&](int n) { vistos = n + 1; }, 50);
  for (int i = 0; i < 38; ++i) {
    paso_fotograma();
  }
  EXPECT_EQ(vistos, 38);
  EXPECT_EQ(arnes_fotogramas(), 38);
  // A loop that never ends is stopped at the limit.
  EXPECT_THROW(
      {
        for (;;) {
          paso_fotograma();
        }
      },
      std::runtime_error);
}

INSTANTIATE_TEST_SUITE_P(Profundidades, Graficos, ::testing::Values(16, 32),
                         [](const auto &p) { return std::to_string(p.param) + "bpp"; });

// The clock's flag is not a counter: ticks that came during a long frame
// let the next frame start at once, and only once.
TEST(Reloj, LosTicsAcumuladosCuentanComoUno)
{
  using namespace std::chrono;
  tic_reloj = 0;
  for (int i = 0; i < 3; ++i) {
    temporizador();  // three ticks during a 60 ms frame
  }
  auto t0 = steady_clock::now();
  esperar_tic();
  EXPECT_LT(steady_clock::now() - t0, milliseconds(5));
  EXPECT_EQ(tic_reloj, 0);

  std::atomic<bool> marcado{false};
  std::thread reloj([&] {
    std::this_thread::sleep_for(milliseconds(30));
    marcado = true;
    temporizador();
  });
  esperar_tic();
  EXPECT_TRUE(marcado);  // it waited for the new tick
  reloj.join();
}

}  // namespace
