#include "arnes/arnes.h"

#include "dlg/dlg.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

guion_fotogramas guion_actual;
int fotogramas = 0;
int limite_fotogramas = 0;

void fotograma_de_prueba()
{
  if (fotogramas >= limite_fotogramas) {
    throw std::runtime_error("screen loop ran past its frame limit");
  }
  if (guion_actual) {
    guion_actual(fotogramas);
  }
  ++fotogramas;
}

// The folder the tests run in: links to the data files, so that the
// settings and scores the tests write stay out of the data folder, where a
// player's run folder is copied from. One per process, removed at its end.
// A plain array: it must outlive the exit handler that removes the folder.
char carpeta_pruebas[] = "/tmp/fotonauta-pruebas-XXXXXX";

const char *carpeta_de_pruebas()
{
  static const bool creada = [] {
    if (mkdtemp(carpeta_pruebas) == nullptr) {
      return false;
    }
    const std::filesystem::path ruta = carpeta_pruebas;
    for (const char *f : {"grf.dat", "fuentes.dat", "intro.dat", "msc.dat", "snd.dat"}) {
      std::filesystem::create_symlink(std::filesystem::path(FOTONAUTA_DATOS_DIR) / f, ruta / f);
    }
    std::atexit([] {
      std::error_code e;
      std::filesystem::remove_all(carpeta_pruebas, e);
    });
    return true;
  }();
  return creada ? carpeta_pruebas : FOTONAUTA_DATOS_DIR;
}

}  // namespace

void arnes_iniciar(int profundidad)
{
  reiniciar_dobles();
  dobles.sistema_sin_pantalla = true;
  ASSERT_EQ(install_allegro(SYSTEM_AUTODETECT, &errno, atexit), 0);
  set_uformat(U_ASCII);
  set_color_depth(profundidad);
  ASSERT_EQ(chdir(carpeta_de_pruebas()), 0) << carpeta_de_pruebas();
  buffer = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
  clear_bitmap(buffer);
  ASSERT_EQ(cargar_graficos(), 0) << "generated data files missing from " FOTONAUTA_DATOS_DIR;
}

void arnes_terminar()
{
  if (f_grf != nullptr) {
    fin_allegro();
  }
  prueba_fotograma = nullptr;
  guion_actual = nullptr;
  allegro_exit();
  reiniciar_dobles();
}

void arnes_guion(guion_fotogramas guion, int max_fotogramas)
{
  guion_actual = std::move(guion);
  fotogramas = 0;
  limite_fotogramas = max_fotogramas;
  prueba_fotograma = fotograma_de_prueba;
}

int arnes_fotogramas()
{
  return fotogramas;
}

void arnes_raton(int x, int y, int botones, int rueda)
{
  mouse_x = x;
  mouse_y = y;
  mouse_b = botones;
  mouse_z = rueda;
}

void arnes_tecla(int tecla, bool pulsada)
{
  key[tecla] = pulsada ? 1 : 0;
}

void arnes_captura(const std::string &nombre)
{
  const std::filesystem::path carpeta = std::filesystem::path(FOTONAUTA_DATOS_DIR).parent_path() / "capturas";
  std::filesystem::create_directories(carpeta);
  const std::string ruta = (carpeta / (nombre + ".bmp")).string();
  save_bitmap(ruta.c_str(), buffer, nullptr);
}

color_rgb arnes_pixel(BITMAP *b, int x, int y)
{
  const int c = getpixel(b, x, y);
  const int d = bitmap_color_depth(b);
  return {getr_depth(d, c), getg_depth(d, c), getb_depth(d, c)};
}

int8_t arnes_dialogo_vivo()
{
  return cima_pila >= 0 ? pila[cima_pila] : -1;
}

void arnes_clic(int8_t dialogo, int8_t indice, int paso)
{
  for (int i = 0; i < botones_usados; ++i) {
    const t_boton &b = boton[i];
    if (b.dialogo == dialogo && b.indice == indice) {
      const BITMAP *m = b.imagen[IMAGEN_MASCARA];
      arnes_raton(b.x[IMAGEN_MASCARA] + m->w / 2, b.y[IMAGEN_MASCARA] + m->h / 2, paso == 0 ? 1 : 0);
      return;
    }
  }
  ADD_FAILURE() << "no button " << int{indice} << " in dialog " << int{dialogo};
}
