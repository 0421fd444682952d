// The game's reading of data files against Allegro's load_datafile: every
// object of every data file, bitmaps of every stored depth and samples of
// every kind must come out the same byte for byte, properties included, at
// both colour depths the game runs at.
#include <allegro.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "arnes/datafile_prueba.h"
#include "cargador/cargador.h"

namespace {

const std::string DATOS = FOTONAUTA_DATOS_DIR;
const char *const FICHEROS[] = {"grf.dat", "fuentes.dat", "msc.dat", "snd.dat", "intro.dat"};

using Datos = std::unique_ptr<DATAFILE, decltype(&unload_datafile)>;

// The properties of one object, in order.
void comparar_propiedades(const DATAFILE_PROPERTY *a, const DATAFILE_PROPERTY *b, const std::string &que)
{
  ASSERT_EQ(a == nullptr, b == nullptr) << que;
  for (int i = 0; a != nullptr; ++i) {
    ASSERT_EQ(a[i].type, b[i].type) << que << ", property " << i;
    if (a[i].type == DAT_END) {
      return;
    }
    ASSERT_STREQ(a[i].dat, b[i].dat) << que << ", property " << i;
  }
}

void comparar_bitmaps(BITMAP *a, BITMAP *b, const std::string &que)
{
  ASSERT_EQ(bitmap_color_depth(a), bitmap_color_depth(b)) << que;
  ASSERT_EQ(a->w, b->w) << que;
  ASSERT_EQ(a->h, b->h) << que;
  const size_t fila = static_cast<size_t>(a->w) * static_cast<size_t>((bitmap_color_depth(a) + 7) / 8);
  for (int y = 0; y < a->h; ++y) {
    ASSERT_EQ(memcmp(a->line[y], b->line[y], fila), 0) << que << ", row " << y;
  }
}

void comparar_muestras(const SAMPLE *a, const SAMPLE *b, const std::string &que)
{
  ASSERT_EQ(a->bits, b->bits) << que;
  ASSERT_EQ(a->stereo, b->stereo) << que;
  ASSERT_EQ(a->freq, b->freq) << que;
  ASSERT_EQ(a->priority, b->priority) << que;
  ASSERT_EQ(a->len, b->len) << que;
  ASSERT_EQ(a->loop_start, b->loop_start) << que;
  ASSERT_EQ(a->loop_end, b->loop_end) << que;
  ASSERT_EQ(a->param, b->param) << que;
  const size_t bytes = a->len * (a->stereo ? 2u : 1u) * (a->bits / 8u);
  ASSERT_EQ(memcmp(a->data, b->data, bytes), 0) << que;
}

// Both loads of one file, object by object (nested files included).
void comparar_datos(const DATAFILE *a, const DATAFILE *b, const std::string &que)
{
  int i = 0;
  for (; a[i].type != DAT_END; ++i) {
    const std::string este = que + " object " + std::to_string(i);
    ASSERT_EQ(a[i].type, b[i].type) << este;
    ASSERT_EQ(a[i].size, b[i].size) << este;
    comparar_propiedades(a[i].prop, b[i].prop, este);
    if (testing::Test::HasFatalFailure()) {
      return;
    }
    switch (a[i].type) {
      case DAT_BITMAP:
        comparar_bitmaps(static_cast<BITMAP *>(a[i].dat), static_cast<BITMAP *>(b[i].dat), este);
        break;
      case DAT_SAMPLE:
        comparar_muestras(static_cast<SAMPLE *>(a[i].dat), static_cast<SAMPLE *>(b[i].dat), este);
        break;
      case DAT_FILE:
        comparar_datos(static_cast<DATAFILE *>(a[i].dat), static_cast<DATAFILE *>(b[i].dat), este);
        break;
      default:
        if (a[i].type != DAT_FONT) {
          ASSERT_EQ(memcmp(a[i].dat, b[i].dat, static_cast<size_t>(a[i].size)), 0) << este;
        }
        break;
    }
    if (testing::Test::HasFatalFailure()) {
      return;
    }
  }
  EXPECT_EQ(b[i].type, DAT_END) << que;
}

void comparar_fichero(const std::string &ruta, const std::string &que)
{
  const Datos allegro(load_datafile(ruta.c_str()), unload_datafile);
  const Datos nuestro(leer_datafile(ruta.c_str()), unload_datafile);
  ASSERT_NE(allegro, nullptr) << que;
  ASSERT_NE(nuestro, nullptr) << que;
  comparar_datos(allegro.get(), nuestro.get(), que);
}

class Cargador : public testing::TestWithParam<int> {
 protected:
  void SetUp() override
  {
    // A folder of its own: CTest runs each depth's instance of a test at
    // the same time, and one must not read the file the other writes.
    char plantilla[] = "/tmp/fotonauta-cargador-XXXXXX";
    ASSERT_NE(mkdtemp(plantilla), nullptr);
    carpeta = plantilla;
    if (system_driver == nullptr) {
      ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
    }
    set_color_depth(GetParam());
  }
  void TearDown() override
  {
    if (!carpeta.empty()) {
      std::filesystem::remove_all(carpeta);
    }
  }

  // A file named `nombre` in the test's own folder.
  std::string fichero(const char *nombre) const { return carpeta + "/" + nombre; }

  std::string carpeta;
};

// Stored bitmaps of one size at a stored depth (negative: 32 bits with
// alpha), each byte a different value, so a component taken from the wrong
// byte or shifted wrongly shows; the last pixel is the mask colour.
std::vector<unsigned char> bitmap_crudo(int bits, int w, int h)
{
  const int por_pixel = bits == -32 ? 4 : bits == 8 ? 1 : bits <= 16 ? 2 : 3;
  std::vector<unsigned char> v = {static_cast<unsigned char>((bits >> 8) & 0xFF), static_cast<unsigned char>(bits & 0xFF),
                                  0, static_cast<unsigned char>(w), 0, static_cast<unsigned char>(h)};
  for (int i = 0; i < w * h * por_pixel; ++i) {
    v.push_back(static_cast<unsigned char>(i * 37 + 11));
  }
  if (w * h == 0) {
    return v;
  }
  if (por_pixel >= 3) {
    v[v.size() - por_pixel] = 255;
    v[v.size() - por_pixel + 1] = 0;
    v[v.size() - por_pixel + 2] = 255;
  } else if (por_pixel == 2) {
    v[v.size() - 2] = 0x1F;
    v[v.size() - 1] = 0xF8;
  }
  return v;
}

// Samples: bits (negative: stereo), rate, length, then the data.
std::vector<unsigned char> muestra_cruda(int bits, int largo)
{
  std::vector<unsigned char> v = {static_cast<unsigned char>((bits >> 8) & 0xFF), static_cast<unsigned char>(bits & 0xFF),
                                  0x56, 0x22, 0, 0, 0, static_cast<unsigned char>(largo)};
  const int bytes = largo * (bits < 0 ? 2 : 1) * (std::abs(bits) / 8);
  for (int i = 0; i < bytes; ++i) {
    v.push_back(static_cast<unsigned char>(i * 53 + 7));
  }
  return v;
}

TEST_P(Cargador, CadaObjetoDeLosFicherosDelJuegoSaleIgualQueConAllegro)
{
  for (const char *f : FICHEROS) {
    comparar_fichero(DATOS + "/" + f, std::string(f) + " at " + std::to_string(GetParam()) + " bpp");
    if (testing::Test::HasFatalFailure()) {
      return;
    }
  }
}

TEST_P(Cargador, CadaProfundidadGuardadaYCadaMuestraSalenIgual)
{
  std::vector<objeto_prueba> objetos;
  for (const int bits : {8, 15, 16, 24, 32, -32}) {
    objetos.push_back({"BMP ", 0, 0, bitmap_crudo(bits, 7, 5)});
  }
  objetos.push_back({"BMP ", 0, 0, bitmap_crudo(32, 0, 0)});
  for (const int bits : {8, -8, 16, -16}) {
    objetos.push_back({"SAMP", 0, 0, muestra_cruda(bits, 9)});
  }
  objetos.push_back({"DATA", 0, 0, {1, 2, 3, 4, 5}});
  // One file for each, so a failure names its object.
  const std::string ruta = fichero("profundidades.dat");
  for (size_t i = 0; i < objetos.size(); ++i) {
    ASSERT_TRUE(escribir_datafile_prueba(ruta, {objetos[i]}));
    comparar_fichero(ruta, "test object " + std::to_string(i) + " at " + std::to_string(GetParam()) + " bpp");
  }
}

// An object whose header promises more than it holds is refused, instead
// of being filled with whatever follows it in the file.
TEST_P(Cargador, UnObjetoMasCortoQueSuCabeceraNoSeCarga)
{
  std::vector<unsigned char> bitmap = bitmap_crudo(32, 6, 6);
  bitmap.resize(bitmap.size() - 1);
  std::vector<unsigned char> muestra = muestra_cruda(16, 9);
  muestra.resize(muestra.size() - 2);
  const std::string ruta = fichero("corto.dat");
  for (const auto &o : {objeto_prueba{"BMP ", 0, 0, bitmap}, objeto_prueba{"SAMP", 0, 0, muestra}}) {
    ASSERT_TRUE(escribir_datafile_prueba(ruta, {bitmap_prueba(2, 2), o}));
    EXPECT_EQ(leer_datafile(ruta.c_str()), nullptr) << o.tipo;
  }
}

// What a thread reads ahead is what reading the file now would give; a file
// that may hold pictures, read ahead for sound only, is left to be read now.
TEST_P(Cargador, LoLeidoPorAdelantadoEsLoQueDaLeerloAhora)
{
  for (const bool solo_sonido : {false, true}) {
    std::vector<std::string> rutas;
    std::vector<const char *> nombres;
    for (const char *f : FICHEROS) {
      rutas.push_back(DATOS + "/" + f);
    }
    for (const std::string &r : rutas) {
      nombres.push_back(r.c_str());
    }
    adelantar_datafiles(nombres.data(), static_cast<int>(nombres.size()), solo_sonido);
    for (const std::string &r : rutas) {
      const std::string que = r + (solo_sonido ? " (sound only)" : "") + " at " + std::to_string(GetParam()) + " bpp";
      const bool de_sonido = r.ends_with("msc.dat") || r.ends_with("snd.dat");
      DATAFILE *d = nullptr;
      const bool adelantado = tomar_adelanto(r.c_str(), &d);
      EXPECT_EQ(adelantado, de_sonido || !solo_sonido) << que;
      if (!adelantado) {
        EXPECT_EQ(d, nullptr) << que;
        d = cargar_datafile(r.c_str());
      }
      const Datos nuestro(d, unload_datafile);
      const Datos allegro(load_datafile(r.c_str()), unload_datafile);
      ASSERT_NE(nuestro, nullptr) << que;
      comparar_datos(allegro.get(), nuestro.get(), que);
      if (testing::Test::HasFatalFailure()) {
        return;
      }
      // Taken once: a second time it is read now.
      EXPECT_FALSE(tomar_adelanto(r.c_str(), &d)) << que;
    }
  }
}

// A file read ahead and never taken is not handed out later for a file that
// has changed since: read ahead again it is read again, and once dropped it
// is read now. A cut-off or missing file read ahead is no file at all.
TEST_P(Cargador, UnAdelantoViejoNoSeEntrega)
{
  const std::string ruta = fichero("adelanto.dat");
  const std::string nada = fichero("no_existe.dat");
  const char *nombres[] = {ruta.c_str(), nada.c_str()};
  const auto tamano_leido = [&](bool adelantar) {
    if (adelantar) {
      adelantar_datafiles(nombres, 1, false);
    }
    const Datos d(cargar_datafile(ruta.c_str()), unload_datafile);
    return d == nullptr ? -1 : static_cast<BITMAP *>(d.get()[0].dat)->w;
  };
  ASSERT_TRUE(escribir_datafile_prueba(ruta, {bitmap_prueba(3, 2)}));
  adelantar_datafiles(nombres, 1, false);
  // Time for the thread to read the old file (microseconds of work); were
  // it late, it would read the new one and the check below would be moot,
  // never wrong.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_TRUE(escribir_datafile_prueba(ruta, {bitmap_prueba(5, 2)}));
  EXPECT_EQ(tamano_leido(true), 5);
  adelantar_datafiles(nombres, 1, false);
  soltar_adelantos();
  ASSERT_TRUE(escribir_datafile_prueba(ruta, {bitmap_prueba(7, 2)}));
  EXPECT_EQ(tamano_leido(false), 7);

  // More files ahead at once than there are places for: the rest are read
  // when asked for.
  std::vector<const char *> muchos(20, ruta.c_str());
  adelantar_datafiles(muchos.data(), static_cast<int>(muchos.size()), false);
  EXPECT_EQ(tamano_leido(false), 7);
  soltar_adelantos();

  std::vector<unsigned char> bytes;
  {
    FILE *f = fopen(ruta.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    for (int c; (c = fgetc(f)) != EOF;) {
      bytes.push_back(static_cast<unsigned char>(c));
    }
    fclose(f);
  }
  ASSERT_GT(bytes.size(), 3u);
  FILE *f = fopen(ruta.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fwrite(bytes.data(), 1, bytes.size() - 3, f);
  fclose(f);
  adelantar_datafiles(nombres, 2, true);
  DATAFILE *d = nullptr;
  for (const char *n : nombres) {
    EXPECT_TRUE(tomar_adelanto(n, &d)) << n;
    EXPECT_EQ(d, nullptr) << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Profundidades, Cargador, testing::Values(16, 32));

}  // namespace
