#include "arnes/programa.h"

#include <unistd.h>

#include <fstream>
#include <iterator>

#include "arnes/arnes.h"
#include "fotonauta/fotonauta.h"

namespace fs = std::filesystem;

carpeta_partida::carpeta_partida()
{
  anterior = fs::current_path();
  char plantilla[] = "/tmp/fotonauta-partida-XXXXXX";
  ruta = mkdtemp(plantilla);
  for (const char *f : {"grf.dat", "fuentes.dat", "intro.dat", "msc.dat", "snd.dat"}) {
    fs::create_symlink(fs::path(FOTONAUTA_DATOS_DIR) / f, ruta / f);
  }
  fs::current_path(ruta);
}

carpeta_partida::~carpeta_partida()
{
  fs::current_path(anterior);
  std::error_code e;
  fs::remove_all(ruta, e);
}

std::vector<uint8_t> carpeta_partida::leer(const char *nombre) const
{
  std::ifstream f(ruta / nombre, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

int ejecutar_programa(const std::function<void(int)> &guion, int max_fotogramas)
{
  // The display is the harness's: Allegro's system without a screen, and a
  // graphics mode that is granted without opening anything.
  reiniciar_dobles();
  dobles.sistema_sin_pantalla = true;
  dobles.simular_gfx = true;
  if (ini_allegro() != 0) {
    return -1;
  }
  // No frame clock: the harness's frame step never waits for it, and the
  // system without a screen has no timer driver to run it on.
  arnes_guion(guion, max_fotogramas);
  ejecutar_juego();
  return 0;
}
